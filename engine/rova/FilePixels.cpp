#include "rova/FilePixels.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "rova/Color.h"

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

template <class T>
void writeRows(const ImageDataRGBf& data, const FilePixelFormat& format, uint8_t* out, size_t bytesPerRow) {
  constexpr float kScale = float(std::numeric_limits<T>::max());
  const float offset = format.rounding == FilePixelFormat::Rounding::Nearest ? 0.5f : 0.0f;
  const int width = data.width(), height = data.height();
  const bool filler = format.channels == 4;
#pragma omp parallel for schedule(static) if (int64_t(width) * height > (1 << 16))
  for (int y = 0; y < height; ++y) {
    const float* in = data.floats() + size_t(y) * size_t(width) * 3;
    uint8_t* row = out + size_t(y) * bytesPerRow;
    for (int x = 0; x < width; ++x, in += 3) {
      for (int c = 0; c < 3; ++c) {
        const T v = quantise<T>(in[c], kScale, offset);
        if constexpr (sizeof(T) == 2) {
          *row++ = uint8_t(v);
          *row++ = uint8_t(v >> 8);
        } else {
          *row++ = v;
        }
      }
      if (filler)
        for (size_t b = 0; b < sizeof(T); ++b) *row++ = 0xFF;
    }
  }
}

// The 65536-step table of fastSrgbCurve: input index round(v x 65535), output the rounded byte.
const std::vector<uint8_t>& srgbCurveTable() {
  static const std::vector<uint8_t> table = [] {
    std::vector<uint8_t> t(65536);
    for (size_t i = 0; i < t.size(); ++i)
      t[i] = uint8_t(std::lround(255 * std::clamp(linearToSrgb(float(i) / 65535), 0.f, 1.f)));
    return t;
  }();
  return table;
}

void writeRowsThroughSrgbCurve(const ImageDataRGBf& data, uint8_t* out, size_t bytesPerRow) {
  const std::vector<uint8_t>& table = srgbCurveTable();
  const int width = data.width(), height = data.height();
#pragma omp parallel for schedule(static) if (int64_t(width) * height > (1 << 16))
  for (int y = 0; y < height; ++y) {
    const float* in = data.floats() + size_t(y) * size_t(width) * 3;
    uint8_t* row = out + size_t(y) * bytesPerRow;
    for (int i = 0; i < width * 3; ++i) row[i] = table[quantise<uint16_t>(in[i], 65535.f, 0.5f)];
  }
}

}  // namespace

bool writeFilePixels(const ImageDataRGBf& data, const FilePixelFormat& format, uint8_t* out, size_t bytesPerRow,
                     ImageDataColorProfileType* writtenColorSpace) {
  if ((format.depth != 8 && format.depth != 16) || (format.channels != 3 && format.channels != 4) ||
      (!out && data.pixelCount() > 0))
    return false;
  if (bytesPerRow < size_t(data.width()) * format.bytesPerPixel()) return false;
  const bool linear = data.colorProfileType() == kColorProfileNative || data.colorProfileType() == kColorProfileWorking;
  if (format.fastSrgbCurve && format.depth == 8 && format.channels == 3 && format.colorSpace == kColorProfileSRGB &&
      linear) {
    writeRowsThroughSrgbCurve(data, out, bytesPerRow);
    if (writtenColorSpace) *writtenColorSpace = kColorProfileSRGB;
    return true;
  }
  const ImageDataRGBf* source = &data;
  ImageDataRGBfPtr converted;
  if (format.colorSpace != kColorProfileUnknown && format.colorSpace != data.colorProfileType()) {
    converted = ImageDataRGBf::createUninitialized(data.width(), data.height(), format.colorSpace);
    if (!converted) return false;
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
