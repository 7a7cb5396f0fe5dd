#include "Ombrel/Classes/Helpers/QVAppVersion.h"

#include <cstdlib>
#include <vector>

#include "QVPlatform/Bundle.h"

namespace {
// The integer value of a text as a number object reads it: leading digits, else 0.
int64_t integerValue(const std::string& text) { return std::strtoll(text.c_str(), nullptr, 10); }
}  // namespace

QVAppVersion::QVAppVersion()
    : QVAppVersion(qv::Bundle::mainBundle().objectForInfoDictionaryKey("CFBundleShortVersionString").asString(),
                   qv::Bundle::mainBundle().objectForInfoDictionaryKey("CFBundleVersion").asString()) {}

QVAppVersion::QVAppVersion(std::string version, std::string build)
    : version_(std::move(version)), build_(std::move(build)) {
  std::vector<std::string> parts(1);
  for (char c : version_) {
    if (c == '.')
      parts.emplace_back();
    else
      parts.back() += c;
  }
  if (parts.size() != 3) return;
  major_ = integerValue(parts[0]);
  middle_ = integerValue(parts[1]);
  minor_ = integerValue(parts[2]);
}
