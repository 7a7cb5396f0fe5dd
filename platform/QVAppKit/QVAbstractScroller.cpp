#include "QVAppKit/QVAbstractScroller.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

QVAbstractScroller::QVAbstractScroller(QWidget* parent) : QScrollBar(Qt::Vertical, parent) {
  setAttribute(Qt::WA_OpaquePaintEvent, false);
  setAttribute(Qt::WA_Hover, true);
  setAutoFillBackground(false);
  updateWidth();
}

void QVAbstractScroller::setCornerRadius(double radius) {
  cornerRadius_ = radius;
  update();
}

void QVAbstractScroller::setKnobColor(const QColor& color) {
  knobColor_ = color;
  update();
}

void QVAbstractScroller::setScrollerWidth(double width) {
  scrollerWidth_ = width;
  updateWidth();
}

void QVAbstractScroller::setKnobSlotWidth(double width) {
  knobSlotWidth_ = width;
  update();
}

void QVAbstractScroller::updateWidth() {
  setFixedWidth(int(std::ceil(scrollerWidth_)) + 2 * kMargin);
  update();
}

QSize QVAbstractScroller::sizeHint() const { return QSize(int(std::ceil(scrollerWidth_)) + 2 * kMargin, 100); }

QRectF QVAbstractScroller::knobRect() const {
  const double length = height() - 2.0 * kMargin;
  const double range = double(maximum() - minimum());
  if (range <= 0 || length <= 0) return {};
  const double total = range + pageStep();
  const double knobLength = std::max(24.0, length * pageStep() / total);
  const double position = kMargin + (length - knobLength) * (value() - minimum()) / range;
  const double x = (width() - knobSlotWidth_) / 2.0;
  return QRectF(x, position, knobSlotWidth_, knobLength);
}

void QVAbstractScroller::paintEvent(QPaintEvent*) {
  const QRectF knob = knobRect();
  if (knob.isEmpty()) return;
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  QColor color = knobColor_;
  if (hovered_ || isSliderDown()) color = color.lighter(150);
  const double radius = std::min(cornerRadius_, knob.width() / 2.0);
  painter.setPen(Qt::NoPen);
  painter.setBrush(color);
  painter.drawRoundedRect(knob, radius, radius);
}

void QVAbstractScroller::enterEvent(QEnterEvent* event) {
  hovered_ = true;
  update();
  QScrollBar::enterEvent(event);
}

void QVAbstractScroller::leaveEvent(QEvent* event) {
  hovered_ = false;
  update();
  QScrollBar::leaveEvent(event);
}
