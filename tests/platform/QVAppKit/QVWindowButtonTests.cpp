#include "QVAppKit/QVWindowButton.h"

#include <gtest/gtest.h>

#include <memory>

#include "MouseTestSupport.h"
#include "QVPlatform/NotificationCenter.h"

namespace {

class WindowButtons : public ::testing::Test {
 protected:
  void SetUp() override {
    QVWindowButton::setKeyWindowQuery([this](const QWidget*) { return key; });
    window = std::make_unique<QWidget>();
    for (auto* name : {"Close", "Minimize", "Zoom"}) {
      auto* button = QVWindowButton::windowButtonWithSize(CGSizeMake(14, 14), std::string("tests.group"));
      button->setImageNamesWithPrefix(std::string("WindowButton") + name);
      button->setParent(window.get());
      buttons.push_back(button);
    }
    group()->resetMouseCaptures();
    posts = 0;
    token = qv::NotificationCenter::defaultCenter().addObserver(QVWindowButtonGroupDidUpdateRolloverStateNotification,
                                                                group().get(),
                                                                [this](const qv::Notification&) { ++posts; });
    for (auto* b : buttons) b->updateImage();
  }
  void TearDown() override {
    token.reset();
    group()->resetMouseCaptures();
    window.reset();
    QVWindowButton::setKeyWindowQuery(nullptr);
  }
  static std::shared_ptr<QVWindowButtonGroup> group() {
    return QVWindowButtonGroup::groupWithIdentifier("tests.group");
  }

