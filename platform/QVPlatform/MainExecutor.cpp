#include "QVPlatform/MainExecutor.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <future>

#include "QVPlatform/ThreadPool.h"

namespace qv {

namespace {

double systemSeconds() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

bool isInitialThread() { return ::syscall(SYS_gettid) == ::getpid(); }

}  // namespace

MainExecutor& MainExecutor::shared() {
  static MainExecutor* executor = new MainExecutor();  // never destroyed: threads may post during exit
  return *executor;
}

MainExecutor::MainExecutor() {
  // The initial thread is the main thread even when a worker happens to get here first.
  if (isInitialThread()) mainThread_ = std::this_thread::get_id();
}

bool MainExecutor::isMainThread() const {
  std::thread::id main = mainThread_.load();
  if (main == std::thread::id()) return isInitialThread();
  return main == std::this_thread::get_id();
}

void MainExecutor::makeCurrentThreadMain() { mainThread_ = std::this_thread::get_id(); }

double MainExecutor::clockLocked() const { return manualNow_ ? *manualNow_ : systemSeconds() + clockOffset_; }

double MainExecutor::now() const {
  std::lock_guard lock(mutex_);
  return clockLocked();
}

void MainExecutor::wakeDriver() {
  Driver* driver;
  {
    std::lock_guard lock(mutex_);
    driver = driver_;
    ++wakeCount_;
  }
  cv_.notify_all();
  if (driver) driver->wake();
}

void MainExecutor::async(Block block) {
  if (!block) return;
  {
    std::lock_guard lock(mutex_);
    queue_.push_back(std::move(block));
  }
  wakeDriver();
}

MainExecutor::TimerId MainExecutor::asyncAfter(double seconds, Block block) {
  if (!block) return 0;
  TimerId id;
  bool earliest;
  {
    std::lock_guard lock(mutex_);
    id = nextTimer_++;
    double deadline = clockLocked() + (seconds > 0 ? seconds : 0);
    timers_.emplace(std::make_pair(deadline, id), std::move(block));
    timerDeadlines_[id] = deadline;
    earliest = timers_.begin()->first.second == id;
  }
  if (earliest) wakeDriver();
  return id;
}

bool MainExecutor::cancel(TimerId id) {
  std::lock_guard lock(mutex_);
  auto it = timerDeadlines_.find(id);
  if (it == timerDeadlines_.end()) return false;
  timers_.erase({it->second, id});
  timerDeadlines_.erase(it);
  return true;
}

void MainExecutor::setDriver(Driver* driver) {
  bool pending;
  {
    std::lock_guard lock(mutex_);
    driver_ = driver;
    pending = !queue_.empty() || !timers_.empty();
  }
  if (driver && pending) driver->wake();
}

// Moves the queued blocks (and, when asked, the delayed blocks due now, earliest first) to
// `out`; blocks queued later wait for the next pass.
bool MainExecutor::takeReady(std::deque<Block>& out, bool includeDue) {
  std::lock_guard lock(mutex_);
  out.swap(queue_);
  if (includeDue) {
    double t = clockLocked();
    while (!timers_.empty() && timers_.begin()->first.first <= t) {
      auto node = timers_.extract(timers_.begin());
      timerDeadlines_.erase(node.key().second);
      out.push_back(std::move(node.mapped()));
    }
  }
  return !out.empty();
}

std::optional<double> MainExecutor::runPending() {
  std::deque<Block> ready;
  takeReady(ready, true);
  for (auto& block : ready) block();
  std::lock_guard lock(mutex_);
  if (!queue_.empty()) return 0.0;
  if (timers_.empty()) return std::nullopt;
  double wait = timers_.begin()->first.first - clockLocked();
  return wait > 0 ? wait : 0.0;
}

void MainExecutor::run() {
  {
    std::lock_guard lock(mutex_);
    stopRequested_ = false;
  }
  while (true) {
    std::optional<double> next = runPending();
    std::unique_lock lock(mutex_);
    if (stopRequested_) {
      stopRequested_ = false;
      return;
    }
    if (!queue_.empty()) continue;
    if (!timers_.empty()) next = std::max(0.0, timers_.begin()->first.first - clockLocked());
    if (next && *next <= 0) continue;
    // New work, a stop, or a new earliest deadline (a delayed block queued meanwhile).
    const uint64_t woken = wakeCount_;
    auto hasWork = [&] { return stopRequested_ || !queue_.empty() || wakeCount_ != woken; };
    if (next)
      cv_.wait_for(lock, std::chrono::duration<double>(*next), hasWork);
    else
      cv_.wait(lock, hasWork);
  }
}

void MainExecutor::stop() {
  {
    std::lock_guard lock(mutex_);
    stopRequested_ = true;
  }
  cv_.notify_all();
}

size_t MainExecutor::runUntilIdle() {
  size_t count = 0;
  std::deque<Block> ready;
  while (takeReady(ready, true)) {
    for (auto& block : ready) {
      block();
      ++count;
    }
    ready.clear();
  }
  return count;
}

void MainExecutor::useManualClock() {
  std::lock_guard lock(mutex_);
  if (!manualNow_) manualNow_ = systemSeconds() + clockOffset_;
}

void MainExecutor::useSystemClock() {
  std::lock_guard lock(mutex_);
  if (!manualNow_) return;
  clockOffset_ = *manualNow_ - systemSeconds();
  manualNow_.reset();
}

bool MainExecutor::usesManualClock() const {
  std::lock_guard lock(mutex_);
  return manualNow_.has_value();
}

void MainExecutor::advance(double seconds) {
  double target;
  {
    std::lock_guard lock(mutex_);
    if (!manualNow_) return;
    target = *manualNow_ + (seconds > 0 ? seconds : 0);
  }
  // The manual clock starts at the system's (large) seconds, where sums of short delays round
  // differently (start + 0.15 + 0.05 may end a hair below start + 0.2): a deadline within a
  // nanosecond of the target is due.
  constexpr double kRounding = 1e-9;
  runUntilIdle();
  while (true) {
    {
      std::lock_guard lock(mutex_);
      if (timers_.empty() || timers_.begin()->first.first > target + kRounding) {
        *manualNow_ = std::max(*manualNow_, target);  // never back, if a block ran just past it
        break;
      }
      *manualNow_ = std::max(*manualNow_, timers_.begin()->first.first);
    }
    runUntilIdle();
  }
  runUntilIdle();
}

void MainExecutor::discardPending() {
  std::deque<Block> dropped;
  std::map<std::pair<double, TimerId>, Block> droppedTimers;
  {
    std::lock_guard lock(mutex_);
    dropped.swap(queue_);
    droppedTimers.swap(timers_);
    timerDeadlines_.clear();
  }
  // The blocks are destroyed here, outside the lock: their captures may queue more work.
}

size_t MainExecutor::pendingCount() const {
  std::lock_guard lock(mutex_);
  return queue_.size() + timers_.size();
}

void dispatchOnMainThread(Block block) {
  if (!block) return;
  MainExecutor& main = MainExecutor::shared();
  if (main.isMainThread())
    block();
  else
    main.async(std::move(block));
}

void dispatchSyncOnMainThread(const Block& block) {
  if (!block) return;
  MainExecutor& main = MainExecutor::shared();
  if (main.isMainThread()) {
    block();
    return;
  }
  std::promise<void> done;
  auto finished = done.get_future();
  main.async([&] {
    block();
    done.set_value();
  });
  BlockingScope waiting;
  finished.wait();
}

}  // namespace qv
