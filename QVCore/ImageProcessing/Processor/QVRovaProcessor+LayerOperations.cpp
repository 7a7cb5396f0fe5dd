// The processor's layer stack operations: creating, naming, removing and activating top-level layers, the
// sharpen layer and the layers a preset brings. Every insertion and removal ends in the engine-list
// validation, so the engine's flat list stays the depth-first walk of the model.
#include <algorithm>
#include <cctype>
#include <cinttypes>
#include <cstdio>

#include "QVCore/ImageProcessing/Base/QVLayerMaskProtocol.h"
#include "QVCore/ImageProcessing/Effects/QVIPEffect.h"
#include "QVCore/ImageProcessing/Effects/QVIPParameter.h"
#include "QVCore/ImageProcessing/Effects/QVSharpenParameters.h"
#include "QVCore/ImageProcessing/Layers/QVIPEffectsProvider.h"
#include "QVCore/ImageProcessing/Layers/QVIPLayerFactory.h"
#include "QVCore/ImageProcessing/Processor/QVRovaProcessor.h"
#include "QVCore/Settings/QVLayerSettings.h"
#include "QVPlatform/Localization.h"
#include "QVPlatform/Log.h"

namespace {

std::string adjustmentLayerBaseName() { return qv::QVSLocalization::localizedStringForKey("Adjustment Layer"); }

// The number a layer name carries after its prefix, read the way a number formatter reads it:
// the whole rest must be a number, anything else counts as 0.
uint64_t numberAfterPrefix(const std::string& rest) {
  if (rest.empty() || rest.size() > 19) return 0;
  for (char c : rest)
    if (!std::isdigit(static_cast<unsigned char>(c))) return 0;
  return std::stoull(rest);
}

}  // namespace

// ---- Names ----

std::string QVRovaProcessor::incrementedLayerName(const std::string& baseName, uint64_t startIndex) const {
  const std::string prefix = baseName + " ";
  uint64_t m = startIndex - 1;
  for (const auto& layer : layers()) {
    const std::string name = layer->name();
    if (name.compare(0, prefix.size(), prefix) != 0) continue;
    uint64_t n = numberAfterPrefix(name.substr(prefix.size()));
    if (n >= m) m = n;
  }
  return prefix + std::to_string(m + 1);
}

std::string QVRovaProcessor::layerNameWithNumber(uint64_t number) const {
  return adjustmentLayerBaseName() + " " + std::to_string(number);
}

// ---- Limits ----

bool QVRovaProcessor::canAddNewLayers() const { return layers().size() < QVLayerSettings::settings().maxLayersCount(); }

bool QVRovaProcessor::canAddNewFilters() const {
  auto active = activeLayer();
  size_t count = active ? active->subLayers().size() : 0;
  return count < QVLayerSettings::settings().maxFiltersCount();
}

// ---- Creating ----

QVRovaProcessor::LayerPtr QVRovaProcessor::createLayer() { return createLayerAtIndex(layers().size()); }

QVRovaProcessor::LayerPtr QVRovaProcessor::createLayerAtIndex(uint64_t index) { return createLayerAtIndex(index, 0); }

QVRovaProcessor::LayerPtr QVRovaProcessor::createImageLayerAtIndex(uint64_t index) {
  return createLayerAtIndex(index, 0);
}

QVRovaProcessor::LayerPtr QVRovaProcessor::createLayerAtIndex(uint64_t index, uint64_t layerType) {
  auto layer = QVIPLayerFactory::layerWithLayerType(layerType);
  if (!layer) return nullptr;
  const std::string name = incrementedLayerName(adjustmentLayerBaseName(), 1);
  layer->setName(name);
  if (auto history = historyManager()) history->registerHistoryWithActionName("New Adjustment Layer: " + name);
  addLayer(layer, index);
  return layer;
}

QVRovaProcessor::LayerPtr QVRovaProcessor::createOriginalImageLayerAtIndex(uint64_t index,
                                                                           const std::string& imageName) {
  const std::string name = incrementedLayerName(imageName, 2);
  if (auto history = historyManager()) history->registerHistoryWithActionName("New Original Image Layer: " + name);
  auto layer = QVIPLayerFactory::imageLayer();
  if (!layer) return nullptr;
  addLayer(layer, index);
  layer->setName(name);
  if (auto initial = initialLayer()) layer->setHistoryTextureName(initial->historyTextureName());
  return layer;
}

