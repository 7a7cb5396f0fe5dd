#include "QVPlatform/ImageIO/NSImageAdditions.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <cmath>
#include <cstring>

#include "QVPlatform/Log.h"
#include "rova/Parallel.h"

namespace qv {

namespace {

// The bitmap as premultiplied RGBA floats (0..1), whatever its layout.
cv::Mat premultipliedRGBA(const CGImageRef& img) {
  cv::Mat out(int(img->height), int(img->width), CV_32FC4);
  const size_t comps = img->componentsPerPixel(), colours = img->colorComponents();
  const size_t bytes = img->bitsPerComponent / 8;
  const auto info = img->alphaInfo();
  const bool alphaFirst = info == kCGImageAlphaPremultipliedFirst || info == kCGImageAlphaFirst;
  const bool skipFirst = alphaFirst || info == kCGImageAlphaNoneSkipFirst;
  const bool premultiplied = info == kCGImageAlphaPremultipliedFirst || info == kCGImageAlphaPremultipliedLast;
  const bool hasAlpha = img->hasAlpha();
  const bool big =
      (img->bitmapInfo & 0x7000) == kCGBitmapByteOrder16Big || (img->bitmapInfo & 0x7000) == kCGBitmapByteOrder32Big;
  auto component = [&](const uint8_t* s) -> float {
    if (bytes == 1) return s[0] / 255.f;
    if (bytes == 2) return (big ? uint16_t(s[0] << 8 | s[1]) : uint16_t(s[1] << 8 | s[0])) / 65535.f;
    float f;
    std::memcpy(&f, s, 4);
    return f;
  };
  for (size_t y = 0; y < img->height; ++y) {
    const uint8_t* row = img->row(y);
    auto* dst = out.ptr<cv::Vec4f>(int(y));
    for (size_t x = 0; x < img->width; ++x) {
      const uint8_t* pixel = row + x * comps * bytes;
      const size_t colourStart = skipFirst ? 1 : 0;
      float c[3];
      for (size_t i = 0; i < 3; ++i) c[i] = component(pixel + (colourStart + (colours >= 3 ? i : 0)) * bytes);
      float a = 1.f;
      if (hasAlpha) a = component(pixel + (alphaFirst ? 0 : colours) * bytes);
      const float k = premultiplied ? 1.f : a;
      dst[x] = cv::Vec4f(c[0] * k, c[1] * k, c[2] * k, a);
    }
  }
  return out;
}

// A premultiplied RGBA bitmap, alpha last, of 8 or 16 bits per sample.
CGImageRef bitmapFromRGBA(const cv::Mat& rgba, int depth, CGColorSpaceRef space) {
  const bool wide = depth == 16;
  cv::Mat converted;
  rgba.convertTo(converted, wide ? CV_16UC4 : CV_8UC4, wide ? 65535.0 : 255.0);
  const size_t rowBytes = size_t(converted.cols) * (wide ? 8 : 4);
  auto buffer = std::make_shared<CGPixelBytes>(rowBytes * size_t(converted.rows));
  for (int y = 0; y < converted.rows; ++y)
    std::memcpy(buffer->data() + size_t(y) * rowBytes, converted.ptr(y), rowBytes);
  return CGImageCreate(size_t(converted.cols), size_t(converted.rows), wide ? 16 : 8, wide ? 64 : 32, rowBytes,
                       space ? space : CGColorSpaceCreateDeviceRGB(),
                       kCGImageAlphaPremultipliedLast | (wide ? kCGBitmapByteOrder16Little : 0), buffer);
}

int depthOf(const CGImageRef& img) { return img->bitsPerComponent == 8 ? 8 : 16; }

// An opaque 8- or 16-bit RGB image (RGB, or RGB and an unused fourth sample) at `depth` bits: the
// image itself when it has that depth already, else its samples rounded to the other depth (three
// a pixel). nullptr for any other layout.
NSImageRef opaqueAtDepth(const NSImageRef& image, const CGImageRef& img, int depth) {
  const size_t comps = img->componentsPerPixel(), bits = img->bitsPerComponent;
  if (img->isFloat() || img->hasAlpha() || img->colorComponents() != 3 || (comps != 3 && comps != 4) ||
      (bits != 8 && bits != 16) || img->alphaInfo() == kCGImageAlphaNoneSkipFirst)
    return nullptr;
  if (int(bits) == depth) return image;
  const uint32_t order = img->bitmapInfo & 0x7000;
  if (order == kCGBitmapByteOrder16Big || order == kCGBitmapByteOrder32Big) return nullptr;
  const size_t w = img->width, h = img->height, outBytes = size_t(depth) / 8, rowBytes = w * 3 * outBytes;
  auto buffer = std::make_shared<CGPixelBytes>(rowBytes * h);
  rova::parallelFor(int64_t(h), rova::rowsPerPiece(int64_t(w)), [&](int64_t y0, int64_t y1) {
    for (int64_t y = y0; y < y1; ++y) {
      const uint8_t* in = img->row(size_t(y));
      uint8_t* out = buffer->data() + size_t(y) * rowBytes;
      for (size_t x = 0; x < w; ++x, in += comps * bits / 8)
        for (size_t c = 0; c < 3; ++c) {
          if (depth == 8) {
            uint16_t v;
            std::memcpy(&v, in + 2 * c, 2);
            *out++ = uint8_t((uint32_t(v) + 128) / 257);  // round(v / 257): 16 bits to 8 as drawing rounds
          } else {
            const uint16_t v = uint16_t(in[c] * 257);
            std::memcpy(out, &v, 2);
            out += 2;
          }
        }
    }
  });
  auto bitmap = CGImageCreate(w, h, size_t(depth), size_t(depth) * 3, rowBytes, img->colorSpace,
                              kCGImageAlphaNone | (depth == 16 ? kCGBitmapByteOrder16Little : 0), buffer);
  return bitmap ? NSImage::imageWithCGImage(bitmap, image->size()) : nullptr;
}

// The pixels of the image at a pixel size, resampled with high quality (area averaging down,
// bicubic up).
cv::Mat pixelsAtSize(const CGImageRef& img, int width, int height) {
  cv::Mat pixels = premultipliedRGBA(img);
  if (pixels.cols == width && pixels.rows == height) return pixels;
  cv::Mat resized;
  const bool down = width <= pixels.cols && height <= pixels.rows;
  cv::resize(pixels, resized, cv::Size(width, height), 0, 0, down ? cv::INTER_AREA : cv::INTER_CUBIC);
  // Bicubic overshoot must not leave the premultiplied range.
  cv::max(resized, 0.0, resized);
  cv::min(resized, 1.0, resized);
  return resized;
}

// A lazily drawn image of the same points whose drawing works on the source's premultiplied
// pixels at the pixel size asked for.
NSImageRef lazyFilter(const NSImageRef& image, CGSize size, std::function<void(cv::Mat&)> filter) {
  return NSImage::imageWithSize(size, [image, filter](size_t width, size_t height) -> CGImageRef {
    CGImageRef source = image->CGImage();
    if (!source || width == 0 || height == 0) return nullptr;
    cv::Mat pixels = pixelsAtSize(source, int(width), int(height));
    filter(pixels);
    return bitmapFromRGBA(pixels, depthOf(source), source->colorSpace);
  });
}

}  // namespace

NSImageRef blurredImageWithRadius(const NSImageRef& image, double radius) {
  if (!image) return nullptr;
  return lazyFilter(image, image->size(), [radius](cv::Mat& pixels) {
    if (radius <= 0) return;
    cv::GaussianBlur(pixels, pixels, cv::Size(0, 0), radius, radius, cv::BORDER_CONSTANT);
  });
}

NSImageRef darkImage(const NSImageRef& image) {
  if (!image) return nullptr;
  return lazyFilter(image, image->size(), [](cv::Mat& pixels) {
    // Black at alpha 0.6 over the picture: colours keep 40%, alpha gains what black covers.
    const float shade = 0.6f;
    cv::multiply(pixels, cv::Scalar(1 - shade, 1 - shade, 1 - shade, 1 - shade), pixels);
    cv::add(pixels, cv::Scalar(0, 0, 0, shade), pixels);
  });
}

NSImageRef drawImage(const NSImageRef& base, const NSImageRef& over, CGRect rect, double opacity, int colorDepth) {
  if (!base || !over) return nullptr;
  CGImageRef baseBitmap = base->CGImage(), overBitmap = over->CGImage();
  const CGSize size = base->size();
  const int width = int(size.width), height = int(size.height);
  if (!baseBitmap || !overBitmap || width <= 0 || height <= 0) return nullptr;
  if (rect == CGRectZero) rect = CGRectMake(0, 0, size.width, size.height);
  opacity = std::clamp(opacity, 0.0, 1.0);
  // Nothing drawn over an opaque base of the size asked for (an export at full strength blends at
  // opacity 0): the result is the base itself, or its samples brought to the depth asked for, the
  // same values as drawing gives, without a float copy of the whole picture.
  if (opacity == 0 && baseBitmap->width == size_t(width) && baseBitmap->height == size_t(height))
    if (auto same = opaqueAtDepth(base, baseBitmap, colorDepth == 16 ? 16 : 8)) return same;

  cv::Mat result = pixelsAtSize(baseBitmap, width, height);
  // The target rectangle in pixel rows counted from the top.
  const int left = int(std::lround(rect.origin.x)), right = int(std::lround(rect.origin.x + rect.size.width));
  const int top = height - int(std::lround(rect.origin.y + rect.size.height)),
            bottom = height - int(std::lround(rect.origin.y));
  if (right > left && bottom > top && opacity > 0) {
    cv::Mat layer = pixelsAtSize(overBitmap, right - left, bottom - top);
    const cv::Rect target = cv::Rect(left, top, right - left, bottom - top) & cv::Rect(0, 0, width, height);
    if (target.area() > 0) {
      cv::Mat under = result(target);
      cv::Mat layerPart = layer(target - cv::Point(left, top));
      // Source over at a fraction: result = over·f + base·(1 − over alpha·f), premultiplied.
      cv::Mat keep;
      cv::extractChannel(layerPart, keep, 3);
      keep.convertTo(keep, CV_32F, -opacity, 1.0);
      cv::Mat keep4;
      cv::merge(std::vector<cv::Mat>(4, keep), keep4);
      cv::Mat blended = under.mul(keep4) + layerPart * opacity;
      blended.copyTo(under);
    }
  }
  CGColorSpaceRef space = baseBitmap->colorSpace ? baseBitmap->colorSpace : CGColorSpaceCreateDeviceRGB();
  return NSImage::imageWithCGImage(bitmapFromRGBA(result, colorDepth == 16 ? 16 : 8, space), size);
}

CGSize imageSizeFitSizeForSize(CGSize imageSize, CGSize box) {
  const double a = imageSize.width / imageSize.height, b = box.width / box.height;
  if (a > b) return CGSizeMake(box.width, std::ceil(box.width / a));
  return CGSizeMake(std::ceil(a * box.height), box.height);
}

CGRect snappedSourceRect(CGRect rect) {
  const double x0 = std::floor(rect.origin.x), y0 = std::floor(rect.origin.y);
  return CGRectMake(x0, y0, std::floor(rect.origin.x + rect.size.width) - x0,
                    std::floor(rect.origin.y + rect.size.height) - y0);
}

NSImageRef imageFromRect(const NSImageRef& image, CGRect sourceRect, CGSize box) {
  if (!image || box == CGSizeZero || image->size().width <= 0 || image->size().height <= 0) {
    QVLogError("Invalid Image");
    return nullptr;
  }
  const CGSize sourceSize = sourceRect == CGRectZero ? image->size() : sourceRect.size;
  const CGSize target = imageSizeFitSizeForSize(sourceSize, box);
  CGRect snapped = snappedSourceRect(sourceRect);
  return NSImage::imageWithSize(target, [image, snapped](size_t width, size_t height) -> CGImageRef {
    CGImageRef source = image->CGImage();
    if (!source || width == 0 || height == 0) return nullptr;
    cv::Mat pixels = premultipliedRGBA(source);
    // An empty source rectangle draws the whole image.
    if (snapped.size.width > 0 && snapped.size.height > 0) {
      const double sx = pixels.cols / image->size().width, sy = pixels.rows / image->size().height;
      const int left = int(std::lround(snapped.origin.x * sx));
      const int top = pixels.rows - int(std::lround((snapped.origin.y + snapped.size.height) * sy));
      cv::Rect crop =
          cv::Rect(left, top, int(std::lround(snapped.size.width * sx)), int(std::lround(snapped.size.height * sy))) &
          cv::Rect(0, 0, pixels.cols, pixels.rows);
      if (crop.area() == 0) return nullptr;
      pixels = pixels(crop).clone();
    }
    cv::Mat resized;
    const bool down = int(width) <= pixels.cols && int(height) <= pixels.rows;
    cv::resize(pixels, resized, cv::Size(int(width), int(height)), 0, 0, down ? cv::INTER_AREA : cv::INTER_CUBIC);
    cv::max(resized, 0.0, resized);
    cv::min(resized, 1.0, resized);
    return bitmapFromRGBA(resized, depthOf(source), source->colorSpace);
  });
}

NSImageRef imageResizedToSize(const NSImageRef& image, CGSize box) {
  return imageFromRect(image, image ? CGRectMake(0, 0, image->size().width, image->size().height) : CGRectZero, box);
}

NSImageRef imageFitToSize(const NSImageRef& image, CGSize box) {
  return imageFromRect(image, image ? CGRectMake(0, 0, image->size().width, image->size().height) : CGRectZero,
                       fitSizeForSize(image, box));
}

NSImageRef imageRotated(const NSImageRef& image, float degrees) {
  if (!image) return nullptr;
  const float d = std::fmod(degrees, 360.f);
  if (d == 0) return image;
  const CGSize size = image->size();
  CGSize canvas;
  if (d == 90 || d == -90 || d == 270 || d == -270)
    canvas = CGSizeMake(size.height, size.width);
  else if (d == 180 || d == -180)
    canvas = size;
  else
    canvas = CGSizeMake(std::max(size.width, size.height) + 20, std::max(size.width, size.height) + 20);

  CGImageRef source = image->CGImage();
  if (!source) return nullptr;
  cv::Mat pixels = premultipliedRGBA(source);
  const double sx = pixels.cols / size.width, sy = pixels.rows / size.height;
  const int width = int(std::lround(canvas.width * sx)), height = int(std::lround(canvas.height * sy));
  // Counter-clockwise as seen, about the picture's centre, which lands on the canvas centre.
  cv::Mat turn = cv::getRotationMatrix2D(cv::Point2f(pixels.cols / 2.f, pixels.rows / 2.f), double(d), 1.0);
  turn.at<double>(0, 2) += (width - pixels.cols) / 2.0;
  turn.at<double>(1, 2) += (height - pixels.rows) / 2.0;
  cv::Mat rotated;
  cv::warpAffine(pixels, rotated, turn, cv::Size(width, height), cv::INTER_CUBIC, cv::BORDER_CONSTANT,
                 cv::Scalar(0, 0, 0, 0));
  cv::max(rotated, 0.0, rotated);
  cv::min(rotated, 1.0, rotated);
  return NSImage::imageWithCGImage(bitmapFromRGBA(rotated, depthOf(source), source->colorSpace), canvas);
}

}  // namespace qv
