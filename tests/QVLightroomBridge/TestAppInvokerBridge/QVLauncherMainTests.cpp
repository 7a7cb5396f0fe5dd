// The launcher's decisions with the launch, the alert and the lookup faked.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "LauncherTestSupport.h"
#include "QVLightroomBridge/TestAppInvokerBridge/QVLauncherMain.h"
#include "common/TestSupport.h"

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

namespace {

const std::string kOwner = "-QVLightroomPluginOwner";
const std::string kMode = "-QVPluginMode";

TEST(QVLauncherCommandLine, FlagsAndApplicationArguments) {
  struct Case {
    Strings arguments;
    Strings expected;  // before the two plug-in flags
    bool wait, silent, version;
    std::optional<std::string> bundle;
  };
  const std::vector<Case> cases = {
      {{}, {}, false, false, false, std::nullopt},
      {{"-QVWait", "a"}, {"a"}, true, false, false, std::nullopt},
      {{"x", "-QVAppBundlePath", "/b", "y"}, {"x", "y"}, false, false, false, "/b"},
      {{"-QVExportPresets", "p"}, {"-QVExportPresets", "p"}, false, true, false, std::nullopt},
      {{"c", "-QVWait", "a", "-QVExportPresets", "b"},
       {"c", "a", "-QVExportPresets", "b"},
       true,
       true,
       false,
       std::nullopt},
      // A trailing flag has no value: nothing is set, and the flag does not reach the application.
      {{"a", "-QVAppBundlePath"}, {"a"}, false, false, false, std::nullopt},
      {{"-QVAppBundlePath", "/one", "-QVAppBundlePath", "/two"}, {}, false, false, false, "/two"},
      // The value is not scanned: here it is a path, not a flag.
      {{"-QVAppBundlePath", "-QVWait"}, {}, false, false, false, "-QVWait"},
      {{"-qvwait", "-QVVERSION"}, {"-qvwait", "-QVVERSION"}, false, false, false, std::nullopt},
      {{"-QVVersion"}, {"-QVVersion"}, false, false, true, std::nullopt},
  };
  for (const auto& c : cases) {
    std::string line;
    for (const auto& a : c.arguments) line += a + " ";
    SCOPED_TRACE(line);
    const auto flags = QVLauncherCommandLine::scanFlags(c.arguments);
    EXPECT_EQ(flags.wait, c.wait);
    EXPECT_EQ(flags.silent, c.silent);
    EXPECT_EQ(flags.version, c.version);
    EXPECT_EQ(flags.appBundlePath, c.bundle);
    Strings expected = c.expected;
    expected.insert(expected.end(), {kOwner, kMode});
    EXPECT_EQ(QVLauncherCommandLine::applicationArguments(c.arguments), expected);
  }
}

struct Launch {
  std::string url;
  Strings arguments;
  bool wait, silent;
  bool operator==(const Launch&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Launch& l) {
  out << l.url << " [";
  for (const auto& a : l.arguments) out << a << " ";
  return out << "] wait " << l.wait << " silent " << l.silent;
}

class QVLauncherMainTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = solvane::test::makeTempDir("launcher-main");
    installed_ = (root_ / "installed").string();
    launcher_test::writeManifest(installed_, "com.solvane.brisko", "/opt/solvane/bin/Solvane");
    photoA_ = touch("a.jpg");
    photoB_ = touch("b.jpg");
  }

  std::string touch(const std::string& name) {
    std::ofstream(root_ / name) << "x";
    return (root_ / name).string();
  }

  std::string bundleWithIdentifier(const std::string& name, const std::string& identifier) {
    launcher_test::writeManifest(root_ / name, identifier, "Solvane");
    return (root_ / name).string();
  }

  int run(const Strings& arguments) {
    QVLauncherServices services;
    services.launch = [&](const std::string& url, const Strings& args, bool wait, bool silent) {
      launches_.push_back({url, args, wait, silent});
      return launchSucceeds_;
    };
    services.alert = [&](const std::string& title, const std::string& message) {
      alerts_.push_back(title + "|" + message);
    };
    services.targetedAppURL = [&] { return installedFound_ ? std::optional<std::string>(installed_) : std::nullopt; };
    services.out = &out_;
    services.err = &err_;
    return QVLauncherMain(arguments, services);
  }

  fs::path root_;
  std::string installed_, photoA_, photoB_;
  bool installedFound_ = true;
  bool launchSucceeds_ = true;
  std::vector<Launch> launches_;
  Strings alerts_;
  std::ostringstream out_, err_;
};

const std::string kMissing = "Error|Could not find Solvane Brisko on your computer.";

TEST_F(QVLauncherMainTest, VersionAnywherePrintsExactlyThatAndStartsNothing) {
  for (const Strings& arguments : {Strings{"-QVVersion"}, Strings{"-QVWait", "x", "-QVVersion"},
                                   Strings{photoA_, "-QVVersion"}, Strings{"-QVAppBundlePath", "/x", "-QVVersion"},
                                   Strings{"-QVVersion", "-QVExportPresets", "-QVAppBundlePath", "/nowhere"}}) {
    out_.str("");
    EXPECT_EQ(run(arguments), 0);
    EXPECT_EQ(out_.str(), "1.0.11");
  }
  EXPECT_TRUE(launches_.empty());
  EXPECT_TRUE(alerts_.empty());
  // Taken as the value of "-QVAppBundlePath", it is no flag: the folder is not an application.
  out_.str("");
  EXPECT_EQ(run({"-QVAppBundlePath", "-QVVersion"}), 0);
  EXPECT_EQ(out_.str(), "");
  EXPECT_EQ(alerts_, Strings{kMissing});
}

