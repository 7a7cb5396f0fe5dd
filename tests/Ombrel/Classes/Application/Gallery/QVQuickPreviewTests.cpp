#include <gtest/gtest.h>

#include <QCoreApplication>

#include "Ombrel/Classes/Application/ApplicationTestSupport.h"
#include "Ombrel/Classes/Application/Gallery/GalleryTestSupport.h"
#include "Ombrel/Classes/Application/Gallery/QVQuickPreviewFrames.h"
#include "Ombrel/Classes/Application/Gallery/QVQuickPreviewWindowController.h"
#include "Ombrel/Classes/Application/MainWindow/QVSolvaneWindow.h"
#include "Ombrel/Classes/Application/PluginMode/QVPluginSingleImageViewController.h"

using namespace gallery_test;

namespace {

class QVQuickPreviewTest : public testing::Test {
 protected:
  void SetUp() override {
    QVAnimationDriver::shared().useManualClock();
    QVGalleryServices::setShared(services);
    QVQuickPreviewScreen::setFactory([this] { return std::make_unique<CountingScreen>(&log); });
    main = new QVSolvaneWindow();
    main->setFrame(CGRectMake(200, 100, 1200, 800));
    main->show();
    preview = std::make_unique<QVQuickPreviewWindowController>();
  }
  void TearDown() override {
    preview.reset();
    delete main;
    QVAnimationDriver::shared().cancelAll();
    qv::MainExecutor::shared().discardPending();
    QVQuickPreviewScreen::setFactory(nullptr);
    QVGalleryServices::setShared(nullptr);
    QVSolvaneWindow::setWindowManagerQuery(nullptr);
    QVSolvaneWindow::setCompositingQuery(nullptr);
  }
  void showThree() {
    preview->setImagePaths({pathFor(0), pathFor(1), pathFor(2)});
    preview->showFromRect(CGRectMake(300, 300, 198, 132), main);
    settle();
  }
  std::shared_ptr<FakeServices> services = std::make_shared<FakeServices>();
  ScreenLog log;
  QVSolvaneWindow* main = nullptr;
  std::unique_ptr<QVQuickPreviewWindowController> preview;
};

}  // namespace

