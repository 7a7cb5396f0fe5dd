#pragma once
// The application's resources ("the bundle"). Its resource folder is, in this order: the
// environment variable SOLVANE_RESOURCES, the source tree's Ombrel/Resources (when built from a
// checkout and the folder exists), or <prefix>/share/solvane of the installation.
//
// There is one bundle at run time: the main bundle and the framework's bundle (`appBundle`) are
// the same object. Its information dictionary is the resource "Info.plist" when present.
#include <mutex>
#include <string>
#include <vector>

#include "QVPlatform/Value.h"

namespace qv {

class Bundle {
 public:
  explicit Bundle(std::string resourcePath);

  static Bundle& mainBundle();
  // The bundle the core framework reads its own resources from.
  static Bundle& appBundle() { return mainBundle(); }

  // The folder of the resources; the bundle's path is the same folder.
  const std::string& resourcePath() const { return resourcePath_; }
  const std::string& bundlePath() const { return resourcePath_; }

  // The path of resource `name` with extension `extension` (without the dot; empty when the name
  // carries its own), optionally inside a sub-folder; an empty string when no such file exists.
  std::string pathForResource(const std::string& name, const std::string& extension,
                              const std::string& subdirectory = {}) const;

  // The information dictionary (read once) and one of its entries (null when missing).
  const Value& infoDictionary() const;
  const Value& objectForInfoDictionaryKey(const std::string& key) const { return infoDictionary()[key]; }
  // "CFBundleIdentifier" of the information dictionary, "com.solvane.Solvane" without one.
  std::string bundleIdentifier() const;

 private:
  std::string resourcePath_;
  mutable std::once_flag infoOnce_;
  mutable Value info_;
};

}  // namespace qv
