#include "rova/layers/ImageTransformSettings.h"

namespace rova {

Size ImageTransformSettings::orientedSize(int orientation, Size s) {
  return orientation >= 5 && orientation <= 8 ? Size{s.height, s.width} : s;
}

AffineTransform ImageTransformSettings::transformForOrientation(int orientation, Size s) {
  const float w = float(s.width), h = float(s.height);
  // x' = a x + c y + tx, y' = b x + d y + ty, over pixel-edge coordinates.
  switch (orientation) {
    case 2:
      return {-1, 0, 0, 1, w, 0};  // mirrored left-right
    case 3:
      return {-1, 0, 0, -1, w, h};  // turned half a turn
    case 4:
      return {1, 0, 0, -1, 0, h};  // mirrored top-bottom
    case 5:
      return {0, 1, 1, 0, 0, 0};  // mirrored along the main diagonal
    case 6:
      return {0, 1, -1, 0, h, 0};  // turned a quarter clockwise to stand upright
    case 7:
      return {0, -1, -1, 0, h, w};  // mirrored along the other diagonal
    case 8:
      return {0, -1, 1, 0, 0, w};  // turned a quarter anticlockwise to stand upright
    default:
      return {};
  }
}

}  // namespace rova
