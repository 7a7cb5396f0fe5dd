#include "QVAppKit/QVSpringButton.h"

#include <QCursor>
#include <QEvent>
#include <QMouseEvent>
#include <QTimer>

#include "QVAppKit/NSView+Extensions.h"
#include "QVAppKit/NSView+SpringAnimation.h"
#include "QVAppKit/NSView+TrackingLoop.h"

QVSpringButton::~QVSpringButton() {
  removeObserversForWindow(observedWindow_);
  watchPointerAfterRelease(false);
}

void QVSpringButton::initialize() {
  QVTitledButton::initialize();
  tracksHovering_ = true;
  hoverEnabled_ = true;
  hoverParams_ = QVSpringSizeScaleParams::paramsWithScale(1.1, 15, 10);
  clickParams_ = QVSpringSizeScaleParams::paramsWithScale(1.0, 25, 10);
  setMouseDownCanMoveWindow(false);
  setAttribute(Qt::WA_Hover, false);
}

std::shared_ptr<QVSpringSizeScaleParams> QVSpringButton::hoverParams() {
  if (!hoverParams_) hoverParams_ = QVSpringSizeScaleParams::defaultParams();
  return hoverParams_;
}

std::shared_ptr<QVSpringSizeScaleParams> QVSpringButton::clickParams() {
  if (!clickParams_) {
    clickParams_ = QVSpringSizeScaleParams::defaultParams();
    clickParams_->setScale(1.0);
  }
  return clickParams_;
}

std::shared_ptr<QVSpringSizeScaleParams> QVSpringButton::initialParams() {
  if (!initialParams_) {
    initialParams_ = copyOf(hoverParams());
    initialParams_->setScale(1.0);
  }
  return initialParams_;
}

void QVSpringButton::setAnchor(CGPoint anchor) {
  if (anchor == anchor_) return;
  anchor_ = anchor;
  initialParams()->setAnchor(anchor);
  clickParams()->setAnchor(anchor);
  hoverParams()->setAnchor(anchor);
}

void QVSpringButton::onViewFrameChanged() {
  QVTitledButton::onViewFrameChanged();
  // The sizes the springs pass through are not the button's own, nor is the size a spring left
  // when the frame is reported again unchanged (layout passes while an alert is up did so, and
  // the hover size became the size to rest at).
  const CGSize size = frame().size;
  if (QVSpringLayer::isApplyingSpring()) {
    springSize_ = size;
    return;
  }
  if (springSize_ && *springSize_ == size) return;
  springSize_.reset();
  clickParams()->setOriginalSize(size);
  hoverParams()->setOriginalSize(size);
  initialParams()->setOriginalSize(size);
  addTrackingArea();
  NSViewSpringAnimation::centerAnchorPointIfNeeded(titleLabel());
}

void QVSpringButton::addTrackingArea() {
  currentTrackingArea_ = QVTrackingArea{bounds(), QVTrackingArea::MouseEnteredAndExited | QVTrackingArea::ActiveAlways};
}

// ---- Hover ----

bool QVSpringButton::event(QEvent* event) {
  // Shown in a window an ancestor was moved into after the button joined it.
  if (event->type() == QEvent::Show) observeCurrentWindow();
  // Qt's own enter or leave: it knows where the pointer is again.
  if (event->type() == QEvent::Enter || event->type() == QEvent::Leave) watchPointerAfterRelease(false);
  if (currentTrackingArea_) {
    if (event->type() == QEvent::Enter) mouseEntered();
    if (event->type() == QEvent::Leave) mouseExited();
  }
  return QVTitledButton::event(event);
}

void QVSpringButton::mouseEntered() { updateHover(true); }
void QVSpringButton::mouseExited() { updateHover(false); }

void QVSpringButton::updateHover(bool hover) {
  if (hoverEnabled_) setHovering(hover);
  setMouseDownCanMoveWindow(!hover);
}

void QVSpringButton::setHovering(bool hovering) {
  if (!tracksHovering_ || hovering == hovering_) return;
  hovering_ = hovering;
  animateToHover(hovering);
}

bool QVSpringButton::cancelAnimationInNeededForKey(std::string& key) {
  if (key.empty()) return false;
  const std::string running = std::exchange(key, std::string());
  NSViewSpringAnimation::removeSpringAnimationForKey(this, running);
  return true;
}

void QVSpringButton::animateToHover(bool hover) {
  cancelHoverAnimationInNeeded();
  auto params = hover ? (hoverEnabled_ ? hoverParams() : clickParams()) : initialParams();
  QPointer<QVSpringButton> weak(this);
  const std::string key = NSViewSpringAnimation::animateSpringScale(this, params, [weak](bool) {
    if (weak) weak->currentHoverAnimationKey_.clear();
  });
  currentHoverAnimationKey_ = key;
  springFace(params);
}

void QVSpringButton::springFace(const std::shared_ptr<QVSpringSizeScaleParams>& params) {
  NSViewSpringAnimation::animateProportionallySizeScaleAndCentering(titleLabel(), params);
  NSViewSpringAnimation::animateProportionallySizeScale(iconView(), params);
  NSViewSpringAnimation::animateProportionallyCornersWithSizeScale(this, params);
}

// ---- Press and release ----

void QVSpringButton::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    QVTitledButton::mousePressEvent(event);
    return;
  }
  event->accept();
  mouseDown(*event);
}

