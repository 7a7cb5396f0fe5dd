#pragma once
// The application's menus. There is no global menu bar on Linux: the "main menu" is built in code
// (the application menu, tag 10000, and the File menu, tag 20000) and its items, with the title
// bar's own items, live in the top bar's menu button; every item's shortcut works anywhere in the
// application's windows.
//
// The validation table decides, for every tagged item, whether it is shown and whether it is
// enabled, from: plug-in mode, images being processed, an export running, the import/export switch,
// the sound switch, the key window, and the number of loaded paths. Items not in the table are
// shown and enabled.
//
// Main thread only.
#include <QIcon>
#include <any>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "Ombrel/Classes/Application/Menus/QVMenu.h"

enum QVMenuTag : int64_t {
  QVMenuTagAppMenu = 10000,
  QVMenuTagAbout = 10100,
  QVMenuTagInstallPlugins = 10200,
  QVMenuTagTellFriend = 10300,
  QVMenuTagSounds = 10400,
  QVMenuTagCheckForUpdates = 10500,
  QVMenuTagHide = 10600,
  QVMenuTagQuit = 10700,
  QVMenuTagNeedsImages = 1402,
  QVMenuTagFileMenu = 20000,
  QVMenuTagOpenFiles = 20100,
  QVMenuTagImportMore = 20200,
  QVMenuTagStartOver = 20300,
  QVMenuTagApply = 20400,
  QVMenuTagCancel = 20500,
  QVMenuTagExport = 20600,
  QVMenuTagFileSettings = 20700,
  QVMenuTagLensCorrection = 20701,
  QVMenuTagColorTemperature = 20702,
  QVMenuTagHelp = 30100,
  QVMenuTagContactSupport = 30200,
  QVMenuTagFeedback = 30300,
  QVMenuTagSuggestFeature = 30400,
};

inline constexpr const char* kQVShowFeedbackWindowClicked = "QVShowFeedbackWindowClicked";
// The host of the maker's web site that the Help items open pages on.
inline constexpr const char* kQVSolvaneWebSite = "https://solvane.app/";

// What validation reads at each call.
struct QVMenuValidationState {
  bool pluginMode = false;
  bool processingImages = false;
  bool exporting = false;
  bool soundsDisabled = false;
  // The key window is visible and is not a modal dialog.
  bool keyWindowUsable = true;
};

// One export target of the Export submenu.
struct QVExportMenuEntry {
  std::string title;  // localisation key
  QIcon image;        // may be null: then the image named `smallImageName`
  std::string smallImageName;
  uint64_t type = 0;
  std::any exportItem;
};

class QVMenuController {
 public:
  // The main menu (owned by the caller) and the responder of items without a target.
  static void setMainMenu(QVMenu* menu);
  static QVMenu* mainMenu();
  static void setFirstResponder(QVMenuResponder* responder);
  static QVMenuResponder* firstResponder();

  static QVMenu* appMenu();
  static QVMenu* fileMenu();

  // A new title-bar menu: outside plug-in mode "Import More...", "Start Over", separator,
  // "Contact Support", separator, "Quit <AppName>"; in plug-in mode "Apply" and "Cancel" (also
  // appended, as new items, to the File menu).
  static std::shared_ptr<QVMenu> solvaneTitleBarMenuWithTarget(QVMenuResponder* target);
  static void addFileItemsToMenu(QVMenu* menu, QVMenuResponder* target);
  static void addPluginFileItemsToMenu(QVMenu* menu, QVMenuResponder* target);
  static void setTargetForMenuItems(QVMenuResponder* target, const std::vector<QVMenuItem*>& items);

  // The Export submenu (tag 20600): at index 1 of the File menu, index 0 of a menu, or at an index
  // (-1, like an index past the end, appends).
  static void addExportSubmenuToFileMenuWithTarget(QVMenuResponder* target);
  static void addExportSubmenuToMenu(QVMenu* menu, QVMenuResponder* target, int64_t index = 0);
  static void deleteExportSubmenuFromFileMenu();
  static void deleteExportSubmenuFromMenu(QVMenu* menu);
  // Removes the first item with the tag; a submenu it carried is emptied and its items lose their
  // represented objects.
  static void deleteItemWithTag(int64_t tag, QVMenu* menu);
  static QVMenu* createExportMenuWithTarget(QVMenuResponder* target);
  static void updateExportSubmenu();
  // The check mark of automatic lens correction follows the setting.
  static void updateFileSettingsSubmenu();

  // Sets the item's hidden state by the table and answers whether it is enabled.
  static bool validateMenuItem(QVMenuItem* item, int64_t pathCount);
  // Applies a validator to every item of a menu and its submenus (enabled = the answer).
  static void validateMenu(QMenu* menu, const std::function<bool(QVMenuItem*)>& validator);

  // The items with a shortcut in the menus and their submenus, in order, the first of each tag and
  // shortcut only: an item two menus carry (the plug-in commands are in the title bar's menu and in the
  // File menu) must answer its shortcut once, or the two copies make it ambiguous and neither runs.
  static std::vector<QVMenuItem*> shortcutItems(std::initializer_list<QMenu*> menus);

  // Help items: 30100, 30200, 30400 open pages of the web site; 30300 posts
  // "QVShowFeedbackWindowClicked". Other tags do nothing.
  static void handleHelpMenuActionForItem(QVMenuItem* item);
  static std::string helpURLForTag(int64_t tag);

  static void setEnabledImportExportMenu(bool enabled);
  static bool isImportExportMenuEnabled();

  // Where validation reads its state (the facade, the sound switch and the windows by default).
  static void setValidationStateProvider(std::function<QVMenuValidationState()> provider);
  static QVMenuValidationState validationState();
  // The export targets of the Export submenu (by default the targets the export menu offers).
  static void setExportItemsProvider(std::function<std::vector<QVExportMenuEntry>()> provider);
};
