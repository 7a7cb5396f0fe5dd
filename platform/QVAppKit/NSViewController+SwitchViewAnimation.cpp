#include "QVAppKit/NSViewController+SwitchViewAnimation.h"

#include <QPointer>

#include "QVAppKit/NSView+Extensions.h"

namespace {
constexpr const char* kFadeAnimatorKey = "NSViewController.fadeAnimator";
}

namespace NSViewControllerSwitchViewAnimation {

std::shared_ptr<QVFadeAnimator> fadeAnimator(const QVViewController* controller) {
  return controller ? std::static_pointer_cast<QVFadeAnimator>(controller->associatedObject(kFadeAnimatorKey))
                    : nullptr;
}

void setFadeAnimator(QVViewController* controller, std::shared_ptr<QVFadeAnimator> animator) {
  if (controller) controller->setAssociatedObject(kFadeAnimatorKey, std::move(animator));
}

void prepareToAnimateShow(QVViewController* controller, const std::vector<QVView*>& views) {
  QWidget* container = controller->view();
  for (QVView* v : views) {
    if (!v) continue;
    if (v->superview() == container) v->removeFromSuperview();
    QVEmbedInContainer(v, container);
    v->raise();
  }
}

bool changeVisibility(QVViewController* controller, const std::vector<QVView*>& viewsToHide,
                      const std::vector<QVView*>& viewsToShow, bool /*animated*/, std::function<void()> postHideBlock) {
  if (!controller) return false;
  prepareToAnimateShow(controller, viewsToShow);
  auto fade = QVFadeAnimator::make(viewsToShow, viewsToHide);
  setFadeAnimator(controller, fade);
  std::weak_ptr<QVFadeAnimator> weakFade = fade;
  QPointer<QWidget> view = controller->view();
  std::vector<QPointer<QWidget>> hidden(viewsToHide.begin(), viewsToHide.end());
  fade->animateWithDefaultDurationAndCompletion(
      [controller, view, weakFade, hidden, postHideBlock = std::move(postHideBlock)](bool finished) {
        if (!view) return;  // the controller went away with its view
        // A later change that took over before this one ended decides those views now (it may show
        // one this change was hiding, as a cancel right after a start shows the begin row again).
        const bool superseded = fadeAnimator(controller) != weakFade.lock();
        if (finished && !superseded) {
          std::vector<QWidget*> remove;
          for (const auto& h : hidden) {
            if (h) remove.push_back(h);
          }
          NSViewExtensions::removeFromSuperviews(remove);
          if (postHideBlock) postHideBlock();
        }
        if (fadeAnimator(controller) == weakFade.lock()) setFadeAnimator(controller, nullptr);
      });
  const bool animating = fade->animatedViewsCount() != 0;
  if (!animating && fadeAnimator(controller) == fade) setFadeAnimator(controller, nullptr);
  return animating;
}

void cancelVisibilityChange(QVViewController* controller) {
  if (auto fade = fadeAnimator(controller)) fade->cancel();
  setFadeAnimator(controller, nullptr);
}

}  // namespace NSViewControllerSwitchViewAnimation
