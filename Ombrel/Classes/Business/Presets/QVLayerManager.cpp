#include "Ombrel/Classes/Business/Presets/QVLayerManager.h"

#include <map>
#include <string>

#include "QVCore/ImageProcessing/Base/QVEffectParameterProtocol.h"
#include "QVCore/ImageProcessing/Effects/QVIPEffect.h"
#include "QVCore/ImageProcessing/History/QVHistoryManagerProtocol.h"
#include "QVCore/ImageProcessing/Layers/QVBlendMode.h"
#include "QVCore/ImageProcessing/Layers/QVIPEffectsProvider.h"
#include "QVCore/ImageProcessing/Layers/QVIPLayer.h"
#include "QVCore/Model/Entities/QVPreset.h"

namespace {

constexpr const char* kRawPrefix = "ROVARaw";
constexpr bool kEngineToStored = true;   // mapper direction 1
constexpr bool kStoredToEngine = false;  // mapper direction 0

using MapperTable = std::map<std::string, std::map<std::string, QVValueMapper>>;

MapperTable mappersOfDefaultLayer(const std::string& identifier, const QVLayerManager::LayerPtr& superlayer) {
  MapperTable table;
  auto layer = QVIPEffectsProvider::sharedEffectsProvider().makeAdjustmentLayerWithIdentifier(identifier, std::nullopt,
                                                                                              superlayer);
  if (!layer) return table;
  for (const auto& effect : layer->effects())
    for (const auto& parameter : effect->parameters())
      if (auto mapper = parameter->valueMapper()) table[effect->idForPreset()][parameter->identifier()] = mapper;
  return table;
}

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

// The texture path for a resource key, or nothing (the stored data then stays).
std::optional<std::string> texturePath(const std::string& key, const qv::Value& presetDict,
                                       const QVLayerManager::LayerPtr& superlayer, bool forThumbnail) {
  const qv::Value& resources = presetDict["CachedResources"];
  if (forThumbnail)
    if (const qv::Value* thumb = resources.find(key + "_thumb"); thumb && thumb->isString()) return thumb->asString();
  const qv::Value* file = resources.find(key);
  if (!file || !file->isString() || !superlayer) return std::nullopt;
  auto history = superlayer->historyManager();
  return history ? history->updateCacheTextureWithPath(file->asString()) : std::nullopt;
}

void applyEffectEntry(const QVLayerManager::LayerPtr& layer, const qv::Value& effectEntry, const MapperTable& mappers,
                      const qv::Value& presetDict, const QVLayerManager::LayerPtr& superlayer, bool forThumbnail) {
  std::string identifier = effectEntry["Identifier"].asString();
  const bool raw = identifier.rfind(kRawPrefix, 0) == 0;
  if (raw) identifier = replaceAll(identifier, kRawPrefix, "ROVA");
  const auto* parameters = effectEntry["Parameters"].dictionary();
  if (!parameters) return;
  for (const auto& effect : layer->effects()) {
    if (effect->idForPreset() != identifier) continue;
    for (const auto& [key, entry] : *parameters) {
      for (const auto& parameter : effect->parameters()) {
        if (parameter->identifier() != key) continue;
        double value = entry["Value"].asDouble();
        if (raw) {
          auto byEffect = mappers.find(effect->idForPreset());
          if (byEffect != mappers.end())
            if (auto m = byEffect->second.find(key); m != byEffect->second.end())
              value = m->second(kEngineToStored, value);
        }
        if (auto mapper = parameter->valueMapper()) value = mapper(kStoredToEngine, value);
        parameter->setValue(value);

        const uint64_t type = uint64_t(entry["OptionalDataType"].asInt());
        qv::Value data = entry["OptionalData"];
        if (type == QVParameterOptionalDataTypeImagePath || type == QVParameterOptionalDataTypeImageFile) {
          std::string resourceKey = type == QVParameterOptionalDataTypeImagePath
                                        ? data.asString()
                                        : data[kQVParameterOptionalDataPathKey].asString();
          if (auto path = texturePath(resourceKey, presetDict, superlayer, forThumbnail)) {
            if (type == QVParameterOptionalDataTypeImagePath)
              data = qv::Value(*path);
            else
              data.set(kQVParameterOptionalDataPathKey, *path);
          }
        }
        parameter->setOptionalData(entry.find("OptionalData") ? std::make_shared<const qv::Value>(data) : nullptr,
                                   type);
      }
    }
  }
}

}  // namespace

std::vector<QVLayerManager::LayerPtr> QVLayerManager::createLayersWithPreset(const QVPreset& preset,
                                                                             const LayerPtr& superlayer,
                                                                             bool forThumbnail) {
  return createLayersWithPresetDict(preset.serialize(), superlayer, forThumbnail);
}

std::vector<QVLayerManager::LayerPtr> QVLayerManager::createLayersWithPresetDict(const qv::Value& presetDict,
                                                                                 const LayerPtr& superlayer,
                                                                                 bool forThumbnail) {
  std::vector<LayerPtr> result;
  const auto* entries = presetDict["AdjustmentLayers"].array();
  if (!entries) return result;
  auto& catalogue = QVIPEffectsProvider::sharedEffectsProvider();
  for (const auto& entry : *entries) {
    const std::string identifier = entry["Identifier"].asString();
    LayerPtr layer;
    if (const qv::Value* sublayers = entry.find("Sublayers"))
      layer = catalogue.makeAdjustmentLayerWithIdentifier(
          identifier, createLayersWithPresetDict(*sublayers, superlayer, forThumbnail), superlayer);
    else
      layer = catalogue.makeAdjustmentLayerWithIdentifier(identifier, std::nullopt, superlayer);
    if (!layer) continue;
    if (const qv::Value* enabled = entry.find("Enabled")) layer->setEnabled(enabled->asBool());
    if (const qv::Value* blend = entry.find("BlendModeIdentifier"))
      layer->setBlendMode(QVBlendMode::blendModeWithIdentifier(blend->asString()));
    if (const auto* effects = entry["Effects"].array()) {
      const MapperTable mappers = mappersOfDefaultLayer(identifier, superlayer);
      for (const auto& effectEntry : *effects)
        applyEffectEntry(layer, effectEntry, mappers, presetDict, superlayer, forThumbnail);
    }
    result.push_back(layer);
  }
  return result;
}
