#pragma once
// Switches dropping on the main window off while an export runs: on
// "QVExportStateChangedNotificationName" (object: the export panel's state as a number) a
// non-zero state disables the drag view's dragging and zero enables it again.
//
// Main thread only.
#include <QPointer>

#include "Ombrel/Classes/Application/OpenScreen/QVOpenDragView.h"
#include "QVPlatform/NotificationCenter.h"

inline constexpr const char* kQVExportStateChangedNotificationName = "QVExportStateChangedNotificationName";

class QVDragViewAssistant {
 public:
  explicit QVDragViewAssistant(QVOpenDragView* dragView);
  ~QVDragViewAssistant();
  QVOpenDragView* dragView() const { return dragView_; }

  // The state a notification carries: its object as a number (a qv::Value), else 0.
  static int64_t exportStateFromNotification(const qv::Notification& notification);

 private:
  QPointer<QVOpenDragView> dragView_;
  qv::ObserverToken observer_;
};
