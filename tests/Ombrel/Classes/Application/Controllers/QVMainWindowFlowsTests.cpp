// The main window's flows end to end on the offscreen platform: real open and single-image
// screens over a fake application core, with scripted alerts, panels and transitions; last, the
// controller's own animated transitions in a shown window on the manual clocks.
#include <gtest/gtest.h>

#include <QApplication>
#include <QBuffer>
#include <QPointer>
#include <QWindow>
#include <cmath>

#include "ControllerTestSupport.h"
#include "Ombrel/Classes/Application/ApplicationTestSupport.h"
#include "Ombrel/Classes/Application/Common/QVSingleImageNotifications.h"
#include "Ombrel/Classes/Application/Gallery/QVGalleryModel.h"
#include "Ombrel/Classes/Application/OpenScreen/QVOpenView.h"
#include "Ombrel/Classes/Application/Transitions/QVAnimatedScreenTransition.h"
#include "Ombrel/Classes/Application/Transitions/QVOpenAnimationTransitionController.h"
#include "Ombrel/Classes/Application/Transitions/QVSingleMultiAnimationTransitionController.h"
#include "Ombrel/Classes/Business/ExportManager/QVSharingServices.h"
#include "Ombrel/Classes/Business/QVApp.h"
#include "QVAppKit/QVOverlayCanvas.h"

using namespace controller_test;
using openscreen_test::settle;

namespace {

using MainWindowFlows = ControllerTest;

std::string shownPath(QVSolvaneWindowController& c) {
  auto* single = c.singleScreen();
  return single ? single->controller()->imagePath() : std::string();
}

}  // namespace

TEST_F(MainWindowFlows, OneFileGivesTheSingleImageShapedToThePhotoAndPreviewsAfterTheTransition) {
  transitions->hold = true;
  drop({"a.jpg", "small.jpg"});
  // The transition runs: nothing is processed yet, the open screen still shows.
  EXPECT_TRUE(window->processed.empty());
  EXPECT_EQ(controller->currentMode(), 0);
  ASSERT_TRUE(transitions->release);
  transitions->release();
  settle();
  EXPECT_EQ(controller->currentMode(), 1);
  EXPECT_EQ(shownPath(*controller), path("a.jpg"));
  // Only the valid path is processed, as a preview (type 1).
  ASSERT_EQ(window->processed.size(), 1u);
  EXPECT_EQ(window->processed[0], (std::pair{paths({"a.jpg"}), int64_t(1)}));
  EXPECT_EQ(controller->transition(), nullptr);
  const CGSize size = controller->window()->frame().size;
  EXPECT_NEAR(size.width / size.height, 1.5, 0.03);
  EXPECT_FALSE(window->exportedFlag);
}

TEST_F(MainWindowFlows, TwoFilesGiveTheGallery) {
  drop({"a.jpg", "b.jpg"});
  EXPECT_EQ(controller->currentMode(), 2);
  ASSERT_NE(controller->galleryScreen(), nullptr);
  EXPECT_EQ(controller->galleryScreen()->rowCount(), 2u);
  ASSERT_EQ(window->processed.size(), 1u);
  EXPECT_EQ(window->processed[0].first, paths({"a.jpg", "b.jpg"}));
}

TEST_F(MainWindowFlows, ACtrlDropReplacesThePhotoAndARefusedOneLeavesItAsItWas) {
  openOne();
  replaceKey = true;
  drag({"b.jpg"});
  ASSERT_NE(controller->singleScreen(), nullptr);
  EXPECT_TRUE(controller->singleScreen()->commandKeyWasPressedWhileDragging());
  EXPECT_TRUE(controller->singleScreen()->isPreviewBlurred());
  EXPECT_EQ(controller->transition(), nullptr);  // no way to the gallery opens
  controller->dragView()->performDragOperation();
  settle();
  EXPECT_EQ(controller->currentMode(), 1);
  EXPECT_EQ(controller->paths(), paths({"b.jpg"}));
  EXPECT_EQ(shownPath(*controller), path("b.jpg"));
  EXPECT_FALSE(controller->singleScreen()->commandKeyWasPressedWhileDragging());
  EXPECT_FALSE(controller->singleScreen()->isPreviewBlurred());

  drag({"small.jpg"});
  EXPECT_TRUE(controller->singleScreen()->isPreviewBlurred());
  controller->dragView()->performDragOperation();
  settle();
  EXPECT_EQ(controller->paths(), paths({"b.jpg"}));
  EXPECT_FALSE(controller->singleScreen()->commandKeyWasPressedWhileDragging());
  EXPECT_FALSE(controller->singleScreen()->isPreviewBlurred());
}

TEST_F(MainWindowFlows, TheShownFileDroppedAgainKeepsTheSingleImageAndCancelsTheTransition) {
  openOne();
  const int before = transitions->made;
  drag({"a.jpg"});
  ASSERT_NE(controller->transition(), nullptr);
  EXPECT_EQ(controller->transition()->to(), 2);
  controller->dragView()->performDragOperation();
  settle();
  EXPECT_EQ(controller->currentMode(), 1);
  EXPECT_EQ(controller->transition(), nullptr);
  EXPECT_EQ(transitions->made, before + 1);
  EXPECT_EQ(transitions->cancels, 1);
  EXPECT_EQ(controller->paths(), paths({"a.jpg"}));
  // A drag that leaves cancels too; the next one starts afresh.
  drag({"b.jpg"});
  controller->dragView()->draggingExited();
  EXPECT_EQ(transitions->cancels, 2);
  EXPECT_EQ(controller->transition(), nullptr);
}

