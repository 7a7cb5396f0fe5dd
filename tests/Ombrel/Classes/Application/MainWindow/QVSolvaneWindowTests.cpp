#include "Ombrel/Classes/Application/MainWindow/QVSolvaneWindow.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>
#include <cmath>
#include <vector>

#include "Ombrel/Classes/Application/ApplicationTestSupport.h"
#include "Ombrel/Classes/Application/MainWindow/QVSolvaneWindowAnimator.h"
#include "QVAppKit/QVAnimationDriver.h"

namespace {

class QVSolvaneWindowTest : public testing::Test {
 protected:
  void SetUp() override {
    QVSolvaneWindow::setPluginModeQuery([this] { return plugin; });
    QVSolvaneWindow::setCompositingQuery([this] { return compositing; });
  }
  void TearDown() override {
    QVSolvaneWindow::setPluginModeQuery(nullptr);
    QVSolvaneWindow::setCompositingQuery(nullptr);
    QVSolvaneWindow::setWindowManagerQuery(nullptr);
    QVAnimationDriver::shared().cancelAll();
  }
  bool plugin = false;
  bool compositing = true;
};

using app_test::SizeAtPaint;

SizeAtPaint* shownProbe(QVSolvaneWindow& window) {
  auto* probe = new SizeAtPaint(window.contentView());
  probe->setGeometry(0, 0, 40, 40);
  probe->show();
  QCoreApplication::processEvents();
  return probe;
}

void expectCentredOnScreen(const QVSolvaneWindow& window) {
  const CGRect visible = window.visibleScreenFrame();
  const CGRect f = window.frame();
  EXPECT_NEAR(f.origin.x - visible.origin.x, visible.origin.x + visible.size.width - (f.origin.x + f.size.width), 1);
  EXPECT_NEAR(f.origin.y - visible.origin.y, visible.origin.y + visible.size.height - (f.origin.y + f.size.height), 1);
}

}  // namespace

TEST_F(QVSolvaneWindowTest, TheOffscreenScreenIs2560By1440) {
  QScreen* screen = QGuiApplication::primaryScreen();
  ASSERT_NE(screen, nullptr);
  EXPECT_EQ(screen->geometry().size(), QSize(2560, 1440));
}

TEST_F(QVSolvaneWindowTest, EachModeShapesTheWindow) {
  QVSolvaneWindow window;
  window.setTitleBarView(QVSolvaneTopBarView::topBar());
  // Set-up: the open screen's shape, title bar hidden.
  EXPECT_EQ(window.frame().size, CGSizeMake(452, 440));
  EXPECT_FALSE(window.isTitleBarVisible());
  EXPECT_TRUE(window.isMovableByWindowBackground());
  expectCentredOnScreen(window);

  window.changeSizeMode(QVScreenModeSingle, false);
  EXPECT_EQ(window.frame().size, CGSizeMake(800, 600));
  EXPECT_TRUE(window.isTitleBarVisible());
  EXPECT_TRUE(window.isShowImportMoreButton());
  EXPECT_TRUE(QVSCornerRadiiIsEqual(window.cornerRadii(), QVSMakeCornerRadii(6, 6, 30, 6)));
  expectCentredOnScreen(window);

  window.changeSizeMode(QVScreenModeGallery, false);
  const CGSize visible = window.visibleScreenFrame().size;
  EXPECT_EQ(window.frame().size, CGSizeMake(std::min(1008.0, visible.width), std::min(762.0, visible.height)));
  EXPECT_FALSE(window.isMovableByWindowBackground());
  EXPECT_EQ(window.maxSize(), CGSizeMake(2560, 1440));

  // Unknown modes change nothing; the open mode comes back whole.
  const CGRect before = window.frame();
  window.updateScreenSizeWithMode(7, false);
  EXPECT_EQ(window.frame(), before);
  plugin = true;
  window.changeSizeMode(QVScreenModeOpen, false);
  EXPECT_EQ(window.frame().size, CGSizeMake(452, 440));
  EXPECT_FALSE(window.isShowImportMoreButton());
  EXPECT_TRUE(QVSCornerRadiiIsEqual(window.cornerRadii(), QVSMakeCornerRadii(6, 6, 6, 6)));
  window.changeSizeMode(QVScreenModeSingle, false);
  EXPECT_FALSE(window.isShowImportMoreButton());  // a plug-in never imports more
}

