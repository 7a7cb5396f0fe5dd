#pragma once
// Builds the layers of a shipped enhancement preset straight on the engine, the way the
// application's layer builder does over the effects catalogue: each layer entry names a catalogue
// layer (made with its catalogue effects, values and sublayers), then the entry's enabled flag,
// blend mode and parameter values are applied to the layer's own effects. Over a RAW picture the
// engine's RAW variants ("ROVARaw...") are used where the engine has them.
//
// It lives in the engine because the engine's tests and the benchmarks both build presets and the
// engine is the lowest layer both link (the engine tests do not link the core framework).
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "rova/Image.h"
#include "rova/layers/BaseLayer.h"
#include "rova/processor/ImageProcessor.h"

namespace rova::presets {

class PresetBuilder {
 public:
  // The catalogue is the application's "EffectsInfo.plist".
  explicit PresetBuilder(const std::filesystem::path& catalogueFile);
  ~PresetBuilder();

  // Problems met while building (unknown layer, effect or parameter); empty when all was found.
  const std::vector<std::string>& problems() const;

  // The engine layers (depth first, with levels) of a preset file for a picture; every effect
  // shares one context of the picture, so each analysis is made once.
  std::vector<BaseLayerPtr> layers(const std::filesystem::path& presetFile, const ImagePtr& image);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The default preset for a file in the resources folder, as the application picks it: RAW files
// and TIFF files get the RAW preset, everything else the JPEG one.
std::filesystem::path defaultPresetFor(const ImagePtr& image, const std::string& path,
                                       const std::filesystem::path& resourcesDir);

// A processor with the picture at the bottom and the layers of the presets over it, in order.
std::shared_ptr<ImageProcessor> enhancedProcessor(const ImagePtr& image,
                                                  const std::vector<std::filesystem::path>& presets,
                                                  const std::filesystem::path& resourcesDir,
                                                  std::vector<std::string>* problems = nullptr);

}  // namespace rova::presets
