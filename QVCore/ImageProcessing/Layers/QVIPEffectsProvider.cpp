#include "QVCore/ImageProcessing/Layers/QVIPEffectsProvider.h"

#include <algorithm>
#include <atomic>
#include <cmath>

#include "QVCore/ImageProcessing/Base/QVImageProcessorProtocol.h"
#include "QVCore/ImageProcessing/Effects/QVIgnoreDisablingEffect.h"
#include "QVCore/ImageProcessing/Effects/QVRawValueMapper.h"
#include "QVCore/ImageProcessing/Layers/QVIPLayerFactory.h"
#include "QVPlatform/Bundle.h"
#include "QVPlatform/Log.h"
#include "QVPlatform/PropertyList.h"
#include "rova/effects/factory/EffectFactory.h"

namespace {

std::atomic<bool> gReplaceEffectIDIntoRawID{false};

const char* const kRawPrefix = "ROVARaw";

std::string replacingAll(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

std::optional<std::string> optionalString(const qv::Value& v) {
  return v.isString() ? std::optional<std::string>(*v.string()) : std::nullopt;
}

std::optional<double> optionalNumber(const qv::Value& v) {
  return v.isNumber() ? std::optional<double>(v.asDouble()) : std::nullopt;
}

const qv::Array& arrayOf(const qv::Value& v) {
  static const qv::Array empty;
  return v.array() ? *v.array() : empty;
}

// Parameter attributes from its catalogue description, in the order of the file format.
void configureParameter(QVEffectParameterProtocol& p, const qv::Value& a, bool rawEffect) {
  if (rawEffect && a["NonlinearForRaw"].asBool()) {
    double top = p.maxValue(), bottom = p.minValue();
    double center = a.contains("DefaultForNonlinearRaw") ? a["DefaultForNonlinearRaw"].asDouble() : p.defaultValue();
    p.setValueMapper(QVRawValueMapper(top, center, bottom));
  }
  if (a["Hidden"].asBool()) p.setHidden(true);
  if (auto s = optionalString(a["Name"])) p.setName(*s);
  if (auto s = optionalString(a["HistoryName"])) p.setHistoryName(*s);
  if (auto s = optionalString(a["HistoryPrefix"])) p.setHistoryPrefix(*s);
  if (auto s = optionalString(a["HistorySuffix"])) p.setHistorySuffix(*s);
  if (auto v = optionalNumber(a["Value"])) p.setValue(double(float(*v)));
  if (auto v = optionalNumber(a["DefaultValue"])) p.setDefaultValue(double(float(*v)));
  p.setNumberFormat(a["NumberFormat"].asString());
  p.setNumberMultiplier(optionalNumber(a["NumberMultiplier"]));
  p.setHiddenCondition(a["hiddenCondition"].asString());
  p.setVisibleMin(optionalNumber(a["VisibleMin"]));
  p.setVisibleMax(optionalNumber(a["VisibleMax"]));
  std::vector<std::string> discrete;
  for (const qv::Value& v : arrayOf(a["DiscreteValues"]))
    if (v.isString()) discrete.push_back(*v.string());
  p.setDiscreteValues(std::move(discrete));
  if (auto v = optionalNumber(a["DiscreteValuesMultiplier"])) p.setDiscreteValuesMultiplier(double(float(*v)));
  if (a.contains("DoNotReset")) p.setDoNotReset(a["DoNotReset"].asBool());
  p.setViewControllerType(a["ViewControllerType"].asString());
  const qv::Value& skip = a["SkipUpdateLowResOnChange"];
  p.setSkipUpdateLowResOnChange(skip.isNumber() ? std::optional<bool>(skip.asBool()) : std::nullopt);
  const qv::Value& gradient = a["GradientColors"];
  if (gradient.isDictionary()) {
    auto colors = QVIPEffectsProvider::obtainColorsFromColorsInfo(arrayOf(gradient["Default"]));
    if (colors.size() >= 2) p.setDefaultGradientColors(colors);
    colors = QVIPEffectsProvider::obtainColorsFromColorsInfo(arrayOf(gradient["RAW"]));
    if (colors.size() >= 2) p.setRawGradientColors(colors);
    if (gradient.contains("RAWDefColorIdx")) p.setRawDefColorIdx(gradient["RAWDefColorIdx"].asInt());
  }
  p.setFillNonDefaultValue(a.contains("ValueFill") ? a["ValueFill"].asBool() : true);
}

// The effect's parameter groups of one section; grouped parameters leave `ungrouped`.
QVParametersGroupList makeGroups(const QVIPEffect& effect, const qv::Value& section, bool tabs,
                                 QVParameterList& ungrouped) {
  QVParametersGroupList groups;
  for (const qv::Value& g : arrayOf(section)) {
    auto group = QVIPEffectParametersGroup::make();
    group->setName(g["Name"].asString());
    if (tabs) group->setSelectedByDefault(g["SelectedByDefault"].asBool());
    QVParameterList members;
    for (const qv::Value& id : arrayOf(g["Parameters"])) {
      std::shared_ptr<QVEffectParameterProtocol> found;
      for (const auto& p : effect.parameters())
        if (p->identifier() == id.asString()) found = p;
      if (!found) {
        QVLogError("Error: Inconsistency");
        continue;
      }
      if (found->hidden()) continue;
      ungrouped.erase(std::remove(ungrouped.begin(), ungrouped.end(), found), ungrouped.end());
      members.push_back(found);
    }
    group->setParameters(std::move(members));
    groups.push_back(group);
  }
  return groups;
}

}  // namespace

// ---- Catalogue file ----

QVIPEffectsProvider& QVIPEffectsProvider::sharedEffectsProvider() {
  static QVIPEffectsProvider shared(qv::Bundle::appBundle().pathForResource("EffectsInfo", "plist"));
  return shared;
}

QVIPEffectsProvider::QVIPEffectsProvider(std::string path) : path_(std::move(path)) {}

void QVIPEffectsProvider::load() {
  if (loaded_) return;
  qv::Error error;
  qv::Value plist = path_.empty() ? qv::Value() : qv::PropertyList::readFile(path_, &error);
  if (!plist.isDictionary()) {
    QV_LOG_FAILURE("[NSDictionary dictionaryWithContentsOfFile:" + path_ + "] == nil");
    return;
  }
  infoPlist_ = plist;
  if (const qv::Dictionary* layers = plist["AdjustmentLayers"].dictionary()) dictLayersInfo_ = *layers;
  loaded_ = true;
}

qv::Value QVIPEffectsProvider::infoPlist() {
  std::lock_guard<std::mutex> lock(mutex_);
  load();
  return infoPlist_;
}

qv::Dictionary QVIPEffectsProvider::adjustmentLayers() { return layersInfo(); }

const qv::Dictionary& QVIPEffectsProvider::layersInfo() {
  std::lock_guard<std::mutex> lock(mutex_);
  load();
  return dictLayersInfo_;  // never changes once loaded
}

qv::Array QVIPEffectsProvider::effectsInfo() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (effectsInfo_) return *effectsInfo_;
  load();
  qv::Array categories;
  for (const qv::Value& category : arrayOf(infoPlist_["Categories"])) {
    if (!category.isDictionary()) continue;
    qv::Dictionary resolved = *category.dictionary();
    qv::Array layers;
    for (const qv::Value& id : arrayOf(category["AdjustmentLayers"])) {
      auto it = dictLayersInfo_.find(id.asString());
      if (it == dictLayersInfo_.end()) {
        QVLogError("Category %s names layer %s, which the catalogue does not describe",
                   category["Identifier"].asString().c_str(), id.asString().c_str());
        continue;
      }
      layers.push_back(it->second);
    }
    resolved["AdjustmentLayers"] = layers;
    categories.push_back(resolved);
  }
  effectsInfo_ = categories;
  return categories;
}

