#pragma once
// Dispatch queues, groups, semaphores and timer sources.
//
// - Serial queues run one block at a time in the order queued; concurrent queues (and the global
//   queues, which share the pool of ThreadPool.h) run blocks side by side. The main queue is the
//   main executor (MainExecutor.h).
// - `sync` runs the block on the calling thread once the queue has let it in, and returns after
//   it. When the calling thread is already running on that queue (also further out, for a sync
//   from inside a sync) the block runs at once instead of deadlocking.
// - Delays of background queues use the steady clock; delays and timers on the main queue use
//   the main executor's clock (so tests can drive them with a manual clock).
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "QVPlatform/MainExecutor.h"

namespace qv {

// The system's quality-of-service classes, with their numeric values.
enum class QualityOfService : int {
  Background = 9,
  Utility = 17,
  Default = -1,
  UserInitiated = 25,
  UserInteractive = 33,
};

class DispatchQueue : public std::enable_shared_from_this<DispatchQueue> {
 public:
  enum class Kind { Serial, Concurrent, Main };

  static std::shared_ptr<DispatchQueue> makeSerial(std::string label, QualityOfService qos = QualityOfService::Default);
  static std::shared_ptr<DispatchQueue> makeConcurrent(std::string label,
                                                       QualityOfService qos = QualityOfService::Default);
  // The shared concurrent queue of a quality-of-service class.
  static const std::shared_ptr<DispatchQueue>& global(QualityOfService qos = QualityOfService::Default);
  static const std::shared_ptr<DispatchQueue>& main();
  // The innermost queue the calling thread runs a block of, or nullptr (the main queue on the
  // main thread outside any other queue).
  static std::shared_ptr<DispatchQueue> current();

  virtual ~DispatchQueue();

  const std::string& label() const { return label_; }
  Kind kind() const { return kind_; }
  QualityOfService qualityOfService() const { return qos_; }
  // True while the calling thread runs a block of this queue (at any depth).
  bool isCurrent() const;

  void async(Block block);
  void sync(const Block& block);
  void asyncAfter(double seconds, Block block);

 protected:
  DispatchQueue(std::string label, Kind kind, QualityOfService qos);

 private:
  friend class DispatchTimer;
  struct SerialState;
  void drain();
  void runTask(const Block& block);

  std::string label_;
  Kind kind_;
  QualityOfService qos_;
  std::unique_ptr<SerialState> serial_;
};

class DispatchSemaphore {
 public:
  explicit DispatchSemaphore(int64_t value = 0) : value_(value) {}
  void signal();
  // Waits for a signal; false when `timeoutSeconds` (negative: forever) passed first.
  bool wait(double timeoutSeconds = -1);

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  int64_t value_;
};

class DispatchGroup : public std::enable_shared_from_this<DispatchGroup> {
 public:
  static std::shared_ptr<DispatchGroup> make() { return std::make_shared<DispatchGroup>(); }
  void enter();
  void leave();
  // Runs the block on the queue once the group is empty (at once when it is empty now).
  void notify(const std::shared_ptr<DispatchQueue>& queue, Block block);
  // Waits until the group is empty; false when the timeout (negative: forever) passed first.
  bool wait(double timeoutSeconds = -1);
  // Enters, runs the block on the queue, leaves.
  void async(const std::shared_ptr<DispatchQueue>& queue, Block block);

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  int64_t count_ = 0;
  std::vector<std::pair<std::shared_ptr<DispatchQueue>, Block>> notifications_;
};

// A timer source: after `resume`, calls its handler on its queue every interval (once for a
// zero interval), starting one interval (or the given start delay) after resume, until cancel.
// The handler runs one call at a time; ticks that fall due while it runs are merged.
class DispatchTimer : public std::enable_shared_from_this<DispatchTimer> {
 public:
  static std::shared_ptr<DispatchTimer> make(std::shared_ptr<DispatchQueue> queue);
  ~DispatchTimer();
  // Start delay and repeat interval in seconds (interval <= 0: one shot).
  void setTimer(double startDelay, double interval);
  void setEventHandler(Block handler);
  void setCancelHandler(Block handler);
  void resume();
  void cancel();
  bool isCancelled() const;

  explicit DispatchTimer(std::shared_ptr<DispatchQueue> queue);

 private:
  void schedule(double delay, uint64_t generation);
  void fire(uint64_t generation);

  mutable std::mutex mutex_;
  std::shared_ptr<DispatchQueue> queue_;
  Block handler_, cancelHandler_;
  double start_ = 0, interval_ = 0;
  bool resumed_ = false, cancelled_ = false;
  uint64_t generation_ = 0;
};

// Runs `count` iterations of the block across the pool and returns when all have run.
void dispatchApply(size_t count, const std::function<void(size_t)>& block);

}  // namespace qv
