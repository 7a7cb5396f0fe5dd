#include "rova/Parallel.h"

#include <gtest/gtest.h>
#include <sched.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

using namespace rova;

namespace {

// The threads that ran pieces of one loop.
struct Threads {
  std::mutex mutex;
  std::set<std::thread::id> ids;
  std::atomic<bool> gaveUp{false};
  size_t add() {
    std::lock_guard lock(mutex);
    ids.insert(std::this_thread::get_id());
    return ids.size();
  }
  size_t count() {
    std::lock_guard lock(mutex);
    return ids.size();
  }
};

}  // namespace

// Every piece once, with the bounds of its grain; a loop started inside a piece runs its pieces on
// that piece's thread, in order.
TEST(Parallel, PiecesOfTheGrainAndNestedLoopsOnTheirPiecesThread) {
  constexpr int64_t kCount = 1000, kGrain = 64;
  std::vector<std::atomic<int>> seen(kCount);
  std::atomic<bool> nestedInOrder{true}, nestedOnItsThread{true};
  parallelFor(kCount, kGrain, [&](int64_t begin, int64_t end) {
    EXPECT_EQ(begin % kGrain, 0);
    EXPECT_EQ(end, std::min(kCount, begin + kGrain));
    for (int64_t i = begin; i < end; ++i) ++seen[size_t(i)];
    const auto self = std::this_thread::get_id();
    int64_t next = 0;
    parallelFor(40, 4, [&](int64_t b, int64_t e) {
      if (b != next) nestedInOrder = false;
      if (std::this_thread::get_id() != self) nestedOnItsThread = false;
      next = e;
    });
  });
  for (const auto& n : seen) EXPECT_EQ(n.load(), 1);
  EXPECT_TRUE(nestedInOrder);
  EXPECT_TRUE(nestedOnItsThread);
}

// Loops started by several threads at once (photos rendered side by side) each get the workers'
// help: none of them is left to run on its caller's thread alone. Each loop's pieces wait until a
// second thread has joined that loop (the loop gives up after a few seconds: that only bounds a
// failure).
TEST(Parallel, LoopsStartedAtOnceShareTheWorkers) {
  cpu_set_t allowed;
  if (sched_getaffinity(0, sizeof allowed, &allowed) == 0 && CPU_COUNT(&allowed) < 2) GTEST_SKIP() << "one core";
  constexpr int kLoops = 3;
  Threads threads[kLoops];
  std::vector<std::thread> callers;
  for (int k = 0; k < kLoops; ++k)
    callers.emplace_back([&, k] {
      parallelFor(64, 1, [&](int64_t, int64_t) {
        threads[k].add();
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (threads[k].count() < 2 && !threads[k].gaveUp) {
          if (std::chrono::steady_clock::now() > deadline) threads[k].gaveUp = true;
          std::this_thread::yield();
        }
      });
    });
  for (auto& caller : callers) caller.join();
  for (int k = 0; k < kLoops; ++k) EXPECT_GE(threads[k].count(), 2u) << "loop " << k << " ran on one thread";
}