// ---- Layers ----

qv::Value QVIPEffectsProvider::objectForKey(const std::string& key, const qv::Value& d, const QVIPLayer* layer) {
  if (layer && layer->isRaw() && d.contains(key + "RAW")) return d[key + "RAW"];
  if ((!layer || !layer->isAdjustmentLayer()) && d.contains(key + "IMG")) return d[key + "IMG"];
  return d[key];
}

std::shared_ptr<QVIPEffect> QVIPEffectsProvider::makeLayerEffect(const qv::Value& info, const LayerPtr& superlayer,
                                                                 const QVIPLayer& made) {
  // The effects of an ignore-disabling layer must be ignore-disabling effects whatever the
  // superlayer is; the superlayer still gives the picture context.
  if (made.layerType() != 1) return makeEffectWithEffectInfo(info, superlayer);
  rova::ImagePtr image =
      superlayer && QVIPLayerFactory::layerTypeForLayer(*superlayer) == 3 ? superlayer->cppSourceImage() : nullptr;
  auto effect = createEffectWithIdentifier(info["Identifier"].asString(), 1, image);
  if (effect) updateEffect(effect, info, superlayer);
  return effect;
}

std::shared_ptr<QVIPLayer> QVIPEffectsProvider::makeAdjustmentLayerWithInfoDict(
    const qv::Value& d, const std::optional<LayerList>& subLayers, const LayerPtr& superlayer,
    const LayerPtr& duplicateFromLayer) {
  auto layer = QVIPLayerFactory::layerWithLayerType(uint64_t(std::max<int64_t>(0, d["LayerType"].asInt())));
  layer->setIdentifier(d["Identifier"].asString());
  const QVIPLayer* reference = duplicateFromLayer ? duplicateFromLayer.get() : superlayer.get();
  layer->setName(objectForKey("Name", d, reference).asString());
  if (d["BlendMode"].isString())
    if (auto mode = QVBlendMode::blendModeWithIdentifier(*d["BlendMode"].string())) {
      layer->setBlendMode(mode);
      layer->setDefaultBlendMode(mode);
    }
  layer->setDeleteMaskOnReset(d["DeleteMaskOnReset"].asBool());
  if (layer->identifier() == "TextureOverlayAdjustmentLayer") layer->setBlendModeModified(true);

  bool useRaw = reference && reference->isRaw() && replaceEffectIDIntoRawID();
  const qv::Value effects = objectForKey("Effects", d, reference);
  for (const qv::Value& e : arrayOf(effects)) {
    if (useRaw && e.isDictionary()) {
      std::string rawId = replacingAll(e["Identifier"].asString(), "ROVA", kRawPrefix);
      // Only a raw variant the engine really makes: otherwise the ordinary description is used
      // unchanged, so its parameters get no raw value mappers.
      if (rova::EffectFactory::instance().isSupported(rawId)) {
        qv::Dictionary raw = *e.dictionary();
        raw["Identifier"] = rawId;
        if (auto effect = makeLayerEffect(qv::Value(raw), superlayer, *layer)) {
          layer->addEffect(effect);
          continue;
        }
      }
    }
    if (auto effect = makeLayerEffect(e, superlayer, *layer)) layer->addEffect(effect);
  }

  if (subLayers) {
    layer->addLayers(*subLayers);
  } else {
    for (const qv::Value& sub : arrayOf(d["Sublayers"]))
      if (auto made = makeAdjustmentLayerWithInfoDict(sub, std::nullopt, superlayer, duplicateFromLayer))
        layer->addLayer(made);
    for (const qv::Value& id : arrayOf(d["SublayersIdentifiers"]))
      if (auto made = makeAdjustmentLayerWithIdentifier(id.asString(), std::nullopt, nullptr, duplicateFromLayer))
        layer->addLayer(made);
  }
  return layer;
}

