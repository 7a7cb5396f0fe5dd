#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <numbers>
#include <random>

#include "QVCore/Utils/PSRect.h"

namespace {

constexpr double kPi = std::numbers::pi;

void expectPoint(CGPoint p, CGPoint expected, double tolerance = 1e-9) {
  EXPECT_NEAR(p.x, expected.x, tolerance);
  EXPECT_NEAR(p.y, expected.y, tolerance);
}

double width(const PSRect& r) { return PSRect::distanceBetweenPoint1(r.a(), r.d()); }
double height(const PSRect& r) { return PSRect::distanceBetweenPoint1(r.a(), r.b()); }

}  // namespace

TEST(PSRect, TakesTheRectanglesOwnRatioAndCorners) {
  PSRect r({{0, 0}, {300, 200}}, {FLT_MAX, FLT_MAX});
  EXPECT_EQ(r.aspectRatio().width, 1);
  EXPECT_DOUBLE_EQ(r.aspectRatio().height, 2.0 / 3);
  EXPECT_EQ(r.a(), (CGPoint{0, 0}));
  EXPECT_EQ(r.b(), (CGPoint{0, 200}));
  EXPECT_EQ(r.c(), (CGPoint{300, 200}));
  EXPECT_EQ(r.d(), (CGPoint{300, 0}));
  EXPECT_EQ(r.anchorPoint(), 10);
  EXPECT_EQ(r.boundingRect(), (CGRect{{0, 0}, {300, 200}}));
  EXPECT_EQ(PSRect({{0, 0}, {300, 200}}, {2, 8}).aspectRatio(), (CGSize{0.25, 1}));
  // Ratios without proportions would put inf or NaN into the corners: they count as free.
  EXPECT_EQ(PSRect({{0, 0}, {300, 200}}, {5, 0}).aspectRatio(), (CGSize{0, 0}));
  EXPECT_EQ(PSRect({{0, 0}, {0, 0}}, {FLT_MAX, FLT_MAX}).aspectRatio(), (CGSize{0, 0}));
}

TEST(PSRect, RotationIsNormalisedAppliedOnceAndRounded) {
  PSRect r({{0, 0}, {300, 200}}, {0, 0});
  r.setRotation(-kPi / 2);
  EXPECT_DOUBLE_EQ(r.rotation(), 3 * kPi / 2);
  CGPoint a = r.a();
  r.setRotation(-kPi / 2 + 2 * kPi);  // the same angle once normalised
  r.setRotation(3 * kPi / 2);
  EXPECT_EQ(r.a(), a) << "an unchanged rotation turns nothing";
  expectPoint(r.a(), {50, 250});  // turned -90 degrees about (150, 100)

  r.setRotation(0.3);
  for (CGPoint p : {r.a(), r.b(), r.c(), r.d()}) {
    EXPECT_EQ(p.x, std::round(p.x));
    EXPECT_EQ(p.y, std::round(p.y));
  }
  CGRect back;
  double rotation;
  r.getCGRect(&back, &rotation);
  EXPECT_EQ(rotation, 0.3);
  EXPECT_NEAR(back.origin.x, 0, 1);
  EXPECT_NEAR(back.origin.y, 0, 1);
  EXPECT_NEAR(back.size.width, 300, 1);
  EXPECT_NEAR(back.size.height, 200, 1);

  r.setRotation(NAN);
  EXPECT_EQ(r.rotation(), 0.3);

  // Moves along the frame's own axes or the outer ones.
  PSRect turned({{0, 0}, {300, 200}}, {0, 0});
  turned.setRotation(kPi / 2);
  const CGPoint start = turned.a();
  turned.addTranslation(10, 0);
  expectPoint(turned.a(), {start.x, start.y + 10}, 1e-9);
  turned.addSimpleTranslation(10, 0);
  expectPoint(turned.a(), {start.x + 10, start.y + 10}, 1e-9);
}

