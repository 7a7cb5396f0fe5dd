#include "QVCore/Model/Entities/QVLayerState.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "QVCore/Categories/NSAffineTransform+Addition.h"
#include "QVCore/ImageProcessing/Base/QVImageProcessorProtocol.h"
#include "QVCore/ImageProcessing/History/QVHistoryManagerProtocol.h"
#include "QVCore/ImageProcessing/History/QVHistorySupport.h"
#include "QVCore/ImageProcessing/Layers/QVIPEffectsProvider.h"
#include "QVCore/ImageProcessing/Layers/QVIPLayerFactory.h"
#include "QVPlatform/Additions.h"
#include "QVPlatform/Log.h"

using namespace QVLayerStateKeys;

namespace {

// Layers make their state records through the factory; this is the record they make.
const bool kRegistered = [] {
  QVLayerState::registerAsLayerStateMaker();
  return true;
}();

std::optional<std::string> nonEmpty(const std::string& text) {
  return text.empty() ? std::nullopt : std::optional<std::string>(text);
}
bool isSet(const std::optional<std::string>& text) { return text && !text->empty(); }

// ---- Type-checked reading: a missing value or one of another type gives nothing ----
std::optional<std::string> readString(const qv::Value& d, const char* key) {
  const qv::Value* v = d.find(key);
  if (v && v->isString()) return *v->string();
  if (v && !v->isNull()) QVLogWarning("Layer state: \"%s\" is no text, ignored", key);
  return std::nullopt;
}
std::optional<double> readNumber(const qv::Value& d, const char* key) {
  const qv::Value* v = d.find(key);
  if (v && (v->isInteger() || v->isReal()) && std::isfinite(v->asDouble())) return v->asDouble();
  if (v && !v->isNull()) QVLogWarning("Layer state: \"%s\" is no finite number, ignored", key);
  return std::nullopt;
}
std::optional<bool> readBool(const qv::Value& d, const char* key) {
  const qv::Value* v = d.find(key);
  if (v && v->isNumber()) return v->asBool();
  if (v && !v->isNull()) QVLogWarning("Layer state: \"%s\" is no boolean, ignored", key);
  return std::nullopt;
}
const qv::Array* readArray(const qv::Value& d, const char* key) {
  const qv::Value* v = d.find(key);
  return v ? v->array() : nullptr;
}
// Names of files in the history's resources folder: plain names only, so a state file can never
// lead a layer to read or write outside that folder.
std::optional<std::string> readFileName(const qv::Value& d, const char* key) {
  auto name = readString(d, key);
  if (name && !name->empty() && !qvhistory::isSafeFileName(*name)) {
    QVLogWarning("Layer state: \"%s\" is no plain file name, ignored", key);
    return std::nullopt;
  }
  return name;
}

std::string lastComponentWinAware(const std::string& path) {
  return qv::isWinPath(path) ? qv::lastWinPathComponent(path) : qv::lastPathComponent(path);
}
bool hasCompressedTextureExtension(const std::string& fileName) {
  std::string ext = qv::pathExtension(fileName);
  for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
  return ext == kQVCompressedTextureExtension;
}

// Optional data must have the form its type code names; anything else reads as none.
bool optionalDataFitsType(const qv::Value& data, int64_t type) {
  switch (type) {
    case QVParameterOptionalDataTypeNumbers:
    case QVParameterOptionalDataTypeNamedTables:
      return data.isArray();
    case QVParameterOptionalDataTypeText:
    case QVParameterOptionalDataTypeImagePath:
      return data.isString();
    case QVParameterOptionalDataTypeImageFile:
      return data.isDictionary();
    default:
      return true;
  }
}

std::shared_ptr<QVLayerState> heldState(const std::shared_ptr<QVIPLayer>& layer) {
  return std::dynamic_pointer_cast<QVLayerState>(layer->state());
}

}  // namespace

void QVLayerState::registerAsLayerStateMaker() {
  QVLayerStateFactory::registerMaker(
      [](std::shared_ptr<QVIPLayer> layer) -> std::shared_ptr<QVLayerStateModelProtocol> {
        return initWithLayer(layer);
      });
  QVLayerStateDictionaryFactory::registerMaker(
      [](const qv::Value& dictionary, std::shared_ptr<QVIPLayer> layer,
         bool skipSublayersAndEffects) -> std::shared_ptr<QVLayerStateModelProtocol> {
        return initWithDic(dictionary, layer, skipSublayersAndEffects);
      });
}

