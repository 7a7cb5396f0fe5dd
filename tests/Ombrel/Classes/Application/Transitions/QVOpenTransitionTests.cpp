#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>

#include "Ombrel/Classes/Application/ApplicationTestSupport.h"
#include "Ombrel/Classes/Application/Controllers/QVMainScreens.h"
#include "Ombrel/Classes/Application/MainWindow/QVSolvaneWindow.h"
#include "Ombrel/Classes/Application/Transitions/QVExportAnimationHelper.h"
#include "Ombrel/Classes/Application/Transitions/QVMultiAnimationTransitionController.h"
#include "Ombrel/Classes/Application/Transitions/QVOpenAnimationTransitionController.h"
#include "Ombrel/Classes/Application/Transitions/QVSingleMultiAnimationTransitionController.h"
#include "QVAppKit/QVAnimationDriver.h"
#include "QVAppKit/QVOverlayCanvas.h"
#include "QVAppKit/QVSolvaneTopBarView.h"
#include "QVAppKit/QVView.h"
#include "QVPlatform/MainExecutor.h"

namespace {

void settle(double seconds = 3) {
  for (int i = 0; i < int(seconds * 20); ++i) {
    qv::MainExecutor::shared().advance(0.05);
    QVAnimationDriver::shared().advance(0.05);
  }
  qv::MainExecutor::shared().runUntilIdle();
}

class PlainScreen : public QVExportContainerAnimatable {
 public:
  explicit PlainScreen(int64_t mode) : mode_(mode), view_(QVMake<QVView>(CGRectMake(0, 0, 10, 10))) {
    view_->setBackgroundColor(QColor(20, 20, 24));
  }
  ~PlainScreen() override {
    if (view_ && !view_->parent()) delete view_.data();
  }
  int64_t containerMode() const override { return mode_; }
  QWidget* containerView() override { return view_; }

 protected:
  int64_t mode_;
  QPointer<QVView> view_;
};

// A gallery with fixed cells: four a row of 200 x 150 from the top left.
class FakeGallery : public PlainScreen {
 public:
  FakeGallery() : PlainScreen(2) {}
  std::vector<std::string> paths;
  size_t cellCount = 20;
  bool processingOnLayout = true;
  int processingSwitches = 0;
  void setShouldStartProcessingThumbsOnLayout(bool start) { processingOnLayout = start, ++processingSwitches; }
  std::vector<CGRect> cellRects() {
    std::vector<CGRect> rects;
    const double h = view_->height();
    for (size_t i = 0; i < cellCount; ++i)
      rects.push_back(CGRectMake(20 + (i % 4) * 210, h - 170 - (i / 4) * 160, 200, 150));
    return rects;
  }
};

class GalleryScreen : public QVExportGalleryAnimatable {
 public:
  FakeGallery g;
  std::map<std::string, QWidget*> views;
  QWidget* containerView() override { return g.containerView(); }
  std::map<std::string, QWidget*> animatableViews() override { return views; }
  void setShouldStartProcessingThumbsOnLayout(bool start) override { g.setShouldStartProcessingThumbsOnLayout(start); }
  std::vector<CGRect> cellRects() override { return g.cellRects(); }
  CGRect cellRectForItem(int row) override {
    auto rects = cellRects();
    return row < int(rects.size()) ? rects[row] : CGRectZero;
  }
  std::vector<std::string> imagePaths() override { return g.paths; }
  CGRect lonely = CGRectZero;
  CGRect lonelyCachedCellRect() override { return lonely; }
};

// The window controller: thumbnails answer when the test says, in any order.
class FakeWindowController : public QVExportWindowControllable {
 public:
  QVSolvaneWindow window;
  QVExportContainerAnimatable* current = nullptr;
  std::map<int64_t, QVExportContainerAnimatable*> screens;
  std::optional<CGSize> imageSize;
  std::map<std::string, std::function<void(QImage)>> pendingThumbs;

