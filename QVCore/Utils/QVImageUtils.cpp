#include "QVCore/Utils/QVImageUtils.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <memory>

#include "QVCore/Utils/QVIPImageCanvas.h"
#include "QVPlatform/Additions.h"
#include "QVPlatform/Dispatch.h"
#include "QVPlatform/Log.h"
#include "QVPlatform/Places.h"
#include "rova/Color.h"
#include "rova/reader/ImageReader.h"

namespace {

std::string lowerExtension(const std::string& path) {
  std::string ext = qv::pathExtension(path);
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
  return ext;
}

// trunc(min(1, max(v, 0)) x 255), with NaN as 0.
uint8_t toByte(float v) {
  if (!(v > 0)) return 0;
  return uint8_t(std::min(v, 1.0f) * 255.0f);
}

// The user's Downloads folder: XDG's when set, else beside the other places of this user.
std::string downloadsDirectory() {
  if (const char* home = std::getenv("SOLVANE_HOME"); home && *home) return std::string(home) + "/Downloads";
  if (const char* xdg = std::getenv("XDG_DOWNLOAD_DIR"); xdg && *xdg) return xdg;
  if (const char* home = std::getenv("HOME"); home && *home) return std::string(home) + "/Downloads";
  return qv::places::temporaryDirectory();
}

std::atomic<uint64_t> gDebugExportCounter{0};

}  // namespace

bool QVImageUtils::isRawImage(const std::string& path) { return rova::ImageReader::instance().isRawImageFile(path); }

bool QVImageUtils::isDngImage(const std::string& path) { return rova::ImageReader::instance().isDngImageFile(path); }

CGSize QVImageUtils::sizeForImageWithPath(const std::string& path) {
  CGSize size{};
  if (!isRawImage(path) || isDngImage(path)) size = getImageSizeNatively(path);
  if (size.width == 0 && size.height == 0) {
    rova::Size engineSize = rova::ImageReader::instance().getImageSize(path);
    size = CGSizeMake(engineSize.width, engineSize.height);
  }
  return size;
}

CGSize QVImageUtils::getImageSizeNatively(const std::string& path) {
  auto source = imageSourceForImageAtPath(path);
  if (!source) return {};
  qv::Value properties = CGImageSourceCopyPropertiesAtIndex(source, 0);
  if (!properties.isDictionary()) return {};
  double width = properties[kCGImagePropertyPixelWidth].asDouble();
  double height = properties[kCGImagePropertyPixelHeight].asDouble();
  const qv::Value* orientation = properties.find(kCGImagePropertyOrientation);
  if (orientation && orientation->asInt() >= 5) std::swap(width, height);
  return CGSizeMake(width, height);
}

CGSize QVImageUtils::convertSize(CGSize size, CGSize fitSize) {
  const double rw = size.width / fitSize.width;
  const double rh = size.height / fitSize.height;
  if (std::max(rw, rh) < 1) return size;
  if (rw > rh) return CGSizeMake(fitSize.width, size.height / rw);
  return CGSizeMake(size.width / rh, fitSize.height);
}

int64_t QVImageUtils::colorDepthAtPath(const std::string& path) {
  return rova::ImageReader::instance().getColorDepth(path);
}

std::string QVImageUtils::imageTypeAtPath(const std::string& path) {
  auto source = imageSourceForImageAtPath(path);
  return source ? CGImageSourceGetType(source) : std::string();
}

qv::Value QVImageUtils::imagePropertiesAtPath(const std::string& path) {
  auto source = imageSourceForImageAtPath(path);
  if (!source) return {};
  qv::Value properties = CGImageSourceCopyPropertiesAtIndex(source, 0);
  if (!properties.isDictionary()) return {};
  properties.erase(kCGImagePropertyOrientation);
  qv::Value tiff = properties[kCGImagePropertyTIFFDictionary];
  if (!tiff.isDictionary()) tiff = qv::Dictionary{};
  tiff.erase(kCGImagePropertyTIFFOrientation);
  properties.set(kCGImagePropertyTIFFDictionary, std::move(tiff));
  if (properties[kCGImagePropertyExifDictionary].isDictionary()) {
    qv::Value exif = properties[kCGImagePropertyExifDictionary];
    exif.erase(kCGImagePropertyExifColorSpace);
    properties.set(kCGImagePropertyExifDictionary, std::move(exif));
  }
  return properties;
}

bool QVImageUtils::canOpenImageAtURL(const std::string& path) {
  return rova::ImageReaderObjCHelper::canOpenImageAtURL(path);
}

