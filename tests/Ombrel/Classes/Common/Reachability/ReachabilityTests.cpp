#include "Ombrel/Classes/Common/Reachability/Reachability.h"

#include <arpa/inet.h>

#include <condition_variable>
#include <future>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "QVPlatform/MainExecutor.h"
#include "QVPlatform/NotificationCenter.h"
#include "tests/Ombrel/Classes/Common/Reachability/FakeReachabilityProbe.h"

using solvane::test::FakeReachabilityProbe;

namespace {

// Events seen by the blocks and the observer, in order.
struct Journal {
  std::mutex mutex;
  std::condition_variable cv;
  std::vector<std::string> entries;
  void add(std::string entry) {
    std::lock_guard lock(mutex);
    entries.push_back(std::move(entry));
    cv.notify_all();
  }
  bool waitFor(size_t count) {
    std::unique_lock lock(mutex);
    return cv.wait_for(lock, std::chrono::seconds(10), [&] { return entries.size() >= count; });
  }
  std::vector<std::string> snapshot() {
    std::lock_guard lock(mutex);
    return entries;
  }
};

}  // namespace

TEST(ReachabilityFlags, TextShowsOneLetterPerFlag) {
  EXPECT_EQ(Reachability::flagsText(kReachabilityFlagsReachable | kReachabilityFlagsIsDirect), "XR ------d");
  EXPECT_EQ(Reachability::flagsText(0), "X- -------");
  EXPECT_EQ(Reachability::flagsText(0x3003f), "XR ctiCDld");
}

TEST(ReachabilityFlags, ReachableTestAndQueries) {
  struct Case {
    uint32_t flags;
    bool reachable, required, onDemand, intervention;
    NetworkStatus status;
  };
  const Case cases[] = {
      {0, false, false, false, false, NotReachable},           {2, true, false, false, false, ReachableViaWiFi},
      {2 | 1, true, false, false, false, ReachableViaWiFi},    {2 | 4, true, true, false, false, ReachableViaWiFi},
      {2 | 1 | 4, false, true, false, false, NotReachable},    {4 | 8, false, true, true, false, NotReachable},
      {4 | 32, false, true, true, false, NotReachable},        {4 | 16, false, true, false, true, NotReachable},
      {8 | 16 | 32, false, false, false, false, NotReachable},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.flags);
    auto monitor = Reachability::reachabilityWithProbe(std::make_shared<FakeReachabilityProbe>(c.flags));
    EXPECT_EQ(Reachability::isReachableWithFlags(c.flags), c.reachable);
    EXPECT_EQ(monitor->isReachable(), c.reachable);
    EXPECT_EQ(monitor->connectionRequired(), c.required);
    EXPECT_EQ(monitor->isConnectionOnDemand(), c.onDemand);
    EXPECT_EQ(monitor->isInterventionRequired(), c.intervention);
    EXPECT_EQ(monitor->currentReachabilityStatus(), c.status);
    EXPECT_EQ(monitor->currentReachabilityString(), c.status == ReachableViaWiFi ? "WiFi" : "No Connection");
    EXPECT_FALSE(monitor->isReachableViaWWAN());
    EXPECT_EQ(monitor->reachabilityFlags(), c.flags);
  }
}

TEST(ReachabilityFlags, UnreadableFlagsCountAsUnreachable) {
  auto monitor = Reachability::reachabilityWithProbe(std::make_shared<FakeReachabilityProbe>(std::nullopt));
  EXPECT_FALSE(monitor->isReachable());
  EXPECT_EQ(monitor->reachabilityFlags(), 0u);
  EXPECT_TRUE(monitor->reachableOnWWAN());
  const std::string text = monitor->description();
  EXPECT_EQ(text.rfind("<Reachability: 0x", 0), 0u) << text;
  EXPECT_NE(text.find("(X- -------)>"), std::string::npos) << text;
}