TEST(PSRect, OffsetsResizeAboutTheAnchor) {
  // A free frame resizes width and height independently; the anchor stays.
  PSRect corner({{0, 0}, {300, 200}}, {0, 0});
  corner.setAnchorPoint(2);
  corner.addOffset({10, 0});
  EXPECT_EQ(corner.c(), (CGPoint{300, 200}));
  EXPECT_EQ(width(corner), 310);
  EXPECT_EQ(height(corner), 200);

  PSRect centre({{0, 0}, {300, 200}}, {0, 0});
  centre.addOffset({10, 20});
  expectPoint(*centre.pointAtZone(10), {150, 100});
  EXPECT_EQ(width(centre), 310);
  EXPECT_EQ(height(centre), 220);

  // A zone without a point keeps nothing in place: the frame grows away from c.
  PSRect unanchored({{0, 0}, {300, 200}}, {0, 0});
  unanchored.setAnchorPoint(11);
  unanchored.addOffset({10, 10});
  EXPECT_EQ(unanchored.c(), (CGPoint{300, 200}));
  EXPECT_EQ(unanchored.a(), (CGPoint{-10, -10}));

  // With a ratio a corner drag keeps the largest ratio-true frame inside the dragged size.
  PSRect ratio({{0, 0}, {300, 200}}, {FLT_MAX, FLT_MAX});
  ratio.setAnchorPoint(0);
  ratio.addOffset({30, 0});
  EXPECT_NEAR(width(ratio), 300, 1e-9);
  ratio.addOffset({30, 20});
  EXPECT_NEAR(width(ratio), 330, 1e-9);
  EXPECT_NEAR(height(ratio), 220, 1e-9);
  expectPoint(ratio.a(), {0, 0});
  // Dragging it taller than wide turns the ratio portrait.
  ratio.addOffset({0, 300});
  EXPECT_LT(ratio.aspectRatio().width, ratio.aspectRatio().height);
  EXPECT_NEAR(width(ratio) / height(ratio), 2.0 / 3, 1e-9);

  // An edge anchor with a ratio: the width drives the height, the edge's middle stays.
  PSRect edge({{0, 0}, {300, 200}}, {FLT_MAX, FLT_MAX});
  edge.setAnchorPoint(4);
  edge.addOffset({30, 0});
  EXPECT_NEAR(width(edge), 330, 1e-9);
  EXPECT_NEAR(height(edge), 220, 1e-9);
  expectPoint(*edge.pointAtZone(4), {0, 100});
}

TEST(PSRect, ConstrainFitsCentreAnchoredFramesInside) {
  for (double rotation : {0.0, 0.2}) {
    PSRect inside({{10, 10}, {100, 50}}, rotation == 0 ? CGSize{FLT_MAX, FLT_MAX} : CGSize{0, 0});
    inside.setRotation(rotation);
    PSRect before = inside;
    inside.constrainByRect({{0, 0}, {500, 500}});
    EXPECT_EQ(inside.a(), before.a());
    EXPECT_EQ(inside.c(), before.c());
    EXPECT_FALSE(inside.aspectRatioLocked());
  }

  PSRect big({{-50, -50}, {400, 200}}, {0, 0});
  big.constrainByRect({{0, 0}, {300, 300}});
  EXPECT_NEAR(big.minX(), 0, 1e-9);
  EXPECT_NEAR(big.maxX(), 300, 1e-9);
  EXPECT_NEAR(big.minY(), 0, 1e-9);
  EXPECT_NEAR(big.maxY(), 150, 1e-9);

  // Empty bounds give no scale: the frame is left as it is.
  PSRect untouched({{0, 0}, {100, 100}}, {0, 0});
  untouched.constrainByRect({{0, 0}, {0, 100}});
  EXPECT_EQ(untouched.c(), (CGPoint{100, 100}));
}

TEST(PSRect, ConstrainShrinksTowardsAnUnrotatedCornerAnchor) {
  PSRect r({{100, 100}, {200, 100}}, {0, 0});
  r.setAnchorPoint(0);
  r.addOffset({500, 50});  // c dragged past the right border only
  r.constrainByRect({{0, 0}, {400, 400}});
  expectPoint(r.a(), {100, 100});
  expectPoint(r.c(), {400, 250});  // stopped at the border; the height as dragged

  // An anchor outside the bounds cannot be kept: the frame is fitted about its centre instead.
  PSRect outside({{-100, 100}, {200, 100}}, {0, 0});
  outside.setAnchorPoint(0);
  outside.constrainByRect({{0, 0}, {400, 400}});
  EXPECT_EQ(outside.boundingRect(), (CGRect{{0, 100}, {200, 100}}));
}