void QVSpringButton::handleMouseDown() {
  if (currentClickAnimationKey_.empty()) performClickAnimation(true);
}

void QVSpringButton::mouseDown(const QMouseEvent&) {
  handleMouseDown();
  setUserInteractionEnabled(false);
  QPointer<QVSpringButton> weak(this);
  NSViewTrackingLoop::runTrackingLoop(
      this,
      [weak](const QMouseEvent& e) {
        if (!weak) return;
        const bool within = NSViewExtensions::isMouseLocationWithinView(weak, e);
        weak->setHovering(weak->hoverEnabled_ ? !within : within);
      },
      [weak](const QMouseEvent& e) {
        if (!weak) return;
        const bool within = NSViewExtensions::isMouseLocationWithinView(weak, e);
        weak->performClickAnimation(false, [weak, within] {
          if (!weak) return;
          weak->setUserInteractionEnabled(true);
          weak->followPointerAfterRelease();
          if (within) weak->sendActionToTarget();
        });
      });
}

void QVSpringButton::performClickAnimation(bool pressed, std::function<void()> completion) {
  cancelHoverAnimationInNeeded();
  cancelClickAnimationInNeeded();
  auto rest = hoverEnabled_ ? hoverParams() : initialParams();
  auto params = pressed ? clickParams() : rest;
  QPointer<QVSpringButton> weak(this);
  currentClickAnimationKey_ =
      NSViewSpringAnimation::animateSpringScale(this, params, [weak, completion = std::move(completion)](bool) {
        if (!weak) return;
        weak->currentClickAnimationKey_.clear();
        if (completion) completion();
      });
  springFace(params);
}

void QVSpringButton::followPointerAfterRelease() {
  // The release spring ends at the hover size (hover on) wherever the pointer went, and the
  // enter and leave events of the press went by while the button took no mouse events (Qt sends
  // a leave when the grab ends over a view that ignores the mouse; its spring ran against the
  // release spring). The state and the size are made those of where the pointer is now: a button
  // left enlarged under a state saying "not hovering" stayed so, since neither a leave nor the
  // window becoming key again (after the action's alert) changed that state.
  const bool inside = QRectF(rect()).contains(mapFromGlobal(QCursor::pos()));
  hovering_ = hoverEnabled_ && inside;
  setMouseDownCanMoveWindow(!inside);
  animateToHover(hovering_);
  // Qt took that leave to mean the pointer is over the view below the button, and sends the button
  // an enter only when the pointer next moves inside it: a pointer that goes straight out (a click
  // and away, or the first move already outside) left the button at its hover size for good, the
  // installer's Uninstall larger than Install beside it. Until Qt enters the button again, the
  // window's own pointer events tell when the pointer has gone.
  watchPointerAfterRelease(inside);
}

void QVSpringButton::watchPointerAfterRelease(bool watch) {
  QWindow* handle = watch && window() ? window()->windowHandle() : nullptr;
  if (handle == pointerWatchWindow_) return;
  if (pointerWatchWindow_) pointerWatchWindow_->removeEventFilter(this);
  pointerWatchWindow_ = handle;
  if (handle) handle->installEventFilter(this);
}

void QVSpringButton::sendActionToTarget() {
  QPointer<QVSpringButton> weak(this);
  // A later turn of the main loop, as the system delivers actions.
  QTimer::singleShot(0, this, [weak] {
    if (!weak || !weak->userInteractionEnabled()) return;
    if (weak->target() && weak->action()) weak->action()(weak->target(), weak);
  });
}

// ---- Window key state ----

void QVSpringButton::viewDidMoveToSuperview() {
  QVTitledButton::viewDidMoveToSuperview();
  observeCurrentWindow();
}

void QVSpringButton::observeCurrentWindow() {
  QWidget* newWindow = superview() ? window() : nullptr;
  if (newWindow == observedWindow_) return;
  removeObserversForWindow(observedWindow_);
  if (!newWindow) updateHover(false);
  addObserversForWindow(newWindow);
}

void QVSpringButton::addObserversForWindow(QWidget* window) {
  if (!window) return;
  observedWindow_ = window;
  window->installEventFilter(this);
}

void QVSpringButton::removeObserversForWindow(QWidget* window) {
  if (window) window->removeEventFilter(this);
  if (window == observedWindow_) observedWindow_ = nullptr;
}

bool QVSpringButton::eventFilter(QObject* watched, QEvent* event) {
  if (watched == pointerWatchWindow_) {
    bool gone = event->type() == QEvent::Leave;
    if (event->type() == QEvent::MouseMove) {
      const QPointF global = static_cast<QMouseEvent*>(event)->globalPosition();
      gone = !QRectF(rect()).contains(mapFromGlobal(global));
    }
    if (gone) {
      watchPointerAfterRelease(false);
      updateHover(false);
    }
  }
  if (watched == observedWindow_) {
    if (event->type() == QEvent::WindowDeactivate) handleWindowDidResignKey();
    if (event->type() == QEvent::WindowActivate) handleWindowDidBecomeKey();
  }
  return QVTitledButton::eventFilter(watched, event);
}

void QVSpringButton::handleWindowDidResignKey() { tracksHovering_ = false; }

void QVSpringButton::handleWindowDidBecomeKey() {
  tracksHovering_ = true;
  setHovering(false);
}

void QVRoundedSpringButton::initialize() {
  QVSpringButton::initialize();
  setRoundsCornersToFitHeight(true);
}