QVRovaProcessor::LayerPtr QVRovaProcessor::createSharpenLayerWithLevel(uint64_t level, uint64_t index) {
  if (level == 0) return nullptr;
  auto layer = createLayerAtIndex(index);
  if (!layer) return nullptr;
  layer->removeAllLayers();
  auto effect = QVIPEffectsProvider::createEffectWithIdentifier("ROVASharpenEffect");
  if (effect) {
    auto exif = exifInfo();
    auto values = QVSharpenParameters::sharpenParametersForLevel(level, exif && exif->isRaw);
    const double settings[] = {values->amount(), values->radius(), values->masking(), values->dehalo()};
    const auto& parameters = effect->parameters();
    for (size_t i = 0; i < 4 && i < parameters.size(); ++i) parameters[i]->setValue(settings[i]);
    layer->addEffect(effect);
  }
  doRovaLayersValidation();
  return layer;
}

// ---- Removing ----

bool QVRovaProcessor::canDuplicateLayer(const LayerPtr& layer) const {
  auto list = layers();
  return layer && std::find(list.begin(), list.end(), layer) != list.end();
}

bool QVRovaProcessor::canRemoveLayer(const LayerPtr& layer) const {
  auto list = layers();
  return layer && list.size() > 1 && std::find(list.begin(), list.end(), layer) != list.end();
}

void QVRovaProcessor::removeLayer(const LayerPtr& layer) {
  if (!canRemoveLayer(layer)) return;
  if (auto history = historyManager()) history->registerHistoryWithActionName(layer->name() + ": Deleted");
  auto list = layers();
  auto active = activeLayer();
  size_t activeIndex = size_t(std::find(list.begin(), list.end(), active) - list.begin());
  bool activeFound = activeIndex < list.size();
  if (active == layer) activeIndex = activeIndex == 0 ? 0 : activeIndex - 1;
  if (layer == editedLayer()) setEditedLayer(nullptr);
  size_t index = 0;
  {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    auto removed = layerStack_.remove(layer);
    if (!removed) return;
    index = *removed;
    // The active index was counted before the removal; a layer below it that leaves moves the
    // active one down by one.
    if (active != layer && activeFound && index < activeIndex) --activeIndex;
  }
  doRovaLayersValidation();
  auto remaining = layers();
  if (activeFound && activeIndex < remaining.size()) {
    // Activating through the list keeps the flags in line even when the active layer stays.
    if (remaining[activeIndex] != activeLayer())
      setActiveLayer(remaining[activeIndex]);
    else
      validateActiveLayer(false);
  }
  if (notify()) {
    setNeedsDisplayWithInfo(qv::Dictionary{{kQVChangeTypeStateInfoKey, kQVImageProcessorLayersListDidChange}});
    postOnMainThread(kQVImageProcessorLayersListDidChange, {{kQVRemovedLayersIndexes, qv::Value(uint64_t(index))}});
  }
}

void QVRovaProcessor::removeLastLayer() {
  auto list = layers();
  if (!list.empty()) removeLayer(list.back());
}

void QVRovaProcessor::forceRemoveLastLayer() { layerStack_.removeLast(); }

// ---- Active and edited layers ----

QVRovaProcessor::LayerPtr QVRovaProcessor::getLastTextureLayer() const {
  auto active = activeLayer();
  if (!active) return nullptr;
  auto list = layers();
  auto it = std::find(list.begin(), list.end(), active);
  if (it == list.end()) return initialLayer();
  for (auto i = int64_t(it - list.begin()); i >= 0; --i)
    if (!list[size_t(i)]->isAdjustmentLayer() && list[size_t(i)]->isEnabled()) return list[size_t(i)];
  return initialLayer();
}

void QVRovaProcessor::setEditedLayer(const LayerPtr& layer) {
  auto current = editedLayer();
  if (layer == current) return;
  if (layer && !canEditLayer(layer)) return;
  auto& center = qv::NotificationCenter::defaultCenter();
  center.post(kQVImageProcessorEditedLayerWillChange, sharedAs<QVModelObject>());
  finishDrawing();
  setEditedLayerField(layer);
  center.post(kQVImageProcessorEditedLayerDidChange, sharedAs<QVModelObject>());
}

