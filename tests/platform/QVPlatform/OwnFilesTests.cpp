// The program's own files over every kind of thing a name can hold: what is at a name, opening for
// writing, the log's bound and its refusals, a damaged settings file kept and what of it is read.
#include "QVPlatform/OwnFiles.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "QVPlatform/Log.h"
#include "QVPlatform/Places.h"
#include "QVPlatform/PropertyList.h"
#include "QVPlatform/UserDefaults.h"
#include "common/TestSupport.h"

namespace fs = std::filesystem;
using namespace qv;
using namespace solvane::test;

namespace {

void writeText(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

}  // namespace

TEST(OwnFiles, EntryAtTellsEveryKindWithoutFollowingLinks) {
  const fs::path dir = solvane::test::makeTempDir("entry");
  struct Case {
    Put put;
    EntryKind kind;
    bool taken;
  };
  const Case cases[] = {
      {Put::Nothing, EntryKind::Missing, false}, {Put::File, EntryKind::Regular, true},
      {Put::Folder, EntryKind::Folder, true},    {Put::LinkToFile, EntryKind::Link, true},
      {Put::LinkToZero, EntryKind::Link, true},  {Put::DanglingLink, EntryKind::Link, true},
      {Put::Fifo, EntryKind::Other, true},
  };
  int n = 0;
  for (const Case& c : cases) {
    const fs::path path = dir / ("entry" + std::to_string(n++));
    place(c.put, path, dir / "victim");
    const Entry entry = entryAt(path.string());
    EXPECT_EQ(entry.kind, c.kind) << describe(c.put);
    EXPECT_EQ(entry.isTaken(), c.taken) << describe(c.put);
    EXPECT_EQ(entry.isRegular(), c.put == Put::File) << describe(c.put);
  }
  // Below a file nothing can be: missing, not unknown.
  EXPECT_EQ(entryAt((dir / "victim" / "below").string()).kind, EntryKind::Missing);
  // Identity and the read-only mark.
  const fs::path file = dir / "entry1";
  EXPECT_TRUE(entryAt(file.string()).isSameFile(entryAt(file.string())));
  EXPECT_FALSE(entryAt(file.string()).isSameFile(entryAt((dir / "victim").string())));
  EXPECT_FALSE(entryAt(file.string()).isReadOnlyFile());
  ::chmod(file.c_str(), 0444);
  EXPECT_TRUE(entryAt(file.string()).isReadOnlyFile());
}

TEST(OwnFiles, OnlyARegularFileIsOpenedAndNothingIsWaitedOnOrWrittenThrough) {
  const fs::path dir = solvane::test::makeTempDir("open");
  struct Flags {
    const char* what;
    int flags;
  };
  const Flags modes[] = {{"read", O_RDONLY},
                         {"write", O_WRONLY | O_CREAT},
                         {"append", O_WRONLY | O_CREAT | O_APPEND},
                         {"read and write", O_RDWR}};
  const Put puts[] = {Put::Nothing,    Put::File,         Put::Folder, Put::LinkToFile,
                      Put::LinkToZero, Put::DanglingLink, Put::Fifo};
  int n = 0;
  for (const Flags& mode : modes) {
    for (Put put : puts) {
      const fs::path path = dir / ("own" + std::to_string(n++));
      const fs::path victim = dir / ("victim" + std::to_string(n));
      place(put, path, victim);
      const bool creates = (mode.flags & O_CREAT) != 0;
      const bool opens = put == Put::File || (put == Put::Nothing && creates);
      int fd = -1;
      std::string why;
      ASSERT_TRUE(endsSoon([&] { fd = openOwnFile(path.string(), mode.flags, &why); }))
          << mode.what << " of " << describe(put) << " waited";
      EXPECT_EQ(fd >= 0, opens) << mode.what << " of " << describe(put) << ": " << why;
      if (fd >= 0) {
        EXPECT_EQ(::fcntl(fd, F_GETFL) & O_NONBLOCK, 0) << "blocking again once known to be a file";
        if (mode.flags != O_RDONLY) EXPECT_EQ(::write(fd, "x", 1), 1);
        ::close(fd);
      } else {
        EXPECT_FALSE(why.empty());
        EXPECT_NE(why.find(path.string()), std::string::npos) << why;
      }
      EXPECT_EQ(contents(victim), "victim") << "never written through " << describe(put);
      EXPECT_EQ(entryAt(path.string()).kind == EntryKind::Link,
                put == Put::LinkToFile || put == Put::LinkToZero || put == Put::DanglingLink)
          << "a link stays a link";
    }
  }
}

// ---- The log ----------------------------------------------------------------------------------

class LogBound : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = solvane::test::makeTempDir("logbound");
    path = dir / "Logs" / "Log.log";
    fs::create_directories(path.parent_path());
    logger.setErrorsToStderr(false);
    logger.setLevel(LogLevel::Info);
  }
  void TearDown() override {
    logger.setMaximumBytes(QVLogger::kDefaultMaximumBytes);
    logger.setErrorsToStderr(true);
    logger.setOutputPath(places::groupContainerDirectory() + "/Logs/Log.log");
  }
  QVLogger& logger = QVLogger::shared();
  fs::path dir, path;
};

