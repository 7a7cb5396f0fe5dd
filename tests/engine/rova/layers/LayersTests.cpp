#include <gtest/gtest.h>

#include <cmath>

#include "engine/rova/processor/ProcessorTestSupport.h"
#include "rova/effects/EffectIDs.h"

using namespace rova;
using proctest::makeImage;

namespace {

std::shared_ptr<AdjustmentLayer> layerAt(uint64_t level, const char* tag) {
  auto l = std::make_shared<AdjustmentLayer>(0);
  l->setLevel(level);
  l->setTag(tag);
  return l;
}

std::string listText(const ImageProcessor& p) {
  std::string s;
  for (auto& l : p.layers()) {
    std::string tag = l->tags().empty() ? "?" : *l->tags().begin();
    s += tag + std::to_string(l->level()) + " ";
  }
  return s;
}

}  // namespace

TEST(Layers, ListKeepsOrderAndLevelsThroughAddRemoveAndMove) {
  ImageProcessor p;
  auto img = std::make_shared<ImageLayer>(makeImage(4, 4, [](int, int, float* c) { c[0] = c[1] = c[2] = 0.5f; }));
  img->setTag("I");
  auto a = layerAt(0, "A"), a1 = layerAt(1, "a1"), a2 = layerAt(1, "a2"), a2a = layerAt(2, "x"), b = layerAt(0, "B");
  EXPECT_TRUE(p.addLayer(img));
  EXPECT_TRUE(p.addLayer(b));
  EXPECT_TRUE(p.addLayer(a, 1));
  EXPECT_TRUE(p.addLayer(a1, 2));
  EXPECT_TRUE(p.addLayer(a2, 3));
  EXPECT_TRUE(p.addLayer(a2a, 4));
  EXPECT_FALSE(p.addLayer(a));  // already there
  EXPECT_FALSE(p.addLayer(nullptr));
  EXPECT_EQ(listText(p), "I0 A0 a11 a21 x2 B0 ");
  EXPECT_EQ(p.getLayersCount(), 6u);
  EXPECT_EQ(p.layerIndex(a2a), 4);
  EXPECT_EQ(p.layerAtIndex(5), b);
  EXPECT_EQ(p.layerAtIndex(6), nullptr);

  EXPECT_TRUE(p.moveLayer(b, 1));
  EXPECT_EQ(listText(p), "I0 B0 A0 a11 a21 x2 ");
  EXPECT_TRUE(p.moveLayer(a1, 99));  // clamped to the end
  EXPECT_EQ(listText(p), "I0 B0 A0 a21 x2 a11 ");
  EXPECT_TRUE(p.removeLayer(a2));
  EXPECT_FALSE(p.removeLayer(a2));
  EXPECT_EQ(p.layerIndex(a2), -1);
  EXPECT_EQ(listText(p), "I0 B0 A0 x2 a11 ");

  auto converted = p.convertLayerAtIndexToImageLayer(1, img->getSourceImage());
  ASSERT_TRUE(converted);
  EXPECT_EQ(converted->kind(), kLayerKindImage);
  EXPECT_TRUE(converted->isTagPresent("B"));
  auto back = p.convertLayerAtIndexToAdjustmentLayer(1);
  EXPECT_EQ(back->kind(), kLayerKindAdjustment);
  EXPECT_EQ(listText(p), "I0 B0 A0 x2 a11 ");
}

TEST(Layers, ProcessorCopyIsDeep) {
  auto image = proctest::makeTestPicture(32, 24);
  auto p = proctest::makeProcessor(image);
  auto group = proctest::makeLayer(image, {}, 0);
  auto develop = proctest::makeLayer(image, {effect_id::kDevelopCommon}, 1);
  develop->createMaskWithSize({32, 24}, 1.f);
  develop->setTag("2");
  p->addLayer(group);
  p->addLayer(develop);
  p->setShowMaskLayer(develop);
  p->setCropDescription({0.f, 1, 2, 20, 10});

  ImageProcessor copy(*p);
  ASSERT_EQ(copy.getLayersCount(), 3u);
  auto copiedDevelop = std::dynamic_pointer_cast<AdjustmentLayer>(copy.layerAtIndex(2));
  ASSERT_TRUE(copiedDevelop);
  EXPECT_NE(copiedDevelop, develop);
  EXPECT_EQ(copiedDevelop->level(), 1u);
  EXPECT_TRUE(copiedDevelop->isTagPresent("2"));
  EXPECT_EQ(copy.showMaskLayer(), copiedDevelop);
  EXPECT_EQ(copy.getCropDescription(), p->getCropDescription());
  EXPECT_NE(copiedDevelop->effectAtIndex(0), develop->effectAtIndex(0));
  EXPECT_NE(copiedDevelop->getMask(), develop->getMask());

  // Changing the copy leaves the original alone.
  copiedDevelop->effectAtIndex(0)->setParameterValue("Exposure", 1);
  copiedDevelop->getMask()->fill(0);
  EXPECT_EQ(develop->effectAtIndex(0)->parameterValue("Exposure"), 0.f);
  EXPECT_EQ(develop->getMask()->values()[0], 1.f);
  // Pictures are shared, read-only.
  auto copiedImage = std::dynamic_pointer_cast<ImageLayer>(copy.layerAtIndex(0));
  EXPECT_EQ(copiedImage->getSourceImage(), image);
}

