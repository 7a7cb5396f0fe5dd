#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QTest>

#include "Ombrel/Classes/Application/AppDelegate/QVAppDelegate.h"
#include "Ombrel/Classes/Application/AppDelegate/QVApplication.h"
#include "Ombrel/Classes/Application/ApplicationTestSupport.h"
#include "Ombrel/Classes/Application/Controllers/ControllerTestSupport.h"
#include "Ombrel/Classes/Application/Common/QVSingleImageNotifications.h"
#include "Ombrel/Classes/Application/Export/QVExportDatasource.h"
#include "Ombrel/Classes/Application/Menus/QVMenuController.h"
#include "Ombrel/Classes/Application/Panels/QVSolvanePanels.h"
#include "Ombrel/Classes/Application/SoundManager/QVSoundManager.h"
#include "Ombrel/Classes/Business/QVApp.h"
#include "Ombrel/Classes/Helpers/QVSPluginModeManager.h"
#include "QVAppKit/QVAnimationDriver.h"
#include "QVPlatform/MainExecutor.h"

namespace {

class QVAppDelegateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QVSoundManager::setSoundsDisabled(false);
    // One drop cue per delivered batch: the count of batches.
    QVSoundManager::setPlayer([this](QVSoundCue cue) { batches += cue == QVSoundCue::Drop; });
    // The photos are names only: the source list takes them all, the core is a fake.
    QVOpenScreenServices::setShared(openServices);
    QVExportImageSourceList::setShared(std::make_shared<openscreen_test::FakeSourceList>());
    QVWindowControllerServices::setShared(std::make_shared<controller_test::FakeWindowServices>());
    delegate = QVAppDelegate::make();
    delegate->setTerminator([this] { ++terminations; });
  }
  void TearDown() override {
    QVSoundManager::setPlayer(nullptr);
    // Opened photos start preview work on the facade's queues: stop it as quitting does, so no
    // worker outlives the test process's objects.
    EXPECT_TRUE(QVApp::cancelImageOperationsAndWaitUntilDone(10));
    delegate.reset();
    qv::MainExecutor::shared().discardPending();
    QVOpenScreenServices::setShared(nullptr);
    QVExportImageSourceList::setShared(nullptr);
    QVWindowControllerServices::setShared(nullptr);
  }
  // Both clocks: a delivered batch is dropped on the open screen, which shows the first photo
  // blurred (an animation) before the paths open.
  static void advance(double seconds) {
    qv::MainExecutor::shared().advance(seconds);
    for (int i = 0; i < 20; ++i) {
      QVAnimationDriver::shared().advance(0.1);
      qv::MainExecutor::shared().advance(0);
    }
  }
  std::vector<std::string> paths() { return delegate->solvaneWindowController()->paths(); }

  std::shared_ptr<QVAppDelegate> delegate;
  std::shared_ptr<openscreen_test::FakeServices> openServices = std::make_shared<openscreen_test::FakeServices>();
  int batches = 0;
  int terminations = 0;
};

TEST_F(QVAppDelegateTest, RequestsATenthApartAreOneBatch) {
  delegate->applicationOpenFiles({"/p/a.jpg", "/p/b.jpg"});
  advance(0.1);
  delegate->applicationOpenFiles({"/p/c.jpg", "/p/a.jpg"});
  advance(0.24);
  EXPECT_EQ(batches, 0);
  EXPECT_TRUE(paths().empty());
  advance(0.02);
  EXPECT_EQ(batches, 1);
  EXPECT_EQ(paths(), (std::vector<std::string>{"/p/a.jpg", "/p/b.jpg", "/p/c.jpg", "/p/a.jpg"}));
  EXPECT_EQ(delegate->fileCollector(), nullptr);
  EXPECT_TRUE(delegate->isMainWindowOpened());
}

TEST_F(QVAppDelegateTest, RequestsThreeTenthsApartAreTwoBatches) {
  delegate->applicationOpenFiles({"/p/a.jpg"});
  advance(0.3);
  EXPECT_EQ(batches, 1);
  EXPECT_EQ(paths(), (std::vector<std::string>{"/p/a.jpg"}));
  delegate->applicationOpenFiles({"/p/b.jpg"});
  advance(0.3);
  EXPECT_EQ(batches, 2);
  // The second batch was dropped on the open window: added to what was open.
  EXPECT_EQ(paths(), (std::vector<std::string>{"/p/a.jpg", "/p/b.jpg"}));
}

