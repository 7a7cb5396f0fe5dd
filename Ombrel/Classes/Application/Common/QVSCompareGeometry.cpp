#include "Ombrel/Classes/Application/Common/QVSCompareGeometry.h"

#include <algorithm>
#include <cmath>

namespace QVSCompareGeometry {

QVSplitPositionRange allowedRange(double width, double originX, double stripWidth, double offsetRatio) {
  const double s = std::floor(offsetRatio * width);
  const double location = std::max(0.0, 0.5 * s + originX + stripWidth);
  const double length = std::max(0.0, width - stripWidth - s);
  return {uint64_t(location), uint64_t(length)};
}

uint64_t usableWidth(double width, const QVSplitPositionRange& range) {
  return uint64_t(std::min(std::max(0.0, width), double(range.length)));
}

double offsetForFactor(double factor, double width, double lineWidth, const QVSplitPositionRange& range,
                       bool rightToLeft) {
  const double m = double(usableWidth(width, range));
  const double p = std::floor(factor * m) + double(range.location);
  const double h = std::floor(width * 0.5);
  const double e = std::floor(lineWidth * 0.5);
  const double limit = std::max(0.0, h - e);
  const double offset = std::clamp(p - h, -limit, limit);
  return rightToLeft ? -offset : offset;
}

std::optional<double> factorForPosition(double x, double width, double originX, double stripWidth,
                                        const QVSplitPositionRange& range, bool rightToLeft) {
  const double m = double(usableWidth(width, range));
  if (m <= 0) return std::nullopt;
  if (rightToLeft) x = 2 * (originX + width * 0.5) - x;
  const double loc = double(range.location);
  double q = std::max(x + stripWidth, loc) - stripWidth;
  q = std::min(loc + m, q);
  return (q - loc) / m;
}

double curtainRestOffset(double width, double lineWidth, bool rightToLeft) {
  const double t = rightToLeft ? 2 * (width / 3) : width / 3;
  const double offset = width * -0.5 + t + lineWidth;
  return rightToLeft ? -offset : offset;
}

}  // namespace QVSCompareGeometry
