#include "QVCore/Utils/PSRect.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <numbers>
#include <vector>

namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;
constexpr double kRatioEpsilon = 1e-9;
// Slack for points that lie on the bounds up to rounding.
constexpr double kBoundsEpsilon = 1e-9;

double roundToWhole(double v) { return std::round(static_cast<float>(v)); }

bool isConformed(CGSize conformed, double w, double h) {
  return std::fabs(conformed.width - w) <= kRatioEpsilon && std::fabs(conformed.height - h) <= kRatioEpsilon;
}

CGPoint plus(CGPoint p, CGPoint v, double k) { return {p.x + v.x * k, p.y + v.y * k}; }

// The zone's place in the frame's own unit square: (0, 0) is a, (1, 1) is c.
std::optional<CGPoint> zoneUnitPosition(int32_t zone) {
  switch (zone) {
    case 0:
      return CGPoint{0, 0};
    case 1:
      return CGPoint{0, 1};
    case 2:
      return CGPoint{1, 1};
    case 3:
      return CGPoint{1, 0};
    case 4:
      return CGPoint{0, 0.5};
    case 5:
      return CGPoint{0.5, 1};
    case 6:
      return CGPoint{1, 0.5};
    case 7:
      return CGPoint{0.5, 0};
    case 8:
    case 9:
    case 10:
      return CGPoint{0.5, 0.5};
    default:
      return std::nullopt;
  }
}

// alpha·W + beta·H <= gamma over the frame's width W and height H.
struct HalfPlane {
  double alpha, beta, gamma;
  double excess(CGPoint p) const { return alpha * p.x + beta * p.y - gamma; }
};

// Clips a convex polygon (possibly a segment or a point) in the (W, H) plane by a half-plane.
std::vector<CGPoint> clip(const std::vector<CGPoint>& poly, const HalfPlane& h) {
  std::vector<CGPoint> out;
  const size_t n = poly.size();
  if (n == 1) {
    if (h.excess(poly[0]) <= kBoundsEpsilon) out.push_back(poly[0]);
    return out;
  }
  for (size_t i = 0; i < n; ++i) {
    const CGPoint& p = poly[i];
    const CGPoint& q = poly[(i + 1) % n];
    const double ep = h.excess(p), eq = h.excess(q);
    const bool pin = ep <= kBoundsEpsilon, qin = eq <= kBoundsEpsilon;
    if (pin) out.push_back(p);
    if (pin != qin) {
      const double t = ep / (ep - eq);
      out.push_back({p.x + (q.x - p.x) * t, p.y + (q.y - p.y) * t});
    }
  }
  return out;
}

CGPoint nearestOnSegment(CGPoint p, CGPoint q, CGPoint target) {
  const double vx = q.x - p.x, vy = q.y - p.y, len2 = vx * vx + vy * vy;
  if (len2 == 0) return p;
  const double t = std::clamp(((target.x - p.x) * vx + (target.y - p.y) * vy) / len2, 0.0, 1.0);
  return {p.x + vx * t, p.y + vy * t};
}

// The point of a non-empty convex polygon nearest to the target.
CGPoint nearestInPolygon(const std::vector<CGPoint>& poly, CGPoint target) {
  CGPoint best = poly[0];
  double bestDistance = INFINITY;
  for (size_t i = 0; i < poly.size(); ++i) {
    CGPoint p = nearestOnSegment(poly[i], poly[(i + 1) % poly.size()], target);
    double distance = std::hypot(p.x - target.x, p.y - target.y);
    if (distance < bestDistance) {
      bestDistance = distance;
      best = p;
    }
  }
  return best;
}

}  // namespace

PSRect::PSRect(CGRect rect, CGSize ratio, bool /*keepOrientation*/) {
  rect = CGRectStandardize(rect);
  a_ = {CGRectGetMinX(rect), CGRectGetMinY(rect)};
  b_ = {CGRectGetMinX(rect), CGRectGetMaxY(rect)};
  c_ = {CGRectGetMaxX(rect), CGRectGetMaxY(rect)};
  d_ = {CGRectGetMaxX(rect), CGRectGetMinY(rect)};
  if (ratio == CGSize{FLT_MAX, FLT_MAX} || ratio == CGSize{-FLT_MAX, -FLT_MAX}) ratio = rect.size;
  const double larger = std::max(ratio.width, ratio.height);
  // A ratio without proportions (a zero, negative or non-finite side) would put inf or NaN into
  // the corners: it counts as free.
  if (ratio.width > 0 && ratio.height > 0 && std::isfinite(larger)) {
    aspectRatio_ = {ratio.width / larger, ratio.height / larger};
  } else {
    aspectRatio_ = {0, 0};
  }
}

