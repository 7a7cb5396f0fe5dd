#include "rova/codecs/SafeFile.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>
#include <vector>

#include "common/TestSupport.h"

using rova::codecs::checkWritable;
using rova::codecs::writeFileSafely;
namespace fs = std::filesystem;

namespace {

std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void put(const fs::path& p, const std::string& content) { std::ofstream(p, std::ios::binary) << content; }

std::set<std::string> entries(const fs::path& dir) {
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
  return names;
}

mode_t modeOf(const fs::path& p) {
  struct stat st {};
  ::stat(p.c_str(), &st);
  return st.st_mode & 07777;
}

mode_t currentUmask() {
  const mode_t m = ::umask(022);
  ::umask(m);
  return m;
}

// Runs in a child: exits 0 when a write larger than the file-size limit fails with the reason.
void writeUnderFileSizeLimit(const fs::path& target) {
  std::signal(SIGXFSZ, SIG_IGN);
  const rlimit limit{4096, 4096};
  ::setrlimit(RLIMIT_FSIZE, &limit);
  const std::string big(100000, 'x');
  std::string error;
  const bool ok = writeFileSafely(target.string(), big.data(), big.size(), &error);
  std::_Exit(!ok && error.find("too large") != std::string::npos ? 0 : 1);
}

}  // namespace