void QVRovaProcessor::finishDrawing() {
  auto edited = editedLayer();
  if (!edited || !edited->hasMask()) return;
  if (auto mask = edited->mask()) mask->finishDrawing();
}

// ---- Preset layers and re-use ----

void QVRovaProcessor::applyPresetWithLayers(const std::vector<LayerPtr>& presetLayers,
                                            const std::optional<std::string>& presetUUID, const LayerPtr& onLayer) {
  auto target = onLayer ? onLayer : activeLayer();
  if (!target) return;
  bool saved = isNotifyAsync();
  setNotifyAsync(true);
  target->setLayers(presetLayers);
  target->setPresetUUID(presetUUID);
  setNotifyAsync(saved);
}

void QVRovaProcessor::applyLayers(const std::vector<LayerPtr>& list) {
  auto layer = QVIPLayerFactory::layer();
  layer->setLayers(list);
  addLayer(layer);
}

bool QVRovaProcessor::migrateBrushStackToLayerMask() {
  bool migrated = false;
  auto list = layers();
  auto initial = initialLayer();
  // Preset layers live on the initial layer too; every layer migrates, whatever the others did.
  if (initial && std::find(list.begin(), list.end(), initial) == list.end()) list.insert(list.begin(), initial);
  for (const auto& layer : list)
    if (layer->migrateBrushStackToMask()) migrated = true;
  return migrated;
}

void QVRovaProcessor::clearAndPrepareForReuse() {
  cancelProcessingQueue();
  auto weak = weakSelf();
  performOnImageProcessingQueue(
      [weak] {
        auto p = weak.lock();
        if (!p) return;
        while (!p->layers().empty()) p->forceRemoveLastLayer();
        std::lock_guard<std::recursive_mutex> lock(p->mutex_);
        p->canvasSize_ = CGSizeZero;
        p->loadingLayer_.reset();
        p->initialLayer_.reset();
      },
      false);
}

// ---- Crop ----

void QVRovaProcessor::setCropDescription(const std::shared_ptr<QVTCropDescription>& crop) {
  auto current = cropDescription();
  if (crop == current || (crop && current && crop->isEqual(*current))) return;
  {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    originalCroppedLowResImage_.reset();
  }
  if (auto history = historyManager()) history->registerHistoryWithActionName("Crop: Apply");
  postOnMainThread(crop ? kQVImageProcessorCropDescriptionWillChange : kQVImageProcessorWillRestoreFromCropState);
  setCropDescriptionField(crop);
  if (auto initial = initialLayer()) initial->setCropDescription(crop);
  for (const auto& layer : layers()) layer->setCropDescription(crop);
  auto weak = weakSelf();
  performOnImageProcessingQueue(
      [weak] {
        auto p = weak.lock();
        if (!p || !p->cppProcessor()) return;
        auto description = p->cropDescription();
        rova::CropDescription engineCrop = rova::CropDescriptionNone;
        if (description && !description->isIdentity()) {
          auto r = rova::rectRoiFromCGRect(description->cropRect(), p->canvasSize());
          engineCrop.rotation = float(description->rotation());
          engineCrop.x = int(r.x);
          engineCrop.y = int(r.y);
          engineCrop.width = int(r.width);
          engineCrop.height = int(r.height);
        }
        p->cppProcessor()->setCropDescription(engineCrop);
        p->postOnMainThread(kQVImageProcessorCropDescriptionDidChange);
      },
      false);
  setNeedsDisplay();
}

// ---- Duplicating ----

