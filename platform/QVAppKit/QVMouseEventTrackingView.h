#pragma once
// A view that reacts to the mouse on its own terms: enter/exit and mouse-moved tracking that follow
// its flags, a cursor of its own while the pointer is over it (withdrawn while another tracking view
// under the pointer takes precedence), and press, drag and release reported to a delegate.
//
// Linux stand-ins: a tracking area is a record of what the view listens to (enter/leave events,
// mouse tracking for moves); "active in key window" means the view's window is the active window.
// The cursor rectangle is the widget's cursor. The press loop is Qt's implicit grab
// (NSView+TrackingLoop.h). Window movability is only switched on systems whose version text says
// they are older than 10.12 (none on Linux unless a test sets the text).
//
// Main thread only.
#include <QCursor>
#include <QMouseEvent>
#include <optional>
#include <string>
#include <vector>

#include "QVAppKit/QVFrameChangingView.h"

class QVMouseEventTrackingView;

// All optional: the defaults do nothing (shouldInvalidate… answers "no answer").
class QVMouseEventTrackingViewDelegate {
 public:
  virtual ~QVMouseEventTrackingViewDelegate() = default;
  virtual void mouseTrackingViewLeftMouseDown(QVMouseEventTrackingView*, const QMouseEvent&) {}
  virtual void mouseTrackingViewLeftMouseDragged(QVMouseEventTrackingView*, const QMouseEvent&) {}
  virtual void mouseTrackingViewLeftMouseUp(QVMouseEventTrackingView*, const QMouseEvent&) {}
  virtual std::optional<bool> mouseTrackingViewShouldInvalidateCursorCollisingWithOtherTrackers(
      QVMouseEventTrackingView*, const std::vector<QVMouseEventTrackingView*>&) {
    return std::nullopt;
  }
};

struct QVTrackingArea {
  enum Option : unsigned {
    MouseEnteredAndExited = 1,
    MouseMoved = 2,
    CursorUpdate = 4,
    ActiveInKeyWindow = 8,
    ActiveAlways = 16,
  };
  CGRect rect = CGRectZero;
  unsigned options = 0;
};

class QVMouseEventTrackingView : public QVFrameChangingView {
 public:
  using QVFrameChangingView::QVFrameChangingView;
  ~QVMouseEventTrackingView() override;
  void initialize() override;

  bool enabled() const { return enabled_; }
  void setEnabled(bool enabled);
  bool mouseEnteredOrExitedTrackEnabled() const { return enteredExitedEnabled_; }
  void setMouseEnteredOrExitedTrackEnabled(bool enabled);
  bool mouseMoveTrackEnabled() const { return movedEnabled_; }
  void setMouseMoveTrackEnabled(bool enabled);
  const std::optional<QVTrackingArea>& mouseEnteredOrExitedArea() const { return enteredExitedArea_; }
  const std::optional<QVTrackingArea>& mouseMovedArea() const { return movedArea_; }
  const std::optional<QCursor>& viewCursor() const { return viewCursor_; }
  void setViewCursor(std::optional<QCursor> cursor) { viewCursor_ = std::move(cursor); }
  bool trackingViewsOverlap() const { return trackingViewsOverlap_; }
  void setTrackingViewsOverlap(bool overlap) { trackingViewsOverlap_ = overlap; }
  QVMouseEventTrackingViewDelegate* delegate() const { return delegate_; }
  void setDelegate(QVMouseEventTrackingViewDelegate* delegate) { delegate_ = delegate; }
  bool resolveTrackingCollisionsAutomatically() const { return resolveAutomatically_; }
  void setResolveTrackingCollisionsAutomatically(bool resolve) { resolveAutomatically_ = resolve; }
  // Whether the view shows its cursor now (a cursor rectangle over its bounds).
  bool hasCursorRect() const { return hasCursorRect_; }

  // Rebuilds the tracking areas from the flags and the bounds.
  virtual void updateTrackingAreas();
  // Shows the view's cursor over it, or withdraws it while trackingViewsOverlap is set.
  virtual void resetCursorRects();

  // The pointer entered or left, at a point of the window (Qt's window space).
  virtual void mouseEntered(QPointF windowPoint);
  virtual void mouseExited(QPointF windowPoint);
  // The left button went down on the view.
  virtual void mouseDown(const QMouseEvent& event);
  // Hooks of the press; the base pushes the view's cursor on the press and pops it on release.
  virtual void leftMouseDown(const QMouseEvent& event);
  virtual void leftMouseDragged(const QMouseEvent& event) {}
  virtual void leftMouseUp(const QMouseEvent& event);

  // The tracking views under a point of the window, front first.
  std::vector<QVMouseEventTrackingView*> findOtherTrackesOnEvent(QPointF windowPoint) const;
  void handleCursorInvalidationForTrackers(const std::vector<QVMouseEventTrackingView*>& trackers);

  // The system version text ("10.11.6"); empty on Linux. Tests set it.
  static void setSystemVersionText(const std::string& version);
  static bool systemVersionIsBelowSierra();

 protected:
  bool event(QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void frameDidChange(bool sizeChanged) override;
  void notifyDelegateAndCallRoutine(const QMouseEvent& event);
  void handleWindowMovability(bool movable);
  // Whether the areas that listen only in the key window listen now.
  bool isInActiveWindow() const;

 private:
  void processTrackingEvent(QPointF windowPoint);
  QVTrackingArea makeArea(unsigned options) const;
  void applyListening();

  bool enabled_ = true;
  bool enteredExitedEnabled_ = true;
  bool movedEnabled_ = false;
  std::optional<QVTrackingArea> enteredExitedArea_;
  std::optional<QVTrackingArea> movedArea_;
  std::optional<QCursor> viewCursor_;
  bool trackingViewsOverlap_ = false;
  bool resolveAutomatically_ = true;
  bool hasCursorRect_ = false;
  bool cursorPushed_ = false;
  QVMouseEventTrackingViewDelegate* delegate_ = nullptr;
};
