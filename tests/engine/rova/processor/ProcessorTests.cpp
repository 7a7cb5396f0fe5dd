#include <gtest/gtest.h>

#include <atomic>

#include "engine/rova/processor/ProcessorTestSupport.h"
#include "rova/effects/EffectIDs.h"
#include "rova/kernels/RenderPool.h"

using namespace rova;
using proctest::makeImage;
using proctest::px;

namespace {

// A develop + sharpen + dodge-and-burn stack over the test picture.
std::shared_ptr<ImageProcessor> makeStack(const ImagePtr& image) {
  auto p = proctest::makeProcessor(image);
  auto develop = proctest::makeLayer(image, {effect_id::kDevelopCommon, effect_id::kSharpen});
  develop->effectAtIndex(0)->setParameterValue("Exposure", 0.5f);
  develop->effectAtIndex(0)->setParameterValue("Contrast", 30);
  develop->effectAtIndex(1)->setParameterValue("Amount", 60);
  p->addLayer(develop);
  auto dodge = proctest::makeLayer(image, {effect_id::kDodgeBurn});
  p->addLayer(dodge);
  return p;
}

// An effect whose kernel sets the render's interrupt flag as soon as it touches a pixel.
class InterruptingEffect : public EffectBase<InterruptingEffect> {
 public:
  InterruptingEffect() : EffectBase("TestInterruptingEffect", {}) {}
  static inline std::shared_ptr<std::atomic<bool>> flag;

 protected:
  std::unique_ptr<EffectKernel> makeKernel(const ParameterList&, const EffectRenderInfo&,
                                           const EffectParametersContextPtr&) const override {
    struct K : EffectKernel {
      void applyRow(float* rgb, int n, int, int) const override {
        flag->store(true);
        for (int i = 0; i < 3 * n; ++i) rgb[i] = 1;
      }
    };
    return std::make_unique<K>();
  }
};

}  // namespace

TEST(Processor, RegionRenderEqualsTheSameCropOfTheFullRender) {
  auto image = proctest::makeTestPicture(160, 120);
  auto p = makeStack(image);
  auto full = proctest::render(*p);
  ASSERT_TRUE(full);
  ASSERT_EQ(full->width(), 160);
  EXPECT_GT(proctest::maxDifference(*full, *image->source()->data()), 0.05f);  // the stack does change pixels
  auto region = proctest::render(*p, {37, 21, 64, 50});
  ASSERT_TRUE(region);
  auto crop = full->copy({37, 21, 64, 50});
  EXPECT_LT(proctest::maxDifference(*region, *crop), 2e-3f);

  // The same at half size: regions aligned to the output grid.
  auto halfFull = proctest::render(*p, {}, {80, 60});
  auto halfRegion = proctest::render(*p, {40, 20, 60, 50}, {30, 25});
  ASSERT_TRUE(halfFull && halfRegion);
  EXPECT_EQ(halfFull->width(), 80);
  EXPECT_LT(proctest::maxDifference(*halfRegion, *halfFull->copy({20, 10, 30, 25})), 2e-3f);
}

TEST(Processor, FitSizeLowResAndCropDecideTheOutput) {
  auto image = proctest::makeTestPicture(200, 100);
  auto p = proctest::makeProcessor(image);
  ImageProcessorSettings s;
  s.outputSize = {50, 50};
  ASSERT_TRUE(p->startProcessing(s));
  EXPECT_EQ(p->getLastResult()->width(), 50);
  EXPECT_EQ(p->getLastResult()->height(), 25);
  s.outputSize = {};
  s.lowRes = true;
  ASSERT_TRUE(p->startProcessing(s));
  EXPECT_EQ(p->getLastResult()->width(), 60);
  EXPECT_EQ(p->getLastResult()->height(), 30);

  // A crop renders its own frame; without applyCrop the canvas.
  p->setCropDescription({0.f, 10, 20, 40, 30});
  auto cropped = proctest::render(*p);
  ASSERT_TRUE(cropped);
  EXPECT_EQ(cropped->width(), 40);
  EXPECT_EQ(cropped->height(), 30);
  EXPECT_NEAR(px(*cropped, 0, 0)[0], image->source()->data()->row(20)[10].r, 1e-5f);
  ImageProcessorSettings whole;
  whole.applyCrop = false;
  ASSERT_TRUE(p->startProcessing(whole));
  EXPECT_EQ(p->getLastResult()->width(), 200);
  // A region outside the frame renders nothing.
  ImageProcessorSettings outside;
  outside.region = {500, 500, 10, 10};
  EXPECT_FALSE(p->startProcessing(outside));
}