  QVExportContainerAnimatable* currentVC() override { return current; }
  QVExportContainerAnimatable* viewControllerForMode(int64_t mode) override { return screens[mode]; }
  QWidget* contentContainer() override { return window.contentView(); }
  std::optional<CGSize> firstImageSize() override { return imageSize; }
  void loadThumbnail(const std::string& path, std::function<void(QImage)> done) override {
    pendingThumbs[path] = std::move(done);
  }
  void show(QVExportContainerAnimatable* screen) {
    current = screen;
    QVExportAnimationTransitionController::embedView(contentContainer(), screen->containerView());
  }
};

struct TransitionFixture : ::testing::Test {
  FakeWindowController wc;
  // The open screen as the window shows it: no host, no delegate, no title bar of its own.
  QVOpenMainScreen open{nullptr, nullptr, nullptr};
  PlainScreen single{1};
  GalleryScreen gallery;
  void SetUp() override {
    wc.window.setTitleBarView(QVSolvaneTopBarView::topBar());
    wc.window.show();
    wc.screens = {{0, &open}, {1, &single}, {2, &gallery}};
  }
  void TearDown() override { QVAnimationDriver::shared().cancelAll(); }
  QVOverlayCanvas* overlay() { return QVOverlayCanvas::overlayForWindow(&wc.window); }
};

CGPoint centre(CGRect r) { return CGPointMake(r.origin.x + r.size.width / 2, r.origin.y + r.size.height / 2); }

TEST_F(TransitionFixture, OpenToSingleImageKeepsTheWindowCentreAndPutsTheExportButtonInTheCorner) {
  wc.show(&open);
  wc.imageSize = CGSizeMake(3000, 2000);
  const CGPoint before = centre(wc.window.frame());
  QVExportAnimationHelper helper(QVExportTransitionMake(0, 1), &wc);
  int done = 0;
  helper.animateTransition([&](QVExportContainerAnimatable* end) {
    ++done;
    EXPECT_EQ(end, &single);
    helper.finishTransition();
  });
  auto* c = dynamic_cast<QVOpenAnimationTransitionController*>(helper.transitionVC());
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(wc.window.sizeMode(), 1);
  EXPECT_GT(wc.window.frame().size.width, 452);
  EXPECT_NEAR(centre(wc.window.frame()).x, before.x, 1);
  EXPECT_NEAR(centre(wc.window.frame()).y, before.y, 1);
  // The parts start on the old size centred in the new one.
  EXPECT_NEAR(centre(c->initialRect()).x, centre(c->newRect()).x, 1);
  EXPECT_NEAR(c->initialRect().size.width, 452, 2);
  ASSERT_NE(c->exportButtonSprite(), 0u);
  settle(0.35);
  const auto* button = overlay()->item(c->exportButtonSprite());
  ASSERT_NE(button, nullptr);
  const CGRect r = c->newRect();
  EXPECT_NEAR(r.origin.x + r.size.width - (button->frame.origin.x + button->frame.size.width), 11, 0.5);
  EXPECT_NEAR(button->frame.origin.y - r.origin.y, 11, 0.5);
  settle(1);
  EXPECT_EQ(done, 1);
  EXPECT_EQ(overlay()->itemCount(), 0u);
  EXPECT_EQ(single.containerView()->parentWidget(), wc.contentContainer());
  EXPECT_TRUE(single.containerView()->isVisible());
}

TEST_F(TransitionFixture, OpenToGalleryFlies16CellsEachWithItsOwnPathsThumbnail) {
  for (int i = 0; i < 20; ++i) gallery.g.paths.push_back("/photos/" + std::to_string(i) + ".jpg");
  wc.show(&open);
  QVExportAnimationHelper helper(QVExportTransitionMake(0, 2), &wc);
  int done = 0;
  helper.animateTransition([&](QVExportContainerAnimatable*) {
    ++done;
    helper.finishTransition();
  });
  auto* c = dynamic_cast<QVOpenAnimationTransitionController*>(helper.transitionVC());
  ASSERT_EQ(wc.pendingThumbs.size(), 16u);
  EXPECT_TRUE(gallery.g.processingOnLayout);
  EXPECT_EQ(gallery.g.processingSwitches, 2) << "no thumbnail work while the gallery is laid out to measure";
  // Answers in reverse order; the third fails.
  for (int i = 15; i >= 0; --i) {
    QImage image(10 + i, 10, QImage::Format_RGB32);
    image.fill(Qt::white);
    wc.pendingThumbs["/photos/" + std::to_string(i) + ".jpg"](i == 2 ? QImage() : image);
    if (i == 8) {
      qv::MainExecutor::shared().runUntilIdle();
      EXPECT_TRUE(c->cells().empty()) << "cells wait for every answer";
    }
  }
  qv::MainExecutor::shared().runUntilIdle();
  ASSERT_EQ(c->cells().size(), 16u);
  for (int i = 0; i < 16; ++i) {
    SCOPED_TRACE(i);
    if (i == 2) {
      EXPECT_TRUE(c->thumbnails()[i].isNull());
    } else {
      EXPECT_EQ(c->thumbnails()[i].width(), 10 + i);
    }
  }
  // A flying cell is drawn as the gallery draws its cells: the thumbnail in the middle, nothing
  // around it (no tile that would vanish as the real cells take over).
  const QImage cell = c->sprites()->sprite(c->cells()[0]).picture.toImage();
  ASSERT_FALSE(cell.isNull());
  EXPECT_EQ(qAlpha(cell.pixel(2, 2)), 0);
  EXPECT_EQ(QColor(cell.pixel(cell.width() / 2, cell.height() / 2)), QColor(Qt::white));
  settle(3);
  EXPECT_EQ(done, 1);
  EXPECT_EQ(overlay()->itemCount(), 0u);
  EXPECT_EQ(wc.window.sizeMode(), 2);
}

TEST_F(TransitionFixture, OpenToGalleryWithoutCellsStillCompletes) {
  gallery.g.cellCount = 0;
  gallery.g.paths = {"/a.jpg", "/b.jpg"};
  wc.show(&open);
  QVExportAnimationHelper helper(QVExportTransitionMake(0, 2), &wc);
  int done = 0;
  helper.animateTransition([&](QVExportContainerAnimatable*) {
    ++done;
    helper.finishTransition();
  });
  EXPECT_TRUE(wc.pendingThumbs.empty()) << "no cells, no thumbnails";
  settle(1);
  EXPECT_EQ(done, 1);
  EXPECT_EQ(gallery.containerView()->parentWidget(), wc.contentContainer());
}

TEST_F(TransitionFixture, GalleryToOpenKeepsTheGalleryUnderTheTransitionAndEndsInModeZero) {
  wc.window.changeSizeMode(2, false);
  wc.show(&gallery);
  const CGRect before = wc.window.frame();
  const CGRect kept = QVMiddleRect(wc.window.windowSizeForMode(0), before.size);
  QVExportAnimationHelper helper(QVExportTransitionMake(2, 0), &wc);
  int done = 0;
  helper.animateTransition([&](QVExportContainerAnimatable* end) {
    ++done;
    EXPECT_EQ(end, &open);
    helper.finishTransition();
  });
  EXPECT_EQ(helper.timesLaid(), 1);
  EXPECT_TRUE(wc.contentContainer()->isAncestorOf(gallery.containerView()))
      << "the gallery stays in the window under the transition view";
  helper.showAnimationControllerIfNeeded(helper.transitionVC());
  EXPECT_EQ(helper.timesLaid(), 1) << "laid in once";
  EXPECT_TRUE(dynamic_cast<QVMultiAnimationTransitionController*>(helper.transitionVC()));
  EXPECT_GT(overlay()->itemCount(), 0u);
  settle(2);
  EXPECT_EQ(done, 1);
  EXPECT_EQ(wc.window.sizeMode(), 0);
  // The window stands where the open screen's picture faded in.
  EXPECT_NEAR(wc.window.frame().origin.x, before.origin.x + kept.origin.x, 1);
  EXPECT_NEAR(wc.window.frame().origin.y, before.origin.y + kept.origin.y, 1);
  EXPECT_EQ(overlay()->itemCount(), 0u);
  for (auto& [key, view] : open.animatableViews())
    if (auto* v = dynamic_cast<QVView*>(view)) EXPECT_DOUBLE_EQ(v->alpha(), 1) << key;
  EXPECT_EQ(open.containerView()->parentWidget(), wc.contentContainer());
}

TEST_F(TransitionFixture, ACancelShowsTheStartScreenAgain) {
  wc.window.changeSizeMode(1, false);
  wc.show(&single);
  QVExportAnimationHelper helper(QVExportTransitionMake(1, 2), &wc);
  int done = 0, cancelled = 0;
  helper.animateTransition([&](QVExportContainerAnimatable*) { ++done; });
  EXPECT_NE(single.containerView()->parentWidget(), wc.contentContainer());
  settle(0.1);
  helper.cancelTransition([&] { ++cancelled; });
  settle(1);
  EXPECT_EQ(done, 0);
  EXPECT_EQ(cancelled, 1);
  EXPECT_EQ(single.containerView()->parentWidget(), wc.contentContainer());
  EXPECT_TRUE(single.containerView()->isVisible());
  EXPECT_EQ(overlay()->itemCount(), 0u);
  EXPECT_EQ(helper.transitionVC()->view()->parentWidget(), nullptr);
}

TEST_F(TransitionFixture, BackToOnePhotoGrowsFromTheLonelyCellInsetByTheCellInset) {
  wc.window.changeSizeMode(2, false);
  wc.show(&gallery);
  gallery.lonely = CGRectMake(100, 200, 220, 170);
  QVExportAnimationHelper helper(QVExportTransitionMake(2, 1), &wc);
  int done = 0;
  helper.animateTransition([&](QVExportContainerAnimatable*) {
    ++done;
    helper.finishTransition();
  });
  auto* c = dynamic_cast<QVSingleMultiAnimationTransitionController*>(helper.transitionVC());
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->cellRect(), CGRectMake(112, 212, 196, 146));
  settle(1);
  EXPECT_EQ(done, 1);
  EXPECT_EQ(single.containerView()->parentWidget(), wc.contentContainer());
  EXPECT_TRUE(single.containerView()->isVisible());
  EXPECT_EQ(overlay()->itemCount(), 0u);
}