std::optional<qv::Value> QVIPEffectsProvider::layerInfoWithIdentifier(const std::string& identifier,
                                                                      const qv::Array& descriptions) const {
  for (const qv::Value& d : descriptions) {
    if (d["Identifier"].asString() == identifier) return d;
    if (auto found = layerInfoWithIdentifier(identifier, arrayOf(d["Sublayers"]))) return found;
  }
  return std::nullopt;
}

std::shared_ptr<QVIPLayer> QVIPEffectsProvider::makeAdjustmentLayerWithIdentifier(
    const std::string& identifier, const std::optional<LayerList>& subLayers, const LayerPtr& superlayer,
    const LayerPtr& duplicateFromLayer) {
  const qv::Dictionary& layers = layersInfo();
  std::optional<qv::Value> description;
  if (auto it = layers.find(identifier); it != layers.end()) {
    description = it->second;
  } else {
    qv::Array all;
    for (const auto& [key, value] : layers) all.push_back(value);
    description = layerInfoWithIdentifier(identifier, all);
  }
  if (!description) return QVIPLayer::initWithDefaultSettings();
  return makeAdjustmentLayerWithInfoDict(*description, subLayers, superlayer, duplicateFromLayer);
}

// ---- Preset entries ----

std::shared_ptr<QVIPLayer> QVIPEffectsProvider::makeLayerWithPresetEntry(const qv::Value& entry,
                                                                         const LayerPtr& superlayer) {
  auto layer = makeAdjustmentLayerWithIdentifier(entry["Identifier"].asString(), std::nullopt, superlayer);
  applyPresetEntry(layer, entry);
  return layer;
}

