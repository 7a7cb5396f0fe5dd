// Feeds arbitrary bytes to the zip reader as an archive file: it is checked for passwords and
// unpacked into a fresh folder, which must end up inside that folder whatever the entries' names.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "QVCore/Archive/SSZipArchive.h"

namespace fs = std::filesystem;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const fs::path root = fs::temp_directory_path() / ("solvane-fuzz-zip-" + std::to_string(::getpid()));
  static const bool limited = [] {
    // Small expansions keep single inputs within the fuzzer's memory and time limits.
    SSZipArchive::setExpansionLimits({1000, uint64_t(64) << 20});
    return true;
  }();
  (void)limited;
  std::error_code ec;
  fs::remove_all(root, ec);
  fs::create_directories(root / "out", ec);
  const fs::path archive = root / "in.zip";
  std::ofstream(archive, std::ios::binary).write(reinterpret_cast<const char*>(data), std::streamsize(size));
  (void)SSZipArchive::isFilePasswordProtectedAtPath(archive.string());
  qv::Error error;
  (void)SSZipArchive::isPasswordValidForArchiveAtPath(archive.string(), "password", &error);
  (void)SSZipArchive::unzipFileAtPath(archive.string(), (root / "out").string(), false, false, 1, std::nullopt, &error,
                                      nullptr, nullptr, nullptr);
  // Nothing may land beside the destination.
  for (const auto& entry : fs::directory_iterator(root, ec))
    if (entry.path().filename() != "out" && entry.path().filename() != "in.zip") std::abort();
  fs::remove_all(root, ec);
  return 0;
}