// Bursts handed over while the open screen still puts the first photo up wait for it, and then
// all open: none is lost.
TEST_F(QVAppDelegateTest, HandOversThatArriveWhileTheScreenTakesTheFirstAllOpen) {
  auto& main = qv::MainExecutor::shared();
  delegate->applicationOpenUntitledFile();
  auto controller = delegate->solvaneWindowController();
  openServices->holdBlurs = true;
  delegate->applicationOpenFiles({"/p/a.jpg"});
  main.advance(0.3);
  ASSERT_EQ(openServices->requested, std::vector<std::string>{"/p/a.jpg"}) << "the first photo is being put up";
  delegate->applicationOpenFiles({"/p/b.jpg"});
  main.advance(0.3);
  delegate->applicationOpenFiles({"/p/c.jpg", "/p/d.jpg"});
  main.advance(0.3);
  EXPECT_EQ(openServices->requested, std::vector<std::string>{"/p/a.jpg"}) << "the screen was left alone";
  EXPECT_EQ(controller->queuedDropPaths(), (std::vector<std::string>{"/p/b.jpg", "/p/c.jpg", "/p/d.jpg"}));
  EXPECT_TRUE(paths().empty());

  // The photo shows: the first drop goes on to its screen, then the waiting ones follow.
  openServices->holdBlurs = false;
  for (auto& release : std::exchange(openServices->held, {})) release();
  for (int i = 0; i < 100 && (paths().size() < 4 || controller->transition()); ++i) {
    QVAnimationDriver::shared().advance(0.05);
    main.advance(0.05);
  }
  EXPECT_EQ(paths(), (std::vector<std::string>{"/p/a.jpg", "/p/b.jpg", "/p/c.jpg", "/p/d.jpg"}));
  EXPECT_EQ(batches, 2) << "the first drop, then the waiting ones as one";
  EXPECT_EQ(controller->currentMode(), 2);
  EXPECT_TRUE(controller->queuedDropPaths().empty());
}

TEST_F(QVAppDelegateTest, FilesWaitForTheOpenScreenAndALaterBatchReplacesTheWaitingOne) {
  EXPECT_FALSE(delegate->startWindowIsPresented());
  int first = 0, second = 0;
  delegate->waitForOpenViewToAppearWithCompletion([&] { ++first; });
  delegate->waitForOpenViewToAppearWithCompletion([&] { ++second; });
  EXPECT_EQ(first + second, 0);
  qv::NotificationCenter::defaultCenter().post(kQVOpenViewDidAppear);
  EXPECT_EQ(first, 0);
  EXPECT_EQ(second, 1);
  EXPECT_TRUE(delegate->startWindowIsPresented());
  EXPECT_FALSE(delegate->hasStartWindowPresentCompletion());
  delegate->waitForOpenViewToAppearWithCompletion([&] { ++first; });
  EXPECT_EQ(first, 1);  // at once, the open screen is there
}

TEST_F(QVAppDelegateTest, AnOpenPanelClosesBeforeTheFilesAreDropped) {
  delegate->applicationOpenUntitledFile();
  ASSERT_TRUE(delegate->isMainWindowOpened());
  QFileDialog panel;
  panel.setOption(QFileDialog::DontUseNativeDialog);
  panel.show();
  ASSERT_EQ(QVAppDelegate::isOpenPanelPresent(), &panel);
  delegate->continueAppOpenFiles({"/p/a.jpg"});
  EXPECT_FALSE(panel.isVisible());
  advance(0);
  EXPECT_EQ(paths(), (std::vector<std::string>{"/p/a.jpg"}));
}

TEST_F(QVAppDelegateTest, PluginModeOpensTheHostsPhotosInsteadOfTheRequest) {
  auto& plugin = QVSPluginModeManager::shared();
  plugin.setPluginMode(true);
  plugin.setPhotoCollection({"/host/1.jpg", "/host/2.jpg"});
  delegate->continueAppOpenFiles({"/p/a.jpg"});
  EXPECT_EQ(paths(), (std::vector<std::string>{"/host/1.jpg", "/host/2.jpg"}));
  // With an empty collection the request is handled as outside plug-in mode.
  plugin.setPhotoCollection({});
  delegate->continueAppOpenFiles({"/p/a.jpg"});
  EXPECT_EQ(paths(), (std::vector<std::string>{"/host/1.jpg", "/host/2.jpg", "/p/a.jpg"}));
  plugin.setPluginMode(false);
}

TEST_F(QVAppDelegateTest, QuitClosesTheWindowAndTerminatesPostingTheNoticeTwice) {
  int notices = 0;
  auto token = qv::NotificationCenter::defaultCenter().addObserver(kQVApplicationWillTerminateNotification, nullptr,
                                                                   [&](const qv::Notification&) { ++notices; });
  delegate->applicationOpenUntitledFile();
  QVMenuController::mainMenu();
  // Nothing open: no question, the application ends.
  delegate->exitApp(nullptr);
  EXPECT_EQ(terminations, 1);
  EXPECT_EQ(notices, 1);
  delegate->applicationWillTerminate();
  EXPECT_EQ(notices, 2);
}

