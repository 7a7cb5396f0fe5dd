#pragma once
// The application's version as events carry it: the bundle's short version string and build
// number, and the short version split into major, middle and minor (all 0 unless the short version
// has exactly three parts).
#include <cstdint>
#include <string>

class QVAppVersion {
 public:
  // From the main bundle's "CFBundleShortVersionString" and "CFBundleVersion".
  QVAppVersion();
  QVAppVersion(std::string version, std::string build);

  const std::string& version() const { return version_; }
  const std::string& build() const { return build_; }
  int64_t major() const { return major_; }
  int64_t middle() const { return middle_; }
  int64_t minor() const { return minor_; }

 private:
  std::string version_;
  std::string build_;
  int64_t major_ = 0, middle_ = 0, minor_ = 0;
};
