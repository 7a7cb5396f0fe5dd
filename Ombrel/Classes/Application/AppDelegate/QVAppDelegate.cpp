#include "Ombrel/Classes/Application/AppDelegate/QVAppDelegate.h"

#include <QApplication>
#include <QFileDialog>
#include <QWidget>
#include <chrono>
#include <set>
#include <utility>

#include "Ombrel/Classes/Application/ExportOptions/QVExportOptionsView.h"
#include "Ombrel/Classes/Application/Menus/QVMenuController.h"
#include "Ombrel/Classes/Application/Panels/QVSolvanePanels.h"
#include "Ombrel/Classes/Application/Services/QVAppLink.h"
#include "Ombrel/Classes/Application/Services/QVSolvaneAppHelpers.h"
#include "Ombrel/Classes/Application/SoundManager/QVSoundManager.h"
#include "Ombrel/Classes/QVAnalyticsEvents/QVAnalytics.h"
#include "Ombrel/Classes/QVAnalyticsEvents/QVTrackUserAction.h"
#include "QVAppKit/QVAbstractButton.h"
#include "QVPlatform/Localization.h"
#include "QVPlatform/Log.h"

namespace {

std::string joined(const std::vector<std::string>& paths) {
  std::string text = "(";
  for (size_t i = 0; i < paths.size(); ++i) text += (i ? ", \"" : "\"") + paths[i] + "\"";
  return text + ")";
}

}  // namespace

std::shared_ptr<QVAppDelegate> QVAppDelegate::make() {
  std::shared_ptr<QVAppDelegate> delegate(new QVAppDelegate());
  delegate->init();
  return delegate;
}

QVAppDelegate::~QVAppDelegate() {
  if (QVMenuController::firstResponder() == this) QVMenuController::setFirstResponder(nullptr);
  if (QVMenuController::mainMenu() == mainMenu_.get()) QVMenuController::setMainMenu(nullptr);
}

void QVAppDelegate::init() {
  QVAppLink::start();
  std::weak_ptr<QVAppDelegate> weak = weak_from_this();
  openViewObserver_ = qv::NotificationCenter::defaultCenter().addObserver(kQVOpenViewDidAppear, nullptr,
                                                                          [weak](const qv::Notification&) {
                                                                            if (auto self = weak.lock())
                                                                              self->onStartWindowDidAppear();
                                                                          });
  QVMenuController::setFirstResponder(this);
  buildMainMenu();
}

// ---- Launch ----

void QVAppDelegate::applicationWillFinishLaunching() {
  QVAnalytics::loadConfiguration();
  // The class-wide title offset of the toolkit's buttons.
  QVAbstractButton::setDefaultTextOffset(CGSizeMake(0, 2));
  QVMenuController::updateFileSettingsSubmenu();
  if (auto launch = QVAppLaunchAction::appLaunched()) launch->fire();
}

bool QVAppDelegate::applicationOpenUntitledFile() {
  QVLog(1, "applicationOpenUntitledFile");
  showInitialWindow();
  return true;
}

void QVAppDelegate::showOpenWindow() {
  auto controller = solvaneWindowController();
  if (!controller->isWindowVisible()) controller->showWindow();
}

std::shared_ptr<QVSolvaneWindowController> QVAppDelegate::solvaneWindowController() {
  if (!solvaneWindowController_) {
    solvaneWindowController_ = QVSolvaneWindowController::make();
    solvaneWindowController_->setDelegate(this);
    solvaneWindowController_->createTitleBar(topBarMenu());
    // Every shortcut answers in every window of the application, even with the menu closed.
    // An item that two menus carry (the plug-in commands) answers its shortcut once.
    auto* window = solvaneWindowController_->window();
    for (QVMenuItem* item : QVMenuController::shortcutItems({mainMenu(), titleBarMenu_.get()})) {
      item->setShortcutContext(Qt::ApplicationShortcut);
      window->addAction(item);
    }
    QVSolvanePanels::setMainWindowProvider([weak = std::weak_ptr(solvaneWindowController_)]() -> QWidget* {
      auto controller = weak.lock();
      return controller ? controller->window() : nullptr;
    });
    QVSolvanePanels::setSheetPlacer([weak = std::weak_ptr(solvaneWindowController_)](QWidget* panel) {
      if (auto controller = weak.lock()) controller->placeSheet(panel);
    });
    // Disk exports ask for their destination through the export dialog with the export options.
    QVSolvanePanels::setAccessoryMaker([](bool, int64_t colorSpace, int64_t depth) {
      return std::static_pointer_cast<QVExportOptionsAccessory>(
          QVExportOptionsView::exportOptionsViewWithMetadata(qv::Value(), colorSpace, depth));
    });
    QVSharingServices::setDialogPresenter(QVSolvanePanels::exportDialogPresenter());
  }
  return solvaneWindowController_;
}

