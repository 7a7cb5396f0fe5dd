#include "QVPlatform/ImageIO/NSImage.h"

#include <cmath>

#include "QVPlatform/ImageIO/ImageIO.h"
#include "QVPlatform/Log.h"

NSImage::NSImage(CGImageRef image, CGSize size, DrawingHandler handler)
    : bitmap_(std::move(image)), size_(size), handler_(std::move(handler)) {}

NSImageRef NSImage::imageWithCGImage(CGImageRef image, CGSize size) {
  if (!image || image->width == 0 || image->height == 0) return nullptr;
  if (CGSizeIsEmpty(size)) size = CGSizeMake(double(image->width), double(image->height));
  return std::make_shared<NSImage>(std::move(image), size, nullptr);
}

NSImageRef NSImage::imageWithSize(CGSize size, DrawingHandler handler) {
  if (!handler || CGSizeIsEmpty(size)) return nullptr;
  return std::make_shared<NSImage>(nullptr, size, std::move(handler));
}

NSImageRef NSImage::imageWithData(const std::vector<uint8_t>& data) {
  auto source = CGImageSourceCreateWithData(data);
  if (!source || CGImageSourceGetCount(source) == 0) return nullptr;
  return imageWithCGImage(CGImageSourceCreateImageAtIndex(source, 0));
}

CGImageRef NSImage::CGImage() const {
  if (bitmap_) return bitmap_;
  return CGImageForPixelSize(size_t(std::max(1.0, std::trunc(size_.width))),
                             size_t(std::max(1.0, std::trunc(size_.height))));
}

CGImageRef NSImage::CGImageForPixelSize(size_t pixelWidth, size_t pixelHeight) const {
  if (bitmap_) return bitmap_;
  if (pixelWidth == 0 || pixelHeight == 0) return nullptr;
  std::lock_guard<std::mutex> lock(mutex_);
  if (drawn_ && drawnWidth_ == pixelWidth && drawnHeight_ == pixelHeight) return drawn_;
  CGImageRef made = handler_(pixelWidth, pixelHeight);
  if (!made) {
    QVLogWarning("NSImage: the drawing handler made no bitmap for %zux%zu", pixelWidth, pixelHeight);
    return nullptr;
  }
  drawn_ = made;
  drawnWidth_ = pixelWidth;
  drawnHeight_ = pixelHeight;
  return drawn_;
}

size_t NSImage::heldBytes() const {
  if (bitmap_) return bitmap_->byteCount;
  std::lock_guard<std::mutex> lock(mutex_);
  return drawn_ ? drawn_->byteCount : 0;
}

CGColorSpaceRef NSImage::colorSpace() const {
  auto image = CGImage();
  if (image && image->colorSpace) return image->colorSpace;
  return CGColorSpaceCreateWithName(kCGColorSpaceSRGB);
}

std::vector<uint8_t> NSImage::encoded(const char* type) const {
  auto image = CGImage();
  if (!image) return {};
  auto data = std::make_shared<std::vector<uint8_t>>();
  auto destination = CGImageDestinationCreateWithData(data, type, 1);
  if (!destination) return {};
  qv::Dictionary properties;
  properties[kCGImagePropertyDepth] = qv::Value(int64_t(image->bitsPerComponent > 8 ? 16 : 8));
  CGImageDestinationAddImage(destination, image, qv::Value(properties));
  std::string error;
  if (!CGImageDestinationFinalize(destination, &error)) {
    QVLogWarning("NSImage: cannot encode as %s: %s", type, error.c_str());
    return {};
  }
  return std::move(*data);
}

std::vector<uint8_t> NSImage::TIFFRepresentation() const { return encoded(kUTTypeTIFF); }
std::vector<uint8_t> NSImage::PNGRepresentation() const { return encoded(kUTTypePNG); }
