#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "QVPlatform/Dispatch.h"

using namespace qv;

namespace {
// Generous bound for waits that only fail when something is broken (loaded CI machines).
constexpr double kPatience = 20.0;
}  // namespace

TEST(DispatchQueue, SerialQueueRunsOneBlockAtATimeInOrder) {
  auto q = DispatchQueue::makeSerial("test.serial");
  std::vector<int> order;
  std::atomic<int> inside{0}, maxInside{0};
  for (int i = 0; i < 500; ++i)
    q->async([&, i] {
      int now = ++inside;
      maxInside = std::max(maxInside.load(), now);
      order.push_back(i);
      --inside;
    });
  q->sync([] {});
  ASSERT_EQ(order.size(), 500u);
  for (int i = 0; i < 500; ++i) EXPECT_EQ(order[i], i);
  EXPECT_EQ(maxInside, 1);
}

TEST(DispatchQueue, SyncOntoTheCurrentQueueRunsInlineInsteadOfDeadlocking) {
  auto a = DispatchQueue::makeSerial("test.a");
  auto b = DispatchQueue::makeSerial("test.b");
  DispatchSemaphore done;
  std::vector<std::string> steps;
  a->async([&] {
    EXPECT_TRUE(a->isCurrent());
    EXPECT_EQ(DispatchQueue::current(), a);
    a->sync([&] { steps.push_back("a inside a"); });
    b->sync([&] {
      EXPECT_TRUE(b->isCurrent());
      EXPECT_TRUE(a->isCurrent()) << "still inside a's turn";
      a->sync([&] { steps.push_back("a inside b inside a"); });
    });
    done.signal();
  });
  ASSERT_TRUE(done.wait(kPatience));
  EXPECT_EQ(steps, (std::vector<std::string>{"a inside a", "a inside b inside a"}));
  EXPECT_FALSE(a->isCurrent());
}

TEST(DispatchQueue, SyncWaitsForEarlierBlocksAndHoldsLaterOnes) {
  auto q = DispatchQueue::makeSerial("test.sync");
  std::atomic<int> value{0};
  q->async([&] { value = 1; });
  int seen = -1;
  q->sync([&] { seen = value; });
  EXPECT_EQ(seen, 1);
}

TEST(DispatchQueue, ConcurrentQueueRunsBlocksSideBySide) {
  // Each block waits for the other: only side by side can both see the other's signal.
  auto q = DispatchQueue::makeConcurrent("test.concurrent");
  auto group = DispatchGroup::make();
  DispatchSemaphore first, second;
  std::atomic<bool> met{false};
  group->async(q, [&] {
    first.signal();
    met = second.wait(kPatience);
  });
  group->async(q, [&] {
    if (first.wait(kPatience)) second.signal();
  });
  ASSERT_TRUE(group->wait(2 * kPatience));
  EXPECT_TRUE(met);
}

TEST(DispatchQueue, WorkersBlockedOnSemaphoresDoNotStarveLaterWork) {
  // More waiting blocks than cores; the block that releases them is queued last.
  const int waiters = 4 * int(std::max(2u, std::thread::hardware_concurrency()));
  DispatchSemaphore gate, finished;
  auto global = DispatchQueue::global();
  for (int i = 0; i < waiters; ++i)
    global->async([&] {
      if (gate.wait(kPatience)) finished.signal();
    });
  DispatchSemaphore releaserDone;
  global->async([&, waiters] {
    for (int i = 0; i < waiters; ++i) gate.signal();
    releaserDone.signal();
  });
  for (int i = 0; i < waiters; ++i) ASSERT_TRUE(finished.wait(kPatience)) << i;
  ASSERT_TRUE(releaserDone.wait(kPatience));
}

TEST(DispatchQueue, MainQueueDelaysUseTheMainExecutorClock) {
  auto& main = MainExecutor::shared();
  main.discardPending();
  main.useManualClock();
  std::vector<int> order;
  DispatchQueue::main()->asyncAfter(0.2, [&] { order.push_back(2); });
  DispatchQueue::main()->asyncAfter(0.1, [&] { order.push_back(1); });
  DispatchQueue::main()->async([&] { order.push_back(0); });
  EXPECT_EQ(DispatchQueue::current(), DispatchQueue::main());
  main.advance(0.15);
  EXPECT_EQ(order, (std::vector<int>{0, 1}));
  main.advance(0.05);
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
}

