#include "Ombrel/Classes/Business/QVImageTaskOperation.h"

#include <gtest/gtest.h>

#include <future>

#include "QVCore/ImageProcessing/Processor/ProcessorTestSupport.h"
#include "QVCore/ImageProcessing/Processor/QVRovaProcessor.h"
#include "QVPlatform/Additions.h"

namespace {

// What a loading or processing operation does: load, then render, each time waiting (locked) for
// the processor's asynchronous completion.
class RenderingOperation : public QVImageTaskOperation {
 public:
  using QVImageTaskOperation::QVImageTaskOperation;
  std::promise<void> renderQueued;
  bool loaded = false;

  void main() override {
    auto p = processor();
    p->loadImageAtURL(params()->path(), CGSizeMake(200, 200), [this](QVIPImagePtr image) {
      loaded = image != nullptr;
      unlock();
    });
    lock();
    if (!isCancelled()) {
      // Hold the processor's queue so the render is still waiting when the operation is cancelled.
      p->setSuspendProcessing(true);
      auto params = QVIPProcessParams::defaultParams();
      params->setRect(CGRectMake(0, 0, 64, 48));
      params->setFitSize(CGSizeMake(32, 24));
      params->setRunCallbackInBackground(true);
      p->processImageWithParams(params, [this](QVIPImagePtr, QVIPImagePtr, QVIPImagePtr, CGSize, CGRect) { unlock(); });
      renderQueued.set_value();
      lock();
    }
    performFinishedCallback();
  }
};

}  // namespace

TEST(QVImageTaskOperationTest, MadeFromTaskParams) {
  auto params = QVImageTaskParams::imageTaskParamsWithImagePath("/photos/a.jpg", 1, 4);
  EXPECT_EQ(params->cacheKey(), qv::md5(std::string("/photos/a.jpg")) + "_1");
  auto op = QVImageTaskOperation::initWithTaskParams(params);
  EXPECT_EQ(op->processingPriority(), 4);
  EXPECT_EQ(op->queuePriority(), qv::QueuePriority::VeryHigh);
  EXPECT_NE(op->description().find(" name: /photos/a.jpg, type: 1"), std::string::npos) << op->description();

  // The task's own processor: no notifications, no result caches; made once.
  auto processor = op->processor();
  ASSERT_TRUE(processor);
  EXPECT_FALSE(processor->notify());
  EXPECT_TRUE(processor->isLocalCacheDisabled());
  EXPECT_FALSE(processor->isProcessorCacheEnabled());
  EXPECT_EQ(op->processor(), processor);
  QVImageProcessable& processable = *op;  // what the task managers accept
  EXPECT_EQ(processable.processor(), processor);
}

TEST(QVImageTaskOperationTest, CancelledWhileItsRenderWaitsItEnds) {
  auto path = solvane::test::gradientJpeg(64, 48);
  auto op = std::make_shared<RenderingOperation>(QVImageTaskParams::imageTaskParamsWithImagePath(path, 1, 3));
  auto queue = qv::OperationQueue::make("tasks", 1);
  queue->addOperation(op);
  op->renderQueued.get_future().wait();
  EXPECT_TRUE(op->loaded);
  op->cancel();
  // waitUntilDone is what quitting calls; it must come back.
  auto waiter = std::async(std::launch::async, [op] { op->waitUntilDone(); });
  EXPECT_EQ(waiter.wait_for(std::chrono::seconds(30)), std::future_status::ready);
  queue->waitUntilAllOperationsAreFinished();
  EXPECT_TRUE(op->isFinished());
  op->processor()->setSuspendProcessing(false);
  op->processor()->imageProcessingQueue()->waitUntilAllOperationsAreFinished();
}
