#pragma once
// The main window controller, as far as the screens built so far need it: it owns the main window
// (QVSolvaneWindow) with the drag view covering its content and the screen container inside it,
// and the list of open paths; it shows the open screen while no photo is open, takes drops and
// open-panel choices, answers the title-bar menu and validates menu items with the number of open
// paths. Two or more photos show in the gallery; until the single-image screen is wired in, one
// open photo shows as `QVEmptyScreenView`.
//
// The open list keeps each path once; two equal paths inside one dropped batch both stay.
//
// Main thread only.
#include <QPointer>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "Ombrel/Classes/Application/Controllers/QVEmptyScreenView.h"
#include "Ombrel/Classes/Application/Gallery/QVGalleryViewController.h"
#include "Ombrel/Classes/Application/MainWindow/QVDragViewAssistant.h"
#include "Ombrel/Classes/Application/MainWindow/QVSolvaneWindow.h"
#include "Ombrel/Classes/Application/Menus/QVMenu.h"
#include "Ombrel/Classes/Application/OpenScreen/QVOpenDragView.h"
#include "Ombrel/Classes/Application/OpenScreen/QVOpenViewController.h"
#include "QVAppKit/QVSolvaneTopBarView.h"
#include "QVPlatform/NotificationCenter.h"

class QVSolvaneWindowController;
class QVFeedbackWindowController;

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
                                  public QVGalleryControllerDatasource,
                                  public QVGalleryControllerDelegate,
                                  public std::enable_shared_from_this<QVSolvaneWindowController> {
 public:
  static std::shared_ptr<QVSolvaneWindowController> make();
  ~QVSolvaneWindowController() override;

  QVSolvaneWindow* window() const { return window_; }
  QVOpenDragView* dragView() const { return dragView_; }
  QVView* vcContainer() const { return vcContainer_; }
  // The open screen while mode 0 shows, else none.
  QVOpenViewController* openViewController() const { return openVC_.get(); }
  QVEmptyScreenView* placeholderView() const { return placeholder_; }
  // The gallery while mode 2 shows, else none.
  QVGalleryViewController* galleryViewController() const { return galleryVC_.get(); }
  int64_t currentMode() const { return currentMode_; }
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

  const std::vector<std::string>& paths() const { return paths_; }
  // 0 open screen, 1 single image, 2 gallery, from the number of paths.
  int64_t screenMode() const;

  // Paths as if dropped on the current screen (added to the open list).
  void simulateDrop(const std::vector<std::string>& paths);
  // Replaces the open list.
  void addImagesAtPaths(const std::vector<std::string>& paths);
  void addFilesViaOpenPanel();
  bool windowShouldClose();
  void installPlugins();
  // Made on the first feedback command ("QVShowFeedbackWindowClicked"), kept, and shown.
  void showFeedbackWindow();
  QVFeedbackWindowController* feedbackWindowController() const { return feedbackWindowController_.get(); }
  // The top bar with the given menu as the title menu.
  QVSolvaneTopBarView* createTitleBar(std::shared_ptr<QMenu> menu);
  void setTitleBarMenu(std::shared_ptr<QMenu> menu);

  // QVMenuResponder
  bool validateMenuItem(QVMenuItem* item) override;
  void onOpenFilesMenuItem(QVMenuItem*) override { addFilesViaOpenPanel(); }
  void onStartOverMenuItem(QVMenuItem*) override { addImagesAtPaths({}); }
  void onHelpMenuItem(QVMenuItem* item) override;
  void applyPlugin(QVMenuItem*) override;
  void cancelPlugin(QVMenuItem*) override;

  // QVSolvaneTopBarViewDelegate
  void didClickImportMoreButton(QVSolvaneTopBarView*) override { addFilesViaOpenPanel(); }

  // QVOpenDragViewDelegate
  void openDragViewDidEnter(QVOpenDragView* view) override;
  void openDragViewDidMoveWhileDragging(QVOpenDragView* view, CGPoint location) override;
  void openDragViewDidExit(QVOpenDragView* view) override;
  void openDragViewDidDrop(QVOpenDragView* view) override;

  // QVOpenViewControllerDelegate
  void openViewControllerDidOpenPaths(QVOpenViewController* controller, const std::vector<std::string>& paths) override;

  // QVGalleryControllerDatasource
  std::optional<std::vector<std::string>> imagesPaths() override { return paths_; }
  // QVGalleryControllerDelegate (the screen changes on the next turn: the gallery is still at work)
  bool answersDidLeaveASingleImage() const override { return true; }
  void galleryViewControllerDidLeaveASingleImageWithPath(QVGalleryViewController* controller, const std::string& path,
                                                         std::function<void()> animationCompletion) override;
  void removeAllItemsInGalleryController(QVGalleryViewController* controller) override;
  void clickStartOverInGalleryController(QVGalleryViewController* controller) override;
  // The gallery deleted paths from the source list: they leave the open list too.
  void galleryDidDeletePaths(const std::vector<std::string>& paths);

 private:
  QVSolvaneWindowController() = default;
  void build();
  void showGallery();
  void updatePathsAndChangeMode(std::vector<std::string> paths);
  void processPreviews(const std::vector<std::string>& paths);
  void showEnhancedCount();
  // Shows the screen of the mode for the number of open paths.
  void updateForCurrentMode();
  QVSolvaneTopBarView* makeTitleBar();
  // Validated drops and chosen files go to the list; with none valid the open screen springs back.
  void handleTransitionFromOpenViewWithPaths(const std::vector<std::string>& paths);

  QPointer<QVSolvaneWindow> window_;
  QPointer<QVOpenDragView> dragView_;
  QPointer<QVView> vcContainer_;
  std::unique_ptr<QVOpenViewController> openVC_;
  QPointer<QVEmptyScreenView> placeholder_;
  std::unique_ptr<QVGalleryViewController> galleryVC_;
  std::unique_ptr<QVDragViewAssistant> dragViewAssistant_;
  std::shared_ptr<QMenu> titleBarMenu_;
  int64_t currentMode_ = -1;
  QVSolvaneWindowControllerDelegate* delegate_ = nullptr;
  std::vector<std::string> paths_;
  // Paths whose preview is enhanced; a request's answer counts only while its path is open.
  std::set<std::string> enhanced_;
  uint64_t generation_ = 0;
  qv::ObserverToken feedbackObserver_;
  std::unique_ptr<QVFeedbackWindowController> feedbackWindowController_;
};
