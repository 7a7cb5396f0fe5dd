#pragma once
// Building a processor's adjustment layers from effect presets: each preset's layer entries are
// made by the effects catalogue over the processor's picture layer and go, as one applied preset,
// into a plain layer above the picture.
#include <memory>
#include <vector>

class QVPreset;
class QVRovaProcessor;

class QVPresetHelpers {
 public:
  // Adds the layers of the presets, in the order given, above what the processor already holds.
  // Presets without layer entries add nothing. Call off the processor's queue.
  static void installLayersCreatedWithPresets(const std::vector<std::shared_ptr<QVPreset>>& presets,
                                              QVRovaProcessor& processor);
};
