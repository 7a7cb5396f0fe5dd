#include "QVAppKit/QVDisabledButton.h"

#include <algorithm>

#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

#include "QVAppKit/QVBasicView.h"

namespace {
constexpr double kBox = 14;
constexpr double kGap = 8;
}  // namespace

QVDisabledButton::QVDisabledButton(QWidget* parent) : QAbstractButton(parent) {
  setCheckable(true);
  setFocusPolicy(Qt::NoFocus);
  setCursor(Qt::PointingHandCursor);
  QObject::connect(this, &QAbstractButton::clicked, this, [this] {
    QVSetNeedsDisplay(this);
    if (action_) action_(this);
  });
}

void QVDisabledButton::setState(bool on) {
  if (on == isChecked()) return;
  const QSignalBlocker blocker(this);
  setChecked(on);
  QVSetNeedsDisplay(this);
}

void QVDisabledButton::setTitle(const std::string& title) {
  setText(QString::fromStdString(title));
  updateGeometry();
  QVSetNeedsDisplay(this);
}

void QVDisabledButton::setTitleColor(const QColor& color) {
  titleColor_ = color;
  QVSetNeedsDisplay(this);
}

void QVDisabledButton::setBoxColor(const QColor& color) {
  boxColor_ = color;
  QVSetNeedsDisplay(this);
}

void QVDisabledButton::setCheckedColor(const QColor& color) {
  checkedColor_ = color;
  QVSetNeedsDisplay(this);
}

void QVDisabledButton::performClick() {
  if (!interactionEnabled_ || !isEnabled()) return;
  click();
}

QSize QVDisabledButton::sizeHint() const {
  const QFontMetricsF metrics(font());
  return QSize(int(std::ceil(kBox + kGap + metrics.horizontalAdvance(text()) + 2)),
               int(std::ceil(std::max(kBox, metrics.height()))));
}

void QVDisabledButton::mousePressEvent(QMouseEvent* event) {
  if (!interactionEnabled_) return event->ignore();
  QAbstractButton::mousePressEvent(event);
}

void QVDisabledButton::mouseReleaseEvent(QMouseEvent* event) {
  if (!interactionEnabled_) return event->ignore();
  QAbstractButton::mouseReleaseEvent(event);
}

void QVDisabledButton::keyPressEvent(QKeyEvent* event) {
  if (!interactionEnabled_) return event->ignore();
  QAbstractButton::keyPressEvent(event);
}

void QVDisabledButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QRectF box(0.5, (height() - kBox) / 2, kBox, kBox);
  QPainterPath shape;
  shape.addRoundedRect(box, 4, 4);
  const bool on = isChecked();
  painter.fillPath(shape, on ? checkedColor_ : boxColor_);
  if (!on) {
    painter.setPen(QPen(QColor(255, 255, 255, 40), 1));
    painter.drawPath(shape);
  }
  if (isDown()) painter.fillPath(shape, QColor(0, 0, 0, 50));
  if (on) {
    QPainterPath tick;
    tick.moveTo(box.left() + 3.6, box.center().y() + 0.2);
    tick.lineTo(box.left() + 6.0, box.center().y() + 2.6);
    tick.lineTo(box.right() - 3.4, box.center().y() - 2.6);
    painter.setPen(QPen(Qt::white, 1.7, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(tick);
  }
  painter.setPen(titleColor_);
  const QRectF textRect(box.right() + kGap, 0, width() - box.right() - kGap, height());
  // A title a little too long for its place is set a little smaller before it loses its end: up to
  // a tenth under its size, then elided.
  QFont font = this->font();
  const double advance = QFontMetricsF(font).horizontalAdvance(text());
  if (advance > textRect.width() && advance > 0) {
    const double scale = std::max(0.9, textRect.width() / advance);
    if (font.pointSizeF() > 0)
      font.setPointSizeF(font.pointSizeF() * scale);
    else if (font.pixelSize() > 0)
      font.setPixelSize(std::max(1, int(std::floor(font.pixelSize() * scale))));
  }
  painter.setFont(font);
  painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter,
                   QFontMetricsF(font).elidedText(text(), Qt::ElideRight, textRect.width()));
}
