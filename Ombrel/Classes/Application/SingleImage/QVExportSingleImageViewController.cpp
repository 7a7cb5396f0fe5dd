#include "Ombrel/Classes/Application/SingleImage/QVExportSingleImageViewController.h"

#include "Ombrel/Classes/Application/Export/QVExportSpringMenu.h"
#include "Ombrel/Classes/Application/MainWindow/QVSolvaneWindow.h"
#include "QVAppKit/NSViewController+SwitchViewAnimation.h"
#include "QVAppKit/QVAnimationDriver.h"
#include "QVPlatform/Additions.h"
#include "QVPlatform/Log.h"

QVExportSingleImageViewController::QVExportSingleImageViewController(std::shared_ptr<QVSingleImageFacade> facade)
    : QVBasicExportSingleImageViewController(facade), facade_(std::move(facade)) {
  // The base made the view while it was constructed: finish the set-up here.
  rootView()->setBackgroundColor(Qt::black);
  springToken_ = qv::NotificationCenter::defaultCenter().addObserver(
      kQVSpringViewWillChangeStateNotification, nullptr,
      [this](const qv::Notification& notification) { onSpringMenuWillChangeState(notification); });
}

QVExportSingleImageViewController::~QVExportSingleImageViewController() {
  springToken_.reset();
  // The panel goes first: its view is a child of the screen's.
  exportViewController_.reset();
}

std::unique_ptr<QVExportViewController> QVExportSingleImageViewController::createExportViewController() {
  return std::make_unique<QVExportViewController>();
}

QVExportViewController* QVExportSingleImageViewController::exportViewController() {
  if (!exportViewController_) {
    exportViewController_ = createExportViewController();
    exportViewController_->setDataSource(this);
    exportViewController_->setDelegate(this);
  }
  return exportViewController_.get();
}

QVView* QVExportSingleImageViewController::sliderContainer() {
  return static_cast<QVView*>(exportViewController()->view());
}

std::vector<QVView*> QVExportSingleImageViewController::viewsPool() {
  auto pool = QVBasicExportSingleImageViewController::viewsPool();
  pool.push_back(sliderContainer());
  return pool;
}

std::map<std::string, QWidget*> QVExportSingleImageViewController::animatableViews() {
  return {{kQVSingleViewControllerMainViewKey, rootView()}};
}

void QVExportSingleImageViewController::prepareToTransitionWithViewsToShow(std::vector<QVView*>& viewsToShow,
                                                                           std::vector<QVView*>& viewsToHide,
                                                                           uint64_t state) {
  // Every state shows the panel, on top.
  QVView* panel = sliderContainer();
  viewsToHide.erase(std::remove(viewsToHide.begin(), viewsToHide.end(), panel), viewsToHide.end());
  viewsToShow.push_back(panel);
  QVBasicExportSingleImageViewController::prepareToTransitionWithViewsToShow(viewsToShow, viewsToHide, state);
}

void QVExportSingleImageViewController::onSpringMenuWillChangeState(const qv::Notification& notification) {
  // Spring menus post themselves; only this screen's export menu dims it.
  auto* spring = static_cast<QVSpringMenu*>(const_cast<void*>(notification.sender));
  auto* menu = dynamic_cast<QVExportSpringMenu*>(spring);
  if (!menu || !rootView()->isAncestorOf(menu)) return;
  // Opening (not yet expanded) dims the picture below the panel; closing lifts it.
  showOverlay(!menu->expanded(), sliderContainer());
}

void QVExportSingleImageViewController::cancelStateTransition() {
  NSViewControllerSwitchViewAnimation::cancelVisibilityChange(exportViewController());
  QVBasicExportSingleImageViewController::cancelStateTransition();
}

void QVExportSingleImageViewController::updateSliderOffset(double amount) {
  exportViewController()->setSliderBoostAmount(amount);
}

void QVExportSingleImageViewController::updateUILock(bool lock, uint64_t state) {
  exportViewController()->setExportControlsEnabled(!lock, state == QVExportImageViewControllerState_Processing);
}

void QVExportSingleImageViewController::onEndTransitionToState(uint64_t state) {
  if (!exportAnimating_) updateUILock(false, state);
}

void QVExportSingleImageViewController::exportControllerDidChangeExportState(QVExportViewController*, uint64_t) {
  exportAnimating_ = false;
  if (!curtainAnimator()) updateUILock(false, currentState());
}

void QVExportSingleImageViewController::exportControllerDidStart(QVExportViewController*) {
  updateWithExportState(QVExportImageViewControllerState_Exporting);
}

void QVExportSingleImageViewController::exportControllerDidFinish(QVExportViewController*) {
  updateWithExportState(QVExportImageViewControllerState_Processed);
}

void QVExportSingleImageViewController::exportControllerDidCancel(QVExportViewController*) {
  QVLogInfo("export cancelled");
  // The photo is not processed again for this screen.
  facade_->stopImageProcessingObservation();
  updateWithExportState(QVExportImageViewControllerState_Processed);
}

std::optional<std::vector<std::string>> QVExportSingleImageViewController::exportControllerPathsToShare() {
  return std::vector<std::string>{imagePath()};
}

void QVExportSingleImageViewController::showBlurredPreview(bool show) {
  if (currentState() == QVExportImageViewControllerState_Processing) {
    loadingAnimationView()->setHidden(show);
    return;
  }
  QVView* preview = blurredPreview();
  if (show) {
    NSViewControllerSwitchViewAnimation::changeVisibility(this, {}, {preview}, true);
  } else {
    preview->removeFromSuperview();
    NSViewControllerSwitchViewAnimation::changeVisibility(this, {preview}, {}, true);
  }
}

std::optional<CGRect> QVExportSingleImageViewController::frameKeepingCentre(CGRect oldFrame, CGSize imageSize,
                                                                            const QVSolvaneScreenMetrics& metrics,
                                                                            double sizeScale) {
  if (!QVSolvaneWindowShapes::isUsableImageSize(imageSize)) return std::nullopt;
  const CGSize fitted = QVSolvaneWindowShapes::fitWindowSizeFromImageSize(imageSize, metrics.mainScreenSize);
  const CGSize size = QVSolvaneWindowShapes::limitsAroundImage(fitted, sizeScale, imageSize).maxSize;
  return CGRectMake(oldFrame.origin.x - (size.width - oldFrame.size.width) * 0.5,
                    oldFrame.origin.y - (size.height - oldFrame.size.height) * 0.5, size.width, size.height);
}

void QVExportSingleImageViewController::transitToNewSingleViewWithPath(const std::string& path) {
  cancelStateTransition();
  auto* window = dynamic_cast<QVSolvaneWindow*>(rootView()->window());
  if (window) {
    const CGSize imageSize = facade_->imageSizeForPath(path);
    if (auto frame =
            frameKeepingCentre(window->frame(), imageSize, window->screenMetrics(), window->defaultSizeScale()))
      window->updateWindowShapeWithCurrentModeAndPreferredSize(imageSize, true, frame->origin);
  }
  QVRunNoAnimationBlock([&] {
    const std::string title = qv::lastPathComponent(path);
    if (window) {
      window->setWindowTitle(QString::fromStdString(title));
      if (auto* bar = window->titleBarView()) bar->setTitle(title);
    }
    showProcessedImageWithPath(path);
  });
}
