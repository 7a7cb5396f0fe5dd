#include "Ombrel/Classes/Business/QVAppSettings.h"

#include <filesystem>
#include <regex>
#include <thread>

#include <gtest/gtest.h>

#include "Ombrel/Classes/Business/QVImageSettingsManager.h"
#include "Ombrel/Classes/Helpers/QVSPluginModeManager.h"
#include "QVPlatform/UserDefaults.h"

namespace {

// Each test starts from empty standard user defaults.
class QVAppSettingsTest : public ::testing::Test {
 protected:
  void SetUp() override { clearDefaults(); }
  void TearDown() override { clearDefaults(); }
  static void clearDefaults() {
    auto& defaults = qv::UserDefaults::standardUserDefaults();
    for (const auto& [key, value] : defaults.dictionaryRepresentation()) defaults.removeObjectForKey(key);
  }
  static qv::UserDefaults& defaults() { return qv::UserDefaults::standardUserDefaults(); }
};

}  // namespace

TEST_F(QVAppSettingsTest, DefaultsAreWrittenOnceAndKeptAcrossRuns) {
  struct Case {
    const char* name;
    std::optional<bool> storedLens, storedTemperature;
    bool lens, temperature;
  } cases[] = {
      {"first run", std::nullopt, std::nullopt, true, false},
      {"lens correction switched off earlier", false, std::nullopt, false, false},
      {"colour temperature switched on earlier", std::nullopt, true, true, true},
      {"both stored", false, true, false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    clearDefaults();
    if (c.storedLens) defaults().setBool(*c.storedLens, kQVLensCorrectionKey);
    if (c.storedTemperature) defaults().setBool(*c.storedTemperature, kQVAutoColorTemperatureKey);
    qv::UserDefaults::resetStandardUserDefaults();  // a new run reads the file
    QVAppSettings settings;
    settings.saveDefaultLensCorrectionEnabledIfNeeded(true);
    settings.saveDefaultColorTemperatureEnabledIfNeeded(false);
    EXPECT_EQ(settings.autoLensCorrectionEnabled(), c.lens);
    EXPECT_EQ(settings.autoColorTemperatureEnabled(), c.temperature);
    // Explicit values are left behind, and the next run reads them.
    qv::UserDefaults::resetStandardUserDefaults();
    EXPECT_EQ(defaults().objectForKey(kQVLensCorrectionKey), qv::Value(c.lens));
    EXPECT_EQ(defaults().objectForKey(kQVAutoColorTemperatureKey), qv::Value(c.temperature));
    QVAppSettings next;
    EXPECT_EQ(next.autoLensCorrectionEnabled(), c.lens);
    EXPECT_EQ(next.autoColorTemperatureEnabled(), c.temperature);
  }
}

TEST_F(QVAppSettingsTest, SwitchesWriteOnlyChangesAndIdentityValues) {
  QVAppSettings settings;
  settings.setAutoLensCorrectionEnabled(false);  // already NO (absent key): nothing written
  EXPECT_TRUE(defaults().objectForKey(kQVLensCorrectionKey).isNull());
  settings.setAutoLensCorrectionEnabled(true);
  EXPECT_EQ(defaults().objectForKey(kQVLensCorrectionKey), qv::Value(true));
  settings.setAutoColorTemperatureEnabled(true);
  EXPECT_EQ(defaults().objectForKey(kQVAutoColorTemperatureKey), qv::Value(true));

  EXPECT_TRUE(settings.exportCompressionQualityForImageType("public.jpeg").isNull());
  settings.saveExportImageCompressionQuality(0.8, "public.jpeg");
  EXPECT_EQ(settings.exportCompressionQualityForImageType("public.jpeg"), qv::Value(0.8));
  EXPECT_FALSE(settings.saveDefaultBoolIfAbsent(false, "public.jpeg"));

  const std::regex sessionForm("[0-9a-f]{32}");
  EXPECT_TRUE(std::regex_match(settings.sessionID(), sessionForm)) << settings.sessionID();
  EXPECT_NE(QVAppSettings().sessionID(), settings.sessionID());
  EXPECT_EQ(settings.platform(), 5u);
  EXPECT_EQ(settings.name(), "Solvane");

  EXPECT_EQ(settings.appLocationType(), 0u);
  QVSPluginModeManager::shared().configureWithArguments({"Solvane", "-QVLightroomPluginOwner", "-QVPluginMode"});
  EXPECT_EQ(settings.appLocationType(), 1u);
  QVAppSettings::setPhotosExtension(true);
  EXPECT_EQ(settings.appLocationType(), 2u);
  QVAppSettings::setPhotosExtension(false);
  QVSPluginModeManager::shared().setPluginMode(false);
}

TEST(QVImageSettingsManager, AmountsPerPathIgnoringCaseAndCleaning) {
  QVImageSettingsManager manager;
  EXPECT_DOUBLE_EQ(manager.amountAtImagePath("/Photos/A.jpg"), 1.0);
  manager.updateAmount(0.4, "/Photos/A.jpg");
  EXPECT_DOUBLE_EQ(manager.amountAtImagePath("/photos/a.JPG"), 0.4);
  manager.setImageLoadsCount(3);
  manager.setObject(nullptr, std::nullopt);  // no key: nothing
  EXPECT_EQ(manager.objectForKeyedSubscript(std::nullopt), nullptr);
  manager.clean();
  EXPECT_EQ(manager.count(), 0u);
  EXPECT_DOUBLE_EQ(manager.amountAtImagePath("/Photos/A.jpg"), 1.0);
  EXPECT_EQ(manager.imageLoadsCount(), 3u);

  QVAppSettings::setPhotosExtension(true);
  manager.updateAmount(0.2, "/x.jpg");
  EXPECT_DOUBLE_EQ(manager.amountAtImagePath("/x.jpg"), 1.0);
  QVAppSettings::setPhotosExtension(false);
}

// Each photo is exported or not on its own; a different strength (never the same one written
// again, as the blending queue does) or a change every photo follows makes its export out of date.
TEST(QVImageSettingsManager, ExportMarksPerPhotoLastUntilTheStrengthChanges) {
  QVImageSettingsManager manager;
  EXPECT_FALSE(manager.isExportedAtImagePath("/a.jpg")) << "never exported";
  manager.setExportedAtImagePaths({"/a.jpg", "/b.jpg"}, true);
  EXPECT_TRUE(manager.isExportedAtImagePath("/A.JPG"));
  EXPECT_TRUE(manager.isExportedAtImagePath("/b.jpg"));
  EXPECT_FALSE(manager.isExportedAtImagePath("/c.jpg"));
  manager.updateAmount(1.0, "/a.jpg");
  EXPECT_TRUE(manager.isExportedAtImagePath("/a.jpg")) << "the same strength again";
  manager.updateAmount(0.6, "/a.jpg");
  EXPECT_FALSE(manager.isExportedAtImagePath("/a.jpg"));
  EXPECT_TRUE(manager.isExportedAtImagePath("/b.jpg")) << "the other photo keeps its mark";
  manager.setExportedAtImagePaths({"/a.jpg"}, true);
  manager.forgetExports();
  EXPECT_FALSE(manager.isExportedAtImagePath("/a.jpg"));
  EXPECT_FALSE(manager.isExportedAtImagePath("/b.jpg"));
}

TEST(QVImageSettingsManager, MainThreadAndBlendingQueueMayUseItTogether) {
  QVImageSettingsManager manager;
  auto writer = [&manager](int offset) {
    for (int i = 0; i < 2000; ++i) manager.updateAmount(0.5, "/p" + std::to_string((i + offset) % 50));
  };
  std::thread a(writer, 0), b(writer, 25);
  for (int i = 0; i < 200; ++i) manager.clean();
  a.join();
  b.join();
  for (int i = 0; i < 50; ++i) {
    const double amount = manager.amountAtImagePath("/p" + std::to_string(i));
    EXPECT_TRUE(amount == 0.5 || amount == 1.0) << amount;
  }
}
