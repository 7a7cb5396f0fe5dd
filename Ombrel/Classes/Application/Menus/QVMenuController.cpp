#include "Ombrel/Classes/Application/Menus/QVMenuController.h"

#include <QApplication>
#include <QPointer>
#include <QWidget>
#include <set>

#include "Ombrel/Classes/Application/Export/QVExportDatasource.h"
#include "Ombrel/Classes/Application/Services/QVAppLink.h"
#include "Ombrel/Classes/Application/Services/QVSolvaneAppHelpers.h"
#include "Ombrel/Classes/Application/Services/QVTextAdditions.h"
#include "Ombrel/Classes/Application/SoundManager/QVSoundManager.h"
#include "QVAppKit/QVBackgroundView.h"
#include "QVPlatform/Localization.h"
#include "QVPlatform/NotificationCenter.h"

namespace {

struct Globals {
  QPointer<QVMenu> mainMenu;
  QVMenuResponder* firstResponder = nullptr;
  bool importExportEnabled = true;
  std::function<QVMenuValidationState()> stateProvider;
  std::function<std::vector<QVExportMenuEntry>()> exportItems;
};

Globals& globals() {
  static Globals g;
  return g;
}

QVMenuValidationState defaultState() {
  QVMenuValidationState state;
  state.pluginMode = QVAppLink::isPluginMode();
  state.processingImages = QVAppLink::isProcessingImages();
  state.exporting = QVAppLink::exporting();
  state.soundsDisabled = QVSoundManager::soundsDisabled();
  QWidget* key = QApplication::activeWindow();
  state.keyWindowUsable = key && key->isVisible() && !(key->isModal() || QApplication::activeModalWidget() == key);
  return state;
}

// The export targets this desktop offers, as the export menu shows them.
std::vector<QVExportMenuEntry> offeredExportEntries() {
  std::vector<QVExportMenuEntry> entries;
  for (const QVExportMenuItemPtr& item : QVExportDatasource::exportItems()) {
    QVExportMenuEntry entry;
    entry.title = item->title;
    entry.smallImageName = item->smallImageName.empty() ? item->imageName : item->smallImageName;
    entry.type = item->type;
    entry.exportItem = item;
    entries.push_back(std::move(entry));
  }
  return entries;
}

QVMenu* submenuOfItemWithTag(QVMenu* menu, int64_t tag) {
  if (!menu) return nullptr;
  QVMenuItem* item = menu->itemWithTag(tag);
  return item ? dynamic_cast<QVMenu*>(item->menu()) : nullptr;
}

QVMenuItem* makeItem(const std::string& title, int64_t tag, QVMenuAction action, const std::string& key,
                     QObject* parent) {
  auto* item = new QVMenuItem(title, action, key, parent);
  item->setTag(tag);
  return item;
}

}  // namespace

void QVMenuController::setMainMenu(QVMenu* menu) { globals().mainMenu = menu; }
QVMenu* QVMenuController::mainMenu() { return globals().mainMenu; }
void QVMenuController::setFirstResponder(QVMenuResponder* responder) { globals().firstResponder = responder; }
QVMenuResponder* QVMenuController::firstResponder() { return globals().firstResponder; }
QVMenu* QVMenuController::appMenu() { return submenuOfItemWithTag(mainMenu(), QVMenuTagAppMenu); }
QVMenu* QVMenuController::fileMenu() { return submenuOfItemWithTag(mainMenu(), QVMenuTagFileMenu); }

void QVMenuController::setEnabledImportExportMenu(bool enabled) { globals().importExportEnabled = enabled; }
bool QVMenuController::isImportExportMenuEnabled() { return globals().importExportEnabled; }

void QVMenuController::setValidationStateProvider(std::function<QVMenuValidationState()> provider) {
  globals().stateProvider = std::move(provider);
}

QVMenuValidationState QVMenuController::validationState() {
  return globals().stateProvider ? globals().stateProvider() : defaultState();
}

void QVMenuController::setExportItemsProvider(std::function<std::vector<QVExportMenuEntry>()> provider) {
  globals().exportItems = std::move(provider);
}

// ---- Built menus ----

std::shared_ptr<QVMenu> QVMenuController::solvaneTitleBarMenuWithTarget(QVMenuResponder* target) {
  auto menu = std::make_shared<QVMenu>();
  if (validationState().pluginMode) {
    addPluginFileItemsToMenu(menu.get(), target);
    if (QVMenu* file = fileMenu()) addPluginFileItemsToMenu(file, target);
  } else {
    addFileItemsToMenu(menu.get(), target);
  }
  return menu;
}

