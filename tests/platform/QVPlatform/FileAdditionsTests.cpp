#include "QVPlatform/FileAdditions.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "QVPlatform/Additions.h"
#include "QVPlatform/Places.h"

namespace fs = std::filesystem;
using namespace qv;

namespace {

class FileAdditionsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root = appendingPathComponent(places::temporaryDirectory(), "tree-" + stringWithUUID());
    for (const char* file : {"a.JPG", "b.txt", "c.png", ".hidden.jpg", "folder/d.jpg", "folder/inner/e.jpg",
                             "folder/.f.jpg", "photos.jpg/g.jpg", ".secret/h.jpg"}) {
      std::string path = appendingPathComponent(root, file);
      fs::create_directories(deletingLastPathComponent(path));
      std::ofstream(path) << "x";
    }
  }
  void TearDown() override { fs::remove_all(root); }
  std::string at(const std::string& relative) const { return appendingPathComponent(root, relative); }
  std::string root;
};

TEST_F(FileAdditionsTest, DroppedFilesAndFoldersAreFilteredByLowerCaseExtension) {
  const std::vector<std::string> types{"jpg", "png"};
  // Files are judged by their extension whatever its case; a folder contributes the items directly
  // inside it, hidden ones included, and folders inside it only by their own extension.
  EXPECT_EQ(validateURLs({at("a.JPG"), at("b.txt"), at("folder")}, types, 1),
            (std::vector<std::string>{at("a.JPG"), at("folder/.f.jpg"), at("folder/d.jpg")}));
  // A folder named like a photo stands for its contents while depth is left, else for itself.
  EXPECT_EQ(validateURLs({at("photos.jpg")}, types, 1), (std::vector<std::string>{at("photos.jpg/g.jpg")}));
  EXPECT_EQ(validateURLs({at("photos.jpg")}, types, 0), (std::vector<std::string>{at("photos.jpg")}));
  EXPECT_EQ(validateURLs({at("folder")}, types, 2).size(), 3u);
  EXPECT_TRUE(validateURLs({at("a.JPG")}, {"JPG"}, 1).empty()) << "the list is compared as written";
  EXPECT_TRUE(validateURLs({at("missing")}, types, 1).empty());
  // The application's declared types (its document-types resource) decide what a drop accepts.
  const auto declared = allBundleTypes();
  EXPECT_NE(std::find(declared.begin(), declared.end(), "jpg"), declared.end());
  EXPECT_NE(std::find(declared.begin(), declared.end(), "dng"), declared.end());
  EXPECT_EQ(validURLs({"file://" + at("a.JPG"), "file://" + at("b.txt")}).size(), 1u);
}

TEST_F(FileAdditionsTest, WalkSkipsHiddenItemsAndStopsEarly) {
  std::vector<std::string> seen;
  enumerateFilePathsInDirectory(root, [&](const std::string& path, bool*) { seen.push_back(path); });
  std::sort(seen.begin(), seen.end());
  // Subfolders are reported but not entered by default.
  EXPECT_EQ(seen, (std::vector<std::string>{at("a.JPG"), at("b.txt"), at("c.png"), at("folder"), at("photos.jpg")}));

  seen.clear();
  enumerateFilePathsInDirectory(root, false, [&](const std::string& path, bool*) { seen.push_back(path); });
  EXPECT_EQ(seen.size(), 9u);  // the five above, d.jpg, inner, inner/e.jpg, g.jpg
  EXPECT_NE(std::find(seen.begin(), seen.end(), at("folder/inner/e.jpg")), seen.end());

  int calls = 0;
  enumerateFilePathsInDirectory(root, false, [&](const std::string&, bool* stop) { *stop = ++calls == 2; });
  EXPECT_EQ(calls, 2);
  enumerateFilePathsInDirectory(root, nullptr);
  enumerateFilePathsInDirectory(at("missing"), [&](const std::string&, bool*) { ++calls; });
  EXPECT_EQ(calls, 2);
}

TEST(Additions, MD5MatchesTheRFC1321Vectors) {
  const std::pair<const char*, const char*> vectors[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const auto& [text, digest] : vectors) {
    EXPECT_EQ(md5(text), digest) << text;
    std::string_view view(text);
    EXPECT_EQ(md5(Bytes(view.begin(), view.end())), digest) << text;
  }
}

TEST(Additions, BrandColours) {
  EXPECT_EQ(QVOrangeColor(), (RGBAColor{1.0, 197.0 / 255, 73.0 / 255, 1.0}));
  EXPECT_EQ(QVDarkGrayColor(), (RGBAColor{37.0 / 255, 37.0 / 255, 37.0 / 255, 1.0}));
}

}  // namespace
