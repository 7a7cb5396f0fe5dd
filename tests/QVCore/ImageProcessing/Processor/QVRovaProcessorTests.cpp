// The processor's main road: load a picture at a fit size, render regions of it, answer repeated
// requests from the caches, and let the newest request win.
#include <gtest/gtest.h>

#include <cmath>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "QVCore/ImageProcessing/Layers/QVIPLayerFactory.h"
#include "QVCore/ImageProcessing/Processor/ProcessorTestSupport.h"
#include "QVCore/ImageProcessing/RovaBridge/QVImageReader.h"
#include "QVCore/ImageProcessing/RovaBridge/QVRovaHelper.h"
#include "QVPlatform/NotificationCenter.h"
#include "rova/RectRoi.h"

using namespace solvane::test;

namespace {

// Blocks the processing queue until released, so requests pile up behind it.
struct QueueGate {
  std::mutex m;
  std::condition_variable cv;
  bool open = false;
  void close(QVRovaProcessor& p) {
    p.performOnImageProcessingQueue(
        [this] {
          std::unique_lock<std::mutex> lock(m);
          cv.wait(lock, [this] { return open; });
        },
        false);
  }
  void release() {
    {
      std::lock_guard<std::mutex> lock(m);
      open = true;
    }
    cv.notify_all();
  }
};

float maxDifference(const rova::ImageDataRGBf& a, const rova::ImageDataRGBf& b) {
  EXPECT_EQ(a.width(), b.width());
  EXPECT_EQ(a.height(), b.height());
  if (a.width() != b.width() || a.height() != b.height()) return 1e9f;
  float worst = 0;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x) {
      auto p = a.at(x, y), q = b.at(x, y);
      worst = std::max({worst, std::fabs(p.r - q.r), std::fabs(p.g - q.g), std::fabs(p.b - q.b)});
    }
  return worst;
}

}  // namespace

TEST(QVRovaProcessor, LoadsAtFitSizeAndRendersARegionLikeTheEngine) {
  const std::string path = gradientJpeg(2600, 1800);
  auto p = QVRovaProcessor::init();
  auto fitted = loadAndSettle(*p, path, CGSizeMake(2000, 2000));
  ASSERT_TRUE(fitted);
  EXPECT_EQ(fitted->imageWidth(), 2000u);
  EXPECT_EQ(fitted->imageHeight(), 1385u);  // 1800 / 1.3 = 1384.6, rounded
  EXPECT_EQ(p->canvasSize(), CGSizeMake(2600, 1800));
  ASSERT_TRUE(p->initialImageLayer());
  EXPECT_EQ(p->initialLayer()->name(), "Original Image");
  EXPECT_EQ(p->loadingLayer(), nullptr);

  // A waiting request made on the main thread, delivered on the main thread: no deadlock, and the
  // completion has run when the call returns.
  const CGRect rect = CGRectMake(100, 200, 800, 600);
  auto params = request(rect, CGSizeMake(400, 300), false);
  Delivery d;
  p->processImageWithParams(params, d.completion());
  ASSERT_TRUE(d.called);
  ASSERT_TRUE(d.image);
  EXPECT_TRUE(d.thumbnail);
  EXPECT_EQ(d.fitSize, CGSizeMake(400, 300));
  EXPECT_EQ(d.rect, rect);
  EXPECT_EQ(p->processingCounter(), 0u);

  // The same region rendered by an engine processor of our own over the same picture.
  auto picture = QVImageReader().readImageWithPath(path);
  ASSERT_TRUE(picture);
  rova::ImageProcessor direct;
  direct.addLayer(std::make_shared<rova::ImageLayer>(picture));
  rova::ImageProcessorSettings settings;
  settings.region = rova::rectRoiFromCGRect(rect, 1800.0);
  settings.outputSize = {400, 300};
  ASSERT_TRUE(direct.startProcessing(settings));
  auto expected = direct.getLastResult();
  auto got = d.image->imageData();
  ASSERT_TRUE(got);
  EXPECT_EQ(got->width(), 400);
  EXPECT_EQ(got->height(), 300);
  EXPECT_LT(maxDifference(*got, *expected), 1e-4f);
}

