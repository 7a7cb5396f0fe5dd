// Which output pixels a change of canvas pixels reaches, and the image compute unit's working
// image for its transform.
#include <gtest/gtest.h>

#include <algorithm>

#include "rova/masks/ComputeUnit.h"

namespace {

TEST(ComputeUnit, OutputRectForChange) {
  struct Case {
    const char* name;
    rova::RectRoi changed;
    rova::RectRoiF region;
    double scale;
    rova::Size output;
    rova::RectRoi expected;
  };
  const Case cases[] = {
      {"same scale, widened by one", {10, 20, 5, 5}, {0, 0, 100, 100}, 1, {100, 100}, {9, 19, 7, 7}},
      {"half scale, region offset", {50, 30, 10, 4}, {40, 20, 60, 60}, 0.5, {30, 30}, {4, 4, 7, 4}},
      {"cut to the output", {0, 0, 8, 8}, {0, 0, 100, 100}, 1, {100, 100}, {0, 0, 9, 9}},
      {"outside the region", {0, 0, 8, 8}, {50, 50, 50, 50}, 1, {50, 50}, {}},
      {"nothing changed", {}, {0, 0, 100, 100}, 1, {100, 100}, {}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(rova::outputRectForChange(c.changed, c.region, c.scale, c.scale, c.output), c.expected) << c.name;
}

TEST(ComputeUnit, WorkingImageFollowsTheTransform) {
  auto image = rova::ImageDataRGBf::create(60, 40);
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 60; ++x) image->at(x, y) = {float(x), float(y), 1};
  rova::ImageComputeUnit unit(image);
  const auto whole = unit.workingImage();
  ASSERT_TRUE(whole);
  EXPECT_EQ(whole->width(), 60);
  EXPECT_EQ(whole->at(59, 39), image->at(59, 39)) << "no transform: the picture as it is";
  EXPECT_EQ(unit.workingImage(), whole) << "kept while the transform stays";

  unit.setTransform({{30, 0, 30, 20}, {15, 10}});
  const auto part = unit.workingImage();
  ASSERT_TRUE(part);
  EXPECT_EQ(part->width(), 15);
  EXPECT_EQ(part->height(), 10);
  EXPECT_FLOAT_EQ(part->at(0, 0).r, 30.5f);
  EXPECT_FLOAT_EQ(part->at(0, 0).g, 0.5f);
}

}  // namespace
