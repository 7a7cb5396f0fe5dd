#include "QVCore/ImageProcessing/Layers/QVIPLayer.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>

#include "QVCore/ImageProcessing/Base/QVImageProcessorProtocol.h"
#include "QVCore/ImageProcessing/Layers/QVIPEffectsProvider.h"
#include "QVCore/ImageProcessing/Layers/QVIPLayerFactory.h"
#include "QVPlatform/Additions.h"
#include "QVPlatform/Localization.h"
#include "QVPlatform/Log.h"
#include "rova/layers/AdjustmentLayer.h"

namespace {

qv::Value indexArray(std::vector<uint64_t> indexes) {
  std::sort(indexes.begin(), indexes.end());
  indexes.erase(std::unique(indexes.begin(), indexes.end()), indexes.end());
  qv::Array out(indexes.size());
  for (size_t k = 0; k < indexes.size(); ++k) out[k] = int64_t(indexes[k]);
  return qv::Value(std::move(out));
}

std::vector<uint64_t> indexesOf(const qv::Value& value) {
  std::vector<uint64_t> out;
  if (const qv::Array* list = value.array())
    for (const qv::Value& v : *list)
      if (v.isNumber() && v.asInt() >= 0) out.push_back(uint64_t(v.asInt()));
  std::sort(out.begin(), out.end());
  return out;
}

// "+50", "0", "-20": the value as a percentage, truncated or rounded; NaN and huge values stay
// defined.
std::string percentText(double value, bool rounded) {
  double x = value * 100;
  x = rounded ? std::round(x) : std::trunc(x);
  int percent = 0;
  if (std::isfinite(x))
    percent = int(std::clamp(x, double(std::numeric_limits<int>::min()), double(std::numeric_limits<int>::max())));
  else if (!std::isnan(x))
    percent = x > 0 ? std::numeric_limits<int>::max() : std::numeric_limits<int>::min();
  return (value > 0 ? "+" : "") + std::to_string(percent);
}

QVChangeInfo changeInfoOfKind(const std::string& kind) {
  QVChangeInfo info;
  info.set(kQVChangeTypeStateInfoKey, kind);
  return info;
}

template <class T>
bool sameObject(const std::weak_ptr<T>& a, const std::weak_ptr<T>& b) {
  return !a.owner_before(b) && !b.owner_before(a);
}

}  // namespace

// ---- Creation ----

QVIPLayer::~QVIPLayer() {
  for (const auto& layer : subLayers_)
    if (layer) layer->setProcessor(nullptr);
}

std::shared_ptr<QVIPLayer> QVIPLayer::initWithDefaultSettings() {
  auto layer = std::make_shared<QVIPLayer>();
  layer->setUpDefaultSettings();
  return layer;
}

void QVIPLayer::setUpDefaultSettings() {
  cppLayer_ = std::make_shared<rova::AdjustmentLayer>(0);
  isEnabled_ = true;
  isActive_ = true;
  maskEnabled_ = true;
  isAdjustmentLayer_ = true;
  amount_ = 1.0;
  effectsAmount_ = 1.0;
}

std::shared_ptr<QVIPLayer> QVIPLayer::initWithCPPLayer(const rova::BaseLayerPtr& cppLayer,
                                                       std::weak_ptr<QVParentLayerProtocol> parent,
                                                       const rova::ImageProcessorPtr& cppProcessor) {
  auto layer = std::make_shared<QVIPLayer>();
  layer->setUpWithCPPLayer(cppLayer, std::move(parent), cppProcessor);
  return layer;
}

void QVIPLayer::setUpWithCPPLayer(const rova::BaseLayerPtr& cppLayer, std::weak_ptr<QVParentLayerProtocol> parent,
                                  const rova::ImageProcessorPtr& cppProcessor) {
  setParent(std::move(parent));
  cppLayer_ = cppLayer;
  processor_ = cppProcessor;
  if (!cppLayer_) return;

  uint64_t type = QVIPLayerFactory::layerTypeForLayer(*this);
  std::vector<std::shared_ptr<QVIPEffect>> made;
  performOnParentProcessingQueue(
      [&] {
        isAdjustmentLayer_ = cppLayer_->kind() == rova::kLayerKindAdjustment;
        isEnabled_ = cppLayer_->isEnabled();
        maskEnabled_ = cppLayer_->isUseMask();
        amount_ = double(cppLayer_->opacity());
        effectsAmount_ = double(cppLayer_->getEffectAmount());
        level_ = cppLayer_->level();
        if (auto adjustment = std::dynamic_pointer_cast<rova::AdjustmentLayer>(cppLayer_))
          for (size_t i = 0; i < adjustment->effectsCount(); ++i)
            if (auto effect = QVIPEffectsProvider::createEffectWithCppEffect(adjustment->effectAtIndex(i), type))
              made.push_back(effect);
      },
      true);
  if (isAdjustmentLayer_) {
    effectsCreated_ = true;
    for (const auto& effect : made) {
      effect->setParent(weakAs<QVParentProtocol>());
      effects_.push_back(effect);
    }
  }
  if (!processor_) return;

  uint64_t levelHere = 0;
  size_t next = 0, count = 0;
  performOnParentProcessingQueue(
      [&] {
        levelHere = cppLayer_->level();
        next = size_t(processor_->layerIndex(cppLayer_) + 1);
        count = processor_->getLayersCount();
      },
      true);
  // The factory waits on the processing queue itself, so children are made between the queued
  // steps, on this thread.
  while (next < count) {
    rova::BaseLayerPtr candidate;
    uint64_t candidateLevel = 0;
    performOnParentProcessingQueue(
        [&] {
          candidate = processor_->layerAtIndex(next);
          if (candidate) candidateLevel = candidate->level();
        },
        true);
    ++next;
    if (!candidate || candidateLevel <= levelHere) break;
    if (candidateLevel == levelHere + 1)
      subLayers_.push_back(QVIPLayerFactory::layerWithCppLayer(candidate, weakAs<QVParentLayerProtocol>(), processor_));
  }
}