TEST_F(TransitionFixture, ADriverDroppedWhileItRunsReportsNothingAndLeavesNoSprites) {
  for (auto [from, to] : {std::pair<int64_t, int64_t>{1, 2}, {0, 1}, {2, 0}}) {
    SCOPED_TRACE(std::to_string(from) + " -> " + std::to_string(to));
    wc.window.changeSizeMode(from, false);
    wc.show(wc.screens[from]);
    int done = 0;
    {
      QVExportAnimationHelper helper(QVExportTransitionMake(from, to), &wc);
      helper.animateTransition([&](QVExportContainerAnimatable*) { ++done; });
      settle(0.1);
    }
    settle(1);
    EXPECT_EQ(done, 0);
    EXPECT_EQ(overlay()->itemCount(), 0u);
    EXPECT_EQ(QVAnimationDriver::shared().runningCount(), 0u);
  }
}

TEST_F(TransitionFixture, TheWindowsTitleBarComesInWithTheEndScreenAboveIt) {
  for (int64_t mode : {1, 2}) {
    SCOPED_TRACE(mode);
    gallery.g.paths = {"/photos/a.jpg", "/photos/b.jpg"};
    wc.show(&open);
    wc.imageSize = CGSizeMake(3000, 2000);
    QVExportAnimationHelper helper(QVExportTransitionMake(0, mode), &wc);
    int done = 0;
    helper.animateTransition([&](QVExportContainerAnimatable* end) {
      ++done;
      wc.current = end;
      helper.finishTransition();
    });
    auto* c = helper.transitionVC();
    QWidget* endView = wc.screens[mode]->containerView();
    QWidget* bar = wc.window.titlebarContainer();
    // Frame by frame (the thumbnails answering) until the end screen's picture comes in.
    for (int i = 0; i < 240 && !c->sprites()->spriteForView(endView); ++i) {
      for (auto& [path, answer] : wc.pendingThumbs) answer(QImage());
      wc.pendingThumbs.clear();
      qv::MainExecutor::shared().runUntilIdle();
      QVAnimationDriver::shared().advance(1.0 / 60);
    }
    const auto endSprite = c->sprites()->spriteForView(endView);
    ASSERT_NE(endSprite, 0u);
    const auto barSprite = c->sprites()->spriteForView(bar);
    ASSERT_NE(barSprite, 0u) << "the title bar's picture comes in too";
    EXPECT_GT(barSprite, endSprite) << "drawn above the end screen's";
    EXPECT_LT(overlay()->item(barSprite)->alpha, 0.5);
    // Its import button is in the picture already, not added once the sprites go.
    const auto parts = wc.window.animatableViews();
    const auto button = parts.find(QVTopBarImportButtonKey);
    ASSERT_NE(button, parts.end());
    EXPECT_TRUE(button->second && !button->second->isHidden() && bar->isAncestorOf(button->second));
    settle(1);
    EXPECT_EQ(done, 1);
    EXPECT_TRUE(bar->isVisible());
    EXPECT_EQ(overlay()->itemCount(), 0u);
  }
}