CGImageSourceRef QVImageUtils::imageSourceForImageAtPath(const std::string& path) {
  if (path.empty()) {
    QV_LOG_FAILURE("[NSURL fileURLWithPath:" + path + "]");
    return nullptr;
  }
  return CGImageSourceCreateWithURL(path);
}

// ---- Thumbnails ----------------------------------------------------------------------------------

CGImageRef QVImageUtils::thumbnailJPEGFromImageAtPath(const std::string& path, double size) {
  const std::string ext = lowerExtension(path);
  CGImageRef image;
  if (ext != "dcr" && ext != "mef") image = createCGImageQuickly(path, size);
  if (!image && ext != "mef") image = createCGImageNatively(path, size);
  if (!image) image = createCGImageHardly(path, size);
  return image;
}

QVImageUtils::Data QVImageUtils::thumbnailJPEGDataFromImageAtPath(const std::string& path, double size) {
  CGImageRef image = thumbnailJPEGFromImageAtPath(path, size);
  if (!image) return {};
  auto data = std::make_shared<std::vector<uint8_t>>();
  auto destination = CGImageDestinationCreateWithData(data, kUTTypeTIFF, 1);
  qv::Value properties = qv::Dictionary{{kCGImageDestinationLossyCompressionQuality, qv::Value(1.0)}};
  properties.set(kCGImagePropertyTIFFDictionary, qv::Dictionary{{kCGImagePropertyTIFFCompression, qv::Value(6)}});
  CGImageDestinationAddImage(destination, image, properties);
  if (!CGImageDestinationFinalize(destination)) return {};
  return std::move(*data);
}

CGImageRef QVImageUtils::createCGImageQuickly(const std::string& path, double size) {
  return createCGImageFromThumbnailData(thumbnailDataQuickly(path, size), size);
}

CGImageRef QVImageUtils::createCGImageNatively(const std::string& path, double size) {
  auto source = imageSourceForImageAtPath(path);
  CGImageRef image = newCGImageThumbnailFromImageSource(source, size, true, false);
  // A picture smaller than asked for on both sides is not good enough as a thumbnail.
  if (image && double(image->width) < size && double(image->height) < size) return nullptr;
  return image;
}

CGImageRef QVImageUtils::createCGImageHardly(const std::string& path, double size) {
  return createCGImageFromThumbnailData(thumbnailDataHardly(path, size), size);
}

QVImageUtils::Data QVImageUtils::thumbnailDataQuickly(const std::string& path, double size) {
  return thumbnailDataFromImageData(rova::ImageReader::instance().getThumbnailQuickly(path, int(size), -1));
}

QVImageUtils::Data QVImageUtils::thumbnailDataHardly(const std::string& path, double size) {
  return thumbnailDataFromImageData(rova::ImageReader::instance().getThumbnailHardly(path, int(size), -1));
}

QVImageUtils::Data QVImageUtils::thumbnailDataFromImageData(const rova::ImageDataRGBfPtr& data) {
  if (!data) return {};
  const size_t width = size_t(data->width()), height = size_t(data->height());
  std::vector<uint8_t> bytes(width * height * 3);
  qv::dispatchApply(height, [&](size_t y) {
    const float* in = reinterpret_cast<const float*>(data->row(int(y)));
    uint8_t* out = bytes.data() + y * width * 3;
    for (size_t i = 0; i < width * 3; ++i) out[i] = toByte(in[i]);
  });
  CGColorSpaceRef space = CGColorSpaceCreateWithProfileType(data->colorProfileType());
  if (!space) space = CGColorSpaceCreateDeviceRGB();
  return tiffDataFromBitmapRGB(bytes.data(), width, height, space);
}

CGImageRef QVImageUtils::createCGImageFromThumbnailData(const Data& data, double size) {
  if (data.empty()) return nullptr;
  auto source = CGImageSourceCreateWithData(data);
  if (!source) return nullptr;
  return createCGImageFromImageSource(source, size);
}

CGImageRef QVImageUtils::createCGImageFromImageSource(const CGImageSourceRef& source, double size) {
  return newCGImageThumbnailFromImageSource(source, size, true, false);
}

CGImageRef QVImageUtils::newCGImageThumbnailFromImageSource(const CGImageSourceRef& source, double maxPixelSize,
                                                            bool withTransform, bool canUseExistingThumbnail) {
  if (!source) return nullptr;
  qv::Value options = qv::Dictionary{
      {kCGImageSourceShouldCache, qv::Value(false)},
      {kCGImageSourceThumbnailMaxPixelSize, qv::Value(maxPixelSize)},
      {kCGImageSourceCreateThumbnailWithTransform, qv::Value(withTransform)},
  };
  options.set(canUseExistingThumbnail ? kCGImageSourceCreateThumbnailFromImageIfAbsent
                                      : kCGImageSourceCreateThumbnailFromImageAlways,
              qv::Value(true));
  return CGImageSourceCreateThumbnailAtIndex(source, 0, options);
}