TEST(QVRovaProcessor, APreviewProcessorDecodesOnlyAsLargeAsItsFitSizeNeeds) {
  const std::string path = gradientJpeg(2600, 1800);
  auto p = QVRovaProcessor::init();
  p->setReducedReadForFitSize(true);
  auto fitted = loadAndSettle(*p, path, CGSizeMake(600, 600));
  ASSERT_TRUE(fitted);
  EXPECT_EQ(fitted->imageWidth(), 600u);
  // A DCT-reduced decode (3/8 of the stored size) that still covers the box is the canvas.
  const CGSize canvas = p->canvasSize();
  EXPECT_GE(canvas.width, 600);
  EXPECT_LE(canvas.width, 1300);
  EXPECT_NEAR(canvas.width / canvas.height, 2600.0 / 1800.0, 0.01);

  // Its whole canvas rendered at the fit size looks like the full-size processor's render.
  auto full = QVRovaProcessor::init();
  loadAndSettle(*full, path, CGSizeMake(600, 600));
  EXPECT_EQ(full->canvasSize(), CGSizeMake(2600, 1800));
  Delivery reduced, whole;
  p->processImageWithParams(request(CGRectMake(0, 0, canvas.width, canvas.height), CGSizeMake(600, 415), false),
                            reduced.completion());
  full->processImageWithParams(request(CGRectMake(0, 0, 2600, 1800), CGSizeMake(600, 415), false), whole.completion());
  ASSERT_TRUE(reduced.image && whole.image);
  EXPECT_LT(maxDifference(*reduced.image->imageData(), *whole.image->imageData()), 0.02f);
}

TEST(QVRovaProcessor, AOneOffExportRenderIsKeptOnlyByItsResult) {
  auto p = QVRovaProcessor::init();
  loadAndSettle(*p, gradientJpeg(640, 480), CGSizeMake(0, 0));
  p->setExportMode(true);
  auto params = request(CGRectMake(0, 0, 640, 480), CGSizeMake(640, 480), false);
  params->setDisableCache(true);
  Delivery d;
  p->processImageWithParams(params, d.completion());
  ASSERT_TRUE(d.image);
  EXPECT_FALSE(d.thumbnail) << "an export's result goes to a file: no shrunk copy of it is made";
  // The engine forgot its copy, so making the bitmap frees the float picture.
  EXPECT_EQ(p->lastResult(), nullptr);
  EXPECT_TRUE(d.image->CGImage());
}

TEST(QVRovaProcessor, RenderKeyAndCacheHits) {
  auto p = QVRovaProcessor::init();
  auto params = request(CGRectMake(0, 0, 100, 50), CGSizeMake(50, 25));
  params->setColorspace(1);
  EXPECT_EQ(p->renderSettingsText(*params), "1:16:1:0:0:0:0");
  EXPECT_EQ(p->renderKey(*params), "{{0, 0}, {100, 50}}:{50, 25}_1:16:1:0:0:0:0");
  params->setApplyCrop(true);
  EXPECT_EQ(p->renderSettingsText(*params), "1:16:1:1:0:0:0:0");
  params->setDisableHotPixels(true);
  params->setRect(CGRectMake(0.5, 0, 100, 50));
  EXPECT_EQ(p->renderKey(*params), "{{0.5, 0}, {100, 50}}:{50, 25}_1:16:1:1:0:1:0:0");

  loadAndSettle(*p, gradientJpeg(640, 480), CGSizeMake(2000, 2000));
  auto render = [&](CGRect rect) {
    Delivery d;
    p->processImageWithParams(request(rect, CGSizeMake(200, 150), false), d.completion());
    EXPECT_TRUE(d.image);
    return d;
  };
  Delivery first = render(CGRectMake(0, 0, 320, 240));
  Delivery again = render(CGRectMake(0, 0, 320, 240));
  EXPECT_EQ(first.image, again.image) << "a repeated request is answered from the cache";
  Delivery other = render(CGRectMake(320, 240, 320, 240));
  EXPECT_NE(other.image, first.image);
  EXPECT_EQ(other.thumbnail, first.thumbnail) << "regions of one state share the thumbnail";

  // A change of the layer stack is a new state: no stale answer.
  auto layer = QVIPLayerFactory::layer();
  p->addLayer(layer);
  layer->setAmount(0.5);
  settle(*p);
  EXPECT_NE(render(CGRectMake(0, 0, 320, 240)).image, first.image);

  // Without the local cache (and while a layer is edited) every request renders.
  p->setLocalCacheDisabled(true);
  auto a = render(CGRectMake(0, 0, 320, 240)), b = render(CGRectMake(0, 0, 320, 240));
  EXPECT_NE(a.image, b.image);
  p->setLocalCacheDisabled(false);
  p->setEditedLayerField(layer);
  auto c = render(CGRectMake(0, 0, 320, 240)), e = render(CGRectMake(0, 0, 320, 240));
  EXPECT_NE(c.image, e.image);
}