void QVRovaProcessor::duplicateLayer(const LayerPtr& source) {
  if (!canDuplicateLayer(source) || !source->cppLayer()) return;
  if (source->hasMask())
    if (auto mask = source->mask()) mask->saveMaskForce(true);
  if (auto history = historyManager()) history->registerHistoryWithActionName(source->name() + ": Duplicated");
  auto engineCopy = source->cppLayer()->copy();
  auto copy = QVIPLayerFactory::layerWithCppLayer(engineCopy, source->parent(), cppProcessor());
  if (!copy) return;
  copy->setName(source->name());
  rova::ImageTransformSettings sourceTransform;
  performOnImageProcessingQueue([&] { sourceTransform = source->cppLayer()->transformSettings(); }, true);
  auto list = layers();
  const uint64_t index = uint64_t(std::find(list.begin(), list.end(), source) - list.begin()) + 1;
  const bool wasNotifying = notify();
  setNotify(false);
  addLayer(copy, index);
  performOnImageProcessingQueue(
      [&] {
        auto settings = engineCopy->transformSettings();
        settings.transformType = sourceTransform.transformType;
        settings.transform = sourceTransform.transform;
        engineCopy->setTransformSettings(settings);
      },
      true);
  copy->copyParamsFromLayer(source, source, false);
  copy->updateNameWithPrefix(qv::QVSLocalization::localizedStringForKey("Copy of"));
  setNotify(wasNotifying);
  if (wasNotifying) {
    setNeedsDisplayWithInfo(qv::Dictionary{{kQVChangeTypeStateInfoKey, kQVImageProcessorLayersListDidChange}});
    postOnMainThread(kQVImageProcessorLayersListDidChange, {{kQVImageProcessorAddedLayersIndexes, qv::Value(index)}});
  }
  setActiveLayer(copy);
}

// ---- Overlays ----

void QVRovaProcessor::setShowMask(bool show) {
  if (show == showMask_) return;
  showMask_ = show;
  qv::NotificationCenter::defaultCenter().post(kQVImageProcessorMaskVisibilityDidChange, sharedAs<QVModelObject>());
}

void QVRovaProcessor::setShowHotPixels(bool show) {
  setClippingMarks(showHotPixels_, show, &rova::ImageProcessor::setShowHotPixels);
}

void QVRovaProcessor::setShowColdPixels(bool show) {
  setClippingMarks(showColdPixels_, show, &rova::ImageProcessor::setShowColdPixels);
}

void QVRovaProcessor::setClippingMarks(bool& field, bool show, void (rova::ImageProcessor::*engineSetter)(bool)) {
  if (show == field) return;
  field = show;
  auto weak = weakSelf();
  performOnImageProcessingQueue(
      [weak, show, engineSetter] {
        if (auto p = weak.lock()) (p->cppProcessor().get()->*engineSetter)(show);
      },
      false);
  setNeedsDisplay();
  qv::NotificationCenter::defaultCenter().post(kQVImageProcessorShowClippingDidChange, sharedAs<QVModelObject>());
}

void QVRovaProcessor::setOverlayPixelsType(uint64_t type) {
  if (overlayPixelsType_.exchange(type) == type) return;
  const int engineType = (type == 1 || type == 2) ? int(type) : 0;
  auto weak = weakSelf();
  performOnImageProcessingQueue(
      [weak, engineType] {
        if (auto p = weak.lock()) p->cppProcessor()->setOverlayPixelsType(engineType);
      },
      false);
  setNeedsDisplay();
}

// ---- Following another processor ----

namespace {

// The indexes a list notification carries: one number, or a list of them (ascending).
std::optional<std::vector<uint64_t>> indexesUnder(const qv::Notification& notification, const char* key) {
  auto it = notification.userInfo.find(key);
  if (it == notification.userInfo.end()) return std::nullopt;
  std::vector<uint64_t> indexes;
  if (const qv::Array* list = it->second.array()) {
    for (const auto& v : *list) indexes.push_back(uint64_t(v.asInt()));
  } else {
    indexes.push_back(uint64_t(it->second.asInt()));
  }
  std::sort(indexes.begin(), indexes.end());
  return indexes;
}

}  // namespace

std::shared_ptr<QVRovaProcessor> QVRovaProcessor::syncProcessor() const {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return syncProcessor_.lock();
}

bool QVRovaProcessor::syncWithProcessor(const std::shared_ptr<QVRovaProcessor>& other) {
  if (!other) return false;
  auto mine = layers(), theirs = other->layers();
  if (mine.size() != theirs.size()) return false;
  auto initial = initialLayer();
  if (!initial || !initial->syncWithLayer(other->initialLayer())) return false;
  for (size_t i = 0; i < mine.size(); ++i)
    if (!mine[i]->syncWithLayer(theirs[i])) return false;
  cancelProcessingQueue();
  if (auto previous = syncProcessor()) stopObservingNotificationsFromImageProcessor(previous);
  {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    syncProcessor_ = other;
  }
  observeNotificationsFromImageProcessor(other);
  return true;
}