void QVMenuController::addFileItemsToMenu(QVMenu* menu, QVMenuResponder* target) {
  std::vector<QVMenuItem*> items = {
      makeItem("Import More...", QVMenuTagImportMore, &QVMenuResponder::onOpenFilesMenuItem, "o", menu),
      makeItem("Start Over", QVMenuTagStartOver, &QVMenuResponder::onStartOverMenuItem, "n", menu)};
  setTargetForMenuItems(target, items);
  for (auto* item : items) menu->addAction(item);
  menu->addSeparator();
  auto* support = makeItem("Contact Support", QVMenuTagContactSupport, &QVMenuResponder::onHelpMenuItem, {}, menu);
  setTargetForMenuItems(target, {support});
  menu->addAction(support);
  menu->addSeparator();
  // Quit goes to the first responder (the application delegate), not to the target.
  menu->addAction(makeItem("Quit <AppName>", QVMenuTagQuit, &QVMenuResponder::exitApp, "q", menu));
}

void QVMenuController::addPluginFileItemsToMenu(QVMenu* menu, QVMenuResponder* target) {
  std::vector<QVMenuItem*> items = {makeItem("Apply", QVMenuTagApply, &QVMenuResponder::applyPlugin, "a", menu),
                                    makeItem("Cancel", QVMenuTagCancel, &QVMenuResponder::cancelPlugin, "s", menu)};
  setTargetForMenuItems(target, items);
  for (auto* item : items) menu->addAction(item);
}

void QVMenuController::setTargetForMenuItems(QVMenuResponder* target, const std::vector<QVMenuItem*>& items) {
  for (QVMenuItem* item : items) {
    if (!item) continue;
    // Re-setting the key equivalent gives it the command modifier.
    item->setKeyEquivalent(item->keyEquivalent());
    item->setTarget(target);
  }
}

// ---- Export submenu ----

QVMenu* QVMenuController::createExportMenuWithTarget(QVMenuResponder* target) {
  auto* menu = new QVMenu();
  const auto entries = globals().exportItems ? globals().exportItems() : offeredExportEntries();
  for (const auto& entry : entries) {
    auto* item = new QVMenuItem({}, &QVMenuResponder::onExportMenuItemSelected, {}, menu);
    item->setText(QString::fromStdString(QVCapitalizedString(qv::QVSLocalization::localizedStringForKey(entry.title))));
    item->setIcon(entry.image.isNull() ? QIcon(QPixmap::fromImage(QVBackgroundView::imageNamed(entry.smallImageName)))
                                       : entry.image);
    item->setTag(int64_t(entry.type));
    item->setRepresentedObject(entry.exportItem);
    item->setTarget(target);
    item->setEnabled(false);
    menu->addAction(item);
  }
  return menu;
}

void QVMenuController::addExportSubmenuToFileMenuWithTarget(QVMenuResponder* target) {
  if (QVMenu* file = fileMenu()) addExportSubmenuToMenu(file, target, 1);
}

void QVMenuController::addExportSubmenuToMenu(QVMenu* menu, QVMenuResponder* target, int64_t index) {
  if (!menu) return;
  QVMenu* submenu = createExportMenuWithTarget(target);
  auto* item = new QVMenuItem("Export", nullptr, {}, menu);
  item->setTag(QVMenuTagExport);
  submenu->setParent(menu, submenu->windowFlags());
  item->setMenu(submenu);
  menu->insertItemAtIndex(item, index);
}

void QVMenuController::deleteExportSubmenuFromFileMenu() { deleteExportSubmenuFromMenu(fileMenu()); }

void QVMenuController::deleteExportSubmenuFromMenu(QVMenu* menu) { deleteItemWithTag(QVMenuTagExport, menu); }

void QVMenuController::deleteItemWithTag(int64_t tag, QVMenu* menu) {
  if (!menu) return;
  QVMenuItem* item = menu->itemWithTag(tag);
  if (!item) return;
  if (auto* submenu = dynamic_cast<QVMenu*>(item->menu())) {
    for (QVMenuItem* child : submenu->items()) {
      child->setRepresentedObject({});
      submenu->removeAction(child);
    }
    submenu->clear();
  }
  menu->removeAction(item);
  item->deleteLater();
}

void QVMenuController::updateExportSubmenu() {
  QVMenu* submenu = submenuOfItemWithTag(fileMenu(), QVMenuTagExport);
  if (!submenu) return;
  for (QVMenuItem* item : submenu->items()) item->setEnabled(isImportExportMenuEnabled());
}

