#include "Ombrel/Classes/Application/Transitions/QVAnimatedScreenTransition.h"

#include "Ombrel/Classes/Application/Gallery/QVGalleryModel.h"
#include "Ombrel/Classes/Application/Gallery/QVGalleryServices.h"
#include "Ombrel/Classes/Application/Panels/QVImageCell.h"
#include "QVAppKit/QVImageBridge.h"
#include "QVAppKit/QVImageView.h"
#include "QVPlatform/MainExecutor.h"

QVAnimatedScreenTransition::QVAnimatedScreenTransition(int64_t from, int64_t to, std::unique_ptr<QVMainScreen> end,
                                                       Context context)
    : from_(from), to_(to), state_(std::make_shared<State>()) {
  state_->context = std::move(context);
  state_->container = state_->context.container;
  state_->endRaw = end.get();
  state_->end = std::move(end);
}

QVAnimatedScreenTransition::~QVAnimatedScreenTransition() {
  // Dropped while its driver reports: the driver finishes that report after the screens may be
  // gone, so it lets go of them now.
  if (state_.use_count() > 1 && state_->helper) {
    if (auto* controller = state_->helper->transitionVC()) {
      controller->setStartVC(nullptr);
      controller->setEndVC(nullptr);
    }
  }
}

QVExportContainerAnimatable* QVAnimatedScreenTransition::State::currentVC() {
  return context.start ? context.start->animatable() : nullptr;
}

QVExportContainerAnimatable* QVAnimatedScreenTransition::State::viewControllerForMode(int64_t) {
  return endRaw ? endRaw->animatable() : nullptr;
}

void QVAnimatedScreenTransition::State::loadThumbnail(const std::string& path, std::function<void(QImage)> done) {
  QVGalleryServices::shared()->loadImageAtPath(path, QVGalleryModel::kThumbnailType,
                                               [done](const std::string&, NSImageRef image) {
                                                 if (done)
                                                   done(image ? QVImageBridge::imageFromNSImage(image) : QImage());
                                               });
}

std::unique_ptr<QWidget> QVAnimatedScreenTransition::State::createImageCell(const std::string& path) {
  QVExportContainerAnimatable* screens[] = {currentVC(), viewControllerForMode(-1)};
  if (screens[1] && screens[1]->containerMode() == 2) std::swap(screens[0], screens[1]);
  for (auto* screen : screens) {
    if (NSImageRef shown = screen ? screen->shownImageAtPath(path) : nullptr)
      return std::unique_ptr<QWidget>(QVImageCell::createImageCell(path, std::move(shown)));
  }
  // A cell still loading would be grabbed empty: better none.
  return nullptr;
}

void QVAnimatedScreenTransition::animateTransition(std::function<void(QVMainScreen* end)> completion) {
  QVMainScreen* end = state_->endRaw;
  QVExportContainerAnimatable* startPart = state_->currentVC();
  QVExportContainerAnimatable* endPart = state_->viewControllerForMode(to_);
  if (!startPart || !endPart || !state_->container || !state_->container->isVisible()) {
    if (completion) completion(end);
    return;
  }
  state_->helper = std::make_unique<QVExportAnimationHelper>(QVExportTransitionMake(from_, to_), state_.get(), endPart);
  std::weak_ptr<State> weak = state_;
  state_->helper->animateTransition([weak, end, completion](QVExportContainerAnimatable*) {
    auto keep = weak.lock();
    if (!keep) return;
    if (completion) completion(end);
    // Dropped in the completion: the driver still runs the rest of this report.
    if (keep.use_count() == 1) qv::MainExecutor::shared().async([keep] {});
  });
}

void QVAnimatedScreenTransition::cancelTransition() {
  if (state_->helper) state_->helper->cancelTransition();
}

void QVAnimatedScreenTransition::finishTransition() {
  if (state_->helper) state_->helper->finishTransition();
}
