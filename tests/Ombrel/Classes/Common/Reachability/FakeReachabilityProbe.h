#pragma once
// A reachability probe whose answer the test sets; `set` tells the observing monitor, as the
// kernel's messages would. `installAsDefault` makes every factory of Reachability use it.
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "Ombrel/Classes/Common/Reachability/Reachability.h"

namespace solvane::test {

class FakeReachabilityProbe : public ReachabilityProbe {
 public:
  explicit FakeReachabilityProbe(std::optional<uint32_t> flags = kReachabilityFlagsReachable) : flags_(flags) {}

  std::optional<uint32_t> flags() override {
    std::lock_guard lock(mutex_);
    return flags_;
  }
  bool startObserving(std::function<void()> changed) override {
    std::lock_guard lock(mutex_);
    if (!canObserve) return false;
    changed_ = std::move(changed);
    return true;
  }
  void stopObserving() override {
    std::lock_guard lock(mutex_);
    changed_ = nullptr;
  }
  void set(std::optional<uint32_t> flags) {
    std::function<void()> changed;
    {
      std::lock_guard lock(mutex_);
      flags_ = flags;
      changed = changed_;
    }
    if (changed) changed();
  }
  bool isObserved() {
    std::lock_guard lock(mutex_);
    return bool(changed_);
  }

  bool canObserve = true;

 private:
  std::mutex mutex_;
  std::optional<uint32_t> flags_;
  std::function<void()> changed_;
};

// Puts a fake probe behind every Reachability factory while it lives.
class FakeProbeInstaller {
 public:
  explicit FakeProbeInstaller(std::shared_ptr<FakeReachabilityProbe> probe) : probe_(std::move(probe)) {
    previous_ = Reachability::setProbeMaker([probe = probe_](const ReachabilityTarget&) { return probe; });
  }
  ~FakeProbeInstaller() { Reachability::setProbeMaker(previous_); }
  FakeReachabilityProbe& probe() { return *probe_; }

 private:
  std::shared_ptr<FakeReachabilityProbe> probe_;
  Reachability::ProbeMaker previous_;
};

}  // namespace solvane::test
