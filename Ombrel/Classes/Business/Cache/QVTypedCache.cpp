#include "Ombrel/Classes/Business/Cache/QVTypedCache.h"

#include "Ombrel/Classes/Basic/QVCallbackOperation.h"
#include "Ombrel/Classes/Basic/QVQueueManager.h"
#include "Ombrel/Classes/Basic/QVSingleton.h"
#include "Ombrel/Classes/Business/Cache/QVObtainEntityOperation.h"
#include "QVPlatform/Additions.h"
#include "QVPlatform/Log.h"

QVTypedCache& QVTypedCache::shared() { return qvSingleton<QVTypedCache>("QVTypedCache"); }

QVTypedCache::QVTypedCache(QVEntitiesCache* cache, QVEntitiesStorage* storage,
                           std::shared_ptr<QVRecordedOperationQueue> internalQueue)
    : cache_(cache ? *cache : QVEntitiesCache::shared()),
      storage_(storage ? *storage : QVEntitiesStorage::shared()),
      queue_(internalQueue ? std::move(internalQueue) : QVQueueManager::shared().cacheInternalQueue()) {}

const std::map<uint64_t, QVEntityClassRef>& QVTypedCache::entitiesMap() {
  // Never destroyed: a cache worker still finishing at exit may look a type up after static destruction began.
  static const auto* map = new std::map<uint64_t, QVEntityClassRef>{
      {1, &QVImageThumbEntity::cls()},
      {2, &QVImagePreviewEntity::cls()},
      {3, &QVImagePreviewLensedEntity::cls()},
      {4, &QVImageOriginalEntity::cls()},
      {5, &QVBlurredThumbEntity::cls()},
      {6, &QVProcessedThumbEntity::cls()},
      {7, &QVProcessedPreviewEntity::cls()},
      {8, &QVProcessedImageEntity::cls()},
      {9, &QVFaceEntity::cls()},
  };
  return *map;
}

QVEntityClassRef QVTypedCache::entityClassForCacheImageType(uint64_t type) {
  auto it = entitiesMap().find(type);
  return it == entitiesMap().end() ? nullptr : it->second;
}

std::string QVTypedCache::keyForEntityOfClass(QVEntityClassRef cls, const std::string& path) {
  if (!cls) return {};
  return qv::md5(path) + "_" + cls->name;
}

std::string QVTypedCache::cacheKeyAtPath(const std::string& path, uint64_t type) {
  return keyForEntityOfClass(entityClassForCacheImageType(type), path);
}

QVEntityRef QVTypedCache::readObjectOfType(uint64_t type, const std::string& path) {
  std::string key = cacheKeyAtPath(path, type);
  return key.empty() ? nullptr : cache_.objectForKeyedSubscript(key);
}

void QVTypedCache::entityOfType(uint64_t type, const std::string& path, bool createIfNeeded,
                                EntityCompletion completion) {
  QVEntityClassRef cls = entityClassForCacheImageType(type);
  const std::string key = keyForEntityOfClass(cls, path);
  QVEntityRef cached = key.empty() ? nullptr : cache_.objectForKeyedSubscript(key);
  const std::string fileName = qv::lastPathComponent(path);

  if (createIfNeeded && cls && !cached) {
    std::shared_ptr<QVObtainEntityOperation> operation;
    {
      std::lock_guard guard(registerMutex_);
      operation = std::dynamic_pointer_cast<QVObtainEntityOperation>(queue_->objectForKeyedSubscript(key));
      if (operation && !operation->isFinished()) {
        QVLog(256, "Will reuse cache operation, filename: %s, key: %s", fileName.c_str(), key.c_str());
      } else {
        operation = QVObtainEntityOperation::initWithPath(path, key, cls, &storage_);
        QVLog(256, "Created cache access operation, filename: %s, key: %s", fileName.c_str(), key.c_str());
        queue_->setObject(operation, key);
      }
    }
    // The finish observer runs for every operation that ends, cancelled ones too, and at once (on
    // this thread) for one that has already ended, so no request is left without its completion.
    // It is added outside the lock, so a completion may ask for entities again.
    std::weak_ptr<QVObtainEntityOperation> weakOperation = operation;
    QVEntitiesCache* cache = &cache_;
    operation->addFinishObserver([weakOperation, cache, key, fileName, completion] {
      auto finished = weakOperation.lock();
      QVEntityRef entity = finished ? finished->entity() : nullptr;
      if (entity && !cache->objectForKeyedSubscript(key)) {
        cache->setObject(entity, key);
        QVLog(256, "Created cache entity, filename: %s, key: %s", fileName.c_str(), key.c_str());
      }
      if (completion) completion(entity);
    });
    return;
  }

  // The completion runs on the queue also when the queue's operations are cancelled.
  auto operation = QVCallbackOperation::make();
  operation->setFinishedCallback([cached, key, fileName, completion] {
    QVLog(256, "Loaded cached entity, filename: %s, key: %s", fileName.c_str(), key.c_str());
    if (completion) completion(cached);
  });
  queue_->addOperation(operation);
}

void QVTypedCache::updateCachedObject(QVCacheObject object, uint64_t type, const std::string& path,
                                      qv::Block completion) {
  if (!entityClassForCacheImageType(type) || path.empty()) {
    if (completion) completion();
    return;
  }
  entityOfType(type, path, true, [this, object = std::move(object), path, completion](QVEntityRef entity) {
    // The entity found is the one updated, also when the memory cache let it go meanwhile.
    if (entity) updateCachedObject(object, entity, path);
    if (completion) completion();
  });
}

QVEntityRef QVTypedCache::updateCachedObject(const QVCacheObject& object, const QVEntityRef& entity,
                                             const std::string& path) {
  auto storable = std::dynamic_pointer_cast<QVStorableEntity>(entity);
  if (!storable) return nullptr;
  QVEntityRef updated = storable->copyWithCacheObject(object);
  if (!updated) return nullptr;
  cache_.setObject(updated, keyForEntityOfClass(updated->entityClass(), path));
  storeEntity(updated, path);
  return updated;
}

bool QVTypedCache::storeEntity(const QVEntityRef& entity, const std::string& path) {
  if (!entity) return false;
  return storage_.writeEntityData(entity->entityData(), keyForEntityOfClass(entity->entityClass(), path));
}

void QVTypedCache::clean(bool longTerm) {
  cache_.cleanCache();
  if (longTerm) storage_.cleanupEntitiesStorage();
}

void QVTypedCache::cleanAt(const std::string& path, bool longTermClean) {
  cache_.cleanCacheForPath(path);
  if (longTermClean) storage_.cleanupEntitiesStorageWithPath(path);
}

void QVTypedCache::cleanForKey(const std::string& key, bool longTermClean) {
  if (key.empty()) return;
  cache_.cleanCacheForKey(key);
  if (longTermClean) storage_.cleanupEntitiesStorageForKey(key);
}
