#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "QVCore/Model/Entities/PresetTestSupport.h"
#include "QVCore/Model/Entities/QVPreset.h"
#include "QVCore/Services/QVPresetService.h"
#include "QVPlatform/Additions.h"

using namespace presettest;

namespace {

class Preset : public PresetTest {};

// A preset of the user's group carrying resources.
std::shared_ptr<QVPreset> presetWithResources(const std::string& name, qv::Dictionary resources) {
  qv::Value dic = presetDic(name + ".vlp");
  dic.set(kQVPresetCachedResourcesKey, std::move(resources));
  return QVPreset::initWithDic(dic);
}

}  // namespace

TEST_F(Preset, ExtensionComesFromTheDocumentTypes) {
  EXPECT_EQ(QVPresetConstants::presetFileExtension(), "vlp");
  EXPECT_EQ(QVPresetConstants::presetPackFileExtension(), "vlpack");
  qv::Value types =
      qv::Array{qv::Dictionary{{"CFBundleTypeName", "Preset"}, {"CFBundleTypeExtensions", qv::Array{"a", "b"}}},
                qv::Dictionary{{"CFBundleTypeName", "Other"}, {"CFBundleTypeExtensions", qv::Array{"x"}}},
                qv::Dictionary{{"CFBundleTypeName", "Preset"}, {"CFBundleTypeExtensions", qv::Array{"c"}}}};
  EXPECT_EQ(QVPresetConstants::extensionForTypeName(types, "Preset"), "c") << "the last entry wins";
  EXPECT_EQ(QVPresetConstants::extensionForTypeName(types, "PresetPack"), "");
}

TEST_F(Preset, ShippedEffectPresetReadsWithItsLayersAndUuid) {
  auto preset = QVPreset::initWithPath(fixture("Natural.slvnr").string());
  ASSERT_TRUE(preset);
  EXPECT_EQ(preset->identifier(), "Natural.slvnr") << "the name on disk wins";
  EXPECT_EQ(preset->name(), "Natural");
  EXPECT_EQ(preset->uuid(), "6F1C2B9A-3D4E-4F50-9A1B-2C3D4E5F6071");
  EXPECT_EQ(preset->groupIdentifier(), "Shipped");
  EXPECT_EQ(preset->priority(), 44) << "300 keeps its low 8 bits";
  EXPECT_FLOAT_EQ(preset->amount(), 1.0f);
  const qv::Value& layers = preset->layersInfo()[kQVPresetAdjustmentLayersKey];
  ASSERT_EQ(layers.size(), 2u);
  EXPECT_EQ(layers[size_t(0)]["Identifier"].asString(), "QVDevelopLayer");
  EXPECT_DOUBLE_EQ(layers[size_t(0)]["Effects"][size_t(0)]["Parameters"]["Exposure"]["Value"].asDouble(), 0.35);
  EXPECT_EQ(layers[size_t(1)]["Name"].asString(), "Sharpen");

  qv::Value saved = preset->serialize();
  EXPECT_FALSE(saved.contains("Comment")) << "unknown keys do not survive";
  EXPECT_FALSE(saved.contains(kQVPresetCachedResourcesKey));
  EXPECT_EQ(saved[kQVPresetIdentifierKey].asString(), "Natural.slvnr");
  EXPECT_EQ(saved[kQVPresetPriorityKey].asInt(), 44);

  EXPECT_FALSE(QVPreset::initWithPath((shipped / "missing.slvnr").string()));
  std::ofstream(shipped / "broken.vlp") << "not a property list";
  EXPECT_FALSE(QVPreset::initWithPath((shipped / "broken.vlp").string()));
}

TEST_F(Preset, ValuesOfTheWrongTypeFallBackToDefaults) {
  qv::Value dic = qv::Dictionary{{kQVPresetIdentifierKey, 12},
                                 {kQVPresetUUIDKey, 7},
                                 {kQVPresetGroupIdentifierKey, qv::Array{"x"}},
                                 {kQVPresetPriorityKey, "3"},
                                 {kQVPresetCachedResourcesKey, "texture.png"},
                                 {kQVPresetAdjustmentLayersKey, qv::Dictionary{{"a", 1}}}};
  QVPreset preset(dic);
  EXPECT_EQ(preset.identifier(), "");
  EXPECT_EQ(preset.uuid().size(), 36u) << "a fresh UUID";
  EXPECT_EQ(preset.groupIdentifier(), "Custom");
  EXPECT_EQ(preset.priority(), 0);
  EXPECT_EQ(preset.layersInfo(), qv::Value(qv::Dictionary{}));

  // Without a uuid every reading is another preset by uuid, the same one by name.
  writePlist(shipped / "NoUUID.vlp", presetDic(""));
  auto first = QVPreset::initWithPath((shipped / "NoUUID.vlp").string());
  auto second = QVPreset::initWithPath((shipped / "NoUUID.vlp").string());
  EXPECT_NE(first->uuid(), second->uuid());
  EXPECT_TRUE(first->isEqualTo(second.get()));
  EXPECT_EQ(first->path(), (userFolder() / "NoUUID.vlp").string()) << "group Custom lives in the user folder";
}

