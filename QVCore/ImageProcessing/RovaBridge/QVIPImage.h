#pragma once
// The one image object handed between the engine side and the platform side: processors return it
// as a render result, layers take it as content, screens draw it. It holds engine RGB float data,
// engine mask data (a mask preview) or a platform bitmap, and turns engine data into a bitmap once,
// on the first `CGImage()` request, releasing the engine data then (so a preview is held once).
//
// Colour-space codes: 0 none (keep the data's own profile), 1 sRGB, 2 Adobe RGB, 3 ProPhoto RGB,
// 4 the engine's working space (QVRovaHelper holds the tables). Depth: bits per component of the
// bitmap made from engine data, 8 or 16.
//
// The geometric operations draw in the platform's coordinates (origin bottom left, y up); see
// QVIPImageCanvas. Always owned by a std::shared_ptr; made through the static initialisers.
#include <cstdint>
#include <memory>
#include <mutex>

#include "QVBase/Geometry.h"
#include "QVPlatform/ImageIO/CoreGraphics.h"
#include "rova/ImageData.h"

// A platform image as the core framework meets it: a bitmap and the image's size in points (the
// bitmap may hold more pixels than that, as on a high-resolution screen).
struct QVPlatformImage {
  CGImageRef bitmap;
  CGSize size{};
};

class QVIPImage : public std::enable_shared_from_this<QVIPImage> {
 public:
  using Ptr = std::shared_ptr<QVIPImage>;

  // ---- Initialisers (nullptr where noted) ----
  // The bitmap itself: code 0, its bits per component as depth. nullptr without a bitmap.
  static Ptr initWithCGImage(CGImageRef image);
  // A bitmap of the platform image; redrawn at the image's size when a code other than 0 is
  // asked for or the bitmap's pixel size differs from the size in points. nullptr without bitmap.
  static Ptr initWithNSImage(const QVPlatformImage& image) { return initWithNSImage(image, 0, 8); }
  static Ptr initWithNSImage(const QVPlatformImage& image, int64_t colorspace, uint64_t depth);
  // Engine RGB data: code from the data's profile type, depth 16. nullptr for no data.
  static Ptr initWithImageData(rova::ImageDataRGBfPtr data, bool shouldClampImageData = false);
  static Ptr initWithImageData(rova::ImageDataRGBfPtr data, int64_t colorspace, uint64_t depth,
                               bool shouldClampImageData = false);
  // A mask preview: size from the data, or `size` when there is no data.
  static Ptr initWithMaskData(rova::ImageDataFPtr mask, CGSize size);

  // The platform's sRGB colour space.
  static CGColorSpaceRef imageColorSpace();

  // ---- Bitmaps ----
  // Made on the first request (under the image's lock, so concurrent first requests make one);
  // engine data is released then. nullptr when there is neither bitmap nor data or the
  // conversion fails (a depth other than 8 or 16).
  CGImageRef CGImage();
  // A bitmap made to be written to a file: three components a pixel when there is no alpha (the
  // encoders read it in place) instead of the fourth, skipped component a screen shows without a
  // copy. Set before the first CGImage().
  void setBitmapForFile(bool v) {
    std::lock_guard<std::mutex> lock(mutex_);
    bitmapForFile_ = v;
  }
  // A new bitmap of the engine data as held (no pending clamp) for that code and depth; nullptr
  // without engine RGB data.
  CGImageRef CGImageWithColorspace(int64_t colorspace, uint64_t depth);
  // True for code 0; else whether the data's profile type is that code's.
  bool colorProfileMatchesWithColorSpace(int64_t colorspace);

  // ---- Data ----
  // The engine RGB data after the pending clamp; nullptr once the bitmap exists.
  rova::ImageDataRGBfPtr imageData();
  // The raw floats of that data (R, G, B per pixel, rows from the top), kept alive by the pointer.
  std::shared_ptr<const float> floatImageData();
  rova::ImageDataFPtr maskData();
  CGColorSpaceRef colorSpace() const;
  int64_t colorspaceCode() const { return colorspace_; }
  uint64_t depth() const { return depth_; }
  bool isMaskPreview() const { return isMaskPreview_; }
  bool shouldClampImageData();
  uint64_t imageWidth() const { return uint64_t(imageWidth_); }
  uint64_t imageHeight() const { return uint64_t(imageHeight_); }
  CGSize size() const { return {imageWidth_, imageHeight_}; }

  // ---- Geometry ----
  // The source rectangle (bitmap pixels, bottom-left origin) drawn over a new image of `size`;
  // the image itself when that is the identity. nullptr when nothing can be drawn.
  Ptr tileForRect(CGRect rect, CGSize size);
  // The rectangle of the image as a new 8-bit image of the rectangle's size rounded to whole
  // pixels, the picture turned by -angle radians about the rectangle's centre (a positive angle
  // turns the frame counter-clockwise over the picture).
  Ptr imageWithCropRect(CGRect rect, double angle);
  // EXIF orientation 1 to 8 applied (the image itself for 1; the image's own depth, code 0).
  Ptr imageByApplyingOrientation(uint64_t orientation);
  Ptr imageByApplyingOrientation(uint64_t orientation, int64_t colorspace, uint64_t depth);
  // A copy with `image` drawn into `rect` (bottom-left origin), in this image's bitmap layout.
  Ptr updatedImageWithImage(const Ptr& image, CGRect rect);
  // A bitmap of the image at `size` (truncated to whole pixels): from the engine data when it is
  // still held, else from the bitmap. nullptr when there is nothing to resize.
  CGImageRef resize(CGSize size);
  // The bitmap as a platform image of its natural size, for debugging.
  QVPlatformImage debugQuickLookObject();

  QVIPImage() = default;

 private:
  void clampIfNeeded();  // callers hold mutex_
  Ptr orientedImage(uint64_t orientation, int64_t colorspace, uint64_t depth);

  mutable std::mutex mutex_;
  CGImageRef cgImage_;
  rova::ImageDataRGBfPtr cppImageData_;
  rova::ImageDataFPtr maskData_;
  int64_t colorspace_ = 0;
  uint64_t depth_ = 0;
  double imageWidth_ = 0, imageHeight_ = 0;
  bool shouldClampImageData_ = false;
  bool isMaskPreview_ = false;
  bool bitmapForFile_ = false;
};

using QVIPImagePtr = QVIPImage::Ptr;