// ---- Engine work ----

void QVIPLayer::performOnParentProcessingQueue(const qv::Block& block, bool sync) {
  if (!block) return;
  auto queue = parentProcessingQueue();
  if (queue && qv::OperationQueue::currentQueue() != queue) {
    auto op = queue->addOperationWithBlock(block);
    if (sync) op->waitUntilFinished();
    return;
  }
  block();
}

void QVIPLayer::onEngineLayer(std::function<void(rova::BaseLayer&)> work, bool sync) {
  std::weak_ptr<QVIPLayer> weak = weakSelf();
  performOnParentProcessingQueue(
      [weak, work = std::move(work)] {
        auto self = weak.lock();
        if (!self || !self->cppLayer_) return;
        work(*self->cppLayer_);
      },
      sync);
}

void QVIPLayer::registerHistory(const std::string& actionName, const qv::Value& additionalInfo) {
  auto history = historyManager();
  if (!history) return;
  if (additionalInfo.isNull())
    history->registerHistoryWithActionName(actionName);
  else
    history->registerHistoryWithActionNameAdditionalInfo(actionName, additionalInfo);
}

void QVIPLayer::postSublayersChange(qv::Dictionary userInfo, std::map<std::string, std::shared_ptr<void>> objects) {
  postOnMainThread(kQVLayerDidChangeSublayersNotification, std::move(userInfo), std::move(objects));
}

// ---- Tree ----

QVIPLayer::LayerList QVIPLayer::visibleLayers() const {
  LayerList out;
  for (const auto& layer : subLayers_)
    if (!layer->hidden()) out.push_back(layer);
  return out;
}

void QVIPLayer::attachSublayer(const LayerPtr& layer) {
  layer->setLevel(level_ + 1);
  layer->setProcessor(processor_);
  layer->setParent(weakAs<QVParentLayerProtocol>());
}

void QVIPLayer::insertLayer(const LayerPtr& layer, uint64_t index, bool post) {
  if (!layer) return;
  registerHistory(layer->name() + ": Added Filter");
  index = std::min<uint64_t>(index, subLayers_.size());
  attachSublayer(layer);
  subLayers_.insert(subLayers_.begin() + int64_t(index), layer);
  validateSublayersForLayer(layer);
  if (!post) return;
  postSublayersChange({{kQVAddedSublayersIndexes, indexArray({index})}});
  if (auto p = parent()) p->childDidChangeState(self(), changeInfoOfKind(kQVLayerDidChangeSublayersNotification));
}

void QVIPLayer::addLayer(const LayerPtr& layer, const LayerPtr& afterLayer, bool post) {
  if (!layer) return;
  if (layer->isDevelopLayer()) {
    insertLayer(layer, 0, post);
    return;
  }
  auto it = afterLayer ? std::find(subLayers_.begin(), subLayers_.end(), afterLayer) : subLayers_.end();
  uint64_t index = it == subLayers_.end() ? subLayers_.size() : uint64_t(it - subLayers_.begin()) + 1;
  attachSublayer(layer);
  subLayers_.insert(subLayers_.begin() + int64_t(index), layer);
  validateSublayersForLayer(layer);
  if (!post) return;
  postSublayersChange({{kQVAddedSublayersIndexes, indexArray({index})}});
  if (auto p = parent()) p->childDidChangeState(self(), changeInfoOfKind(kQVLayerDidChangeSublayersNotification));
}

void QVIPLayer::addLayer(const LayerPtr& layer) {
  if (!layer) return;
  registerHistory(layer->name() + ": Added Filter");
  resetState();
  addLayers({layer});
}

void QVIPLayer::addLayer(const LayerPtr& layer, const LayerPtr& afterLayer) {
  if (!layer) return;
  registerHistory(layer->name() + ": Added Filter");
  resetState();
  setWorkspace(nullptr);
  addLayer(layer, afterLayer, true);
}

void QVIPLayer::addLayers(LayerList layers) {
  if (layers.empty()) return;
  setWorkspace(nullptr);
  resetState();
  LayerPtr previous = subLayers_.empty() ? nullptr : subLayers_.back();
  std::vector<uint64_t> indexes;
  for (const auto& layer : layers) {
    if (!layer) continue;
    addLayer(layer, previous, false);
    auto it = std::find(subLayers_.begin(), subLayers_.end(), layer);
    if (it != subLayers_.end()) indexes.push_back(uint64_t(it - subLayers_.begin()));
    previous = layer;
  }
  qv::Value added = indexArray(indexes);
  postSublayersChange({{kQVAddedSublayersIndexes, added}});
  QVChangeInfo info = changeInfoOfKind(kQVLayerDidChangeSublayersNotification);
  info.set(kQVAddedSublayersIndexes, added);
  if (auto p = parent()) p->childDidChangeState(self(), info);
}

void QVIPLayer::removeLayer(const LayerPtr& layerRef) {
  LayerPtr layer = layerRef;  // the caller's reference may be an element of the list it leaves
  if (!layer) return;
  registerHistory(layer->name() + ": Deleted");
  resetState();
  setWorkspace(nullptr);
  auto it = std::find(subLayers_.begin(), subLayers_.end(), layer);
  if (it == subLayers_.end()) return;
  uint64_t index = uint64_t(it - subLayers_.begin());
  subLayers_.erase(it);
  layer->setParent({});
  qv::Value indexes = indexArray({index});
  postSublayersChange({{kQVSublayersIndexes, indexes}, {kQVSublayersRemoveKey, true}}, {{kQVModifyedLayer, layer}});
  QVChangeInfo info = changeInfoOfKind(kQVLayerDidChangeSublayersNotification);
  info.set(kQVSublayersIndexes, indexes);
  info.set(kQVSublayersRemoveKey, true);
  info.setObject(kQVModifyedLayer, layer);
  if (auto p = parent()) p->childDidChangeState(self(), info);
}

