#include "QVCore/ImageProcessing/RovaBridge/QVIPImage.h"

#include <cmath>
#include <numbers>

#include "QVCore/ImageProcessing/RovaBridge/QVRovaHelper.h"
#include "QVCore/Utils/QVIPImageCanvas.h"
#include "QVCore/Utils/QVImageUtils.h"

namespace {

// Drawings keep 16-bit precision when the bitmap they start from has it.
size_t canvasDepthFor(const CGImageRef& image) { return image && image->bitsPerComponent >= 16 ? 16 : 8; }

}  // namespace

// ---- Initialisers ----

QVIPImage::Ptr QVIPImage::initWithCGImage(CGImageRef image) {
  if (!image) return nullptr;
  auto out = std::make_shared<QVIPImage>();
  out->imageWidth_ = double(image->width);
  out->imageHeight_ = double(image->height);
  out->depth_ = image->bitsPerComponent;
  out->cgImage_ = std::move(image);
  return out;
}

QVIPImage::Ptr QVIPImage::initWithNSImage(const QVPlatformImage& image, int64_t colorspace, uint64_t depth) {
  CGImageRef bitmap = image.bitmap;
  if (!bitmap) return nullptr;
  const CGSize size = image.size.width > 0 && image.size.height > 0
                          ? image.size
                          : CGSizeMake(double(bitmap->width), double(bitmap->height));
  if (colorspace != 0 || double(bitmap->width) != size.width || double(bitmap->height) != size.height) {
    // Code 0 keeps the bitmap's own colour space: only the size changes then.
    const int64_t drawDepth = colorspace == 0 && depth != 16 ? 8 : int64_t(depth);
    bitmap = QVImageUtils::cgImageFromCGImage(bitmap, size, colorspace, drawDepth);
  }
  auto out = initWithCGImage(std::move(bitmap));
  if (!out) return nullptr;
  out->colorspace_ = colorspace;
  out->depth_ = depth;
  return out;
}

QVIPImage::Ptr QVIPImage::initWithImageData(rova::ImageDataRGBfPtr data, bool shouldClampImageData) {
  if (!data) return nullptr;
  const int64_t code = QVRovaHelper::colorSpaceForColorProfileType(data->colorProfileType());
  return initWithImageData(std::move(data), code, 16, shouldClampImageData);
}

QVIPImage::Ptr QVIPImage::initWithImageData(rova::ImageDataRGBfPtr data, int64_t colorspace, uint64_t depth,
                                            bool shouldClampImageData) {
  if (!data) return nullptr;
  auto out = std::make_shared<QVIPImage>();
  out->imageWidth_ = double(data->width());
  out->imageHeight_ = double(data->height());
  out->cppImageData_ = std::move(data);
  out->colorspace_ = colorspace;
  out->depth_ = depth;
  out->shouldClampImageData_ = shouldClampImageData;
  return out;
}

QVIPImage::Ptr QVIPImage::initWithMaskData(rova::ImageDataFPtr mask, CGSize size) {
  auto out = std::make_shared<QVIPImage>();
  out->imageWidth_ = mask ? double(mask->width()) : size.width;
  out->imageHeight_ = mask ? double(mask->height()) : size.height;
  out->maskData_ = std::move(mask);
  out->isMaskPreview_ = true;
  return out;
}

CGColorSpaceRef QVIPImage::imageColorSpace() { return QVImageUtils::defaultBitmapColorSpace(); }

// ---- Bitmaps and data ----

void QVIPImage::clampIfNeeded() {
  if (!shouldClampImageData_ || !cppImageData_) return;
  // The data handed in is shared and read-only: clamp a copy.
  if (auto copy = cppImageData_->copy()) {
    rova::clamp(*copy);
    cppImageData_ = std::move(copy);
    shouldClampImageData_ = false;
  }
}

CGImageRef QVIPImage::CGImage() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (cgImage_) return cgImage_;
  if (isMaskPreview_) {
    cgImage_ = QVRovaHelper::createCGImageWithMaskData(maskData_, size());
    if (cgImage_) maskData_.reset();
    return cgImage_;
  }
  if (!cppImageData_) return nullptr;
  // The conversion saturates every component; a full-size clamped copy only matters when a colour
  // transform comes first, where out-of-range components mix into the others.
  if (!QVRovaHelper::createCGImageSaturatesEachComponent(*cppImageData_, colorspace_)) clampIfNeeded();
  cgImage_ = QVRovaHelper::createCGImageWith(cppImageData_, colorspace_, int64_t(depth_), bitmapForFile_);
  if (cgImage_) cppImageData_.reset();
  return cgImage_;
}

