#include "QVCore/Archive/QVZipArchiveHelper.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "QVCore/Archive/ZipTestSupport.h"
#include "QVPlatform/Places.h"
#include "common/TestSupport.h"

namespace fs = std::filesystem;
using ziptest::readText;
using ziptest::writeText;

namespace {
std::vector<std::string> namesIn(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  return names;
}
}  // namespace

TEST(QVZipArchiveHelper, PacksADocumentInPlaceAndUnpacksIt) {
  fs::path dir = solvane::test::makeTempDir("zip-document");
  fs::path doc = dir / "Photo.slvdoc";
  writeText(doc / "state.plist", "<plist/>");
  writeText(doc / "resources" / "layer.bin", std::string(5000, 'L'));

  ASSERT_TRUE(QVZipArchiveHelper::zipDocumentAtURL(doc.string() + "/"));
  EXPECT_TRUE(fs::is_regular_file(doc));
  EXPECT_EQ(namesIn(dir), std::vector<std::string>{"Photo.slvdoc"});  // nothing left beside it

  std::optional<std::string> unpacked = QVZipArchiveHelper::unzipDocumentAtURL(doc.string());
  ASSERT_TRUE(unpacked);
  EXPECT_EQ(fs::path(*unpacked).parent_path(), fs::path(qv::places::temporaryDirectory()));
  EXPECT_EQ(readText(fs::path(*unpacked) / "state.plist"), "<plist/>");
  EXPECT_EQ(readText(fs::path(*unpacked) / "resources" / "layer.bin"), std::string(5000, 'L'));
}

TEST(QVZipArchiveHelper, KeepsTheDocumentWhenPackingFails) {
  fs::path dir = solvane::test::makeTempDir("zip-document-fail");
  fs::path doc = dir / "Broken.slvdoc";
  writeText(doc / "state.plist", "<plist/>");
  ASSERT_EQ(::mkfifo((doc / "pipe").c_str(), 0600), 0);  // cannot be archived
  EXPECT_FALSE(QVZipArchiveHelper::zipDocumentAtURL(doc.string()));
  EXPECT_TRUE(fs::is_directory(doc));
  EXPECT_EQ(readText(doc / "state.plist"), "<plist/>");
  EXPECT_EQ(namesIn(dir), std::vector<std::string>{"Broken.slvdoc"});
}

TEST(QVZipArchiveHelper, UnzipFailuresAnswerNothing) {
  fs::path dir = solvane::test::makeTempDir("zip-helper-fail");
  writeText(dir / "not-a-zip", "plain text");
  EXPECT_FALSE(QVZipArchiveHelper::unzipFileAtPath((dir / "not-a-zip").string(), (dir / "out").string()));
  EXPECT_FALSE(QVZipArchiveHelper::unzipDocumentAtURL((dir / "not-a-zip").string()));
}
