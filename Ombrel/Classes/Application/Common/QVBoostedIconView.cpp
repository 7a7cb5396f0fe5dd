#include "Ombrel/Classes/Application/Common/QVBoostedIconView.h"

#include <cmath>

#include "Ombrel/Classes/Application/Style/QVUIStyle.h"
#include "QVAppKit/QVArtwork.h"

void QVBoostedIconView::initialize() {
  QVView::initialize();
  setAttribute(Qt::WA_TransparentForMouseEvents);
  updateIcon();
}

void QVBoostedIconView::addSubviews() {
  QVView::addSubviews();
  addSubview(icon());
}

void QVBoostedIconView::setupLayoutConstraints() {
  QVView::setupLayoutConstraints();
  addConstraint([this] {
    const CGRect b = bounds();
    icon()->setFrame(CGRectMake(std::round((b.size.width - kIconSize) * 0.5),
                                std::round((b.size.height - kIconSize) * 0.5), kIconSize, kIconSize));
  });
}

QVImageView* QVBoostedIconView::icon() {
  if (!icon_) {
    icon_ = QVMake<QVImageView>();
    icon_->setContentMode(QVImageContentModeAspectFit);
    icon_->setUserInteractionEnabled(false);
  }
  return icon_;
}

void QVBoostedIconView::setBoosted(bool boosted) {
  if (boosted == boosted_) return;
  boosted_ = boosted;
  updateIcon();
}

QColor QVBoostedIconView::iconColor() const { return boosted_ ? QVUIStyle::themeColor() : QColor(30, 30, 30); }

void QVBoostedIconView::updateIcon() {
  icon()->setImage(QVArtwork::imageNamed("boosted", CGSizeMake(kIconSize, kIconSize), iconColor()));
}
