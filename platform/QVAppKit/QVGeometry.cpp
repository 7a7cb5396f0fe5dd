#include "QVAppKit/QVGeometry.h"

#include <algorithm>
#include <cmath>

namespace QVGeometry {

QRectF qtRectFromRect(const CGRect& rect, double spaceHeight) {
  const CGRect r = CGRectStandardize(rect);
  return QRectF(r.origin.x, spaceHeight - (r.origin.y + r.size.height), r.size.width, r.size.height);
}

CGRect rectFromQtRect(const QRectF& rect, double spaceHeight) {
  const QRectF r = rect.normalized();
  return CGRectMake(r.x(), spaceHeight - (r.y() + r.height()), r.width(), r.height());
}

QPointF qtPointFromPoint(const CGPoint& point, double spaceHeight) { return {point.x, spaceHeight - point.y}; }

CGPoint pointFromQtPoint(const QPointF& point, double spaceHeight) {
  return CGPointMake(point.x(), spaceHeight - point.y());
}

QTransform qtTransformFromTransform(const CGAffineTransform& t, double spaceHeight) {
  // Qt point q = F(p) with F(x, y) = (x, H - y); the same motion in Qt space is F ∘ T ∘ F.
  const QTransform flip(1, 0, 0, -1, 0, spaceHeight);
  const QTransform m(t.a, t.b, t.c, t.d, t.tx, t.ty);
  return flip * m * flip;
}

}  // namespace QVGeometry

CATransform3D CATransform3DMakeScale(double sx, double sy, double sz) {
  CATransform3D t;
  t.m11 = sx;
  t.m22 = sy;
  t.m33 = sz;
  return t;
}

CATransform3D CATransform3DMakeTranslation(double tx, double ty, double tz) {
  CATransform3D t;
  t.m41 = tx;
  t.m42 = ty;
  t.m43 = tz;
  return t;
}

bool CATransform3DIsIdentity(const CATransform3D& t) { return t == CATransform3DIdentity; }

CGAffineTransform CATransform3DGetAffineTransform(const CATransform3D& t) {
  return CGAffineTransformMake(t.m11, t.m12, t.m21, t.m22, t.m41, t.m42);
}

CGSize NSSizeFitIntoSize(CGSize container, double aspectRatio, double widthFactor, double heightFactor) {
  // An image without area has no ratio (0/0): nothing to fit, rather than a size of NaN.
  if (!std::isfinite(aspectRatio) || aspectRatio <= 0) return CGSizeZero;
  double w, h;
  if (aspectRatio < 1.0) {
    h = container.height * heightFactor;
    w = aspectRatio * h;
  } else {
    w = container.width * widthFactor;
    h = w / aspectRatio;
  }
  return CGSizeMake(std::ceil(w), std::ceil(h));
}

CGPoint NSPointOriginForSizeWithinRect(CGRect rect, CGSize size) {
  return CGPointMake(std::ceil(CGRectGetMidX(rect) - size.width / 2), std::ceil(CGRectGetMidY(rect) - size.height / 2));
}

CGPoint NSCenterPointForRect(CGRect rect) {
  return CGPointMake(rect.origin.x + rect.size.width / 2, rect.origin.y + rect.size.height / 2);
}

CGPoint NSPointOriginKeepingOldCenterForSize(CGRect rect, CGSize size) {
  return CGPointMake(CGRectGetMidX(rect) - size.width / 2, CGRectGetMidY(rect) - size.height / 2);
}

CGRect QVAspectRect(CGSize size, CGRect bounds, bool fill) {
  if (size.width <= 0 || size.height <= 0 || bounds.size.width <= 0 || bounds.size.height <= 0) return bounds;
  const double sx = bounds.size.width / size.width, sy = bounds.size.height / size.height;
  const double s = fill ? std::max(sx, sy) : std::min(sx, sy);
  const double w = size.width * s, h = size.height * s;
  return CGRectMake(bounds.origin.x + (bounds.size.width - w) / 2, bounds.origin.y + (bounds.size.height - h) / 2, w,
                    h);
}
