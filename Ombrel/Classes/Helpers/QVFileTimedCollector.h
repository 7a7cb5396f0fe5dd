#pragma once
// Gathers paths that arrive in bursts and delivers the burst once after a quiet interval.
//
// Every `queueFiles` restarts a one-shot timer of `ti` seconds on the main executor (so calls at
// 0 s and 0.2 s with 0.25 s deliver one list at 0.45 s); when it fires, `endQueue` hands the whole
// list, in arrival order with duplicates kept, to the completion. The list is not emptied: the
// owner drops the collector after delivery. Used on the main thread; dropping the collector
// cancels a pending delivery.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "QVPlatform/MainExecutor.h"

class QVFileTimedCollector : public std::enable_shared_from_this<QVFileTimedCollector> {
 public:
  using Completion = std::function<void(const std::vector<std::string>& paths)>;

  static std::shared_ptr<QVFileTimedCollector> initWithFireTimeInterval(double seconds, Completion completion);
  QVFileTimedCollector(double seconds, Completion completion);
  ~QVFileTimedCollector();

  void queueFiles(const std::vector<std::string>& paths);
  void endQueue();
  const std::vector<std::string>& files() const { return files_; }
  double ti() const { return ti_; }

 private:
  std::vector<std::string> files_;
  double ti_ = 0;
  Completion completion_;
  qv::MainExecutor::TimerId queueTimer_ = 0;
};
