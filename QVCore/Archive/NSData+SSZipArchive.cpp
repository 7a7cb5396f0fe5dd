#include "QVCore/Archive/NSData+SSZipArchive.h"

namespace NSData_SSZipArchive {

std::string hexString(const qv::Bytes& data) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(data.size() * 2);
  for (uint8_t b : data) {
    out.push_back(digits[b >> 4]);
    out.push_back(digits[b & 0xf]);
  }
  return out;
}

std::string base64RFC4648(const qv::Bytes& data) {
  static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
  std::string out;
  out.reserve((data.size() + 2) / 3 * 4);
  for (size_t i = 0; i < data.size(); i += 3) {
    uint32_t n = uint32_t(data[i]) << 16;
    if (i + 1 < data.size()) n |= uint32_t(data[i + 1]) << 8;
    if (i + 2 < data.size()) n |= data[i + 2];
    out.push_back(alphabet[(n >> 18) & 63]);
    out.push_back(alphabet[(n >> 12) & 63]);
    out.push_back(i + 1 < data.size() ? alphabet[(n >> 6) & 63] : '=');
    out.push_back(i + 2 < data.size() ? alphabet[n & 63] : '=');
  }
  return out;
}

}  // namespace NSData_SSZipArchive
