#include "QVAppKit/QVLoadingSpinnerView.h"

#include <cmath>
#include <numbers>

#include "QVAppKit/QVArtwork.h"

QVLoadingSpinnerView::~QVLoadingSpinnerView() {
  if (spin_) QVAnimationDriver::shared().cancel(spin_);
}

void QVLoadingSpinnerView::initialize() {
  QVView::initialize();
  setAttribute(Qt::WA_TransparentForMouseEvents);
  startAnimating();
}

void QVLoadingSpinnerView::addSubviews() {
  QVView::addSubviews();
  addSubview(spinnerIcon());
}

void QVLoadingSpinnerView::setupLayoutConstraints() {
  QVView::setupLayoutConstraints();
  addConstraint([this] {
    const CGRect b = bounds();
    const double w = std::round(b.size.width * kIconScale), h = std::round(b.size.height * kIconScale);
    const CGRect frame = CGRectMake(std::round((b.size.width - w) / 2), std::round((b.size.height - h) / 2), w, h);
    if (!(frame == spinnerIcon()->frame())) {
      spinnerIcon()->setFrame(frame);
      updateIconImage();
    }
  });
}

QVImageView* QVLoadingSpinnerView::spinnerIcon() {
  if (!icon_) {
    icon_ = QVMake<QVImageView>();
    icon_->setContentMode(QVImageContentModeAspectFit);
    icon_->setUserInteractionEnabled(false);
    icon_->setAttribute(Qt::WA_TransparentForMouseEvents);
  }
  return icon_;
}

void QVLoadingSpinnerView::setSpinnerColor(const QColor& color) {
  if (color == color_) return;
  color_ = color;
  updateIconImage();
}

void QVLoadingSpinnerView::updateIconImage() {
  const CGSize size = spinnerIcon()->frame().size;
  if (size.width <= 0 || size.height <= 0) return;
  spinnerIcon()->setImage(QVArtwork::imageNamed("torn_spinner", size, color_));
}

void QVLoadingSpinnerView::setRotation(double radians) {
  rotation_ = radians;
  CATransform3D t;
  t.m11 = std::cos(radians);
  t.m12 = std::sin(radians);
  t.m21 = -std::sin(radians);
  t.m22 = std::cos(radians);
  spinnerIcon()->setTransform(t);
}

void QVLoadingSpinnerView::startAnimating() {
  auto& driver = QVAnimationDriver::shared();
  if (spin_) driver.cancel(spin_);
  animating_ = true;
  constexpr double kTurn = 2 * std::numbers::pi;
  spin_ = driver.add([this, kTurn](double elapsed) {
    // One clockwise turn per period: from 2π down to 0, again and again.
    setRotation(kTurn * (1.0 - std::fmod(elapsed, kTurnDuration) / kTurnDuration));
    return true;
  });
}

void QVLoadingSpinnerView::stopAnimating() {
  animating_ = false;
  if (spin_) QVAnimationDriver::shared().cancel(spin_);
  spin_ = 0;
  setRotation(0);
}
