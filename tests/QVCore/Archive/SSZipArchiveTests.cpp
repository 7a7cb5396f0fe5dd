#include "QVCore/Archive/SSZipArchive.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "QVCore/Archive/NSData+SSZipArchive.h"
#include "QVCore/Archive/ZipTestSupport.h"
#include "common/TestSupport.h"

namespace fs = std::filesystem;
using ziptest::LinkEntry;
using ziptest::makeArchiveWithLinks;
using ziptest::readText;
using ziptest::writeText;

namespace {

fs::path fixture(const std::string& name) { return solvane::test::dataDir() / "archive" / name; }

time_t localTime(int year, int month, int day, int hour, int minute, int second) {
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  tm.tm_isdst = -1;
  return std::mktime(&tm);
}

void setMTime(const fs::path& path, time_t t) {
  struct timespec times[2] = {{0, UTIME_OMIT}, {t, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0);
}

time_t mtimeOf(const fs::path& path) {
  struct stat st {};
  ::lstat(path.c_str(), &st);
  return st.st_mtime;
}

mode_t modeOf(const fs::path& path) {
  struct stat st {};
  ::lstat(path.c_str(), &st);
  return st.st_mode & 07777;
}

qv::Bytes bytes(const std::string& s) { return qv::Bytes(s.begin(), s.end()); }

// An archive of data entries, name → content; names ending in "/" are folders.
std::string makeArchive(const fs::path& path, const std::vector<std::pair<std::string, std::string>>& entries,
                        const SSZipArchive::Password& password = std::nullopt, bool aes = true, int level = -1) {
  SSZipArchive zip(path.string());
  EXPECT_TRUE(zip.open());
  for (const auto& [name, content] : entries) EXPECT_TRUE(zip.writeData(bytes(content), name, level, password, aes));
  EXPECT_TRUE(zip.close());
  return path.string();
}

struct LimitsGuard {
  SSZipExpansionLimits saved = SSZipArchive::expansionLimits();
  explicit LimitsGuard(SSZipExpansionLimits limits) { SSZipArchive::setExpansionLimits(limits); }
  ~LimitsGuard() { SSZipArchive::setExpansionLimits(saved); }
};

}  // namespace

TEST(SSZipArchive, FolderRoundTripKeepsContentDatesPermissionsAndEmptyFolders) {
  fs::path dir = solvane::test::makeTempDir("zip-roundtrip");
  fs::path src = dir / "src";
  writeText(src / "a.txt", "alpha");
  writeText(src / "sub" / "b.sh", "#!/bin/sh\n");
  fs::create_directories(src / "empty");
  fs::permissions(src / "a.txt", fs::perms(0640));
  fs::permissions(src / "sub" / "b.sh", fs::perms(0755));
  const time_t fileTime = localTime(2021, 3, 4, 5, 6, 8);
  const time_t folderTime = localTime(2020, 7, 8, 9, 10, 12);
  setMTime(src / "a.txt", fileTime);
  setMTime(src / "sub" / "b.sh", fileTime);
  setMTime(src / "empty", folderTime);

  std::vector<std::pair<uint64_t, uint64_t>> progress;
  ASSERT_TRUE(SSZipArchive::createZipFileAtPath((dir / "a.zip").string(), src.string(), false, std::nullopt,
                                                [&](uint64_t n, uint64_t total) { progress.emplace_back(n, total); }));
  EXPECT_EQ(progress.size(), 4u);  // a.txt, empty, sub, sub/b.sh
  EXPECT_EQ(progress.back(), std::make_pair(uint64_t(4), uint64_t(4)));

  fs::path out = dir / "out";
  // Only the empty folder gets an entry of its own.
  EXPECT_EQ(ziptest::unzippedNames((dir / "a.zip").string(), out.string()),
            (std::vector<std::string>{"a.txt", "empty/", "sub/b.sh"}));
  EXPECT_EQ(readText(out / "a.txt"), "alpha");
  EXPECT_EQ(modeOf(out / "a.txt"), mode_t(0640));
  EXPECT_EQ(modeOf(out / "sub" / "b.sh"), mode_t(0755));
  EXPECT_EQ(mtimeOf(out / "a.txt"), fileTime);
  EXPECT_EQ(mtimeOf(out / "sub" / "b.sh"), fileTime);
  EXPECT_TRUE(fs::is_directory(out / "empty"));
  EXPECT_EQ(mtimeOf(out / "empty"), folderTime);

  ASSERT_TRUE(SSZipArchive::createZipFileAtPath((dir / "b.zip").string(), src.string(), true));
  EXPECT_EQ(ziptest::unzippedNames((dir / "b.zip").string(), (dir / "out2").string()),
            (std::vector<std::string>{"src/a.txt", "src/empty/", "src/sub/b.sh"}));
}

TEST(SSZipArchive, CreatesArchivesFromFileLists) {
  fs::path dir = solvane::test::makeTempDir("zip-files");
  writeText(dir / "one.txt", "1");
  writeText(dir / "deep" / "two.txt", "2");
  const std::string zip = (dir / "files.zip").string();
  ASSERT_TRUE(
      SSZipArchive::createZipFileAtPath(zip, {(dir / "one.txt").string(), (dir / "deep" / "two.txt").string()}));
  EXPECT_EQ(ziptest::unzippedNames(zip, (dir / "out").string()), (std::vector<std::string>{"one.txt", "two.txt"}));
  // A missing file fails the whole call; the others are still added.
  EXPECT_FALSE(SSZipArchive::createZipFileAtPath(zip, {(dir / "one.txt").string(), (dir / "missing.txt").string()}));
}

TEST(SSZipArchive, EntryNamesAreDecodedAndSkipped) {
  fs::path dir = solvane::test::makeTempDir("zip-names");
  const std::string zip = makeArchive(dir / "names.zip", {{"__MACOSX/._a.txt", "resource fork"},
                                                          {"a.txt", "a"},
                                                          {"dir\\file.txt", "backslash"},
                                                          {"\xff\xfe"
                                                           "ab.txt",
                                                           "latin"},
                                                          {"", "unnamed"},
                                                          {"plain/", ""}});
  fs::path out = dir / "out";
  ASSERT_TRUE(SSZipArchive::unzipFileAtPath(zip, out.string()));
  EXPECT_FALSE(fs::exists(out / "__MACOSX"));
  EXPECT_EQ(readText(out / "a.txt"), "a");
  EXPECT_EQ(readText(out / "dir" / "file.txt"), "backslash");
  EXPECT_EQ(readText(out / "FFFE61622E747874"), "latin");
  EXPECT_EQ(readText(out / "4"), "unnamed");
  // A folder entry without POSIX permissions stays usable by its owner.
  ASSERT_TRUE(fs::is_directory(out / "plain"));
  EXPECT_EQ(modeOf(out / "plain") & 0700, mode_t(0700));
  EXPECT_EQ(SSZipArchive::filenameStringWithCString("caf\xc3\xa9", 5), "caf\xc3\xa9");
  EXPECT_EQ(SSZipArchive::filenameStringWithCString("\xc0\xaf", 2), "C0AF");  // overlong "/" is not UTF-8
}

namespace {
struct RecordingDelegate : SSZipArchiveDelegate {
  std::vector<std::string> events;
  bool implementsFileInfoForm = true;
  int64_t cancelAt = -1;
  void zipArchiveWillUnzipArchiveAtPath(const std::string&, const SSZipGlobalInfo& info) override {
    events.push_back("willArchive " + std::to_string(info.numberEntry));
  }
  std::optional<bool> zipArchiveShouldUnzipFileAtIndex(int64_t i, int64_t, const std::string&,
                                                       const SSZipFileInfo&) override {
    events.push_back("should " + std::to_string(i));
    return i != cancelAt;
  }
  void zipArchiveWillUnzipFileAtIndex(int64_t i, int64_t, const std::string&, const SSZipFileInfo&) override {
    events.push_back("will " + std::to_string(i));
  }
  bool zipArchiveDidUnzipFileAtIndex(int64_t i, int64_t, const std::string&, const SSZipFileInfo&) override {
    if (!implementsFileInfoForm) return false;
    events.push_back("did " + std::to_string(i));
    return true;
  }
  void zipArchiveDidUnzipFileAtIndexTotalFilesArchivePathUnzippedFilePath(int64_t i, int64_t, const std::string&,
                                                                          const std::string& path) override {
    events.push_back("didPath " + std::to_string(i) + " " + fs::path(path).filename().string());
  }
  void zipArchiveProgressEvent(uint64_t loaded, uint64_t total) override {
    events.push_back(loaded == total ? "progress end" : loaded == 0 ? "progress 0" : "progress");
  }
  void zipArchiveDidUnzipArchiveAtPath(const std::string&, const SSZipGlobalInfo&, const std::string&) override {
    events.push_back("didArchive");
  }
};
}  // namespace

TEST(SSZipArchive, DelegateHearsEveryStepAndCanCancel) {
  fs::path dir = solvane::test::makeTempDir("zip-delegate");
  const std::string zip = makeArchive(dir / "d.zip", {{"x.txt", "x"}, {"y.txt", "y"}});
  RecordingDelegate full;
  ASSERT_TRUE(SSZipArchive::unzipFileAtPath(zip, (dir / "out").string(), &full));
  EXPECT_EQ(full.events,
            (std::vector<std::string>{"willArchive 2", "progress 0", "should 0", "will 0", "progress", "did 0",
                                      "should 1", "will 1", "progress", "did 1", "didArchive", "progress end"}));

  RecordingDelegate pathForm;
  pathForm.implementsFileInfoForm = false;
  ASSERT_TRUE(SSZipArchive::unzipFileAtPath(zip, (dir / "out").string(), &pathForm));
  EXPECT_EQ(pathForm.events[5], "didPath 0 x.txt");

  RecordingDelegate canceling;
  canceling.cancelAt = 1;
  qv::Error error;
  bool completed = false;
  bool ok = SSZipArchive::unzipFileAtPath(zip, (dir / "out3").string(), true, true, std::nullopt, &error, &canceling,
                                          nullptr, [&](const std::string&, bool succeeded, const qv::Error* e) {
                                            completed = true;
                                            EXPECT_FALSE(succeeded);
                                            EXPECT_EQ(e, nullptr);
                                          });
  EXPECT_FALSE(ok);
  EXPECT_TRUE(completed);
  EXPECT_EQ(error.code, 0);  // a cancelled unzip is no error
  EXPECT_EQ(canceling.events.back(), "should 1");
  EXPECT_TRUE(fs::exists(dir / "out3" / "x.txt"));
  EXPECT_FALSE(fs::exists(dir / "out3" / "y.txt"));
}

TEST(SSZipArchive, OverwriteOffLeavesExistingFilesAlone) {
  fs::path dir = solvane::test::makeTempDir("zip-overwrite");
  fs::path src = dir / "src";
  writeText(src / "keep.txt", "new");
  fs::create_directories(src / "folder");
  SSZipArchive writer((dir / "o.zip").string());
  ASSERT_TRUE(writer.open());
  ASSERT_TRUE(writer.writeFileAtPath((src / "keep.txt").string(), "keep.txt", std::nullopt));
  ASSERT_TRUE(writer.writeFolderAtPath((src / "folder").string(), "folder", std::nullopt));
  ASSERT_TRUE(writer.close());

  fs::path out = dir / "out";
  writeText(out / "keep.txt", "old");
  fs::create_directories(out / "folder");
  const time_t oldTime = localTime(2001, 2, 3, 4, 5, 6);
  setMTime(out / "keep.txt", oldTime);
  RecordingDelegate delegate;
  delegate.implementsFileInfoForm = false;
  qv::Error error;
  ASSERT_TRUE(
      SSZipArchive::unzipFileAtPath((dir / "o.zip").string(), out.string(), false, std::nullopt, &error, &delegate));
  EXPECT_EQ(readText(out / "keep.txt"), "old");
  EXPECT_EQ(mtimeOf(out / "keep.txt"), oldTime);
  std::vector<std::string> did;
  for (const auto& e : delegate.events)
    if (e.rfind("didPath", 0) == 0) did.push_back(e);
  EXPECT_EQ(did, std::vector<std::string>{"didPath 1 folder"});

  ASSERT_TRUE(SSZipArchive::unzipFileAtPath((dir / "o.zip").string(), out.string(), true, std::nullopt, &error));
  EXPECT_EQ(readText(out / "keep.txt"), "new");
}

TEST(SSZipArchive, NestedArchivesExpandOnlyWhenAsked) {
  fs::path dir = solvane::test::makeTempDir("zip-nested");
  makeArchive(dir / "inner.zip", {{"inner.txt", "inside"}});
  SSZipArchive outer((dir / "outer.zip").string());
  ASSERT_TRUE(outer.open());
  ASSERT_TRUE(outer.writeFileAtPath((dir / "inner.zip").string(), "pack/Inner.ZIP", std::nullopt));
  ASSERT_TRUE(outer.writeData(bytes("top"), "top.txt", std::nullopt));
  ASSERT_TRUE(outer.close());
  const std::string zip = (dir / "outer.zip").string();

  fs::path level1 = dir / "level1";
  ASSERT_TRUE(SSZipArchive::unzipFileAtPath(zip, level1.string(), true, true, 1, std::nullopt, nullptr, nullptr,
                                            nullptr, nullptr));
  EXPECT_EQ(readText(level1 / "pack" / "inner.txt"), "inside");
  EXPECT_FALSE(fs::exists(level1 / "pack" / "Inner.ZIP"));
  EXPECT_EQ(readText(level1 / "top.txt"), "top");

  fs::path level0 = dir / "level0";
  ASSERT_TRUE(SSZipArchive::unzipFileAtPath(zip, level0.string(), true, true, 0, std::nullopt, nullptr, nullptr,
                                            nullptr, nullptr));
  EXPECT_TRUE(fs::is_regular_file(level0 / "pack" / "Inner.ZIP"));
  EXPECT_FALSE(fs::exists(level0 / "pack" / "inner.txt"));
}

TEST(SSZipArchive, MSDOSDatesConvertInLocalTime) {
  const time_t t = time_t(SSZipArchive::dateWithMSDOSFormat(0x4A2B5C3Du).unixTime());
  std::tm tm{};
  localtime_r(&t, &tm);
  EXPECT_EQ(tm.tm_year + 1900, 2017);
  EXPECT_EQ(tm.tm_mon + 1, 1);
  EXPECT_EQ(tm.tm_mday, 11);
  EXPECT_EQ(tm.tm_hour, 11);
  EXPECT_EQ(tm.tm_min, 33);
  EXPECT_EQ(tm.tm_sec, 58);
  EXPECT_EQ(SSZipArchive::msdosFormatWithDate(qv::Date::fromUnixTime(double(t))), 0x4A2B5C3Du);
  // Seconds are stored halved: an odd second comes back one lower.
  const time_t odd = localTime(2017, 1, 11, 11, 33, 59);
  EXPECT_EQ(SSZipArchive::msdosFormatWithDate(qv::Date::fromUnixTime(double(odd))), 0x4A2B5C3Du);
}

TEST(SSZipArchive, PasswordsProtectTraditionalAndAesEntries) {
  fs::path dir = solvane::test::makeTempDir("zip-password");
  writeText(dir / "big.txt", std::string(100000, 'q') + "end");
  for (bool aes : {false, true}) {
    SCOPED_TRACE(aes ? "AES" : "traditional");
    const std::string zip = (dir / (aes ? "aes.zip" : "trad.zip")).string();
    SSZipArchive writer(zip);
    ASSERT_TRUE(writer.open());
    ASSERT_TRUE(writer.writeData(bytes("hello secret"), "small.txt", -1, "pw-1", aes));
    ASSERT_TRUE(writer.writeFileAtPath((dir / "big.txt").string(), std::nullopt, 9, "pw-1", aes));
    ASSERT_TRUE(writer.writeData(bytes(""), "empty.txt", -1, "pw-1", aes));
    ASSERT_TRUE(writer.close());

    EXPECT_TRUE(SSZipArchive::isFilePasswordProtectedAtPath(zip));
    qv::Error error(SSZipArchiveErrorDomain, 99);
    EXPECT_TRUE(SSZipArchive::isPasswordValidForArchiveAtPath(zip, "pw-1", &error));
    EXPECT_FALSE(SSZipArchive::isPasswordValidForArchiveAtPath(zip, "pw-2", &error));
    EXPECT_EQ(error.code, 0);  // a wrong password is an answer, not an error

    fs::path out = dir / (aes ? "out-aes" : "out-trad");
    ASSERT_TRUE(SSZipArchive::unzipFileAtPath(zip, out.string(), true, "pw-1", &error));
    EXPECT_EQ(readText(out / "small.txt"), "hello secret");
    EXPECT_EQ(readText(out / "big.txt"), readText(dir / "big.txt"));
    EXPECT_EQ(readText(out / "empty.txt"), "");

    // A wrong password is caught by the password check (-2) or, when a random header passes
    // that one- or two-byte check, by the content checks (-3, -4); no password is always -2.
    EXPECT_FALSE(SSZipArchive::unzipFileAtPath(zip, (dir / "out-wrong").string(), true, "nope", &error));
    EXPECT_TRUE(error.code == SSZipArchiveErrorCodeFailedOpenFileInZip ||
                error.code == SSZipArchiveErrorCodeFileInfoNotLoadable ||
                error.code == SSZipArchiveErrorCodeFileContentNotReadable)
        << error.code;
    EXPECT_FALSE(SSZipArchive::unzipFileAtPath(zip, (dir / "out-none").string(), true, std::nullopt, &error));
    EXPECT_EQ(error.code, SSZipArchiveErrorCodeFailedOpenFileInZip);
    EXPECT_EQ(error.description, "failed to open file in zip file");
  }
  const std::string plain = makeArchive(dir / "plain.zip", {{"p.txt", "p"}});
  const std::string empty = makeArchive(dir / "empty.zip", {});
  for (const std::string& zip : {plain, empty}) {
    EXPECT_FALSE(SSZipArchive::isFilePasswordProtectedAtPath(zip));
    EXPECT_TRUE(SSZipArchive::isPasswordValidForArchiveAtPath(zip, "whatever", nullptr));
  }
  EXPECT_TRUE(SSZipArchive::unzipFileAtPath(empty, (dir / "out-empty").string()));
}

TEST(SSZipArchive, OpensEncryptedArchivesMadeByOtherTools) {
  for (const char* name : {"aes-7z.zip", "zipcrypto-infozip.zip"}) {
    SCOPED_TRACE(name);
    fs::path dir = solvane::test::makeTempDir("zip-foreign");
    const std::string zip = fixture(name).string();
    EXPECT_TRUE(SSZipArchive::isFilePasswordProtectedAtPath(zip));
    EXPECT_TRUE(SSZipArchive::isPasswordValidForArchiveAtPath(zip, "Solvane-42", nullptr));
    EXPECT_FALSE(SSZipArchive::isPasswordValidForArchiveAtPath(zip, "Solvane-43", nullptr));
    qv::Error error;
    ASSERT_TRUE(SSZipArchive::unzipFileAtPath(zip, (dir / "out").string(), true, "Solvane-42", &error))
        << error.description;
    EXPECT_EQ(readText(dir / "out" / "secret.txt"), "Solvane preset pack\n");
    EXPECT_EQ(readText(dir / "out" / "docs" / "notes.txt"), "second file\n");
    EXPECT_EQ(mtimeOf(dir / "out" / "secret.txt"), localTime(2019, 6, 15, 10, 20, 30));
    EXPECT_FALSE(SSZipArchive::unzipFileAtPath(zip, (dir / "wrong").string(), true, "Solvane-43", &error));
    EXPECT_EQ(error.code, SSZipArchiveErrorCodeFailedOpenFileInZip);
    EXPECT_FALSE(fs::exists(dir / "wrong" / "secret.txt"));
  }
}

TEST(SSZipArchive, DamagedEntriesFailTheirChecks) {
  fs::path dir = solvane::test::makeTempDir("zip-damaged");
  const std::string content(3000, 'Z');
  struct Case {
    const char* name;
    SSZipArchive::Password password;
    bool aes;
  };
  for (const Case& c :
       {Case{"plain", std::nullopt, false}, Case{"traditional", "pw", false}, Case{"aes", "pw", true}}) {
    SCOPED_TRACE(c.name);
    const std::string zip =
        makeArchive(dir / (std::string(c.name) + ".zip"), {{"z.txt", content}}, c.password, c.aes, 0);
    // Flip one byte in the middle of the stored data (local header, name, and for AES the
    // extra field, salt and verifier come first).
    std::fstream f(zip, std::ios::in | std::ios::out | std::ios::binary);
    const std::streamoff at = 30 + 5 + (c.aes ? 11 + 18 : 0) + 1500;
    f.seekg(at);
    char b = 0;
    f.read(&b, 1);
    b = char(b ^ 0x01);
    f.seekp(at);
    f.write(&b, 1);
    f.close();
    qv::Error error;
    EXPECT_FALSE(SSZipArchive::unzipFileAtPath(zip, (dir / c.name).string(), true, c.password, &error));
    EXPECT_EQ(error.code, SSZipArchiveErrorCodeFileInfoNotLoadable);
    EXPECT_EQ(error.description, "crc check failed for file");
  }
}

TEST(SSZipArchive, RefusesEntriesThatLeaveTheDestination) {
  ::unlink("/tmp/solvane-absolute-evil.txt");
  for (const char* name : {"zip-slip.zip", "absolute-path.zip", "symlink-escape.zip"}) {
    SCOPED_TRACE(name);
    fs::path dir = solvane::test::makeTempDir("zip-unsafe");
    fs::path dest = dir / "a" / "dest";
    qv::Error error;
    EXPECT_FALSE(SSZipArchive::unzipFileAtPath(fixture(name).string(), dest.string(), true, std::nullopt, &error));
    EXPECT_EQ(error.domain, SSZipArchiveErrorDomain);
    EXPECT_EQ(error.code, SSZipArchiveErrorCodeUnsafeEntry);
    EXPECT_FALSE(fs::exists(dest)) << "a refused archive leaves nothing, not even its safe entries";
    for (const auto& e : fs::recursive_directory_iterator(dir)) {
      const std::string p = e.path().string();
      EXPECT_TRUE(e.is_directory() || p.rfind(dest.string() + "/", 0) == 0) << "written outside: " << p;
    }
  }
  EXPECT_FALSE(fs::exists("/tmp/solvane-absolute-evil.txt"));
}

// Links are judged with the whole archive out: a link that looked inside when it was made can
// leave once a later link exists. Callers that need no links refuse them all. A refused archive
// leaves nothing behind.
TEST(SSZipArchive, LinksAreCheckedOnceTheWholeArchiveIsOut) {
  const struct {
    const char* what;
    std::vector<LinkEntry> entries;
    bool links;
    bool succeeds;
  } cases[] = {
      {"a later link turns an earlier one outward",
       {{"good.txt", "good"}, {"a", "s/../outside.txt", true}, {"s", ".", true}},
       true,
       false},
      {"a link through a folder link made after it",
       {{"d", "s/../", true}, {"s", ".", true}, {"good.txt", "good"}},
       true,
       false},
      {"a link that stays inside", {{"inside/file.txt", "inside"}, {"shortcut", "inside/file.txt", true}}, true, true},
      {"no links wanted", {{"inside/file.txt", "inside"}, {"shortcut", "inside/file.txt", true}}, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const fs::path dir = solvane::test::makeTempDir("zip-late-links");
    writeText(dir / "outside.txt", "precious");
    const std::string zip = makeArchiveWithLinks(dir / "l.zip", c.entries);
    const fs::path dest = dir / "dest";
    qv::Error error;
    EXPECT_EQ(SSZipArchive::unzipFileAtPath(zip, dest.string(), true, std::nullopt, &error, c.links), c.succeeds);
    EXPECT_EQ(readText(dir / "outside.txt"), "precious");
    if (c.succeeds) {
      ASSERT_TRUE(fs::is_symlink(dest / "shortcut"));
      EXPECT_EQ(readText(dest / "shortcut"), "inside");
    } else {
      EXPECT_EQ(error.code, SSZipArchiveErrorCodeUnsafeEntry);
      EXPECT_FALSE(fs::exists(fs::symlink_status(dest))) << "nothing is left";
    }
  }
}

TEST(SSZipArchive, NeverWritesThroughExistingLinks) {
  fs::path dir = solvane::test::makeTempDir("zip-existing-links");
  fs::path outside = dir / "outside";
  writeText(outside / "target.txt", "precious");
  fs::path dest = dir / "dest";
  fs::create_directories(dest);
  fs::create_directory_symlink(outside, dest / "out");
  fs::create_symlink(outside / "target.txt", dest / "x.txt");
  const std::string zip = makeArchive(dir / "l.zip", {{"out/pwned.txt", "pwned"}, {"x.txt", "fresh"}});
  qv::Error error;
  EXPECT_FALSE(SSZipArchive::unzipFileAtPath(zip, dest.string(), true, std::nullopt, &error));
  EXPECT_EQ(error.code, SSZipArchiveErrorCodeUnsafeEntry);
  EXPECT_FALSE(fs::exists(outside / "pwned.txt"));
  EXPECT_EQ(readText(outside / "target.txt"), "precious");
  // The link was replaced by the file, and the failed unzip then took the file away again.
  EXPECT_FALSE(fs::exists(fs::symlink_status(dest / "x.txt")));
}

TEST(SSZipArchive, ExpansionLimitsStopZipBombs) {
  fs::path dir = solvane::test::makeTempDir("zip-bomb");
  const std::string big = makeArchive(dir / "big.zip", {{"zeros.bin", std::string(4 << 20, '\0')}});
  const std::string many = makeArchive(dir / "many.zip", {{"1", "1"}, {"2", "2"}, {"3", "3"}, {"4", "4"}});
  SSZipArchive outer((dir / "outer.zip").string());
  ASSERT_TRUE(outer.open());
  ASSERT_TRUE(outer.writeFileAtPath(big, "inner.zip", std::nullopt));
  ASSERT_TRUE(outer.close());
  LimitsGuard limits({3, 1 << 20});
  struct Case {
    std::string archive;
    int64_t nested;
  };
  for (const Case& c : {Case{big, 0}, Case{many, 0}, Case{(dir / "outer.zip").string(), 1}}) {
    SCOPED_TRACE(c.archive);
    fs::path out = solvane::test::makeTempDir("zip-bomb-out");
    qv::Error error;
    EXPECT_FALSE(SSZipArchive::unzipFileAtPath(c.archive, out.string(), true, true, c.nested, std::nullopt, &error,
                                               nullptr, nullptr, nullptr));
    EXPECT_EQ(error.code, SSZipArchiveErrorCodeExpansionLimit);
    EXPECT_FALSE(fs::exists(out / "zeros.bin"));
    EXPECT_FALSE(fs::exists(out / "1"));
  }
}

// One entry may not be larger than its limit (refused from its declared size, before anything is
// written) nor expand beyond the ratio; what the failed unzip wrote is removed, what was there stays.
TEST(SSZipArchive, EntrySizeAndRatioLimits) {
  std::string noise(8192, '\0');
  uint32_t x = 12345;
  for (char& ch : noise) ch = char((x = x * 1103515245u + 12345u) >> 24);
  const struct {
    const char* what;
    std::string content;
    SSZipExpansionLimits limits;
  } cases[] = {
      {"larger than an entry may be", noise, {100000, 1 << 30, 4096, 100, 1 << 20}},
      {"expands beyond the ratio", std::string(4 << 20, '\0'), {100000, 1 << 30, 1 << 30, 100, 1 << 20}},
      {"beyond the ratio of the whole unzip", std::string(3 << 20, '\0'), {100000, 1 << 30, 1 << 30, 600, 1 << 20}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const fs::path dir = solvane::test::makeTempDir("zip-entry-limits");
    const std::string zip = makeArchive(dir / "e.zip", {{"first.txt", "first"}, {"sub/big.bin", c.content}});
    writeText(dir / "out" / "mine.txt", "mine");
    LimitsGuard limits(c.limits);
    qv::Error error;
    EXPECT_FALSE(SSZipArchive::unzipFileAtPath(zip, (dir / "out").string(), true, std::nullopt, &error));
    EXPECT_EQ(error.code, SSZipArchiveErrorCodeExpansionLimit);
    EXPECT_FALSE(fs::exists(dir / "out" / "first.txt"));
    EXPECT_FALSE(fs::exists(dir / "out" / "sub"));
    EXPECT_EQ(readText(dir / "out" / "mine.txt"), "mine");
  }
}

TEST(SSZipArchive, ReportsFailuresInsteadOfSuccess) {
  fs::path dir = solvane::test::makeTempDir("zip-failures");
  qv::Error error;
  EXPECT_FALSE(SSZipArchive::unzipFileAtPath("", dir.string(), true, std::nullopt, &error));
  EXPECT_EQ(error.code, SSZipArchiveErrorCodeInvalidArguments);
  EXPECT_EQ(error.description, "received invalid argument(s)");
  EXPECT_FALSE(SSZipArchive::unzipFileAtPath((dir / "missing.zip").string(), dir.string(), true, std::nullopt, &error));
  EXPECT_EQ(error.code, SSZipArchiveErrorCodeFailedOpenZipFile);
  EXPECT_EQ(error.description, "failed to open zip file");
  EXPECT_EQ(error.userInfo["NSLocalizedFailureReason"].asString().rfind("no such file", 0), 0u);
  // An archive path that is a FIFO or a folder fails at once with its reason (minizip's fopen would
  // wait for a writer forever on the FIFO).
  ASSERT_EQ(::mkfifo((dir / "archive-pipe.zip").c_str(), 0600), 0);
  fs::create_directory(dir / "folder.zip");
  for (const char* name : {"archive-pipe.zip", "folder.zip"}) {
    SCOPED_TRACE(name);
    const std::string path = (dir / name).string();
    EXPECT_FALSE(SSZipArchive::unzipFileAtPath(path, (dir / "unpacked").string(), true, std::nullopt, &error));
    EXPECT_EQ(error.code, SSZipArchiveErrorCodeFailedOpenZipFile);
    EXPECT_NE(error.userInfo["NSLocalizedFailureReason"].asString(), "");
    EXPECT_FALSE(SSZipArchive::isFilePasswordProtectedAtPath(path));
    EXPECT_FALSE(SSZipArchive::isPasswordValidForArchiveAtPath(path, "x", &error));
  }

  // An output file that cannot be opened (a folder is in its way) fails the unzip.
  const std::string zip = makeArchive(dir / "f.zip", {{"blocked.txt", "x"}});
  fs::create_directories(dir / "out" / "blocked.txt");
  EXPECT_FALSE(SSZipArchive::unzipFileAtPath(zip, (dir / "out").string(), true, std::nullopt, &error));
  EXPECT_EQ(error.domain, "NSPOSIXErrorDomain");
  EXPECT_EQ(error.code, EISDIR);

  // Sources that cannot be read fail their entry, without blocking on a named pipe.
  ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
  SSZipArchive writer((dir / "w.zip").string());
  EXPECT_FALSE(writer.writeData(bytes("x"), "early.txt", std::nullopt));  // not open yet
  ASSERT_TRUE(writer.open());
  EXPECT_FALSE(writer.writeFile((dir / "pipe").string(), std::nullopt));
  EXPECT_FALSE(writer.writeFile((dir / "missing").string(), std::nullopt));
  EXPECT_FALSE(writer.writeFile(dir.string(), std::nullopt));
  EXPECT_TRUE(writer.close());
  EXPECT_FALSE(writer.close());
}

TEST(SSZipArchive, DataAdditions) {
  EXPECT_EQ(NSData_SSZipArchive::hexString({0x00, 0xab, 0x7f, 0xff}), "00AB7FFF");
  EXPECT_EQ(NSData_SSZipArchive::base64RFC4648({0xfb, 0xff}), "-_8=");
  EXPECT_EQ(NSData_SSZipArchive::base64RFC4648(bytes("any carnal pleas")), "YW55IGNhcm5hbCBwbGVhcw==");
}
