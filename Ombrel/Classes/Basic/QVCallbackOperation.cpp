#include "Ombrel/Classes/Basic/QVCallbackOperation.h"

#include "QVPlatform/Additions.h"
#include "QVPlatform/Dispatch.h"

std::string QVCallbackOperation::addCallback(qv::Block block) {
  if (!block) return {};
  std::string identifier = qv::stringWithUUID();
  callbacks_.setObject(std::move(block), identifier);
  return identifier;
}

bool QVCallbackOperation::removeCallbackWithID(const std::string& identifier) {
  if (identifier.empty()) return false;
  callbacks_.removeObjectForKey(identifier);
  return true;
}

qv::Block QVCallbackOperation::finishedCallback() const {
  std::lock_guard guard(finishedMutex_);
  return finishedCallback_;
}

void QVCallbackOperation::setFinishedCallback(qv::Block block) {
  std::lock_guard guard(finishedMutex_);
  finishedCallback_ = std::move(block);
}

void QVCallbackOperation::performFinishedCallback() {
  if (auto callback = finishedCallback()) callback();
}

void QVCallbackOperation::main() {
  if (!isCancelled())
    for (const auto& callback : callbacks_.allValues()) callback();
  performFinishedCallback();
}

void QVCallbackOperation::waitUntilDone() {
  if (isFinished()) return;
  auto done = std::make_shared<qv::DispatchSemaphore>(0);
  {
    std::lock_guard guard(finishedMutex_);
    qv::Block previous = std::move(finishedCallback_);
    finishedCallback_ = [previous, done] {
      if (previous) previous();
      done->signal();
    };
  }
  // The finished callback may already have been read (or the operation finished) before ours was
  // installed: the end of the operation tells the waiter too, at once when it has already ended.
  uint64_t observer = addFinishObserver([done] { done->signal(); });
  done->wait();
  removeFinishObserver(observer);
}
