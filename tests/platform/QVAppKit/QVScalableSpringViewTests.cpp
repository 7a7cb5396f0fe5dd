#include "QVAppKit/QVScalableSpringView.h"

#include <gtest/gtest.h>

#include <memory>

#include "MouseTestSupport.h"
#include "QVAppKit/NSView+SpringAnimation.h"
#include "QVAppKit/NSView+TrackingLoop.h"
#include "QVAppKit/QVAnimationDriver.h"

namespace {

using namespace mouse_test;

class CountingSpringView : public QVScalableSpringView {
 public:
  using QVScalableSpringView::QVScalableSpringView;
  void onClickReleased() override { ++released; }
  int released = 0;
};

class Overlapping : public QVMouseEventTrackingViewDelegate {
 public:
  std::optional<bool> mouseTrackingViewShouldInvalidateCursorCollisingWithOtherTrackers(
      QVMouseEventTrackingView*, const std::vector<QVMouseEventTrackingView*>& others) override {
    othersSeen = others.size();
    return true;
  }
  size_t othersSeen = 0;
};

class Tracking : public ::testing::Test {
 protected:
  void SetUp() override {
    driver().useManualClock();
    driver().cancelAll();
    window.reset(QVMake<QVView>(CGRectMake(0, 0, 400, 300)));
    view = QVMake<CountingSpringView>(CGRectMake(100, 100, 100, 40));
    window->addSubview(view);
  }
  void TearDown() override { driver().cancelAll(); }
  static QVAnimationDriver& driver() { return QVAnimationDriver::shared(); }

  std::unique_ptr<QVView> window;
  CountingSpringView* view = nullptr;
};

TEST_F(Tracking, EnabledFlagHidesTheViewAndDropsItsAreas) {
  view->setMouseMoveTrackEnabled(true);
  view->setMouseMoveTrackEnabled(true);
  ASSERT_TRUE(view->mouseMovedArea());
  EXPECT_TRUE(view->hasMouseTracking());
  EXPECT_EQ(view->mouseMovedArea()->rect, CGRectMake(0, 0, 100, 40));

  view->setEnabled(false);
  EXPECT_TRUE(view->isHidden());
  EXPECT_FALSE(view->userInteractionEnabled());
  EXPECT_FALSE(view->mouseMovedArea());
  EXPECT_FALSE(view->mouseEnteredOrExitedArea());

  view->setEnabled(true);
  EXPECT_FALSE(view->isHidden());
  EXPECT_TRUE(view->mouseMovedArea());
  ASSERT_TRUE(view->mouseEnteredOrExitedArea());
  EXPECT_TRUE(view->mouseEnteredOrExitedArea()->options & QVTrackingArea::ActiveInKeyWindow);

  view->setMouseMoveTrackEnabled(false);
  EXPECT_FALSE(view->mouseMovedArea());
  EXPECT_FALSE(view->hasMouseTracking());
}

TEST_F(Tracking, AnOverlappingTrackerWithdrawsTheCursorUntilAnswerChanges) {
  auto* over = QVMake<QVMouseEventTrackingView>(CGRectMake(120, 100, 50, 40));
  window->addSubview(over);
  Overlapping delegate;
  view->setViewCursor(QCursor(Qt::PointingHandCursor));
  view->setDelegate(&delegate);
  const QPointF inBoth = view->mapTo(window.get(), QPointF(30, 20));
  view->mouseEntered(inBoth);
  EXPECT_EQ(delegate.othersSeen, 1u);
  EXPECT_TRUE(view->trackingViewsOverlap());
  EXPECT_FALSE(view->hasCursorRect());

  view->setDelegate(nullptr);
  view->mouseExited(inBoth);
  EXPECT_FALSE(view->trackingViewsOverlap());
  EXPECT_TRUE(view->hasCursorRect());
}

TEST_F(Tracking, WindowMovabilityIsSwitchedOnlyBelowSierra) {
  struct Case {
    const char* version;
    bool below;
  };
  for (const Case c :
       {Case{"", false}, Case{"10", false}, Case{"10.12.6", false}, Case{"10.11.6", true}, Case{"10.x", false}}) {
    QVMouseEventTrackingView::setSystemVersionText(c.version);
    EXPECT_EQ(QVMouseEventTrackingView::systemVersionIsBelowSierra(), c.below) << c.version;
    window->setProperty("movable", QVariant());
    view->mouseEntered(QPointF(150, 150));
    EXPECT_EQ(window->property("movable").isValid(), c.below) << c.version;
  }
  QVMouseEventTrackingView::setSystemVersionText("");
}

TEST_F(Tracking, PressAndReleaseInsideShrinksAndReportsOnce) {
  press(view, QPointF(50, 20));
  driver().advance(2);
  EXPECT_EQ(QVSpringLayer::size(view), CGSizeMake(90, 36));
  EXPECT_EQ(QVSpringLayer::position(view), CGPointMake(150, 120)) << "shrinks about its centre";
  release(view, QPointF(50, 20));
  driver().advance(2);
  EXPECT_EQ(view->released, 1);
  EXPECT_EQ(QVSpringLayer::size(view), CGSizeMake(90, 36));
  EXPECT_FALSE(NSViewTrackingLoop::isTracking(view));
}

TEST_F(Tracking, DraggingOutRestoresAndAReleaseOutsideReportsNothing) {
  press(view, QPointF(50, 20));
  driver().advance(0.05);
  drag(view, QPointF(300, 20));
  EXPECT_FALSE(view->shrunk());
  driver().advance(2);
  EXPECT_EQ(QVSpringLayer::size(view), CGSizeMake(100, 40));
  drag(view, QPointF(40, 10));
  EXPECT_TRUE(view->shrunk());
  drag(view, QPointF(-40, 10));
  release(view, QPointF(-40, 10));
  driver().advance(2);
  EXPECT_EQ(view->released, 0);
  EXPECT_EQ(QVSpringLayer::size(view), CGSizeMake(100, 40));
}

TEST_F(Tracking, ANewClickSpringRemovesTheRunningOne) {
  view->animateClick(true);
  const std::string first = view->clickAnimationKey();
  view->animateClick(false);
  const std::string second = view->clickAnimationKey();
  EXPECT_NE(first, second);
  EXPECT_FALSE(second.empty());
  EXPECT_EQ(NSViewSpringAnimation::animationKeys(view), std::vector<std::string>{second});
  driver().advance(2);
  EXPECT_TRUE(view->clickAnimationKey().empty());
}

TEST_F(Tracking, TrackingLoopWithOnlyAMouseUpHandlerIgnoresDrags) {
  int ups = 0;
  NSViewTrackingLoop::runTrackingLoop(view, nullptr, nullptr);
  EXPECT_FALSE(NSViewTrackingLoop::isTracking(view));
  NSViewTrackingLoop::runTrackingLoopWithMouseUpHandler(view, [&](const QMouseEvent&) { ++ups; });
  // The view's own press loop is not running: send to a plain child-free tracking loop only.
  drag(view, QPointF(10, 10));
  EXPECT_EQ(ups, 0);
  release(view, QPointF(10, 10));
  release(view, QPointF(10, 10));
  EXPECT_EQ(ups, 1);
}

}  // namespace
