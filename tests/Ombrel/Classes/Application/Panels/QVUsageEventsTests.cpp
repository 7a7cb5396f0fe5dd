#include <gtest/gtest.h>

#include <QImage>
#include <algorithm>

#include "Ombrel/Classes/Application/ApplicationTestSupport.h"
#include "Ombrel/Classes/Application/Panels/QVUsageEvents.h"
#include "Ombrel/Classes/Business/QVApp.h"
#include "Ombrel/Classes/Business/QVImageSettingsManager.h"
#include "QVPlatform/Bundle.h"
#include "common/TestSupport.h"

namespace {

std::string writeImage(const std::filesystem::path& dir, const std::string& name, int w, int h) {
  QImage image(w, h, QImage::Format_RGB32);
  image.fill(Qt::darkGreen);
  const std::string path = (dir / name).string();
  EXPECT_TRUE(image.save(QString::fromStdString(path)));
  return path;
}

TEST(QVUsageEvents, ThreeJpegsOfOneSizeAndAPngGiveTwoLoadDictionaries) {
  const auto dir = solvane::test::makeTempDir("usage");
  const std::vector<std::string> paths = {writeImage(dir, "a.jpg", 64, 48), writeImage(dir, "b.JPG", 64, 48),
                                          writeImage(dir, "c.jpg", 64, 48), writeImage(dir, "d.png", 30, 20)};
  auto dics = QVUsageEvents::imageLoadInfoDicsFromPaths(paths, 7);
  ASSERT_EQ(dics.size(), 2u);
  std::sort(dics.begin(), dics.end(), [](const auto& a, const auto& b) {
    return a.at("QVImageCountKey").asInt() > b.at("QVImageCountKey").asInt();
  });
  EXPECT_EQ(dics[0].at("QVImageSizeKey").asString(), "64,48");
  EXPECT_EQ(dics[0].at("QVImageExtensionKey").asString(), "jpg");
  EXPECT_EQ(dics[0].at("QVImageCountKey").asInt(), 3);
  EXPECT_EQ(dics[1].at("QVImageSizeKey").asString(), "30,20");
  EXPECT_EQ(dics[1].at("QVImageExtensionKey").asString(), "png");
  EXPECT_EQ(dics[1].at("QVImageCountKey").asInt(), 1);
  EXPECT_EQ(dics[0].at("QVCountKey").asInt(), 7);
  EXPECT_EQ(dics[1].at("QVCountKey").asInt(), 7);
}

TEST(QVUsageEvents, SampleImagesAreNeverCounted) {
  const std::string samples = qv::Bundle::mainBundle().resourcePath() + "/Samples/beach.jpg";
  EXPECT_EQ(QVUsageEvents::filterTrackablePaths({"/home/u/a.jpg", samples}),
            (std::vector<std::string>{"/home/u/a.jpg"}));
  EXPECT_TRUE(QVUsageEvents::imageLoadInfoDicsFromPaths({samples}, 1).empty());
  EXPECT_TRUE(QVUsageEvents::imageExportInfoDicsFromPaths({samples}, 1, 0).empty());
}

TEST(QVUsageEvents, ExportDictionariesCarryStrengthTypeAndCount) {
  const auto dir = solvane::test::makeTempDir("usage-export");
  const auto path = writeImage(dir, "e.png", 40, 30);
  const auto dics = QVUsageEvents::imageExportInfoDicsFromPaths({path}, 3, 2);
  ASSERT_EQ(dics.size(), 1u);
  EXPECT_EQ(dics[0].at("QVImageSizeKey").asString(), "40,30");
  EXPECT_EQ(dics[0].at("QVImageExportTypeKey").asInt(), 2);
  EXPECT_EQ(dics[0].at("QVCountKey").asInt(), 3);
  EXPECT_DOUBLE_EQ(dics[0].at("QVImageSliderValueKey").asDouble(), QVApp::boostAmountForImagePath(path));
}

TEST(QVUsageEvents, TrackingAdvancesTheRunningCounters) {
  auto settings = QVApp::imageSettingsManager();
  const uint64_t loads = settings->imageLoadsCount(), exports = settings->imageExportsCount();
  QVUsageEvents::trackEventImageLoadWithPaths({"/nowhere/a.jpg"});
  QVUsageEvents::trackEventImageLoadWithPaths({"/nowhere/b.jpg"});
  QVUsageEvents::trackEventImageExportWithPaths({"/nowhere/a.jpg"}, 0);
  EXPECT_EQ(settings->imageLoadsCount(), loads + 2);
  EXPECT_EQ(settings->imageExportsCount(), exports + 1);
}

}  // namespace
