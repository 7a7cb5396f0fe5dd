#pragma once
// The main thread and its queue of work ("the main queue").
//
// Threading model. One thread is the main thread: by default the process's initial thread (the
// one that runs main(), which is also the thread of a GUI toolkit's event loop and of the test
// runner); `makeCurrentThreadMain()` chooses another. Any thread may hand work to the main
// queue; the work runs on the main thread, one block at a time, in order:
//   - `async` blocks run in the order they were queued, on the next pass;
//   - `asyncAfter` blocks run once the executor's clock reaches their deadline, earliest first,
//     blocks with the same deadline in the order they were queued.
// Who makes the passes:
//   - in the application, a `Driver` (the bridge into the toolkit's event loop) is told whenever
//     work arrives or the next deadline moves, and then calls `runPending()` on the main thread;
//   - command-line tools call `run()`, a plain blocking loop, until `stop()`;
//   - tests pump by hand on the test thread: `runUntilIdle()`, and with the manual clock
//     (`useManualClock()`) `advance(seconds)` moves time and runs what falls due, so delays of
//     0.03 s or 0.25 s are tested without sleeping.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

namespace qv {

using Block = std::function<void()>;

class MainExecutor {
 public:
  // The bridge into an outside event loop. Both calls may come from any thread; the driver must
  // arrange for `MainExecutor::runPending()` to run on the main thread soon after.
  class Driver {
   public:
    virtual ~Driver() = default;
    // Work is ready now, or the earliest deadline changed: call runPending() on the main thread.
    virtual void wake() = 0;
  };

  using TimerId = uint64_t;

  static MainExecutor& shared();

  bool isMainThread() const;
  // Makes the calling thread the main thread from now on.
  void makeCurrentThreadMain();

  // Runs the block on the main thread on a later pass (never inline).
  void async(Block block);
  // Runs the block on the main thread once `seconds` have passed on the executor's clock.
  TimerId asyncAfter(double seconds, Block block);
  // Drops a delayed block that has not run yet; false when it already ran or was cancelled.
  bool cancel(TimerId id);

  // The executor's clock in seconds (monotonic; the manual clock while one is in use).
  double now() const;

  // Installs (or with nullptr removes) the driver; it is woken at once when work is waiting.
  void setDriver(Driver* driver);

  // One pass on the main thread: runs the blocks queued so far and the delayed blocks that are
  // due. Returns the seconds until the next deadline, or nullopt when none is pending.
  std::optional<double> runPending();

  // A blocking loop on the main thread (real clock): runs work as it arrives and falls due until
  // stop() is called from any thread (or from a block).
  void run();
  void stop();

  // ---- Pumping by hand (tests, tools) ----
  // Runs queued and due work, including work that it queues itself, until nothing is ready.
  // Returns the number of blocks run.
  size_t runUntilIdle();
  // Switches to a manual clock starting at the current time of the clock; time only moves with
  // advance(). `useSystemClock()` switches back (pending deadlines keep their distance from now).
  void useManualClock();
  void useSystemClock();
  bool usesManualClock() const;
  // Manual clock only: moves time forward in steps to each deadline on the way, running what
  // falls due (each delayed block sees now() == its deadline), then to now + seconds.
  void advance(double seconds);
  // Drops every queued and delayed block (between tests).
  void discardPending();
  // Blocks queued and delayed blocks waiting.
  size_t pendingCount() const;

 private:
  MainExecutor();
  double clockLocked() const;
  bool takeReady(std::deque<Block>& out, bool includeDue);
  void wakeDriver();

  mutable std::mutex mutex_;
  std::condition_variable cv_;
  std::atomic<std::thread::id> mainThread_;
  std::deque<Block> queue_;
  std::map<std::pair<double, TimerId>, Block> timers_;
  std::map<TimerId, double> timerDeadlines_;
  TimerId nextTimer_ = 1;
  std::optional<double> manualNow_;
  double clockOffset_ = 0;
  Driver* driver_ = nullptr;
  bool stopRequested_ = false;
  // Counts wake-ups, so a waiting run() also wakes for a new earliest deadline.
  uint64_t wakeCount_ = 0;
};

// Runs the block at once when called on the main thread, else queues it on the main queue.
// Nothing for an empty block.
void dispatchOnMainThread(Block block);
// Runs the block on the main thread and waits for it (inline when already on the main thread).
void dispatchSyncOnMainThread(const Block& block);
// The same as dispatchOnMainThread, under the names callers know it by.
inline void performMainThreadBlock(Block block) { dispatchOnMainThread(std::move(block)); }

}  // namespace qv
