#include "QVAppKit/QVLabel.h"

#include <QFontMetricsF>
#include <QPainter>
#include <cfloat>
#include <cmath>

#include "QVAppKit/QVAnimationDriver.h"
#include "QVAppKit/QVFonts.h"

void QVLabel::initialize() {
  QVRoundedView::initialize();
  setBackgroundColor(Qt::transparent);
  setFontName(QVFonts::systemFontName());
  setFontSize(15);
  setAlignment(QVTextAlignmentCenter);
  implicitAnimationsEnabled_ = true;
  sizeOffset_ = CGPointMake(10, 10);
}

void QVLabel::setTitle(std::optional<std::string> title) {
  if (title == title_) return;
  title_ = std::move(title);
  updateAttributedString();
}

void QVLabel::setTitleColor(const QColor& color) {
  if (color == titleColor_) return;
  titleColor_ = color;
  updateAttributedString();
}

void QVLabel::setFontName(const std::string& name) {
  if (name == fontName_) return;
  fontName_ = name;
  // Without a size there is no font to measure with yet.
  if (fontSize_ == 0) return;
  hasFont_ = true;
  updateAttributedString();
}

void QVLabel::setFontSize(double size) {
  if (size == fontSize_) return;
  fontSize_ = size;
  if (fontName_.empty()) return;
  hasFont_ = true;
  updateAttributedString();
}

QFont QVLabel::font() const { return QVFonts::fontWithName(fontName_, fontSize_); }

void QVLabel::setFont(const QFont& font) {
  setFontName(QVFonts::fontName(font));
  setFontSize(QVFonts::fontSize(font));
}

void QVLabel::setAlignment(uint64_t alignment) {
  if (alignment == alignment_) return;
  alignment_ = alignment;
  updateAttributedString();
}

void QVLabel::setSpacing(double spacing) {
  if (spacing == spacing_) return;
  spacing_ = spacing;
  updateAttributedString();
}

std::optional<Qt::Alignment> QVLabel::alignmentFromAlignment(uint64_t alignment) {
  switch (alignment) {
    case QVTextAlignmentLeft:
      return Qt::AlignLeft;
    case QVTextAlignmentRight:
      return Qt::AlignRight;
    case QVTextAlignmentCenter:
      return Qt::AlignHCenter;
    default:
      return std::nullopt;
  }
}

QFont QVLabel::measuringFont() const {
  QFont f = font();
  if (spacing_ != 0) f.setLetterSpacing(QFont::AbsoluteSpacing, spacing_);
  return f;
}

CGSize QVLabel::sizeForCurrentString() const {
  const QFontMetricsF metrics(measuringFont());
  const double h = hasFont_ ? std::ceil(metrics.height()) : 0;
  const double t = (title_ && hasFont_) ? metrics.horizontalAdvance(QString::fromStdString(*title_)) : 0;
  const double w = std::ceil(t + sizeOffset_.x + sizeOffset_.y);
  return CGSizeMake(w, h);
}

QSize QVLabel::sizeHint() const {
  const CGSize s = sizeForCurrentString();
  return QSize(int(s.width), int(s.height));
}

void QVLabel::updateAttributedString() {
  ++updates_;
  updateGeometry();
  setNeedsLayout();
  layoutSubtreeIfNeeded();
  setNeedsDisplay();
}

void QVLabel::layout() {
  QVRoundedView::layout();
  const CGSize s = intrinsicContentSize();
  const CGRect b = bounds();
  const double y = (b.size.height - s.height) * 0.5 + fontSize_ / -10.0;
  CGRect text;
  if (s.width > b.size.width) {
    text = CGRectMake(b.origin.x, y, b.size.width, s.height);
  } else {
    double x = b.origin.x;
    switch (alignment_) {
      case QVTextAlignmentLeft:
        x = 0;
        break;
      case QVTextAlignmentRight:
        x = b.size.width - s.width;
        break;
      case QVTextAlignmentCenter:
        x = (b.size.width - s.width) * 0.5;
        break;
      default:
        break;
    }
    text = CGRectMake(x, y, s.width, s.height);
  }
  if (text.origin.x != textFrame_.origin.x || text.origin.y != textFrame_.origin.y ||
      text.size.width != textFrame_.size.width || text.size.height != textFrame_.size.height) {
    QVRunNoAnimationBlock([&] { textFrame_ = text; });
    setNeedsDisplay();
  }
}

void QVLabel::drawContent(QPainter& painter) {
  if (!title_ || title_->empty() || !hasFont_) return;
  const QFont f = measuringFont();
  const QRectF frame = qtRectFromRect(textFrame_);
  const QFontMetricsF metrics(f);
  // The text frame's width includes the size offset: the text sits centred in what is left.
  // The frame is the measured width rounded up: only a title really wider than it is shortened.
  QString text = QString::fromStdString(*title_);
  if (metrics.horizontalAdvance(text) > frame.width() + 0.5) {
    text = metrics.elidedText(text, Qt::ElideMiddle, std::max(0.0, frame.width()));
  }
  painter.setFont(f);
  painter.setPen(titleColor_.isValid() ? titleColor_ : QColor(Qt::white));
  const Qt::Alignment h = alignmentFromAlignment(alignment_).value_or(Qt::AlignLeft);
  painter.drawText(frame, int(h | Qt::AlignTop | Qt::TextSingleLine), text);
}
