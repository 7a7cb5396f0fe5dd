#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "QVCore/Archive/SSZipArchive.h"
#include "QVCore/Archive/ZipTestSupport.h"
#include "QVCore/Model/Entities/PresetTestSupport.h"
#include "QVCore/Model/Entities/QVPresetGroup.h"
#include "QVCore/Services/QVFavoritePresetService.h"
#include "QVCore/Services/QVPresetService.h"
#include "QVPlatform/NotificationCenter.h"
#include "QVPlatform/UserDefaults.h"

using namespace presettest;

namespace {

class PresetGroups : public PresetTest {
 protected:
  // A pack folder in the container presets folder, modified `hoursAgo`.
  fs::path makePackFolder(const std::string& folder, const std::string& groupName, int hoursAgo) {
    fs::path path = container / "Presets" / folder;
    fs::create_directories(path);
    if (!groupName.empty()) writePlist(path / "PresetsInfo.plist", qv::Dictionary{{"GroupName", groupName}});
    fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::hours(hoursAgo));
    return path;
  }
  std::vector<std::string> groupIdentifiers(bool exclude) {
    std::vector<std::string> ids;
    for (const auto& g : QVPresetGroup::allGroupsWithoutUserPresets(exclude)) ids.push_back(g->identifier());
    return ids;
  }
  // Every file and folder below the container presets folder.
  std::vector<std::string> presetsTree() {
    std::vector<std::string> tree;
    for (const auto& e : fs::recursive_directory_iterator(container / "Presets"))
      tree.push_back(e.path().lexically_relative(container / "Presets").string());
    std::sort(tree.begin(), tree.end());
    return tree;
  }
};

}  // namespace

TEST_F(PresetGroups, ContainerGroupsComeBeforeShippedOnesInOrder) {
  fs::create_directories(userFolder());
  fs::last_write_time(userFolder(), fs::file_time_type::clock::now() - std::chrono::hours(10));
  makePackFolder("Older Pack", "Older", 5);
  makePackFolder("Newer Pack", "Newer", 1);
  makePackFolder("No Info", "", 3);
  makePackFolder("No Name", "", 2);
  writePlist(container / "Presets" / "No Name" / "PresetsInfo.plist", qv::Dictionary{{"Other", "x"}});
  fs::last_write_time(container / "Presets" / "No Name", fs::file_time_type::clock::now() - std::chrono::hours(2));
  std::ofstream(container / "Presets" / "loose.vlp") << "x";
  writePlist(shipped / "BundlePresetGroupInfo.plist",
             qv::Array{qv::Dictionary{{"Identifier", "Essentials"},
                                      {"Name", "Essentials"},
                                      {"PresetsIdentifier", qv::Array{"One", "Two", "Three", "Four"}},
                                      {"Editable", false}},
                       qv::Dictionary{{"Identifier", "Broken"}, {"Name", 3}, {"PresetsIdentifier", "x"}}});

  EXPECT_EQ(groupIdentifiers(false), (std::vector<std::string>{"Custom", "Older", "Newer", "Essentials", "Broken"}));
  EXPECT_EQ(groupIdentifiers(true), (std::vector<std::string>{"Older", "Newer", "Essentials", "Broken"}));

  // Shipped presets are numbered by position; a missing file still takes its number.
  for (auto name : {"One", "Three", "Four"}) {
    writePlist(shipped / "Presets" / "Essentials" / (std::string(name) + ".vlp"),
               presetDic("", std::string("uuid-") + name));
  }
  auto essentials = QVPresetGroup::groupWithId("Essentials");
  ASSERT_TRUE(essentials);
  EXPECT_FALSE(essentials->editable());
  std::vector<int> priorities;
  for (const auto& p : essentials->loadPresets()) priorities.push_back(p->priority());
  EXPECT_EQ(priorities, (std::vector<int>{0, 2, 3}));
  EXPECT_EQ(essentials->loadPresetWithId("Three.vlp")->uuid(), "uuid-Three");
  EXPECT_FALSE(essentials->loadPresetWithId("Two.vlp"));

  auto older = QVPresetGroup::groupWithId("Older");
  ASSERT_TRUE(older);
  EXPECT_TRUE(older->isInContainers());
  EXPECT_FALSE(essentials->isInContainers());
  EXPECT_FALSE(QVPresetGroup::groupWithId("No Info"));
}

