#pragma once
// One cancellable render of a processor: a block operation (its block runs when the processor's
// serial queue starts it) that also carries the render's interrupt flag.
//
// Cancelling the operation stops it before its block starts; once the render runs inside the
// engine, only the interrupt flag stops it. The flag is shared with the engine's render settings
// and lives as long as its last holder, so the engine may still read it after the operation is
// gone; it is never reset, so an operation serves one render.
#include <atomic>
#include <memory>

#include "QVPlatform/OperationQueue.h"

class QVIPProcessOperation : public qv::BlockOperation {
 public:
  using InterruptFlag = std::shared_ptr<std::atomic<bool>>;

  // Completion not cancelled, interrupt flag false.
  QVIPProcessOperation();
  static std::shared_ptr<QVIPProcessOperation> make() { return std::make_shared<QVIPProcessOperation>(); }

  // When set, a render that still finishes fills the caches but does not call its completion.
  // Written by the cancelling thread while the render reads it.
  bool cancelCompletion() const { return cancelCompletion_.load(std::memory_order_relaxed); }
  void setCancelCompletion(bool v) { cancelCompletion_.store(v, std::memory_order_relaxed); }

  // The interrupt flag of this render: each call gives another reference to the same flag. A
  // relaxed atomic: it is only ever set, by any thread, while the engine polls it.
  InterruptFlag processingInterrupted() const { return interrupted_; }
  bool isProcessingInterrupted() const { return interrupted_->load(std::memory_order_relaxed); }
  void interruptProcessing() { interrupted_->store(true, std::memory_order_relaxed); }

 private:
  std::atomic<bool> cancelCompletion_{false};
  const InterruptFlag interrupted_;
};
