#pragma once
// A 2-D affine transform of the engine: x' = a*x + c*y + tx, y' = b*x + d*y + ty.
// translate/scale/rotate/prepend act on a point BEFORE the transform built so far; append acts AFTER it.
#include <cmath>

#include "QVBase/Geometry.h"

namespace rova {

struct AffineTransform {
  float a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;

  static AffineTransform identity() { return {}; }
  static AffineTransform translation(float x, float y) { return {1, 0, 0, 1, x, y}; }
  static AffineTransform scaling(float sx, float sy) { return {sx, 0, 0, sy, 0, 0}; }
  static AffineTransform rotation(float radians) {
    float cs = std::cos(radians), sn = std::sin(radians);
    return {cs, sn, -sn, cs, 0, 0};
  }

  bool isIdentity() const { return a == 1 && b == 0 && c == 0 && d == 1 && tx == 0 && ty == 0; }

  // this = this ∘ t: t is applied to the point first.
  AffineTransform& prepend(const AffineTransform& t) {
    *this = compose(*this, t);
    return *this;
  }
  // this = t ∘ this: t is applied after this transform.
  AffineTransform& append(const AffineTransform& t) {
    *this = compose(t, *this);
    return *this;
  }
  AffineTransform& translate(float x, float y) { return prepend(translation(x, y)); }
  AffineTransform& scale(float sx, float sy) { return prepend(scaling(sx, sy)); }
  AffineTransform& rotate(float radians) { return prepend(rotation(radians)); }

  // The inverse; the identity when the transform cannot be inverted.
  AffineTransform inverted() const {
    double det = double(a) * d - double(b) * c;
    if (std::fabs(det) < 1e-12) return {};
    double ia = d / det, ib = -b / det, ic = -c / det, id = a / det;
    return {float(ia), float(ib), float(ic), float(id), float(-(ia * tx + ic * ty)), float(-(ib * tx + id * ty))};
  }
  bool isInvertible() const { return std::fabs(double(a) * d - double(b) * c) >= 1e-12; }

  void apply(double x, double y, double& ox, double& oy) const {
    ox = a * x + c * y + tx;
    oy = b * x + d * y + ty;
  }

  CGAffineTransform toCG() const { return {a, b, c, d, tx, ty}; }
  static AffineTransform fromCG(const CGAffineTransform& t) {
    return {float(t.a), float(t.b), float(t.c), float(t.d), float(t.tx), float(t.ty)};
  }
  friend bool operator==(const AffineTransform&, const AffineTransform&) = default;

 private:
  // outer ∘ inner: inner first.
  static AffineTransform compose(const AffineTransform& outer, const AffineTransform& inner) {
    return {outer.a * inner.a + outer.c * inner.b,
            outer.b * inner.a + outer.d * inner.b,
            outer.a * inner.c + outer.c * inner.d,
            outer.b * inner.c + outer.d * inner.d,
            outer.a * inner.tx + outer.c * inner.ty + outer.tx,
            outer.b * inner.tx + outer.d * inner.ty + outer.ty};
  }
};

}  // namespace rova
