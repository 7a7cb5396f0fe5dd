#pragma once
// An operation queue that records its operations under text keys, so a later request for the same
// key finds, joins, re-prioritises or cancels the operation already queued or running.
//
// - `setObject(op, key)` registers: the operation is stored under the key (an operation already
//   there is displaced: it keeps running, unregistered), added to the queue and watched; when it
//   finishes, its key is removed, unless another operation has taken the key meanwhile.
// - `removeObjectForKey(key)` (or an empty operation or block) cancels the key's unfinished
//   operation and removes the key. The empty key stands for no key: nothing happens.
// - `addBlockOperation(block, delay)` coalesces: a burst of calls runs only the last call's block,
//   `delay` seconds after that call, on this queue. The delay runs on the main executor's clock;
//   there is one such slot per queue.
// - `cancelAllOperations()` cancels what is registered; operations added without a key are left.
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "Ombrel/Classes/Basic/QVSafeDictionary.h"
#include "QVPlatform/OperationQueue.h"

class QVRecordedOperationQueue : public qv::OperationQueue {
 public:
  using OperationPtr = std::shared_ptr<qv::Operation>;

  // A queue of that name, concurrency and quality of service user-initiated.
  static std::shared_ptr<QVRecordedOperationQueue> queueWithName(std::string name, int64_t threads = -1);
  static std::shared_ptr<QVRecordedOperationQueue> serialQueueWithName(std::string name) {
    return queueWithName(std::move(name), 1);
  }

  QVRecordedOperationQueue(std::string name, int64_t threads);

  OperationPtr objectForKeyedSubscript(const std::string& key) const {
    return operationsDic_.objectForKeyedSubscript(key);
  }
  void setObject(OperationPtr op, const std::string& key);
  // The block, wrapped in a block operation, registered under the key.
  void setObject(qv::Block block, const std::string& key);
  void removeObjectForKey(const std::string& key) { setObject(OperationPtr(), key); }

  // Registers the block under a fresh UUID text and returns it (empty for an empty block).
  std::string addBlockOperation(qv::Block block);
  // Coalesced registration; returns the key under which the block will run. A delay of 0 or less
  // registers at once.
  std::string addBlockOperation(qv::Block block, double delay);

  void cancelAllOperations() override;
  // As cancelAllOperations, but the executing operation keeps running and keeps its key.
  void cancelAllOperationsExceptForRunning();
  // The first operation of the queue that is executing, or nullptr.
  OperationPtr runningOperation() const;

  QVSafeDictionary<OperationPtr>& operationsTable() { return operationsDic_; }
  int64_t callCount() const;

 private:
  void registerOperation(const OperationPtr& op, const std::string& key);
  // Removes the key, stops watching its operation and cancels it when unfinished.
  void unregister(const std::string& key);
  void stopWatching(const OperationPtr& op);
  void operationDidFinish(const OperationPtr& op);
  void delayedStep();

  QVSafeDictionary<OperationPtr> operationsDic_;
  // Finish observers by operation, so a removal or displacement stops watching.
  std::map<const qv::Operation*, uint64_t> observers_;
  std::mutex observersMutex_;

  mutable std::mutex delayedMutex_;
  qv::Block delayedBlock_;
  std::string delayedBlockUUID_;
  int64_t callCount_ = 0;
};
