#include "QVPlatform/Dispatch.h"

#include <algorithm>
#include <atomic>
#include <deque>
#include <map>
#include <thread>
#include <vector>

#include "QVPlatform/ThreadPool.h"

namespace qv {

namespace {

// The queues whose blocks the current thread runs, innermost last.
thread_local std::vector<DispatchQueue*> tlsQueues;

struct QueueScope {
  explicit QueueScope(DispatchQueue* q) { tlsQueues.push_back(q); }
  ~QueueScope() { tlsQueues.pop_back(); }
};

// One thread that hands delayed work to its queue when it falls due (steady clock).
class DelayScheduler {
 public:
  static DelayScheduler& shared() {
    static DelayScheduler* s = new DelayScheduler();  // never destroyed: its thread runs forever
    return *s;
  }

  void after(double seconds, std::function<void()> task) {
    auto due = std::chrono::steady_clock::now() + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                                      std::chrono::duration<double>(std::max(0.0, seconds)));
    std::lock_guard lock(mutex_);
    bool earliest = tasks_.empty() || due < tasks_.begin()->first;
    tasks_.emplace(due, std::move(task));
    if (!started_) {
      started_ = true;
      std::thread([this] { loop(); }).detach();
    }
    if (earliest) cv_.notify_one();
  }

 private:
  void loop() {
    std::unique_lock lock(mutex_);
    while (true) {
      if (tasks_.empty()) {
        cv_.wait(lock);
        continue;
      }
      auto due = tasks_.begin()->first;
      if (std::chrono::steady_clock::now() < due) {
        cv_.wait_until(lock, due);
        continue;
      }
      auto task = std::move(tasks_.begin()->second);
      tasks_.erase(tasks_.begin());
      lock.unlock();
      task();
      task = nullptr;
      lock.lock();
    }
  }

  std::mutex mutex_;
  std::condition_variable cv_;
  std::multimap<std::chrono::steady_clock::time_point, std::function<void()>> tasks_;
  bool started_ = false;
};

class ConcreteQueue : public DispatchQueue {
 public:
  ConcreteQueue(std::string label, Kind kind, QualityOfService qos) : DispatchQueue(std::move(label), kind, qos) {}
};

}  // namespace

struct DispatchQueue::SerialState {
  std::mutex mutex;
  std::deque<Block> blocks;
  bool draining = false;
};

DispatchQueue::DispatchQueue(std::string label, Kind kind, QualityOfService qos)
    : label_(std::move(label)), kind_(kind), qos_(qos) {
  if (kind_ == Kind::Serial) serial_ = std::make_unique<SerialState>();
}

DispatchQueue::~DispatchQueue() = default;

std::shared_ptr<DispatchQueue> DispatchQueue::makeSerial(std::string label, QualityOfService qos) {
  return std::make_shared<ConcreteQueue>(std::move(label), Kind::Serial, qos);
}

std::shared_ptr<DispatchQueue> DispatchQueue::makeConcurrent(std::string label, QualityOfService qos) {
  return std::make_shared<ConcreteQueue>(std::move(label), Kind::Concurrent, qos);
}

const std::shared_ptr<DispatchQueue>& DispatchQueue::global(QualityOfService qos) {
  // Never destroyed: blocks may still be queued while the process exits.
  static auto* queues = new std::map<QualityOfService, std::shared_ptr<DispatchQueue>>{
      {QualityOfService::Background, makeConcurrent("com.apple.root.background-qos", QualityOfService::Background)},
      {QualityOfService::Utility, makeConcurrent("com.apple.root.utility-qos", QualityOfService::Utility)},
      {QualityOfService::Default, makeConcurrent("com.apple.root.default-qos", QualityOfService::Default)},
      {QualityOfService::UserInitiated,
       makeConcurrent("com.apple.root.user-initiated-qos", QualityOfService::UserInitiated)},
      {QualityOfService::UserInteractive,
       makeConcurrent("com.apple.root.user-interactive-qos", QualityOfService::UserInteractive)},
  };
  return queues->at(qos);
}

const std::shared_ptr<DispatchQueue>& DispatchQueue::main() {
  static auto* queue = new std::shared_ptr<DispatchQueue>(
      std::make_shared<ConcreteQueue>("com.apple.main-thread", Kind::Main, QualityOfService::UserInteractive));
  return *queue;
}

