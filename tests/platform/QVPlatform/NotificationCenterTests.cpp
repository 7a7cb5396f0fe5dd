#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "QVPlatform/MainExecutor.h"
#include "QVPlatform/NotificationCenter.h"

using namespace qv;

namespace {

class NotificationCenterTest : public ::testing::Test {
 protected:
  void SetUp() override { MainExecutor::shared().discardPending(); }
  void TearDown() override { MainExecutor::shared().discardPending(); }
  NotificationCenter center;
};

}  // namespace

TEST_F(NotificationCenterTest, FiltersByNameAndSender) {
  auto a = std::make_shared<int>(1);
  auto b = std::make_shared<int>(2);
  std::vector<std::string> seen;
  auto t1 = center.addObserver("Changed", a.get(), [&](const Notification&) { seen.push_back("name+a"); });
  auto t2 = center.addObserver("Changed", nullptr, [&](const Notification&) { seen.push_back("name"); });
  auto t3 = center.addObserver("", b.get(), [&](const Notification&) { seen.push_back("b"); });
  auto t4 = center.addObserver("", nullptr, [&](const Notification& n) { seen.push_back("any:" + n.name); });

  center.post("Changed", a);
  EXPECT_EQ(seen, (std::vector<std::string>{"name+a", "name", "any:Changed"}));
  seen.clear();
  center.post("Other", b);
  EXPECT_EQ(seen, (std::vector<std::string>{"b", "any:Other"}));
  seen.clear();
  center.postWithSender("Changed", b.get());
  EXPECT_EQ(seen, (std::vector<std::string>{"name", "b", "any:Changed"}));
}

TEST_F(NotificationCenterTest, CarriesObjectAndUserInfo) {
  auto sender = std::make_shared<std::string>("image-key");
  std::string got;
  int64_t index = -1;
  auto t = center.addObserver("Done", nullptr, [&](const Notification& n) {
    got = *n.objectAs<std::string>();
    index = n.info("index").asInt();
  });
  center.post("Done", sender, {{"index", 4}});
  EXPECT_EQ(got, "image-key");
  EXPECT_EQ(index, 4);
}

TEST_F(NotificationCenterTest, RemovedObserversAreNotCalledEvenDuringAPost) {
  int first = 0, second = 0;
  ObserverToken secondToken;
  auto firstToken = center.addObserver("N", nullptr, [&](const Notification&) {
    ++first;
    secondToken.reset();  // removes the next observer in the middle of the post
  });
  secondToken = center.addObserver("N", nullptr, [&](const Notification&) { ++second; });
  center.post("N");
  EXPECT_EQ(first, 1);
  EXPECT_EQ(second, 0);

  {
    auto scoped = center.addObserver("N", nullptr, [&](const Notification&) { ++second; });
  }
  center.post("N");
  EXPECT_EQ(second, 0) << "a destroyed token unregisters";

  ObserverToken self;
  int selfCalls = 0;
  self = center.addObserver("N", nullptr, [&](const Notification&) {
    ++selfCalls;
    self.reset();
  });
  center.post("N");
  center.post("N");
  EXPECT_EQ(selfCalls, 1) << "an observer may remove itself";
}

TEST_F(NotificationCenterTest, MainThreadPostIsImmediateOnMainAndQueuedFromWorkers) {
  auto& def = NotificationCenter::defaultCenter();
  std::vector<bool> deliveredOnMain;
  auto t = def.addObserver("kQVTestMainPost", nullptr, [&](const Notification&) {
    deliveredOnMain.push_back(MainExecutor::shared().isMainThread());
  });
  mainThredPostNotificationName("kQVTestMainPost", nullptr);
  EXPECT_EQ(deliveredOnMain.size(), 1u) << "posted at once on the main thread";

  auto sender = std::make_shared<int>(5);
  std::weak_ptr<int> weakSender = sender;
  std::thread([s = std::move(sender)]() mutable {
    mainThredPostNotificationName("kQVTestMainPost", std::move(s));
  }).join();
  EXPECT_EQ(deliveredOnMain.size(), 1u) << "not delivered on the worker";
  EXPECT_FALSE(weakSender.expired()) << "the queued post keeps its sender";
  MainExecutor::shared().runUntilIdle();
  EXPECT_EQ(deliveredOnMain, (std::vector<bool>{true, true}));
  EXPECT_TRUE(weakSender.expired());
}

TEST_F(NotificationCenterTest, ObserverWithMainQueueRunsOnTheMainPass) {
  int calls = 0;
  auto t = center.addObserver(
      "N", nullptr, [&](const Notification&) { ++calls; }, mainQueue());
  std::thread([&] { center.post("N"); }).join();
  EXPECT_EQ(calls, 0);
  MainExecutor::shared().runUntilIdle();
  EXPECT_EQ(calls, 1);
}

// Posts from several threads while observers come and go: an observer that stays hears every
// post exactly once, and one that was removed is never called after its removal returned.
TEST_F(NotificationCenterTest, ConcurrentPostsAndRemovalsAreSafe) {
  std::atomic<int> steady{0}, posted{0}, lateCalls{0};
  auto keep = center.addObserver("N", nullptr, [&](const Notification&) { ++steady; });
  std::atomic<bool> stop{false};
  std::vector<std::thread> posters;
  for (int i = 0; i < 3; ++i)
    posters.emplace_back([&] {
      for (int n = 0; n < 20000 && !stop; ++n) {
        center.post("N");
        ++posted;
      }
    });
  for (int i = 0; i < 50; ++i) {
    auto removed = std::make_shared<std::atomic<bool>>(false);
    auto token = center.addObserver("N", nullptr, [&, removed](const Notification&) {
      if (*removed) ++lateCalls;
    });
    token.reset();
    *removed = true;
  }
  stop = true;
  for (auto& t : posters) t.join();
  EXPECT_EQ(steady.load(), posted.load());
  EXPECT_EQ(lateCalls.load(), 0);
}
