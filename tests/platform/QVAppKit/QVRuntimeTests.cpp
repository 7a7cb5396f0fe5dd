// The animation driver, the executor bridge, fonts and the overlay canvas.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFontInfo>
#include <QFontMetricsF>
#include <memory>
#include <thread>

#include "AppKitTestSupport.h"
#include "QVAppKit/QVAnimationDriver.h"
#include "QVAppKit/QVFonts.h"
#include "QVAppKit/QVMainExecutorBridge.h"
#include "QVAppKit/QVOverlayCanvas.h"
#include "QVAppKit/QVView.h"
#include "QVPlatform/MainExecutor.h"

namespace {

TEST(QVAnimationDriver, StepsOnTheManualClockAndEndsExactlyAtOne) {
  auto& driver = QVAnimationDriver::shared();
  ASSERT_TRUE(driver.usesManualClock());
  std::vector<double> seen;
  bool finished = false;
  driver.animate(
      0.1, QVTimingFunction::Linear, [&](double p) { seen.push_back(p); }, [&](bool f) { finished = f; });
  driver.advance(0.05);
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.front(), 0);
  EXPECT_FALSE(finished);
  driver.advance(0.1);
  EXPECT_EQ(seen.back(), 1);
  EXPECT_TRUE(finished);
  for (size_t i = 1; i < seen.size(); ++i) EXPECT_GE(seen[i], seen[i - 1]);

  bool cancelled = true;
  auto id = driver.animate(
      1, QVTimingFunction::EaseInEaseOut, [](double) {}, [&](bool f) { cancelled = !f; });
  EXPECT_TRUE(driver.cancel(id));
  EXPECT_TRUE(cancelled);
  EXPECT_FALSE(driver.cancel(id));
}

TEST(QVAnimationDriver, AdvancesThatAddUpToTheDurationEndTheAnimationWhereverTheClockStands) {
  // At some clock readings 0.15 + 0.05 + 0.1 seconds add up to a hair less than 0.3.
  auto& driver = QVAnimationDriver::shared();
  ASSERT_TRUE(driver.usesManualClock());
  const double frame = driver.frameInterval();
  for (double at : {0.0, 1234.5678, 31337.0}) {
    SCOPED_TRACE(at);
    driver.setFrameInterval(1e6);  // one tick to get there
    driver.advance(at);
    driver.setFrameInterval(frame);
    double last = -1;
    int finished = 0;
    driver.animate(
        0.3, QVTimingFunction::EaseInEaseOut, [&](double p) { last = p; }, [&](bool f) { finished += f; });
    driver.advance(0.15);
    driver.advance(0.05);
    EXPECT_EQ(finished, 0);
    driver.advance(0.1);
    EXPECT_EQ(finished, 1);
    EXPECT_EQ(last, 1);
  }
}

TEST(QVAnimationDriver, NoAnimationBlockTurnsImplicitAnimationsOffInsideOnly) {
  EXPECT_TRUE(QVImplicitAnimationsEnabled());
  QVRunNoAnimationBlock([] {
    EXPECT_FALSE(QVImplicitAnimationsEnabled());
    QVRunNoAnimationBlock([] { EXPECT_FALSE(QVImplicitAnimationsEnabled()); });
    EXPECT_FALSE(QVImplicitAnimationsEnabled());
  });
  EXPECT_TRUE(QVImplicitAnimationsEnabled());
  EXPECT_EQ(QVApplyTimingFunction(QVTimingFunction::EaseInEaseOut, 0.5), 0.5);
}

TEST(QVMainExecutorBridge, WorkFromAnyThreadRunsInQtsLoop) {
  auto& executor = qv::MainExecutor::shared();
  QVMainExecutorBridge::install();
  int ran = 0;
  std::thread worker([&] { executor.async([&] { ++ran; }); });
  worker.join();
  EXPECT_EQ(ran, 0) << "never inline";
  for (int i = 0; i < 5 && ran == 0; ++i) QApplication::processEvents();
  EXPECT_EQ(ran, 1);
  executor.async([&] { ++ran; });
  QApplication::processEvents();
  EXPECT_EQ(ran, 2);
  QVMainExecutorBridge::uninstall();
  EXPECT_FALSE(QVMainExecutorBridge::isInstalled());
}

TEST(QVFonts, InterStandsInForTheSystemFacesAndNeverANullFont) {
  QVFonts::loadOnce();
  const QFont semibold = QVFonts::fontWithName("SFProDisplay-Semibold", 17);
  EXPECT_EQ(semibold.family(), QVFonts::systemFamily());
  EXPECT_EQ(semibold.weight(), QFont::DemiBold);
  EXPECT_EQ(QVFonts::fontSize(semibold), 17);
  EXPECT_EQ(QFontInfo(semibold).pixelSize(), 17) << "a point of the screens is a logical pixel";
  EXPECT_EQ(QFontMetricsF(semibold).height(), QFontMetricsF(QVFonts::systemFontOfSize(17)).height());
  QFont half = QVFonts::systemFontOfSize(12.5);
  EXPECT_NEAR(QVFonts::fontSize(half), 12.5, 1e-9);
  const QFont unknown = QVFonts::fontWithName("NoSuchFamily-Bold", 0);
  EXPECT_FALSE(unknown.family().isEmpty());
  EXPECT_GT(QVFonts::fontSize(unknown), 0);
  EXPECT_EQ(QVFonts::fontWithName(QVFonts::fontName(semibold), 17).weight(), QFont::DemiBold);
  if (QVFonts::loadOnce()) EXPECT_EQ(QFontInfo(QVFonts::systemFontOfSize(13)).family(), "Inter");
}

TEST(QVOverlayCanvas, DrawsSnapshotsAboveTheContentAndLetsClicksThrough) {
  std::unique_ptr<QVView> window(QVMake<QVView>(CGRectMake(0, 0, 100, 100)));
  window->setBackgroundColor(Qt::white);
  window->show();
  auto* card = QVMake<QVView>(CGRectMake(0, 0, 20, 20));
  card->setBackgroundColor(Qt::red);
  window->addSubview(card);
  const QPixmap snapshot = card->snapshot();
  EXPECT_EQ(snapshot.size(), QSize(20, 20));

  auto* overlay = QVOverlayCanvas::overlayForWindow(window.get());
  EXPECT_EQ(QVOverlayCanvas::overlayForWindow(window.get()), overlay);
  const auto id = overlay->addItem({snapshot, CGRectMake(60, 60, 20, 20), 1, 1, 0, QColor()});
  QImage image = appkit_test::render(window.get());
  EXPECT_EQ(appkit_test::pixelAt(image, 70, 30), QColor(Qt::red)) << "top right in Qt space";
  EXPECT_EQ(window->childAt(70, 30), nullptr) << "the overlay takes no clicks";
  overlay->removeItem(id);
  EXPECT_FALSE(overlay->isVisible());
  image = appkit_test::render(window.get());
  EXPECT_EQ(appkit_test::pixelAt(image, 70, 30), QColor(Qt::white));
}

}  // namespace