std::shared_ptr<PSRect> PSRect::rectWithCGRect(CGRect rect, CGSize aspectRatio, bool keepOrientation) {
  return std::make_shared<PSRect>(rect, aspectRatio, keepOrientation);
}

double PSRect::minX() const { return std::min({a_.x, b_.x, c_.x, d_.x}); }
double PSRect::maxX() const { return std::max({a_.x, b_.x, c_.x, d_.x}); }
double PSRect::minY() const { return std::min({a_.y, b_.y, c_.y, d_.y}); }
double PSRect::maxY() const { return std::max({a_.y, b_.y, c_.y, d_.y}); }
CGRect PSRect::boundingRect() const { return {{minX(), minY()}, {maxX() - minX(), maxY() - minY()}}; }

CGPoint PSRect::rotatePoint(CGPoint p, CGPoint o, double sine, double cosine) {
  return {roundToWhole((p.x - o.x) * cosine - (p.y - o.y) * sine + o.x),
          roundToWhole((p.y - o.y) * cosine + (p.x - o.x) * sine + o.y)};
}

void PSRect::rotatePoints(double angle) {
  const CGPoint centre = pointBetweenPoint1(a_, c_);
  const double s = std::sin(angle), co = std::cos(angle);
  a_ = rotatePoint(a_, centre, s, co);
  b_ = rotatePoint(b_, centre, s, co);
  c_ = rotatePoint(c_, centre, s, co);
  d_ = rotatePoint(d_, centre, s, co);
}

void PSRect::setRotation(double rotation) {
  if (!std::isfinite(rotation) || rotation == rotation_) return;
  if (std::fabs(rotation) > 64 * kTwoPi) rotation = std::fmod(rotation, kTwoPi);
  while (rotation < 0) rotation += kTwoPi;
  while (rotation > kTwoPi) rotation -= kTwoPi;
  // The same angle written another way would only add rounding to the corners.
  if (rotation == rotation_) return;
  rotatePoints(-rotation_);
  rotatePoints(rotation);
  rotation_ = rotation;
  sin_ = std::sin(rotation);
  cos_ = std::cos(rotation);
}

std::optional<CGPoint> PSRect::pointAtZone(int32_t zone) const {
  switch (zone) {
    case 0:
      return a_;
    case 1:
      return b_;
    case 2:
      return c_;
    case 3:
      return d_;
    case 4:
      return pointBetweenPoint1(a_, b_);
    case 5:
      return pointBetweenPoint1(b_, c_);
    case 6:
      return pointBetweenPoint1(c_, d_);
    case 7:
      return pointBetweenPoint1(a_, d_);
    case 8:
    case 9:
    case 10:
      return pointBetweenPoint1(a_, c_);
    default:
      return std::nullopt;
  }
}

void PSRect::swapAspectRatioAscending(bool ascending) {
  if (aspectRatioLocked_) return;
  const double lo = std::min(aspectRatio_.width, aspectRatio_.height);
  const double hi = std::max(aspectRatio_.width, aspectRatio_.height);
  aspectRatio_ = ascending ? CGSize{lo, hi} : CGSize{hi, lo};
}

void PSRect::addTranslation(double dx, double dy) {
  addSimpleTranslation(dx * cos_ - dy * sin_, dx * sin_ + dy * cos_);
}

void PSRect::addSimpleTranslation(double dx, double dy) {
  for (CGPoint* p : {&a_, &b_, &c_, &d_}) {
    p->x += dx;
    p->y += dy;
  }
}

CGSize PSRect::ratioConformedSize(double w, double h) const {
  if (!ratioIsSet() || !(w > 0) || !(h > 0)) return {w, h};
  const double rw = aspectRatio_.width, rh = aspectRatio_.height;
  switch (anchorPoint_) {
    case 0:
    case 1:
    case 2:
    case 3:
      if (h <= w) {
        const double t = rw * h / rh;
        return {std::min(w, t), h * std::min(1.0, w / t)};
      } else {
        const double t = rh * w / rw;
        return {w * std::min(1.0, h / t), std::min(h, t)};
      }
    case 4:
    case 6:
      return {w, rh * w / rw};
    case 5:
    case 7:
      return {rw * h / rh, h};
    default:
      return {w, h};
  }
}