TEST(QVRovaProcessor, LatestRequestWinsAndAnInterruptedRenderDeliversNothing) {
  auto p = QVRovaProcessor::init();
  loadAndSettle(*p, gradientJpeg(640, 480), CGSizeMake(2000, 2000));

  QueueGate gate;
  gate.close(*p);
  Delivery first, second;
  p->processImageWithParams(request(CGRectMake(0, 0, 320, 240), CGSizeMake(160, 120)), first.completion());
  auto firstOp = p->processImageRectOperation();
  p->processImageWithParams(request(CGRectMake(0, 0, 640, 480), CGSizeMake(160, 120)), second.completion());
  ASSERT_TRUE(firstOp);
  EXPECT_TRUE(firstOp->isCancelled());
  EXPECT_TRUE(firstOp->isProcessingInterrupted());
  gate.release();
  settle(*p);
  // The displaced render still answers, once, with nothing.
  ASSERT_TRUE(first.called);
  EXPECT_FALSE(first.image);
  EXPECT_EQ(first.fitSize, CGSizeZero);
  ASSERT_TRUE(second.called);
  EXPECT_TRUE(second.image);
  EXPECT_EQ(p->processImageRectOperation(), nullptr) << "the newest operation is forgotten after delivery";

  // A render whose interrupt flag is set once it runs: no images, zero size, no cache entry.
  p->setLocalCacheDisabled(false);
  p->clearCaches();
  QueueGate gate2;
  gate2.close(*p);
  Delivery interrupted;
  auto params = request(CGRectMake(0, 0, 100, 100), CGSizeMake(50, 50));
  params->setObtainOriginalRoi(true);
  p->processImageWithParams(params, interrupted.completion());
  p->processImageRectOperation()->interruptProcessing();
  gate2.release();
  settle(*p);
  ASSERT_TRUE(interrupted.called);
  EXPECT_FALSE(interrupted.image);
  EXPECT_FALSE(interrupted.thumbnail);
  EXPECT_FALSE(interrupted.region);
  EXPECT_EQ(interrupted.fitSize, CGSizeZero);
  EXPECT_TRUE(p->previewsCache()->cache().empty());
  EXPECT_TRUE(p->originalRoiCache()->cache().empty());
  EXPECT_EQ(p->processingCounter(), 0u);

  // Cancelling the queue interrupts what is waiting.
  QueueGate gate3;
  gate3.close(*p);
  Delivery cancelled;
  p->processImageWithParams(request(CGRectMake(0, 0, 100, 100), CGSizeMake(50, 50)), cancelled.completion());
  p->cancelProcessingQueue();
  gate3.release();
  settle(*p);
  EXPECT_FALSE(cancelled.image);
  EXPECT_EQ(p->processImageRectOperation(), nullptr);
}

