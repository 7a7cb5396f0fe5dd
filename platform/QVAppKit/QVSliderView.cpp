#include "QVAppKit/QVSliderView.h"

#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "QVAppKit/QVArtwork.h"
#include "QVAppKit/QVFonts.h"

namespace {
// Room between an end label and the bar.
constexpr double kLabelGap = 12;

CGSize textSize(const std::string& text, const QFont& font) {
  if (text.empty()) return CGSizeZero;
  QFontMetricsF m(font);
  return CGSizeMake(std::ceil(m.horizontalAdvance(QString::fromStdString(text))), std::ceil(m.height()));
}
}  // namespace

void QVSliderView::initialize() {
  QVView::initialize();
  titleFont_ = valueFont_ = QVFonts::systemFontOfSize(13, QFont::DemiBold);
  setMouseTracking(false);
}

void QVSliderView::setMinimumValue(double value) {
  minimum_ = value;
  setValue(value_);
}

void QVSliderView::setMaximumValue(double value) {
  maximum_ = value;
  setValue(value_);
}

void QVSliderView::setValue(double value) { moveTo(value, false); }

void QVSliderView::load() {
  value_ = std::clamp(default_, std::min(minimum_, maximum_), std::max(minimum_, maximum_));
  invalidatePictures();
  updateLabelsLayout();
}

void QVSliderView::setUseFullWidth(bool use) {
  fullWidth_ = use;
  updateLabelsLayout();
}

void QVSliderView::setKnobImage(const std::string& name, std::optional<QColor> tint) {
  knobName_ = name;
  knobTint_ = std::move(tint);
  invalidatePictures();
}

void QVSliderView::setBarBackThreePartImageName(const std::string& name) {
  backName_ = name;
  invalidatePictures();
}

void QVSliderView::setBarFillValueThreePartImageName(const std::string& name) {
  fillName_ = name;
  invalidatePictures();
}

void QVSliderView::setKnobSize(double size) {
  knobSize_ = size;
  invalidatePictures();
  updateLabelsLayout();
}

void QVSliderView::setBarHeight(double height) {
  barHeight_ = height;
  invalidatePictures();
  updateLabelsLayout();
}

void QVSliderView::setTitleString(const std::string& text) {
  title_ = text;
  setNeedsDisplay();
}
void QVSliderView::setRightTitleString(const std::string& text) {
  rightTitle_ = text;
  setNeedsDisplay();
}
void QVSliderView::setTitleFont(const QFont& font) { titleFont_ = font; }
void QVSliderView::setValueFont(const QFont& font) { valueFont_ = font; }
void QVSliderView::setTitleTextColor(const QColor& color) {
  titleColor_ = color;
  setNeedsDisplay();
}
void QVSliderView::setValueTextColor(const QColor& color) {
  valueColor_ = color;
  setNeedsDisplay();
}
void QVSliderView::setLabelsOffsetY(double offset) { labelsOffsetY_ = offset; }

void QVSliderView::setInnerHeight(double height) {
  if (innerHeight_ == height) return;
  innerHeight_ = height;
  updateLabelsLayout();
}

void QVSliderView::layout() {
  QVView::layout();
  updateLabelsLayout();
}

void QVSliderView::updateLabelsLayout() {
  const CGRect b = bounds();
  const double h = innerHeight_ > 0 ? std::min(innerHeight_, b.size.height) : b.size.height;
  const double cy = b.size.height - h / 2;  // the inner area hangs from the top
  const CGSize ts = textSize(title_, titleFont_), rs = textSize(rightTitle_, valueFont_);
  const double barH = barHeight_;
  if (fullWidth_) {
    bar_ = CGRectMake(0, cy - barH / 2, b.size.width, barH);
    titleRect_ = CGRectMake(0, cy + knobSize_ / 2 + labelsOffsetY_, ts.width, ts.height);
    rightTitleRect_ = CGRectMake(b.size.width - rs.width, cy + knobSize_ / 2 + labelsOffsetY_, rs.width, rs.height);
  } else {
    titleRect_ = CGRectMake(0, cy - ts.height / 2 + labelsOffsetY_, ts.width, ts.height);
    rightTitleRect_ = CGRectMake(b.size.width - rs.width, cy - rs.height / 2 + labelsOffsetY_, rs.width, rs.height);
    const double left = ts.width > 0 ? ts.width + kLabelGap : 0;
    const double right = rs.width > 0 ? rs.width + kLabelGap : 0;
    bar_ = CGRectMake(left, cy - barH / 2, std::max(0.0, b.size.width - left - right), barH);
  }
  update();
}

double QVSliderView::locationForValue(double value) const {
  const double span = maximum_ - minimum_;
  double t = span != 0 ? (value - minimum_) / span : 0;
  if (layoutDirection() == Qt::RightToLeft) t = 1 - t;
  const double travel = std::max(0.0, bar_.size.width - knobSize_);
  return bar_.origin.x + knobSize_ / 2 + t * travel;
}

double QVSliderView::valueForLocation(double x) const {
  const double travel = bar_.size.width - knobSize_;
  if (travel <= 0) return minimum_;
  double t = std::clamp((x - bar_.origin.x - knobSize_ / 2) / travel, 0.0, 1.0);
  if (layoutDirection() == Qt::RightToLeft) t = 1 - t;
  return minimum_ + t * (maximum_ - minimum_);
}