TEST(DispatchQueue, BackgroundDelayRunsOnItsQueue) {
  auto q = DispatchQueue::makeSerial("test.after");
  DispatchSemaphore ran;
  std::atomic<bool> onQueue{false};
  q->asyncAfter(0.001, [&] {
    onQueue = q->isCurrent();
    ran.signal();
  });
  ASSERT_TRUE(ran.wait(kPatience));
  EXPECT_TRUE(onQueue);
}

TEST(DispatchGroup, NotifyRunsWhenTheLastMemberLeaves) {
  auto& main = MainExecutor::shared();
  main.discardPending();
  auto group = DispatchGroup::make();
  int notified = 0;
  group->enter();
  group->enter();
  group->notify(DispatchQueue::main(), [&] { ++notified; });
  EXPECT_FALSE(group->wait(0));
  group->leave();
  main.runUntilIdle();
  EXPECT_EQ(notified, 0);
  std::thread([&] { group->leave(); }).join();
  EXPECT_EQ(notified, 0) << "delivered on the main queue";
  main.runUntilIdle();
  EXPECT_EQ(notified, 1);
  EXPECT_TRUE(group->wait(0));
  group->leave();  // unbalanced: ignored
  group->notify(DispatchQueue::main(), [&] { ++notified; });
  main.runUntilIdle();
  EXPECT_EQ(notified, 2) << "an empty group notifies at once";
}

TEST(DispatchSemaphore, CountsAndTimesOut) {
  DispatchSemaphore s(1);
  EXPECT_TRUE(s.wait(0));
  EXPECT_FALSE(s.wait(0));
  EXPECT_FALSE(s.wait(0.001));
  s.signal();
  s.signal();
  EXPECT_TRUE(s.wait(0));
  EXPECT_TRUE(s.wait());
  std::thread([&] { s.signal(); }).detach();
  EXPECT_TRUE(s.wait(kPatience));
}

TEST(DispatchTimer, RepeatsOnTheMainQueueUntilCancelled) {
  auto& main = MainExecutor::shared();
  main.discardPending();
  main.useManualClock();
  auto timer = DispatchTimer::make(DispatchQueue::main());
  std::vector<double> ticks;
  double start = main.now();
  timer->setTimer(0.5, 0.25);
  timer->setEventHandler([&] { ticks.push_back(main.now() - start); });
  bool cancelled = false;
  timer->setCancelHandler([&] { cancelled = true; });
  main.advance(2.0);
  EXPECT_TRUE(ticks.empty()) << "nothing before resume";
  start = main.now();
  timer->resume();
  main.advance(1.0);
  ASSERT_EQ(ticks.size(), 3u);
  EXPECT_NEAR(ticks[0], 0.5, 1e-9);
  EXPECT_NEAR(ticks[2], 1.0, 1e-9);
  timer->cancel();
  main.advance(5.0);
  EXPECT_EQ(ticks.size(), 3u);
  EXPECT_TRUE(cancelled);
}

TEST(DispatchTimer, BackgroundTimerTicksOnItsQueue) {
  auto q = DispatchQueue::makeSerial("test.timer");
  auto timer = DispatchTimer::make(q);
  DispatchSemaphore tick;
  std::atomic<int> onQueue{0};
  timer->setTimer(0, 0.001);
  timer->setEventHandler([&] {
    if (q->isCurrent()) ++onQueue;
    tick.signal();
  });
  timer->resume();
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(tick.wait(kPatience));
  timer->cancel();
  q->sync([] {});
  EXPECT_GE(onQueue.load(), 3);
}

TEST(DispatchConcurrency, ApplyRunsEveryIndexOnce) {
  std::vector<std::atomic<int>> hits(1000);
  dispatchApply(hits.size(), [&](size_t i) { ++hits[i]; });
  for (auto& h : hits) EXPECT_EQ(h.load(), 1);
}
