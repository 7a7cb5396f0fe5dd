#pragma once
// Per-corner rounding: a corner mask and four radii (in on-screen terms: top left is the corner at
// the top left of the screen, whatever the coordinate system).
#include <QPainterPath>
#include <QPixmap>
#include <QRectF>
#include <QRegion>
#include <cstdint>

struct QVCornerRadii {
  double topLeft = 0, topRight = 0, bottomRight = 0, bottomLeft = 0;
};
inline QVCornerRadii QVSMakeCornerRadii(double topLeft, double topRight, double bottomRight, double bottomLeft) {
  return {topLeft, topRight, bottomRight, bottomLeft};
}
inline bool QVSCornerRadiiIsEqual(const QVCornerRadii& a, const QVCornerRadii& b) {
  return a.topLeft == b.topLeft && a.topRight == b.topRight && a.bottomRight == b.bottomRight &&
         a.bottomLeft == b.bottomLeft;
}

// Bits of the corner mask; 15 rounds all four.
enum QVRectCorner : uint64_t {
  kQVRectCornerTopLeft = 1,
  kQVRectCornerTopRight = 2,
  kQVRectCornerBottomRight = 4,
  kQVRectCornerBottomLeft = 8,
  kQVRectCornerAll = 15,
};

struct QVRoundParams {
  uint64_t corners = 0;
  QVCornerRadii radii;
  // True when the params round anything: some corner named and some radius above zero.
  bool roundsAnything() const { return corners != 0 && !QVSCornerRadiiIsEqual(radii, QVCornerRadii{}); }
};

// The rectangle (Qt space) with the named corners rounded; radii are clamped to half the shorter
// side so neighbouring corners never overlap.
QPainterPath QVRoundedRectPath(const QRectF& rect, const QVRoundParams& params);
// All four corners rounded with one radius.
QPainterPath QVRoundedRectPath(const QRectF& rect, double radius);
// The rounded rectangle as a region of whole pixels: the shape a translucent window is cut to
// where no compositor blends it (its transparent corners would show black).
QRegion QVRoundedRectRegion(const QRect& rect, const QVRoundParams& params);

// A copy of the picture (device pixel ratio kept) with everything outside the path (in the
// picture's logical space) made transparent; the path's edge is antialiased.
QPixmap QVClipPixmapToPath(const QPixmap& picture, const QPainterPath& path);
