#include "Ombrel/Classes/Business/Batch/QVBatchPresetManager.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "QVPlatform/PropertyList.h"
#include "QVPlatform/UserDefaults.h"
#include "common/TestSupport.h"

namespace fs = std::filesystem;

namespace {

qv::Value presetDictionary(int64_t type, const std::string& uuid, const char* exportType = "public.jpeg") {
  return qv::Dictionary{{"preset type", type},
                        {"version", 1},
                        {"uuid", uuid},
                        {"format", qv::Dictionary{{"export type", exportType}, {"quality", 0.8}}}};
}

void writePreset(const fs::path& file, const qv::Value& dictionary) {
  ASSERT_TRUE(qv::PropertyList::writeFile(file.string(), dictionary));
}

std::vector<std::string> names(const std::vector<QVBatchPresetManager::PresetPtr>& presets) {
  std::vector<std::string> out;
  for (const auto& p : presets) out.push_back(p->name());
  return out;
}

std::vector<std::string> entries(const fs::path& folder) {
  std::vector<std::string> out;
  for (const auto& e : fs::directory_iterator(folder)) out.push_back(e.path().filename().string());
  std::sort(out.begin(), out.end());
  return out;
}

class QVBatchPresetManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root = solvane::test::makeTempDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
    shipped = root / "shipped";
    user = root / "group" / "BatchPresets";
    interim = root / "group" / "Interim.plist";
    fs::create_directories(shipped);
    qv::UserDefaults::standardUserDefaults().removeObjectForKey(kQVLastPresetSelectedUUIDKey);
  }
  std::shared_ptr<QVBatchPresetManager> makeManager() {
    return QVBatchPresetManager::initWithDefaultPresetsPath(shipped.string(), user.string(), interim.string());
  }
  fs::path root, shipped, user, interim;
};

TEST_F(QVBatchPresetManagerTest, StartUpReadsShippedUserInterimAndRememberedSelection) {
  writePreset(shipped / "JPEG.plist", presetDictionary(1, "A"));
  writePreset(shipped / "PNG.plist", presetDictionary(1, "B", "public.png"));
  writePreset(shipped / "Broken.plist", qv::Dictionary{{"preset type", 1}, {"version", 0}, {"uuid", "C"}});
  fs::create_directories(user / "folder.plist");
  writePreset(user / "My JPEG.plist", presetDictionary(2, "A"));  // replaces the default with its uuid
  writePreset(user / "mine", presetDictionary(2, "D"));           // no extension needed
  writePreset(user / ".hidden.plist", presetDictionary(2, "E"));
  {
    std::ofstream junk(user / "notes.txt");
    junk << "not a property list";
  }
  writePreset(interim, presetDictionary(2, "I"));
  qv::UserDefaults::standardUserDefaults().setObject(qv::Value("D"), kQVLastPresetSelectedUUIDKey);

  auto manager = makeManager();
  EXPECT_EQ(manager->presets().size(), 3u);  // A (user's), B, D
  EXPECT_EQ(names(manager->presetsWithType(1)), (std::vector<std::string>{"PNG"}));
  EXPECT_EQ(names(manager->presetsWithType(2)), (std::vector<std::string>{"mine", "My JPEG"}));
  EXPECT_EQ(manager->presetWithUUID("A")->name(), "My JPEG");
  EXPECT_EQ(manager->presetWithUUID("B")->format()->quality(), 1.0);
  EXPECT_FALSE(manager->presetWithUUID("C"));
  EXPECT_FALSE(manager->presetWithUUID("E"));
  EXPECT_EQ(manager->selectedPresetUUID(), "D");
  ASSERT_TRUE(manager->interimPreset());
  EXPECT_EQ(manager->interimPreset()->uuid(), "I");
  EXPECT_FALSE(manager->presetWithUUID("I"));  // the interim preset is no listed preset

  auto selection = manager->selectionForPresetWithUUID("A");
  EXPECT_EQ(selection.type, 2);
  EXPECT_EQ(selection.index, 1u);
  EXPECT_EQ(manager->selectionForPresetWithUUID("nope").index, QVBatchPresetManager::kNotFound);
}

