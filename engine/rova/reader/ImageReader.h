#pragma once
// The engine's image reader: one shared instance for the process.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "rova/Image.h"

namespace rova {

// Bits of the flags word of ImageReader::read.
enum ImageReaderFlags : uint32_t {
  kReadApplyOrientation = 0x02,  // turn the picture by its EXIF orientation
  kReadColorManage = 0x04,       // convert into the engine's linear working space
  kReadMetadata = 0x08,          // read EXIF/IPTC/XMP into the image's metadata
  kReadEmbeddedProfile = 0x10,   // honour an embedded ICC profile (else the file is taken as sRGB)
  kReadNewOpenMethod = 0x20,     // accepted for callers that set it; there is one open method
  kReadRawDevelop = 0x40,        // RAW: leave development (brightness) to the develop layer
  kReadFineDenoise = 0x200,      // RAW: denoise while decoding
  kReadFastRawPreview = 0x400,   // RAW: half-size decode
  kReadDefaultFlags = 0x1E,
};

using ReadCancelFlag = std::shared_ptr<std::atomic<bool>>;

class ImageReader {
 public:
  static ImageReader& instance();

  // Reads a file into an engine image in the working space (linear-light, profile type
  // kColorProfileNative). A non-zero size is a fit box: the file may be decoded at a reduced scale
  // (JPEG DCT scaling, WebP scaling, RAW half size) as long as the picture still covers the box; the
  // image's source tells the scale. nullptr for any failure (reason in *error), and when cancelled.
  ImagePtr read(const std::string& path, Size size, uint32_t flags, const ReadCancelFlag& cancel,
                std::string* error = nullptr);
  // The same for a file already in memory (the bytes are not kept).
  ImagePtr readBytes(const uint8_t* data, size_t length, const std::string& extension, Size size, uint32_t flags,
                     const ReadCancelFlag& cancel, std::string* error = nullptr);

  // Metadata of a file; nullptr when the file is unreadable.
  std::shared_ptr<ImageMetadata> readMetadata(const std::string& path);
  bool isRawImageFile(const std::string& path);
  bool isDngImageFile(const std::string& path);
  // Pixel size as shown (turned by the orientation); zero when unreadable.
  Size getImageSize(const std::string& path);
  // Bits per channel the file stores (8, 16 or 32; RAW files 16); 0 when unreadable.
  int getColorDepth(const std::string& path);
  // True when the file is an image the reader can decode (by its content, not its name).
  bool canOpenImage(const std::string& path);

  // Thumbnails, turned by the orientation, as sRGB-encoded data (profile type kColorProfileSRGB) whose
  // long side is at most max(width, height) (a value <= 0 is no limit). Quickly: an embedded preview
  // (RAW preview, EXIF thumbnail) or, for JPEG, a DCT-reduced decode; nullptr when there is none.
  // Hardly: the picture decoded (reduced when possible) and scaled.
  ImageDataRGBfPtr getThumbnailQuickly(const std::string& path, int width, int height = -1,
                                       ImageMetadata* metadata = nullptr, uint32_t* flags = nullptr);
  ImageDataRGBfPtr getThumbnailHardly(const std::string& path, int width, int height = -1,
                                      ImageMetadata* metadata = nullptr, uint32_t* flags = nullptr);

  // Cancels every read in progress, whoever started it.
  void cancelAll();

 private:
  ImageReader() = default;
  void registerCancel(const ReadCancelFlag& flag);
  void unregisterCancel(const ReadCancelFlag& flag);
  std::mutex mutex_;
  std::vector<std::weak_ptr<std::atomic<bool>>> active_;
};

// The reader's test whether a file can be opened, under the name callers of the platform layer use.
struct ImageReaderObjCHelper {
  static bool canOpenImageAtURL(const std::string& path) { return ImageReader::instance().canOpenImage(path); }
};

// Applies an EXIF orientation (1..8) to float data: a new buffer (the same one for 1).
ImageDataRGBfPtr applyOrientation(const ImageDataRGBfPtr& data, int orientation);

}  // namespace rova
