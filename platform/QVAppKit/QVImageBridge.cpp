#include "QVAppKit/QVImageBridge.h"

#include <QColorSpace>
#include <algorithm>
#include <cstring>

namespace QVImageBridge {
namespace {

struct Holder {
  std::shared_ptr<const void> owner;
};

void release(void* info) { delete static_cast<Holder*>(info); }

std::optional<QImage::Format> directFormat(const CGImage& image) {
  const auto alpha = image.alphaInfo();
  const uint32_t order = image.bitmapInfo & (7u << 12);
  const size_t components = image.componentsPerPixel();
  if (image.isFloat()) return std::nullopt;
  if (image.bitsPerComponent == 8) {
    if (components == 1 && alpha == kCGImageAlphaNone) return QImage::Format_Grayscale8;
    if (components == 3 && alpha == kCGImageAlphaNone) return QImage::Format_RGB888;
    if (components != 4) return std::nullopt;
    if (order == kCGBitmapByteOrder32Little) {
      // B, G, R, A in memory: Qt's native 32-bit formats on a little-endian machine.
      switch (alpha) {
        case kCGImageAlphaPremultipliedFirst:
          return QImage::Format_ARGB32_Premultiplied;
        case kCGImageAlphaFirst:
          return QImage::Format_ARGB32;
        case kCGImageAlphaNoneSkipFirst:
          return QImage::Format_RGB32;
        default:
          return std::nullopt;
      }
    }
    switch (alpha) {
      case kCGImageAlphaPremultipliedLast:
        return QImage::Format_RGBA8888_Premultiplied;
      case kCGImageAlphaLast:
        return QImage::Format_RGBA8888;
      case kCGImageAlphaNoneSkipLast:
        return QImage::Format_RGBX8888;
      default:
        return std::nullopt;
    }
  }
  if (image.bitsPerComponent == 16) {
    if (components == 1 && alpha == kCGImageAlphaNone) return QImage::Format_Grayscale16;
    if (components != 4) return std::nullopt;
    switch (alpha) {
      case kCGImageAlphaPremultipliedLast:
        return QImage::Format_RGBA64_Premultiplied;
      case kCGImageAlphaLast:
        return QImage::Format_RGBA64;
      case kCGImageAlphaNoneSkipLast:
        return QImage::Format_RGBX64;
      default:
        return std::nullopt;
    }
  }
  return std::nullopt;
}

// Reads one component of a pixel scaled to 0..65535.
uint16_t component(const CGImage& image, const uint8_t* pixel, size_t index) {
  if (image.isFloat()) {
    float v;
    std::memcpy(&v, pixel + index * 4, 4);
    return uint16_t(std::clamp(v, 0.0f, 1.0f) * 65535.0f + 0.5f);
  }
  if (image.bitsPerComponent == 16) {
    uint16_t v;
    std::memcpy(&v, pixel + index * 2, 2);
    return v;
  }
  return uint16_t(pixel[index] * 257);
}

QImage converted(const CGImage& image) {
  const size_t components = image.componentsPerPixel();
  const size_t bytesPerPixel = image.bitsPerPixel / 8;
  const auto alpha = image.alphaInfo();
  const bool alphaFirst =
      alpha == kCGImageAlphaPremultipliedFirst || alpha == kCGImageAlphaFirst || alpha == kCGImageAlphaNoneSkipFirst;
  const bool hasAlpha = image.hasAlpha();
  const bool premultiplied = alpha == kCGImageAlphaPremultipliedFirst || alpha == kCGImageAlphaPremultipliedLast;
  const bool little32 = (image.bitmapInfo & (7u << 12)) == kCGBitmapByteOrder32Little && image.bitsPerComponent == 8;
  QImage out(int(image.width), int(image.height),
             premultiplied ? QImage::Format_RGBA64_Premultiplied : QImage::Format_RGBA64);
  for (size_t y = 0; y < image.height; ++y) {
    const uint8_t* row = image.row(y);
    auto* dst = reinterpret_cast<QRgba64*>(out.scanLine(int(y)));
    for (size_t x = 0; x < image.width; ++x) {
      const uint8_t* p = row + x * bytesPerPixel;
      uint16_t c[4] = {0, 0, 0, 65535};
      if (components <= 2) {
        c[0] = c[1] = c[2] = component(image, p, 0);
        if (components == 2) c[3] = component(image, p, 1);
      } else {
        const size_t first = alphaFirst ? 1 : 0;
        for (size_t i = 0; i < 3; ++i) c[i] = component(image, p, first + i);
        if (hasAlpha) c[3] = component(image, p, alphaFirst ? 0 : 3);
        if (little32) {
          // B, G, R, A (or A first reversed) in memory.
          c[0] = component(image, p, 2);
          c[1] = component(image, p, 1);
          c[2] = component(image, p, 0);
          if (hasAlpha) c[3] = component(image, p, 3);
        }
      }
      dst[x] = QRgba64::fromRgba64(c[0], c[1], c[2], c[3]);
    }
  }
  return out;
}

}  // namespace

QImage imageFromCGImage(const CGImageRef& bitmap) {
  if (!bitmap || !bitmap->bytes || bitmap->width == 0 || bitmap->height == 0) return {};
  QImage image;
  if (auto format = directFormat(*bitmap)) {
    auto* holder = new Holder{bitmap->owner};
    image = QImage(bitmap->bytes, int(bitmap->width), int(bitmap->height), qsizetype(bitmap->bytesPerRow), *format,
                   release, holder);
  } else {
    image = converted(*bitmap);
  }
  const auto type = bitmap->colorSpace ? bitmap->colorSpace->profileType() : rova::kColorProfileSRGB;
  if (type != rova::kColorProfileSRGB && type != rova::kColorProfileGeneric && type != rova::kColorProfileGray) {
    const auto icc = CGColorSpaceCopyICCData(bitmap->colorSpace);
    const QColorSpace space =
        QColorSpace::fromIccProfile(QByteArray(reinterpret_cast<const char*>(icc.data()), qsizetype(icc.size())));
    if (space.isValid() && space != QColorSpace(QColorSpace::SRgb)) {
      image.setColorSpace(space);
      image.convertToColorSpace(QColorSpace::SRgb);
    }
  }
  return image;
}

QImage imageFromNSImage(const NSImageRef& image, QSize pixelSize) {
  if (!image) return {};
  if (pixelSize.isEmpty()) return imageFromCGImage(image->CGImage());
  return imageFromCGImage(image->CGImageForPixelSize(size_t(pixelSize.width()), size_t(pixelSize.height())));
}

bool sharesBuffer(const QImage& image, const CGImageRef& bitmap) {
  return bitmap && bitmap->bytes && image.constBits() == bitmap->bytes;
}

}  // namespace QVImageBridge
