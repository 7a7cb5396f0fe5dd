#pragma once
// The window a dialog or an alert asked now comes over. A dialog is transient for (and modal to)
// the window it is given, and a window manager keeps it above that window only: a window of ours
// that stays on top (the gallery's quick preview) covers a dialog given any other window, so the
// user would face a dimmed window and no dialog. The dialog therefore comes over, in this order:
// the modal dialog already up (a question asked from a dialog), a window of ours that stays on top,
// the active window, else `fallback`.
//
// Main thread only.
class QWidget;

QWidget* QVWindowForDialog(QWidget* fallback);
