// The main window in a plug-in run, offscreen: the real window controller and screens over a fake
// application core, with the plug-in controller's collaborators faked.
#include <gtest/gtest.h>

#include <QtTest/QTest>

#include "ControllerTestSupport.h"
#include "Ombrel/Classes/Application/Export/QVExportManagerFactory.h"
#include "Ombrel/Classes/Application/Gallery/QVGalleryExportPanelAdapter.h"
#include "Ombrel/Classes/Application/PluginMode/QVPluginSingleImageViewController.h"
#include "tests/Ombrel/Classes/Application/PluginMode/PluginTestSupport.h"

using namespace controller_test;
using openscreen_test::settle;

namespace {

class PluginModeFlows : public ControllerTest {
 protected:
  void TearDown() override {
    ControllerTest::TearDown();
    QVExportManagerFactory::setMaker(nullptr);
  }
  // A plug-in run on `photo` as the host starts it; the panel's manager is a plug-in controller
  // with fakes.
  void startPluginRun(const std::string& photo) {
    startPluginRunWithArguments({"Solvane", photo, "-QVImagePath", photo, "-QVSavePath", photo + ".tiff",
                                 "-QVLightroomPluginOwner", "-QVPluginMode"});
  }
  void startPluginRunWithArguments(const std::vector<std::string>& arguments) {
    window->plugin = true;
    gallery->pluginMode = true;
    modeManager.configureWithArguments(arguments);
    QVPluginController::Services services;
    services.facade = hostFacade;
    services.writer = std::make_shared<plugin_test::TestWriter>();
    services.alerts = std::make_shared<plugin_test::RecordingAlerts>();
    services.terminator = std::make_shared<plugin_test::RecordingTerminator>();
    services.notifier = std::make_shared<plugin_test::RecordingNotifier>();
    services.modeManager = &modeManager;
    QVExportManagerFactory::setMaker([services](uint64_t) { return QVPluginController::make(services); });
  }

  QVSPluginModeManager modeManager;
  std::shared_ptr<plugin_test::FakeFacade> hostFacade = std::make_shared<plugin_test::FakeFacade>();
};

TEST_F(PluginModeFlows, OneHostPhotoShowsThePluginScreenAndItsDoneExportsThePhoto) {
  const std::string photo = path("a.jpg");
  startPluginRun(photo);
  controller->showWindow();
  controller->addImagesAtPaths({photo});
  settle();
  ASSERT_EQ(controller->currentMode(), 1);
  ASSERT_NE(controller->singleScreen(), nullptr);
  auto* screen = dynamic_cast<QVPluginSingleImageViewController*>(controller->singleScreen()->controller());
  ASSERT_NE(screen, nullptr) << "a plug-in run shows the plug-in screen";
  auto* row = screen->pluginExportViewController()->pluginBeginView();
  ASSERT_NE(row->actionButton(), nullptr);
  EXPECT_EQ(row->actionButton()->title(), "DONE");
  EXPECT_NE(row->sliderMenu(), nullptr);
  EXPECT_EQ(row->visibleControls().size(), 2u);

  // Once the photo is enhanced, a click on DONE in the window exports the host's photo.
  window->facade->observation(photo, compare_test::flatImage(30, 20, 90, 90, 90),
                              compare_test::flatImage(30, 20, 200, 200, 200));
  settle();
  QWidget* button = row->actionButton();
  QWidget* top = button->window();
  ASSERT_TRUE(top->isVisible());
  const QPoint centre = button->mapTo(top, button->rect().center());
  QWidget* hit = top->childAt(centre);
  EXPECT_TRUE(hit == button || button->isAncestorOf(hit)) << "nothing lies over the button";
  QTest::mouseClick(top->windowHandle(), Qt::LeftButton, {}, centre);
  // The button springs back, then sends its action on a later turn of the loop.
  settle(0.5);
  QCoreApplication::processEvents();
  ASSERT_EQ(hostFacade->pending.size(), 1u);
  EXPECT_EQ(hostFacade->pending[0].first, photo);
}

TEST_F(PluginModeFlows, OutsideAPluginRunTheSingleImageIsTheExportScreen) {
  openOne();
  EXPECT_EQ(dynamic_cast<QVPluginSingleImageViewController*>(controller->singleScreen()->controller()), nullptr);
}

// Several host photos: the gallery docks the plug-in panel (DONE alone: each photo's strength is
// set on its own screen), DONE asks for every host photo at full size, and the title bar's apply
// command does the same.
TEST_F(PluginModeFlows, ThreeHostPhotosShowTheGalleryWithDoneAndDoneExportsAllThree) {
  const Paths photos = paths({"a.jpg", "b.jpg", "c.jpg"});
  std::vector<std::string> arguments = {"Solvane"};
  for (const std::string& photo : photos) arguments.insert(arguments.end(), {"-QVSavePair", photo, photo});
  arguments.insert(arguments.end(), {"-QVLightroomPluginOwner", "-QVPluginMode"});
  for (bool byCommand : {false, true}) {
    SCOPED_TRACE(byCommand ? "the apply command" : "DONE");
    startPluginRunWithArguments(arguments);
    hostFacade->pending.clear();
    controller->showWindow();
    controller->addImagesAtPaths(photos);
    settle();
    ASSERT_EQ(controller->currentMode(), 2);
    auto* adapter = dynamic_cast<QVGalleryExportPanelAdapter*>(controller->galleryScreen()->controller()->exportViewController());
    ASSERT_NE(adapter, nullptr);
    auto* panel = dynamic_cast<QVPluginExportViewController*>(adapter->exportViewController());
    ASSERT_NE(panel, nullptr) << "a plug-in run's gallery docks the plug-in panel";
    auto* row = panel->pluginBeginView();
    ASSERT_NE(row->actionButton(), nullptr);
    EXPECT_EQ(row->actionButton()->title(), "DONE");
    EXPECT_EQ(row->visibleControls(), std::vector<QWidget*>{row->actionButton()});
    if (byCommand) {
      controller->applyPlugin(nullptr);
    } else {
      QWidget* button = row->actionButton();
      QWidget* top = button->window();
      ASSERT_TRUE(top->isVisible());
      const QPoint centre = button->mapTo(top, button->rect().center());
      QWidget* hit = top->childAt(centre);
      EXPECT_TRUE(hit == button || button->isAncestorOf(hit)) << "nothing lies over DONE";
      QTest::mouseClick(top->windowHandle(), Qt::LeftButton, {}, centre);
      settle(0.5);
      QCoreApplication::processEvents();
    }
    std::vector<std::string> asked;
    for (const auto& request : hostFacade->pending) asked.push_back(request.first);
    std::sort(asked.begin(), asked.end());
    EXPECT_EQ(asked, photos);
    EXPECT_EQ(panel->currentState(), QVExportViewStateInProgress);
    controller->cancelPlugin(nullptr);
    settle(1.5);
    EXPECT_EQ(panel->currentState(), QVExportViewStateBegin);
    // The cancel brings DONE back, even when it came before the start's fade had ended.
    EXPECT_EQ(panel->pluginBeginView(), row);
    EXPECT_TRUE(row->isVisible());
    EXPECT_TRUE(row->actionButton()->isVisible());
    controller->startOver();
    settle();
  }
}

}  // namespace
