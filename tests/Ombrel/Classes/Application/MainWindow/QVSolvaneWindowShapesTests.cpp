#include "Ombrel/Classes/Application/MainWindow/QVSolvaneWindowShapes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace S = QVSolvaneWindowShapes;

namespace {

QVSolvaneScreenMetrics metrics2560(bool plugin = false) {
  QVSolvaneScreenMetrics m;
  m.visibleSize = CGSizeMake(2560, 1415);
  m.mainScreenSize = CGSizeMake(2560, 1440);
  m.titleBarContainerHeight = 38;
  m.pluginMode = plugin;
  return m;
}

void expectSize(CGSize actual, double w, double h) {
  EXPECT_DOUBLE_EQ(actual.width, w);
  EXPECT_DOUBLE_EQ(actual.height, h);
}

}  // namespace

TEST(QVSolvaneWindowShapes, ModeTable) {
  struct Row {
    int64_t mode;
    CGSize frame, min, max;
    QVCornerRadii radii;
    bool titleBar, importMore, movable;
  };
  const Row rows[] = {
      {0, {452, 440}, {452, 440}, {452, 440}, QVSMakeCornerRadii(6, 6, 6, 6), false, false, true},
      {1, {800, 600}, {800, 600}, {800, 600}, QVSMakeCornerRadii(6, 6, 30, 6), true, true, true},
      {2, {1008, 762}, {1008, 762}, {2560, 1440}, QVSMakeCornerRadii(6, 6, 30, 6), true, true, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.mode);
    const auto shape = S::shapeForMode(row.mode, metrics2560());
    ASSERT_TRUE(shape.known);
    expectSize(shape.frameSize, row.frame.width, row.frame.height);
    expectSize(shape.minSize, row.min.width, row.min.height);
    expectSize(shape.maxSize, row.max.width, row.max.height);
    EXPECT_TRUE(QVSCornerRadiiIsEqual(shape.radii, row.radii));
    EXPECT_EQ(shape.showsTitleBar, row.titleBar);
    EXPECT_EQ(shape.showsImportMoreButton, row.importMore);
    EXPECT_EQ(shape.movableByBackground, row.movable);
    // A plug-in never shows the import-more button.
    EXPECT_FALSE(S::shapeForMode(row.mode, metrics2560(true)).showsImportMoreButton);
  }
  EXPECT_FALSE(S::shapeForMode(3, metrics2560()).known);
  EXPECT_FALSE(S::shapeForMode(-1, metrics2560()).known);
  expectSize(S::windowSizeForMode(0, metrics2560()), 452, 440);
  expectSize(S::windowSizeForMode(1, metrics2560()), 0, 0);
  expectSize(S::windowSizeForMode(2, metrics2560()), 1008, 762);
}

TEST(QVSolvaneWindowShapes, GalleryOpensCutToItsScreenAndCanStillShrink) {
  // The available area (points) and the title bar's container; the window's opening size and its
  // limit. A 2560 x 1440 screen at 2x is 1280 x 720 points: the gallery opens at the screen's full
  // height, and its limit must leave room to make it lower.
  struct Case {
    CGSize visible;
    double bar;
    CGSize frame, min;
  } cases[] = {
      {{2560, 1415}, 38, {1008, 762}, {1008, 762}},  // the designed size fits: it is the limit too
      {{1600, 1000}, 38, {1008, 762}, {1008, 762}},
      {{1280, 720}, 38, {1008, 720}, {1008, 540}},  // too low: three quarters of the height
      {{900, 700}, 38, {900, 700}, {675, 525}},     // too narrow and too low
      {{0, 0}, 0, {0, 0}, {0, 0}},                  // no screen and no container
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.visible.width << "x" << c.visible.height);
    QVSolvaneScreenMetrics m = metrics2560();
    m.visibleSize = c.visible;
    m.titleBarContainerHeight = c.bar;
    const auto shape = S::shapeForMode(QVScreenModeGallery, m);
    expectSize(shape.frameSize, c.frame.width, c.frame.height);
    expectSize(S::windowSizeForMode(QVScreenModeGallery, m), c.frame.width, c.frame.height);
    expectSize(shape.minSize, c.min.width, c.min.height);
    expectSize(S::galleryWindowMinSize(m), c.min.width, c.min.height);
    // Never above the screen, never above the size it opens at.
    EXPECT_LE(shape.minSize.width, std::min(c.visible.width, shape.frameSize.width));
    EXPECT_LE(shape.minSize.height, std::min(c.visible.height, shape.frameSize.height));
  }
}