// A preset's numbers go straight into the engine: a layer amount outside 0..1 mixes into a black or
// inverted picture, and a parameter far outside its range is no look anyone made. Values that are
// not numbers keep the default; the others are limited to their range.
static double presetNumber(double value, double fallback, double low, double high) {
  if (std::isnan(value)) return fallback;
  return high > low ? std::clamp(value, low, high) : value;
}

void QVIPEffectsProvider::applyPresetEntry(const LayerPtr& layer, const qv::Value& entry) {
  if (!layer) return;
  layer->setEnabled(entry["Enabled"].asBool(true));
  layer->setAmount(presetNumber(entry["Amount"].asDouble(1.0), 1.0, 0.0, 1.0));
  for (const qv::Value& effectEntry : arrayOf(entry["Effects"]))
    for (const auto& effect : layer->effects()) {
      const std::string id = effectEntry["Identifier"].asString();
      if (effect->identifier() != id && effect->idForPreset() != id) continue;
      if (const auto* parameters = effectEntry["Parameters"].dictionary())
        for (const auto& [name, value] : *parameters)
          for (const auto& parameter : effect->parameters())
            if (parameter->identifier() == name && value["Value"].isNumber())
              parameter->setValue(presetNumber(value["Value"].asDouble(), parameter->value(), parameter->minValue(),
                                               parameter->maxValue()));
      break;
    }
  const qv::Array& subs = arrayOf(entry["Sublayers"]["AdjustmentLayers"]);
  auto existing = layer->subLayers();
  for (size_t i = 0; i < subs.size() && i < existing.size(); ++i) applyPresetEntry(existing[i], subs[i]);
}

// ---- Effects ----

std::shared_ptr<QVIPEffect> QVIPEffectsProvider::makeEffectWithEffectInfo(const qv::Value& info,
                                                                          const LayerPtr& layer) {
  auto effect = createEffectWithIdentifierForLayer(info["Identifier"].asString(), layer.get());
  if (effect) updateEffect(effect, info, layer);
  return effect;
}

void QVIPEffectsProvider::updateEffect(const std::shared_ptr<QVIPEffect>& x, const qv::Value& e, const LayerPtr&) {
  if (!x) return;
  x->setName(e["Name"].asString());
  x->setSeparatable(e["Separatable"].asBool());
  x->setSelectedPresetId(e["SelectedPresetId"].asString());
  x->setEffectInfo(e);
  bool raw = e["Identifier"].asString().rfind(kRawPrefix, 0) == 0;
  const qv::Value& descriptions = e["Parameters"];
  for (const auto& p : QVParameterList(x->parameters())) {
    const qv::Value& a = descriptions[p->identifier()];
    if (a.isDictionary()) configureParameter(*p, a, raw);
  }

  QVParameterList ungrouped;
  for (const auto& p : x->parameters())
    if (!p->hidden()) ungrouped.push_back(p);
  if (e.contains("TabGroups")) x->setTabGroups(makeGroups(*x, e["TabGroups"], true, ungrouped));
  x->setUngrouppedParameters(ungrouped);
  if (e.contains("PopupMenuGroups")) x->setPopupMenuGroups(makeGroups(*x, e["PopupMenuGroups"], false, ungrouped));
  x->setUngrouppedParameters(ungrouped);
  if (e["GroupsPopupMenuName"].isString()) x->setGroupsPopupMenuName(*e["GroupsPopupMenuName"].string());
  if (e.contains("Groups")) x->setGroups(makeGroups(*x, e["Groups"], false, ungrouped));
  x->setUngrouppedParameters(ungrouped);

  if (e.contains("Presets")) {
    std::vector<std::shared_ptr<QVEffectPreset>> presets;
    for (const qv::Value& q : arrayOf(e["Presets"])) {
      auto preset = QVEffectPreset::make();
      if (q["Identifier"].isString()) preset->setIdentifier(*q["Identifier"].string());
      if (q["Name"].isString()) preset->setName(*q["Name"].string());
      if (q["Icon"].isString()) preset->setIcon(*q["Icon"].string());
      if (const qv::Dictionary* values = q["Parameters"].dictionary()) {
        std::vector<std::shared_ptr<QVEffectPresetParameter>> parameters;
        for (const auto& [id, entry] : *values) {
          auto parameter = QVEffectPresetParameter::make(id, 0);
          if (entry["Value"].isNumber()) parameter->setValue(entry["Value"].asDouble());
          parameters.push_back(parameter);
        }
        preset->setParameters(std::move(parameters));
      }
      presets.push_back(preset);
    }
    x->setPresets(std::move(presets));
  }
}

