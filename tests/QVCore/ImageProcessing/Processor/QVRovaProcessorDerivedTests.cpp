// Processors, masks and copies derived from a processor's state, over a real engine processor:
// copies (class, active layer, geometry, mask display), synchronised copies that follow their
// source, the flattened processor, the luminosity mask, the clone-and-stamp processor and the
// image layer's preview and background processors.
#include <gtest/gtest.h>

#include <typeinfo>

#include "QVCore/ImageProcessing/Base/QVCloneAndStampProcessorProtocol.h"
#include "QVCore/ImageProcessing/Layers/QVIPEffectsProvider.h"
#include "QVCore/ImageProcessing/Layers/QVIPLayerFactory.h"
#include "QVCore/ImageProcessing/Layers/QVIPMask.h"
#include "QVCore/ImageProcessing/Processor/ProcessorTestSupport.h"
#include "QVCore/ImageProcessing/Processor/Variants/QVProject18Processor.h"

using namespace solvane::test;
using Ptr = QVRovaProcessor::Ptr;

namespace {

template <class P = QVRovaProcessor>
std::shared_ptr<P> loaded(int w = 160, int h = 120) {
  auto p = P::init();
  EXPECT_TRUE(loadAndSettle(*p, gradientJpeg(w, h), CGSizeMake(w, h)));
  return p;
}

template <class T>
void onQueue(QVRovaProcessor& p, T&& work) {
  p.performOnImageProcessingQueue([&] { work(*p.cppProcessor()); }, true);
}

struct FakeStamp : QVCloneAndStampProcessorProtocol {
  rova::ImageDataRGBfPtr image;
  rova::MaskImagePtr mask;
  std::shared_ptr<QVHistoryManagerProtocol> historyManager() override { return nullptr; }
  rova::ImageDataRGBfPtr imageData() const override { return image; }
};

}  // namespace

TEST(QVRovaProcessorDerived, CopiesKeepTheClassTheActiveLayerAndTheGeometry) {
  QVIPImageLayer::registerClass();
  for (bool layered : {false, true}) {
    Ptr p = layered ? Ptr(loaded<QVProject18Processor>()) : Ptr(loaded());
    p->createLayer();
    p->createLayer();
    p->setActiveLayer(p->layers()[1]);
    onQueue(*p, [&](rova::ImageProcessor& e) { e.setShowMaskLayer(e.layerAtIndex(1)); });
    settle(*p);
    for (bool disableMask : {false, true}) {
      Ptr copy;
      bool called = false;
      p->obtainCopyAndDisableShowMask(
          disableMask, [&](Ptr c) { called = true, copy = c; }, /*sync=*/true);
      EXPECT_FALSE(called) << "delivered on the main thread";
      settle(*p);
      ASSERT_TRUE(called);
      ASSERT_TRUE(copy);
      EXPECT_EQ(typeid(*copy), typeid(*p)) << layered;
      EXPECT_NE(copy->cppProcessor(), p->cppProcessor());
      ASSERT_EQ(copy->layers().size(), p->layers().size());
      EXPECT_EQ(copy->activeLayer(), copy->layers()[1]);
      EXPECT_TRUE(copy->isProcessorCacheEnabled());
      EXPECT_TRUE(copy->isWorkInBackground());
      EXPECT_EQ(copy->canvasSize().width, p->canvasSize().width);
      EXPECT_EQ(copy->orientation(), p->orientation());
      rova::BaseLayerPtr shown;
      onQueue(*copy, [&](rova::ImageProcessor& e) { shown = e.showMaskLayer(); });
      EXPECT_EQ(shown == nullptr, disableMask);
      settle(*copy);
    }
  }
}

TEST(QVRovaProcessorDerived, NoCopyWithoutAPictureOrOnceTheSourceIsGone) {
  auto empty = QVRovaProcessor::init();
  bool called = false;
  empty->obtainCopyAndDisableShowMask(false, [&](Ptr) { called = true; });
  settle(*empty);
  EXPECT_FALSE(called);

  auto p = loaded();
  auto queue = p->imageProcessingQueue();
  queue->setSuspended(true);
  Ptr copy = loaded();
  called = false;
  p->obtainSyncronizedCopy([&](Ptr c) { called = true, copy = c; });
  p.reset();
  queue->setSuspended(false);
  queue->waitUntilAllOperationsAreFinished();
  qv::MainExecutor::shared().runUntilIdle();
  EXPECT_TRUE(called);
  EXPECT_FALSE(copy);
}

