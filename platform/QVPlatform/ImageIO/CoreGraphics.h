#pragma once
// Bitmaps and colour spaces handed between the image I/O layer, the core framework and the screens
// (the Core Graphics stand-in). Images are immutable and shared.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "rova/Color.h"
#include "rova/codecs/Codecs.h"

// Names of colour spaces, for CGColorSpaceCreateWithName.
inline constexpr const char* kCGColorSpaceSRGB = "kCGColorSpaceSRGB";
inline constexpr const char* kCGColorSpaceAdobeRGB1998 = "kCGColorSpaceAdobeRGB1998";
inline constexpr const char* kCGColorSpaceROMMRGB = "kCGColorSpaceROMMRGB";  // ProPhoto
inline constexpr const char* kCGColorSpaceLinearSRGB = "kCGColorSpaceLinearSRGB";
inline constexpr const char* kCGColorSpaceGenericRGB = "kCGColorSpaceGenericRGB";

struct CGColorSpace {
  std::string name;           // one of the names above, or the ICC profile's description
  rova::ColorSpacePtr space;  // profile and engine type (kColorProfileUnknown for foreign ICC)
  rova::ImageDataColorProfileType profileType() const { return space ? space->type() : rova::kColorProfileUnknown; }
};
using CGColorSpaceRef = std::shared_ptr<const CGColorSpace>;

CGColorSpaceRef CGColorSpaceCreateWithName(const std::string& name);  // nullptr for an unknown name
CGColorSpaceRef CGColorSpaceCreateDeviceRGB();                        // taken as sRGB
CGColorSpaceRef CGColorSpaceCreateWithICCData(const std::vector<uint8_t>& icc);
CGColorSpaceRef CGColorSpaceCreateWithProfileType(rova::ImageDataColorProfileType type);
std::vector<uint8_t> CGColorSpaceCopyICCData(const CGColorSpaceRef& space);

enum CGImageAlphaInfo : uint32_t {
  kCGImageAlphaNone = 0,
  kCGImageAlphaPremultipliedLast = 1,
  kCGImageAlphaPremultipliedFirst = 2,
  kCGImageAlphaLast = 3,
  kCGImageAlphaFirst = 4,
  kCGImageAlphaNoneSkipLast = 5,
  kCGImageAlphaNoneSkipFirst = 6,
  kCGImageAlphaOnly = 7,
};
// Bitmap info: the alpha info in the low bits, plus these flags.
inline constexpr uint32_t kCGBitmapAlphaInfoMask = 0x1F;
inline constexpr uint32_t kCGBitmapFloatComponents = 1u << 8;
inline constexpr uint32_t kCGBitmapByteOrderDefault = 0;
inline constexpr uint32_t kCGBitmapByteOrder16Little = 1u << 12;
inline constexpr uint32_t kCGBitmapByteOrder32Little = 2u << 12;
inline constexpr uint32_t kCGBitmapByteOrder16Big = 3u << 12;
inline constexpr uint32_t kCGBitmapByteOrder32Big = 4u << 12;

// An immutable bitmap: interleaved components of 8 or 16 bits (unsigned, little-endian for 16) or
// 32-bit floats; the pixel buffer is shared and freed with the last image that uses it.
class CGImage {
 public:
  size_t width = 0, height = 0, bitsPerComponent = 0, bitsPerPixel = 0, bytesPerRow = 0;
  uint32_t bitmapInfo = 0;
  CGColorSpaceRef colorSpace;
  // The pixel bytes (row y starts at bytes + y x bytesPerRow) and whoever keeps them alive.
  std::shared_ptr<const void> owner;
  const uint8_t* bytes = nullptr;
  size_t byteCount = 0;

  CGImageAlphaInfo alphaInfo() const { return CGImageAlphaInfo(bitmapInfo & kCGBitmapAlphaInfoMask); }
  bool isFloat() const { return (bitmapInfo & kCGBitmapFloatComponents) != 0; }
  size_t componentsPerPixel() const { return bitsPerComponent ? bitsPerPixel / bitsPerComponent : 0; }
  // Components of colour (3 for RGB, 1 for grey), without alpha or padding.
  size_t colorComponents() const;
  bool hasAlpha() const;
  const uint8_t* row(size_t y) const { return bytes + y * bytesPerRow; }
};
using CGImageRef = std::shared_ptr<const CGImage>;

// A new image over a pixel buffer; nullptr when the layout does not fit the buffer or is not one we
// handle (1, 2, 3 or 4 components of 8, 16 or 32 bits).
CGImageRef CGImageCreate(size_t width, size_t height, size_t bitsPerComponent, size_t bitsPerPixel, size_t bytesPerRow,
                         CGColorSpaceRef space, uint32_t bitmapInfo, std::shared_ptr<const std::vector<uint8_t>> data);
// Bytes for a bitmap that is written whole right after: allocated without being zeroed first (a
// large bitmap's zeroing was a single-threaded pass over memory about to be overwritten).
using CGPixelBytes = std::vector<uint8_t, rova::codecs::DefaultInitAllocator<uint8_t>>;
CGImageRef CGImageCreate(size_t width, size_t height, size_t bitsPerComponent, size_t bitsPerPixel, size_t bytesPerRow,
                         CGColorSpaceRef space, uint32_t bitmapInfo, std::shared_ptr<const CGPixelBytes> data);
inline size_t CGImageGetWidth(const CGImageRef& i) { return i ? i->width : 0; }
inline size_t CGImageGetHeight(const CGImageRef& i) { return i ? i->height : 0; }
inline size_t CGImageGetBitsPerComponent(const CGImageRef& i) { return i ? i->bitsPerComponent : 0; }
inline CGColorSpaceRef CGImageGetColorSpace(const CGImageRef& i) { return i ? i->colorSpace : nullptr; }

namespace qv {
// An 8-bit sRGB-encoded image of engine float data (values clamped to 0..1) in the data's own
// colour space, or converted into `colorSpace` when one is given; nullptr for no data.
CGImageRef imageFromEngineData(const rova::ImageDataRGBf& data,
                               rova::ImageDataColorProfileType colorSpace = rova::kColorProfileUnknown);
// The pixel values of an image as engine float data, encoded values scaled to 0..1, alpha
// dropped; the profile type follows the image's colour space.
rova::ImageDataRGBfPtr engineDataFromImage(const CGImageRef& image);
}  // namespace qv
