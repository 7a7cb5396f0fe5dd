#include <gtest/gtest.h>
#include <QGuiApplication>
#include <QTest>
#include <QWindow>

#include <cmath>
#include <memory>

#include "CompareTestSupport.h"
#include "Ombrel/Classes/Application/Common/QVExportSingleImageAnimator.h"
#include "Ombrel/Classes/Application/Common/QVSCompareGeometry.h"
#include "Ombrel/Classes/Application/Common/QVSImageViewController.h"
#include "QVAppKit/QVAnimationDriver.h"

namespace {

using namespace QVSCompareGeometry;

TEST(QVSCompareGeometry, PlacementKeepsTheLineWithinHalfItsWidthOfEitherEdge) {
  struct Case {
    double width, lineWidth, factor, offset;
  };
  // Range of a 6-point strip: location 6, length W - 6; offset = floor(f x m) + 6 - floor(W / 2).
  const Case cases[] = {
      {900, 6, 1.0 / 3, 298 + 6 - 450},  // m 894
      {900, 6, 0.5, 447 + 6 - 450},
      {900, 6, 0.0, 6 - 450},
      {900, 6, 1.0, 447},    // 894 + 6 - 450 = 450, kept at 450 - 3
      {900, 6, -0.5, -447},  // beyond the left edge
      {901, 6, 1.0, 447},    // odd widths: h = 450
      {100, 10, 2.0, 45},    // e = 5
  };
  for (const Case& c : cases) {
    const auto range = allowedRange(c.width, 0, c.lineWidth, 0);
    EXPECT_EQ(offsetForFactor(c.factor, c.width, c.lineWidth, range, false), c.offset) << c.width << " " << c.factor;
    EXPECT_EQ(offsetForFactor(c.factor, c.width, c.lineWidth, range, true), -c.offset);
  }
  EXPECT_EQ(allowedRange(900, 0, 6, 0), (QVSplitPositionRange{6, 894}));
  EXPECT_EQ(allowedRange(4, 0, 6, 0), (QVSplitPositionRange{6, 0}));
}

TEST(QVSCompareGeometry, DragsGiveFactorsAndNothingWhileTheUsableWidthIsZero) {
  const auto range = allowedRange(900, 0, 6, 0);
  EXPECT_DOUBLE_EQ(*factorForPosition(6 + 447, 900, 0, 6, range, false), 0.5);
  EXPECT_DOUBLE_EQ(*factorForPosition(5000, 900, 0, 6, range, false), 1.0);
  // Right to left the pointer is mirrored, so the line stays under it.
  const double f = *factorForPosition(300, 900, 0, 6, range, true);
  EXPECT_NEAR(450 + offsetForFactor(f, 900, 6, range, true), 300, 1.0);
  EXPECT_FALSE(factorForPosition(10, 0, 0, 6, allowedRange(0, 0, 6, 0), false).has_value());
  EXPECT_FALSE(factorForPosition(10, 5, 0, 6, allowedRange(5, 0, 6, 0), false).has_value());
}

class Compare : public ::testing::Test {
 protected:
  void SetUp() override {
    driver().useManualClock();
    driver().cancelAll();
  }
  void TearDown() override {
    animator.reset();
    vc.reset();
    driver().cancelAll();
    QGuiApplication::setLayoutDirection(Qt::LeftToRight);
  }
  static QVAnimationDriver& driver() { return QVAnimationDriver::shared(); }
  void make(double width = 900, double height = 600) {
    vc = std::make_unique<QVSImageViewController>(compare_test::flatImage(90, 60, 255, 0, 0));
    vc->updateCompareImage(compare_test::flatImage(90, 60, 0, 0, 255));
    vc->rootView()->setFrame(CGRectMake(0, 0, width, height));
    vc->rootView()->layoutSubtreeIfNeeded();
  }
  double width() const { return vc->rootView()->bounds().size.width; }
  double expectedOffset(double factor) const {
    return offsetForFactor(factor, width(), 6, allowedRange(width(), 0, 6, 0),
                           QGuiApplication::layoutDirection() == Qt::RightToLeft);
  }
  QWidget* lineTracker() { return vc->splitLineMouseTrackingView(); }
  QPointF lineCentreInTracker() { return QPointF(lineTracker()->width() / 2.0, 100); }

