#pragma once
// The small drawing surface behind QVIPImage's geometric operations (orientation, crop with an
// angle, tiles, pasting) and the layer's two-colour mask image: what a platform image drawing
// context does for them, and nothing more.
//
// Coordinates are the platform's drawing coordinates: origin at the bottom left, y growing
// upwards, one unit per pixel. A bitmap drawn into the rectangle (0, 0, w, h) shows its first
// memory row at the top. Pixels are premultiplied RGBA floats holding the encoded component values
// (no colour matching while drawing: every drawing keeps the numbers of the bitmaps it draws;
// `matchColors` converts a surface from one colour space to another).
//
// Sampling maps each pixel centre back into the drawn bitmap: a pixel centre that lands on a
// source pixel centre takes that pixel exactly (so flips, quarter turns and whole-pixel moves are
// exact); other points are interpolated bilinearly between the nearest source pixels. A pixel is
// covered when its centre falls inside the drawn bitmap's (or source rectangle's) bounds.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "QVBase/Geometry.h"
#include "QVPlatform/ImageIO/CoreGraphics.h"

class QVIPImageCanvas {
 public:
  enum class Operation { Copy, SourceOver, SourceIn };
  struct RGBA {
    float r = 0, g = 0, b = 0, a = 0;
  };

  // A transparent surface; isValid() is false for a size the engine does not accept.
  QVIPImageCanvas(int64_t width, int64_t height);
  bool isValid() const { return !pixels_.empty(); }
  int64_t width() const { return width_; }
  int64_t height() const { return height_; }

  // Draws `source` (the bitmap's pixel rectangle, bottom-left origin; the zero rectangle means
  // the whole bitmap) into `destination` under the transform `ctm` (applied to the destination's
  // coordinates, as a context's current transform). False when the bitmap's layout is not one
  // we read or the transform cannot be inverted.
  bool drawImage(const CGImageRef& image, CGRect destination, CGRect source = CGRectZero,
                 const CGAffineTransform& ctm = CGAffineTransformIdentity, Operation op = Operation::SourceOver);
  // Fills the whole surface with a colour (not premultiplied, components 0..1).
  void fill(RGBA color, Operation op);
  // Colour matching: re-expresses the surface's colours, drawn from bitmaps of colour space `from`,
  // in colour space `to` (alpha kept). A space that names no known profile counts as sRGB when
  // drawn from and is left as it is when drawn to (false then: the numbers stay).
  bool matchColors(const CGColorSpaceRef& from, const CGColorSpaceRef& to);

  // The pixel at column x and row y counted from the TOP (memory order), premultiplied.
  const RGBA& pixel(int64_t x, int64_t yFromTop) const { return pixels_[size_t(yFromTop * width_ + x)]; }

  // A bitmap of the surface: premultiplied RGBA, alpha last, 8 or 16 bits (16: little-endian) a
  // component, in the given colour space (sRGB when none); nullptr for another depth.
  CGImageRef makeImage(size_t bitsPerComponent, CGColorSpaceRef space) const;
  // A bitmap in exactly another bitmap's layout (bits, bytes a row, alpha placement, byte order,
  // colour space); nullptr when the layout is not one we write.
  CGImageRef makeImageLike(const CGImage& layout) const;

  // The pixels of a bitmap as premultiplied RGBA rows from the top; empty for a layout we do
  // not read (8/16-bit integer or 32-bit float; 1 to 4 components).
  static std::vector<RGBA> readPixels(const CGImage& image);

 private:
  int64_t width_ = 0, height_ = 0;
  std::vector<RGBA> pixels_;
};
