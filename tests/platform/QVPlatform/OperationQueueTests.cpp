#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "QVPlatform/OperationQueue.h"

using namespace qv;

namespace {

struct Recorder {
  std::mutex mutex;
  std::vector<std::string> items;
  void add(std::string s) {
    std::lock_guard lock(mutex);
    items.push_back(std::move(s));
  }
  std::vector<std::string> get() {
    std::lock_guard lock(mutex);
    return items;
  }
};

std::shared_ptr<BlockOperation> recording(Recorder& r, std::string name) {
  return BlockOperation::make([&r, name] { r.add(name); });
}

}  // namespace

TEST(OperationQueue, SerialQueueRunsInOrderByPriority) {
  auto q = OperationQueue::make("test.ops", 1);
  Recorder r;
  q->setSuspended(true);
  auto low = recording(r, "low");
  low->setQueuePriority(QueuePriority::VeryLow);
  auto urgent = recording(r, "urgent");
  urgent->setQueuePriority(QueuePriority::VeryHigh);
  q->addOperation(low);
  q->addOperation(recording(r, "normal 1"));
  q->addOperation(recording(r, "normal 2"));
  q->addOperation(urgent);
  EXPECT_EQ(q->operationCount(), 4u);
  EXPECT_TRUE(r.get().empty()) << "a suspended queue starts nothing";
  q->setSuspended(false);
  q->waitUntilAllOperationsAreFinished();
  EXPECT_EQ(r.get(), (std::vector<std::string>{"urgent", "normal 1", "normal 2", "low"}));
  EXPECT_EQ(q->operationCount(), 0u);
}

TEST(OperationQueue, DependenciesHoldOperationsBackAcrossQueues) {
  auto first = OperationQueue::make("test.first", 1);
  auto second = OperationQueue::make("test.second");
  Recorder r;
  first->setSuspended(true);
  auto a = recording(r, "a");
  auto b = recording(r, "b");
  b->addDependency(a);
  second->addOperation(b);
  first->addOperation(a);
  EXPECT_FALSE(b->isReady());
  EXPECT_EQ(b->dependencies().size(), 1u);
  first->setSuspended(false);
  b->waitUntilFinished();
  EXPECT_EQ(r.get(), (std::vector<std::string>{"a", "b"}));
  EXPECT_TRUE(a->isFinished());
}

TEST(OperationQueue, CancelledOperationsFinishWithoutRunning) {
  auto q = OperationQueue::make("test.cancel", 1);
  Recorder r;
  q->setSuspended(true);
  auto op = recording(r, "cancelled");
  std::atomic<int> completions{0}, observed{0};
  op->setCompletionBlock([&] { ++completions; });
  op->addFinishObserver([&] { ++observed; });
  q->addOperation(op);
  auto blocker = recording(r, "never added");
  auto waiting = recording(r, "waits on a never-run op");
  waiting->addDependency(blocker);
  q->addOperation(waiting);
  op->cancel();
  waiting->cancel();
  EXPECT_TRUE(waiting->isReady()) << "cancelling ignores unfinished dependencies";
  q->setSuspended(false);
  q->waitUntilAllOperationsAreFinished();
  EXPECT_TRUE(op->isFinished());
  EXPECT_TRUE(op->isCancelled());
  EXPECT_FALSE(op->isExecuting());
  EXPECT_EQ(completions, 1);
  EXPECT_EQ(observed, 1);
  EXPECT_TRUE(r.get().empty());
  int late = 0;
  op->addFinishObserver([&] { ++late; });
  EXPECT_EQ(late, 1) << "an observer of a finished operation runs at once";
}

TEST(OperationQueue, CancelAllLetsTheRunningOperationSeeItAndSkipsTheRest) {
  auto q = OperationQueue::make("test.cancelall", 1);
  DispatchSemaphore started, release;
  std::atomic<bool> sawCancel{false};
  Recorder r;
  std::shared_ptr<BlockOperation> running = BlockOperation::make([&] {
    started.signal();
    release.wait(20);
    sawCancel = running->isCancelled();
  });
  q->addOperation(running);
  q->addOperation(recording(r, "waiting 1"));
  q->addOperation(recording(r, "waiting 2"));
  ASSERT_TRUE(started.wait(20));
  EXPECT_TRUE(running->isExecuting());
  EXPECT_EQ(q->operations().front(), running);
  q->cancelAllOperations();
  release.signal();
  q->waitUntilAllOperationsAreFinished();
  EXPECT_TRUE(sawCancel);
  EXPECT_TRUE(r.get().empty());
  running.reset();
}

TEST(OperationQueue, CurrentQueueAndWaiting) {
  auto q = OperationQueue::make("ipq_test", 1);
  std::shared_ptr<OperationQueue> seen;
  auto op = q->addOperationWithBlock([&] { seen = OperationQueue::currentQueue(); });
  op->waitUntilFinished();
  EXPECT_EQ(seen, q);
  EXPECT_EQ(OperationQueue::currentQueue(), nullptr);
  EXPECT_EQ(q->name(), "ipq_test");

  // The processor's pattern: run inline when already on the queue, else add and wait.
  std::atomic<int> ran{0};
  auto performSync = [&](const Block& block) {
    if (OperationQueue::currentQueue() == q)
      block();
    else
      q->addOperations({BlockOperation::make(block)}, true);
  };
  performSync([&] {
    ++ran;
    performSync([&] { ++ran; });
  });
  EXPECT_EQ(ran, 2);
}

TEST(OperationQueue, ConcurrentQueueRespectsItsLimit) {
  auto q = OperationQueue::make("test.limit", 3);
  std::atomic<int> inside{0}, maxInside{0};
  for (int i = 0; i < 60; ++i)
    q->addOperationWithBlock([&] {
      int now = ++inside;
      int seen = maxInside.load();
      while (now > seen && !maxInside.compare_exchange_weak(seen, now)) {
      }
      std::atomic<int> spin{0};
      while (spin.fetch_add(1) < 2000) {
      }
      --inside;
    });
  q->waitUntilAllOperationsAreFinished();
  EXPECT_LE(maxInside.load(), 3);
  EXPECT_GE(maxInside.load(), 1);
}

TEST(OperationQueue, ADroppedQueueStillFinishesItsOperations) {
  Recorder r;
  auto gate = recording(r, "gate");
  auto op = recording(r, "queued");
  op->addDependency(gate);
  {
    auto q = OperationQueue::make("test.dropped", 1);
    q->addOperation(op);
  }
  gate->start();  // run by hand, on no queue
  op->waitUntilFinished();
  EXPECT_EQ(r.get(), (std::vector<std::string>{"gate", "queued"}));
}