TEST(QVRovaProcessor, CancelledLoadsAndRendersAnswerExactlyOnce) {
  auto p = QVRovaProcessor::init();
  loadAndSettle(*p, gradientJpeg(640, 480), CGSizeMake(2000, 2000));

  // Waiting behind a busy queue when the queue is cancelled: each completion runs once, with nothing.
  QueueGate gate;
  gate.close(*p);
  int renders = 0, backgroundRenders = 0, loads = 0;
  QVIPImagePtr rendered, loaded;
  p->processImageWithParams(request(CGRectMake(0, 0, 100, 100), CGSizeMake(50, 50)),
                            [&](QVIPImagePtr image, QVIPImagePtr, QVIPImagePtr, CGSize, CGRect) {
                              ++renders;
                              rendered = image;
                            });
  std::promise<void> loadAnswered;
  p->loadImageAtURL(gradientJpeg(640, 480), CGSizeMake(100, 100), [&](QVIPImagePtr image) {
    ++loads;
    loaded = image;
    loadAnswered.set_value();
  });
  int screenLoads = 0;
  QVIPImagePtr screenPreview;
  p->loadImageFromURL(gradientJpeg(640, 480), [&](QVIPImagePtr preview, QVIPImagePtr, QVIPImagePtr, CGSize, CGRect) {
    ++screenLoads;
    screenPreview = preview;
  });
  p->cancelProcessingQueue();
  gate.release();
  loadAnswered.get_future().wait();
  settle(*p);
  EXPECT_EQ(renders, 1);
  EXPECT_FALSE(rendered);
  EXPECT_EQ(loads, 1);
  EXPECT_FALSE(loaded);
  EXPECT_EQ(screenLoads, 1);  // on the main thread
  EXPECT_FALSE(screenPreview);
  EXPECT_EQ(p->processingCounter(), 0u);

  // A background render cancelled before it starts answers on the rendering thread.
  QueueGate gate2;
  gate2.close(*p);
  auto params = request(CGRectMake(0, 0, 100, 100), CGSizeMake(50, 50));
  params->setRunCallbackInBackground(true);
  std::promise<void> backgroundAnswered;
  p->processImageWithParams(params, [&](QVIPImagePtr image, QVIPImagePtr, QVIPImagePtr, CGSize, CGRect) {
    ++backgroundRenders;
    EXPECT_FALSE(image);
    backgroundAnswered.set_value();
  });
  p->cancelProcessingQueue();
  gate2.release();
  backgroundAnswered.get_future().wait();
  settle(*p);
  EXPECT_EQ(backgroundRenders, 1);

  // Cancelled together with its completion: no answer at all, as asked.
  QueueGate gate3;
  gate3.close(*p);
  Delivery silenced;
  p->processImageWithParams(request(CGRectMake(0, 0, 100, 100), CGSizeMake(50, 50)), silenced.completion());
  p->cancelProcessingOperationsAndCompletions();
  gate3.release();
  settle(*p);
  EXPECT_FALSE(silenced.called);
}

TEST(QVRovaProcessor, EmptyRectangleOrNoPictureMakesNoOperation) {
  auto empty = QVRovaProcessor::init();
  Delivery none;
  auto op =
      empty->operationForProcessImageWithParams(request(CGRectMake(0, 0, 10, 10), CGSizeMake(5, 5)), none.completion());
  EXPECT_EQ(op, nullptr);
  EXPECT_TRUE(none.called);
  EXPECT_FALSE(none.image);
  EXPECT_EQ(none.rect, CGRectZero);
  EXPECT_EQ(empty->canvasSize(), CGSizeZero);
  EXPECT_EQ(empty->imageWidth(), 0u);
  EXPECT_FALSE(empty->originalLowResImage());
  EXPECT_FALSE(empty->imageFittingSize(CGSizeMake(100, 100)));

  auto p = QVRovaProcessor::init();
  loadAndSettle(*p, gradientJpeg(640, 480), CGSizeMake(2000, 2000));
  Delivery d;
  const CGRect flat = CGRectMake(10, 10, 0, 40);
  p->processImageWithParams(request(flat, CGSizeMake(50, 50)), d.completion());
  ASSERT_TRUE(d.called) << "called before the call returns";
  EXPECT_FALSE(d.image);
  EXPECT_EQ(d.fitSize, CGSizeZero);
  EXPECT_EQ(d.rect, flat) << "the request's rectangle comes back in last place";
  EXPECT_EQ(p->imageProcessingQueue()->operationCount(), 0u);
  EXPECT_EQ(p->processImageRectOperation(), nullptr);
}

