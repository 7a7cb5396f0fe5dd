#include "QVAppKit/QVDialogParent.h"

#include <QApplication>
#include <QWidget>
#include <QWindow>

namespace {

// A window a dialog can stand on: shown, and not a menu, a tool tip or a splash.
bool canCarryDialog(const QWidget* window) {
  if (!window || !window->isWindow() || !window->isVisible()) return false;
  const Qt::WindowType type = window->windowType();
  return type != Qt::Popup && type != Qt::ToolTip && type != Qt::SplashScreen;
}

// Whether the window floats above the others now (its platform window knows when that changed).
bool staysOnTop(const QWidget* window) {
  if (const QWindow* handle = window->windowHandle()) return handle->flags().testFlag(Qt::WindowStaysOnTopHint);
  return window->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
}

}  // namespace

QWidget* QVWindowForDialog(QWidget* fallback) {
  if (QWidget* modal = QApplication::activeModalWidget(); canCarryDialog(modal)) return modal;
  for (QWidget* window : QApplication::topLevelWidgets()) {
    if (canCarryDialog(window) && staysOnTop(window)) return window;
  }
  if (QWidget* active = QApplication::activeWindow(); canCarryDialog(active)) return active;
  return fallback;
}
