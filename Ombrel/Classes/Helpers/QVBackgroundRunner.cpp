#include "Ombrel/Classes/Helpers/QVBackgroundRunner.h"

QVBackgroundRunner::QVBackgroundRunner() : callbackQueue_(qv::DispatchQueue::main()) {}
QVBackgroundRunner::~QVBackgroundRunner() = default;

QVBackgroundRunner::QueuePtr QVBackgroundRunner::runQueue() {
  std::lock_guard guard(mutex_);
  if (!runQueue_) runQueue_ = qv::DispatchQueue::makeSerial(runQueueName());
  return runQueue_;
}

QVBackgroundRunner::QueuePtr QVBackgroundRunner::callbackQueue() const {
  std::lock_guard guard(mutex_);
  return callbackQueue_;
}

void QVBackgroundRunner::setCallbackQueue(QueuePtr queue) {
  std::lock_guard guard(mutex_);
  callbackQueue_ = std::move(queue);
}

void QVBackgroundRunner::runAsyncOnQueue(const QueuePtr& queue, qv::Block block) {
  if (queue && block) queue->async(std::move(block));
}

void QVBackgroundRunner::runOnBackgroundQueue(qv::Block block) {
  auto queue = runQueue();
  if (!block) return;
  if (queue->isCurrent())
    block();
  else
    queue->async(std::move(block));
}

void QVBackgroundService::start() {
  runAsyncOnBackgroundQueue(weakBlock(this, [](QVBackgroundService& self) { self.startService(); }));
}

void QVBackgroundService::stop() {
  runAsyncOnBackgroundQueue(weakBlock(this, [](QVBackgroundService& self) { self.stopService(); }));
}
