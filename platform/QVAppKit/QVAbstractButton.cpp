#include "QVAppKit/QVAbstractButton.h"

#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>
#include <cmath>

#include "QVAppKit/NSView+Extensions.h"
#include "QVAppKit/QVFonts.h"
#include "QVAppKit/QVWindowMoving.h"

namespace {
CGSize& classTextOffset() {
  static CGSize offset = CGSizeZero;
  return offset;
}
constexpr double kPictogramSpacing = 6;
}  // namespace

void QVAbstractButton::initialize() {
  QVView::initialize();
  commonInit();
}

void QVAbstractButton::commonInit() {
  textOffset_ = classTextOffset();
  fontName_ = QVFonts::systemFontName();
}

CGSize QVAbstractButton::defaultTextOffset() { return classTextOffset(); }
void QVAbstractButton::setDefaultTextOffset(CGSize offset) { classTextOffset() = offset; }

void QVAbstractButton::setTextOffset(CGSize offset) {
  textOffset_ = offset;
  update();
}

void QVAbstractButton::setTitle(const std::string& title) {
  title_ = title;
  update();
}

void QVAbstractButton::setFontName(const std::string& name) {
  fontName_ = name;
  update();
}

void QVAbstractButton::setFontSize(double size) {
  fontSize_ = size;
  update();
}

void QVAbstractButton::setFont(const QFont& font) {
  fontName_ = QVFonts::fontName(font);
  fontSize_ = QVFonts::fontSize(font);
  update();
}

void QVAbstractButton::setFontColor(const QColor& color) {
  fontColor_ = color;
  update();
}

void QVAbstractButton::setKerning(double kerning) {
  kerning_ = kerning;
  update();
}

void QVAbstractButton::setBordered(bool bordered) {
  bordered_ = bordered;
  update();
}

void QVAbstractButton::setAlignment(uint64_t alignment) {
  alignment_ = alignment;
  update();
}

void QVAbstractButton::setPictogram(NSImageRef image, CGSize size) {
  pictogram_ = std::move(image);
  pictogramSize_ = size;
  update();
}

void QVAbstractButton::setPictogramPosition(int64_t position) {
  pictogramPosition_ = position;
  update();
}

void QVAbstractButton::setEnabled(bool enabled) {
  enabled_ = enabled;
  if (!enabled) highlighted_ = pressed_ = false;
  update();
}

QFont QVAbstractButton::font() const {
  QFont f = QVFonts::fontWithName(fontName_, fontSize_);
  if (kerning_ != 0) f.setLetterSpacing(QFont::AbsoluteSpacing, kerning_);
  return f;
}

CGSize QVAbstractButton::textSize() const {
  if (title_.empty() || pictogramPosition_ == QVPictogramPositionOnly) return CGSizeZero;
  const QFontMetricsF metrics(font());
  return CGSizeMake(std::ceil(metrics.horizontalAdvance(QString::fromStdString(title_))), std::ceil(metrics.height()));
}

double QVAbstractButton::contentWidth() const {
  const CGSize text = textSize();
  const bool hasPictogram = pictogram_ && pictogramPosition_ != QVPictogramPositionNone;
  if (!hasPictogram) return text.width;
  return text.width + pictogramSize_.width + (text.width > 0 ? kPictogramSpacing : 0);
}

CGSize QVAbstractButton::intrinsicContentSize() const {
  const bool hasPictogram = pictogram_ && pictogramPosition_ != QVPictogramPositionNone;
  return CGSizeMake(contentWidth(), std::max(textSize().height, hasPictogram ? pictogramSize_.height : 0.0));
}

CGRect QVAbstractButton::titleFrame() const {
  const CGSize bounds = frame().size;
  const CGSize text = textSize();
  const double content = contentWidth();
  double x = 0;
  switch (alignment_) {
    case QVTextAlignmentLeft:
      x = 0;
      break;
    case QVTextAlignmentRight:
      x = bounds.width - content;
      break;
    default:
      x = (bounds.width - content) / 2;
      break;
  }
  if (pictogram_ && pictogramPosition_ == QVPictogramPositionLeft) x += pictogramSize_.width + kPictogramSpacing;
  return CGRectMake(x + textOffset_.width, (bounds.height - text.height) / 2 + textOffset_.height, text.width,
                    text.height);
}