TEST_F(Preset, EqualityIgnoresCaseAndComposition) {
  struct Case {
    std::string a, b;
    bool equal;
  } cases[] = {
      {"Warm.vlp", "warm.VLP", true},
      {"Caf\xC3\xA9.vlp", "Cafe\xCC\x81.vlp", true},             // precomposed and decomposed é
      {"\xC3\x89t\xC3\xA9.vlp", "\xC3\xA9t\xC3\xA9.vlp", true},  // É and é
      {"Warm.vlp", "Warm 2.vlp", false},
  };
  for (const auto& c : cases) {
    QVPreset a(presetDic(c.a)), b(presetDic(c.b));
    EXPECT_EQ(a.isEqualTo(&b), c.equal) << c.a << " / " << c.b;
  }
  QVPreset a(presetDic("One.vlp", "abc-def")), b(presetDic("Two.vlp", "ABC-DEF"));
  EXPECT_TRUE(a.isEqualTo(&b)) << "uuids compare without case";
  EXPECT_FALSE(a.isAssociatedWithUUID("ABC-DEF"));
  EXPECT_TRUE(a.isAssociatedWithName("ONE"));
  EXPECT_FALSE(a.isEqualTo(nullptr));
}

TEST_F(Preset, SingleFilePresetRoundTrips) {
  auto preset = QVPreset::initWithDic(presetDic("Plain.vlp", "U-1"));
  preset->setPriority(5);
  qv::Error error;
  ASSERT_TRUE(preset->save(&error)) << error.description;
  const fs::path file = userFolder() / "Plain.vlp";
  ASSERT_TRUE(fs::is_regular_file(file));
  auto read = QVPreset::initWithPath(file.string());
  ASSERT_TRUE(read);
  EXPECT_EQ(read->serialize(), preset->serialize());

  // saveAtFolder always writes one file, even with resources.
  auto withResources = presetWithResources("Folder", {});
  auto folder = solvane::test::makeTempDir("save-at-folder");
  ASSERT_TRUE(withResources->saveAtFolder(folder.string(), &error));
  EXPECT_TRUE(fs::is_regular_file(folder / "Folder.vlp"));
}

TEST_F(Preset, BundlePresetRoundTripsWithResourcesAndThumbnails) {
  const fs::path png = solvane::test::dataDir() / "pipeline" / "plain-20x10.png";
  auto source = solvane::test::makeTempDir("resources");
  std::ofstream(source / "old_tumb.jpeg") << "stale";
  std::ofstream(source / "brush.dat") << "brush";
  auto preset = presetWithResources("Textured", {{"texture", png.string()},
                                                 {"brush", (source / "brush.dat").string()},
                                                 {"texture_tumb", (source / "old_tumb.jpeg").string()}});
  qv::Error error;
  ASSERT_TRUE(preset->save(&error)) << error.description;

  const fs::path bundle = userFolder() / "Textured.vlp";
  EXPECT_EQ(entries(bundle / "Contents"),
            (std::vector<std::string>{"Info.plist", "PkgInfo", "preset.vlp", "resources"}));
  EXPECT_EQ(entries(bundle / "Contents" / "resources"),
            (std::vector<std::string>{"brush.dat", "plain-20x10.png", "plain-20x10_tumb.jpeg"}))
      << "thumbnails are made anew, never copied";
  EXPECT_EQ(readPlist(bundle / "Contents" / "Info.plist")["CFBundlePackageType"].asString(), "BNDL");
  const qv::Value stored = readPlist(bundle / "Contents" / "preset.vlp")[kQVPresetCachedResourcesKey];
  EXPECT_EQ(stored, qv::Value(qv::Dictionary{{"brush", "/resources/brush.dat"},
                                             {"texture", "/resources/plain-20x10.png"},
                                             {"texture_tumb", "/resources/plain-20x10_tumb.jpeg"}}));
  EXPECT_EQ(entries(userFolder()), std::vector<std::string>{"Textured.vlp"}) << "no building folder left behind";

  auto read = QVPreset::initWithPath(bundle.string());
  ASSERT_TRUE(read);
  const qv::Value& resources = read->layersInfo()[kQVPresetCachedResourcesKey];
  EXPECT_EQ(resources["texture"].asString(), (bundle / "Contents" / "resources" / "plain-20x10.png").string());
  EXPECT_EQ(read->layersInfo()[kQVPresetAdjustmentLayersKey], preset->layersInfo()[kQVPresetAdjustmentLayersKey]);

  // Saving again where it lives keeps every resource (they are read from the bundle itself) and
  // replaces the old bundle completely.
  std::ofstream(bundle / "Contents" / "leftover") << "x";
  read->setPriority(9);
  ASSERT_TRUE(read->save(&error)) << error.description;
  EXPECT_FALSE(fs::exists(bundle / "Contents" / "leftover"));
  EXPECT_EQ(entries(bundle / "Contents" / "resources"),
            (std::vector<std::string>{"brush.dat", "plain-20x10.png", "plain-20x10_tumb.jpeg"}));
  auto again = QVPreset::initWithPath(bundle.string());
  EXPECT_EQ(again->priority(), 9);
  std::ifstream brush(again->layersInfo()[kQVPresetCachedResourcesKey]["brush"].asString());
  std::string content;
  brush >> content;
  EXPECT_EQ(content, "brush");
  EXPECT_EQ(entries(userFolder()), std::vector<std::string>{"Textured.vlp"});
}

