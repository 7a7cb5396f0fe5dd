#include "QVAppKit/QVScalableSpringView.h"

#include <QPointer>

#include "QVAppKit/NSView+Extensions.h"
#include "QVAppKit/NSView+SpringAnimation.h"
#include "QVAppKit/NSView+TrackingLoop.h"

void QVScalableSpringView::initialize() {
  clickParams_ = QVSpringSizeScaleParams::paramsWithScale(0.9, 10, 10);
  originalParams_ = QVSpringSizeScaleParams::paramsWithScale(1.0, 10, 10);
  QVMouseEventTrackingView::initialize();
}

void QVScalableSpringView::onViewFrameChanged() {
  QVMouseEventTrackingView::onViewFrameChanged();
  // The sizes the press springs pass through are not the size at rest.
  if (QVSpringLayer::isApplyingSpring()) return;
  const CGSize size = QVSpringLayer::size(this);
  if (clickParams_) clickParams_->setOriginalSize(size);
  if (originalParams_) originalParams_->setOriginalSize(size);
}

void QVScalableSpringView::setShrunk(bool shrunk) {
  if (shrunk_ == shrunk) return;
  shrunk_ = shrunk;
  animateClick(shrunk);
}

void QVScalableSpringView::animateClick(bool shrink) { animateClickParams(shrink ? clickParams_ : originalParams_); }

void QVScalableSpringView::animateClickParams(const std::shared_ptr<QVSpringSizeScaleParams>& params) {
  if (params && shouldAnimateClick()) actualClickAnimation(params);
}

void QVScalableSpringView::actualClickAnimation(const std::shared_ptr<QVSpringSizeScaleParams>& params) {
  cancelClickAnimation();
  QPointer<QVScalableSpringView> weak(this);
  clickAnimationKey_ = NSViewSpringAnimation::animateSpringScale(this, params, [weak](bool) {
    if (weak) weak->clickAnimationKey_.clear();
  });
}

void QVScalableSpringView::cancelClickAnimation() {
  if (!shouldAnimateClick() || clickAnimationKey_.empty()) return;
  const std::string key = clickAnimationKey_;
  NSViewSpringAnimation::removeSpringAnimationForKey(this, key);
  clickAnimationKey_.clear();
}

void QVScalableSpringView::mouseDown(const QMouseEvent&) {
  animateClick(true);
  // The press shrank the view: a drag out from here must restore it.
  shrunk_ = true;
  QPointer<QVScalableSpringView> weak(this);
  NSViewTrackingLoop::runTrackingLoop(
      this,
      [weak](const QMouseEvent& e) {
        if (weak) weak->setShrunk(NSViewExtensions::isMouseLocationWithinView(weak, e));
      },
      [weak](const QMouseEvent& e) {
        if (weak && NSViewExtensions::isMouseLocationWithinView(weak, e)) weak->onClickReleased();
      });
}
