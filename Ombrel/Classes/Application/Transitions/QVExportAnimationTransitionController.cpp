#include "Ombrel/Classes/Application/Transitions/QVExportAnimationTransitionController.h"

#include <QCoreApplication>

#include "Ombrel/Classes/Application/MainWindow/QVSolvaneWindow.h"
#include "Ombrel/Classes/Application/Transitions/QVMultiAnimationTransitionController.h"
#include "Ombrel/Classes/Application/Transitions/QVOpenAnimationTransitionController.h"
#include "Ombrel/Classes/Application/Transitions/QVSingleMultiAnimationTransitionController.h"
#include "QVAppKit/QVView.h"
#include "QVAppKit/QVViewController.h"

std::unique_ptr<QVExportAnimationTransitionController>
QVExportAnimationTransitionController::transitionControllerWithTransition(QVExportTransition t) {
  if ((t.startMode == 1 && t.endMode == 2) || (t.startMode == 2 && t.endMode == 1))
    return std::make_unique<QVSingleMultiAnimationTransitionController>();
  if (t.startMode == 0) return std::make_unique<QVOpenAnimationTransitionController>();
  if (t.startMode == 1) return std::make_unique<QVSingleAnimationTransitionController>();
  if (t.startMode == 2) return std::make_unique<QVMultiAnimationTransitionController>();
  return nullptr;
}

QVExportAnimationTransitionController::QVExportAnimationTransitionController() = default;

QVExportAnimationTransitionController::~QVExportAnimationTransitionController() {
  *alive_ = false;
  sprites_.reset();
  if (!view_) return;
  // The screens' views laid in the transition view belong to their screens, not to it.
  for (QObject* child : view_->children()) {
    if (auto* widget = qobject_cast<QWidget*>(child)) {
      widget->hide();
      widget->setParent(nullptr);
    }
  }
  if (!view_->parent()) delete view_.data();
}

QVView* QVExportAnimationTransitionController::view() {
  if (!view_) {
    view_ = QVMake<QVView>(CGRectMake(0, 0, 10, 10));
    view_->setAttribute(Qt::WA_TransparentForMouseEvents);
  }
  return view_;
}

QVSolvaneWindow* QVExportAnimationTransitionController::window() {
  return view_ ? dynamic_cast<QVSolvaneWindow*>(view_->window()) : nullptr;
}

std::vector<QVExportContainerAnimatable*> QVExportAnimationTransitionController::allVCs() const {
  if (!startVC_ || !endVC_) return {};
  return {startVC_, endVC_};
}

QVExportContainerAnimatable* QVExportAnimationTransitionController::vcWithMode(int64_t mode) const {
  for (auto* vc : allVCs())
    if (vc->containerMode() == mode) return vc;
  return nullptr;
}

void QVExportAnimationTransitionController::makeTransition(QVExportTransition transition, Completion completion) {
  currentTransition_ = transition;
  const int64_t mode = transition.endMode;
  std::weak_ptr<bool> alive = alive_;
  actualTransitionToMode(mode, [this, alive, mode, completion](bool finished) {
    if (completion) completion(finished);
    if (auto live = alive.lock(); live && *live) actualFinishTransitionWithMode(mode);
  });
}

void QVExportAnimationTransitionController::cancelTransition(Completion completion) {
  cancelling_ = true;
  std::weak_ptr<bool> alive = alive_;
  actualCancel(currentTransition_, [this, alive, completion](bool finished) {
    if (auto live = alive.lock(); live && *live) {
      currentTransition_ = QVExportTransitionNone;
      cancelling_ = false;
    }
    if (completion) completion(finished);
  });
}

void QVExportAnimationTransitionController::actualFinishTransitionWithMode(int64_t) {
  if (sprites_) {
    sprites_->removeAllAnimations();
    sprites_->clear();
  }
}

void QVExportAnimationTransitionController::embedView(QWidget* container, QWidget* view) {
  if (!container || !view) return;
  if (view->parentWidget() != container) QVEmbedInContainer(view, container);
  view->show();
  view->raise();
}

void QVExportAnimationTransitionController::layOutPendingViews() {
  // Views queue their layout as a call; Qt's layouts post a layout request.
  QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
}

QVTransitionSprites* QVExportAnimationTransitionController::sprites() {
  QWidget* window = view_ && view_->window() != view_ ? view_->window() : nullptr;
  if (!window && startVC_ && startVC_->containerView()) window = startVC_->containerView()->window();
  if (!window) return nullptr;
  if (!sprites_ || sprites_->window() != window) sprites_ = std::make_unique<QVTransitionSprites>(window);
  return sprites_.get();
}

void QVExportAnimationTransitionController::storeCompletion(const std::string& identifier, Completion completion) {
  if (identifier.empty()) return;
  stored_[identifier] = std::move(completion);
}

void QVExportAnimationTransitionController::animationDidStop(const std::string& identifier, bool finished) {
  auto it = stored_.find(identifier);
  if (identifier.empty() || it == stored_.end()) return;
  Completion completion = std::move(it->second);
  stored_.erase(it);
  if (completion) completion(finished);
}

void QVExportAnimationTransitionController::animateSprite(QVTransitionSprites::SpriteId id,
                                                          const QVTransitionSprite& target,
                                                          const std::string& identifier, double duration) {
  QVTransitionSprites* s = sprites();
  if (!s) {
    animationDidStop(identifier, false);
    return;
  }
  std::weak_ptr<bool> alive = alive_;
  s->animate(
      id, target,
      [this, alive, identifier](bool finished) {
        if (auto live = alive.lock(); live && *live) animationDidStop(identifier, finished);
      },
      duration);
}

void QVSingleAnimationTransitionController::actualTransitionToMode(int64_t, Completion completion) {
  // Nothing moves between these screens: the caller must not wait for an animation that never runs.
  if (completion) completion(true);
}

void QVSingleAnimationTransitionController::actualCancel(QVExportTransition, Completion completion) {
  if (completion) completion(true);
}
