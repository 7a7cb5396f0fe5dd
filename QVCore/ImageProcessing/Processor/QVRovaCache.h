#pragma once
// A small key-object store with a count limit and least-recently-used eviction. Every access runs
// on the cache's own serial queue, so render operations, the engine's update handler and the
// processor's maintenance may use one cache at once without further locking.
//
// Stores, clears and limit changes return at once; lookups wait for the queue. Since every
// mutation is queued in call order, a lookup issued after a store from the same thread sees the
// stored object, and the limit holds again before that lookup runs. Never look up from inside a
// block running on the cache's own queue.
//
// Recency counts lookups too, hits and misses alike: a missed key is remembered as the most recent
// (without an entry) and counts against the limit until stored or evicted.
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "QVPlatform/Dispatch.h"

class QVRovaCache : public std::enable_shared_from_this<QVRovaCache> {
 public:
  using Key = std::string;
  using Object = std::shared_ptr<void>;

  // A cache with no entries and no limit; its queue is labelled "Cache queue".
  static std::shared_ptr<QVRovaCache> make();
  QVRovaCache();
  QVRovaCache(const QVRovaCache&) = delete;
  QVRovaCache& operator=(const QVRovaCache&) = delete;

  // The most keys kept (0: no limit). A new value is stored and enforced at once (asynchronous).
  void setCountLimit(uint64_t limit);
  uint64_t countLimit() const;

  // Stores or replaces the entry, makes the key the most recent and evicts down to the limit
  // (asynchronous). A null object or an empty key is ignored.
  void cacheObject(Object object, const Key& key);
  // The entry or nullptr; the key becomes the most recent, hit or miss (waits for the queue).
  Object cachedObjectForKey(const Key& key);
  template <class T>
  std::shared_ptr<T> cachedObjectForKey(const Key& key) {
    return std::static_pointer_cast<T>(cachedObjectForKey(key));
  }
  // Removes every entry and forgets the recency order; the limit stays (asynchronous).
  void removeAllObjects();
  // The eviction pass (asynchronous): drops least recently used keys beyond the limit.
  void validateCache();

  // Snapshots, read on the queue (wait for it).
  std::map<Key, Object> cache() const;
  std::vector<Key> keys() const;
  const std::shared_ptr<qv::DispatchQueue>& queue() const { return queue_; }

  // The keys the processor files its results under. `renderKey` is the request's text and
  // `renderSettingsText` the part of it after the region and fit size; thumbnails depend on the
  // processor state and the render settings, not on the region, so regions of one state share
  // them.
  static Key previewKey(const std::string& stateID, const std::string& renderKey);
  static Key thumbnailKey(const std::string& stateID, const std::string& renderSettingsText);
  static Key originalRoiKey(const std::string& renderKey);

 private:
  template <class F>
  void enqueue(F&& work);
  void touchLocked(const Key& key);
  void evictLocked();

  std::shared_ptr<qv::DispatchQueue> queue_;
  // Touched on the queue only.
  std::map<Key, Object> cache_;
  std::vector<Key> keys_;  // least recently used first
  uint64_t countLimit_ = 0;
};
