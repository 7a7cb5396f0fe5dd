#pragma once
// The process's memory cache of entities under the typed cache's keys (MD5 text of the source
// path, "_", entity class name). It bounds memory by entity cost (for image entities the encoded
// bytes and the decoded image kept beside them; faces cost nothing): once the costs reach the
// eviction threshold after an insertion, the least recently touched entities go, oldest first,
// until the total is below the target. So the memory it takes follows the photos recently shown
// or worked on, not the number of photos open.
//
// A cost is taken when the entity is inserted and kept with it, so the books always balance even
// if an entity's cost could change later. Touch marks are taken on the caller's thread when the
// call is made (a process-wide sequence, so two calls never tie). All dictionary work runs on the
// cache's serial queue: lookups wait for it, insertions and cleans are queued and return at once;
// a lookup after an insertion from the same thread sees the insertion.
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "Ombrel/Classes/Model/Entities/QVEntity.h"
#include "QVPlatform/Dispatch.h"

// Eviction starts when the costs add up to at least this after an insertion...
inline constexpr uint64_t kQVEntitiesCacheEvictionThreshold = 700'000'000;
// ...and stops as soon as they are below this.
inline constexpr uint64_t kQVEntitiesCacheEvictionTarget = 490'000'000;

class QVEntitiesCache {
 public:
  static QVEntitiesCache& shared();
  QVEntitiesCache(uint64_t evictionThreshold = kQVEntitiesCacheEvictionThreshold,
                  uint64_t evictionTarget = kQVEntitiesCacheEvictionTarget);
  // Lets the blocks queued so far run first: they use this cache.
  ~QVEntitiesCache();

  // The entity under the key, or nullptr; records the touch either way.
  QVEntityRef objectForKeyedSubscript(const std::string& key);
  // Queued: stores (or replaces) the entity under the key, then evicts. Nothing for an empty key or
  // no entity.
  void setObject(QVEntityRef entity, const std::string& key);
  void cleanCache();
  // Queued: removes every key that begins with the MD5 text of the source path.
  void cleanCacheForPath(const std::string& path);
  void cleanCacheForKey(const std::string& key);

  // Read on the queue (after everything queued so far).
  uint64_t totalCost();
  size_t count();
  bool containsKey(const std::string& key);

 private:
  struct Entry {
    QVEntityRef entity;
    uint64_t cost = 0;
  };
  void removeKey(const std::string& key);
  void evictIfNeeded();

  const uint64_t evictionThreshold_, evictionTarget_;
  std::shared_ptr<qv::DispatchQueue> operationQueue_;
  std::map<std::string, Entry> entitiesDictionary_;
  std::map<std::string, uint64_t> touchDatesDictionary_;
  uint64_t totalCost_ = 0;
};
