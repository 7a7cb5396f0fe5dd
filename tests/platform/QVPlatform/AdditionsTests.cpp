#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>

#include "QVPlatform/Additions.h"
#include "QVPlatform/Bundle.h"
#include "QVPlatform/Places.h"
#include "common/TestSupport.h"

using namespace qv;

TEST(Additions, UUIDsAreUpperCaseAndFresh) {
  std::set<std::string> seen;
  const std::regex form("[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}");
  for (int i = 0; i < 100; ++i) {
    std::string id = stringWithUUID();
    EXPECT_TRUE(std::regex_match(id, form)) << id;
    seen.insert(id);
  }
  EXPECT_EQ(seen.size(), 100u);
}

TEST(Additions, MD5IsLowerCaseHex) {
  EXPECT_EQ(md5(""), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(md5("abc"), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(md5(Bytes{'a', 'b', 'c'}), md5("abc"));
  EXPECT_EQ(md5(std::string("a\0b", 3)).size(), 32u) << "embedded NULs are hashed, not cut";
  EXPECT_NE(md5(std::string("a\0b", 3)), md5("a"));
}

TEST(Additions, EmptyTests) {
  EXPECT_TRUE(isEmpty(std::string()));
  EXPECT_TRUE(isEmpty(static_cast<const char*>(nullptr)));
  EXPECT_TRUE(isEmpty(Value()));
  EXPECT_TRUE(isEmpty(Value(3)));
  EXPECT_FALSE(isEmpty(Value("x")));
  EXPECT_FALSE(isEmpty(std::string(" ")));
}

TEST(Additions, PathHelpers) {
  struct Case {
    std::string path, last, deletingLast, ext, deletingExt;
  };
  for (const Case& c : std::vector<Case>{
           {"/a/b.txt", "b.txt", "/a", "txt", "/a/b"},
           {"/a/b/", "b", "/a", "", "/a/b"},
           {"/", "/", "/", "", "/"},
           {"b", "b", "", "", "b"},
           {"/a", "a", "/", "", "/a"},
           {"x.tar.gz", "x.tar.gz", "", "gz", "x.tar"},
           {"/a.d/.profile", ".profile", "/a.d", "", "/a.d/.profile"},
           {"/a.d/file", "file", "/a.d", "", "/a.d/file"},
           {"name.", "name.", "", "", "name."},
       }) {
    EXPECT_EQ(lastPathComponent(c.path), c.last) << c.path;
    EXPECT_EQ(deletingLastPathComponent(c.path), c.deletingLast) << c.path;
    EXPECT_EQ(pathExtension(c.path), c.ext) << c.path;
    EXPECT_EQ(deletingPathExtension(c.path), c.deletingExt) << c.path;
  }
  EXPECT_EQ(appendingPathComponent("/a/", "b"), "/a/b");
  EXPECT_EQ(appendingPathComponent("/a", "/b"), "/a/b");
  EXPECT_EQ(appendingPathExtension("/a/b", "state"), "/a/b.state");

  EXPECT_TRUE(isWinPath("C:\\Users\\me\\tex.rovacompressedimagedata"));
  EXPECT_TRUE(isWinPath("D:/x"));
  EXPECT_FALSE(isWinPath("/home/me/x"));
  EXPECT_EQ(lastWinPathComponent("C:\\Users\\me\\tex.rovacompressedimagedata"), "tex.rovacompressedimagedata");
  EXPECT_EQ(pathsArray({"file:///a/b", "/c"}), (std::vector<std::string>{"/a/b", "/c"}));
}

TEST(Additions, MovingObjectsInLists) {
  std::vector<int> v{1, 2, 3, 4};
  EXPECT_FALSE(canMoveObject(v, 9, 0)) << "not in the list";
  EXPECT_FALSE(canMoveObject(v, 2, 1)) << "already there";
  EXPECT_FALSE(canMoveObject(v, 2, 4)) << "past the end";
  EXPECT_FALSE(moveObject(v, 2, 7));
  EXPECT_EQ(v, (std::vector<int>{1, 2, 3, 4}));
  EXPECT_TRUE(moveObject(v, 1, 3));
  EXPECT_EQ(v, (std::vector<int>{2, 3, 4, 1}));
  EXPECT_TRUE(moveObject(v, 4, 0));
  EXPECT_EQ(v, (std::vector<int>{4, 2, 3, 1}));

  std::vector<int> other;
  EXPECT_TRUE(moveObjectToArray(v, 2, other));
  EXPECT_FALSE(moveObjectToArray(v, 2, other));
  EXPECT_EQ(v, (std::vector<int>{4, 3, 1}));
  EXPECT_EQ(other, (std::vector<int>{2}));
}

TEST(Additions, HexColours) {
  EXPECT_EQ(qvColorWithCalibratedHEXString("#FF8000"), (RGBAColor{1.0, 128 / 255.0, 0.0, 1.0}));
  EXPECT_EQ(qvColorWithCalibratedHEXString("ff800080"), (RGBAColor{1.0, 128 / 255.0, 0.0, 128 / 255.0}));
  EXPECT_EQ(qvColorWithCalibratedHEXString("#fff"), (RGBAColor{1, 1, 1, 1}));
  EXPECT_EQ(qvColorWithCalibratedHEXString("0x000000"), (RGBAColor{0, 0, 0, 1}));
  for (const char* bad : {"", "#", "#12345", "#GG0000", "red", "#1234567"})
    EXPECT_FALSE(qvColorWithCalibratedHEXString(bad)) << bad;
}

TEST(Additions, ServiceUtilities) {
  EXPECT_TRUE(QVMathUtils::isFloat(1.0, 1.00005, 0.0001));
  EXPECT_FALSE(QVMathUtils::isFloat(1.0, 1.0002, 0.0001));
  EXPECT_EQ(QVServiceUtils::applicationName(), "Solvane");
  EXPECT_EQ(QVAssistant::qvAppContainerPath(), places::applicationSupportDirectory());
}

TEST(Places, EverythingLivesUnderSolvaneHome) {
  std::string home = solvane::test::testHome().string();
  for (const std::string& p :
       {places::userApplicationSupportDirectory(), places::groupContainerDirectory(), places::cachesDirectory(),
        places::userDefaultsDirectory(), places::temporaryDirectory()})
    EXPECT_EQ(p.rfind(home, 0), 0u) << p;
  EXPECT_EQ(std::filesystem::path(places::applicationSupportDirectory()).filename(), "Solvane");
}

TEST(Places, FindOrCreateDirectory) {
  Error error;
  std::string dir = findOrCreateDirectory(SearchPathDirectory::ApplicationSupport, SearchPathDomain::User,
                                          "Orvanta Software/Solvane/Logs", &error);
  ASSERT_FALSE(dir.empty()) << error.description;
  EXPECT_TRUE(std::filesystem::is_directory(dir));
  EXPECT_EQ(dir, places::userApplicationSupportDirectory() + "/Orvanta Software/Solvane/Logs");
  EXPECT_EQ(findOrCreateDirectory(SearchPathDirectory::ApplicationSupport, SearchPathDomain::User,
                                  "Orvanta Software/Solvane/Logs", nullptr),
            dir)
      << "finding an existing folder";

  // A file in the way is an error, not a success.
  std::filesystem::create_directories(places::cachesDirectory());
  std::ofstream(places::cachesDirectory() + "/blocker").put('x');
  EXPECT_EQ(findOrCreateDirectory(SearchPathDirectory::Caches, SearchPathDomain::User, "blocker/sub", &error), "");
  EXPECT_FALSE(error.description.empty());
}

TEST(Places, AtomicWriteReplacesWholeFile) {
  auto dir = solvane::test::makeTempDir("atomic");
  std::string path = (dir / "deep" / "file.txt").string();
  ASSERT_TRUE(writeFileAtomically(path, std::string("first version, long")));
  ASSERT_TRUE(writeFileAtomically(path, std::string("second")));
  auto bytes = readFileBytes(path);
  ASSERT_TRUE(bytes);
  EXPECT_EQ(std::string(bytes->begin(), bytes->end()), "second");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir / "deep"), {}), 1) << "no temporary left behind";
  Error error;
  EXPECT_FALSE(readFileBytes((dir / "missing").string(), &error));
  EXPECT_FALSE(error.description.empty());
}