std::shared_ptr<DispatchQueue> DispatchQueue::current() {
  if (!tlsQueues.empty()) return tlsQueues.back()->shared_from_this();
  if (MainExecutor::shared().isMainThread()) return main();
  return nullptr;
}

bool DispatchQueue::isCurrent() const {
  if (kind_ == Kind::Main) return MainExecutor::shared().isMainThread();
  return std::find(tlsQueues.begin(), tlsQueues.end(), this) != tlsQueues.end();
}

void DispatchQueue::runTask(const Block& block) {
  QueueScope scope(this);
  block();
}

void DispatchQueue::async(Block block) {
  if (!block) return;
  switch (kind_) {
    case Kind::Main:
      MainExecutor::shared().async(std::move(block));
      return;
    case Kind::Concurrent:
      ThreadPool::shared().submit([self = shared_from_this(), block = std::move(block)] { self->runTask(block); });
      return;
    case Kind::Serial: {
      bool start;
      {
        std::lock_guard lock(serial_->mutex);
        serial_->blocks.push_back(std::move(block));
        start = !serial_->draining;
        serial_->draining = true;
      }
      if (start) ThreadPool::shared().submit([self = shared_from_this()] { self->drain(); });
      return;
    }
  }
}

void DispatchQueue::drain() {
  // A bounded batch, then the rest goes back to the pool, so one busy queue does not hold a
  // worker for ever.
  for (int n = 0; n < 64; ++n) {
    Block block;
    {
      std::lock_guard lock(serial_->mutex);
      if (serial_->blocks.empty()) {
        serial_->draining = false;
        return;
      }
      block = std::move(serial_->blocks.front());
      serial_->blocks.pop_front();
    }
    runTask(block);
  }
  ThreadPool::shared().submit([self = shared_from_this()] { self->drain(); });
}

void DispatchQueue::sync(const Block& block) {
  if (!block) return;
  if (isCurrent()) {
    block();
    return;
  }
  switch (kind_) {
    case Kind::Main:
      dispatchSyncOnMainThread(block);
      return;
    case Kind::Concurrent:
      runTask(block);
      return;
    case Kind::Serial: {
      // The queue lets the caller in when it reaches this turn, then waits while the caller runs
      // the block on its own thread as part of the queue.
      struct Handoff {
        std::mutex mutex;
        std::condition_variable cv;
        bool granted = false, done = false;
      };
      auto handoff = std::make_shared<Handoff>();
      async([handoff] {
        std::unique_lock lock(handoff->mutex);
        handoff->granted = true;
        handoff->cv.notify_all();
        BlockingScope waiting;
        handoff->cv.wait(lock, [&] { return handoff->done; });
      });
      {
        BlockingScope waiting;
        std::unique_lock lock(handoff->mutex);
        handoff->cv.wait(lock, [&] { return handoff->granted; });
      }
      runTask(block);
      std::lock_guard lock(handoff->mutex);
      handoff->done = true;
      handoff->cv.notify_all();
      return;
    }
  }
}

void DispatchQueue::asyncAfter(double seconds, Block block) {
  if (!block) return;
  if (kind_ == Kind::Main) {
    MainExecutor::shared().asyncAfter(seconds, std::move(block));
    return;
  }
  DelayScheduler::shared().after(
      seconds, [self = shared_from_this(), block = std::move(block)]() mutable { self->async(std::move(block)); });
}

// ---- Semaphore ---------------------------------------------------------------------------------

void DispatchSemaphore::signal() {
  std::lock_guard lock(mutex_);
  ++value_;
  cv_.notify_one();
}

bool DispatchSemaphore::wait(double timeoutSeconds) {
  BlockingScope waiting;
  std::unique_lock lock(mutex_);
  auto ready = [&] { return value_ > 0; };
  if (timeoutSeconds < 0) {
    cv_.wait(lock, ready);
  } else if (!cv_.wait_for(lock, std::chrono::duration<double>(timeoutSeconds), ready)) {
    return false;
  }
  --value_;
  return true;
}

// ---- Group -------------------------------------------------------------------------------------

void DispatchGroup::enter() {
  std::lock_guard lock(mutex_);
  ++count_;
}

void DispatchGroup::leave() {
  std::vector<std::pair<std::shared_ptr<DispatchQueue>, Block>> due;
  {
    std::lock_guard lock(mutex_);
    if (count_ == 0) return;  // an unbalanced leave is ignored
    if (--count_ > 0) return;
    due.swap(notifications_);
    cv_.notify_all();
  }
  for (auto& [queue, block] : due) queue->async(std::move(block));
}