QVLayerState::QVLayerState() {
  setIdentifier(qv::stringWithUUID());
  setAmount(1.0f);
}

bool QVLayerState::isTexture() const { return isSet(texturePath_) || isSet(historyTextureName_); }

// ---- Making ----

QVLayerState::Ptr QVLayerState::initWithLayer(const LayerPtr& layer) {
  auto s = std::make_shared<QVLayerState>();
  if (!layer) return s;
  s->layerIdentifier_ = nonEmpty(layer->identifier());
  s->setAmount(float(layer->amount()));
  s->effectsAmount_ = layer->effectsAmount();
  s->enabled_ = layer->isEnabled();
  s->transform_ = layer->affineTransform();
  s->preferredCanvasSize_ = layer->canvasSize();
  s->name_ = nonEmpty(layer->name());
  s->maskEnabled_ = layer->maskEnabled();
  s->textureScaleMode_ = layer->textureScaleMode();
  if (auto mode = layer->blendMode()) s->blendModeIdentifier_ = nonEmpty(mode->identifier());
  s->blendModeModified_ = layer->blendModeModified();
  s->texturePath_ = layer->textureURL();
  s->historyTextureName_ = layer->historyTextureName();
  s->presetUUID_ = layer->presetUUID();
  s->hidden_ = layer->hidden();
  s->effects_ = layer->effects();
  for (const auto& sub : layer->subLayers())
    if (auto subState = heldState(sub)) s->subLayersStates_.push_back(subState);
  if (layer->hasMask())
    if (auto mask = layer->mask()) {
      mask->saveMask();
      s->historyMaskName_ = mask->historyMaskName();
      s->historyBrushStack_ = mask->brushStack();
    }
  return s;
}

QVLayerState::Ptr QVLayerState::initWithDic(const qv::Value& dictionary, const LayerPtr& layer,
                                            bool skipSublayersAndEffects) {
  auto s = std::make_shared<QVLayerState>();
  if (!skipSublayersAndEffects)
    if (const qv::Array* entries = readArray(dictionary, kSubLayersStates))
      for (const qv::Value& entry : *entries) {
        auto identifier = entry.isDictionary() ? readString(entry, kLayerIdentifier) : std::nullopt;
        auto prototype = QVIPEffectsProvider::sharedEffectsProvider().makeAdjustmentLayerWithIdentifier(
            identifier.value_or(""), std::nullopt, layer);
        if (!prototype) continue;
        if (auto subState = heldState(prototype)) s->subLayersStates_.push_back(subState);
      }
  s->updateWithInfo(dictionary, skipSublayersAndEffects);
  return s;
}

