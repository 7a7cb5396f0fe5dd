#pragma once
// Fades one set of views in while another set is held and then hidden, with opacity animations on
// the views (one per view: a later opacity animation of the same view replaces the earlier one,
// which then reports its stop as unfinished).
//
// Views to show start transparent and fade to the fade value; views to hide are held at the fade
// value and drop to 0 when the fade ends. The end comes when every opacity animation has stopped,
// however it stopped; a cancelled fade ignores every later stop and leaves the alpha values set
// when it began.
//
// NSViewFadeAnimation puts a fade animator behind every view (show, hide, switchToAlpha).
// Main thread only.
#include <QPointer>
#include <vector>

#include "QVAppKit/QVAnimator.h"

class QVView;

class QVFadeAnimator : public QVAnimator {
 public:
  QVFadeAnimator(std::vector<QVView*> viewsToShow, std::vector<QVView*> viewsToHide);
  static std::shared_ptr<QVFadeAnimator> make(std::vector<QVView*> viewsToShow, std::vector<QVView*> viewsToHide) {
    return std::make_shared<QVFadeAnimator>(std::move(viewsToShow), std::move(viewsToHide));
  }

  double defaultDuration() const override { return 1.0; }
  void cancel() override;

  std::vector<QVView*> viewsToShow() const;
  std::vector<QVView*> viewsToHide() const;
  double fadeValue() const { return fadeValue_; }
  void setFadeValue(double value) { fadeValue_ = value; }
  int animatedViewsCount() const { return animatedViewsCount_; }
  int finishedAnimationsCount() const { return finishedAnimationsCount_; }

  // Starts the opacity animations of one set: 1.0 for views to show, 0.0 for views to hide.
  void applyOpacityAninationToViews(const std::vector<QPointer<QVView>>& views, double opacity, double duration);
  // One opacity animation stopped.
  void animationDidStop(bool finished);

 protected:
  void actualAnimateWithDuration(double duration, Completion end) override;

 private:
  void removeAllAnimations();

  std::vector<QPointer<QVView>> viewsToShow_;
  std::vector<QPointer<QVView>> viewsToHide_;
  double fadeValue_ = 1.0;
  int animatedViewsCount_ = 0;
  int finishedAnimationsCount_ = 0;
  Completion end_;
};

namespace QVOpacityAnimation {
// Animates the view's alpha from `from` to `to` (linear) and keeps it at `to` afterwards, replacing
// the view's earlier opacity animation. `stopped` is told once, when the animation ends (true) or is
// replaced or removed (false).
void add(QVView* view, double from, double to, double duration, std::function<void(bool finished)> stopped);
// Removes the view's opacity animation: the view goes back to the alpha it had when it started.
void removeAll(QVView* view);
bool has(const QVView* view);
}  // namespace QVOpacityAnimation

namespace NSViewFadeAnimation {
using Completion = std::function<void(bool finished)>;
std::shared_ptr<QVFadeAnimator> fadeAnimator(const QVView* view);
void setFadeAnimator(QVView* view, std::shared_ptr<QVFadeAnimator> animator);
// Fades the view to alpha over the fade animator's default duration; alpha 0 makes it transparent
// at once and reports the end after the duration. A fade still running on the view is cancelled.
void switchAlpha(QVView* view, Completion completion, double alpha);
inline void show(QVView* view, Completion completion = nullptr) { switchAlpha(view, std::move(completion), 1.0); }
inline void hide(QVView* view, Completion completion = nullptr) { switchAlpha(view, std::move(completion), 0.0); }
inline void switchToAlpha(QVView* view, double alpha) { switchAlpha(view, nullptr, alpha); }
// Hides the view and removes it from its superview when the fade finishes.
void hideAndRemoveOnCompletion(QVView* view);
}  // namespace NSViewFadeAnimation
