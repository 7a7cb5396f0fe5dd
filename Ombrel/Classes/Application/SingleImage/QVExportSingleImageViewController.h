#pragma once
// The single-image screen of the main window: the compare with the export panel laid over it.
// The panel's controls are locked from the start of each state change of the screen until its end
// (the curtain's end in state 1) and while the panel itself changes state; an export that starts
// moves the screen to exporting (2), and its end or cancel back to processed (1). While the
// export menu opens the picture below the panel is dimmed (0.6 black); other spring menus (the
// strength slider) do not dim. When another single photo replaces the shown one, the window takes
// the new photo's shape about its old centre and the photo's file name as its title (a photo
// whose size cannot be read keeps the window's size).
//
// Main thread only.
#include <memory>
#include <optional>
#include <string>

#include "Ombrel/Classes/Application/Export/QVExportViewController.h"
#include "Ombrel/Classes/Application/MainWindow/QVSolvaneWindowShapes.h"
#include "Ombrel/Classes/Application/SingleImage/QVBasicExportSingleImageViewController.h"
#include "QVPlatform/NotificationCenter.h"

// The key of the screen's view in `animatableViews`.
inline constexpr const char* kQVSingleViewControllerMainViewKey = "QVSingleViewControllerMainView";

class QVExportSingleImageViewController : public QVBasicExportSingleImageViewController,
                                          public QVExportViewControllerDelegate,
                                          public QVExportViewControllerDataSource {
 public:
  explicit QVExportSingleImageViewController(std::shared_ptr<QVSingleImageFacade> facade);
  ~QVExportSingleImageViewController() override;

  // The panel, made on first use by `createExportViewController`.
  QVExportViewController* exportViewController();
  bool exportAnimating() const { return exportAnimating_; }
  uint64_t exportState() { return exportViewController()->currentState(); }
  std::map<std::string, QWidget*> animatableViews();

  // Another single photo in place of the shown one.
  void transitToNewSingleViewWithPath(const std::string& path);
  // The window's frame for a photo of `imageSize`, the old frame's centre kept; none when the size
  // cannot be read (the window keeps its size then).
  static std::optional<CGRect> frameKeepingCentre(CGRect oldFrame, CGSize imageSize,
                                                  const QVSolvaneScreenMetrics& metrics, double sizeScale);
  // While files are dragged over the window: the dots hide while processing, otherwise the blurred
  // preview covers the picture.
  void showBlurredPreview(bool show);
  void updateUILock(bool lock, uint64_t state);

  // The screen's hooks.
  void cancelStateTransition() override;
  void updateSliderOffset(double amount) override;
  void onBeginTransitionToState(uint64_t state) override { updateUILock(true, state); }
  void onEndTransitionToState(uint64_t state) override;
  QVView* sliderContainer() override;
  std::vector<QVView*> viewsPool() override;
  void prepareToTransitionWithViewsToShow(std::vector<QVView*>& viewsToShow, std::vector<QVView*>& viewsToHide,
                                          uint64_t state) override;

  // The panel's delegate and data source.
  void exportControllerWillChangeExportState(QVExportViewController*, uint64_t) override { exportAnimating_ = true; }
  void exportControllerDidChangeExportState(QVExportViewController*, uint64_t) override;
  void exportControllerDidStart(QVExportViewController*) override;
  void exportControllerDidFinish(QVExportViewController*) override;
  void exportControllerDidCancel(QVExportViewController*) override;
  void exportControllerDidChangeFocus(QVExportViewController*, bool focused) override { showOverlay(focused); }
  std::optional<std::vector<std::string>> exportControllerPathsToShare() override;

 protected:
  // Subclasses may lay another panel over the screen.
  virtual std::unique_ptr<QVExportViewController> createExportViewController();

 private:
  void onSpringMenuWillChangeState(const qv::Notification& notification);

  std::unique_ptr<QVExportViewController> exportViewController_;
  bool exportAnimating_ = false;
  qv::ObserverToken springToken_;
  std::shared_ptr<QVSingleImageFacade> facade_;
};