TEST_F(Preset, BundleReadingKeepsResourcePathsInsideTheBundle) {
  const fs::path bundle = userFolder() / "Odd.vlp";
  qv::Value dic = presetDic("Odd.vlp");
  dic.set(kQVPresetCachedResourcesKey,
          qv::Dictionary{{"ok", "/resources/a.png"}, {"escape", "/resources/../../../../etc/passwd"}, {"number", 3}});
  writePlist(bundle / "Contents" / "preset.vlp", dic);
  auto read = QVPreset::initWithPath(bundle.string());
  EXPECT_EQ(read->layersInfo()[kQVPresetCachedResourcesKey],
            qv::Value(qv::Dictionary{{"ok", (bundle / "Contents" / "resources" / "a.png").string()}}));

  dic.set(kQVPresetCachedResourcesKey, qv::Dictionary{});
  writePlist(bundle / "Contents" / "preset.vlp", dic);
  EXPECT_EQ(QVPreset::initWithPath(bundle.string())->layersInfo()[kQVPresetCachedResourcesKey],
            qv::Value(qv::Dictionary{}))
      << "an empty map stays as read, so the preset stays a bundle";
}

TEST_F(Preset, AFailedFinalWriteIsAFailureAndKeepsTheOldPreset) {
  auto preset = presetWithResources("Kept", {});
  qv::Error error;
  ASSERT_TRUE(preset->save(&error));
  const fs::path bundle = userFolder() / "Kept.vlp";
  const qv::Value before = readPlist(bundle / "Contents" / "preset.vlp");

  // A property list cannot hold a null value: the preset file cannot be written.
  qv::Value info = preset->layersInfo();
  info.set(kQVPresetAdjustmentLayersKey, qv::Array{qv::Value()});
  preset->setLayersInfo(info);
  EXPECT_FALSE(preset->saveAsBundle(&error));
  EXPECT_EQ(readPlist(bundle / "Contents" / "preset.vlp"), before);
  EXPECT_EQ(entries(userFolder()), std::vector<std::string>{"Kept.vlp"});

  info.erase(kQVPresetCachedResourcesKey);
  preset->setLayersInfo(info);
  EXPECT_FALSE(preset->saveAsFile(&error));

  // A preset whose name is no plain file name, or whose group has no folder, has nowhere to go.
  QVPreset outside(presetDic("../../escape.vlp"));
  EXPECT_EQ(outside.path(), "");
  EXPECT_FALSE(outside.save(&error));
  EXPECT_EQ(error.code, QVPresetErrorCodeNoLocation);
  QVPreset nowhere(presetDic("X.vlp"));
  nowhere.setGroupIdentifier("No such group");
  EXPECT_FALSE(nowhere.save(&error));
}

TEST_F(Preset, RenameMovesTheFileAndRefusesAnotherPresetsName) {
  auto warm = QVPreset::initWithDic(presetDic("Warm.vlp"));
  auto cool = QVPreset::initWithDic(presetDic("Cool.vlp"));
  qv::Error error;
  ASSERT_TRUE(warm->save(&error));
  ASSERT_TRUE(cool->save(&error));
  const qv::Value coolBefore = readPlist(userFolder() / "Cool.vlp");

  EXPECT_FALSE(warm->updateName("Cool", &error));
  EXPECT_EQ(error.domain, "Preset");
  EXPECT_EQ(error.code, QVPresetErrorCodeNameTaken);
  EXPECT_EQ(warm->identifier(), "Warm.vlp");
  EXPECT_EQ(readPlist(userFolder() / "Cool.vlp"), coolBefore) << "the other preset is not overwritten";
  EXPECT_TRUE(fs::exists(userFolder() / "Warm.vlp"));

  EXPECT_TRUE(warm->updateName("Sunny", &error));
  EXPECT_EQ(entries(userFolder()), (std::vector<std::string>{"Cool.vlp", "Sunny.vlp"}));
  EXPECT_TRUE(warm->updateName("Sunny", &error)) << "the same name only saves";
  EXPECT_TRUE(warm->updateName("", &error));
  EXPECT_EQ(entries(userFolder()), (std::vector<std::string>{"Cool.vlp", "Sunny.vlp"}));

  EXPECT_TRUE(warm->remove(&error));
  EXPECT_FALSE(warm->remove(&error));
  EXPECT_EQ(error.code, QVPresetErrorCodeNotFound);
  EXPECT_EQ(error.description, "The preset is being deleted does not exist");
}