TEST_F(MainWindowFlows, DropsThatAddPhotosKeepTheGalleryRowsInStepWithThePaths) {
  openOne();
  // One new, one already open: the single image animates to the gallery with one row more.
  const int finishes = transitions->finishes;
  drop({"a.jpg", "b.jpg"});
  ASSERT_EQ(controller->currentMode(), 2);
  EXPECT_EQ(transitions->finishes, finishes + 1);
  EXPECT_EQ(controller->galleryScreen()->rowCount(), 2u);
  drop({"b.jpg", "c.jpg", "small.jpg"});
  EXPECT_EQ(controller->paths(), paths({"a.jpg", "b.jpg", "c.jpg"}));
  EXPECT_EQ(controller->galleryScreen()->rowCount(), 3u);
  drop({"c.jpg"});
  EXPECT_EQ(controller->galleryScreen()->rowCount(), 3u);
  // Handed over by the system: the gallery follows the list.
  controller->addImagesAtPaths(paths({"a.jpg"}));
  EXPECT_EQ(controller->galleryScreen()->rowCount(), 3u);
}

TEST_F(MainWindowFlows, StartOverFromTheSingleImageAndTheGalleryReturnsToTheOpenScreen) {
  struct Case {
    std::vector<const char*> files;
    bool exported;
  };
  for (const Case& c : {Case{{"a.jpg"}, false}, Case{{"a.jpg", "b.jpg"}, true}}) {
    SCOPED_TRACE(c.files.size());
    drop(c.files);
    window->exportedFlag = c.exported;
    alerts->answers = {4};
    const size_t cleansBefore = window->cleans.size();
    controller->onStartOverMenuItem(nullptr);
    settle();
    ASSERT_FALSE(alerts->asked.empty());
    const auto asked = alerts->asked.back();
    EXPECT_FALSE(asked.quit);
    EXPECT_EQ(asked.save, !c.exported);
    EXPECT_TRUE(asked.cancel);
    EXPECT_EQ(asked.photoCount, c.files.size());  // the save question speaks of one photo or of several
    EXPECT_EQ(controller->currentMode(), 0);
    EXPECT_NE(controller->openViewController(), nullptr);
    EXPECT_TRUE(controller->paths().empty());
    ASSERT_EQ(window->cleans.size(), cleansBefore + 1);
    EXPECT_FALSE(window->cleans.back());  // the disk store stays
    EXPECT_TRUE(controller->dragView()->draggingEnabled());
  }
}