  std::unique_ptr<QVSImageViewController> vc;
  std::shared_ptr<QVExportSingleImageAnimator> animator;
};

TEST_F(Compare, StartsAtAThirdWithTheCurtainHiddenAndKeepsTheFactorThroughResizes) {
  make();
  EXPECT_DOUBLE_EQ(vc->splitFactor(), 1.0 / 3);
  EXPECT_FALSE(vc->curtainEnabled());
  EXPECT_EQ(vc->splitLineWidth(), 6);
  EXPECT_EQ(vc->splitLineOffset(), expectedOffset(1.0 / 3));
  vc->setSplitFactor(0.25);
  vc->rootView()->setFrame(CGRectMake(0, 0, 1500, 700));
  vc->rootView()->layoutSubtreeIfNeeded();
  EXPECT_EQ(vc->splitFactor(), 0.25);
  EXPECT_EQ(vc->splitLineOffset(), expectedOffset(0.25));
  EXPECT_EQ(vc->compareView()->lineCentre(), 750 + expectedOffset(0.25));
}

TEST_F(Compare, ADoubleClickResetsBeforeTheDragOffsetIsTaken) {
  make();
  vc->setCurtainEnabled(true);
  vc->setSplitFactor(0.8);
  const double centreAt08 = vc->compareView()->lineCentre();
  // Press 5 points right of the line's centre, with a double click.
  compare_test::send(lineTracker(), QEvent::MouseButtonDblClick, lineCentreInTracker() + QPointF(5, 0));
  EXPECT_DOUBLE_EQ(vc->splitFactor(), 1.0 / 3);
  const double centreAtThird = 450 + expectedOffset(1.0 / 3);
  // The delta is taken against the reset line: the pointer was at centreAt08 + 5.
  EXPECT_DOUBLE_EQ(vc->startDragDelta(), centreAt08 + 5 - centreAtThird);
  compare_test::send(lineTracker(), QEvent::MouseButtonRelease, lineCentreInTracker());
}

TEST_F(Compare, DraggingMovesTheLineWithThePointerAndStopsAtTheEdges) {
  make();
  vc->setCurtainEnabled(true);
  QWidget* tracker = lineTracker();
  const QPointF start = lineCentreInTracker();
  compare_test::send(tracker, QEvent::MouseButtonPress, start);
  const double before = vc->compareView()->lineCentre();
  compare_test::send(tracker, QEvent::MouseMove, start + QPointF(200, 0));
  EXPECT_NEAR(vc->compareView()->lineCentre(), before + 200, 1.0);
  compare_test::send(tracker, QEvent::MouseMove, start + QPointF(5000, 0));
  EXPECT_EQ(vc->compareView()->lineCentre(), 900 - 3);
  compare_test::send(tracker, QEvent::MouseMove, start - QPointF(5000, 0));
  EXPECT_EQ(vc->compareView()->lineCentre(), 3);
  compare_test::send(tracker, QEvent::MouseButtonRelease, start);
  // The hit strip followed the line.
  EXPECT_NEAR(vc->splitLineMouseTrackingView()->frame().origin.x + QVSCompareViewController::kHitStripWidth / 2, 3,
              1.0);
}

TEST_F(Compare, APressThroughTheWindowOnTheLineOrItsLabelsDragsTheLine) {
  // The pointer as the window system hands it over: the window finds the widget under it, so a
  // view lying over the line (the overlay that dims the screen, at rest transparent) would take it.
  struct Case {
    const char* where;
    QWidget* (*tracker)(QVSCompareViewController&);
  };
  const Case cases[] = {
      {"line", [](QVSCompareViewController& c) -> QWidget* { return c.splitLineMouseTrackingView(); }},
      {"labels", [](QVSCompareViewController& c) -> QWidget* { return c.beforeAfterLabelsContainer(); }},
  };
  for (const Case& c : cases) {
    make();
    vc->setCurtainEnabled(true);
    QWidget* root = vc->rootView();
    root->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(root));
    QWindow* window = root->windowHandle();
    const QPoint start = c.tracker(*vc)->geometry().center();
    const double before = vc->compareView()->lineCentre();
    QTest::mousePress(window, Qt::LeftButton, {}, start);
    for (int step = 1; step <= 4; ++step) QTest::mouseMove(window, start + QPoint(40 * step, 0));
    QTest::mouseRelease(window, Qt::LeftButton, {}, start + QPoint(160, 0));
    EXPECT_NEAR(vc->compareView()->lineCentre(), before + 160, 1.0) << c.where;
    root->hide();
  }
}

