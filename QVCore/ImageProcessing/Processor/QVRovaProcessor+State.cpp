// The processor as the delegate of its edit history: every step's editing state (orientation,
// crop, the initial layer and the whole stack as layer-state dictionaries, the active index) is
// one property list "<uuid>.state" in the history folder. A restore reuses the layers that still
// hold a saved state, so an undo that only touches one layer leaves the others and their engine
// layers alone.
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <typeinfo>

#include "QVCore/ImageProcessing/History/QVHistoryManagerProtocol.h"
#include "QVCore/ImageProcessing/Processor/QVRovaProcessor.h"
#include "QVCore/Model/Entities/QVLayerState.h"
#include "QVPlatform/Log.h"
#include "QVPlatform/PropertyList.h"

namespace {

constexpr const char* kCropDescriptionKey = "CropDescription";
constexpr const char* kOrientationKey = "kQVHistoryDictionaryOrientationKey";
constexpr const char* kInitialLayerKey = "InitialLayerDictionary";
constexpr const char* kActiveLayerIndexKey = "ActiveLayerIndex";
constexpr const char* kLayersKey = "Layers";
constexpr int64_t kNotFound = INT64_MAX;

std::string statePath(QVHistoryManagerProtocol& manager, const std::string& uuid) {
  return manager.historyPath() + "/" + uuid + ".state";
}

std::shared_ptr<QVLayerState> stateOf(const std::shared_ptr<QVIPLayer>& layer) {
  return layer ? std::dynamic_pointer_cast<QVLayerState>(layer->state()) : nullptr;
}

qv::Value serializedStateOf(const std::shared_ptr<QVIPLayer>& layer) {
  auto state = stateOf(layer);
  return state ? state->serialize() : qv::Value(qv::Dictionary{});
}

bool isTextureEntry(const qv::Value& entry) {
  return QVLayerState::initWithoutSublayersAndEffectsFromInfo(entry)->isTexture();
}

std::string lastPathComponent(const std::string& path) { return std::filesystem::path(path).filename().string(); }

}  // namespace

// ---- History ----

void QVRovaProcessor::setHistoryManager(std::weak_ptr<QVHistoryManagerProtocol> history) {
  auto manager = history.lock();
  bool changed = manager != historyManager_.lock();
  historyManager_ = std::move(history);
  if (manager && changed) manager->setDelegate(weakAs<QVHistoryManagerDelegate>());
}

bool QVRovaProcessor::isOwnHistoryManager(const QVHistoryManagerProtocol& manager) const {
  auto own = historyManager_.lock();
  return own && own.get() == &manager;
}

void QVRovaProcessor::historyManagerSaveStateForHistoryWithUUID(QVHistoryManagerProtocol& manager,
                                                                const std::string& uuid,
                                                                QVHistoryManagerDelegate::Completion completion) {
  if (!isOwnHistoryManager(manager)) return;
  qv::Dictionary state;
  if (auto crop = cropDescription()) state[kCropDescriptionKey] = crop->cropDescriptionDictionary();
  if (orientation() != 1) state[kOrientationKey] = qv::Value(orientation());
  state[kInitialLayerKey] = serializedStateOf(initialLayer());
  auto list = layers();
  auto active = activeLayer();
  auto it = std::find(list.begin(), list.end(), active);
  state[kActiveLayerIndexKey] = (active && it != list.end()) ? int64_t(it - list.begin()) : kNotFound;
  qv::Array entries;
  for (const auto& layer : list) entries.push_back(serializedStateOf(layer));
  state[kLayersKey] = std::move(entries);
  bool ok = qv::PropertyList::writeFile(statePath(manager, uuid), state);
  if (!ok) QVLogError("[PropertyList writeFile:%s] == NO", statePath(manager, uuid).c_str());
  if (completion) completion(ok);
}

void QVRovaProcessor::historyManagerRestoreStateForUUID(QVHistoryManagerProtocol& manager, const std::string& uuid,
                                                        QVHistoryManagerDelegate::Completion completion) {
  enableNotifyAsync();
  bool ok = false;
  std::shared_ptr<QVLayerState> restoredActive;
  if (isOwnHistoryManager(manager)) {
    qv::NotificationCenter::defaultCenter().post(kQVHistoryStateWillRestoreNotification, sharedAs<QVModelObject>());
    qv::Value state = qv::PropertyList::readFile(statePath(manager, uuid), nullptr);
    if (state.isDictionary()) {
      restoredActive = applyState(state);
      ok = true;
    }
    // A long change started by a texture load of this restore ends after the engine work the
    // restore queued, so the finish notice follows it on the queue.
    if (needProgressForChangingState_.exchange(false)) {
      auto weak = weakSelf();
      performOnImageProcessingQueue(
          [weak] {
            if (auto p = weak.lock()) p->postOnMainThread(kQVImageProcessorHardStateFinishChangeNotification);
          },
          false);
    }
  }
  if (completion) completion(ok);
  if (restoredActive)
    postOnMainThread(kQVHistoryStateDidRestoreNotification, {}, {{kQVHistoryStateKey, restoredActive}});
  disableNotifyAsync();
}

