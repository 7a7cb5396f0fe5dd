#include "SifaneExtension/PhotoEditing/QVPhotoEditingContainerView.h"

#include "QVAppKit/QVViewController.h"

QVPhotoEditingContainerView::QVPhotoEditingContainerView(std::shared_ptr<QVSingleImageFacade> facade)
    : facade_(std::move(facade)) {
  container_ = QVMake<QVView>();
  container_->setBackgroundColor(Qt::black);
}

QVPhotoEditingContainerView::~QVPhotoEditingContainerView() {
  // The screen's view lives in the container: the screen goes first, then the container if it has
  // no parent to take it.
  screen_.reset();
  if (container_ && !container_->parentWidget()) delete container_.data();
}

QVExtensionSingleImageViewController* QVPhotoEditingContainerView::singleImageController() {
  if (!screen_) {
    if (!facade_) facade_ = QVMakeSingleImageAppFacade();
    screen_ = std::make_unique<QVExtensionSingleImageViewController>(facade_);
  }
  return screen_.get();
}

void QVPhotoEditingContainerView::setContainerHidden(bool hidden) {
  container_->setVisible(!hidden);
  if (!hidden) container_->setNeedsDisplay();
}

void QVPhotoEditingContainerView::showImageController(const std::string& path) {
  QVExtensionSingleImageViewController* screen = singleImageController();
  QVEmbedInContainer(screen->view(), container_);
  container_->layoutSubtreeIfNeeded();
  screen->showProcessedImageWithPath(path);
}

void QVPhotoEditingContainerView::updateWithExportState(uint64_t state) {
  singleImageController()->updateWithExportState(state);
}

double QVPhotoEditingContainerView::boostAmount() {
  QVBoostSpringSlider* slider = singleImageController()->sliderMenu();
  return slider->maxScaleValue() > 0 ? double(slider->value()) / double(slider->maxScaleValue()) : 1.0;
}

void QVPhotoEditingContainerView::completeExportAnimation(std::function<void()> completion) {
  singleImageController()->completeExportAnimation(std::move(completion));
}

void QVPhotoEditingContainerView::setPreviewFailureHandler(std::function<void()> handler) {
  singleImageController()->setProcessingFailedHandler(std::move(handler));
}
