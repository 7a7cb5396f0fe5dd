#include "SifaneExtension/SingleImageViewController/QVExtensionSingleImageViewController.h"

#include <gtest/gtest.h>

#include <QPointer>
#include <QTest>
#include <QWindow>

#include "Ombrel/Classes/Application/Common/QVSingleImageNotifications.h"
#include "QVAppKit/QVAnimationDriver.h"
#include "tests/SifaneExtension/ExtensionTestSupport.h"

using extension_test::runFrames;

namespace {

class ExtensionScreen : public testing::Test {
 protected:
  void SetUp() override {
    QVAnimationDriver::shared().cancelAll();
    screen = std::make_unique<QVExtensionSingleImageViewController>(facade, [this](const std::string& path) {
      QVExtensionProgressPanel& panel = screen->processView();
      cancelled.push_back(path);
      panelShownAtCancel = panel.panelView()->parentWidget() && panel.panelView()->alpha() > 0;
      dotsAtCancel = screen->loadingAnimationView()->parentWidget() != nullptr;
    });
    screen->rootView()->setFrame(CGRectMake(0, 0, 900, 600));
    screen->rootView()->layoutSubtreeIfNeeded();
    showStates = qv::NotificationCenter::defaultCenter().addObserver(
        kQVBoostSliderDidChangeShowStateNotification, nullptr,
        [this](const qv::Notification& n) { opened.push_back(*QVSingleImageNotifications::objectValue<bool>(n)); });
  }
  void TearDown() override {
    showStates.reset();
    screen.reset();
    QVAnimationDriver::shared().cancelAll();
    qv::MainExecutor::shared().discardPending();
  }
  void showProcessed() {
    facade->processed = extension_test::flatImage(90, 60, 0, 0, 255);
    facade->original = extension_test::flatImage(90, 60, 255, 0, 0);
    screen->showProcessedImageWithPath("/p/photo.jpg");
    runFrames(4.5);
    ASSERT_EQ(screen->currentState(), 1u);
  }
  bool hitsSlider(QPoint point) {
    QWidget* hit = screen->rootView()->childAt(point);
    return hit && (hit == screen->sliderMenu() || screen->sliderMenu()->isAncestorOf(hit));
  }
  // The screen's root in bottom-left coordinates → Qt coordinates of the root.
  QPoint qtPoint(double x, double y) { return QPoint(int(x), int(600 - y)); }

  std::shared_ptr<extension_test::FakeScreenFacade> facade = std::make_shared<extension_test::FakeScreenFacade>();
  std::unique_ptr<QVExtensionSingleImageViewController> screen;
  std::vector<std::string> cancelled;
  bool panelShownAtCancel = true, dotsAtCancel = false;
  std::vector<bool> opened;
  qv::ObserverToken showStates;
};

}  // namespace

TEST_F(ExtensionScreen, TheSliderSitsElevenFromTheRightAndBottomAndTakesClicksThere) {
  showProcessed();
  QVBoostSpringSlider* slider = screen->sliderMenu();
  EXPECT_EQ(slider->maxScaleValue(), 100);
  EXPECT_EQ(screen->sliderContainer()->frame(), CGRectMake(0, 0, 900, 600)) << "the container fills the screen";
  EXPECT_EQ(slider->frame(), CGRectMake(900 - 11 - 44, 11, 44, 44));
  EXPECT_TRUE(slider->isVisibleTo(screen->rootView()));
  // The collapsed button is what a press there finds, and white on screen.
  const QPoint centre = qtPoint(900 - 11 - 22, 11 + 22);
  EXPECT_TRUE(hitsSlider(centre));
  EXPECT_EQ(screen->rootView()->grab().toImage().pixelColor(centre.x() + 8, centre.y() + 14), QColor(Qt::white));
  // Anywhere else the container lets presses through to the compare.
  EXPECT_FALSE(screen->sliderContainer()->isAncestorOf(screen->rootView()->childAt(qtPoint(300, 300))));

  slider->switchExpanded();
  EXPECT_EQ(opened, std::vector<bool>{true});
  runFrames(1.5);
  ASSERT_TRUE(slider->expanded());
  EXPECT_EQ(CGRectGetMaxX(slider->frame()), 900 - 11) << "it opens towards the left";
  EXPECT_EQ(slider->frame().origin.y, 11);
  EXPECT_EQ(slider->frame().size.width, QVBoostSpringSlider::kFullWidth);
  EXPECT_TRUE(hitsSlider(qtPoint(900 - 11 - 300, 11 + 22))) << "the open slider takes its clicks";
}