void QVIPLayer::removeLastLayer() {
  if (!subLayers_.empty()) removeLayer(subLayers_.back());
}

void QVIPLayer::removeAllLayers() {
  if (subLayers_.empty()) return;
  LayerList old = std::move(subLayers_);
  subLayers_.clear();
  std::vector<uint64_t> all;
  std::vector<std::shared_ptr<QVModelObject>> objects;
  for (uint64_t i = 0; i < old.size(); ++i) {
    all.push_back(i);
    objects.push_back(old[i]);
  }
  postSublayersChange({{kQVSublayersRemoveKey, true}, {kQVSublayersIndexes, indexArray(all)}},
                      {{kQVModifyedLayers, std::make_shared<LayerList>(old)}});
  QVChangeInfo info = changeInfoOfKind(kQVLayerDidChangeSublayersNotification);
  info.set(kQVSublayersRemoveKey, true);
  info.setObjects(kQVModifyedLayers, std::move(objects));
  if (auto p = parent()) p->childDidChangeState(self(), info);
}

void QVIPLayer::setLayers(LayerList layers) {
  removeAllLayers();
  addLayers(std::move(layers));
  postSublayersChange({});
  resetState();
}

void QVIPLayer::validateSublayersForLayer(const LayerPtr& layer) {
  if (layer && !layer->subLayers_.empty()) layer->setLayers(layer->subLayers());
}

void QVIPLayer::moveLayer(const LayerPtr& layerRef, int64_t index) {
  LayerPtr layer = layerRef;  // the caller's reference may be an element of the list that moves
  if (index < 0 || uint64_t(index) >= subLayers_.size()) {
    QVLogWarning("Refusing to move a sublayer to index %lld of %zu", (long long)index, subLayers_.size());
    return;
  }
  if (!qv::moveObject(subLayers_, layer, size_t(index))) return;
  registerHistory(layer->name() + ": Position Changed");
  resetState();
  setWorkspace(nullptr);
  // Moving only the layer's own engine layer would leave its engine sublayers under the layer that
  // now precedes them: the whole segment of this subtree is put back in tree order.
  resyncEngineSubtree();
  postOnMainThread(kQVImageLayerPositionDidChange, {{kQVSublayersIndexes, indexArray({uint64_t(index)})}});
  if (auto p = parent()) p->childDidChangeState(self(), changeInfoOfKind(kQVImageLayerPositionDidChange));
}

void QVIPLayer::resyncEngineSubtree() {
  std::vector<rova::BaseLayerPtr> wanted;
  for (const auto& layer : rovaWaySublayers()) wanted.push_back(layer->cppLayer());
  rova::ImageProcessorPtr engine = processor_;
  if (!engine) return;
  performOnParentProcessingQueue(
      [engine, wanted] {
        // Start at this layer's own engine layer; a layer outside the list orders its subtree from
        // the first of its engine layers found there.
        size_t first = 0, position = 0;
        int64_t own = wanted.empty() || !wanted[0] ? -1 : engine->layerIndex(wanted[0]);
        if (own >= 0) {
          position = size_t(own);
        } else {
          int64_t lowest = -1;
          for (size_t k = 1; k < wanted.size(); ++k) {
            int64_t at = wanted[k] ? engine->layerIndex(wanted[k]) : -1;
            if (at >= 0 && (lowest < 0 || at < lowest)) lowest = at;
          }
          if (lowest < 0) return;
          first = 1;
          position = size_t(lowest);
        }
        for (size_t k = first; k < wanted.size(); ++k)
          if (wanted[k] && engine->layerIndex(wanted[k]) >= 0) engine->moveLayer(wanted[k], position++);
      },
      false);
}

void QVIPLayer::setHidden(bool hidden) {
  if (hidden == hidden_) return;
  registerHistory(name_ + (hidden ? ": Deleted" : ": Added Filter"));
  hidden_ = hidden;
  setWorkspace(nullptr);
  resetState();
  auto p = parent();
  if (auto object = std::dynamic_pointer_cast<QVModelObject>(p))
    object->postOnMainThread(kQVLayerDidChangeSublayersNotification);
  else if (p)
    qv::mainThredPostNotificationName(kQVLayerDidChangeSublayersNotification, p);
  if (p) p->childDidChangeState(self(), changeInfoOfKind(kQVLayerDidChangeSublayersNotification));
}

QVIPLayer::LayerList QVIPLayer::rovaWaySublayers() {
  LayerList out{self()};
  for (const auto& layer : subLayers_) {
    LayerList below = layer->rovaWaySublayers();
    out.insert(out.end(), below.begin(), below.end());
  }
  return out;
}

uint64_t QVIPLayer::cppSublayersCount() const {
  uint64_t count = subLayers_.size();
  for (const auto& layer : subLayers_) count += layer->cppSublayersCount();
  return count;
}

void QVIPLayer::setLevel(uint64_t level) {
  level_ = level;
  onEngineLayer([level](rova::BaseLayer& engine) { engine.setLevel(level); });
}

bool QVIPLayer::isEqualToLayerOrItsAncestors(const LayerPtr& layer) const {
  for (LayerPtr walk = layer; walk; walk = std::dynamic_pointer_cast<QVIPLayer>(walk->parent()))
    if (walk.get() == this) return true;
  return false;
}

