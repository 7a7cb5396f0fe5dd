#pragma once
// Plain geometry records used across the code base. Rectangles over images use a bottom-left
// origin (y grows upwards), as the drawing code does; the engine's own regions (rova::RectRoi)
// are top-left and the flip lives only in the two conversions between them.
#include <algorithm>
#include <cmath>

struct CGPoint {
  double x = 0, y = 0;
  friend bool operator==(const CGPoint&, const CGPoint&) = default;
};

struct CGSize {
  double width = 0, height = 0;
  friend bool operator==(const CGSize&, const CGSize&) = default;
};

struct CGRect {
  CGPoint origin;
  CGSize size;
  friend bool operator==(const CGRect&, const CGRect&) = default;
};

// x' = a*x + c*y + tx ; y' = b*x + d*y + ty
struct CGAffineTransform {
  double a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;
  friend bool operator==(const CGAffineTransform&, const CGAffineTransform&) = default;
};

inline constexpr CGPoint CGPointZero{};
inline constexpr CGSize CGSizeZero{};
inline constexpr CGRect CGRectZero{};
inline constexpr CGAffineTransform CGAffineTransformIdentity{};

inline CGPoint CGPointMake(double x, double y) { return {x, y}; }
inline CGSize CGSizeMake(double w, double h) { return {w, h}; }
inline CGRect CGRectMake(double x, double y, double w, double h) { return {{x, y}, {w, h}}; }

// Rectangles with a negative size are read as their positive equivalent, as the drawing code does.
inline CGRect CGRectStandardize(CGRect r) {
  if (r.size.width < 0) {
    r.origin.x += r.size.width;
    r.size.width = -r.size.width;
  }
  if (r.size.height < 0) {
    r.origin.y += r.size.height;
    r.size.height = -r.size.height;
  }
  return r;
}
inline double CGRectGetMinX(CGRect r) {
  r = CGRectStandardize(r);
  return r.origin.x;
}
inline double CGRectGetMinY(CGRect r) {
  r = CGRectStandardize(r);
  return r.origin.y;
}
inline double CGRectGetMaxX(CGRect r) {
  r = CGRectStandardize(r);
  return r.origin.x + r.size.width;
}
inline double CGRectGetMaxY(CGRect r) {
  r = CGRectStandardize(r);
  return r.origin.y + r.size.height;
}
inline double CGRectGetMidX(CGRect r) { return (CGRectGetMinX(r) + CGRectGetMaxX(r)) / 2; }
inline double CGRectGetMidY(CGRect r) { return (CGRectGetMinY(r) + CGRectGetMaxY(r)) / 2; }
inline double CGRectGetWidth(CGRect r) { return std::fabs(r.size.width); }
inline double CGRectGetHeight(CGRect r) { return std::fabs(r.size.height); }
inline bool CGRectIsEmpty(CGRect r) { return r.size.width == 0 || r.size.height == 0; }
inline bool CGSizeIsEmpty(CGSize s) { return s.width <= 0 || s.height <= 0; }

inline CGRect CGRectIntersection(CGRect a, CGRect b) {
  a = CGRectStandardize(a);
  b = CGRectStandardize(b);
  double x0 = std::max(a.origin.x, b.origin.x), y0 = std::max(a.origin.y, b.origin.y);
  double x1 = std::min(a.origin.x + a.size.width, b.origin.x + b.size.width);
  double y1 = std::min(a.origin.y + a.size.height, b.origin.y + b.size.height);
  if (x1 <= x0 || y1 <= y0) return CGRectZero;
  return {{x0, y0}, {x1 - x0, y1 - y0}};
}
inline bool CGRectIntersectsRect(CGRect a, CGRect b) { return !CGRectIsEmpty(CGRectIntersection(a, b)); }
inline bool CGRectContainsPoint(CGRect r, CGPoint p) {
  r = CGRectStandardize(r);
  return p.x >= r.origin.x && p.x < r.origin.x + r.size.width && p.y >= r.origin.y && p.y < r.origin.y + r.size.height;
}
inline bool CGRectContainsRect(CGRect outer, CGRect inner) {
  outer = CGRectStandardize(outer);
  inner = CGRectStandardize(inner);
  return inner.origin.x >= outer.origin.x && inner.origin.y >= outer.origin.y &&
         inner.origin.x + inner.size.width <= outer.origin.x + outer.size.width &&
         inner.origin.y + inner.size.height <= outer.origin.y + outer.size.height;
}
inline CGRect CGRectUnion(CGRect a, CGRect b) {
  if (CGRectIsEmpty(a)) return b;
  if (CGRectIsEmpty(b)) return a;
  double x0 = std::min(CGRectGetMinX(a), CGRectGetMinX(b)), y0 = std::min(CGRectGetMinY(a), CGRectGetMinY(b));
  double x1 = std::max(CGRectGetMaxX(a), CGRectGetMaxX(b)), y1 = std::max(CGRectGetMaxY(a), CGRectGetMaxY(b));
  return {{x0, y0}, {x1 - x0, y1 - y0}};
}
inline CGRect CGRectOffset(CGRect r, double dx, double dy) {
  r.origin.x += dx;
  r.origin.y += dy;
  return r;
}
inline CGRect CGRectInset(CGRect r, double dx, double dy) {
  r = CGRectStandardize(r);
  r.origin.x += dx;
  r.origin.y += dy;
  r.size.width -= 2 * dx;
  r.size.height -= 2 * dy;
  if (r.size.width < 0 || r.size.height < 0) return CGRectZero;
  return r;
}
// The smallest rectangle with integral corners that contains r.
inline CGRect CGRectIntegral(CGRect r) {
  r = CGRectStandardize(r);
  double x0 = std::floor(r.origin.x), y0 = std::floor(r.origin.y);
  double x1 = std::ceil(r.origin.x + r.size.width), y1 = std::ceil(r.origin.y + r.size.height);
  return {{x0, y0}, {x1 - x0, y1 - y0}};
}