TEST(Layers, SublayersAdjustTheirParentsContentAndDisablingSkipsTheSubtree) {
  auto image = makeImage(8, 8, [](int, int, float* c) { c[0] = c[1] = c[2] = 0.1f; });
  auto p = proctest::makeProcessor(image);
  auto group = proctest::makeLayer(image, {}, 0);
  group->setOpacity(0.5f);
  auto brighten = proctest::makeLayer(image, {effect_id::kDevelopCommon}, 1);
  brighten->effectAtIndex(0)->setParameterValue("Exposure", 1);
  p->addLayer(group);
  p->addLayer(brighten);
  auto out = proctest::render(*p);
  ASSERT_TRUE(out);
  EXPECT_NEAR(proctest::px(*out, 3, 3)[1], 0.15f, 1e-5f);  // half of the doubling

  group->setEnabled(false);
  out = proctest::render(*p);
  EXPECT_NEAR(proctest::px(*out, 3, 3)[1], 0.1f, 1e-6f);

  group->setEnabled(true);
  brighten->setEffectAmount(0.5f);
  group->setOpacity(1);
  out = proctest::render(*p);
  EXPECT_NEAR(proctest::px(*out, 3, 3)[1], 0.15f, 1e-5f);
}

TEST(Layers, ImageLayerWorkingImagesFollowTheTransformSettings) {
  OrvantaExifData raw;
  raw.isRaw = true;
  auto image = makeImage(
      40, 20, [](int x, int, float* c) { c[0] = c[1] = c[2] = 0.05f + 0.005f * x; }, raw);
  ImageLayer layer(image);
  EXPECT_EQ(layer.getLoadState(), 3);
  EXPECT_TRUE(layer.isRaw());
  ImageTransformSettings t;
  t.sourceRect = {10, 4, 20, 10};
  t.outputSize = {10, 5};
  layer.setTransformSettings(t);
  auto plain = layer.getWorkingImage();
  ASSERT_TRUE(plain);
  EXPECT_EQ(plain->width(), 10);
  EXPECT_EQ(plain->height(), 5);
  EXPECT_NEAR(proctest::px(*plain, 0, 0)[0], 0.05f + 0.005f * 10.5f, 1e-4f);  // between source pixels 10 and 11
  // The RAW decode is the development: without a camera profile the RAW develop form equals the plain
  // one, and so does the lens form without a known lens.
  auto developed = layer.getWorkingImageWithRawDevelop();
  ASSERT_TRUE(developed);
  EXPECT_LT(proctest::maxDifference(*developed, *plain), 1e-6f);
  EXPECT_LT(proctest::maxDifference(*layer.getWorkingImageWithLensCorrection(), *plain), 1e-6f);
  // A layer without pixels has no working image.
  ImageLayer empty(nullptr);
  EXPECT_EQ(empty.getLoadState(), 0);
  EXPECT_EQ(empty.getWorkingImage(), nullptr);
}

// Density and feather act on what the render sees, never on the stored values, and any change of
// them or of the mask makes the render's mask and the layer's state hash change.
TEST(BaseLayer, MaskSettingIsAppliedToTheWorkingMaskOnly) {
  auto layer = std::make_shared<AdjustmentLayer>(0);
  layer->createMaskWithSize({20, 10}, 0.f);
  float* v = layer->getMask()->values();
  for (int y = 0; y < 10; ++y)
    for (int x = 10; x < 20; ++x) v[y * 20 + x] = 1.f;  // right half painted
  layer->resetMaskCache();
  EXPECT_EQ(layer->workingMask(), layer->getMask()) << "neutral setting: the mask itself";

  const uint64_t plain = layer->stateHash();
  layer->setMaskSetting(50, 0);
  EXPECT_NE(layer->stateHash(), plain);
  auto half = layer->workingMask();
  ASSERT_NE(half, layer->getMask());
  EXPECT_FLOAT_EQ(half->values()[15], 0.5f);
  EXPECT_FLOAT_EQ(half->values()[5], 0.f);
  EXPECT_FLOAT_EQ(layer->getMask()->values()[15], 1.f) << "stored values untouched";
  EXPECT_EQ(layer->workingMask(), half) << "kept while nothing changed";

  layer->setMaskSetting(100, 4);
  auto soft = layer->workingMask();
  EXPECT_GT(soft->values()[5 * 20 + 9], 0.f) << "feather spreads over the edge";
  EXPECT_LT(soft->values()[5 * 20 + 10], 1.f);

  v[0] = 1.f;  // painted into the values: the next render must see it
  layer->maskPixelsChanged({0, 0, 1, 1});
  EXPECT_NE(layer->workingMask(), soft);
  EXPECT_GT(layer->workingMask()->values()[0], soft->values()[0]);

  layer->setMaskSetting(NAN, 0);  // refused
  EXPECT_EQ(layer->maskFeather(), 4);
  layer->setMaskSetting(100, 0);
  EXPECT_EQ(layer->workingMask(), layer->getMask());
  layer->setUseMask(false);
  EXPECT_EQ(layer->workingMask(), nullptr);
}
