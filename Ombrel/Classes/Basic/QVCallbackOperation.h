#pragma once
// An operation that calls its registered callbacks when it runs and then its finished callback.
//
// `main()` also runs for an operation cancelled before it started: a cancelled operation calls
// none of its callbacks but still calls its finished callback, so whoever waits for it is told.
// Subclasses that override `main()` end every path out of it with `performFinishedCallback()`.
//
// `waitUntilDone()` blocks until the operation has ended, also when it ends while the waiter is
// being installed; it never replaces a finished callback that is already set (it runs first).
#include <string>

#include "Ombrel/Classes/Basic/QVOperation.h"
#include "Ombrel/Classes/Basic/QVSafeDictionary.h"

class QVCallbackOperation : public QVOperation {
 public:
  static std::shared_ptr<QVCallbackOperation> make() { return std::make_shared<QVCallbackOperation>(); }

  // Registers a block; returns its new identifier (a UUID text), empty for an empty block.
  std::string addCallback(qv::Block block);
  // False for an empty identifier; otherwise removes the callback and answers true.
  bool removeCallbackWithID(const std::string& identifier);
  QVSafeDictionary<qv::Block>& callbacks() { return callbacks_; }

  qv::Block finishedCallback() const;
  void setFinishedCallback(qv::Block block);
  void performFinishedCallback();

  void waitUntilDone();

  void main() override;

 protected:
  bool runsMainWhenCancelled() const override { return true; }

 private:
  QVSafeDictionary<qv::Block> callbacks_;
  mutable std::mutex finishedMutex_;
  qv::Block finishedCallback_;
};
