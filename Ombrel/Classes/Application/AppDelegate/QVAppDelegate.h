#pragma once
// The application delegate: starts the application core, prepares the services and the menus at
// launch, opens the main window, receives the files handed to the program (its command line and
// later invocations, through the single-instance socket), quits in order, and carries the menu
// actions of the application as a whole.
//
// Open requests are gathered for 0.25 s (each request restarts the wait) and the whole burst is
// then dropped on the main window as if dragged there; bursts that arrive before the open screen
// has appeared wait for it together, and one that arrives while the screen still takes the
// previous drop waits for that (the window controller queues them): no burst is lost.
//
// Quit: the Quit item closes the main window (unless it refuses); closing it posts the
// will-terminate notification and ends the main loop; at termination the image work is cancelled
// and waited for (bounded), a modal dialog is closed, and the notification is posted again.
//
// Main thread only.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Ombrel/Classes/Application/About/QVAboutWindowController.h"
#include "Ombrel/Classes/Application/Controllers/QVSolvaneWindowController.h"
#include "Ombrel/Classes/Application/Menus/QVMenu.h"
#include "Ombrel/Classes/Helpers/QVFileTimedCollector.h"
#include "QVPlatform/NotificationCenter.h"

class QWidget;

inline constexpr const char* kQVAppMenuSettingsDidChange = "QVAppMenuSettingsDidChange";
// How long gathering open requests waits for the next one.
inline constexpr double kQVOpenFilesCollectInterval = 0.25;
// How long quitting waits for running image work.
inline constexpr double kQVQuitWaitSeconds = 10.0;

class QVAppDelegate : public QVMenuResponder,
                      public QVSolvaneWindowControllerDelegate,
                      public std::enable_shared_from_this<QVAppDelegate> {
 public:
  // Made and started (the application core's start, the open-view observer).
  static std::shared_ptr<QVAppDelegate> make();
  ~QVAppDelegate() override;

  // ---- Launch ----
  void applicationWillFinishLaunching();
  void applicationDidFinishLaunching() {}
  // No documents at start: the main window comes up.
  bool applicationOpenUntitledFile();
  void applicationOpenFiles(const std::vector<std::string>& paths);
  // Files handed to the program now wait for an export under way (see the window controller).
  bool handedFilesWaitForExport() const;
  bool applicationShouldTerminateAfterLastWindowClosed() const { return true; }
  void applicationWillTerminate();

  void showInitialWindow() { showOpenWindow(); }
  void showOpenWindow();
  void continueAppOpenFiles(const std::vector<std::string>& paths);
  void waitForOpenViewToAppearWithCompletion(std::function<void()> completion);
  void onStartWindowDidAppear();
  bool isMainWindowOpened() const;
  // The file chooser on screen, or nullptr (never an export's dialog, which may choose a folder).
  static QWidget* isOpenPanelPresent();

  std::shared_ptr<QVSolvaneWindowController> solvaneWindowController();
  const std::shared_ptr<QVFileTimedCollector>& fileCollector() const { return fileCollector_; }
  bool startWindowIsPresented() const { return startWindowIsPresented_; }
  bool hasStartWindowPresentCompletion() const { return static_cast<bool>(startWindowPresentCompletion_); }

  // ---- Menus ----
  // The "main menu" (application and File menus), built once.
  QVMenu* mainMenu();
  // The top bar's menu: its items rebuilt and validated each time it opens.
  std::shared_ptr<QVMenu> topBarMenu();
  void rebuildTopBarMenu();
  // Validates every item of the menus (before a shortcut is matched and before a menu shows).
  void validateAllMenus();

  // ---- Menu actions ----
  void hide(QVMenuItem*) override;
  void exitApp(QVMenuItem*) override;
  void addImages(QVMenuItem*) override;
  void showAbout(QVMenuItem*) override;
  // Made by the first About command.
  QVAboutWindowController* aboutWindowController() const { return aboutWindowController_.get(); }
  void onTellFriendItem(QVMenuItem*) override;
  void onEnableDisableSoundItem(QVMenuItem*) override;
  void installPlugins(QVMenuItem*) override;
  void menuSettingSwitched(QVMenuItem* item) override;
  void onHelpMenuItem(QVMenuItem* item) override;
  bool validateMenuItem(QVMenuItem* item) override;

  // ---- Main window controller delegate ----
  void solvaneWindowControllerWillCloseWindow(QVSolvaneWindowController* controller) override;

  // What terminating does (ends Qt's main loop unless replaced; tests record it).
  void setTerminator(std::function<void()> terminator) { terminator_ = std::move(terminator); }

 private:
  QVAppDelegate() = default;
  void init();
  void terminate();
  void buildMainMenu();

  std::shared_ptr<QVSolvaneWindowController> solvaneWindowController_;
  std::unique_ptr<QVAboutWindowController> aboutWindowController_;
  std::shared_ptr<QVFileTimedCollector> fileCollector_;
  std::function<void()> startWindowPresentCompletion_;
  // Paths of the bursts waiting for the open screen to appear.
  std::vector<std::string> pathsAwaitingOpenScreen_;
  bool startWindowIsPresented_ = false;
  qv::ObserverToken openViewObserver_;
  std::unique_ptr<QVMenu> mainMenu_;
  std::shared_ptr<QVMenu> titleBarMenu_;
  std::shared_ptr<QVMenu> topBarMenu_;
  std::function<void()> terminator_;
  bool terminating_ = false;
};
