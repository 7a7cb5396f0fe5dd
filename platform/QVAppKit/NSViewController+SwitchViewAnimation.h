#pragma once
// Swapping one set of a controller's views for another with a cross-fade: the views to show are
// put on top of the controller's view, filling it, in list order, and fade in while the views to
// hide fade out; when the fade finishes the hidden views leave their superviews and then the
// post-hide block runs once. A cancelled fade removes nothing and runs no block. The controller
// keeps its running fade (one at a time).
//
// Main thread only.
#include <functional>
#include <memory>
#include <vector>

#include "QVAppKit/QVFadeAnimator.h"
#include "QVAppKit/QVViewController.h"

namespace NSViewControllerSwitchViewAnimation {
std::shared_ptr<QVFadeAnimator> fadeAnimator(const QVViewController* controller);
void setFadeAnimator(QVViewController* controller, std::shared_ptr<QVFadeAnimator> animator);

// Answers whether something is being animated; with nothing to fade it answers false and the
// caller runs its post-hide work itself. The change always fades (`animated` is kept for callers
// that pass their own flag through).
bool changeVisibility(QVViewController* controller, const std::vector<QVView*>& viewsToHide,
                      const std::vector<QVView*>& viewsToShow, bool animated,
                      std::function<void()> postHideBlock = nullptr);
// Cancels the running fade (hidden views stay, no block) and forgets it.
void cancelVisibilityChange(QVViewController* controller);
// Each view is moved to the top of the controller's view and made to fill it.
void prepareToAnimateShow(QVViewController* controller, const std::vector<QVView*>& views);
}  // namespace NSViewControllerSwitchViewAnimation
