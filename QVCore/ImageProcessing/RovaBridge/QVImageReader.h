#pragma once
// Reads image files into engine images through the engine's one shared reader, with the
// process-wide reader options that the engine configuration and the processor variants set.
#include <cstdint>
#include <memory>
#include <string>

#include "QVPlatform/Error.h"
#include "rova/Image.h"
#include "rova/ImageMetadata.h"

inline constexpr const char* kQVImageReaderErrorDomain = "QVImageReaderErrorDomain";
inline constexpr int64_t kQVImageReaderErrorUnreadable = 1;

class QVImageReader {
 public:
  static std::shared_ptr<QVImageReader> make() { return std::make_shared<QVImageReader>(); }

  // The engine image of the file at full size, or nullptr when the engine cannot read it (or the
  // read was cancelled). A failed read sets `error` (domain "QVImageReaderErrorDomain", code 1)
  // with the engine's own reason as its description.
  rova::ImagePtr readImageWithPath(const std::string& path, bool applyRawDevelop, bool fastRawPreview,
                                   qv::Error* error = nullptr) const;
  // RAW develop from the process-wide option.
  rova::ImagePtr readImageWithPath(const std::string& path, bool fastRawPreview) const;
  // RAW develop and fast RAW preview from the process-wide options.
  rova::ImagePtr readImageWithPath(const std::string& path) const;
  // Cancels every read in progress in the shared engine reader, other reader objects' included.
  void cancelReadImage() const;
  // The engine's EXIF record of the file; an empty record when the engine has no metadata for it.
  static rova::OrvantaExifData readOrvantaExif(const std::string& path);

  // Process-wide options, each on when the program starts; a change affects reads started later.
  static void useNewOpenMethod(bool on);
  static bool isNewOpenMethod();
  static void setApplyRawDevelop(bool on);
  static bool isApplyRawDevelop();
  static void setFineDenoise(bool on);
  static void setFastRawPreview(bool on);
  static bool isFastRawPreview();

  // The flags word a read hands the engine: 0x1E always, 0x20 with the new open method, 0x40 when
  // RAW develop is asked for, 0x200 with fine denoise, 0x400 when a fast RAW preview is asked for.
  static uint32_t readFlags(bool applyRawDevelop, bool fastRawPreview);
  // The word of a read that leaves both choices to the options.
  static uint32_t defaultReadFlags() { return readFlags(isApplyRawDevelop(), isFastRawPreview()); }
};
