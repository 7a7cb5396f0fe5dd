#pragma once
// The geometry of an interactive crop frame: a rectangle that turns about its centre, is resized
// by dragging a corner or an edge while a chosen point (the anchor) stays put, can be held to an
// aspect ratio, and can be pushed back inside bounds with a minimum side.
//
// Corners: unrotated, a = (minX, minY), b = (minX, maxY), c = (maxX, maxY), d = (maxX, minY); a–d
// is the width side, a–b the height side. Anchor zones: 0..3 the corners a, b, c, d; 4..7 the
// middles of a–b, b–c, c–d, a–d; 8, 9, 10 the centre (they differ only in how constrainByRect
// fits the ratio); other zones have no point.
#include <cstdint>
#include <memory>
#include <optional>

#include "QVBase/Geometry.h"

class PSRect {
 public:
  static constexpr int32_t kDefaultAnchor = 10;
  static constexpr double kDefaultMinSide = 18;

  // ratio (0, 0) is free; (FLT_MAX, FLT_MAX) or its negation takes the rectangle's own
  // proportions. The ratio is stored with its larger component 1; a ratio without proportions
  // (a zero or non-finite side) counts as free. keepOrientation has no effect.
  PSRect(CGRect rect, CGSize aspectRatio, bool keepOrientation = false);
  static std::shared_ptr<PSRect> rectWithCGRect(CGRect rect, CGSize aspectRatio, bool keepOrientation = false);
  std::shared_ptr<PSRect> copy() const { return std::make_shared<PSRect>(*this); }

  CGPoint a() const { return a_; }
  CGPoint b() const { return b_; }
  CGPoint c() const { return c_; }
  CGPoint d() const { return d_; }
  double rotation() const { return rotation_; }
  double sin() const { return sin_; }
  double cos() const { return cos_; }
  CGSize aspectRatio() const { return aspectRatio_; }
  bool aspectRatioLocked() const { return aspectRatioLocked_; }
  int32_t anchorPoint() const { return anchorPoint_; }
  void setAnchorPoint(int32_t zone) { anchorPoint_ = zone; }

  double minX() const;
  double maxX() const;
  double minY() const;
  double maxY() const;
  CGRect boundingRect() const;

  // Turns the frame about its centre to the angle (radians, kept in 0 to 2π). Corners are
  // rounded to whole numbers. A non-finite angle is ignored.
  void setRotation(double rotation);
  // Resizes by (dx, dy) in the frame's own axes, the ratio applied, the anchor kept in place.
  void addOffset(CGSize offset);
  // Moves the frame along its own axes / along the outer axes.
  void addTranslation(double dx, double dy);
  void addSimpleTranslation(double dx, double dy);
  // Orders the ratio portrait (true: smaller component first) or landscape, unless locked.
  void swapAspectRatioAscending(bool ascending);

  // Brings the frame back inside the bounds. Corner and edge anchors stay where they are and the
  // frame shrinks towards them, no side below minSide where the bounds allow it; centre anchors
  // shrink about the centre and then move inside. Empty bounds leave the frame unchanged.
  void constrainByRect(CGRect bounds) { constrainByRect(bounds, kDefaultMinSide); }
  void constrainByRect(CGRect bounds, double minSide);

  // The unrotated rectangle (whole numbers) and the rotation; either pointer may be null.
  void getCGRect(CGRect* rect, double* rotation) const;

  std::optional<CGPoint> pointAtZone(int32_t zone) const;

  static CGPoint pointBetweenPoint1(CGPoint p1, CGPoint p2) { return {(p1.x + p2.x) / 2, (p1.y + p2.y) / 2}; }
  static double distanceBetweenPoint1(CGPoint p1, CGPoint p2) { return std::hypot(p2.x - p1.x, p2.y - p1.y); }
  // Turns p about origin, each coordinate rounded to a whole number.
  static CGPoint rotatePoint(CGPoint p, CGPoint origin, double sine, double cosine);
  CGPoint rotatePoint(CGPoint p, CGPoint origin) const { return rotatePoint(p, origin, sin_, cos_); }
  // Turns the four corners by the angle about the centre.
  void rotatePoints(double angle);

 private:
  double width() const { return distanceBetweenPoint1(a_, d_); }
  double height() const { return distanceBetweenPoint1(a_, b_); }
  bool ratioIsSet() const { return aspectRatio_.width != 0 || aspectRatio_.height != 0; }
  // The size the ratio makes of a working size for the current anchor (the ratio not reordered).
  CGSize ratioConformedSize(double w, double h) const;
  void constrainAboutCentre(CGRect bounds);
  // Corner and edge anchors; false when the anchor itself lies outside the bounds.
  bool constrainAboutAnchor(CGRect bounds, double minSide);

  CGPoint a_, b_, c_, d_;
  double rotation_ = 0, sin_ = 0, cos_ = 1;
  CGSize aspectRatio_;
  bool aspectRatioLocked_ = false;
  int32_t anchorPoint_ = kDefaultAnchor;
};