TEST_F(QVSolvaneWindowTest, ContentSizeShapesAroundTheImageAndNeverGoesNaN) {
  QVSolvaneWindow window;
  window.changeSizeMode(QVScreenModeSingle, false);
  window.updateWithContentSize(CGSizeMake(1000, 500), std::nullopt, false);
  EXPECT_EQ(window.maxSize(), CGSizeMake(1536, 768));
  EXPECT_EQ(window.minSize(), CGSizeMake(800, 600));
  EXPECT_EQ(window.frame().size, CGSizeMake(1536, 768));
  EXPECT_DOUBLE_EQ(window.aspectRatio(), 2.0);
  for (CGSize degenerate : {CGSizeZero, CGSizeMake(0, 900), CGSizeMake(NAN, NAN)}) {
    window.updateWithContentSize(degenerate, CGPointMake(10, 20), false);
    const CGRect f = window.frame();
    EXPECT_EQ(f.size, CGSizeMake(800, 600));
    EXPECT_EQ(f.origin, CGPointMake(10, 20));
    EXPECT_FALSE(std::isnan(window.aspectRatio()));
  }
}

TEST_F(QVSolvaneWindowTest, ShadowWithACompositorMaskWithout) {
  QVSolvaneWindow withShadow;
  EXPECT_EQ(withShadow.shadowMargin(), QVSolvaneWindow::kShadowMargin);
  EXPECT_EQ(withShadow.size(),
            QSize(452 + 2 * QVSolvaneWindow::kShadowMargin, 440 + 2 * QVSolvaneWindow::kShadowMargin));
  EXPECT_EQ(withShadow.frame().size, CGSizeMake(452, 440));
  EXPECT_TRUE(withShadow.mask().isEmpty());
  compositing = false;
  QVSolvaneWindow masked;
  EXPECT_EQ(masked.shadowMargin(), 0);
  EXPECT_EQ(masked.size(), QSize(452, 440));
  // The mask leaves the rounded corners out.
  EXPECT_FALSE(masked.mask().isEmpty());
  EXPECT_FALSE(masked.mask().contains(QPoint(0, 0)));
  EXPECT_TRUE(masked.mask().contains(QPoint(226, 220)));
}

TEST_F(QVSolvaneWindowTest, UserInteractionFreezesTitleBarAndContent) {
  QVSolvaneWindow window;
  auto* bar = QVSolvaneTopBarView::topBar();
  window.setTitleBarView(bar);
  window.setUserInteractionEnabled(false);
  EXPECT_FALSE(bar->userInteractionEnabled());
  EXPECT_FALSE(window.contentView()->userInteractionEnabled());
  window.setUserInteractionEnabled(true);
  EXPECT_TRUE(bar->userInteractionEnabled());
  EXPECT_TRUE(window.contentView()->userInteractionEnabled());
  // A new title bar replaces the old one inside the container.
  auto* second = QVSolvaneTopBarView::topBar();
  window.setTitleBarView(second);
  EXPECT_EQ(window.titleBarView(), second);
  EXPECT_EQ(second->parentWidget(), window.titlebarContainer());
}

TEST_F(QVSolvaneWindowTest, AnimatorRunsNFramesAndOneCompletion) {
  auto& driver = QVAnimationDriver::shared();
  QVSolvaneWindow window;
  window.changeSizeMode(QVScreenModeSingle, false);
  const double duration = 0.25;
  const uint64_t expected = uint64_t(duration / driver.frameInterval());
  int progressCalls = 0, completions = 0;
  double lastElapsed = -1;
  window.animateFrame(
      CGRectMake(0, 0, 452, 440), duration,
      [&](double elapsed, CGRect) {
        ++progressCalls;
        EXPECT_GT(elapsed, lastElapsed);
        lastElapsed = elapsed;
      },
      [&] { ++completions; });
  ASSERT_NE(window.windowAnimator(), nullptr);
  EXPECT_EQ(window.windowAnimator()->framesCount(), expected);
  driver.advance(2.0);
  EXPECT_EQ(progressCalls, int(expected));
  EXPECT_DOUBLE_EQ(lastElapsed, duration);
  EXPECT_EQ(completions, 1);
  EXPECT_EQ(window.windowAnimator(), nullptr);
  // The last frame is the target's size, centred on the window's screen (its origin included).
  EXPECT_EQ(window.frame().size, CGSizeMake(452, 440));
  const CGRect screen = window.screenFrame();
  EXPECT_NEAR(window.frame().origin.x, screen.origin.x + (screen.size.width - 452) / 2, 1);
  driver.advance(1.0);
  EXPECT_EQ(completions, 1);
}

