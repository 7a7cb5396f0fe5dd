#include "QVAppKit/QVRoundedShadowView.h"

#include <QPainter>
#include <cmath>

#include "QVAppKit/QVRoundParams.h"
#include "QVAppKit/QVShadowRenderer.h"

void QVRoundedShadowView::initialize() {
  QVView::initialize();
  setBackgroundColor(QColor());
  setUserInteractionEnabled(false);
}

void QVRoundedShadowView::setLook(const QVShadow& look) {
  if (look == look_) return;
  look_ = look;
  picture_ = QPixmap();
  setShadowedFrame(shadowed_);
}

void QVRoundedShadowView::setShadowCornerRadius(double radius) {
  if (radius == radius_) return;
  radius_ = radius;
  picture_ = QPixmap();
  update();
}

double QVRoundedShadowView::reach() const {
  return std::ceil(2 * look_.blurRadius) + std::max(std::abs(look_.offset.width), std::abs(look_.offset.height));
}

void QVRoundedShadowView::setShadowedFrame(CGRect frame) {
  shadowed_ = frame;
  const double r = reach();
  setFrame(CGRectInset(frame, -r, -r));
  update();
}

const QPixmap& QVRoundedShadowView::picture(double ratio) {
  if (!picture_.isNull() && pictureRatio_ == ratio) return picture_;
  // A rounded square with a two-point middle, padded by the blur's reach, blurred once.
  const double pad = std::ceil(2 * look_.blurRadius);
  const double side = 2 * radius_ + 2;
  const int pixels = int(std::ceil((side + 2 * pad) * ratio));
  QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  {
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(ratio, ratio);
    p.fillPath(QVRoundedRectPath(QRectF(pad, pad, side, side), radius_), look_.color);
  }
  QVBlurImage(image, look_.blurRadius * ratio);
  picture_ = QPixmap::fromImage(image);
  pictureRatio_ = ratio;
  ++made_;
  return picture_;
}

void QVRoundedShadowView::drawContent(QPainter& painter) {
  if (CGRectIsEmpty(shadowed_)) return;
  const double ratio = devicePixelRatioF();
  const QPixmap& source = picture(ratio);
  const double pad = std::ceil(2 * look_.blurRadius);
  // The shadowed rectangle in this view (Qt space), moved by the offset (positive height is up).
  const double r = reach();
  const QRectF shape(r + look_.offset.width, r - look_.offset.height, shadowed_.size.width, shadowed_.size.height);
  const QRectF target = shape.adjusted(-pad, -pad, pad, pad);
  // Nine parts: the corners (pad + radius square) kept, the rest stretched.
  const double corner = std::min({pad + radius_, target.width() / 2, target.height() / 2});
  const double sourceCorner = corner * ratio;
  const double sourceSide = source.width();
  const double xs[] = {0, corner, target.width() - corner, target.width()};
  const double ys[] = {0, corner, target.height() - corner, target.height()};
  const double sx[] = {0, sourceCorner, sourceSide - sourceCorner, sourceSide};
  for (int row = 0; row < 3; ++row)
    for (int col = 0; col < 3; ++col) {
      const QRectF to(target.left() + xs[col], target.top() + ys[row], xs[col + 1] - xs[col], ys[row + 1] - ys[row]);
      const QRectF from(sx[col], sx[row], sx[col + 1] - sx[col], sx[row + 1] - sx[row]);
      if (to.width() > 0 && to.height() > 0 && from.width() > 0 && from.height() > 0)
        painter.drawPixmap(to, source, from);
    }
}
