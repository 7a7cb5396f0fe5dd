#include "QVAppKit/QVFadeAnimator.h"

#include <QObject>

#include "QVAppKit/QVAnimationDriver.h"
#include "QVAppKit/QVView.h"

namespace {

// What a view keeps for its fades: its opacity animation and its fade animator.
class QVFadeStore : public QObject {
 public:
  explicit QVFadeStore(QObject* parent) : QObject(parent) { setObjectName(QStringLiteral("QVFadeStore")); }
  ~QVFadeStore() override {
    // The view is going away: stop quietly.
    if (driverId) QVAnimationDriver::shared().cancel(std::exchange(driverId, 0));
  }

  // The opacity animation: running while driverId is set, kept (filling forwards) once ended.
  bool hasAnimation = false;
  QVAnimationDriver::AnimationId driverId = 0;
  double modelAlpha = 1;
  std::function<void(bool)> stopped;
  std::shared_ptr<QVFadeAnimator> fadeAnimator;
};

QVFadeStore* storeOf(const QVView* view, bool create) {
  if (!view) return nullptr;
  for (QObject* child : view->children()) {
    if (auto* store = dynamic_cast<QVFadeStore*>(child)) return store;
  }
  return create ? new QVFadeStore(const_cast<QVView*>(view)) : nullptr;
}

// Ends the running animation of the store, reporting `finished` once.
void reportStop(QVFadeStore* store, bool finished) {
  if (store->driverId) QVAnimationDriver::shared().cancel(std::exchange(store->driverId, 0));
  if (auto stopped = std::move(store->stopped)) stopped(finished);
}

}  // namespace

namespace QVOpacityAnimation {

void add(QVView* view, double from, double to, double duration, std::function<void(bool)> stopped) {
  if (!view) return;
  QVFadeStore* store = storeOf(view, true);
  if (store->hasAnimation) reportStop(store, false);
  store->hasAnimation = true;
  store->modelAlpha = from;
  store->stopped = std::move(stopped);
  view->setAlpha(from);
  QPointer<QVView> guard(view);
  store->driverId = QVAnimationDriver::shared().animate(
      duration, QVTimingFunction::Linear,
      [guard, from, to](double t) {
        if (guard) guard->setAlpha(from + (to - from) * t);
      },
      [guard](bool finished) {
        if (!guard) return;
        QVFadeStore* s = storeOf(guard, false);
        if (!s || s->driverId == 0) return;  // already reported by a replacement or removal
        s->driverId = 0;
        if (auto stopped = std::move(s->stopped)) stopped(finished);
      });
}

void removeAll(QVView* view) {
  QVFadeStore* store = storeOf(view, false);
  if (!store || !store->hasAnimation) return;
  store->hasAnimation = false;
  reportStop(store, false);
  view->setAlpha(store->modelAlpha);
}

bool has(const QVView* view) {
  QVFadeStore* store = storeOf(view, false);
  return store && store->hasAnimation;
}

}  // namespace QVOpacityAnimation

// ---- Fade animator ----

namespace {
std::vector<QPointer<QVView>> guarded(const std::vector<QVView*>& views) { return {views.begin(), views.end()}; }
std::vector<QVView*> unguarded(const std::vector<QPointer<QVView>>& views) {
  std::vector<QVView*> out;
  for (const auto& v : views) {
    if (v) out.push_back(v);
  }
  return out;
}
}  // namespace

QVFadeAnimator::QVFadeAnimator(std::vector<QVView*> viewsToShow, std::vector<QVView*> viewsToHide)
    : viewsToShow_(guarded(viewsToShow)), viewsToHide_(guarded(viewsToHide)) {}

std::vector<QVView*> QVFadeAnimator::viewsToShow() const { return unguarded(viewsToShow_); }
std::vector<QVView*> QVFadeAnimator::viewsToHide() const { return unguarded(viewsToHide_); }

void QVFadeAnimator::actualAnimateWithDuration(double duration, Completion end) {
  end_ = std::move(end);
  finishedAnimationsCount_ = 0;
  animatedViewsCount_ = int(viewsToShow_.size() + viewsToHide_.size());
  applyOpacityAninationToViews(viewsToShow_, 1.0, duration);
  applyOpacityAninationToViews(viewsToHide_, 0.0, duration);
}

void QVFadeAnimator::applyOpacityAninationToViews(const std::vector<QPointer<QVView>>& views, double opacity,
                                                  double duration) {
  // The running animation keeps its animator alive until it stops.
  std::shared_ptr<QVFadeAnimator> self = std::static_pointer_cast<QVFadeAnimator>(shared_from_this());
  for (const auto& view : views) {
    const double start = opacity == 0 ? fadeValue_ : 0;
    if (!view) {
      // A view gone before its fade began stops at once.
      animationDidStop(false);
      continue;
    }
    QVOpacityAnimation::add(view, start, fadeValue_, duration,
                            [self](bool finished) { self->animationDidStop(finished); });
  }
}

void QVFadeAnimator::animationDidStop(bool) {
  if (isCancelled()) return;
  if (++finishedAnimationsCount_ != animatedViewsCount_) return;
  removeAllAnimations();
  for (QVView* v : viewsToShow()) v->setAlpha(fadeValue_);
  for (QVView* v : viewsToHide()) v->setAlpha(0);
  if (auto end = std::move(end_)) end(true);
}

void QVFadeAnimator::removeAllAnimations() {
  for (QVView* v : viewsToHide()) QVOpacityAnimation::removeAll(v);
  for (QVView* v : viewsToShow()) QVOpacityAnimation::removeAll(v);
}

void QVFadeAnimator::cancel() {
  QVAnimator::cancel();
  end_ = nullptr;
  removeAllAnimations();
}

// ---- Fades of views ----

namespace NSViewFadeAnimation {

std::shared_ptr<QVFadeAnimator> fadeAnimator(const QVView* view) {
  QVFadeStore* store = storeOf(view, false);
  return store ? store->fadeAnimator : nullptr;
}

void setFadeAnimator(QVView* view, std::shared_ptr<QVFadeAnimator> animator) {
  if (QVFadeStore* store = storeOf(view, animator != nullptr)) store->fadeAnimator = std::move(animator);
}

void switchAlpha(QVView* view, Completion completion, double alpha) {
  if (!view) return;
  // Hand over cleanly: an earlier fade of the view would otherwise end first and set the alpha.
  if (auto previous = fadeAnimator(view)) previous->cancel();
  auto animator = alpha != 0 ? QVFadeAnimator::make({view}, {}) : QVFadeAnimator::make({}, {view});
  animator->setFadeValue(alpha);
  setFadeAnimator(view, animator);
  QPointer<QVView> guard(view);
  animator->animateWithDefaultDurationAndCompletion([guard, completion = std::move(completion)](bool finished) {
    if (guard) setFadeAnimator(guard, nullptr);
    if (completion) completion(finished);
  });
}

void hideAndRemoveOnCompletion(QVView* view) {
  QPointer<QVView> guard(view);
  hide(view, [guard](bool finished) {
    if (finished && guard) guard->removeFromSuperview();
  });
}

}  // namespace NSViewFadeAnimation