// The window system moves and resizes the window at once and keeps its old picture until the next
// paint: each step of a frame animation is painted before the step returns, or the window would
// show every step laid out as the one before (Start Over shrinking back to the open screen).
TEST_F(QVSolvaneWindowTest, EachStepOfAFrameAnimationIsPaintedAtItsSize) {
  auto& driver = QVAnimationDriver::shared();
  QVSolvaneWindow window;
  window.changeSizeMode(QVScreenModeSingle, false);
  window.show();
  auto* probe = shownProbe(window);
  const QSize start = window.size();
  window.changeSizeMode(QVScreenModeOpen, true);
  for (int step = 0; step < 3; ++step) {
    driver.advance(0.05);
    ASSERT_NE(window.size(), start);
    ASSERT_FALSE(probe->paints.empty());
    EXPECT_EQ(probe->paints.back(), window.size()) << "step " << step;
  }
}

// Under a window manager a frame change is a request answered later, and every size reported is
// laid out again: reports of earlier steps arriving after later requests drew the quick preview at
// an old size, then jumped. One request is out at a time, a frame set meanwhile waits (the newest
// wins, and is the window's frame already), and nothing is painted between a request and its
// answer; each answered step is painted at its size.
TEST_F(QVSolvaneWindowTest, UnderAWindowManagerOneFrameChangeIsOutAtATime) {
  QVSolvaneWindow::setWindowManagerQuery([] { return true; });
  auto& driver = QVAnimationDriver::shared();
  QVSolvaneWindow window;
  window.changeSizeMode(QVScreenModeSingle, false);
  window.show();
  auto* probe = shownProbe(window);
  QCoreApplication::processEvents();
  ASSERT_FALSE(window.awaitsGeometryAnswer());
  const QSize start = window.size();
  probe->paints.clear();

  window.changeSizeMode(QVScreenModeOpen, true);
  driver.advance(0.05);
  ASSERT_TRUE(window.awaitsGeometryAnswer());
  const QSize first = window.size();
  EXPECT_NE(first, start);
  window.repaint();
  for (const QSize& painted : probe->paints) EXPECT_EQ(painted, start) << "painted at its new size before the answer";
  probe->paints.clear();
  // The next step waits for the answer: the window stays, its frame is the waiting one.
  driver.advance(0.05);
  EXPECT_EQ(window.size(), first);
  EXPECT_LT(window.frame().size.width, QVSolvaneWindow::screenRectFromQtRect(QRect(QPoint(), first)).size.width);

  // Answered, painted, the waiting step sent; and so on to the end of the motion.
  for (int turn = 0; turn < 20; ++turn) {
    QCoreApplication::processEvents();
    driver.advance(0.05);
  }
  QCoreApplication::processEvents();
  QCoreApplication::processEvents();
  EXPECT_FALSE(window.awaitsGeometryAnswer());
  EXPECT_NEAR(window.frame().size.width, QVSolvaneWindowShapes::kOpenSize.width, 1);
  EXPECT_NEAR(window.frame().size.height, QVSolvaneWindowShapes::kOpenSize.height, 1);
  ASSERT_FALSE(probe->paints.empty());
  EXPECT_EQ(probe->paints.front(), first) << "the first step answered is painted at its size";
  EXPECT_EQ(probe->paints.back(), window.size());
}