// Frames are made inside the bounds, dragged about an anchor (corners and edges, free and set
// ratios, any rotation) and constrained: the frame must end inside, the anchor where it was, and
// no side below the minimum.
TEST(PSRect, RandomisedConstrainKeepsFrameInsideAnchorFixedAndMinimumSide) {
  std::mt19937 rng(20261209);
  auto uniform = [&](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); };
  const CGRect bounds{{0, 0}, {1000, 700}};
  const double minSide = PSRect::kDefaultMinSide;
  const CGSize ratios[] = {{0, 0}, {1, 1}, {3, 2}, {2, 3}, {16, 9}};
  int checked = 0, constrained = 0;
  for (int iteration = 0; iteration < 4000; ++iteration) {
    const CGSize ratio = ratios[iteration % 5];
    const bool free = ratio.width == 0;
    double w0 = uniform(minSide + 5, 400), h0 = uniform(minSide + 5, 400);
    if (!free) {
      const double k =
          uniform((minSide + 5) / std::min(ratio.width, ratio.height), 400 / std::max(ratio.width, ratio.height));
      w0 = k * ratio.width;
      h0 = k * ratio.height;
    }
    const CGPoint centre{uniform(0, 1000), uniform(0, 700)};
    PSRect r({{centre.x - w0 / 2, centre.y - h0 / 2}, {w0, h0}}, ratio);
    r.setRotation(uniform(0, 2 * kPi));
    if (!CGRectContainsRect(bounds, r.boundingRect())) continue;
    const int32_t anchor = static_cast<int32_t>(iteration % 8);
    r.setAnchorPoint(anchor);
    const CGPoint fixed = *r.pointAtZone(anchor);
    const bool moveWidth = anchor != 5 && anchor != 7, moveHeight = anchor != 4 && anchor != 6;
    if (free) {
      r.addOffset({moveWidth ? uniform(0, 900) : 0, moveHeight ? uniform(0, 900) : 0});
    } else {
      const double k = uniform(0, 3);
      r.addOffset(
          {moveWidth ? k * width(r) : 0, moveHeight && !moveWidth ? k * height(r) : k * height(r) * moveHeight});
    }
    SCOPED_TRACE(testing::Message() << "iteration " << iteration << " anchor " << anchor << " ratio " << ratio.width
                                    << ":" << ratio.height << " rotation " << r.rotation());
    expectPoint(*r.pointAtZone(anchor), fixed, 1e-6);

    const bool wasOutside = !CGRectContainsRect(bounds, r.boundingRect());
    r.constrainByRect(bounds, minSide);
    if (wasOutside) {
      // Shrunk no further than the bounds ask: some corner rests on the border (to a hundredth of a
      // pixel: corners rounded by the rotation are not exactly square to the axes the resize uses).
      const CGRect box = r.boundingRect();
      EXPECT_LT(std::min({box.origin.x, box.origin.y, 1000 - CGRectGetMaxX(box), 700 - CGRectGetMaxY(box)}), 0.01);
      ++constrained;
    }
    for (CGPoint p : {r.a(), r.b(), r.c(), r.d()}) {
      EXPECT_GE(p.x, -1e-6);
      EXPECT_LE(p.x, 1000 + 1e-6);
      EXPECT_GE(p.y, -1e-6);
      EXPECT_LE(p.y, 700 + 1e-6);
    }
    expectPoint(*r.pointAtZone(anchor), fixed, 1e-6);
    EXPECT_GE(width(r), minSide - 1e-6);
    EXPECT_GE(height(r), minSide - 1e-6);
    if (!free) EXPECT_NEAR(width(r) / height(r), r.aspectRatio().width / r.aspectRatio().height, 1e-6);
    if (HasFailure()) break;
    ++checked;
  }
  EXPECT_GT(checked, 500);
  EXPECT_GT(constrained, 300);
}
