#include "Ombrel/Classes/Application/SingleImage/QVExportSingleImageViewController.h"

#include <gtest/gtest.h>

#include "../Export/ExportPanelTestSupport.h"
#include "Ombrel/Classes/Application/Export/QVExportDatasource.h"
#include "Ombrel/Classes/Application/MainWindow/QVSolvaneWindow.h"
#include "Ombrel/Classes/Application/SoundManager/QVSoundManager.h"
#include "SingleImageTestSupport.h"

using namespace export_test;
using single_image_test::FakeFacade;

namespace {

const NSImageRef kRed = compare_test::flatImage(90, 60, 255, 0, 0);
const NSImageRef kBlue = compare_test::flatImage(90, 60, 0, 0, 255);

class ExportSingleImage : public ::testing::Test {
 protected:
  void SetUp() override {
    QVAnimationDriver::shared().cancelAll();
    QVExportDatasource::setTargetOfferedQuery([](uint64_t t) { return t == 0 || t == 2; });
    QVExportManagerFactory::setMaker([this](uint64_t) {
      manager = std::make_shared<FakeManager>();
      return manager;
    });
    QVSoundManager::setPlayer([](QVSoundCue) {});
    facade = std::make_shared<FakeFacade>();
    facade->processed["/photos/a.jpg"] = kBlue;
    facade->original["/photos/a.jpg"] = kRed;
    vc = std::make_unique<QVExportSingleImageViewController>(facade);
    vc->rootView()->setFrame(CGRectMake(0, 0, 900, 600));
    vc->rootView()->layoutSubtreeIfNeeded();
  }
  void TearDown() override {
    vc.reset();
    QVExportManagerFactory::setMaker(nullptr);
    QVExportDatasource::setTargetOfferedQuery(nullptr);
    QVSoundManager::setPlayer(nullptr);
    QVAnimationDriver::shared().cancelAll();
    qv::MainExecutor::shared().discardPending();
  }
  QVExportBeginView* row() { return vc->exportViewController()->exportBeginView(); }
  bool controlsLocked() { return !row()->exportMenu()->userInteractionEnabled(); }
  // Shows the cached photo and lets the curtain slide in.
  void showProcessed() {
    vc->showProcessedImageWithPath("/photos/a.jpg");
    pump(3);
    ASSERT_EQ(vc->currentState(), QVExportImageViewControllerState_Processed);
  }