CGRect QVSliderView::knobRect() const {
  const double cx = locationForValue(value_);
  const double cy = bar_.origin.y + bar_.size.height / 2;
  return CGRectMake(cx - knobSize_ / 2, cy - knobSize_ / 2, knobSize_, knobSize_);
}

QRect QVSliderView::dirtyRectForValue(double value) const {
  const double cx = locationForValue(value);
  // The knob and the end of the fill, with a little room for antialiasing.
  return qtRectFromRect(CGRectMake(cx - knobSize_ / 2 - 2, 0, knobSize_ + 4, bounds().size.height)).toAlignedRect();
}

void QVSliderView::moveTo(double value, bool tell) {
  const double lo = std::min(minimum_, maximum_), hi = std::max(minimum_, maximum_);
  value = std::clamp(value, lo, hi);
  if (value == value_) return;
  const QRect before = dirtyRectForValue(value_);
  value_ = value;
  update(before.united(dirtyRectForValue(value_)));
  if (tell && live_ && didChange_) didChange_(value_);
}

void QVSliderView::invalidatePictures() {
  back_ = fill_ = knob_ = QPixmap();
  picturesFor_ = QSize();
  update();
}

void QVSliderView::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !userInteractionEnabled()) {
    event->ignore();
    return;
  }
  const CGPoint p = pointFromQtPoint(event->position());
  if (labelsTakeClicks_ && (CGRectContainsPoint(titleRect_, p) || CGRectContainsPoint(rightTitleRect_, p))) {
    moveTo(CGRectContainsPoint(titleRect_, p) ? minimum_ : maximum_, true);
    if (!live_ && didChange_) didChange_(value_);
    if (didEnd_) didEnd_();
    event->accept();
    return;
  }
  // The bar takes presses over its whole height band (the knob is taller than the bar).
  const CGRect band = CGRectInset(
      CGRectMake(bar_.origin.x, bar_.origin.y + bar_.size.height / 2 - knobSize_ / 2, bar_.size.width, knobSize_), 0,
      -6);
  if (!CGRectContainsPoint(band, p)) {
    event->ignore();
    return;
  }
  tracking_ = true;
  const CGRect knob = knobRect();
  if (CGRectContainsPoint(CGRectInset(knob, -2, -2), p)) {
    grabOffset_ = p.x - (knob.origin.x + knob.size.width / 2);
  } else {
    grabOffset_ = 0;
    moveTo(valueForLocation(p.x), true);
  }
  event->accept();
}

void QVSliderView::mouseMoveEvent(QMouseEvent* event) {
  if (!tracking_) return;
  moveTo(valueForLocation(pointFromQtPoint(event->position()).x - grabOffset_), true);
}

void QVSliderView::mouseReleaseEvent(QMouseEvent* event) {
  if (!tracking_ || event->button() != Qt::LeftButton) return;
  tracking_ = false;
  if (!live_ && didChange_) didChange_(value_);
  if (didEnd_) didEnd_();
}

void QVSliderView::drawContent(QPainter& painter) {
  const double dpr = painter.device()->devicePixelRatioF();
  const QSize sizeKey(int(std::lround(bar_.size.width * dpr)), int(std::lround(knobSize_ * dpr)));
  if (picturesFor_ != sizeKey || picturesRatio_ != dpr) {
    const CGSize barSize = CGSizeMake(bar_.size.width, barHeight_);
    back_ = QVArtwork::threePartPixmap(backName_, barSize, dpr);
    fill_ = QVArtwork::threePartPixmap(fillName_, barSize, dpr);
    knob_ = QVArtwork::pixmap(knobName_, CGSizeMake(knobSize_, knobSize_), dpr, knobTint_);
    picturesFor_ = sizeKey;
    picturesRatio_ = dpr;
  }
  auto snap = [&](double v) {
    const double unit = halfPixelRounding_ ? 0.5 : 1.0 / dpr;
    return std::round(v / unit) * unit;
  };
  const QRectF barQt = qtRectFromRect(bar_);
  const QPointF barTopLeft(snap(barQt.left()), snap(barQt.top()));
  if (!back_.isNull()) painter.drawPixmap(barTopLeft, back_);
  const double cx = locationForValue(value_);
  if (!fill_.isNull()) {
    // The fill runs from the minimum's end (the right one right to left) to the knob.
    painter.save();
    if (layoutDirection() == Qt::RightToLeft) {
      painter.setClipRect(QRectF(snap(cx), barTopLeft.y(), barQt.right() - snap(cx), barQt.height()));
    } else {
      painter.setClipRect(QRectF(barTopLeft.x(), barTopLeft.y(), snap(cx - bar_.origin.x), barQt.height()));
    }
    painter.drawPixmap(barTopLeft, fill_);
    painter.restore();
  }
  const QRectF knobQt = qtRectFromRect(knobRect());
  if (!knob_.isNull()) painter.drawPixmap(QPointF(snap(knobQt.left()), snap(knobQt.top())), knob_);

  auto drawText = [&](const std::string& text, const CGRect& r, const QFont& font, const QColor& color) {
    if (text.empty()) return;
    painter.setFont(font);
    painter.setPen(color);
    painter.drawText(qtRectFromRect(r), Qt::AlignCenter, QString::fromStdString(text));
  };
  drawText(title_, titleRect_, titleFont_, titleColor_);
  drawText(rightTitle_, rightTitleRect_, valueFont_, valueColor_);
}
