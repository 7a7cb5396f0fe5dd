#pragma once
// Regions over engine images: top-left origin, y grows downwards. Rectangles of the layers above
// (CGRect) have a bottom-left origin; the flip happens only in rectRoiFromCGRect/cgRectFromRectROI.
#include <algorithm>
#include <cmath>

#include "QVBase/Geometry.h"

namespace rova {

template <class T>
struct RectRoi_ {
  T x{}, y{}, width{}, height{};
  bool isZero() const { return x == 0 && y == 0 && width == 0 && height == 0; }
  bool isEmpty() const { return width <= 0 || height <= 0; }
  T right() const { return x + width; }
  T bottom() const { return y + height; }
  RectRoi_ intersection(const RectRoi_& o) const {
    T x0 = std::max(x, o.x), y0 = std::max(y, o.y);
    T x1 = std::min(right(), o.right()), y1 = std::min(bottom(), o.bottom());
    if (x1 <= x0 || y1 <= y0) return {};
    return {x0, y0, x1 - x0, y1 - y0};
  }
  bool contains(const RectRoi_& o) const {
    return o.x >= x && o.y >= y && o.right() <= right() && o.bottom() <= bottom();
  }
  friend bool operator==(const RectRoi_&, const RectRoi_&) = default;
};

using RectRoi = RectRoi_<int>;      // whole pixels
using RectRoiF = RectRoi_<double>;  // fractional pixels

// Each value truncated towards zero, as callers that hand whole pixels to the engine expect.
inline RectRoi truncated(const RectRoiF& r) { return {int(r.x), int(r.y), int(r.width), int(r.height)}; }
inline RectRoiF toRectRoiF(const RectRoi& r) { return {double(r.x), double(r.y), double(r.width), double(r.height)}; }

// A bottom-left-origin rectangle over an image of the given height, as a top-left engine region.
inline RectRoiF rectRoiFromCGRect(const CGRect& rect, double imageHeight) {
  CGRect r = CGRectStandardize(rect);
  return {r.origin.x, imageHeight - (r.origin.y + r.size.height), r.size.width, r.size.height};
}
inline RectRoiF rectRoiFromCGRect(const CGRect& rect, const CGSize& imageSize) {
  return rectRoiFromCGRect(rect, imageSize.height);
}
// The inverse of rectRoiFromCGRect.
inline CGRect cgRectFromRectROI(const RectRoiF& roi, double imageHeight) {
  return CGRectMake(roi.x, imageHeight - (roi.y + roi.height), roi.width, roi.height);
}
inline CGRect cgRectFromRectROI(const RectRoiF& roi, const CGSize& imageSize) {
  return cgRectFromRectROI(roi, imageSize.height);
}
inline CGRect cgRectFromRectROI(const RectRoi& roi, double imageHeight) {
  return cgRectFromRectROI(toRectRoiF(roi), imageHeight);
}
inline CGRect cgRectFromRectROI(const RectRoi& roi, const CGSize& imageSize) {
  return cgRectFromRectROI(toRectRoiF(roi), imageSize.height);
}

// Pixel sizes in the engine.
struct Size {
  int width = 0, height = 0;
  bool isZero() const { return width == 0 && height == 0; }
  bool isEmpty() const { return width <= 0 || height <= 0; }
  friend bool operator==(const Size&, const Size&) = default;
};

}  // namespace rova