TEST(QVRovaProcessorDerived, ASynchronisedCopyFollowsItsSource) {
  auto p = loaded();
  p->createLayer();
  settle(*p);
  for (int exportCopy = 0; exportCopy < 2; ++exportCopy) {
    Ptr copy;
    bool called = false;
    auto deliver = [&](Ptr c) { called = true, copy = c; };
    if (exportCopy)
      p->obtainSyncronizedCopyForExport(deliver);
    else
      p->obtainSyncronizedCopy(deliver, true);
    settle(*p);
    ASSERT_TRUE(called);
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy->syncProcessor(), p);
    EXPECT_TRUE(copy->isLocalCacheDisabled());
    EXPECT_EQ(copy->isProcessorCacheEnabled(), !exportCopy);
    EXPECT_EQ(copy->isWorkInBackground(), !exportCopy);
    const size_t before = copy->layers().size();
    p->createLayer();
    settle(*p);
    EXPECT_EQ(copy->layers().size(), before + 1);
    p->removeLayer(p->layers().back());
    settle(*p);
    EXPECT_EQ(copy->layers().size(), before);
    EXPECT_FALSE(copy->isInvalid());
    settle(*copy);
  }
  // A layer that arrives with effects cannot be mirrored into a fresh layer: the copy gives up.
  Ptr copy;
  p->obtainSyncronizedCopy([&](Ptr c) { copy = c; });
  settle(*p);
  ASSERT_TRUE(copy);
  p->addLayer(
      QVIPEffectsProvider::sharedEffectsProvider().makeAdjustmentLayerWithIdentifier("ExposureAdjustmentLayer"));
  settle(*p);
  EXPECT_TRUE(copy->isInvalid());
  settle(*copy);
}

TEST(QVRovaProcessorDerived, FlattenedProcessorHoldsTheRenderOnceAndKeepsTheOverlays) {
  auto p = loaded<QVProject18Processor>(200, 150);
  // Turned a quarter: the render is 150 x 200 and must not be turned again.
  onQueue(*p, [](rova::ImageProcessor& e) { e.setOrientation(6); });
  p->setShowHotPixels(true);
  settle(*p);
  Ptr flat;
  bool called = false;
  p->obtainProcessorWithRasterizedImage([&](Ptr f) { called = true, flat = f; });
  settle(*p);
  ASSERT_TRUE(called);
  ASSERT_TRUE(flat);
  EXPECT_EQ(typeid(*flat), typeid(QVProject18Processor));
  ASSERT_TRUE(flat->initialImageLayer());
  ASSERT_TRUE(flat->cppProcessor());
  rova::Size size;
  onQueue(*flat, [&](rova::ImageProcessor& e) { size = e.canvasSize(); });
  EXPECT_EQ(size.width, 150);
  EXPECT_EQ(size.height, 200);
  bool hot = false;
  onQueue(*p, [&](rova::ImageProcessor& e) { hot = e.showHotPixels(); });
  EXPECT_TRUE(hot);
  EXPECT_EQ(p->processingCounter(), 0u);
  settle(*flat);
}

TEST(QVRovaProcessorDerived, LuminosityMaskIsTheLumaOfTheUncroppedCanvasAndOnlyTheLastIsDelivered) {
  auto p = loaded(160, 120);
  onQueue(*p, [](rova::ImageProcessor& e) {
    auto crop = rova::CropDescriptionNone;
    crop.x = 10, crop.y = 10, crop.width = 50, crop.height = 40;
    e.setCropDescription(crop);
  });
  int firstCalls = 0;
  std::shared_ptr<QVIPMask> mask;
  p->imageProcessingQueue()->setSuspended(true);
  p->obtainLuminosityMask([&](std::shared_ptr<QVIPMask>) { ++firstCalls; });
  p->obtainLuminosityMask([&](std::shared_ptr<QVIPMask> m) { mask = m; });
  p->imageProcessingQueue()->setSuspended(false);
  settle(*p);
  EXPECT_EQ(firstCalls, 0);
  ASSERT_TRUE(mask);
  EXPECT_EQ(mask->size().width, 160);
  EXPECT_EQ(mask->size().height, 120);
  ASSERT_TRUE(mask->hasBuffer());
  ASSERT_EQ(mask->buffer()->size(), size_t(160 * 120));
  rova::ImageDataRGBfPtr render;
  onQueue(*p, [&](rova::ImageProcessor& e) { render = e.getLastResult(); });
  ASSERT_TRUE(render);
  for (auto [x, y] : {std::pair{0, 0}, {159, 0}, {80, 60}, {3, 119}}) {
    auto px = render->at(x, y);
    float luma = std::clamp(0.2126f * px.r + 0.7152f * px.g + 0.0722f * px.b, 0.f, 1.f);
    EXPECT_NEAR(mask->valueAt(x, y), luma, 1e-6) << x << "," << y;
  }
}

