#include "QVCore/Archive/ArchiveSupport.h"

#include <cstdio>
#include <cstring>
#include <filesystem>

#include "QVCore/Archive/ZipCrypto.h"

namespace sszip {

void logLine(const std::string& text) { std::fprintf(stderr, "%s\n", text.c_str()); }

void logFailure(const char* file, int line, const char* function, const std::string& callText) {
  const char* slash = std::strrchr(file, '/');
  std::fprintf(stderr, "%s:%d %s: %s\n", slash ? slash + 1 : file, line, function, callText.c_str());
}

std::string newUUIDString() {
  uint8_t b[16];
  randomBytes(b, sizeof b);
  b[6] = uint8_t((b[6] & 0x0f) | 0x40);
  b[8] = uint8_t((b[8] & 0x3f) | 0x80);
  char text[37];
  std::snprintf(text, sizeof text, "%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X", b[0], b[1],
                b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]);
  return text;
}

std::string temporaryDirectory() {
  std::error_code ec;
  auto dir = std::filesystem::temp_directory_path(ec);
  return ec ? std::string("/tmp") : dir.string();
}

}  // namespace sszip