TEST(QVSolvaneWindowShapes, FitsImagesToTheMainScreen) {
  const CGSize screen = CGSizeMake(2560, 1440);
  struct Case {
    CGSize image;
    double w, h;
  } cases[] = {
      {{6000, 2000}, 1024, 341},                              // 3:1 panorama: width 2560 / 2.5
      {{2000, 4000}, 480, 960},                               // 1:2 portrait: height 1440 / 1.5
      {{300, 100}, 600, 200},                                 // capped at twice the image
      {{100, 300}, 200, 600},    {{4000, 4000}, 1024, 1024},  // square counts as landscape
      {{0, 0}, 800, 600},                                     // degenerate sizes fit as the single-image window
      {{1000, 0}, 800, 600},     {{std::numeric_limits<double>::quiet_NaN(), 10}, 800, 600},
      {{-5, 10}, 800, 600},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.image.width << "x" << c.image.height);
    const CGSize fitted = S::fitWindowSizeFromImageSize(c.image, screen);
    expectSize(fitted, c.w, c.h);
  }
}

TEST(QVSolvaneWindowShapes, LimitsAroundAnImage) {
  const CGSize screen = CGSizeMake(2560, 1440);
  // A 1000 x 500 image: never more than twice it, never narrower than 800.
  const CGSize wide = CGSizeMake(1000, 500);
  auto limits = S::limitsAroundImage(S::fitWindowSizeFromImageSize(wide, screen), 1.5, wide);
  EXPECT_LE(limits.maxSize.width, 2000);
  EXPECT_LE(limits.maxSize.height, 1000);
  EXPECT_GE(limits.minSize.width, 800);
  expectSize(limits.minSize, 800, 600);
  expectSize(limits.maxSize, 1536, 768);
  // A portrait image takes the portrait minimum (600 x 800).
  const CGSize tall = CGSizeMake(1000, 2000);
  limits = S::limitsAroundImage(S::fitWindowSizeFromImageSize(tall, screen), 1.5, tall);
  expectSize(limits.minSize, 600, 800);
  expectSize(limits.maxSize, 720, 1440);
  // A small image: the maximum is twice the image.
  const CGSize small = CGSizeMake(400, 300);
  limits = S::limitsAroundImage(S::fitWindowSizeFromImageSize(small, screen), 1.5, small);
  expectSize(limits.maxSize, 800, 600);
}

TEST(QVSolvaneWindowShapes, CentresOnTheVisibleAreaWithItsOrigin) {
  const CGPoint p = S::centerPointForWindowWithSize(CGRectMake(2560, 25, 1920, 1055), CGSizeMake(452, 440));
  EXPECT_DOUBLE_EQ(p.x, 2560 + (1920 - 452) * 0.5);
  EXPECT_DOUBLE_EQ(p.y, 25 + (1055 - 440) * 0.5);
}

TEST(QVSolvaneWindowShapes, AnimatorFramesStepLinearlyOnTheScreen) {
  const CGRect screen = CGRectMake(100, 50, 2000, 1000);
  EXPECT_EQ(S::animatorFrameCount(0.5, 60), 30u);
  EXPECT_EQ(S::animatorFrameCount(0.26, 60), 15u);  // truncated
  EXPECT_EQ(S::animatorFrameCount(0, 60), 0u);
  EXPECT_EQ(S::animatorFrameCount(-1, 60), 0u);
  // Shrinking and growing alike: initial + n x (target - initial) / N.
  for (auto [from, to] : {std::pair{CGSizeMake(1000, 800), CGSizeMake(452, 440)},
                          std::pair{CGSizeMake(452, 440), CGSizeMake(1000, 800)}}) {
    const CGRect half = S::animatorFrame(from, to, screen, 5, 10);
    expectSize(half.size, (from.width + to.width) / 2, (from.height + to.height) / 2);
    EXPECT_DOUBLE_EQ(half.origin.x, 100 + (2000 - half.size.width) / 2);
    EXPECT_DOUBLE_EQ(half.origin.y, 50 + (1000 - half.size.height) / 2);
    expectSize(S::animatorFrame(from, to, screen, 10, 10).size, to.width, to.height);
    expectSize(S::animatorFrame(from, to, screen, 0, 10).size, from.width, from.height);
  }
}

