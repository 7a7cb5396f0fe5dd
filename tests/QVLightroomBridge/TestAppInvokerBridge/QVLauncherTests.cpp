// The real lookup and launch, with a fake application that records how it was started; and the
// launcher program itself, run as a host runs it.
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <future>
#include <map>
#include <sstream>

#include "LauncherTestSupport.h"
#include "QVLightroomBridge/TestAppInvokerBridge/QVAppBundle.h"
#include "QVLightroomBridge/TestAppInvokerBridge/QVLauncher.h"
#include "common/TestSupport.h"

extern char** environ;

namespace fs = std::filesystem;
using launcher_test::FakeApplication;
using launcher_test::ScopedEnvironment;
using Strings = std::vector<std::string>;

namespace {

const Strings kPluginFlags = {"-QVLightroomPluginOwner", "-QVPluginMode"};

TEST(QVLauncherLookup, FindsTheManifestByOverrideInstallPrefixOrDesktopEntry) {
  const fs::path root = solvane::test::makeTempDir("launcher-lookup");
  ScopedEnvironment world(launcher_test::closedWorld(root));
  const fs::path prefix = root / "prefix";
  launcher_test::writeManifest(prefix / "bin", "Com.Solvane.Brisko", "Solvane");
  fs::create_directories(prefix / "libexec");
  const fs::path other = root / "other";
  launcher_test::writeManifest(other, "com.solvane.other", "Solvane");

  // The launcher's own folder, then ../bin beside it; another application's manifest does not count.
  EXPECT_EQ(QVLauncher::targetedAppURLForLauncherIn((prefix / "bin").string()), (prefix / "bin").string());
  EXPECT_EQ(QVLauncher::targetedAppURLForLauncherIn((prefix / "libexec").string()), (prefix / "bin").string());
  EXPECT_EQ(QVLauncher::targetedAppURLForLauncherIn(other.string()), std::nullopt);
  EXPECT_EQ(QVLauncher::targetedAppURLForLauncherIn((root / "nowhere").string()), std::nullopt);

  // A desktop entry named after the identifier (in any case) whose program sits beside a manifest.
  const fs::path installed = root / "opt" / "solvane";
  launcher_test::writeManifest(installed, "com.solvane.brisko", "Solvane");
  std::ofstream(installed / "Solvane") << "#!/bin/sh\n";
  fs::create_directories(root / "data-dirs" / "applications");
  std::ofstream(root / "data-dirs" / "applications" / "COM.solvane.Brisko.desktop")
      << "[Desktop Entry]\nType=Application\nName=Solvane Brisko\nExec=\"" << (installed / "Solvane").string()
      << "\" %F\nNoDisplay=true\n";
  EXPECT_EQ(QVLauncher::targetedAppURLForLauncherIn((root / "nowhere").string()), installed.string());
  EXPECT_EQ(QVLauncher::targetedAppURLForLauncherIn((prefix / "bin").string()), (prefix / "bin").string());

  // The override is the only place looked at when set.
  {
    ScopedEnvironment override({{"SOLVANE_BRISKO_BUNDLE", other.string()}});
    EXPECT_EQ(QVLauncher::targetedAppURLForLauncherIn((prefix / "bin").string()), std::nullopt);
  }
  {
    ScopedEnvironment override({{"SOLVANE_BRISKO_BUNDLE", installed.string()}});
    EXPECT_EQ(QVLauncher::targetedAppURLForLauncherIn((root / "nowhere").string()), installed.string());
  }
}

class QVLauncherLaunchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = solvane::test::makeTempDir("launcher-launch");
    bundle_ = (root_ / "bundle").string();
    launcher_test::writeManifest(bundle_, "com.solvane.brisko", FakeApplication::program());
  }
  fs::path root_;
  std::string bundle_;
};

TEST_F(QVLauncherLaunchTest, ANormalLaunchStartsItsOwnSessionAndDoesNotWait) {
  FakeApplication fake(root_ / "fake");
  ScopedEnvironment env(fake.environment());
  std::ostringstream log;
  QVLauncher launcher(log);
  ASSERT_TRUE(launcher.launchApplicationAtURL(bundle_, {"a b", "-QVExportPresets", "c"}, false, false));
  ASSERT_TRUE(fake.waitForRecord());
  EXPECT_EQ(fake.arguments(), (Strings{"a b", "-QVExportPresets", "c"}));
  EXPECT_EQ(fake.pid(), launcher.application());
  EXPECT_EQ(fake.sessionId(), fake.pid());  // it leads a session of its own
  EXPECT_FALSE(fake.ended());               // returned while the program still runs
  fake.release();
  EXPECT_EQ(launcher_test::waitForChild(launcher.application()), 0);
  EXPECT_EQ(log.str(), "");
}

