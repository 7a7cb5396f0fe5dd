#pragma once
// Image operations over the platform image: the blurred and the darkened placeholder, the blend of
// one image over another into a new 8- or 16-bit bitmap that keeps the base image's profile, the
// aspect-preserving fit, resampled copies and rotation.
//
// Pixels are worked on as premultiplied RGBA floats through OpenCV (blur, resampling, rotation and
// the blend arithmetic); results are premultiplied RGBA bitmaps, alpha last, in the colour space of
// the image they come from. Geometry is in points with the origin at the bottom left, as the
// drawing of the platform's images has it; a bitmap is scaled when its pixels differ from its
// points. Everything here may run on any thread.
#include <cstdint>

#include "QVBase/Geometry.h"
#include "QVPlatform/ImageIO/NSImage.h"

namespace qv {

// ---- Placeholder and strength blend -----------------------------------------------------------

// A Gaussian blur of standard deviation `radius` points, made when the image is first drawn. The
// picture fades to transparent at its edges (what lies beyond them counts as transparent).
NSImageRef blurredImageWithRadius(const NSImageRef& image, double radius);
// The image under black at alpha 0.6, made when first drawn.
NSImageRef darkImage(const NSImageRef& image);

// The base image with `over` drawn into `rect` (the zero rectangle: the whole base) at `opacity`
// (0 gives the base, 1 gives `over` where it is opaque), into a new bitmap of the base's size in
// points with `colorDepth` bits per sample (8 or 16; anything else is taken as 8) tagged with the
// base image's colour space (sRGB when it has none). nullptr when either image cannot be drawn.
NSImageRef drawImage(const NSImageRef& base, const NSImageRef& over, CGRect rect, double opacity, int colorDepth);
inline NSImageRef drawImage(const NSImageRef& base, const NSImageRef& over, CGRect rect) {
  return drawImage(base, over, rect, 1.0, 8);
}
inline NSImageRef blendWith(const NSImageRef& base, const NSImageRef& over, double opacity, int colorDepth) {
  return drawImage(base, over, CGRectZero, opacity, colorDepth);
}

// ---- Resizing and rotation ----------------------------------------------------------------------

// The largest size of the image's aspect ratio within the box; the computed side is rounded up to
// a whole point, the other is the box's. Equal aspects give the box's height.
CGSize imageSizeFitSizeForSize(CGSize imageSize, CGSize box);
inline CGSize fitSizeForSize(const NSImageRef& image, CGSize box) {
  return image ? imageSizeFitSizeForSize(image->size(), box) : CGSizeZero;
}
// The source rectangle (its edges moved down to whole points; the zero rectangle is the whole
// image) resampled into its fit in the box, drawn when first asked for. nullptr, with "Invalid
// Image" in the log, for no image or a zero box.
NSImageRef imageFromRect(const NSImageRef& image, CGRect sourceRect, CGSize box);
NSImageRef imageResizedToSize(const NSImageRef& image, CGSize box);
NSImageRef imageFitToSize(const NSImageRef& image, CGSize box);
// The image turned by `degrees` counter-clockwise about its centre: the image itself for a whole
// turn; a canvas of swapped sides for quarter turns, of the same sides for half turns, else a
// square of the longer side plus 20 points, transparent where the picture does not reach.
NSImageRef imageRotated(const NSImageRef& image, float degrees);

// The snapped source rectangle: edges moved down to whole points.
CGRect snappedSourceRect(CGRect rect);

}  // namespace qv
