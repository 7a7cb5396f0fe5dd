#pragma once
// Geometry of the toolkit. Its API speaks the coordinates the screens are written in: origin at the
// bottom left, y growing upwards, a frame given in its superview's space. Qt places widgets from
// the top left with y growing downwards. The flip between the two happens here and nowhere else.
#include <QPointF>
#include <QRectF>
#include <QTransform>

#include "QVBase/Geometry.h"

namespace QVGeometry {
// A rectangle of a space `spaceHeight` high, bottom-left origin → Qt's top-left origin, and back.
QRectF qtRectFromRect(const CGRect& rect, double spaceHeight);
CGRect rectFromQtRect(const QRectF& rect, double spaceHeight);
QPointF qtPointFromPoint(const CGPoint& point, double spaceHeight);
CGPoint pointFromQtPoint(const QPointF& point, double spaceHeight);
// An affine transform of the y-up space expressed in Qt's y-down space of the same height.
QTransform qtTransformFromTransform(const CGAffineTransform& t, double spaceHeight);
}  // namespace QVGeometry

// A layer's 4×4 transform (row vectors, translation in the fourth row), as the image view keeps it.
struct CATransform3D {
  double m11 = 1, m12 = 0, m13 = 0, m14 = 0;
  double m21 = 0, m22 = 1, m23 = 0, m24 = 0;
  double m31 = 0, m32 = 0, m33 = 1, m34 = 0;
  double m41 = 0, m42 = 0, m43 = 0, m44 = 1;
  bool operator==(const CATransform3D&) const = default;
};
inline constexpr CATransform3D CATransform3DIdentity{};
CATransform3D CATransform3DMakeScale(double sx, double sy, double sz);
CATransform3D CATransform3DMakeTranslation(double tx, double ty, double tz);
bool CATransform3DIsIdentity(const CATransform3D& t);
// The part of the transform that acts on the plane (z is dropped when drawing flat).
CGAffineTransform CATransform3DGetAffineTransform(const CATransform3D& t);

// Fitting and centring sizes and rectangles.
// Portrait ratios (< 1) fill the container's height times `heightFactor`, others its width times
// `widthFactor`; both sides rounded up.
CGSize NSSizeFitIntoSize(CGSize container, double aspectRatio, double widthFactor, double heightFactor);
// The origin that centres the size in the rectangle, rounded up.
CGPoint NSPointOriginForSizeWithinRect(CGRect rect, CGSize size);
CGPoint NSCenterPointForRect(CGRect rect);
// The rectangle of a picture of `size` filling (covering, cropped) or fitting (all inside) `bounds`,
// aspect kept, centred; the bounds themselves for an empty size or bounds.
CGRect QVAspectRect(CGSize size, CGRect bounds, bool fill);
// The origin that keeps the rectangle's centre for the new size (not rounded).
CGPoint NSPointOriginKeepingOldCenterForSize(CGRect rect, CGSize size);
