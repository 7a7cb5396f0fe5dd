// The plug-in installer: the file-based installer in a temporary data folder, and the installer
// screen and window offscreen over an installer whose properties the test sets.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QApplication>
#include <filesystem>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <thread>

#include "Ombrel/Classes/Application/Controllers/QVSolvaneWindowController.h"
#include "Ombrel/Classes/Application/Menus/QVMenuController.h"
#include "Ombrel/Classes/Application/PluginMode/QVPluginController.h"
#include "Ombrel/Classes/Application/PluginMode/QVPluginInstallWindowController.h"
#include "Ombrel/Classes/Application/Style/QVUIStyle.h"
#include "QVAppKit/QVImageView.h"
#include "QVAppKit/QVLabel.h"
#include "QVAppKit/QVLoadingSpinnerView.h"
#include "QVAppKit/QVSpringButton.h"
#include "QVPlatform/MainExecutor.h"
#include "common/TestSupport.h"

namespace fs = std::filesystem;

namespace {

class QVPluginInstallerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = solvane::test::makeTempDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
    installer =
        std::make_shared<QVSolvanePluginsInstaller>((dir / "data").string(), "/opt/solvane/bin/SolvaneBriskoBridge");
    installer->setLaunchInfo(QVPluginController::launchInfo());
  }
  // Waits for the installer's work, then runs what it sent to the main thread.
  void settle() {
    installer->waitUntilIdle();
    qv::MainExecutor::shared().runUntilIdle();
  }
  fs::path dir;
  std::shared_ptr<QVSolvanePluginsInstaller> installer;
};

TEST_F(QVPluginInstallerTest, InstallAndUninstallTheTemplatesInTheDataFolder) {
  const fs::path lightroom = dir / "data/Adobe/Lightroom/External Editor Presets/SolvaneBrisko.lrtemplate";
  const fs::path photoshop = dir / "data/Solvane/Plug-ins/Photoshop/SolvaneBrisko.json";
  EXPECT_EQ(installer->photoshopLightroomPluginPath(), lightroom.string());
  EXPECT_EQ(installer->photoshopPluginPath(), photoshop.string());

  std::vector<std::string> changes;
  std::mutex mutex;
  installer->addObserver([&](const std::string& keyPath) {
    std::lock_guard guard(mutex);
    changes.push_back(keyPath);
  });
  installer->checkAndUpdatePluginsAsync();
  installer->waitUntilIdle();
  EXPECT_FALSE(installer->isLightroomPluginInstalled());
  EXPECT_EQ(changes, (std::vector<std::string>{"photoshopPluginInstalled", "lightroomPluginInstalled"}))
      << "a check answers even when nothing changed";
  changes.clear();

  installer->installLightroomPlugin();
  installer->waitUntilIdle();
  EXPECT_TRUE(fs::is_regular_file(lightroom));
  EXPECT_TRUE(installer->isLightroomPluginInstalled());
  EXPECT_FALSE(installer->isLightroomInstallationExecuting());
  EXPECT_FALSE(installer->isPhotoshopPluginInstalled());
  EXPECT_EQ(changes, (std::vector<std::string>{"lightroomInstallationExecuting", "lightroomPluginInstalled",
                                               "lightroomInstallationExecuting"}));
  std::ifstream in(lightroom);
  const auto json = nlohmann::json::parse(in);
  EXPECT_EQ(json["launcher"], "/opt/solvane/bin/SolvaneBriskoBridge");
  EXPECT_EQ(json["arguments"], nlohmann::json::array({"-QVWait"}));
  EXPECT_EQ(json["applicationName"], "Solvane Brisko");
  EXPECT_EQ(json["applicationUUID"], kQVPluginApplicationUUID);

  installer->installPhotoshopPlugin();
  installer->waitUntilIdle();
  std::ifstream ps(photoshop);
  EXPECT_EQ(nlohmann::json::parse(ps)["arguments"], nlohmann::json::array({"-QVWait", "-QVPhotoshopPluginOwner"}));
  EXPECT_TRUE(installer->isPhotoshopPluginInstalled());

  // The button on an installed host uninstalls; a template removed behind its back is noticed.
  installer->installLightroomPlugin();
  installer->waitUntilIdle();
  EXPECT_FALSE(fs::exists(lightroom));
  EXPECT_FALSE(installer->isLightroomPluginInstalled());
  fs::remove(photoshop);
  installer->validatePhotoshopInstallStatusAsync();
  installer->waitUntilIdle();
  EXPECT_FALSE(installer->isPhotoshopPluginInstalled());
}

