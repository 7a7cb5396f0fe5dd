#include "QVAppKit/QVSolvaneTopBarView.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <memory>

#include "QVAppKit/QVSpringButton.h"

namespace {

struct Delegate : QVSolvaneTopBarViewDelegate {
  int clicks = 0;
  void didClickImportMoreButton(QVSolvaneTopBarView*) override { ++clicks; }
};

class TopBar : public ::testing::Test {
 protected:
  void SetUp() override {
    menu = std::make_shared<QMenu>();
    menu->addAction("Preferences…");
    menu->addAction("Check for Updates…");
    bar.reset(QVSolvaneTopBarView::topBarWithMenu(menu));
    bar->setFrame(CGRectMake(0, 0, 900, 38));
    bar->setTitle("Solvane");
  }
  void TearDown() override {
    bar.reset();
    QVSolvaneTopBarView::setPluginModeQuery(nullptr);
    QVSolvaneTopBarView::setMenuPresenter(nullptr);
    QApplication::setLayoutDirection(Qt::LeftToRight);
  }
  std::shared_ptr<QMenu> menu;
  std::unique_ptr<QVSolvaneTopBarView> bar;
};

TEST_F(TopBar, ImportButtonKindsAndAnimatableViews) {
  EXPECT_EQ(bar->importButtonType(), 0u);
  EXPECT_EQ(bar->animatableViews().count(QVTopBarImportButtonKey), 0u);
  EXPECT_EQ(bar->animatableViews().size(), 2u);
  bar->setImportButtonType(1);
  auto* text = dynamic_cast<QVTitleBarButton*>(bar->importMoreButton());
  ASSERT_TRUE(text);
  EXPECT_EQ(text->title(), "+ IMPORT MORE");
  EXPECT_EQ(text->kerning(), 4.29);
  EXPECT_TRUE(text->canMoveWindow());
  EXPECT_EQ(bar->animatableViews().at(QVTopBarImportButtonKey), text);
  bar->setImportButtonType(1);
  EXPECT_EQ(bar->importMoreButton(), text);  // the same kind is not rebuilt
  bar->setImportButtonType(2);
  auto* spring = dynamic_cast<QVRoundedSpringButton*>(bar->importMoreButton());
  ASSERT_TRUE(spring);
  EXPECT_EQ(spring->title(), std::optional<std::string>("IMPORT MORE"));
  EXPECT_EQ(spring->frame().size.height, 24);
  EXPECT_FALSE(spring->hoverEnabled());
  EXPECT_EQ(bar->importMoreButtonContainer()->subviews().size(), 1u);
  bar->setImportButtonType(7);
  EXPECT_EQ(bar->importMoreButton(), nullptr);
  EXPECT_TRUE(bar->importMoreButtonContainer()->subviews().empty());
}

TEST_F(TopBar, ImportButtonShowsOnlyWhereItFitsAndNotAsAPlugIn) {
  bar->setImportButtonType(1);
  bar->layout();
  EXPECT_FALSE(bar->importMoreButtonContainer()->isHidden());
  bar->setFrame(CGRectMake(0, 0, 300, 38));
  bar->layout();
  EXPECT_TRUE(bar->importMoreButtonContainer()->isHidden());
  bar->setFrame(CGRectMake(0, 0, 900, 38));
  bar->layout();
  EXPECT_FALSE(bar->importMoreButtonContainer()->isHidden());
  QVSolvaneTopBarView::setPluginModeQuery([] { return true; });
  bar->layout();
  EXPECT_TRUE(bar->importMoreButtonContainer()->isHidden());
}

TEST_F(TopBar, ImportClickReachesTheDelegate) {
  auto delegate = std::make_shared<Delegate>();
  bar->setDelegate(delegate);
  bar->setImportButtonType(1);
  static_cast<QVTitleBarButton*>(bar->importMoreButton())->performClick();
  EXPECT_EQ(delegate->clicks, 1);
}

TEST_F(TopBar, TitleWidthFollowsTheText) {
  const double short_ = bar->titleWidthConstant();
  bar->setTitle("Solvane — Landscape.jpg");
  EXPECT_GT(bar->titleWidthConstant(), short_);
  EXPECT_EQ(bar->solvaneButton()->title(), "Solvane — Landscape.jpg");
}

TEST_F(TopBar, ShowTitleBringsTheArrowBack) {
  bar->setShowArrowNearTitle(false);
  EXPECT_TRUE(bar->arrowImage()->isHidden());
  bar->setShowTitle(false);
  EXPECT_TRUE(bar->solvaneButton()->isHidden());
  bar->setShowTitle(true);
  EXPECT_FALSE(bar->arrowImage()->isHidden());
  bar->setShowMinimizeButton(false);
  EXPECT_TRUE(bar->minimizeButton()->isHidden());
}

TEST_F(TopBar, MenuIsCentredUnderTheSenderInBothDirections) {
  const double menuWidth = menu->sizeHint().width();
  auto* sender = bar->solvaneButton();
  sender->setFrame(CGRectMake(0, 0, 80, 24));
  EXPECT_EQ(bar->menuLocationForSender(sender), CGPointMake(40 - menuWidth / 2, -10));
  QApplication::setLayoutDirection(Qt::RightToLeft);
  EXPECT_EQ(bar->menuLocationForSender(sender), CGPointMake(40 + menuWidth / 2, -10));
  std::unique_ptr<QVSolvaneTopBarView> rtl(QVSolvaneTopBarView::topBar());
  EXPECT_EQ(rtl->arrowTrailingConstant(), 5);
  EXPECT_EQ(bar->arrowTrailingConstant(), 0);
}

TEST_F(TopBar, ShowMenuPopsUpTheMenuBelowTheTitle) {
  QMenu* shown = nullptr;
  QPoint at;
  QVSolvaneTopBarView::setMenuPresenter([&](QMenu* m, QPoint p) {
    shown = m;
    at = p;
  });
  auto* sender = bar->solvaneButton();
  bar->showMenu(sender);
  EXPECT_EQ(shown, menu.get());
  EXPECT_EQ(at.y(), sender->mapToGlobal(QPoint(0, sender->height() + 10)).y());
  shown = nullptr;
  std::unique_ptr<QVSolvaneTopBarView> plain(QVSolvaneTopBarView::topBar());
  EXPECT_FALSE(plain->topBarMenu());
  plain->showMenu(plain->solvaneButton());
  EXPECT_EQ(shown, nullptr);
}

TEST_F(TopBar, DoubleClickZoomsUnlessControlIsHeld) {
  QWidget window;
  bar->setParent(&window);
  EXPECT_FALSE(bar->handleDoubleClick(Qt::ControlModifier));
  EXPECT_FALSE(window.windowState() & Qt::WindowMaximized);
  EXPECT_TRUE(bar->handleDoubleClick(Qt::NoModifier));
  EXPECT_TRUE(window.windowState() & Qt::WindowMaximized);
  bar->setParent(nullptr);
}

}  // namespace

