// The engine's inpainting: holes filled from their surroundings, soft mask edges kept, bad input
// and cancellation refused without touching the destination.
#include <gtest/gtest.h>

#include <cmath>

#include "rova/Inpaint.h"

namespace {

// A smooth two-way gradient with values above 1 (linear light), and a square of noise in the
// middle that the mask marks for filling.
struct Scene {
  rova::ImageDataRGBfPtr source = rova::ImageDataRGBf::create(64, 48);
  rova::ImageDataFPtr mask = rova::ImageDataF::create(64, 48);
  static rova::PixelRGB<float> expected(int x, int y) { return {0.02f * x, 0.03f * y, 1.5f - 0.01f * x}; }
  Scene() {
    for (int y = 0; y < 48; ++y)
      for (int x = 0; x < 64; ++x) {
        const bool hole = x >= 24 && x < 36 && y >= 18 && y < 30;
        source->at(x, y) = hole ? rova::PixelRGB<float>{float((x * 7919) % 13), 0.f, 9.f} : expected(x, y);
        mask->at(x, y) = hole ? 1.f : 0.f;
      }
  }
};

}  // namespace

TEST(Inpaint, FillsTheHoleFromItsSurroundingsInLinearFloat) {
  for (int method : {0, 1}) {
    Scene s;
    auto destination = rova::ImageDataRGBf::create(64, 48);
    float lastProgress = -1;
    ASSERT_EQ(rova::inpaint_image(*s.source, *destination, *s.mask, method, 0.5f, nullptr,
                                  [&](float p) { lastProgress = p; }),
              rova::kInpaintDone);
    EXPECT_FLOAT_EQ(lastProgress, 1.f);
    double worst = 0;
    for (int y = 0; y < 48; ++y)
      for (int x = 0; x < 64; ++x) {
        const auto e = Scene::expected(x, y);
        const auto d = destination->at(x, y);
        if (s.mask->at(x, y) == 0.f) {
          EXPECT_EQ(d, s.source->at(x, y)) << "outside the hole nothing changes";
        } else {
          worst = std::max(
              {worst, std::fabs(double(d.r - e.r)), std::fabs(double(d.g - e.g)), std::fabs(double(d.b - e.b))});
        }
      }
    // The noise was up to 12 and 9 away; the fill follows the gradient closely, values above 1 kept.
    EXPECT_LT(worst, 0.2) << "method " << method;
  }
}

TEST(Inpaint, SoftMaskEdgesMixSourceAndFill) {
  Scene s;
  s.mask->at(24, 18) = 0.25f;  // a quarter-covered corner of the hole
  auto destination = rova::ImageDataRGBf::create(64, 48);
  ASSERT_EQ(rova::inpaint_image(*s.source, *destination, *s.mask, 1, 0.5f), rova::kInpaintDone);
  const auto src = s.source->at(24, 18), d = destination->at(24, 18), e = Scene::expected(24, 18);
  EXPECT_NEAR(d.b, 0.75f * src.b + 0.25f * e.b, 0.1f);
}

TEST(Inpaint, BadInputAndCancellationLeaveTheDestinationAlone) {
  Scene s;
  auto destination = rova::ImageDataRGBf::create(64, 48);
  auto small = rova::ImageDataRGBf::create(32, 48);
  auto smallMask = rova::ImageDataF::create(64, 47);
  auto empty = rova::ImageDataF::create(64, 48);
  EXPECT_EQ(rova::inpaint_image(*s.source, *small, *s.mask, 1, 0.5f), rova::kInpaintFailed);
  EXPECT_EQ(rova::inpaint_image(*s.source, *destination, *smallMask, 1, 0.5f), rova::kInpaintFailed);
  EXPECT_EQ(rova::inpaint_image(*s.source, *destination, *empty, 1, 0.5f), rova::kInpaintFailed);
  std::atomic<uint8_t> cancel{1};
  EXPECT_EQ(rova::inpaint_image(*s.source, *destination, *s.mask, 1, std::nanf(""), &cancel), rova::kInpaintCancelled);
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 64; ++x) ASSERT_EQ(destination->at(x, y), (rova::PixelRGB<float>{})) << x << "," << y;
}
