#include "QVAppKit/NSView+Extensions.h"

#include <gtest/gtest.h>

#include <memory>

#include "AppKitTestSupport.h"
#include "QVAppKit/QVRoundedView.h"
#include "QVAppKit/QVView.h"

namespace {

TEST(NSViewExtensions, RemoveFromSuperviewsSkipsViewsWithoutOne) {
  std::unique_ptr<QVView> parent(QVMake<QVView>());
  auto* a = QVMake<QVView>();
  auto* b = QVMake<QVView>();
  std::unique_ptr<QVView> loose(QVMake<QVView>());
  parent->addSubview(a);
  parent->addSubview(b);
  const auto removed = NSViewExtensions::removeFromSuperviews({a, loose.get(), b});
  EXPECT_EQ(removed, (std::vector<QWidget*>{a, b}));
  EXPECT_TRUE(parent->subviews().empty());
  delete a;
  delete b;

  parent->addSubview(QVMake<QVView>());
  parent->addSubview(new QWidget());
  std::vector<QWidget*> before = parent->subviews();
  NSViewExtensions::removeAllSubviews(parent.get());
  EXPECT_TRUE(parent->subviews().empty());
  for (QWidget* w : before) delete w;
}

TEST(NSViewExtensions, AppearAnimatesOnlyTheViewsThatDifferAndAlwaysCompletes) {
  auto& driver = QVAnimationDriver::shared();
  std::unique_ptr<QVView> shown(QVMake<QVView>()), hidden(QVMake<QVView>());
  hidden->setAlpha(0);
  QWidget plain;
  int completions = 0;
  auto changed = NSViewExtensions::appear(true, true, 0.4, {shown.get(), hidden.get(), &plain}, [&] { ++completions; });
  EXPECT_EQ(changed, (std::vector<QWidget*>{hidden.get()}));
  driver.advance(0.2);
  EXPECT_GT(hidden->alpha(), 0.2);
  EXPECT_LT(hidden->alpha(), 0.8);
  EXPECT_EQ(completions, 0);
  driver.advance(0.25);
  EXPECT_EQ(hidden->alpha(), 1);
  EXPECT_EQ(completions, 1);

  // Everything already there: nothing answered, the completion still runs (at once, not animated).
  changed = NSViewExtensions::appear(true, false, 0.4, {shown.get(), hidden.get()}, [&] { ++completions; });
  EXPECT_TRUE(changed.empty());
  EXPECT_EQ(completions, 2);
  changed = NSViewExtensions::appear(false, false, 0, {shown.get()}, nullptr);
  EXPECT_EQ(shown->alpha(), 0);
}

TEST(CALayerAdditions, PositionAnimationsTakeTheStandardDurationAndStayAttached) {
  auto& driver = QVAnimationDriver::shared();
  std::unique_ptr<QVView> parent(QVMake<QVView>(CGRectMake(0, 0, 200, 200)));
  auto* view = QVMake<QVView>(CGRectMake(10, 10, 20, 20));
  parent->addSubview(view);

  for (double duration : {0.0, -1.0}) {
    view->setTranslation(CGPointZero);
    const std::string key = CALayerAdditions::animatePosition(view, CGPointMake(110, 60), duration);
    EXPECT_EQ(key.rfind("position_", 0), 0u);
    driver.advance(0.29);
    EXPECT_LT(view->translation().x, 100) << "still running before 0.3 s";
    driver.advance(0.02);
    EXPECT_DOUBLE_EQ(view->translation().x, 100);
    EXPECT_DOUBLE_EQ(view->translation().y, 50);
    EXPECT_DOUBLE_EQ(view->frame().origin.x, 10) << "the frame itself does not move";
  }
  const auto keys = CALayerAdditions::animationKeys(view);
  ASSERT_EQ(keys.size(), 2u);
  EXPECT_NE(keys[0], keys[1]);

  const QVBasicAnimation standard = CABasicAnimationAdditions::standardAnimationWithKeyPath("opacity");
  EXPECT_EQ(standard.duration, 0.3);
  EXPECT_FALSE(standard.removedOnCompletion);
  EXPECT_TRUE(standard.fillsForwards);
  EXPECT_EQ(standard.timing, QVTimingFunction::EaseInEaseOut);
}

TEST(NSWindowRounding, RoundsOnlyARoundedContentView) {
  std::unique_ptr<QVRoundedView> rounded(QVMake<QVRoundedView>(CGRectMake(0, 0, 100, 100)));
  NSWindowRounding::updateWindowCornersWithRadii(rounded.get(), QVSMakeCornerRadii(10, 10, 0, 0));
  EXPECT_EQ(rounded->roundParams().corners, 15u);
  EXPECT_EQ(rounded->roundParams().radii.topLeft, 10);

  std::unique_ptr<QVView> plain(QVMake<QVView>(CGRectMake(0, 0, 100, 100)));
  NSWindowRounding::updateWindowCornersWithRadii(plain.get(), QVSMakeCornerRadii(10, 10, 0, 0));
  EXPECT_FALSE(plain->masksToBounds());

  EXPECT_TRUE((NSObjectDescendation::doesDescendFromClass<QVView, QVView>()));
  EXPECT_TRUE((NSObjectDescendation::doesDescendFromClass<QVView, QVRoundedView>()));
  EXPECT_FALSE((NSObjectDescendation::doesDescendFromClass<QVRoundedView, QVView>()));
}

TEST(NSViewExtensions, MouseLocationIsTestedAgainstTheViewsBounds) {
  std::unique_ptr<QVView> window(QVMake<QVView>(CGRectMake(0, 0, 100, 100)));
  auto* view = QVMake<QVView>(CGRectMake(0, 0, 20, 20));  // bottom-left corner
  window->addSubview(view);
  auto eventAt = [&](QPoint inWindow) {
    const QPointF global = window->mapToGlobal(QPointF(inWindow));
    return QMouseEvent(QEvent::MouseMove, QPointF(inWindow), global, Qt::NoButton, Qt::NoButton, Qt::NoModifier);
  };
  EXPECT_TRUE(NSViewExtensions::isMouseLocationWithinView(view, eventAt(QPoint(5, 95))));
  EXPECT_FALSE(NSViewExtensions::isMouseLocationWithinView(view, eventAt(QPoint(5, 5))));
}

TEST(NSViewExtensions, DefaultShadow) {
  std::unique_ptr<QVView> view(QVMake<QVView>());
  NSViewExtensions::addDefaultShadow(view.get());
  ASSERT_TRUE(view->shadow());
  EXPECT_EQ(view->shadow()->blurRadius, 10);
  EXPECT_EQ(view->shadow()->offset.height, 4);
  EXPECT_EQ(view->shadow()->color.alphaF(), QColor(0, 0, 0, 128).alphaF());
}

}  // namespace