void QVAppDelegate::applicationOpenFiles(const std::vector<std::string>& paths) {
  QVLog(1, "application:openFiles: %s", joined(paths).c_str());
  if (!fileCollector_) {
    std::weak_ptr<QVAppDelegate> weak = weak_from_this();
    fileCollector_ = QVFileTimedCollector::initWithFireTimeInterval(kQVOpenFilesCollectInterval,
                                                                    [weak](const std::vector<std::string>& batch) {
                                                                      auto self = weak.lock();
                                                                      if (!self) return;
                                                                      // Keep the collector alive while it reports: the
                                                                      // next request starts a new batch.
                                                                      auto collector = std::move(self->fileCollector_);
                                                                      self->continueAppOpenFiles(batch);
                                                                    });
  }
  fileCollector_->queueFiles(paths);
}

void QVAppDelegate::continueAppOpenFiles(const std::vector<std::string>& paths) {
  QVLog(1, "continueAppOpenFiles: %s", joined(paths).c_str());
  auto controller = solvaneWindowController();
  if (QVAppLink::isPluginMode()) {
    const auto collection = QVAppLink::pluginPhotoCollection();
    if (!collection.empty()) {
      controller->makeKeyAndOrderFront();
      controller->addImagesAtPaths(collection);
      return;
    }
  }
  const bool wasOpen = isMainWindowOpened();
  // A dialog up (an export's, a question) stays over the window: raising the window without a
  // window manager would cover it.
  if (!QApplication::activeModalWidget()) controller->makeKeyAndOrderFront();
  if (wasOpen) {
    if (QWidget* panel = isOpenPanelPresent()) {
      if (auto* dialog = dynamic_cast<QDialog*>(panel)) {
        dialog->reject();
      } else {
        panel->close();
      }
    }
    controller->simulateDrop(paths);
    return;
  }
  // Every burst that arrives before the open screen is dropped on it, together.
  pathsAwaitingOpenScreen_.insert(pathsAwaitingOpenScreen_.end(), paths.begin(), paths.end());
  std::weak_ptr<QVAppDelegate> weak = weak_from_this();
  waitForOpenViewToAppearWithCompletion([weak] {
    auto self = weak.lock();
    if (!self) return;
    const std::vector<std::string> waiting = std::exchange(self->pathsAwaitingOpenScreen_, {});
    if (self->solvaneWindowController_) self->solvaneWindowController_->simulateDrop(waiting);
  });
}

void QVAppDelegate::waitForOpenViewToAppearWithCompletion(std::function<void()> completion) {
  if (startWindowIsPresented_) {
    if (completion) completion();
    return;
  }
  startWindowPresentCompletion_ = std::move(completion);
}

void QVAppDelegate::onStartWindowDidAppear() {
  startWindowIsPresented_ = true;
  if (auto completion = std::move(startWindowPresentCompletion_)) {
    startWindowPresentCompletion_ = nullptr;
    completion();
  }
}

bool QVAppDelegate::isMainWindowOpened() const {
  return solvaneWindowController_ &&
         (solvaneWindowController_->isWindowVisible() || solvaneWindowController_->isWindowMiniaturized());
}

bool QVAppDelegate::handedFilesWaitForExport() const {
  return solvaneWindowController_ && solvaneWindowController_->isExportUnderWay();
}

QWidget* QVAppDelegate::isOpenPanelPresent() {
  // An export's folder chooser is an open dialog too: closing it would drop the export.
  if (QVSolvanePanels::isSavePanelShowed()) return nullptr;
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    auto* dialog = dynamic_cast<QFileDialog*>(widget);
    if (dialog && dialog->isVisible() && dialog->acceptMode() == QFileDialog::AcceptOpen) return dialog;
  }
  return nullptr;
}

// ---- Quit ----

void QVAppDelegate::exitApp(QVMenuItem*) {
  if (isMainWindowOpened()) {
    // Closing asks first (photos not exported); a yes ends the application through this delegate.
    solvaneWindowController_->closeWindow();
  } else {
    // No main window to close: quit straight away.
    terminate();
  }
}

