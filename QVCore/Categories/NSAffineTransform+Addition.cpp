#include "QVCore/Categories/NSAffineTransform+Addition.h"

#include <cmath>
#include <numbers>

namespace NSAffineTransformAddition {

namespace {

double member(const qv::Value& dictionary, const char* key) {
  const qv::Value* v = dictionary.find(key);
  if (!v || !(v->isInteger() || v->isReal())) return 0;
  double d = v->asDouble();
  return std::isfinite(d) ? static_cast<float>(d) : 0.0;
}

}  // namespace

CGAffineTransform affineTransformFromDictionary(const qv::Value& dictionary) {
  return {member(dictionary, kM11Key), member(dictionary, kM12Key), member(dictionary, kM21Key),
          member(dictionary, kM22Key), member(dictionary, kTXKey),  member(dictionary, kTYKey)};
}

qv::Value dictionary(const CGAffineTransform& t) {
  qv::Value d;
  d.set(kM11Key, static_cast<float>(t.a));
  d.set(kM12Key, static_cast<float>(t.b));
  d.set(kM21Key, static_cast<float>(t.c));
  d.set(kM22Key, static_cast<float>(t.d));
  d.set(kTXKey, static_cast<float>(t.tx));
  d.set(kTYKey, static_cast<float>(t.ty));
  return d;
}

std::optional<CGAffineTransform> affineTransformForTransformPoints(const std::array<CGPoint, 3>& p,
                                                                   const std::array<CGPoint, 3>& q) {
  const double a = p[0].x - p[1].x, b = p[0].x - p[2].x;
  const double c = p[0].y - p[2].y, d = p[0].y - p[1].y;
  const double det = a * c - d * b;
  // Collinear source points leave the transform undetermined; dividing would give inf or NaN.
  // The threshold is relative to the spread of the points so that scale does not matter.
  const double spread = std::max({std::fabs(a), std::fabs(b), std::fabs(c), std::fabs(d)});
  if (!std::isfinite(det) || spread == 0 || std::fabs(det) <= 1e-12 * spread * spread) return std::nullopt;
  CGAffineTransform t;
  t.a = (c * (q[0].x - q[1].x) - d * (q[0].x - q[2].x)) / det;
  t.b = (c * (q[0].y - q[1].y) - d * (q[0].y - q[2].y)) / det;
  t.c = (a * (q[0].x - q[2].x) - b * (q[0].x - q[1].x)) / det;
  t.d = (a * (q[0].y - q[2].y) - b * (q[0].y - q[1].y)) / det;
  t.tx = q[0].x - p[0].x * t.a - p[0].y * t.c;
  t.ty = q[0].y - p[0].x * t.b - p[0].y * t.d;
  if (!std::isfinite(t.a) || !std::isfinite(t.b) || !std::isfinite(t.c) || !std::isfinite(t.d) ||
      !std::isfinite(t.tx) || !std::isfinite(t.ty))
    return std::nullopt;
  return t;
}

bool obtainScale(const CGAffineTransform& t, CGSize* scale, double* rotation) {
  double sx = std::sqrt(t.a * t.a + t.b * t.b);
  const double sy = std::sqrt(t.c * t.c + t.d * t.d);
  // A collapsed axis has no direction to measure an angle from.
  if (!(sx > 0) || !(sy > 0) || !std::isfinite(sx) || !std::isfinite(sy)) return false;
  if (t.a * t.d < 0 || t.b * t.c > 0) sx = -sx;  // a reflection
  const double a1 = std::atan2(t.b / sx, t.a / sx);
  const double a2 = std::atan2(-t.c / sy, t.d / sy);
  double angle;
  if (std::fabs(a1 - a2) < 0.001) {
    angle = (a1 + a2) / 2;
  } else if (std::fabs(std::fabs(a1 - a2) - 2 * std::numbers::pi) < 0.001) {
    angle = std::numbers::pi;
  } else {
    return false;  // a shear
  }
  if (scale) *scale = {sx, sy};
  if (rotation) *rotation = angle;
  return true;
}

void updateTransform(CGAffineTransform* t, CGSize preferredSize, CGSize size, bool forInitialLayer) {
  if (!t || preferredSize == size) return;
  auto usable = [](CGSize s) {
    return s.width > 0 && s.height > 0 && std::isfinite(s.width) && std::isfinite(s.height);
  };
  if (!usable(preferredSize) || !usable(size)) return;
  const double sx = size.width / preferredSize.width, sy = size.height / preferredSize.height;
  if (!forInitialLayer) *t = CGAffineTransformScale(*t, sx, sy);
  t->tx *= sx;
  t->ty *= sy;
}

}  // namespace NSAffineTransformAddition