TEST_F(QVBatchPresetManagerTest, MissingFoldersAndFilesGiveAnEmptyStore) {
  fs::remove_all(shipped);
  auto manager = makeManager();
  EXPECT_TRUE(manager->presets().empty());
  EXPECT_FALSE(manager->interimPreset());
  EXPECT_FALSE(manager->selectedPresetUUID());
  EXPECT_TRUE(fs::is_directory(user));
  EXPECT_FALSE(manager->presetForSocialSharing()->uuid().size());
}

TEST_F(QVBatchPresetManagerTest, TheSameUUIDTwiceResolvesByNameOrder) {
  fs::create_directories(user);
  writePreset(user / "b.plist", presetDictionary(2, "X", "public.png"));
  writePreset(user / "a.plist", presetDictionary(2, "X", "public.tiff"));
  for (int i = 0; i < 3; ++i) EXPECT_EQ(makeManager()->presetWithUUID("X")->name(), "b");
}

TEST_F(QVBatchPresetManagerTest, SavedNamesAreSafeAndUniqueAndRemovalSparesNamesakes) {
  auto manager = makeManager();
  auto first = QVBatchPreset::initWithDic(presetDictionary(2, "ONE"));
  first->setName("../../Trip/Export");
  EXPECT_TRUE(manager->savePreset(first));
  EXPECT_EQ(first->name(), "_.._Trip_Export");
  EXPECT_EQ(entries(user), (std::vector<std::string>{"_.._Trip_Export.plist"}));
  EXPECT_FALSE(fs::exists(root / "Trip"));

  auto second = QVBatchPreset::initWithDic(presetDictionary(2, "TWO"));
  second->setName("../../Trip/Export");
  EXPECT_TRUE(manager->savePreset(second));
  EXPECT_EQ(second->name(), "_.._Trip_Export 2");
  EXPECT_TRUE(manager->savePreset(first));  // its own file: the same name again
  EXPECT_EQ(first->name(), "_.._Trip_Export");
  auto hidden = QVBatchPreset::initWithDic(presetDictionary(2, "THREE"));
  hidden->setName(".hidden");
  manager->savePreset(hidden);
  EXPECT_EQ(hidden->name(), "hidden");
  EXPECT_EQ(entries(user),
            (std::vector<std::string>{"_.._Trip_Export 2.plist", "_.._Trip_Export.plist", "hidden.plist"}));

  // The next start sees what was written.
  auto reloaded = makeManager();
  EXPECT_EQ(names(reloaded->presetsWithType(2)),
            (std::vector<std::string>{"_.._Trip_Export", "_.._Trip_Export 2", "hidden"}));

  // A stale object naming another preset's file removes no file.
  auto stale = QVBatchPreset::initWithDic(presetDictionary(2, "STALE"));
  stale->setName("hidden");
  manager->removePreset(stale);
  EXPECT_TRUE(fs::exists(user / "hidden.plist"));
  manager->removePreset(second);
  EXPECT_FALSE(fs::exists(user / "_.._Trip_Export 2.plist"));
  EXPECT_FALSE(manager->presetWithUUID("TWO"));
}

TEST_F(QVBatchPresetManagerTest, RemovalTakesTheFileAPresetCameFromAndNeverAShippedOne) {
  writePreset(shipped / "Shipped.plist", presetDictionary(1, "S"));
  fs::create_directories(user);
  writePreset(user / "Shipped.plist", presetDictionary(2, "OTHER"));  // a namesake of the shipped preset
  writePreset(user / "a:b.plist", presetDictionary(2, "COLON"));      // a name we would not write ourselves
  auto manager = makeManager();
  manager->removePreset(manager->presetWithUUID("S"));
  EXPECT_TRUE(fs::exists(shipped / "Shipped.plist"));
  EXPECT_TRUE(fs::exists(user / "Shipped.plist"));
  manager->removePreset(manager->presetWithUUID("COLON"));
  EXPECT_FALSE(fs::exists(user / "a:b.plist"));
  EXPECT_EQ(names(makeManager()->presetsWithType(2)), (std::vector<std::string>{"Shipped"}));
}