TEST_F(QVLauncherMainTest, FileListStartsOncePerFileWaitingForAllButTheLast) {
  EXPECT_EQ(run({photoA_, photoB_}), 0);
  EXPECT_EQ(launches_, (std::vector<Launch>{{installed_, {photoA_, kOwner, kMode}, true, false},
                                            {installed_, {photoB_, kOwner, kMode}, false, false}}));
  launches_.clear();
  EXPECT_EQ(run({photoB_}), 0);
  EXPECT_EQ(launches_, (std::vector<Launch>{{installed_, {photoB_, kOwner, kMode}, false, false}}));
  // A failed launch does not stop the others.
  launches_.clear();
  launchSucceeds_ = false;
  EXPECT_EQ(run({photoA_, photoB_}), 0);
  EXPECT_EQ(launches_.size(), 2u);
}

TEST_F(QVLauncherMainTest, FilesWithFlagsOrFoldersAreOneLaunchWithAllArguments) {
  EXPECT_EQ(run({photoA_, "-QVWait", photoB_}), 0);
  EXPECT_EQ(launches_, (std::vector<Launch>{{installed_, {photoA_, photoB_, kOwner, kMode}, true, false}}));
  launches_.clear();
  EXPECT_EQ(run({photoA_, root_.string()}), 0);
  EXPECT_EQ(launches_, (std::vector<Launch>{{installed_, {photoA_, root_.string(), kOwner, kMode}, false, false}}));
  launches_.clear();
  EXPECT_EQ(run({photoA_, (root_ / "gone.jpg").string()}), 0);
  EXPECT_EQ(launches_.size(), 1u);
  EXPECT_EQ(launches_[0].arguments.size(), 4u);
}

TEST_F(QVLauncherMainTest, FileListWithoutTheApplicationStartsNothing) {
  installedFound_ = false;
  EXPECT_EQ(run({photoA_, photoB_}), 0);
  EXPECT_TRUE(launches_.empty());
  EXPECT_TRUE(alerts_.empty());
  EXPECT_NE(err_.str().find("not installed"), std::string::npos);
}

TEST_F(QVLauncherMainTest, TheApplicationIsCheckedByItsIdentifierInAnyCase) {
  const std::string upper = bundleWithIdentifier("upper", "COM.SOLVANE.BRISKO");
  const std::string other = bundleWithIdentifier("other", "com.solvane.briskoo");
  const std::string empty = (root_ / "empty").string();
  fs::create_directories(empty);
  struct Case {
    Strings arguments;
    bool found, installed;
    std::string url;
  };
  const std::vector<Case> cases = {
      {{"-QVAppBundlePath", upper, "x"}, true, true, upper},
      {{"-QVAppBundlePath", other, "x"}, false, true, ""},
      {{"-QVAppBundlePath", empty, "x"}, false, true, ""},
      {{"-QVAppBundlePath", (root_ / "absent").string()}, false, true, ""},
      {{"x"}, true, true, installed_},
      {{"x"}, false, false, ""},
      // A trailing flag gives no path: the installed application is looked up.
      {{"x", "-QVAppBundlePath"}, true, true, installed_},
      {{"x", "-QVAppBundlePath"}, false, false, ""},
      // The last of two counts, either way round.
      {{"-QVAppBundlePath", other, "-QVAppBundlePath", upper}, true, true, upper},
      {{"-QVAppBundlePath", upper, "-QVAppBundlePath", other}, false, true, ""},
  };
  for (bool silent : {false, true}) {
    for (const auto& c : cases) {
      Strings arguments = c.arguments;
      if (silent) arguments.insert(arguments.begin(), "-QVExportPresets");
      std::string line;
      for (const auto& a : arguments) line += a + " ";
      SCOPED_TRACE(line + (c.installed ? "(installed)" : "(not installed)"));
      launches_.clear();
      alerts_.clear();
      err_.str("");
      installedFound_ = c.installed;
      EXPECT_EQ(run(arguments), 0);
      if (c.found) {
        ASSERT_EQ(launches_.size(), 1u);
        EXPECT_EQ(launches_[0].url, c.url);
        EXPECT_EQ(launches_[0].silent, silent);
        EXPECT_TRUE(alerts_.empty());
      } else {
        EXPECT_TRUE(launches_.empty());
        EXPECT_EQ(alerts_, silent ? Strings{} : Strings{kMissing});
        EXPECT_NE(err_.str().find("Could not find Solvane Brisko on your computer."), std::string::npos);
      }
    }
  }
}

TEST_F(QVLauncherMainTest, TheLaunchGetsTheWaitAndTheFilteredArguments) {
  launchSucceeds_ = false;  // the status stays 0 all the same
  EXPECT_EQ(run({"-QVExportPresets", "-QVAppBundlePath", installed_, "in.jpg", "-QVWait", "out.tif"}), 0);
  EXPECT_EQ(launches_,
            (std::vector<Launch>{{installed_, {"-QVExportPresets", "in.jpg", "out.tif", kOwner, kMode}, true, true}}));
}

}  // namespace
