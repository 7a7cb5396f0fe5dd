// Large JPEGs with restart markers decode in bands on several threads; the bands must land where they
// belong, at full size and at DCT-reduced sizes, and a cut-off file must still be reported as such.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "rova/codecs/Codecs.h"

using namespace rova;
using namespace rova::codecs;

namespace {

// Smooth, different in every row and column band, so a misplaced band shows as a large error.
uint8_t sample(int x, int y, int c) {
  switch (c) {
    case 0:
      return uint8_t(x * 255 / 2399);
    case 1:
      return uint8_t(y * 255 / 1199);
    default:
      return uint8_t((x + 2 * y) % 512 < 256 ? (x + 2 * y) % 256 : 255 - (x + 2 * y) % 256);
  }
}

std::vector<uint8_t> bigJpeg(double quality = 1.0) {
  Bitmap b;
  EXPECT_TRUE(b.allocate(2400, 1200, 3, 8));
  for (int y = 0; y < b.height; ++y)
    for (int x = 0; x < b.width; ++x)
      for (int c = 0; c < 3; ++c) b.row(y)[x * 3 + c] = sample(x, y, c);
  EncodeOptions o;
  o.format = Format::JPEG;
  o.quality = quality;  // below 0.9 the chroma is halved both ways
  return encode(b, o, nullptr);
}

TEST(JpegBandDecode, FullAndReducedDecodesMatchTheSource) {
  struct Case {
    double quality;
    Size fit;
    int width, height, tolerance;
  };
  for (const Case& k : {Case{1.0, {}, 2400, 1200, 4}, Case{1.0, {900, 450}, 900, 450, 6},
                        Case{1.0, {600, 300}, 600, 300, 6}, Case{0.8, {900, 450}, 900, 450, 8}}) {
    SCOPED_TRACE(testing::Message() << k.quality << " " << k.width);
    const std::vector<uint8_t> file = bigJpeg(k.quality);
    ASSERT_FALSE(file.empty());
    DecodeRequest req;
    req.fitSize = k.fit;
    DecodeResult res;
    ASSERT_TRUE(decode(file.data(), file.size(), "jpg", req, res, nullptr));
    ASSERT_EQ(res.bitmap.width, k.width);
    ASSERT_EQ(res.bitmap.height, k.height);
    const double f = 2400.0 / k.width;
    int worst = 0;
    // Away from the edges, where a reduced pixel's footprint is fully inside the picture.
    for (int y = 2; y < k.height - 2; ++y)
      for (int x = 2; x < k.width - 2; ++x)
        for (int c = 0; c < 2; ++c) {
          const int want = sample(int((x + 0.5) * f), int((y + 0.5) * f), c);
          worst = std::max(worst, std::abs(int(res.bitmap.row(y)[x * 3 + c]) - want));
        }
    EXPECT_LE(worst, k.tolerance);
  }
}

TEST(JpegBandDecode, CutOffFileIsReportedNotFilledIn) {
  std::vector<uint8_t> file = bigJpeg();
  file.resize(file.size() / 2);
  for (Size fit : {Size{}, Size{600, 300}}) {
    DecodeRequest req;
    req.fitSize = fit;
    DecodeResult res;
    std::string error;
    EXPECT_FALSE(decode(file.data(), file.size(), "jpg", req, res, &error));
    EXPECT_NE(error.find("premature end"), std::string::npos) << error;
  }
}

// Keeps what a decoder streams, and how often each row came.
struct RecordingSink : RowSink {
  bool accept = true;
  int width = 0, height = 0, channels = 0;
  std::vector<uint8_t> pixels;
  std::vector<int> deliveries;
  std::mutex mutex;
  bool begin(int w, int h, int ch, const ImageInfo&) override {
    width = w, height = h, channels = ch;
    pixels.assign(size_t(w) * h * ch, 0);
    deliveries.assign(size_t(h), 0);
    return accept;
  }
  void rows(int y, int count, const uint8_t* data, size_t rowBytes) override {
    std::lock_guard lock(mutex);
    for (int k = 0; k < count; ++k) {
      std::memcpy(&pixels[size_t(y + k) * rowBytes], data + size_t(k) * rowBytes, rowBytes);
      ++deliveries[size_t(y + k)];
    }
  }
};

TEST(JpegBandDecode, RowsStreamToASinkExactlyOnceAndEqualTheBitmap) {
  // In bands (full size and reduced), and in one piece (chroma halved vertically at full size, which
  // smooth upsampling keeps out of bands) with the rows handed over from a second thread.
  const std::vector<uint8_t> file = bigJpeg(), subsampled = bigJpeg(0.8);
  struct Case {
    const std::vector<uint8_t>* file;
    Size fit;
  };
  for (const Case& k : {Case{&file, {}}, Case{&file, {900, 450}}, Case{&subsampled, {}}}) {
    SCOPED_TRACE(testing::Message() << k.fit.width << (k.file == &subsampled ? " 4:2:0" : ""));
    const std::vector<uint8_t>& file = *k.file;
    const Size fit = k.fit;
    DecodeRequest plain;
    plain.fitSize = fit;
    DecodeResult want;
    ASSERT_TRUE(decode(file.data(), file.size(), "jpg", plain, want, nullptr));
    RecordingSink sink;
    DecodeRequest req = plain;
    req.rowSink = &sink;
    DecodeResult res;
    ASSERT_TRUE(decode(file.data(), file.size(), "jpg", req, res, nullptr));
    EXPECT_TRUE(res.streamed);
    EXPECT_TRUE(res.bitmap.empty());
    EXPECT_DOUBLE_EQ(res.scale, want.scale);
    ASSERT_EQ(sink.width, want.bitmap.width);
    ASSERT_EQ(sink.height, want.bitmap.height);
    EXPECT_TRUE(std::all_of(sink.deliveries.begin(), sink.deliveries.end(), [](int n) { return n == 1; }));
    EXPECT_TRUE(std::equal(sink.pixels.begin(), sink.pixels.end(), want.bitmap.pixels.begin()));
  }
  // A sink that declines, a file too small for bands, and a cut-off file all leave the bitmap to do.
  RecordingSink declining;
  declining.accept = false;
  DecodeRequest req;
  req.rowSink = &declining;
  DecodeResult res;
  ASSERT_TRUE(decode(file.data(), file.size(), "jpg", req, res, nullptr));
  EXPECT_FALSE(res.streamed);
  EXPECT_EQ(res.bitmap.width, 2400);
  Bitmap small;
  ASSERT_TRUE(small.allocate(64, 64, 3, 8));
  std::fill(small.pixels.begin(), small.pixels.end(), uint8_t(90));
  const std::vector<uint8_t> smallFile = encode(small, {}, nullptr);
  RecordingSink unused;
  req.rowSink = &unused;
  ASSERT_TRUE(decode(smallFile.data(), smallFile.size(), "jpg", req, res, nullptr));
  EXPECT_FALSE(res.streamed);
  EXPECT_EQ(res.bitmap.width, 64);
  for (const auto* whole : {&file, &subsampled}) {
    std::vector<uint8_t> cut = *whole;
    cut.resize(cut.size() / 2);
    std::string error;
    EXPECT_FALSE(decode(cut.data(), cut.size(), "jpg", req, res, &error));
    EXPECT_NE(error.find("premature end"), std::string::npos) << error;
  }
}

}  // namespace