TEST(QVRovaProcessor, RegionsOutsideThePictureAreCutOrRefused) {
  auto p = QVRovaProcessor::init();
  loadAndSettle(*p, gradientJpeg(640, 480), CGSizeMake(2000, 2000));
  Delivery partly;
  p->processImageWithParams(request(CGRectMake(540, 380, 200, 200), CGSizeMake(100, 100), false), partly.completion());
  ASSERT_TRUE(partly.image);
  EXPECT_EQ(partly.image->imageWidth(), partly.image->imageHeight()) << "cut to the 100 x 100 inside";

  // Wholly outside: the engine would read the empty region as the whole picture; nothing is rendered.
  Delivery outside;
  p->processImageWithParams(request(CGRectMake(700, 500, 50, 50), CGSizeMake(50, 50), false), outside.completion());
  ASSERT_TRUE(outside.called);
  EXPECT_FALSE(outside.image);
  EXPECT_EQ(outside.fitSize, CGSizeZero);
}

TEST(QVRovaProcessor, LowResolutionAndFittingSizes) {
  struct Case {
    CGSize canvas, box, expected;
  };
  for (const Case& c :
       {Case{{4000, 3000}, {}, {1700, 1275}}, Case{{1200, 800}, {}, {1200, 800}}, Case{{2600, 1800}, {}, {1700, 1177}}})
    EXPECT_EQ(QVRovaProcessor::lowResFitSize(c.canvas), c.expected) << c.canvas.width;
  EXPECT_EQ(QVRovaProcessor::fittingSize({1000, 500}, {2000, 2000}), CGSizeMake(1000, 500));
  CGSize big = QVRovaProcessor::fittingSize({6000, 4000}, {2000, 2000});
  EXPECT_EQ(big.width, 2000);
  EXPECT_EQ(int(big.height), 1333);
  EXPECT_EQ(QVRovaProcessor::fittingSize({2000, 1000}, {2000, 2000}), CGSizeMake(2000, 1000));

  auto p = QVRovaProcessor::init();
  auto whole = loadAndSettle(*p, gradientJpeg(640, 480), CGSizeMake(2000, 2000));
  ASSERT_TRUE(whole);
  EXPECT_EQ(whole->imageWidth(), 640u) << "never enlarged";
  Delivery low;
  p->processLowResAndClampResult(true, false, low.completion());
  ASSERT_TRUE(low.image);
  EXPECT_EQ(low.fitSize, CGSizeMake(640, 480));
  EXPECT_EQ(low.image->depth(), 8u);
  EXPECT_TRUE(low.region) << "low-resolution renders bring the unprocessed picture";
  ASSERT_TRUE(p->originalLowResImage());
  EXPECT_EQ(p->originalLowResImage(), p->originalLowResImage()) << "kept until the picture changes";
}

// Fit sizes become whole pixels by rounding (16:9 into 2000 is 2000 wide, not 1999), never to zero;
// a RAW file is decoded at half size only when half still covers the fitted picture.
TEST(QVRovaProcessor, FitSizesRoundAndRawHalfSizeOnlyWhenItCovers) {
  struct SizeCase {
    CGSize size;
    rova::Size expected;
  } sizes[] = {
      {{1999.9999, 1124.99}, {2000, 1125}}, {{2000, 0.3}, {2000, 1}}, {{0, 0}, {0, 0}},
      {{1384.6, 999.5}, {1385, 1000}},      {{1e9, 5}, {65535, 5}},   {{NAN, 10}, {0, 10}},
  };
  for (const auto& c : sizes) EXPECT_EQ(QVRovaHelper::pixelSize(c.size), c.expected) << c.size.width;
  const CGSize fitted = QVRovaProcessor::fittingSize({3556, 2000}, {2000, 2000});
  EXPECT_EQ(QVRovaHelper::pixelSize(fitted), (rova::Size{2000, 1125}));
  // A long panorama keeps a row.
  EXPECT_EQ(QVRovaHelper::pixelSize(QVRovaProcessor::fittingSize({60000, 20}, {2000, 2000})), (rova::Size{2000, 1}));

  struct RawCase {
    CGSize picture, fit;
    bool half;
  } raws[] = {
      {{6000, 4000}, {2000, 2000}, true},  {{6000, 4000}, {3000, 3000}, true}, {{6000, 4000}, {3001, 3001}, false},
      {{6000, 4000}, {6000, 6000}, false}, {{6000, 4000}, {0, 0}, false},      {{6001, 4001}, {3001, 3001}, true},
  };
  for (const auto& c : raws)
    EXPECT_EQ(QVRovaProcessor::halfSizeCovers(c.picture, c.fit), c.half) << c.picture.width << " into " << c.fit.width;

  // Loading a 96 x 64 RAW file: decoded at half size for a 40 px box, in full for its own size.
  const auto dng = (dataDir() / "processor" / "bayer-96x64.dng").string();
  for (const auto& [box, scale] : {std::pair{40.0, 0.5}, std::pair{96.0, 1.0}}) {
    auto p = QVRovaProcessor::init();
    ASSERT_TRUE(loadAndSettle(*p, dng, CGSizeMake(box, box)));
    ASSERT_TRUE(p->initialImageLayer() && p->initialImageLayer()->cppSourceImage());
    EXPECT_EQ(p->initialImageLayer()->cppSourceImage()->source()->decodedScale(), scale) << box;
  }
}