TEST_F(QVLauncherLaunchTest, ASilentLaunchIsAPlainChild) {
  FakeApplication fake(root_ / "fake");
  ScopedEnvironment env(fake.environment(/*gated=*/false));
  QVLauncher launcher;
  ASSERT_TRUE(launcher.launchApplicationAtURL(bundle_, {"x"}, true, true));
  EXPECT_TRUE(fake.ended());
  EXPECT_EQ(fake.arguments(), Strings{"x"});
  EXPECT_EQ(fake.sessionId(), ::getsid(0));
}

TEST_F(QVLauncherLaunchTest, WaitingReturnsOnlyOnceTheProgramHasEnded) {
  for (bool silent : {false, true}) {
    SCOPED_TRACE(silent ? "silent" : "normal");
    FakeApplication fake(root_ / (silent ? "silent" : "normal"));
    ScopedEnvironment env(fake.environment());
    QVLauncher launcher;
    auto launched =
        std::async(std::launch::async, [&] { return launcher.launchApplicationAtURL(bundle_, {"p"}, true, silent); });
    ASSERT_TRUE(fake.waitForRecord());
    EXPECT_EQ(launched.wait_for(std::chrono::seconds(0)), std::future_status::timeout);
    fake.release();
    EXPECT_TRUE(launched.get());
    EXPECT_TRUE(fake.ended());
  }
}

TEST_F(QVLauncherLaunchTest, AFolderWithoutAManifestOrAMissingProgramIsNotLaunched) {
  const fs::path broken = root_ / "broken";
  launcher_test::writeManifest(broken, "com.solvane.brisko", "missing-program");
  for (const std::string& url : {(root_ / "empty").string(), broken.string()}) {
    std::ostringstream log;
    QVLauncher launcher(log);
    EXPECT_FALSE(launcher.launchApplicationAtURL(url, {}, true, false));
    EXPECT_EQ(launcher.application(), 0);
    EXPECT_EQ(log.str().rfind("Error: Could not launch application: ", 0), 0u) << log.str();
  }
}

// ---- The program ----