void QVLayerState::updateWithInfo(const qv::Value& d, bool skipSublayersAndEffects) {
  if (!d.isDictionary()) {
    if (!d.isNull()) QVLogWarning("Layer state: the record is no dictionary");
    return;
  }
  // A record without identifier keeps its own fresh one: two such records are not the same state.
  if (auto identifier = readString(d, kIdentifier); isSet(identifier)) setIdentifier(*identifier);
  name_ = readString(d, kName);
  layerIdentifier_ = readString(d, kLayerIdentifier);

  if (!skipSublayersAndEffects) {
    if (const qv::Array* entries = readArray(d, kSubLayersStates))
      for (size_t i = 0; i < entries->size() && i < subLayersStates_.size(); ++i) {
        const qv::Value& entry = (*entries)[i];
        if (!entry.isDictionary()) continue;
        const auto& subState = subLayersStates_[i];
        if (subState->layerIdentifier_ == readString(entry, kLayerIdentifier)) subState->updateWithInfo(entry, false);
      }
    if (const qv::Array* entries = readArray(d, kEffectsArray)) readEffects(*entries);
  }

  // Amounts mix a layer with what lies below: outside 0..1 the picture turns black or inverted.
  setAmount(float(std::clamp(readNumber(d, kAmount).value_or(1.0), 0.0, 1.0)));
  effectsAmount_ = double(float(std::clamp(readNumber(d, kEffectsAmount).value_or(1.0), 0.0, 1.0)));
  enabled_ = readBool(d, kEnabled).value_or(true);
  maskEnabled_ = readBool(d, kMaskEnabled).value_or(maskEnabled_);
  if (const qv::Value* mode = d.find(kTextureScaleMode); mode && mode->isInteger() && mode->asInt() >= 0)
    textureScaleMode_ = uint64_t(mode->asInt());

  texturePath_ = readString(d, kTexturePath);
  const bool hasTexturePath = isSet(texturePath_);
  const std::string textureFile = hasTexturePath ? lastComponentWinAware(*texturePath_) : std::string();
  if (const qv::Value* transform = d.find(kTransform); transform && transform->isDictionary()) {
    transform_ = NSAffineTransformAddition::affineTransformFromDictionary(*transform);
  } else if (hasTexturePath) {
    // A texture loaded from its path is fitted to the canvas, except a history copy named in a
    // Windows-style path (it was written fitted already).
    adjustTransform_ = !(qv::isWinPath(*texturePath_) && hasCompressedTextureExtension(textureFile));
  }

  historyTextureName_ = readFileName(d, kHistoryTextureName);
  // A texture path naming a history copy is itself the history texture.
  if (hasTexturePath && !isSet(historyTextureName_) && hasCompressedTextureExtension(textureFile) &&
      qvhistory::isSafeFileName(textureFile))
    historyTextureName_ = textureFile;

  if (auto size = readString(d, kPreferredCanvasSize)) preferredCanvasSize_ = sizeFromString(*size);
  historyMaskName_ = readFileName(d, kHistoryMaskName);
  if (const qv::Array* stack = readArray(d, kHistoryBrushStack))
    historyBrushStack_ = *stack;
  else
    historyBrushStack_.reset();
  blendModeIdentifier_ = readString(d, kBlendModeIdentifier);
  blendModeModified_ = readBool(d, kBlendModeModified).value_or(false);
  presetUUID_ = readString(d, kPresetUUID);
  hidden_ = readBool(d, kHidden).value_or(false);
}

void QVLayerState::readEffects(const qv::Array& entries) {
  for (size_t i = 0; i < entries.size() && i < effects_.size(); ++i) {
    const qv::Value& entry = entries[i];
    const auto& effect = effects_[i];
    if (!entry.isDictionary() || !effect || readString(entry, kIdentifier) != effect->identifier()) continue;
    const qv::Value* parameters = entry.find(kParameters);
    if (!parameters || !parameters->isDictionary()) continue;
    for (const auto& [identifier, values] : *parameters->dictionary()) {
      if (!values.isDictionary()) continue;
      for (const auto& parameter : effect->parameters()) {
        if (!parameter || parameter->identifier() != identifier) continue;
        if (auto value = readNumber(values, kValue)) parameter->setValue(double(float(*value)));
        const qv::Value* typeValue = values.find(kOptionalDataType);
        uint64_t type =
            typeValue && typeValue->isInteger() && typeValue->asInt() >= 0 ? uint64_t(typeValue->asInt()) : 0;
        QVOptionalData data;
        if (const qv::Value* stored = values.find(kOptionalData); stored && !stored->isNull()) {
          if (optionalDataFitsType(*stored, int64_t(type))) {
            data = QVMakeOptionalData(*stored);
          } else {
            QVLogWarning("Layer state: optional data of %s does not fit its type %llu, ignored", identifier.c_str(),
                         (unsigned long long)type);
            type = 0;
          }
        }
        if (data || parameter->optionalData() || parameter->optionalDataType() != type)
          parameter->setOptionalData(data, type);
      }
    }
  }
}

// ---- Writing ----

qv::Value QVLayerState::effectEntry(const std::shared_ptr<QVIPEffect>& effect) const {
  qv::Dictionary entry;
  if (const qv::Dictionary* info = effect->effectInfo().dictionary()) entry = *info;
  if (!entry.count(kIdentifier) || !entry[kIdentifier].isString()) entry[kIdentifier] = effect->identifier();
  entry[kSelectedPresetId] = effect->selectedPresetId();
  qv::Dictionary parameters;
  if (const qv::Dictionary* described = entry[kParameters].dictionary()) parameters = *described;
  for (const auto& parameter : effect->parameters()) {
    if (!parameter) continue;
    qv::Dictionary values;
    if (const qv::Dictionary* existing = parameters[parameter->identifier()].dictionary()) values = *existing;
    if (auto data = parameter->optionalData())
      values[kOptionalData] = *data;
    else
      values.erase(kOptionalData);
    values[kOptionalDataType] = int64_t(int32_t(parameter->optionalDataType()));
    values[kValue] = double(float(parameter->value()));
    parameters[parameter->identifier()] = std::move(values);
  }
  entry[kParameters] = std::move(parameters);
  return entry;
}

