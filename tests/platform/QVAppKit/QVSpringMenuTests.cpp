#include "QVAppKit/QVSpringMenu.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <memory>

#include "MouseTestSupport.h"
#include "QVAppKit/NSView+SpringAnimation.h"
#include "QVAppKit/QVAnimationDriver.h"
#include "QVPlatform/NotificationCenter.h"

namespace {

using namespace mouse_test;

class TestMenu : public QVSpringMenu {
 public:
  using QVSpringMenu::QVSpringMenu;
  CGSize contentSizeForState(bool expanded) override { return expanded ? CGSizeMake(300, 200) : CGSizeMake(120, 40); }
  void onWillBeginExpanding() override {
    events->push_back("will expand");
    QVSpringMenu::onWillBeginExpanding();
  }
  std::vector<std::string>* events = nullptr;
};

class Refusing : public QVSpringMenuDelegate {
 public:
  std::optional<bool> springMenuShouldStartAnimation(QVSpringMenu*) override { return allow; }
  void springMenuDidAnimateToFrame(QVSpringMenu*, CGRect frame) override { frames.push_back(frame); }
  bool allow = false;
  std::vector<CGRect> frames;
};

class SpringMenu : public ::testing::Test {
 protected:
  void SetUp() override {
    driver().useManualClock();
    driver().cancelAll();
    window.reset(QVMake<QVView>(CGRectMake(0, 0, 600, 400)));
    menu = QVMake<TestMenu>(CGRectMake(400, 50, 120, 40));
    menu->events = &events;
    window->addSubview(menu);
  }
  void TearDown() override {
    driver().cancelAll();
    QGuiApplication::setLayoutDirection(Qt::LeftToRight);
  }
  static QVAnimationDriver& driver() { return QVAnimationDriver::shared(); }

  std::vector<std::string> events;
  std::unique_ptr<QVView> window;
  TestMenu* menu = nullptr;
};

TEST_F(SpringMenu, ExpandsAboutItsLowerTrailingCornerAndCollapsesFastWithoutOvershoot) {
  struct Case {
    Qt::LayoutDirection direction;
    CGRect expandedFrame;
  };
  for (const Case c :
       {Case{Qt::LeftToRight, CGRectMake(220, 50, 300, 200)}, Case{Qt::RightToLeft, CGRectMake(400, 50, 300, 200)}}) {
    QGuiApplication::setLayoutDirection(c.direction);
    SetUp();
    std::vector<bool> states;
    menu->switchExpanded([&](bool expanded) { states.push_back(expanded); });
    ASSERT_TRUE(menu->springParams());
    EXPECT_EQ(menu->springParams()->speed(), 10);
    EXPECT_EQ(menu->springParams()->bounciness(), 10);
    EXPECT_EQ(menu->springParams()->targetSize(), CGSizeMake(300, 200));
    EXPECT_TRUE(menu->animating());
    EXPECT_FALSE(menu->expanded());
    driver().advance(3);
    EXPECT_EQ(menu->frame(), c.expandedFrame);
    EXPECT_TRUE(menu->expanded());

    double peak = 0, low = 1e9;
    menu->switchExpanded([&](bool expanded) { states.push_back(expanded); });
    EXPECT_EQ(menu->springParams()->speed(), 20);
    EXPECT_EQ(menu->springParams()->bounciness(), 0);
    for (int i = 0; i < 200 && menu->animating(); ++i) {
      driver().advance(1.0 / 60);
      peak = std::max(peak, QVSpringLayer::size(menu).width);
      low = std::min(low, QVSpringLayer::size(menu).width);
    }
    EXPECT_EQ(menu->frame(), CGRectMake(400, 50, 120, 40));
    EXPECT_GE(low, 120) << "no overshoot on the way back";
    EXPECT_EQ(states, (std::vector<bool>{true, false}));
    TearDown();
  }
}

TEST_F(SpringMenu, NothingStartsWhileATransitionRunsOrTheDelegateRefuses) {
  int completions = 0;
  menu->switchExpanded([&](bool) { ++completions; });
  driver().advance(0.05);
  menu->switchExpanded([&](bool) { ++completions; });
  press(menu, QPointF(10, 10));
  EXPECT_TRUE(menu->clickAnimationKey().empty());
  release(menu, QPointF(10, 10));
  driver().advance(3);
  EXPECT_EQ(completions, 1);
  EXPECT_TRUE(menu->expanded());

  Refusing delegate;
  menu->setDelegate(&delegate);
  menu->switchExpanded();
  press(menu, QPointF(10, 10));
  EXPECT_FALSE(menu->animating());
  EXPECT_TRUE(menu->clickAnimationKey().empty());
  release(menu, QPointF(10, 10));
  EXPECT_TRUE(menu->expanded());

  delegate.allow = true;
  menu->switchExpanded();
  driver().advance(3);
  EXPECT_FALSE(menu->expanded());
  ASSERT_GT(delegate.frames.size(), 5u) << "the delegate follows the spring";
  EXPECT_EQ(delegate.frames.back(), CGRectMake(400, 50, 120, 40));
}

TEST_F(SpringMenu, AClickShrinksThenOpensTheMenu) {
  menu->setCornerRadius(10);
  press(menu, QPointF(10, 10));
  EXPECT_FALSE(menu->clickAnimationKey().empty());
  EXPECT_EQ(NSViewSpringAnimation::animationKeys(menu).back(), NSViewSpringAnimation::kCornerRadiusKey);
  driver().advance(2);
  EXPECT_EQ(QVSpringLayer::size(menu), CGSizeMake(108, 36));
  EXPECT_EQ(menu->cornerRadius(), 9);
  release(menu, QPointF(10, 10));
  EXPECT_TRUE(menu->animating());
  driver().advance(3);
  EXPECT_TRUE(menu->expanded());
  EXPECT_EQ(menu->frame().size, CGSizeMake(300, 200));
}

TEST_F(SpringMenu, ObserversHearOfTheChangeBeforeTheHooksRun) {
  auto token = qv::NotificationCenter::defaultCenter().addObserver(
      kQVSpringViewWillChangeStateNotification, menu, [&](const qv::Notification& n) {
        EXPECT_EQ(n.sender, menu);
        events.push_back("notified");
        EXPECT_TRUE(NSViewSpringAnimation::animationKeys(menu).empty());
      });
  menu->switchExpanded();
  EXPECT_EQ(events, (std::vector<std::string>{"notified", "will expand"}));
}

}  // namespace
