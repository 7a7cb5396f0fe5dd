// The processor's saved states. A restore reuses the layers that still hold a saved state, so an
// undo that only touches one layer leaves the others and their engine layers alone.
#include "QVCore/ImageProcessing/Processor/QVRovaProcessorStateStore.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <typeinfo>

#include "QVCore/ImageProcessing/Base/QVLayerStateModelProtocol.h"
#include "QVCore/ImageProcessing/History/QVHistoryManagerProtocol.h"
#include "QVCore/ImageProcessing/Processor/QVRovaProcessor.h"
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

std::shared_ptr<QVLayerStateModelProtocol> stateOf(const std::shared_ptr<QVIPLayer>& layer) {
  return layer ? layer->state() : nullptr;
}

qv::Value serializedStateOf(const std::shared_ptr<QVIPLayer>& layer) {
  auto state = stateOf(layer);
  return state ? state->serialize() : qv::Value(qv::Dictionary{});
}

bool isTextureEntry(const qv::Value& entry) {
  auto state = QVLayerStateDictionaryFactory::make(entry, nullptr, true);
  return state && state->isTexture();
}

std::string lastPathComponent(const std::string& path) { return std::filesystem::path(path).filename().string(); }

}  // namespace

QVRovaProcessorStateStore::QVRovaProcessorStateStore(QVRovaProcessor& owner) : owner_(owner) {}

// ---- History ----

std::shared_ptr<QVHistoryManagerProtocol> QVRovaProcessorStateStore::historyManager() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return historyManager_.lock();
}

void QVRovaProcessorStateStore::setHistoryManager(std::weak_ptr<QVHistoryManagerProtocol> history) {
  auto manager = history.lock();
  bool changed;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    changed = manager != historyManager_.lock();
    historyManager_ = std::move(history);
  }
  if (manager && changed) manager->setDelegate(owner_.weakAs<QVHistoryManagerDelegate>());
}

bool QVRovaProcessorStateStore::isOwnHistoryManager(const QVHistoryManagerProtocol& manager) const {
  auto own = historyManager();
  return own && own.get() == &manager;
}

void QVRovaProcessorStateStore::saveState(QVHistoryManagerProtocol& manager, const std::string& uuid,
                                          QVHistoryManagerDelegate::Completion completion) {
  if (!isOwnHistoryManager(manager)) return;
  qv::Dictionary state;
  if (auto crop = owner_.cropDescription()) state[kCropDescriptionKey] = crop->cropDescriptionDictionary();
  if (owner_.orientation() != 1) state[kOrientationKey] = qv::Value(owner_.orientation());
  state[kInitialLayerKey] = serializedStateOf(owner_.initialLayer());
  auto list = owner_.layers();
  auto active = owner_.activeLayer();
  auto it = std::find(list.begin(), list.end(), active);
  state[kActiveLayerIndexKey] = (active && it != list.end()) ? int64_t(it - list.begin()) : kNotFound;
  qv::Array entries;
  for (const auto& layer : list) entries.push_back(serializedStateOf(layer));
  state[kLayersKey] = std::move(entries);
  bool ok = qv::PropertyList::writeFile(statePath(manager, uuid), state);
  if (!ok) QVLogError("[PropertyList writeFile:%s] == NO", statePath(manager, uuid).c_str());
  if (completion) completion(ok);
}

void QVRovaProcessorStateStore::restoreState(QVHistoryManagerProtocol& manager, const std::string& uuid,
                                             QVHistoryManagerDelegate::Completion completion) {
  enableNotifyAsync();
  bool ok = false;
  std::shared_ptr<QVLayerStateModelProtocol> restoredActive;
  if (isOwnHistoryManager(manager)) {
    qv::NotificationCenter::defaultCenter().post(kQVHistoryStateWillRestoreNotification,
                                                 owner_.sharedAs<QVModelObject>());
    qv::Value state = qv::PropertyList::readFile(statePath(manager, uuid), nullptr);
    if (state.isDictionary()) {
      restoredActive = applyState(state);
      ok = true;
    }
    // A long change started by a texture load of this restore ends after the engine work the
    // restore queued, so the finish notice follows it on the queue.
    if (owner_.needProgressForChangingState_.exchange(false)) {
      auto weak = owner_.weakAs<QVRovaProcessor>();
      owner_.performOnImageProcessingQueue(
          [weak] {
            if (auto p = weak.lock()) p->postOnMainThread(kQVImageProcessorHardStateFinishChangeNotification);
          },
          false);
    }
  }
  if (completion) completion(ok);
  if (restoredActive) {
    // Observers get the record itself (its complete object), whatever interface it came through.
    std::shared_ptr<void> record(restoredActive, dynamic_cast<void*>(restoredActive.get()));
    owner_.postOnMainThread(kQVHistoryStateDidRestoreNotification, {}, {{kQVHistoryStateKey, record}});
  }
  disableNotifyAsync();
}