TEST_F(QVAppDelegateTest, MenuSettingSwitchFlipsTheSettingAndAnnouncesIt) {
  QVMenu* settings = nullptr;
  for (QVMenuItem* item : QVMenuController::fileMenu()->items()) {
    if (item->tag() == QVMenuTagFileSettings) settings = dynamic_cast<QVMenu*>(item->menu());
  }
  ASSERT_NE(settings, nullptr);
  QVApp::setAutoLensCorrectionEnabled(true);
  QVMenuController::updateFileSettingsSubmenu();
  QVMenuItem* lens = settings->itemWithTag(QVMenuTagLensCorrection);
  ASSERT_EQ(lens->state(), 1);
  int changes = 0;
  auto token = qv::NotificationCenter::defaultCenter().addObserver(kQVAppMenuSettingsDidChange, nullptr,
                                                                   [&](const qv::Notification&) { ++changes; });
  lens->trigger();
  EXPECT_FALSE(QVApp::autoLensCorrectionEnabled());
  EXPECT_EQ(lens->state(), 0);
  EXPECT_EQ(changes, 1);
  lens->trigger();
  EXPECT_TRUE(QVApp::autoLensCorrectionEnabled());
  EXPECT_EQ(changes, 2);
}

TEST_F(QVAppDelegateTest, TopBarMenuShowsTheFileAndApplicationItemsValidatedByPathCount) {
  delegate->applicationOpenUntitledFile();
  auto menu = delegate->topBarMenu();
  delegate->rebuildTopBarMenu();
  delegate->validateAllMenus();
  EXPECT_TRUE(menu->itemWithTag(QVMenuTagOpenFiles)->isVisible());
  EXPECT_FALSE(menu->itemWithTag(QVMenuTagImportMore)->isVisible());
  EXPECT_NE(menu->itemWithTag(QVMenuTagQuit), nullptr);
  EXPECT_NE(menu->itemWithTag(QVMenuTagSounds), nullptr);
  delegate->solvaneWindowController()->addImagesAtPaths({"/p/a.jpg"});
  delegate->validateAllMenus();
  EXPECT_FALSE(menu->itemWithTag(QVMenuTagOpenFiles)->isVisible());
  EXPECT_TRUE(menu->itemWithTag(QVMenuTagImportMore)->isVisible());
  EXPECT_TRUE(menu->itemWithTag(QVMenuTagStartOver)->isVisible());
  // Shortcuts answer in the window even with the menu closed.
  const auto actions = delegate->solvaneWindowController()->window()->actions();
  EXPECT_TRUE(actions.contains(menu->itemWithTag(QVMenuTagQuit)));
}

TEST_F(QVAppDelegateTest, ShortcutsAnswerWithTheMenuClosedOnlyWhileTheirItemIsShown) {
  auto* app = dynamic_cast<QVApplication*>(QCoreApplication::instance());
  ASSERT_NE(app, nullptr);
  app->setShortcutValidator([this] { delegate->validateAllMenus(); });
  QVSolvanePanels::setPresenter(std::make_shared<app_test::ScriptedPanelPresenter>());
  delegate->applicationOpenUntitledFile();
  QWidget* window = delegate->solvaneWindowController()->window();
  window->activateWindow();
  QApplication::setActiveWindow(window);
  ASSERT_TRUE(QTest::qWaitForWindowActive(window));
  auto presenter = std::dynamic_pointer_cast<app_test::ScriptedPanelPresenter>(QVSolvanePanels::presenter());
  auto alerts = std::make_shared<controller_test::ScriptedAlerts>();
  QVSolvaneAlerts::setPresenter(alerts);
  // No photo open: Ctrl+O is "Open Photos...", the open screen's chooser comes up; Ctrl+N ("Start
  // Over") is hidden.
  QTest::keyClick(window, Qt::Key_O, Qt::ControlModifier);
  EXPECT_EQ(openServices->panels, 1);
  delegate->solvaneWindowController()->addImagesAtPaths({"/p/a.jpg"});
  // A photo open: Ctrl+O is "Import More..." alone (both items answering would be ambiguous and
  // neither would run), and Ctrl+N starts over (after asking).
  QTest::keyClick(window, Qt::Key_O, Qt::ControlModifier);
  EXPECT_EQ(presenter->shown.size(), 1u);
  alerts->answers = {4};
  QTest::keyClick(window, Qt::Key_N, Qt::ControlModifier);
  EXPECT_EQ(alerts->asked.size(), 1u);
  EXPECT_TRUE(paths().empty());
  QTest::keyClick(window, Qt::Key_Q, Qt::ControlModifier);
  EXPECT_EQ(terminations, 1);
  app->setShortcutValidator(nullptr);
  QVSolvanePanels::setPresenter(nullptr);
  QVSolvaneAlerts::setPresenter(nullptr);
}

