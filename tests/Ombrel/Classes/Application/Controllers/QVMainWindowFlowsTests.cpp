// The main window's flows end to end on the offscreen platform: real open and single-image
// screens over a fake application core, with scripted alerts, panels and transitions.
#include <gtest/gtest.h>

#include <cmath>

#include "ControllerTestSupport.h"
#include "Ombrel/Classes/Application/Common/QVSingleImageNotifications.h"
#include "Ombrel/Classes/Application/OpenScreen/QVOpenView.h"
#include "Ombrel/Classes/Business/ExportManager/QVSharingServices.h"
#include "Ombrel/Classes/Business/QVApp.h"

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
  drop({"a.jpg", "b.jpg"});
  ASSERT_EQ(controller->currentMode(), 2);
  EXPECT_EQ(transitions->finishes, 1);
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
    EXPECT_EQ(controller->currentMode(), 0);
    EXPECT_NE(controller->openViewController(), nullptr);
    EXPECT_TRUE(controller->paths().empty());
    ASSERT_EQ(window->cleans.size(), cleansBefore + 1);
    EXPECT_FALSE(window->cleans.back());  // the disk store stays
    EXPECT_TRUE(controller->dragView()->draggingEnabled());
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
