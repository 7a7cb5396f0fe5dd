#include "Ombrel/Classes/Basic/QVOperation.h"

#include <gtest/gtest.h>

#include "Ombrel/Classes/Basic/QVCallbackOperation.h"
#include "Ombrel/Classes/Basic/QVPathOperation.h"
#include "Ombrel/Classes/Basic/QVSyncOperation.h"

#include <future>
#include <thread>

using qv::QualityOfService;
using qv::QueuePriority;

TEST(QVOperationTest, ProcessingPriorityTable) {
  struct Case {
    int64_t priority;
    QueuePriority queuePriority;
    QualityOfService qos;
  };
  const Case cases[] = {
      {1, QueuePriority::VeryLow, QualityOfService::Background},
      {2, QueuePriority::Normal, QualityOfService::Utility},
      {3, QueuePriority::High, QualityOfService::UserInitiated},
      {4, QueuePriority::VeryHigh, QualityOfService::UserInitiated},
  };
  for (const auto& c : cases) {
    QVOperation op;
    op.setProcessingPriority(c.priority);
    EXPECT_EQ(op.processingPriority(), c.priority);
    EXPECT_EQ(op.queuePriority(), c.queuePriority) << c.priority;
    EXPECT_EQ(op.qualityOfService(), c.qos) << c.priority;
  }
  // Other numbers are kept and change nothing else; neither does setting the same number again.
  for (int64_t other : {0, 7}) {
    QVOperation op;
    op.setProcessingPriority(4);
    op.setProcessingPriority(other);
    EXPECT_EQ(op.processingPriority(), other);
    EXPECT_EQ(op.queuePriority(), QueuePriority::VeryHigh);
    EXPECT_EQ(op.qualityOfService(), QualityOfService::UserInitiated);
  }
  QVOperation same;
  same.setProcessingPriority(3);
  same.setQueuePriority(QueuePriority::Low);
  same.setProcessingPriority(3);
  EXPECT_EQ(same.queuePriority(), QueuePriority::Low);
}

TEST(QVCallbackOperationTest, RunsCallbacksThenFinishedCallback) {
  auto op = QVCallbackOperation::make();
  std::vector<std::string> calls;
  std::string first = op->addCallback([&] { calls.push_back("callback"); });
  std::string second = op->addCallback([&] { calls.push_back("removed"); });
  EXPECT_FALSE(first.empty());
  EXPECT_NE(first, second);
  EXPECT_TRUE(op->addCallback(nullptr).empty());
  EXPECT_TRUE(op->removeCallbackWithID(second));
  EXPECT_FALSE(op->removeCallbackWithID(""));
  op->setFinishedCallback([&] { calls.push_back("finished"); });
  op->start();
  EXPECT_EQ(calls, (std::vector<std::string>{"callback", "finished"}));
  EXPECT_TRUE(op->isFinished());
}

TEST(QVCallbackOperationTest, CancelledRunsOnlyItsFinishedCallback) {
  auto queue = qv::OperationQueue::make("cancelled", 1);
  queue->setSuspended(true);
  auto op = QVCallbackOperation::make();
  bool callback = false, finished = false;
  op->addCallback([&] { callback = true; });
  op->setFinishedCallback([&] { finished = true; });
  queue->addOperation(op);
  op->cancel();
  queue->setSuspended(false);
  queue->waitUntilAllOperationsAreFinished();
  EXPECT_FALSE(callback);
  EXPECT_TRUE(finished);
}

// An operation whose main() has told its finished callback and then waits to return, so a waiter
// installs itself after the callback was read but before the operation has finished.
class LateFinishingOperation : public QVCallbackOperation {
 public:
  std::promise<void> toldFinished;
  std::promise<void> mayReturn;
  void main() override {
    performFinishedCallback();
    toldFinished.set_value();
    mayReturn.get_future().wait();
  }
};

TEST(QVCallbackOperationTest, WaitUntilDoneInBothRaces) {
  // Already finished: returns at once.
  auto done = QVCallbackOperation::make();
  done->start();
  done->waitUntilDone();

  // Finishing while the waiter is installed: the finished callback has already been read.
  auto op = std::make_shared<LateFinishingOperation>();
  bool ownCallback = false;
  op->setFinishedCallback([&] { ownCallback = true; });
  std::thread runner([op] { op->start(); });
  op->toldFinished.get_future().wait();
  auto waiter = std::async(std::launch::async, [op] { op->waitUntilDone(); });
  op->mayReturn.set_value();
  EXPECT_EQ(waiter.wait_for(std::chrono::seconds(20)), std::future_status::ready);
  runner.join();
  EXPECT_TRUE(ownCallback);

  // Many waiters racing the end of the operation all return, and a set finished callback still runs.
  for (int i = 0; i < 200; ++i) {
    auto racing = QVCallbackOperation::make();
    std::atomic<int> finishedCalls{0};
    racing->setFinishedCallback([&] { ++finishedCalls; });
    std::thread t([racing] { racing->start(); });
    racing->waitUntilDone();
    t.join();
    EXPECT_EQ(finishedCalls.load(), 1);
  }
}

TEST(QVSyncOperationTest, LockWaitsForUnlockAndCancelNeverStrands) {
  // Unlocked from another thread.
  auto op = QVSyncOperation::make();
  std::thread unlocker([op] {
    while (!op->isLocked()) std::this_thread::yield();
    op->unlock();
  });
  op->lock();
  unlocker.join();
  EXPECT_FALSE(op->isLocked());

  // The callback came before the wait: lock returns at once.
  auto early = QVSyncOperation::make();
  early->unlock();
  early->lock();

  // Cancelling unlocks a waiting operation, and a cancelled one does not wait at all.
  auto cancelled = QVSyncOperation::make();
  auto waiting = std::async(std::launch::async, [cancelled] { cancelled->lock(); });
  while (!cancelled->isLocked()) std::this_thread::yield();
  cancelled->cancel();
  EXPECT_EQ(waiting.wait_for(std::chrono::seconds(20)), std::future_status::ready);
  cancelled->lock();
  EXPECT_FALSE(cancelled->isLocked());

  auto path = QVPathOperation::initWithSourcePath("/photos/a.jpg");
  EXPECT_EQ(path->sourcePath(), "/photos/a.jpg");
}
