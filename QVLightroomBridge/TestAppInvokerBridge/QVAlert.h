#pragma once
#include <sys/types.h>
// The launcher's own modal message window, shown when the application cannot be found: the icon
// of the program that started the launcher (the host), a bold title, a smaller message that wraps
// inside the fixed width, and "OK". The launcher's only use of Qt; a QApplication must exist.
//
// Main thread only.
#include <QPixmap>
#include <QRect>
#include <QSize>
#include <memory>
#include <optional>
#include <string>

class QDialog;

// Every size and distance of the window, in logical pixels (y down from the content's top).
struct QVAlertMetrics {
  QSize contentSize;    // the window's content; it never grows with the texts
  int margin;           // from the content's edges to the icon, the title and the button
  int iconTextGap;      // from the icon's right edge to the texts
  int titleMessageGap;  // from the title's bottom to the message's top
  QSize emptyIconSize;  // the icon's place when the host has no icon
  int buttonWidth;
  int buttonHeight;
  int buttonMessageGap;  // least room between the message and the button
  double titleFontSize;
  double messageFontSize;
  double buttonFontSize;

  static QVAlertMetrics standard();
};

// Where each part goes, for an icon of `iconSize` and texts of the given heights.
struct QVAlertFrames {
  QRect icon, title, message, button;
  // The message's height is capped where it would run into the button.
  static QVAlertFrames layout(const QVAlertMetrics& metrics, QSize iconSize, int titleHeight, int messageHeight);
  // The width the texts wrap in, for an icon of `iconWidth`.
  static int textWidth(const QVAlertMetrics& metrics, int iconWidth);
};

class QVAlert {
 public:
  // nullopt shows "?".
  std::optional<std::string> title() const { return title_; }
  void setTitle(std::optional<std::string> title) { title_ = std::move(title); }
  std::optional<std::string> message() const { return message_; }
  void setMessage(std::optional<std::string> message) { message_ = std::move(message); }

  // Builds the window and runs it modally; returns when the user presses "OK" (or closes it).
  void run();
  // Ends the modal run of the window `run` shows ("OK" does this); nothing when none is running.
  void onOKAction();
  // The window `run` shows, built but not shown (children "icon", "title", "message", "ok").
  std::unique_ptr<QDialog> makeWindow();

  // The executable of the host process (read from /proc), nullopt when it cannot be read. The
  // path found is written to standard error.
  static std::optional<std::string> appPath();
  // The host process: the parent's unless set (the launcher shows its alert from a child process
  // of its own, which names the launcher's parent here).
  static void setHostProcessId(pid_t pid);
  // The icon of the desktop entry that runs `executablePath`, at `side` logical pixels; a null
  // pixmap when there is none. An "Icon" path, or a name looked up in the hicolor theme and the
  // pixmaps folder of each data folder; every file is read only when it is a regular file of at
  // most 16 MB (a FIFO or a huge file at an icon's place gives no icon, never a hang).
  static QPixmap iconForExecutable(const std::string& executablePath, int side, double devicePixelRatio);

 private:
  std::optional<std::string> title_;
  std::optional<std::string> message_;
  QDialog* running_ = nullptr;  // the window of a modal run in progress
};
