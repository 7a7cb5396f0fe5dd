#include "Ombrel/Classes/Application/Gallery/QVQuickPreviewFrames.h"

#include <cmath>

CGRect QVQuickPreviewFrames::windowFrameForImageSize(CGSize imageSize, bool centered, CGRect parent, CGRect own) {
  const CGSize& p = parent.size;
  double width = 0, height = 0;
  const bool hasSize = imageSize.width > 0 && imageSize.height > 0;
  const double ratio = hasSize ? imageSize.width / imageSize.height : (p.height > 0 ? p.width / p.height : 1.0);
  if (hasSize && ratio < 1) {
    height = std::ceil(p.height * kPortraitHeightFactor);
    width = std::ceil(ratio * p.height * kPortraitHeightFactor);
  } else {
    width = std::ceil(p.width * kLandscapeWidthFactor);
    height = std::ceil(p.width * kLandscapeWidthFactor / ratio);
  }
  CGPoint origin;
  if (centered) {
    origin = CGPointMake(std::ceil(parent.origin.x + p.width / 2 - width / 2),
                         std::ceil(parent.origin.y + p.height / 2 - height / 2));
  } else {
    origin =
        CGPointMake(own.origin.x + own.size.width / 2 - width / 2, own.origin.y + own.size.height / 2 - height / 2);
  }
  return CGRectMake(origin.x, origin.y, width, height);
}
