#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "rova/Color.h"
#include "rova/FilePixels.h"
#include "rova/ImageData.h"

using namespace rova;

namespace {

ImageDataRGBfPtr oneRow(const std::vector<float>& values, ImageDataColorProfileType type = kColorProfileSRGB) {
  auto d = ImageDataRGBf::createUninitialized(int(values.size() / 3), 1, type);
  std::copy(values.begin(), values.end(), d->floats());
  return d;
}

}  // namespace

TEST(FilePixels, QuantisesEveryComponentByTheFormat) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const auto data = oneRow({0.5f, 1.5f, -0.25f, nan, 0.999f, 0.0f});
  struct Case {
    const char* name;
    FilePixelFormat format;
    std::vector<uint8_t> expected;
  };
  FilePixelFormat nearest8, truncated8, truncated16x4;
  truncated8.rounding = FilePixelFormat::Rounding::TowardZero;
  truncated16x4.depth = 16;
  truncated16x4.channels = 4;
  truncated16x4.rounding = FilePixelFormat::Rounding::TowardZero;
  const Case cases[] = {
      {"nearest, 8 bits", nearest8, {128, 255, 0, 0, 255, 0}},
      {"truncated, 8 bits", truncated8, {127, 255, 0, 0, 254, 0}},
      // 0.5 x 65535 = 32767.5 and 0.999 x 65535 = 65469.4 truncate; little-endian; opaque filler.
      {"truncated, 16 bits and filler",
       truncated16x4,
       {0xFF, 0x7F, 0xFF, 0xFF, 0, 0, 0xFF, 0xFF, 0, 0, 0xBD, 0xFF, 0, 0, 0xFF, 0xFF}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> out(c.expected.size() + 3, 0xAA);
    ImageDataColorProfileType written = kColorProfileUnknown;
    ASSERT_TRUE(writeFilePixels(*data, c.format, out.data(), c.expected.size(), &written));
    EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + long(c.expected.size())), c.expected);
    EXPECT_EQ(out.back(), 0xAA) << "nothing is written past the row";
    EXPECT_EQ(written, kColorProfileSRGB) << "the data's own colour space is kept";
  }
}

TEST(FilePixels, ConvertsIntoTheAskedColourSpaceAndRefusesWhatItCannotWrite) {
  const auto linear = oneRow({0.2f, 0.2f, 0.2f, 1.0f, 1.0f, 1.0f}, kColorProfileNative);
  FilePixelFormat srgb;
  srgb.colorSpace = kColorProfileSRGB;
  std::vector<uint8_t> exact(6);
  ImageDataColorProfileType written = kColorProfileUnknown;
  ASSERT_TRUE(writeFilePixels(*linear, srgb, exact.data(), exact.size(), &written));
  EXPECT_EQ(written, kColorProfileSRGB);
  const int expected = int(std::lround(255 * linearToSrgb(0.2f)));
  EXPECT_NEAR(exact[0], expected, 1);
  EXPECT_EQ(exact[3], 255);

  std::vector<uint8_t> out(64);
  FilePixelFormat bad;
  bad.depth = 12;
  EXPECT_FALSE(writeFilePixels(*linear, bad, out.data(), out.size()));
  bad = {};
  bad.channels = 2;
  EXPECT_FALSE(writeFilePixels(*linear, bad, out.data(), out.size()));
  EXPECT_FALSE(writeFilePixels(*linear, FilePixelFormat{}, out.data(), 5)) << "a row that does not fit";
}

// Linear data into sRGB goes through a tabulated tone curve: it must stay within one step of the
// exact lcms2 transform at both depths and both roundings, over the whole range (the toe, every
// table interval, the top) and for values outside it.
TEST(FilePixels, TabulatedSrgbCurveMatchesTheExactTransformWithinOneStep) {
  std::vector<float> values;
  for (int i = 0; i <= 200000; ++i) values.push_back(std::pow(float(i) / 200000, 2.2f));
  for (float v : {-0.5f, -1e-6f, 0.0031308f, 0.0031309f, 0.5f, 0.9999999f, 1.0f, 1.2f, 40.0f}) values.push_back(v);
  constexpr int kWidth = 1000;
  while (values.size() % (3 * kWidth)) values.push_back(0.25f);
  const int height = int(values.size() / (3 * kWidth));
  auto linear = ImageDataRGBf::createUninitialized(kWidth, height, kColorProfileWorking);
  ASSERT_TRUE(linear);
  std::copy(values.begin(), values.end(), linear->floats());
  auto exact = ImageDataRGBf::createUninitialized(kWidth, height, kColorProfileSRGB);
  ASSERT_TRUE(colorTransformIpp(linear->floats(), exact->floats(), kColorProfileWorking, kColorProfileSRGB,
                                kColorDataTypeRGBFloat, {kWidth, height}));
  clamp(*exact);
  for (int depth : {8, 16}) {
    for (auto rounding : {FilePixelFormat::Rounding::Nearest, FilePixelFormat::Rounding::TowardZero}) {
      SCOPED_TRACE(testing::Message() << depth << " bits, rounding " << int(rounding));
      FilePixelFormat format;
      format.depth = depth;
      format.rounding = rounding;
      FilePixelFormat asIs = format;
      format.colorSpace = kColorProfileSRGB;
      const size_t rowBytes = size_t(kWidth) * format.bytesPerPixel();
      std::vector<uint8_t> fast(rowBytes * size_t(height)), reference(rowBytes * size_t(height));
      ImageDataColorProfileType written = kColorProfileUnknown;
      ASSERT_TRUE(writeFilePixels(*linear, format, fast.data(), rowBytes, &written));
      EXPECT_EQ(written, kColorProfileSRGB);
      ASSERT_TRUE(writeFilePixels(*exact, asIs, reference.data(), rowBytes));
      int worst = 0;
      size_t worstAt = 0;
      for (size_t i = 0; i < values.size(); ++i) {
        auto at = [&](const std::vector<uint8_t>& b) {
          return depth == 8 ? int(b[i]) : int(b[2 * i] | b[2 * i + 1] << 8);
        };
        const int d = std::abs(at(fast) - at(reference));
        if (d > worst) worst = d, worstAt = i;
      }
      EXPECT_LE(worst, 1) << "at linear " << values[worstAt];
    }
  }
}