std::vector<qv::RGBAColor> QVIPEffectsProvider::obtainColorsFromColorsInfo(const qv::Array& colors) {
  std::vector<qv::RGBAColor> out;
  for (const qv::Value& text : colors)
    if (auto color = qv::qvColorWithCalibratedHEXString(text.asString())) out.push_back(*color);
  return out;
}

void QVIPEffectsProvider::addEffect(const std::shared_ptr<QVIPEffect>& effect, const LayerPtr& layer) {
  if (layer) layer->addEffect(effect);
}

// ---- Raw switch ----

bool QVIPEffectsProvider::replaceEffectIDIntoRawID() { return gReplaceEffectIDIntoRawID.load(); }

void QVIPEffectsProvider::setReplaceEffectIDIntoRawID(bool replace) { gReplaceEffectIDIntoRawID.store(replace); }

// ---- Effect factory ----

QVIPEffectClass QVIPEffectsProvider::effectClassForLayerType(uint64_t type) {
  if (type == 1)
    return {"QVIgnoreDisablingEffect",
            [](const std::string& id, const rova::ImagePtr& image) -> std::shared_ptr<QVIPEffect> {
              return QVIgnoreDisablingEffect::initWithIdentifier(id, image);
            },
            [](const rova::EffectPtr& e) -> std::shared_ptr<QVIPEffect> {
              return QVIgnoreDisablingEffect::initWithCppEffect(e);
            }};
  return {"QVIPEffect",
          [](const std::string& id, const rova::ImagePtr& image) { return QVIPEffect::initWithIdentifier(id, image); },
          [](const rova::EffectPtr& e) { return QVIPEffect::initWithCppEffect(e); }};
}

std::shared_ptr<QVIPEffect> QVIPEffectsProvider::createEffectWithIdentifier(const std::string& identifier,
                                                                            uint64_t layerType,
                                                                            const rova::ImagePtr& originalImage) {
  return effectClassForLayerType(layerType).makeWithIdentifier(identifier, originalImage);
}

std::shared_ptr<QVIPEffect> QVIPEffectsProvider::createEffectWithIdentifierForLayer(const std::string& identifier,
                                                                                    const QVIPLayer* layer) {
  uint64_t type = layer ? QVIPLayerFactory::layerTypeForLayer(*layer) : 0;
  rova::ImagePtr image = layer && type == 3 ? layer->cppSourceImage() : nullptr;
  return createEffectWithIdentifier(identifier, type, image);
}

std::shared_ptr<QVIPEffect> QVIPEffectsProvider::createEffectWithIdentifierForProcessor(
    const std::string& identifier, uint64_t layerType, const std::shared_ptr<QVImageProcessorProtocol>& processor) {
  return createEffectWithIdentifier(identifier, layerType, processor ? processor->originalImage() : nullptr);
}

std::shared_ptr<QVIPEffect> QVIPEffectsProvider::createEffectWithCppEffect(const rova::EffectPtr& effect,
                                                                           uint64_t layerType) {
  return effectClassForLayerType(layerType).makeWithCppEffect(effect);
}