TEST_F(LogBound, ALogLeftTooLongIsPutAsideAtTheFirstLine) {
  writeText(path, std::string(5000, 'o') + "\n");
  logger.setMaximumBytes(4000);
  logger.setOutputPath(path.string());
  QVLogInfo("first line of the run");
  EXPECT_EQ(fs::file_size(path.string() + ".1"), 5001u) << "a log just past the bound is kept whole";
  const std::string now = contents(path);
  EXPECT_LT(now.size(), 200u);
  EXPECT_NE(now.find("first line of the run"), std::string::npos);
}

TEST_F(LogBound, ALogFarPastItsBoundKeepsOnlyItsNewestLines) {
  {
    std::ofstream old(path, std::ios::binary);
    for (int i = 0; i < 20000; ++i) old << "old line " << i << "\n";  // about 250 KB
  }
  logger.setMaximumBytes(4000);
  logger.setOutputPath(path.string());
  QVLogInfo("first line of the run");
  const std::string older = contents(path.string() + ".1");
  EXPECT_LE(older.size(), 4000u);
  EXPECT_TRUE(older.starts_with("old line ")) << "cut at a whole line";
  EXPECT_TRUE(older.ends_with("old line 19999\n")) << "the newest lines kept";
  EXPECT_NE(contents(path).find("first line of the run"), std::string::npos);
}

TEST_F(LogBound, ALogStaysWithinTwoFilesOfItsBoundWhileWriting) {
  logger.setMaximumBytes(2000);
  logger.setOutputPath(path.string());
  for (int i = 0; i < 500; ++i) QVLogInfo("photo %d rendered in %d ms", i, 40 + i % 7);
  EXPECT_LE(fs::file_size(path), 2000u + 200u);
  EXPECT_LE(fs::file_size(path.string() + ".1"), 2000u + 200u);
  EXPECT_NE(contents(path).find("photo 499 rendered"), std::string::npos) << "the newest lines are in the log";
  EXPECT_FALSE(fs::exists(path.string() + ".2")) << "only one older file";
}

TEST_F(LogBound, ALogNameHoldingSomethingElseIsNeitherWrittenThroughNorWaitedOn) {
  for (Put put : {Put::LinkToFile, Put::LinkToZero, Put::Fifo, Put::Folder}) {
    fs::remove_all(path);
    const fs::path victim = dir / "victim";
    place(put, path, victim);
    logger.setOutputPath(path.string());
    ASSERT_TRUE(endsSoon([] { QVLogInfo("a line"); })) << describe(put);
    EXPECT_EQ(contents(victim), "victim") << describe(put);
    logger.setOutputPath((dir / "elsewhere.log").string());  // closes and forgets the refusal
  }
}

// ---- Settings ---------------------------------------------------------------------------------

namespace {

// A settings file as the program writes it, with entries of every kind.
std::string sampleSettings() {
  Value settings = Dictionary{};
  settings.set("NSNavLastRootDirectory", "/home/someone/Photos/Trip");
  settings.set("QVExportFileType", "public.tiff");
  settings.set("QVLensCorrectionEnabled", true);
  settings.set("QVWindowFrame", Value(Dictionary{{"x", 10}, {"y", 20}}));
  settings.set("ZZLastOpened", Value(Array{Value("a.jpg"), Value("b.jpg")}));
  return *PropertyList::toXML(settings);
}

std::vector<fs::path> damagedCopies(const fs::path& settings) {
  std::vector<fs::path> found;
  for (const auto& entry : fs::directory_iterator(settings.parent_path()))
    if (entry.path().filename().string().starts_with(settings.filename().string() + ".damaged"))
      found.push_back(entry.path());
  std::sort(found.begin(), found.end());
  return found;
}

}  // namespace