TEST(QVRovaProcessor, RawPictureLoadsThroughItsDevelopLayer) {
  auto path = (dataDir() / "processor" / "bayer-96x64.dng").string();
  auto p = QVRovaProcessor::init();
  auto fitted = loadAndSettle(*p, path, CGSizeMake(2000, 2000));
  ASSERT_TRUE(fitted);
  auto initial = p->initialImageLayer();
  ASSERT_TRUE(initial);
  EXPECT_TRUE(initial->isRaw());
  ASSERT_TRUE(p->exifInfo());
  EXPECT_TRUE(p->exifInfo()->isRaw);
  auto develop = initial->subLayers().empty() ? nullptr : initial->subLayers().front();
  ASSERT_TRUE(develop) << "the engine's update made the develop layer";
  EXPECT_TRUE(develop->isDevelopLayer());
  EXPECT_TRUE(develop->hidden());
  EXPECT_EQ(initial->developLayer(), develop);
  // The develop layer sits in the engine list right above the picture.
  settle(*p);
  ASSERT_GE(p->cppProcessor()->getLayersCount(), 2u);
  EXPECT_EQ(p->cppProcessor()->layerAtIndex(1), develop->cppLayer());
  EXPECT_EQ(p->cppProcessor()->layerAtIndex(1)->level(), 1u);

  Delivery d;
  p->processImageWithParams(request(CGRectMake(0, 0, 96, 64), CGSizeMake(96, 64), false), d.completion());
  ASSERT_TRUE(d.image);
  EXPECT_EQ(d.image->imageWidth(), 96u);

  // Removing a RAW picture's develop layer only resets and hides it.
  develop->setHidden(false);
  initial->removeLayer(develop);
  EXPECT_EQ(initial->subLayers().front(), develop);
  EXPECT_TRUE(develop->hidden());
}

TEST(QVRovaProcessor, CopiesAndAdoptsEngineProcessors) {
  auto p = QVRovaProcessor::init();
  loadAndSettle(*p, gradientJpeg(640, 480), CGSizeMake(2000, 2000));
  auto a = QVIPLayerFactory::layer(), b = QVIPLayerFactory::layer();
  p->addLayer(a);
  p->addLayer(b);
  p->setActiveLayer(a);
  settle(*p);

  auto copy = QVRovaProcessor::initWithImageProcessor(*p);
  settle(*copy);
  ASSERT_TRUE(copy->initialImageLayer());
  EXPECT_NE(copy->initialLayer(), p->initialLayer());
  EXPECT_EQ(copy->layers().size(), 2u);
  EXPECT_EQ(copy->activeLayer(), copy->layers()[0]);
  EXPECT_EQ(copy->canvasSize(), CGSizeMake(640, 480));
  Delivery d;
  copy->processImageWithParams(request(CGRectMake(0, 0, 64, 48), CGSizeMake(64, 48), false), d.completion());
  EXPECT_TRUE(d.image);

  auto fromURL = QVRovaProcessor::initWithURL(gradientJpeg(640, 480));
  settle(*fromURL);
  EXPECT_TRUE(fromURL->initialImageLayer());
  EXPECT_EQ(fromURL->canvasSize(), CGSizeMake(640, 480));
  auto missing = QVRovaProcessor::initWithURL((testHome() / "missing.jpg").string());
  EXPECT_FALSE(missing->initialLayer());
}

