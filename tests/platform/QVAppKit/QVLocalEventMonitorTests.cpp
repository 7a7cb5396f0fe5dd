#include "QVAppKit/QVLocalEventMonitor.h"

#include <gtest/gtest.h>

#include <QKeyEvent>
#include <memory>

#include "MouseTestSupport.h"

namespace {

// A widget that records the presses it got itself (a plain widget passes them to its parent).
class Target : public QWidget {
 public:
  using QWidget::QWidget;
  int presses = 0;
  bool accept = true;

 protected:
  void mousePressEvent(QMouseEvent* e) override {
    ++presses;
    if (!accept) e->ignore();
  }
};

TEST(QVLocalEventMonitor, SeesEachPressOnceAndMayConsumeIt) {
  Target parent;
  parent.resize(200, 200);
  auto* child = new Target(&parent);
  child->setGeometry(10, 10, 50, 50);
  child->accept = false;  // the press travels on to the parent
  parent.show();
  int seen = 0;
  bool consume = false;
  QVLocalEventMonitor monitor(QVLocalEventMonitor::LeftMouseDown, [&](QEvent* e) {
    EXPECT_EQ(e->type(), QEvent::MouseButtonPress);
    ++seen;
    return consume;
  });
  mouse_test::press(child, QPointF(5, 5));
  EXPECT_EQ(seen, 1) << "one press, though two widgets saw it";
  EXPECT_EQ(child->presses, 1);
  EXPECT_EQ(parent.presses, 1);
  mouse_test::press(child, QPointF(5, 5));
  EXPECT_EQ(seen, 2) << "a second press at the same place is a new one";

  consume = true;
  mouse_test::press(child, QPointF(5, 5));
  EXPECT_EQ(seen, 3);
  EXPECT_EQ(child->presses, 2) << "consumed before any widget";

  // Keys are not in the mask.
  QKeyEvent key(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QCoreApplication::sendEvent(child, &key);
  EXPECT_EQ(seen, 3);
  monitor.remove();
  mouse_test::press(child, QPointF(5, 5));
  EXPECT_EQ(seen, 3);
}

TEST(QVLocalEventMonitor, TiedToAViewItWatchesWhileTheViewIsShown) {
  QWidget window;
  window.resize(200, 200);
  auto* view = new QWidget(&window);
  view->setGeometry(0, 0, 20, 20);
  int keys = 0;
  QPointer<QVLocalEventMonitor> monitor = new QVLocalEventMonitor(view, QVLocalEventMonitor::KeyDown, [&](QEvent*) {
    ++keys;
    return false;
  });
  EXPECT_FALSE(monitor->isInstalled()) << "not shown yet";
  window.show();
  EXPECT_TRUE(monitor->isInstalled());
  QKeyEvent key(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QCoreApplication::sendEvent(&window, &key);
  EXPECT_EQ(keys, 1);
  view->hide();
  EXPECT_FALSE(monitor->isInstalled());
  QCoreApplication::sendEvent(&window, &key);
  EXPECT_EQ(keys, 1);
  view->show();
  EXPECT_TRUE(monitor->isInstalled());
  delete view;
  EXPECT_TRUE(monitor.isNull()) << "it goes with its view";
  QCoreApplication::sendEvent(&window, &key);
  EXPECT_EQ(keys, 1);
}

TEST(QVLocalEventMonitor, OutsideAView) {
  QWidget window;
  window.resize(200, 200);
  auto* view = new QWidget(&window);
  view->setGeometry(50, 50, 20, 20);
  window.show();
  auto at = [&](QPointF p) {
    return QMouseEvent(QEvent::MouseButtonPress, p, p, window.mapToGlobal(p), Qt::LeftButton, Qt::LeftButton,
                       Qt::NoModifier);
  };
  EXPECT_FALSE(QVLocalEventMonitor::isOutsideView(at(QPointF(55, 55)), view));
  EXPECT_TRUE(QVLocalEventMonitor::isOutsideView(at(QPointF(10, 10)), view));
  view->hide();
  EXPECT_TRUE(QVLocalEventMonitor::isOutsideView(at(QPointF(55, 55)), view)) << "a hidden view is nowhere";
}

}  // namespace
