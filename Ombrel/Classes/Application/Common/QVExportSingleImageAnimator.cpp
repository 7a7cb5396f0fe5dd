#include "Ombrel/Classes/Application/Common/QVExportSingleImageAnimator.h"

#include <QGuiApplication>
#include <QScreen>
#include <cmath>

QVExportSingleImageAnimator::~QVExportSingleImageAnimator() {
  if (spring_) {
    spring_->setCompletion(nullptr);
    spring_->setObserver(nullptr);
    spring_->stop();
  }
}

double QVExportSingleImageAnimator::offscreenDistance() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  return screen ? std::max(1.0, double(screen->geometry().width())) : 2560.0;
}

void QVExportSingleImageAnimator::hideCurtainAndDisableConstraints() {
  if (!vc_) return;
  vc_->setSplitLineLayoutUpdatesEnabled(false);
  const double away = offscreenDistance() * (QVSCompareViewController::isRightToLeft() ? -1 : 1);
  const double W = vc_->rootView()->bounds().size.width;
  vc_->setCompareEdgeOverride(W / 2 + away);
  vc_->setLabelsCentreOverride(W / 2 + away);
  vc_->setSplitLineOffset(away);
}

void QVExportSingleImageAnimator::actualAnimateWithDuration(double, Completion end) {
  if (!vc_) return;
  const CGRect b = vc_->rootView()->bounds();
  const bool rtl = QVSCompareViewController::isRightToLeft();
  const double from = QVSCompareGeometry::centreForOffset(vc_->splitLineOffset(), b.size.width, b.origin.x);
  const double to = QVSCompareGeometry::centreForOffset(
      QVSCompareGeometry::curtainRestOffset(b.size.width, vc_->splitLineWidth(), rtl), b.size.width, b.origin.x);
  if (spring_) {
    spring_->setCompletion(nullptr);
    spring_->stop();
  }
  spring_ = QVValueSpring::make(from, to, kSpringSpeed, kSpringBounciness);
  std::weak_ptr<QVAnimator> weak = weak_from_this();
  spring_->setObserver([this, weak](double centre) {
    if (weak.lock()) followCurtain(centre);
  });
  spring_->setCompletion([this, weak, end](bool finished) {
    auto self = weak.lock();
    if (!self) return;
    if (finished) stopAnimationAndRestoreState();
    if (end) end(finished);
  });
  spring_->start();
}

void QVExportSingleImageAnimator::followCurtain(double centre) {
  const CGRect b = vc_->rootView()->bounds();
  const double x = std::round(centre);
  vc_->setSplitLineOffset(x - (b.origin.x + b.size.width / 2));
  vc_->setLabelsCentreOverride(x);
  // The result is revealed behind the line once it is inside the view.
  const bool rtl = QVSCompareViewController::isRightToLeft();
  if (rtl ? x > 0 : b.size.width > x) vc_->setCompareEdgeOverride(x);
}

void QVExportSingleImageAnimator::stopAnimationAndRestoreState() {
  if (spring_) {
    spring_->setCompletion(nullptr);
    spring_->setObserver(nullptr);
    spring_->stop();
    spring_.reset();
  }
  if (!vc_) return;
  const double W = vc_->rootView()->bounds().size.width;
  vc_->setCompareEdgeOverride(std::nullopt);
  vc_->setLabelsCentreOverride(std::nullopt);
  vc_->setSplitLineOffset(
      QVSCompareGeometry::curtainRestOffset(W, vc_->splitLineWidth(), QVSCompareViewController::isRightToLeft()));
  vc_->setSplitLineLayoutUpdatesEnabled(true);
}
