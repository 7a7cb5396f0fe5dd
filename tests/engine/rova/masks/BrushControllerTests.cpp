// The engine's mask brush: soft strokes of the expected width, erase and cancel restoring, gradients
// with known values, and update rectangles that cover exactly what changed.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "rova/layers/ImageLayer.h"
#include "rova/masks/BrushController.h"

namespace {

using rova::BrushController;
using rova::BrushMode;

struct Canvas {
  rova::MaskImagePtr mask = rova::MaskImage::make(200, 100);
  BrushController brush{mask};
  float at(int x, int y) const { return mask->values()[size_t(y) * 200 + size_t(x)]; }
  std::vector<float> values() const { return {mask->values(), mask->values() + 200 * 100}; }
  // A horizontal stroke through the middle, radius 10 px, half of it soft.
  void stroke(double opacity = 1.0, double radius = 0.05, double softness = 0.5) {
    brush.beginStroke();
    for (int i = 0; i <= 20; ++i) brush.addPoint(i / 20.0, 0.5, radius, opacity, softness);
    brush.endStroke();
  }
};

// The bounding box of the values that differ between two snapshots; zero when none differ.
rova::RectRoi changedBounds(const std::vector<float>& a, const std::vector<float>& b, int w) {
  int x0 = w, y0 = 1 << 30, x1 = -1, y1 = -1;
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i] != b[i]) {
      const int x = int(i % w), y = int(i / w);
      x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x + 1), y1 = std::max(y1, y + 1);
    }
  if (x1 < 0) return {};
  return {x0, y0, x1 - x0, y1 - y0};
}

TEST(BrushController, HorizontalStrokePaintsBandWithSoftEdges) {
  Canvas c;
  c.stroke();
  for (int x = 10; x < 190; ++x) {
    for (int y = 45; y <= 54; ++y) ASSERT_EQ(c.at(x, y), 1.0f) << x << "," << y;  // hard core
    for (int y : {41, 42, 43, 56, 57, 58}) {                                      // soft rim
      EXPECT_GT(c.at(x, y), 0.0f) << x << "," << y;
      EXPECT_LT(c.at(x, y), 1.0f) << x << "," << y;
    }
    for (int y = 0; y <= 39; ++y) ASSERT_EQ(c.at(x, y), 0.0f) << x << "," << y;
    for (int y = 60; y < 100; ++y) ASSERT_EQ(c.at(x, y), 0.0f) << x << "," << y;
  }
  // The rim falls off monotonically away from the centre line.
  EXPECT_GT(c.at(100, 43), c.at(100, 42));
  EXPECT_GT(c.at(100, 42), c.at(100, 41));
}

TEST(BrushController, OverlappingDabsDoNotExceedOpacityAndEraseRestores) {
  Canvas c;
  c.stroke(0.4);
  EXPECT_NEAR(c.at(100, 50), 0.4f, 1e-6);  // many dabs over one pixel, still 40 %
  c.stroke(0.4);
  EXPECT_NEAR(c.at(100, 50), 0.64f, 1e-6);  // a second stroke builds on the first
  c.brush.setBrushMode(BrushMode::Erase);
  // A hard eraser a little wider than the soft band takes the rim too.
  c.stroke(1.0, 0.06, 0.0);
  for (float v : c.values()) ASSERT_EQ(v, 0.0f);
}

TEST(BrushController, LevelModeMovesBothWaysTowardsOpacity) {
  Canvas c;
  c.brush.fill();
  c.mask->values()[0] = 0.0f;  // one empty corner pixel under the brush too
  c.brush.setBrushMode(BrushMode::Level);
  c.brush.addPoint(0.0, 0.0, 0.05, 0.5, 0.0);
  c.brush.addPoint(0.5, 0.5, 0.05, 0.5, 0.0);
  EXPECT_FLOAT_EQ(c.at(0, 0), 0.5f);
  EXPECT_FLOAT_EQ(c.at(100, 50), 0.5f);
  EXPECT_FLOAT_EQ(c.at(150, 50), 1.0f);
}

