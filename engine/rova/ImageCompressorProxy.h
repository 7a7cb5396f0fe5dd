#pragma once
// Lossless compression of engine images and masks into the engine's own versioned byte format
// (the layout is described in ImageCompressorProxy.cpp).
#include <cstdint>
#include <string>
#include <vector>

#include "rova/ImageData.h"
#include "rova/MaskImage.h"

namespace rova {

class ImageCompressorProxy {
 public:
  // The compressed bytes; empty for no data.
  static std::vector<uint8_t> compress(const ImageDataRGBf& data);
  static std::vector<uint8_t> compress(const ImageDataRGBfPtr& data) {
    return data ? compress(*data) : std::vector<uint8_t>{};
  }
  static std::vector<uint8_t> compressMask(const MaskImage& mask);
  static std::vector<uint8_t> compressMask(const ImageDataF& mask);

  // The image or mask the bytes describe, exactly as compressed; nullptr (with a reason in *error)
  // for anything malformed: wrong magic or version, sizes that disagree or exceed the pixel
  // ceiling, truncated or trailing bytes, a checksum mismatch.
  static ImageDataRGBfPtr uncompress(const uint8_t* bytes, size_t size, std::string* error = nullptr);
  static ImageDataRGBfPtr uncompress(const std::vector<uint8_t>& bytes, std::string* error = nullptr) {
    return uncompress(bytes.data(), bytes.size(), error);
  }
  static MaskImagePtr uncompressMask(const uint8_t* bytes, size_t size, std::string* error = nullptr);
  static MaskImagePtr uncompressMask(const std::vector<uint8_t>& bytes, std::string* error = nullptr) {
    return uncompressMask(bytes.data(), bytes.size(), error);
  }
};

}  // namespace rova