TEST_F(ExtensionScreen, APressOutsideTheOpenSliderClosesItAndStillReachesItsTarget) {
  showProcessed();
  QWidget* root = screen->rootView();
  root->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(root));
  QWindow* window = root->windowHandle();
  ASSERT_TRUE(window);
  QVBoostSpringSlider* slider = screen->sliderMenu();
  slider->switchExpanded();
  runFrames(1.5);
  ASSERT_TRUE(slider->expanded());
  // What lies under the press (the result over the whole photo while the slider is open) records it.
  const QPoint outside = qtPoint(200, 300);
  QPointer<QWidget> target = root->childAt(outside);
  ASSERT_TRUE(target);
  struct PressCounter : QObject {
    int presses = 0;
    bool eventFilter(QObject*, QEvent* e) override {
      presses += e->type() == QEvent::MouseButtonPress;
      return false;
    }
  } counter;
  target->installEventFilter(&counter);
  // A press inside the open slider keeps it open.
  QTest::mousePress(window, Qt::LeftButton, {}, qtPoint(900 - 11 - 200, 11 + 22));
  QTest::mouseRelease(window, Qt::LeftButton, {}, qtPoint(900 - 11 - 200, 11 + 22));
  runFrames(0.2);
  EXPECT_TRUE(slider->expanded());
  EXPECT_EQ(opened, std::vector<bool>{true});

  // A right press elsewhere closes it, and the press still arrives where it was aimed.
  QTest::mousePress(window, Qt::RightButton, {}, outside);
  EXPECT_EQ(opened, (std::vector<bool>{true, false}));
  EXPECT_EQ(counter.presses, 1);
  QTest::mouseRelease(window, Qt::RightButton, {}, outside);
  runFrames(1.5);
  EXPECT_FALSE(slider->expanded());
  if (target) target->removeEventFilter(&counter);
  // With the slider closed a press changes nothing.
  QTest::mouseClick(window, Qt::LeftButton, {}, outside);
  EXPECT_EQ(opened.size(), 2u);
  root->hide();
}

TEST_F(ExtensionScreen, FinishingDuringProcessingCancelsThePreviewAndDropsTheDotsBeforeTheOnePartPanel) {
  screen->rootView()->show();  // the phase text reports its resizes only on screen
  screen->showProcessedImageWithPath("/p/photo.jpg");
  runFrames(0.2);
  ASSERT_EQ(screen->currentState(), 0u);
  ASSERT_TRUE(screen->loadingAnimationView()->parentWidget());

  screen->updateWithExportState(2);
  EXPECT_EQ(cancelled, std::vector<std::string>{"/p/photo.jpg"});
  EXPECT_TRUE(dotsAtCancel);
  EXPECT_FALSE(panelShownAtCancel) << "the preview stops before the panel shows";
  for (QObject* child : screen->blurredPreview()->children())
    EXPECT_EQ(dynamic_cast<QVLoadingAnimationView*>(child), nullptr) << "the dots are gone";

  runFrames(1.2);
  QVExtensionProgressPanel& panel = screen->processView();
  QWidget* panelView = panel.panelView();
  ASSERT_EQ(panelView->parentWidget(), screen->rootView());
  EXPECT_EQ(panel.panelView()->alpha(), 1.0);
  const auto siblings = screen->rootView()->children();
  EXPECT_GT(siblings.indexOf(panelView), siblings.indexOf(screen->blurredPreview())) << "above the blurred photo";
  EXPECT_EQ(panel.partsCount(), 1u);
  EXPECT_EQ(panel.currentPart(), 0u);
  EXPECT_FALSE(panel.showsCancelButton());
  EXPECT_EQ(panel.titleText(), "EXPORTING A MASTERPIECE");
  // Title, bar and the phase text in one column, 20 points apart, whatever the phase's length.
  QVExportProcessView& view = *dynamic_cast<QVExtensionExportProgressPanel&>(panel).processView();
  const CGRect title = view.titleLabel()->frame(), bar = view.progressView()->frame();
  const CGRect phase = view.exportingLabelView()->frame();
  EXPECT_FALSE(view.exportingLabelView()->stringValue().empty());
  EXPECT_EQ(title.origin.y - CGRectGetMaxY(bar), 20);
  EXPECT_EQ(bar.origin.y - CGRectGetMaxY(phase), 20);
  EXPECT_EQ(bar.size.width, std::round(900 * 0.4));
  EXPECT_NEAR(CGRectGetMidX(phase), 450, 1);
  screen->rootView()->hide();
}

TEST_F(ExtensionScreen, FinishingFromTheProcessedPhotoLeavesProcessingAloneAndTheBarEndsBeforeTheCallback) {
  showProcessed();
  screen->updateWithExportState(2);
  EXPECT_TRUE(cancelled.empty());
  EXPECT_FALSE(screen->loadingLabelView()->superview()) << "no processing text under the panel";
  runFrames(1.2);
  int calls = 0;
  QVExtensionProgressPanel& panel = screen->processView();
  screen->completeExportAnimation([&] { ++calls; });
  EXPECT_EQ(panel.currentPart(), 1u);
  EXPECT_EQ(calls, 0) << "the bar is still moving";
  auto* bar = dynamic_cast<QVExtensionExportProgressPanel&>(panel).processView()->progressView();
  for (int frame = 0; frame < 600 && calls == 0; ++frame) {
    EXPECT_EQ(calls, 0);
    runFrames(1.0 / 60);
    if (calls) {
      EXPECT_FALSE(bar->isUpdating()) << "called back only once the bar stopped";
    }
  }
  EXPECT_EQ(calls, 1);
  runFrames(2);
  EXPECT_EQ(calls, 1);
}
