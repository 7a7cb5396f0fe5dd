#include "SifaneExtension/PhotoEditing/QVPhotoEditingAppFacade.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "Ombrel/Classes/Business/QVApp.h"
#include "Ombrel/Classes/Business/QVAppSettings.h"
#include "Ombrel/Classes/Business/QVImageSettingsManager.h"
#include "tests/SifaneExtension/ExtensionTestSupport.h"

namespace {

// The facade's answer, waiting for the blending queue while the main executor runs.
NSImageRef boosted(QVPhotoEditingFacade& facade, double amount, const NSImageRef& source, const NSImageRef& result) {
  auto answer = std::make_shared<std::atomic<bool>>(false);
  auto image = std::make_shared<NSImageRef>();
  facade.applyBoostAmount(amount, source, result, "/s/photo.jpg", [answer, image](NSImageRef i) {
    *image = std::move(i);
    *answer = true;
  });
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!*answer && std::chrono::steady_clock::now() < deadline) {
    extension_test::pumpMain(0.1);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return *image;
}

}  // namespace

TEST(QVPhotoEditingAppFacade, TheStrengthPicksTheSourceTheResultOrAnEightBitBlend) {
  QVAppSettings::setPhotosExtension(true);
  auto facade = QVMakePhotoEditingAppFacade();
  const NSImageRef source = extension_test::flatImage(8, 6, 40, 80, 120);
  const NSImageRef result = extension_test::flatImage(8, 6, 240, 180, 20);
  EXPECT_EQ(boosted(*facade, 0.0, source, result), source) << "0: the source's own pixels";
  EXPECT_EQ(boosted(*facade, 1.0, source, result), result) << "1: the result";
  const NSImageRef half = boosted(*facade, 0.5, source, result);
  ASSERT_TRUE(half);
  EXPECT_EQ(half->CGImage()->bitsPerComponent, 8u);
  const std::vector<int> expected = {140, 130, 70};
  const auto got = extension_test::pixel(half, 3, 2);
  for (size_t k = 0; k < 3; ++k) EXPECT_NEAR(got[k], expected[k], 1) << "channel " << k;
  // The extension keeps no strength per photo: the blend left none behind.
  EXPECT_EQ(QVApp::boostAmountForImagePath("/s/photo.jpg"), 1.0);
  QVAppSettings::setPhotosExtension(false);
}

TEST(QVPhotoEditingAppFacade, CancellingEmptiesTheSourceListAndThePerImageSettings) {
  auto facade = QVMakePhotoEditingAppFacade();
  QVAppSettings::setPhotosExtension(false);
  QVApp::imageSettingsManager()->updateAmount(0.3, "/s/kept.jpg");
  QVApp::sourceManager()->setImagesPaths({"/s/kept.jpg"}, false);
  ASSERT_EQ(QVApp::boostAmountForImagePath("/s/kept.jpg"), 0.3);
  QVAppSettings::setPhotosExtension(true);
  facade->cancelProcessingAndClean();
  extension_test::pumpMain();
  EXPECT_EQ(QVApp::boostAmountForImagePath("/s/kept.jpg"), 1.0);
  EXPECT_TRUE(QVApp::sourceManager()->imagesPaths().empty());
  QVAppSettings::setPhotosExtension(false);
}
