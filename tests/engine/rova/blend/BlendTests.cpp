#include <gtest/gtest.h>

#include "engine/rova/processor/ProcessorTestSupport.h"
#include "rova/blend/BlendMode.h"

using namespace rova;

namespace {

struct BlendCase {
  BlendModeType mode;
  float expected[3];
};

// Base (0.2, 0.5, 0.8) under layer (0.6, 0.3, 0.9), worked out by hand from the formulas.
const BlendCase kCases[] = {
    {kBlendNormal, {0.6f, 0.3f, 0.9f}},       {kBlendMultiply, {0.12f, 0.15f, 0.72f}},
    {kBlendColorBurn, {0.f, 0.f, 0.777778f}}, {kBlendScreen, {0.68f, 0.65f, 0.98f}},
    {kBlendOverlay, {0.24f, 0.3f, 0.96f}},    {kBlendSoftLight, {0.2496f, 0.4f, 0.875542f}},
    {kBlendDarken, {0.2f, 0.3f, 0.8f}},       {kBlendHardLight, {0.36f, 0.3f, 0.96f}},
    {kBlendLighten, {0.6f, 0.5f, 0.9f}},      {kBlendDifference, {0.4f, 0.2f, 0.1f}},
    {kBlendSubtract, {0.f, 0.2f, 0.f}},       {kBlendLuminosity, {0.213f, 0.513f, 0.813f}},
    {kBlendHue, {0.587f, 0.287f, 0.887f}},    {kBlendColor, {0.587f, 0.287f, 0.887f}},
};

}  // namespace

TEST(Blend, EveryModeMatchesItsFormulaOnKnownPixels) {
  const float base[3] = {0.2f, 0.5f, 0.8f}, layer[3] = {0.6f, 0.3f, 0.9f};
  for (const auto& c : kCases) {
    float out[3];
    blendPixel(c.mode, base, layer, out);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(out[i], c.expected[i], 1e-5f) << "mode " << c.mode << " channel " << i;
    // The row form gives the same, and opacity and mask scale the change.
    float row[3], half[3];
    blendPixels(c.mode, base, layer, row, 1, 1.f);
    const float mask = 0.5f;
    blendPixels(c.mode, base, layer, half, 1, 1.f, &mask);
    for (int i = 0; i < 3; ++i) {
      EXPECT_FLOAT_EQ(row[i], out[i]);
      EXPECT_NEAR(half[i], base[i] + (out[i] - base[i]) * 0.5f, 1e-6f);
    }
  }
}

TEST(Blend, HighlightsAboveWhiteSurviveTheModesThatAllowThem) {
  const float base[3] = {2.f, 0.5f, 0.1f}, layer[3] = {0.5f, 0.5f, 0.5f};
  float out[3];
  blendPixel(kBlendMultiply, base, layer, out);
  EXPECT_FLOAT_EQ(out[0], 1.f);
  blendPixel(kBlendLighten, base, layer, out);
  EXPECT_FLOAT_EQ(out[0], 2.f);
  blendPixel(kBlendScreen, base, layer, out);  // a unit-range mode: limited to 1
  EXPECT_FLOAT_EQ(out[0], 1.f);
}

TEST(Blend, LayerBlendModeOpacityAndMaskApplyInTheRender) {
  auto image = proctest::makeImage(8, 4, [](int, int, float* c) { c[0] = c[1] = c[2] = 0.4f; });
  auto p = proctest::makeProcessor(image);
  auto layer =
      std::make_shared<ImageLayer>(proctest::makeImage(8, 4, [](int, int, float* c) { c[0] = c[1] = c[2] = 0.5f; }));
  layer->setBlendMode(kBlendMultiply);
  layer->setOpacity(0.5f);
  auto mask = MaskImage::make(8, 4);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) mask->values()[y * 8 + x] = 1;  // left half only
  layer->setMask(mask);
  p->addLayer(layer);
  auto out = proctest::render(*p);
  ASSERT_TRUE(out);
  EXPECT_NEAR(proctest::px(*out, 1, 1)[0], 0.4f + (0.2f - 0.4f) * 0.5f, 1e-5f);
  EXPECT_NEAR(proctest::px(*out, 6, 1)[0], 0.4f, 1e-5f);
  layer->setUseMask(false);
  out = proctest::render(*p);
  EXPECT_NEAR(proctest::px(*out, 6, 1)[0], 0.3f, 1e-5f);
}