qv::Value QVLayerState::serializeWithoutIdentifiers(bool withoutIdentifiers) const {
  qv::Dictionary d;
  if (name_) d[kName] = *name_;
  if (layerIdentifier_) d[kLayerIdentifier] = *layerIdentifier_;
  if (!effects_.empty()) {
    qv::Array entries;
    for (const auto& effect : effects_)
      if (effect) entries.push_back(effectEntry(effect));
    d[kEffectsArray] = std::move(entries);
  }
  if (!subLayersStates_.empty()) {
    qv::Array entries;
    for (const auto& subState : subLayersStates_)
      if (subState) entries.push_back(subState->serializeWithoutIdentifiers(withoutIdentifiers));
    d[kSubLayersStates] = std::move(entries);
  }
  d[kAmount] = double(amount());
  d[kEffectsAmount] = double(float(effectsAmount_));
  if (!withoutIdentifiers && !identifier().empty()) d[kIdentifier] = identifier();
  d[kEnabled] = enabled_;
  d[kMaskEnabled] = maskEnabled_;
  d[kTextureScaleMode] = textureScaleMode_;
  if (transform_) d[kTransform] = NSAffineTransformAddition::dictionary(*transform_);
  if (!(preferredCanvasSize_ == CGSizeZero)) d[kPreferredCanvasSize] = stringFromSize(preferredCanvasSize_);
  if (blendModeIdentifier_) d[kBlendModeIdentifier] = *blendModeIdentifier_;
  d[kBlendModeModified] = blendModeModified_;
  if (texturePath_) d[kTexturePath] = *texturePath_;
  if (historyTextureName_) d[kHistoryTextureName] = *historyTextureName_;
  if (historyMaskName_) d[kHistoryMaskName] = *historyMaskName_;
  if (historyBrushStack_) d[kHistoryBrushStack] = *historyBrushStack_;
  if (!withoutIdentifiers && presetUUID_) d[kPresetUUID] = *presetUUID_;
  d[kHidden] = hidden_;
  return d;
}

std::string QVLayerState::stateHash() const { return qv::md5(serializeWithoutIdentifiers(true).description()); }

// ---- Applying ----

void QVLayerState::updateLayer(const LayerPtr& layer) {
  if (!layer) return;
  updateTextureOfLayer(layer);

  // A RAW picture always keeps its develop layer first: a record saved without one gets the
  // neutral, hidden develop layer in front.
  if (auto develop = layer->developLayer(); develop && layer->isRaw() &&
                                            (subLayersStates_.empty() || !subLayersStates_.front() ||
                                             subLayersStates_.front()->layerIdentifier_ != kQVDevelopLayerIdentifier)) {
    develop->resetAll();
    develop->setHidden(true);
    if (auto developState = heldState(develop)) subLayersStates_.insert(subLayersStates_.begin(), developState);
  }

  for (size_t i = 0; i < subLayersStates_.size(); ++i) {
    if (!subLayersStates_[i]) continue;
    LayerPtr sub;
    if (i < layer->subLayers().size()) {
      sub = layer->subLayers()[i];
    } else {
      sub = QVIPLayerFactory::layer();
      layer->addLayer(sub);
    }
    sub->setState(subLayersStates_[i]);
  }
  // The last sublayer is held here while it is removed: the layer drops its own reference first.
  while (layer->subLayers().size() > subLayersStates_.size()) {
    const LayerPtr last = layer->subLayers().back();
    if (last->isDevelopLayer()) break;
    layer->removeLayer(last);
  }

  std::optional<CGAffineTransform> transform = transform_;
  updateTransform(transform, preferredCanvasSize_, layer->canvasSize(), initialLayer_);
  layer->setAffineTransform(transform);
  layer->setTextureScaleMode(textureScaleMode_, adjustTransform_);

  layer->setAmount(amount());
  layer->setEffectsAmount(effectsAmount_);
  layer->setEnabled(enabled_);
  layer->setName(name_.value_or(""));
  layer->setIdentifier(layerIdentifier_.value_or(""));
  layer->setMaskEnabled(maskEnabled_);
  if (blendModeIdentifier_) layer->setBlendMode(QVBlendMode::blendModeWithIdentifier(*blendModeIdentifier_));
  layer->setBlendModeModified(blendModeModified_);
  layer->setPresetUUID(presetUUID_);
  layer->setHidden(hidden_);

  applyEffects(layer);

  // A layer that has no mask and a record that names none: nothing to hand over (and no mask
  // object made for it).
  if (layer->hasMask() || historyMaskName_ || (historyBrushStack_ && !historyBrushStack_->empty()))
    if (auto mask = layer->mask()) {
      mask->setHistoryMaskName(historyMaskName_);
      mask->setBrushStack(historyBrushStack_);
    }
}

