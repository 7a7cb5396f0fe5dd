#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "QVCore/Model/Entities/PresetTestSupport.h"
#include "QVCore/Services/QVPresetService.h"
#include "QVPlatform/MainExecutor.h"
#include "QVPlatform/NotificationCenter.h"

using namespace presettest;

namespace {

struct RecordingInterface : QVPresetServiceInterface {
  void runAlert(const std::string& message, const std::string& informative, const std::string& button) override {
    alerts.push_back(message + "|" + informative + "|" + button);
  }
  void openFolder(const std::string& path) override { opened.push_back(path); }
  void selectFile(const std::string& path) override { selected.push_back(path); }
  std::vector<std::string> alerts, opened, selected;
};

class PresetService : public PresetTest {
 protected:
  void SetUp() override {
    PresetTest::SetUp();
    ui = std::make_shared<RecordingInterface>();
    QVPresetService::setInterface(ui);
  }
  void TearDown() override {
    QVPresetService::setInterface(nullptr);
    PresetTest::TearDown();
  }
  std::shared_ptr<RecordingInterface> ui;
};

std::shared_ptr<QVPreset> presetNamed(const std::string& identifier, int priority) {
  auto p = QVPreset::initWithDic(presetDic(identifier));
  p->setPriority(uint8_t(priority));
  return p;
}

}  // namespace

TEST_F(PresetService, SortsByPriorityThenIdentifier) {
  auto sorted = QVPresetService::sortPresets(
      {presetNamed("b.vlp", 1), presetNamed("z.vlp", 0), presetNamed("B.vlp", 1), presetNamed("a.vlp", 1)});
  std::vector<std::string> ids;
  for (const auto& p : sorted) ids.push_back(p->identifier());
  EXPECT_EQ(ids, (std::vector<std::string>{"z.vlp", "B.vlp", "a.vlp", "b.vlp"}));
}

TEST_F(PresetService, CreateSaveDeleteAndTheirNotifications) {
  std::vector<std::string> seen;
  auto& center = qv::NotificationCenter::defaultCenter();
  auto onAdd = center.addObserver(kQVAddPresetNotification, nullptr, [&](const qv::Notification& n) {
    seen.push_back("add " + n.objectAs<QVPreset>()->identifier());
  });
  auto onRemove = center.addObserver(kQVRemovePresetNotification, nullptr, [&](const qv::Notification& n) {
    seen.push_back("remove " + n.objectAs<QVPreset>()->identifier());
  });

  for (const qv::Value& layers : {qv::Value(qv::Array{}), qv::Value("layers"), qv::Value()}) {
    qv::Value dic = qv::Dictionary{{kQVPresetIdentifierKey, "Empty.vlp"}};
    if (!layers.isNull()) dic.set(kQVPresetAdjustmentLayersKey, layers);
    EXPECT_EQ(QVPresetService::createPresetWithDic(dic), "") << layers.description();
  }
  EXPECT_FALSE(fs::exists(userFolder() / "Empty.vlp"));

  const std::string uuid = QVPresetService::createPresetWithDic(presetDic("Warm.vlp"));
  ASSERT_FALSE(uuid.empty());
  EXPECT_TRUE(fs::is_regular_file(userFolder() / "Warm.vlp"));
  EXPECT_EQ(QVPresetService::createPresetWithDic(presetDic("WARM.vlp")), "") << "an equal preset exists";
  EXPECT_TRUE(QVPresetService::isPresetNameAlreadyTaken("warm"));
  EXPECT_TRUE(QVPresetService::isPresetNameAlreadyTaken(""));
  EXPECT_FALSE(QVPresetService::isPresetNameAlreadyTaken("Cool"));

  auto preset = QVPresetService::extractPresetWithUUID(uuid);
  ASSERT_TRUE(preset);
  EXPECT_EQ(QVPresetService::extractPresetWithId("Warm.vlp")->uuid(), uuid);
  EXPECT_EQ(QVPresetService::extractPresetWithId("Warm.vlp", "Custom")->uuid(), uuid);
  EXPECT_FALSE(QVPresetService::extractPresetWithUUID(""));

  QVPresetService::updatePreset(preset, "Sunny");
  EXPECT_TRUE(fs::exists(userFolder() / "Sunny.vlp"));
  QVPresetService::deletePreset(preset);
  QVPresetService::deletePreset(preset);  // already gone: logged, no notification
  EXPECT_EQ(seen, (std::vector<std::string>{"add Warm.vlp", "remove Sunny.vlp"}));
  EXPECT_TRUE(QVPresetService::allPresets().empty());

  // Writing into a folder: the UUID only when the file was written.
  auto folder = solvane::test::makeTempDir("create-at");
  EXPECT_FALSE(QVPresetService::createPresetWithDic(presetDic("In.vlp"), folder.string()).empty());
  EXPECT_TRUE(fs::is_regular_file(folder / "In.vlp"));
  std::ofstream(folder / "file") << "x";
  EXPECT_EQ(QVPresetService::createPresetWithDic(presetDic("In.vlp"), (folder / "file").string()), "");
}

TEST_F(PresetService, ImportNumbersTakenNames) {
  fs::create_directories(userFolder());
  std::ofstream(userFolder() / "Warm.vlp") << "x";
  std::ofstream(userFolder() / "Warm 2.vlp") << "x";
  auto source = solvane::test::makeTempDir("import") / "Warm.vlp";
  writePlist(source, presetDic("", "IMPORTED"));
  EXPECT_EQ(QVPresetService::importPresetWithPath(source.string()), (userFolder() / "Warm 3.vlp").string());
  EXPECT_EQ(readPlist(userFolder() / "Warm 3.vlp")[kQVPresetUUIDKey].asString(), "IMPORTED");
  EXPECT_EQ(QVPresetService::importPresetWithPath(""), "");
}

TEST_F(PresetService, OverviewTitlesTheUserGroup) {
  writePlist(userFolder() / "B.vlp", presetDic("", "ub"));
  writePlist(userFolder() / "A.vlp", presetDic("", "ua"));
  const fs::path out = solvane::test::makeTempDir("overview") / "overview.plist";
  ASSERT_TRUE(QVPresetService::storePresetsInfoToPath(out.string()));
  EXPECT_EQ(readPlist(out),
            qv::Value(qv::Array{"User Presets", qv::Array{qv::Dictionary{{"id", "ua"}, {"name", "A"}},
                                                          qv::Dictionary{{"id", "ub"}, {"name", "B"}}}}));
}

TEST_F(PresetService, PackAlertsAndTheFileBrowser) {
  QVPresetService::processPresetPackWithURL(fixture("Warm Pack.zip").string());
  QVPresetService::processPresetPackWithURL(fixture("Warm Pack.zip").string());  // now taken
  qv::MainExecutor::shared().runUntilIdle();
  ASSERT_EQ(ui->alerts.size(), 2u);
  EXPECT_EQ(ui->alerts[0],
            "'Warm Pack' has been successfully added.|You can access these presets from the presets "
            "window.|OK");
  EXPECT_EQ(ui->alerts[1].rfind("Oops. Something went wrong.|The preset pack wasn't added to your collection", 0), 0u)
      << ui->alerts[1];

  QVPresetService::showFolder();
  EXPECT_EQ(ui->opened, std::vector<std::string>{userFolder().string()});
  auto preset = QVPreset::initWithDic(presetDic("Shown.vlp"));
  QVPresetService::showInFinderPreset(*preset);
  EXPECT_EQ(ui->selected, std::vector<std::string>{(userFolder() / "Shown.vlp").string()});
}
