#pragma once
// The memory cache and the entity store behind one interface that speaks of a source path and a
// cache type:
//   1 source thumbnail, 2 source preview, 3 lens-corrected source preview, 4 source at full size,
//   5 blurred thumbnail, 6 processed thumbnail, 7 processed preview, 8 processed full size,
//   9 faces; any other number has no class (reads answer nullptr, updates store nothing).
// Reads consult memory only. Updates obtain the entity (from memory, else from the store through
// one QVObtainEntityOperation per key on "QVCacheInternal.Queue", else a new one), then put a new
// entity holding the object under the key and append its archive to the store. Entities in the
// cache are never changed: other threads may be reading them.
//
// Completions run on background threads (the cache-internal queue's), also when the operation they
// wait for was cancelled (then with no entity).
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "Ombrel/Classes/Basic/QVRecordedOperationQueue.h"
#include "Ombrel/Classes/Business/Cache/QVEntitiesCache.h"
#include "Ombrel/Classes/Model/Entities/QVEntitiesStorage.h"
#include "Ombrel/Classes/Model/Entities/QVEntity.h"

class QVTypedCache {
 public:
  using EntityCompletion = std::function<void(QVEntityRef)>;

  static QVTypedCache& shared();
  // A typed cache over its own parts (the shared ones when not given).
  QVTypedCache(QVEntitiesCache* cache = nullptr, QVEntitiesStorage* storage = nullptr,
               std::shared_ptr<QVRecordedOperationQueue> internalQueue = nullptr);

  static const std::map<uint64_t, QVEntityClassRef>& entitiesMap();
  static QVEntityClassRef entityClassForCacheImageType(uint64_t type);
  // MD5 text of the path, "_", class name. The path is used as given.
  static std::string keyForEntityOfClass(QVEntityClassRef cls, const std::string& path);
  // Empty for a type without a class.
  static std::string cacheKeyAtPath(const std::string& path, uint64_t type);

  QVEntityRef readObjectOfType(uint64_t type, const std::string& path);
  void entityOfType(uint64_t type, const std::string& path, bool createIfNeeded, EntityCompletion completion);

  void updateCachedObject(QVCacheObject object, uint64_t type, const std::string& path, qv::Block completion = nullptr);
  // A new entity of the found entity's class filled with the object replaces it under its key and
  // is stored; answers it (nullptr without an entity).
  QVEntityRef updateCachedObject(const QVCacheObject& object, const QVEntityRef& entity, const std::string& path);
  bool storeEntity(const QVEntityRef& entity, const std::string& path);

  void clean(bool longTerm);
  void cleanAt(const std::string& path, bool longTermClean);
  void cleanForKey(const std::string& key, bool longTermClean);

  QVEntitiesCache& memoryCache() { return cache_; }
  QVEntitiesStorage& storage() { return storage_; }
  const std::shared_ptr<QVRecordedOperationQueue>& internalQueue() const { return queue_; }

 private:
  QVEntitiesCache& cache_;
  QVEntitiesStorage& storage_;
  std::shared_ptr<QVRecordedOperationQueue> queue_;
  // Finding and registering the operation of a key is one step.
  std::mutex registerMutex_;
};
