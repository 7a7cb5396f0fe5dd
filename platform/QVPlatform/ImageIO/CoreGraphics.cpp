#include "QVPlatform/ImageIO/CoreGraphics.h"

#include <algorithm>
#include <cstring>

#include "rova/FilePixels.h"

CGColorSpaceRef CGColorSpaceCreateWithProfileType(rova::ImageDataColorProfileType type) {
  auto cs = rova::createColorSpace(type);
  if (!cs) return nullptr;
  const char* name = type == rova::kColorProfileAdobeRGB   ? kCGColorSpaceAdobeRGB1998
                     : type == rova::kColorProfileProPhoto ? kCGColorSpaceROMMRGB
                     : (type == rova::kColorProfileNative || type == rova::kColorProfileWorking)
                         ? kCGColorSpaceLinearSRGB
                     : type == rova::kColorProfileGeneric ? kCGColorSpaceGenericRGB
                                                          : kCGColorSpaceSRGB;
  return std::make_shared<const CGColorSpace>(CGColorSpace{name, cs});
}

CGColorSpaceRef CGColorSpaceCreateWithName(const std::string& name) {
  if (name == kCGColorSpaceSRGB) return CGColorSpaceCreateWithProfileType(rova::kColorProfileSRGB);
  if (name == kCGColorSpaceAdobeRGB1998) return CGColorSpaceCreateWithProfileType(rova::kColorProfileAdobeRGB);
  if (name == kCGColorSpaceROMMRGB) return CGColorSpaceCreateWithProfileType(rova::kColorProfileProPhoto);
  if (name == kCGColorSpaceLinearSRGB) return CGColorSpaceCreateWithProfileType(rova::kColorProfileNative);
  if (name == kCGColorSpaceGenericRGB) return CGColorSpaceCreateWithProfileType(rova::kColorProfileGeneric);
  return nullptr;
}

CGColorSpaceRef CGColorSpaceCreateDeviceRGB() { return CGColorSpaceCreateWithProfileType(rova::kColorProfileSRGB); }

CGColorSpaceRef CGColorSpaceCreateWithICCData(const std::vector<uint8_t>& icc) {
  auto cs = rova::createColorSpaceFromICC(icc.data(), icc.size());
  if (!cs) return nullptr;
  return std::make_shared<const CGColorSpace>(CGColorSpace{cs->name(), cs});
}

std::vector<uint8_t> CGColorSpaceCopyICCData(const CGColorSpaceRef& space) {
  return space && space->space ? space->space->iccData() : std::vector<uint8_t>{};
}

size_t CGImage::colorComponents() const {
  const size_t n = componentsPerPixel();
  switch (alphaInfo()) {
    case kCGImageAlphaNone:
      return n;
    case kCGImageAlphaOnly:
      return 0;
    default:
      return n > 0 ? n - 1 : 0;
  }
}

bool CGImage::hasAlpha() const {
  auto a = alphaInfo();
  return a == kCGImageAlphaPremultipliedLast || a == kCGImageAlphaPremultipliedFirst || a == kCGImageAlphaLast ||
         a == kCGImageAlphaFirst;
}

namespace {

CGImageRef imageOver(size_t width, size_t height, size_t bpc, size_t bpp, size_t bytesPerRow, CGColorSpaceRef space,
                     uint32_t bitmapInfo, std::shared_ptr<const void> owner, const uint8_t* bytes, size_t byteCount) {
  if (!owner || width == 0 || height == 0 || (bpc != 8 && bpc != 16 && bpc != 32) || bpp % bpc != 0) return nullptr;
  const size_t comps = bpp / bpc;
  if (comps < 1 || comps > 4 || bytesPerRow < width * bpp / 8) return nullptr;
  if (!rova::isAcceptableImageSize(int64_t(width), int64_t(height))) return nullptr;
  if (byteCount < bytesPerRow * (height - 1) + width * bpp / 8) return nullptr;
  auto img = std::make_shared<CGImage>();
  img->width = width;
  img->height = height;
  img->bitsPerComponent = bpc;
  img->bitsPerPixel = bpp;
  img->bytesPerRow = bytesPerRow;
  img->bitmapInfo = bitmapInfo;
  img->colorSpace = space ? space : CGColorSpaceCreateDeviceRGB();
  img->owner = std::move(owner);
  img->bytes = bytes;
  img->byteCount = byteCount;
  return img;
}

}  // namespace

