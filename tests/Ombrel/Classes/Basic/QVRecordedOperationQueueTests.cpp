#include "Ombrel/Classes/Basic/QVRecordedOperationQueue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <future>

#include "Ombrel/Classes/Basic/QVCallbackOperation.h"
#include "Ombrel/Classes/Basic/QVQueueManager.h"
#include "QVPlatform/MainExecutor.h"

namespace {

// A block operation that holds its queue until released.
struct Gate {
  std::promise<void> entered, release;
  std::shared_future<void> released{release.get_future().share()};
  std::shared_ptr<qv::BlockOperation> operation(std::atomic<int>* ran = nullptr) {
    return qv::BlockOperation::make([this, ran] {
      if (ran) ++*ran;
      entered.set_value();
      released.wait();
    });
  }
};

class QVRecordedOperationQueueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    main.discardPending();
    main.useManualClock();
  }
  void TearDown() override {
    queue->waitUntilAllOperationsAreFinished();
    main.discardPending();
    main.useSystemClock();
  }
  qv::MainExecutor& main = qv::MainExecutor::shared();
  std::shared_ptr<QVRecordedOperationQueue> queue = QVRecordedOperationQueue::serialQueueWithName("test");
};

}  // namespace

TEST_F(QVRecordedOperationQueueTest, KeyedRegistrationDisplacementAndRemoval) {
  EXPECT_EQ(queue->name(), "test");
  EXPECT_EQ(queue->maxConcurrentOperationCount(), 1);
  EXPECT_EQ(queue->qualityOfService(), qv::QualityOfService::UserInitiated);

  Gate gate;
  auto first = gate.operation();
  queue->setObject(first, "key");
  gate.entered.get_future().wait();
  EXPECT_EQ(queue->objectForKeyedSubscript("key"), first);
  EXPECT_EQ(queue->runningOperation(), first);
  EXPECT_EQ(queue->objectForKeyedSubscript(""), nullptr);

  // A block under the same key displaces the running operation: it keeps running, unregistered.
  std::atomic<int> secondRan{0};
  queue->setObject(qv::Block([&] { ++secondRan; }), "key");
  auto second = queue->objectForKeyedSubscript("key");
  ASSERT_NE(second, nullptr);
  EXPECT_NE(second, first);
  EXPECT_FALSE(first->isCancelled());

  // Writing nothing under the key cancels what it holds and removes it.
  queue->removeObjectForKey("key");
  EXPECT_TRUE(second->isCancelled());
  EXPECT_EQ(queue->operationsTable().count(), 0u);

  // The key taken again while the displaced operation still runs stays with its new holder when the
  // displaced one finishes.
  Gate thirdGate;
  auto third = thirdGate.operation();
  queue->setObject(third, "key");
  gate.release.set_value();
  thirdGate.entered.get_future().wait();  // the serial queue starts it once the first has finished
  EXPECT_EQ(queue->objectForKeyedSubscript("key"), third);
  thirdGate.release.set_value();
  queue->waitUntilAllOperationsAreFinished();
  EXPECT_EQ(secondRan.load(), 0);
  EXPECT_FALSE(first->isCancelled());
  // Finished operations unregister themselves.
  EXPECT_EQ(queue->operationsTable().count(), 0u);

  // Registering an operation that has already finished leaves no key behind.
  queue->setObject(std::shared_ptr<qv::Operation>(first), "late");
  EXPECT_EQ(queue->objectForKeyedSubscript("late"), nullptr);

  // A nil key does nothing.
  queue->setObject(qv::BlockOperation::make([] {}), "");
  EXPECT_EQ(queue->operationCount(), 0u);
}

TEST_F(QVRecordedOperationQueueTest, ASecondRequestJoinsTheRegisteredOperation) {
  queue->setSuspended(true);
  auto op = std::make_shared<QVCallbackOperation>();
  std::vector<std::string> told;
  std::mutex toldMutex;
  op->addCallback([&] {
    std::lock_guard guard(toldMutex);
    told.push_back("first request");
  });
  queue->setObject(std::shared_ptr<qv::Operation>(op), "photo_1");
  // The second request for the key finds the operation, joins it and raises its priority.
  auto found = std::dynamic_pointer_cast<QVCallbackOperation>(queue->objectForKeyedSubscript("photo_1"));
  ASSERT_EQ(found, op);
  found->addCallback([&] {
    std::lock_guard guard(toldMutex);
    told.push_back("second request");
  });
  found->setProcessingPriority(4);
  queue->setSuspended(false);
  queue->waitUntilAllOperationsAreFinished();
  std::sort(told.begin(), told.end());  // callbacks run in no promised order
  EXPECT_EQ(told, (std::vector<std::string>{"first request", "second request"}));
  EXPECT_EQ(op->queuePriority(), qv::QueuePriority::VeryHigh);
  EXPECT_EQ(queue->objectForKeyedSubscript("photo_1"), nullptr);
}

TEST_F(QVRecordedOperationQueueTest, AddBlockOperationRegistersUnderAFreshKey) {
  std::promise<void> ran;
  std::string key = queue->addBlockOperation([&] { ran.set_value(); });
  EXPECT_FALSE(key.empty());
  ran.get_future().wait();
  queue->waitUntilAllOperationsAreFinished();
  EXPECT_EQ(queue->objectForKeyedSubscript(key), nullptr);
  EXPECT_TRUE(queue->addBlockOperation(nullptr).empty());
}

