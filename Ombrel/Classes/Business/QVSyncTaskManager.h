#pragma once
// The task managers: they turn image task records into operations, at most one per cache key.
//
// A request for a key already registered joins that operation (its completion becomes a callback
// of it) or changes its priority; an urgent preview (type 1, priority 3 or more) displaces the
// previous urgent preview, which is cancelled and, when it was for another path, run again at
// priority 2 with the displacing request's completion. Completions therefore take the path from
// the finished operation's parameters, never from the request they were made for.
//
// Completions run on the operation's queue thread and only for operations that ended without being
// cancelled. `performTaskWithParams` may be called from any thread; the urgent lists are guarded by
// one lock per manager and the queue's registration is thread-safe of its own.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "Ombrel/Classes/Basic/QVRecordedOperationQueue.h"
#include "Ombrel/Classes/Business/QVImageTaskOperation.h"
#include "Ombrel/Classes/Business/QVImageTaskParams.h"

// Always owned by a std::shared_ptr: the operations' callbacks hold the manager weakly.
class QVSyncTaskManager : public std::enable_shared_from_this<QVSyncTaskManager> {
 public:
  using OperationPtr = std::shared_ptr<qv::Operation>;
  using TaskPtr = std::shared_ptr<QVImageTaskParams>;
  using TaskCompletion = std::function<void(std::shared_ptr<QVImageTaskOperation>)>;

  explicit QVSyncTaskManager(std::shared_ptr<QVRecordedOperationQueue> syncQueue);
  virtual ~QVSyncTaskManager() = default;

  const std::shared_ptr<QVRecordedOperationQueue>& syncQueue() const { return syncQueue_; }
  // The operation the manager makes for a task (its "operation class"); none in the base class.
  virtual std::shared_ptr<QVImageTaskOperation> makeOperation(const TaskPtr&) { return nullptr; }

  // Registers an image-processable operation under a non-empty key; answers whether it did.
  bool addSyncOperation(const OperationPtr& operation, const std::string& key);
  // Adds a callback handing the operation (nullptr when it is gone) to the block, to the operation
  // registered under the key; nothing without one.
  void addCallback(TaskCompletion block, const std::string& key);
  // Whether the key's operation has that processing priority (a missing one counts as 0).
  bool isProcessingImageForKey(const std::string& key, int64_t priority) const;
  // Cancels every registered operation and forgets the urgent requests.
  void cancelAllTasks();
  bool isRunning() const { return syncQueue_ && syncQueue_->operationCount() > 0; }

  // The recorded urgent requests of an image type (a copy; empty for a type without a list).
  std::vector<TaskPtr> highPriorityQueue(int64_t type) const;

 protected:
  // Types whose urgent requests are recorded (only previews, by the image task manager).
  void recordUrgentRequestsOfType(int64_t type);
  // The registered operation under a key that can still report to a new callback.
  std::shared_ptr<QVImageTaskOperation> liveOperationForKey(const std::string& key) const;

  std::shared_ptr<QVRecordedOperationQueue> syncQueue_;
  mutable std::mutex highPriorityMutex_;
  std::map<int64_t, std::vector<TaskPtr>> highPriorityQueues_;
};

class QVImageTaskManager : public QVSyncTaskManager {
 public:
  explicit QVImageTaskManager(std::shared_ptr<QVRecordedOperationQueue> syncQueue);

  void performTaskWithParams(const TaskPtr& params, TaskCompletion completion);
  // Removes the image key of path and type from the queue, cancelling its unfinished operation.
  void cancelTaskAtPath(const std::string& path, int64_t type);
  // The same for thumbnail, preview and full size.
  void cancelTaskAtPath(const std::string& path);

 private:
  void enqueueAndPerformTask(const TaskPtr& task, TaskCompletion completion);
  static bool shouldCacheTaskParams(const QVImageTaskParams& task) { return task.priority() >= 3 && task.type() == 1; }
  void createAndRunOperationWithTaskParams(const TaskPtr& task, TaskCompletion completion);
  void dequeueTaskWithParams(const QVImageTaskParams& task);
};