TEST(Processor, OrientationTurnsTheCanvas) {
  // Stored 4 x 2 with a marker at the stored top-left; orientation 6 stands it upright (2 x 4),
  // the marker going to the top-right.
  auto image = makeImage(4, 2, [](int x, int y, float* c) { c[0] = c[1] = c[2] = (x == 0 && y == 0) ? 1.f : 0.f; });
  auto p = proctest::makeProcessor(image);
  p->setOrientation(6);
  EXPECT_EQ(p->canvasSize(), (Size{2, 4}));
  auto out = proctest::render(*p);
  ASSERT_TRUE(out);
  EXPECT_EQ(out->width(), 2);
  EXPECT_NEAR(px(*out, 1, 0)[0], 1.f, 1e-5f);
  EXPECT_NEAR(px(*out, 0, 0)[0], 0.f, 1e-5f);
  p->setOrientation(9);  // ignored
  EXPECT_EQ(p->orientation(), 6);
}

TEST(Processor, InterruptingStopsTheRenderAndDeliversNothing) {
  auto image = proctest::makeTestPicture(256, 256);
  auto p = makeStack(image);
  ASSERT_TRUE(proctest::render(*p));
  auto before = p->getLastResult();

  // Already set: nothing is rendered.
  ImageProcessorSettings s;
  s.useCache = false;
  s.interrupted = std::make_shared<std::atomic<bool>>(true);
  EXPECT_FALSE(p->startProcessing(s));
  EXPECT_EQ(p->getLastResult(), before);

  // Set during the render (by the first pixel the first layer touches).
  InterruptingEffect::flag = std::make_shared<std::atomic<bool>>(false);
  auto layer = std::make_shared<AdjustmentLayer>(0);
  layer->addEffect(std::make_shared<InterruptingEffect>());
  p->addLayer(layer, 1);
  s.interrupted = InterruptingEffect::flag;
  EXPECT_FALSE(p->startProcessing(s));
  EXPECT_TRUE(InterruptingEffect::flag->load());
  EXPECT_EQ(p->getLastResult(), before);
}

TEST(Processor, CacheAnswersUnchangedStatesAndFollowsChanges) {
  auto image = proctest::makeTestPicture(64, 48);
  auto p = makeStack(image);
  ImageProcessorSettings s;
  ASSERT_TRUE(p->startProcessing(s));
  auto first = p->getLastResult();
  ASSERT_TRUE(p->startProcessing(s));
  EXPECT_EQ(p->getLastResult(), first);  // answered from the cache
  std::dynamic_pointer_cast<AdjustmentLayer>(p->layerAtIndex(1))->effectAtIndex(0)->setParameterValue("Exposure", -1);
  ASSERT_TRUE(p->startProcessing(s));
  EXPECT_NE(p->getLastResult(), first);
  EXPECT_LT(px(*p->getLastResult(), 5, 5)[0], px(*first, 5, 5)[0]);
  p->clearCache();
  EXPECT_EQ(p->getLastResult(), nullptr);
}

TEST(Processor, OriginalsThumbnailsAndOverlays) {
  auto image = proctest::makeTestPicture(400, 300);
  auto p = makeStack(image);
  EXPECT_EQ(p->getOriginalImage(), image);
  auto low = p->getOriginalImageWithRawDevelop(false, true);
  ASSERT_TRUE(low);
  EXPECT_EQ(low->width(), 120);  // 0.3 of the canvas
  EXPECT_EQ(low->height(), 90);
  auto fullRes = p->getOriginalImageWithRawDevelop(true, false);
  EXPECT_LT(proctest::maxDifference(*fullRes, *image->source()->data()), 1e-5f);
  auto thumb = p->getOriginalThumbnail();
  EXPECT_EQ(thumb->width(), ImageProcessor::kThumbnailSide);
  ASSERT_TRUE(proctest::render(*p));
  EXPECT_EQ(p->getLastResultThumbnail()->width(), ImageProcessor::kThumbnailSide);

  // Clipped highlights marked red.
  auto bright = makeImage(4, 4, [](int x, int, float* c) { c[0] = c[1] = c[2] = x < 2 ? 1.5f : 0.5f; });
  auto q = proctest::makeProcessor(bright);
  q->setShowHotPixels(true);
  auto out = proctest::render(*q);
  EXPECT_EQ(px(*out, 0, 0)[1], 0.f);
  EXPECT_EQ(px(*out, 0, 0)[0], 1.f);
  EXPECT_EQ(px(*out, 3, 0)[1], 0.5f);
}

