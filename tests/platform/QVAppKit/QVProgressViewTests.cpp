#include "QVAppKit/QVProgressView.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <cmath>
#include <memory>

#include "QVAppKit/QVAnimationDriver.h"
#include "QVPlatform/MainExecutor.h"

namespace {

class ProgressView : public ::testing::Test {
 protected:
  void SetUp() override {
    driver().useManualClock();
    driver().cancelAll();
    main().useManualClock();
    main().discardPending();
    // Inner bar width 200 (the bar is inset by a point on every side).
    view.reset(QVMake<QVProgressView>(CGRectMake(0, 0, 202, 10)));
  }
  void TearDown() override {
    view.reset();
    driver().cancelAll();
    main().discardPending();
  }
  static QVAnimationDriver& driver() { return QVAnimationDriver::shared(); }
  static qv::MainExecutor& main() { return qv::MainExecutor::shared(); }
  void start(uint64_t parts) {
    view->setPartsCount(parts);
    view->startAnimation();
    main().runUntilIdle();
  }
  double barWidth() const { return view->progressLayer().frame.size.width; }

  std::unique_ptr<QVProgressView> view;
};

TEST_F(ProgressView, WidthStepsAndDurations) {
  struct Case {
    uint64_t parts, current;
    double width, duration;
  } cases[] = {{4, 0, 30, 3.0}, {4, 1, 80, 3.0}, {4, 4, 200, 1.0}, {4, 7, 200, 1.0}, {3, 1, 107, 3.0}};
  for (const auto& c : cases) {
    SetUp();
    view->setCurrentPart(c.current);
    start(c.parts);
    EXPECT_EQ(view->lastTargetWidth(), c.width) << c.parts << "/" << c.current;
    EXPECT_EQ(view->lastAnimationDuration(), c.duration);
    driver().advance(c.duration - 0.1);
    EXPECT_LT(barWidth(), c.width);
    EXPECT_EQ(view->animationCount(), 1);
    driver().advance(0.2);
    EXPECT_EQ(barWidth(), c.width);
    EXPECT_EQ(view->animationCount(), 0);
    EXPECT_FALSE(view->isUpdating());
    EXPECT_EQ(view->progressLayer().frame.origin.x, 1);
    EXPECT_EQ(view->progressLayer().cornerRadius, 4);
  }
}

// A short export reports its steps a quarter of a second apart, quicker than a step lasts: the
// bar must move from the start, show each part done soon after it is reported and never go back.
TEST_F(ProgressView, FollowsStepsThatComeFasterThanOneStepLasts) {
  start(3);
  const double partWidth = 200.0 / 3;
  double last = 0;
  auto run = [&](double seconds) {
    for (double t = 0; t < seconds; t += 1.0 / 60) {
      driver().advance(1.0 / 60);
      EXPECT_GE(barWidth(), last - 1e-9) << "the bar went back";
      last = barWidth();
    }
  };
  run(0.25);
  // A fifth of the running part's lead (0.6 part) is shown within a quarter of a second.
  EXPECT_GE(barWidth(), 0.2 * 0.6 * partWidth);
  for (uint64_t done : {1, 2}) {
    view->setCurrentPart(done);
    view->layoutSubtreeIfNeeded();
    run(0.4);
    EXPECT_GE(barWidth(), done * partWidth - 1) << done << " parts done";
  }
  view->setCurrentPart(3);
  view->layoutSubtreeIfNeeded();
  run(1.1);
  EXPECT_EQ(barWidth(), 200);
}

// The export panel fades in as the export starts, and a fading view draws a kept picture of its
// subtree: the bar and the stripes must still be seen moving under it.
TEST_F(ProgressView, MovesWhileItsPanelFadesIn) {
  std::unique_ptr<QVView> window(QVMake<QVView>(CGRectMake(0, 0, 202, 10)));
  auto* panel = QVMake<QVView>(CGRectMake(0, 0, 202, 10));
  window->addSubview(panel);
  auto* bar = view.release();
  panel->addSubview(bar);
  view.reset(QVMake<QVProgressView>(CGRectMake(0, 0, 202, 10)));  // the fixture's, unused here
  bar->setPartsCount(3);
  bar->startAnimation();
  main().runUntilIdle();
  panel->setAlpha(0.5);
  const QImage before = window->grab().toImage();
  driver().advance(0.5);
  const QImage after = window->grab().toImage();
  EXPECT_GT(bar->progressLayer().frame.size.width, 0);
  EXPECT_NE(before, after) << "the fading panel still shows the bar as it was";
}

TEST_F(ProgressView, NoPartsOrNotStartedDrawsNothing) {
  view->setCurrentPart(3);
  view->layoutSubtreeIfNeeded();
  EXPECT_EQ(barWidth(), 0);  // not started
  start(0);
  EXPECT_EQ(barWidth(), 0);
  EXPECT_EQ(view->animationCount(), 0);
}

TEST_F(ProgressView, TheFirstNarrowStepStaysInsideTheBarsRoundedEnd) {
  // A hundred parts: the running first part is a fill 1 point wide, narrower than the end's curve.
  view->setProgressColor(QColor(0, 255, 0));
  start(100);
  driver().advance(3.5);
  ASSERT_EQ(barWidth(), 1);
  for (const double dpr : {1.0, 2.0}) {
    SCOPED_TRACE(dpr);
    auto image = [dpr] {
      QImage out(QSize(202, 10) * dpr, QImage::Format_ARGB32_Premultiplied);
      out.setDevicePixelRatio(dpr);
      out.fill(Qt::transparent);
      return out;
    };
    QImage drawn = image(), body = image();
    view->render(&drawn);
    QPainter painter(&body);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath inner;
    inner.addRoundedRect(QRectF(1, 1, 200, 8), 4, 4);
    painter.fillPath(inner, Qt::black);
    painter.end();
    // Green over the black bar: how much of the fill a pixel shows, never more than the bar covers it.
    int filled = 0, outside = 0;
    for (int y = 0; y < drawn.height(); ++y)
      for (int x = 0; x < drawn.width(); ++x) {
        const QRgb pixel = drawn.pixel(x, y);
        const int green = qGreen(pixel) - qRed(pixel);
        filled += green > 0;
        outside += green > qAlpha(body.pixel(x, y)) + 8;
      }
    EXPECT_GT(filled, 0);
    EXPECT_EQ(outside, 0);
  }
}

TEST_F(ProgressView, SameCurrentPartStartsNothing) {
  start(4);
  driver().advance(3.5);
  ASSERT_FALSE(view->isUpdating());
  view->setCurrentPart(0);
  EXPECT_FALSE(view->isUpdating());
  EXPECT_FALSE(view->needsLayout());
  view->setCurrentPart(1);
  EXPECT_TRUE(view->isUpdating());
  EXPECT_TRUE(view->needsLayout());
}

TEST_F(ProgressView, CompletionRunsOnceAfterTheLastStep) {
  start(4);
  view->setCurrentPart(1);
  view->layoutSubtreeIfNeeded();
  // The first step was taken over by the second and has reported its end.
  EXPECT_EQ(view->animationCount(), 1);
  EXPECT_TRUE(view->isUpdating());
  int calls = 0;
  view->waitEndAnimationWithCompletion([&] { ++calls; });
  main().advance(0.2);
  EXPECT_EQ(calls, 0);  // still updating
  view->stopAnimation();
  EXPECT_TRUE(view->isUpdating());  // until the running step ends
  driver().advance(3.1);
  EXPECT_EQ(calls, 1);
  EXPECT_FALSE(view->isUpdating());
  driver().advance(1);
  main().advance(1);
  EXPECT_EQ(calls, 1);
}

TEST_F(ProgressView, CompletionWithNothingRunningWaitsATenthOfASecond) {
  int calls = 0;
  view->waitEndAnimationWithCompletion([&] { ++calls; });
  main().advance(0.09);
  EXPECT_EQ(calls, 0);
  main().advance(0.02);
  EXPECT_EQ(calls, 1);
  main().advance(1);
  EXPECT_EQ(calls, 1);
}

TEST_F(ProgressView, ReuseEmptiesTheBar) {
  start(2);
  driver().advance(3.1);
  ASSERT_GT(barWidth(), 0);
  view->prepareForReuse();
  EXPECT_EQ(barWidth(), 0);
  EXPECT_TRUE(view->progressLayer().hidden);
  EXPECT_EQ(view->partsCount(), 0u);
  EXPECT_FALSE(view->progressStarted());
}

TEST_F(ProgressView, ReuseDuringAStepKeepsTheCountHonest) {
  start(4);
  ASSERT_EQ(view->animationCount(), 1);
  view->prepareForReuse();
  driver().advance(3.5);
  EXPECT_EQ(view->animationCount(), 0);  // not −1 from the step of the previous use
  int calls = 0;
  start(2);
  view->waitEndAnimationWithCompletion([&] { ++calls; });
  driver().advance(3.5);
  EXPECT_EQ(view->animationCount(), 0);
  EXPECT_EQ(calls, 1);
}

TEST_F(ProgressView, StripesDriftThirteenPointsASecondAndWrap) {
  auto& stripes = view->animatedBackgroundLayer();
  view->layout();
  EXPECT_EQ(stripes.frame().size.height, 33);
  EXPECT_EQ(stripes.frame().size.width, 300);
  EXPECT_EQ(stripes.frame().origin.y, (8 - 33) * 0.5);
  EXPECT_EQ(stripes.maskFrame().origin.y + stripes.frame().origin.y, 1);  // the mask is the bar
  stripes.startAnimation();
  driver().advance(1.0);
  EXPECT_NEAR(stripes.sawtoothX(), -13, 1e-9);
  stripes.stopAnimation();
  driver().advance(1.0);
  EXPECT_NEAR(stripes.sawtoothX(), -13, 1e-9);  // stopped stripes stand still
  int wrappedAt = 0;
  for (int step = 31; step < 400 && !wrappedAt; ++step) {
    stripes.updateLineBar();
    EXPECT_LT(std::fabs(stripes.sawtoothX()), 130 + 13.0 / 30 + 1e-9);
    if (stripes.sawtoothX() == 0) wrappedAt = step;
  }
  EXPECT_GE(wrappedAt, 300);
  EXPECT_LE(wrappedAt, 302);
}

TEST(ProgressStripes, SawtoothOutlineRisesEveryThirteenPoints) {
  QVProgressAnimatedBackgroundLayer layer(26);
  const auto points = layer.sawtoothOutline();
  const std::vector<CGPoint> expected{{0, 0}, {0, 33}, {13, 0}, {13, 33}, {26, 0}, {26, 33}, {39, 0}, {0, 0}};
  ASSERT_EQ(points.size(), expected.size());
  for (size_t i = 0; i < points.size(); ++i) EXPECT_EQ(points[i], expected[i]) << i;
}

}  // namespace