TEST_F(Compare, SourceLeftOfTheLineAndResultRightOfIt) {
  make(300, 200);
  vc->setCurtainEnabled(true);
  vc->compareView()->setCompareAlpha(1);
  const QImage grab = vc->rootView()->grab().toImage();
  const int line = int(vc->compareView()->lineCentre());
  const QColor left = grab.pixelColor(line - 20, 150), right = grab.pixelColor(line + 20, 150);
  const QColor onLine = grab.pixelColor(line, 150);
  EXPECT_EQ(left, QColor(255, 0, 0));
  EXPECT_EQ(right, QColor(0, 0, 255));
  EXPECT_EQ(onLine, QColor(255, 255, 255));
  // At half strength the result is laid over the source.
  vc->compareView()->setCompareAlpha(0.5);
  const QColor mixed = vc->rootView()->grab().toImage().pixelColor(line + 20, 150);
  EXPECT_NEAR(mixed.red(), 128, 3);
  EXPECT_NEAR(mixed.blue(), 128, 3);
}

TEST_F(Compare, TheCurtainOwnsTheLineUntilItRestsAtAThirdPlusTheLineWidth) {
  make();
  vc->setCurtainEnabled(true);
  animator = QVExportSingleImageAnimator::make(vc.get());
  animator->hideCurtainAndDisableConstraints();
  EXPECT_FALSE(vc->splitLineLayoutUpdatesEnabled());
  EXPECT_GT(vc->compareView()->lineCentre(), 900);
  EXPECT_GT(vc->compareView()->compareEdge(), 900);
  std::vector<bool> ends;
  animator->animateWithDefaultDurationAndCompletion([&](bool finished) { ends.push_back(finished); });
  driver().advance(0.1);
  const double moving = vc->splitLineOffset();
  // A layout pass (a resize) leaves the line where the spring put it.
  vc->rootView()->setFrame(CGRectMake(0, 0, 900, 601));
  vc->rootView()->layoutSubtreeIfNeeded();
  EXPECT_EQ(vc->splitLineOffset(), moving);
  // Labels and the revealed result follow the line.
  EXPECT_EQ(vc->compareView()->labelsCentre(), vc->compareView()->lineCentre());
  driver().advance(3);
  ASSERT_EQ(ends, std::vector<bool>{true});
  EXPECT_EQ(vc->splitLineOffset(), -900 / 2.0 + 900 / 3.0 + 6);
  EXPECT_TRUE(vc->splitLineLayoutUpdatesEnabled());
  EXPECT_EQ(vc->compareView()->compareEdge(), vc->compareView()->lineCentre() + 3);
}

TEST_F(Compare, ACancelledCurtainRestsAtTheSameOffsetWithoutItsCompletion) {
  make();
  animator = QVExportSingleImageAnimator::make(vc.get());
  animator->hideCurtainAndDisableConstraints();
  int ends = 0;
  animator->animateWithDefaultDurationAndCompletion([&](bool) { ++ends; });
  driver().advance(0.05);
  animator->cancel();
  EXPECT_EQ(vc->splitLineOffset(), -900 / 2.0 + 900 / 3.0 + 6);
  EXPECT_TRUE(vc->splitLineLayoutUpdatesEnabled());
  driver().advance(2);
  EXPECT_EQ(ends, 0);
}

TEST_F(Compare, RightToLeftStartsAtTwoThirdsMirrored) {
  QGuiApplication::setLayoutDirection(Qt::RightToLeft);
  make();
  EXPECT_DOUBLE_EQ(vc->splitFactor(), 2.0 / 3);
  const auto range = allowedRange(900, 0, 6, 0);
  EXPECT_EQ(vc->splitLineOffset(), -offsetForFactor(2.0 / 3, 900, 6, range, false));
  // The result lies left of the line.
  vc->setCurtainEnabled(true);
  const QImage grab = vc->rootView()->grab().toImage();
  const int line = int(vc->compareView()->lineCentre());
  EXPECT_EQ(grab.pixelColor(line - 20, 300), QColor(0, 0, 255));
  EXPECT_EQ(grab.pixelColor(line + 20, 300), QColor(255, 0, 0));
}

}  // namespace