TEST(Processor, PreviewAndBackgroundProcessorsSplitAtAnImageLayer) {
  auto image = proctest::makeTestPicture(40, 30);
  auto p = makeStack(image);
  auto texture = std::make_shared<ImageLayer>(makeImage(40, 30, [](int, int, float* c) { c[0] = c[1] = c[2] = 0.3f; }));
  p->addLayer(texture);
  auto sub = proctest::makeLayer(image, {effect_id::kDevelopCommon}, 1);
  p->addLayer(sub);
  auto [preview, background] = p->getImageLayerPreviewAndBackgroundProcessors(texture);
  ASSERT_TRUE(preview && background);
  EXPECT_EQ(preview->getLayersCount(), 2u);
  EXPECT_EQ(preview->layerAtIndex(0)->level(), 0u);
  EXPECT_EQ(background->getLayersCount(), 3u);
  EXPECT_TRUE(proctest::render(*preview));
  auto none = p->getImageLayerPreviewAndBackgroundProcessors(sub);
  EXPECT_FALSE(none.first);
}

TEST(Processor, ShrinkingAveragesFineDetailInsteadOfAliasingIt) {
  // Lines one pixel wide every third pixel, shrunk to 0.4: every output pixel covers 2.5 source
  // pixels and an exact box average lies in 0.2..0.4; a box over 2 x 2 points stays above 0.15
  // where point samples fall to 0.06.
  auto lines = makeImage(600, 40, [](int x, int, float* c) { c[0] = c[1] = c[2] = x % 3 == 0 ? 1.f : 0.f; });
  auto p = proctest::makeProcessor(lines);
  auto out = proctest::render(*p, {}, {240, 16});
  ASSERT_TRUE(out);
  ASSERT_EQ(out->width(), 240);
  float lo = 1, hi = 0;
  for (int x = 2; x < 238; ++x) lo = std::min(lo, px(*out, x, 8)[0]), hi = std::max(hi, px(*out, x, 8)[0]);
  EXPECT_GT(lo, 0.12f);
  EXPECT_LE(hi, 0.5f);
}

TEST(Processor, ShrinkingByAnyFactorIsTheMeanOfFourBilinearReads) {
  // Every output pixel is the mean of bilinear reads at the four quarter points of its area, the
  // picture's edges repeated; mirrored pictures read their columns backwards.
  const int w = 203, h = 97;
  auto image = makeImage(w, h, [](int x, int y, float* c) {
    for (int k = 0; k < 3; ++k) c[k] = float((x * 7919 + y * 104729 + k * 31) % 1000) / 1000.f;
  });
  const ImageDataRGBf& src = *image->source()->data();
  auto bilinear = [&](double x, double y, int c) {
    x = std::clamp(x, 0.0, double(w - 1)), y = std::clamp(y, 0.0, double(h - 1));
    const int x0 = int(x), y0 = int(y), x1 = std::min(x0 + 1, w - 1), y1 = std::min(y0 + 1, h - 1);
    const double fx = x - x0, fy = y - y0;
    const double top = px(src, x0, y0)[c] * (1 - fx) + px(src, x1, y0)[c] * fx;
    const double bottom = px(src, x0, y1)[c] * (1 - fx) + px(src, x1, y1)[c] * fx;
    return top * (1 - fy) + bottom * fy;
  };
  for (int orientation : {1, 2}) {
    SCOPED_TRACE(orientation);
    auto p = proctest::makeProcessor(image);
    p->setOrientation(orientation);
    auto out = proctest::render(*p, {}, {150, 150});
    ASSERT_TRUE(out);
    ASSERT_EQ(out->width(), 150);
    ASSERT_EQ(out->height(), 72);
    const double scale = 150.0 / w;
    float worst = 0;
    for (int y = 0; y < out->height(); ++y)
      for (int x = 0; x < out->width(); ++x)
        for (int c = 0; c < 3; ++c) {
          double sum = 0;
          for (double dy : {0.25, 0.75})
            for (double dx : {0.25, 0.75}) {
              const double cx = (x + dx) / scale, cy = (y + dy) / scale;
              sum += bilinear((orientation == 2 ? w - cx : cx) - 0.5, cy - 0.5, c);
            }
          worst = std::max(worst, std::fabs(px(*out, x, y)[c] - float(sum / 4)));
        }
    EXPECT_LT(worst, 1e-4f);
  }
  // Squeezed far more down than across (each output row reads more than a few source rows).
  ImageLayer layer(image);
  ImageTransformSettings t;
  t.outputSize = {225, 22};
  layer.setTransformSettings(t);
  auto squeezed = layer.getWorkingImage();
  ASSERT_TRUE(squeezed);
  ASSERT_EQ(squeezed->width(), 225);
  const double sx = double(w) / 225, sy = double(h) / 22;
  float worst = 0;
  for (int y = 0; y < 22; ++y)
    for (int x = 0; x < 225; ++x)
      for (int c = 0; c < 3; ++c) {
        double sum = 0;
        for (double dy : {0.25, 0.75})
          for (double dx : {0.25, 0.75}) sum += bilinear((x + dx) * sx - 0.5, (y + dy) * sy - 0.5, c);
        worst = std::max(worst, std::fabs(px(*squeezed, x, y)[c] - float(sum / 4)));
      }
  EXPECT_LT(worst, 1e-4f);
}

