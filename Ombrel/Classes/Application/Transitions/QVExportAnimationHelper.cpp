#include "Ombrel/Classes/Application/Transitions/QVExportAnimationHelper.h"

#include <QCoreApplication>

#include "Ombrel/Classes/Business/QVApp.h"
#include "QVAppKit/QVImageBridge.h"
#include "QVAppKit/QVView.h"

void QVExportWindowControllable::loadThumbnail(const std::string& path, std::function<void(QImage)> done) {
  QVApp::loadImageAtPath(path, 0, [done](const std::string&, NSImageRef image) {
    if (done) done(image ? QVImageBridge::imageFromNSImage(image) : QImage());
  });
}

QVExportAnimationHelper::QVExportAnimationHelper(QVExportTransition transition, QVExportWindowControllable* wc,
                                                 QVExportContainerAnimatable* endVC)
    : wc_(wc),
      transitionVC_(QVExportAnimationTransitionController::transitionControllerWithTransition(transition)),
      transition_(transition) {
  if (!transitionVC_) return;
  transitionVC_->setStartVC(wc_ ? wc_->currentVC() : nullptr);
  transitionVC_->setEndVC(endVC ? endVC : (wc_ ? wc_->viewControllerForMode(transition.endMode) : nullptr));
  transitionVC_->setDelegate(this);
}

QVExportAnimationHelper::~QVExportAnimationHelper() {
  *alive_ = false;
  if (transitionVC_) transitionVC_->setDelegate(nullptr);
}

void QVExportAnimationHelper::animateTransition(std::function<void(QVExportContainerAnimatable*)> completion) {
  if (!transitionVC_) return;
  transitionVC_->willBeginTransitionToMode(transition_.endMode);
  showAnimationControllerIfNeeded(transitionVC_.get());
  std::weak_ptr<bool> alive = alive_;
  QVExportAnimationTransitionController* controller = transitionVC_.get();
  transitionVC_->makeTransition(transition_, [alive, controller, completion](bool) {
    if (auto live = alive.lock(); live && *live && completion) completion(controller->endVC());
  });
}

void QVExportAnimationHelper::finishTransition() {
  if (!transitionVC_) return;
  hideAnimationController();
  if (auto* end = transitionVC_->endVC(); end && wc_)
    QVExportAnimationTransitionController::embedView(wc_->contentContainer(), end->containerView());
  transitionVC_->didFinishTransitionToMode(transition_.endMode);
}

void QVExportAnimationHelper::cancelTransition(std::function<void()> completion) {
  if (!transitionVC_) {
    if (completion) completion();
    return;
  }
  std::weak_ptr<bool> alive = alive_;
  transitionVC_->cancelTransition([this, alive, completion](bool) {
    if (auto live = alive.lock(); live && *live) {
      hideAnimationController();
      if (auto* start = transitionVC_->startVC(); start && wc_)
        QVExportAnimationTransitionController::embedView(wc_->contentContainer(), start->containerView());
    }
    if (completion) completion();
  });
}

void QVExportAnimationHelper::showAnimationControllerIfNeeded(QVExportAnimationTransitionController* controller) {
  QWidget* container = wc_ ? wc_->contentContainer() : nullptr;
  if (!controller || !container || controller->view()->parentWidget() == container) return;
  // Any transition view still shown goes first.
  for (QObject* child : container->children()) {
    if (auto* other = dynamic_cast<QVView*>(child);
        other && other->testAttribute(Qt::WA_TransparentForMouseEvents) && other->property("qvTransitionView").toBool())
      other->setParent(nullptr);
  }
  // Back to the open screen, the gallery stays under the transition view while it shrinks away.
  if (!(transition_ == QVExportTransitionMake(2, 0))) {
    if (auto* current = wc_->currentVC(); current && current->containerView()) {
      current->containerView()->hide();
      current->containerView()->setParent(nullptr);
    }
  }
  controller->view()->setProperty("qvTransitionView", true);
  QVExportAnimationTransitionController::embedView(container, controller->view());
  QVExportAnimationTransitionController::layOutPendingViews();
  ++timesLaid_;
}

