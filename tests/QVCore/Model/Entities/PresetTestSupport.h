#pragma once
// A clean container for each preset test: the user's presets, installed packs and favourites of
// the shared container are removed before every test, and shipped groups come from a folder of the
// test's own (none unless the test writes a group list there).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "QVCore/Categories/NSFileManager+ContainerDirectory.h"
#include "QVCore/Common/QVCoreStartup.h"
#include "QVCore/Model/Entities/QVPreset.h"
#include "QVCore/Model/Entities/QVPresetGroup.h"
#include "QVCore/Services/QVFavoritePresetService.h"
#include "QVPlatform/PropertyList.h"
#include "common/TestSupport.h"

namespace presettest {

namespace fs = std::filesystem;

// A layer dictionary as the layer model writes it.
inline qv::Value layer(const std::string& identifier) {
  return qv::Dictionary{{"Identifier", identifier}, {"Name", identifier},    {"LayerType", 0},
                        {"Enabled", true},          {"Amount", 1.0},         {"BlendModeIdentifier", "Normal"},
                        {"Sublayers", qv::Array{}}, {"Effects", qv::Array{}}};
}

// A preset dictionary with one layer.
inline qv::Value presetDic(const std::string& identifier, const std::string& uuid = {}) {
  qv::Value dic = qv::Dictionary{{kQVPresetAdjustmentLayersKey, qv::Array{layer("QVDevelopLayer")}}};
  if (!identifier.empty()) dic.set(kQVPresetIdentifierKey, identifier);
  if (!uuid.empty()) dic.set(kQVPresetUUIDKey, uuid);
  return dic;
}

inline void writePlist(const fs::path& path, const qv::Value& value) {
  fs::create_directories(path.parent_path());
  ASSERT_TRUE(qv::PropertyList::writeFile(path.string(), value)) << path;
}

inline qv::Value readPlist(const fs::path& path) { return qv::PropertyList::readFile(path.string(), nullptr); }

inline fs::path fixture(const std::string& name) { return solvane::test::dataDir() / "presets" / name; }

// The names in a folder, sorted.
inline std::vector<std::string> entries(const fs::path& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(folder, ec)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

class PresetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QVCoreStartup();
    NSFileManagerContainerDirectory::configureWithContainerIdentifier(QVAppGroupIdentifier());
    container = NSFileManagerContainerDirectory::containerDirectory();
    ASSERT_FALSE(container.empty());
    fs::remove_all(container / "Presets");
    fs::remove_all(container / "Favorites");
    shipped = solvane::test::makeTempDir("shipped-presets");
    QVPresetGroup::setBundleResourcePath(shipped.string());
  }
  void TearDown() override { QVPresetGroup::setBundleResourcePath({}); }

  fs::path userFolder() const { return container / "Presets" / "Custom"; }

  fs::path container;
  fs::path shipped;
};

}  // namespace presettest