void QVAppDelegate::solvaneWindowControllerWillCloseWindow(QVSolvaneWindowController*) {
  qv::NotificationCenter::defaultCenter().post(kQVApplicationWillTerminateNotification);
  terminate();
}

void QVAppDelegate::terminate() {
  if (terminator_) {
    terminator_();
  } else {
    QApplication::quit();
  }
}

void QVAppDelegate::applicationWillTerminate() {
  if (terminating_) return;
  terminating_ = true;
  const auto began = std::chrono::steady_clock::now();
  if (!QVAppLink::cancelImageOperationsAndWaitUntilDone(kQVQuitWaitSeconds)) {
    QVLogWarning("image work did not stop within %.0f s; quitting anyway", kQVQuitWaitSeconds);
  }
  QVLog(1, "applicationWillTerminate: image work stopped in %lld ms",
        static_cast<long long>(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - began).count()));
  if (QWidget* modal = QApplication::activeModalWidget()) {
    if (auto* dialog = dynamic_cast<QDialog*>(modal)) {
      dialog->reject();
    } else {
      modal->close();
    }
  }
  qv::NotificationCenter::defaultCenter().post(kQVApplicationWillTerminateNotification);
}

// ---- Menus ----

QVMenu* QVAppDelegate::mainMenu() {
  if (!mainMenu_) buildMainMenu();
  return mainMenu_.get();
}

void QVAppDelegate::buildMainMenu() {
  if (mainMenu_) return;
  mainMenu_ = std::make_unique<QVMenu>();
  auto* app = new QVMenu("<AppName>", mainMenu_.get());
  app->addItem("About <AppName>", QVMenuTagAbout, &QVMenuResponder::showAbout);
  app->addItem("Tell a Friend...", QVMenuTagTellFriend, &QVMenuResponder::onTellFriendItem);
  app->addItem("Install Plug-ins...", QVMenuTagInstallPlugins, &QVMenuResponder::installPlugins);
  // No "Check for Updates..." item: on Linux the distribution's package manager updates the program.
  app->addItem("Disable Sounds", QVMenuTagSounds, &QVMenuResponder::onEnableDisableSoundItem);
  app->addItem("Hide <AppName>", QVMenuTagHide, &QVMenuResponder::hide, "h");
  mainMenu_->addSubmenuItem("<AppName>", QVMenuTagAppMenu, app);

  auto* file = new QVMenu("File", mainMenu_.get());
  file->addItem("Open Photos...", QVMenuTagOpenFiles, &QVMenuResponder::addImages, "o");
  auto* settings = new QVMenu("Automatic Corrections", file);
  settings->addItem("Lens Correction", QVMenuTagLensCorrection, &QVMenuResponder::menuSettingSwitched)->setState(0);
  settings->addItem("Color Temperature", QVMenuTagColorTemperature, &QVMenuResponder::menuSettingSwitched)
      ->setState(QVAppLink::autoColorTemperatureEnabled() ? 1 : 0);
  file->addSubmenuItem("Automatic Corrections", QVMenuTagFileSettings, settings);
  mainMenu_->addSubmenuItem("File", QVMenuTagFileMenu, file);

  auto* help = new QVMenu("Help", mainMenu_.get());
  help->addItem("<AppName> Help", QVMenuTagHelp, &QVMenuResponder::onHelpMenuItem);
  help->addItem("Send Feedback...", QVMenuTagFeedback, &QVMenuResponder::onHelpMenuItem);
  help->addItem("Suggest a Feature...", QVMenuTagSuggestFeature, &QVMenuResponder::onHelpMenuItem);
  mainMenu_->addSubmenuItem("Help", 30000, help);
  QVMenuController::setMainMenu(mainMenu_.get());
}

std::shared_ptr<QVMenu> QVAppDelegate::topBarMenu() {
  if (!topBarMenu_) {
    topBarMenu_ = std::make_shared<QVMenu>();
    std::weak_ptr<QVAppDelegate> weak = weak_from_this();
    QObject::connect(topBarMenu_.get(), &QMenu::aboutToShow, topBarMenu_.get(), [weak] {
      if (auto self = weak.lock()) {
        self->rebuildTopBarMenu();
        self->validateAllMenus();
      }
    });
    rebuildTopBarMenu();
  }
  return topBarMenu_;
}

