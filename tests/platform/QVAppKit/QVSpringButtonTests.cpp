#include "QVAppKit/QVSpringButton.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QCursor>
#include <QEnterEvent>
#include <QWindow>
#include <functional>
#include <memory>

#include "MouseTestSupport.h"
#include "QVAppKit/NSView+SpringAnimation.h"
#include "QVAppKit/QVAnimationDriver.h"

namespace {

using namespace mouse_test;

class SpringButton : public ::testing::Test {
 protected:
  void SetUp() override {
    driver().useManualClock();
    driver().cancelAll();
    window.reset(QVMake<QVView>(CGRectMake(0, 0, 400, 300)));
    button = QVMake<QVSpringButton>(CGRectMake(100, 100, 100, 30));
    button->setTitle("Export");
    window->addSubview(button);
    button->setTarget(&target);
    button->setAction([this](QObject* t, QVTitledButton* sender) {
      EXPECT_EQ(t, &target);
      senders.push_back(sender);
    });
  }
  void TearDown() override { driver().cancelAll(); }
  static QVAnimationDriver& driver() { return QVAnimationDriver::shared(); }
  std::shared_ptr<QVSpringAnimation> runningSize() {
    auto keys = NSViewSpringAnimation::animationKeys(button);
    for (auto& k : keys) {
      auto a = QVSpringAnimations::animationForKey(button, k);
      if (a->property() == QVSpringProperty::Size) return a;
    }
    return nullptr;
  }

