#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "QVPlatform/MainExecutor.h"

using namespace qv;

namespace {

class MainExecutorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    main.discardPending();
    main.useManualClock();
  }
  void TearDown() override { main.discardPending(); }
  MainExecutor& main = MainExecutor::shared();
};

}  // namespace

TEST_F(MainExecutorTest, TheTestThreadIsMain) {
  EXPECT_TRUE(main.isMainThread());
  bool onMain = true;
  std::thread([&] { onMain = main.isMainThread(); }).join();
  EXPECT_FALSE(onMain);
}

TEST_F(MainExecutorTest, AsyncRunsLaterInOrder) {
  std::vector<int> order;
  main.async([&] {
    order.push_back(1);
    main.async([&] { order.push_back(3); });
  });
  main.async([&] { order.push_back(2); });
  EXPECT_TRUE(order.empty()) << "async never runs inline";
  EXPECT_EQ(main.runUntilIdle(), 3u);
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
}

TEST_F(MainExecutorTest, DelayedBlocksFireInDeadlineOrderOnTheManualClock) {
  std::vector<std::pair<int, double>> fired;
  double start = main.now();
  auto record = [&](int n) { return [&, n] { fired.push_back({n, main.now() - start}); }; };
  main.asyncAfter(0.25, record(3));
  main.asyncAfter(0.03, record(1));
  main.asyncAfter(0.03, record(2));  // same deadline: queuing order
  auto dropped = main.asyncAfter(0.1, record(99));
  EXPECT_TRUE(main.cancel(dropped));
  EXPECT_FALSE(main.cancel(dropped));

  main.advance(0.029);
  EXPECT_TRUE(fired.empty());
  main.advance(0.001);
  ASSERT_EQ(fired.size(), 2u);
  main.advance(1.0);
  ASSERT_EQ(fired.size(), 3u);
  EXPECT_EQ(fired[0].first, 1);
  EXPECT_EQ(fired[1].first, 2);
  EXPECT_EQ(fired[2].first, 3);
  EXPECT_NEAR(fired[2].second, 0.25, 1e-9) << "each block sees its own deadline as now";
  EXPECT_NEAR(main.now() - start, 1.03, 1e-9);
}

TEST_F(MainExecutorTest, DelayedBlockQueuedFromADelayedBlockCountsFromItsDeadline) {
  int runs = 0;
  main.asyncAfter(0.03, [&] {
    ++runs;
    main.asyncAfter(0.03, [&] { ++runs; });
  });
  main.advance(0.059);
  EXPECT_EQ(runs, 1);
  main.advance(0.001);
  EXPECT_EQ(runs, 2);
}

TEST_F(MainExecutorTest, DispatchOnMainRunsInlineOnMainAndQueuesFromElsewhere) {
  std::vector<int> order;
  dispatchOnMainThread([&] { order.push_back(1); });
  EXPECT_EQ(order, (std::vector<int>{1}));

  std::atomic<bool> ranOnMain{false};
  std::thread([&] { dispatchOnMainThread([&] { ranOnMain = main.isMainThread(); }); }).join();
  EXPECT_FALSE(ranOnMain);
  main.runUntilIdle();
  EXPECT_TRUE(ranOnMain);
}

TEST_F(MainExecutorTest, SyncDispatchFromAWorkerWaitsForTheMainPass) {
  std::atomic<int> value{0};
  std::atomic<bool> returned{false};
  std::thread worker([&] {
    dispatchSyncOnMainThread([&] { value = main.isMainThread() ? 7 : -1; });
    returned = true;
  });
  while (!returned) {
    main.runUntilIdle();
    std::this_thread::yield();
  }
  worker.join();
  EXPECT_EQ(value, 7);
  int inlineValue = 0;
  dispatchSyncOnMainThread([&] { inlineValue = 1; });
  EXPECT_EQ(inlineValue, 1) << "inline on the main thread";
}

TEST_F(MainExecutorTest, DriverIsWokenWhenWorkArrives) {
  struct CountingDriver : MainExecutor::Driver {
    std::atomic<int> wakes{0};
    void wake() override { ++wakes; }
  } driver;
  main.setDriver(&driver);
  main.async([] {});
  EXPECT_GE(driver.wakes.load(), 1);
  int before = driver.wakes;
  main.asyncAfter(5, [] {});
  EXPECT_GT(driver.wakes.load(), before) << "a new earliest deadline wakes the driver";
  auto next = main.runPending();
  ASSERT_TRUE(next);
  EXPECT_NEAR(*next, 5.0, 1e-9);
  main.setDriver(nullptr);
}

TEST_F(MainExecutorTest, RunLoopStopsFromAnotherThread) {
  main.useSystemClock();
  std::atomic<int> ran{0};
  std::thread worker([&] {
    main.async([&] { ++ran; });
    main.async([&] { main.stop(); });
  });
  main.run();
  worker.join();
  EXPECT_EQ(ran, 1);
}

// A delayed block queued from another thread while the loop waits with nothing due wakes it.
TEST_F(MainExecutorTest, RunLoopWakesForADelayedBlockQueuedWhileItWaits) {
  main.useSystemClock();
  std::atomic<int> ran{0};
  std::thread worker([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    main.asyncAfter(0.01, [&] {
      ++ran;
      main.stop();
    });
  });
  main.run();
  worker.join();
  EXPECT_EQ(ran, 1);
}
