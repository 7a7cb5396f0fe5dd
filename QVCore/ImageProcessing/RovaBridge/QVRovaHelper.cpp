#include "QVCore/ImageProcessing/RovaBridge/QVRovaHelper.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "QVCore/Utils/QVImageUtils.h"
#include "rova/Color.h"
#include "rova/FilePixels.h"
#include "rova/ImageCompressorProxy.h"

namespace {

int32_t readInt32LE(const uint8_t* p) {
  return int32_t(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24);
}

float readFloatLE(const uint8_t* p) {
  uint32_t bits = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

rova::ImagePtr imageOf(rova::ImageDataRGBfPtr data) {
  if (!data) return nullptr;
  return std::make_shared<rova::Image>(std::make_shared<rova::ImageSource>(std::move(data), rova::ImageMetadata{}));
}

// The pixel format of a bitmap for a colour space code; false for a code without a profile type.
bool bitmapFormatFor(int64_t colorspace, int64_t depth, rova::FilePixelFormat* format) {
  format->depth = int(depth);
  format->channels = 4;  // the data's straight alpha, or a fourth component that is ignored (skipped last)
  format->rounding = rova::FilePixelFormat::Rounding::TowardZero;
  if (colorspace != 0) {
    format->colorSpace = QVImageUtils::colorProfileTypeForColorSpace(colorspace);
    if (format->colorSpace == rova::kColorProfileUnknown) return false;
  }
  return true;
}

}  // namespace

rova::Size QVRovaHelper::pixelSize(CGSize size) {
  auto side = [](double v) {
    if (!(v > 0)) return 0;
    return int(std::clamp<double>(std::llround(v), 1, rova::kMaxImageSide));
  };
  return {side(size.width), side(size.height)};
}

rova::ImageDataColorProfileType QVRovaHelper::colorProfileTypeForColorSpace(int64_t colorSpace) {
  return QVImageUtils::colorProfileTypeForColorSpace(colorSpace);
}

int64_t QVRovaHelper::colorSpaceForColorProfileType(int64_t profileType) {
  switch (profileType) {
    case rova::kColorProfileSRGB:
      return 1;
    case rova::kColorProfileProPhoto:
      return 3;
    case rova::kColorProfileAdobeRGB:
      return 2;
    case rova::kColorProfileWorking:
      return 4;
    default:
      return 0;  // generic, native, grey and anything else
  }
}

CGColorSpaceRef QVRovaHelper::cgColorSpaceForQVImageColorSpace(int64_t colorSpace) {
  return QVImageUtils::cgColorSpaceForColorSpace(colorSpace);
}

CGImageRef QVRovaHelper::createCGImageWith(const rova::ImageDataRGBfPtr& data, int64_t colorspace, int64_t depth,
                                           bool packed) {
  if (!data) return nullptr;
  if (depth != 8 && depth != 16) return nullptr;
  rova::FilePixelFormat format;
  if (!bitmapFormatFor(colorspace, depth, &format)) return nullptr;
  const bool three = packed && !data->alpha();
  if (three) format.channels = 3;
  const size_t width = size_t(data->width()), height = size_t(data->height());
  const size_t bytesPerPixel = format.bytesPerPixel();
  auto pixels = std::make_shared<CGPixelBytes>(width * height * bytesPerPixel);
  rova::ImageDataColorProfileType type = data->colorProfileType();
  if (!rova::writeFilePixels(*data, format, pixels->data(), bytesPerPixel * width, &type)) return nullptr;
  CGColorSpaceRef space = CGColorSpaceCreateWithProfileType(type);
  if (!space) return nullptr;
  const uint32_t alpha = three ? kCGImageAlphaNone : data->alpha() ? kCGImageAlphaLast : kCGImageAlphaNoneSkipLast;
  uint32_t info = alpha | (depth == 16 ? kCGBitmapByteOrder16Little : kCGBitmapByteOrderDefault);
  return CGImageCreate(width, height, size_t(depth), size_t(format.channels) * size_t(depth), bytesPerPixel * width,
                       std::move(space), info,
                       std::move(pixels));
}

bool QVRovaHelper::createCGImageSaturatesEachComponent(const rova::ImageDataRGBf& data, int64_t colorspace) {
  rova::FilePixelFormat format;
  return bitmapFormatFor(colorspace, 8, &format) && rova::writesEachComponentAlone(data.colorProfileType(), format);
}

CGImageRef QVRovaHelper::createCGImageWithMaskData(const rova::ImageDataFPtr& mask, CGSize size) {
  const int64_t w = mask ? mask->width() : int64_t(size.width);
  const int64_t h = mask ? mask->height() : int64_t(size.height);
  if (!rova::isAcceptableImageSize(w, h)) return nullptr;
  auto pixels = std::make_shared<std::vector<uint8_t>>(size_t(w) * size_t(h) * 16);
  float* out = reinterpret_cast<float*>(pixels->data());
  const float* in = mask ? mask->data() : nullptr;
  for (size_t i = 0, n = size_t(w) * size_t(h); i < n; ++i, out += 4) {
    const float m = in ? in[i] : 1.0f;
    out[0] = m;
    out[1] = 0;
    out[2] = 0;
    out[3] = m;
  }
  return CGImageCreate(size_t(w), size_t(h), 32, 128, size_t(w) * 16, CGColorSpaceCreateDeviceRGB(),
                       kCGImageAlphaPremultipliedLast | kCGBitmapFloatComponents | kCGBitmapByteOrder32Little,
                       std::move(pixels));
}

rova::ImagePtr QVRovaHelper::rovaImagePtrFromRovaimagedata(const std::vector<uint8_t>& bytes) {
  if (bytes.size() < 8) return nullptr;
  const int32_t width = readInt32LE(bytes.data());
  const int32_t height = readInt32LE(bytes.data() + 4);
  // The header is checked against the length before anything is allocated or copied: a file cut
  // short (or a hostile header) must not be read past its end.
  if (!rova::isAcceptableImageSize(width, height)) return nullptr;
  const uint64_t needed = 8 + 12 * uint64_t(width) * uint64_t(height);
  if (bytes.size() < needed) return nullptr;
  auto data = rova::ImageDataRGBf::createUninitialized(width, height, rova::kColorProfileNative);
  if (!data) return nullptr;
  const uint8_t* p = bytes.data() + 8;
  float* out = data->floats();
  for (size_t i = 0, n = data->pixelCount() * 3; i < n; ++i, p += 4) out[i] = readFloatLE(p);
  return imageOf(std::move(data));
}

rova::ImagePtr QVRovaHelper::rovaImagePtrFromRovacompressedimagedata(const std::vector<uint8_t>& bytes,
                                                                     qv::Error* error) {
  std::string reason;
  auto image = imageOf(rova::ImageCompressorProxy::uncompress(bytes, &reason));
  if (!image) qv::setError(error, qv::Error(kQVRovaHelperErrorDomain, kQVRovaHelperErrorMalformedData, reason));
  return image;
}

std::vector<uint8_t> QVRovaHelper::compressedImageDataForImage(const rova::ImagePtr& image) {
  if (!image) return {};
  auto data = image->imageData(rova::Size{}, rova::RectRoi{}, true);
  if (!data) return {};
  return rova::ImageCompressorProxy::compress(*data);
}