TEST_F(TransitionFixture, BackToTheOpenScreenTheTitleBarFadesWithTheGridAndStaysHidden) {
  wc.window.changeSizeMode(2, false);
  wc.window.updateTopControlsVisibility(2);
  wc.show(&gallery);
  QWidget* bar = wc.window.titlebarContainer();
  // Over the screen, as in the window controller's window (here the screen shares its parent).
  bar->raise();
  ASSERT_TRUE(bar->isVisible());
  const QRect place(bar->mapTo(&wc.window, QPoint(0, 0)), bar->size());
  const QImage before = wc.window.grab(place).toImage();
  QVExportAnimationHelper helper(QVExportTransitionMake(2, 0), &wc);
  int done = 0;
  helper.animateTransition([&](QVExportContainerAnimatable* end) {
    ++done;
    wc.window.updateTopControlsVisibility(0);
    helper.finishTransition();
  });
  EXPECT_FALSE(bar->isVisible());
  const int few = before.width() * before.height() / 100;
  EXPECT_LT(app_test::differingPixels(wc.window.grab(place).toImage(), before), few)
      << "its picture stands where it stood";
  settle(0.2);
  EXPECT_GT(app_test::differingPixels(wc.window.grab(place).toImage(), before), few) << "and fades";
  settle(2);
  EXPECT_EQ(done, 1);
  EXPECT_FALSE(bar->isVisible()) << "the open screen has no window title bar";
}

}  // namespace
