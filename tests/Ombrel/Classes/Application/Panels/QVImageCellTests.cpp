#include <gtest/gtest.h>

#include <QImage>
#include <chrono>
#include <thread>

#include "Ombrel/Classes/Application/ApplicationTestSupport.h"
#include "Ombrel/Classes/Application/Panels/QVImageCell.h"
#include "Ombrel/Classes/Business/QVApp.h"
#include "QVAppKit/QVImageView.h"
#include "QVPlatform/MainExecutor.h"
#include "common/TestSupport.h"

namespace {

TEST(QVImageCell, AHundredPointAspectFitCellShowsTheThumbnailOnTheMainThread) {
  const auto dir = solvane::test::makeTempDir("cell");
  const std::string path = (dir / "cell.png").string();
  QImage picture(900, 600, QImage::Format_RGB32);
  picture.fill(QColor(200, 120, 40));
  ASSERT_TRUE(picture.save(QString::fromStdString(path)));

  QVImageView* cell = QVImageCell::createImageCell(path);
  EXPECT_EQ(cell->frame().size.width, 100);
  EXPECT_EQ(cell->frame().size.height, 100);
  EXPECT_EQ(cell->contentMode(), 1);
  // The thumbnail comes from the facade's queues and is set on a later main-thread pass.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!cell->image() && std::chrono::steady_clock::now() < deadline) {
    qv::MainExecutor::shared().runUntilIdle();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_NE(cell->image(), nullptr);
  delete cell;
  EXPECT_TRUE(QVApp::cancelImageOperationsAndWaitUntilDone(10));
}

TEST(QVImageCell, ACellGoneBeforeItsThumbnailIsLeftAlone) {
  QVImageView* cell = QVImageCell::createImageCell("/nowhere/missing.jpg");
  delete cell;
  for (int i = 0; i < 50; ++i) {
    qv::MainExecutor::shared().runUntilIdle();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  EXPECT_TRUE(QVApp::cancelImageOperationsAndWaitUntilDone(10));
}

}  // namespace