bool QVIPLayer::containsDevelop() const { return !subLayers_.empty() && subLayers_.front()->isDevelopLayer(); }

QVIPLayer::LayerPtr QVIPLayer::developLayer() { return containsDevelop() ? subLayers_.front() : nullptr; }

bool QVIPLayer::isDevelopLayerOrDescendant() const {
  if (isDevelopLayer()) return true;
  auto p = std::dynamic_pointer_cast<QVIPLayer>(parent());
  return p && p->isDevelopLayerOrDescendant();
}

CGRect QVIPLayer::layerRect() const {
  if (isAdjustmentLayer()) return CGRectZero;
  return CGRectMake(0, 0, width_, height_);
}

// ---- Parent chain ----

void QVIPLayer::setParent(std::weak_ptr<QVParentLayerProtocol> parent) {
  if (sameObject(parent_, parent)) return;
  auto oldParent = parent_.lock();
  auto newParent = parent.lock();
  if (historyTextureName_ && oldParent) {
    if (auto oldHistory = oldParent->historyManager()) {
      auto newHistory = newParent ? newParent->historyManager() : nullptr;
      bool kept = false;
      if (newHistory) {
        namespace fs = std::filesystem;
        fs::path source = fs::path(oldHistory->resourcesPath()) / *historyTextureName_;
        fs::path target = fs::path(newHistory->resourcesPath()) / *historyTextureName_;
        std::error_code error;
        if (fs::equivalent(source, target, error)) {
          kept = true;
        } else {
          kept = fs::copy_file(source, target, fs::copy_options::overwrite_existing, error);
          if (!kept)
            QV_LOG_FAILURE("[NSFileManager copyItemAtPath:" + source.string() + " toPath:" + target.string() +
                           "] == NO");
        }
      }
      // The cache file cannot follow: only its name is dropped. The pixels and the texture's
      // file stay with the layer, so the next cache write (saveImageOrTexture) stores them again.
      if (!kept) historyTextureName_.reset();
    }
  }
  parent_ = std::move(parent);
  if (newParent) cacheOwnPixelsAfterAttach();
}

std::shared_ptr<qv::OperationQueue> QVIPLayer::parentProcessingQueue() {
  auto p = parent();
  return p ? p->parentProcessingQueue() : nullptr;
}

std::shared_ptr<QVHistoryManagerProtocol> QVIPLayer::historyManager() {
  auto p = parent();
  return p ? p->historyManager() : nullptr;
}

std::shared_ptr<QVImageProcessorProtocol> QVIPLayer::parentProcessor() const {
  std::shared_ptr<QVParentLayerProtocol> walk = parent();
  while (walk) {
    if (auto processor = std::dynamic_pointer_cast<QVImageProcessorProtocol>(walk)) return processor;
    auto layer = std::dynamic_pointer_cast<QVIPLayer>(walk);
    if (!layer) return nullptr;
    walk = layer->parent();
  }
  return nullptr;
}

std::shared_ptr<QVImageProcessorProtocol> QVIPLayer::currentProcessor() const { return parentProcessor(); }

// ---- Switches and names ----

void QVIPLayer::setEnabled(bool enabled) {
  if (enabled == isEnabled_) return;
  registerHistory(name_ + (enabled ? ": Enabled" : ": Disabled"));
  setState(nullptr);
  isEnabled_ = enabled;
  updateCppLayerEnabledState();
  QVChangeInfo info = changeInfoOfKind(kQVImageLayerEnableStateDidChange);
  info.set(kQVImageLayerEnableStateDidChange, enabled);
  if (auto p = parent()) p->childDidChangeState(self(), info);
  postOnMainThread(kQVImageLayerEnableStateDidChange);
}

void QVIPLayer::setActive(bool active, bool skipStateDidChangeNotification) {
  if (active == isActive_) return;
  isActive_ = active;
  updateCppLayerEnabledState();
  if (!skipStateDidChangeNotification) {
    QVChangeInfo info = changeInfoOfKind(kQVImageLayerEnableStateDidChange);
    info.set(kQVImageLayerEnableStateDidChange, active);
    if (auto p = parent()) p->childDidChangeState(self(), info);
  }
  postOnMainThread(kQVImageLayerEnableStateDidChange);
}

void QVIPLayer::updateCppLayerEnabledState() {
  if (!shouldUpdateCppLayerEnabledState()) return;
  bool wanted = isActive_ && isEnabled_;
  onEngineLayer([wanted](rova::BaseLayer& engine) {
    if (engine.isEnabled() != wanted) engine.setEnabled(wanted);
  });
}

void QVIPLayer::setName(const std::string& name) {
  if (name == name_) return;
  registerHistory(name_ + ": Rename", name);
  setState(nullptr);
  name_ = name;
  postOnMainThread(kQVLayerDidChangeNameNotification);
}

void QVIPLayer::updateNameWithPrefix(const std::string& prefix) { setName(prefix + " " + name_); }

std::optional<std::string> QVIPLayer::fullName() {
  if (!effectsCreated_) return std::nullopt;
  auto p = parent();
  std::optional<std::string> parentName = p ? p->fullName() : std::nullopt;
  if (!parentName) return name_;
  if (name_.empty()) return parentName;
  return name_ + " " + *parentName;
}

// ---- Effects ----

