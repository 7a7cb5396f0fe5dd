// Feeds arbitrary bytes to the image reader as every format it knows. The first byte picks the
// extension the bytes are read under (so RAW paths are reached) and the second the fit size.
// Formats known by their content (JPEG 2000 among them) are reached whatever the extension.
#include <cstddef>
#include <cstdint>
#include <string>

#include "rova/ImageData.h"
#include "rova/codecs/Codecs.h"
#include "rova/reader/ImageReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  static const char* kExt[] = {"jpg", "png", "tif", "webp", "dng", "nef", "cr2", "arw", ""};
  // Keep single inputs within the fuzzer's memory limit; the ceiling logic is what is under test.
  rova::setMaxPixelCount(16'000'000);
  const std::string ext = kExt[data[0] % (sizeof kExt / sizeof *kExt)];
  const int fit = (data[1] % 4) * 100;
  data += 2;
  size -= 2;
  std::string error;
  auto img = rova::ImageReader::instance().readBytes(data, size, ext, {fit, fit},
                                                     rova::kReadDefaultFlags | rova::kReadMetadata, nullptr, &error);
  if (img && img->imageData()) (void)img->imageData()->at(0, 0);
  rova::codecs::ImageInfo info;
  rova::codecs::readInfo(data, size, ext, info, nullptr);
  rova::codecs::Bitmap preview;
  rova::codecs::decodeEmbeddedPreview(data, size, ext, preview, nullptr);
  return 0;
}
