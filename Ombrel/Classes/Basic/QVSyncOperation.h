#pragma once
// A callback operation whose thread can wait inside `main()` for an asynchronous callback: `lock()`
// blocks until another thread calls `unlock()`.
//
// It never waits forever for a callback that will not come: cancelling the operation unlocks it,
// and `lock()` on a cancelled operation returns at once.
#include <atomic>

#include "Ombrel/Classes/Basic/QVCallbackOperation.h"
#include "QVPlatform/Dispatch.h"

class QVSyncOperation : public QVCallbackOperation {
 public:
  static std::shared_ptr<QVSyncOperation> make() { return std::make_shared<QVSyncOperation>(); }

  bool isLocked() const { return locked_.load(); }
  void lock();
  void unlock();
  void cancel() override;

 private:
  std::atomic<bool> locked_{false};
  qv::DispatchSemaphore syncMutex_{0};
};