void QVIPLayer::addEffect(const std::shared_ptr<QVIPEffect>& effect, uint64_t index) {
  effectsCreated_ = true;
  if (!effect) return;
  if (index > effects_.size()) {
    QVLogError("Refusing to add effect %s at index %llu of %zu", effect->identifier().c_str(),
               (unsigned long long)index, effects_.size());
    return;
  }
  rova::EffectPtr cppEffect = effect->cppEffect();
  onEngineLayer([cppEffect, index](rova::BaseLayer& engine) {
    if (auto adjustment = dynamic_cast<rova::AdjustmentLayer*>(&engine))
      adjustment->insertEffectAtIndex(cppEffect, size_t(index));
  });
  effect->setParent(weakAs<QVParentProtocol>());
  effects_.insert(effects_.begin() + int64_t(index), effect);
  effect->updateParameters();
  postOnMainThread(kQVEffectListDidChangeSublayersNotification);
  if (auto p = parent()) p->childDidChangeState(self(), {});
}

void QVIPLayer::removeEffect(const std::shared_ptr<QVIPEffect>& effect) {
  if (!effect) return;
  rova::EffectPtr cppEffect = effect->cppEffect();
  onEngineLayer([cppEffect](rova::BaseLayer& engine) {
    if (auto adjustment = dynamic_cast<rova::AdjustmentLayer*>(&engine)) adjustment->removeEffect(cppEffect);
  });
  effects_.erase(std::remove(effects_.begin(), effects_.end(), effect), effects_.end());
  postOnMainThread(kQVEffectListDidChangeSublayersNotification);
  if (auto p = parent()) p->childDidChangeState(self(), {});
}

void QVIPLayer::removeAllEffects() {
  for (const auto& effect : effects_) {
    rova::EffectPtr cppEffect = effect->cppEffect();
    onEngineLayer([cppEffect](rova::BaseLayer& engine) {
      if (auto adjustment = dynamic_cast<rova::AdjustmentLayer*>(&engine)) adjustment->removeEffect(cppEffect);
    });
  }
  effects_.clear();
  postOnMainThread(kQVEffectListDidChangeSublayersNotification);
  if (auto p = parent()) p->childDidChangeState(self(), {});
}

// ---- Strength and blending ----

void QVIPLayer::setAmount(double amount) {
  if (amount == amount_) return;
  registerHistory(name_ + (isDodgeBurnOverlayLayer() ? ": Amount" : ": Opacity"), percentText(amount, false));
  resetState(false);
  amount_ = amount;
  onEngineLayer([amount](rova::BaseLayer& engine) { engine.setOpacity(float(amount)); });
  postOnMainThread(kQVImageLayerAmountDidChange);
  QVChangeInfo info = changeInfoOfKind(kQVImageLayerAmountDidChange);
  info.set(kQVImageLayerAmountDidChange, amount);
  if (auto p = parent()) p->childDidChangeState(self(), info);
}

void QVIPLayer::setEffectsAmount(double amount) {
  if (amount == effectsAmount_) return;
  registerHistory(name_ + ": Filters Amount", percentText(amount, true));
  resetState(false);
  effectsAmount_ = amount;
  onEngineLayer([amount](rova::BaseLayer& engine) { engine.setEffectAmount(float(amount)); });
  postOnMainThread(kQVImageLayerEffectsAmountDidChange);
  QVChangeInfo info = changeInfoOfKind(kQVImageLayerEffectsAmountDidChange);
  info.set(kQVImageLayerEffectsAmountDidChange, amount);
  if (auto p = parent()) p->childDidChangeState(self(), info);
}

std::shared_ptr<QVBlendMode> QVIPLayer::blendMode() {
  if (!blendMode_) blendMode_ = QVBlendMode::init();
  return blendMode_;
}

std::optional<rova::BlendModeType> QVIPLayer::engineBlendModeForIdentifier(const std::string& identifier) {
  static const char* const kNames[] = {"Normal",    "Multiply",   "ColorBurn", "Screen",  "Overlay",
                                       "SoftLight", "Darken",     "HardLight", "Lighten", "Difference",
                                       "Subtract",  "Luminosity", "Hue",       "Color"};
  for (int i = 0; i < int(std::size(kNames)); ++i)
    if (identifier == kNames[i]) return rova::BlendModeType(i);
  return std::nullopt;
}

namespace {

// The blend change as the parent and observers see it: the identifier as a value, the mode and
// the layer as objects.
void reportBlendMode(QVIPLayer& layer, const std::shared_ptr<QVBlendMode>& mode) {
  QVChangeInfo info;
  info.set(kQVChangeTypeStateInfoKey, kQVImageLayerBlendModeDidChange);
  info.set(kQVImageLayerBlendModeDidChange, mode->identifier());
  auto self = layer.sharedAs<QVIPLayer>();
  if (auto p = layer.parent()) p->childDidChangeState(self, info);
  layer.postOnMainThread(kQVImageLayerBlendModeDidChange, {},
                         {{kQVBlendModeUserInfoKey, mode}, {kQVAdjustmentLayerUserInfoKey, self}});
}

}  // namespace

void QVIPLayer::setBlendMode(const std::shared_ptr<QVBlendMode>& mode) {
  if (!mode) return;
  if (mode == blendMode_ && blendModeModified_) return;
  registerHistory(name_ + ": Blend", qv::QVSLocalization::localizedStringForKey(mode->identifier()));
  setState(nullptr);
  blendMode_ = mode;
  if (auto type = engineBlendModeForIdentifier(mode->identifier()))
    onEngineLayer([type = *type](rova::BaseLayer& engine) { engine.setBlendMode(type); });
  if (mode->identifier() != "Normal") setBlendModeModified(true);
  reportBlendMode(*this, mode);
}

void QVIPLayer::setBlendModeModified(bool modified) {
  if (modified == blendModeModified_) return;
  blendModeModified_ = modified;
  reportBlendMode(*this, blendMode());
}

// ---- Resets ----

