#include "QVAppKit/QVTitledButton.h"

#include <QtGlobal>
#include <algorithm>

#include "QVAppKit/QVFonts.h"

QFont QVTitledButton::defaultFont() {
  // The family stands in for the system's display face; the style gives the heavy weight.
  return QVFonts::fontWithName("SF UI Display-Heavy", 15);
}

void QVTitledButton::initialize() { QVFrameChangingView::initialize(); }

void QVTitledButton::addSubviews() {
  QVFrameChangingView::addSubviews();
  addSubview(titleLabel());
  addSubview(iconView());
}

QVLabel* QVTitledButton::titleLabel() {
  if (!titleLabel_) {
    titleLabel_ = QVMake<QVLabel>();
    titleLabel_->setTitleColor(Qt::black);
    titleLabel_->setBackgroundColor(QColor());
    titleLabel_->setFont(defaultFont());
    titleLabel_->setSpacing(1.0);
  }
  return titleLabel_;
}

QVImageView* QVTitledButton::iconView() {
  if (!iconView_) {
    iconView_ = QVMake<QVImageView>();
    iconView_->setContentMode(1);  // aspect fit
  }
  return iconView_;
}

void QVTitledButton::setupLayoutConstraints() {
  QVFrameChangingView::setupLayoutConstraints();
  addConstraint([this] { layoutFace(); });
}

void QVTitledButton::layoutFace() {
  const CGSize bounds = frame().size;
  const CGSize text = titleLabel()->sizeForCurrentString();
  // The title is centred (it scales about its centre); the icon sits directly before the title as
  // drawn, centred vertically (it scales about its lower-left corner), and never closer to the
  // leading edge than the pin. At rest both scales are 1.
  const double titleScale = titleLabel()->scale().width;
  const double iconScale = iconView()->scale().width;
  double titleX = (bounds.width - text.width) / 2;
  double iconX = bounds.width / 2 - text.width * titleScale / 2 - iconSize_.width * iconScale;
  if (iconX < leftPin_) {
    iconX = leftPin_;
    titleX = iconX + iconSize_.width * iconScale + text.width * (titleScale - 1) / 2;
  }
  titleLabel()->setFrame(
      CGRectMake(std::round(titleX), std::round((bounds.height - text.height) / 2), text.width, text.height));
  iconView()->setFrame(CGRectMake(std::round(iconX), std::round((bounds.height - iconSize_.height * iconScale) / 2),
                                  iconSize_.width, iconSize_.height));
}

void QVTitledButton::setTitle(std::optional<std::string> title) {
  title_ = std::move(title);
  titleLabel()->setTitle(title_);
  setNeedsLayout();
}

void QVTitledButton::setFontName(const std::string& name) {
  if (name == fontName_) return;
  fontName_ = name;
  const double size = titleLabel()->fontSize();
  titleLabel()->setFont(size > 0 ? QVFonts::fontWithName(name, size) : defaultFont());
  setNeedsLayout();
}

void QVTitledButton::setFontSize(double size) {
  if (size == fontSize_) return;
  fontSize_ = size;
  const std::string& name = titleLabel()->fontName();
  titleLabel()->setFont(name.empty() ? defaultFont() : QVFonts::fontWithName(name, size));
  setNeedsLayout();
}

void QVTitledButton::setFontColor(const QColor& color) {
  if (color == fontColor_) return;
  fontColor_ = color;
  titleLabel()->setTitleColor(color);
}

void QVTitledButton::setKerning(double kerning) {
  if (kerning == kerning_) return;
  kerning_ = kerning;
  titleLabel()->setSpacing(kerning);
  setNeedsLayout();
}

void QVTitledButton::setIconImage(NSImageRef image, CGSize size) {
  iconView()->setImage(image);
  iconSize_ = size;
  leftPin_ = 10;
  // The constraints take effect at once.
  setNeedsLayout();
  layoutSubtreeIfNeeded();
}

std::string QVTitledButton::description() const {
  return QVFrameChangingView::description() +
         QString::asprintf("; title: %s, fontName: %s, fontSize: %f", title_ ? title_->c_str() : "(null)",
                           fontName_.empty() ? "(null)" : fontName_.c_str(), fontSize_)
             .toStdString();
}