std::shared_ptr<QVLayerStateModelProtocol> QVRovaProcessorStateStore::applyState(const qv::Value& state) {
  // Through the setter, so the layers and the engine turn too (no step: the history is applying).
  const int64_t orientation = state[kOrientationKey].asInt(1);
  owner_.setOrientation(orientation == 0 ? 1 : uint64_t(orientation));
  if (const qv::Value* cropEntry = state.find(kCropDescriptionKey)) {
    auto crop = QVTCropDescription::initWithDictionary(*cropEntry);
    CGSize canvas = owner_.canvasSize();
    if (crop && crop->imageSize() != canvas) crop = crop->convertToImageSize(canvas);
    owner_.setCropDescription(crop);
  } else {
    owner_.setCropDescription(nullptr);
  }
  qv::Array saved;
  if (const qv::Array* entries = state[kLayersKey].array()) saved = *entries;
  int64_t activeIndex = state[kActiveLayerIndexKey].asInt(kNotFound);

  if (const qv::Value* initialEntry = state.find(kInitialLayerKey); initialEntry && initialEntry->isDictionary()) {
    qv::Value entry = *initialEntry;
    auto initial = owner_.initialImageLayer();
    if (initial) {
      // The picture may have moved since the step was saved: keep the file the layer uses now.
      auto current = initial->textureURL();
      if (current && !current->empty() && entry["TexturePath"].asString() != *current)
        entry.set("TexturePath", *current);
      auto initialState = QVLayerStateDictionaryFactory::make(entry, initial, false);
      if (initialState) initialState->setInitialLayer(true);
      initial->setState(initialState);
    }
    if (owner_.useInitialLayerAsFirst() && !saved.empty() &&
        entry["Identifier"].asString() != saved.front()["Identifier"].asString()) {
      saved.insert(saved.begin(), entry);
      if (activeIndex != kNotFound) ++activeIndex;
    }
  }

  const auto snapshot = owner_.layers();
  std::shared_ptr<QVLayerStateModelProtocol> restoredActive;
  for (size_t i = 0; i < saved.size(); ++i) {
    const qv::Value& entry = saved[i];
    const bool texture = isTextureEntry(entry);
    if (i >= owner_.layers().size()) {
      if (texture) {
        owner_.createImageLayerAtIndex(owner_.layers().size());
        auto added = owner_.layers();
        if (i < added.size()) added[i]->setTextureState(QVLayerStateDictionaryFactory::make(entry, added[i], false));
      } else {
        owner_.createLayer();
      }
    }
    auto list = owner_.layers();
    if (i >= list.size()) break;
    auto layer = list[i];
    auto restored = QVLayerStateDictionaryFactory::make(entry, layer, false);
    if (!restored) continue;  // no record maker registered (logged by the factory)
    auto current = stateOf(layer);
    if (layer->isActive() && int64_t(i) == activeIndex && current &&
        current->historyTextureName().value_or("") != restored->historyTextureName().value_or(""))
      owner_.postOnMainThread(kQVImageProcessorActiveLayerDidChange);
    if (activeIndex != kNotFound && uint64_t(activeIndex) < list.size() && int64_t(i) < activeIndex && current &&
        current->stateHash() != restored->stateHash())
      owner_.postOnMainThread(kQVImageProcessorBottomLayersDidChange);

    auto holder = findLayerWithState(restored, snapshot);
    if (holder == layer) {
      // Already holds the saved state.
    } else if (holder) {
      owner_.moveLayer(holder, int64_t(i));
    } else {
      // Only the two plain classes trade places; other layer classes take the state as they are.
      const QVIPLayer& held = *layer;
      const bool exactlyImage = typeid(held) == typeid(QVIPImageLayer);
      const bool exactlyPlain = typeid(held) == typeid(QVIPLayer);
      const bool replace = restored->isTexture() ? exactlyPlain : exactlyImage;
      if (replace && owner_.canRemoveLayer(layer)) {
        owner_.removeLayer(layer);
        auto replacement = restored->isTexture() ? owner_.createImageLayerAtIndex(i) : owner_.createLayerAtIndex(i);
        if (replacement) {
          restored = QVLayerStateDictionaryFactory::make(entry, replacement, false);
          replacement->setState(restored);
        }
      } else {
        layer->setState(restored);
      }
    }
    if (int64_t(i) == activeIndex) {
      auto now = owner_.layers();
      if (i < now.size()) owner_.setActiveLayer(now[i]);
      restoredActive = restored;
    }
  }
  while (owner_.layers().size() > saved.size() && owner_.layers().size() > 1) {
    size_t before = owner_.layers().size();
    owner_.removeLastLayer();
    if (owner_.layers().size() == before) break;
  }
  owner_.validateActiveLayer(true);
  return restoredActive;
}

void QVRovaProcessorStateStore::removeState(QVHistoryManagerProtocol& manager, const std::string& uuid) {
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

// ---- Textures of a state ----

std::optional<std::vector<std::string>> QVRovaProcessorStateStore::allTexturesFromStateUUID(const std::string& uuid) {
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

qv::Array QVRovaProcessorStateStore::allSublayersForLayers(const qv::Array& entries) {
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

QVRovaProcessorStateStore::LayerPtr QVRovaProcessorStateStore::findLayerWithState(
    const std::shared_ptr<QVLayerStateModelProtocol>& state, const std::vector<LayerPtr>& list) {
  if (!state) return nullptr;
  for (const auto& layer : list)
    if (auto held = layer->state(); held && held->identifier() == state->identifier()) return layer;
  return nullptr;
}

// ---- Reporting mode ----

void QVRovaProcessorStateStore::enableNotifyAsync() {
  std::lock_guard<std::mutex> lock(mutex_);
  savedNotifyAsync_ = notifyAsync_.load();
  notifyAsync_ = true;
}

void QVRovaProcessorStateStore::disableNotifyAsync() {
  std::lock_guard<std::mutex> lock(mutex_);
  notifyAsync_ = savedNotifyAsync_;
}