// How many items of the menu carry the tag.
size_t countOfTag(QVMenu* menu, int64_t tag) {
  size_t count = 0;
  for (QVMenuItem* item : menu->items()) count += item->tag() == tag;
  return count;
}

// The File menu carries its own copies of the Export submenu and of the plug-in commands: the top
// bar's menu lists each once, and each shortcut runs once (two copies would make it ambiguous).
TEST_F(QVAppDelegateTest, TheTopBarMenuListsEachCommandOnceAndThePluginShortcutsRun) {
  auto* app = dynamic_cast<QVApplication*>(QCoreApplication::instance());
  ASSERT_NE(app, nullptr);
  app->setShortcutValidator([this] { delegate->validateAllMenus(); });
  auto& plugin = QVSPluginModeManager::shared();
  plugin.setPluginMode(true);
  QWidget* window = delegate->solvaneWindowController()->window();
  delegate->solvaneWindowController()->showWindow();
  QApplication::setActiveWindow(window);
  ASSERT_TRUE(QTest::qWaitForWindowActive(window));
  auto menu = delegate->topBarMenu();
  delegate->rebuildTopBarMenu();
  delegate->validateAllMenus();
  EXPECT_EQ(countOfTag(menu.get(), QVMenuTagApply), 1u);
  EXPECT_EQ(countOfTag(menu.get(), QVMenuTagCancel), 1u);
  ASSERT_NE(QVMenuController::fileMenu()->itemWithTag(QVMenuTagApply), nullptr) << "the File menu has its own";

  int applies = 0, cancels = 0;
  auto& center = qv::NotificationCenter::defaultCenter();
  auto applied = center.addObserver(kQVApplyPluginNotificationName, nullptr, [&](const qv::Notification&) { ++applies; });
  auto cancelled =
      center.addObserver(kQVCancelPluginNotificationName, nullptr, [&](const qv::Notification&) { ++cancels; });
  QTest::keyClick(window, Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(applies, 1);
  // Cancel is offered while an export runs.
  QVApp::setExporting(true);
  QTest::keyClick(window, Qt::Key_S, Qt::ControlModifier);
  EXPECT_EQ(cancels, 1);
  QVApp::setExporting(false);
  app->setShortcutValidator(nullptr);
  plugin.setPluginMode(false);
}

TEST_F(QVAppDelegateTest, TheExportSubmenuShowsOnceWithTheOfferedTargets) {
  delegate->applicationOpenUntitledFile();
  auto menu = delegate->topBarMenu();
  qv::NotificationCenter::defaultCenter().post(kQVExportViewStateDidChangeNotification,
                                               std::make_shared<qv::Value>(int64_t(1)));
  delegate->rebuildTopBarMenu();
  ASSERT_EQ(countOfTag(menu.get(), QVMenuTagExport), 1u);
  auto* submenu = dynamic_cast<QVMenu*>(menu->itemWithTag(QVMenuTagExport)->menu());
  ASSERT_NE(submenu, nullptr);
  std::vector<int64_t> types;
  for (QVMenuItem* item : submenu->items()) types.push_back(item->tag());
  std::vector<int64_t> offered;
  for (const auto& item : QVExportDatasource::exportItems()) offered.push_back(int64_t(item->type));
  EXPECT_FALSE(offered.empty());
  EXPECT_EQ(types, offered);
  // Each opening validates them: on with the import/export switch, off while it is off.
  delegate->validateAllMenus();
  for (QVMenuItem* item : submenu->items()) EXPECT_TRUE(item->isEnabled()) << item->title();
  QVMenuController::setEnabledImportExportMenu(false);
  delegate->validateAllMenus();
  for (QVMenuItem* item : submenu->items()) EXPECT_FALSE(item->isEnabled()) << item->title();
  QVMenuController::setEnabledImportExportMenu(true);
}

}  // namespace

namespace {

TEST_F(QVAppDelegateTest, AboutShowsOneKeptAboutWindowOverTheMainWindow) {
  EXPECT_EQ(delegate->aboutWindowController(), nullptr);
  QWidget* main = delegate->solvaneWindowController()->window();
  main->setGeometry(100, 100, 1000, 700);
  delegate->showAbout(nullptr);
  QVAboutWindowController* about = delegate->aboutWindowController();
  ASSERT_NE(about, nullptr);
  QWidget* window = about->window();
  EXPECT_TRUE(window->isVisible());
  EXPECT_LE((window->geometry().center() - main->geometry().center()).manhattanLength(), 1);
  // No message box stands in for it.
  for (QWidget* top : QApplication::topLevelWidgets()) EXPECT_FALSE(top->inherits("QMessageBox") && top->isVisible());
  window->close();
  delegate->showAbout(nullptr);
  EXPECT_EQ(delegate->aboutWindowController(), about);
  EXPECT_TRUE(window->isVisible());
  window->close();
}

}  // namespace
