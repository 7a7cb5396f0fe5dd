#include "Ombrel/Classes/Business/QVImageProcessingOperation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <future>
#include <thread>

#include "Ombrel/Classes/Business/Batch/QVBatchPreset.h"
#include "Ombrel/Classes/Business/QVImageLoadingOperation.h"
#include "Ombrel/Classes/Business/QVProcessingManager.h"
#include "QVCore/ImageProcessing/Processor/ProcessorTestSupport.h"
#include "QVCore/Model/Entities/QVPreset.h"
#include "QVPlatform/Bundle.h"
#include "common/TestSupport.h"
#include "rova/layers/ImageLayer.h"

namespace {

using solvane::test::dataDir;

std::shared_ptr<QVPreset> shippedPreset(const char* name, const char* folder) {
  auto path = qv::Bundle::mainBundle().pathForResource(name, "slvnr", folder);
  EXPECT_FALSE(path.empty()) << name;
  auto preset = QVPreset::initWithPath(path);
  EXPECT_TRUE(preset) << name;
  return preset;
}

// One channel of a pixel on the 0..255 scale, for 8- and 16-bit bitmaps.
double channel(const CGImage& image, size_t x, size_t y, size_t k) {
  const size_t index = x * image.componentsPerPixel() + k;
  if (image.bitsPerComponent == 16) {
    uint16_t v;
    std::memcpy(&v, image.row(y) + 2 * index, 2);
    return v / 257.0;
  }
  return image.row(y)[index];
}

// Mean absolute difference of the colour channels of two bitmaps of the same size (0..255 scale).
double meanDifference(const NSImageRef& a, const NSImageRef& b) {
  auto x = a->CGImage(), y = b->CGImage();
  EXPECT_EQ(x->width, y->width);
  EXPECT_EQ(x->height, y->height);
  double sum = 0;
  size_t count = 0;
  for (size_t r = 0; r < std::min(x->height, y->height); ++r)
    for (size_t c = 0; c < std::min(x->width, y->width); ++c)
      for (size_t k = 0; k < 3; ++k) {
        sum += std::abs(channel(*x, c, r, k) - channel(*y, c, r, k));
        ++count;
      }
  return count ? sum / count : 0;
}

TEST(QVImageProcessingOperation, FitSizeByRenditionAndExportPreset) {
  auto resizing = std::make_shared<QVBatchPreset>();
  resizing->resizing()->setType(3);
  resizing->resizing()->setValue(std::string("1024x683"));
  struct Case {
    double w, h;
    int64_t type;
    std::shared_ptr<QVBatchPreset> batch;
    double fw, fh;
  } cases[] = {
      {6000, 4000, 1, nullptr, 2000, 2000.0 * 4000 / 6000},
      {6000, 4000, 0, nullptr, 198, 132},
      {6000, 4000, 2, nullptr, 0, 0},
      {1000, 800, 1, nullptr, 1000, 800},    // never enlarged
      {1536, 1024, 0, resizing, 1024, 683},  // the export preset wins for every type
      {1536, 1024, 1, resizing, 1024, 683},
      {1536, 1024, 2, resizing, 1024, 683},
  };
  for (const auto& c : cases) {
    auto params = QVImageTaskParams::imageTaskParamsWithImagePath("/x.jpg", c.type, 2, c.batch);
    CGSize s = QVImageProcessingOperation::fitSizeForParams(*params, CGSizeMake(c.w, c.h));
    EXPECT_NEAR(s.width, c.fw, 0.01) << c.w << "x" << c.h << " type " << c.type;
    EXPECT_NEAR(s.height, c.fh, 0.01) << c.w << "x" << c.h << " type " << c.type;
  }
}

class ProcessingPipeline : public ::testing::Test {
 protected:
  std::shared_ptr<QVProcessingManager> manager =
      std::make_shared<QVProcessingManager>(QVRecordedOperationQueue::serialQueueWithName("test.processing"));
  void TearDown() override { manager->syncQueue()->waitUntilAllOperationsAreFinished(); }