#if defined(SOLVANE_BUILT_PROGRAM) && defined(SOLVANE_BUILT_LAUNCHER)
// The templates name the launcher beside the running program: the build puts it there, so a
// template written by a program run from the build names a launcher that exists.
TEST(QVPluginInstallerLauncher, TheTemplatesLauncherBesideTheBuiltProgramIsTheBuiltLauncher) {
  const fs::path program = SOLVANE_BUILT_PROGRAM;
  const std::string launcher = QVSolvanePluginsInstaller::launcherPathBesideProgram(program.parent_path().string());
  EXPECT_EQ(fs::path(launcher), fs::path(SOLVANE_BUILT_LAUNCHER));
}
#endif

TEST_F(QVPluginInstallerTest, AFailedInstallWriteReportsNotInstalled) {
  // A file where the template's folder should be: the folder cannot be made.
  fs::create_directories(dir / "data/Adobe/Lightroom");
  std::ofstream(dir / "data/Adobe/Lightroom/External Editor Presets") << "in the way";
  installer->installLightroomPlugin();
  installer->waitUntilIdle();
  EXPECT_FALSE(installer->isLightroomPluginInstalled());
  EXPECT_FALSE(installer->isLightroomInstallationExecuting());
}

// Whatever is planted at the template's name or at the name the old installer wrote its
// temporary file under, nothing is written through a link, nothing that is not our regular file
// counts as installed or is removed, and no check waits on a FIFO.
TEST_F(QVPluginInstallerTest, NothingIsWrittenThroughALinkAndOnlyOurOwnFileIsRemoved) {
  const fs::path folder = dir / "data/Adobe/Lightroom/External Editor Presets";
  const fs::path lightroom = folder / "SolvaneBrisko.lrtemplate";
  struct Case {
    const char* name;
    std::function<void()> plant;
    bool installs;  // the button installs (the name was free)
  } cases[] = {
      {"a link at the old temporary name",
       [&] { fs::create_symlink(dir / "victim", fs::path(lightroom.string() + ".part")); }, true},
      {"a link at the template's name", [&] { fs::create_symlink(dir / "victim", lightroom); }, false},
      {"a dangling link at the template's name", [&] { fs::create_symlink(dir / "nowhere", lightroom); }, false},
      {"a FIFO at the template's name", [&] { ASSERT_EQ(::mkfifo(lightroom.c_str(), 0600), 0); }, false},
      {"a folder at the template's name", [&] { fs::create_directories(lightroom / "inside"); }, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(dir / "data");
    fs::create_directories(folder);
    std::ofstream(dir / "victim") << "the user's file";
    c.plant();
    const auto kindBefore = fs::symlink_status(lightroom).type();
    installer->checkAndUpdatePluginsAsync();
    installer->waitUntilIdle();
    EXPECT_FALSE(installer->isLightroomPluginInstalled()) << "only our regular file counts";
    installer->installLightroomPlugin();
    installer->waitUntilIdle();
    EXPECT_EQ(installer->isLightroomPluginInstalled(), c.installs);
    EXPECT_FALSE(installer->isLightroomInstallationExecuting());
    if (c.installs) {
      EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(lightroom)));
      std::ifstream in(lightroom);
      EXPECT_EQ(nlohmann::json::parse(in)["host"], "Lightroom");
    } else {
      EXPECT_EQ(fs::symlink_status(lightroom).type(), kindBefore) << "left as it was";
    }
    std::ifstream victim(dir / "victim");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(victim), {}), "the user's file");
  }
  // A plug-in name that would leave its folder gives no template at all.
  for (const char* name : {"../escape", "..", ""}) {
    SCOPED_TRACE(name);
    QVPluginLaunchInfo info = QVPluginController::launchInfo();
    info.pluginAppName = name;
    installer->setLaunchInfo(info);
    EXPECT_EQ(installer->photoshopLightroomPluginPath(), "");
    EXPECT_EQ(installer->photoshopPluginPath(), "");
    installer->installLightroomPlugin();
    installer->waitUntilIdle();
    EXPECT_FALSE(installer->isLightroomPluginInstalled());
  }
  EXPECT_FALSE(fs::exists(dir / "data/Adobe/Lightroom/escape.lrtemplate"));
}

