#include "Ombrel/Classes/Application/ExportOptions/QVBatchQualitySlider.h"

#include <QFontMetricsF>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QSvgRenderer>
#include <algorithm>
#include <cmath>

#include "QVAppKit/QVBasicView.h"

void QVDrawStretchedBar(QPainter& painter, const QVChromeImage& image, const QRectF& rect) {
  if (!image || rect.width() <= 0 || rect.height() <= 0) return;
  const QSizeF natural = image->defaultSize();
  if (natural.isEmpty()) return;
  const double dpr = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
  // The picture at the bar's height, keeping its aspect: the ends are sliced from it.
  const double scaledWidth = natural.width() * rect.height() / natural.height();
  QImage picture(QSize(int(std::ceil(scaledWidth * dpr)), int(std::ceil(rect.height() * dpr))),
                 QImage::Format_ARGB32_Premultiplied);
  picture.fill(Qt::transparent);
  {
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    image->render(&p, QRectF(0, 0, picture.width(), picture.height()));
  }
  picture.setDevicePixelRatio(dpr);
  const double cap = std::min(rect.height(), rect.width() / 2);
  const double capPixels = cap * dpr;
  const QRectF left(rect.left(), rect.top(), cap, rect.height());
  const QRectF right(rect.right() - cap, rect.top(), cap, rect.height());
  painter.drawImage(left, picture, QRectF(0, 0, capPixels, picture.height()));
  painter.drawImage(right, picture, QRectF(picture.width() - capPixels, 0, capPixels, picture.height()));
  if (rect.width() > 2 * cap) {
    const double mid = picture.width() / 2.0;
    painter.drawImage(QRectF(left.right(), rect.top(), rect.width() - 2 * cap, rect.height()), picture,
                      QRectF(mid - 0.5, 0, 1, picture.height()));
  }
}

QVBatchQualitySlider::QVBatchQualitySlider(QWidget* parent) : QWidget(parent) {
  setFocusPolicy(Qt::NoFocus);
  setImages("slider_knob_small", "bg_bar_grey_small", "fill_bar_orange_small");
}

void QVBatchQualitySlider::setTitle(const std::string& title) {
  title_ = title;
  QVSetNeedsDisplay(this);
}

void QVBatchQualitySlider::setMinValue(double value) {
  min_ = value;
  setValue(value_);
}

void QVBatchQualitySlider::setMaxValue(double value) {
  max_ = value;
  setValue(value_);
}

void QVBatchQualitySlider::setValue(double value) {
  if (!std::isfinite(value)) value = min_;
  value_ = std::clamp(std::round(value), min_, std::max(min_, max_));
  QVSetNeedsDisplay(this);
}

void QVBatchQualitySlider::setTextColor(const QColor& color) {
  textColor_ = color;
  QVSetNeedsDisplay(this);
}

void QVBatchQualitySlider::setValueLabelWidth(double width) {
  valueLabelWidth_ = width;
  QVSetNeedsDisplay(this);
}

void QVBatchQualitySlider::setImages(const std::string& knob, const std::string& back, const std::string& fill) {
  knob_ = QVChromeImageNamed(knob, "Controls");
  back_ = QVChromeImageNamed(back, "Controls");
  fill_ = QVChromeImageNamed(fill, "Controls");
  QVSetNeedsDisplay(this);
}

double QVBatchQualitySlider::titleWidth() const {
  if (title_.empty()) return 0;
  return std::ceil(QFontMetricsF(font()).horizontalAdvance(QString::fromStdString(title_))) + 12;
}

QRectF QVBatchQualitySlider::barRect() const {
  const double knob = 14;
  const double left = titleWidth() + knob / 2;
  const double right = width() - valueLabelWidth_ - knob / 2;
  return QRectF(left, height() / 2.0 - 2, std::max(0.0, right - left), 4);
}

double QVBatchQualitySlider::valueAtX(double x) const {
  const QRectF bar = barRect();
  if (bar.width() <= 0) return value_;
  const double t = std::clamp((x - bar.left()) / bar.width(), 0.0, 1.0);
  return std::round(min_ + t * (max_ - min_));
}

void QVBatchQualitySlider::dragToX(double x) {
  const double next = valueAtX(x);
  if (next == value_) return;
  value_ = next;
  QVSetNeedsDisplay(this);
  if (changeBlock_) changeBlock_(value_);
}

void QVBatchQualitySlider::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return event->ignore();
  dragging_ = true;
  dragToX(event->position().x());
}

void QVBatchQualitySlider::mouseMoveEvent(QMouseEvent* event) {
  if (dragging_) dragToX(event->position().x());
}

void QVBatchQualitySlider::mouseReleaseEvent(QMouseEvent*) { dragging_ = false; }

void QVBatchQualitySlider::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.setFont(font());
  painter.setPen(textColor_);
  if (!title_.empty())
    painter.drawText(QRectF(0, 0, titleWidth(), height()), Qt::AlignLeft | Qt::AlignVCenter,
                     QString::fromStdString(title_));
  painter.drawText(QRectF(width() - valueLabelWidth_, 0, valueLabelWidth_, height()), Qt::AlignRight | Qt::AlignVCenter,
                   QString::number(int(value_)));
  const QRectF bar = barRect();
  const double t = max_ > min_ ? (value_ - min_) / (max_ - min_) : 0;
  const double knobX = bar.left() + t * bar.width();
  QVDrawStretchedBar(painter, back_, bar.adjusted(-2, 0, 2, 0));
  if (t > 0)
    QVDrawStretchedBar(painter, fill_, QRectF(bar.left() - 2, bar.top(), knobX - bar.left() + 2, bar.height()));
  const double knob = 14;
  const QRectF knobRect(knobX - knob / 2, height() / 2.0 - knob / 2, knob, knob);
  if (knob_) knob_->render(&painter, knobRect);
}