TEST_F(PresetGroups, DuplicateUuidsAreRepairedAndSaved) {
  qv::Value warm = presetDic("", "SAME");
  warm.set(kQVPresetPriorityKey, 4);
  writePlist(userFolder() / "A.vlp", presetDic("", "SAME"));
  writePlist(userFolder() / "B.vlp", warm);
  auto group = QVPresetGroup::groupWithId("Custom");
  ASSERT_TRUE(group);
  auto presets = group->loadPresets();
  ASSERT_EQ(presets.size(), 2u);
  EXPECT_EQ(presets[0]->uuid(), "SAME");
  EXPECT_NE(presets[1]->uuid(), "SAME");
  EXPECT_EQ(presets[1]->priority(), 4) << "editable groups keep their stored priorities";
  EXPECT_EQ(readPlist(userFolder() / "B.vlp")[kQVPresetUUIDKey].asString(), presets[1]->uuid());
}

TEST_F(PresetGroups, APresetBelongsToTheGroupItIsFiledIn) {
  // A file copied over from a pack still names the pack's group; saving or renaming it must not
  // touch the pack's folder.
  makePackFolder("Warm Pack", "Warm Pack", 1);
  writePlist(container / "Presets" / "Warm Pack" / "Shared.vlp", presetDic("", "P"));
  qv::Value copied = presetDic("", "C");
  copied.set(kQVPresetGroupIdentifierKey, "Warm Pack");
  writePlist(userFolder() / "Shared.vlp", copied);
  auto presets = QVPresetGroup::groupWithId("Custom")->loadPresets();
  ASSERT_EQ(presets.size(), 1u);
  qv::Error error;
  EXPECT_TRUE(presets[0]->updateName("Mine", &error)) << error.description;
  EXPECT_EQ(entries(userFolder()), std::vector<std::string>{"Mine.vlp"});
  EXPECT_EQ(readPlist(container / "Presets" / "Warm Pack" / "Shared.vlp")[kQVPresetUUIDKey].asString(), "P");
}

TEST_F(PresetGroups, FavouritesAddRemoveAndPersist) {
  EXPECT_FALSE(QVFavoritePresetService::isFavoritePresetWithUUID("A"));
  EXPECT_TRUE(QVPresetService::setFavorite(true, "A"));
  EXPECT_TRUE(QVFavoritePresetService::setFavorite(true, "B"));
  EXPECT_TRUE(QVFavoritePresetService::setFavorite(false, "B"));
  EXPECT_TRUE(QVFavoritePresetService::isFavoritePresetWithUUID("A"));
  EXPECT_FALSE(QVFavoritePresetService::isFavoritePresetWithUUID("B"));
  const fs::path file = container / "Favorites" / "FavoritePresets.plist";
  EXPECT_EQ(readPlist(file), qv::Value(qv::Dictionary{{"A", true}, {"B", false}})) << "cleared entries stay as NO";

  writePlist(userFolder() / "Fav.vlp", presetDic("", "A"));
  EXPECT_TRUE(QVPreset::initWithPath((userFolder() / "Fav.vlp").string())->isFavorite());

  std::ofstream(file) << "garbage";
  EXPECT_FALSE(QVFavoritePresetService::isFavoritePresetWithUUID("A")) << "an unreadable file is no favourites";
  writePlist(file, qv::Dictionary{{"A", "yes"}});
  EXPECT_FALSE(QVFavoritePresetService::isFavoritePresetWithUUID("A")) << "a text is no flag";

  // Favourites an older version kept in the shared defaults replace the file, once moved.
  qv::UserDefaults& defaults = QVPresetService::presetsSharedDefaults();
  defaults.setObject(qv::Dictionary{{"OLD", true}}, kQVPresetFavoriteDefaultsKey);
  QVFavoritePresetService::migrateFavoritesFromDefaults();
  EXPECT_EQ(readPlist(file), qv::Value(qv::Dictionary{{"OLD", true}}));
  EXPECT_TRUE(defaults.objectForKey(kQVPresetFavoriteDefaultsKey).isNull());
  QVFavoritePresetService::setFavorite(true, "NEW");
  defaults.setObject(qv::Dictionary{}, kQVPresetFavoriteDefaultsKey);
  QVFavoritePresetService::migrateFavoritesFromDefaults();
  EXPECT_TRUE(QVFavoritePresetService::isFavoritePresetWithUUID("NEW")) << "an empty dictionary moves nothing";
  defaults.removeObjectForKey(kQVPresetFavoriteDefaultsKey);
}

