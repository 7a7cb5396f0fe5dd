#include <gtest/gtest.h>

#include <thread>

#include "QVCore/ImageProcessing/Processor/QVNotificationQueue.h"
#include "QVPlatform/MainExecutor.h"
#include "QVPlatform/NotificationCenter.h"

namespace {

using qv::Dictionary;
using qv::MainExecutor;
using Info = QVNotificationQueue::Info;

constexpr const char* kName = "kQVImageProcessorStateDidChange";

struct Posted {
  Dictionary info;
  const void* sender;
};

class QVNotificationQueueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    main.discardPending();
    main.useManualClock();
    sender = std::make_shared<int>(7);
    queue = QVNotificationQueue::make(kName, sender);
    queue->setAllowsSendingNotifications(true);
    token = qv::NotificationCenter::defaultCenter().addObserver(kName, nullptr, [this](const qv::Notification& n) {
      posts.push_back({n.userInfo, n.sender});
    });
  }
  void TearDown() override {
    token.reset();
    main.discardPending();
    main.useSystemClock();
  }
  static Info rec(const std::string& name) { return Dictionary{{"id", qv::Value(name)}}; }
  std::vector<std::string> postedIds() const {
    std::vector<std::string> ids;
    for (auto& p : posts) ids.push_back(p.info.count("id") ? p.info.at("id").asString() : "-");
    return ids;
  }

  MainExecutor& main = MainExecutor::shared();
  std::shared_ptr<int> sender;
  std::shared_ptr<QVNotificationQueue> queue;
  qv::ObserverToken token;
  std::vector<Posted> posts;
};

TEST_F(QVNotificationQueueTest, BurstCoalescesAndPostsInOrderOfLatestQueuing) {
  queue->queueNotificationWithInfo(rec("A"));
  main.advance(0.01);
  queue->queueNotificationWithInfo(rec("B"));
  queue->queueNotificationWithInfo(rec("A"));
  queue->queueNotificationWithInfo(rec("A"));
  main.advance(0.019);  // 29 ms after the first record: nothing yet, later records did not restart the timer
  EXPECT_TRUE(posts.empty());
  main.advance(0.002);
  EXPECT_EQ(postedIds(), (std::vector<std::string>{"B", "A"}));
  EXPECT_EQ(posts[0].sender, sender.get());
  EXPECT_FALSE(queue->hasPendingTimer());
  EXPECT_TRUE(queue->infoQueueArray().empty());
}

TEST_F(QVNotificationQueueTest, NonReplaceableRecordsAlwaysPostWithTheirMarker) {
  queue->queueNotificationWithInfo(rec("A"));
  queue->queueNotificationWithInfo(rec("A"), true);  // removes the earlier plain A
  queue->queueNotificationWithInfo(rec("A"), true);
  queue->queueNotificationWithInfo(rec("A"));  // equal in content, still a record of its own
  queue->queueNotificationWithInfo(std::nullopt);
  queue->queueNotificationWithInfo(std::nullopt);
  main.advance(0.031);
  ASSERT_EQ(postedIds(), (std::vector<std::string>{"A", "A", "A", "-"}));
  EXPECT_TRUE(posts[0].info.at(kQVNonReplaceableNotificationKey).asBool());
  EXPECT_TRUE(posts[1].info.at(kQVNonReplaceableNotificationKey).asBool());
  EXPECT_EQ(posts[2].info.count(kQVNonReplaceableNotificationKey), 0u);
  EXPECT_TRUE(posts[3].info.empty());
}

TEST_F(QVNotificationQueueTest, SendingSwitchDropsRecordsAtQueuingAndAtPosting) {
  queue->setAllowsSendingNotifications(false);
  queue->queueNotificationWithInfo(rec("A"));
  main.advance(1);
  EXPECT_TRUE(posts.empty());

  queue->setAllowsSendingNotifications(true);
  queue->queueNotificationWithInfo(rec("B"));
  queue->setAllowsSendingNotifications(false);
  main.advance(0.031);
  queue->setAllowsSendingNotifications(true);
  main.advance(1);
  EXPECT_TRUE(posts.empty());
  EXPECT_TRUE(queue->infoQueueArray().empty());
}

TEST_F(QVNotificationQueueTest, SuspensionHoldsRecordsUntilResumeOrForcedPost) {
  queue->queueNotificationWithInfo(rec("A"));
  queue->setSuspended(true);
  queue->queueNotificationWithInfo(rec("B"));
  main.advance(1);
  EXPECT_TRUE(posts.empty());
  queue->setSuspended(false);
  main.advance(0.029);
  EXPECT_TRUE(posts.empty());
  main.advance(0.002);
  EXPECT_EQ(postedIds(), (std::vector<std::string>{"A", "B"}));

  posts.clear();
  queue->setSuspended(true);
  queue->queueNotificationWithInfo(rec("C"));
  queue->forcePostDefferedNotifications();
  EXPECT_EQ(postedIds(), (std::vector<std::string>{"C"}));
  EXPECT_TRUE(queue->suspended());
}

TEST_F(QVNotificationQueueTest, ExceptionalKeysOvertakeWaitingRecords) {
  queue->setExceptionalInfoKeys({"urgent"});
  queue->queueNotificationWithInfo(rec("A"));
  queue->queueNotificationWithInfo(Dictionary{{"id", qv::Value("X")}, {"urgent", qv::Value(1)}});
  queue->queueNotificationWithInfo(Dictionary{{"id", qv::Value("N")}, {"urgent", qv::Value()}});  // null: not urgent
  EXPECT_EQ(postedIds(), (std::vector<std::string>{"X"}));
  main.advance(0.031);
  EXPECT_EQ(postedIds(), (std::vector<std::string>{"X", "A", "N"}));
}

TEST_F(QVNotificationQueueTest, RecordsFromOtherThreadsAndAfterTheSenderIsGone) {
  std::thread([q = queue] { q->queueNotificationWithInfo(rec("T")); }).join();
  sender.reset();
  main.runUntilIdle();
  main.advance(0.031);
  ASSERT_EQ(postedIds(), (std::vector<std::string>{"T"}));
  EXPECT_EQ(posts[0].sender, nullptr);
}

TEST_F(QVNotificationQueueTest, RecordQueuedByAnObserverWaitsForTheNextInterval) {
  bool requeued = false;
  auto again = qv::NotificationCenter::defaultCenter().addObserver(kName, nullptr, [&](const qv::Notification&) {
    if (!requeued) {
      requeued = true;
      queue->queueNotificationWithInfo(rec("again"));
    }
  });
  queue->queueNotificationWithInfo(rec("A"));
  main.advance(0.031);
  EXPECT_EQ(postedIds(), (std::vector<std::string>{"A"}));
  main.advance(0.031);
  EXPECT_EQ(postedIds(), (std::vector<std::string>{"A", "again"}));
}

}  // namespace
