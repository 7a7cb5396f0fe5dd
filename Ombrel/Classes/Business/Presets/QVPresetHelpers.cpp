#include "Ombrel/Classes/Business/Presets/QVPresetHelpers.h"

#include "QVCore/ImageProcessing/Layers/QVIPEffectsProvider.h"
#include "QVCore/ImageProcessing/Layers/QVIPLayerFactory.h"
#include "QVCore/ImageProcessing/Processor/QVRovaProcessor.h"
#include "QVCore/Model/Entities/QVPreset.h"

void QVPresetHelpers::installLayersCreatedWithPresets(const std::vector<std::shared_ptr<QVPreset>>& presets,
                                                      QVRovaProcessor& processor) {
  auto& catalogue = processor.effectsProvider();
  for (const auto& preset : presets) {
    if (!preset) continue;
    const auto* entries = preset->layersInfo()[kQVPresetAdjustmentLayersKey].array();
    if (!entries || entries->empty()) continue;
    std::vector<std::shared_ptr<QVIPLayer>> layers;
    for (const auto& entry : *entries) {
      if (auto layer = catalogue.makeLayerWithPresetEntry(entry, processor.initialLayer())) layers.push_back(layer);
    }
    if (layers.empty()) continue;
    auto holder = QVIPLayerFactory::layer();
    holder->setLayers(layers);
    processor.addLayer(holder);
  }
}