void QVAbstractButton::drawContent(QPainter& painter) {
  painter.save();
  if (!enabled_) painter.setOpacity(painter.opacity() * 0.4);
  const QRectF r(rect());
  if (bordered_) {
    // A quiet outline in the title's colour.
    QColor outline = fontColor_;
    outline.setAlphaF(outline.alphaF() * 0.35);
    painter.setPen(QPen(outline, 1));
    painter.setBrush(Qt::NoBrush);
    const double radius = std::min(8.0, r.height() / 2);
    painter.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
  }
  QColor color = fontColor_;
  if (highlighted_) color = color.darker(140);
  const CGRect title = titleFrame();
  if (!title_.empty() && pictogramPosition_ != QVPictogramPositionOnly) {
    painter.setFont(font());
    painter.setPen(color);
    painter.drawText(qtRectFromRect(title), Qt::AlignLeft | Qt::AlignVCenter, QString::fromStdString(title_));
  }
  if (pictogram_ && pictogramPosition_ != QVPictogramPositionNone) {
    double x = 0;
    if (pictogramPosition_ == QVPictogramPositionLeft) {
      x = title.origin.x - textOffset_.width - kPictogramSpacing - pictogramSize_.width;
    } else if (pictogramPosition_ == QVPictogramPositionRight) {
      x = title.origin.x - textOffset_.width + title.size.width + kPictogramSpacing;
    } else {
      x = (r.width() - pictogramSize_.width) / 2;
    }
    const CGRect icon =
        CGRectMake(x, (r.height() - pictogramSize_.height) / 2, pictogramSize_.width, pictogramSize_.height);
    const QImage image = QVImageBridge::imageFromNSImage(pictogram_);
    if (!image.isNull()) painter.drawImage(qtRectFromRect(icon), image);
  }
  painter.restore();
}

void QVAbstractButton::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !enabled_) {
    QVView::mousePressEvent(event);
    return;
  }
  event->accept();
  pressed_ = highlighted_ = true;
  update();
}

void QVAbstractButton::mouseMoveEvent(QMouseEvent* event) {
  if (!pressed_) {
    QVView::mouseMoveEvent(event);
    return;
  }
  const bool within = NSViewExtensions::isMouseLocationWithinView(this, *event);
  if (within != highlighted_) {
    highlighted_ = within;
    update();
  }
}

void QVAbstractButton::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !pressed_) {
    QVView::mouseReleaseEvent(event);
    return;
  }
  const bool within = NSViewExtensions::isMouseLocationWithinView(this, *event);
  pressed_ = highlighted_ = false;
  update();
  if (within) performClick();
}

void QVAbstractButton::abandonPress() {
  pressed_ = highlighted_ = false;
  update();
}

void QVAbstractButton::performClick() {
  if (!enabled_ || !target_ || !action_) return;
  action_(target_, this);
}

void QVButton::commonInit() {
  QVAbstractButton::commonInit();
  setTextOffset(CGSizeMake(0, 2));
}

void QVTitleBarButton::setCanMoveWindow(bool can) {
  canMoveWindow_ = can;
  setMouseDownCanMoveWindow(can);
}

void QVTitleBarButton::mousePressEvent(QMouseEvent* event) {
  QVButton::mousePressEvent(event);
  if (canMoveWindow_ && isPressed()) QVWindowMoving::armWithPress(this, *event);
}

void QVTitleBarButton::mouseMoveEvent(QMouseEvent* event) {
  // A drag that starts on a button allowed to move the window becomes a move of the window (the
  // application-wide move saw this event first); a click (no travel) stays a click.
  if (canMoveWindow_ && isPressed() && QVWindowMoving::isMoving()) {
    abandonPress();
    event->accept();
    return;
  }
  QVButton::mouseMoveEvent(event);
}
