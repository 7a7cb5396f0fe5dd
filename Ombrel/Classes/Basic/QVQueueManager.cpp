#include "Ombrel/Classes/Basic/QVQueueManager.h"

#include <cstdio>

#include "QVPlatform/Log.h"

QVQueueManager& QVQueueManager::shared() {
  static QVQueueManager* manager = [] {
    auto* made = new QVQueueManager();  // lives for the whole process, never destroyed
    char text[64];
    std::snprintf(text, sizeof text, "<QVQueueManager: %p>", static_cast<void*>(made));
    QVLog(64, "Singleton created %s", text);
    return made;
  }();
  return *manager;
}

QVQueueManager::QVQueueManager() {
  static const char* const names[] = {"QVApp.Queue",          "QVCache.Queue",           "QVCacheInternal.Queue",
                                      "QVImageLoading.Queue", "QVImageProcessing.Queue", "QVImageBlending.Queue"};
  for (size_t i = 0; i < queues_.size(); ++i) queues_[i] = QVRecordedOperationQueue::serialQueueWithName(names[i]);
}

QVQueueManager::QueuePtr QVQueueManager::queueWithType(uint64_t type) const {
  return type < queues_.size() ? queues_[type] : nullptr;
}

void QVQueueManager::cancelTasksOnAllQueues() {
  for (const auto& queue : queues_) queue->cancelAllOperations();
}