CGImageRef QVIPImage::CGImageWithColorspace(int64_t colorspace, uint64_t depth) {
  rova::ImageDataRGBfPtr data;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    data = cppImageData_;
  }
  return data ? QVRovaHelper::createCGImageWith(data, colorspace, int64_t(depth)) : nullptr;
}

bool QVIPImage::colorProfileMatchesWithColorSpace(int64_t colorspace) {
  if (colorspace == 0) return true;
  std::lock_guard<std::mutex> lock(mutex_);
  return cppImageData_ && cppImageData_->colorProfileType() == QVRovaHelper::colorProfileTypeForColorSpace(colorspace);
}

rova::ImageDataRGBfPtr QVIPImage::imageData() {
  std::lock_guard<std::mutex> lock(mutex_);
  clampIfNeeded();
  return cppImageData_;
}

std::shared_ptr<const float> QVIPImage::floatImageData() {
  auto data = imageData();
  if (!data) return nullptr;
  const float* floats = data->floats();
  return std::shared_ptr<const float>(std::move(data), floats);
}

rova::ImageDataFPtr QVIPImage::maskData() {
  std::lock_guard<std::mutex> lock(mutex_);
  return maskData_;
}

bool QVIPImage::shouldClampImageData() {
  std::lock_guard<std::mutex> lock(mutex_);
  return shouldClampImageData_;
}

CGColorSpaceRef QVIPImage::colorSpace() const { return QVRovaHelper::cgColorSpaceForQVImageColorSpace(colorspace_); }

// ---- Geometry ----

QVIPImage::Ptr QVIPImage::tileForRect(CGRect rect, CGSize size) {
  if (rect.size.width == size.width && rect.size.height == size.height && size.width == imageWidth_ &&
      size.height == imageHeight_ && rect.origin.x == 0 && rect.origin.y == 0) {
    return shared_from_this();
  }
  CGImageRef bitmap = CGImage();
  if (!bitmap || CGRectIsEmpty(rect)) return nullptr;
  QVIPImageCanvas canvas(int64_t(size.width), int64_t(size.height));
  if (!canvas.isValid()) return nullptr;
  if (!canvas.drawImage(bitmap, CGRectMake(0, 0, size.width, size.height), rect, CGAffineTransformIdentity,
                        QVIPImageCanvas::Operation::Copy))
    return nullptr;
  return initWithCGImage(canvas.makeImage(canvasDepthFor(bitmap), bitmap->colorSpace));
}

QVIPImage::Ptr QVIPImage::imageWithCropRect(CGRect rect, double angle) {
  CGImageRef bitmap = CGImage();
  if (!bitmap) return nullptr;
  const double x = rect.origin.x, y = rect.origin.y, w = rect.size.width, h = rect.size.height;
  const CGSize out = CGSizeMake(double(std::llround(w)), double(std::llround(h)));
  QVIPImageCanvas canvas{int64_t(out.width), int64_t(out.height)};
  if (!canvas.isValid()) return nullptr;
  CGAffineTransform t = CGAffineTransformMakeTranslation(w / 2, h / 2);
  t = CGAffineTransformRotate(t, -angle);
  t = CGAffineTransformTranslate(t, -(w / 2 + x), -(h / 2 + y));
  if (!canvas.drawImage(bitmap, CGRectMake(0, 0, imageWidth_, imageHeight_), CGRectZero, t)) return nullptr;
  return initWithNSImage({canvas.makeImage(8, bitmap->colorSpace), out});
}

QVIPImage::Ptr QVIPImage::imageByApplyingOrientation(uint64_t orientation) {
  if (orientation == 1) return shared_from_this();
  return orientedImage(orientation, 0, depth_);
}

QVIPImage::Ptr QVIPImage::imageByApplyingOrientation(uint64_t orientation, int64_t colorspace, uint64_t depth) {
  return orientedImage(orientation, colorspace, depth);
}