QVImageUtils::Data QVImageUtils::tiffDataFromBitmapRGB(const uint8_t* bytes, size_t width, size_t height,
                                                       const CGColorSpaceRef& space) {
  if (!bytes || width == 0 || height == 0) return {};
  auto pixels = std::make_shared<const std::vector<uint8_t>>(bytes, bytes + width * height * 3);
  CGImageRef image = CGImageCreate(width, height, 8, 24, 3 * width, space, kCGImageAlphaNone, pixels);
  if (!image) return {};
  auto data = std::make_shared<std::vector<uint8_t>>();
  auto destination = CGImageDestinationCreateWithData(data, kUTTypeTIFF, 1);
  CGImageDestinationAddImage(destination, image);
  if (!CGImageDestinationFinalize(destination)) return {};
  return std::move(*data);
}

rova::ImageDataColorProfileType QVImageUtils::colorProfileTypeForColorSpace(int64_t colorSpace) {
  switch (colorSpace) {
    case 0:
      return rova::kColorProfileNative;
    case 1:
      return rova::kColorProfileSRGB;
    case 2:
      return rova::kColorProfileAdobeRGB;
    case 3:
      return rova::kColorProfileProPhoto;
    case 4:
      return rova::kColorProfileWorking;
    default:
      return rova::kColorProfileUnknown;
  }
}

CGColorSpaceRef QVImageUtils::cgColorSpaceForColorSpace(int64_t colorSpace) {
  return CGColorSpaceCreateWithProfileType(colorProfileTypeForColorSpace(colorSpace));
}

CGColorSpaceRef QVImageUtils::defaultBitmapColorSpace() { return CGColorSpaceCreateWithName(kCGColorSpaceSRGB); }

CGImageRef QVImageUtils::cgImageFromCGImage(const CGImageRef& image, CGSize size, int64_t colorSpace, int64_t depth) {
  if (!image || (depth != 8 && depth != 16)) return nullptr;
  // Code 0 asks for no conversion: the bitmap keeps its own colour space (and its numbers).
  CGColorSpaceRef space = colorSpace == 0 ? image->colorSpace : cgColorSpaceForColorSpace(colorSpace);
  if (!space) space = colorSpace == 0 ? defaultBitmapColorSpace() : nullptr;
  if (!space) return nullptr;
  QVIPImageCanvas canvas{int64_t(size.width), int64_t(size.height)};
  if (!canvas.isValid()) return nullptr;
  if (!canvas.drawImage(image, CGRectMake(0, 0, double(canvas.width()), double(canvas.height())))) return nullptr;
  if (colorSpace != 0) canvas.matchColors(image->colorSpace, space);
  return canvas.makeImage(size_t(depth), std::move(space));
}

// ---- Camera profiles --------------------------------------------------------------------------------

std::string QVImageUtils::canonizeDcpName(const std::string& name) {
  std::string out;
  out.reserve(name.size());
  for (unsigned char c : name) {
    if (c >= 0x80) {
      out.push_back(char(c));  // other scripts' letters are kept as they are
    } else if (std::isalnum(c)) {
      out.push_back(char(std::tolower(c)));
    }
  }
  return out;
}

namespace {

// The tags of a DNG's IFD 0 that make up its camera profile (DNG 1.4, "Camera Profiles").
constexpr uint16_t kProfileTags[] = {
    50708,                       // UniqueCameraModel
    50721, 50722,                // ColorMatrix1, ColorMatrix2
    50778, 50779,                // CalibrationIlluminant1, CalibrationIlluminant2
    50932,                       // ProfileCalibrationSignature
    50936,                       // ProfileName
    50937, 50938, 50939,         // ProfileHueSatMapDims, ProfileHueSatMapData1, ProfileHueSatMapData2
    50940, 50941, 50942,         // ProfileToneCurve, ProfileEmbedPolicy, ProfileCopyright
    50964, 50965,                // ForwardMatrix1, ForwardMatrix2
    50981, 50982,                // ProfileLookTableDims, ProfileLookTableData
    51107, 51108, 51109, 51110,  // map and table encodings, BaselineExposureOffset, DefaultBlackRender
};
constexpr uint16_t kColorMatrix1 = 50721;

size_t tiffTypeSize(uint16_t type) {
  switch (type) {
    case 1:
    case 2:
    case 6:
    case 7:
      return 1;
    case 3:
    case 8:
      return 2;
    case 4:
    case 9:
    case 11:
      return 4;
    case 5:
    case 10:
    case 12:
      return 8;
    default:
      return 0;
  }
}

struct ProfileEntry {
  uint16_t tag, type;
  uint32_t count;
  std::vector<uint8_t> value;  // in the file's byte order
};

}  // namespace