TEST(ReachabilityNotifier, ChangeCallsBlocksOnItsQueueThenPostsOnTheMainQueue) {
  qv::MainExecutor::shared().discardPending();
  auto probe = std::make_shared<FakeReachabilityProbe>(kReachabilityFlagsReachable);
  auto monitor = Reachability::reachabilityWithProbe(probe);
  Journal journal;
  Reachability* raw = monitor.get();  // the blocks live in the monitor: no owning capture
  auto onQueue = [raw] { return raw->reachabilitySerialQueue()->isCurrent(); };
  monitor->setReachableBlock([&](const std::shared_ptr<Reachability>&) { journal.add("reachable"); });
  monitor->setUnreachableBlock([&, onQueue](const std::shared_ptr<Reachability>& r) {
    journal.add(std::string("unreachable") + (onQueue() ? "@queue" : "@elsewhere") +
                (r == monitor ? "" : " (another monitor)"));
  });
  monitor->setReachabilityBlock(
      [&](const std::shared_ptr<Reachability>&, uint32_t flags) { journal.add("flags " + std::to_string(flags)); });
  qv::ObserverToken token = qv::NotificationCenter::defaultCenter().addObserver(
      kReachabilityChangedNotification, monitor.get(), [&](const qv::Notification& n) {
        journal.add(std::string("posted") + (qv::MainExecutor::shared().isMainThread() ? "@main" : "@elsewhere"));
      });

  ASSERT_TRUE(monitor->startNotifier());
  EXPECT_EQ(monitor->reachabilityObject(), monitor);
  EXPECT_TRUE(monitor->startNotifier()) << "a second start is a no-op";

  probe->set(0);
  ASSERT_TRUE(journal.waitFor(2));
  monitor->reachabilitySerialQueue()->sync([] {});
  qv::MainExecutor::shared().runUntilIdle();
  // The same answer again is no change.
  probe->set(0);
  monitor->reachabilitySerialQueue()->sync([] {});
  qv::MainExecutor::shared().runUntilIdle();
  probe->set(kReachabilityFlagsReachable | kReachabilityFlagsIsDirect);
  ASSERT_TRUE(journal.waitFor(5));
  monitor->reachabilitySerialQueue()->sync([] {});
  qv::MainExecutor::shared().runUntilIdle();
  EXPECT_EQ(journal.snapshot(), (std::vector<std::string>{"unreachable@queue", "flags 0", "posted@main", "reachable",
                                                          "flags 131074", "posted@main"}));

  monitor->stopNotifier();
  EXPECT_EQ(monitor->reachabilityObject(), nullptr);
  EXPECT_FALSE(probe->isObserved());
}

TEST(ReachabilityNotifier, KeepsItselfAliveWhileNotifyingAndFailsWhenObservingCannotStart) {
  auto probe = std::make_shared<FakeReachabilityProbe>();
  std::weak_ptr<Reachability> weak;
  {
    auto monitor = Reachability::reachabilityWithProbe(probe);
    ASSERT_TRUE(monitor->startNotifier());
    weak = monitor;
  }
  ASSERT_FALSE(weak.expired());
  weak.lock()->stopNotifier();
  EXPECT_TRUE(weak.expired());

  auto refusing = std::make_shared<FakeReachabilityProbe>();
  refusing->canObserve = false;
  auto monitor = Reachability::reachabilityWithProbe(refusing);
  EXPECT_FALSE(monitor->startNotifier());
  EXPECT_EQ(monitor->reachabilityObject(), nullptr);
}

TEST(ReachabilityNotifier, ProbeMakerReplacesTheSystemProbeForEveryFactory) {
  auto probe = std::make_shared<FakeReachabilityProbe>(0);
  solvane::test::FakeProbeInstaller installer(probe);
  EXPECT_EQ(Reachability::reachabilityForInternetConnection()->reachabilityRef(), probe);
  EXPECT_EQ(Reachability::reachabilityWithHostname("example.org")->reachabilityRef(), probe);
  EXPECT_EQ(Reachability::reachabilityWithHostname(""), nullptr);
}

// The machine's own probe: it must answer at once wherever the tests run (with or without a
// network), and loopback is always reachable, local and direct.
TEST(ReachabilitySystemProbe, AnswersWithoutBlocking) {
  auto answer = std::async(std::launch::async, [] {
    auto internet = Reachability::reachabilityForInternetConnection();
    auto wifi = Reachability::reachabilityForLocalWiFi();
    auto host = Reachability::reachabilityWithHostname("solvane.invalid");
    if (!internet || !wifi || !host) return std::string("no monitor");
    (void)internet->isReachable();
    (void)wifi->currentReachabilityFlags();
    (void)host->isReachable();
    if (!internet->startNotifier()) return std::string("notifier did not start");
    internet->stopNotifier();
    sockaddr_in loopback{};
    loopback.sin_family = AF_INET;
    loopback.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    auto local = Reachability::reachabilityWithAddress(reinterpret_cast<sockaddr*>(&loopback));
    return Reachability::flagsText(local->reachabilityFlags()) + " " +
           Reachability::flagsText(Reachability::reachabilityWithHostname("localhost")->reachabilityFlags());
  });
  ASSERT_EQ(answer.wait_for(std::chrono::seconds(20)), std::future_status::ready);
  EXPECT_EQ(answer.get(), "XR -----ld XR -----ld");
}
