#include "QVAppKit/QVTextField.h"

#include <QFocusEvent>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

#include "QVAppKit/QVBasicView.h"
#include "QVAppKit/QVFonts.h"
#include "QVAppKit/QVRoundParams.h"
#include "QVPlatform/Localization.h"
#include "QVPlatform/NotificationCenter.h"

CGRect QVTextFieldCell::adjustedFrameToVerticallyCenterText(CGRect frame, const std::optional<QFont>& font) const {
  frame.origin.x += textInsets_.left;
  frame.size.width -= textInsets_.left + textInsets_.right;
  frame.origin.y += textInsets_.top;
  frame.size.height -= textInsets_.top + textInsets_.bottom;
  if (!verticallyCenteredText_) return frame;
  const double f = font ? std::ceil(float(QFontMetricsF(*font).height())) : 0;
  const int d = int(std::floor((frame.size.height - f) * 0.5));
  frame.origin.y += d;
  frame.size.height -= 2 * d;
  frame.size.height += d;
  frame.origin.y += -2.0;
  return frame;
}

QVTextField::QVTextField(QWidget* parent) : QLineEdit(parent) {}

void QVTextField::initialize() {
  setFrame(false);
  setAttribute(Qt::WA_MacShowFocusRect, false);
  setFont(QVFonts::systemFontOfSize(13));
  // The field draws its own background and border; Qt's base colour would cover them.
  QPalette p = palette();
  p.setColor(QPalette::Base, Qt::transparent);
  setPalette(p);
  setAutoFillBackground(false);
  // An application style sheet (the menus have one) makes Qt paint a line edit's panel over the
  // field's own background and border: the field asks for none.
  setStyleSheet(QStringLiteral("QLineEdit { background: transparent; border: none; }"));
  // Text set from code arrives without an event: tell the views that keep pictures of this one.
  QObject::connect(this, &QLineEdit::textChanged, this, [this] { QVSetNeedsDisplay(this); });
}

void QVTextField::setCornerRadius(double radius) {
  if (radius == cornerRadius_) return;
  cornerRadius_ = radius;
  masksToBounds_ = radius > 0;
  ++borderUpdates_;
  QVSetNeedsDisplay(this);
}

void QVTextField::setBorderColor(const QColor& color) {
  if (color == borderColor_) return;
  borderColor_ = color;
  ++borderUpdates_;
  QVSetNeedsDisplay(this);
}

void QVTextField::setBorderWidth(double width) {
  if (width == borderWidth_) return;
  borderWidth_ = width;
  ++borderUpdates_;
  QVSetNeedsDisplay(this);
}

void QVTextField::setBackgroundColor(const QColor& color) {
  backgroundColor_ = color;
  QVSetNeedsDisplay(this);
}

QColor QVTextField::textColor() const { return palette().color(QPalette::Text); }

void QVTextField::setTextColor(const QColor& color) {
  QPalette p = palette();
  p.setColor(QPalette::Text, color);
  // The insertion point takes the text's colour.
  p.setColor(QPalette::WindowText, color);
  setPalette(p);
}

void QVTextField::setPlaceholderString(const std::string& key) {
  placeholder_ = qv::QVSLocalization::localizedStringForKey(key);
  QVSetNeedsDisplay(this);
}

void QVTextField::setPlaceholderColor(const QColor& color) {
  if (color == placeholderColor_) return;
  placeholderColor_ = color;
  QVSetNeedsDisplay(this);
}

void QVTextField::setPlaceholderFont(const QFont& font) {
  if (placeholderFont_ && *placeholderFont_ == font) return;
  placeholderFont_ = font;
  QVSetNeedsDisplay(this);
}

void QVTextField::setTextInsets(QVEdgeInsets insets) {
  cell_.setTextInsets(insets);
  applyInsets();
}

void QVTextField::setVerticallyCenteredText(bool centred) {
  cell_.setVerticallyCenteredText(centred);
  applyInsets();
}

void QVTextField::applyInsets() {
  const QVEdgeInsets i = cell_.textInsets();
  setTextMargins(int(std::lround(i.left)), int(std::lround(i.top)), int(std::lround(i.right)),
                 int(std::lround(i.bottom)));
  QVSetNeedsDisplay(this);
}

void QVTextField::focusInEvent(QFocusEvent* event) {
  QLineEdit::focusInEvent(event);
  if (hasFocus()) {
    qv::NotificationCenter::defaultCenter().postWithSender(QVTextFieldDidBecomeFirstResponderNotification, this);
  }
}

void QVTextField::paintEvent(QPaintEvent* event) {
  const QRectF r(rect());
  {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPainterPath shape = cornerRadius_ > 0 ? QVRoundedRectPath(r, cornerRadius_) : [&] {
      QPainterPath p;
      p.addRect(r);
      return p;
    }();
    if (backgroundColor_.isValid()) painter.fillPath(shape, backgroundColor_);
    if (borderWidth_ > 0 && borderColor_.isValid()) {
      const double inset = borderWidth_ / 2;
      const QRectF br = r.adjusted(inset, inset, -inset, -inset);
      painter.setPen(QPen(borderColor_, borderWidth_));
      painter.setBrush(Qt::NoBrush);
      if (cornerRadius_ > 0) {
        painter.drawPath(QVRoundedRectPath(br, std::max(0.0, cornerRadius_ - inset)));
      } else {
        painter.drawRect(br);
      }
    }
  }
  QLineEdit::paintEvent(event);
  if (!text().isEmpty() || placeholder_.empty()) return;
  QPainter painter(this);
  const QFont font = placeholderFont_.value_or(this->font());
  const CGRect frame = cell_.adjustedFrameToVerticallyCenterText(CGRectMake(r.x(), r.y(), r.width(), r.height()), font);
  painter.setFont(font);
  painter.setPen(placeholderColor_.isValid() ? placeholderColor_ : palette().color(QPalette::PlaceholderText));
  const Qt::Alignment vertical = cell_.verticallyCenteredText() ? Qt::AlignTop : Qt::AlignVCenter;
  painter.drawText(QRectF(frame.origin.x + 2, frame.origin.y, frame.size.width - 4, frame.size.height),
                   int(alignment() & Qt::AlignHorizontal_Mask) | int(vertical) | Qt::TextSingleLine,
                   QString::fromStdString(placeholder_));
}
