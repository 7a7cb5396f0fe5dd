#pragma once
// Small file helpers shared by the archive tests.
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <minizip/zip.h>
#include <zlib.h>

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

// An archive whose entries may be symbolic links (the content is the target), stored as unix zip
// tools store them.
struct LinkEntry {
  std::string name, content;
  bool link = false;
};
inline std::string makeArchiveWithLinks(const std::filesystem::path& path, const std::vector<LinkEntry>& entries) {
  zipFile zip = zipOpen64(path.string().c_str(), APPEND_STATUS_CREATE);
  EXPECT_TRUE(zip);
  for (const auto& e : entries) {
    zip_fileinfo info{};
    info.external_fa = uLong((e.link ? 0120777u : 0100644u) << 16);
    EXPECT_EQ(zipOpenNewFileInZip4_64(zip, e.name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                                      Z_DEFAULT_COMPRESSION, 0, -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY, nullptr,
                                      0, (3 << 8) | 20, 0, 0),
              ZIP_OK);
    zipWriteInFileInZip(zip, e.content.data(), unsigned(e.content.size()));
    zipCloseFileInZip(zip);
  }
  zipClose(zip, nullptr);
  return path.string();
}

}  // namespace ziptest
