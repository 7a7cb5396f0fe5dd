#include "Ombrel/Classes/Application/Controllers/QVSolvaneWindowController.h"
#include "Ombrel/Classes/Application/Gallery/QVGalleryModel.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QMimeData>
#include <QTemporaryDir>
#include <QUrl>

#include "Ombrel/Classes/Application/Gallery/GalleryTestSupport.h"
#include "Ombrel/Classes/Application/OpenScreen/OpenScreenTestSupport.h"
#include "Ombrel/Classes/Application/Services/QVAppLink.h"
#include "QVAppKit/QVAnimationDriver.h"
#include "QVPlatform/MainExecutor.h"

using namespace openscreen_test;

namespace {

class QVSolvaneWindowControllerTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    QImage image(8, 8, QImage::Format_RGB32);
    image.fill(Qt::blue);
    for (const char* name : {"a.jpg", "b.jpg", "broken.jpg"}) ASSERT_TRUE(image.save(dir.filePath(name), "JPEG"));
    QVOpenScreenServices::setShared(services);
    QVExportImageSourceList::setShared(sourceList);
    QVGalleryServices::setShared(gallery);
    controller = QVSolvaneWindowController::make();
  }
  void TearDown() override {
    controller.reset();
    // Previews of open photos are processed by the facade in the background: they end before the
    // next test (and before the process's statics go).
    QVAppLink::cancelImageOperationsAndWaitUntilDone(10);
    QVAnimationDriver::shared().cancelAll();
    qv::MainExecutor::shared().discardPending();
    QVOpenScreenServices::setShared(nullptr);
    QVExportImageSourceList::setShared(nullptr);
    QVGalleryServices::setShared(nullptr);
  }
  std::string path(const char* name) const { return dir.filePath(name).toStdString(); }
  void drag(const std::vector<const char*>& names) {
    QList<QUrl> urls;
    for (const char* name : names) urls.push_back(QUrl::fromLocalFile(dir.filePath(name)));
    mime.setUrls(urls);
    controller->dragView()->draggingEntered(&mime);
  }

  QTemporaryDir dir;
  QMimeData mime;
  std::shared_ptr<FakeServices> services = std::make_shared<FakeServices>();
  std::shared_ptr<FakeSourceList> sourceList = std::make_shared<FakeSourceList>();
  std::shared_ptr<gallery_test::FakeServices> gallery = std::make_shared<gallery_test::FakeServices>();
  std::shared_ptr<QVSolvaneWindowController> controller;
};

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
  ASSERT_NE(controller->galleryViewController(), nullptr);
  EXPECT_EQ(controller->galleryViewController()->model()->paths(), controller->paths());
}

TEST_F(QVSolvaneWindowControllerTest, ARefusedFirstFileLetsTheOthersGoOn) {
  drag({"broken.jpg", "b.jpg"});
  controller->dragView()->performDragOperation();
  settle();
  EXPECT_EQ(controller->paths(), (Paths{path("broken.jpg"), path("b.jpg")}));
  // Nothing valid at all: the open screen springs back and nothing opens.
  controller->addImagesAtPaths({});
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

TEST_F(QVSolvaneWindowControllerTest, TheGalleryDeletesFromTheOpenListAndLeavesForOnePhoto) {
  controller->addImagesAtPaths({path("a.jpg"), path("b.jpg"), path("broken.jpg"), "/photos/d.jpg"});
  ASSERT_NE(controller->galleryViewController(), nullptr);
  controller->galleryViewController()->removeItemsAtIndexPaths({3});
  settle();
  EXPECT_EQ(controller->paths(), (Paths{path("a.jpg"), path("b.jpg"), path("broken.jpg")}));
  ASSERT_NE(controller->galleryViewController(), nullptr);
  EXPECT_EQ(controller->galleryViewController()->model()->rowCount(), 3);
  // All but one: the single-image screen, and the source list loses the others afterwards.
  controller->galleryViewController()->removeItemsAtIndexPaths({0, 2});
  EXPECT_EQ(gallery->deleted.size(), 1u);
  settle();
  EXPECT_EQ(controller->currentMode(), 1);
  EXPECT_EQ(controller->galleryViewController(), nullptr);
  EXPECT_EQ(controller->paths(), (Paths{path("b.jpg")}));
  ASSERT_EQ(gallery->deleted.size(), 2u);
  EXPECT_EQ(gallery->deleted[1], (Paths{path("a.jpg"), path("broken.jpg")}));
}