TEST(Processor, RendersOfOneSizeReuseBuffersButNeverOneStillHeld) {
  auto image = proctest::makeTestPicture(64, 48);
  auto p = makeStack(image);
  auto develop = std::dynamic_pointer_cast<AdjustmentLayer>(p->layerAtIndex(1));
  ImageProcessorSettings s;
  s.useCache = false;
  ASSERT_TRUE(p->startProcessing(s));
  auto first = p->getLastResult();
  const auto firstPixels = first->copy();
  const float* firstBuffer = first->floats();
  // The first result is still held (by the caller and the processor): the next render writes elsewhere.
  develop->effectAtIndex(0)->setParameterValue("Exposure", -1);
  ASSERT_TRUE(p->startProcessing(s));
  EXPECT_NE(p->getLastResult()->floats(), firstBuffer);
  EXPECT_EQ(proctest::maxDifference(*first, *firstPixels), 0);
  // Once dropped, its buffer is used again, and what was in it leaves no trace (sharpening's plane
  // is reused too): the same state renders the same pixels.
  first.reset();
  develop->effectAtIndex(0)->setParameterValue("Exposure", 0.5f);
  ASSERT_TRUE(p->startProcessing(s));
  EXPECT_EQ(p->getLastResult()->floats(), firstBuffer);
  EXPECT_EQ(proctest::maxDifference(*p->getLastResult(), *firstPixels), 0);
  // A region render (margins of context) and then the whole picture again still match.
  auto region = proctest::render(*p, {8, 8, 32, 24});
  ASSERT_TRUE(region);
  EXPECT_LT(proctest::maxDifference(*region, *firstPixels->copy({8, 8, 32, 24})), 2e-3f);
  ASSERT_TRUE(p->startProcessing(s));
  EXPECT_EQ(proctest::maxDifference(*p->getLastResult(), *firstPixels), 0);
}

TEST(RenderPool, KeepsAFewFreeBuffersOfOneSmallSize) {
  detail::RenderPool pool;
  const Size size{100, 50};
  auto a = pool.rgb(size);
  const float* aPixels = a->floats();
  auto b = pool.rgb(size);
  EXPECT_NE(b->floats(), aPixels);
  a.reset();
  EXPECT_EQ(pool.rgb(size)->floats(), aPixels);
  EXPECT_EQ(pool.rgb(size, kColorProfileWorking)->colorProfileType(), kColorProfileWorking);
  // Colour buffers and planes are separate; at most a few of each are kept, even when all are in use.
  auto plane = pool.plane(size);
  std::vector<ImageDataRGBfPtr> held;
  for (size_t i = 0; i < detail::RenderPool::kMaxRgb + 2; ++i) held.push_back(pool.rgb(size));
  EXPECT_EQ(pool.keptBytes(), detail::RenderPool::kMaxRgb * held[0]->byteCount() + plane->byteCount());
  // Another size drops them all; a size over the bound is never kept.
  pool.rgb({10, 10});
  EXPECT_EQ(pool.keptBytes(), 10u * 10 * 12);
  auto big = pool.rgb({int(detail::RenderPool::kMaxPixels / 1000) + 1, 1000});
  ASSERT_TRUE(big);
  EXPECT_EQ(pool.keptBytes(), 0u);
  pool.plane(size);
  pool.clear();
  EXPECT_EQ(pool.keptBytes(), 0u);
}

