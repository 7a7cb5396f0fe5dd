// The engine's clone brush: copies the source patch under the brush, only inside the process mask,
// erase paints the original back, stroke previews that are never kept, the map of retouched
// pixels, and regions cut and scaled for previews.
#include <gtest/gtest.h>

#include <algorithm>

#include "rova/masks/CloneStampController.h"

namespace {

using rova::PixelRGB;

// A 100 x 50 picture whose pixels tell where they are: r = x / 100, g = y / 50, b = 0.5.
rova::ImageDataRGBfPtr positions() {
  auto image = rova::ImageDataRGBf::create(100, 50);
  for (int y = 0; y < 50; ++y)
    for (int x = 0; x < 100; ++x) image->at(x, y) = {x / 100.0f, y / 50.0f, 0.5f};
  return image;
}

bool samePixels(const rova::ImageDataRGBf& a, const rova::ImageDataRGBf& b) {
  return a.width() == b.width() && a.height() == b.height() &&
         std::equal(a.floats(), a.floats() + a.pixelCount() * 3, b.floats());
}

void strokeAround(rova::CloneStampController& c, double x, double y) {
  c.beginStroke();
  c.addPoint(x, y, 0.05, 1.0, 0.0);  // 5 px hard brush
  c.endStroke();
}

TEST(CloneStampController, CopiesSourcePatchUnderBrushOnly) {
  auto image = positions();
  rova::CloneStampController c(image);
  c.setClonePoint(20, 10);
  c.setStampPoint(70, 30);
  strokeAround(c, 0.7, 0.6);  // brush centred on the stamp point
  const auto& out = *c.workingImage();
  EXPECT_EQ(out.at(70, 30), image->at(20, 10));
  EXPECT_EQ(out.at(72, 31), image->at(22, 11));
  EXPECT_EQ(out.at(80, 30), image->at(80, 30));  // outside the brush
  EXPECT_EQ(c.takeUpdateRect(), (rova::RectRoi{65, 25, 10, 10}));
  EXPECT_TRUE(c.takeUpdateRect().isZero());
  EXPECT_TRUE(samePixels(*c.original(), *image)) << "the original stays untouched";

  c.setBrushMode(rova::BrushMode::Erase);
  strokeAround(c, 0.7, 0.6);
  EXPECT_TRUE(samePixels(*c.workingImage(), *image));
}

TEST(CloneStampController, ProcessMaskLimitsTheStroke) {
  auto image = positions();
  rova::CloneStampController c(image);
  auto mask = rova::MaskImage::make(100, 50);
  for (int y = 0; y < 50; ++y)
    for (int x = 0; x < 70; ++x) mask->values()[y * 100 + x] = 1.0f;  // left of column 70 only
  c.setProcessMask(mask);
  c.setClonePoint(20, 10);
  c.setStampPoint(70, 30);
  strokeAround(c, 0.7, 0.6);
  EXPECT_EQ(c.workingImage()->at(68, 30), image->at(18, 10));
  EXPECT_EQ(c.workingImage()->at(70, 30), image->at(70, 30));
  EXPECT_EQ(c.workingImage()->at(73, 32), image->at(73, 32));

  c.setProcessMask(rova::MaskImage::make(10, 10));  // wrong size: refused, nothing acts
  strokeAround(c, 0.3, 0.3);
  EXPECT_FALSE(c.addPoint(0.3, 0.3, 0.05, 1, 0));
}

TEST(CloneStampController, PreviewShowsOneDabAndIsNeverKept) {
  auto image = positions();
  rova::CloneStampController c(image);
  c.setClonePoint(20, 10);
  c.setStampPoint(70, 30);
  ASSERT_TRUE(c.previewAt(0.7, 0.6, 0.05, 1.0, 0.0));
  EXPECT_EQ(c.workingImage()->at(70, 30), image->at(20, 10));
  EXPECT_EQ(c.takeUpdateRect(), (rova::RectRoi{65, 25, 10, 10}));
  EXPECT_TRUE(samePixels(*c.fullResult(), *image)) << "the full result leaves the preview out";
  EXPECT_FALSE(samePixels(*c.fullResult(true), *image));
  EXPECT_FALSE(c.previewImage()) << "a preview is not a stroke";

  c.cancelPreview();
  EXPECT_TRUE(samePixels(*c.workingImage(), *image));
  EXPECT_EQ(c.takeUpdateRect(), (rova::RectRoi{65, 25, 10, 10})) << "taking it back is a change too";

  // A preview moved and then a stroke: only the stroke stays, exactly as without previews.
  c.previewAt(0.3, 0.4, 0.05, 1.0, 0.0);
  c.previewAt(0.7, 0.6, 0.05, 1.0, 0.0);
  strokeAround(c, 0.7, 0.6);
  rova::CloneStampController plain(image);
  plain.setClonePoint(20, 10);
  plain.setStampPoint(70, 30);
  strokeAround(plain, 0.7, 0.6);
  EXPECT_TRUE(samePixels(*c.workingImage(), *plain.workingImage()));
  EXPECT_TRUE(samePixels(*c.fullResult(), *plain.workingImage()));
}

TEST(CloneStampController, PreviewImageMapsWhereStrokesActed) {
  rova::CloneStampController c(positions());
  c.setClonePoint(20, 10);
  c.setStampPoint(70, 30);
  strokeAround(c, 0.7, 0.6);
  ASSERT_TRUE(c.previewImage());
  EXPECT_EQ(c.previewImage()->at(70, 30), 1.0f);
  EXPECT_EQ(c.previewImage()->at(10, 10), 0.0f);
  EXPECT_EQ(c.takePreviewUpdateRect(), (rova::RectRoi{65, 25, 10, 10}));
  EXPECT_TRUE(c.takePreviewUpdateRect().isZero());
  c.setBrushMode(rova::BrushMode::Erase);
  strokeAround(c, 0.7, 0.6);
  EXPECT_EQ(c.previewImage()->at(70, 30), 0.0f);
  EXPECT_EQ(c.takePreviewUpdateRect(), (rova::RectRoi{65, 25, 10, 10}));
}

TEST(CloneStampController, LastResultPartIsThatPartOfTheWhole) {
  rova::CloneStampController c(positions());
  c.setClonePoint(20, 10);
  c.setStampPoint(70, 30);
  strokeAround(c, 0.7, 0.6);
  const rova::RectRoiF region{10, 5, 80, 40};
  const auto whole = c.lastResult({40, 20}, {}, region);
  ASSERT_TRUE(whole);
  EXPECT_TRUE(samePixels(*whole, *rova::cutAndScale(*c.workingImage(), region, {40, 20})));
  const auto part = c.lastResult({40, 20}, {25, 8, 6, 5}, region);
  ASSERT_TRUE(part);
  EXPECT_TRUE(samePixels(*part, *whole->copy({25, 8, 6, 5})));
  EXPECT_TRUE(samePixels(*c.lastResult({100, 50}, {}, {}), *c.workingImage())) << "zero region: the canvas";
  EXPECT_FALSE(c.lastResult({40, 20}, {50, 0, 5, 5}, region)) << "a part outside the output";
}

TEST(CloneStampController, CutAndScale) {
  auto image = positions();
  auto half = rova::cutAndScale(*image, {50, 0, 50, 50}, {25, 25});
  ASSERT_TRUE(half);
  EXPECT_NEAR(half->at(0, 0).r, 0.505f, 1e-5);  // average of columns 50 and 51
  EXPECT_NEAR(half->at(24, 24).g, 48.5f / 50, 1e-5);
}

}  // namespace
