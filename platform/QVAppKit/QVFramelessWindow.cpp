#include "QVAppKit/QVFramelessWindow.h"

#include "QVAppKit/QVWindowMoving.h"
#include "QVAppKit/QVWindowResizing.h"

#include <QMouseEvent>
#include <QWidget>

Qt::Edges QVFramelessResizeEdges(QSize size, QPoint p, int margin) {
  Qt::Edges edges;
  if (p.x() < 0 || p.y() < 0 || p.x() >= size.width() || p.y() >= size.height()) return edges;
  if (p.x() < margin) edges |= Qt::LeftEdge;
  if (p.x() >= size.width() - margin) edges |= Qt::RightEdge;
  if (p.y() < margin) edges |= Qt::TopEdge;
  if (p.y() >= size.height() - margin) edges |= Qt::BottomEdge;
  return edges;
}

QVFramelessWindow* QVFramelessWindow::install(QWidget* window) {
  window->setWindowFlag(Qt::FramelessWindowHint, true);
  window->setMouseTracking(true);
  auto* support = new QVFramelessWindow(window);
  window->installEventFilter(support);
  return support;
}

QVFramelessWindow::QVFramelessWindow(QWidget* window) : QObject(window), window_(window) {}

bool QVFramelessWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched != window_) return false;
  if (event->type() == QEvent::MouseMove || event->type() == QEvent::MouseButtonPress) {
    auto* mouse = static_cast<QMouseEvent*>(event);
    const Qt::Edges edges = QVWindowResizing::isResizable(window_)
                                ? QVFramelessResizeEdges(window_->size(), mouse->position().toPoint(), kResizeMargin)
                                : Qt::Edges();
    if (event->type() == QEvent::MouseMove && mouse->buttons() == Qt::NoButton) {
      const bool diagonal = (edges & (Qt::LeftEdge | Qt::RightEdge)) && (edges & (Qt::TopEdge | Qt::BottomEdge));
      const bool mainDiagonal = edges == (Qt::LeftEdge | Qt::TopEdge) || edges == (Qt::RightEdge | Qt::BottomEdge);
      if (!edges) {
        window_->unsetCursor();
      } else if (diagonal) {
        window_->setCursor(mainDiagonal ? Qt::SizeFDiagCursor : Qt::SizeBDiagCursor);
      } else {
        window_->setCursor(edges & (Qt::LeftEdge | Qt::RightEdge) ? Qt::SizeHorCursor : Qt::SizeVerCursor);
      }
    }
    if (event->type() == QEvent::MouseButtonPress && mouse->button() == Qt::LeftButton && edges) {
      QVWindowMoving::armResizeWithPress(window_, *mouse, edges);
      return true;
    }
  }
  return false;
}