TEST_F(QVBatchPresetManagerTest, SelectionAndInterimPresetAreWrittenThrough) {
  auto manager = makeManager();
  auto& defaults = qv::UserDefaults::standardUserDefaults();
  manager->setSelectedPresetUUID(std::string("S1"));
  EXPECT_EQ(defaults.stringForKey(kQVLastPresetSelectedUUIDKey), "S1");
  defaults.setObject(qv::Value("elsewhere"), kQVLastPresetSelectedUUIDKey);
  manager->setSelectedPresetUUID(std::string("S1"));  // unchanged: nothing written
  EXPECT_EQ(defaults.stringForKey(kQVLastPresetSelectedUUIDKey), "elsewhere");
  manager->setSelectedPresetUUID(std::nullopt);
  EXPECT_FALSE(defaults.stringForKey(kQVLastPresetSelectedUUIDKey));

  auto edited = QVBatchPreset::initWithDic(presetDictionary(2, "EDIT"))->copy();
  manager->setInterimPreset(edited);
  EXPECT_EQ(makeManager()->interimPreset()->uuid(), edited->uuid());
  manager->setInterimPreset(nullptr);
  EXPECT_FALSE(fs::exists(interim));
  EXPECT_FALSE(makeManager()->interimPreset());

  auto sharing = QVBatchPresetManager::presetForSocialSharing();
  EXPECT_EQ(sharing->format()->exportType(), "public.jpeg");
  EXPECT_EQ(sharing->format()->quality(), 1.0);
  EXPECT_EQ(sharing->format()->colorSpace(), 1);
  EXPECT_TRUE(manager->presetsWithType(0).empty());
}

TEST(QVBatchPresetManagerShipped, ShippedPresetsLoadWithFixedIdentifiers) {
  auto folder = solvane::test::makeTempDir("shipped-check");
  QVBatchPresetManager manager(QVBatchPresetManager::defaultPresetsDirectory(), (folder / "user").string(),
                               (folder / "interim.plist").string());
  struct Expected {
    const char* uuid;
    const char* name;
    const char* type;
    uint64_t resize;
  } expected[] = {
      {"5C0A7E1D-2B6F-4C3A-9E8D-1F4B2A6C7D01", "JPEG Full Size", "public.jpeg", 0},
      {"5C0A7E1D-2B6F-4C3A-9E8D-1F4B2A6C7D02", "JPEG Long Edge 2048", "public.jpeg", 1},
      {"5C0A7E1D-2B6F-4C3A-9E8D-1F4B2A6C7D03", "TIFF 16-bit LZW", "public.tiff", 0},
      {"5C0A7E1D-2B6F-4C3A-9E8D-1F4B2A6C7D04", "PNG", "public.png", 0},
      {"5C0A7E1D-2B6F-4C3A-9E8D-1F4B2A6C7D05", "JPEG 2000", "public.jpeg-2000", 0},
  };
  EXPECT_EQ(manager.presetsWithType(kQVBatchPresetTypeDefault).size(), std::size(expected));
  for (const auto& e : expected) {
    auto preset = manager.presetWithUUID(e.uuid);
    ASSERT_TRUE(preset) << e.name;
    EXPECT_EQ(preset->name(), e.name);
    EXPECT_EQ(preset->format()->exportType(), e.type);
    EXPECT_EQ(preset->resizing()->type(), e.resize);
    EXPECT_EQ(preset->naming()->base()->type(), 1u) << e.name;
  }
  CGSize longEdge = manager.presetWithUUID(expected[1].uuid)->resizing()->evaluateFitSize(CGSizeMake(6000, 4000));
  EXPECT_EQ(longEdge.width, 2048);
  EXPECT_EQ(longEdge.height, 1365);
  CGSize full = manager.presetWithUUID(expected[0].uuid)->resizing()->evaluateFitSize(CGSizeMake(6000, 4000));
  EXPECT_EQ(full.width, 0);  // no size set: the render uses the full size
  auto tiff = manager.presetWithUUID(expected[2].uuid)->format()->tiffImageProperties();
  ASSERT_TRUE(tiff);
  EXPECT_EQ(tiff->compressionValue(), 5);
  EXPECT_EQ(tiff->depthValue(), 16);
}

}  // namespace