TEST_F(QVRecordedOperationQueueTest, CoalescedBlocksRunOnlyTheLastOnceAfterTheDelay) {
  std::vector<int> ran;
  std::mutex ranMutex;
  std::string lastKey;
  for (int i = 0; i < 10; ++i) {
    lastKey = queue->addBlockOperation(
        [&, i] {
          std::lock_guard guard(ranMutex);
          ran.push_back(i);
        },
        0.1);
    main.advance(0.005);  // ten calls within 50 ms
  }
  EXPECT_EQ(queue->callCount(), 10);
  // 0.1 s after the last call, not before.
  main.advance(0.1 - 0.005 - 0.001);
  queue->waitUntilAllOperationsAreFinished();
  EXPECT_TRUE(ran.empty());
  main.advance(0.001);
  queue->waitUntilAllOperationsAreFinished();
  EXPECT_EQ(ran, std::vector<int>{9});
  EXPECT_EQ(queue->callCount(), 0);
  main.advance(1);
  queue->waitUntilAllOperationsAreFinished();
  EXPECT_EQ(ran, std::vector<int>{9});
  EXPECT_EQ(queue->objectForKeyedSubscript(lastKey), nullptr);

  // No delay registers at once.
  std::promise<void> now;
  queue->addBlockOperation([&] { now.set_value(); }, 0);
  now.get_future().wait();
}

TEST_F(QVRecordedOperationQueueTest, CancelAllExceptForRunning) {
  Gate gate;
  std::atomic<int> running{0}, waiting{0}, unkeyed{0};
  auto first = gate.operation(&running);
  queue->setObject(first, "running");
  gate.entered.get_future().wait();
  queue->setObject(qv::Block([&] { ++waiting; }), "waiting-1");
  queue->setObject(qv::Block([&] { ++waiting; }), "waiting-2");
  auto loose = queue->addOperationWithBlock([&] { ++unkeyed; });

  queue->cancelAllOperationsExceptForRunning();
  EXPECT_EQ(queue->operationsTable().allKeys(), std::vector<std::string>{"running"});
  EXPECT_FALSE(first->isCancelled());
  EXPECT_FALSE(loose->isCancelled());  // added without a key: not ours to cancel
  gate.release.set_value();
  queue->waitUntilAllOperationsAreFinished();
  EXPECT_EQ(running.load(), 1);
  EXPECT_EQ(waiting.load(), 0);
  EXPECT_EQ(unkeyed.load(), 1);

  // With nothing running it cancels every registered operation.
  queue->setSuspended(true);
  queue->setObject(qv::Block([&] { ++waiting; }), "a");
  queue->setObject(qv::Block([&] { ++waiting; }), "b");
  queue->cancelAllOperationsExceptForRunning();
  queue->setSuspended(false);
  queue->waitUntilAllOperationsAreFinished();
  EXPECT_EQ(waiting.load(), 0);
  EXPECT_EQ(queue->operationsTable().count(), 0u);
}

TEST_F(QVRecordedOperationQueueTest, RegistrationsFromManyThreads) {
  // Threads register, displace and remove under a few shared keys while operations finish.
  std::atomic<int> ran{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < 200; ++i) {
        std::string key = "k" + std::to_string(i % 5);
        if ((i + t) % 7 == 0)
          queue->removeObjectForKey(key);
        else
          queue->setObject(qv::Block([&] { ++ran; }), key);
      }
    });
  for (auto& t : threads) t.join();
  queue->waitUntilAllOperationsAreFinished();
  EXPECT_EQ(queue->operationsTable().count(), 0u);
  EXPECT_GT(ran.load(), 0);
}

TEST(QVQueueManagerTest, SixNamedSerialQueues) {
  auto& manager = QVQueueManager::shared();
  EXPECT_EQ(&manager, &QVQueueManager::shared());
  const char* names[] = {"QVApp.Queue",          "QVCache.Queue",           "QVCacheInternal.Queue",
                         "QVImageLoading.Queue", "QVImageProcessing.Queue", "QVImageBlending.Queue"};
  for (uint64_t type = 0; type < 6; ++type) {
    auto queue = manager.queueWithType(type);
    ASSERT_NE(queue, nullptr);
    EXPECT_EQ(queue->name(), names[type]);
    EXPECT_EQ(queue->maxConcurrentOperationCount(), 1);
    EXPECT_EQ(queue->qualityOfService(), qv::QualityOfService::UserInitiated);
    EXPECT_EQ(queue, manager.queueWithType(type));
  }
  EXPECT_EQ(manager.queueWithType(6), nullptr);
  EXPECT_EQ(manager.imageProcessingQueue()->name(), "QVImageProcessing.Queue");
  EXPECT_EQ(manager.imageBlendingQueue()->name(), "QVImageBlending.Queue");

  auto cache = manager.cacheQueue();
  cache->setSuspended(true);
  cache->setObject(qv::Block([] {}), "pending");
  manager.cancelTasksOnAllQueues();
  EXPECT_EQ(cache->operationsTable().count(), 0u);
  cache->setSuspended(false);
  cache->waitUntilAllOperationsAreFinished();
}
