#pragma once
// The application object. Besides Qt's own handling it
//   - sends the standard editing actions to the focused widget for key presses whose modifiers are
//     exactly Control with "x", "c", "v", "z", "a" (cut, copy, paste, undo, select all) or exactly
//     Control+Shift with "Z" (redo), walking up the parents until one takes the action; a taken
//     action consumes the event, anything else goes on as usual;
//   - runs a validator before any shortcut is matched, so menu items hidden or disabled by the
//     validation table never answer their shortcut (the menus live in a popup that is not open).
//
// Main thread only.
#include <QApplication>
#include <QString>
#include <functional>

class QKeyEvent;

enum class QVEditingAction { None, Cut, Copy, Paste, Undo, Redo, SelectAll };

class QVApplication : public QApplication {
 public:
  QVApplication(int& argc, char** argv);

  // The editing action of a key press with these modifiers and this character.
  static QVEditingAction editingActionForKey(Qt::KeyboardModifiers modifiers, const QString& character);
  // The character of a key press: its text when printable, else the key's letter (upper case with
  // Shift), as the platform reports it with the command key down.
  static QString characterOfKeyEvent(const QKeyEvent& event);
  // The slot name of an action ("cut", ..., "selectAll").
  static const char* slotNameForAction(QVEditingAction action);
  // Sends the action to the responder or the first of its parents that has the slot; true when
  // one took it.
  static bool sendEditingAction(QVEditingAction action, QObject* responder);

  void setShortcutValidator(std::function<void()> validator) { shortcutValidator_ = std::move(validator); }

  bool notify(QObject* receiver, QEvent* event) override;

 private:
  std::function<void()> shortcutValidator_;
};
