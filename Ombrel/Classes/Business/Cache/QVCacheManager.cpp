#include "Ombrel/Classes/Business/Cache/QVCacheManager.h"

#include <atomic>

#include "Ombrel/Classes/Basic/QVCallbackOperation.h"
#include "Ombrel/Classes/Basic/QVQueueManager.h"
#include "Ombrel/Classes/Business/Cache/QVTypedCache.h"
#include "QVPlatform/Log.h"

namespace {
std::atomic<uint64_t> gWaitingBytes{0};
std::atomic<uint64_t> gWaitingBytesLimit{kQVCacheManagerWaitingBytesLimit};

uint64_t lookUp(const std::map<uint64_t, uint64_t>& table, uint64_t imageType) {
  auto it = table.find(imageType);
  return it == table.end() ? 0 : it->second;
}
}  // namespace

std::map<uint64_t, uint64_t> QVCacheManager::originalCacheTypes() { return {{0, 1}, {1, 2}, {2, 4}, {3, 3}}; }
std::map<uint64_t, uint64_t> QVCacheManager::processedCacheTypes() { return {{0, 6}, {1, 7}, {2, 8}}; }
uint64_t QVCacheManager::originalCacheType(uint64_t imageType) { return lookUp(originalCacheTypes(), imageType); }
uint64_t QVCacheManager::processedCacheType(uint64_t imageType) { return lookUp(processedCacheTypes(), imageType); }

NSImageRef QVCacheManager::readImageEntityOfType(uint64_t cacheType, const std::string& path) {
  auto entity =
      std::dynamic_pointer_cast<QVImageEntityContainable>(QVTypedCache::shared().readObjectOfType(cacheType, path));
  return entity ? entity->image() : nullptr;
}

NSImageRef QVCacheManager::cachedOriginalImageAtPath(const std::string& path, uint64_t imageType) {
  return readImageEntityOfType(originalCacheType(imageType), path);
}

NSImageRef QVCacheManager::cachedProcessedImageAtPath(const std::string& path, uint64_t imageType) {
  return readImageEntityOfType(processedCacheType(imageType), path);
}

NSImageRef QVCacheManager::cachedBlurredImageAtPath(const std::string& path) { return readImageEntityOfType(5, path); }

uint64_t QVCacheManager::waitingBytes() { return gWaitingBytes.load(); }
void QVCacheManager::setWaitingBytesLimit(uint64_t limit) { gWaitingBytesLimit = limit; }

void QVCacheManager::updateCacheImage(NSImageRef image, const std::string& path, uint64_t cacheType,
                                      qv::Block completion) {
  const uint64_t bytes = image ? image->heldBytes() : 0;
  uint64_t waiting = gWaitingBytes.load();
  do {
    if (waiting > 0 && waiting + bytes > gWaitingBytesLimit.load()) {
      QVLog(256, "Cache store skipped, %llu MB waiting: %s", (unsigned long long)(waiting / 1'000'000), path.c_str());
      if (completion) completion();
      return;
    }
  } while (!gWaitingBytes.compare_exchange_weak(waiting, waiting + bytes));
  // Told once, however the store ends: done, without an image, or cancelled.
  auto ended = std::make_shared<std::atomic<bool>>(false);
  qv::Block finish = [bytes, ended, completion] {
    if (ended->exchange(true)) return;
    gWaitingBytes -= bytes;
    if (completion) completion();
  };
  auto operation = QVCallbackOperation::make();
  std::weak_ptr<QVCallbackOperation> weakOperation = operation;
  operation->addCallback([image, path, cacheType, finish] {
    if (!image || path.empty()) return finish();
    QVTypedCache::shared().updateCachedObject(QVCacheObject{{}, image}, cacheType, path, finish);
  });
  // A cancelled store runs none of its callbacks; its caller is still told it has ended.
  operation->setFinishedCallback([weakOperation, finish] {
    auto finished = weakOperation.lock();
    if (!finished || finished->isCancelled()) finish();
  });
  QVQueueManager::shared().cacheQueue()->addOperation(operation);
}

void QVCacheManager::clean(bool longTerm) { QVTypedCache::shared().clean(longTerm); }

void QVCacheManager::cleanAt(const std::string& path, bool longTermClean) {
  QVTypedCache::shared().cleanAt(path, longTermClean);
}

void QVCacheManager::cleanAt(const std::string& path, const std::vector<uint64_t>& imageTypes, bool longTermClean) {
  auto& cache = QVTypedCache::shared();
  for (uint64_t imageType : imageTypes) {
    cache.cleanForKey(QVTypedCache::cacheKeyAtPath(path, originalCacheType(imageType)), longTermClean);
    cache.cleanForKey(QVTypedCache::cacheKeyAtPath(path, processedCacheType(imageType)), longTermClean);
  }
}
