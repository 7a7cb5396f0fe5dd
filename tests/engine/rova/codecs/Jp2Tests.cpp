#include <gtest/gtest.h>

#include <cstring>

#include "rova/Color.h"
#include "rova/codecs/Codecs.h"

namespace codecs = rova::codecs;

namespace {

// A gradient of `channels` samples a pixel; every sample differs from its neighbours.
codecs::Bitmap gradient(int w, int h, int channels, int depth) {
  codecs::Bitmap b;
  EXPECT_TRUE(b.allocate(w, h, channels, depth));
  const int top = depth == 16 ? 65535 : 255;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      for (int c = 0; c < channels; ++c) {
        const int v = (c == channels - 1 && (channels == 2 || channels == 4)) ? top - (x * top) / (2 * w)
                                                                              : ((x + y * (c + 1)) * top) / (w + 3 * h);
        if (depth == 16) {
          const uint16_t u = uint16_t(v);
          std::memcpy(b.row(y) + (size_t(x) * channels + c) * 2, &u, 2);
        } else {
          b.row(y)[size_t(x) * channels + c] = uint8_t(v);
        }
      }
  return b;
}

double meanAbsoluteDifference(const codecs::Bitmap& a, const codecs::Bitmap& b) {
  const size_t n = a.pixels.size() / a.bytesPerSample();
  double sum = 0;
  for (size_t i = 0; i < n; ++i) {
    int va, vb;
    if (a.depth == 16) {
      uint16_t x, y;
      std::memcpy(&x, a.pixels.data() + 2 * i, 2);
      std::memcpy(&y, b.pixels.data() + 2 * i, 2);
      va = x, vb = y;
    } else {
      va = a.pixels[i], vb = b.pixels[i];
    }
    sum += std::abs(va - vb);
  }
  return sum / double(n);
}

}  // namespace

// Quality 1 is reversible: every layout comes back sample for sample, with its profile.
TEST(Jpeg2000, ReversibleRoundTripsOfEveryLayoutKeepSamplesAndProfile) {
  const auto icc = rova::createColorSpace(rova::kColorProfileProPhoto)->iccData();
  struct Case {
    int channels, depth;
  } cases[] = {{1, 8}, {2, 8}, {3, 8}, {4, 8}, {3, 16}, {4, 16}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.channels) + " channels, " + std::to_string(c.depth) + " bits");
    const codecs::Bitmap src = gradient(67, 45, c.channels, c.depth);
    codecs::EncodeOptions o;
    o.format = codecs::Format::JPEG2000;
    o.quality = 1.0;
    o.depth = c.depth;
    o.icc = icc;
    std::string error;
    const auto bytes = codecs::encode(src, o, &error);
    ASSERT_FALSE(bytes.empty()) << error;
    EXPECT_EQ(codecs::detectFormat(bytes.data(), bytes.size()), codecs::Format::JPEG2000);
    codecs::ImageInfo info;
    ASSERT_TRUE(codecs::readInfo(bytes.data(), bytes.size(), "jp2", info, &error)) << error;
    EXPECT_EQ(info.size.width, 67);
    EXPECT_EQ(info.size.height, 45);
    EXPECT_EQ(info.bitsPerSample, c.depth);
    EXPECT_EQ(info.channels, c.channels);
    EXPECT_EQ(info.hasAlpha, c.channels == 2 || c.channels == 4);
    EXPECT_EQ(info.icc, icc);
    codecs::DecodeResult res;
    ASSERT_TRUE(codecs::decode(bytes.data(), bytes.size(), "jp2", {}, res, &error)) << error;
    ASSERT_EQ(res.bitmap.pixels.size(), src.pixels.size());
    EXPECT_EQ(std::memcmp(res.bitmap.pixels.data(), src.pixels.data(), src.pixels.size()), 0);
  }
}

// Lower quality asks for a higher compression ratio: files shrink and samples stay close.
TEST(Jpeg2000, QualityMapsToACompressionRate) {
  EXPECT_LT(codecs::detail::jpeg2000CompressionRatio(0.95), codecs::detail::jpeg2000CompressionRatio(0.85));
  EXPECT_NEAR(codecs::detail::jpeg2000CompressionRatio(0.5), 32.0, 1e-9);
  const codecs::Bitmap src = gradient(256, 192, 3, 8);
  size_t previous = SIZE_MAX;
  for (double q : {1.0, 0.9, 0.5, 0.1}) {
    SCOPED_TRACE(q);
    codecs::EncodeOptions o;
    o.format = codecs::Format::JPEG2000;
    o.quality = q;
    std::string error;
    const auto bytes = codecs::encode(src, o, &error);
    ASSERT_FALSE(bytes.empty()) << error;
    EXPECT_LT(bytes.size(), previous);
    previous = bytes.size();
    if (q < 1.0) {
      EXPECT_LE(double(bytes.size()),
                double(src.pixels.size()) / codecs::detail::jpeg2000CompressionRatio(q) * 1.1 + 512);
    }
    codecs::DecodeResult res;
    ASSERT_TRUE(codecs::decode(bytes.data(), bytes.size(), "jp2", {}, res, &error)) << error;
    EXPECT_LT(meanAbsoluteDifference(res.bitmap, src), q >= 0.5 ? 2.0 : 8.0);
  }
}

TEST(Jpeg2000, DamagedFilesAreRefusedWithAReason) {
  codecs::EncodeOptions o;
  o.format = codecs::Format::JPEG2000;
  o.quality = 1.0;
  std::string error;
  const auto bytes = codecs::encode(gradient(64, 64, 3, 8), o, &error);
  ASSERT_FALSE(bytes.empty());
  for (size_t keep : {size_t(20), bytes.size() / 3}) {
    SCOPED_TRACE(keep);
    const std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + long(keep));
    codecs::DecodeResult res;
    error.clear();
    EXPECT_FALSE(codecs::decode(cut.data(), cut.size(), "jp2", {}, res, &error));
    EXPECT_NE(error.find("JPEG 2000"), std::string::npos) << error;
    EXPECT_TRUE(res.bitmap.empty());
  }
}

// A fit box smaller than the picture is decoded from a lower resolution level of the wavelet.
TEST(Jpeg2000, FitSizesDecodeAReducedResolution) {
  codecs::EncodeOptions o;
  o.format = codecs::Format::JPEG2000;
  o.quality = 1.0;
  std::string error;
  const auto bytes = codecs::encode(gradient(256, 192, 3, 8), o, &error);
  ASSERT_FALSE(bytes.empty()) << error;
  codecs::DecodeRequest request;
  request.fitSize = {100, 100};
  codecs::DecodeResult res;
  ASSERT_TRUE(codecs::decode(bytes.data(), bytes.size(), "jp2", request, res, &error)) << error;
  EXPECT_EQ(res.bitmap.width, 128);
  EXPECT_EQ(res.bitmap.height, 96);
  EXPECT_EQ(res.info.size.width, 256);
  EXPECT_DOUBLE_EQ(res.scale, 0.5);
  request.fitSize = {200, 200};
  ASSERT_TRUE(codecs::decode(bytes.data(), bytes.size(), "jp2", request, res, &error)) << error;
  EXPECT_EQ(res.bitmap.width, 256);
}