  struct Result {
    std::string path;
    NSImageRef image, processed, lens;
  };
  Result process(const std::shared_ptr<QVImageTaskParams>& params) {
    std::promise<Result> done;
    manager->processImageWithTaskParams(
        params, [&](const std::string& path, NSImageRef image, NSImageRef processed, NSImageRef lens) {
          done.set_value({path, image, processed, lens});
        });
    auto future = done.get_future();
    EXPECT_EQ(future.wait_for(std::chrono::seconds(60)), std::future_status::ready);
    return future.get();
  }
};

TEST_F(ProcessingPipeline, RealPhotoPreviewWithTheDefaultPresetIsEnhanced) {
  const std::string photo = (dataDir() / "enhance" / "chelsea.png").string();
  auto params = QVImageTaskParams::imageTaskParamsWithImagePath(photo, 1, 4);
  params->effectsPresets().push_back(shippedPreset("DefaultJpegPreset", "Presets"));
  auto result = process(params);
  EXPECT_EQ(result.path, photo);
  ASSERT_TRUE(result.image);
  ASSERT_TRUE(result.processed);
  EXPECT_FALSE(result.lens);
  EXPECT_EQ(result.image->CGImage()->width, result.processed->CGImage()->width);
  EXPECT_GT(meanDifference(result.image, result.processed), 1.0);
}

TEST_F(ProcessingPipeline, WithoutPresetsTheRenderIsTheSource) {
  const std::string photo = (dataDir() / "enhance" / "coffee.png").string();
  auto result = process(QVImageTaskParams::imageTaskParamsWithImagePath(photo, 1, 4));
  ASSERT_TRUE(result.image);
  ASSERT_TRUE(result.processed);
  EXPECT_LT(meanDifference(result.image, result.processed), 1.0);
}

// An export for an 8-bit file renders at 8 bits and takes its source at 8 bits, for the strength
// blend; one at full strength hands back the render alone.
TEST_F(ProcessingPipeline, AnExportRendersAtItsFilesDepthAndTakesTheSourceOnlyToBlend) {
  const std::string photo = (dataDir() / "enhance" / "coffee.png").string();
  for (const bool keepsOriginal : {true, false}) {
    auto params = QVImageTaskParams::imageTaskParamsWithImagePath(photo, 2, 4, std::make_shared<QVBatchPreset>());
    params->setKeepsOriginal(keepsOriginal);
    auto result = process(params);
    ASSERT_TRUE(result.processed) << keepsOriginal;
    EXPECT_EQ(result.processed->CGImage()->bitsPerComponent, 8u) << keepsOriginal;
    if (!keepsOriginal) {
      EXPECT_FALSE(result.image);
      continue;
    }
    ASSERT_TRUE(result.image);
    EXPECT_EQ(result.image->CGImage()->bitsPerComponent, 8u);
    EXPECT_LT(meanDifference(result.image, result.processed), 1.0) << "no presets: the render is the source";
  }
}

TEST_F(ProcessingPipeline, LensCorrectionRendersTwiceAndKeepsThreeImages) {
  const std::string photo = (dataDir() / "enhance" / "chelsea.png").string();
  auto params = QVImageTaskParams::imageTaskParamsWithImagePath(photo, 1, 4);
  params->setLensCorrectionPreset(shippedPreset("LensCorrection", "AdditionalPresets"));
  params->effectsPresets().push_back(shippedPreset("DefaultJpegPreset", "Presets"));
  auto result = process(params);
  ASSERT_TRUE(result.image);
  ASSERT_TRUE(result.lens);
  ASSERT_TRUE(result.processed);
  // The effects go on top of the lens correction.
  EXPECT_GT(meanDifference(result.lens, result.processed), 1.0)
      << meanDifference(result.image, result.lens) << " " << meanDifference(result.image, result.processed);
}

TEST_F(ProcessingPipeline, WithoutAnOriginalTheLensCorrectionAndTheEffectsRenderOnce) {
  // An export at full strength keeps no original: the lens correction goes into the one render with
  // the effects, no lens-corrected picture of its own is made, and the result is the two renders'.
  const std::string photo = (dataDir() / "enhance" / "chelsea.png").string();
  auto batch = std::make_shared<QVBatchPreset>();
  batch->format()->setColorSpace(1);
  auto params = QVImageTaskParams::imageTaskParamsWithImagePath(photo, 2, 4, batch);
  params->setLensCorrectionPreset(shippedPreset("LensCorrection", "AdditionalPresets"));
  params->effectsPresets().push_back(shippedPreset("DefaultJpegPreset", "Presets"));
  auto only = params->copy();
  only->setKeepsOriginal(false);
  const auto twice = process(params), once = process(only);
  ASSERT_TRUE(twice.lens && twice.processed && twice.image);
  ASSERT_TRUE(once.processed);
  EXPECT_FALSE(once.lens);
  EXPECT_FALSE(once.image);
  EXPECT_LE(meanDifference(twice.processed, once.processed), 0.5);
  // The effects are there, not only the lens correction.
  EXPECT_GT(meanDifference(twice.lens, once.processed), 1.0);
}

TEST_F(ProcessingPipeline, UnreadableFileEndsWithNilImages) {
  auto dir = solvane::test::makeTempDir("unreadable");
  const std::string path = (dir / "broken.jpg").string();
  FILE* f = std::fopen(path.c_str(), "wb");
  std::fputs("not a picture", f);
  std::fclose(f);
  auto result = process(QVImageTaskParams::imageTaskParamsWithImagePath(path, 1, 4));
  EXPECT_EQ(result.path, path);
  EXPECT_FALSE(result.image);
  EXPECT_FALSE(result.processed);
  manager->syncQueue()->waitUntilAllOperationsAreFinished();  // the task ended: the queue moves on
  EXPECT_FALSE(manager->isRunning());
}

// Cancels itself from another thread while its second render is waited for. The cancel stops the
// queued render, whose empty answer wakes the operation's thread: that thread must find the
// operation cancelled, not a render that made nothing.
class CancelledInSecondRender : public QVImageProcessingOperation {
 public:
  using QVImageProcessingOperation::QVImageProcessingOperation;
  int renders = 0;
  std::thread canceller;
  std::shared_ptr<QVIPImage> render(QVRovaProcessor& processor, CGRect rect, CGSize fitSize) override {
    if (++renders == 2) {
      processor.setSuspendProcessing(true);  // the render stays queued
      canceller = std::thread([this] {
        while (!isLocked()) std::this_thread::yield();
        cancel();
      });
    }
    return QVImageProcessingOperation::render(processor, rect, fitSize);
  }
};

TEST(QVImageProcessingOperation, CancelDuringTheSecondRenderEndsWithoutProcessedImage) {
  const std::string photo = (dataDir() / "enhance" / "chelsea.png").string();
  auto params = QVImageTaskParams::imageTaskParamsWithImagePath(photo, 1, 4);
  params->setLensCorrectionPreset(shippedPreset("LensCorrection", "AdditionalPresets"));
  params->effectsPresets().push_back(shippedPreset("DefaultJpegPreset", "Presets"));
  auto op = std::make_shared<CancelledInSecondRender>(params);
  bool called = false;
  op->addCallback([&] { called = true; });
  auto queue = QVRecordedOperationQueue::serialQueueWithName("test.cancel");
  queue->setObject(op, params->cacheKey());
  queue->waitUntilAllOperationsAreFinished();  // the queue's thread is released
  ASSERT_TRUE(op->canceller.joinable());
  op->canceller.join();  // the cancel has ended too
  EXPECT_EQ(op->renders, 2);
  EXPECT_TRUE(op->isCancelled());
  EXPECT_TRUE(op->originalImage());
  EXPECT_FALSE(op->processedImage());
  EXPECT_FALSE(called);
  if (auto p = op->processor()) p->setSuspendProcessing(false);
}

// An export renders its picture once: the task lets the decoded picture go before the render, so
// the render makes its result in that picture's buffer instead of a fresh copy of it, with or
// without the source kept for a blend. (The picture is larger than the analysis image, which
// would otherwise share its pixels.)
TEST(QVImageProcessingOperation, AnExportRendersInTheDecodedPicturesOwnBuffer) {
  const std::string photo = solvane::test::gradientJpeg(1600, 1200);
  auto queue = QVRecordedOperationQueue::serialQueueWithName("test.export");
  for (const bool keepsOriginal : {false, true}) {
    auto params = QVImageTaskParams::imageTaskParamsWithImagePath(photo, 2, 4, std::make_shared<QVBatchPreset>());
    params->setKeepsOriginal(keepsOriginal);
    params->effectsPresets().push_back(shippedPreset("DefaultJpegPreset", "Presets"));
    auto op = QVImageProcessingOperation::initWithTaskParams(params);
    // The finished task lets its processor go: the test keeps it to look inside.
    auto processor = op->processor();
    queue->setObject(op, params->cacheKey());
    queue->waitUntilAllOperationsAreFinished();
    ASSERT_TRUE(op->processedImage()) << keepsOriginal;
    EXPECT_EQ(bool(op->originalImage()), keepsOriginal);
    auto layer = std::dynamic_pointer_cast<rova::ImageLayer>(processor->cppProcessor()->layerAtIndex(0));
    ASSERT_TRUE(layer && layer->getSourceImage()) << keepsOriginal;
    EXPECT_EQ(layer->getSourceImage()->source()->data(), nullptr)
        << "the decoded pixels were copied, " << keepsOriginal;
  }
}

TEST(QVImageLoadingOperation, ThumbnailAndPreviewSizes) {
  const std::string portrait = solvane::test::gradientJpeg(400, 600);
  auto loader = std::make_shared<QVImageLoader>(QVRecordedOperationQueue::serialQueueWithName("test.loading"));
  struct Case {
    int64_t type;
    double w, h;
  } cases[] = {{0, 88, 132}, {1, 400, 600}, {2, 400, 600}};
  for (const auto& c : cases) {
    std::promise<NSImageRef> done;
    loader->loadImageAtPath(portrait, c.type, [&](const std::string& path, NSImageRef image) {
      EXPECT_EQ(path, portrait);
      done.set_value(image);
    });
    auto image = done.get_future().get();
    ASSERT_TRUE(image) << c.type;
    EXPECT_NEAR(image->size().width, c.w, 0.5) << c.type;
    EXPECT_NEAR(image->size().height, c.h, 0.5) << c.type;
  }
  loader->syncQueue()->waitUntilAllOperationsAreFinished();
}

}  // namespace
