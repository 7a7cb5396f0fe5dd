#pragma once
// Small file helpers shared by the archive tests.
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "QVCore/Archive/SSZipArchive.h"

namespace ziptest {

inline void writeText(const std::filesystem::path& path, const std::string& text) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

inline std::string readText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// The entry names an unzip reports, in archive order.
inline std::vector<std::string> unzippedNames(const std::string& archive, const std::string& destination,
                                              const SSZipArchive::Password& password = std::nullopt) {
  std::vector<std::string> names;
  SSZipArchive::unzipFileAtPath(
      archive, destination, true, password,
      [&](const std::string& name, const SSZipFileInfo&, int64_t, int64_t) { names.push_back(name); }, nullptr);
  return names;
}

}  // namespace ziptest
