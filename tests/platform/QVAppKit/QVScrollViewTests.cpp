#include <gtest/gtest.h>

#include <QApplication>
#include <QListWidget>
#include <QScrollBar>
#include <QWheelEvent>

#include "QVAppKit/QVAbstractScroller.h"
#include "QVAppKit/QVScrollView.h"

TEST(QVScrollView, TheSwitchStopsTheWheelAndTheScrollerButNotScrollingFromCode) {
  QListWidget list;
  for (int i = 0; i < 200; ++i) list.addItem(QStringLiteral("row %1").arg(i));
  list.resize(200, 150);
  auto* scrollView = new QVScrollView(&list);
  auto* scroller = new QVAbstractScroller();
  scroller->setKnobSlotWidth(4);
  scrollView->setVerticalScroller(scroller);
  EXPECT_EQ(scrollView->verticalScroller(), scroller);
  EXPECT_EQ(scroller->width(), 4 + 2 * QVAbstractScroller::kMargin);
  list.show();
  QApplication::processEvents();
  ASSERT_GT(scroller->maximum(), 0);
  EXPECT_FALSE(scroller->knobRect().isEmpty());
  EXPECT_DOUBLE_EQ(scroller->knobRect().width(), 4);

  auto wheel = [&] {
    const QPointF at(50, 50);
    QWheelEvent event(at, list.viewport()->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(list.viewport(), &event);
  };
  scrollView->setScrollingEnabled(false);
  wheel();
  EXPECT_EQ(scroller->value(), 0);
  EXPECT_FALSE(scroller->isEnabled());
  scroller->setValue(10);
  EXPECT_EQ(scroller->value(), 10) << "code still scrolls";
  scrollView->setScrollingEnabled(true);
  wheel();
  EXPECT_GT(scroller->value(), 10);

  scrollView->setVerticalScroller(nullptr);
  EXPECT_EQ(scrollView->verticalScroller(), nullptr);
}

TEST(QVAbstractScroller, NothingToScrollDrawsNoKnob) {
  QVAbstractScroller scroller;
  scroller.resize(10, 300);
  scroller.setRange(0, 0);
  EXPECT_TRUE(scroller.knobRect().isEmpty());
  scroller.setRange(0, 900);
  scroller.setPageStep(300);
  scroller.setValue(900);
  const QRectF knob = scroller.knobRect();
  EXPECT_NEAR(knob.height(), (300 - 6) * 300.0 / 1200.0, 1e-9);
  EXPECT_NEAR(knob.bottom(), 300 - QVAbstractScroller::kMargin, 1e-9) << "at the end the knob reaches the bottom";
}
