#pragma once
// A background service with named repeating timers on its run queue.
//
// A timer starts at once and repeats every `updateRate` seconds, quantised to whole seconds plus
// hundredths (0.5 gives 500 ms, 0.125 gives 120 ms; digits beyond the hundredths are dropped). Its
// fire block runs on the callback queue, or directly on the run queue when asked. Starting a key
// that already runs resets its schedule and replaces its block. The timer table is touched only
// on the run queue.
#include <map>
#include <string>

#include "Ombrel/Classes/Helpers/QVBackgroundRunner.h"

class QVPeriodicBackgroundService : public QVBackgroundService {
 public:
  static std::shared_ptr<QVPeriodicBackgroundService> make() { return std::make_shared<QVPeriodicBackgroundService>(); }
  std::string className() const override { return "QVPeriodicBackgroundService"; }

  double updateRate() const;
  void setUpdateRate(double seconds);
  // The timer period for a rate, in milliseconds.
  static int64_t timerIntervalMilliseconds(double updateRate);

  void startTimerForKey(const std::string& key, qv::Block fireBlock, bool callbackOnOtherQueue = true);
  void stopTimerForKey(const std::string& key);
  // The keys with a running timer (read on the run queue; for checks).
  std::vector<std::string> timerKeys();

 private:
  mutable std::mutex rateMutex_;
  double updateRate_ = 1.0;
  std::map<std::string, std::shared_ptr<qv::DispatchTimer>> timers_;  // run queue only
};
