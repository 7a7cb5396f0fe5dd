#pragma once
// The process-wide owner of the application core's six serial queues (quality of service
// user-initiated), made on first use and kept for the whole run:
//   0 "QVApp.Queue", 1 "QVCache.Queue", 2 "QVCacheInternal.Queue", 3 "QVImageLoading.Queue",
//   4 "QVImageProcessing.Queue", 5 "QVImageBlending.Queue".
#include <array>
#include <cstdint>
#include <memory>

#include "Ombrel/Classes/Basic/QVRecordedOperationQueue.h"

enum class QVQueueType : uint64_t {
  App = 0,
  Cache = 1,
  CacheInternal = 2,
  ImageLoading = 3,
  ImageProcessing = 4,
  ImageBlending = 5,
};

class QVQueueManager {
 public:
  using QueuePtr = std::shared_ptr<QVRecordedOperationQueue>;

  static QVQueueManager& shared();

  // nullptr for a type outside 0 to 5.
  QueuePtr queueWithType(uint64_t type) const;
  QueuePtr queueWithType(QVQueueType type) const { return queueWithType(uint64_t(type)); }
  QueuePtr appQueue() const { return queueWithType(QVQueueType::App); }
  QueuePtr cacheQueue() const { return queueWithType(QVQueueType::Cache); }
  QueuePtr cacheInternalQueue() const { return queueWithType(QVQueueType::CacheInternal); }
  QueuePtr imageLoadingQueue() const { return queueWithType(QVQueueType::ImageLoading); }
  QueuePtr imageProcessingQueue() const { return queueWithType(QVQueueType::ImageProcessing); }
  QueuePtr imageBlendingQueue() const { return queueWithType(QVQueueType::ImageBlending); }

  // cancelAllOperations on each of the six queues.
  void cancelTasksOnAllQueues();

 private:
  QVQueueManager();
  std::array<QueuePtr, 6> queues_;
};
