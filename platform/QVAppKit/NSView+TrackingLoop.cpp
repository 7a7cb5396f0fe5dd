#include "QVAppKit/NSView+TrackingLoop.h"

#include <QEvent>
#include <QObject>
#include <memory>

namespace {

class QVTrackingLoop : public QObject {
 public:
  QVTrackingLoop(QWidget* view, NSViewTrackingLoop::Handler dragging, NSViewTrackingLoop::Handler up)
      : QObject(view), dragging_(std::move(dragging)), up_(std::move(up)) {
    setObjectName(QStringLiteral("QVTrackingLoop"));
    view->installEventFilter(this);
  }

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched != parent()) return false;
    if (event->type() == QEvent::MouseMove) {
      auto* e = static_cast<QMouseEvent*>(event);
      if ((e->buttons() & Qt::LeftButton) && dragging_) dragging_(*e);
      return false;
    }
    if (event->type() == QEvent::MouseButtonRelease && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
      // The loop ends at this release: detach first, so that the handler may start another.
      auto up = std::move(up_);
      parent()->removeEventFilter(this);
      deleteLater();
      setParent(nullptr);
      if (up) up(*static_cast<QMouseEvent*>(event));
      return false;
    }
    return false;
  }

 private:
  NSViewTrackingLoop::Handler dragging_;
  NSViewTrackingLoop::Handler up_;
};

QVTrackingLoop* loopOf(const QWidget* view) {
  if (!view) return nullptr;
  for (QObject* child : view->children()) {
    if (auto* loop = dynamic_cast<QVTrackingLoop*>(child)) return loop;
  }
  return nullptr;
}

}  // namespace

namespace NSViewTrackingLoop {

void runTrackingLoop(QWidget* view, Handler draggingHandler, Handler mouseUpHandler) {
  if (!view || (!draggingHandler && !mouseUpHandler)) return;
  delete loopOf(view);
  new QVTrackingLoop(view, std::move(draggingHandler), std::move(mouseUpHandler));
}

bool isTracking(const QWidget* view) { return loopOf(view) != nullptr; }

}  // namespace NSViewTrackingLoop