void QVLayerState::applyEffects(const LayerPtr& layer) {
  while (layer->effects().size() > effects_.size()) {
    const auto last = layer->effects().back();
    layer->removeEffect(last);
  }
  for (size_t i = 0; i < effects_.size(); ++i) {
    const auto& effect = effects_[i];
    if (!effect) continue;
    if (i >= layer->effects().size()) {
      layer->addEffect(effect);
      continue;
    }
    auto current = layer->effects()[i];
    if (current->hash() == effect->hash()) continue;
    if (current->identifier() == effect->identifier()) {
      current->copyParamsFromEffect(*effect);
    } else {
      layer->removeEffect(current);
      layer->addEffect(effect, i);
    }
  }
}

void QVLayerState::updateTextureOfLayer(const LayerPtr& layer) {
  if (!layer) return;
  auto processor = layer->currentProcessor();
  const bool isInitial = processor && processor->initialLayer() == layer;
  if (!isInitial) {
    // The layer already shows this record's texture file (or the history's copy of it): keep it.
    bool keepsTexture = false;
    if (auto url = layer->textureURL(); url && isSet(texturePath_) && !isSet(historyTextureName_)) {
      keepsTexture = *url == *texturePath_;
      if (!keepsTexture)
        if (auto history = layer->historyManager()) {
          auto cached = history->cachedPathForTextureWithPath(*texturePath_);
          keepsTexture = cached && *cached == *url;
        }
    }
    if (!keepsTexture) layer->setHistoryTextureName(historyTextureName_);
  }
  if (isSet(texturePath_) && !layer->textureURL()) {
    layer->setTextureFromURL(*texturePath_, adjustTransform_, true, nullptr);
    adjustTransform_ = false;
  }
}

void QVLayerState::updateTransform(std::optional<CGAffineTransform>& transform, CGSize preferredSize, CGSize size,
                                   bool forInitialLayer) {
  if (!transform) return;
  // A ratio that overflows (a recorded side next to zero) would fill the transform with
  // infinities: such a record is applied as it is.
  if (!std::isfinite(size.width / preferredSize.width) || !std::isfinite(size.height / preferredSize.height)) return;
  NSAffineTransformAddition::updateTransform(&*transform, preferredSize, size, forInitialLayer);
}

// ---- Canvas size text ----

std::string QVLayerState::stringFromSize(CGSize size) {
  auto number = [](double v) {
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, v);
    return std::string(buffer, result.ptr);
  };
  return "{" + number(size.width) + ", " + number(size.height) + "}";
}

CGSize QVLayerState::sizeFromString(const std::string& text) {
  // Like the platform's reader: the first two numbers found, whatever surrounds them.
  double values[2] = {0, 0};
  const char* p = text.c_str();
  for (int found = 0; found < 2 && *p;) {
    if (std::isdigit(static_cast<unsigned char>(*p)) || std::strchr("-+.iInN", *p)) {
      char* end = nullptr;
      double v = std::strtod(p, &end);
      if (end != p) {
        values[found++] = v;
        p = end;
        continue;
      }
    }
    ++p;
  }
  for (double v : values)
    if (!std::isfinite(v) || v < 0) return CGSizeZero;
  return CGSizeMake(values[0], values[1]);
}
