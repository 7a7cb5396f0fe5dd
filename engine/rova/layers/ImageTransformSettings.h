#pragma once
// Where a layer's pixels go on the canvas and what part of them a caller asks for: the canvas size,
// a source rectangle of the canvas, the output size that rectangle is rendered at, an optional affine
// transform from the layer's own pixels to canvas pixels, the crop and the EXIF orientation.
#include "rova/AffineTransform.h"
#include "rova/CropDescription.h"
#include "rova/RectRoi.h"

namespace rova {

struct ImageTransformSettings {
  enum TransformType : int { kNoTransform = 0, kAffineTransform = 1 };

  Size canvasSize;
  RectRoiF sourceRect;  // zero: the whole canvas (or crop)
  Size outputSize;      // zero: the source rectangle's own size
  int transformType = kNoTransform;
  AffineTransform transform;  // layer pixels to canvas pixels, when transformType is kAffineTransform
  CropDescription cropDescription = CropDescriptionNone;
  int orientation = 1;

  // The transform that turns a picture stored with EXIF orientation o (1..8) and stored size
  // sourceSize into its upright form: stored pixel coordinates to upright pixel coordinates.
  static AffineTransform transformForOrientation(int orientation, Size sourceSize);
  // The upright size of a stored size: width and height exchanged for orientations 5 to 8.
  static Size orientedSize(int orientation, Size sourceSize);

  friend bool operator==(const ImageTransformSettings&, const ImageTransformSettings&) = default;
};

}  // namespace rova