// A window manager holds the window at its old size until it answers, and applies limits set
// meanwhile to the window it holds: a minimum above that size had it grow the window on its own,
// racing the request (the gallery, its minimum height set as it came in, was answered at that
// height, laid out and painted there, and grew only when asked again). Limits set while a frame
// change is out take in the size held as well as the one asked for.
TEST_F(QVSolvaneWindowTest, UnderAWindowManagerLimitsSetWhileAFrameIsOutKeepTheSizeHeld) {
  QVSolvaneWindow::setWindowManagerQuery([] { return true; });
  QVSolvaneWindow window;
  window.changeSizeMode(QVScreenModeSingle, false);
  window.show();
  QCoreApplication::processEvents();
  QCoreApplication::processEvents();
  ASSERT_FALSE(window.awaitsGeometryAnswer());
  const QSize held = window.size();
  const CGRect small = window.frame();
  const CGRect large =
      CGRectMake(small.origin.x - 100, small.origin.y - 100, small.size.width + 200, small.size.height + 200);
  window.setFrame(large, true, false);
  ASSERT_TRUE(window.awaitsGeometryAnswer());
  // The new screen's limits: a minimum between the two sizes, a maximum below the frame asked for.
  window.setMinSize(CGSizeMake(small.size.width + 100, small.size.height + 100));
  window.setMaxSize(CGSizeMake(small.size.width + 150, small.size.height + 150));
  EXPECT_LE(window.minimumWidth(), held.width());
  EXPECT_LE(window.minimumHeight(), held.height());
  EXPECT_GE(window.maximumWidth(), window.size().width()) << "the frame asked for is cut";
  EXPECT_GE(window.maximumHeight(), window.size().height()) << "the frame asked for is cut";
  // Answered: the frame asked for.
  for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
  EXPECT_FALSE(window.awaitsGeometryAnswer());
  EXPECT_NEAR(window.frame().size.width, large.size.width, 1);
  EXPECT_NEAR(window.frame().size.height, large.size.height, 1);
}

// A window manager applies a client's size limits to the size it holds the window at. While a
// frame change is unanswered that is still the old size: limits narrowed to the new size then had
// the manager resize the window to them on its own, at its old place (the quick preview, still
// limited to the open screen's size, was reported at that size halfway through its opening, laid
// out there and showed the manager's white frame around it). Until the answer the limits take in
// the old size too; once it came they bind again.
TEST_F(QVSolvaneWindowTest, UnderAWindowManagerTheLimitsHoldTheOldSizeUntilTheAnswer) {
  compositing = false;
  QVSolvaneWindow::setWindowManagerQuery([] { return true; });
  struct Case {
    const char* name;
    CGSize from, to;  // the open screen's limits lie between them
  };
  for (const Case& c : {Case{"growing past the minimum", CGSizeMake(200, 130), CGSizeMake(800, 570)},
                        Case{"shrinking past the maximum", CGSizeMake(800, 570), CGSizeMake(200, 130)}}) {
    SCOPED_TRACE(c.name);
    QVSolvaneWindow window;
    window.changeSizeMode(QVScreenModeOpen, false);
    window.setFrame(CGRectMake(300, 300, c.from.width, c.from.height), true, false);
    window.show();
    QCoreApplication::processEvents();
    ASSERT_FALSE(window.awaitsGeometryAnswer());
    const QSize before = window.size();

    window.setFrame(CGRectMake(250, 250, c.to.width, c.to.height), true, false);
    ASSERT_TRUE(window.awaitsGeometryAnswer());
    EXPECT_LE(window.minimumWidth(), before.width());
    EXPECT_LE(window.minimumHeight(), before.height());
    EXPECT_GE(window.maximumWidth(), before.width());
    EXPECT_GE(window.maximumHeight(), before.height());

    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    ASSERT_FALSE(window.awaitsGeometryAnswer());
    EXPECT_NEAR(window.frame().size.width, c.to.width, 1);
    // Answered: the limits bind again, widened only to the window's own size.
    const QSize now = window.size();
    const QSize open(int(QVSolvaneWindowShapes::kOpenSize.width), int(QVSolvaneWindowShapes::kOpenSize.height));
    EXPECT_EQ(window.minimumSize(), open.boundedTo(now));
    EXPECT_EQ(window.maximumSize(), open.expandedTo(now));
  }
}

