#include "rova/FilePixels.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "rova/Color.h"
#include "rova/Parallel.h"

namespace rova {

namespace {

template <class T>
inline T quantise(float v, float scale, float offset) {
  const float x = v * scale + offset;
  if (!(x > 0)) return 0;  // also NaN
  constexpr float kMax = float(std::numeric_limits<T>::max());
  if (x >= kMax) return std::numeric_limits<T>::max();
  return T(x);
}

// Every row of the data into the file pixels, each component made a sample by `toSample`.
template <class T, class ToSample>
void writeRows(const ImageDataRGBf& data, const FilePixelFormat& format, uint8_t* out, size_t bytesPerRow,
               ToSample toSample) {
  const int width = data.width(), height = data.height();
  const bool filler = format.channels == 4;
  // The alpha is coverage, not colour: never through a curve, always to the nearest step, so a
  // file's 8- or 16-bit alpha comes back exactly.
  const ImageDataF* alpha = filler ? data.alpha().get() : nullptr;
  constexpr float kAlphaScale = float(std::numeric_limits<T>::max());
  parallelFor(height, rowsPerPiece(width), [&](int64_t y0, int64_t y1) {
    for (int y = int(y0); y < int(y1); ++y) {
      const float* in = data.floats() + size_t(y) * size_t(width) * 3;
      const float* a = alpha ? alpha->row(y) : nullptr;
      uint8_t* row = out + size_t(y) * bytesPerRow;
      for (int x = 0; x < width; ++x, in += 3) {
        for (int c = 0; c < 3; ++c) {
          const T v = toSample(in[c]);
          if constexpr (sizeof(T) == 2) {
            *row++ = uint8_t(v);
            *row++ = uint8_t(v >> 8);
          } else {
            *row++ = v;
          }
        }
        if (a) {
          const T v = quantise<T>(a[x], kAlphaScale, 0.5f);
          *row++ = uint8_t(v);
          if constexpr (sizeof(T) == 2) *row++ = uint8_t(v >> 8);
        } else if (filler) {
          for (size_t b = 0; b < sizeof(T); ++b) *row++ = 0xFF;
        }
      }
    }
  });
}

// The rounding of the format as what quantise() adds before truncating.
float offsetFor(const FilePixelFormat& format) {
  return format.rounding == FilePixelFormat::Rounding::Nearest ? 0.5f : 0.0f;
}

// The sRGB tone curve sampled at 65537 points of linear light (0..1), read with linear interpolation:
// the curve is smooth enough that the result stays within a small fraction of a 16-bit step of the
// exact curve, and the toe below the first sample is the curve's own straight line.
constexpr int kCurveSteps = 65536;
const std::vector<float>& srgbCurveTable() {
  static const std::vector<float> table = [] {
    std::vector<float> t(kCurveSteps + 2);
    for (int i = 0; i <= kCurveSteps; ++i)
      t[size_t(i)] = float(1.055 * std::pow(double(i) / kCurveSteps, 1 / 2.4) - 0.055);
    t[kCurveSteps + 1] = t[kCurveSteps];
    return t;
  }();
  return table;
}

inline float srgbCurve(const float* table, float v) {
  if (!(v > 0)) return 0;  // also NaN
  if (v >= 1) return 1;
  if (v <= 0.0031308f) return v * 12.92f;
  const float x = v * kCurveSteps;
  const int i = int(x);
  const float f = x - float(i);
  return table[i] + f * (table[i + 1] - table[i]);
}

template <class T>
void writeRows(const ImageDataRGBf& data, const FilePixelFormat& format, uint8_t* out, size_t bytesPerRow) {
  constexpr float kScale = float(std::numeric_limits<T>::max());
  const float offset = offsetFor(format);
  writeRows<T>(data, format, out, bytesPerRow, [=](float v) { return quantise<T>(v, kScale, offset); });
}

// 8-bit sRGB bytes of linear light in 65536 steps (index round(v x 65535)), one table a rounding: a
// step of the index moves the output by at most a twentieth of a byte step, so one look-up stays
// within one step of the exact curve.
const std::vector<uint8_t>& srgbByteTable(FilePixelFormat::Rounding rounding) {
  auto make = [](float offset) {
    std::vector<uint8_t> t(65536);
    const float* curve = srgbCurveTable().data();
    for (size_t i = 0; i < t.size(); ++i) t[i] = quantise<uint8_t>(srgbCurve(curve, float(i) / 65535), 255.f, offset);
    return t;
  };
  static const std::vector<uint8_t> nearest = make(0.5f), towardZero = make(0.f);
  return rounding == FilePixelFormat::Rounding::Nearest ? nearest : towardZero;
}

// Linear-light Rec. 709 data (native or working) into sRGB: the same primaries and white, so the
// conversion is the tone curve alone, applied row by row straight into the file pixels instead of
// through a full-size converted copy.
template <class T>
void writeRowsThroughSrgbCurve(const ImageDataRGBf& data, const FilePixelFormat& format, uint8_t* out,
                               size_t bytesPerRow) {
  if constexpr (sizeof(T) == 1) {
    const uint8_t* table = srgbByteTable(format.rounding).data();
    writeRows<T>(data, format, out, bytesPerRow,
                 [table](float v) { return table[quantise<uint16_t>(v, 65535.f, 0.5f)]; });
  } else {
    const float* table = srgbCurveTable().data();
    const float offset = offsetFor(format);
    writeRows<T>(data, format, out, bytesPerRow,
                 [=](float v) { return quantise<T>(srgbCurve(table, v), 65535.f, offset); });
  }
}

// Linear-light Rec. 709 data going to sRGB: the tone curve alone, no colour transform.
bool goesThroughSrgbCurve(ImageDataColorProfileType source, const FilePixelFormat& format) {
  return format.colorSpace == kColorProfileSRGB && (source == kColorProfileNative || source == kColorProfileWorking);
}

bool needsColorTransform(ImageDataColorProfileType source, const FilePixelFormat& format) {
  return format.colorSpace != kColorProfileUnknown && format.colorSpace != source &&
         !goesThroughSrgbCurve(source, format);
}

}  // namespace

bool writesEachComponentAlone(ImageDataColorProfileType source, const FilePixelFormat& format) {
  return !needsColorTransform(source, format);
}

bool writeFilePixels(const ImageDataRGBf& data, const FilePixelFormat& format, uint8_t* out, size_t bytesPerRow,
                     ImageDataColorProfileType* writtenColorSpace) {
  if ((format.depth != 8 && format.depth != 16) || (format.channels != 3 && format.channels != 4) ||
      (!out && data.pixelCount() > 0))
    return false;
  if (bytesPerRow < size_t(data.width()) * format.bytesPerPixel()) return false;
  if (goesThroughSrgbCurve(data.colorProfileType(), format)) {
    if (format.depth == 16)
      writeRowsThroughSrgbCurve<uint16_t>(data, format, out, bytesPerRow);
    else
      writeRowsThroughSrgbCurve<uint8_t>(data, format, out, bytesPerRow);
    if (writtenColorSpace) *writtenColorSpace = kColorProfileSRGB;
    return true;
  }
  const ImageDataRGBf* source = &data;
  ImageDataRGBfPtr converted;
  if (needsColorTransform(data.colorProfileType(), format)) {
    converted = ImageDataRGBf::createUninitialized(data.width(), data.height(), format.colorSpace);
    if (!converted) return false;
    converted->setAlpha(data.alpha());
    if (!colorTransformIpp(data.floats(), converted->floats(), data.colorProfileType(), format.colorSpace,
                           kColorDataTypeRGBFloat, Size{data.width(), data.height()}))
      return false;
    clamp(*converted);
    source = converted.get();
  }
  if (format.depth == 16)
    writeRows<uint16_t>(*source, format, out, bytesPerRow);
  else
    writeRows<uint8_t>(*source, format, out, bytesPerRow);
  if (writtenColorSpace) *writtenColorSpace = source->colorProfileType();
  return true;
}

}  // namespace rova