void QVIPLayer::resetEffects() {
  registerHistory(name_ + ": Reset");
  setState(nullptr);
  for (const auto& effect : EffectList(effects_)) effect->resetParams();
  if (isDodgeBurnOverlayLayer()) setAmount(1.0);
  for (const auto& layer : LayerList(subLayers_)) layer->resetAll();
}

void QVIPLayer::resetEffectsAndBlendMode() {
  resetEffects();
  setBlendMode(defaultBlendMode_ ? defaultBlendMode_ : QVBlendMode::init());
  setBlendModeModified(false);
}

void QVIPLayer::resetAll() {
  setBlendMode(defaultBlendMode_ ? defaultBlendMode_ : QVBlendMode::init());
  setBlendModeModified(false);
  setAmount(1.0);
  setEffectsAmount(1.0);
  if (deleteMaskOnReset_ && mask_) {
    mask_->clearMaskWithNextDelete(true);
    hasMask_ = false;
    onEngineLayer([](rova::BaseLayer& engine) { engine.removeMask(); });
    mask_->updateMaskDeleted(true);
  }
  resetEffects();
}

void QVIPLayer::resetAdjustmentLayers() {
  registerHistory(name_ + ": Filters Reset");
  resetEffects();
}

void QVIPLayer::reset() {
  std::weak_ptr<QVIPLayer> weak = weakSelf();
  performOnParentProcessingQueue(
      [weak] {
        if (auto self = weak.lock()) self->setProcessor(nullptr);
      },
      false);
  for (const auto& layer : subLayers_) layer->reset();
}

// ---- Copying settings ----

void QVIPLayer::applyParamsFromLayer(const LayerPtr& source) {
  if (!source || source->subLayers_.size() != subLayers_.size() || source->effects_.size() != effects_.size()) return;
  auto history = historyManager();
  if (history) history->setDisableHistoryRegistration(true);
  for (size_t i = 0; i < effects_.size(); ++i) effects_[i]->copyParamsFromEffect(*source->effects_[i]);
  for (size_t i = 0; i < subLayers_.size(); ++i) subLayers_[i]->applyParamsFromLayer(source->subLayers_[i]);
  setAmount(source->amount());
  if (history) history->setDisableHistoryRegistration(false);
}

void QVIPLayer::copyParamsFromLayer(const LayerPtr& source, const LayerPtr& duplicateFromLayer, bool adjustTransform,
                                    bool overrideNonDefault) {
  if (!source || !source->cppLayer_) {
    QVLogError("Cannot copy settings from a layer without an engine layer");
    return;
  }
  bool sourceIsAdjustment = true, sourceEnabled = true;
  source->performOnParentProcessingQueue(
      [&] {
        sourceIsAdjustment = source->cppLayer_->kind() == rova::kLayerKindAdjustment;
        sourceEnabled = source->cppLayer_->isEnabled();
      },
      true);
  isAdjustmentLayer_ = sourceIsAdjustment;
  setEnabled(sourceEnabled);
  setProcessor(source->processor());
  setAmount(source->amount());
  setEffectsAmount(source->effectsAmount());
  setName(source->name());
  setActive(source->isActive());
  setHidden(source->hidden());
  setMaskEnabled(source->maskEnabled());
  setDeleteMaskOnReset(source->deleteMaskOnReset());
  if (source->textureURL_ && textureURL_ != source->textureURL_)
    setTextureFromURL(*source->textureURL_, adjustTransform, true, nullptr);
  setTextureScaleMode(source->textureScaleMode());
  setAffineTransform(source->affineTransform());
  if (!isDevelopLayerOrDescendant()) setParent(source->parent_);
  historyTextureName_ = source->historyTextureName_;
  if (source->hasMask_ && source->mask_) {
    source->mask_->saveMaskForce(true);
    if (auto own = mask()) {
      own->setHistoryMaskName(source->mask_->historyMaskName());
      own->setBrushStack(source->mask_->brushStack());
    }
  }
  setPresetUUID(source->presetUUID());
  workspace_ = source->workspace_;
  setBlendMode(source->blendMode());
  setDefaultBlendMode(source->defaultBlendMode());
  setBlendModeModified(source->blendModeModified());
  copyChildrenAndEffects(source, duplicateFromLayer, overrideNonDefault);
}

void QVIPLayer::copyChildrenAndEffects(const LayerPtr& source, const LayerPtr& duplicateFromLayer,
                                       bool overrideNonDefault) {
  auto copyEffects = [overrideNonDefault](const EffectList& to, const EffectList& from, bool sameIdentifierOnly) {
    if (from.size() > to.size())
      QVLogWarning("Copying %zu effects onto %zu: the extra ones are skipped", from.size(), to.size());
    for (size_t i = 0; i < from.size() && i < to.size(); ++i)
      if (!sameIdentifierOnly || to[i]->identifier() == from[i]->identifier())
        to[i]->copyParamsFromEffect(*from[i], overrideNonDefault);
  };
  if (isDevelopLayerOrDescendant()) {
    for (size_t i = 0; i < source->subLayers_.size() && i < subLayers_.size(); ++i)
      if (subLayers_[i]->identifier() == source->subLayers_[i]->identifier())
        subLayers_[i]->copyParamsFromLayerOverrideNonDefault(source->subLayers_[i], overrideNonDefault);
    copyEffects(effects_, source->effects_, true);
    return;
  }
  subLayers_.clear();
  if (source->subLayers_.empty()) {
    copyEffects(effects_, source->effects_, false);
    return;
  }
  for (const auto& from : LayerList(source->subLayers_)) {
    auto made = QVIPEffectsProvider::sharedEffectsProvider().makeAdjustmentLayerWithIdentifier(
        from->identifier(), std::nullopt, source, duplicateFromLayer);
    made->copyParamsFromLayer(from, duplicateFromLayer, true, overrideNonDefault);
    addLayer(made);
    copyEffects(made->effects_, from->effects_, false);
  }
}

