#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "QVCore/Categories/NSAffineTransform+Addition.h"

using namespace NSAffineTransformAddition;

TEST(AffineTransformAddition, DictionaryRoundTripAndMissingMembers) {
  CGAffineTransform t{1.5, -0.25, 0.75, 2, 10.5, -20};
  qv::Value d = dictionary(t);
  EXPECT_EQ(d["m11"].asDouble(), 1.5);
  EXPECT_EQ(d["m21"].asDouble(), 0.75) << "m21 multiplies y in x'";
  EXPECT_EQ(d["tY"].asDouble(), -20);
  EXPECT_EQ(affineTransformFromDictionary(d), t);

  qv::Value partial;
  partial.set("m11", 2).set("m22", "3").set("tX", NAN);
  EXPECT_EQ(affineTransformFromDictionary(partial), (CGAffineTransform{2, 0, 0, 0, 0, 0}));
}

TEST(AffineTransformAddition, SolvesFromThreePointPairs) {
  CGAffineTransform expected = CGAffineTransformConcat(
      CGAffineTransformConcat(CGAffineTransformMakeScale(2, 3), CGAffineTransformMakeRotation(0.4)),
      CGAffineTransformMakeTranslation(5, -7));
  std::array<CGPoint, 3> from{CGPoint{0, 0}, CGPoint{10, 1}, CGPoint{-3, 8}};
  std::array<CGPoint, 3> to;
  for (int i = 0; i < 3; ++i) to[i] = CGPointApplyAffineTransform(from[i], expected);
  auto t = affineTransformForTransformPoints(from, to);
  ASSERT_TRUE(t);
  for (double v : {t->a - expected.a, t->b - expected.b, t->c - expected.c, t->d - expected.d, t->tx - expected.tx,
                   t->ty - expected.ty})
    EXPECT_NEAR(v, 0, 1e-9);

  // Collinear or coinciding source points determine no transform (and never inf or NaN).
  EXPECT_FALSE(affineTransformForTransformPoints({CGPoint{0, 0}, CGPoint{1, 1}, CGPoint{5, 5}}, to));
  EXPECT_FALSE(affineTransformForTransformPoints({CGPoint{2, 2}, CGPoint{2, 2}, CGPoint{2, 2}}, to));
}

TEST(AffineTransformAddition, SplitsScaleAndRotation) {
  const double angle = std::numbers::pi / 6;
  CGAffineTransform t = CGAffineTransformConcat(CGAffineTransformMakeScale(2, 3), CGAffineTransformMakeRotation(angle));
  CGSize scale;
  double rotation = 0;
  ASSERT_TRUE(obtainScale(t, &scale, &rotation));
  EXPECT_NEAR(scale.width, 2, 1e-12);
  EXPECT_NEAR(scale.height, 3, 1e-12);
  EXPECT_NEAR(rotation, angle, 1e-12);

  ASSERT_TRUE(obtainScale(CGAffineTransformMakeRotation(std::numbers::pi), &scale, &rotation));
  EXPECT_NEAR(rotation, std::numbers::pi, 1e-12);
  EXPECT_TRUE(obtainScale(CGAffineTransformMakeScale(-1, 1), &scale, nullptr));
  EXPECT_NEAR(scale.width, -1, 1e-12) << "a reflection";

  CGSize untouched{7, 7};
  double untouchedRotation = 9;
  EXPECT_FALSE(obtainScale(CGAffineTransformMake(1, 0, 0.5, 1, 0, 0), &untouched, &untouchedRotation)) << "shear";
  EXPECT_FALSE(obtainScale(CGAffineTransformMakeScale(0, 2), &untouched, &untouchedRotation)) << "collapsed axis";
  EXPECT_EQ(untouched, (CGSize{7, 7}));
  EXPECT_EQ(untouchedRotation, 9);
}

TEST(AffineTransformAddition, TransformSavedForOneCanvasFollowsAnother) {
  const CGAffineTransform saved = CGAffineTransformConcat(
      CGAffineTransformConcat(CGAffineTransformMakeScale(1.5, 1.5), CGAffineTransformMakeRotation(0.3)),
      CGAffineTransformMakeTranslation(100, 50));
  CGAffineTransform layer = saved;
  updateTransform(&layer, {1000, 500}, {2000, 1000}, false);
  // Every point of the layer lands where it did, measured on a canvas twice as large.
  const CGPoint p{40, 30};
  const CGPoint before = CGPointApplyAffineTransform(p, saved);
  const CGPoint after = CGPointApplyAffineTransform(p, layer);
  EXPECT_NEAR(after.x, before.x * 2, 1e-9);
  EXPECT_NEAR(after.y, before.y * 2, 1e-9);

  CGAffineTransform initial = saved;
  updateTransform(&initial, {1000, 500}, {2000, 1000}, true);
  EXPECT_EQ(initial.a, saved.a) << "the initial layer keeps its scale";
  EXPECT_EQ(initial.tx, 200);
  EXPECT_EQ(initial.ty, 100);

  for (auto [from, to] : {std::pair{CGSize{1000, 500}, CGSize{1000, 500}},
                          {CGSize{0, 500}, CGSize{2000, 1000}},
                          {CGSize{1000, 500}, CGSize{2000, 0}},
                          {CGSizeZero, CGSizeZero}}) {
    CGAffineTransform unchanged = saved;
    updateTransform(&unchanged, from, to, false);
    EXPECT_EQ(unchanged, saved) << from.width << "x" << from.height << " -> " << to.width << "x" << to.height;
  }
  updateTransform(nullptr, {1000, 500}, {2000, 1000}, false);
}