struct ProgramRun {
  pid_t pid = 0;
  fs::path out, err;
  std::string read(const fs::path& path) const {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
};

ProgramRun startProgram(const fs::path& folder, const Strings& arguments) {
  ProgramRun run{0, folder / "stdout", folder / "stderr"};
  std::vector<std::string> words = {SOLVANE_LAUNCHER_PROGRAM};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (auto& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, run.out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, run.err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  EXPECT_EQ(posix_spawn(&run.pid, argv[0], &actions, nullptr, argv.data(), environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  return run;
}

class SolvaneBriskoBridgeTest : public QVLauncherLaunchTest {
 protected:
  void SetUp() override {
    QVLauncherLaunchTest::SetUp();
    // No display: an alert could never be answered here.
    auto values = launcher_test::closedWorld(root_);
    values.insert({{"DISPLAY", std::nullopt}, {"WAYLAND_DISPLAY", std::nullopt}, {"QT_QPA_PLATFORM", std::nullopt}});
    world_ = std::make_unique<ScopedEnvironment>(values);
  }
  void TearDown() override { world_.reset(); }
  std::unique_ptr<ScopedEnvironment> world_;
};

TEST_F(SolvaneBriskoBridgeTest, VersionWritesExactlyItsBytesAndStartsNothing) {
  FakeApplication fake(root_ / "fake");
  ScopedEnvironment env(fake.environment(false));
  ScopedEnvironment bundle({{"SOLVANE_BRISKO_BUNDLE", bundle_}});
  const auto run = startProgram(root_, {"in.jpg", "-QVVersion", "-QVWait"});
  EXPECT_EQ(launcher_test::waitForChild(run.pid), 0);
  EXPECT_EQ(run.read(run.out), "1.0.11");
  EXPECT_FALSE(fs::exists(root_ / "fake" / "record"));
}

TEST_F(SolvaneBriskoBridgeTest, WaitFlagHoldsTheLauncherUntilTheApplicationEnds) {
  ScopedEnvironment bundle({{"SOLVANE_BRISKO_BUNDLE", bundle_}});
  for (bool wait : {true, false}) {
    SCOPED_TRACE(wait ? "-QVWait" : "no wait");
    const fs::path folder = root_ / (wait ? "wait" : "nowait");
    FakeApplication fake(folder);
    ScopedEnvironment env(fake.environment());
    const auto run = startProgram(folder, wait ? Strings{"photo.jpg", "-QVWait"} : Strings{"photo.jpg"});
    ASSERT_TRUE(fake.waitForRecord());
    EXPECT_EQ(fake.arguments(), (Strings{"photo.jpg", "-QVLightroomPluginOwner", "-QVPluginMode"}));
    if (wait) {
      int status = 0;
      EXPECT_EQ(::waitpid(run.pid, &status, WNOHANG), 0);  // the gate still holds the application
      fake.release();
      EXPECT_EQ(launcher_test::waitForChild(run.pid), 0);
      EXPECT_TRUE(fake.ended());
    } else {
      EXPECT_EQ(launcher_test::waitForChild(run.pid), 0);  // ends while the application runs on
      EXPECT_FALSE(fake.ended());
      fake.release();
      EXPECT_TRUE(launcher_test::eventually([&] { return fake.ended(); }));
    }
    EXPECT_EQ(run.read(run.err), "");
  }
}

TEST_F(SolvaneBriskoBridgeTest, AMissingApplicationEndsWithZeroAndALine) {
  launcher_test::writeManifest(root_ / "other", "com.solvane.other", FakeApplication::program());
  FakeApplication fake(root_ / "fake");
  ScopedEnvironment env(fake.environment(false));
  for (const Strings& arguments : {Strings{"-QVExportPresets", "-QVAppBundlePath", (root_ / "other").string()},
                                   Strings{"x"}, Strings{"-QVAppBundlePath", (root_ / "none").string(), "-QVWait"}}) {
    const auto run = startProgram(root_, arguments);
    EXPECT_EQ(launcher_test::waitForChild(run.pid), 0);
    EXPECT_NE(run.read(run.err).find("Could not find Solvane Brisko on your computer."), std::string::npos);
  }
  EXPECT_FALSE(fs::exists(root_ / "fake" / "record"));
}

// Every hostile setting ends the launcher with 0 and a line naming what went wrong: a display that
// cannot be reached (Qt would abort), a FIFO where the desktop entry or the manifest is read (it
// would wait forever), a manifest padded far beyond any real one.
TEST_F(SolvaneBriskoBridgeTest, EveryPathEndsWithZeroAndItsReasonWhateverIsPlanted) {
  FakeApplication fake(root_ / "fake");
  ScopedEnvironment env(fake.environment(false));
  struct Case {
    const char* name;
    std::map<std::string, std::optional<std::string>> environment;
    std::function<Strings(const fs::path& dir)> plant;  // answers the launcher's arguments
    const char* says;
  } cases[] = {
      {"a display that cannot be reached",
       {{"DISPLAY", ":9999"}},
       [](const fs::path&) { return Strings{"x"}; },
       "the alert could not be shown"},
      {"a platform plug-in that cannot start",
       {{"QT_QPA_PLATFORM", "xcb"}, {"DISPLAY", ":9999"}},
       [](const fs::path&) { return Strings{"x"}; },
       "the alert could not be shown"},
      {"a FIFO as the desktop entry",
       {},
       [this](const fs::path&) {
         fs::create_directories(root_ / "data-home" / "applications");
         ::mkfifo((root_ / "data-home" / "applications" / "com.solvane.brisko.desktop").c_str(), 0600);
         return Strings{"-QVExportPresets", "x"};
       },
       "Could not find Solvane Brisko"},
      {"a FIFO as the manifest",
       {},
       [](const fs::path& dir) {
         fs::create_directories(dir / "bundle");
         ::mkfifo((dir / "bundle" / QVAppBundle::kManifestName).c_str(), 0600);
         return Strings{"-QVExportPresets", "-QVAppBundlePath", (dir / "bundle").string()};
       },
       "not a regular file"},
      {"a padded manifest",
       {},
       [](const fs::path& dir) {
         launcher_test::writeManifest(dir / "bundle", "com.solvane.brisko", FakeApplication::program());
         fs::resize_file(dir / "bundle" / QVAppBundle::kManifestName, 64u << 20);
         return Strings{"-QVExportPresets", "-QVAppBundlePath", (dir / "bundle").string()};
       },
       "larger than"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path dir = root_ / c.name;
    fs::create_directories(dir);
    ScopedEnvironment caseEnvironment(c.environment);
    const Strings arguments = c.plant(dir);
    const auto run = startProgram(dir, arguments);
    EXPECT_EQ(launcher_test::waitForChild(run.pid), 0);
    EXPECT_NE(run.read(run.err).find(c.says), std::string::npos) << run.read(run.err);
    fs::remove_all(root_ / "data-home" / "applications");
  }
  EXPECT_FALSE(fs::exists(root_ / "fake" / "record"));
}

}  // namespace