TEST(QVSolvaneWindowShapes, EdgeResizeKeepsTheAspectRatioAndLimits) {
  const CGRect start = CGRectMake(100, 100, 1000, 500);
  const CGSize min = CGSizeMake(800, 400), max = CGSizeMake(1600, 800);
  // The right edge 100 further: 1100 x 550, left and top edges stay.
  CGRect f = S::aspectResizedFrame(start, 4, 100, 0, 2.0, min, max);
  expectSize(f.size, 1100, 550);
  EXPECT_DOUBLE_EQ(f.origin.x, 100);
  EXPECT_DOUBLE_EQ(f.origin.y + f.size.height, 600);
  // The left edge: the right edge stays.
  f = S::aspectResizedFrame(start, 2, -100, 0, 2.0, min, max);
  EXPECT_DOUBLE_EQ(f.origin.x + f.size.width, 1100);
  // The top edge up by 50 (y up): 1100 x 550 with the bottom edge kept.
  f = S::aspectResizedFrame(start, 1, 0, 50, 2.0, min, max);
  expectSize(f.size, 1100, 550);
  EXPECT_DOUBLE_EQ(f.origin.y, 100);
  // Far beyond the limits: clamped, still 2:1.
  f = S::aspectResizedFrame(start, 4 | 8, 5000, -5000, 2.0, min, max);
  expectSize(f.size, 1600, 800);
  f = S::aspectResizedFrame(start, 4, -5000, 0, 2.0, min, max);
  expectSize(f.size, 800, 400);
  // No ratio: each side on its own.
  f = S::aspectResizedFrame(start, 4 | 8, 100, -20, 0, min, max);
  expectSize(f.size, 1100, 520);
}

TEST(QVSolvaneWindowShapes, AFrameNeverLargerThanTheScreensAvailableArea) {
  // The available area of a 2560 x 1440 screen at 2x below a 25-point panel.
  const CGRect visible = CGRectMake(0, 0, 1280, 695);
  struct Row {
    const char* what;
    CGRect frame;
    double fixedTop;
    CGRect expected;
  };
  const Row rows[] = {
      {"fits: unchanged", CGRectMake(100, 50, 800, 600), 0, CGRectMake(100, 50, 800, 600)},
      {"too tall: shrinks about its centre, aspect kept", CGRectMake(240, -52.5, 790, 800), 0,
       CGRectMake(292, 0, 686, 695)},
      {"a square photo below a 36-point bar, then moved up onto the screen", CGRectMake(237, -91, 806, 842), 36,
       CGRectMake(311, 0, 659, 695)},
      {"too wide, then moved right onto the screen", CGRectMake(-100, 100, 2000, 500), 0,
       CGRectMake(0, 190, 1280, 320)},
      {"fits but lies partly off the screen: moved in", CGRectMake(900, 400, 600, 400), 0,
       CGRectMake(680, 295, 600, 400)},
  };
  for (const Row& row : rows) {
    const CGRect fitted = S::frameFittedInVisibleRect(row.frame, visible, row.fixedTop);
    EXPECT_EQ(fitted, row.expected) << row.what;
    EXPECT_LE(fitted.size.width, visible.size.width) << row.what;
    EXPECT_LE(fitted.size.height, visible.size.height) << row.what;
  }
  // Without a screen nothing changes.
  EXPECT_EQ(S::frameFittedInVisibleRect(CGRectMake(0, 0, 5000, 5000), CGRectZero), CGRectMake(0, 0, 5000, 5000));
}
