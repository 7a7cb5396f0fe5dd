#include "QVAppKit/QVMouseEventTrackingView.h"

#include <QEnterEvent>
#include <QGuiApplication>
#include <algorithm>
#include <functional>

#include "QVAppKit/NSView+TrackingLoop.h"
#include "QVPlatform/Log.h"

namespace {
std::string& systemVersionText() {
  static std::string text;
  return text;
}
}  // namespace

QVMouseEventTrackingView::~QVMouseEventTrackingView() {
  // A view destroyed while pressed does not leave its cursor behind.
  if (cursorPushed_) QGuiApplication::restoreOverrideCursor();
}

void QVMouseEventTrackingView::initialize() {
  QVFrameChangingView::initialize();
  enabled_ = true;
  enteredExitedEnabled_ = true;
  movedEnabled_ = false;
  resolveAutomatically_ = true;
  setMouseDownCanMoveWindow(false);
  updateTrackingAreas();
}

void QVMouseEventTrackingView::setEnabled(bool enabled) {
  enabled_ = enabled;
  setUserInteractionEnabled(enabled);
  setHidden(!enabled);
  updateTrackingAreas();
}

void QVMouseEventTrackingView::setMouseEnteredOrExitedTrackEnabled(bool enabled) {
  if (enteredExitedEnabled_ == enabled) return;
  enteredExitedEnabled_ = enabled;
  if (enabled) {
    enteredExitedArea_ = makeArea(QVTrackingArea::MouseEnteredAndExited | QVTrackingArea::ActiveInKeyWindow |
                                  (viewCursor_ ? QVTrackingArea::CursorUpdate : 0u));
  } else {
    enteredExitedArea_.reset();
  }
  applyListening();
}

void QVMouseEventTrackingView::setMouseMoveTrackEnabled(bool enabled) {
  if (movedEnabled_ == enabled) return;
  movedEnabled_ = enabled;
  if (enabled) {
    movedArea_ = makeArea(QVTrackingArea::MouseMoved | QVTrackingArea::ActiveInKeyWindow);
  } else {
    movedArea_.reset();
  }
  applyListening();
}

QVTrackingArea QVMouseEventTrackingView::makeArea(unsigned options) const { return QVTrackingArea{bounds(), options}; }

void QVMouseEventTrackingView::applyListening() { setMouseTracking(movedArea_.has_value()); }

void QVMouseEventTrackingView::updateTrackingAreas() {
  movedArea_.reset();
  enteredExitedArea_.reset();
  if (enabled_) {
    if (movedEnabled_) movedArea_ = makeArea(QVTrackingArea::MouseMoved | QVTrackingArea::ActiveInKeyWindow);
    if (enteredExitedEnabled_) {
      enteredExitedArea_ = makeArea(QVTrackingArea::MouseEnteredAndExited | QVTrackingArea::ActiveInKeyWindow |
                                    (viewCursor_ ? QVTrackingArea::CursorUpdate : 0u));
    }
  }
  applyListening();
}

void QVMouseEventTrackingView::resetCursorRects() {
  hasCursorRect_ = viewCursor_.has_value() && !trackingViewsOverlap_;
  if (hasCursorRect_) {
    setCursor(*viewCursor_);
  } else {
    unsetCursor();
  }
}

void QVMouseEventTrackingView::frameDidChange(bool sizeChanged) {
  QVFrameChangingView::frameDidChange(sizeChanged);
  updateTrackingAreas();
}

bool QVMouseEventTrackingView::isInActiveWindow() const { return window() && window()->isActiveWindow(); }

bool QVMouseEventTrackingView::event(QEvent* event) {
  // Leaving its window: on older systems the window may be moved again.
  if (event->type() == QEvent::ParentAboutToChange && window() && window() != this) handleWindowMovability(true);
  if (enteredExitedArea_ && isInActiveWindow()) {
    if (event->type() == QEvent::Enter) {
      const QPointF local = static_cast<QEnterEvent*>(event)->position();
      mouseEntered(mapTo(window(), local));
    } else if (event->type() == QEvent::Leave) {
      mouseExited(window()->mapFromGlobal(QCursor::pos()));
    }
  }
  return QVFrameChangingView::event(event);
}

void QVMouseEventTrackingView::mouseEntered(QPointF windowPoint) {
  processTrackingEvent(windowPoint);
  handleWindowMovability(false);
}

