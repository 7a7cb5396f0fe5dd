// The main window in a plug-in run, offscreen: the real window controller and screens over a fake
// application core, with the plug-in controller's collaborators faked.
#include <gtest/gtest.h>

#include <QtTest/QTest>

#include "ControllerTestSupport.h"
#include "Ombrel/Classes/Application/Export/QVExportManagerFactory.h"
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
    window->plugin = true;
    modeManager.configureWithArguments({"Solvane", photo, "-QVImagePath", photo, "-QVSavePath", photo + ".tiff",
                                        "-QVLightroomPluginOwner", "-QVPluginMode"});
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

}  // namespace
