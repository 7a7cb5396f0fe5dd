#pragma once
// Data additions of the zip archive service.
#include <string>

#include "QVPlatform/Value.h"

namespace NSData_SSZipArchive {
// Upper-case hexadecimal text, two characters per byte.
std::string hexString(const qv::Bytes& data);
// Base64 with the URL-safe alphabet of RFC 4648 ("-" and "_"), "=" padding kept.
std::string base64RFC4648(const qv::Bytes& data);
}  // namespace NSData_SSZipArchive