bool QVImageUtils::extractDcpFromDng(const std::string& dngPath, const std::string& destinationPath) {
  auto file = qv::readFileBytes(dngPath);
  if (!file || file->size() < 8) return false;
  const std::vector<uint8_t>& b = *file;
  const bool little = b[0] == 'I' && b[1] == 'I';
  if (!little && !(b[0] == 'M' && b[1] == 'M')) return false;
  auto u16 = [&](size_t at) -> uint16_t {
    return little ? uint16_t(b[at] | b[at + 1] << 8) : uint16_t(b[at] << 8 | b[at + 1]);
  };
  auto u32 = [&](size_t at) -> uint32_t {
    return little ? uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24
                  : uint32_t(b[at]) << 24 | uint32_t(b[at + 1]) << 16 | uint32_t(b[at + 2]) << 8 | uint32_t(b[at + 3]);
  };
  if (u16(2) != 42) return false;
  const size_t ifd = u32(4);
  if (ifd + 2 > b.size()) return false;
  const size_t count = u16(ifd);
  if (ifd + 2 + count * 12 > b.size()) return false;

  std::vector<ProfileEntry> entries;
  for (size_t i = 0; i < count; ++i) {
    const size_t at = ifd + 2 + i * 12;
    const uint16_t tag = u16(at);
    if (std::find(std::begin(kProfileTags), std::end(kProfileTags), tag) == std::end(kProfileTags)) continue;
    const uint16_t type = u16(at + 2);
    const uint32_t n = u32(at + 4);
    const uint64_t bytes = uint64_t(tiffTypeSize(type)) * n;
    if (bytes == 0) continue;
    const uint64_t from = bytes <= 4 ? at + 8 : u32(at + 8);
    if (from + bytes > b.size()) return false;  // a value reaching past the file: not a sound DNG
    entries.push_back({tag, type, n, std::vector<uint8_t>(b.begin() + from, b.begin() + from + bytes)});
  }
  if (std::none_of(entries.begin(), entries.end(), [](auto& e) { return e.tag == kColorMatrix1; })) return false;

  // A profile file is a TIFF structure of the same byte order with its own magic number ("RC").
  std::vector<uint8_t> out;
  auto put16 = [&](uint16_t v) {
    if (little) {
      out.push_back(uint8_t(v));
      out.push_back(uint8_t(v >> 8));
    } else {
      out.push_back(uint8_t(v >> 8));
      out.push_back(uint8_t(v));
    }
  };
  auto put32 = [&](uint32_t v) {
    if (little) {
      for (int s = 0; s < 32; s += 8) out.push_back(uint8_t(v >> s));
    } else {
      for (int s = 24; s >= 0; s -= 8) out.push_back(uint8_t(v >> s));
    }
  };
  out.push_back(b[0]);
  out.push_back(b[1]);
  put16(0x4352);
  put32(8);
  put16(uint16_t(entries.size()));
  size_t dataAt = 8 + 2 + entries.size() * 12 + 4;
  std::vector<uint8_t> tail;
  for (auto& e : entries) {
    put16(e.tag);
    put16(e.type);
    put32(e.count);
    if (e.value.size() <= 4) {
      for (size_t k = 0; k < 4; ++k) out.push_back(k < e.value.size() ? e.value[k] : 0);
    } else {
      put32(uint32_t(dataAt + tail.size()));
      tail.insert(tail.end(), e.value.begin(), e.value.end());
      if (tail.size() % 2) tail.push_back(0);  // values start on word boundaries
    }
  }
  put32(0);
  out.insert(out.end(), tail.begin(), tail.end());
  return qv::writeFileAtomically(destinationPath, out.data(), out.size());
}

// ---- Debug export ------------------------------------------------------------------------------------

void QVImageUtils::saveCGImageToDownloads(const CGImageRef& image, const std::string& name, bool async) {
  if (!image) return;
  auto save = [image, name] {
    const uint64_t n = gDebugExportCounter.fetch_add(1);
    const std::string folder = downloadsDirectory();
    if (!qv::createDirectory(folder)) return;
    const std::string path = folder + "/" + name + std::to_string(n) + ".jpeg";
    auto destination = CGImageDestinationCreateWithURL(path, kUTTypeJPEG, 1);
    if (!destination) return;
    CGImageDestinationAddImage(destination, image);
    CGImageDestinationFinalize(destination);
  };
  if (async) {
    qv::DispatchQueue::global()->async(std::move(save));
  } else {
    save();
  }
}
