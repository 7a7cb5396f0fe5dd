#include "Ombrel/Classes/Business/Presets/QVPresetHelpers.h"

#include <set>

#include "Ombrel/Classes/Business/Presets/QVLayerManager.h"
#include "QVCore/ImageProcessing/Effects/QVIPEffect.h"
#include "QVCore/ImageProcessing/Layers/QVIPLayer.h"
#include "QVCore/ImageProcessing/Processor/QVRovaProcessor.h"
#include "QVCore/Model/Entities/QVPreset.h"
#include "QVPlatform/Log.h"

void QVPresetHelpers::installLayersCreatedWithPresets(const std::vector<std::shared_ptr<QVPreset>>& presets,
                                                      QVRovaProcessor& processor) {
  auto initial = processor.initialLayer();
  std::vector<std::shared_ptr<QVIPLayer>> layers;
  for (const auto& preset : presets) {
    if (!preset) continue;
    auto built = QVLayerManager::createLayersWithPreset(*preset, initial);
    layers.insert(layers.end(), built.begin(), built.end());
  }
  QVLog(16, "Creating layers for image at path: %s",
        initial && initial->textureURL() ? initial->textureURL()->c_str() : "(null)");
  logAllLayersAndTheirEffects(layers);
  std::optional<std::string> uuid;
  if (!presets.empty() && presets.front()) uuid = presets.front()->uuid();
  processor.applyPresetWithLayers(layers, uuid, initial);
}

void QVPresetHelpers::removeEffectWithId(const std::string& identifier,
                                         std::vector<std::shared_ptr<QVIPLayer>>& layers) {
  std::set<size_t> emptied;
  for (size_t i = 0; i < layers.size(); ++i) {
    bool removed = false;
    const auto effects = layers[i]->effects();
    for (const auto& effect : effects)
      if (effect->identifier() == identifier) {
        layers[i]->removeEffect(effect);
        removed = true;
      }
    if (removed && layers[i]->effects().empty()) emptied.insert(i);
  }
  for (auto it = emptied.rbegin(); it != emptied.rend(); ++it) layers.erase(layers.begin() + long(*it));
}

void QVPresetHelpers::logAllLayersAndTheirEffects(const std::vector<std::shared_ptr<QVIPLayer>>& layers) {
  if (layers.empty() || !qv::QVLogger::shared().shouldLogTrace(16)) return;
  for (size_t i = 0; i < layers.size(); ++i) {
    QVLog(16, "|- [%d] Layer: %s", int(i), layers[i]->name().c_str());
    const auto& effects = layers[i]->effects();
    for (size_t j = 0; j < effects.size(); ++j) {
      const auto& parameters = effects[j]->parameters();
      QVLog(16, "     [%d] Effect: %s (amount: %f)", int(j), effects[j]->identifier().c_str(),
            parameters.empty() ? 0.0 : parameters.front()->value());
    }
    QVLog(16, "--------------------------------------------|");
  }
}
