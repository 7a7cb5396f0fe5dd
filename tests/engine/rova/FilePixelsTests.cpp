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
  std::vector<uint8_t> exact(6), fast(6);
  ImageDataColorProfileType written = kColorProfileUnknown;
  ASSERT_TRUE(writeFilePixels(*linear, srgb, exact.data(), exact.size(), &written));
  EXPECT_EQ(written, kColorProfileSRGB);
  const int expected = int(std::lround(255 * linearToSrgb(0.2f)));
  EXPECT_NEAR(exact[0], expected, 1);
  EXPECT_EQ(exact[3], 255);
  srgb.fastSrgbCurve = true;
  ASSERT_TRUE(writeFilePixels(*linear, srgb, fast.data(), fast.size()));
  for (size_t i = 0; i < exact.size(); ++i) EXPECT_NEAR(fast[i], exact[i], 1) << i;

  std::vector<uint8_t> out(64);
  FilePixelFormat bad;
  bad.depth = 12;
  EXPECT_FALSE(writeFilePixels(*linear, bad, out.data(), out.size()));
  bad = {};
  bad.channels = 2;
  EXPECT_FALSE(writeFilePixels(*linear, bad, out.data(), out.size()));
  EXPECT_FALSE(writeFilePixels(*linear, FilePixelFormat{}, out.data(), 5)) << "a row that does not fit";
}
