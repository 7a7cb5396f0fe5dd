#pragma once
// What the mask brush and the clone brush share: the soft round dab's strength and the placing of
// dabs along a stroke at a quarter-radius spacing.
#include <algorithm>
#include <climits>
#include <cmath>
#include <functional>

namespace rova::dabs {

inline double smoothstep(double t) {
  t = std::clamp(t, 0.0, 1.0);
  return t * t * (3 - 2 * t);
}

// Strength at distance d from a dab's centre: full inside the hard core, falling smoothly to 0 at
// the rim.
inline double falloff(double d, double radius, double softness) {
  if (d >= radius) return 0;
  const double inner = radius * (1 - std::clamp(softness, 0.0, 1.0));
  if (d <= inner) return 1;
  return smoothstep((radius - d) / (radius - inner));
}

inline bool allFinite(std::initializer_list<double> values) {
  return std::all_of(values.begin(), values.end(), [](double v) { return std::isfinite(v); });
}

// Places dabs along the points of one stroke (pixel coordinates): one at the first point, then one
// every `spacing` pixels of path, carrying the remainder from segment to segment.
class Spacer {
 public:
  void reset() { started_ = false; }
  bool started() const { return started_; }
  // Calls dab(x, y) for each dab up to (x, y); returns whether any call returned true.
  bool moveTo(double x, double y, double spacing, const std::function<bool(double, double)>& dab) {
    bool changed = false;
    if (!started_) {
      changed = dab(x, y);
      started_ = true;
      carry_ = 0;
    } else {
      const double dx = x - lastX_, dy = y - lastY_, length = std::hypot(dx, dy);
      double pos = spacing - carry_;
      for (; pos <= length; pos += spacing) {
        const double t = length > 0 ? pos / length : 0;
        changed |= dab(lastX_ + dx * t, lastY_ + dy * t);
      }
      carry_ = length - (pos - spacing);
    }
    lastX_ = x, lastY_ = y;
    return changed;
  }

 private:
  bool started_ = false;
  double lastX_ = 0, lastY_ = 0, carry_ = 0;
};

// Changed-pixel bounds gathered from parallel bands.
struct Bounds {
  int x0 = INT_MAX, y0 = INT_MAX, x1 = -1, y1 = -1;
  void add(int x, int y) {
    x0 = std::min(x0, x);
    y0 = std::min(y0, y);
    x1 = std::max(x1, x + 1);
    y1 = std::max(y1, y + 1);
  }
  void merge(const Bounds& o) {
    x0 = std::min(x0, o.x0);
    y0 = std::min(y0, o.y0);
    x1 = std::max(x1, o.x1);
    y1 = std::max(y1, o.y1);
  }
  bool any() const { return x1 > x0 && y1 > y0; }
};

}  // namespace rova::dabs