// A picture's transparency is read with the same geometry as its colour: the full render, a region
// and a reduced render carry it; a picture layer's transparent parts let what lies below show.
TEST(Processor, TransparencyFollowsTheRenderAndLetsLowerLayersShow) {
  auto withAlpha = [](const ImageDataRGBfPtr& data) {
    auto alpha = ImageDataF::create(data->width(), data->height());
    for (int y = 0; y < data->height(); ++y)
      for (int x = 0; x < data->width(); ++x) alpha->at(x, y) = x < 20 ? 1.f : x == 20 ? 0.5f : 0.f;
    EXPECT_TRUE(data->setAlpha(alpha));
    return Image::make(data);
  };
  auto image = withAlpha(proctest::makeTestPicture(40, 30)->imageData({}, {}, false));
  auto p = makeStack(image);
  auto full = proctest::render(*p);
  ASSERT_TRUE(full && full->alpha());
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x) ASSERT_EQ(full->alpha()->at(x, y), image->source()->data()->alpha()->at(x, y));
  auto region = proctest::render(*p, {8, 8, 24, 16});
  ASSERT_TRUE(region && region->alpha());
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 24; ++x) ASSERT_EQ(region->alpha()->at(x, y), full->alpha()->at(x + 8, y + 8));
  auto half = proctest::render(*p, {}, {20, 15});
  ASSERT_TRUE(half && half->alpha());
  EXPECT_EQ(half->alpha()->at(5, 7), 1.f);
  EXPECT_EQ(half->alpha()->at(15, 7), 0.f);

  // A red picture below a green one whose right half is transparent (over garish blue).
  auto red = makeImage(40, 30, [](int, int, float* c) { c[0] = 1, c[1] = c[2] = 0; });
  auto green = withAlpha(proctest::makeData(
      40, 30, [](int x, int, float* c) { c[0] = 0, c[1] = x < 21 ? 1.f : 0.f, c[2] = x < 21 ? 0.f : 1.f; }));
  auto stack = proctest::makeProcessor(red);
  stack->addLayer(std::make_shared<ImageLayer>(green));
  auto out = proctest::render(*stack);
  ASSERT_TRUE(out);
  EXPECT_FALSE(out->alpha());  // the canvas is the opaque red picture
  EXPECT_EQ(out->at(5, 5), (PixelRGB<float>{0, 1, 0}));
  EXPECT_EQ(out->at(35, 5), (PixelRGB<float>{1, 0, 0}));
  EXPECT_NEAR(out->at(20, 5).r, 0.5f, 1e-6);
}

TEST(Processor, ASingleRenderWorksInThePicturesOwnBufferOnlyWhenNobodyElseReadsIt) {
  // Develop and sharpening (a point and a region kernel), neither reading the picture's analysis.
  auto stack = [](const ImagePtr& image) {
    auto p = proctest::makeProcessor(image);
    auto layer = proctest::makeLayer(image, {effect_id::kDevelopCommon, effect_id::kSharpen});
    layer->effectAtIndex(0)->setParameterValue("Exposure", 0.5f);
    layer->effectAtIndex(1)->setParameterValue("Amount", 60);
    p->addLayer(layer);
    return p;
  };
  ImageProcessorSettings s;
  s.useCache = false;
  s.exportMode = true;
  auto reference = [&] {
    auto p = stack(proctest::makeTestPicture(96, 64));
    return p->startProcessing(s) ? p->getLastResult() : nullptr;
  }();
  ASSERT_TRUE(reference);
  s.consumeSource = true;

  // Nobody else holds the decoded pixels: the result is made in their buffer, equal to what a copy
  // gives, and the picture is gone from the processor (a second render finds nothing to enhance
  // rather than enhancing the result again).
  {
    auto image = proctest::makeTestPicture(96, 64);
    const float* decoded = image->source()->data()->floats();
    auto p = stack(image);
    ASSERT_TRUE(p->startProcessing(s));
    EXPECT_EQ(p->getLastResult()->floats(), decoded);
    EXPECT_EQ(proctest::maxDifference(*p->getLastResult(), *reference), 0);
    EXPECT_EQ(image->source()->data(), nullptr);
    EXPECT_EQ(image->size(), (Size{96, 64}));
    EXPECT_FALSE(p->startProcessing(s));
  }
  // Someone else still reads the pixels, or the render is not the whole picture at its own size:
  // they are copied and stay as they were.
  for (bool held : {true, false}) {
    auto image = proctest::makeTestPicture(96, 64);
    auto pixels = held ? image->source()->data() : nullptr;
    const auto before = image->source()->data()->copy();
    auto p = stack(image);
    s.region = held ? RectRoiF{} : RectRoiF{0, 0, 96, 64};
    s.outputSize = held ? Size{} : Size{48, 32};
    ASSERT_TRUE(p->startProcessing(s));
    ASSERT_TRUE(image->source()->data());
    EXPECT_EQ(proctest::maxDifference(*image->source()->data(), *before), 0);
    if (held) EXPECT_EQ(proctest::maxDifference(*p->getLastResult(), *reference), 0);
    EXPECT_TRUE(p->startProcessing(s));
  }
}
