// Large JPEGs are encoded in strips on several threads and joined into one scan. The joined file must
// be a valid JPEG to any reader (restart markers in sequence, so a strict one-piece decode finds no
// fault) and hold exactly the pixels a one-piece encode would.
#include <gtest/gtest.h>

#include <cstdio>

#include <opencv2/core.hpp>

// After <cstdio>: the library's header expects FILE and size_t declared.
#include <jpeglib.h>

#include "rova/codecs/Codecs.h"

using namespace rova::codecs;

namespace {

struct Decoded {
  int width = 0, height = 0, warnings = 0;
  std::vector<uint8_t> pixels;
};

// libjpeg alone, in one piece, counting its warnings (a restart marker out of sequence is one).
Decoded decodeStrictly(const std::vector<uint8_t>& file) {
  Decoded out;
  jpeg_decompress_struct d{};
  jpeg_error_mgr err{};
  d.err = jpeg_std_error(&err);
  err.output_message = [](j_common_ptr) {};
  jpeg_create_decompress(&d);
  jpeg_mem_src(&d, file.data(), static_cast<unsigned long>(file.size()));
  jpeg_read_header(&d, TRUE);
  d.out_color_space = JCS_RGB;
  jpeg_start_decompress(&d);
  out.width = int(d.output_width), out.height = int(d.output_height);
  out.pixels.resize(size_t(out.width) * size_t(out.height) * 3);
  while (d.output_scanline < d.output_height) {
    JSAMPROW row = out.pixels.data() + size_t(d.output_scanline) * size_t(out.width) * 3;
    jpeg_read_scanlines(&d, &row, 1);
  }
  jpeg_finish_decompress(&d);
  out.warnings = int(err.num_warnings);
  jpeg_destroy_decompress(&d);
  return out;
}

// A height that is not a whole number of strips, and a fourth (ignored) component as bitmaps hand over.
Bitmap picture(int w, int h) {
  Bitmap b;
  EXPECT_TRUE(b.allocate(w, h, 4, 8));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* p = b.row(y) + 4 * x;
      p[0] = uint8_t(x * 7 + y), p[1] = uint8_t((x ^ y) * 3), p[2] = uint8_t(y * 5 - x), p[3] = 255;
    }
  return b;
}

}  // namespace

TEST(JpegStripEncode, JoinedStripsDecodeStrictlyToTheOnePieceEncodesPixels) {
  const Bitmap b = picture(1800, 1500);
  const RowSource rows{b.width, b.height, 4, [&b](int y) { return b.row(y); }};
  const int threads = cv::getNumThreads();
  for (double quality : {0.92, 0.8}) {  // full chroma (8-row MCUs) and halved chroma (16-row MCUs)
    SCOPED_TRACE(quality);
    EncodeOptions o;
    o.quality = quality;
    o.icc = std::vector<uint8_t>(600, 7);  // carried once, in the first strip's header
    cv::setNumThreads(std::max(threads, 4));
    const std::vector<uint8_t> strips = encodeJPEG(rows, o, nullptr);
    cv::setNumThreads(1);
    const std::vector<uint8_t> whole = encodeJPEG(rows, o, nullptr);
    cv::setNumThreads(threads);
    ASSERT_FALSE(strips.empty());
    ASSERT_NE(strips, whole);  // the joined file really came from strips (standard tables)

    const Decoded a = decodeStrictly(strips), b1 = decodeStrictly(whole);
    EXPECT_EQ(a.warnings, 0);
    EXPECT_EQ(a.width, 1800);
    EXPECT_EQ(a.height, 1500);
    EXPECT_EQ(a.pixels, b1.pixels);
    // And the engine's own reader, which decodes such files in bands, agrees.
    DecodeResult res;
    ASSERT_TRUE(decode(strips.data(), strips.size(), "jpg", {}, res, nullptr));
    ASSERT_EQ(res.bitmap.channels, 3);
    EXPECT_TRUE(std::equal(a.pixels.begin(), a.pixels.end(), res.bitmap.pixels.begin()));
  }
}