QVIPImage::Ptr QVIPImage::orientedImage(uint64_t orientation, int64_t colorspace, uint64_t depth) {
  CGImageRef bitmap = CGImage();
  if (!bitmap) return nullptr;
  const double W = imageWidth_, H = imageHeight_;
  constexpr double halfPi = std::numbers::pi / 2;
  CGAffineTransform t = CGAffineTransformIdentity;
  CGSize out = CGSizeMake(W, H);
  const auto quarterTurn = [&](bool flip, double angle) {
    t = CGAffineTransformTranslate(t, H / 2, W / 2);
    if (flip) t = CGAffineTransformScale(t, 1, -1);
    t = CGAffineTransformRotate(t, angle);
    t = CGAffineTransformTranslate(t, -W / 2, -H / 2);
    out = CGSizeMake(H, W);
  };
  switch (orientation) {
    case 2:
      t = CGAffineTransformScale(CGAffineTransformTranslate(t, W, 0), -1, 1);
      break;
    case 3:
      t = CGAffineTransformScale(CGAffineTransformTranslate(t, W, H), -1, -1);
      break;
    case 4:
      t = CGAffineTransformScale(CGAffineTransformTranslate(t, 0, H), 1, -1);
      break;
    case 5:
      quarterTurn(true, halfPi);
      break;
    case 6:
      quarterTurn(false, -halfPi);
      break;
    case 7:
      quarterTurn(true, -halfPi);
      break;
    case 8:
      quarterTurn(false, halfPi);
      break;
    default:
      break;
  }
  QVIPImageCanvas canvas(int64_t(out.width), int64_t(out.height));
  if (!canvas.isValid() || !canvas.drawImage(bitmap, CGRectMake(0, 0, W, H), CGRectZero, t)) return nullptr;
  return initWithNSImage({canvas.makeImage(canvasDepthFor(bitmap), bitmap->colorSpace), out}, colorspace, depth);
}

QVIPImage::Ptr QVIPImage::updatedImageWithImage(const Ptr& image, CGRect rect) {
  CGImageRef bitmap = CGImage();
  if (!bitmap) return nullptr;
  QVIPImageCanvas canvas{int64_t(imageWidth_), int64_t(imageHeight_)};
  if (!canvas.isValid() || !canvas.drawImage(bitmap, CGRectMake(0, 0, imageWidth_, imageHeight_))) return nullptr;
  if (CGImageRef other = image ? image->CGImage() : nullptr) {
    // The pasted picture is colour-matched into this bitmap's colour space, as drawing into a
    // context of that space does; only the rectangle it covers changes.
    QVIPImageCanvas pasted{int64_t(other->width), int64_t(other->height)};
    if (pasted.isValid() && pasted.drawImage(other, CGRectMake(0, 0, double(other->width), double(other->height)))) {
      pasted.matchColors(other->colorSpace, bitmap->colorSpace);
      other = pasted.makeImage(16, bitmap->colorSpace);
    }
    if (other) canvas.drawImage(other, rect);
  }
  return initWithCGImage(canvas.makeImageLike(*bitmap));
}

CGImageRef QVIPImage::resize(CGSize size) {
  const int w = int(size.width), h = int(size.height);
  rova::ImageDataRGBfPtr data;
  CGImageRef bitmap;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    data = cppImageData_;
    bitmap = cgImage_;
  }
  if (data) {
    auto resized = rova::resize(*data, w, h, true);
    return resized ? QVRovaHelper::createCGImageWith(resized, colorspace_, int64_t(depth_)) : nullptr;
  }
  if (bitmap) {
    // The platform's image resizing: the bitmap's colours resampled at its own depth.
    auto pixels = qv::engineDataFromImage(bitmap);
    auto resized = pixels ? rova::resize(*pixels, w, h, true) : nullptr;
    return resized ? QVRovaHelper::createCGImageWith(resized, 0, int64_t(canvasDepthFor(bitmap))) : nullptr;
  }
  return nullptr;
}

QVPlatformImage QVIPImage::debugQuickLookObject() {
  CGImageRef bitmap = CGImage();
  return {bitmap, bitmap ? CGSizeMake(double(bitmap->width), double(bitmap->height)) : CGSizeZero};
}
