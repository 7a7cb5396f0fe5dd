#include "SifaneExtension/SingleImageViewController/QVExtensionSingleImageViewController.h"

#include <QMouseEvent>
#include <QRegion>
#include <algorithm>

#include "Ombrel/Classes/Application/Common/QVSingleImageNotifications.h"
#include "Ombrel/Classes/Business/QVApp.h"
#include "QVAppKit/NSView+Extensions.h"
#include "QVAppKit/QVViewController.h"
#include "QVPlatform/NotificationCenter.h"

QVExtensionSingleImageViewController::QVExtensionSingleImageViewController(
    std::shared_ptr<QVSingleImageFacade> facade, std::function<void(const std::string& path)> cancelProcessing)
    : QVBasicExportSingleImageViewController(std::move(facade)), cancelProcessing_(std::move(cancelProcessing)) {
  if (!cancelProcessing_) cancelProcessing_ = [](const std::string& path) { QVApp::cancelProcessingAt(path); };
  // The compare's view is made while the bases are constructed, before this class's overrides
  // answer: the slider, its container and the monitor join it here.
  rootView();
  setUpSlider();
}

QVExtensionSingleImageViewController::~QVExtensionSingleImageViewController() {
  removeMonitor();
  if (slider_) slider_->setDelegate(nullptr);
}

void QVExtensionSingleImageViewController::setUpSlider() {
  fullsizePreviewImageView()->setContentMode(QVImageContentModeAspectFit);
  fullsizeOriginalImageView()->setContentMode(QVImageContentModeAspectFit);
  QVEmbedInContainer(sliderContainer(), rootView());
  sliderContainer()->addSubview(sliderMenu());
  sliderContainer()->addConstraint([this] { placeSlider(); });
  setupMonitor();
}

// ---- Views ----

QVView* QVExtensionSingleImageViewController::sliderContainer() {
  if (!sliderContainer_) sliderContainer_ = QVMake<QVView>();
  return sliderContainer_;
}

QVBoostSpringSlider* QVExtensionSingleImageViewController::sliderMenu() {
  if (!slider_) {
    slider_ = QVMake<QVBoostSpringSlider>(
        CGRectMake(0, 0, QVBoostSpringSlider::kCollapsedSide, QVBoostSpringSlider::kCollapsedSide));
    slider_->setBackgroundColor(Qt::white);
    slider_->setCornerRadius(kSliderCornerRadius);
    slider_->setMouseEnteredOrExitedTrackEnabled(true);
    slider_->setDelegate(this);
    slider_->setMaxScaleValue(100);
    NSViewExtensions::addDefaultShadow(slider_);
  }
  return slider_;
}

QVExtensionProgressPanel& QVExtensionSingleImageViewController::processView() {
  if (!processView_) processView_ = std::make_unique<QVExtensionExportProgressPanel>();
  return *processView_;
}

void QVExtensionSingleImageViewController::placeSlider() {
  // The spring owns the frame while it runs; each step and its end place the slider again.
  if (!slider_ || slider_->animating()) {
    updateSliderMask();
    return;
  }
  const CGSize size = slider_->contentSizeForState(slider_->expanded());
  const CGRect bounds = sliderContainer_->bounds();
  slider_->setFrame(CGRectMake(bounds.size.width - kSliderGap - size.width, kSliderGap, size.width, size.height));
  updateSliderMask();
}

void QVExtensionSingleImageViewController::updateSliderMask() {
  if (!sliderContainer_ || !slider_) return;
  const int margin = int(kSliderMaskMargin);
  sliderContainer_->setMask(QRegion(slider_->geometry().adjusted(-margin, -margin, margin, margin)));
}

void QVExtensionSingleImageViewController::updateSliderOffset(double amount) { sliderMenu()->setSliderValue(amount); }

std::vector<QVView*> QVExtensionSingleImageViewController::sliderInactiveViews() {
  return {beforeAfterLabelsContainer(), splitLineMouseTrackingView()};
}

std::vector<QVView*> QVExtensionSingleImageViewController::viewsPool() {
  auto pool = QVBasicExportSingleImageViewController::viewsPool();
  pool.push_back(processView().panelView());
  return pool;
}

void QVExtensionSingleImageViewController::prepareToTransitionWithViewsToShow(std::vector<QVView*>& viewsToShow,
                                                                              std::vector<QVView*>& viewsToHide,
                                                                              uint64_t state) {
  QVView* panel = processView().panelView();
  if (state == QVExportImageViewControllerState_Exporting) {
    viewsToHide.erase(std::remove(viewsToHide.begin(), viewsToHide.end(), panel), viewsToHide.end());
    viewsToShow.push_back(panel);
  }
  QVBasicExportSingleImageViewController::prepareToTransitionWithViewsToShow(viewsToShow, viewsToHide, state);
}

// ---- States ----

void QVExtensionSingleImageViewController::showProcessingFailed() {
  QVBasicExportSingleImageViewController::showProcessingFailed();
  if (processingFailed_) processingFailed_();
}

void QVExtensionSingleImageViewController::updateWithExportState(uint64_t state, bool animated) {
  const uint64_t previous = currentState();
  if (state == QVExportImageViewControllerState_Exporting && slider_ && slider_->expanded() && !slider_->animating())
    slider_->switchExpanded();
  QVBasicExportSingleImageViewController::updateWithExportState(state, animated);
  if (state != QVExportImageViewControllerState_Exporting) return;
  if (previous == QVExportImageViewControllerState_Processing) {
    // The host wants the result before the preview was ready: the preview is of no use any more.
    cancelProcessing_(imagePath());
    removeLoadingAnimation();
  }
  // The fade put the panel on top of the blurred preview.
  processView().startExportOfImage(imagePath());
}

void QVExtensionSingleImageViewController::completeExportAnimation(std::function<void()> completion) {
  QVExtensionProgressPanel& panel = processView();
  panel.setCurrentPart(1);
  panel.waitEndAnimationWithCompletion(std::move(completion));
}

// ---- Slider ----

std::optional<bool> QVExtensionSingleImageViewController::springMenuShouldStartAnimation(QVSpringMenu* menu) {
  return !menu->animating();
}

void QVExtensionSingleImageViewController::springMenuWillBeginAnimating(QVSpringMenu* menu) {
  if (menu != slider_) return;
  // Collapsed now means it is opening.
  qv::NotificationCenter::defaultCenter().post(kQVBoostSliderDidChangeShowStateNotification,
                                               std::make_shared<bool>(!menu->expanded()));
}

void QVExtensionSingleImageViewController::springMenuDidAnimateToFrame(QVSpringMenu*, CGRect) { updateSliderMask(); }

void QVExtensionSingleImageViewController::springMenuDidFinishAnimating(QVSpringMenu*) { placeSlider(); }

// ---- Presses outside the open slider ----

void QVExtensionSingleImageViewController::setupMonitor() {
  removeMonitor();
  monitor_ =
      new QVLocalEventMonitor(rootView(), QVLocalEventMonitor::LeftMouseDown | QVLocalEventMonitor::RightMouseDown,
                              [this](QEvent* event) { return onMouseDown(event); });
}

void QVExtensionSingleImageViewController::removeMonitor() {
  if (monitor_) delete monitor_.data();
}

bool QVExtensionSingleImageViewController::onMouseDown(QEvent* event) {
  // The press always goes on to what it was aimed at.
  if (!slider_ || !slider_->expanded() || !slider_->isVisible()) return false;
  if (QVLocalEventMonitor::isOutsideView(*static_cast<QMouseEvent*>(event), slider_)) slider_->switchExpanded();
  return false;
}
