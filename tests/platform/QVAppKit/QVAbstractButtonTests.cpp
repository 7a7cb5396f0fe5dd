#include "QVAppKit/QVAbstractButton.h"

#include <gtest/gtest.h>

#include <memory>

#include "MouseTestSupport.h"

namespace {

using namespace mouse_test;

TEST(QVAbstractButton, TextOffsetsFromTheClassAndFromQVButton) {
  QVAbstractButton::setDefaultTextOffset(CGSizeMake(0, 2));
  std::unique_ptr<QVAbstractButton> plain(QVMake<QVAbstractButton>(CGRectMake(0, 0, 100, 30)));
  EXPECT_EQ(plain->textOffset(), CGSizeMake(0, 2));
  QVAbstractButton::setDefaultTextOffset(CGSizeZero);
  std::unique_ptr<QVAbstractButton> later(QVMake<QVAbstractButton>(CGRectMake(0, 0, 100, 30)));
  EXPECT_EQ(later->textOffset(), CGSizeZero);
  std::unique_ptr<QVButton> button(QVMake<QVButton>(CGRectMake(0, 0, 100, 30)));
  EXPECT_EQ(button->textOffset(), CGSizeMake(0, 2));

  button->setTitle("Import");
  const CGRect title = button->titleFrame();
  EXPECT_NEAR(title.origin.x + title.size.width / 2, 50, 0.5);
  EXPECT_NEAR(title.origin.y + title.size.height / 2, 17, 0.5) << "2 points above the centre";
}

TEST(QVAbstractButton, ActsOnAReleaseInsideOnly) {
  std::unique_ptr<QVView> window(QVMake<QVView>(CGRectMake(0, 0, 300, 100)));
  auto* button = QVMake<QVButton>(CGRectMake(10, 10, 100, 30));
  window->addSubview(button);
  QObject target;
  std::vector<QVAbstractButton*> sent;
  button->setTarget(&target);
  button->setAction([&](QObject* t, QVAbstractButton* sender) {
    EXPECT_EQ(t, &target);
    sent.push_back(sender);
  });
  press(button, QPointF(20, 10));
  EXPECT_TRUE(button->isHighlighted());
  drag(button, QPointF(200, 10));
  EXPECT_FALSE(button->isHighlighted());
  release(button, QPointF(200, 10));
  EXPECT_TRUE(sent.empty());

  press(button, QPointF(20, 10));
  release(button, QPointF(20, 10));
  EXPECT_EQ(sent, std::vector<QVAbstractButton*>{button});

  button->setEnabled(false);
  press(button, QPointF(20, 10));
  release(button, QPointF(20, 10));
  EXPECT_EQ(sent.size(), 1u);
}

TEST(QVTitleBarButton, CanMoveWindowDecidesMouseDownCanMoveWindow) {
  std::unique_ptr<QVTitleBarButton> button(QVMake<QVTitleBarButton>(CGRectMake(0, 0, 100, 30)));
  EXPECT_FALSE(button->canMoveWindow());
  EXPECT_FALSE(button->mouseDownCanMoveWindow());
  button->setCanMoveWindow(true);
  EXPECT_TRUE(button->mouseDownCanMoveWindow());
}

}  // namespace
