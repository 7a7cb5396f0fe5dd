#include "QVCore/ImageProcessing/Effects/QVIPEffect.h"

#include <algorithm>

#include "QVPlatform/Log.h"
#include "rova/effects/factory/EffectFactory.h"

namespace {

const std::string kRawPrefix = "ROVARaw";

std::string replacingAll(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

// Code-3 data: name, table, name, table, ... Entries that are not a text followed by a table of
// numbers are skipped, as is an odd last entry.
rova::NamedParameterTables namedTables(const qv::Value& data) {
  rova::NamedParameterTables tables;
  const qv::Array* list = data.array();
  if (!list) return tables;
  for (size_t i = 0; i + 1 < list->size(); i += 2) {
    const qv::Value& name = (*list)[i];
    const qv::Dictionary* table = (*list)[i + 1].dictionary();
    if (!name.isString() || !table) {
      QVLogWarning("Skipping malformed named table at entry %zu", i);
      continue;
    }
    rova::ParameterTable entries;
    for (const auto& [key, number] : *table)
      if (number.isNumber()) entries[key] = float(number.asDouble());
    tables.emplace_back(*name.string(), std::move(entries));
  }
  return tables;
}

// Writes value and optional data of the parameter at `index` into the engine effect.
void writeParameter(rova::Effect& effect, size_t index, float value, uint64_t type, const QVOptionalData& data,
                    const std::string& path) {
  rova::ParameterList list = effect.getParameters();
  if (index >= list.size()) {
    // The engine list got shorter since the change was made (a new context): nothing to write to.
    QVLogWarning("Skipping parameter %zu of %s: the engine list holds %zu", index, effect.id().c_str(), list.size());
    return;
  }
  rova::Parameter& entry = list[index];
  entry.setValue(value);
  entry.setOptionalData(std::vector<float>{});
  if (data) {
    switch (type) {
      case QVParameterOptionalDataTypeNumbers: {
        std::vector<float> numbers;
        if (const qv::Array* array = data->array())
          for (const qv::Value& v : *array) numbers.push_back(float(v.asDouble()));
        entry.setOptionalData(std::move(numbers));
        break;
      }
      case QVParameterOptionalDataTypeText:
        if (data->isString()) entry.setOptionalData(*data->string());
        break;
      case QVParameterOptionalDataTypeNamedTables:
        if (data->isArray()) entry.setOptionalData(namedTables(*data));
        break;
      case QVParameterOptionalDataTypeImagePath:
      case QVParameterOptionalDataTypeImageFile:
        if (!path.empty()) entry.setOptionalData(path);
        break;
      default:
        break;
    }
  }
  effect.setParameters(list);
}

}  // namespace

// ---- Creation ----

std::shared_ptr<QVIPEffect> QVIPEffect::initWithIdentifier(const std::string& identifier,
                                                           const rova::ImagePtr& originalImage) {
  return makeWithIdentifier<QVIPEffect>(identifier, originalImage);
}

std::shared_ptr<QVIPEffect> QVIPEffect::initWithCppEffect(const rova::EffectPtr& effect) {
  return makeWithCppEffect<QVIPEffect>(effect);
}

bool QVIPEffect::setUpWithIdentifier(const std::string& identifier, const rova::ImagePtr& originalImage) {
  auto& factory = rova::EffectFactory::instance();
  std::vector<std::string> supported = factory.supportedEffects();
  std::string id = identifier;
  if (std::find(supported.begin(), supported.end(), id) == supported.end()) id = replacingAll(id, kRawPrefix, "ROVA");
  identifier_ = id;
  rova::EffectParametersContextPtr context;
  if (originalImage) context = rova::EffectParametersContext::forImage(originalImage);
  cppEffect_ = factory.makeEffectWithID(id, context);
  if (!cppEffect_) return false;
  makeParameters();
  return true;
}

bool QVIPEffect::setUpWithCppEffect(const rova::EffectPtr& cppEffect) {
  if (!cppEffect) return false;
  identifier_ = cppEffect->id();
  cppEffect_ = cppEffect;
  makeParameters();
  return true;
}

void QVIPEffect::makeParameters() {
  std::weak_ptr<QVParentProtocol> self = weakAs<QVParentProtocol>();
  QVParameterList list;
  for (const rova::Parameter& engine : cppEffect_->getParameters()) {
    auto p = makeParameter();
    p->setDefaultValue(engine.defaultValue());
    p->setMinValue(engine.minValue());
    p->setMaxValue(engine.maxValue());
    p->setValue(engine.value());
    p->setIdentifier(engine.identifier());
    p->setName(engine.identifier());
    p->setParent(self);
    p->setHidden(engine.isHidden());
    list.push_back(p);
  }
  if (!list.empty()) parameters_ = std::move(list);
}

// ---- Engine ----

void QVIPEffect::updateParameters() {
  for (const auto& p : QVParameterList(parameters_)) parameterUpdated(p);
}

void QVIPEffect::parameterUpdated(const std::shared_ptr<QVEffectParameterProtocol>& p) {
  auto it = std::find(parameters_.begin(), parameters_.end(), p);
  if (!p || it == parameters_.end()) return;
  size_t index = size_t(it - parameters_.begin());
  float value = float(p->value());
  uint64_t type = p->optionalDataType();
  QVOptionalData data = p->optionalData();

  std::string path;
  if (data && (type == QVParameterOptionalDataTypeImagePath || type == QVParameterOptionalDataTypeImageFile)) {
    path = type == QVParameterOptionalDataTypeImagePath ? data->asString()
                                                        : (*data)[kQVParameterOptionalDataPathKey].asString();
    auto history = historyManager();
    if (!history)
      if (auto twin = syncEffect()) history = twin->historyManager();
    // The engine reads the history's own copy of the file; none when the copy failed.
    if (history && !path.empty()) path = history->updateCacheTextureWithPath(path).value_or(std::string());
  }

  std::weak_ptr<QVIPEffect> weakSelf = weakAs<QVIPEffect>();
  QVPerformOnProcessingQueue(parentProcessingQueue(), [weakSelf, index, value, type, data, path] {
    auto self = weakSelf.lock();
    if (!self || !self->cppEffect_) return;
    writeParameter(*self->cppEffect_, index, value, type, data, path);
  });
}

void QVIPEffect::updateParametersContextWithOriginalImage(const rova::ImagePtr& image) {
  std::weak_ptr<QVIPEffect> weakSelf = weakAs<QVIPEffect>();
  QVPerformOnProcessingQueue(parentProcessingQueue(), [weakSelf, image] {
    auto self = weakSelf.lock();
    if (!self || !self->cppEffect_) return;
    rova::ParameterList old = self->cppEffect_->getParameters();
    self->cppEffect_->setContext(rova::EffectParametersContext::forImage(image));
    rova::ParameterList fresh = self->cppEffect_->getParameters();
    if (old.size() != fresh.size()) {
      QVLogError("Error: %s", "updateParametersContextWithOriginalImage");
      return;
    }
    for (size_t i = 0; i < fresh.size(); ++i) fresh[i].setValue(old[i].value());
    self->cppEffect_->setParameters(fresh);
  });
}

// ---- Parent chain ----

void QVIPEffect::childWillChangeState(const std::shared_ptr<QVModelObject>& child, const QVChangeInfo& info) {
  if (auto p = parent()) p->childWillChangeState(child, info);
}

void QVIPEffect::childDidChangeState(const std::shared_ptr<QVModelObject>& child, const QVChangeInfo& info) {
  auto parameter = std::dynamic_pointer_cast<QVEffectParameterProtocol>(child);
  parameterUpdated(parameter);
  QVChangeInfo passed = info;
  passed.set(kQVEffectIDUserInfoKey, identifier_);
  if (auto p = parent()) p->childDidChangeState(sharedSelf(), passed);
  std::map<std::string, std::shared_ptr<void>> objects;
  if (parameter) objects[kQVChangedParameterUserInfoKey] = parameter;
  postOnMainThread(kQVEffectParameterDidChange, {}, std::move(objects));
}

void QVIPEffect::childInvalidated(const std::shared_ptr<QVModelObject>&) {
  if (auto p = parent()) p->childInvalidated(sharedSelf());
}

std::shared_ptr<qv::OperationQueue> QVIPEffect::parentProcessingQueue() {
  auto p = parent();
  return p ? p->parentProcessingQueue() : nullptr;
}

std::shared_ptr<QVHistoryManagerProtocol> QVIPEffect::historyManager() {
  auto p = parent();
  return p ? p->historyManager() : nullptr;
}

std::optional<std::string> QVIPEffect::fullName() {
  auto p = parent();
  std::optional<std::string> parentName = p ? p->fullName() : std::nullopt;
  return parentName ? parentName : std::optional<std::string>(name_);
}

// ---- Resets, copies, presets, twins ----

void QVIPEffect::resetParams() {
  for (const auto& p : QVParameterList(parameters_)) p->reset();
  postOnMainThread(kQVEffectResetParams);
}

void QVIPEffect::resetParamsWithIdentifiers(const std::vector<std::string>& identifiers) {
  for (const auto& p : QVParameterList(parameters_))
    if (std::find(identifiers.begin(), identifiers.end(), p->identifier()) != identifiers.end()) p->reset();
}

void QVIPEffect::copyParamsFromEffect(const QVImageEffectProtocol& s, bool overrideNonDefault) {
  auto copyGroups = [overrideNonDefault](const QVParametersGroupList& mine, const QVParametersGroupList& theirs) {
    if (mine.size() != theirs.size()) return;
    for (size_t i = 0; i < mine.size(); ++i) mine[i]->copyParamsFromTabGroup(*theirs[i], overrideNonDefault);
  };
  copyGroups(tabGroups_, s.tabGroups());
  copyGroups(popupMenuGroups_, s.popupMenuGroups());
  const QVParameterList& ungrouped = s.ungrouppedParameters();
  if (ungrouppedParameters_.size() == ungrouped.size())
    for (size_t i = 0; i < ungrouped.size(); ++i)
      ungrouppedParameters_[i]->copyValuesFromParameter(*ungrouped[i], overrideNonDefault);
  const QVParameterList& all = s.parameters();
  if (parameters_.size() != all.size()) return;
  for (size_t i = 0; i < all.size(); ++i) {
    if (all[i]->fillFromPreset() && parameters_[i]->doNotReset()) continue;
    parameters_[i]->copyValuesFromParameter(*all[i], overrideNonDefault);
  }
}

void QVIPEffect::activatePreset(const std::shared_ptr<QVEffectPreset>& preset) {
  if (!preset || std::find(presets_.begin(), presets_.end(), preset) == presets_.end()) return;
  if (auto history = historyManager())
    history->registerHistoryWithActionName("Preset " + fullName().value_or(std::string()) + ": Activated");
  for (const auto& p : QVParameterList(parameters_)) {
    for (const auto& presetParameter : preset->parameters()) {
      p->setValue(p->defaultValue());
      if (presetParameter->identifier() == p->identifier()) {
        p->setValue(presetParameter->value());
        break;
      }
    }
  }
}

bool QVIPEffect::syncWithEffect(const std::shared_ptr<QVImageEffectProtocol>& e) {
  if (!e) {
    syncEffect_.reset();
    return false;
  }
  if (e == syncEffect_.lock()) return true;
  syncEffect_ = e;
  if (e->identifier() != identifier_) {
    QVLogError("Error: different identifiers.");
    syncEffect_.reset();
    return false;
  }
  const QVParameterList& theirs = e->parameters();
  if (theirs.size() != parameters_.size()) {
    QVLogError("Error: different parameters count.");
    syncEffect_.reset();
    return false;
  }
  for (size_t i = 0; i < theirs.size(); ++i) {
    if (!parameters_[i]->syncWithParameter(theirs[i])) {
      syncEffect_.reset();
      return false;
    }
  }
  return true;
}

std::string QVIPEffect::idForPreset() {
  if (!idForPreset_)
    idForPreset_ = identifier_.rfind(kRawPrefix, 0) == 0 ? replacingAll(identifier_, kRawPrefix, "ROVA") : identifier_;
  return *idForPreset_;
}

uint64_t QVIPEffect::hash() const {
  uint64_t hash = 0, multiplier = 1;
  for (const auto& p : parameters_) {
    multiplier *= 10;
    hash ^= p->hash() * multiplier;
  }
  return hash;
}

bool QVIPEffect::hasChanges() const {
  return std::any_of(parameters_.begin(), parameters_.end(),
                     [](const auto& p) { return !(p->value() == p->defaultValue()) || p->optionalData() != nullptr; });
}

// ---- Key paths ----

namespace {

qv::Value parameterKey(const QVEffectParameterProtocol& p, const std::string& key) {
  if (key == "value") return p.value();
  if (key == "defaultValue") return p.defaultValue();
  if (key == "minValue") return p.minValue();
  if (key == "maxValue") return p.maxValue();
  if (key == "visibleValue") return p.visibleValue();
  if (key == "identifier") return p.identifier();
  if (key == "name") return p.name();
  if (key == "hidden") return p.hidden();
  if (key == "optionalDataType") return p.optionalDataType();
  if (key == "optionalData") return p.optionalData() ? *p.optionalData() : qv::Value();
  return {};
}

}  // namespace

qv::Value QVIPEffect::valueForKeyPath(const std::string& keyPath) {
  size_t dot = keyPath.find('.');
  if (dot != std::string::npos) {
    std::string id = keyPath.substr(0, dot), rest = keyPath.substr(dot + 1);
    for (const auto& p : parameters_) {
      if (p->identifier() != id) continue;
      if (std::dynamic_pointer_cast<QVIPParameter>(p)) {
        qv::Value v = parameterKey(*p, rest);
        if (!v.isNull()) return v;
      }
      break;
    }
  }
  if (keyPath == "identifier") return identifier_;
  if (keyPath == "name") return name_;
  if (keyPath == "selectedPresetId") return selectedPresetId_;
  if (keyPath == "separatable") return separatable_;
  if (keyPath == "idForPreset") return idForPreset();
  if (keyPath == "hasChanges") return hasChanges();
  if (keyPath == "effectInfo") return effectInfo_;
  return {};
}