#include "MouseTestSupport.h"

namespace {

TEST(QVTitleBarButton, ADragMovesTheWindowOnlyWhenAllowed) {
  QObject target;
  for (bool canMove : {false, true}) {
    std::unique_ptr<QVTitleBarButton> button(QVMake<QVTitleBarButton>(CGRectMake(0, 0, 100, 30)));
    int clicks = 0;
    button->setTarget(&target);
    button->setAction([&](QObject*, QVAbstractButton*) { ++clicks; });
    button->setCanMoveWindow(canMove);
    mouse_test::press(button.get(), QPointF(10, 10));
    mouse_test::drag(button.get(), QPointF(30, 12));
    // Allowed: the window takes the drag over and the button gives up its press.
    EXPECT_EQ(button->isPressed(), !canMove) << canMove;
    mouse_test::release(button.get(), QPointF(30, 12));
    EXPECT_EQ(clicks, canMove ? 0 : 1) << canMove;
    // A click without travel stays a click either way.
    mouse_test::press(button.get(), QPointF(10, 10));
    mouse_test::drag(button.get(), QPointF(11, 10));
    mouse_test::release(button.get(), QPointF(11, 10));
    EXPECT_EQ(clicks, canMove ? 1 : 2) << canMove;
  }
}

}  // namespace
