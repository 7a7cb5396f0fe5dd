#pragma once
// The image writer every export goes through: one bitmap, one file, one properties dictionary.
// The sharing side of the service framework (services by name) lives with the interface layer.
#include <string>

#include "QVPlatform/ImageIO/CoreGraphics.h"
#include "QVPlatform/Value.h"

class QVShareManager {
 public:
  static QVShareManager& shared();

  // Writes `image` to the file `url` (a path) as the type identifier `type` ("public.jpeg",
  // "public.png", "public.tiff", "org.webmproject.webp", "public.jpeg-2000") with the
  // image-destination `properties` (metadata sections, "Depth", the lossy compression quality,
  // {TIFF} "Compression"). True once the file is in place; false, with the reason in `error` and
  // in the log, when the type is not one we write or the file cannot be written whole (an
  // existing file is then left as it was).
  // `replace` false: a file already at `url` is left alone and the write fails.
  bool saveImage(const CGImageRef& image, const std::string& url, const std::string& type, const qv::Value& properties,
                 std::string* error = nullptr, bool replace = true) const;
};