void QVAppDelegate::rebuildTopBarMenu() {
  if (!titleBarMenu_) {
    // The controller's own: it adds and removes the Export submenu there.
    titleBarMenu_ = solvaneWindowController_->titleBarItemsMenuShared();
  }
  // The title-bar items act on the main window controller, made together with the top bar.
  for (QVMenuItem* item : titleBarMenu_->items()) {
    if (item->tag() != QVMenuTagQuit) item->setTarget(solvaneWindowController_.get());
  }
  QVMenu* menu = topBarMenu_.get();
  menu->clear();  // separators go; the items belong to their own menus
  QVMenu* file = QVMenuController::fileMenu();
  QVMenu* app = QVMenuController::appMenu();
  // Each command once: the File menu carries its own copies of the title bar's Export submenu and
  // plug-in commands, which the title bar's stand for here.
  std::set<int64_t> added;
  auto add = [menu, &added](QVMenuItem* item) {
    if (item && added.insert(item->tag()).second) menu->addAction(item);
  };
  // Opening and the File menu.
  if (file) add(file->itemWithTag(QVMenuTagOpenFiles));
  for (QVMenuItem* item : titleBarMenu_->items()) {
    if (item->tag() != QVMenuTagContactSupport && item->tag() != QVMenuTagQuit) add(item);
  }
  if (file) {
    for (QVMenuItem* item : file->items()) add(item);
  }
  menu->addSeparator();
  // The application as a whole.
  if (app) {
    for (int64_t tag : {QVMenuTagAbout, QVMenuTagTellFriend, QVMenuTagInstallPlugins, QVMenuTagSounds}) {
      add(app->itemWithTag(tag));
    }
  }
  menu->addSeparator();
  if (QVMenu* main = mainMenu_.get()) add(main->itemWithTag(30000));
  add(titleBarMenu_->itemWithTag(QVMenuTagContactSupport));
  menu->addSeparator();
  if (app) add(app->itemWithTag(QVMenuTagHide));
  add(titleBarMenu_->itemWithTag(QVMenuTagQuit));
}

void QVAppDelegate::validateAllMenus() {
  auto validator = [this](QVMenuItem* item) { return validateMenuItem(item); };
  QVMenuController::validateMenu(mainMenu(), validator);
  if (titleBarMenu_) QVMenuController::validateMenu(titleBarMenu_.get(), validator);
}

bool QVAppDelegate::validateMenuItem(QVMenuItem* item) {
  if (solvaneWindowController_) return solvaneWindowController_->validateMenuItem(item);
  return QVMenuController::validateMenuItem(item, 0);
}

// ---- Menu actions ----

void QVAppDelegate::hide(QVMenuItem*) {
  for (QWidget* window : QApplication::topLevelWidgets()) {
    if (window->isVisible() && window->isWindow() && !window->isMinimized()) window->showMinimized();
  }
}

void QVAppDelegate::addImages(QVMenuItem*) { solvaneWindowController()->addFilesViaOpenPanel(); }

void QVAppDelegate::showAbout(QVMenuItem*) {
  if (!aboutWindowController_) aboutWindowController_ = std::make_unique<QVAboutWindowController>();
  aboutWindowController_->startForWindow(solvaneWindowController()->window());
}

void QVAppDelegate::onTellFriendItem(QVMenuItem*) { QVSolvaneAppHelpers::tellFriendAction(); }

void QVAppDelegate::onEnableDisableSoundItem(QVMenuItem*) {
  QVSoundManager::setSoundsDisabled(!QVSoundManager::soundsDisabled());
}

void QVAppDelegate::installPlugins(QVMenuItem*) { solvaneWindowController()->installPlugins(); }

void QVAppDelegate::menuSettingSwitched(QVMenuItem* item) {
  if (!item) return;
  const bool enable = item->state() == 0;
  if (item->tag() == QVMenuTagLensCorrection) {
    QVAppLink::setAutoLensCorrectionEnabled(enable);
    item->setState(enable ? 1 : 0);
  } else if (item->tag() == QVMenuTagColorTemperature) {
    QVAppLink::setAutoColorTemperatureEnabled(enable);
    item->setState(enable ? 1 : 0);
  }
  qv::NotificationCenter::defaultCenter().post(kQVAppMenuSettingsDidChange);
}

void QVAppDelegate::onHelpMenuItem(QVMenuItem* item) { QVMenuController::handleHelpMenuActionForItem(item); }
