// Feeds arbitrary bytes to the compressed image and mask decoders; anything that decodes must
// re-encode to the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "rova/ImageCompressorProxy.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  rova::setMaxPixelCount(16'000'000);
  if (auto img = rova::ImageCompressorProxy::uncompress(data, size)) {
    auto again = rova::ImageCompressorProxy::uncompress(rova::ImageCompressorProxy::compress(img));
    if (!again || std::memcmp(again->floats(), img->floats(), img->byteCount()) != 0) std::abort();
  }
  if (auto mask = rova::ImageCompressorProxy::uncompressMask(data, size)) (void)mask->zeroCount();
  return 0;
}
