#pragma once
// The main window controller: owns the main window (QVSolvaneWindow) with the drag view covering
// its content and the screen container inside it, keeps the list of open paths and shows the
// screen of the mode their number gives (0 open screen, 1 single image, 2 gallery). Every way in
// which photos enter ends here: the open panel, the import-more button, files handed to the
// program, drops, the sample photo. Screens are reached through `QVMainScreen`; a change of screen
// is a `QVScreenTransition` from the table of (from, to) transitions. It also answers the close
// and start-over alert, the Export submenu, the feedback command and the plug-in actions.
//
// Main thread only; delayed blocks are main-executor timers holding the controller weakly.
#include <QPointer>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Ombrel/Classes/Application/Controllers/QVMainScreen.h"
#include "Ombrel/Classes/Application/Controllers/QVWindowControllerServices.h"
#include "Ombrel/Classes/Application/MainWindow/QVDragViewAssistant.h"
#include "Ombrel/Classes/Application/MainWindow/QVExportImageDatasource.h"
#include "Ombrel/Classes/Application/MainWindow/QVSolvaneWindow.h"
#include "Ombrel/Classes/Application/Menus/QVMenu.h"
#include "Ombrel/Classes/Application/OpenScreen/QVOpenDragView.h"
#include "Ombrel/Classes/Application/OpenScreen/QVOpenViewController.h"
#include "QVAppKit/QVSolvaneTopBarView.h"
#include "QVPlatform/NotificationCenter.h"

class QVSolvaneWindowController;
class QVFeedbackWindowController;
class QVOpenMainScreen;
class QVSingleMainScreen;
class QVGalleryMainScreen;

inline constexpr const char* kQVApplyPluginNotificationName = "QVApplyPluginNotificationName";
inline constexpr const char* kQVCancelPluginNotificationName = "QVCancelPluginNotificationName";

class QVSolvaneWindowControllerDelegate {
 public:
  virtual ~QVSolvaneWindowControllerDelegate() = default;
  virtual void solvaneWindowControllerWillCloseWindow(QVSolvaneWindowController* controller) {}
};

