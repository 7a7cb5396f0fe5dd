// The layer dictionary writer (form in QVIPLayer+Dictionary.h).
#include "QVCore/ImageProcessing/Layers/QVIPLayer+Dictionary.h"

#include "QVCore/ImageProcessing/History/QVHistoryManagerProtocol.h"
#include "QVCore/ImageProcessing/Layers/QVIPEffectsProvider.h"
#include "QVCore/ImageProcessing/Layers/QVIPLayer.h"
#include "QVCore/ImageProcessing/RovaBridge/QVRovaService.h"

namespace {

constexpr const char* kRawDevelopTextureParameter = "Texture";

// The texture file a parameter's optional data names, if any.
std::optional<std::string> texturePathOf(const QVEffectParameterProtocol& parameter) {
  const QVOptionalData data = parameter.optionalData();
  if (!data) return std::nullopt;
  const qv::Value* path = nullptr;
  if (parameter.optionalDataType() == QVParameterOptionalDataTypeImagePath) {
    path = data.get();
  } else if (parameter.optionalDataType() == QVParameterOptionalDataTypeImageFile) {
    path = data->find(kQVParameterOptionalDataPathKey);
  }
  if (!path || !path->string() || path->string()->empty()) return std::nullopt;
  return *path->string();
}

qv::Dictionary parametersEntry(const QVIPEffect& effect, bool withoutCameraProfile,
                               const std::shared_ptr<QVHistoryManagerProtocol>& history, qv::Dictionary& cache) {
  qv::Dictionary parameters;
  for (const auto& parameter : effect.parameters()) {
    if (!parameter || parameter->doNotReset()) continue;
    const QVOptionalData data = parameter->optionalData();
    if (!data && qv::QVMathUtils::isFloat(parameter->value(), parameter->defaultValue(), 0.0001)) continue;
    double value = parameter->value();
    if (const QVValueMapper mapper = parameter->valueMapper()) value = mapper(true, value);
    qv::Dictionary entry{{"Value", float(value)}};
    const bool privateProfile = withoutCameraProfile && parameter->identifier() == kRawDevelopTextureParameter;
    if (!privateProfile) {
      if (data) entry["OptionalData"] = *data;
      entry["OptionalDataType"] = int32_t(parameter->optionalDataType());
      if (auto path = texturePathOf(*parameter); path && history) {
        if (auto cached = history->cachedPathForTextureWithPath(*path)) cache[*path] = *cached;
      }
    }
    parameters[parameter->identifier()] = std::move(entry);
  }
  return parameters;
}

// The dictionary of x's visible sublayers. `substituteDodgeBurn` is false for the catalogue's
// untouched dodge-and-burn layer itself: it may count as changed too (the catalogue can give it
// values other than its parameters' defaults), and substituting it again would never end.
qv::Dictionary writeLayerDictionary(QVIPLayer& x, const std::optional<qv::Value>& options, qv::Dictionary& cache,
                                    bool substituteDodgeBurn) {
  using LayerList = QVIPLayer::LayerList;
  using LayerPtr = QVIPLayer::LayerPtr;
  if (substituteDodgeBurn && x.isDodgeBurnLayer() && x.hasChanges()) {
    // A changed dodge-and-burn layer is written as the catalogue's untouched one: its strokes live
    // in its mask, which a preset does not carry.
    auto fresh =
        QVIPEffectsProvider::sharedEffectsProvider().makeAdjustmentLayerWithIdentifier(kQVDodgeBurnLayerIdentifier);
    if (fresh) {
      qv::Dictionary freshCache;
      qv::Dictionary result = writeLayerDictionary(*fresh, std::nullopt, freshCache, false);
      if (!freshCache.empty()) result[kQVLayerDictionaryCachedResourcesKey] = std::move(freshCache);
      return result;
    }
    return {{kQVLayerDictionaryAdjustmentLayersKey, qv::Array{}}};
  }
  const qv::Value* optionList = options ? options->find(kQVLayerDictionaryAdjustmentLayersKey) : nullptr;
  const qv::Value* saveDCP = options ? options->find(kQVSerializationOptionsSaveDCPKey) : nullptr;
  const bool withoutCameraProfile = saveDCP && !saveDCP->asBool(true);
  const std::string rawDevelopEffect = QVRovaService::effectIdForEffectType(3);

  qv::Array entries;
  const LayerList visible = x.visibleLayers();
  for (size_t i = 0; i < visible.size(); ++i) {
    const LayerPtr& layer = visible[i];
    // Entries are matched by position; a list too short for the layers serialises none of the rest.
    if (optionList && !(*optionList)[i][kQVSerializationOptionsSerializeKey].asBool(false)) continue;
    qv::Dictionary entry;
    if (!layer->identifier().empty()) entry["Identifier"] = layer->identifier();
    if (!layer->visibleLayers().empty()) entry["Sublayers"] = layer->serializeWithOptions(options, cache);
    qv::Array effects;
    const auto history = layer->historyManager();
    for (const auto& effect : layer->effects()) {
      if (!effect) continue;
      qv::Dictionary e{{"Identifier", effect->idForPreset()}};
      if (!effect->selectedPresetId().empty()) e["SelectedPresetId"] = effect->selectedPresetId();
      e["Parameters"] =
          parametersEntry(*effect, withoutCameraProfile && effect->identifier() == rawDevelopEffect, history, cache);
      effects.emplace_back(std::move(e));
    }
    entry["Effects"] = std::move(effects);
    entry["Enabled"] = layer->isEnabled();
    entry["BlendModeIdentifier"] = layer->blendMode() ? layer->blendMode()->identifier() : std::string();
    entry["Amount"] = float(layer->amount());
    entry["LayerType"] = layer->layerType();
    if (x.isDodgeBurnOverlayLayer()) {
      entry.erase("BlendModeIdentifier");
      entry.erase("Sublayers");
    }
    entries.emplace_back(std::move(entry));
  }
  return {{kQVLayerDictionaryAdjustmentLayersKey, std::move(entries)}};
}

}  // namespace

qv::Dictionary QVIPLayer::serializeWithOptions(const std::optional<qv::Value>& options) {
  qv::Dictionary cache;
  qv::Dictionary result = serializeWithOptions(options, cache);
  if (!cache.empty()) result[kQVLayerDictionaryCachedResourcesKey] = std::move(cache);
  return result;
}

qv::Dictionary QVIPLayer::serializeWithOptions(const std::optional<qv::Value>& options, qv::Dictionary& cache) {
  return writeLayerDictionary(*this, options, cache, true);
}

qv::Dictionary QVIPLayer::defaultSerializationOptions() {
  qv::Array entries;
  for (const auto& layer : visibleLayers()) {
    qv::Dictionary entry{{kQVSerializationOptionsSerializeKey, true},
                         {kQVSerializationOptionsIdentifierKey, layer->identifier()},
                         {kQVSerializationOptionsNameKey, layer->name()}};
    if (!layer->visibleLayers().empty())
      entry[kQVSerializationOptionsSublayersKey] = layer->defaultSerializationOptions();
    entries.emplace_back(std::move(entry));
  }
  return {{kQVLayerDictionaryAdjustmentLayersKey, std::move(entries)}};
}
