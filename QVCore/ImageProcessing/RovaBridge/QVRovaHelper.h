#pragma once
// Bridges between engine data and platform bitmaps (colour-space tables, RGB and mask
// conversions), and the engine image files:
//   "rovaimagedata"            legacy, read only: little-endian int32 width, int32 height, then
//                              width x height pixels of three float32 (R, G, B), rows from the top;
//                              exactly 8 + 12 x width x height bytes, engine profile type 2.
//   "rovacompressedimagedata"  exactly the bytes of the engine's image compressor.
//   "rovacompressedmaskdata"   exactly the bytes of the engine's mask compressor.
#include <cstdint>
#include <vector>

#include "QVBase/Geometry.h"
#include "QVPlatform/Error.h"
#include "QVPlatform/ImageIO/CoreGraphics.h"
#include "rova/Image.h"
#include "rova/ImageData.h"

inline constexpr const char* kQVRovaImageDataExtension = "rovaimagedata";
inline constexpr const char* kQVRovaCompressedImageDataExtension = "rovacompressedimagedata";
inline constexpr const char* kQVRovaCompressedMaskDataExtension = "rovacompressedmaskdata";

inline constexpr const char* kQVRovaHelperErrorDomain = "QVRovaHelperErrorDomain";
inline constexpr int64_t kQVRovaHelperErrorMalformedData = 1;

class QVRovaHelper {
 public:
  // Whole pixels of a fit size: rounded, never truncated (a fitted 1999.9999 is 2000), and at
  // least one pixel on a side that is not zero (a long panorama's short side); zero stays zero.
  static rova::Size pixelSize(CGSize size);
  // Colour-space codes (0 none, 1 sRGB, 2 Adobe RGB, 3 ProPhoto RGB, 4 the engine's working space)
  // to engine profile types and back; codes and types outside the tables give 7 and 0.
  static rova::ImageDataColorProfileType colorProfileTypeForColorSpace(int64_t colorSpace);
  static int64_t colorSpaceForColorProfileType(int64_t profileType);
  // The platform colour space of a code's profile type; nullptr when the engine has none.
  static CGColorSpaceRef cgColorSpaceForQVImageColorSpace(int64_t colorSpace);

  // A bitmap of RGB data: code 0 keeps the data's profile, another code converts (and clamps)
  // into that code's profile unless the data is in it already. Depth 16: 16-bit little-endian
  // R, G, B and an ignored fourth component (the straight alpha, alpha last, when the data has an
  // alpha plane); depth 8: bytes. Channel values should lie in 0..1;
  // values outside saturate and NaN becomes 0. nullptr for no data, another depth, or a profile
  // without a colour space.
  // `packed`: three components a pixel when the data has no alpha (a bitmap made to be written to
  // a file, which the encoders then read in place), instead of a skipped fourth component (the
  // layout a screen shows without a copy).
  static CGImageRef createCGImageWith(const rova::ImageDataRGBfPtr& data, int64_t colorspace, int64_t depth,
                                      bool packed = false);
  static CGImageRef createCGImageWith(const rova::ImageDataRGBfPtr& data) { return createCGImageWith(data, 0, 16); }
  // True when createCGImageWith saturates each component of such data on its own (no colour
  // transform on the way), so clamping the data first would give the very same bitmap.
  static bool createCGImageSaturatesEachComponent(const rova::ImageDataRGBf& data, int64_t colorspace);
  // A red wash whose opacity is the mask value: float pixels (m, 0, 0, m), premultiplied alpha
  // last; without mask data a fully red bitmap of the given size (truncated).
  static CGImageRef createCGImageWithMaskData(const rova::ImageDataFPtr& mask, CGSize size);

  // The engine image of a legacy "rovaimagedata" file's bytes; nullptr when the header announces a
  // size the bytes do not hold (or that the engine does not accept).
  static rova::ImagePtr rovaImagePtrFromRovaimagedata(const std::vector<uint8_t>& bytes);
  // The engine image of a "rovacompressedimagedata" file's bytes; nullptr when malformed, with
  // `error` set (domain "QVRovaHelperErrorDomain", code 1, the engine's reason as description).
  static rova::ImagePtr rovaImagePtrFromRovacompressedimagedata(const std::vector<uint8_t>& bytes,
                                                                qv::Error* error = nullptr);
  // The compressed bytes of the image's full-size data; empty for no image.
  static std::vector<uint8_t> compressedImageDataForImage(const rova::ImagePtr& image);
};