void PSRect::addOffset(CGSize offset) {
  const double dx = offset.width, dy = offset.height;
  if (!std::isfinite(dx) || !std::isfinite(dy)) return;
  const std::optional<CGPoint> before = pointAtZone(anchorPoint_);
  const CGPoint u{cos_, sin_}, v{-sin_, cos_};
  // A positive offset grows the frame away from c.
  CGPoint a = plus(plus(a_, u, -dx), v, -dy), b = plus(b_, u, -dx), c = c_, d = plus(d_, v, -dy);
  if (ratioIsSet()) {
    const double w = distanceBetweenPoint1(a, d), h = distanceBetweenPoint1(a, b);
    if (anchorPoint_ >= 0 && anchorPoint_ <= 3) swapAspectRatioAscending(h > w);
    const CGSize conformed = ratioConformedSize(w, h);
    if (std::fabs(w - conformed.width) > kRatioEpsilon) {
      a = plus(a, u, w - conformed.width);
      b = plus(b, u, w - conformed.width);
    } else if (std::fabs(h - conformed.height) > kRatioEpsilon) {
      b = plus(b, v, -(h - conformed.height));
      c = plus(c, v, -(h - conformed.height));
    }
  }
  a_ = a;
  b_ = b;
  c_ = c;
  d_ = d;
  const std::optional<CGPoint> after = pointAtZone(anchorPoint_);
  if (before && after) addSimpleTranslation(before->x - after->x, before->y - after->y);
}

void PSRect::getCGRect(CGRect* rect, double* rotation) const {
  if (rect) {
    const CGPoint origin = rotatePoint(a_, pointBetweenPoint1(a_, c_), -sin_, cos_);
    *rect = {origin, {roundToWhole(width()), roundToWhole(height())}};
  }
  if (rotation) *rotation = rotation_;
}

void PSRect::constrainByRect(CGRect bounds, double minSide) {
  bounds = CGRectStandardize(bounds);
  if (!(bounds.size.width > 0) || !(bounds.size.height > 0) || !std::isfinite(bounds.size.width) ||
      !std::isfinite(bounds.size.height) || !std::isfinite(bounds.origin.x) || !std::isfinite(bounds.origin.y) ||
      !std::isfinite(minSide))
    return;
  minSide = std::max(0.0, minSide);
  aspectRatioLocked_ = true;
  if (anchorPoint_ >= 0 && anchorPoint_ <= 7) {
    // Corners rounded by a rotation are not exactly square to the frame's axes, so the lengths a
    // resize measures differ from the planned ones by a hair; a second pass takes up the rest.
    bool kept = true;
    for (int pass = 0; pass < 3 && kept; ++pass) {
      kept = constrainAboutAnchor(bounds, minSide);
      if (CGRectContainsRect(CGRectInset(bounds, -kBoundsEpsilon, -kBoundsEpsilon), boundingRect())) break;
    }
    if (!kept) {
      // The anchor itself lies outside: it cannot be kept, so the frame is fitted about its centre.
      const int32_t anchor = anchorPoint_;
      anchorPoint_ = kDefaultAnchor;
      constrainAboutCentre(bounds);
      anchorPoint_ = anchor;
    }
  } else {
    constrainAboutCentre(bounds);
  }
  aspectRatioLocked_ = false;
}

void PSRect::constrainAboutCentre(CGRect bounds) {
  if (ratioIsSet()) {
    const double w = width(), h = height(), rw = aspectRatio_.width, rh = aspectRatio_.height;
    const bool heightFollowsWidth = anchorPoint_ == 8 || (anchorPoint_ != 9 && rw > rh);
    if (heightFollowsWidth) {
      addOffset({0, w * rh / rw - h});
    } else {
      addOffset({h * rw / rh - w, 0});
    }
  }
  double s = 1;
  const double bw = maxX() - minX(), bh = maxY() - minY();
  if (bw > 0) s = std::min(s, bounds.size.width / bw);
  if (bh > 0) s = std::min(s, bounds.size.height / bh);
  if (1 - s != 0) addOffset({-(1 - s) * width(), -(1 - s) * height()});
  const double left = std::max(0.0, CGRectGetMinX(bounds) - minX());
  const double right = std::max(0.0, maxX() - CGRectGetMaxX(bounds));
  const double top = std::max(0.0, CGRectGetMinY(bounds) - minY());
  const double bottom = std::max(0.0, maxY() - CGRectGetMaxY(bounds));
  if (left - right == 0 && top - bottom == 0) return;
  addSimpleTranslation(left - right, top - bottom);
}