TEST(QVRovaProcessorDerived, CloneAndStampGetsTheRenderAndTheUnitedImageLayerMasks) {
  std::shared_ptr<FakeStamp> made;
  QVCloneAndStampProcessorFactory::registerMaker([&](rova::ImageDataRGBfPtr image, rova::MaskImagePtr mask) {
    made = std::make_shared<FakeStamp>();
    made->image = image;
    made->mask = mask;
    return made;
  });
  auto p = loaded(120, 90);
  onQueue(*p, [](rova::ImageProcessor& e) { e.layerAtIndex(0)->createMaskWithSize({120, 90}, 0.25f); });
  std::shared_ptr<QVCloneAndStampProcessorProtocol> delivered;
  p->obtainCloneAndStampProcessor([&](auto s) { delivered = s; });
  settle(*p);
  QVCloneAndStampProcessorFactory::registerMaker(nullptr);
  ASSERT_TRUE(delivered);
  EXPECT_EQ(delivered, made);
  ASSERT_TRUE(made->image);
  EXPECT_EQ(made->image->width(), 120);
  ASSERT_TRUE(made->mask);
  EXPECT_FLOAT_EQ(made->mask->values()[0], 0.25f);
  EXPECT_EQ(p->processingCounter(), 0u);
}

TEST(QVRovaProcessorDerived, ImageLayerProcessorsComeOnlyForImageLayers) {
  auto p = loaded();
  auto adjustment = p->createLayer();
  settle(*p);
  int calls = 0;
  Ptr preview, background;
  auto completion = [&](Ptr a, Ptr b) { ++calls, preview = a, background = b; };
  p->obtainImageLayerPreviewAndBackgroundProcessors(completion, adjustment);
  p->obtainImageLayerPreviewAndBackgroundProcessors(completion, nullptr);
  p->obtainImageLayerPreviewAndBackgroundProcessors(nullptr, p->initialLayer());
  settle(*p);
  EXPECT_EQ(calls, 0);
  p->obtainImageLayerPreviewAndBackgroundProcessors(completion, p->initialLayer());
  settle(*p);
  ASSERT_EQ(calls, 1);
  ASSERT_TRUE(preview);
  ASSERT_TRUE(background);
  EXPECT_EQ(typeid(*preview), typeid(QVRovaProcessor));
  EXPECT_TRUE(preview->isLowResMode());
  EXPECT_TRUE(background->isLowResMode());
}

TEST(QVRovaProcessorDerived, WithoutAPictureTheRenderDerivationsHandOutNothing) {
  // The engine keeps its previous result when a render makes none; that result is not this state's.
  bool makerCalled = false;
  QVCloneAndStampProcessorFactory::registerMaker([&](rova::ImageDataRGBfPtr, rova::MaskImagePtr) {
    makerCalled = true;
    return std::make_shared<FakeStamp>();
  });
  auto p = loaded();
  // A render leaves a result in the engine; then the picture goes.
  p->obtainLuminosityMask([](std::shared_ptr<QVIPMask>) {});
  settle(*p);
  onQueue(*p, [](rova::ImageProcessor& e) {
    ASSERT_TRUE(e.getLastResult());
    while (e.getLayersCount() > 0) e.removeLayer(e.layerAtIndex(0));
  });
  int calls = 0;
  std::shared_ptr<QVCloneAndStampProcessorProtocol> stamp = std::make_shared<FakeStamp>();
  p->obtainCloneAndStampProcessor([&](auto s) { ++calls, stamp = s; });
  Ptr flat;
  p->obtainProcessorWithRasterizedImage([&](Ptr f) { ++calls, flat = f; });
  bool maskDelivered = false;
  p->obtainLuminosityMask([&](std::shared_ptr<QVIPMask>) { maskDelivered = true; });
  settle(*p);
  QVCloneAndStampProcessorFactory::registerMaker(nullptr);
  EXPECT_EQ(calls, 2);
  EXPECT_FALSE(makerCalled);
  EXPECT_FALSE(stamp);
  ASSERT_TRUE(flat);
  EXPECT_FALSE(flat->initialLayer());
  EXPECT_FALSE(maskDelivered);
  EXPECT_EQ(p->processingCounter(), 0u);
}
