#include <gtest/gtest.h>

#include <optional>

#include "Ombrel/Classes/Application/ApplicationTestSupport.h"
#include "Ombrel/Classes/Application/Menus/QVMenuController.h"
#include "QVPlatform/NotificationCenter.h"

namespace {

// Validation reads a scripted state; every test restores the defaults.
class QVMenuControllerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QVMenuController::setValidationStateProvider([this] { return state; });
    QVMenuController::setEnabledImportExportMenu(true);
  }
  void TearDown() override {
    QVMenuController::setValidationStateProvider(nullptr);
    QVMenuController::setEnabledImportExportMenu(true);
    QVMenuController::setExportItemsProvider(nullptr);
    QVMenuController::setMainMenu(nullptr);
    QVSolvaneAppHelpers::setDesktopOpener(nullptr);
  }
  // (shown, enabled) of a fresh item with the tag.
  std::pair<bool, bool> validate(int64_t tag, int64_t paths) {
    QVMenuItem item("x");
    item.setTag(tag);
    const bool enabled = QVMenuController::validateMenuItem(&item, paths);
    return {!item.isHidden(), enabled};
  }
  QVMenuValidationState state;
};

struct Row {
  int64_t tag;
  bool plugin, processing, exporting, importExport;
  int64_t paths;
  bool shown, enabled;
};

TEST_F(QVMenuControllerTest, ValidationTableForEveryTag) {
  const Row rows[] = {
      // Application items hidden in plug-in mode, enabled with the import/export switch.
      {10100, false, false, false, true, 0, true, true},
      {10200, false, false, false, false, 0, true, false},
      {10300, true, false, false, true, 0, false, true},
      // Sound switch, the update item, the key-window item.
      {10400, true, true, true, false, 0, true, true},
      {10500, false, false, false, false, 0, true, true},
      {10500, true, false, false, true, 0, false, true},
      {10600, false, false, false, false, 0, true, true},
      // Needs loaded images; the empty-state open item.
      {1402, false, false, false, true, 0, false, true},
      {1402, false, false, false, true, 1, true, true},
      {1402, true, false, false, true, 3, false, true},
      {20100, false, false, false, true, 0, true, true},
      {20100, false, false, false, false, 0, true, false},
      {20100, false, false, false, true, 1, false, true},
      {20100, true, false, false, true, 0, false, true},
      // Title-bar items.
      {20200, false, false, false, true, 0, false, true},
      {20200, false, false, false, true, 1, true, true},
      {20200, false, false, false, false, 2, true, false},
      {20300, false, false, false, false, 1, true, true},
      {20300, true, false, false, true, 1, false, true},
      {20400, true, true, false, true, 0, false, true},
      {20400, true, false, false, true, 0, true, true},
      {20500, true, false, false, true, 0, false, true},
      {20500, true, false, true, true, 0, true, true},
      // Export and settings.
      {20600, false, false, false, false, 0, true, true},
      {20700, false, true, true, false, 0, true, true},
      {20701, false, false, false, true, 0, true, true},
      {20701, false, true, false, true, 0, true, false},
      {20701, false, false, true, true, 0, true, false},
      {20701, false, false, false, false, 0, true, false},
      {20702, false, false, false, true, 0, false, true},
      {20702, false, true, false, true, 0, false, false},
      // Help and anything else.
      {30100, true, true, true, false, 0, true, true},
      {30200, true, true, true, false, 0, true, true},
      {30300, true, true, true, false, 0, true, true},
      {30400, true, true, true, false, 0, true, true},
      {10700, true, true, true, false, 0, true, true},
      {12345, true, true, true, false, 0, true, true},
  };
  for (const Row& r : rows) {
    state = {};
    state.pluginMode = r.plugin;
    state.processingImages = r.processing;
    state.exporting = r.exporting;
    QVMenuController::setEnabledImportExportMenu(r.importExport);
    const auto [shown, enabled] = validate(r.tag, r.paths);
    EXPECT_EQ(shown, r.shown) << "tag " << r.tag << " plugin " << r.plugin << " paths " << r.paths;
    EXPECT_EQ(enabled, r.enabled) << "tag " << r.tag << " plugin " << r.plugin << " paths " << r.paths;
  }
}

TEST_F(QVMenuControllerTest, KeyWindowItemHidesWithoutAUsableKeyWindow) {
  state.keyWindowUsable = false;
  EXPECT_FALSE(validate(QVMenuTagHide, 0).first);
}