TEST(QVRovaProcessor, AsynchronousLoadInstallsTheLayerOnTheMainThread) {
  auto p = QVRovaProcessor::init();
  Delivery d;
  p->loadImageFromURLs({gradientJpeg(640, 480)}, false, d.completion());
  settle(*p);
  ASSERT_TRUE(d.called);
  EXPECT_TRUE(d.image);
  EXPECT_TRUE(d.thumbnail);
  EXPECT_TRUE(p->initialImageLayer());
  ASSERT_EQ(p->layers().size(), 1u) << "a fresh adjustment layer to work on";
  EXPECT_EQ(p->activeLayer(), p->layers()[0]);
  EXPECT_FALSE(p->isInvalid());

  Delivery failed;
  auto q = QVRovaProcessor::init();
  q->loadImageFromURLs({(testHome() / "nothing-here.jpg").string()}, false, failed.completion());
  settle(*q);
  ASSERT_TRUE(failed.called);
  EXPECT_FALSE(failed.image);
  EXPECT_FALSE(q->initialLayer());
}

TEST(QVRovaProcessor, FullSizeRenderAndColourSpaceOfResults) {
  auto p = QVRovaProcessor::init();
  loadAndSettle(*p, gradientJpeg(640, 480), CGSizeMake(2000, 2000));
  auto fullSize = [&] {
    Delivery d;
    p->processFullSizeImageWithColorspace(1, 8, d.completion());
    for (int i = 0; i < 200 && !d.called; ++i) settle(*p);
    return d;
  };
  Delivery plain = fullSize();
  ASSERT_TRUE(plain.image);
  EXPECT_EQ(plain.image->size(), CGSizeMake(640, 480));
  EXPECT_EQ(plain.rect, CGRectMake(0, 0, 640, 480));
  EXPECT_EQ(plain.image->depth(), 8u);
  // Outside export mode the result keeps the engine's own colour space; in export mode the
  // request's is honoured.
  EXPECT_NE(plain.image->colorspaceCode(), 1);
  p->setExportMode(true);
  Delivery exported = fullSize();
  ASSERT_TRUE(exported.image);
  EXPECT_EQ(exported.image->colorspaceCode(), 1);
  EXPECT_NE(exported.image, plain.image) << "an export render is not answered by a cached preview";
}

TEST(QVRovaProcessor, NotCroppedFullSizeRenderIgnoresTheCropOnceAndPutsItBack) {
  auto p = QVRovaProcessor::init();
  loadAndSettle(*p, gradientJpeg(640, 480), CGSizeMake(2000, 2000));
  auto render = [&](bool notCropped) {
    Delivery d;
    if (notCropped)
      p->processNotCroppedFullSizeImageWithColorspace(1, CGSizeMake(640, 480), 16, false, false, false, true, true,
                                                      d.completion());
    else
      p->processFullSizeImageWithColorspace(1, CGSizeMake(640, 480), 16, false, false, false, true, true,
                                            d.completion());
    for (int i = 0; i < 200 && !d.called; ++i) settle(*p);
    return d;
  };
  Delivery reference = render(false);
  ASSERT_TRUE(reference.image && reference.image->imageData());

  rova::CropDescription crop;
  crop.x = 100, crop.y = 50, crop.width = 320, crop.height = 240;
  // The crop goes to the engine behind the model's back, which the result caches (keyed on the
  // model's state) cannot see: they stay out of this test.
  p->setLocalCacheDisabled(true);
  p->performOnImageProcessingQueue([&] { p->cppProcessor()->setCropDescription(crop); }, true);
  Delivery cropped = render(false);
  ASSERT_TRUE(cropped.image && cropped.image->imageData());
  EXPECT_GT(maxDifference(*cropped.image->imageData(), *reference.image->imageData()), 0.01f)
      << "the ordinary full-size render keeps the crop";

  Delivery whole = render(true);
  ASSERT_TRUE(whole.image && whole.image->imageData());
  EXPECT_LT(maxDifference(*whole.image->imageData(), *reference.image->imageData()), 1e-4f);

  rova::CropDescription after;
  p->performOnImageProcessingQueue([&] { after = p->cppProcessor()->getCropDescription(); }, true);
  EXPECT_EQ(after.x, 100);
  EXPECT_EQ(after.width, 320);
  EXPECT_EQ(after.height, 240);
}

