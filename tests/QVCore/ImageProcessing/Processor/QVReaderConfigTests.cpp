#include <gtest/gtest.h>

#include <fstream>

#include "QVCore/ImageProcessing/Layers/QVIPEffectsProvider.h"
#include "QVCore/ImageProcessing/Processor/QVRovaProcessorConfigManager.h"
#include "QVCore/ImageProcessing/RovaBridge/QVImageReader.h"
#include "QVPlatform/Bundle.h"
#include "common/TestSupport.h"

namespace {

class QVReaderConfigTest : public ::testing::Test {
 protected:
  void SetUp() override { setAll(true); }
  void TearDown() override { setAll(true); }
  static void setAll(bool on) {
    QVImageReader::useNewOpenMethod(on);
    QVImageReader::setApplyRawDevelop(on);
    QVImageReader::setFineDenoise(on);
    QVImageReader::setFastRawPreview(on);
    QVIPEffectsProvider::setReplaceEffectIDIntoRawID(false);
  }
  std::string writeConfig(const std::string& text) {
    auto dir = solvane::test::makeTempDir("config");
    auto path = (dir / "QVRovaConfig.json").string();
    std::ofstream(path) << text;
    return path;
  }
};

TEST_F(QVReaderConfigTest, FlagWords) {
  EXPECT_EQ(QVImageReader::defaultReadFlags(), 0x67Eu);  // 1662
  EXPECT_EQ(QVImageReader::readFlags(false, false), 0x23Eu);
  setAll(false);
  EXPECT_EQ(QVImageReader::defaultReadFlags(), 0x1Eu);  // 30
  EXPECT_EQ(QVImageReader::readFlags(true, false), 94u);
  QVImageReader::useNewOpenMethod(true);
  EXPECT_EQ(QVImageReader::readFlags(false, false), 62u);
  EXPECT_EQ(QVImageReader::readFlags(true, false), 126u);
  EXPECT_EQ(QVImageReader::readFlags(true, true), 126u | 0x400u);
}

TEST_F(QVReaderConfigTest, ConfigurationSetsOnlyTheSwitchesItNames) {
  QVRovaProcessorConfigManager::loadFromFile(writeConfig(R"({"RovaFlags": {"ImageReaderFineDenoise": false,
      "ReplaceEffectIDIntoRawID": true, "SomethingElse": false}})"));
  EXPECT_EQ(QVImageReader::defaultReadFlags(), 0x67Eu & ~0x200u);
  EXPECT_TRUE(QVIPEffectsProvider::replaceEffectIDIntoRawID());

  QVRovaProcessorConfigManager::loadFromFile(writeConfig(R"({"RovaFlags": {"ImageReaderAppliesRAWDevelop": 0,
      "ImageReaderFastRawPreview": false, "ImageReaderNewOpenMethod": false}})"));
  EXPECT_EQ(QVImageReader::defaultReadFlags(), 0x1Eu);
  EXPECT_FALSE(QVImageReader::isApplyRawDevelop());
  EXPECT_FALSE(QVImageReader::isFastRawPreview());
}

TEST_F(QVReaderConfigTest, UnusableConfigurationsChangeNothing) {
  qv::Error error;
  QVRovaProcessorConfigManager::loadFromFile(writeConfig("{\"RovaFlags\": {\"ImageReaderFineDenoise\": fal"), &error);
  EXPECT_FALSE(error.domain.empty());
  QVRovaProcessorConfigManager::loadFromFile(writeConfig(R"({"Flags": {"ImageReaderFineDenoise": false}})"));
  QVRovaProcessorConfigManager::loadFromFile(writeConfig(R"({"RovaFlags": [false]})"));
  QVRovaProcessorConfigManager::loadFromFile("/nonexistent/QVRovaConfig.json");
  EXPECT_EQ(QVImageReader::defaultReadFlags(), 0x67Eu);
}

TEST_F(QVReaderConfigTest, ShippedConfigurationLoads) {
  auto path = qv::Bundle::mainBundle().pathForResource(kQVRovaConfigResourceName, kQVRovaConfigResourceType);
  if (path.empty()) GTEST_SKIP() << "no QVRovaConfig resource yet";
  qv::Error error;
  QVRovaProcessorConfigManager::loadFromFile(path, &error);
  EXPECT_TRUE(error.domain.empty()) << error.description;
}

}  // namespace