  QObject target;
  std::vector<QVTitledButton*> senders;
  std::unique_ptr<QVView> window;
  QVSpringButton* button = nullptr;
};

TEST_F(SpringButton, HoverGrowsByTenPercentAndLeavingSpringsBack) {
  enter(button);
  EXPECT_TRUE(button->hovering());
  auto spring = runningSize();
  ASSERT_TRUE(spring);
  EXPECT_EQ(spring->springSpeed(), 15);
  EXPECT_EQ(spring->springBounciness(), 10);
  driver().advance(2);
  EXPECT_EQ(QVSpringLayer::size(button), CGSizeMake(110, 33));
  EXPECT_EQ(QVSpringLayer::position(button), CGPointMake(150, 115)) << "grows about its centre";
  EXPECT_TRUE(button->currentHoverAnimationKey().empty());

  leave(button);
  spring = runningSize();
  ASSERT_TRUE(spring);
  EXPECT_EQ(spring->springSpeed(), 15);
  driver().advance(2);
  EXPECT_EQ(QVSpringLayer::size(button), CGSizeMake(100, 30));
  EXPECT_EQ(button->frame(), CGRectMake(100, 100, 100, 30));

  // A longer title made the button wider: rest is the new size.
  button->setFrame(CGRectMake(80, 100, 140, 30));
  enter(button);
  driver().advance(2);
  leave(button);
  driver().advance(2);
  EXPECT_EQ(QVSpringLayer::size(button), CGSizeMake(140, 30));
}

TEST_F(SpringButton, ReleaseInsideSendsOnceAfterTheReleaseSpring) {
  enter(button);
  press(button, QPointF(50, 15));
  EXPECT_FALSE(button->userInteractionEnabled());
  const std::string pressKey = button->currentClickAnimationKey();
  ASSERT_FALSE(pressKey.empty());
  press(button, QPointF(50, 15));  // a second press while the spring runs starts no other
  EXPECT_EQ(button->currentClickAnimationKey(), pressKey);
  driver().advance(0.05);
  release(button, QPointF(50, 15));
  QCoreApplication::processEvents();
  EXPECT_TRUE(senders.empty()) << "not before the release spring has ended";
  driver().advance(2);
  QCoreApplication::processEvents();
  EXPECT_EQ(senders, std::vector<QVTitledButton*>{button});
  EXPECT_TRUE(button->userInteractionEnabled());
  EXPECT_EQ(QVSpringLayer::size(button), CGSizeMake(110, 33)) << "released under the pointer: hover size";
  QCoreApplication::processEvents();
  EXPECT_EQ(senders.size(), 1u);
}

// Released inside, the button rests at its hover size; whatever takes the pointer away next must
// bring it back: leaving it, or the action's alert taking the window's key state until it closes.
TEST_F(SpringButton, AfterAReleaseInsideLeavingOrAnAlertSpringsItBack) {
  QEvent resign(QEvent::WindowDeactivate), become(QEvent::WindowActivate);
  const struct {
    const char* name;
    std::function<void()> away;
  } cases[] = {
      {"left", [&] { leave(button); }},
      {"an alert came and went",
       [&] {
         QCoreApplication::sendEvent(window.get(), &resign);
         leave(button);
         button->onViewFrameChanged();  // a layout pass reports the enlarged frame again, unchanged
         QCoreApplication::sendEvent(window.get(), &become);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    enter(button);
    press(button, QPointF(50, 15));
    driver().advance(0.3);
    release(button, QPointF(50, 15));
    leave(button);  // Qt's, as the grab ends over a button that takes no mouse events
    driver().advance(2);
    QCoreApplication::processEvents();
    ASSERT_EQ(QVSpringLayer::size(button), CGSizeMake(110, 33));
    EXPECT_TRUE(button->hovering()) << "the hover size shown is the hover state";
    c.away();
    driver().advance(2);
    EXPECT_FALSE(button->hovering());
    EXPECT_EQ(QVSpringLayer::size(button), CGSizeMake(100, 30));
  }
  EXPECT_EQ(senders.size(), 2u);
}

TEST_F(SpringButton, DraggingOutAndReleasingOutsideSendsNothing) {
  enter(button);
  press(button, QPointF(50, 15));
  driver().advance(0.3);
  EXPECT_EQ(QVSpringLayer::size(button), CGSizeMake(100, 30)) << "pressed: the normal size";
  drag(button, QPointF(300, 15));
  EXPECT_TRUE(button->hovering());
  drag(button, QPointF(40, 15));
  EXPECT_FALSE(button->hovering());
  drag(button, QPointF(300, 15));
  release(button, QPointF(300, 15));
  driver().advance(2);
  QCoreApplication::processEvents();
  EXPECT_TRUE(senders.empty());
  EXPECT_TRUE(button->userInteractionEnabled());
}

TEST_F(SpringButton, WithoutHoverThePressSizeFollowsThePointer) {
  button->setHoverEnabled(false);
  auto click = QVSpringSizeScaleParams::paramsWithScale(0.9, 25, 0);
  click->setOriginalSize(CGSizeMake(100, 30));  // params set after layout learn the size from their maker
  button->setClickParams(click);
  enter(button);
  EXPECT_FALSE(button->hovering());
  press(button, QPointF(50, 15));
  driver().advance(1);
  EXPECT_EQ(QVSpringLayer::size(button), CGSizeMake(90, 27));
  struct Step {
    QPointF at;
    CGSize size;
  };
  // Inside: the press size (hovering means "pressed" here); outside: rest.
  for (const Step& s : {Step{{40, 15}, {90, 27}}, Step{{300, 15}, {100, 30}}, Step{{20, 10}, {90, 27}}}) {
    drag(button, s.at);
    driver().advance(1);
    EXPECT_EQ(QVSpringLayer::size(button), s.size) << s.at.x();
  }
  release(button, QPointF(20, 10));
  driver().advance(1);
  QCoreApplication::processEvents();
  EXPECT_EQ(QVSpringLayer::size(button), CGSizeMake(100, 30));
  EXPECT_EQ(senders.size(), 1u);
}

TEST_F(SpringButton, HoverFreezesWhileTheWindowIsNotKey) {
  QEvent resign(QEvent::WindowDeactivate);
  QCoreApplication::sendEvent(window.get(), &resign);
  EXPECT_FALSE(button->tracksHovering());
  enter(button);
  EXPECT_FALSE(button->hovering());
  EXPECT_TRUE(NSViewSpringAnimation::animationKeys(button).empty());

  QEvent become(QEvent::WindowActivate);
  QCoreApplication::sendEvent(window.get(), &become);
  enter(button);
  driver().advance(2);
  QCoreApplication::sendEvent(window.get(), &resign);
  leave(button);
  EXPECT_TRUE(button->hovering()) << "frozen enlarged";
  QCoreApplication::sendEvent(window.get(), &become);
  EXPECT_FALSE(button->hovering());
  driver().advance(2);
  EXPECT_EQ(QVSpringLayer::size(button), CGSizeMake(100, 30));
}

TEST_F(SpringButton, AnchorReachesAllThreeParams) {
  button->setAnchor(CGPointZero);
  EXPECT_FALSE(button->hoverParams()->anchor());
  button->setAnchor(CGPointMake(1, 0.5));
  for (const auto& p : {button->hoverParams(), button->clickParams(), button->initialParams()}) {
    EXPECT_EQ(p->anchor(), CGPointMake(1, 0.5));
  }
  EXPECT_EQ(button->initialParams()->speed(), 15);
  EXPECT_EQ(button->initialParams()->scale(), 1.0);
}

TEST_F(SpringButton, IconSitsDirectlyBeforeTheTitle) {
  auto* wide = QVMake<QVSpringButton>(CGRectMake(0, 0, 60, 30));
  window->addSubview(wide);
  wide->setTitle("A much longer title");
  wide->setIconImage(nullptr, CGSizeMake(16, 16));
  const CGRect icon = wide->iconView()->frame();
  const CGRect title = wide->titleLabel()->frame();
  EXPECT_EQ(icon.size, CGSizeMake(16, 16));
  EXPECT_EQ(icon.origin.x + 16, title.origin.x);
  EXPECT_GE(icon.origin.x, 10);
  EXPECT_EQ(icon.origin.y, 7);
}

TEST(QVRoundedSpringButton, RoundsToHalfItsHeight) {
  std::unique_ptr<QVView> window(QVMake<QVView>(CGRectMake(0, 0, 300, 100)));
  auto* button = QVMake<QVRoundedSpringButton>(CGRectMake(10, 10, 120, 40));
  window->addSubview(button);
  button->layoutSubtreeIfNeeded();
  EXPECT_EQ(button->cornerRadius(), 20);
}

}  // namespace

namespace {

// Through the window, as the windowing system delivers them: the press goes to the button under the
// pointer and the release to the same button although it takes no clicks while its spring runs.
void sendToWindow(QWidget* window, QEvent::Type type, QPointF point) {
  const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
  const Qt::MouseButtons buttons = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
  QCursor::setPos(window->mapToGlobal(point).toPoint());  // the pointer is where its events say
  QMouseEvent e(type, point, point, window->mapToGlobal(point), button, buttons, Qt::NoModifier);
  QCoreApplication::sendEvent(window->windowHandle(), &e);
}

TEST(QVSpringButtonInWindow, TheReleaseReachesTheButtonThatTookThePress) {
  QVAnimationDriver::shared().useManualClock();
  std::unique_ptr<QVView> window(QVMake<QVView>(CGRectMake(0, 0, 300, 200)));
  auto* button = QVMake<QVSpringButton>(CGRectMake(100, 85, 100, 30));
  window->addSubview(button);
  window->show();
  QObject target;
  int sent = 0;
  button->setTarget(&target);
  button->setAction([&](QObject*, QVTitledButton*) { ++sent; });
  const QPointF centre = button->mapTo(window.get(), QPointF(50, 15));
  sendToWindow(window.get(), QEvent::MouseButtonPress, centre);
  EXPECT_FALSE(button->userInteractionEnabled());
  sendToWindow(window.get(), QEvent::MouseButtonRelease, centre);
  QVAnimationDriver::shared().advance(2);
  QCoreApplication::processEvents();
  EXPECT_EQ(sent, 1);
  EXPECT_TRUE(button->userInteractionEnabled());
}

// Released inside, the button rests at its hover size while Qt takes the pointer to be over the view
// below it (the grab ended while the button took no mouse events). A pointer that then goes straight
// out, without another move inside the button, must still bring it back to its own size.
TEST(QVSpringButtonInWindow, AfterAReleaseInsideThePointerGoingStraightOutSpringsItBack) {
  QVAnimationDriver::shared().useManualClock();
  const struct {
    const char* name;
    std::function<void(QWidget* window)> away;
  } cases[] = {
      {"moved out over the window", [](QWidget* w) { sendToWindow(w, QEvent::MouseMove, QPointF(20, 20)); }},
      {"left the window",
       [](QWidget* w) {
         QEvent leave(QEvent::Leave);
         QCoreApplication::sendEvent(w->windowHandle(), &leave);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::unique_ptr<QVView> window(QVMake<QVView>(CGRectMake(0, 0, 300, 200)));
    auto* button = QVMake<QVSpringButton>(CGRectMake(100, 85, 100, 30));
    window->addSubview(button);
    window->show();
    const QPointF centre = button->mapTo(window.get(), QPointF(50, 15));
    QCursor::setPos(window->mapToGlobal(centre).toPoint());
    QEnterEvent enter(centre, centre, window->mapToGlobal(centre));
    QCoreApplication::sendEvent(window->windowHandle(), &enter);  // the pointer comes in over the button
    ASSERT_TRUE(button->hovering());
    sendToWindow(window.get(), QEvent::MouseButtonPress, centre);
    sendToWindow(window.get(), QEvent::MouseButtonRelease, centre);
    QVAnimationDriver::shared().advance(2);
    ASSERT_EQ(QVSpringLayer::size(button), CGSizeMake(110, 33));
    c.away(window.get());
    QVAnimationDriver::shared().advance(2);
    EXPECT_FALSE(button->hovering());
    EXPECT_EQ(QVSpringLayer::size(button), CGSizeMake(100, 30));
  }
}

}  // namespace