std::shared_ptr<QVLayerState> QVRovaProcessor::applyState(const qv::Value& state) {
  // Through the setter, so the layers and the engine turn too (no step: the history is applying).
  const int64_t orientation = state[kOrientationKey].asInt(1);
  setOrientation(orientation == 0 ? 1 : uint64_t(orientation));
  if (const qv::Value* cropEntry = state.find(kCropDescriptionKey)) {
    auto crop = QVTCropDescription::initWithDictionary(*cropEntry);
    CGSize canvas = canvasSize();
    if (crop && crop->imageSize() != canvas) crop = crop->convertToImageSize(canvas);
    setCropDescription(crop);
  } else {
    setCropDescription(nullptr);
  }
  qv::Array saved;
  if (const qv::Array* entries = state[kLayersKey].array()) saved = *entries;
  int64_t activeIndex = state[kActiveLayerIndexKey].asInt(kNotFound);

  if (const qv::Value* initialEntry = state.find(kInitialLayerKey); initialEntry && initialEntry->isDictionary()) {
    qv::Value entry = *initialEntry;
    auto initial = initialImageLayer();
    if (initial) {
      // The picture may have moved since the step was saved: keep the file the layer uses now.
      auto current = initial->textureURL();
      if (current && !current->empty() && entry["TexturePath"].asString() != *current)
        entry.set("TexturePath", *current);
      auto initialState = QVLayerState::initWithDic(entry, initial);
      initialState->setInitialLayer(true);
      initial->setState(initialState);
    }
    if (useInitialLayerAsFirst() && !saved.empty() &&
        entry["Identifier"].asString() != saved.front()["Identifier"].asString()) {
      saved.insert(saved.begin(), entry);
      if (activeIndex != kNotFound) ++activeIndex;
    }
  }

  const auto snapshot = layers();
  std::shared_ptr<QVLayerState> restoredActive;
  for (size_t i = 0; i < saved.size(); ++i) {
    const qv::Value& entry = saved[i];
    const bool texture = isTextureEntry(entry);
    if (i >= layers().size()) {
      if (texture) {
        createImageLayerAtIndex(layers().size());
        auto added = layers();
        if (i < added.size()) added[i]->setTextureState(QVLayerState::initWithDic(entry, added[i]));
      } else {
        createLayer();
      }
    }
    auto list = layers();
    if (i >= list.size()) break;
    auto layer = list[i];
    auto restored = QVLayerState::initWithDic(entry, layer);
    auto current = stateOf(layer);
    if (layer->isActive() && int64_t(i) == activeIndex && current &&
        current->historyTextureName().value_or("") != restored->historyTextureName().value_or(""))
      postOnMainThread(kQVImageProcessorActiveLayerDidChange);
    if (activeIndex != kNotFound && uint64_t(activeIndex) < list.size() && int64_t(i) < activeIndex && current &&
        current->stateHash() != restored->stateHash())
      postOnMainThread(kQVImageProcessorBottomLayersDidChange);

    auto holder = findLayerWithState(restored, snapshot);
    if (holder == layer) {
      // Already holds the saved state.
    } else if (holder) {
      moveLayer(holder, int64_t(i));
    } else {
      // Only the two plain classes trade places; other layer classes take the state as they are.
      const QVIPLayer& held = *layer;
      const bool exactlyImage = typeid(held) == typeid(QVIPImageLayer);
      const bool exactlyPlain = typeid(held) == typeid(QVIPLayer);
      const bool replace = restored->isTexture() ? exactlyPlain : exactlyImage;
      if (replace && canRemoveLayer(layer)) {
        removeLayer(layer);
        auto replacement = restored->isTexture() ? createImageLayerAtIndex(i) : createLayerAtIndex(i);
        if (replacement) {
          restored = QVLayerState::initWithDic(entry, replacement);
          replacement->setState(restored);
        }
      } else {
        layer->setState(restored);
      }
    }
    if (int64_t(i) == activeIndex) {
      auto now = layers();
      if (i < now.size()) setActiveLayer(now[i]);
      restoredActive = restored;
    }
  }
  while (layers().size() > saved.size() && layers().size() > 1) {
    size_t before = layers().size();
    removeLastLayer();
    if (layers().size() == before) break;
  }
  validateActiveLayer(true);
  return restoredActive;
}

void QVRovaProcessor::historyManagerRemoveStateForUUID(QVHistoryManagerProtocol& manager, const std::string& uuid) {
  if (!isOwnHistoryManager(manager)) return;
  auto textures = allTexturesFromStateUUID(uuid);
  if (textures && !textures->empty()) {
    auto remaining = *textures;
    for (const auto& other : manager.subtractedUUIDs(uuid)) {
      if (remaining.empty()) break;
      auto used = allTexturesFromStateUUID(other);
      if (!used) continue;
      std::erase_if(remaining, [&](const std::string& name) {
        return std::find(used->begin(), used->end(), name) != used->end();
      });
    }
    for (const auto& name : remaining) manager.deleteTextureWithName(name);
  }
  // The state file goes in every case, also for a step that referred to no texture.
  std::error_code ec;
  std::filesystem::remove(statePath(manager, uuid), ec);
}