TEST(QVRovaProcessor, TheUncroppedRenderNeitherAnswersFromNorFillsTheCroppedRendersCache) {
  auto p = QVRovaProcessor::init();
  loadAndSettle(*p, gradientJpeg(640, 480), CGSizeMake(2000, 2000));
  auto crop = std::make_shared<QVTCropDescription>();
  crop->setImageSize(CGSizeMake(640, 480));
  crop->setCropRect(CGRectMake(100, 50, 320, 240));
  p->setCropDescription(crop);
  settle(*p);
  auto render = [&](bool notCropped) {
    Delivery d;
    if (notCropped)
      p->processNotCroppedFullSizeImageWithColorspace(1, CGSizeMake(320, 240), 16, false, false, false, true, true,
                                                      d.completion());
    else
      p->processFullSizeImageWithColorspace(1, CGSizeMake(320, 240), 16, false, false, false, true, true,
                                            d.completion());
    for (int i = 0; i < 200 && !d.called; ++i) settle(*p);
    EXPECT_TRUE(d.image);
    return d.image;
  };
  auto cropped = render(false);
  EXPECT_NE(render(true), cropped) << "rendered without the crop, not answered from the cache";
  EXPECT_EQ(render(false), cropped) << "the cropped picture is still the cached one";
}

// A load publishes its layer complete: the engine's update that follows on the main thread finds
// the develop layer in place and leaves the sublayer list alone, since the load may still be
// walking that list on the processing queue.
TEST(QVRovaProcessor, ALoadedLayerIsPublishedWithItsDevelopLayer) {
  auto p = QVRovaProcessor::init();
  std::promise<QVIPImagePtr> loaded;
  p->loadImageAtURL(gradientJpeg(640, 480), CGSizeMake(200, 200), [&](QVIPImagePtr image) { loaded.set_value(image); });
  ASSERT_TRUE(loaded.get_future().get());
  auto layer = p->initialImageLayer();
  ASSERT_TRUE(layer);
  const auto published = layer->subLayers();
  ASSERT_TRUE(layer->QVIPLayer::developLayer()) << "the develop layer is made before the layer is published";
  settle(*p);  // runs the main thread's update after the load
  p->update();
  settle(*p);
  EXPECT_EQ(layer->subLayers(), published);
}

// A background task's processor: its thread installs layers right after the load while the main
// thread runs what the load queued. The engine's update then stays off the model, so that thread's
// changes are the only ones (the main thread reading them meanwhile crashed now and then).
TEST(QVRovaProcessor, ATaskThreadOwnsItsProcessorsModel) {
  auto p = QVRovaProcessor::init();
  p->setNotify(false);
  p->setUpdatesModelOnMainThread(false);
  int updates = 0;
  auto token = qv::NotificationCenter::defaultCenter().addObserver(kQVImageProcessorDidUpdate,
                                                                   static_cast<const QVModelObject*>(p.get()),
                                                                   [&](const qv::Notification&) { ++updates; });
  std::promise<QVIPImagePtr> loaded;
  p->loadImageAtURL(gradientJpeg(320, 240), CGSizeMake(200, 200), [&](QVIPImagePtr image) { loaded.set_value(image); });
  std::atomic<bool> done{false};
  std::thread task([&] {
    if (loaded.get_future().get())
      for (int k = 0; k < 20; ++k)
        p->initialImageLayer()->setLayers({QVIPLayerFactory::layer(), QVIPLayerFactory::layer()});
    done = true;
  });
  while (!done) qv::MainExecutor::shared().runUntilIdle();
  task.join();
  settle(*p);
  EXPECT_EQ(updates, 0);
  ASSERT_TRUE(p->initialImageLayer());
  EXPECT_EQ(p->initialImageLayer()->subLayers().size(), 3u) << "the develop layer and the task's two";
}