void QVIPLayer::updateEffectParametersContextWithOriginalImage(const rova::ImagePtr& image) {
  for (const auto& layer : subLayers_) layer->updateEffectParametersContextWithOriginalImage(image);
  for (const auto& effect : effects_) effect->updateParametersContextWithOriginalImage(image);
}

// ---- Twin layers ----

bool QVIPLayer::syncWithLayer(const LayerPtr& twin) {
  if (!twin) return false;
  if (twin == syncLayer_.lock()) return true;
  if (twin->subLayers_.size() != subLayers_.size()) {
    QVLogError("Error: different count of sublayers.");
    return false;
  }
  for (size_t i = 0; i < subLayers_.size(); ++i)
    if (!subLayers_[i]->syncWithLayer(twin->subLayers_[i])) return false;
  if (twin->effects_.size() != effects_.size()) {
    QVLogError("Error: different count of effects.");
    return false;
  }
  for (size_t i = 0; i < effects_.size(); ++i)
    if (!effects_[i]->syncWithEffect(twin->effects_[i])) return false;
  if (auto previous = syncLayer_.lock()) stopObservingNotificationsFromLayer(previous);
  syncLayer_ = twin;
  observeNotificationsFromLayer(twin);
  setAffineTransform(twin->affineTransform());
  setEnabled(twin->isEnabled());
  setActive(twin->isActive());
  setBlendMode(twin->blendMode());
  setAmount(twin->amount());
  setEffectsAmount(twin->effectsAmount());
  setLensCorrectionSettings(twin->lensCorrectionSettings());
  return true;
}

void QVIPLayer::observeNotificationsFromLayer(const LayerPtr& twin) {
  if (!twin) return;
  std::weak_ptr<QVIPLayer> weak = weakSelf();
  std::weak_ptr<QVIPLayer> weakTwin = twin;
  auto observe = [&](const char* name, std::function<void(QVIPLayer&, QVIPLayer&, const qv::Notification&)> handler) {
    twinTokens_.push_back(qv::NotificationCenter::defaultCenter().addObserver(
        name, twin->notificationSender(), [weak, weakTwin, handler](const qv::Notification& n) {
          auto self = weak.lock();
          auto other = weakTwin.lock();
          if (self && other) handler(*self, *other, n);
        }));
  };
  observe(kQVLayerDidChangeTransformNotification, [](QVIPLayer& self, QVIPLayer& other, const qv::Notification&) {
    self.setAffineTransform(other.affineTransform());
  });
  observe(kQVImageLayerEnableStateDidChange, [](QVIPLayer& self, QVIPLayer& other, const qv::Notification&) {
    self.setEnabled(other.isEnabled());
    self.setActive(other.isActive());
  });
  observe(kQVLayerDidChangeSublayersNotification,
          [](QVIPLayer& self, QVIPLayer&, const qv::Notification& n) { self.layerDidChangeSublayers(n); });
  observe(kQVImageLayerBlendModeDidChange,
          [](QVIPLayer& self, QVIPLayer& other, const qv::Notification&) { self.setBlendMode(other.blendMode()); });
  observe(kQVImageLayerAmountDidChange,
          [](QVIPLayer& self, QVIPLayer& other, const qv::Notification&) { self.setAmount(other.amount()); });
  observe(kQVImageLayerEffectsAmountDidChange, [](QVIPLayer& self, QVIPLayer& other, const qv::Notification&) {
    self.setEffectsAmount(other.effectsAmount());
  });
  observe(kQVLayerMaskDidChangeNotification, [](QVIPLayer& self, QVIPLayer&, const qv::Notification&) {
    // The engine mask is shared through the state files; the mask object re-reads it.
    if (self.mask_) self.mask_->updateMask();
  });
  observe(kQVLayerDidChangeLensCorrectionSettingsNotification,
          [](QVIPLayer& self, QVIPLayer& other, const qv::Notification&) {
            self.setLensCorrectionSettings(other.lensCorrectionSettings());
          });
}

void QVIPLayer::stopObservingNotificationsFromLayer(const LayerPtr&) { twinTokens_.clear(); }

void QVIPLayer::layerDidChangeSublayers(const qv::Notification& notification) {
  const qv::Dictionary& info = notification.userInfo;
  auto value = [&](const char* key) -> qv::Value {
    auto found = info.find(key);
    return found == info.end() ? qv::Value() : found->second;
  };
  if (value(kQVSublayersRemoveKey).asBool()) {
    if (!followTwinRemoval(indexesOf(value(kQVSublayersIndexes)))) {
      QVLogError("Error: Could not sync layers removing.");
      if (auto p = parent()) p->childInvalidated(self());
    }
    return;
  }
  auto twin = syncLayer();
  if (!twin) return;
  if (!followTwinAddition(twin, indexesOf(value(kQVAddedSublayersIndexes)))) {
    QVLogError("Error: Could not sync layers adding");
    if (auto p = parent()) p->childInvalidated(self());
  }
}

bool QVIPLayer::followTwinRemoval(const std::vector<uint64_t>& indexes) {
  LayerList removed;
  for (uint64_t index : indexes) {
    if (index >= subLayers_.size()) {
      QVLogError("Error: Invalid index.");
      return false;
    }
    removed.push_back(subLayers_[index]);
  }
  for (const auto& layer : removed) {
    removeLayer(layer);
    layer->stopObservingNotificationsFromLayer(layer->syncLayer());
    layer->setSyncLayer(nullptr);
  }
  return true;
}

