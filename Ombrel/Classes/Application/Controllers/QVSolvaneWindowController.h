#pragma once
// The main window controller, as far as the application shell needs it: it owns the main window
// (the top bar over the current screen) and the list of open paths, takes drops and open-panel
// choices, answers the title-bar menu and validates menu items with the number of open paths.
// The screens (open, single image, gallery) arrive later and replace `QVEmptyScreenView`.
//
// The open list keeps each path once; two equal paths inside one dropped batch both stay.
//
// Main thread only.
#include <QPointer>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "Ombrel/Classes/Application/Controllers/QVSolvaneMainWindow.h"
#include "Ombrel/Classes/Application/Menus/QVMenu.h"
#include "QVAppKit/QVSolvaneTopBarView.h"
#include "QVPlatform/NotificationCenter.h"

class QVSolvaneWindowController;
class QVFeedbackWindowController;

inline constexpr const char* kQVOpenViewDidAppear = "QVOpenViewDidAppear";
inline constexpr const char* kQVApplyPluginNotificationName = "QVApplyPluginNotificationName";
inline constexpr const char* kQVCancelPluginNotificationName = "QVCancelPluginNotificationName";

class QVSolvaneWindowControllerDelegate {
 public:
  virtual ~QVSolvaneWindowControllerDelegate() = default;
  virtual void solvaneWindowControllerWillCloseWindow(QVSolvaneWindowController* controller) {}
};

class QVSolvaneWindowController : public QVMenuResponder,
                                  public QVSolvaneTopBarViewDelegate,
                                  public std::enable_shared_from_this<QVSolvaneWindowController> {
 public:
  static std::shared_ptr<QVSolvaneWindowController> make();
  ~QVSolvaneWindowController() override;

  QVSolvaneMainWindow* window() const { return window_; }
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

 private:
  QVSolvaneWindowController() = default;
  void build();
  void updatePathsAndChangeMode(std::vector<std::string> paths);
  void processPreviews(const std::vector<std::string>& paths);
  void showEnhancedCount();

  QPointer<QVSolvaneMainWindow> window_;
  QVSolvaneWindowControllerDelegate* delegate_ = nullptr;
  std::vector<std::string> paths_;
  // Paths whose preview is enhanced; a request's answer counts only while its path is open.
  std::set<std::string> enhanced_;
  uint64_t generation_ = 0;
  qv::ObserverToken feedbackObserver_;
  std::unique_ptr<QVFeedbackWindowController> feedbackWindowController_;
};