TEST(BrushController, CancelRestoresMaskAndReportsIt) {
  Canvas c;
  c.stroke();
  const auto before = c.values();
  c.brush.takeUpdateRect();
  c.brush.setBrushMode(BrushMode::Erase);
  c.brush.beginStroke();
  c.brush.addPoint(0.5, 0.5, 0.05, 1.0, 0.0);
  c.brush.cancelStroke();
  EXPECT_EQ(c.values(), before);
  EXPECT_FALSE(c.brush.strokeInProgress());
  EXPECT_FALSE(c.brush.takeUpdateRect().isZero());  // the restore itself changed pixels back
}

TEST(BrushController, GradientsGiveKnownValues) {
  Canvas c;
  // Ramp of 100 px centred on x = 100: 0.5 + (x + 0.5 - 100) / 100.
  c.brush.drawLinearGradient(0.5, 0.5, 0, 0.5, false);
  EXPECT_NEAR(c.at(124, 10), 0.745f, 1e-5);
  EXPECT_NEAR(c.at(99, 90), 0.495f, 1e-5);
  EXPECT_EQ(c.at(20, 50), 0.0f);
  EXPECT_EQ(c.at(180, 50), 1.0f);
  c.brush.drawLinearGradient(0.5, 0.5, 0, 0.5, true);  // subtracting the same ramp: v * (1 - g)
  EXPECT_NEAR(c.at(124, 10), 0.745f * 0.255f, 1e-5);

  Canvas r;
  // Inner 20 px, outer 40 px around (100, 50).
  r.brush.drawRadialGradient(0.5, 0.5, 0, 0.1, 0.2, 1.0, false);
  EXPECT_EQ(r.at(100, 50), 1.0f);
  EXPECT_EQ(r.at(145, 50), 0.0f);
  const double q = std::hypot(29.5, 0.5);
  const double tt = (40 - q) / 20;
  EXPECT_NEAR(r.at(129, 50), tt * tt * (3 - 2 * tt), 1e-5);
  // Aspect 0.5 squeezes the other axis: 30 px above the centre is already outside.
  Canvas e;
  e.brush.drawRadialGradient(0.5, 0.5, 0, 0.1, 0.2, 0.5, true);
  EXPECT_EQ(e.at(100, 50), 0.0f);
  EXPECT_EQ(e.at(100, 20), 1.0f);
  EXPECT_EQ(e.at(10, 50), 1.0f);
}

TEST(BrushController, GradientDragInsideStrokeReplacesPreviousPosition) {
  Canvas c;
  c.brush.beginStroke();
  c.brush.drawLinearGradient(0.2, 0.5, 0, 0, false);
  c.brush.drawLinearGradient(0.8, 0.5, 0, 0, false);
  c.brush.endStroke();
  EXPECT_EQ(c.at(100, 50), 0.0f);  // covered by the first position only
  EXPECT_EQ(c.at(170, 50), 1.0f);
}

TEST(BrushController, ClearFillInvert) {
  Canvas c;
  c.stroke(0.3);
  c.brush.invert();
  EXPECT_NEAR(c.at(100, 50), 0.7f, 1e-6);
  EXPECT_EQ(c.at(100, 5), 1.0f);
  c.brush.fill();
  for (float v : c.values()) ASSERT_EQ(v, 1.0f);
  c.brush.clear();
  for (float v : c.values()) ASSERT_EQ(v, 0.0f);
}

TEST(BrushController, DensityAndFeatherBakeIntoTheMask) {
  Canvas c;
  c.brush.drawLinearGradient(0.5, 0.5, 0, 0, false);  // hard edge at x = 100
  c.brush.setMaskSetting(50, 8);
  c.brush.bakeDensityAndFeather();
  EXPECT_NEAR(c.at(10, 50), 0.0f, 1e-6);
  EXPECT_NEAR(c.at(190, 50), 0.5f, 1e-6);
  EXPECT_GT(c.at(99, 50), 0.05f);  // the edge is soft now, symmetric about x = 100
  EXPECT_LT(c.at(100, 50), 0.45f);
  EXPECT_NEAR(c.at(99, 50) + c.at(100, 50), 0.5f, 1e-4);
  const auto baked = c.values();
  c.brush.bakeDensityAndFeather();  // reset to 100 % and no feather: nothing more changes
  EXPECT_EQ(c.values(), baked);
  c.brush.setMaskSetting(NAN, 3);  // refused
  EXPECT_EQ(c.brush.density(), 100);
}

