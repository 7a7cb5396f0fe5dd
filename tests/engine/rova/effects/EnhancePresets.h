#pragma once
// The engine's preset application (rova/presets) with the shipped resources of this source tree,
// and the property-list readers the preset tests look into the files with.
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "rova/presets/PlistReading.h"
#include "rova/presets/PresetLayers.h"

namespace enhance {

using rova::presets::get;
using rova::presets::items;
using rova::presets::Plist;
using rova::presets::readPlist;
using rova::presets::text;

inline std::filesystem::path resourcesDir() {
  if (const char* env = std::getenv("SOLVANE_RESOURCES")) return env;
  return std::filesystem::path(__FILE__).parent_path().parent_path().parent_path().parent_path().parent_path() /
         "Ombrel" / "Resources";
}

// The builder over the shipped effects catalogue.
class PresetBuilder : public rova::presets::PresetBuilder {
 public:
  PresetBuilder() : rova::presets::PresetBuilder(resourcesDir() / "EffectsInfo.plist") {}
};

inline std::filesystem::path defaultPresetFor(const rova::ImagePtr& image, const std::string& path) {
  return rova::presets::defaultPresetFor(image, path, resourcesDir());
}

inline std::shared_ptr<rova::ImageProcessor> enhancedProcessor(const rova::ImagePtr& image,
                                                               const std::vector<std::filesystem::path>& presets,
                                                               std::vector<std::string>* problems = nullptr) {
  return rova::presets::enhancedProcessor(image, presets, resourcesDir(), problems);
}

}  // namespace enhance