TEST_F(QVMenuControllerTest, SoundItemTitleFollowsTheSwitchAtEachValidation) {
  QVMenuItem item("Disable Sounds");
  item.setTag(QVMenuTagSounds);
  state.soundsDisabled = true;
  QVMenuController::validateMenuItem(&item, 0);
  EXPECT_EQ(item.title(), "Enable Sounds");
  state.soundsDisabled = false;
  QVMenuController::validateMenuItem(&item, 0);
  EXPECT_EQ(item.title(), "Disable Sounds");
}

TEST_F(QVMenuControllerTest, HiddenItemsLoseTheirShortcutUntilShownAgain) {
  QVMenuItem item("Import More...", &QVMenuResponder::onOpenFilesMenuItem, "o");
  item.setTag(QVMenuTagImportMore);
  EXPECT_EQ(item.shortcut(), QKeySequence(QStringLiteral("Ctrl+O")));
  QVMenuController::validateMenuItem(&item, 0);
  EXPECT_FALSE(item.isVisible());
  EXPECT_FALSE(item.isEnabled());
  item.setEnabled(QVMenuController::validateMenuItem(&item, 2));
  EXPECT_TRUE(item.isVisible());
  EXPECT_TRUE(item.isEnabled());
}

TEST_F(QVMenuControllerTest, TitleBarMenuOutsideAndInPluginMode) {
  auto tags = [](QVMenu* menu) {
    std::vector<int64_t> out;
    for (QAction* a : menu->actions()) out.push_back(a->isSeparator() ? -1 : dynamic_cast<QVMenuItem*>(a)->tag());
    return out;
  };
  auto menu = QVMenuController::solvaneTitleBarMenuWithTarget(nullptr);
  EXPECT_EQ(tags(menu.get()), (std::vector<int64_t>{20200, 20300, -1, 30200, -1, 10700}));
  EXPECT_EQ(menu->itemWithTag(20200)->shortcut(), QKeySequence(QStringLiteral("Ctrl+O")));
  EXPECT_EQ(menu->itemWithTag(10700)->text().toStdString(), "Quit Solvane");

  QVMenu main;
  auto* file = new QVMenu("File", &main);
  main.addSubmenuItem("File", QVMenuTagFileMenu, file);
  QVMenuController::setMainMenu(&main);
  state.pluginMode = true;
  auto plugin = QVMenuController::solvaneTitleBarMenuWithTarget(nullptr);
  EXPECT_EQ(tags(plugin.get()), (std::vector<int64_t>{20400, 20500}));
  // The File menu gets its own two items, not the title bar's.
  ASSERT_EQ(file->items().size(), 2u);
  EXPECT_NE(file->itemWithTag(20400), plugin->itemWithTag(20400));
}

TEST_F(QVMenuControllerTest, ItemsWithoutTargetGoToTheFirstResponder) {
  struct Responder : QVMenuResponder {
    int quits = 0, opens = 0;
    void exitApp(QVMenuItem*) override { ++quits; }
    void onOpenFilesMenuItem(QVMenuItem*) override { ++opens; }
  } first, target;
  QVMenuController::setFirstResponder(&first);
  auto menu = QVMenuController::solvaneTitleBarMenuWithTarget(&target);
  menu->itemWithTag(10700)->trigger();
  menu->itemWithTag(20200)->trigger();
  EXPECT_EQ(first.quits, 1);
  EXPECT_EQ(target.opens, 1);
  EXPECT_EQ(first.opens, 0);
  QVMenuController::setFirstResponder(nullptr);
}

// An item two menus carry answers its shortcut once; items of different tags keep theirs even with
// one shortcut (they are never shown together), and submenus are walked.
TEST_F(QVMenuControllerTest, ShortcutItemsTakeTheFirstOfEachTagAndShortcut) {
  state.pluginMode = true;
  QVMenu main;
  auto* file = new QVMenu("File", &main);
  QVMenuItem* open = file->addItem("Open Photos...", QVMenuTagOpenFiles, nullptr, "o");
  file->addItem("Settings", QVMenuTagFileSettings, nullptr);
  main.addSubmenuItem("File", QVMenuTagFileMenu, file);
  QVMenuController::setMainMenu(&main);
  auto titleBar = QVMenuController::solvaneTitleBarMenuWithTarget(nullptr);
  ASSERT_NE(file->itemWithTag(QVMenuTagApply), nullptr) << "the File menu has its own plug-in commands";
  QVMenu other;
  QVMenuItem* importMore = other.addItem("Import More...", QVMenuTagImportMore, nullptr, "o");
  const auto items = QVMenuController::shortcutItems({titleBar.get(), &main, &other});
  const std::vector<QVMenuItem*> expected = {titleBar->itemWithTag(QVMenuTagApply),
                                             titleBar->itemWithTag(QVMenuTagCancel), open, importMore};
  EXPECT_EQ(items, expected);
}