TEST_F(QVPluginInstallerTest, StatusTableForBothHosts) {
  QVPluginInstallWindowController window(QVPluginController::launchInfo(), installer);
  auto* screen = window.installViewController();
  EXPECT_EQ(window.window()->size(), QSize(560, 215));
  EXPECT_EQ(screen->launchInfo().pluginAppName, "SolvaneBrisko");
  struct Row {
    int64_t status;
    const char* button;
    const char* text;
    bool themed, icon, spinner, enabled;
    double alpha;
  } rows[] = {
      {kQVPluginStatusInstalled, "Uninstall", "Installed", true, true, false, true, 1.0},
      {kQVPluginStatusInstalling, "Install", "Not Installed", false, false, true, false, 0.3},
      {kQVPluginStatusNotInstalled, "Install", "Not Installed", false, false, false, true, 1.0},
      {kQVPluginStatusUnknown, "Install", "Not Installed", false, false, false, false, 0.3},
  };
  for (int64_t type : {kQVPluginTypePhotoshop, kQVPluginTypeLightroom}) {
    for (const auto& row : rows) {
      SCOPED_TRACE(std::to_string(type) + " status " + std::to_string(row.status));
      auto pack = screen->uiPackForPluginType(type);
      ASSERT_TRUE(pack);
      screen->updateUIForPluginType(type, row.status, *pack);
      EXPECT_EQ(pack->installButton->title(), row.button);
      EXPECT_EQ(pack->statusTitle->title(), row.text);
      EXPECT_EQ(pack->statusTitle->titleColor(), row.themed ? QVUIStyle::themeColor() : QColor(Qt::white));
      EXPECT_EQ(!pack->icon->isHidden(), row.icon);
      EXPECT_EQ(!pack->spinnerView->isHidden(), row.spinner);
      EXPECT_EQ(pack->spinnerView->animating(), row.spinner);
      EXPECT_EQ(pack->installButton->isEnabled(), row.enabled);
      EXPECT_DOUBLE_EQ(pack->installButton->alpha(), row.alpha);
    }
  }
  EXPECT_FALSE(screen->uiPackForPluginType(3));
}

TEST_F(QVPluginInstallerTest, AChangeFromTheWorkerIsAppliedOnlyAfterTheMainLoopRuns) {
  QVPluginInstallWindowController window(QVPluginController::launchInfo(), installer);
  auto* screen = window.installViewController();
  auto lightroom = *screen->uiPackForPluginType(kQVPluginTypeLightroom);
  window.show();
  settle();
  EXPECT_EQ(lightroom.statusTitle->title(), "Not Installed");
  EXPECT_TRUE(lightroom.installButton->isEnabled()) << "answered: not installed";

  installer->installLightroomPlugin();
  installer->waitUntilIdle();
  EXPECT_EQ(lightroom.statusTitle->title(), "Not Installed") << "not before the main loop runs";
  qv::MainExecutor::shared().runUntilIdle();
  EXPECT_EQ(lightroom.statusTitle->title(), "Installed");
  EXPECT_EQ(lightroom.installButton->title(), "Uninstall");

  // The button uninstalls through the installer.
  screen->pluginButtonClicked(kQVPluginTypeLightroom);
  settle();
  EXPECT_EQ(lightroom.statusTitle->title(), "Not Installed");
  EXPECT_EQ(screen->pluginStatusForType(kQVPluginTypeLightroom), kQVPluginStatusNotInstalled);
}

TEST_F(QVPluginInstallerTest, DoneHidesTheWindow) {
  QVPluginInstallWindowController window(QVPluginController::launchInfo(), installer);
  window.show();
  settle();
  EXPECT_TRUE(window.window()->isVisible());
  EXPECT_FALSE(window.isModal());
  window.installViewController()->onCancelButton();
  qv::MainExecutor::shared().runUntilIdle();
  EXPECT_FALSE(window.window()->isVisible());
}

}  // namespace

namespace {

TEST(QVPluginInstallMenu, TheInstallPluginsItemIsEnabledAndOpensTheInstallerWindow) {
  auto controller = QVSolvaneWindowController::make();
  QVMenuItem item("Install Plug-ins...");
  item.setTag(QVMenuTagInstallPlugins);
  EXPECT_TRUE(controller->validateMenuItem(&item));
  EXPECT_TRUE(item.isVisible()) << "shown outside plug-in mode";
  controller->installPlugins();
  qv::MainExecutor::shared().runUntilIdle();
  QWidget* installer = nullptr;
  for (QWidget* window : QApplication::topLevelWidgets())
    if (window->isVisible() && window->windowTitle() == "Install Plug-ins") installer = window;
  ASSERT_NE(installer, nullptr);
  EXPECT_EQ(installer->size(), QSize(560, 215));
  installer->close();
}

}  // namespace
