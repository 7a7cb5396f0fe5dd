#pragma once
// Small, stateless image-file services: what kind of file an image is, how large it is (turned by
// its orientation), its type identifier, cleaned metadata, colour depth, thumbnails, and the
// camera-profile name helpers. Paths are file-system paths; every failure is an empty result
// (nullptr, empty data, zero size, "" or false), never an exception.
#include <cstdint>
#include <string>
#include <vector>

#include "QVBase/Geometry.h"
#include "QVPlatform/ImageIO/ImageIO.h"
#include "QVPlatform/Value.h"
#include "rova/ImageData.h"

class QVImageUtils {
 public:
  using Data = std::vector<uint8_t>;  // empty: no data

  static bool isRawImage(const std::string& path);
  static bool isDngImage(const std::string& path);

  // Pixel size as shown: from the image I/O layer for non-RAW files and DNG, else (or when that
  // fails) from the engine reader.
  static CGSize sizeForImageWithPath(const std::string& path);
  static CGSize imageSizeForPath(const std::string& path) { return sizeForImageWithPath(path); }
  static CGSize sizeForRawImageWithPath(const std::string& path) { return sizeForImageWithPath(path); }
  // The stored pixel size from the file's properties, width and height swapped for orientations
  // 5 to 8; zero when the file cannot be read.
  static CGSize getImageSizeNatively(const std::string& path);
  // The size scaled down (never up) to fit the box, keeping its proportions.
  static CGSize convertSize(CGSize size, CGSize fitSize);

  static int64_t colorDepthAtPath(const std::string& path);
  // The type identifier ("public.jpeg", ...); "" when the file cannot be opened.
  static std::string imageTypeAtPath(const std::string& path);
  // The property dictionary of the first image without its orientation (top level and {TIFF};
  // {TIFF} is always present) and without the EXIF colour space; a null value when the file cannot
  // be opened or has no properties.
  static qv::Value imagePropertiesAtPath(const std::string& path);
  static bool canOpenImageAtURL(const std::string& path);
  static CGImageSourceRef imageSourceForImageAtPath(const std::string& path);

  // A thumbnail no larger than `size` on its long side: the engine's quick thumbnail (not for
  // "dcr" and "mef"), else the image I/O layer's (not for "mef"; one smaller than `size` in both
  // directions counts as none), else the engine's hard thumbnail. nullptr when all fail.
  static CGImageRef thumbnailJPEGFromImageAtPath(const std::string& path, double size);
  // That thumbnail as JPEG-compressed TIFF data.
  static Data thumbnailJPEGDataFromImageAtPath(const std::string& path, double size);
  static CGImageRef createCGImageQuickly(const std::string& path, double size);
  static CGImageRef createCGImageNatively(const std::string& path, double size);
  static CGImageRef createCGImageHardly(const std::string& path, double size);
  static Data thumbnailDataQuickly(const std::string& path, double size);
  static Data thumbnailDataHardly(const std::string& path, double size);
  // 8-bit RGB TIFF data of engine data (components clamped to 0..1; NaN gives 0) in the data's
  // colour space; empty for no data.
  static Data thumbnailDataFromImageData(const rova::ImageDataRGBfPtr& data);
  static CGImageRef createCGImageFromThumbnailData(const Data& data, double size);
  static CGImageRef createCGImageFromImageSource(const CGImageSourceRef& source, double size);
  static CGImageRef newCGImageThumbnailFromImageSource(const CGImageSourceRef& source, double maxPixelSize,
                                                       bool withTransform, bool canUseExistingThumbnail);
  // TIFF data of an 8-bit RGB bitmap (3 x width bytes a row, no alpha); empty on failure.
  static Data tiffDataFromBitmapRGB(const uint8_t* bytes, size_t width, size_t height, const CGColorSpaceRef& space);
  // Colour-space codes (0 none, 1 sRGB, 2 Adobe RGB, 3 ProPhoto RGB, 4 the engine's working space)
  // to engine profile types; other codes give the unknown type. QVRovaHelper hands these on.
  static rova::ImageDataColorProfileType colorProfileTypeForColorSpace(int64_t colorSpace);
  // The platform colour space of a code's profile type; nullptr when the engine has none.
  static CGColorSpaceRef cgColorSpaceForColorSpace(int64_t colorSpace);
  // The colour space a bitmap without one is taken to be in (sRGB); QVIPImage::imageColorSpace.
  static CGColorSpaceRef defaultBitmapColorSpace();
  // The image redrawn at `size` into a bitmap of `depth` (8 or 16) bits a component, four
  // components with premultiplied alpha last, its colours matched into the colour space of a
  // colour-space code (code 0: the bitmap's own colour space, unconverted); nullptr for another
  // depth or an unacceptable size.
  static CGImageRef cgImageFromCGImage(const CGImageRef& image, CGSize size, int64_t colorSpace, int64_t depth);

  // The one canonical form of camera and profile names, used on both sides of every comparison:
  // letters and digits only, ASCII letters in lower case.
  static std::string canonizeDcpName(const std::string& name);
  // Writes the camera profile embedded in a DNG file to `destinationPath`; false when there is
  // none or it cannot be written.
  static bool extractDcpFromDng(const std::string& dngPath, const std::string& destinationPath);

  // Debug export into the user's Downloads folder as "<name><n>.jpeg" (n counts calls from 0).
  static void saveCGImageToDownloads(const CGImageRef& image, const std::string& name, bool async = false);
};
