#pragma once
// The process-wide reader and catalogue switches a processor class sets when it is first used:
// once per class, before its first instance exists. A later first use of another class sets its own
// switches over them. Each class keeps one `QVProcessorClassSwitches` (a function-local static).
#include <functional>
#include <mutex>

class QVProcessorClassSwitches {
 public:
  explicit QVProcessorClassSwitches(std::function<void()> apply) : apply_(std::move(apply)) {}

  // Sets the switches on the first call only.
  void applyOnce() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (applied_) return;
    applied_ = true;
    apply_();
  }
  // Makes the next `applyOnce` set them again (tests that need a class's "first use" again).
  void resetForTesting() {
    std::lock_guard<std::mutex> lock(mutex_);
    applied_ = false;
  }

 private:
  std::function<void()> apply_;
  std::mutex mutex_;
  bool applied_ = false;
};