CGImageRef CGImageCreate(size_t width, size_t height, size_t bpc, size_t bpp, size_t bytesPerRow, CGColorSpaceRef space,
                         uint32_t bitmapInfo, std::shared_ptr<const std::vector<uint8_t>> data) {
  const uint8_t* bytes = data ? data->data() : nullptr;
  const size_t count = data ? data->size() : 0;
  return imageOver(width, height, bpc, bpp, bytesPerRow, std::move(space), bitmapInfo, std::move(data), bytes, count);
}

CGImageRef CGImageCreate(size_t width, size_t height, size_t bpc, size_t bpp, size_t bytesPerRow, CGColorSpaceRef space,
                         uint32_t bitmapInfo, std::shared_ptr<const CGPixelBytes> data) {
  const uint8_t* bytes = data ? data->data() : nullptr;
  const size_t count = data ? data->size() : 0;
  return imageOver(width, height, bpc, bpp, bytesPerRow, std::move(space), bitmapInfo, std::move(data), bytes, count);
}

namespace qv {

CGImageRef imageFromEngineData(const rova::ImageDataRGBf& d, rova::ImageDataColorProfileType colorSpace) {
  if (d.pixelCount() == 0) return nullptr;
  auto buf = std::make_shared<CGPixelBytes>(d.pixelCount() * 3);
  rova::FilePixelFormat format;
  format.colorSpace = colorSpace;
  rova::ImageDataColorProfileType written = d.colorProfileType();
  if (!rova::writeFilePixels(d, format, buf->data(), size_t(d.width()) * 3, &written)) return nullptr;
  auto space = CGColorSpaceCreateWithProfileType(written);
  return CGImageCreate(size_t(d.width()), size_t(d.height()), 8, 24, size_t(d.width()) * 3, space, kCGImageAlphaNone,
                       buf);
}

rova::ImageDataRGBfPtr engineDataFromImage(const CGImageRef& img) {
  if (!img || !img->bytes) return nullptr;
  auto type = img->colorSpace ? img->colorSpace->profileType() : rova::kColorProfileSRGB;
  if (!rova::isValidColorProfileType(type)) type = rova::kColorProfileSRGB;
  auto d = rova::ImageDataRGBf::createUninitialized(int(img->width), int(img->height), type);
  if (!d) return nullptr;
  const size_t comps = img->componentsPerPixel(), colours = img->colorComponents();
  const size_t bytes = img->bitsPerComponent / 8;
  const auto a = img->alphaInfo();
  const size_t first =
      (a == kCGImageAlphaPremultipliedFirst || a == kCGImageAlphaFirst || a == kCGImageAlphaNoneSkipFirst) ? 1 : 0;
  const bool big =
      (img->bitmapInfo & 0x7000) == kCGBitmapByteOrder16Big || (img->bitmapInfo & 0x7000) == kCGBitmapByteOrder32Big;
  for (size_t y = 0; y < img->height; ++y) {
    const uint8_t* row = img->row(y);
    rova::PixelRGB<float>* dst = d->row(int(y));
    for (size_t x = 0; x < img->width; ++x) {
      float v[3];
      for (size_t c = 0; c < 3; ++c) {
        const uint8_t* s = row + (x * comps + first + (colours >= 3 ? c : 0)) * bytes;
        if (bytes == 1) {
          v[c] = s[0] / 255.f;
        } else if (bytes == 2) {
          uint16_t u = big ? uint16_t(s[0] << 8 | s[1]) : uint16_t(s[1] << 8 | s[0]);
          v[c] = u / 65535.f;
        } else {
          float f;
          std::memcpy(&f, s, 4);
          v[c] = f;
        }
      }
      dst[x] = {v[0], v[1], v[2]};
    }
  }
  return d;
}

}  // namespace qv
