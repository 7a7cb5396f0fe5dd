#include "Ombrel/Classes/Business/QVSyncTaskManager.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <future>
#include <mutex>

namespace {

using namespace std::chrono_literals;

// An operation that waits in `main()` until the test releases it, without any engine work.
class GatedOperation : public QVImageTaskOperation {
 public:
  using QVImageTaskOperation::QVImageTaskOperation;
  std::shared_ptr<QVRovaProcessor> processor() override { return nullptr; }
  void main() override {
    {
      std::lock_guard guard(mutex_);
      started_ = true;
    }
    changed_.notify_all();
    lock();
    if (isCancelled()) return performFinishedCallback();
    QVImageTaskOperation::main();
  }
  bool waitUntilStarted() {
    std::unique_lock guard(mutex_);
    return changed_.wait_for(guard, 10s, [&] { return started_; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool started_ = false;
};

class RecordingManager : public QVImageTaskManager {
 public:
  using QVImageTaskManager::QVImageTaskManager;
  std::shared_ptr<QVImageTaskOperation> makeOperation(const TaskPtr& params) override {
    auto op = std::make_shared<GatedOperation>(params);
    std::lock_guard guard(mutex);
    made.push_back(op);
    return op;
  }
  std::shared_ptr<GatedOperation> madeAt(size_t i) {
    std::lock_guard guard(mutex);
    return i < made.size() ? made[i] : nullptr;
  }
  size_t madeCount() {
    std::lock_guard guard(mutex);
    return made.size();
  }
  std::mutex mutex;
  std::vector<std::shared_ptr<GatedOperation>> made;
};

// Completions as they arrive: the reported path of each.
struct Reports {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<std::string> paths;
  QVSyncTaskManager::TaskCompletion completion() {
    // Notified under the lock: once the waiter has its answer and returns, the reports may be
    // destroyed, so nothing of them may be touched after the lock is let go.
    return [this](std::shared_ptr<QVImageTaskOperation> op) {
      std::lock_guard guard(mutex);
      paths.push_back(op ? op->params()->path() : "(gone)");
      changed.notify_all();
    };
  }
  std::vector<std::string> waitFor(size_t n) {
    std::unique_lock guard(mutex);
    changed.wait_for(guard, 10s, [&] { return paths.size() >= n; });
    return paths;
  }
};

class TaskManagerTest : public ::testing::Test {
 protected:
  std::shared_ptr<QVRecordedOperationQueue> queue = QVRecordedOperationQueue::serialQueueWithName("test.tasks");
  std::shared_ptr<RecordingManager> manager = std::make_shared<RecordingManager>(queue);
  // A first operation that holds the serial queue, so what the test enqueues waits behind it.
  std::shared_ptr<GatedOperation> blocker;

  void holdQueue() {
    manager->performTaskWithParams(QVImageTaskParams::imageTaskParamsWithImagePath("/blocker", 0, 4), nullptr);
    blocker = manager->madeAt(0);
    ASSERT_TRUE(blocker->waitUntilStarted());
  }
  void TearDown() override {
    for (size_t i = 0; auto op = manager->madeAt(i); ++i) op->unlock();
    queue->waitUntilAllOperationsAreFinished();
  }
  static std::shared_ptr<QVImageTaskParams> task(const char* path, int64_t type, int64_t priority) {
    return QVImageTaskParams::imageTaskParamsWithImagePath(path, type, priority);
  }
};

TEST_F(TaskManagerTest, UrgentPreviewOfAnotherPathDisplacesAndRerunsTheFirstAtNormalPriority) {
  holdQueue();
  Reports reports;
  manager->performTaskWithParams(task("/A", 1, 4), reports.completion());
  auto a = manager->madeAt(1);
  manager->performTaskWithParams(task("/B", 1, 4), reports.completion());
  ASSERT_EQ(manager->madeCount(), 4u);  // blocker, A, A again, B
  EXPECT_TRUE(a->isCancelled());
  auto rerun = manager->madeAt(2), b = manager->madeAt(3);
  EXPECT_EQ(rerun->params()->path(), "/A");
  EXPECT_EQ(rerun->processingPriority(), 2);
  EXPECT_EQ(b->params()->path(), "/B");
  EXPECT_EQ(b->processingPriority(), 4);
  ASSERT_EQ(manager->highPriorityQueue(1).size(), 1u);
  EXPECT_EQ(manager->highPriorityQueue(1)[0]->path(), "/B");

  blocker->unlock();
  ASSERT_TRUE(b->waitUntilStarted());  // the urgent one runs first
  b->unlock();
  ASSERT_TRUE(rerun->waitUntilStarted());
  rerun->unlock();
  // Both report through B's completion, each with its own path.
  EXPECT_EQ(reports.waitFor(2), (std::vector<std::string>{"/B", "/A"}));
  EXPECT_TRUE(manager->highPriorityQueue(1).empty());
}

TEST_F(TaskManagerTest, UrgentPreviewOfTheSamePathTwiceRunsOnlyTheSecond) {
  holdQueue();
  Reports reports;
  manager->performTaskWithParams(task("/A", 1, 4), reports.completion());
  manager->performTaskWithParams(task("/A", 1, 4), reports.completion());
  ASSERT_EQ(manager->madeCount(), 3u);
  EXPECT_TRUE(manager->madeAt(1)->isCancelled());
  blocker->unlock();
  ASSERT_TRUE(manager->madeAt(2)->waitUntilStarted());
  manager->madeAt(2)->unlock();
  EXPECT_EQ(reports.waitFor(1), std::vector<std::string>{"/A"});
}

TEST_F(TaskManagerTest, RequestsForARegisteredKeyJoinOrReprioritise) {
  holdQueue();
  Reports reports;
  manager->performTaskWithParams(task("/A", 1, 4), reports.completion());
  // A normal-priority preview of a pending urgent one joins it.
  manager->performTaskWithParams(task("/A", 1, 2), reports.completion());
  // A thumbnail asked again at the same priority joins too; at another priority it re-prioritises.
  manager->performTaskWithParams(task("/T", 0, 2), reports.completion());
  manager->performTaskWithParams(task("/T", 0, 2), reports.completion());
  manager->performTaskWithParams(task("/T", 0, 1), reports.completion());
  ASSERT_EQ(manager->madeCount(), 3u);
  auto a = manager->madeAt(1), t = manager->madeAt(2);
  EXPECT_EQ(a->processingPriority(), 4);
  EXPECT_EQ(t->processingPriority(), 1);
  EXPECT_TRUE(manager->isProcessingImageForKey(t->params()->cacheKey(), 1));
  EXPECT_TRUE(manager->isProcessingImageForKey("missing", 0));

  blocker->unlock();
  ASSERT_TRUE(a->waitUntilStarted());
  a->unlock();
  ASSERT_TRUE(t->waitUntilStarted());
  t->unlock();
  // Every request hears of its result: two for A, three for T.
  auto paths = reports.waitFor(5);
  EXPECT_EQ(std::count(paths.begin(), paths.end(), "/A"), 2);
  EXPECT_EQ(std::count(paths.begin(), paths.end(), "/T"), 3);
}

TEST_F(TaskManagerTest, CancelledUrgentPreviewIsRerunWhenTheNextOneComes) {
  holdQueue();
  Reports reports;
  manager->performTaskWithParams(task("/A", 1, 4), reports.completion());
  manager->cancelTaskAtPath("/A", 1);
  manager->cancelTaskAtPath("/nothing");  // nothing registered: nothing happens
  EXPECT_TRUE(manager->madeAt(1)->isCancelled());
  manager->performTaskWithParams(task("/B", 1, 4), reports.completion());
  ASSERT_EQ(manager->madeCount(), 4u);
  EXPECT_EQ(manager->madeAt(2)->params()->path(), "/A");
  EXPECT_EQ(manager->madeAt(2)->processingPriority(), 2);
  EXPECT_EQ(manager->madeAt(3)->params()->path(), "/B");
  blocker->unlock();
  for (size_t i : {3u, 2u}) {
    ASSERT_TRUE(manager->madeAt(i)->waitUntilStarted());
    manager->madeAt(i)->unlock();
  }
  auto paths = reports.waitFor(2);
  EXPECT_EQ(paths, (std::vector<std::string>{"/B", "/A"}));
}

TEST_F(TaskManagerTest, JoiningACancelledUrgentPreviewRunsItAgain) {
  holdQueue();
  manager->performTaskWithParams(task("/A", 1, 4), nullptr);
  manager->cancelTaskAtPath("/A", 1);
  // The record stays pending, but its operation will never report: the request runs on its own.
  Reports joined;
  manager->performTaskWithParams(task("/A", 1, 2), joined.completion());
  ASSERT_EQ(manager->madeCount(), 3u);
  blocker->unlock();
  ASSERT_TRUE(manager->madeAt(2)->waitUntilStarted());
  manager->madeAt(2)->unlock();
  EXPECT_EQ(joined.waitFor(1), std::vector<std::string>{"/A"});
}

TEST_F(TaskManagerTest, RegistrationNeedsAKeyAndAnImageOperation) {
  auto op = std::make_shared<GatedOperation>(task("/A", 0, 1));
  EXPECT_FALSE(manager->addSyncOperation(op, ""));
  EXPECT_FALSE(manager->addSyncOperation(std::make_shared<QVSyncOperation>(), "key"));
  EXPECT_FALSE(manager->isRunning());
  manager->addCallback([](auto) { FAIL(); }, "absent");
}

TEST_F(TaskManagerTest, CancelAllTasksForgetsUrgentRequests) {
  holdQueue();
  manager->performTaskWithParams(task("/A", 1, 4), nullptr);
  EXPECT_EQ(manager->highPriorityQueue(1).size(), 1u);
  manager->cancelAllTasks();
  EXPECT_TRUE(manager->highPriorityQueue(1).empty());
  EXPECT_TRUE(manager->madeAt(1)->isCancelled());
  EXPECT_TRUE(blocker->isCancelled());
}

}  // namespace
