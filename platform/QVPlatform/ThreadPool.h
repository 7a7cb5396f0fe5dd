#pragma once
// The worker threads behind the concurrent queues, the serial queues and the operation queues.
//
// The pool keeps about one running worker per core. A worker that waits on one of our blocking
// primitives (semaphores, groups, sync calls, operation waits) says so through a BlockingScope;
// while it waits, the pool may start another worker, so work that the waiter depends on can
// still run (queued work never starves behind blocked workers). Extra workers end after a few
// idle seconds.
#include <functional>

namespace qv {

class ThreadPool {
 public:
  static ThreadPool& shared();
  void submit(std::function<void()> task);
  // True on one of the pool's worker threads.
  static bool isWorkerThread();

 private:
  ThreadPool();
  friend class BlockingScope;
  void willBlock();
  void didUnblock();
  struct Impl;
  Impl* impl_;
};

// Marks the current thread as waiting for the scope's lifetime (no effect off the pool).
class BlockingScope {
 public:
  BlockingScope();
  ~BlockingScope();
  BlockingScope(const BlockingScope&) = delete;
  BlockingScope& operator=(const BlockingScope&) = delete;

 private:
  bool active_;
};

}  // namespace qv