TEST_F(QVMenuControllerTest, ExportSubmenuIsAddedAtItsIndexAndRemovedWithItsObjects) {
  QVMenuController::setExportItemsProvider([] {
    return std::vector<QVExportMenuEntry>{{"save to disk", {}, "", 0, std::string("disk")},
                                          {"e-mail", {}, "", 2, std::string("mail")}};
  });
  QVMenu main;
  auto* file = new QVMenu("File", &main);
  file->addItem("Open Photos...", 20100, nullptr);
  file->addItem("Settings", 20700, nullptr);
  main.addSubmenuItem("File", QVMenuTagFileMenu, file);
  QVMenuController::setMainMenu(&main);

  QVMenuController::addExportSubmenuToFileMenuWithTarget(nullptr);
  ASSERT_EQ(file->indexOfItemWithTag(QVMenuTagExport), 1);
  auto* submenu = dynamic_cast<QVMenu*>(file->itemWithTag(QVMenuTagExport)->menu());
  ASSERT_NE(submenu, nullptr);
  auto items = submenu->items();
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0]->text().toStdString(), "Save To Disk");
  EXPECT_EQ(items[1]->tag(), 2);
  EXPECT_FALSE(items[0]->isEnabled());
  QVMenuController::updateExportSubmenu();
  EXPECT_TRUE(items[0]->isEnabled());
  QVMenuController::setEnabledImportExportMenu(false);
  QVMenuController::updateExportSubmenu();
  EXPECT_FALSE(items[1]->isEnabled());

  QVMenuController::deleteExportSubmenuFromFileMenu();
  EXPECT_EQ(file->itemWithTag(QVMenuTagExport), nullptr);
  EXPECT_FALSE(items[0]->representedObject().has_value());
  EXPECT_FALSE(items[1]->representedObject().has_value());

  // -1 (like any index past the end) appends; a missing tag changes nothing.
  QVMenuController::addExportSubmenuToMenu(file, nullptr, -1);
  EXPECT_EQ(file->indexOfItemWithTag(QVMenuTagExport), int64_t(file->actions().size()) - 1);
  QVMenuController::deleteItemWithTag(99999, file);
  EXPECT_NE(file->itemWithTag(QVMenuTagExport), nullptr);
}

TEST_F(QVMenuControllerTest, HelpItemsOpenTheirPagesOrAskForTheFeedbackWindow) {
  auto opener = std::make_shared<app_test::RecordingOpener>();
  QVSolvaneAppHelpers::setDesktopOpener(opener);
  int feedback = 0;
  auto token = qv::NotificationCenter::defaultCenter().addObserver(kQVShowFeedbackWindowClicked, nullptr,
                                                                   [&](const qv::Notification&) { ++feedback; });
  for (int64_t tag : {30100, 30200, 30300, 30400, 30500}) {
    QVMenuItem item("x");
    item.setTag(tag);
    QVMenuController::handleHelpMenuActionForItem(&item);
  }
  EXPECT_EQ(opener->urls,
            (std::vector<std::string>{"https://solvane.app/rd/inapp_help", "https://solvane.app/rd/support",
                                      "https://solvane.app/rd/suggest-feature"}));
  EXPECT_EQ(feedback, 1);
}

TEST_F(QVMenuControllerTest, CheckedItemsLeaveTheStateToTheirResponder) {
  struct Responder : QVMenuResponder {
    int64_t seen = -1;
    void menuSettingSwitched(QVMenuItem* item) override { seen = item->state(); }
  } responder;
  QVMenuItem item("Lens Correction", &QVMenuResponder::menuSettingSwitched, {});
  item.setState(1);
  item.setTarget(&responder);
  item.trigger();
  EXPECT_EQ(responder.seen, 1);  // the state before the click, as the responder flips it itself
  EXPECT_EQ(item.state(), 1);
}

}  // namespace
