#include "QVCore/ImageProcessing/Effects/QVRawValueMapper.h"

#include <algorithm>
#include <cmath>

namespace {

// Relative closeness below which the exponential curve is treated as its linear limit.
constexpr double kLinearTolerance = 1e-9;

double linearForward(double x, double top, double center, double bottom) {
  return center + x / 100.0 * (x >= 0 ? top - center : center - bottom);
}

double linearInverse(double v, double top, double center, double bottom) {
  double span = v >= center ? top - center : center - bottom;
  return span == 0 ? 0.0 : 100.0 * (v - center) / span;
}

}  // namespace

QVValueMapper QVRawValueMapper(double top, double center, double bottom) {
  double above = top - center, below = center - bottom, bend = top + bottom - 2 * center;
  double scale = std::max({std::fabs(above), std::fabs(below), 1e-300});
  bool linear = !(above > 0 && below > 0) || std::fabs(bend) <= kLinearTolerance * scale || !std::isfinite(above) ||
                !std::isfinite(below);
  if (linear) {
    return [=](bool inverse, double x) {
      return inverse ? linearInverse(x, top, center, bottom) : linearForward(x, top, center, bottom);
    };
  }
  double ratio = above / below;
  double factor = above * below / bend;
  double logRatio = std::log(ratio);
  double low = std::min(bottom, top), high = std::max(bottom, top);
  return [=](bool inverse, double x) {
    if (!inverse) return factor * (std::pow(ratio, x / 100.0) - 1.0) + center;
    // Values outside the range have no position on the curve: they take the nearest end's.
    double v = std::clamp(x, low, high);
    return 100.0 * std::log(bend * (v - center) / (above * below) + 1.0) / logRatio;
  };
}