  std::shared_ptr<FakeFacade> facade;
  std::unique_ptr<QVExportSingleImageViewController> vc;
  std::shared_ptr<FakeManager> manager;
};

TEST_F(ExportSingleImage, ControlsAreLockedWhileTheScreenOrThePanelChangesState) {
  vc->showProcessedImageWithPath("/photos/a.jpg");
  pump(0.1);
  EXPECT_EQ(vc->sliderContainer()->superview(), vc->rootView()) << "every state shows the panel";
  EXPECT_TRUE(controlsLocked()) << "until the curtain is in";
  EXPECT_EQ(row()->exportMenu()->alpha(), 1.0);
  pump(3);
  EXPECT_FALSE(controlsLocked());
  EXPECT_EQ(row()->exportMenu()->collapsedTitle(), "EXPORT");

  // An export: the screen goes to exporting, the panel's buttons wait for its fade.
  vc->exportViewController()->exportAllImagesWithExportType(2);
  EXPECT_EQ(manager->calls, (std::vector<std::string>{"prepare /photos/a.jpg", "export 2"}));
  manager->start();
  EXPECT_EQ(vc->currentState(), QVExportImageViewControllerState_Exporting);
  EXPECT_TRUE(vc->exportAnimating());
  EXPECT_FALSE(vc->exportViewController()->exportInProgressView()->actionButton()->userInteractionEnabled());
  pump(1.5);
  EXPECT_FALSE(vc->exportAnimating());
  EXPECT_TRUE(vc->exportViewController()->exportInProgressView()->actionButton()->userInteractionEnabled());
  EXPECT_EQ(vc->blurredPreview()->superview(), vc->rootView()) << "the blurred preview behind the progress";
  EXPECT_EQ(vc->rootView()->subviews().back(), vc->sliderContainer()) << "the panel on top";

  manager->finish();
  pump(3);
  vc->exportViewController()->exportActionedBasicViewDidClickActionButton(vc->exportViewController()->exportEndView());
  EXPECT_EQ(vc->currentState(), QVExportImageViewControllerState_Processed) << "done returns to processed";
  pump(3);
  EXPECT_FALSE(controlsLocked());

  // Another photo, not processed yet: locked and translucent while it is.
  vc->showProcessedImageWithPath("/photos/new.jpg");
  facade->answerBlurred();
  pump(0.1);
  EXPECT_EQ(vc->currentState(), QVExportImageViewControllerState_Processing);
  EXPECT_TRUE(controlsLocked());
  EXPECT_EQ(row()->exportMenu()->alpha(), 0.3);
}

TEST_F(ExportSingleImage, TheOpeningExportMenuDimsThePicture) {
  showProcessed();
  QVView* overlay = vc->transparentOverlayView();
  row()->exportMenu()->switchExpanded();
  pump(1.5);
  EXPECT_NEAR(overlay->alpha(), 0.6, 1e-9);
  const auto children = vc->rootView()->subviews();
  const auto at = std::find(children.begin(), children.end(), overlay);
  ASSERT_NE(at, children.end());
  ASSERT_NE(at + 1, children.end());
  EXPECT_EQ(*(at + 1), vc->sliderContainer()) << "directly below the panel";
  row()->switchExportMenu();
  pump(1.5);
  EXPECT_NEAR(overlay->alpha(), 0.0, 1e-9);

  row()->sliderMenu()->switchExpanded();
  pump(1.5);
  EXPECT_TRUE(row()->sliderMenu()->expanded());
  EXPECT_NEAR(overlay->alpha(), 0.0, 1e-9) << "the slider does not dim";
}

TEST_F(ExportSingleImage, ACancelledExportReturnsToProcessedWithoutWaitingForAPhoto) {
  showProcessed();
  vc->exportViewController()->exportAllImagesWithExportType(2);
  manager->start();
  pump(1.5);
  facade->observation = [](const std::string&, NSImageRef, NSImageRef) {};
  vc->exportViewController()->exportActionedBasicViewDidClickActionButton(
      vc->exportViewController()->exportInProgressView());
  EXPECT_EQ(vc->currentState(), QVExportImageViewControllerState_Processed);
  EXPECT_FALSE(facade->observation) << "the observation was stopped";
  EXPECT_EQ(manager->calls.back(), "cancel");
  pump(3);
  EXPECT_FALSE(controlsLocked());
}

TEST_F(ExportSingleImage, TheExportShowsNoProcessingTextOverTheBlurredPhoto) {
  // A photo that was processed (not answered from the cache) showed its phases in the preview.
  vc->showProcessedImageWithPath("/photos/b.jpg");
  facade->answerBlurred();
  pump(1.2);
  facade->observation("/photos/b.jpg", kRed, kBlue);
  pump(3);
  ASSERT_EQ(vc->currentState(), QVExportImageViewControllerState_Processed);
  ASSERT_TRUE(vc->loadingLabelView()->superview()) << "the phases stay in the preview after processing";
  vc->exportViewController()->exportAllImagesWithExportType(2);
  manager->start();
  pump(1.5);
  EXPECT_EQ(vc->currentState(), QVExportImageViewControllerState_Exporting);
  EXPECT_EQ(vc->loadingLabelView()->superview(), nullptr) << "the panel's own text replaces them";
}

TEST_F(ExportSingleImage, DraggedFilesCoverThePictureWithTheBlurredPreview) {
  showProcessed();
  QVView* preview = vc->blurredPreview();
  vc->showBlurredPreview(true);
  pump(1.2);
  EXPECT_EQ(preview->superview(), vc->rootView());
  EXPECT_EQ(preview->alpha(), 1.0);
  vc->showBlurredPreview(false);
  EXPECT_EQ(preview->superview(), nullptr) << "gone at once";

  // While processing only the dots hide.
  vc->showProcessedImageWithPath("/photos/new.jpg");
  facade->answerBlurred();
  pump(1.2);
  vc->showBlurredPreview(true);
  EXPECT_TRUE(vc->loadingAnimationView()->isHidden());
  vc->showBlurredPreview(false);
  EXPECT_FALSE(vc->loadingAnimationView()->isHidden());
}

TEST_F(ExportSingleImage, ANewPhotoReshapesTheWindowAboutItsCentre) {
  QVSolvaneWindow window;
  window.setTitleBarView(QVSolvaneTopBarView::topBar());
  window.changeSizeMode(QVScreenModeSingle, false);
  QVEmbedInContainer(vc->rootView(), window.contentView());
  window.show();
  showProcessed();
  const CGRect before = window.frame();

  facade->processed["/photos/wide.jpg"] = kBlue;
  facade->original["/photos/wide.jpg"] = kRed;
  facade->sizes["/photos/wide.jpg"] = CGSizeMake(6000, 2000);
  vc->transitToNewSingleViewWithPath("/photos/wide.jpg");
  pump(2);
  const CGRect after = window.frame();
  const auto expected = QVExportSingleImageViewController::frameKeepingCentre(
      before, CGSizeMake(6000, 2000), window.screenMetrics(), window.defaultSizeScale());
  ASSERT_TRUE(expected);
  EXPECT_NEAR(after.size.width, expected->size.width, 1);
  EXPECT_NEAR(after.size.height, expected->size.height, 1);
  EXPECT_NE(after.size, before.size);
  EXPECT_NEAR(CGRectGetMidX(after), CGRectGetMidX(before), 1);
  EXPECT_NEAR(CGRectGetMidY(after), CGRectGetMidY(before), 1);
  EXPECT_EQ(window.windowTitle(), "wide.jpg");
  EXPECT_EQ(vc->imagePath(), "/photos/wide.jpg");

  // A photo whose size cannot be read keeps the window's size.
  facade->sizes["/photos/unknown.jpg"] = CGSizeZero;
  vc->transitToNewSingleViewWithPath("/photos/unknown.jpg");
  pump(2);
  EXPECT_EQ(window.frame(), after);
  EXPECT_EQ(window.windowTitle(), "unknown.jpg");
  vc.reset();  // before the window that holds its view
}

}  // namespace
