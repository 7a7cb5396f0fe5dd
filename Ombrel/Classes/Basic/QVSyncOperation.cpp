#include "Ombrel/Classes/Basic/QVSyncOperation.h"

void QVSyncOperation::lock() {
  locked_ = true;
  // Checked after `locked_` is set, as `cancel()` sets the flag before it reads `locked_`: one of
  // the two always sees the other, so a cancel never slips between them unnoticed.
  if (isCancelled()) {
    locked_ = false;
    return;
  }
  syncMutex_.wait();
  locked_ = false;
}

void QVSyncOperation::unlock() {
  locked_ = false;
  syncMutex_.signal();
}

void QVSyncOperation::cancel() {
  QVCallbackOperation::cancel();
  if (locked_.load()) syncMutex_.signal();
}
