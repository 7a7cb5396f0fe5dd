#include "QVCore/ImageProcessing/Processor/QVRovaCache.h"

#include <algorithm>

std::shared_ptr<QVRovaCache> QVRovaCache::make() { return std::make_shared<QVRovaCache>(); }

QVRovaCache::QVRovaCache() : queue_(qv::DispatchQueue::makeSerial("Cache queue")) {}

template <class F>
void QVRovaCache::enqueue(F&& work) {
  // A block that runs after the cache is gone does nothing.
  queue_->async([weak = weak_from_this(), work = std::forward<F>(work)]() mutable {
    if (auto self = weak.lock()) work(*self);
  });
}

void QVRovaCache::setCountLimit(uint64_t limit) {
  enqueue([limit](QVRovaCache& self) {
    if (self.countLimit_ == limit) return;
    self.countLimit_ = limit;
    self.evictLocked();
  });
}

uint64_t QVRovaCache::countLimit() const {
  uint64_t limit = 0;
  queue_->sync([&] { limit = countLimit_; });
  return limit;
}

void QVRovaCache::touchLocked(const Key& key) {
  keys_.erase(std::remove(keys_.begin(), keys_.end(), key), keys_.end());
  keys_.push_back(key);
}

void QVRovaCache::evictLocked() {
  if (countLimit_ == 0) return;
  while (keys_.size() > countLimit_) {
    cache_.erase(keys_.front());
    keys_.erase(keys_.begin());
  }
}

void QVRovaCache::cacheObject(Object object, const Key& key) {
  if (!object || key.empty()) return;
  enqueue([object = std::move(object), key](QVRovaCache& self) mutable {
    self.cache_[key] = std::move(object);
    self.touchLocked(key);
    // Evicting inside the same block (not in a block queued behind it) keeps the limit for any
    // lookup that was queued while this store waited.
    self.evictLocked();
  });
}

QVRovaCache::Object QVRovaCache::cachedObjectForKey(const Key& key) {
  Object found;
  queue_->sync([&] {
    auto it = cache_.find(key);
    if (it != cache_.end()) found = it->second;
    touchLocked(key);
  });
  return found;
}

void QVRovaCache::removeAllObjects() {
  enqueue([](QVRovaCache& self) {
    self.cache_.clear();
    self.keys_.clear();
  });
}

void QVRovaCache::validateCache() {
  enqueue([](QVRovaCache& self) { self.evictLocked(); });
}

std::map<QVRovaCache::Key, QVRovaCache::Object> QVRovaCache::cache() const {
  std::map<Key, Object> copy;
  queue_->sync([&] { copy = cache_; });
  return copy;
}

std::vector<QVRovaCache::Key> QVRovaCache::keys() const {
  std::vector<Key> copy;
  queue_->sync([&] { copy = keys_; });
  return copy;
}

QVRovaCache::Key QVRovaCache::previewKey(const std::string& stateID, const std::string& renderKey) {
  return "Preview_" + stateID + ":" + renderKey;
}

QVRovaCache::Key QVRovaCache::thumbnailKey(const std::string& stateID, const std::string& renderSettingsText) {
  return "Thumbnail_" + stateID + ":" + renderSettingsText;
}

QVRovaCache::Key QVRovaCache::originalRoiKey(const std::string& renderKey) { return "OriginalRoi_" + renderKey; }
