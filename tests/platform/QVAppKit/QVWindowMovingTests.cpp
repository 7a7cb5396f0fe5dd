#include "QVAppKit/QVWindowMoving.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <memory>
#include <string>
#include <vector>

#include "QVAppKit/QVBackgroundView.h"
#include "QVAppKit/QVFramelessWindow.h"

namespace {

// One event of a gesture, as the window system may deliver them: the pointer's travel from the press
// point, and whether the left button is held in a move (a move reported after its release still
// claims the button when the two come out of order).
struct Step {
  enum Kind { Press, RightPress, Release, Move, Escape } kind;
  QPoint travel{};
  bool held = true;
};

struct Case {
  const char* name;
  std::vector<Step> steps;
  QPoint moved;  // where the window ends, from where it started
};

class WindowMoving : public ::testing::Test {
 protected:
  void SetUp() override {
    window = std::make_unique<QWidget>();
    window->setGeometry(100, 100, 400, 300);
    view = QVMake<QVBackgroundView>(CGRectMake(0, 0, 400, 300));
    view->setParent(window.get());
    view->setGeometry(0, 0, 400, 300);
    view->setCanMoveWindow(true);
    window->show();
    start = window->pos();
    pressAt = view->mapToGlobal(QPointF(50, 40));
  }
  void TearDown() override {
    QVWindowMoving::cancel();
    window.reset();
  }
  void play(const Step& step) {
    const QPointF global = pressAt + QPointF(step.travel);
    const QPointF local = view->mapFromGlobal(global);
    switch (step.kind) {
      case Step::Press:
      case Step::RightPress: {
        const Qt::MouseButton button = step.kind == Step::Press ? Qt::LeftButton : Qt::RightButton;
        QMouseEvent e(QEvent::MouseButtonPress, local, local, global, button, button, Qt::NoModifier);
        QCoreApplication::sendEvent(view, &e);
        break;
      }
      case Step::Release: {
        QMouseEvent e(QEvent::MouseButtonRelease, local, local, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(view, &e);
        break;
      }
      case Step::Move: {
        QMouseEvent e(QEvent::MouseMove, local, local, global, Qt::NoButton, step.held ? Qt::LeftButton : Qt::NoButton,
                      Qt::NoModifier);
        QCoreApplication::sendEvent(view, &e);
        break;
      }
      case Step::Escape: {
        QKeyEvent e(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QCoreApplication::sendEvent(window.get(), &e);
        break;
      }
    }
  }

  std::unique_ptr<QWidget> window;
  QVBackgroundView* view = nullptr;
  QPoint start;
  QPointF pressAt;
};

TEST_F(WindowMoving, OnlyAPressHeldAndMovedMovesTheWindowUntilItsRelease) {
  using S = Step;
  const Case cases[] = {
      {"held and dragged: the window follows, and stays after the release",
       {{S::Press}, {S::Move, {20, 10}}, {S::Move, {40, 30}}, {S::Release, {40, 30}}, {S::Move, {160, 200}, false}},
       {40, 30}},
      {"a tap (press and release together), then the pointer moves",
       {{S::Press}, {S::Release}, {S::Move, {120, 160}, false}, {S::Move, {130, 170}, false}},
       {0, 0}},
      {"the release comes before a move that still claims the button",
       {{S::Press}, {S::Release}, {S::Move, {120, 160}}},
       {0, 0}},
      {"a release within the threshold",
       {{S::Press}, {S::Move, {2, 1}}, {S::Release, {2, 1}}, {S::Move, {50, 50}, false}},
       {0, 0}},
      {"the button's release went elsewhere: a move without it disarms",
       {{S::Press}, {S::Move, {50, 50}, false}, {S::Move, {60, 60}}},
       {0, 0}},
      {"Escape during the move puts the window back and ends it",
       {{S::Press}, {S::Move, {40, 30}}, {S::Escape}, {S::Move, {80, 80}}},
       {0, 0}},
      {"a right press never moves", {{S::RightPress}, {S::Move, {40, 40}}}, {0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    window->move(start);
    QVWindowMoving::cancel();
    for (const Step& step : c.steps) play(step);
    EXPECT_EQ(window->pos() - start, c.moved);
    EXPECT_FALSE(QVWindowMoving::isMoving()) << "every gesture ends";
    play({Step::Release});
  }
}

TEST_F(WindowMoving, ArmedByThePressMovingPastTheThresholdOnly) {
  play({Step::Press});
  EXPECT_TRUE(QVWindowMoving::isArmed());
  EXPECT_FALSE(QVWindowMoving::isMoving());
  play({Step::Move, {2, 2}});
  EXPECT_TRUE(QVWindowMoving::isArmed());
  EXPECT_EQ(window->pos(), start) << "under the threshold the window stays";
  play({Step::Move, {5, 0}});
  EXPECT_TRUE(QVWindowMoving::isMoving());
  EXPECT_EQ(window->pos() - start, QPoint(5, 0));
  play({Step::Release, {5, 0}});
  EXPECT_FALSE(QVWindowMoving::isArmed());
  EXPECT_FALSE(QVWindowMoving::isMoving());
  // A view that does not allow it never arms.
  view->setCanMoveWindow(false);
  play({Step::Press});
  EXPECT_FALSE(QVWindowMoving::isArmed());
  play({Step::Release});
}

TEST_F(WindowMoving, APressOnAFramelessWindowsEdgeOnlyArmsItsResize) {
  QWidget frameless;
  QVFramelessWindow::install(&frameless);
  frameless.setGeometry(300, 200, 200, 150);
  frameless.show();
  const QPointF edge(199, 75), global = frameless.mapToGlobal(edge);
  QMouseEvent press(QEvent::MouseButtonPress, edge, edge, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&frameless, &press);
  EXPECT_TRUE(QVWindowMoving::isArmed()) << "a tap on the edge starts no resize";
  QMouseEvent release(QEvent::MouseButtonRelease, edge, edge, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&frameless, &release);
  EXPECT_FALSE(QVWindowMoving::isArmed());
  EXPECT_EQ(frameless.geometry(), QRect(300, 200, 200, 150));
}

}  // namespace