// The frame keeps its anchor and shrinks by one addOffset. A resize by (dW, dH) moves each corner
// by (its unit position − the anchor's)·(dW·u + dH·v), u and v the frame's axes, so every corner
// stays inside the bounds as long as (W, H) satisfies sixteen linear inequalities. Shrinking a
// frame about its anchor keeps it inside the frame it was, so the sizes that fit form a convex
// region that also holds every smaller size: with a set ratio the frame takes the largest size
// along its ratio that fits; with a free ratio the size that fits nearest to the dragged one, the
// side that the drag did not move left alone for edge anchors and no side shrunk below minSide
// where the bounds allow it.
bool PSRect::constrainAboutAnchor(CGRect bounds, double minSide) {
  const CGPoint anchor = *pointAtZone(anchorPoint_);
  if (anchor.x < CGRectGetMinX(bounds) - kBoundsEpsilon || anchor.x > CGRectGetMaxX(bounds) + kBoundsEpsilon ||
      anchor.y < CGRectGetMinY(bounds) - kBoundsEpsilon || anchor.y > CGRectGetMaxY(bounds) + kBoundsEpsilon)
    return false;
  const CGPoint unitAnchor = *zoneUnitPosition(anchorPoint_);
  const CGPoint u{cos_, sin_}, v{-sin_, cos_};
  const double w1 = width(), h1 = height();
  std::vector<HalfPlane> planes;
  const CGPoint corners[4] = {a_, b_, c_, d_};
  const CGPoint units[4] = {{0, 0}, {0, 1}, {1, 1}, {1, 0}};
  for (int i = 0; i < 4; ++i) {
    const double xi = units[i].x - unitAnchor.x, eta = units[i].y - unitAnchor.y;
    // coordinate = base + alpha·W + beta·H
    const double ax = xi * u.x, bx = eta * v.x, ay = xi * u.y, by = eta * v.y;
    const double baseX = corners[i].x - ax * w1 - bx * h1, baseY = corners[i].y - ay * w1 - by * h1;
    planes.push_back({ax, bx, CGRectGetMaxX(bounds) - baseX});
    planes.push_back({-ax, -bx, baseX - CGRectGetMinX(bounds)});
    planes.push_back({ay, by, CGRectGetMaxY(bounds) - baseY});
    planes.push_back({-ay, -by, baseY - CGRectGetMinY(bounds)});
  }
  const CGPoint dragged{w1, h1};
  if (std::all_of(planes.begin(), planes.end(),
                  [&](const HalfPlane& h) { return h.excess(dragged) <= kBoundsEpsilon; }) &&
      isConformed(ratioConformedSize(w1, h1), w1, h1))
    return true;

  CGPoint target;
  if (ratioIsSet()) {
    const CGSize shape = ratioConformedSize(w1, h1);
    if (!(shape.width > 0) || !(shape.height > 0)) return false;
    double lo = 0, hi = 1;
    for (const HalfPlane& h : planes) {
      const double g = h.alpha * shape.width + h.beta * shape.height;
      if (g > 0)
        hi = std::min(hi, h.gamma / g);
      else if (g < 0)
        lo = std::max(lo, h.gamma / g);
      else if (h.gamma < -kBoundsEpsilon)
        return false;
    }
    if (hi < lo) return false;
    target = {hi * shape.width, hi * shape.height};
  } else {
    auto fit = [&](double loW, double loH, bool keepW, bool keepH) -> std::optional<CGPoint> {
      if (keepW) loW = w1;
      if (keepH) loH = h1;
      std::vector<CGPoint> poly;
      if (loW == w1 && loH == h1)
        poly = {dragged};
      else if (loW == w1)
        poly = {{w1, loH}, dragged};
      else if (loH == h1)
        poly = {{loW, h1}, dragged};
      else
        poly = {{loW, loH}, {loW, h1}, dragged, {w1, loH}};
      for (const HalfPlane& h : planes) {
        poly = clip(poly, h);
        if (poly.empty()) return std::nullopt;
      }
      return nearestInPolygon(poly, dragged);
    };
    const double loW = std::min(minSide, w1), loH = std::min(minSide, h1);
    const bool edgeAcross = anchorPoint_ == 4 || anchorPoint_ == 6;  // the drag moves the width
    const bool edgeAlong = anchorPoint_ == 5 || anchorPoint_ == 7;   // the drag moves the height
    std::optional<CGPoint> found;
    if (edgeAcross || edgeAlong) found = fit(loW, loH, edgeAlong, edgeAcross);
    if (!found) found = fit(loW, loH, false, false);
    if (!found) found = fit(0, 0, false, false);
    if (!found) return false;
    target = *found;
  }
  addOffset({target.x - w1, target.y - h1});
  return true;
}
