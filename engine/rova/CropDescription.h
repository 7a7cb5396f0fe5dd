#pragma once
// The engine's crop: a rotation (radians) and a rectangle of whole pixels in engine (top-left) coordinates.
#include "rova/AffineTransform.h"
#include "rova/RectRoi.h"

namespace rova {

struct CropDescription {
  float rotation = 0;
  int x = 0, y = 0, width = 0, height = 0;

  RectRoi rect() const { return {x, y, width, height}; }
  Size size() const { return {width, height}; }
  // True for CropDescriptionNone and for any crop without area: both mean "no crop".
  bool isNone() const { return width <= 0 || height <= 0; }
  // Image coordinates into the rotated crop's own frame: move the crop's centre to the origin,
  // rotate by -rotation, then move by half the crop's size.
  AffineTransform getAffineTransform() const {
    if (isNone()) return {};
    AffineTransform t = AffineTransform::translation(-x - width / 2.f, -y - height / 2.f);
    t.append(AffineTransform::rotation(-rotation));
    t.append(AffineTransform::translation(width / 2.f, height / 2.f));
    return t;
  }
  friend bool operator==(const CropDescription&, const CropDescription&) = default;
};

// The value that means "no crop".
inline constexpr CropDescription CropDescriptionNone{};

}  // namespace rova