void QVMenuController::updateFileSettingsSubmenu() {
  QVMenu* settings = submenuOfItemWithTag(fileMenu(), QVMenuTagFileSettings);
  if (!settings) return;
  if (QVMenuItem* lens = settings->itemWithTag(QVMenuTagLensCorrection)) {
    lens->setState(QVAppLink::autoLensCorrectionEnabled() ? 1 : 0);
  }
}

// ---- Validation ----

bool QVMenuController::validateMenuItem(QVMenuItem* item, int64_t pathCount) {
  if (!item) return false;
  const QVMenuValidationState state = validationState();
  const bool importExport = isImportExportMenuEnabled();
  bool shown = true;
  bool enabled = true;
  switch (item->tag()) {
    case QVMenuTagAbout:
    case QVMenuTagInstallPlugins:
    case QVMenuTagTellFriend:
      shown = !state.pluginMode;
      enabled = importExport;
      break;
    case QVMenuTagSounds:
      item->setTitle(state.soundsDisabled ? "Enable Sounds" : "Disable Sounds");
      break;
    case QVMenuTagCheckForUpdates:
      shown = !state.pluginMode;
      break;
    case QVMenuTagHide:
      shown = state.keyWindowUsable;
      break;
    case QVMenuTagNeedsImages:
      shown = !state.pluginMode && pathCount > 0;
      break;
    case QVMenuTagOpenFiles:
      shown = !state.pluginMode && pathCount == 0;
      enabled = importExport;
      break;
    case QVMenuTagImportMore:
      shown = !state.pluginMode && pathCount > 0;
      enabled = importExport;
      break;
    case QVMenuTagStartOver:
      shown = !state.pluginMode && pathCount > 0;
      break;
    case QVMenuTagApply:
      shown = !state.processingImages;
      break;
    case QVMenuTagCancel:
      shown = state.exporting;
      break;
    case QVMenuTagLensCorrection:
      enabled = importExport && !state.exporting && !state.processingImages;
      break;
    case QVMenuTagColorTemperature:
      shown = false;
      enabled = importExport && !state.exporting && !state.processingImages;
      break;
    default:
      break;
  }
  // Shown first: hiding an action also takes away its shortcut, showing it gives it back.
  item->setHidden(!shown);
  return enabled;
}

void QVMenuController::validateMenu(QMenu* menu, const std::function<bool(QVMenuItem*)>& validator) {
  if (!menu) return;
  for (QAction* action : menu->actions()) {
    if (auto* item = dynamic_cast<QVMenuItem*>(action)) {
      const bool enabled = validator(item);
      if (item->isVisible()) item->setEnabled(enabled);
    }
    if (QMenu* submenu = action->menu()) {
      // Export targets are made disabled and follow the import/export switch, as updateExportSubmenu
      // sets them; the title bar's copy is set here, each time its menu is validated.
      if (auto* item = dynamic_cast<QVMenuItem*>(action); item && item->tag() == QVMenuTagExport) {
        for (QAction* target : submenu->actions()) target->setEnabled(isImportExportMenuEnabled());
        continue;
      }
      validateMenu(submenu, validator);
    }
  }
}

std::vector<QVMenuItem*> QVMenuController::shortcutItems(std::initializer_list<QMenu*> menus) {
  std::vector<QVMenuItem*> items;
  std::set<std::pair<int64_t, QString>> seen;
  std::function<void(QMenu*)> walk = [&](QMenu* menu) {
    if (!menu) return;
    for (QAction* action : menu->actions()) {
      auto* item = dynamic_cast<QVMenuItem*>(action);
      if (item && !item->shortcut().isEmpty() &&
          seen.insert({item->tag(), item->shortcut().toString(QKeySequence::PortableText)}).second)
        items.push_back(item);
      if (QMenu* submenu = action->menu()) walk(submenu);
    }
  };
  for (QMenu* menu : menus) walk(menu);
  return items;
}

// ---- Help ----

std::string QVMenuController::helpURLForTag(int64_t tag) {
  switch (tag) {
    case QVMenuTagHelp:
      return std::string(kQVSolvaneWebSite) + "rd/inapp_help";
    case QVMenuTagContactSupport:
      return std::string(kQVSolvaneWebSite) + "rd/support";
    case QVMenuTagSuggestFeature:
      return std::string(kQVSolvaneWebSite) + "rd/suggest-feature";
    default:
      return {};
  }
}

void QVMenuController::handleHelpMenuActionForItem(QVMenuItem* item) {
  if (!item) return;
  if (item->tag() == QVMenuTagFeedback) {
    qv::NotificationCenter::defaultCenter().post(kQVShowFeedbackWindowClicked);
    return;
  }
  if (const std::string url = helpURLForTag(item->tag()); !url.empty()) QVSolvaneAppHelpers::openURLString(url);
}
