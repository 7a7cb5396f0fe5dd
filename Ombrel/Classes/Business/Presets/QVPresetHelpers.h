#pragma once
// Installing effect presets on a processor: the layers of a list of presets, built in order by the
// layer builder, replace the sublayers of the processor's picture layer, which records the first
// preset's uuid. Runs on its caller's thread (the processing operation's queue).
#include <memory>
#include <string>
#include <vector>

class QVIPLayer;
class QVPreset;
class QVRovaProcessor;

class QVPresetHelpers {
 public:
  static void installLayersCreatedWithPresets(const std::vector<std::shared_ptr<QVPreset>>& presets,
                                              QVRovaProcessor& processor);
  // Removes every effect with that identifier from each layer, then drops the layers that lost an
  // effect and have none left (a layer that never had the effect stays).
  static void removeEffectWithId(const std::string& identifier, std::vector<std::shared_ptr<QVIPLayer>>& layers);
  // The layers and their effects, at trace level 16.
  static void logAllLayersAndTheirEffects(const std::vector<std::shared_ptr<QVIPLayer>>& layers);
};
