#include <gtest/gtest.h>

#include <zlib.h>

#include <cstring>
#include <random>

#include "rova/ImageCompressorProxy.h"

using namespace rova;

namespace {
ImageDataRGBfPtr noisyImage(int w, int h) {
  auto d = ImageDataRGBf::create(w, h, kColorProfileAdobeRGB);
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> u(-0.5f, 2.f);
  for (size_t i = 0; i < d->pixelCount() * 3; ++i) d->floats()[i] = u(rng);
  return d;
}
}  // namespace

TEST(ImageCompressor, ImagesAndMasksRoundTripExactly) {
  auto img = noisyImage(37, 23);
  auto bytes = ImageCompressorProxy::compress(img);
  ASSERT_FALSE(bytes.empty());
  auto back = ImageCompressorProxy::uncompress(bytes);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->width(), 37);
  EXPECT_EQ(back->height(), 23);
  EXPECT_EQ(back->colorProfileType(), kColorProfileAdobeRGB);
  EXPECT_EQ(0, std::memcmp(back->floats(), img->floats(), img->byteCount()));

  MaskImage mask(19, 5);
  for (int i = 0; i < 19 * 5; ++i) mask.values()[i] = float(i % 7) / 7.f;
  auto mbytes = ImageCompressorProxy::compressMask(mask);
  auto mback = ImageCompressorProxy::uncompressMask(mbytes);
  ASSERT_TRUE(mback);
  EXPECT_EQ(mback->size(), mask.size());
  EXPECT_EQ(0, std::memcmp(mback->values(), mask.values(), 19 * 5 * sizeof(float)));

  // An image's bytes are not a mask and the other way round.
  EXPECT_EQ(ImageCompressorProxy::uncompressMask(bytes), nullptr);
  EXPECT_EQ(ImageCompressorProxy::uncompress(mbytes), nullptr);
  EXPECT_TRUE(ImageCompressorProxy::compress(ImageDataRGBfPtr{}).empty());
}

TEST(ImageCompressor, MalformedBytesAreRefused) {
  auto good = ImageCompressorProxy::compress(noisyImage(16, 16));
  std::string error;
  EXPECT_EQ(ImageCompressorProxy::uncompress(nullptr, 0, &error), nullptr);
  EXPECT_EQ(ImageCompressorProxy::uncompress(std::vector<uint8_t>(good.begin(), good.begin() + 39), &error), nullptr);
  auto truncated = good;
  truncated.pop_back();
  EXPECT_EQ(ImageCompressorProxy::uncompress(truncated, &error), nullptr);
  auto trailing = good;
  trailing.push_back(0);
  EXPECT_EQ(ImageCompressorProxy::uncompress(trailing, &error), nullptr);
  // Every single flipped byte, in the header and through the payload, is caught.
  for (size_t i = 0; i < good.size(); i += (i < 40 ? 1 : 97)) {
    auto bad = good;
    bad[i] ^= 0x5A;
    error.clear();
    EXPECT_EQ(ImageCompressorProxy::uncompress(bad, &error), nullptr) << "byte " << i;
    EXPECT_FALSE(error.empty());
  }
}

TEST(ImageCompressor, HostileHeaderAllocatesNothingLarge) {
  // A consistent header (with a valid header checksum) claiming a huge image: refused before allocation.
  auto good = ImageCompressorProxy::compress(noisyImage(2, 2));
  auto put32 = [](uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
  };
  auto put64 = [](uint8_t* p, uint64_t v) {
    for (int i = 0; i < 8; ++i) p[i] = uint8_t(v >> (8 * i));
  };
  put32(good.data() + 8, 60000);
  put32(good.data() + 12, 60000);
  put64(good.data() + 16, uint64_t(60000) * 60000 * 12);
  put32(good.data() + 36, uint32_t(crc32(0, good.data(), 36)));
  std::string error;
  EXPECT_EQ(ImageCompressorProxy::uncompress(good, &error), nullptr);
  EXPECT_NE(error.find("size"), std::string::npos) << error;
}
