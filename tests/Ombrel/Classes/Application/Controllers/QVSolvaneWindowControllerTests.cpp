#include "Ombrel/Classes/Application/Controllers/QVSolvaneWindowController.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QMimeData>
#include <QTemporaryDir>
#include <QUrl>

#include "ControllerTestSupport.h"
#include "QVAppKit/QVAnimationDriver.h"
#include "QVPlatform/MainExecutor.h"

using namespace openscreen_test;

namespace {
using QVSolvaneWindowControllerTest = controller_test::ControllerTest;
}  // namespace

TEST_F(QVSolvaneWindowControllerTest, StartsOnTheOpenScreenInsideTheDragView) {
  EXPECT_EQ(controller->currentMode(), 0);
  ASSERT_NE(controller->openViewController(), nullptr);
  EXPECT_EQ(controller->vcContainer()->parentWidget(), controller->dragView());
  EXPECT_EQ(controller->openViewController()->view()->parentWidget(), controller->vcContainer());
  EXPECT_EQ(controller->window()->frame().size, CGSizeMake(452, 440));
  EXPECT_FALSE(controller->window()->isTitleBarVisible());
}

TEST_F(QVSolvaneWindowControllerTest, ADropWaitsForThePhotoThenOpensThePaths) {
  services->holdBlurs = true;
  drag({"a.jpg", "b.jpg"});
  QVOpenView* open = controller->openViewController()->mainView();
  EXPECT_EQ(open->blurImageURL(), std::optional<std::string>(path("a.jpg")));
  controller->dragView()->performDragOperation();
  controller->dragView()->draggingEnded();
  settle(0.3);
  EXPECT_TRUE(controller->paths().empty());  // the photo is still on its way
  for (auto& answer : services->held) answer();
  settle();
  EXPECT_EQ(controller->paths(), (Paths{path("a.jpg"), path("b.jpg")}));
  EXPECT_EQ(controller->currentMode(), 2);
  EXPECT_EQ(controller->openViewController(), nullptr);
  ASSERT_NE(controller->galleryScreen(), nullptr);
  EXPECT_EQ(controller->galleryScreen()->rowCount(), 2u);
}

TEST_F(QVSolvaneWindowControllerTest, ARefusedFirstFileLetsTheOthersGoOn) {
  drag({"broken.jpg", "b.jpg"});
  controller->dragView()->performDragOperation();
  settle();
  EXPECT_EQ(controller->paths(), (Paths{path("broken.jpg"), path("b.jpg")}));
  // Nothing valid at all: the open screen springs back and nothing opens.
  controller->startOver();
  settle();
  ASSERT_NE(controller->openViewController(), nullptr);
  drag({"a.jpg"});
  sourceList->rejectAll = true;
  controller->dragView()->performDragOperation();
  settle();
  EXPECT_TRUE(controller->paths().empty());
  EXPECT_FALSE(controller->openViewController()->mainView()->blurImageURL().has_value());
}

TEST_F(QVSolvaneWindowControllerTest, AnExportSwitchesDropsOff) {
  qv::NotificationCenter::defaultCenter().post(kQVExportStateChangedNotificationName,
                                               std::make_shared<qv::Value>(int64_t(1)));
  drag({"a.jpg"});
  EXPECT_TRUE(controller->dragView()->URLs().empty());
  EXPECT_FALSE(controller->openViewController()->mainView()->blurImageURL().has_value());
  qv::NotificationCenter::defaultCenter().post(kQVExportStateChangedNotificationName,
                                               std::make_shared<qv::Value>(int64_t(0)));
  drag({"a.jpg"});
  EXPECT_EQ(controller->dragView()->URLs().size(), 1u);
}

TEST_F(QVSolvaneWindowControllerTest, OpenPhotosOnTheOpenScreenGoesThroughItsPanel) {
  controller->addFilesViaOpenPanel();
  ASSERT_EQ(services->panels, 1);
  services->panelHandler(Paths{path("a.jpg")});
  // The screen shows the choice blurred; the paths open 0.3 s later, once it is shown.
  EXPECT_TRUE(controller->paths().empty());
  settle();
  EXPECT_EQ(controller->paths(), (Paths{path("a.jpg")}));
  EXPECT_EQ(controller->currentMode(), 1);
}