// Ctrl+N while the quick preview is the active window asks from the preview: neither Quit nor
// Cancel, "Save first" when the photos were not exported. Start Over closes the preview and goes
// back to the open screen; the other answers leave the gallery and its preview as they were. With
// the main window in front the usual question (with Cancel) is asked.
TEST_F(MainWindowFlows, StartOverFromTheQuickPreviewAsksWithoutQuitOrCancel) {
  controller->showWindow();
  const struct {
    const char* name;
    bool previewInFront;
    bool exported;
    int64_t answer;
    bool startsOver;
  } cases[] = {
      {"start over, not exported", true, false, 4, true},
      {"start over, exported", true, true, 4, true},
      {"the alert dismissed", true, false, 0, false},
      {"the main window in front", false, true, 4, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    drop({"a.jpg", "b.jpg", "c.jpg"});
    ASSERT_EQ(controller->currentMode(), 2);
    auto* gallery = controller->galleryScreen()->controller();
    gallery->selectRows({1, 2});
    gallery->showQuickpreview();
    settle();
    ASSERT_TRUE(gallery->isQuickpreviewVisible());
    const QPointer<QWidget> previewWindow = gallery->quickPreviewController()->window();
    QWidget* front = c.previewInFront ? previewWindow : controller->window();
    front->activateWindow();
    QApplication::processEvents();
    ASSERT_EQ(QApplication::activeWindow(), front) << front->isVisible();

    window->exportedFlag = c.exported;
    alerts->answers = {c.answer};
    const size_t asked = alerts->asked.size();
    controller->onStartOverMenuItem(nullptr);
    settle();
    ASSERT_EQ(alerts->asked.size(), asked + 1) << "asked once";
    const auto question = alerts->asked.back();
    EXPECT_FALSE(question.quit);
    EXPECT_EQ(question.cancel, !c.previewInFront);
    EXPECT_EQ(question.save, !c.exported);
    EXPECT_EQ(question.photoCount, 3u);
    if (c.startsOver) {
      EXPECT_EQ(controller->currentMode(), 0);
      EXPECT_NE(controller->openViewController(), nullptr);
      EXPECT_TRUE(controller->paths().empty());
      EXPECT_FALSE(previewWindow && previewWindow->isVisible()) << "the preview closed with the gallery";
    } else {
      EXPECT_EQ(controller->currentMode(), 2);
      EXPECT_EQ(controller->paths(), paths({"a.jpg", "b.jpg", "c.jpg"}));
      EXPECT_TRUE(gallery->isQuickpreviewVisible());
      gallery->hideQuickpreview();
      controller->startOver();
      settle();
    }
  }
}

TEST_F(MainWindowFlows, DeletingPhotosInTheGalleryFollowsTheSourceListAndTheLastReturnsToTheOpenScreen) {
  drop({"a.jpg", "b.jpg", "c.jpg"});
  sourceList->remaining = paths({"a.jpg", "c.jpg"});
  qv::NotificationCenter::defaultCenter().post(kQVAppDidDeleteSourceItemNotification);
  EXPECT_EQ(controller->currentMode(), 2);
  EXPECT_EQ(controller->galleryScreen()->rowCount(), 2u);
  sourceList->remaining = {};
  qv::NotificationCenter::defaultCenter().post(kQVAppDidDeleteSourceItemNotification);
  settle();
  EXPECT_EQ(controller->currentMode(), 0);
  EXPECT_NE(controller->openViewController(), nullptr);
}

TEST_F(MainWindowFlows, TheCloseAlertAsksWithPhotosOpenAndActsOnEachAnswer) {
  // Mode 0 asks nothing and closes.
  EXPECT_FALSE(controller->windowShouldClose());
  EXPECT_TRUE(alerts->asked.empty());
  EXPECT_EQ(closer.closes, 1);

  struct Case {
    int64_t answer;
    bool exported;
    int closes;    // the delegate ends the application
    int64_t mode;  // afterwards
  };
  const Case cases[] = {{3, false, 1, 1}, {3, true, 1, 1}, {4, false, 0, 0}, {4, true, 0, 0},
                        {5, false, 0, 1}, {0, true, 0, 1}, {0, false, 0, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "answer " << c.answer << " exported " << c.exported);
    if (controller->currentMode() != 1) openOne();
    window->exportedFlag = c.exported;
    closer.closes = 0;
    alerts->answers = {c.answer};
    EXPECT_FALSE(controller->windowShouldClose());
    settle();
    const auto asked = alerts->asked.back();
    EXPECT_TRUE(asked.quit);
    EXPECT_EQ(asked.save, !c.exported);   // "Save first" only when not exported
    EXPECT_EQ(asked.cancel, c.exported);  // "Cancel" only when exported
    EXPECT_EQ(closer.closes, c.closes);
    EXPECT_EQ(controller->currentMode(), c.mode);
  }
}

// The real main window closed with a photo open, as the window manager's close button closes it
// (a close event to its window): the question is asked, "Save first" offered only while the work
// is not exported, and each answer acts. Quit hands the end to the application (which quits), Start
// Over returns to the open screen, Cancel keeps the photo, Save first opens the export dialog; the
// window itself never goes away on its own.
TEST_F(MainWindowFlows, ClosingTheRealWindowWithAPhotoOpenAsksAndEachAnswerActs) {
  QVSharingServices::setDialogPresenter(QVSolvanePanels::exportDialogPresenter());
  QVSolvaneWindow* win = controller->window();
  ASSERT_TRUE(win);
  win->show();
  ASSERT_TRUE(win->windowHandle());
  const struct {
    int64_t answer;
    bool exported;
    int closes;   // the application told to end
    int64_t mode;  // afterwards
    bool dialog;  // the export dialog opened
  } cases[] = {{QVAlertResultCancel, true, 0, 1, false}, {QVAlertResultCancel, false, 0, 1, false},
               {5, false, 0, 1, true},  {4, false, 0, 0, false}, {3, false, 1, 1, false}, {3, true, 1, 1, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "answer " << c.answer << " exported " << c.exported);
    if (controller->currentMode() != 1) openOne();
    window->exportedFlag = c.exported;
    closer.closes = 0;
    alerts->answers = {c.answer};
    const size_t asked = alerts->asked.size(), dialogs = panels->specs.size();
    EXPECT_FALSE(win->windowHandle()->close()) << "the window decides through its question";
    settle();
    ASSERT_EQ(alerts->asked.size(), asked + 1) << "one question per close";
    EXPECT_TRUE(alerts->asked.back().quit);
    EXPECT_EQ(alerts->asked.back().save, !c.exported);
    EXPECT_TRUE(win->isVisible());
    EXPECT_EQ(closer.closes, c.closes);
    EXPECT_EQ(controller->currentMode(), c.mode);
    EXPECT_EQ(panels->specs.size(), dialogs + (c.dialog ? 1 : 0));
    if (c.dialog) {
      EXPECT_EQ(panels->specs.back().kind, QVPanelSpec::Kind::Save);
      panels->choose({});
      settle();
    }
  }
  QVSharingServices::setDialogPresenter(nullptr);
}

TEST_F(MainWindowFlows, ClosingInPluginModeCancelsTheRunAndKeepsTheWindow) {
  window->plugin = true;
  EXPECT_FALSE(controller->windowShouldClose());
  EXPECT_EQ(window->pluginRecord->cancels, 1);
  EXPECT_EQ(closer.closes, 0);
  EXPECT_TRUE(alerts->asked.empty());
  // No valid photo from the host ends the run too.
  sourceList->rejectAll = true;
  controller->addImagesAtPaths(paths({"a.jpg"}));
  EXPECT_EQ(window->pluginRecord->cancels, 2);
  controller->installPlugins();
  EXPECT_EQ(window->pluginRecord->installs, 1);
}

TEST_F(MainWindowFlows, TheExportSubmenuIsThereOnlyWhileThePhotoIsProcessed) {
  QVMenu main;
  auto* file = new QVMenu("File", &main);
  main.addSubmenuItem("File", QVMenuTagFileMenu, file);
  QVMenuController::setMainMenu(&main);
  auto post = [](uint64_t state) {
    qv::NotificationCenter::defaultCenter().post(kQVExportViewStateDidChangeNotification,
                                                 std::make_shared<qv::Value>(int64_t(state)));
  };
  auto present = [&] {
    const bool inFile = file->itemWithTag(QVMenuTagExport) != nullptr;
    EXPECT_EQ(inFile, controller->titleBarItemsMenu()->itemWithTag(QVMenuTagExport) != nullptr);
    return inFile;
  };
  for (uint64_t state : {0, 1, 1, 2, 1, 0}) {
    post(state);
    EXPECT_EQ(present(), state == 1) << state;
  }
  ASSERT_EQ(file->items().size(), 0u);  // each state removed the last one's
  post(1);
  controller->startOver();
  EXPECT_FALSE(present());
  QVMenuController::setMainMenu(nullptr);
}

TEST_F(MainWindowFlows, FilesHandedOverOpenAsDroppedAndTheSampleAndThePanelToo) {
  controller->addImagesAtPaths(paths({"a.jpg"}));
  EXPECT_EQ(controller->currentMode(), 1);
  EXPECT_EQ(shownPath(*controller), path("a.jpg"));
  controller->startOver();

  window->samples = {path("c.jpg")};
  qv::NotificationCenter::defaultCenter().post(kQVOpenSampleImageClicked);
  settle();
  EXPECT_EQ(controller->paths(), paths({"c.jpg"}));
  EXPECT_EQ(window->sampleEvents, 1);

  // In the single image the panel is the application's; the screen dims while it is open.
  controller->onOpenFilesMenuItem(nullptr);
  ASSERT_TRUE(panels->pending);
  EXPECT_TRUE(panels->specs.back().allowsMultipleSelection);
  panels->choose(paths({"a.jpg", "b.jpg"}));
  settle();
  EXPECT_EQ(controller->currentMode(), 2);
  EXPECT_EQ(controller->paths(), paths({"c.jpg", "a.jpg", "b.jpg"}));

  // No sample shipped: the button does nothing.
  controller->startOver();
  settle();
  window->samples.clear();
  qv::NotificationCenter::defaultCenter().post(kQVOpenSampleImageClicked);
  settle();
  EXPECT_EQ(controller->currentMode(), 0);
}

TEST_F(MainWindowFlows, TheGalleryLeavesForItsLastPhotoAndSheetsOpenBelowTheTitleBar) {
  drop({"a.jpg", "b.jpg"});
  EXPECT_DOUBLE_EQ(controller->sheetTopOffset(), 36);
  int completions = 0;
  controller->galleryDidLeaveASingleImageWithPath(path("b.jpg"), [&] { ++completions; });
  settle();
  EXPECT_EQ(controller->currentMode(), 1);
  EXPECT_EQ(shownPath(*controller), path("b.jpg"));
  EXPECT_EQ(completions, 1);
  controller->startOver();
  settle();
  EXPECT_GE(controller->sheetTopOffset(), 36 + controller->openViewController()->contentsEdgeInset().top - 1e-9);
}

TEST_F(MainWindowFlows, FilesHandedOverWhileTheSingleImageExportsAreIgnored) {
  openOne();
  auto* exportPanel = controller->singleScreen()->controller()->exportViewController();
  exportPanel->view();
  exportPanel->updateWithExportState(1);
  settle();
  ASSERT_NE(controller->currentScreen()->exportState(), 0u);
  controller->addImagesAtPaths(paths({"b.jpg"}));
  settle();
  EXPECT_EQ(controller->currentMode(), 1);
  EXPECT_EQ(controller->paths(), paths({"a.jpg"}));
  exportPanel->updateWithExportState(0);
  settle();
  controller->addImagesAtPaths(paths({"b.jpg"}));
  EXPECT_EQ(controller->currentMode(), 2);
}

// Files handed to the program (a second invocation) while an export the user started is under way
// wait for it: the screen it runs on stays, and once the export has ended they open as a drop.
TEST_F(MainWindowFlows, FilesHandedOverWhileAnExportIsUnderWayWaitForItThenOpen) {
  QVSharingServices::setDialogPresenter(QVSolvanePanels::exportDialogPresenter());
  const struct Case {
    const char* name;
    std::function<void()> begin, end;
  } cases[] = {
      {"the screen's export writes",
       [this] {
         auto* panel = controller->singleScreen()->controller()->exportViewController();
         panel->view();
         panel->updateWithExportState(1);
       },
       [this] { controller->singleScreen()->controller()->exportViewController()->updateWithExportState(2); }},
      {"its dialog is up", [this] { QVSolvanePanels::showExportDialogWithPaths(paths({"a.jpg"}), nullptr); },
       [this] { panels->choose({}); }},
      {"the quick preview's export writes", [this] { window->exporting = true; },
       [this] { window->exporting = false; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    QVSharingServices::setDialogPresenter(QVSolvanePanels::exportDialogPresenter());
    openOne();
    c.begin();
    settle();
    ASSERT_TRUE(controller->isExportUnderWay());
    controller->simulateDrop(paths({"b.jpg"}));
    settle();
    EXPECT_EQ(controller->currentMode(), 1) << "the export's screen stays";
    EXPECT_EQ(controller->paths(), paths({"a.jpg"}));
    EXPECT_EQ(controller->queuedDropPaths(), paths({"b.jpg"})) << "waiting, not dropped";
    c.end();
    settle();
    EXPECT_FALSE(controller->isExportUnderWay());
    EXPECT_EQ(controller->currentMode(), 2);
    EXPECT_EQ(controller->paths(), paths({"a.jpg", "b.jpg"}));
    EXPECT_TRUE(controller->queuedDropPaths().empty());
  }
  QVSharingServices::setDialogPresenter(nullptr);
}

// Deleting one photo of four from the middle: the main window reloads the grid while the gallery
// deletes, and the grid still shows exactly the three left, in order.
TEST_F(MainWindowFlows, DeletingTheSecondOfFourLeavesACellForEachOfTheThreeLeft) {
  drop({"a.jpg", "b.jpg", "c.jpg", "d.jpg"});
  ASSERT_EQ(controller->currentMode(), 2);
  auto* grid = controller->galleryScreen()->controller();
  grid->selectRows({1});
  grid->selectMenuRemoveImages();
  settle();
  EXPECT_EQ(controller->paths(), paths({"a.jpg", "c.jpg", "d.jpg"}));
  EXPECT_EQ(grid->model()->paths(), controller->paths());
  EXPECT_EQ(grid->photoPathsAtIndexPaths({1}), paths({"c.jpg"}));
}

TEST_F(MainWindowFlows, SaveFirstOpensTheExportToDisk) {
  // The disk export asks for its destination through the application's panels.
  QVSharingServices::setDialogPresenter(QVSolvanePanels::exportDialogPresenter());
  openOne();
  window->exportedFlag = false;
  alerts->answers = {5};
  EXPECT_FALSE(controller->windowShouldClose());
  settle();
  ASSERT_FALSE(panels->specs.empty());
  EXPECT_EQ(panels->specs.back().kind, QVPanelSpec::Kind::Save);
  EXPECT_EQ(controller->currentMode(), 1);
  EXPECT_EQ(closer.closes, 0);
  panels->choose({});
  settle();
  QVSharingServices::setDialogPresenter(nullptr);
}

TEST_F(MainWindowFlows, TheGalleryDeletesFromTheOpenListAndLeavesForItsLastPhoto) {
  drop({"a.jpg", "b.jpg", "c.jpg"});
  auto* grid = controller->galleryScreen()->controller();
  grid->removeItemsAtIndexPaths({2});
  settle();
  EXPECT_EQ(controller->paths(), paths({"a.jpg", "b.jpg"}));
  EXPECT_EQ(controller->galleryScreen()->rowCount(), 2u);
  // All but one: the single image with the one left; the list loses the other afterwards.
  grid->removeItemsAtIndexPaths({0});
  settle();
  EXPECT_EQ(controller->currentMode(), 1);
  EXPECT_EQ(shownPath(*controller), path("b.jpg"));
  EXPECT_EQ(controller->paths(), paths({"b.jpg"}));
  // Deleting everything starts over.
  drop({"a.jpg"});
  ASSERT_EQ(controller->currentMode(), 2);
  controller->galleryScreen()->controller()->removeItemsAtIndexPaths({0, 1});
  settle();
  EXPECT_EQ(controller->currentMode(), 0);
  EXPECT_TRUE(controller->paths().empty());
}

// ---- The animated transitions in the real window ----

namespace {

// The controller's own transitions, in a shown window.
class AnimatedFlows : public ControllerTest {
 protected:
  AnimatedFlows() { recordTransitions = false; }
  void SetUp() override {
    ControllerTest::SetUp();
    controller->showWindow();
    settle();
  }
  QVOverlayCanvas* overlay() { return QVOverlayCanvas::overlayForWindow(controller->window()); }
  // Steps both clocks a frame at a time until a transition runs (the drop waits for the blurred photo).
  QVAnimatedScreenTransition* untilTransition() {
    for (int i = 0; i < 120 && !controller->transition(); ++i) {
      qv::MainExecutor::shared().advance(1.0 / 60);
      QVAnimationDriver::shared().advance(1.0 / 60);
    }
    qv::MainExecutor::shared().runUntilIdle();
    return dynamic_cast<QVAnimatedScreenTransition*>(controller->transition());
  }
  QWidget* container() { return controller->vcContainer(); }
  static NSImageRef pngImage(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return NSImage::imageWithData(std::vector<uint8_t>(bytes.begin(), bytes.end()));
  }
  static CGPoint centre(CGRect r) { return CGPointMake(r.origin.x + r.size.width / 2, r.origin.y + r.size.height / 2); }
};

}  // namespace

TEST_F(AnimatedFlows, OpenToSingleImageMovesSpritesKeepsTheCentreAndEndsOnTheSingleImage) {
  const CGPoint before = centre(controller->window()->frame());
  drag({"a.jpg"});
  controller->dragView()->performDragOperation();
  controller->dragView()->draggingEnded();
  // The motion runs in the overlay; the screen has not changed yet and nothing is processed.
  ASSERT_NE(untilTransition(), nullptr);
  EXPECT_EQ(controller->currentMode(), 0);
  EXPECT_GT(overlay()->itemCount(), 0u);
  EXPECT_TRUE(window->processed.empty());
  const CGRect shaped = controller->window()->frame();
  settle();
  EXPECT_EQ(controller->currentMode(), 1);
  EXPECT_EQ(controller->transition(), nullptr);
  EXPECT_EQ(overlay()->itemCount(), 0u);
  // The window kept its centre and was not shaped a second time at the end.
  EXPECT_NEAR(centre(controller->window()->frame()).x, before.x, 1);
  EXPECT_NEAR(centre(controller->window()->frame()).y, before.y, 1);
  EXPECT_EQ(controller->window()->frame(), shaped);
  QWidget* single = controller->singleScreen()->view();
  EXPECT_EQ(single->parentWidget(), container());
  EXPECT_TRUE(single->isVisible());
  EXPECT_EQ(container()->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly).size(), 1)
      << "only the single image is left in the window";
  EXPECT_EQ(window->processed.size(), 1u);
}

TEST_F(AnimatedFlows, OpenToTheGalleryFlies16OfTwentyAndEachCellGetsItsOwnPath) {
  Paths twenty;
  QImage image(8, 8, QImage::Format_RGB32);
  image.fill(Qt::red);
  for (int i = 0; i < 20; ++i) {
    const QString file = dir.filePath(QString("p%1.jpg").arg(i));
    ASSERT_TRUE(image.save(file, "JPEG"));
    twenty.push_back(file.toStdString());
  }
  controller->simulateDrop(twenty);
  auto* animated = untilTransition();
  ASSERT_NE(animated, nullptr);
  auto* open = dynamic_cast<QVOpenAnimationTransitionController*>(animated->helper()->transitionVC());
  ASSERT_NE(open, nullptr);
  // The gallery was measured without starting its own thumbnail work: the loads are the flight's.
  ASSERT_EQ(gallery->loads.size(), 16u);
  for (size_t i = 0; i < 16; ++i) EXPECT_EQ(gallery->loads[i].path, twenty[i]);
  // Answers in reverse order; one fails and leaves its cell empty.
  for (int i = 15; i >= 0; --i) {
    QImage thumb(10 + i, 10, QImage::Format_RGB32);
    thumb.fill(Qt::white);
    gallery->loads[size_t(i)].completion(gallery->loads[size_t(i)].path, i == 5 ? nullptr : pngImage(thumb));
  }
  qv::MainExecutor::shared().runUntilIdle();
  ASSERT_EQ(open->cells().size(), 16u);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(i == 5 ? 0 : 10 + i, open->thumbnails()[i].width()) << i;
  settle();
  EXPECT_EQ(controller->currentMode(), 2);
  EXPECT_EQ(controller->transition(), nullptr);
  EXPECT_EQ(overlay()->itemCount(), 0u);
  EXPECT_EQ(controller->galleryScreen()->rowCount(), 20u);
  EXPECT_TRUE(controller->galleryScreen()->view()->isVisible());
}

TEST_F(AnimatedFlows, ADragOverTheSingleImageShrinksItAndLeavingGrowsItBackOnce) {
  openOne();
  settle();
  QWidget* single = controller->singleScreen()->view();
  drag({"b.jpg"});
  ASSERT_NE(controller->transition(), nullptr);
  EXPECT_GT(overlay()->itemCount(), 0u);
  EXPECT_FALSE(single->isVisible()) << "its picture moves instead";
  settle(0.1);
  controller->dragView()->draggingExited();
  EXPECT_EQ(controller->transition(), nullptr);
  settle();
  EXPECT_EQ(controller->currentMode(), 1);
  EXPECT_EQ(controller->singleScreen()->view(), single);
  EXPECT_EQ(single->parentWidget(), container());
  EXPECT_TRUE(single->isVisible());
  EXPECT_EQ(overlay()->itemCount(), 0u);
  // A drag that rests over it: the gallery shows what a drop would do, the single image stays out
  // of sight (never a window of its own).
  drag({"b.jpg"});
  settle();
  ASSERT_NE(controller->transition(), nullptr);
  EXPECT_FALSE(single->isVisible());
  EXPECT_EQ(overlay()->itemCount(), 0u);
  // Dropped, it ends in the gallery.
  controller->dragView()->performDragOperation();
  controller->dragView()->draggingEnded();
  settle();
  EXPECT_EQ(controller->currentMode(), 2);
  EXPECT_EQ(overlay()->itemCount(), 0u);
  EXPECT_TRUE(controller->galleryScreen()->view()->isVisible());
}

TEST_F(AnimatedFlows, StartOverFromTheGalleryShrinksIntoTheOpenScreenAndStaysThere) {
  drop({"a.jpg", "b.jpg"});
  // The flight waits for its thumbnails.
  for (auto& load : gallery->loads) load.completion(load.path, nullptr);
  settle();
  ASSERT_EQ(controller->currentMode(), 2);
  const CGRect before = controller->window()->frame();
  const CGRect kept = QVMiddleRect(controller->window()->windowSizeForMode(0), before.size);
  QWidget* galleryView = controller->galleryScreen()->view();
  const auto galleryParts = controller->galleryScreen()->controller()->animatableViews();
  ASSERT_GT(galleryParts.size(), 2u) << "the grid, its background and the export button";
  alerts->answers = {4};
  controller->onStartOverMenuItem(nullptr);
  qv::MainExecutor::shared().runUntilIdle();
  EXPECT_GT(overlay()->itemCount(), 0u);
  // The gallery stays under the motion: none of its parts may show through as the panel shrinks.
  settle(0.4);
  for (const auto& [key, part] : galleryParts) EXPECT_FALSE(part->isVisible()) << key;
  EXPECT_TRUE(container()->isAncestorOf(galleryView) && !galleryView->isVisible())
      << "kept in the window, hidden with all it draws";
  settle();
  EXPECT_EQ(controller->currentMode(), 0);
  EXPECT_EQ(controller->window()->sizeMode(), 0);
  EXPECT_NEAR(controller->window()->frame().origin.x, before.origin.x + kept.origin.x, 1);
  EXPECT_NEAR(controller->window()->frame().origin.y, before.origin.y + kept.origin.y, 1);
  EXPECT_EQ(overlay()->itemCount(), 0u);
  auto* open = controller->openScreen();
  ASSERT_NE(open, nullptr);
  // Every part shows, but the blurred photo: the new open screen has none.
  for (auto& [key, view] : open->animatableViews())
    if (auto* v = dynamic_cast<QVView*>(view); v && key != QVOpenViewControllerBlurredBackgroundViewKey)
      EXPECT_TRUE(v->isVisible() && v->alpha() == 1) << key;
  EXPECT_TRUE(open->view()->isVisible());
  EXPECT_EQ(container()->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly).size(), 1);
}

namespace {

// The cell prototype of the running single-image/gallery transition: its picture as taken at the
// start, with the cell rectangle it flies to or from.
struct Prototype {
  QPixmap picture;
  CGRect cell = CGRectZero;
};

Prototype prototypeOf(QVAnimatedScreenTransition* animated) {
  auto* c = animated ? dynamic_cast<QVSingleMultiAnimationTransitionController*>(animated->helper()->transitionVC())
                     : nullptr;
  if (!c || !c->prototypeSprite() || !c->sprites()) return {};
  return {c->sprites()->sprite(c->prototypeSprite()).picture, c->cellRect()};
}

// The picture at the cell's size in device pixels, the photo's colour in its middle.
void expectReadyCell(const Prototype& p, QColor photo) {
  ASSERT_FALSE(p.picture.isNull()) << "a prototype exists";
  ASSERT_FALSE(CGRectIsEmpty(p.cell));
  const double dpr = p.picture.devicePixelRatio();
  EXPECT_NEAR(p.picture.width(), p.cell.size.width * dpr, 1);
  EXPECT_NEAR(p.picture.height(), p.cell.size.height * dpr, 1);
  const QImage image = p.picture.toImage();
  const QColor middle(image.pixel(image.width() / 2, image.height() / 2));
  EXPECT_NEAR(middle.red(), photo.red(), 12);
  EXPECT_NEAR(middle.green(), photo.green(), 12);
  EXPECT_NEAR(middle.blue(), photo.blue(), 12);
}

}  // namespace

TEST_F(AnimatedFlows, TheCellPrototypeShowsThePhotoFromTheStartBothWays) {
  // Towards the gallery: the enhanced photo the single image shows, at the first cell's size.
  window->facade->original[path("a.jpg")] = gallery_test::solidImage(Qt::yellow, 600, 400);
  window->facade->processed[path("a.jpg")] = gallery_test::solidImage(Qt::blue, 600, 400);
  openOne();
  settle();
  ASSERT_NE(controller->singleScreen()->shownImageAtPath(path("a.jpg")), nullptr);
  drag({"b.jpg"});
  ASSERT_NE(dynamic_cast<QVAnimatedScreenTransition*>(controller->transition()), nullptr);
  expectReadyCell(prototypeOf(dynamic_cast<QVAnimatedScreenTransition*>(controller->transition())), Qt::blue);
  controller->dragView()->performDragOperation();
  controller->dragView()->draggingEnded();
  settle();
  ASSERT_EQ(controller->currentMode(), 2);
  // Back to the photo the gallery leaves: its own cell's thumbnail, not the first path's.
  QVGalleryModel* cells = controller->galleryScreen()->controller()->model();
  for (int row : {0, 1}) cells->requestImagesForRow(row);
  ASSERT_EQ(gallery->loads.size(), 2u);
  for (auto& load : gallery->loads)
    load.completion(load.path, gallery_test::solidImage(load.path == path("b.jpg") ? Qt::red : Qt::green));
  settle();
  controller->galleryScreen()->controller()->removeItemsAtIndexPaths({0});
  auto* back = untilTransition();
  ASSERT_NE(back, nullptr);
  ASSERT_EQ(back->to(), 1);
  expectReadyCell(prototypeOf(back), Qt::red);
  settle();
  EXPECT_EQ(controller->currentMode(), 1);
  EXPECT_EQ(shownPath(*controller), path("b.jpg"));
}

TEST_F(AnimatedFlows, PhotosAddedOverTheSingleImageShrinkItIntoTheGalleryOverTime) {
  // The title bar's import button and File > Open hand photos in; a drop may come before the motion
  // its drag started has ended. Either way the gallery takes over only once the photo is in its cell.
  struct Case {
    const char* name;
    std::function<void()> add;
  };
  const Case cases[] = {
      {"handed in", [this] { controller->addImagesAtPaths(paths({"b.jpg", "c.jpg"})); }},
      {"dropped at once",
       [this] {
         drag({"b.jpg", "c.jpg"});
         controller->dragView()->performDragOperation();
         controller->dragView()->draggingEnded();
       }},
  };
  for (const Case& run : cases) {
    SCOPED_TRACE(run.name);
    controller->startOver();
    settle();
    window->facade->processed[path("a.jpg")] = gallery_test::solidImage(Qt::blue, 600, 400);
    openOne();
    settle();
    QWidget* single = controller->singleScreen()->view();
    const double fullWidth = container()->width();
    run.add();
    auto* animated = dynamic_cast<QVAnimatedScreenTransition*>(controller->transition());
    ASSERT_NE(animated, nullptr) << "the gallery came at once, without the motion";
    ASSERT_EQ(animated->from(), 1);
    ASSERT_EQ(animated->to(), 2);
    auto* c = dynamic_cast<QVSingleMultiAnimationTransitionController*>(animated->helper()->transitionVC());
    ASSERT_NE(c, nullptr);
    ASSERT_NE(c->prototypeSprite(), 0u);
    EXPECT_EQ(controller->currentMode(), 1) << "the mode changes when the motion ends";
    EXPECT_FALSE(single->isVisible()) << "its picture moves instead";
    // Half-way the photo is between its full place and its cell, half faded.
    QVAnimationDriver::shared().advance(0.15);
    ASSERT_EQ(controller->transition(), animated);
    const CGRect halfway = c->sprites()->sprite(c->prototypeSprite()).frame;
    EXPECT_LT(halfway.size.width, fullWidth - 20);
    EXPECT_GT(halfway.size.width, c->cellRect().size.width + 20);
    EXPECT_GT(c->fullAlpha(), 0.1);
    EXPECT_LT(c->fullAlpha(), 0.9);
    settle();
    EXPECT_EQ(controller->transition(), nullptr);
    EXPECT_EQ(controller->currentMode(), 2);
    ASSERT_NE(controller->galleryScreen(), nullptr);
    EXPECT_EQ(controller->galleryScreen()->rowCount(), 3u);
    EXPECT_TRUE(controller->galleryScreen()->view()->isVisible());
    EXPECT_EQ(overlay()->itemCount(), 0u);
  }
}

TEST_F(AnimatedFlows, TheTitleBarStaysAboveThePhotoAsItShrinks) {
  controller->createTitleBar(nullptr);
  window->facade->processed[path("a.jpg")] = gallery_test::solidImage(Qt::blue, 600, 400);
  openOne();
  settle();
  QWidget* bar = controller->window()->titleBarView();
  ASSERT_TRUE(bar && bar->isVisible());
  const QRect place(bar->mapTo(controller->window(), QPoint(0, 0)), bar->size());
  const QImage before = controller->window()->grab(place).toImage();
  drag({"b.jpg"});
  ASSERT_NE(controller->transition(), nullptr);
  EXPECT_GT(overlay()->itemCount(), 0u);
  // The same bar, but for a few edge pixels (its rounded corners show what lies below).
  EXPECT_LT(app_test::differingPixels(controller->window()->grab(place).toImage(), before),
            before.width() * before.height() / 100)
      << "the photo's picture covers the title bar";
}

TEST_F(AnimatedFlows, ADroppedPhotoGrowsBlurredWithThePanel) {
  // The drop shows the photo blurred in the panel before the paths leave the open screen; the
  // motion grows that picture with the panel, which turns black beneath it. Left out, the window
  // dipped to black between the blurred photo and the single image.
  drag({"a.jpg"});
  controller->dragView()->performDragOperation();
  controller->dragView()->draggingEnded();
  auto* animated = untilTransition();
  ASSERT_NE(animated, nullptr);
  auto* open = dynamic_cast<QVOpenAnimationTransitionController*>(animated->helper()->transitionVC());
  ASSERT_NE(open, nullptr);
  ASSERT_NE(open->blurredSprite(), 0u) << "the blurred photo takes no part in the motion";
  const QVTransitionSprite photo = open->sprites()->sprite(open->blurredSprite());
  EXPECT_GT(photo.opacity, 0.9);
  ASSERT_FALSE(photo.picture.isNull());
  // The blue photo's darkened copy, not an empty picture.
  const QImage picture = photo.picture.toImage();
  const QColor middle = picture.pixelColor(picture.width() / 2, picture.height() / 2);
  EXPECT_GT(middle.alpha(), 200);
  EXPECT_GT(middle.blue(), middle.red() + 10);
  settle();
  EXPECT_EQ(controller->currentMode(), 1);
  EXPECT_EQ(overlay()->itemCount(), 0u);
}

namespace {

// The controller's transitions under a window manager: frames are requests it answers later, taken
// up when Qt's events are processed.
class AnimatedFlowsUnderAWindowManager : public AnimatedFlows {
 protected:
  void SetUp() override {
    QVSolvaneWindow::setWindowManagerQuery([] { return true; });
    AnimatedFlows::SetUp();
  }
  void TearDown() override {
    AnimatedFlows::TearDown();
    QVSolvaneWindow::setWindowManagerQuery(nullptr);
  }
  void settleAnswering(double seconds = 4) {
    for (int i = 0; i < int(seconds * 10); ++i) {
      QCoreApplication::processEvents();
      qv::MainExecutor::shared().advance(0.1);
      QVAnimationDriver::shared().advance(0.1);
    }
    qv::MainExecutor::shared().runUntilIdle();
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
  }
};

// The sizes the window is laid out at.
class SizesSeen : public QObject {
 public:
  explicit SizesSeen(QWidget* watched) : watched_(watched) { watched->installEventFilter(this); }
  std::vector<QSize> sizes;
  bool eventFilter(QObject* o, QEvent* e) override {
    if (o == watched_ && e->type() == QEvent::Resize) sizes.push_back(watched_->size());
    return false;
  }

 private:
  QWidget* watched_;
};

}  // namespace

// Each step of a motion is a round trip through the manager, laid out and painted once more when
// it is answered, while the window system shows the old picture where the manager has put the
// window: the gallery coming in showed doubled title bars and its grid changing columns, Start Over
// two offset copies of the open screen. The window takes the new screen's shape in one step, so
// the screen is laid out at its final size only, and shows nothing of the old screen meanwhile.
TEST_F(AnimatedFlowsUnderAWindowManager, ANewScreenIsLaidOutAtItsFinalSizeOnly) {
  struct Case {
    const char* name;
    std::function<void()> change;
    int64_t mode;
  };
  const Case cases[] = {
      {"photos added over the single image",
       [this] {
         controller->addImagesAtPaths(paths({"b.jpg", "c.jpg"}));
       },
       2},
      {"start over from the single image", [this] { controller->startOver(); }, 0},
  };
  ASSERT_TRUE(controller->window()->answersFramesLate());
  for (const Case& run : cases) {
    SCOPED_TRACE(run.name);
    controller->startOver();
    settleAnswering();
    drop({"a.jpg"});
    settleAnswering();
    ASSERT_EQ(controller->currentMode(), 1);
    const QSize single = controller->window()->size();
    SizesSeen seen(controller->window());
    run.change();
    settleAnswering();
    ASSERT_EQ(controller->currentMode(), run.mode);
    EXPECT_FALSE(controller->window()->awaitsGeometryAnswer());
    ASSERT_NE(controller->window()->size(), single);
    ASSERT_FALSE(seen.sizes.empty());
    for (const QSize& size : seen.sizes)
      EXPECT_EQ(size, controller->window()->size()) << "laid out at " << size.width() << " x " << size.height();
    // The old screen's picture fits the new frame nowhere: the window system forgets it rather than
    // showing it where the manager's own steps leave it.
    EXPECT_EQ(controller->window()->bitGravity(), 0);
  }
}
