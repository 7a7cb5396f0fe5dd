#include "QVAppKit/QVImageView.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

#include "QVAppKit/QVAnimationDriver.h"
#include "QVAppKit/QVImageBridge.h"

void QVImageView::initialize() {
  QVView::initialize();
  setContentMode(QVImageContentModeAspectFill);
}

void QVImageView::setImage(NSImageRef image) {
  if (image == image_) return;
  image_ = std::move(image);
  updateContents(image_);
}

void QVImageView::updateContents(const NSImageRef& image) {
  QVRunNoAnimationBlock([&] {
    ++contentUpdates_;
    shown_ = image && !image->isLazy() ? QVImageBridge::imageFromNSImage(image) : QImage();
    scaled_ = QPixmap();
    scaledFor_ = QSize();
  });
  setNeedsLayout();
}

void QVImageView::setContentMode(int64_t mode) {
  contentMode_ = mode;
  if (mode == QVImageContentModeAspectFill || mode == QVImageContentModeAspectFit) {
    if (gravity_ != mode) {
      gravity_ = mode;
      scaled_ = QPixmap();
      setNeedsDisplay();
    }
  }
}

void QVImageView::setTransform(const CATransform3D& transform) {
  QVRunNoAnimationBlock([&] { transform_ = transform; });
  setNeedsDisplay();
}

void QVImageView::scaleCentered(double s) {
  setTransform(CATransform3DMakeScale(s, s, 0));
  setAnchorPoint(CGPointMake(0.5, 0.5));
}

void QVImageView::layout() {
  QVView::layout();
  // The picture follows the bounds: a new size scales it again at the next paint.
  if (scaledFor_ != QSize()) {
    const CGRect r = imageRect();
    const qreal dpr = devicePixelRatioF();
    if (QSize(int(std::ceil(r.size.width * dpr)), int(std::ceil(r.size.height * dpr))) != scaledFor_) {
      scaled_ = QPixmap();
    }
  }
}

CGRect QVImageView::imageRect() const {
  if (!image_) return bounds();
  return QVAspectRect(image_->size(), bounds(), gravity_ == QVImageContentModeAspectFill);
}

void QVImageView::drawContent(QPainter& painter) {
  if (!image_) return;
  const CGRect r = imageRect();
  const qreal dpr = painter.device()->devicePixelRatioF();
  const QSize device(std::max(1, int(std::ceil(r.size.width * dpr))), std::max(1, int(std::ceil(r.size.height * dpr))));
  if (scaled_.isNull() || scaledFor_ != device) {
    QImage source = shown_;
    if (image_->isLazy()) source = QVImageBridge::imageFromNSImage(image_, device);
    if (source.isNull()) return;
    // One smooth scaling per size; animations then only blit the cached picture.
    QImage scaled =
        source.size() == device ? source : source.scaled(device, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    scaled_ = QPixmap::fromImage(std::move(scaled));
    scaled_.setDevicePixelRatio(dpr);
    scaledFor_ = device;
  }
  painter.save();
  if (!CATransform3DIsIdentity(transform_)) {
    // The image layer's transform acts about its centre, the view's centre.
    const CGPoint c = NSCenterPointForRect(bounds());
    CGAffineTransform t = CATransform3DGetAffineTransform(transform_);
    t = CGAffineTransformConcat(CGAffineTransformConcat(CGAffineTransformMakeTranslation(-c.x, -c.y), t),
                                CGAffineTransformMakeTranslation(c.x, c.y));
    painter.setTransform(QVGeometry::qtTransformFromTransform(t, height()), true);
  }
  painter.drawPixmap(qtRectFromRect(r).topLeft(), scaled_);
  painter.restore();
}

void QVImageViewInteractable::initialize() {
  QVBasicView::initialize();
  interactable_ = true;
  useIntrinsicContentSize_ = true;
  setAcceptDrops(false);
}

void QVImageViewInteractable::setImage(NSImageRef image) {
  if (image == image_) return;
  image_ = std::move(image);
  shown_ = QVImageBridge::imageFromNSImage(image_);
  updateGeometry();
  setNeedsDisplay();
}

void QVImageViewInteractable::setInteractable(bool interactable) {
  interactable_ = interactable;
  setAttribute(Qt::WA_TransparentForMouseEvents, !interactable);
}

CGSize QVImageViewInteractable::intrinsicContentSize() const {
  if (!useIntrinsicContentSize_ || !image_) return CGSizeZero;
  return image_->size();
}

QWidget* QVImageViewInteractable::hitTest(CGPoint point) {
  if (!interactable_) return nullptr;
  return QVBasicView::hitTest(point);
}

void QVImageViewInteractable::paintEvent(QPaintEvent* event) {
  QVBasicView::paintEvent(event);
  if (shown_.isNull() || !image_) return;
  QPainter painter(this);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  // Scaled down proportionally, never up, and centred.
  CGSize size = image_->size();
  const double s = std::min({1.0, width() / size.width, height() / size.height});
  size = CGSizeMake(size.width * s, size.height * s);
  const CGPoint origin = NSPointOriginKeepingOldCenterForSize(bounds(), size);
  painter.drawImage(qtRectFromRect(CGRectMake(origin.x, origin.y, size.width, size.height)), shown_);
}