inline CGAffineTransform CGAffineTransformMake(double a, double b, double c, double d, double tx, double ty) {
  return {a, b, c, d, tx, ty};
}
inline CGAffineTransform CGAffineTransformMakeTranslation(double tx, double ty) { return {1, 0, 0, 1, tx, ty}; }
inline CGAffineTransform CGAffineTransformMakeScale(double sx, double sy) { return {sx, 0, 0, sy, 0, 0}; }
inline CGAffineTransform CGAffineTransformMakeRotation(double angle) {
  double c = std::cos(angle), s = std::sin(angle);
  return {c, s, -s, c, 0, 0};
}
// t1 then t2.
inline CGAffineTransform CGAffineTransformConcat(CGAffineTransform t1, CGAffineTransform t2) {
  return {t1.a * t2.a + t1.b * t2.c, t1.a * t2.b + t1.b * t2.d,           t1.c * t2.a + t1.d * t2.c,
          t1.c * t2.b + t1.d * t2.d, t1.tx * t2.a + t1.ty * t2.c + t2.tx, t1.tx * t2.b + t1.ty * t2.d + t2.ty};
}
inline CGAffineTransform CGAffineTransformTranslate(CGAffineTransform t, double tx, double ty) {
  return CGAffineTransformConcat(CGAffineTransformMakeTranslation(tx, ty), t);
}
inline CGAffineTransform CGAffineTransformScale(CGAffineTransform t, double sx, double sy) {
  return CGAffineTransformConcat(CGAffineTransformMakeScale(sx, sy), t);
}
inline CGAffineTransform CGAffineTransformRotate(CGAffineTransform t, double angle) {
  return CGAffineTransformConcat(CGAffineTransformMakeRotation(angle), t);
}
inline bool CGAffineTransformIsIdentity(CGAffineTransform t) { return t == CGAffineTransformIdentity; }
// A singular transform has no inverse and is returned unchanged.
inline CGAffineTransform CGAffineTransformInvert(CGAffineTransform t) {
  double det = t.a * t.d - t.b * t.c;
  if (det == 0 || !std::isfinite(det)) return t;
  double ia = t.d / det, ib = -t.b / det, ic = -t.c / det, id = t.a / det;
  return {ia, ib, ic, id, -(t.tx * ia + t.ty * ic), -(t.tx * ib + t.ty * id)};
}
inline CGPoint CGPointApplyAffineTransform(CGPoint p, CGAffineTransform t) {
  return {t.a * p.x + t.c * p.y + t.tx, t.b * p.x + t.d * p.y + t.ty};
}
inline CGSize CGSizeApplyAffineTransform(CGSize s, CGAffineTransform t) {
  return {t.a * s.width + t.c * s.height, t.b * s.width + t.d * s.height};
}
// The bounding box of the transformed rectangle.
inline CGRect CGRectApplyAffineTransform(CGRect r, CGAffineTransform t) {
  r = CGRectStandardize(r);
  CGPoint p[4] = {CGPointApplyAffineTransform({CGRectGetMinX(r), CGRectGetMinY(r)}, t),
                  CGPointApplyAffineTransform({CGRectGetMaxX(r), CGRectGetMinY(r)}, t),
                  CGPointApplyAffineTransform({CGRectGetMinX(r), CGRectGetMaxY(r)}, t),
                  CGPointApplyAffineTransform({CGRectGetMaxX(r), CGRectGetMaxY(r)}, t)};
  double x0 = p[0].x, x1 = p[0].x, y0 = p[0].y, y1 = p[0].y;
  for (const auto& q : p) {
    x0 = std::min(x0, q.x);
    x1 = std::max(x1, q.x);
    y0 = std::min(y0, q.y);
    y1 = std::max(y1, q.y);
  }
  return {{x0, y0}, {x1 - x0, y1 - y0}};
}
