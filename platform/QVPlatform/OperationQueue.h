#pragma once
// Operations and operation queues.
//
// An Operation runs `main()` once. Its state goes ready → executing → finished; a cancelled
// operation that has not started finishes without running `main()`, and cancelling makes it
// ready even while its dependencies are unfinished. Dependencies may lie on other queues.
// When it finishes, its completion block runs (on the thread that ran it) and then its finish
// observers.
//
// An OperationQueue starts ready operations, highest queue priority first and otherwise in the
// order they were added, at most `maxConcurrentOperationCount` at a time (1 makes a serial
// queue; -1, the default, about one per core). Operations run on the worker pool of
// ThreadPool.h. A suspended queue starts nothing new. A queue lives on until its operations
// have finished, even when its owner let go of it. `currentQueue()` answers the queue whose
// operation the calling thread runs.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "QVPlatform/Dispatch.h"

namespace qv {

class OperationQueue;

enum class QueuePriority : int { VeryLow = -8, Low = -4, Normal = 0, High = 4, VeryHigh = 8 };

class Operation : public std::enable_shared_from_this<Operation> {
 public:
  Operation();
  virtual ~Operation();

  // The work; subclasses override it. Called at most once.
  virtual void main() {}
  // Marks the operation cancelled; overrides must call the base.
  virtual void cancel();
  // Runs the operation on the calling thread (what the queue does): main() unless cancelled,
  // then the finish steps. Does nothing when it already started.
  void start();

  bool isCancelled() const { return cancelled_.load(); }
  bool isExecuting() const;
  bool isFinished() const;
  // Not started, and every dependency finished (or this one cancelled).
  bool isReady() const;

  void addDependency(const std::shared_ptr<Operation>& op);
  void removeDependency(const std::shared_ptr<Operation>& op);
  std::vector<std::shared_ptr<Operation>> dependencies() const;

  void setCompletionBlock(Block block);
  Block completionBlock() const;

  // Called once the operation has finished (after the completion block), on the finishing
  // thread; at once when it already has. Returns an id for removeFinishObserver.
  uint64_t addFinishObserver(Block observer);
  void removeFinishObserver(uint64_t id);

  // Blocks until the operation has finished.
  void waitUntilFinished();

 protected:
  // Whether start() calls main() also when the operation was cancelled before it started, so
  // main() itself decides what a cancelled run still does (for example telling a waiter).
  virtual bool runsMainWhenCancelled() const { return false; }

 public:
  void setQueuePriority(QueuePriority p);
  QueuePriority queuePriority() const;
  void setQualityOfService(QualityOfService q);
  QualityOfService qualityOfService() const;
  void setName(std::string name);
  std::string name() const;

 private:
  friend class OperationQueue;
  enum class State { Pending, Executing, Finished };
  void finish();
  void dependencyFinished();

  mutable std::mutex mutex_;
  std::condition_variable finishedCv_;
  State state_ = State::Pending;
  std::atomic<bool> cancelled_{false};
  std::vector<std::shared_ptr<Operation>> dependencies_;
  std::vector<std::weak_ptr<Operation>> dependents_;
  Block completion_;
  std::vector<std::pair<uint64_t, Block>> finishObservers_;
  uint64_t nextObserver_ = 1;
  QueuePriority priority_ = QueuePriority::Normal;
  QualityOfService qos_ = QualityOfService::Default;
  std::string name_;
  std::weak_ptr<OperationQueue> queue_;
  bool enqueued_ = false;    // added to a queue
  bool dispatched_ = false;  // handed to a worker by its queue
};

// An operation that runs blocks (all of them, in the order added).
class BlockOperation : public Operation {
 public:
  static std::shared_ptr<BlockOperation> make(Block block);
  void addExecutionBlock(Block block);
  void main() override;

 private:
  std::mutex blocksMutex_;
  std::vector<Block> blocks_;
};

class OperationQueue : public std::enable_shared_from_this<OperationQueue> {
 public:
  static std::shared_ptr<OperationQueue> make(std::string name = {}, int64_t maxConcurrentOperationCount = -1);
  // The queue whose operation the calling thread runs, or nullptr.
  static std::shared_ptr<OperationQueue> currentQueue();

  OperationQueue(std::string name, int64_t maxConcurrentOperationCount);
  virtual ~OperationQueue();

  // An operation belongs to one queue; adding it again (or a finished one) does nothing.
  void addOperation(const std::shared_ptr<Operation>& op);
  std::shared_ptr<BlockOperation> addOperationWithBlock(Block block);
  void addOperations(const std::vector<std::shared_ptr<Operation>>& ops, bool waitUntilFinished);

  // Operations not yet finished, in the order they were added.
  std::vector<std::shared_ptr<Operation>> operations() const;
  size_t operationCount() const;

  // Cancels every operation of the queue; subclasses may narrow which.
  virtual void cancelAllOperations();
  // Blocks until every operation added so far (and added meanwhile) has finished.
  void waitUntilAllOperationsAreFinished();

  void setSuspended(bool suspended);
  bool isSuspended() const;
  void setMaxConcurrentOperationCount(int64_t count);
  int64_t maxConcurrentOperationCount() const;
  void setName(std::string name);
  std::string name() const;
  void setQualityOfService(QualityOfService q);
  QualityOfService qualityOfService() const;

 private:
  friend class Operation;
  void schedule();
  void operationFinished(const std::shared_ptr<Operation>& op);
  void run(const std::shared_ptr<Operation>& op);

  mutable std::mutex mutex_;
  std::condition_variable idleCv_;
  std::vector<std::shared_ptr<Operation>> ops_;
  // The queue keeps itself alive while it has unfinished operations, so dropping the last
  // reference never strands them (or anyone waiting for them).
  std::shared_ptr<OperationQueue> keepAlive_;
  size_t running_ = 0;
  bool suspended_ = false;
  int64_t maxConcurrent_;
  std::string name_;
  QualityOfService qos_ = QualityOfService::Default;
};

}  // namespace qv