TEST(BrushController, UpdateRectCoversExactlyChangedPixelsAndResets) {
  Canvas c;
  EXPECT_TRUE(c.brush.takeUpdateRect().isZero());
  auto before = c.values();
  c.brush.beginStroke();
  c.brush.addPoint(0.3, 0.3, 0.02, 1.0, 0.3);
  c.brush.addPoint(0.35, 0.32, 0.02, 1.0, 0.3);
  c.brush.endStroke();
  EXPECT_EQ(c.brush.takeUpdateRect(), changedBounds(before, c.values(), 200));
  EXPECT_TRUE(c.brush.takeUpdateRect().isZero());

  // A dab at the edge is clipped to the mask.
  before = c.values();
  c.brush.addPoint(0.0, 1.0, 0.05, 1.0, 0.0);
  const rova::RectRoi edge = c.brush.takeUpdateRect();
  EXPECT_EQ(edge, changedBounds(before, c.values(), 200));
  EXPECT_EQ(edge.x, 0);
  EXPECT_EQ(edge.bottom(), 100);

  c.brush.fill();
  c.brush.takeUpdateRect();
  c.brush.fill();  // nothing changes, nothing to update
  EXPECT_TRUE(c.brush.takeUpdateRect().isZero());
}

TEST(BrushController, RefusesNonFiniteInputAndWorksWithoutMask) {
  Canvas c;
  for (double bad : {NAN, INFINITY, -INFINITY}) {
    EXPECT_FALSE(c.brush.addPoint(bad, 0.5, 0.05, 1, 0));
    EXPECT_FALSE(c.brush.addPoint(0.5, 0.5, bad, 1, 0));
    c.brush.drawLinearGradient(0.5, bad, 0, 0.2, false);
    c.brush.drawRadialGradient(0.5, 0.5, 0, 0.1, bad, 1, false);
  }
  for (float v : c.values()) ASSERT_EQ(v, 0.0f);
  BrushController none(nullptr);
  none.beginStroke();
  EXPECT_FALSE(none.addPoint(0.5, 0.5, 0.1, 1, 0));
  none.fill();
  none.endStroke();
  EXPECT_TRUE(none.takeUpdateRect().isZero());
}

}  // namespace

namespace {

TEST(BrushController, LayerUpdateRectsCoverOnlyBrushedPartsAndResetAfterReading) {
  rova::ImageLayer layer(rova::Image::make(rova::ImageDataRGBf::create(200, 100)));
  layer.createMaskWithSize({200, 100}, 0);
  EXPECT_EQ(layer.getWorkingMaskUpdateRect(), (rova::RectRoi{0, 0, 200, 100}));  // a new mask: all of it
  layer.getMaskPreviewUpdateRect();
  BrushController brush(layer.getMask());
  brush.addPoint(0.1, 0.1, 0.02, 1, 0);
  const rova::RectRoi first = brush.takeUpdateRect();
  layer.maskPixelsChanged(first);
  brush.addPoint(0.9, 0.8, 0.02, 1, 0);
  const rova::RectRoi second = brush.takeUpdateRect();
  layer.maskPixelsChanged(second);
  const rova::RectRoi both{first.x, first.y, second.right() - first.x, second.bottom() - first.y};
  EXPECT_EQ(layer.getWorkingMaskUpdateRect(), both);
  EXPECT_TRUE(layer.getWorkingMaskUpdateRect().isZero());
  EXPECT_EQ(layer.getMaskPreviewUpdateRect(), both);  // each consumer reads its own
  layer.maskPixelsChanged({});
  EXPECT_TRUE(layer.getWorkingMaskUpdateRect().isZero());
  layer.maskPixelsChanged(first);
  layer.resetMaskCache();  // a change of unknown extent widens to the whole mask
  EXPECT_EQ(layer.getWorkingMaskUpdateRect(), (rova::RectRoi{0, 0, 200, 100}));
}

}  // namespace
