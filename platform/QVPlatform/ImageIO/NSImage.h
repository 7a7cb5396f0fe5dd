#pragma once
// The platform image: what the application core hands to the screens (processed photos,
// thumbnails, the blurred placeholder). It is either a bitmap (a `CGImage`: 8 or 16 bits per
// sample, or float, with its colour space and ICC profile) shown at a size in points, or a lazy
// drawing handler that makes the bitmap when it is first asked for. No toolkit types: the
// interface layer wraps the bitmap's buffer for display without copying where the layout allows.
//
// Immutable once made and safe to share between threads; the lazily drawn bitmap is made once
// per pixel size under a lock.
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "QVBase/Geometry.h"
#include "QVPlatform/ImageIO/CoreGraphics.h"

class NSImage;
using NSImageRef = std::shared_ptr<const NSImage>;

class NSImage {
 public:
  // Makes the bitmap for a pixel size (the size in points times the backing scale). Answers
  // nullptr when it cannot draw.
  using DrawingHandler = std::function<CGImageRef(size_t pixelWidth, size_t pixelHeight)>;

  // An image of a bitmap. A size that is empty means the bitmap's pixel size (one pixel a point).
  // nullptr without a bitmap.
  static NSImageRef imageWithCGImage(CGImageRef image, CGSize size = CGSizeZero);
  // An image drawn when first asked for; nullptr without a handler or for an empty size.
  static NSImageRef imageWithSize(CGSize size, DrawingHandler handler);
  // An image read from encoded data (TIFF, PNG, JPEG, WebP) through the image I/O layer.
  static NSImageRef imageWithData(const std::vector<uint8_t>& data);

  // The size in points.
  CGSize size() const { return size_; }
  bool isLazy() const { return static_cast<bool>(handler_); }

  // The bitmap at one pixel a point (the drawing handler runs on first use).
  CGImageRef CGImage() const;
  // The bitmap for a pixel size: a bitmap image answers its own bitmap whatever the size (the
  // caller scales it); a lazy image draws at that size once and keeps the latest drawing.
  CGImageRef CGImageForPixelSize(size_t pixelWidth, size_t pixelHeight) const;
  // The pixel bytes the image holds now (its bitmap, or its latest drawing); 0 for a lazy image
  // not drawn yet.
  size_t heldBytes() const;
  // The colour space of the bitmap (sRGB when the bitmap has none).
  CGColorSpaceRef colorSpace() const;

  // Encoded forms for the entity store: TIFF (8 or 16 bits as the bitmap, with its ICC profile)
  // and PNG. Empty when the image cannot be drawn or encoded.
  std::vector<uint8_t> TIFFRepresentation() const;
  std::vector<uint8_t> PNGRepresentation() const;

  NSImage(CGImageRef image, CGSize size, DrawingHandler handler);

 private:
  std::vector<uint8_t> encoded(const char* type) const;

  CGImageRef bitmap_;
  CGSize size_;
  DrawingHandler handler_;
  mutable std::mutex mutex_;
  mutable CGImageRef drawn_;
  mutable size_t drawnWidth_ = 0, drawnHeight_ = 0;
};
