#pragma once
// Builds new adjustment layers from a preset's dictionary through the effects catalogue: each
// layer entry of "AdjustmentLayers" (with its "Sublayers") becomes a catalogue layer with the
// stored enabled flag, blend mode, parameter values and texture resources applied.
//
// Stored values pass through the parameter's value mapper (stored to engine). Entries written for
// RAW effects ("ROVARaw..." identifiers) hold engine values of the RAW variant: they are first
// mapped back to stored values with the mapper of a default layer's matching effect. Textures named
// by a resource key come from "CachedResources" of the same dictionary, copied into the edit
// history by the superlayer's history manager (or their "_thumb" variant for thumbnails).
#include <memory>
#include <vector>

#include "QVPlatform/Value.h"

class QVIPLayer;
class QVPreset;

class QVLayerManager {
 public:
  using LayerPtr = std::shared_ptr<QVIPLayer>;
  static std::vector<LayerPtr> createLayersWithPreset(const QVPreset& preset, const LayerPtr& superlayer,
                                                      bool forThumbnail = false);
  static std::vector<LayerPtr> createLayersWithPresetDict(const qv::Value& presetDict, const LayerPtr& superlayer,
                                                          bool forThumbnail = false);
};