void QVMouseEventTrackingView::mouseExited(QPointF windowPoint) {
  processTrackingEvent(windowPoint);
  handleWindowMovability(true);
}

void QVMouseEventTrackingView::processTrackingEvent(QPointF windowPoint) {
  handleCursorInvalidationForTrackers(findOtherTrackesOnEvent(windowPoint));
}

std::vector<QVMouseEventTrackingView*> QVMouseEventTrackingView::findOtherTrackesOnEvent(QPointF windowPoint) const {
  std::vector<QVMouseEventTrackingView*> found;
  QWidget* root = window();
  if (!root) return found;
  std::function<void(QWidget*)> visit = [&](QWidget* w) {
    const QList<QObject*> children = w->children();
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
      auto* child = qobject_cast<QWidget*>(*it);
      if (!child || child->isHidden()) continue;
      visit(child);
      auto* tracker = dynamic_cast<QVMouseEventTrackingView*>(child);
      if (tracker && QRectF(child->rect()).contains(child->mapFrom(root, windowPoint))) found.push_back(tracker);
    }
  };
  visit(root);
  if (auto* self = dynamic_cast<QVMouseEventTrackingView*>(root); self && QRectF(root->rect()).contains(windowPoint)) {
    found.push_back(self);
  }
  return found;
}

void QVMouseEventTrackingView::handleCursorInvalidationForTrackers(
    const std::vector<QVMouseEventTrackingView*>& trackers) {
  for (QVMouseEventTrackingView* tracker : trackers) {
    std::vector<QVMouseEventTrackingView*> others;
    std::copy_if(trackers.begin(), trackers.end(), std::back_inserter(others),
                 [&](QVMouseEventTrackingView* t) { return t != tracker; });
    std::optional<bool> answer;
    if (tracker->delegate()) {
      answer = tracker->delegate()->mouseTrackingViewShouldInvalidateCursorCollisingWithOtherTrackers(tracker, others);
    }
    tracker->setTrackingViewsOverlap(answer.value_or(false));
    tracker->resetCursorRects();
  }
}

void QVMouseEventTrackingView::setSystemVersionText(const std::string& version) { systemVersionText() = version; }

bool QVMouseEventTrackingView::systemVersionIsBelowSierra() {
  const std::string& text = systemVersionText();
  const size_t dot = text.find('.');
  if (dot == std::string::npos) return false;
  const size_t next = text.find('.', dot + 1);
  const std::string minor = text.substr(dot + 1, next == std::string::npos ? std::string::npos : next - dot - 1);
  try {
    return std::stoi(minor) < 12;
  } catch (...) {
    return false;  // not a number: not an older system
  }
}

void QVMouseEventTrackingView::handleWindowMovability(bool movable) {
  if (!systemVersionIsBelowSierra() || !window()) return;
  window()->setProperty("movable", movable);
  QVLog(1, "Manually switch window is movable: %d", int(movable));
}

void QVMouseEventTrackingView::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    QVFrameChangingView::mousePressEvent(event);
    return;
  }
  event->accept();
  mouseDown(*event);
}

void QVMouseEventTrackingView::mouseDown(const QMouseEvent& event) {
  notifyDelegateAndCallRoutine(event);
  auto report = [this](const QMouseEvent& e) { notifyDelegateAndCallRoutine(e); };
  NSViewTrackingLoop::runTrackingLoop(this, report, report);
}

void QVMouseEventTrackingView::notifyDelegateAndCallRoutine(const QMouseEvent& event) {
  switch (event.type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
      if (delegate_) delegate_->mouseTrackingViewLeftMouseDown(this, event);
      leftMouseDown(event);
      break;
    case QEvent::MouseMove:
      if (delegate_) delegate_->mouseTrackingViewLeftMouseDragged(this, event);
      leftMouseDragged(event);
      break;
    case QEvent::MouseButtonRelease:
      if (delegate_) delegate_->mouseTrackingViewLeftMouseUp(this, event);
      leftMouseUp(event);
      break;
    default:
      break;
  }
}

void QVMouseEventTrackingView::leftMouseDown(const QMouseEvent&) {
  if (viewCursor_ && !cursorPushed_) {
    QGuiApplication::setOverrideCursor(*viewCursor_);
    cursorPushed_ = true;
  }
}

void QVMouseEventTrackingView::leftMouseUp(const QMouseEvent&) {
  if (cursorPushed_) {
    QGuiApplication::restoreOverrideCursor();
    cursorPushed_ = false;
  }
}
