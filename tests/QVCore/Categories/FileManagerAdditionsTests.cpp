#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "QVCore/Categories/NSFileManager+Additions.h"
#include "QVCore/Categories/NSFileManager+ContainerDirectory.h"
#include "QVCore/Common/QVCoreStartup.h"
#include "QVCore/Model/Entities/QVPresetGroup.h"
#include "QVCore/Services/QVFavoritePresetService.h"
#include "common/TestSupport.h"

namespace fs = std::filesystem;
using namespace NSFileManagerAdditions;

TEST(FileManagerAdditions, FilePathsInDirectoryFindsAllowedFilesAtEveryDepth) {
  auto dir = solvane::test::makeTempDir("filepaths");
  fs::create_directories(dir / "a" / "b");
  fs::create_directories(dir / "Empty.vlp");  // an empty folder counts as a file
  std::ofstream(dir / "top.vlp") << "x";
  std::ofstream(dir / "a" / "mid.vlws") << "x";
  std::ofstream(dir / "a" / "b" / "deep.vlp") << "x";
  std::ofstream(dir / "a" / "b" / "CAPS.VLP") << "x";
  std::ofstream(dir / "a" / "b" / "other.txt") << "x";

  const std::string root = dir.string();
  EXPECT_EQ(filePathsInDirectory(root, {"vlp"}),
            (std::vector<std::string>{root + "/Empty.vlp", root + "/a/b/deep.vlp", root + "/top.vlp"}));
  EXPECT_EQ(filePathsInDirectory(root, {"vlp", "vlws"}).size(), 4u);
  EXPECT_EQ(filePathsInDirectory(root + "/top.vlp", {"vlp"}), std::vector<std::string>{root + "/top.vlp"});
  EXPECT_TRUE(filePathsInDirectory(root + "/top.vlp", {"VLP"}).empty()) << "extensions match exactly";
  EXPECT_TRUE(filePathsInDirectory(root + "/missing", {"vlp"}).empty());
}

TEST(FileManagerAdditions, RemoveAndCreate) {
  auto dir = solvane::test::makeTempDir("remove");
  EXPECT_FALSE(removeIfExistsAtPath((dir / "missing").string()));
  fs::create_directories(dir / "folder" / "inner");
  std::ofstream(dir / "folder" / "inner" / "f") << "x";
  EXPECT_TRUE(removeIfExistsAtPath((dir / "folder").string()));
  EXPECT_FALSE(fs::exists(dir / "folder"));

  EXPECT_TRUE(createDirectoryAtPath((dir / "x" / "y").string()));
  EXPECT_TRUE(createDirectoryAtPath((dir / "x" / "y").string())) << "an existing folder is success";
  std::ofstream(dir / "file") << "x";
  EXPECT_FALSE(createDirectoryAtPath((dir / "file" / "sub").string()));
}

TEST(FileManagerAdditions, FileURLsBecomePaths) {
  EXPECT_EQ(pathOfFileURL("file:///a/Autumn%20Tones.second.zip"), "/a/Autumn Tones.second.zip");
  EXPECT_EQ(pathOfFileURL("/a/100%20.zip"), "/a/100%20.zip") << "a path is not decoded";
  EXPECT_EQ(removingPercentEncoding("%2e%2E%2F%zz%4"), "../%zz%4");
}

TEST(FileManagerAdditions, FilesSortedByModDateOldestFirst) {
  auto dir = solvane::test::makeTempDir("moddate");
  for (auto name : {"b", "a", "c"}) fs::create_directories(dir / name);
  auto now = fs::file_time_type::clock::now();
  fs::last_write_time(dir / "c", now - std::chrono::hours(3));
  fs::last_write_time(dir / "a", now - std::chrono::hours(1));
  fs::last_write_time(dir / "b", now - std::chrono::hours(2));
  const std::string root = dir.string();
  EXPECT_EQ(filesSortedByModDateFromDir(root), (std::vector<std::string>{root + "/c", root + "/b", root + "/a"}));
}

TEST(ContainerDirectory, EmptyUntilConfigured) {
  NSFileManagerContainerDirectory::configureWithContainerIdentifier("");
  EXPECT_EQ(NSFileManagerContainerDirectory::containerDirectory(), "");
  EXPECT_EQ(QVPresetGroup::userFolder(), "");
  EXPECT_EQ(QVFavoritePresetService::favoritesPlistPath(), "");
  EXPECT_FALSE(QVFavoritePresetService::setFavorite(true, "A"));
  NSFileManagerContainerDirectory::configureWithContainerIdentifier(QVAppGroupIdentifier());
  const std::string container = NSFileManagerContainerDirectory::containerDirectory();
  EXPECT_TRUE(fs::is_directory(container));
  EXPECT_EQ(fs::path(container).lexically_relative(solvane::test::testHome()).string().rfind("..", 0),
            std::string::npos)
      << "the container is inside the test's own home";
  EXPECT_EQ(QVAppGroupIdentifier(), "SOLVANE.group.com.solvane.Solvane");
  QVCoreStartup();
  EXPECT_EQ(NSFileManagerContainerDirectory::containerIdentifier(), QVAppGroupIdentifier());
}