bool QVIPLayer::followTwinAddition(const LayerPtr& twin, const std::vector<uint64_t>& indexes) {
  std::vector<LayerPtr> twins;
  for (const auto& layer : subLayers_) {
    auto t = layer->syncLayer();
    if (!t) {
      QVLogError("Error: %s should be synced", layer->name().c_str());
      return false;
    }
    twins.push_back(t);
  }
  for (uint64_t index : indexes) {
    if (index >= twin->subLayers_.size()) {
      QVLogError("Error: Invalid index");
      return false;
    }
    LayerPtr added = twin->subLayers_[index];
    auto addedParent = std::dynamic_pointer_cast<QVIPLayer>(added->parent());
    if (!addedParent) {
      QVLogError("Error: Added layer should have parent layer.");
      return false;
    }
    if (std::find(twins.begin(), twins.end(), added) != twins.end()) {
      QVLogError("Error: %s already has sublayer synced with %s", name_.c_str(), added->name().c_str());
      return false;
    }
    if (!addedParent->currentProcessor()) {
      QVLogError("Error: Unexpected parent");
      return false;
    }
    auto made = QVIPEffectsProvider::sharedEffectsProvider().makeAdjustmentLayerWithIdentifier(added->identifier(),
                                                                                               std::nullopt, self());
    if (!made) {
      QVLogError("Error: Could not create adjustment layer with identifier %s", added->identifier().c_str());
      return false;
    }
    insertLayer(made, index);
    if (!made->syncWithLayer(added)) return false;
    twins.push_back(added);
  }
  return true;
}

// ---- Change propagation ----

void QVIPLayer::childWillChangeState(const std::shared_ptr<QVModelObject>& child, const QVChangeInfo& info) {
  if (auto p = parent()) p->childWillChangeState(child, info);
}

void QVIPLayer::childDidChangeState(const std::shared_ptr<QVModelObject>& child, const QVChangeInfo& info) {
  bool structural = info.contains(kQVLayerMaskDidChangeNotification) ||
                    info.contains(kQVImageLayerEnableStateDidChange) || info.contains(kQVLensTransformDidChanged) ||
                    info[kQVParameterDoNotResetKey].asBool();
  if (structural) {
    if (child && mask_ && child.get() == static_cast<QVModelObject*>(mask_.get()))
      hasMask_ = !info[kQVLayerMaskDeleted].asBool();
    resetState(false);
  } else {
    resetState(true);
  }
  if (auto p = parent()) p->childDidChangeState(self(), info);
  std::string kind = info.changeType();
  if (kind == kQVParameterStateInfoType || kind == kQVImageLayerAmountDidChange) {
    qv::Notification n;
    n.name = kQVLayerEffectDidChanged;
    n.object = sharedSelf();
    n.sender = notificationSender();
    qv::NotificationCenter::defaultCenter().post(n);
  }
}

void QVIPLayer::childInvalidated(const std::shared_ptr<QVModelObject>&) {
  if (auto p = parent()) p->childInvalidated(self());
}

// ---- Change detection ----

uint64_t QVIPLayer::effectsHash() const {
  uint64_t hash = 0, multiplier = 1;
  for (const auto& effect : effects_) {
    multiplier *= 10;
    hash ^= effect->hash() * multiplier;
  }
  for (const auto& layer : subLayers_) {
    multiplier *= 10;
    hash ^= layer->effectsHash() * multiplier;
  }
  return hash;
}

bool QVIPLayer::hasChanges() const {
  for (const auto& effect : effects_)
    if (effect->hasChanges()) return true;
  for (const auto& layer : subLayers_)
    if (layer->hasChanges()) return true;
  return isDodgeBurnOverlayLayer() && amount_ != 1.0;
}

// ---- State, preset identity, workspace ----

void QVIPLayer::resetState(bool dropPresetIdentity) {
  setState(nullptr);
  if (dropPresetIdentity) setPresetUUID(std::nullopt);
}

void QVIPLayer::setPresetUUID(std::optional<std::string> uuid) {
  bool reset = false;
  {
    std::lock_guard<std::mutex> lock(presetUUIDMutex_);
    if (uuid == presetUUID_) return;
    reset = !uuid && presetUUID_;
    presetUUID_ = std::move(uuid);
  }
  if (reset) postOnMainThread(kQVLayerPresetDidReset);
}

void QVIPLayer::setWorkspace(const std::shared_ptr<QVWorkspaceModelProtocol>& workspace) {
  if (workspace == workspace_) return;
  if (workspace && workspace_ && workspace->identifier() == workspace_->identifier()) return;
  if (changingWorkspace_) return;
  changingWorkspace_ = true;
  if (workspace) {
    registerHistory("Workspace " + workspace->localizedName() + ": Selected");
    workspace_.reset();
    if (workspace->subLayers() != subLayers_) {
      setLayers(workspace->subLayers());
      resetState();
    }
  }
  workspace_ = workspace;
  postOnMainThread(kQVLayerWorkspaceDidChangeNotification);
  changingWorkspace_ = false;
}

// ---- Mask, crop ----

std::shared_ptr<QVLayerMaskProtocol> QVIPLayer::mask() {
  if (!mask_) {
    mask_ = QVLayerMaskFactory::make();
    if (mask_) mask_->setParent(weakAs<QVParentProtocol>());
  }
  return mask_;
}

void QVIPLayer::setCropDescription(std::shared_ptr<QVTCropDescription> crop) {
  if (crop == cropDescription_ || (crop && cropDescription_ && *crop == *cropDescription_)) return;
  cropDescription_ = crop;
  for (const auto& layer : subLayers_) layer->setCropDescription(crop);
  // The texture no longer fits the new frame; the engine transform stays until it is refitted.
  setTextureScaleMode(0, false);
}
