#pragma once
// Moving and resizing a frameless top-level window: a press within a few points of an edge or corner,
// once dragged, starts `QWindow::startSystemResize` with those edges (QVWindowMoving), and the
// pointer shows the matching resize cursor. Moving is started by the views that allow it (top
// bar, background views, title-bar buttons) through `QVWindowMoving`.
//
// Main thread only.
#include <QObject>
#include <QPoint>
#include <QSize>

class QWidget;

// The edges a point of a window of the given size is near (none in the inside).
Qt::Edges QVFramelessResizeEdges(QSize windowSize, QPoint point, int margin);

class QVFramelessWindow : public QObject {
 public:
  static constexpr int kResizeMargin = 6;
  // Makes the widget a frameless top-level window and handles its edge resizing (owned by it).
  static QVFramelessWindow* install(QWidget* window);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  explicit QVFramelessWindow(QWidget* window);
  QWidget* window_;
};
