#include <gtest/gtest.h>

#include <thread>

#include "QVCore/ImageProcessing/Processor/QVIPProcessOperation.h"
#include "QVCore/ImageProcessing/Processor/QVIPProcessParams.h"

namespace {

TEST(QVIPProcessParamsTest, DefaultsAndPlainRecords) {
  auto a = QVIPProcessParams::defaultParams();
  auto b = QVIPProcessParams::defaultParams();
  EXPECT_NE(a, b);
  EXPECT_EQ(a->depth(), 16);
  EXPECT_TRUE(a->isAsync());
  EXPECT_FALSE(a->applyCrop() || a->disableShowMask() || a->disableHotPixels() || a->disableColdPixels() ||
               a->disableCache() || a->obtainOriginalRoi() || a->runCallbackInBackground() || a->clampResult());
  EXPECT_EQ(a->colorspace(), 0);
  EXPECT_TRUE(CGRectIsEmpty(a->rect()));
  a->setDepth(8);
  a->setRect(CGRectMake(1, 2, 3, 4));
  EXPECT_EQ(b->depth(), 16);
  EXPECT_TRUE(CGRectIsEmpty(b->rect()));

  auto plain = QVIPProcessParams::make();
  EXPECT_EQ(plain->depth(), 0);
  EXPECT_FALSE(plain->isAsync());
}

TEST(QVIPProcessOperationTest, CancelledBeforeItsBlockStartsRunsNothing) {
  auto queue = qv::OperationQueue::make("ipq_test", 1);
  queue->setSuspended(true);
  auto op = QVIPProcessOperation::make();
  int runs = 0;
  op->addExecutionBlock([&] { ++runs; });
  queue->addOperation(op);
  op->cancel();
  queue->setSuspended(false);
  op->waitUntilFinished();
  EXPECT_EQ(runs, 0);
  EXPECT_TRUE(op->isFinished());
}

TEST(QVIPProcessOperationTest, InterruptFlagIsSharedAndOutlivesTheOperation) {
  auto op = QVIPProcessOperation::make();
  EXPECT_FALSE(op->cancelCompletion());
  auto engineSide = op->processingInterrupted();
  EXPECT_EQ(engineSide, op->processingInterrupted());
  EXPECT_FALSE(engineSide->load());

  // A render that polls the flag stops once another thread sets it.
  std::atomic<bool> stopped{false};
  op->addExecutionBlock([flag = op->processingInterrupted(), &stopped] {
    while (!flag->load(std::memory_order_relaxed)) std::this_thread::yield();
    stopped = true;
  });
  std::thread worker([op] { op->start(); });
  op->interruptProcessing();
  op->waitUntilFinished();
  worker.join();
  EXPECT_TRUE(stopped);
  op.reset();
  EXPECT_TRUE(engineSide->load());
}

}  // namespace
