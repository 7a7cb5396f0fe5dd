#pragma once
// The one conversion of float results into the 8- or 16-bit pixels that files and platform bitmaps
// hold: used by the core's bitmaps, the image I/O layer and the benchmarks, so every export path
// quantises the same way.
#include <cstddef>
#include <cstdint>

#include "rova/ImageData.h"

namespace rova {

struct FilePixelFormat {
  enum class Rounding { Nearest, TowardZero };

  int depth = 8;  // bits a component: 8 or 16 (16-bit components are little-endian)
  // 3: RGB; 4: RGB then the data's alpha (straight, rounded to the nearest step) when it has an
  // alpha plane, else an opaque fourth component (every bit set).
  int channels = 3;
  // The colour space of the pixels: kColorProfileUnknown keeps the data's own; another type is
  // converted into (then clamped to 0..1) unless the data is in it already: linear Rec. 709 data
  // (native or working) into sRGB through the tabulated sRGB tone curve, row by row, within a small
  // fraction of a step of the exact colour transform; other pairs through colorTransformIpp.
  ImageDataColorProfileType colorSpace = kColorProfileUnknown;
  // Each component is value x (2^depth - 1), rounded to the nearest step or truncated; values
  // outside the range saturate and NaN gives 0.
  Rounding rounding = Rounding::Nearest;

  size_t bytesPerPixel() const { return size_t(channels) * size_t(depth / 8); }
};

// True when writeFilePixels maps each component of data in `source` on its own, through the
// tabulated sRGB curve or none, both keeping order and sending 0 to 0 and 1 to 1: clamping the data
// to 0..1 beforehand then changes no output byte. False when the pixels go through a colour
// transform, where out-of-range components mix into the others.
bool writesEachComponentAlone(ImageDataColorProfileType source, const FilePixelFormat& format);

// Writes the data's rows into `out` (`bytesPerRow` apart, at least width x bytesPerPixel) and, when
// asked, the profile type the pixels are in. False (nothing written) for another depth or channel
// count, an unknown target type, a failed conversion or short memory.
bool writeFilePixels(const ImageDataRGBf& data, const FilePixelFormat& format, uint8_t* out, size_t bytesPerRow,
                     ImageDataColorProfileType* writtenColorSpace = nullptr);

}  // namespace rova
