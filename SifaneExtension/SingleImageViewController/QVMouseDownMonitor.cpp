#include "SifaneExtension/SingleImageViewController/QVMouseDownMonitor.h"

#include <QCoreApplication>
#include <QMouseEvent>

QVMouseDownMonitor::QVMouseDownMonitor(Handler handler) : handler_(std::move(handler)) {
  if (auto* app = QCoreApplication::instance()) app->installEventFilter(this);
}

QVMouseDownMonitor::~QVMouseDownMonitor() {
  if (auto* app = QCoreApplication::instance()) app->removeEventFilter(this);
}

bool QVMouseDownMonitor::eventFilter(QObject* watched, QEvent* event) {
  // A press reaches the window first and then each widget it propagates through: the window's
  // copy is the one place it is seen exactly once.
  if (event->type() == QEvent::MouseButtonPress && watched->isWindowType()) {
    const auto* press = static_cast<QMouseEvent*>(event);
    if ((press->button() == Qt::LeftButton || press->button() == Qt::RightButton) && handler_)
      handler_(press->globalPosition());
  }
  return false;
}
