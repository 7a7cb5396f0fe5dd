#include "QVPlatform/ThreadPool.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace qv {

namespace {
thread_local bool tlsIsWorker = false;
constexpr int kMaxWorkers = 512;
}  // namespace

struct ThreadPool::Impl {
  std::mutex mutex;
  std::condition_variable cv;
  std::deque<std::function<void()>> tasks;
  int target = std::max(2, int(std::thread::hardware_concurrency()));
  int workers = 0;  // threads alive
  int idle = 0;     // waiting for a task
  int blocked = 0;  // running a task but waiting inside it

  // Called with the mutex held: starts a worker when queued work has nobody to run it.
  void spawnIfNeeded() {
    int running = workers - idle - blocked;
    if (tasks.empty() || idle > 0 || workers >= kMaxWorkers) return;
    if (running >= target) return;
    ++workers;
    std::thread([this] { loop(); }).detach();
  }

  void loop() {
    tlsIsWorker = true;
    std::unique_lock lock(mutex);
    while (true) {
      if (tasks.empty()) {
        ++idle;
        bool got = cv.wait_for(lock, std::chrono::seconds(5), [&] { return !tasks.empty(); });
        --idle;
        if (!got && workers > target) {
          --workers;
          return;
        }
        if (!got) continue;
      }
      auto task = std::move(tasks.front());
      tasks.pop_front();
      spawnIfNeeded();
      lock.unlock();
      task();
      task = nullptr;
      lock.lock();
    }
  }
};

ThreadPool& ThreadPool::shared() {
  static ThreadPool* pool = new ThreadPool();  // never destroyed: workers outlive static destruction
  return *pool;
}

ThreadPool::ThreadPool() : impl_(new Impl) {}

bool ThreadPool::isWorkerThread() { return tlsIsWorker; }

void ThreadPool::submit(std::function<void()> task) {
  std::lock_guard lock(impl_->mutex);
  impl_->tasks.push_back(std::move(task));
  if (impl_->idle > 0)
    impl_->cv.notify_one();
  else
    impl_->spawnIfNeeded();
}

void ThreadPool::willBlock() {
  std::lock_guard lock(impl_->mutex);
  ++impl_->blocked;
  impl_->spawnIfNeeded();
}

void ThreadPool::didUnblock() {
  std::lock_guard lock(impl_->mutex);
  --impl_->blocked;
}

BlockingScope::BlockingScope() : active_(ThreadPool::isWorkerThread()) {
  if (active_) ThreadPool::shared().willBlock();
}

BlockingScope::~BlockingScope() {
  if (active_) ThreadPool::shared().didUnblock();
}

}  // namespace qv