TEST(QVQuickPreviewFrames, FrameTable) {
  const CGRect parent = CGRectMake(101, 51, 1001, 701);
  const CGRect own = CGRectMake(400, 300, 200, 100);
  struct Case {
    const char* name;
    CGSize image;
    bool centered;
    CGRect expected;
  };
  const std::vector<Case> cases = {
      // Portrait: the parent's full height, width ceil(r x 701) = ceil(467.33) = 468; origin rounded up.
      {"portrait centred", CGSizeMake(1000, 1500), true, CGRectMake(368, 51, 468, 701)},
      // Landscape: width ceil(0.8 x 1001) = 801, height ceil(800.8 / 1.5) = 534.
      {"landscape centred", CGSizeMake(1500, 1000), true, CGRectMake(201, 135, 801, 534)},
      {"square takes the width", CGSizeMake(1000, 1000), true, CGRectMake(201, 1, 801, 801)},
      // Not centred: the own centre (500, 350) kept, not rounded.
      {"landscape keeps the centre", CGSizeMake(1500, 1000), false, CGRectMake(99.5, 83, 801, 534)},
      // No size: 0.8 of the width at the parent's aspect, never a NaN frame.
      {"unreadable file", CGSizeZero, true, CGRectMake(201, 121, 801, 561)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const CGRect frame = QVQuickPreviewFrames::windowFrameForImageSize(c.image, c.centered, parent, own);
    EXPECT_EQ(frame, c.expected);
  }
}

TEST_F(QVQuickPreviewTest, ShowsAFreshScreenPerPhotoWithItsNameAndWrapsBothWays) {
  showThree();
  ASSERT_FALSE(preview->hidden());
  EXPECT_TRUE(preview->window()->isVisible());
  EXPECT_EQ(preview->parentWindow(), main);
  EXPECT_EQ(log.shown, Paths({pathFor(0)}));
  EXPECT_EQ(preview->window()->windowTitle().toStdString(), "img0.jpg");
  // Centred on the main window at 0.8 of its width: 3000 x 2000 fits 2000 x 1334, so the photo
  // takes 960 x 641 below the 38 points of the title bar.
  EXPECT_EQ(preview->window()->frame(), CGRectMake(320, 180 - 19, 960, 641 + 38));
  preview->showPrevImage();
  settle();
  EXPECT_EQ(preview->selectedPath(), pathFor(2)) << "wraps to the last";
  preview->showNextImage();
  settle();
  EXPECT_EQ(preview->selectedPath(), pathFor(0)) << "wraps to the first";
  EXPECT_EQ(log.shown, Paths({pathFor(0), pathFor(2), pathFor(0)}));
  EXPECT_EQ(log.made, 4) << "one at load, then one per photo shown";
  EXPECT_EQ(preview->window()->windowTitle().toStdString(), "img0.jpg");
}

TEST_F(QVQuickPreviewTest, ChangesWhileAnimatingAreDroppedAndAnEmptyListChangesNothing) {
  preview->setImagePaths({pathFor(0), pathFor(1), pathFor(2)});
  preview->showFromRect(CGRectMake(300, 300, 198, 132), main);
  ASSERT_TRUE(preview->animatesResize());
  preview->showNextImage();
  preview->setSelectedIdx(2);
  settle();
  EXPECT_FALSE(preview->animatesResize());
  EXPECT_EQ(preview->selectedIdx(), 0) << "dropped, not queued";
  EXPECT_EQ(log.shown, Paths({pathFor(0)}));

  const CGRect frame = preview->window()->frame();
  const int made = log.made;
  preview->setImagePaths({});
  preview->refreshSingleImagePreviewShowWindowAtCenter(true);
  settle();
  EXPECT_EQ(preview->window()->frame(), frame);
  EXPECT_EQ(log.made, made);
}

TEST_F(QVQuickPreviewTest, LevelDropsInTheBackgroundOnlyWhileShown) {
  preview->applicationWillResignActive();
  EXPECT_EQ(preview->windowLevel(), 3) << "hidden: unchanged";
  showThree();
  preview->applicationWillResignActive();
  EXPECT_EQ(preview->windowLevel(), 0);
  preview->applicationDidBecomeActive();
  EXPECT_EQ(preview->windowLevel(), 3);
  preview->hideToRect(CGRectMake(300, 300, 198, 132));
  EXPECT_TRUE(preview->hidden());
  settle();
  EXPECT_FALSE(preview->window()->isVisible());
  preview->applicationWillResignActive();
  EXPECT_EQ(preview->windowLevel(), 3);
}

TEST_F(QVQuickPreviewTest, ClosingTheWindowTellsTheDelegate) {
  struct Delegate : QVQuickPreviewWindowControllerDelegate {
    int shows = 0, hides = 0;
    void quickPreviewWillShow(QVQuickPreviewWindowController*) override { ++shows; }
    void quickPreviewWillHide(QVQuickPreviewWindowController*) override { ++hides; }
  } delegate;
  preview->setDelegate(&delegate);
  showThree();
  EXPECT_EQ(delegate.shows, 1);
  preview->window()->close();
  EXPECT_EQ(delegate.hides, 1);
  EXPECT_TRUE(preview->hidden());
}

// The preview's screen is the screen of the run: the plug-in screen in a plug-in run (its panel is
// the plug-in one, which answers the apply and cancel commands), the export screen otherwise.
TEST_F(QVQuickPreviewTest, APluginRunsPreviewShowsThePluginScreen) {
  QVQuickPreviewScreen::setFactory(nullptr);
  for (bool plugin : {false, true}) {
    services->pluginMode = plugin;
    auto screen = QVQuickPreviewScreen::make();
    auto* single = dynamic_cast<QVExportSingleImageViewController*>(screen->viewController());
    ASSERT_NE(single, nullptr);
    auto* pluginScreen = dynamic_cast<QVPluginSingleImageViewController*>(single);
    EXPECT_EQ(pluginScreen != nullptr, plugin);
    if (pluginScreen) EXPECT_NE(pluginScreen->pluginExportViewController()->pluginBeginView(), nullptr);
  }
}

// Under a window manager each step of the shrink into the cell was answered late, and the
// manager's frame, a moment at the step before, showed a black L beside the shrunk preview at every
// step. There the preview closes at once, also in the middle of its opening; without one it still
// shrinks into the cell before closing.
TEST_F(QVQuickPreviewTest, UnderAWindowManagerThePreviewClosesAtOnceElseShrinksIntoTheCell) {
  const CGRect cell = CGRectMake(300, 300, 198, 132);
  struct Case {
    const char* name;
    bool windowManager;
    int stepsBeforeHide;  // of the opening's motion, 0.05 s each
  };
  for (const Case& c : {Case{"window manager, opened", true, 30}, Case{"window manager, mid-opening", true, 2},
                        Case{"bare server, opened", false, 30}}) {
    SCOPED_TRACE(c.name);
    QVSolvaneWindow::setWindowManagerQuery([wm = c.windowManager] { return wm; });
    preview = std::make_unique<QVQuickPreviewWindowController>();
    preview->setImagePaths({pathFor(0), pathFor(1), pathFor(2)});
    preview->showFromRect(cell, main);
    for (int i = 0; i < c.stepsBeforeHide; ++i) {
      for (int k = 0; k < 5; ++k) QCoreApplication::processEvents();
      QVAnimationDriver::shared().advance(0.05);
    }
    ASSERT_EQ(preview->window()->answersFramesLate(), c.windowManager);
    ASSERT_TRUE(preview->window()->isVisible());
    const CGRect open = preview->window()->frame();
    preview->hideToRect(cell);
    if (c.windowManager) {
      EXPECT_FALSE(preview->window()->isVisible()) << "shrank under the window manager";
      EXPECT_FALSE(preview->animatesResize());
      EXPECT_EQ(preview->window()->frame(), open) << "stepped towards the cell";
    } else {
      EXPECT_TRUE(preview->animatesResize());
      for (int i = 0; i < 10; ++i) QVAnimationDriver::shared().advance(0.05);
      for (int k = 0; k < 5; ++k) QCoreApplication::processEvents();
      EXPECT_FALSE(preview->window()->isVisible());
      EXPECT_EQ(preview->window()->frame(), cell) << "closed before it reached the cell";
    }
    EXPECT_TRUE(preview->hidden());
  }
}

// The preview's screen is laid out anew at every step of its opening. Without a compositor the X
// server keeps a window's old picture in a corner when it grows (the rest filled with the content's
// colour), so a step shown before it was painted had the photo small and off-centre in the grown
// window. While it is open, the window drops its picture at each change of size (showing the
// content's colour) and paints each step right behind it; it keeps its picture when it shrinks
// back into the cell.
TEST_F(QVQuickPreviewTest, EachStepOfTheOpeningIsPaintedAtItsSizeWithoutAnOldPictureKept) {
  QVSolvaneWindow::setCompositingQuery([] { return false; });
  preview = std::make_unique<QVQuickPreviewWindowController>();
  auto* probe = new app_test::SizeAtPaint(preview->window()->contentView());
  probe->setGeometry(0, 0, 40, 40);
  preview->setImagePaths({pathFor(0), pathFor(1)});
  preview->showFromRect(CGRectMake(300, 300, 198, 132), main);
  QCoreApplication::processEvents();  // shown on the screen
  probe->paints.clear();
  QVSolvaneWindow* window = preview->window();
  const QRect larger = window->geometry().adjusted(-50, -50, 50, 50);
  for (int step = 0; step < 4; ++step) {
    QVAnimationDriver::shared().advance(0.05);
    ASSERT_TRUE(preview->animatesResize());
    ASSERT_FALSE(probe->paints.empty());
    EXPECT_EQ(probe->paints.back(), window->size()) << "step " << step;
    EXPECT_EQ(window->bitGravityFor(larger), 0) << "the old picture dropped at step " << step;
  }
  settle();
  ASSERT_FALSE(preview->animatesResize());
  EXPECT_EQ(probe->paints.back(), window->size());
  // Under a window manager the last step may still be on its way when the motion ends: open, the
  // picture is still dropped (stepping to the next photo lays the screen out anew too).
  EXPECT_EQ(window->bitGravityFor(window->geometry().adjusted(-50, -50, 50, 50)), 0);
  // Shrinking back into the cell keeps the picture.
  preview->hideToRect(CGRectMake(300, 300, 198, 132));
  EXPECT_NE(window->bitGravityFor(window->geometry().adjusted(-50, -50, 50, 50)), 0);
}
