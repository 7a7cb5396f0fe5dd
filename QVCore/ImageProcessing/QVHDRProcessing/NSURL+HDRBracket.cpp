#include "QVCore/ImageProcessing/QVHDRProcessing/NSURL+HDRBracket.h"

#include <cmath>
#include <filesystem>
#include <map>
#include <mutex>

#include "QVCore/Categories/NSDictionary+Metadata.h"
#include "QVCore/ImageProcessing/QVHDRProcessing/NSDictionary+HDRBrackets.h"
#include "QVCore/Utils/QVImageUtils.h"
#include "QVPlatform/ImageIO/ImageIO.h"
#include "rova/hdr/HDRMerge.h"

namespace NSURLHDRBracket {
namespace {

std::mutex& cacheMutex() {
  static std::mutex m;
  return m;
}
std::map<std::string, qv::Value>& metadataCache() {
  static std::map<std::string, qv::Value> cache;
  return cache;
}

int sign(double a, double b) { return a < b ? -1 : (a > b ? 1 : 0); }

}  // namespace

qv::Value metadata(const std::string& path) {
  {
    std::lock_guard<std::mutex> lock(cacheMutex());
    auto it = metadataCache().find(path);
    if (it != metadataCache().end()) return it->second;
  }
  auto source = CGImageSourceCreateWithURL(path);
  if (!source) return {};
  qv::Value properties = CGImageSourceCopyPropertiesAtIndex(source, 0);
  if (!properties.isDictionary()) return {};
  std::lock_guard<std::mutex> lock(cacheMutex());
  metadataCache()[path] = properties;
  return properties;
}

void clearMetadataCache() {
  std::lock_guard<std::mutex> lock(cacheMutex());
  metadataCache().clear();
}

bool isBracketWithURL(const std::string& path, const std::string& other) {
  if (std::filesystem::path(path).extension().string() != std::filesystem::path(other).extension().string())
    return false;
  const qv::Value a = metadata(path), b = metadata(other);
  if (!a.isNull() && !b.isNull() && NSDictionaryMetadata::exifData(a).isDictionary() &&
      NSDictionaryMetadata::exifData(b).isDictionary()) {
    const float t = float(NSDictionaryMetadata::exposureTime(a).asDouble(0));
    const double d = NSDictionaryHDRBrackets::timeDiffTo(a, b);
    return NSDictionaryHDRBrackets::isHDRBracketTo(a, b) && d <= double(t) + 15.0;
  }
  return isBracketByEdgesWithURL(path, other);
}

bool isBracketByEdgesWithURL(const std::string& path, const std::string& other) {
  const CGImageRef a = createThumb(path), b = createThumb(other);
  if (!a || !b) return false;
  return isImageSimilarByEdgesTo(a, b);
}

double evValue(const std::string& path) {
  const qv::Value m = metadata(path);
  const float f = float(NSDictionaryMetadata::fNumber(m).asDouble(0));
  const float t = float(NSDictionaryMetadata::exposureTime(m).asDouble(0));
  return double(2.0f * std::log2(f) - std::log2(t));
}

double biasValue(const std::string& path) {
  return double(float(NSDictionaryMetadata::exposureBias(metadata(path)).asDouble(0)));
}

int compareByExpWithURL(const std::string& path, const std::string& other) {
  return sign(NSDictionaryMetadata::exposureBias(metadata(path)).asDouble(0),
              NSDictionaryMetadata::exposureBias(metadata(other)).asDouble(0));
}

int compareByDatestampWithURL(const std::string& path, const std::string& other) {
  const auto a = NSDictionaryMetadata::datestamp(metadata(path));
  const auto b = NSDictionaryMetadata::datestamp(metadata(other));
  if (!a || !b) return 0;
  return sign(a->secondsSinceReferenceDate, b->secondsSinceReferenceDate);
}

bool isEqualExposure(const std::string& path, const std::string& other) {
  const bool biasesDiffer = !NSDictionaryHDRBrackets::isEqualValue(NSDictionaryMetadata::exposureBias(metadata(path)),
                                                                   NSDictionaryMetadata::exposureBias(metadata(other)));
  return isEqualExposure(path, other, biasesDiffer);
}

bool isEqualExposure(const std::string& path, const std::string& other, bool isEVsCorrect) {
  const qv::Value a = metadata(path), b = metadata(other);
  const bool isoEqual =
      NSDictionaryHDRBrackets::isEqualValue(NSDictionaryMetadata::iso(a), NSDictionaryMetadata::iso(b));
  if (isEVsCorrect)
    return isoEqual && NSDictionaryHDRBrackets::isEqualValue(NSDictionaryMetadata::exposureBias(a),
                                                             NSDictionaryMetadata::exposureBias(b));
  return isoEqual && evValue(path) == evValue(other);
}

bool imageHasEqualSizeTo(const CGImageRef& a, const CGImageRef& b) {
  return a && b && a->width == b->width && a->height == b->height;
}

CGImageRef createThumb(const std::string& path) { return QVImageUtils::thumbnailJPEGFromImageAtPath(path, 640); }

std::vector<float> argbDataForImage(const CGImageRef& image) {
  if (!image) return {};
  const size_t w = image->width, h = image->height;
  std::vector<float> argb(w * h * 4, 0.0f);
  // Thumbnails are 8-bit sRGB: their encoded values scaled to 0..1.
  auto data = qv::engineDataFromImage(image);
  if (!data || size_t(data->width()) != w || size_t(data->height()) != h) return argb;
  for (size_t i = 0; i < w * h; ++i) {
    const auto& p = data->data()[i];
    argb[4 * i] = 1.0f;
    argb[4 * i + 1] = p.r;
    argb[4 * i + 2] = p.g;
    argb[4 * i + 3] = p.b;
  }
  return argb;
}

std::vector<float> edgesDataForData(const float* data, int width, int height) {
  std::vector<float> edges(size_t(width) * size_t(height) * 4, 0.0f);
  rova::legacy::RDFX_MakeEdgesMaskARGBFFFF(data, edges.data(), width, height, 0.6f, 10.0f);
  return edges;
}

float edgeDiffForImgData(float* data, float* compareData, int width, int height) {
  rova::autoExposureAdjustARGB(data, compareData, width, height);
  const std::vector<float> a = edgesDataForData(data, width, height);
  const std::vector<float> b = edgesDataForData(compareData, width, height);
  float sum = 0;
  for (size_t i = 0; i < size_t(width) * size_t(height); ++i) sum += std::fabs(a[4 * i + 1] - b[4 * i + 1]);
  return sum;
}

bool isImageSimilarByEdgesTo(const CGImageRef& a, const CGImageRef& b) {
  if (!imageHasEqualSizeTo(a, b)) return false;
  const int w = int(a->width), h = int(a->height);
  std::vector<float> da = argbDataForImage(a), db = argbDataForImage(b);
  std::vector<float> ca = da, cb = db;
  const float d1 = edgeDiffForImgData(da.data(), db.data(), w, h);
  const float d2 = edgeDiffForImgData(cb.data(), ca.data(), w, h);
  const float threshold = float(std::trunc(double(h) * (double(w) * 0.1)));
  return d1 < threshold || d2 < threshold;
}

}  // namespace NSURLHDRBracket