TEST(Places, BundleFindsResourcesAndItsInformation) {
  auto dir = solvane::test::makeTempDir("bundle");
  std::filesystem::create_directories(dir / "BatchPresets");
  std::ofstream(dir / "BatchPresets" / "Default.plist") << "x";
  std::ofstream(dir / "QVRovaConfig.json") << "{}";
  Bundle bundle(dir.string());
  EXPECT_EQ(bundle.pathForResource("QVRovaConfig", "json"), (dir / "QVRovaConfig.json").string());
  EXPECT_EQ(bundle.pathForResource("QVRovaConfig.json", ""), (dir / "QVRovaConfig.json").string());
  EXPECT_EQ(bundle.pathForResource("Default", "plist", "BatchPresets"),
            (dir / "BatchPresets" / "Default.plist").string());
  EXPECT_EQ(bundle.pathForResource("Missing", "plist"), "");
  EXPECT_EQ(bundle.bundleIdentifier(), "com.solvane.Solvane") << "without an Info.plist";

  auto withInfo = solvane::test::makeTempDir("bundle-info");
  std::ofstream(withInfo / "Info.plist")
      << "<plist version=\"1.0\"><dict><key>CFBundleIdentifier</key><string>com.example.x</string></dict></plist>";
  Bundle other(withInfo.string());
  EXPECT_EQ(other.bundleIdentifier(), "com.example.x");
  EXPECT_EQ(other.objectForInfoDictionaryKey("CFBundleIdentifier").asString(), "com.example.x");
  EXPECT_EQ(Bundle::appBundle().resourcePath(), Bundle::mainBundle().resourcePath());
}

TEST(Places, SizeForContentsCountsFilesBelowAFolder) {
  auto dir = solvane::test::makeTempDir("size");
  std::filesystem::create_directories(dir / "resources" / "deeper");
  std::ofstream(dir / "a.state") << std::string(100, 'a');
  std::ofstream(dir / "resources" / "deeper" / "b") << std::string(23, 'b');
  std::filesystem::create_symlink(dir / "a.state", dir / "link");
  EXPECT_EQ(sizeForContentsAtPath(dir.string()), 123u) << "links are not counted twice";
  EXPECT_EQ(sizeForContentsAtPath((dir / "a.state").string()), 100u);
  Error error;
  EXPECT_FALSE(sizeForContentsAtPath((dir / "missing").string(), &error));
  EXPECT_FALSE(error.description.empty());
  EXPECT_EQ(trim(" \n\t Layer 1 \r\n"), "Layer 1");
  EXPECT_EQ(trim("   "), "");
}
