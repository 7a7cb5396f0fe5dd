#include "Ombrel/Classes/Basic/QVRecordedOperationQueue.h"

#include "QVPlatform/Additions.h"
#include "QVPlatform/MainExecutor.h"

std::shared_ptr<QVRecordedOperationQueue> QVRecordedOperationQueue::queueWithName(std::string name, int64_t threads) {
  auto queue = std::make_shared<QVRecordedOperationQueue>(std::move(name), threads);
  queue->setQualityOfService(qv::QualityOfService::UserInitiated);
  return queue;
}

QVRecordedOperationQueue::QVRecordedOperationQueue(std::string name, int64_t threads)
    : qv::OperationQueue(std::move(name), threads) {}

void QVRecordedOperationQueue::setObject(OperationPtr op, const std::string& key) {
  if (key.empty()) return;
  if (op)
    registerOperation(op, key);
  else
    unregister(key);
}

void QVRecordedOperationQueue::setObject(qv::Block block, const std::string& key) {
  if (!block) return setObject(OperationPtr(), key);
  setObject(OperationPtr(qv::BlockOperation::make(std::move(block))), key);
}

void QVRecordedOperationQueue::registerOperation(const OperationPtr& op, const std::string& key) {
  OperationPtr orphan;
  {
    std::lock_guard guard(operationsDic_.lock());
    auto displaced = operationsDic_.objectForKeyedSubscript(key);
    operationsDic_.setObject(op, key);
    if (displaced && displaced != op && operationsDic_.allKeysForObject(displaced).empty()) orphan = displaced;
  }
  // A displaced operation keeps running, but no key of ours names it any more.
  if (orphan) stopWatching(orphan);
  addOperation(op);
  {
    std::lock_guard guard(observersMutex_);
    if (observers_.count(op.get())) return;  // already watched under another key
  }
  std::weak_ptr<QVRecordedOperationQueue> weakQueue =
      std::static_pointer_cast<QVRecordedOperationQueue>(shared_from_this());
  std::weak_ptr<qv::Operation> weakOp = op;
  // Runs at once when the operation has already finished.
  uint64_t id = op->addFinishObserver([weakQueue, weakOp] {
    auto queue = weakQueue.lock();
    auto finished = weakOp.lock();
    if (queue && finished) queue->operationDidFinish(finished);
  });
  // The finish step erases the entry under this lock after the operation reads as finished, so an
  // entry is only made for an operation whose observer is still to run.
  std::lock_guard guard(observersMutex_);
  if (!op->isFinished()) observers_[op.get()] = id;
}

void QVRecordedOperationQueue::operationDidFinish(const OperationPtr& op) {
  {
    std::lock_guard guard(observersMutex_);
    observers_.erase(op.get());
  }
  std::lock_guard guard(operationsDic_.lock());
  auto keys = operationsDic_.allKeysForObject(op);
  if (!keys.empty()) operationsDic_.removeObjectForKey(keys.front());
}

void QVRecordedOperationQueue::unregister(const std::string& key) {
  OperationPtr op;
  {
    std::lock_guard guard(operationsDic_.lock());
    op = operationsDic_.objectForKeyedSubscript(key);
    if (!op) return;
    operationsDic_.removeObjectForKey(key);
  }
  stopWatching(op);
  if (!op->isFinished()) op->cancel();
}

void QVRecordedOperationQueue::stopWatching(const OperationPtr& op) {
  std::lock_guard guard(observersMutex_);
  if (auto it = observers_.find(op.get()); it != observers_.end()) {
    op->removeFinishObserver(it->second);
    observers_.erase(it);
  }
}

std::string QVRecordedOperationQueue::addBlockOperation(qv::Block block) {
  if (!block) return {};
  std::string key = qv::stringWithUUID();
  setObject(std::move(block), key);
  return key;
}

std::string QVRecordedOperationQueue::addBlockOperation(qv::Block block, double delay) {
  if (delay <= 0) return addBlockOperation(std::move(block));
  std::string key;
  {
    std::lock_guard guard(delayedMutex_);
    delayedBlockUUID_ = qv::stringWithUUID();
    delayedBlock_ = std::move(block);
    ++callCount_;
    key = delayedBlockUUID_;
  }
  std::weak_ptr<QVRecordedOperationQueue> weak = std::static_pointer_cast<QVRecordedOperationQueue>(shared_from_this());
  qv::MainExecutor::shared().asyncAfter(delay, [weak] {
    if (auto queue = weak.lock()) queue->delayedStep();
  });
  return key;
}

void QVRecordedOperationQueue::delayedStep() {
  qv::Block block;
  std::string key;
  {
    std::lock_guard guard(delayedMutex_);
    if (--callCount_ > 0) return;
    callCount_ = 0;
    block = std::move(delayedBlock_);
    key = std::move(delayedBlockUUID_);
    delayedBlock_ = nullptr;
    delayedBlockUUID_.clear();
  }
  if (block) setObject(std::move(block), key);
}

int64_t QVRecordedOperationQueue::callCount() const {
  std::lock_guard guard(delayedMutex_);
  return callCount_;
}

void QVRecordedOperationQueue::cancelAllOperations() {
  for (const auto& key : operationsDic_.allKeys()) unregister(key);
}

void QVRecordedOperationQueue::cancelAllOperationsExceptForRunning() {
  auto running = runningOperation();
  if (!running) return cancelAllOperations();
  for (const auto& key : operationsDic_.allKeys()) {
    if (operationsDic_.objectForKeyedSubscript(key) == running) continue;
    unregister(key);
  }
}

QVRecordedOperationQueue::OperationPtr QVRecordedOperationQueue::runningOperation() const {
  for (const auto& op : operations())
    if (op->isExecuting()) return op;
  return nullptr;
}