  bool key = true;
  std::unique_ptr<QWidget> window;
  std::vector<QVWindowButton*> buttons;
  int posts = 0;
  qv::ObserverToken token;
};

TEST(QVWindowButtonGroup, RegistryGivesOneGroupPerIdentifier) {
  auto byNil = QVWindowButtonGroup::groupWithIdentifier(std::nullopt);
  EXPECT_EQ(byNil, QVWindowButtonGroup::groupWithIdentifier(std::string("com.solvane.defaultWindowButtonGroup")));
  EXPECT_EQ(byNil->identifier(), "com.solvane.defaultWindowButtonGroup");
  EXPECT_EQ(QVWindowButtonGroup::groupWithIdentifier(std::string("a")),
            QVWindowButtonGroup::groupWithIdentifier(std::string("a")));
  EXPECT_NE(QVWindowButtonGroup::groupWithIdentifier(std::string("a")), byNil);
}

TEST_F(WindowButtons, CapturesCountAndPostOnlyOnChange) {
  group()->didReleaseMousePointer();  // an exit without an entry
  EXPECT_EQ(group()->numberOfCaptures(), 0);
  EXPECT_EQ(posts, 0);
  group()->resetMouseCaptures();
  EXPECT_EQ(posts, 0);
  group()->didCaptureMousePointer();
  group()->didCaptureMousePointer();  // overlapping areas of neighbours
  EXPECT_EQ(posts, 2);
  group()->resetMouseCaptures();
  EXPECT_EQ(posts, 3);
  EXPECT_FALSE(group()->shouldDisplayRollOver());
}

TEST_F(WindowButtons, ImageChoiceTable) {
  struct Case {
    bool key, enabled, rollover;
    const char* shown;  // of the zoom button
  } cases[] = {
      {true, true, false, "active"},   {true, false, false, "inactive"}, {false, true, false, "notKey"},
      {false, false, false, "notKey"}, {true, true, true, "rollover"},   {false, true, true, "rollover"},
      {true, false, true, "inactive"}, {false, false, true, "notKey"},
  };
  auto* zoom = buttons[2];
  for (const auto& c : cases) {
    key = c.key;
    group()->resetMouseCaptures();
    zoom->setEnabled(c.enabled);
    zoom->updateImage();
    if (c.rollover) buttons[0]->mouseEntered();  // the pointer over the close button lights the set
    const QVChromeImage expected = std::string(c.shown) == "active"     ? zoom->activeImage()
                                   : std::string(c.shown) == "inactive" ? zoom->inactiveImage()
                                   : std::string(c.shown) == "notKey"   ? zoom->activeNotKeyWindowImage()
                                                                        : zoom->rolloverImage();
    ASSERT_TRUE(expected) << c.shown;
    EXPECT_EQ(zoom->shownImage(), expected) << c.key << c.enabled << c.rollover;
    if (c.rollover) buttons[0]->mouseExited();
  }
}

TEST_F(WindowButtons, LeavingTheLastButtonRestoresNormalImages) {
  key = false;
  buttons[0]->mouseEntered();
  buttons[1]->mouseEntered();
  buttons[0]->mouseExited();
  EXPECT_EQ(buttons[2]->shownImage(), buttons[2]->rolloverImage());
  buttons[1]->mouseExited();
  for (auto* b : buttons) EXPECT_EQ(b->shownImage(), b->activeNotKeyWindowImage());
}

TEST_F(WindowButtons, FullScreenHidesAndResetsTheGroup) {
  buttons[0]->mouseEntered();
  buttons[0]->windowWillEnterFullScreen();
  EXPECT_EQ(group()->numberOfCaptures(), 0);
  EXPECT_TRUE(buttons[0]->isHidden());
  buttons[0]->windowWillExitFullScreen();
  EXPECT_FALSE(buttons[0]->isHidden());
  buttons[1]->mouseEntered();
  buttons[1]->windowDidMiniaturize();
  EXPECT_EQ(group()->numberOfCaptures(), 0);
}

TEST_F(WindowButtons, MouseDownSendsTheActionToTheWindowAtOnce) {
  QWidget* target = nullptr;
  buttons[0]->setAction([&](QWidget* w, QVWindowButton*) { target = w; });
  mouse_test::press(buttons[0], QPointF(7, 7));
  EXPECT_EQ(target, window.get());
  EXPECT_EQ(buttons[0]->shownImage(), buttons[0]->pressedImage());
  mouse_test::release(buttons[0], QPointF(7, 7));
  EXPECT_FALSE(buttons[0]->becomeFirstResponder());
  EXPECT_EQ(buttons[0]->focusPolicy(), Qt::NoFocus);
}

TEST_F(WindowButtons, ZoomActionTogglesMaximised) {
  QVWindowButton::zoomAction()(window.get(), buttons[2]);
  EXPECT_TRUE(window->windowState() & Qt::WindowMaximized);
  QVWindowButton::zoomAction()(window.get(), buttons[2]);
  EXPECT_FALSE(window->windowState() & Qt::WindowMaximized);
}

TEST(QVChromeImages, EveryWindowButtonStateHasArtwork) {
  for (auto* kind : {"Close", "Minimize", "Zoom"}) {
    for (auto* state : {"Active", "NotKey", "Inactive", "Rollover", "Pressed"}) {
      EXPECT_TRUE(QVChromeImageNamed(std::string("WindowButton") + kind + state)) << kind << state;
    }
  }
  EXPECT_TRUE(QVChromeImageNamed("TopBarArrow"));
  EXPECT_FALSE(QVChromeImageNamed("NoSuchImage"));
}

}  // namespace

#include "QVAppKit/QVFramelessWindow.h"

namespace {

TEST(QVFramelessWindow, ResizeEdgesNearTheBorder) {
  const QSize size(200, 100);
  const struct {
    QPoint point;
    Qt::Edges edges;
  } cases[] = {
      {{100, 50}, {}},
      {{2, 50}, Qt::LeftEdge},
      {{198, 50}, Qt::RightEdge},
      {{100, 1}, Qt::TopEdge},
      {{100, 97}, Qt::BottomEdge},
      {{1, 1}, Qt::LeftEdge | Qt::TopEdge},
      {{199, 99}, Qt::RightEdge | Qt::BottomEdge},
      {{-1, 50}, {}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(QVFramelessResizeEdges(size, c.point, 6), c.edges) << c.point.x() << "," << c.point.y();
}

}  // namespace
