#include "Ombrel/Classes/Helpers/QVPeriodicBackgroundService.h"

#include <cmath>

double QVPeriodicBackgroundService::updateRate() const {
  std::lock_guard guard(rateMutex_);
  return updateRate_;
}

void QVPeriodicBackgroundService::setUpdateRate(double seconds) {
  std::lock_guard guard(rateMutex_);
  updateRate_ = seconds;
}

int64_t QVPeriodicBackgroundService::timerIntervalMilliseconds(double updateRate) {
  if (!(updateRate > 0)) return 0;
  double whole = std::floor(updateRate);
  // A hair of slack so rates such as 0.29, stored just below their decimal value, keep their
  // second digit.
  double hundredths = std::floor((updateRate - whole) * 100 + 1e-6);
  return int64_t(whole) * 1000 + int64_t(hundredths) * 10;
}

void QVPeriodicBackgroundService::startTimerForKey(const std::string& key, qv::Block fireBlock,
                                                   bool callbackOnOtherQueue) {
  runOnBackgroundQueue(weakBlock(this, [key, fireBlock, callbackOnOtherQueue](QVPeriodicBackgroundService& self) {
    auto& timer = self.timers_[key];
    if (!timer) timer = qv::DispatchTimer::make(self.runQueue());
    if (!timer) {
      self.timers_.erase(key);
      return;
    }
    double interval = double(timerIntervalMilliseconds(self.updateRate())) / 1000.0;
    timer->setTimer(0, interval);
    std::weak_ptr<QVPeriodicBackgroundService> weak =
        std::static_pointer_cast<QVPeriodicBackgroundService>(self.shared_from_this());
    timer->setEventHandler([weak, fireBlock, callbackOnOtherQueue] {
      auto service = weak.lock();
      if (!service || !fireBlock) return;
      if (callbackOnOtherQueue)
        service->runAsyncOnCallbackQueue(fireBlock);
      else
        fireBlock();
    });
    timer->resume();
  }));
}

void QVPeriodicBackgroundService::stopTimerForKey(const std::string& key) {
  runOnBackgroundQueue(weakBlock(this, [key](QVPeriodicBackgroundService& self) {
    auto it = self.timers_.find(key);
    if (it == self.timers_.end()) return;
    it->second->cancel();
    self.timers_.erase(it);
  }));
}

std::vector<std::string> QVPeriodicBackgroundService::timerKeys() {
  std::vector<std::string> keys;
  runQueue()->sync([&] {
    for (const auto& entry : timers_) keys.push_back(entry.first);
  });
  return keys;
}