class QVSolvaneWindowController : public QVMenuResponder,
                                  public QVSolvaneTopBarViewDelegate,
                                  public QVOpenDragViewDelegate,
                                  public QVOpenViewControllerDelegate,
                                  public QVExportImageDatasourceDelegate,
                                  public QVMainScreenHost,
                                  public std::enable_shared_from_this<QVSolvaneWindowController> {
 public:
  // Answers of the close and start-over alert.
  enum : int64_t { kAnswerQuit = 3, kAnswerStartOver = 4, kAnswerSaveFirst = 5 };

  static std::shared_ptr<QVSolvaneWindowController> make();
  ~QVSolvaneWindowController() override;

  QVSolvaneWindow* window() const { return window_; }
  QVOpenDragView* dragView() const { return dragView_; }
  QVView* vcContainer() const { return vcContainer_; }
  int64_t currentMode() const { return currentMode_; }
  QVMainScreen* currentScreen() const { return current_.get(); }
  // The current screen as the screen of its mode, else none.
  QVOpenMainScreen* openScreen() const;
  QVSingleMainScreen* singleScreen() const;
  QVGalleryMainScreen* galleryScreen() const;
  QVOpenViewController* openViewController() const;
  QVScreenTransition* transition() const { return transition_.get(); }
  QVExportImageDatasource* exportPathStorage() const override { return exportPathStorage_.get(); }
  // The title bar on screen: the open screen's own in mode 0, else the window's.
  QVSolvaneTopBarView* visibleTitleBar() const;
  void showWindow();
  bool isWindowVisible() const;
  bool isWindowMiniaturized() const;
  void makeKeyAndOrderFront();
  void closeWindow();

  QVSolvaneWindowControllerDelegate* delegate() const { return delegate_; }
  // Not owned: the delegate outlives the controller (the application delegate).
  void setDelegate(QVSolvaneWindowControllerDelegate* delegate) { delegate_ = delegate; }

  std::vector<std::string> paths() const { return imagePaths(); }
  static int64_t viewModeFromPathsCount(size_t count) { return count == 0 ? 0 : count == 1 ? 1 : 2; }
  // Whether the replace key (Ctrl) is held; tests set their own.
  static void setReplaceKeyQuery(std::function<bool()> query);

  // ---- Entry points ----
  // Paths as if dropped on the window (the sample photo, files handed to the program). One such
  // drop at a time: paths that arrive while the screen still takes the previous drop (puts its
  // photo up, moves to the next screen) wait, never lost, and follow as one drop once it settles.
  void simulateDrop(const std::vector<std::string>& paths);
  // Paths waiting for the screen to settle.
  const std::vector<std::string>& queuedDropPaths() const { return queuedDrops_; }
  // An export the user started is under way (its dialog up, or its photos being written): paths
  // handed to the program wait until it has ended, so the screen it runs on stays.
  bool isExportUnderWay() const;
  // Files handed to the program: ignored while the screen exports.
  void addImagesAtPaths(const std::vector<std::string>& paths);
  void addFilesViaOpenPanel();
  void openFiles();
  // Asks (with photos open) before the window closes; false keeps it.
  bool windowShouldClose();
  void installPlugins();
  // The close and start-over alert; true when the window may close.
  bool closeSessionsWithAlert(bool showQuitButton, bool showCancelButton) override;
  void startOver() override;
  void exportWithExportType(uint64_t type);
  void onOpenSampleImage();
  void showFeedbackWindow();
  QVFeedbackWindowController* feedbackWindowController() const { return feedbackWC_.get(); }
  // The gallery leaves for its one photo.
  void galleryDidLeaveASingleImageWithPath(const std::string& path, std::function<void()> animationCompletion) override;
  // How far below the window's top a sheet is placed.
  double sheetTopOffset() const;
  // Puts a sheet's panel that far below the top of the window's content, centred across it.
  void placeSheet(QWidget* panel) const;

  // ---- Title bar and menus ----
  QVSolvaneTopBarView* createTitleBar(std::shared_ptr<QMenu> menu);
  void setTitleBarMenu(std::shared_ptr<QMenu> menu);
  // The title bar's own items (import more, start over, export), made on first use.
  QVMenu* titleBarItemsMenu();
  std::shared_ptr<QVMenu> titleBarItemsMenuShared() {
    titleBarItemsMenu();
    return titleBarItemsMenu_;
  }
  bool validateMenuItem(QVMenuItem* item) override;
  void onOpenFilesMenuItem(QVMenuItem*) override { openFiles(); }
  // Start Over: the screen's own window in front answers it (the quick preview), else the alert
  // with a cancel button.
  void onStartOverMenuItem(QVMenuItem*) override;
  void onHelpMenuItem(QVMenuItem* item) override;
  void applyPlugin(QVMenuItem*) override;
  void cancelPlugin(QVMenuItem*) override;
  void onExportMenuItemSelected(QVMenuItem* item) override;
  void didClickImportMoreButton(QVSolvaneTopBarView*) override { openFiles(); }

  // ---- Drag view, open screen and path list ----
  void openDragViewDidEnter(QVOpenDragView* view) override;
  void openDragViewDidMoveWhileDragging(QVOpenDragView* view, CGPoint location) override;
  void openDragViewDidExit(QVOpenDragView* view) override;
  void openDragViewDidDrop(QVOpenDragView* view) override;
  void openViewControllerDidOpenPaths(QVOpenViewController* controller, const std::vector<std::string>& paths) override;
  void exportImagePathsDidChange(QVExportImageDatasource* datasource) override;

  // ---- What screens ask ----
  std::vector<std::string> updatePaths(const std::vector<std::string>& paths) override;
  std::vector<std::string> replacePaths(const std::vector<std::string>& paths) override;
  std::vector<std::string> imagePaths() const override;
  bool isPluginMode() const override;
  void handleTransitionFromOpenViewWithPaths(const std::vector<std::string>& paths) override;
  void beginTransition(int64_t to, std::function<void(QVMainScreen* end)> done) override;
  void finishTransition(int64_t to, std::function<void(QVMainScreen* end)> prepare) override;
  void cancelTransition() override;

 private:
  QVSolvaneWindowController() = default;
  void build();
  std::unique_ptr<QVMainScreen> viewControllerForMode(int64_t mode);
  void updateForCurrentMode();
  // `shapeWindow` false: a transition already gave the window the mode's shape.
  void updateForMode(int64_t mode, std::unique_ptr<QVMainScreen> screen, bool shapeWindow = true);
  // The transition's end becomes the current screen in mode `to`.
  void completeTransition(int64_t to, std::unique_ptr<QVScreenTransition> transition);
  // Runs the transition, completes it at its end, then runs `then`.
  void transitAndComplete(int64_t from, int64_t to, std::unique_ptr<QVMainScreen> end,
                          std::function<void(QVSolvaneWindowController&)> then);
  void registerTransitions();
  void present(std::unique_ptr<QVMainScreen> screen);
  void updatePathsAndChangeMode(const std::vector<std::string>& paths);
  void handleDraggingEntered(const std::vector<std::string>& paths, std::function<void()> completion);
  void processDroppedImagePaths(const std::vector<std::string>& paths);
  void transitFrom(int64_t from, int64_t to, std::unique_ptr<QVMainScreen> end,
                   std::function<void(QVMainScreen* end)> completion);
  void onExportViewStateDidChange(uint64_t state);
  void removeExportSubmenus();
  QVSolvaneTopBarView* makeTitleBar();
  // The paths a transition shows: the photo the gallery leaves for while it does, else the open list.
  std::vector<std::string> transitionPaths() const;
  CGSize firstImageSize() const;
  // Runs the block after `seconds` on the main executor while the controller lives.
  void after(double seconds, std::function<void(QVSolvaneWindowController&)> block);
  // No transition runs, no validation is under way and the screen is not busy with a drop.
  bool isSettledForDrop() const;
  // Ends the drop in flight once the screen has settled, then starts the queued one; looks again
  // a little later while either waits.
  void dropQueuedPaths();

  // The drop made by `simulateDrop` that the screen is taking.
  struct DropInFlight {
    std::vector<std::string> paths;
    uint64_t ticket = 0;
    bool taken = false;  // the screen was given the drop
    int attempts = 0;
  };

  QPointer<QVSolvaneWindow> window_;
  QPointer<QVOpenDragView> dragView_;
  QPointer<QVView> vcContainer_;
  int64_t currentMode_ = -1;
  QVSolvaneWindowControllerDelegate* delegate_ = nullptr;
  std::unique_ptr<QVExportImageDatasource> exportPathStorage_;
  std::shared_ptr<QVMenu> titleBarItemsMenu_;
  std::shared_ptr<QMenu> titleBarMenu_;
  std::unique_ptr<QVWindowPluginController> pluginController_;
  std::unique_ptr<QVScreenTransition> transition_;
  // `transition_` still moves; what completes it once it stands still (a drop made meanwhile).
  bool transitionMoving_ = false;
  std::function<void()> finishWhenStill_;
  // Cancelled transitions run back to their start screen until the screen changes.
  std::vector<std::unique_ptr<QVScreenTransition>> cancelled_;
  std::unique_ptr<QVMainScreen> current_;
  std::unique_ptr<QVDragViewAssistant> dragViewAssistant_;
  std::unique_ptr<QVFeedbackWindowController> feedbackWC_;
  std::shared_ptr<QVWindowControllerServices> services_;
  std::vector<qv::ObserverToken> observers_;
  std::vector<std::string> queuedDrops_;
  std::optional<DropInFlight> dropInFlight_;
  uint64_t dropTickets_ = 0;
  int queuedDropAttempts_ = 0;
  bool dropCheckScheduled_ = false;
  int validating_ = 0;
};