std::optional<std::vector<std::string>> QVRovaProcessor::historyManagerAllTexturesFromStateUUID(
    QVHistoryManagerProtocol&, const std::string& uuid) {
  return allTexturesFromStateUUID(uuid).value_or(std::vector<std::string>{});
}

// ---- Textures of a state ----

std::optional<std::vector<std::string>> QVRovaProcessor::allTexturesFromStateUUID(const std::string& uuid) {
  auto manager = historyManager();
  if (!manager) return std::nullopt;
  qv::Value state = qv::PropertyList::readFile(statePath(*manager, uuid), nullptr);
  if (!state.isDictionary()) return std::nullopt;
  qv::Array entries;
  if (const qv::Value* initial = state.find(kInitialLayerKey)) entries.push_back(*initial);
  if (const qv::Array* list = state[kLayersKey].array()) entries.insert(entries.end(), list->begin(), list->end());
  auto nested = allSublayersForLayers(entries);
  entries.insert(entries.end(), nested.begin(), nested.end());

  std::vector<std::string> names;
  auto addCached = [&](const std::string& path) {
    if (path.empty()) return;
    if (auto cached = manager->cachedPathForTextureWithPath(path); cached && !cached->empty())
      names.push_back(lastPathComponent(*cached));
  };
  for (const auto& entry : entries) {
    addCached(entry["TexturePath"].asString());
    if (auto mask = entry["HistoryMaskName"].asString(); !mask.empty()) names.push_back(mask);
    if (auto texture = entry["HistoryTextureName"].asString(); !texture.empty()) names.push_back(texture);
    const qv::Array* effects = entry["EffectsArray"].array();
    if (!effects) continue;
    for (const auto& effect : *effects) {
      const qv::Dictionary* parameters = effect["Parameters"].dictionary();
      if (!parameters) continue;
      for (const auto& [key, parameter] : *parameters) {
        int64_t type = parameter["OptionalDataType"].asInt();
        if (type == 4)
          addCached(parameter["OptionalData"].asString());
        else if (type == 5)
          addCached(parameter["OptionalData"][kQVParameterOptionalDataPathKey].asString());
      }
    }
  }
  return names;
}

qv::Array QVRovaProcessor::allSublayersForLayers(const qv::Array& entries) {
  qv::Array all;
  qv::Array level = entries;
  while (!level.empty()) {
    qv::Array next;
    for (const auto& entry : level)
      if (const qv::Array* children = entry["SubLayersStates"].array())
        next.insert(next.end(), children->begin(), children->end());
    all.insert(all.end(), next.begin(), next.end());
    level = std::move(next);
  }
  return all;
}

QVRovaProcessor::LayerPtr QVRovaProcessor::findLayerWithState(const std::shared_ptr<QVLayerStateModelProtocol>& state,
                                                              const std::vector<LayerPtr>& list) {
  if (!state) return nullptr;
  for (const auto& layer : list)
    if (auto held = layer->state(); held && held->identifier() == state->identifier()) return layer;
  return nullptr;
}

// ---- Reporting mode ----

void QVRovaProcessor::enableNotifyAsync() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  savedNotifyAsync_ = notifyAsync_.load();
  notifyAsync_ = true;
}

void QVRovaProcessor::disableNotifyAsync() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  notifyAsync_ = savedNotifyAsync_.load();
}

void QVRovaProcessor::updateWithNotifyAsync(const std::function<void()>& block) {
  enableNotifyAsync();
  if (block) block();
  disableNotifyAsync();
}

// ---- Memory and geometry ----

void QVRovaProcessor::clearMemory() {
  clearCaches();
  dropOriginalPreviews();
  auto weak = weakSelf();
  performOnImageProcessingQueue(
      [weak] {
        if (auto p = weak.lock()) p->cppProcessor()->clearCache();
      },
      false);
}

void QVRovaProcessor::reset() {
  if (auto initial = initialLayer()) initial->reset();
  for (const auto& layer : layers()) layer->reset();
}

CGSize QVRovaProcessor::lowResSize() {
  CGSize canvas = canvasSize();
  return CGSizeMake(std::floor(canvas.width * lowResScale()), std::floor(canvas.height * lowResScale()));
}

CGRect QVRovaProcessor::lowResRect() const {
  auto crop = cropDescription();
  if (!crop) return CGRectZero;
  CGRect r = crop->cropRect();
  const double s = lowResScale();
  return CGRectMake(std::floor(r.origin.x * s), std::floor(r.origin.y * s), std::floor(r.size.width * s),
                    std::floor(r.size.height * s));
}

void QVRovaProcessor::updateCropRect(CGRect rect) {
  const rova::RectRoi region = rova::truncated(rova::rectRoiFromCGRect(rect, canvasSize()));
  auto weak = weakSelf();
  performOnImageProcessingQueue(
      [weak, region] {
        if (auto p = weak.lock()) p->cppProcessor()->setCropRect(region);
      },
      false);
}
