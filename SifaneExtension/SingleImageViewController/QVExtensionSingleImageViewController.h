#pragma once
// The single-image screen inside the photo-library extension. Instead of the application's export
// panel it carries only the strength slider, 11 points from the bottom-right corner, and, while the
// full-size result is rendered for the host, the progress panel with a single part and no cancel
// button.
//
// The slider lies in `sliderContainer`, which fills the screen but takes clicks only around the
// slider (its mask), so the compare below keeps its drags. A press anywhere outside the open
// slider closes it and still reaches what it was aimed at. While the slider opens or closes the
// screen posts "QVBoostSliderDidChangeShowState".
//
// Entering state 2 (the host asked for the result) while the preview is still processing cancels
// that processing and removes the dots before the panel shows.
//
// Main thread only.
#include <functional>
#include <memory>
#include <string>

#include "Ombrel/Classes/Application/Common/QVBoostSpringSlider.h"
#include "Ombrel/Classes/Application/SingleImage/QVBasicExportSingleImageViewController.h"
#include "QVAppKit/QVLocalEventMonitor.h"
#include "SifaneExtension/SingleImageViewController/QVExtensionExportProgressPanel.h"

class QVExtensionSingleImageViewController : public QVBasicExportSingleImageViewController,
                                             public QVSpringMenuDelegate {
 public:
  static constexpr double kSliderGap = 11;
  static constexpr double kSliderCornerRadius = 22;
  // How far around the slider the container takes clicks and paints (the slider's shadow).
  static constexpr double kSliderMaskMargin = 16;

  // `cancelProcessing` stops the preview processing of a path (the facade's by default).
  explicit QVExtensionSingleImageViewController(std::shared_ptr<QVSingleImageFacade> facade,
                                                std::function<void(const std::string& path)> cancelProcessing = {});
  ~QVExtensionSingleImageViewController() override;

  QVView* sliderContainer() override;
  QVBoostSpringSlider* sliderMenu();
  QVExtensionProgressPanel& processView();
  QVLocalEventMonitor* monitor() const { return monitor_.data(); }

  void updateSliderOffset(double amount) override;
  // The before/after labels' box and the line's strip: hidden while the slider is open.
  std::vector<QVView*> sliderInactiveViews() override;
  std::vector<QVView*> viewsPool() override;
  void prepareToTransitionWithViewsToShow(std::vector<QVView*>& viewsToShow, std::vector<QVView*>& viewsToHide,
                                          uint64_t state) override;
  using QVBasicExportSingleImageViewController::updateWithExportState;
  void updateWithExportState(uint64_t state, bool animated) override;

  // Says so on the screen (the base's message) and tells the handler: the host waits for the
  // preview and must learn that it will not come.
  void showProcessingFailed() override;
  void setProcessingFailedHandler(std::function<void()> handler) { processingFailed_ = std::move(handler); }

  // The bar runs to its one part; the completion follows once it has stopped.
  void completeExportAnimation(std::function<void()> completion);

  // Spring-menu delegate.
  std::optional<bool> springMenuShouldStartAnimation(QVSpringMenu* menu) override;
  void springMenuWillBeginAnimating(QVSpringMenu* menu) override;
  void springMenuDidAnimateToFrame(QVSpringMenu* menu, CGRect frame) override;
  void springMenuDidFinishAnimating(QVSpringMenu* menu) override;

  void setupMonitor();
  void removeMonitor();

 private:
  // The slider in its container, embedded in the view, and the monitor.
  void setUpSlider();
  void placeSlider();
  void updateSliderMask();
  bool onMouseDown(QEvent* event);

  std::function<void(const std::string&)> cancelProcessing_;
  std::function<void()> processingFailed_;
  QVView* sliderContainer_ = nullptr;
  QVBoostSpringSlider* slider_ = nullptr;
  std::unique_ptr<QVExtensionExportProgressPanel> processView_;
  // Owned by the screen's view; installed while it is shown.
  QPointer<QVLocalEventMonitor> monitor_;
};
