#include "QVPlatform/Bundle.h"

#include <cstdlib>
#include <filesystem>

#include "QVPlatform/PropertyList.h"

namespace fs = std::filesystem;

namespace qv {

namespace {

std::string defaultResourcePath() {
  if (const char* v = std::getenv("SOLVANE_RESOURCES"); v && *v) return v;
  std::error_code ec;
  if (fs::is_directory(SOLVANE_SOURCE_RESOURCES_DIR, ec)) return SOLVANE_SOURCE_RESOURCES_DIR;
  return SOLVANE_INSTALL_RESOURCES_DIR;
}

}  // namespace

Bundle::Bundle(std::string resourcePath) : resourcePath_(std::move(resourcePath)) {}

Bundle& Bundle::mainBundle() {
  static Bundle bundle(defaultResourcePath());
  return bundle;
}

std::string Bundle::pathForResource(const std::string& name, const std::string& extension,
                                    const std::string& subdirectory) const {
  if (name.empty()) return {};
  fs::path p(resourcePath_);
  if (!subdirectory.empty()) p /= subdirectory;
  p /= extension.empty() ? name : name + "." + extension;
  std::error_code ec;
  return fs::exists(p, ec) ? p.string() : std::string();
}

const Value& Bundle::infoDictionary() const {
  std::call_once(infoOnce_, [this] {
    std::string path = pathForResource("Info", "plist");
    if (!path.empty()) info_ = PropertyList::readFile(path, nullptr);
    if (!info_.isDictionary()) info_ = Dictionary{};
  });
  return info_;
}

std::string Bundle::bundleIdentifier() const {
  return infoDictionary()["CFBundleIdentifier"].asString("com.solvane.Solvane");
}

}  // namespace qv
