#include "QVAppKit/QVLocalEventMonitor.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>

QVLocalEventMonitor::QVLocalEventMonitor(unsigned mask, Handler handler) : mask_(mask), handler_(std::move(handler)) {
  setInstalled(true);
}

QVLocalEventMonitor::QVLocalEventMonitor(QWidget* view, unsigned mask, Handler handler)
    : QObject(view), mask_(mask), handler_(std::move(handler)), view_(view) {
  if (!view) return;
  view->installEventFilter(this);
  setInstalled(view->isVisible());
}

QVLocalEventMonitor::~QVLocalEventMonitor() { setInstalled(false); }

void QVLocalEventMonitor::remove() {
  removed_ = true;
  setInstalled(false);
  if (view_) view_->removeEventFilter(this);
}

void QVLocalEventMonitor::setInstalled(bool installed) {
  if (installed && removed_) return;
  if (installed == installed_ || !qApp) return;
  installed_ = installed;
  if (installed)
    qApp->installEventFilter(this);
  else
    qApp->removeEventFilter(this);
}

bool QVLocalEventMonitor::matches(const QEvent* event) const {
  switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
      const auto button = static_cast<const QMouseEvent*>(event)->button();
      return (button == Qt::LeftButton && (mask_ & LeftMouseDown)) ||
             (button == Qt::RightButton && (mask_ & RightMouseDown));
    }
    case QEvent::KeyPress:
      return mask_ & KeyDown;
    default:
      return false;
  }
}

bool QVLocalEventMonitor::eventFilter(QObject* watched, QEvent* event) {
  if (view_ && watched == view_.data()) {
    if (event->type() == QEvent::Show) setInstalled(view_->isVisible());
    if (event->type() == QEvent::Hide) setInstalled(false);
  }
  // Widgets only: the window object sees the same input once more before its widgets do.
  if (!installed_ || !watched->isWidgetType() || !matches(event)) return false;
  auto* widget = static_cast<QWidget*>(watched);
  // Qt hands a press nobody took on to the parent, as a copy mapped to the parent: the same
  // kind, time and place, one level up.
  Signature signature{event->type(), static_cast<QInputEvent*>(event)->timestamp(), {}, 0};
  if (event->type() == QEvent::KeyPress)
    signature.key = static_cast<QKeyEvent*>(event)->key();
  else
    signature.globalPosition = static_cast<QMouseEvent*>(event)->globalPosition();
  const bool propagated =
      signature == last_ && lastWidget_ && lastWidget_ != widget && widget->isAncestorOf(lastWidget_);
  last_ = signature;
  lastWidget_ = widget;
  if (propagated) return false;
  // The handler may remove this monitor: keep the handler alive for the call.
  Handler handler = handler_;
  return handler && handler(event);
}

bool QVLocalEventMonitor::isOutsideView(const QMouseEvent& event, const QWidget* view) {
  if (!view || !view->isVisible()) return true;
  const QPointF local = view->mapFromGlobal(event.globalPosition());
  return !QRectF(view->rect()).contains(local);
}
