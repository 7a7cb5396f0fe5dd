#include "Ombrel/Classes/Application/Export/QVExportDatasource.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "QVAppKit/QVArtwork.h"
#include "QVPlatform/Localization.h"
#include "QVPlatform/Places.h"

namespace fs = std::filesystem;

namespace {

TEST(QVExportDatasource, TheTableOfTargets) {
  struct Row {
    uint64_t type;
    const char* key;
    const char* image;
    const char* small;
  } rows[] = {{0, "disk", "SafetoDisk", "SafetoDisk_small"},
              {1, "flickr", "flickr", ""},
              {2, "email", "email", ""},
              {3, "facebook", "Facebook", ""},
              {4, "twitter", "Twitter", ""},
              {5, "mendrix", "mendrix", "mendrix_small"}};
  for (const Row& r : rows) {
    EXPECT_EQ(QVExportDatasource::exportTypeString(r.type), r.key);
    auto item = QVExportDatasource::shared().exportItemForType(r.type);
    EXPECT_EQ(item->type, r.type);
    EXPECT_EQ(item->imageName, r.image);
    EXPECT_EQ(item->selectedImageName, std::string(r.image) + "_selected");
    EXPECT_EQ(item->smallImageName, r.small);
    EXPECT_FALSE(item->image) << "no sharing service brings a picture here";
  }
  EXPECT_FALSE(QVExportDatasource::exportTypeString(6));
  EXPECT_TRUE(QVExportDatasource::shared().exportItemForType(6)->imageName.empty());
  EXPECT_EQ(QVExportDatasource::sharingServiceTypeForExportType(2), "xdg-email");
  for (uint64_t type : {0, 1, 3, 4, 5}) EXPECT_FALSE(QVExportDatasource::sharingServiceTypeForExportType(type));
  // The offered targets have their artwork.
  for (const char* name : {"SafetoDisk", "SafetoDisk_selected", "SafetoDisk_small", "email", "email_selected",
                           "mendrix", "mendrix_selected", "mendrix_small"})
    EXPECT_TRUE(QVArtwork::exists(name)) << name;
}

TEST(QVExportDatasource, ItemsAreMadeOnceAndOfferedByWhatTheDesktopCanDo) {
  const auto& items = QVExportDatasource::shared().cachedItems();
  ASSERT_EQ(items.size(), 6u);
  EXPECT_EQ(items[0]->title, "Save to Disk");
  qv::QVSLocalization::setTable(qv::Dictionary{{"disk", qv::Value(std::string("Auf Festplatte"))}});
  EXPECT_EQ(QVExportDatasource::shared().cachedItems()[0]->title, "Save to Disk") << "made once per process";
  EXPECT_EQ(&QVExportDatasource::shared().cachedItems(), &items);
  ASSERT_TRUE(qv::QVSLocalization::loadTableFromFile(std::string(std::getenv("SOLVANE_RESOURCES")) +
                                                     "/en.lproj/Localizable.strings"));

  auto types = [] {
    std::vector<uint64_t> t;
    for (const auto& item : QVExportDatasource::exportItems()) t.push_back(item->type);
    return t;
  };
  EXPECT_EQ(types(), (std::vector<uint64_t>{0, 2})) << "no social networks, no hand-off without its application";
  const fs::path entry =
      fs::path(qv::places::userApplicationSupportDirectory()) / "applications" / "com.orvanta.mendrix.desktop";
  fs::create_directories(entry.parent_path());
  std::ofstream(entry) << "[Desktop Entry]\nType=Application\nName=Mendrix\nExec=mendrix %F\n";
  EXPECT_EQ(types(), (std::vector<uint64_t>{0, 2, 5}));
  fs::remove(entry);
}

}  // namespace
