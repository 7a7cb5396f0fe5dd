#include "Ombrel/Classes/Application/AppDelegate/QVApplication.h"

#include <QKeyEvent>
#include <QMetaObject>
#include <QWidget>

QVApplication::QVApplication(int& argc, char** argv) : QApplication(argc, argv) {}

QVEditingAction QVApplication::editingActionForKey(Qt::KeyboardModifiers modifiers, const QString& character) {
  // Only the modifier keys count (not the keypad or group-switch flags).
  const Qt::KeyboardModifiers flags =
      modifiers & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
  if (flags == Qt::ControlModifier) {
    if (character == QLatin1String("x")) return QVEditingAction::Cut;
    if (character == QLatin1String("c")) return QVEditingAction::Copy;
    if (character == QLatin1String("v")) return QVEditingAction::Paste;
    if (character == QLatin1String("z")) return QVEditingAction::Undo;
    if (character == QLatin1String("a")) return QVEditingAction::SelectAll;
  } else if (flags == (Qt::ControlModifier | Qt::ShiftModifier) && character == QLatin1String("Z")) {
    return QVEditingAction::Redo;
  }
  return QVEditingAction::None;
}

QString QVApplication::characterOfKeyEvent(const QKeyEvent& event) {
  const QString text = event.text();
  if (text.size() == 1 && text.at(0).isPrint()) return text;
  const int key = event.key();
  if (key >= Qt::Key_A && key <= Qt::Key_Z) {
    const QChar letter = QChar(u'a' + (key - Qt::Key_A));
    return (event.modifiers() & Qt::ShiftModifier) ? QString(letter.toUpper()) : QString(letter);
  }
  return text;
}

const char* QVApplication::slotNameForAction(QVEditingAction action) {
  switch (action) {
    case QVEditingAction::Cut:
      return "cut";
    case QVEditingAction::Copy:
      return "copy";
    case QVEditingAction::Paste:
      return "paste";
    case QVEditingAction::Undo:
      return "undo";
    case QVEditingAction::Redo:
      return "redo";
    case QVEditingAction::SelectAll:
      return "selectAll";
    case QVEditingAction::None:
      break;
  }
  return nullptr;
}

bool QVApplication::sendEditingAction(QVEditingAction action, QObject* responder) {
  const char* slot = slotNameForAction(action);
  if (!slot) return false;
  const QByteArray signature = QByteArray(slot) + "()";
  for (QObject* object = responder; object; object = object->parent()) {
    if (object->metaObject()->indexOfMethod(signature.constData()) >= 0) {
      return QMetaObject::invokeMethod(object, slot, Qt::DirectConnection);
    }
    if (auto* widget = qobject_cast<QWidget*>(object); widget && widget->isWindow()) break;
  }
  return false;
}

bool QVApplication::notify(QObject* receiver, QEvent* event) {
  if (event->type() == QEvent::ShortcutOverride && shortcutValidator_) shortcutValidator_();
  if (event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    const QVEditingAction action = editingActionForKey(key->modifiers(), characterOfKeyEvent(*key));
    if (action != QVEditingAction::None && sendEditingAction(action, receiver)) return true;
  }
  return QApplication::notify(receiver, event);
}
