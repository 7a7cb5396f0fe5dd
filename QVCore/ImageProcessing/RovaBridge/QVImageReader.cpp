#include "QVCore/ImageProcessing/RovaBridge/QVImageReader.h"

#include <atomic>

#include "rova/reader/ImageReader.h"

namespace {
// Plain switches read by reads on any thread; atomics keep that free of data races.
std::atomic<bool> gNewOpenMethod{true};
std::atomic<bool> gApplyRawDevelop{true};
std::atomic<bool> gFineDenoise{true};
std::atomic<bool> gFastRawPreview{true};
}  // namespace

uint32_t QVImageReader::readFlags(bool applyRawDevelop, bool fastRawPreview) {
  uint32_t flags =
      rova::kReadApplyOrientation | rova::kReadColorManage | rova::kReadMetadata | rova::kReadEmbeddedProfile;
  if (gNewOpenMethod.load(std::memory_order_relaxed)) flags |= rova::kReadNewOpenMethod;
  if (applyRawDevelop) flags |= rova::kReadRawDevelop;
  if (gFineDenoise.load(std::memory_order_relaxed)) flags |= rova::kReadFineDenoise;
  if (fastRawPreview) flags |= rova::kReadFastRawPreview;
  return flags;
}

rova::ImagePtr QVImageReader::readImageWithPath(const std::string& path, bool applyRawDevelop, bool fastRawPreview,
                                                qv::Error* error) const {
  auto cancelled = std::make_shared<std::atomic<bool>>(false);
  std::string reason;
  auto image = rova::ImageReader::instance().read(path, rova::Size{}, readFlags(applyRawDevelop, fastRawPreview),
                                                  cancelled, &reason);
  if (!image) qv::setError(error, qv::Error(kQVImageReaderErrorDomain, kQVImageReaderErrorUnreadable, reason));
  return image;
}

rova::ImagePtr QVImageReader::readImageWithPath(const std::string& path, bool fastRawPreview) const {
  return readImageWithPath(path, isApplyRawDevelop(), fastRawPreview);
}

rova::ImagePtr QVImageReader::readImageWithPath(const std::string& path) const {
  return readImageWithPath(path, isFastRawPreview());
}

void QVImageReader::cancelReadImage() const { rova::ImageReader::instance().cancelAll(); }

rova::OrvantaExifData QVImageReader::readOrvantaExif(const std::string& path) {
  auto metadata = rova::ImageReader::instance().readMetadata(path);
  return metadata ? metadata->exif : rova::OrvantaExifData{};
}

void QVImageReader::useNewOpenMethod(bool on) { gNewOpenMethod.store(on, std::memory_order_relaxed); }
bool QVImageReader::isNewOpenMethod() { return gNewOpenMethod.load(std::memory_order_relaxed); }
void QVImageReader::setApplyRawDevelop(bool on) { gApplyRawDevelop.store(on, std::memory_order_relaxed); }
bool QVImageReader::isApplyRawDevelop() { return gApplyRawDevelop.load(std::memory_order_relaxed); }
void QVImageReader::setFineDenoise(bool on) { gFineDenoise.store(on, std::memory_order_relaxed); }
void QVImageReader::setFastRawPreview(bool on) { gFastRawPreview.store(on, std::memory_order_relaxed); }
bool QVImageReader::isFastRawPreview() { return gFastRawPreview.load(std::memory_order_relaxed); }
