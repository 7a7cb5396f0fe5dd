#include "QVAppKit/NSViewController+SwitchViewAnimation.h"

#include <gtest/gtest.h>

#include <memory>

#include "QVAppKit/QVAnimationDriver.h"

namespace {

using namespace NSViewControllerSwitchViewAnimation;

class SwitchViews : public ::testing::Test {
 protected:
  void SetUp() override {
    driver().useManualClock();
    driver().cancelAll();
    controller = std::make_unique<QVViewControllerWithoutNib>();
    controller->view();
    controller->mainView()->setFrame(CGRectMake(0, 0, 200, 100));
    for (auto*& v : views) {
      v = QVMake<QVView>(CGRectMake(0, 0, 10, 10));
      controller->mainView()->addSubview(v);
    }
  }
  void TearDown() override { driver().cancelAll(); }
  static QVAnimationDriver& driver() { return QVAnimationDriver::shared(); }

  std::unique_ptr<QVViewControllerWithoutNib> controller;
  QVView* views[3] = {};
};

TEST_F(SwitchViews, EmptyListsAnswerNoAndNeverCallTheBlock) {
  int calls = 0;
  EXPECT_FALSE(changeVisibility(controller.get(), {}, {}, true, [&] { ++calls; }));
  driver().advance(2);
  EXPECT_EQ(calls, 0);
  EXPECT_FALSE(fadeAnimator(controller.get()));
}

TEST_F(SwitchViews, AFinishedFadeRemovesTheHiddenViewsThenCallsOnce) {
  QVView* hidden = views[0];
  QVView* shown = views[1];
  int calls = 0;
  bool removedFirst = false;
  ASSERT_TRUE(changeVisibility(controller.get(), {hidden}, {shown}, false, [&] {
    ++calls;
    removedFirst = hidden->superview() == nullptr;
  }));
  // The view to show went to the top, filling the controller's view.
  EXPECT_EQ(controller->mainView()->subviews().back(), shown);
  EXPECT_EQ(shown->frame(), CGRectMake(0, 0, 200, 100));
  EXPECT_TRUE(fadeAnimator(controller.get()));
  driver().advance(0.5);
  EXPECT_EQ(calls, 0);
  driver().advance(0.6);
  EXPECT_EQ(calls, 1);
  EXPECT_TRUE(removedFirst);
  EXPECT_EQ(shown->alpha(), 1);
  EXPECT_FALSE(fadeAnimator(controller.get()));
  driver().advance(2);
  EXPECT_EQ(calls, 1);
  delete hidden;
}

TEST_F(SwitchViews, ACancelRunsNothingAndLeavesTheHiddenViews) {
  int calls = 0;
  ASSERT_TRUE(changeVisibility(controller.get(), {views[0]}, {views[1]}, true, [&] { ++calls; }));
  driver().advance(0.3);
  cancelVisibilityChange(controller.get());
  driver().advance(2);
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(views[0]->superview(), controller->mainView());
  EXPECT_FALSE(fadeAnimator(controller.get()));
}

}  // namespace
