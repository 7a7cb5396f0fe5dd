#include "QVAppKit/QVWindowMoving.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QWidget>
#include <QWindow>
#include <cmath>
#include <cstdlib>

#if defined(SOLVANE_HAS_XCB)
#include <xcb/xcb.h>

#include <QtGui/qguiapplication_platform.h>
#endif

namespace {

// The left button as the X server has it now. Qt's record of the buttons follows the events it was
// handed, and a window manager that grabs the press to focus the window and replays it may hand over
// a tap's press and release in an order that leaves the record "held": the window would then follow
// a pointer whose button is up. Elsewhere the record is all there is.
bool leftButtonHeld(Qt::MouseButtons recorded) {
  if (!(recorded & Qt::LeftButton)) return false;
#if defined(SOLVANE_HAS_XCB)
  auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
  if (!connection) return true;
  const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
  if (!screen) return true;
  xcb_query_pointer_reply_t* pointer =
      xcb_query_pointer_reply(connection, xcb_query_pointer(connection, screen->root), nullptr);
  if (!pointer) return true;
  const bool held = pointer->mask & XCB_BUTTON_MASK_1;
  std::free(pointer);
  return held;
#else
  return true;
#endif
}

// Follows the mouse events of the whole application (the pointer may leave the view and its
// window while the button is held) from the press until the release; installed only meanwhile.
class MoveTracker : public QObject {
 public:
  static MoveTracker& shared() {
    static auto* tracker = new MoveTracker();
    return *tracker;
  }

  void arm(QWidget* window, QPointF pressGlobal, Qt::Edges edges) {
    end();
    window_ = window;
    edges_ = edges;
    pressGlobal_ = pressGlobal;
    startPosition_ = window->pos();
    moving_ = false;
    if (qApp) qApp->installEventFilter(this);
  }
  bool armed() const { return window_ && !moving_; }
  bool moving() const { return window_ && moving_; }
  void end() {
    if (qApp) qApp->removeEventFilter(this);
    window_ = nullptr;
    moving_ = false;
  }

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (!window_) {
      end();
      return false;
    }
    switch (event->type()) {
      case QEvent::MouseMove:
        follow(*static_cast<QMouseEvent*>(event));
        return false;
      case QEvent::MouseButtonRelease:
        if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) end();
        return false;
      case QEvent::ShortcutOverride:
      case QEvent::KeyPress: {
        auto* key = static_cast<QKeyEvent*>(event);
        if (!moving_ || key->key() != Qt::Key_Escape) return false;
        // The key is this move's: no shortcut of the window takes it.
        if (event->type() == QEvent::ShortcutOverride) {
          event->accept();
          return true;
        }
        window_->move(startPosition_);
        end();
        return true;
      }
      case QEvent::ApplicationDeactivate:
        end();
        return false;
      default:
        return false;
    }
  }

 private:
  void follow(const QMouseEvent& event) {
    // The button is no longer held: its release went elsewhere or came first. Never a move.
    if (!(event.buttons() & Qt::LeftButton)) {
      end();
      return;
    }
    const QPointF travel = event.globalPosition() - pressGlobal_;
    if (!moving_ && std::hypot(travel.x(), travel.y()) < QVWindowMoving::kThreshold) return;
    // Before each step: the window system's own word that the button is down.
    if (!leftButtonHeld(event.buttons())) {
      end();
      return;
    }
    if (!moving_) {
      moving_ = true;
      if (edges_) {
        if (QWindow* handle = window_->windowHandle()) handle->startSystemResize(edges_);
        end();
        return;
      }
      if (QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
        if (QWindow* handle = window_->windowHandle()) handle->startSystemMove();
        end();
        return;
      }
    }
    const QPoint to = startPosition_ + QPoint(int(std::lround(travel.x())), int(std::lround(travel.y())));
    if (window_->pos() != to) window_->move(to);
  }

  QPointer<QWidget> window_;
  Qt::Edges edges_;
  QPointF pressGlobal_;
  QPoint startPosition_;
  bool moving_ = false;
};

}  // namespace

namespace QVWindowMoving {

void armResizeWithPress(QWidget* view, const QMouseEvent& press, Qt::Edges edges) {
  if (!view || press.button() != Qt::LeftButton) return;
  QWidget* window = view->window();
  if (!window || !window->isWindow()) return;
  MoveTracker::shared().arm(window, press.globalPosition(), edges);
}

void armWithPress(QWidget* view, const QMouseEvent& press) { armResizeWithPress(view, press, {}); }

bool isArmed() { return MoveTracker::shared().armed(); }
bool isMoving() { return MoveTracker::shared().moving(); }
void cancel() { MoveTracker::shared().end(); }

}  // namespace QVWindowMoving
