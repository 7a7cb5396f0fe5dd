#include "Ombrel/Classes/Business/QVSyncTaskManager.h"

#include <algorithm>

#include "Ombrel/Classes/Helpers/QVSolvaneHelpers.h"

QVSyncTaskManager::QVSyncTaskManager(std::shared_ptr<QVRecordedOperationQueue> syncQueue)
    : syncQueue_(std::move(syncQueue)) {}

bool QVSyncTaskManager::addSyncOperation(const OperationPtr& operation, const std::string& key) {
  if (key.empty() || !syncQueue_ || !std::dynamic_pointer_cast<QVImageProcessable>(operation)) return false;
  syncQueue_->setObject(operation, key);
  return true;
}

std::shared_ptr<QVImageTaskOperation> QVSyncTaskManager::liveOperationForKey(const std::string& key) const {
  if (!syncQueue_) return nullptr;
  auto operation = std::dynamic_pointer_cast<QVImageTaskOperation>(syncQueue_->objectForKeyedSubscript(key));
  // A finished or cancelled operation may still hold its key for a moment; it calls no new callback.
  if (!operation || operation->isFinished() || operation->isCancelled()) return nullptr;
  return operation;
}

void QVSyncTaskManager::addCallback(TaskCompletion block, const std::string& key) {
  auto operation = liveOperationForKey(key);
  if (!operation || !block) return;
  std::weak_ptr<QVImageTaskOperation> weakOperation = operation;
  operation->addCallback([block = std::move(block), weakOperation] { block(weakOperation.lock()); });
}

bool QVSyncTaskManager::isProcessingImageForKey(const std::string& key, int64_t priority) const {
  auto operation =
      syncQueue_ ? std::dynamic_pointer_cast<QVOperation>(syncQueue_->objectForKeyedSubscript(key)) : nullptr;
  return (operation ? operation->processingPriority() : 0) == priority;
}

void QVSyncTaskManager::cancelAllTasks() {
  if (syncQueue_)
    for (const auto& key : syncQueue_->operationsTable().allKeys()) syncQueue_->removeObjectForKey(key);
  std::lock_guard guard(highPriorityMutex_);
  for (auto& [type, list] : highPriorityQueues_) list.clear();
}

std::vector<QVSyncTaskManager::TaskPtr> QVSyncTaskManager::highPriorityQueue(int64_t type) const {
  std::lock_guard guard(highPriorityMutex_);
  auto it = highPriorityQueues_.find(type);
  return it == highPriorityQueues_.end() ? std::vector<TaskPtr>() : it->second;
}

void QVSyncTaskManager::recordUrgentRequestsOfType(int64_t type) {
  std::lock_guard guard(highPriorityMutex_);
  highPriorityQueues_[type];
}

// ---- QVImageTaskManager ----

QVImageTaskManager::QVImageTaskManager(std::shared_ptr<QVRecordedOperationQueue> syncQueue)
    : QVSyncTaskManager(std::move(syncQueue)) {
  recordUrgentRequestsOfType(1);
}

void QVImageTaskManager::performTaskWithParams(const TaskPtr& params, TaskCompletion completion) {
  if (params) enqueueAndPerformTask(params, std::move(completion));
}

void QVImageTaskManager::cancelTaskAtPath(const std::string& path, int64_t type) {
  if (syncQueue_) syncQueue_->removeObjectForKey(*QVSolvaneHelpers::imageKeyAtPath(path, uint64_t(type)));
}

void QVImageTaskManager::cancelTaskAtPath(const std::string& path) {
  for (int64_t type : QVImageTypesAll) cancelTaskAtPath(path, type);
}

void QVImageTaskManager::enqueueAndPerformTask(const TaskPtr& task, TaskCompletion completion) {
  if (shouldCacheTaskParams(*task)) {
    TaskPtr displaced;
    {
      std::lock_guard guard(highPriorityMutex_);
      auto& list = highPriorityQueues_[task->type()];
      if (!list.empty()) {
        displaced = list.front();
        list.erase(list.begin());
      }
      list.push_back(task);
    }
    if (displaced) {
      cancelTaskAtPath(displaced->path(), displaced->type());
      if (displaced->path() != task->path()) {
        displaced->setPriority(2);
        createAndRunOperationWithTaskParams(displaced, completion);
      }
    }
    return createAndRunOperationWithTaskParams(task, std::move(completion));
  }
  bool pending = false;
  {
    std::lock_guard guard(highPriorityMutex_);
    auto it = highPriorityQueues_.find(task->type());
    if (it != highPriorityQueues_.end())
      pending = std::any_of(it->second.begin(), it->second.end(), [&](const TaskPtr& p) { return p->isEqual(*task); });
  }
  // Joining needs an operation that will still report; a pending record whose operation was
  // cancelled by path has none, and the request then runs on its own.
  if (pending && liveOperationForKey(task->cacheKey())) return addCallback(std::move(completion), task->cacheKey());
  createAndRunOperationWithTaskParams(task, std::move(completion));
}

void QVImageTaskManager::createAndRunOperationWithTaskParams(const TaskPtr& task, TaskCompletion completion) {
  const std::string& key = task->cacheKey();
  auto operation = liveOperationForKey(key);
  const bool isNew = !operation;
  if (isNew) {
    operation = makeOperation(task);
    if (!operation) return;
  } else if (operation->processingPriority() != task->priority()) {
    operation->setProcessingPriority(task->priority());
  }
  // The same key at the same priority joins too: a caller waiting for its own completion (an
  // export of the same photo asked twice) must hear of the result.
  std::weak_ptr<QVSyncTaskManager> weakSelf = weak_from_this();
  std::weak_ptr<QVImageTaskOperation> weakOperation = operation;
  operation->addCallback([weakSelf, weakOperation, completion = std::move(completion)] {
    auto finished = weakOperation.lock();
    auto self = std::static_pointer_cast<QVImageTaskManager>(weakSelf.lock());
    if (self && finished && finished->params()) self->dequeueTaskWithParams(*finished->params());
    if (completion) completion(finished);
  });
  // A new operation is queued only once its callback is in place: a quick one (an unreadable
  // file) could otherwise end before anyone listens.
  if (isNew) addSyncOperation(operation, key);
}

void QVImageTaskManager::dequeueTaskWithParams(const QVImageTaskParams& task) {
  std::lock_guard guard(highPriorityMutex_);
  auto it = highPriorityQueues_.find(task.type());
  if (it == highPriorityQueues_.end()) return;
  auto& list = it->second;
  list.erase(std::remove_if(list.begin(), list.end(), [&](const TaskPtr& p) { return p->isEqual(task); }), list.end());
}