// While the window system moves and resizes the window, it shows the old picture until the new
// size is painted: the gravity chosen keeps it where it stood on the screen (growing round the
// centre when a photo opens, shrinking round it on Start Over, an edge dragged by the user).
TEST(QVSolvaneWindowGravity, TheOldPictureStaysWhereItStoodOnTheScreen) {
  struct Case {
    QRect from, to;
    int gravity;
  };
  const QRect from(400, 300, 600, 400);
  for (const Case& c : {
           Case{from, QRect(200, 150, 1000, 700), 5},  // grown round its centre
           Case{from, QRect(501, 351, 399, 299), 5},   // shrunk round it, a pixel of rounding
           Case{from, QRect(400, 300, 800, 500), 1},   // the far edges dragged
           Case{from, QRect(300, 200, 700, 500), 9},   // the near edges dragged
           Case{from, QRect(300, 300, 700, 400), 3},   // the left edge dragged
           Case{from, QRect(400, 250, 600, 450), 7},   // the top edge dragged
           Case{from, QRect(450, 300, 600, 400), 1},   // only moved: the picture moves with it
           Case{from, QRect(0, 0, 200, 100), 1},       // moved and resized with nothing kept
       })
    EXPECT_EQ(QVSolvaneWindow::bitGravityKeepingPicture(c.from, c.to), c.gravity) << c.to.x() << "," << c.to.y();
}

// Opening a photo grows the window round its centre while the photo's screen asks for a larger
// minimum size: the window goes there in one step, never first grown at its old top-left by its
// limits (which the window system showed as a frame of the content shifted up and left).
TEST_F(QVSolvaneWindowTest, AWindowGivenAFrameBelowItsNewLimitsGoesThereInOneStep) {
  class GeometrySeen : public QObject {
   public:
    std::vector<QRect> seen;
    QWidget* watched = nullptr;
    bool eventFilter(QObject* o, QEvent* e) override {
      if (o == watched && (e->type() == QEvent::Resize || e->type() == QEvent::Move))
        seen.push_back(watched->geometry());
      return false;
    }
  };
  QVSolvaneWindow window;
  window.changeSizeMode(QVScreenModeOpen, false);
  window.show();
  QCoreApplication::processEvents();
  const CGRect small = window.frame();
  GeometrySeen filter;
  filter.watched = &window;
  window.installEventFilter(&filter);
  window.setMinSize(CGSizeMake(small.size.width + 200, small.size.height + 100));
  const CGRect large =
      CGRectMake(small.origin.x - 150, small.origin.y - 100, small.size.width + 300, small.size.height + 200);
  window.setFrame(large, true, false);
  QCoreApplication::processEvents();
  EXPECT_NEAR(window.frame().size.width, large.size.width, 1);
  for (const QRect& g : filter.seen)
    EXPECT_TRUE(g == window.geometry()) << "an intermediate geometry " << g.x() << "," << g.y() << " " << g.width()
                                        << "x" << g.height();
}

TEST_F(QVSolvaneWindowTest, EdgeDragKeepsTheAspectRatio) {
  QVSolvaneWindow window;
  window.changeSizeMode(QVScreenModeSingle, false);
  window.updateWithContentSize(CGSizeMake(1000, 500), std::nullopt, false);
  ASSERT_EQ(window.frame().size, CGSizeMake(1536, 768));
  const QRect content = window.contentView()->geometry();
  // A press on the right edge, then the pointer 136 points to the left.
  const QPoint local(content.right(), content.center().y());
  const QPoint global = window.mapToGlobal(local);
  auto send = [&](QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
    QMouseEvent event(type, QPointF(window.mapFromGlobal(at)), QPointF(at), Qt::LeftButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(window.contentView(), &event);
  };
  send(QEvent::MouseButtonPress, global, Qt::LeftButton);
  send(QEvent::MouseMove, global - QPoint(136, 0), Qt::LeftButton);
  EXPECT_EQ(window.frame().size, CGSizeMake(1400, 700));
  // Past the minimum: the ratio stays, the minimum width holds.
  send(QEvent::MouseMove, global - QPoint(1200, 0), Qt::LeftButton);
  EXPECT_DOUBLE_EQ(window.frame().size.width / window.frame().size.height, 2.0);
  EXPECT_GE(window.frame().size.width, 800);
  send(QEvent::MouseButtonRelease, global - QPoint(1200, 0), Qt::NoButton);
  // After the release moves no longer resize.
  const CGSize after = window.frame().size;
  send(QEvent::MouseMove, global, Qt::NoButton);
  EXPECT_EQ(window.frame().size, after);
}
