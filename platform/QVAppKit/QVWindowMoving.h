#pragma once
// Moving a top-level window by dragging a view that allows it (the top bar, a background view, a
// title-bar button, the main window's background, the About window). A left press only arms the
// move; the window follows once the pointer has travelled `kThreshold` points with the left button
// still held, and stops with the release. The events decide, in whatever order they come: a release,
// or a move without the left button, before the threshold disarms, so a tap (press and release
// delivered together, as a touchpad or `xdotool click` sends them) never moves the window, however
// the pointer moves after it. Escape during a move puts the window back where it was.
//
// Where the program may place its windows (X11, the offscreen platform) it moves the window itself
// while it holds the pointer (the press's implicit grab), so the release always reaches it. A move
// handed to an X11 window manager (`QWindow::startSystemMove`, _NET_WM_MOVERESIZE) races the release:
// a release that comes before the manager's grab leaves the manager waiting for one, the window
// glued to the pointer until the next click; and a bare X server has no manager to hand it to.
// On Wayland, where a program cannot place its windows, the compositor's move is started at the
// threshold. A resize by a frameless window's edge is armed the same way and handed to the window
// system (`startSystemResize`) only once the pointer travels with the button held.
//
// Main thread only.
#include <Qt>

class QMouseEvent;
class QWidget;

namespace QVWindowMoving {
// Points the pointer must travel with the left button held before the window moves.
inline constexpr double kThreshold = 3;
// A press on `view` that may move its window: arms the move (a left press only; others do nothing).
void armWithPress(QWidget* view, const QMouseEvent& press);
// A press on the edges of `view`'s window that may resize it: armed as a move, then the window system's
// resize by those edges.
void armResizeWithPress(QWidget* view, const QMouseEvent& press, Qt::Edges edges);
// A move is armed: pressed, the pointer not yet past the threshold.
bool isArmed();
// The window follows the pointer.
bool isMoving();
// Drops an armed or running move, the window left where it is.
void cancel();
}  // namespace QVWindowMoving