TEST_F(PresetGroups, PackFixtureInstallsAsItsOwnGroup) {
  int added = 0;
  auto token = qv::NotificationCenter::defaultCenter().addObserver(kQVPresetPackDidAddNotification, nullptr,
                                                                   [&](const qv::Notification&) { ++added; });
  const fs::path pack = fixture("Warm Pack.zip");
  QVPresetService::processPresetPackWithURL(pack.string());
  EXPECT_EQ(added, 1);
  const fs::path group = container / "Presets" / "Warm Pack";
  EXPECT_EQ(entries(group), (std::vector<std::string>{"Golden.vlp", "PresetsInfo.plist", "Warm.vlp", "cover.png"}))
      << "stray files and folders are removed";
  for (auto file : {"Warm.vlp", "Golden.vlp/Contents/preset.vlp"}) {
    qv::Value dic = readPlist(group / file);
    EXPECT_EQ(dic[kQVPresetGroupIdentifierKey].asString(), "Warm Pack") << file;
    EXPECT_NE(dic[kQVPresetUUIDKey].asString(), "11111111-2222-3333-4444-555555555555") << file;
  }
  auto presets = QVPresetService::sortPresets(QVPresetService::loadPresetsFromGroupIdentifier("Warm Pack"));
  ASSERT_EQ(presets.size(), 2u);
  EXPECT_EQ(presets[0]->name(), "Golden");
  EXPECT_TRUE(fs::is_regular_file(presets[0]->layersInfo()[kQVPresetCachedResourcesKey]["texture"].asString()));
  EXPECT_NE(presets[0]->uuid(), presets[1]->uuid());
  EXPECT_EQ(presets[1]->path(), (group / "Warm.vlp").string());
  EXPECT_TRUE(presets[1]->isInContainersGroup());

  // A percent-encoded URL with dots in its name: the name up to the first dot.
  auto copy = solvane::test::makeTempDir("packs") / "Autumn Tones.second.zip";
  fs::copy_file(pack, copy);
  std::string url = "file://" + copy.string();
  url.replace(url.find("Autumn Tones"), 12, "Autumn%20Tones");
  EXPECT_TRUE(QVPresetGroup::installGroupFromPackURL(url));
  EXPECT_TRUE(fs::is_directory(container / "Presets" / "Autumn Tones"));
  EXPECT_EQ(added, 1) << "only the service announces packs";

  QVPresetService::deleteGroup(*QVPresetGroup::groupWithId("Warm Pack"));
  EXPECT_FALSE(fs::exists(group));
  fs::create_directories(shipped / "Presets" / "Essentials");
  QVPresetService::deleteGroup(*QVPresetGroup::initWithPath((shipped / "Presets" / "Essentials").string()));
  EXPECT_TRUE(fs::exists(shipped / "Presets" / "Essentials")) << "a folder outside the container stays";
}

TEST_F(PresetGroups, HostilePacksChangeNothing) {
  QVPresetGroup::installGroupFromPackURL(fixture("Warm Pack.zip").string());
  writePlist(userFolder() / "Mine.vlp", presetDic("", "M"));
  const auto before = presetsTree();
  auto dir = solvane::test::makeTempDir("hostile");
  auto copyAs = [&](const std::string& name, const fs::path& from) {
    fs::copy_file(from, dir / name, fs::copy_options::overwrite_existing);
    return (dir / name).string();
  };
  struct Case {
    std::string what, url;
  } cases[] = {
      {"empty name", copyAs(".zip", fixture("Warm Pack.zip"))},
      {"dots only", copyAs("%2E%2E.zip", fixture("Warm Pack.zip"))},
      {"slash in the name", copyAs("a%2FCustom.zip", fixture("Warm Pack.zip"))},
      {"taken name", copyAs("Warm Pack.zip", fixture("Warm Pack.zip"))},
      {"the user's folder", copyAs("Custom.zip", fixture("Warm Pack.zip"))},
      {"zip-slip", fixture("Hostile Pack.zip").string()},
      {"not an archive", copyAs("Text.zip", fixture("Natural.slvnr"))},
      // A link that leads into the user's preset only once a later link exists.
      {"late link", ziptest::makeArchiveWithLinks(dir / "Links.zip", {{"PresetsInfo.plist", "<plist/>"},
                                                                      {"a.vlp", "s/../Custom/Mine.vlp", true},
                                                                      {"s", ".", true}})},
  };
  for (const auto& c : cases) {
    EXPECT_FALSE(QVPresetGroup::installGroupFromPackURL(c.url)) << c.what;
    EXPECT_EQ(presetsTree(), before) << c.what;
  }
  EXPECT_FALSE(fs::exists(container / "hostile-escape.vlp"));
  EXPECT_FALSE(fs::exists(container / "Presets" / "hostile-escape.vlp"));

  // A pack that names the user's group as its own is refused too.
  auto custom = solvane::test::makeTempDir("custom-pack");
  writePlist(custom / "src" / "PresetsInfo.plist", qv::Dictionary{{"GroupName", "Custom"}});
  writePlist(custom / "src" / "Evil.vlp", presetDic(""));
  ASSERT_TRUE(SSZipArchive::createZipFileAtPath((custom / "Claims.zip").string(), (custom / "src").string()));
  EXPECT_FALSE(QVPresetGroup::installGroupFromPackURL((custom / "Claims.zip").string()));
  EXPECT_EQ(presetsTree(), before);
}