TEST(DamagedSettings, TheDamagedFileIsKeptBesideAndItsWholeEntriesAreRead) {
  const std::string xml = sampleSettings();
  const auto cutAfter = [&](const std::string& marker) { return xml.substr(0, xml.find(marker) + marker.size()); };
  struct Case {
    const char* what;
    std::string bytes;
    std::vector<std::string> keysKept;
  };
  const std::vector<Case> cases = {
      {"cut inside the third key",
       xml.substr(0, xml.find("QVLensCorrection") + 5),
       {"NSNavLastRootDirectory", "QVExportFileType"}},
      {"cut after the third value",
       cutAfter("<true/>"),
       {"NSNavLastRootDirectory", "QVExportFileType", "QVLensCorrectionEnabled"}},
      {"cut inside a nested dictionary",
       xml.substr(0, xml.find("<key>y</key>")),
       {"NSNavLastRootDirectory", "QVExportFileType", "QVLensCorrectionEnabled"}},
      {"cut before the root closes",
       xml.substr(0, xml.rfind("</dict>")),
       {"NSNavLastRootDirectory", "QVExportFileType", "QVLensCorrectionEnabled", "QVWindowFrame", "ZZLastOpened"}},
      {"cut inside the first value", xml.substr(0, xml.find("Photos")), {}},
      {"no property list at all", "this is not a plist", {}},
      {"empty", "", {}},
      {"a binary list cut short",
       [] {
         Value v = Dictionary{{"QVExportFileType", "public.tiff"}};
         auto binary = *PropertyList::toBinary(v);
         return std::string(binary.begin(), binary.begin() + binary.size() / 2);
       }(),
       {}},
  };
  int n = 0;
  for (const Case& c : cases) {
    const std::string domain = "damaged.settings." + std::to_string(n++);
    const fs::path path = places::userDefaultsDirectory() + "/" + domain + ".plist";
    fs::create_directories(path.parent_path());
    writeText(path, c.bytes);
    UserDefaults::resetStandardUserDefaults();
    UserDefaults settings(domain);
    std::vector<std::string> keys;
    for (const auto& [key, value] : settings.dictionaryRepresentation()) keys.push_back(key);
    EXPECT_EQ(keys, c.keysKept) << c.what;
    const auto copies = damagedCopies(path);
    ASSERT_EQ(copies.size(), 1u) << c.what;
    EXPECT_EQ(copies[0].filename().string(), domain + ".plist.damaged") << c.what;
    EXPECT_EQ(contents(copies[0]), c.bytes) << c.what << ": the copy holds the damaged bytes as they were";
    if (!c.keysKept.empty()) {
      // What was read is on disk again, readable.
      EXPECT_EQ(PropertyList::readFile(path.string(), nullptr).dictionary()->size(), c.keysKept.size()) << c.what;
      EXPECT_EQ(settings.stringForKey("NSNavLastRootDirectory"), "/home/someone/Photos/Trip") << c.what;
    }
  }
}

TEST(DamagedSettings, ACopyNeverReplacesAnEarlierOneAndWhatIsNotAFileIsLeftAlone) {
  const fs::path path = places::userDefaultsDirectory() + "/twice.damaged.plist";
  fs::create_directories(path.parent_path());
  for (const char* text : {"first damage", "second damage"}) {
    writeText(path, text);
    UserDefaults::resetStandardUserDefaults();
    UserDefaults settings("twice.damaged");
    EXPECT_TRUE(settings.dictionaryRepresentation().empty());
  }
  EXPECT_EQ(contents(path.string() + ".damaged"), "first damage");
  EXPECT_EQ(contents(path.string() + ".damaged-2"), "second damage");

  // Too big to be settings: kept aside unread.
  const fs::path big = places::userDefaultsDirectory() + "/big.settings.plist";
  writeText(big, "");
  fs::resize_file(big, kMaxSettingsBytes + 1);
  UserDefaults::resetStandardUserDefaults();
  EXPECT_TRUE(UserDefaults("big.settings").dictionaryRepresentation().empty());
  EXPECT_EQ(fs::file_size(big.string() + ".damaged"), kMaxSettingsBytes + 1);

  // A FIFO or a link to a device is neither waited on nor moved.
  for (Put put : {Put::Fifo, Put::LinkToZero}) {
    const std::string domain = std::string("odd.settings.") + (put == Put::Fifo ? "fifo" : "zero");
    const fs::path odd = places::userDefaultsDirectory() + "/" + domain + ".plist";
    place(put, odd, odd.string() + ".victim");
    UserDefaults::resetStandardUserDefaults();
    ASSERT_TRUE(endsSoon([&] { EXPECT_TRUE(UserDefaults(domain).dictionaryRepresentation().empty()); }))
        << describe(put);
    EXPECT_TRUE(entryAt(odd.string()).isTaken()) << describe(put);
    EXPECT_TRUE(damagedCopies(odd).empty()) << describe(put);
  }
}
