#pragma once
// Synthetic mouse events for the toolkit's tests, delivered straight to a widget (as Qt's implicit
// grab delivers them to the pressed widget). Points are in Qt's widget space of the receiver.
#include <QCoreApplication>
#include <QCursor>
#include <QEnterEvent>
#include <QMouseEvent>
#include <QWidget>

namespace mouse_test {

inline void send(QWidget* w, QEvent::Type type, QPointF local) {
  QCursor::setPos(w->mapToGlobal(local).toPoint());  // the pointer is where its events say
  const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
  const Qt::MouseButtons buttons = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
  QMouseEvent e(type, local, local, w->mapToGlobal(local), button, buttons, Qt::NoModifier);
  QCoreApplication::sendEvent(w, &e);
}
inline void press(QWidget* w, QPointF local) { send(w, QEvent::MouseButtonPress, local); }
inline void drag(QWidget* w, QPointF local) { send(w, QEvent::MouseMove, local); }
inline void release(QWidget* w, QPointF local) { send(w, QEvent::MouseButtonRelease, local); }
inline void enter(QWidget* w, QPointF local = QPointF(1, 1)) {
  QEnterEvent e(local, local, w->mapToGlobal(local));
  QCoreApplication::sendEvent(w, &e);
}
inline void leave(QWidget* w) {
  QEvent e(QEvent::Leave);
  QCoreApplication::sendEvent(w, &e);
}

}  // namespace mouse_test