void QVRovaProcessor::observeNotificationsFromImageProcessor(const std::shared_ptr<QVRovaProcessor>& source) {
  if (!source) return;
  auto weak = weakSelf();
  auto& center = qv::NotificationCenter::defaultCenter();
  auto observe = [&](const char* name, std::function<void(QVRovaProcessor&, const qv::Notification&)> handler) {
    syncTokens_.push_back(
        center.addObserver(name, source->notificationSender(), [weak, handler](const qv::Notification& n) {
          if (auto p = weak.lock()) handler(*p, n);
        }));
  };
  observe(kQVImageProcessorLayersListDidChange, [](QVRovaProcessor& p, const qv::Notification& n) {
    if (!p.layersListDidChange(n)) p.setInvalid(true);
  });
  observe(kQVImageProcessorActiveLayerDidChange,
          [](QVRovaProcessor& p, const qv::Notification&) { p.activeLayerDidChange(); });
  observe(kQVImageProcessorImageOrientationDidChange, [](QVRovaProcessor& p, const qv::Notification&) {
    // The follower's layers, engine and canvas take the source's orientation as its own would.
    if (auto source = p.syncProcessor()) p.setOrientation(source->orientation());
  });
  for (const char* name : {kQVImageProcessorLayersArrangementDidChange, kQVImageProcessorFiltersArrangementDidChange})
    observe(name, [](QVRovaProcessor& p, const qv::Notification& n) { p.layerArrangementDidChange(n); });
}

void QVRovaProcessor::stopObservingNotificationsFromImageProcessor(const std::shared_ptr<QVRovaProcessor>&) {
  // Only one source is ever followed, so every observation is that source's.
  syncTokens_.clear();
}

bool QVRovaProcessor::layersListDidChange(const qv::Notification& notification) {
  auto source = syncProcessor();
  if (!source) {
    QVLogError("Error: Sync processor should not be nil.");
    return false;
  }
  if (auto added = indexesUnder(notification, kQVImageProcessorAddedLayersIndexes)) {
    auto theirs = source->layers();
    for (uint64_t index : *added) {
      if (index >= theirs.size()) {
        QVLogError("Error: Invalid index.");
        return false;
      }
      const auto& original = theirs[index];
      if (!original->isAdjustmentLayer()) {
        QVLogError("Error: Should be adjustment layer.");
        return false;
      }
      auto copy = QVIPLayerFactory::layerWithClassOfLayer(*original);
      bool synced = copy->syncWithLayer(original);
      addLayer(copy);
      if (!synced) return false;
    }
    return true;
  }
  if (auto removed = indexesUnder(notification, kQVRemovedLayersIndexes)) {
    auto mine = layers();
    std::vector<LayerPtr> leaving;
    for (uint64_t index : *removed) {
      if (index >= mine.size()) {
        QVLogError("Error: Invalid index.");
        return false;
      }
      leaving.push_back(mine[index]);
    }
    for (const auto& layer : leaving) removeLayer(layer);
    return true;
  }
  return false;
}

void QVRovaProcessor::activeLayerDidChange() {
  auto source = syncProcessor();
  if (!source) {
    QVLogError("Error: Sync processor should not be nil.");
    setInvalid(true);
    return;
  }
  auto theirs = source->layers();
  auto it = std::find(theirs.begin(), theirs.end(), source->activeLayer());
  if (it == theirs.end()) {
    QVLogError("Error: Invalid situation.");
    setInvalid(true);
    return;
  }
  auto mine = layers();
  const size_t index = size_t(it - theirs.begin());
  if (index < mine.size()) {
    setActiveLayer(mine[index]);
  } else {
    QVLogError("Error: Invalid index.");
    setInvalid(true);
  }
}

void QVRovaProcessor::layerArrangementDidChange(const qv::Notification& notification) {
  // A follower does not follow rearrangements: it no longer mirrors its source.
  auto source = syncProcessor();
  if (source && notification.sender == source->notificationSender()) setInvalid(true);
}
