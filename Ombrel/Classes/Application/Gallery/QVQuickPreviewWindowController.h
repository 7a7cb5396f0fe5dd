#pragma once
// The quick preview: a frameless, translucent tool window of the main window (corners 6, 6, 30, 6
// from the top left, clockwise) that grows out of a gallery cell, shows one photo of the selection
// on a fresh single-image screen with the file name as its title, steps through the selection
// with wrap-around and shrinks back into the cell when hidden.
//
// While the application is active the preview floats above the main window (level 3); when the
// application goes to the background the preview drops to the normal level (0), and comes back
// with it, but only while it is shown. Frame animations run on the toolkit's animation driver;
// while one runs, selection changes and new shows are dropped, not queued.
//
// Main thread only.
#include <QPointer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Ombrel/Classes/Application/Gallery/QVQuickPreviewScreen.h"
#include "Ombrel/Classes/Application/MainWindow/QVSolvaneWindow.h"
#include "QVAppKit/QVAnimationDriver.h"
#include "QVBase/Geometry.h"

class QVQuickPreviewWindowController;
class QWidget;
class QVView;

class QVQuickPreviewWindowControllerDelegate {
 public:
  virtual ~QVQuickPreviewWindowControllerDelegate() = default;
  virtual void quickPreviewWillShow(QVQuickPreviewWindowController*) {}
  virtual void quickPreviewWillHide(QVQuickPreviewWindowController*) {}
  virtual void quickPreviewClickStartOverMenuItem(QVQuickPreviewWindowController*) {}
};

class QVQuickPreviewWindowController {
 public:
  static constexpr double kAnimationDuration = 0.25;
  static constexpr int64_t kFloatingLevel = 3;
  static constexpr int64_t kNormalLevel = 0;
  static constexpr double kFitSide = 2000;

  QVQuickPreviewWindowController();
  ~QVQuickPreviewWindowController();
  QVQuickPreviewWindowController(const QVQuickPreviewWindowController&) = delete;
  QVQuickPreviewWindowController& operator=(const QVQuickPreviewWindowController&) = delete;

  // Not owned: the delegate outlives the controller or clears itself.
  QVQuickPreviewWindowControllerDelegate* delegate() const { return delegate_; }
  void setDelegate(QVQuickPreviewWindowControllerDelegate* delegate) { delegate_ = delegate; }

  QVSolvaneWindow* window() const { return window_; }
  QVSolvaneTopBarView* titleBar() const { return titleBar_; }
  QVQuickPreviewScreen* singleImageViewController() const { return screen_.get(); }

  const std::vector<std::string>& imagePaths() const { return imagePaths_; }
  void setImagePaths(const std::vector<std::string>& paths) { imagePaths_ = paths; }
  int64_t selectedIdx() const { return selectedIdx_; }
  // Dropped while a frame animation runs or when unchanged; wraps at both ends; then refreshes.
  void setSelectedIdx(int64_t index);
  // The path at the index, empty when the index lies outside the list.
  std::string selectedPath() const;
  // The selected photo's pixel size fitted into 2000 x 2000 (zero without one).
  CGSize selectedImageSize() const;
  bool animatesResize() const { return animatesResize_; }
  bool hidden() const { return hidden_; }
  QWidget* parentWindow() const;
  int64_t windowLevel() const { return windowLevel_; }
  // Screens' coordinates; `appWindow` is the main window.
  void showFromRect(CGRect rect, QVSolvaneWindow* appWindow);
  void hideToRect(CGRect rect);
  // A different list: kept, index 0 selected and shown.
  void changeImagePaths(const std::vector<std::string>& paths);
  void showNextImage() { setSelectedIdx(selectedIdx_ + 1); }
  void showPrevImage() { setSelectedIdx(selectedIdx_ - 1); }
  void onStartOverMenuItem();
  // The frame for the photo's size (see QVQuickPreviewFrames) against the main window and this one.
  CGRect windowFrameForImageSize(CGSize size, bool centered) const;

  void refreshSingleImagePreview() { refreshSingleImagePreviewShowWindowAtCenter(false); }
  void refreshSingleImagePreviewShowWindowAtCenter(bool centered);
  // Animates the window's frame from one rectangle to the other over the standard duration.
  void updateWindowFromRect(CGRect from, CGRect to, std::function<void()> completion = nullptr);

  // The application became active or is going to the background.
  void applicationDidBecomeActive();
  void applicationWillResignActive();

 private:
  void configureWindow();
  void updateOriginalImage();
  void applyWindowLevel(int64_t level);
  void windowWillClose();

  QVQuickPreviewWindowControllerDelegate* delegate_ = nullptr;
  QPointer<QVSolvaneWindow> window_;
  QPointer<QVSolvaneTopBarView> titleBar_;
  QPointer<QVView> screenContainer_;
  QPointer<QWidget> parentWindow_;
  std::unique_ptr<QVQuickPreviewScreen> screen_;
  std::vector<std::string> imagePaths_;
  int64_t selectedIdx_ = 0;
  bool animatesResize_ = false;
  bool hidden_ = true;
  int64_t windowLevel_ = kFloatingLevel;
  QVAnimationDriver::AnimationId animation_ = 0;
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};
