#include "QVPlatform/ImageIO/NSImage.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

CGImageRef makeBitmap(size_t w, size_t h, size_t bits, const char* space = kCGColorSpaceSRGB) {
  const size_t bytes = bits / 8;
  auto data = std::make_shared<std::vector<uint8_t>>(w * h * 4 * bytes);
  for (size_t i = 0; i < data->size(); ++i) (*data)[i] = uint8_t(i * 7);
  return CGImageCreate(w, h, bits, bits * 4, w * 4 * bytes, CGColorSpaceCreateWithName(space),
                       kCGImageAlphaPremultipliedLast, data);
}

TEST(NSImage, BitmapImagesKeepTheirBufferAndTakeThePixelSizeByDefault) {
  auto bitmap = makeBitmap(40, 20, 8);
  auto image = NSImage::imageWithCGImage(bitmap);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->size().width, 40);
  EXPECT_EQ(image->size().height, 20);
  EXPECT_EQ(image->CGImage(), bitmap) << "no copy of the bitmap";
  EXPECT_EQ(image->CGImageForPixelSize(80, 40), bitmap);

  auto retina = NSImage::imageWithCGImage(bitmap, CGSizeMake(20, 10));
  EXPECT_EQ(retina->size().width, 20);
  EXPECT_EQ(NSImage::imageWithCGImage(nullptr), nullptr);
}

TEST(NSImage, LazyImagesDrawOncePerPixelSizeEvenFromManyThreads) {
  std::atomic<int> draws{0};
  auto image = NSImage::imageWithSize(CGSizeMake(8, 4), [&](size_t w, size_t h) {
    ++draws;
    return makeBitmap(w, h, 8);
  });
  ASSERT_TRUE(image && image->isLazy());
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i) threads.emplace_back([&] { EXPECT_EQ(CGImageGetWidth(image->CGImage()), 8u); });
  for (auto& t : threads) t.join();
  EXPECT_EQ(draws.load(), 1);
  EXPECT_EQ(CGImageGetWidth(image->CGImageForPixelSize(16, 8)), 16u);
  EXPECT_EQ(draws.load(), 2);

  EXPECT_EQ(NSImage::imageWithSize(CGSizeMake(0, 4), [](size_t, size_t) { return nullptr; }), nullptr);
  auto failing = NSImage::imageWithSize(CGSizeMake(4, 4), [](size_t, size_t) { return CGImageRef(); });
  EXPECT_EQ(failing->CGImage(), nullptr);
  EXPECT_TRUE(failing->TIFFRepresentation().empty());
}

TEST(NSImage, TIFFDataKeepsDepthAndProfileAndReadsBack) {
  for (size_t bits : {8u, 16u}) {
    auto image = NSImage::imageWithCGImage(makeBitmap(6, 5, bits, kCGColorSpaceAdobeRGB1998));
    const auto tiff = image->TIFFRepresentation();
    ASSERT_FALSE(tiff.empty()) << bits;
    auto back = NSImage::imageWithData(tiff);
    ASSERT_TRUE(back) << bits;
    EXPECT_EQ(CGImageGetWidth(back->CGImage()), 6u);
    EXPECT_EQ(CGImageGetBitsPerComponent(back->CGImage()), bits);
    const auto icc = CGColorSpaceCopyICCData(back->colorSpace());
    EXPECT_FALSE(icc.empty()) << bits;
    EXPECT_EQ(icc, CGColorSpaceCopyICCData(image->colorSpace())) << "the profile travels with the data";
  }
  EXPECT_FALSE(NSImage::imageWithCGImage(makeBitmap(3, 3, 8))->PNGRepresentation().empty());
  EXPECT_EQ(NSImage::imageWithData({1, 2, 3}), nullptr);
}

}  // namespace
