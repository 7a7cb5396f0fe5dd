#pragma once
// Draws into a mask: strokes of soft round dabs, linear and radial gradients, clear, fill and
// invert. Points and gradient positions are relative to the canvas (0..1, origin top-left); radii
// are relative to the canvas's longer side. Not thread-safe: one caller (the layer's processing
// queue) at a time.
//
// Within one stroke a pixel takes the strongest dab that covered it, not the sum of all dabs, so
// dense spacing or slow pointer movement does not darken a stroke beyond its opacity.
#include <cstdint>
#include <vector>

#include "rova/MaskImage.h"
#include "rova/RectRoi.h"
#include "rova/masks/Dabs.h"

namespace rova {

enum class BrushMode : uint32_t {
  Paint = 0,  // raises the mask towards 1 by the dab's strength
  Erase = 1,  // lowers the mask towards 0 by the dab's strength
  // Moves the mask towards the brush opacity from either side, by the dab's softness falloff:
  // evens out a mask at one level (a 50 % brush levels both painted and empty areas to 0.5).
  Level = 2,
};

class BrushController {
 public:
  // Paints into this mask's values (shared with the layer).
  explicit BrushController(MaskImagePtr mask);

  const MaskImagePtr& mask() const { return mask_; }
  BrushMode brushMode() const { return mode_; }
  void setBrushMode(BrushMode mode) { mode_ = mode; }

  // Keeps the mask as it is now, so cancelStroke() can restore it and dabs do not accumulate.
  void beginStroke();
  bool strokeInProgress() const { return inStroke_; }
  // Adds a point (top-left relative) with radius (relative), opacity and softness (0..1): dabs are
  // placed from the previous point of the stroke at a spacing of a quarter radius. True when any
  // mask value changed. Without beginStroke() the point is a stroke of its own.
  bool addPoint(double x, double y, double radius, double opacity, double softness);
  void endStroke();
  // Restores the mask as it was at beginStroke(); false when no stroke was in progress.
  bool cancelStroke();

  // A linear gradient through the point (top-left relative), its ramp running along the direction
  // `rotationDegrees` (0 = left to right, 90 = top to bottom) over `blend` (relative to the longer
  // side; 0 is a hard edge at the point). Added to the mask, or subtracted from it. Inside a stroke
  // each call replaces the previous gradient of that stroke (the drag preview).
  void drawLinearGradient(double x, double y, double rotationDegrees, double blend, bool subtract);
  // An elliptic radial gradient: 1 within the inner radius, 0 beyond the outer radius (relative to
  // the longer side, along the rotated x axis), the y axis scaled by the aspect ratio; inverted on
  // request.
  void drawRadialGradient(double x, double y, double rotationDegrees, double innerRadius, double outerRadius,
                          double aspectRatio, bool invert);

  void clear();
  void fill();
  void invert();

  // The mask setting: density in percent (the mask is scaled by it) and feather, a blur radius in
  // pixels. Kept here until bakeDensityAndFeather() forces it into the mask values and resets it
  // to 100 % and no feather, so baking twice changes nothing.
  void setMaskSetting(double density, double feather);
  double density() const { return density_; }
  double feather() const { return feather_; }
  void bakeDensityAndFeather();

  // The bounding rectangle of the values changed since the last call (zero rectangle when none),
  // then starts collecting again.
  RectRoi takeUpdateRect();

 private:
  void markChanged(int x0, int y0, int x1, int y1);  // inclusive-exclusive bounds
  bool dab(double cx, double cy, double radiusPx, double opacity, double softness);
  template <class F>
  void drawWholeMask(bool fromStrokeBase, F value);

  MaskImagePtr mask_;
  int width_ = 0, height_ = 0;
  BrushMode mode_ = BrushMode::Paint;
  bool inStroke_ = false;
  dabs::Spacer spacer_;
  dabs::StrokeBackup<float> backup_;  // mask at beginStroke() and dab strengths, per touched tile
  int ux0_ = 0, uy0_ = 0, ux1_ = 0, uy1_ = 0;
  bool dirty_ = false;
  double density_ = 100, feather_ = 0;
};

}  // namespace rova