// Both kinds of temporary file: unnamed (O_TMPFILE) and named exclusively beside the target.
class SafeFileBothWays : public ::testing::TestWithParam<bool> {
 protected:
  rova::codecs::SafeWriteOptions options() const {
    rova::codecs::SafeWriteOptions o;
    o.unnamedTemporary = GetParam();
    return o;
  }
};
INSTANTIATE_TEST_SUITE_P(Temporary, SafeFileBothWays, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Unnamed" : "Named"; });

TEST(SafeFile, WritesNewFilesAndReplacesKeepingPermissions) {
  const fs::path dir = solvane::test::makeTempDir("safe-write");
  const fs::path fresh = dir / "fresh.jpg";
  std::string error;
  ASSERT_TRUE(writeFileSafely(fresh.string(), "abc", 3, &error)) << error;
  EXPECT_EQ(slurp(fresh), "abc");
  EXPECT_EQ(modeOf(fresh), 0666 & ~currentUmask());

  for (mode_t mode : {mode_t(0600), mode_t(0640), mode_t(0444)}) {
    SCOPED_TRACE(mode);
    const fs::path target = dir / "private.png";
    fs::remove(target);
    put(target, "old content");
    ASSERT_EQ(::chmod(target.c_str(), mode), 0);
    ASSERT_TRUE(writeFileSafely(target.string(), "new", 3, &error)) << error;
    EXPECT_EQ(slurp(target), "new");
    EXPECT_EQ(modeOf(target), mode);
  }
  EXPECT_EQ(entries(dir), (std::set<std::string>{"fresh.jpg", "private.png"}));
}

TEST_P(SafeFileBothWays, NeverTouchesLinksOrForeignFilesBesideTheTarget) {
  const fs::path dir = solvane::test::makeTempDir("safe-links");
  const fs::path victim = dir / "victim.txt";
  put(victim, "precious");
  // Names an older writer used for its temporary files, planted as links and as the user's own files.
  const fs::path target = dir / "out.jpg";
  fs::create_symlink(victim, dir / "out.jpg.partial");
  fs::create_symlink(victim, dir / "out.jpg.tmp");
  put(dir / ".out.jpg.tmp", "user file");
  std::string error;
  ASSERT_TRUE(writeFileSafely(target.string(), "picture", 7, &error, options())) << error;
  EXPECT_EQ(slurp(target), "picture");
  EXPECT_EQ(slurp(victim), "precious");
  EXPECT_EQ(slurp(dir / ".out.jpg.tmp"), "user file");

  // A link at the target's own name is replaced by the file; what it points to stays.
  const fs::path linked = dir / "linked.jpg";
  fs::create_symlink(victim, linked);
  ASSERT_TRUE(writeFileSafely(linked.string(), "new", 3, &error, options())) << error;
  EXPECT_FALSE(fs::is_symlink(linked));
  EXPECT_EQ(slurp(linked), "new");
  EXPECT_EQ(slurp(victim), "precious");
  EXPECT_EQ(entries(dir).size(), 6u);
}

TEST(SafeFile, RefusesUnwritableTargetsWithTheirReasonAndWritesNothing) {
  const fs::path dir = solvane::test::makeTempDir("safe-refuse");
  put(dir / "plain", "x");
  fs::create_directory(dir / "folder");
  ASSERT_EQ(::mkfifo((dir / "pipe.jpg").c_str(), 0600), 0);
  fs::create_directory(dir / "locked");
  ::chmod((dir / "locked").c_str(), 0500);
  const bool root = ::geteuid() == 0;
  struct Case {
    std::string path, reason;
  } cases[] = {
      {(dir / "missing" / "out.jpg").string(), "does not exist"},
      {(dir / "plain" / "out.jpg").string(), "is not a folder"},
      {(dir / "folder").string(), "a folder has that name"},
      {(dir / "folder/").string(), "no file name"},
      {(dir / "pipe.jpg").string(), "not a regular file"},
      {(dir / "locked" / "out.jpg").string(), "not writable"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    if (root && c.reason == "not writable") continue;  // root writes anywhere
    std::string error;
    EXPECT_FALSE(checkWritable(c.path, &error));
    EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    error.clear();
    EXPECT_FALSE(writeFileSafely(c.path, "x", 1, &error));
    EXPECT_NE(error.find(c.reason), std::string::npos) << error;
  }
  EXPECT_EQ(entries(dir), (std::set<std::string>{"plain", "folder", "pipe.jpg", "locked"}));
  EXPECT_TRUE(entries(dir / "folder").empty());
  ::chmod((dir / "locked").c_str(), 0700);
  EXPECT_TRUE(entries(dir / "locked").empty());

  // A missing folder is made only when asked for.
  std::string error;
  rova::codecs::SafeWriteOptions make;
  make.createFolder = true;
  EXPECT_TRUE(writeFileSafely((dir / "new" / "sub" / "out.jpg").string(), "x", 1, &error, make)) << error;
}

TEST_P(SafeFileBothWays, AFailedWriteLeavesTheTargetAndNoTemporaryFile) {
  const fs::path dir = solvane::test::makeTempDir("safe-fail");
  const fs::path target = dir / "photo.jpg";
  put(target, "original");
  std::string error;
  // The writer gives up, throws, or writes part and then gives up.
  EXPECT_FALSE(writeFileSafely(
      target.string(),
      [](FILE* f, std::string* why) {
        std::fputs("half", f);
        *why = "encoder failed";
        return false;
      },
      &error, options()));
  EXPECT_NE(error.find("encoder failed"), std::string::npos) << error;
  EXPECT_FALSE(writeFileSafely(
      target.string(), [](FILE*, std::string*) -> bool { throw std::runtime_error("thrown"); }, &error, options()));
  EXPECT_NE(error.find("thrown"), std::string::npos) << error;
  EXPECT_EQ(slurp(target), "original");
  EXPECT_EQ(entries(dir), std::set<std::string>{"photo.jpg"});
  // A success in the same folder replaces the file, with nothing beside it.
  ASSERT_TRUE(writeFileSafely(target.string(), "new", 3, &error, options())) << error;
  EXPECT_EQ(slurp(target), "new");
  EXPECT_EQ(entries(dir), std::set<std::string>{"photo.jpg"});
}

// A process killed in the middle of a write (kill -9) never touches the target; with an unnamed
// temporary file it leaves nothing behind at all.
TEST_P(SafeFileBothWays, AKilledWriteNeverTouchesTheTarget) {
  const fs::path dir = solvane::test::makeTempDir("safe-kill");
  const fs::path target = dir / "photo.jpg";
  put(target, "original");
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const auto o = options();
  EXPECT_EXIT(
      {
        std::string error;
        writeFileSafely(
            target.string(),
            [](FILE* f, std::string*) {
              std::fputs("half of a picture", f);
              std::fflush(f);
              std::raise(SIGKILL);
              return true;
            },
            &error, o);
      },
      ::testing::KilledBySignal(SIGKILL), "");
  EXPECT_EQ(slurp(target), "original");
  if (GetParam()) {
    EXPECT_EQ(entries(dir), std::set<std::string>{"photo.jpg"});
  }
}

// A full disk, made with a file-size limit in a child process: writes fail with EFBIG at the limit,
// as they would with ENOSPC. The original stays whole and no temporary file remains.
TEST(SafeFile, AFullDiskIsAnErrorThatKeepsTheOriginal) {
  const fs::path dir = solvane::test::makeTempDir("safe-full");
  const fs::path target = dir / "photo.jpg";
  put(target, "original");
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(writeUnderFileSizeLimit(target), ::testing::ExitedWithCode(0), "");
  EXPECT_EQ(slurp(target), "original");
  EXPECT_EQ(entries(dir), std::set<std::string>{"photo.jpg"});
}

// Writers racing on one name: each success puts that writer's whole content in place (the last
// rename wins), never a mix, and no temporary file is left.
TEST_P(SafeFileBothWays, ConcurrentWritersNeverMixContent) {
  const fs::path dir = solvane::test::makeTempDir("safe-race");
  const fs::path target = dir / "out.png";
  std::vector<std::thread> threads;
  std::atomic<int> failures{0};
  for (int t = 0; t < 6; ++t)
    threads.emplace_back([&, t, o = options()] {
      const std::string content(20000 + t, char('a' + t));
      for (int i = 0; i < 20; ++i) {
        std::string error;
        rova::codecs::SafeWriteOptions quick = o;
        quick.sync = false;
        if (!writeFileSafely(target.string(), content.data(), content.size(), &error, quick)) ++failures;
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(failures.load(), 0);
  const std::string last = slurp(target);
  ASSERT_GE(last.size(), 20000u);
  const int t = int(last.size() - 20000);
  EXPECT_EQ(last, std::string(20000 + t, char('a' + t)));
  EXPECT_EQ(entries(dir), std::set<std::string>{"out.png"});
}

TEST(SafeFile, ReadsOnlyRegularFilesWithinTheCapAndNeverBlocks) {
  const fs::path dir = solvane::test::makeTempDir("safe-read");
  put(dir / "small", "12345");
  put(dir / "empty", "");
  ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
  fs::create_directory(dir / "folder");
  fs::create_symlink(dir / "small", dir / "link");
  struct Case {
    std::string name;
    uint64_t cap;
    const char* reason;  // nullptr: reads
  } cases[] = {
      {"small", 5, nullptr},
      {"link", 100, nullptr},
      {"empty", 100, nullptr},
      {"small", 4, "larger than 4 bytes"},
      {"pipe", 100, "not a regular file"},
      {"folder", 100, "a folder, not a file"},
      {"missing", 100, "no such file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> bytes;
    std::string error;
    const bool ok = rova::codecs::readFileSafely((dir / c.name).string(), c.cap, bytes, &error);
    EXPECT_EQ(ok, c.reason == nullptr) << error;
    if (c.reason) {
      EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    }
    if (ok) {
      EXPECT_EQ(std::string(bytes.begin(), bytes.end()), c.name == "empty" ? "" : "12345");
    }
  }
  rova::codecs::ReadableFile file;
  std::string error;
  EXPECT_FALSE(file.open((dir / "empty").string(), &error));
  EXPECT_NE(error.find("empty file"), std::string::npos) << error;
}

// Not replacing: the file goes into place only while the name is free; one that is there stays and
// the write fails with the reason, leaving nothing beside it.
TEST_P(SafeFileBothWays, WithoutReplacingAnExistingFileIsKept) {
  const struct {
    bool existing, replace, written;
  } cases[] = {
      {false, false, true},
      {true, false, false},
      {true, true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "existing " << c.existing << ", replace " << c.replace);
    const fs::path dir = solvane::test::makeTempDir("safe-noreplace");
    const fs::path target = dir / "photo.jpg";
    if (c.existing) put(target, "theirs");
    auto o = options();
    o.replace = c.replace;
    std::string error;
    EXPECT_EQ(writeFileSafely(target.string(), "mine", 4, &error, o), c.written) << error;
    EXPECT_EQ(slurp(target), c.written ? "mine" : "theirs");
    if (!c.written) {
      EXPECT_NE(error.find("exists already"), std::string::npos) << error;
    }
    EXPECT_EQ(entries(dir), std::set<std::string>{"photo.jpg"});
  }
}

// Any path the system takes can be written: near PATH_MAX (the temporary file's own name would not
// fit as a path) and with a name near NAME_MAX.
TEST_P(SafeFileBothWays, LongTargetPathsAndNames) {
  const fs::path dir = solvane::test::makeTempDir("safe-long");
  fs::path deep = dir;
  while (deep.string().size() < 4090 - 200) deep /= std::string(200, 'd');
  fs::create_directories(deep);
  const std::string name(4090 - deep.string().size() - 1, 'p');
  const fs::path nearPathMax = deep / name;
  ASSERT_EQ(nearPathMax.string().size(), 4090u);
  const fs::path nearNameMax = dir / (std::string(250, 'n') + ".jpg");
  for (const fs::path& target : {nearPathMax, nearNameMax}) {
    std::string error;
    auto o = options();
    o.replace = false;
    EXPECT_TRUE(writeFileSafely(target.string(), "bytes", 5, &error, o)) << error;
    EXPECT_EQ(slurp(target), "bytes");
    EXPECT_EQ(entries(target.parent_path()).size(), target == nearPathMax ? 1u : 2u) << "nothing left beside it";
  }
}
