#pragma once
// The open screen's controller (screen mode 0). It never processes images nor changes the mode:
// it shows what is dragged over the window, runs the choose-files panel, validates the choice and
// hands the paths to its delegate (the main window controller), and offers the transitions the
// views they animate.
//
// Main thread only.
#include <QPointer>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "Ombrel/Classes/Application/OpenScreen/QVOpenView.h"
#include "QVAppKit/QVViewController.h"

class QVOpenViewController;

inline constexpr const char* kQVOpenViewDidAppear = "QVOpenViewDidAppear";
inline constexpr const char* QVOpenViewControllerExportButtonKey = "QVOpenViewControllerExportButtonKey";
inline constexpr const char* QVOpenViewControllerBackgroundViewKey = "QVOpenViewControllerBackgroundViewKey";
inline constexpr const char* QVOpenViewControllerBlurredBackgroundViewKey =
    "QVOpenViewControllerBlurredBackgroundViewKey";
inline constexpr const char* QVOpenViewControllerControlsViewKey = "QVOpenViewControllerControlsViewKey";
inline constexpr const char* QVOpenViewControllerTitleBarKey = "QVOpenViewControllerTitleBarKey";
inline constexpr const char* QVOpenViewControllerTitleBarContainerKey = "QVOpenViewControllerTitleBarContainerKey";
inline constexpr const char* QVOpenViewControllerSpringViewKey = "QVOpenViewControllerSpringViewKey";
inline constexpr const char* QVOpenViewControllerBlurIsShownKey = "QVOpenViewControllerBlurIsShownKey";

class QVOpenViewControllerDelegate {
 public:
  virtual ~QVOpenViewControllerDelegate() = default;
  // Files were chosen in the panel and validated; never empty.
  virtual void openViewControllerDidOpenPaths(QVOpenViewController* controller, const std::vector<std::string>& paths) {
  }
};

// The views the transitions animate, and whether the photo shows blurred during them.
struct QVOpenAnimatableViews {
  std::map<std::string, QWidget*> views;
  bool blurIsShown = false;
  bool has(const std::string& key) const { return views.count(key) != 0; }
};

class QVOpenViewController : public QVViewController {
 public:
  QVOpenViewController();
  ~QVOpenViewController() override;
  void loadView() override;
  void viewDidLoad() override;
  // The screen appeared: the application counts as launched, and "QVOpenViewDidAppear" is posted.
  void viewDidAppear();

  QVOpenView* mainView();
  // Not owned: the delegate outlives the controller or clears itself.
  QVOpenViewControllerDelegate* delegate() const { return delegate_; }
  void setDelegate(QVOpenViewControllerDelegate* delegate) { delegate_ = delegate; }
  bool needToShowBlurredImageDuringAnimation() const { return needToShowBlurredImageDuringAnimation_; }

  void insertTitleBarView(QWidget* view);
  void updateBlurredImageWithURL(const std::optional<std::string>& url);
  // The completion runs once the photo is shown; at once when it cannot be shown (or for none), so
  // a drop never waits for a refused file; for the URL already set, once that photo is shown.
  void updateBlurredImageWithURL(const std::optional<std::string>& url, std::function<void()> completion);
  // Runs the block once the blurred image being applied is shown, at once when none is.
  void waitForBlurredImageApply(std::function<void()> block);
  void handleDragDidMoveWhileDragging(CGPoint location);
  void handleDragDidExitWithURLs(const std::vector<std::string>& urls);
  void loadDocument() { showAndHandleChooseFilesPanel(); }
  void showAndHandleChooseFilesPanel();
  void onDidOpenFiles(const std::vector<std::string>& paths);

  QVOpenAnimatableViews animatableViews();
  // Insets of the panel inside the window's content view (top, left, bottom, right).
  struct EdgeInsets {
    double top = 0, left = 0, bottom = 0, right = 0;
    bool operator==(const EdgeInsets&) const = default;
  };
  EdgeInsets contentsEdgeInset();
  // The same from the two rectangles (a missing view counts as the zero rectangle).
  static EdgeInsets edgeInsets(CGRect springFrame, CGRect contentBounds);

 private:
  QVOpenViewControllerDelegate* delegate_ = nullptr;
  bool needToShowBlurredImageDuringAnimation_ = false;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};