void QVExportAnimationHelper::hideAnimationController() {
  if (transitionVC_ && transitionVC_->view()->parentWidget()) {
    transitionVC_->view()->hide();
    transitionVC_->view()->setParent(nullptr);
  }
}

std::optional<CGSize> QVExportAnimationHelper::exportAnimationTransitionImageSize(
    QVExportAnimationTransitionController*) {
  return wc_ ? wc_->firstImageSize() : std::nullopt;
}

QVExportGalleryAnimatable* QVExportAnimationHelper::gallery(QVExportAnimationTransitionController* controller) const {
  if (!controller) return nullptr;
  for (auto* vc : controller->allVCs())
    if (auto* g = dynamic_cast<QVExportGalleryAnimatable*>(vc)) return g;
  return nullptr;
}

void QVExportAnimationHelper::layoutGallery(QVExportGalleryAnimatable* g,
                                            QVExportAnimationTransitionController* controller) {
  QWidget* view = g->containerView();
  if (!view) return;
  // Laid out invisibly so that its cells have places before it shows.
  if (auto* v = dynamic_cast<QVView*>(view)) v->setAlpha(0);
  QVExportAnimationTransitionController::embedView(controller->view(), view);
  QVExportAnimationTransitionController::layOutPendingViews();
}

std::vector<CGRect> QVExportAnimationHelper::exportAnimationTransitionCalculateGalleryCellRects(
    QVExportAnimationTransitionController* controller) {
  QVExportGalleryAnimatable* g = gallery(controller);
  if (!g) return {};
  g->setShouldStartProcessingThumbsOnLayout(false);
  layoutGallery(g, controller);
  g->setShouldStartProcessingThumbsOnLayout(true);
  std::vector<CGRect> rects = g->cellRects();
  if (QWidget* view = g->containerView()) {
    view->hide();
    view->setParent(nullptr);
    if (auto* v = dynamic_cast<QVView*>(view)) v->setAlpha(1);
  }
  return rects;
}

CGRect QVExportAnimationHelper::exportAnimationTransitionCalculateGalleryFirstCellRect(
    QVExportAnimationTransitionController* controller) {
  QVExportGalleryAnimatable* g = gallery(controller);
  if (!g) return CGRectZero;
  const CGRect rect = transition_.endMode == 1 ? g->lonelyCachedCellRect() : g->cellRectForItem(0);
  if (CGRectIsEmpty(rect)) return CGRectZero;
  const double inset = g->cellInset();
  return CGRectMake(rect.origin.x + inset, rect.origin.y + inset, rect.size.width - 2 * inset,
                    rect.size.height - 2 * inset);
}

std::unique_ptr<QWidget> QVExportAnimationHelper::exportAnimationTransitionCreateGalleryFirstCellPrototype(
    QVExportAnimationTransitionController*) {
  if (!wc_) return nullptr;
  const auto paths = wc_->tempAnimationPaths();
  if (paths.empty()) return nullptr;
  return wc_->createImageCell(paths.front());
}

std::vector<std::string> QVExportAnimationHelper::exportAnimationTransitionImagePaths(
    QVExportAnimationTransitionController* controller) {
  if (QVExportGalleryAnimatable* g = gallery(controller)) return g->imagePaths();
  return wc_ ? wc_->tempAnimationPaths() : std::vector<std::string>{};
}

double QVExportAnimationHelper::exportAnimationTransitionCellInset(QVExportAnimationTransitionController* controller) {
  QVExportGalleryAnimatable* g = gallery(controller);
  return g ? g->cellInset() : 12;
}

void QVExportAnimationHelper::exportAnimationTransitionLoadThumbnail(QVExportAnimationTransitionController*,
                                                                     const std::string& path,
                                                                     std::function<void(QImage)> done) {
  if (wc_)
    wc_->loadThumbnail(path, std::move(done));
  else if (done)
    done(QImage());
}
