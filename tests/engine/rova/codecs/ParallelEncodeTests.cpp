// Large TIFFs and PNGs are compressed in pieces on several cores and joined: the files must read back
// (by libtiff and libpng, checksums included) to exactly the pixels written, for every lossless
// compression, at 8 and 16 bits, grey and colour, with and without alpha.
#include <gtest/gtest.h>

#include <cstring>

#include "rova/Color.h"
#include "rova/codecs/Codecs.h"

using namespace rova::codecs;

namespace {

Bitmap picture(int w, int h, int channels, int depth) {
  Bitmap b;
  EXPECT_TRUE(b.allocate(w, h, channels, depth));
  uint32_t seed = 7;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      for (int c = 0; c < channels; ++c) {
        seed = seed * 1664525u + 1013904223u;
        // Smooth with a little noise, as photographs are: every filter type gets chosen somewhere.
        const unsigned v = unsigned(x * (3 + c) + y * (2 + c)) + (seed >> 29);
        if (depth == 8)
          b.row(y)[size_t(x) * channels + c] = uint8_t(v);
        else
          reinterpret_cast<uint16_t*>(b.row(y))[size_t(x) * channels + c] = uint16_t(v * 41);
      }
  return b;
}

// The file decodes to exactly the bitmap's pixels and the profile written.
void expectReadsBackExactly(const std::vector<uint8_t>& file, const char* extension, const Bitmap& b,
                            const std::vector<uint8_t>& icc) {
  DecodeResult res;
  std::string error;
  ASSERT_TRUE(decode(file.data(), file.size(), extension, {}, res, &error)) << error;
  ASSERT_EQ(res.bitmap.width, b.width);
  ASSERT_EQ(res.bitmap.height, b.height);
  ASSERT_EQ(res.bitmap.channels, b.channels);
  ASSERT_EQ(res.bitmap.depth, b.depth);
  EXPECT_EQ(std::memcmp(res.bitmap.pixels.data(), b.pixels.data(), b.pixels.size()), 0);
  EXPECT_EQ(res.info.icc, icc);
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
    expectReadsBackExactly(file, "tif", b, o.icc);
  }
}

TEST(PngParallelEncode, PiecesJoinIntoOneStreamThatReadsBackExactly) {
  struct Case {
    int w, h, channels, depth;
  };
  for (const Case& k : {Case{1800, 1300, 3, 8}, Case{1500, 1500, 4, 16}, Case{2200, 1000, 1, 8}}) {
    SCOPED_TRACE(testing::Message() << k.channels << "x" << k.depth);
    const Bitmap b = picture(k.w, k.h, k.channels, k.depth);
    EncodeOptions o;
    o.format = Format::PNG;
    o.depth = k.depth;
    if (k.channels >= 3) o.icc = rova::createColorSpace(rova::kColorProfileAdobeRGB)->iccData();
    std::string error;
    const std::vector<uint8_t> file = encode(b, o, &error);
    ASSERT_FALSE(file.empty()) << error;
    expectReadsBackExactly(file, "png", b, o.icc);
    // A damaged byte in the image data is caught (the stream's checksums are real).
    std::vector<uint8_t> damaged = file;
    damaged[damaged.size() / 2] ^= 0x5A;
    DecodeResult bad;
    EXPECT_FALSE(decode(damaged.data(), damaged.size(), "png", {}, bad, nullptr));
  }
}
