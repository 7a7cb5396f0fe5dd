#pragma once
// The platform image on screen. A bitmap whose layout Qt can read (8-bit RGB(A/X), BGRA, grey,
// 16-bit RGBA/RGBX and grey) is wrapped without a copy: the QImage shares the bitmap's buffer and
// keeps it alive. Other layouts (16-bit RGB, float, ARGB in big-endian order) are converted once.
// Bitmaps in another colour space than sRGB are converted to sRGB for the display (a copy).
#include <QImage>

#include "QVPlatform/ImageIO/NSImage.h"

namespace QVImageBridge {
// The bitmap as a QImage, sharing its buffer where the layout allows; null for no bitmap.
QImage imageFromCGImage(const CGImageRef& image);
// The image's bitmap for a pixel size (lazy images draw at that size), ready to draw in sRGB.
QImage imageFromNSImage(const NSImageRef& image, QSize pixelSize = {});
// True when `image` reads the buffer of `bitmap` in place.
bool sharesBuffer(const QImage& image, const CGImageRef& bitmap);
}  // namespace QVImageBridge
