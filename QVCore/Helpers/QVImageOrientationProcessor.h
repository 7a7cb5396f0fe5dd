#pragma once
// Turns a bitmap by an EXIF orientation (1 to 8) through QVIPImage.
#include <cstdint>

#include "QVPlatform/ImageIO/CoreGraphics.h"

class QVImageOrientationProcessor {
 public:
  // The turned bitmap; nullptr when there is none.
  static CGImageRef createImageByApplyingOrientation(uint64_t orientation, const CGImageRef& image);
};
