// Large compressed TIFFs have their strips compressed on several cores and written raw, in order: the
// file must read back, by libtiff and by the engine's reader, to exactly the pixels written, for
// every lossless compression, at 8 and 16 bits, with and without alpha.
#include <gtest/gtest.h>

#include <cstring>

#include "rova/codecs/Codecs.h"

using namespace rova::codecs;

namespace {

Bitmap picture(int w, int h, int channels, int depth) {
  Bitmap b;
  EXPECT_TRUE(b.allocate(w, h, channels, depth));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      for (int c = 0; c < channels; ++c) {
        const unsigned v = unsigned(x * (7 + c) + y * (3 + 2 * c) + ((x ^ y) & 31));
        if (depth == 8)
          b.row(y)[size_t(x) * channels + c] = uint8_t(v);
        else
          reinterpret_cast<uint16_t*>(b.row(y))[size_t(x) * channels + c] = uint16_t(v * 37);
      }
  return b;
}

}  // namespace

TEST(TiffStripEncode, CompressedStripsMadeInParallelReadBackExactly) {
  struct Case {
    TiffCompression compression;
    int channels, depth;
  };
  for (const Case& k : {Case{TiffCompression::LZW, 3, 16}, Case{TiffCompression::LZW, 4, 8},
                        Case{TiffCompression::ZIP, 3, 8}, Case{TiffCompression::PackBits, 3, 16}}) {
    SCOPED_TRACE(testing::Message() << int(k.compression) << " " << k.channels << "x" << k.depth);
    const Bitmap b = picture(1700, 1300, k.channels, k.depth);  // over 2 MP, many strips, a short last one
    EncodeOptions o;
    o.format = Format::TIFF;
    o.depth = k.depth;
    o.tiffCompression = k.compression;
    o.icc = std::vector<uint8_t>(300, 5);
    const std::vector<uint8_t> file = encode(b, o, nullptr);
    ASSERT_FALSE(file.empty());
    DecodeResult res;
    ASSERT_TRUE(decode(file.data(), file.size(), "tif", {}, res, nullptr));
    ASSERT_EQ(res.bitmap.width, b.width);
    ASSERT_EQ(res.bitmap.height, b.height);
    ASSERT_EQ(res.bitmap.channels, b.channels);
    ASSERT_EQ(res.bitmap.depth, b.depth);
    EXPECT_EQ(std::memcmp(res.bitmap.pixels.data(), b.pixels.data(), b.pixels.size()), 0);
    EXPECT_EQ(res.info.icc, o.icc);
  }
}
