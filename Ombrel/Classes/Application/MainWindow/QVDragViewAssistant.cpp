#include "Ombrel/Classes/Application/MainWindow/QVDragViewAssistant.h"

#include "QVPlatform/Value.h"

QVDragViewAssistant::QVDragViewAssistant(QVOpenDragView* dragView) : dragView_(dragView) {
  if (!dragView) return;
  QPointer<QVOpenDragView> view(dragView);
  observer_ = qv::NotificationCenter::defaultCenter().addObserver(
      kQVExportStateChangedNotificationName, nullptr, [view](const qv::Notification& notification) {
        if (view) view->setDraggingEnabled(exportStateFromNotification(notification) == 0);
      });
}

QVDragViewAssistant::~QVDragViewAssistant() { observer_.reset(); }

int64_t QVDragViewAssistant::exportStateFromNotification(const qv::Notification& notification) {
  if (auto number = notification.objectAs<qv::Value>()) return number->asInt(0);
  return 0;
}