void DispatchGroup::notify(const std::shared_ptr<DispatchQueue>& queue, Block block) {
  if (!queue || !block) return;
  {
    std::lock_guard lock(mutex_);
    if (count_ > 0) {
      notifications_.emplace_back(queue, std::move(block));
      return;
    }
  }
  queue->async(std::move(block));
}

bool DispatchGroup::wait(double timeoutSeconds) {
  BlockingScope waiting;
  std::unique_lock lock(mutex_);
  auto empty = [&] { return count_ == 0; };
  if (timeoutSeconds < 0) {
    cv_.wait(lock, empty);
    return true;
  }
  return cv_.wait_for(lock, std::chrono::duration<double>(timeoutSeconds), empty);
}

void DispatchGroup::async(const std::shared_ptr<DispatchQueue>& queue, Block block) {
  if (!queue || !block) return;
  enter();
  queue->async([self = shared_from_this(), block = std::move(block)] {
    block();
    self->leave();
  });
}

// ---- Timer -------------------------------------------------------------------------------------

std::shared_ptr<DispatchTimer> DispatchTimer::make(std::shared_ptr<DispatchQueue> queue) {
  return std::make_shared<DispatchTimer>(std::move(queue));
}

DispatchTimer::DispatchTimer(std::shared_ptr<DispatchQueue> queue)
    : queue_(queue ? std::move(queue) : DispatchQueue::global()) {}

DispatchTimer::~DispatchTimer() = default;

void DispatchTimer::setTimer(double startDelay, double interval) {
  uint64_t generation;
  bool running;
  {
    std::lock_guard lock(mutex_);
    start_ = startDelay;
    interval_ = interval;
    generation = ++generation_;
    running = resumed_ && !cancelled_;
  }
  if (running) schedule(startDelay, generation);
}

void DispatchTimer::setEventHandler(Block handler) {
  std::lock_guard lock(mutex_);
  handler_ = std::move(handler);
}

void DispatchTimer::setCancelHandler(Block handler) {
  std::lock_guard lock(mutex_);
  cancelHandler_ = std::move(handler);
}

void DispatchTimer::resume() {
  uint64_t generation;
  double start;
  {
    std::lock_guard lock(mutex_);
    if (resumed_ || cancelled_) return;
    resumed_ = true;
    generation = generation_;
    start = start_;
  }
  schedule(start, generation);
}

void DispatchTimer::cancel() {
  Block onCancel;
  {
    std::lock_guard lock(mutex_);
    if (cancelled_) return;
    cancelled_ = true;
    onCancel = std::move(cancelHandler_);
    handler_ = nullptr;
  }
  if (onCancel) queue_->async(std::move(onCancel));
}

bool DispatchTimer::isCancelled() const {
  std::lock_guard lock(mutex_);
  return cancelled_;
}

void DispatchTimer::schedule(double delay, uint64_t generation) {
  std::weak_ptr<DispatchTimer> weak = weak_from_this();
  auto tick = [weak, generation] {
    if (auto self = weak.lock()) self->fire(generation);
  };
  if (queue_->kind() == DispatchQueue::Kind::Main) {
    MainExecutor::shared().asyncAfter(delay, tick);
  } else {
    DelayScheduler::shared().after(delay, [queue = queue_, tick] { queue->async(tick); });
  }
}

void DispatchTimer::fire(uint64_t generation) {
  Block handler;
  double interval;
  {
    std::lock_guard lock(mutex_);
    if (cancelled_ || generation != generation_) return;
    handler = handler_;
    interval = interval_;
  }
  if (handler) handler();
  if (interval > 0) {
    std::lock_guard lock(mutex_);
    if (cancelled_ || generation != generation_) return;
  } else {
    return;
  }
  schedule(interval, generation);
}

// ---- Apply -------------------------------------------------------------------------------------

void dispatchApply(size_t count, const std::function<void(size_t)>& block) {
  if (count == 0 || !block) return;
  std::atomic<size_t> next{0};
  auto work = [&] {
    for (size_t i = next++; i < count; i = next++) block(i);
  };
  size_t helpers = std::min<size_t>(count, std::max(1u, std::thread::hardware_concurrency())) - 1;
  DispatchGroup group;
  for (size_t h = 0; h < helpers; ++h) {
    group.enter();
    ThreadPool::shared().submit([&] {
      work();
      group.leave();
    });
  }
  work();
  group.wait();
}

}  // namespace qv
