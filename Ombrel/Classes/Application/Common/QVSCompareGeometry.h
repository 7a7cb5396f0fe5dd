#pragma once
// The split line's arithmetic in one place, as pure functions of the compare view's width, its
// origin, the split-line strip's width and the line's own width: where the line may stand, where a
// split factor puts it, which factor a drag to a point gives, and where the curtain lets it rest.
//
// Offsets are the line centre's distance from the view's horizontal centre (positive: right).
#include <cstdint>
#include <optional>

struct QVSplitPositionRange {
  uint64_t location = 0;
  uint64_t length = UINT64_MAX;
  bool operator==(const QVSplitPositionRange&) const = default;
  bool contains(uint64_t position) const { return location <= position && position - location < length; }
};

namespace QVSCompareGeometry {
// The stretch the line may stand in: a margin of floor(offsetRatio x width) kept free, the strip's
// width left out.
QVSplitPositionRange allowedRange(double width, double originX, double stripWidth, double offsetRatio);
// The usable width: min(width, range length), whole points.
uint64_t usableWidth(double width, const QVSplitPositionRange& range);
// The line centre's offset for a factor, kept within half the line width of either edge; mirrored
// in a right-to-left layout (the factor then counts from the right edge).
double offsetForFactor(double factor, double width, double lineWidth, const QVSplitPositionRange& range,
                       bool rightToLeft);
// The line centre's x (view space) for an offset.
inline double centreForOffset(double offset, double width, double originX) { return originX + width * 0.5 + offset; }
// The factor for a line centre dragged to x (view space); none while the usable width is 0, so a
// drag then changes nothing. In a right-to-left layout x is mirrored first, so the line follows the
// pointer.
std::optional<double> factorForPosition(double x, double width, double originX, double stripWidth,
                                        const QVSplitPositionRange& range, bool rightToLeft);
// Where the curtain leaves the line: a third of the width in (two thirds right to left) plus the
// line width, as an offset.
double curtainRestOffset(double width, double lineWidth, bool rightToLeft);
}  // namespace QVSCompareGeometry
