#include "QVAppKit/QVSegmentedControl.h"

#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

#include "QVAppKit/QVBasicView.h"

QVSegmentedControl::QVSegmentedControl(QWidget* parent) : QWidget(parent) {
  setFocusPolicy(Qt::NoFocus);
  setCursor(Qt::PointingHandCursor);
}

void QVSegmentedControl::setTitles(const std::vector<std::string>& titles) {
  titles_ = titles;
  if (selected_ >= segmentCount()) selected_ = -1;
  updateGeometry();
  QVSetNeedsDisplay(this);
}

void QVSegmentedControl::setSelectedSegment(int index) {
  selected_ = index >= 0 && index < segmentCount() ? index : -1;
  QVSetNeedsDisplay(this);
}

void QVSegmentedControl::clickSegment(int index) {
  if (index < 0 || index >= segmentCount() || !isEnabled()) return;
  setSelectedSegment(index);
  if (action_) action_(this);
}

QRectF QVSegmentedControl::rectForSegment(int index) const {
  if (index < 0 || index >= segmentCount()) return {};
  const double w = double(width()) / segmentCount();
  return QRectF(index * w, 0, w, height());
}

int QVSegmentedControl::segmentAtPoint(QPointF point) const {
  if (!rect().contains(point.toPoint()) || titles_.empty()) return -1;
  return std::min(segmentCount() - 1, int(point.x() / (double(width()) / segmentCount())));
}

void QVSegmentedControl::setTextColor(const QColor& color) {
  textColor_ = color;
  QVSetNeedsDisplay(this);
}
void QVSegmentedControl::setSelectedTextColor(const QColor& color) {
  selectedTextColor_ = color;
  QVSetNeedsDisplay(this);
}
void QVSegmentedControl::setBackgroundColor(const QColor& color) {
  backgroundColor_ = color;
  QVSetNeedsDisplay(this);
}
void QVSegmentedControl::setHighlightedColor(const QColor& color) {
  highlightedColor_ = color;
  QVSetNeedsDisplay(this);
}
void QVSegmentedControl::setLineColor(const QColor& color) {
  lineColor_ = color;
  QVSetNeedsDisplay(this);
}

QSize QVSegmentedControl::sizeHint() const {
  const QFontMetricsF metrics(font());
  double widest = 0;
  for (const auto& title : titles_) widest = std::max(widest, metrics.horizontalAdvance(QString::fromStdString(title)));
  return QSize(int(std::ceil((widest + 24) * std::max(1, segmentCount()))), 28);
}

void QVSegmentedControl::mousePressEvent(QMouseEvent* event) {
  pressed_ = segmentAtPoint(event->position());
  QVSetNeedsDisplay(this);
}

void QVSegmentedControl::mouseReleaseEvent(QMouseEvent* event) {
  const int released = segmentAtPoint(event->position());
  const int pressed = pressed_;
  pressed_ = -1;
  QVSetNeedsDisplay(this);
  if (released >= 0 && released == pressed) clickSegment(released);
}

void QVSegmentedControl::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QRectF bounds = rect();
  const double radius = bounds.height() / 2;
  QPainterPath shape;
  shape.addRoundedRect(bounds, radius, radius);
  painter.fillPath(shape, backgroundColor_);
  painter.setClipPath(shape);
  for (int i = 0; i < segmentCount(); ++i) {
    const QRectF segment = rectForSegment(i);
    if (i == selected_) {
      QPainterPath pill;
      pill.addRoundedRect(segment.adjusted(2, 2, -2, -2), radius - 2, radius - 2);
      painter.fillPath(pill, highlightedColor_);
    } else if (i == pressed_) {
      painter.fillRect(segment, QColor(0, 0, 0, 40));
    }
    // The line at the right of every segment but the last, left out beside the selected one.
    if (i + 1 < segmentCount() && i != selected_ && i + 1 != selected_) {
      painter.setPen(QPen(lineColor_, 1));
      const double x = std::round(segment.right()) + 0.5;
      painter.drawLine(QPointF(x, 7), QPointF(x, bounds.height() - 7));
    }
    painter.setPen(i == selected_ ? selectedTextColor_ : textColor_);
    painter.setFont(font());
    painter.drawText(segment, Qt::AlignCenter, QString::fromStdString(titles_[size_t(i)]));
  }
}
