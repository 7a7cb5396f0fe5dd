#include "QVPlatform/ImageIO/NSImageAdditions.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace qv;

namespace {

// An opaque RGB bitmap of 8 or 16 bits whose pixel (x, y) is f(x, y) (components 0..65535 for 16
// bits, 0..255 for 8).
using PixelFunction = std::function<std::array<uint16_t, 3>(size_t, size_t)>;
CGImageRef bitmap(size_t w, size_t h, int depth, const PixelFunction& f,
                  CGColorSpaceRef space = CGColorSpaceCreateDeviceRGB()) {
  const size_t bytes = depth / 8;
  auto buf = std::make_shared<std::vector<uint8_t>>(w * h * 3 * bytes);
  for (size_t y = 0; y < h; ++y)
    for (size_t x = 0; x < w; ++x) {
      auto p = f(x, y);
      for (size_t c = 0; c < 3; ++c) {
        uint8_t* s = buf->data() + ((y * w + x) * 3 + c) * bytes;
        if (bytes == 1)
          s[0] = uint8_t(p[c]);
        else
          std::memcpy(s, &p[c], 2);
      }
    }
  return CGImageCreate(w, h, depth, 3 * depth, w * 3 * bytes, space,
                       kCGImageAlphaNone | (depth == 16 ? kCGBitmapByteOrder16Little : 0), buf);
}

NSImageRef image(size_t w, size_t h, int depth, const PixelFunction& f,
                 CGColorSpaceRef space = CGColorSpaceCreateDeviceRGB()) {
  return NSImage::imageWithCGImage(bitmap(w, h, depth, f, space));
}

NSImageRef flat(size_t w, size_t h, uint16_t r, uint16_t g, uint16_t b, int depth = 8) {
  return image(w, h, depth, [=](size_t, size_t) { return std::array<uint16_t, 3>{r, g, b}; });
}

// Component c of pixel (x, y) of an RGB or RGBA result (8 or 16 bits, alpha last).
uint16_t at(const CGImageRef& img, size_t x, size_t y, size_t c) {
  const uint8_t* p = img->row(y) + (x * img->componentsPerPixel() + c) * (img->bitsPerComponent / 8);
  if (img->bitsPerComponent == 8) return p[0];
  uint16_t v;
  std::memcpy(&v, p, 2);
  return v;
}

TEST(NSImageAdditions, BlendAtHalfOpacityAveragesEveryPixelAndKeepsTheBaseProfile) {
  for (int depth : {8, 16}) {
    SCOPED_TRACE(depth);
    const uint16_t top = depth == 8 ? 255 : 65535;
    CGColorSpaceRef adobe = CGColorSpaceCreateWithName(kCGColorSpaceAdobeRGB1998);
    auto base = image(
        5, 4, depth,
        [&](size_t x, size_t y) {
          return std::array<uint16_t, 3>{uint16_t(x * top / 4), uint16_t(y * top / 3), 0};
        },
        adobe);
    auto over = image(5, 4, depth, [&](size_t x, size_t y) {
      return std::array<uint16_t, 3>{uint16_t(top - x * top / 4), top, uint16_t(y * top / 3)};
    });
    auto blended = blendWith(base, over, 0.5, depth);
    ASSERT_TRUE(blended);
    CGImageRef result = blended->CGImage(), a = base->CGImage(), b = over->CGImage();
    EXPECT_EQ(result->bitsPerComponent, size_t(depth));
    EXPECT_EQ(CGColorSpaceCopyICCData(result->colorSpace), CGColorSpaceCopyICCData(adobe));
    // The store keeps it as TIFF with its depth and profile.
    auto stored = NSImage::imageWithData(blended->TIFFRepresentation());
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->CGImage()->bitsPerComponent, size_t(depth));
    EXPECT_EQ(CGColorSpaceCopyICCData(stored->CGImage()->colorSpace), CGColorSpaceCopyICCData(adobe));
    for (size_t y = 0; y < 4; ++y)
      for (size_t x = 0; x < 5; ++x) {
        for (size_t c = 0; c < 3; ++c) {
          auto component = [&](const CGImageRef& img) {
            const uint8_t* p = img->row(y) + (x * 3 + c) * (depth / 8);
            uint16_t v = p[0];
            if (depth == 16) std::memcpy(&v, p, 2);
            return double(v);
          };
          EXPECT_NEAR(at(result, x, y, c), (component(a) + component(b)) / 2, 1.0) << x << "," << y << "," << c;
        }
        EXPECT_EQ(at(result, x, y, 3), top);
      }
  }
}

TEST(NSImageAdditions, BlendKeepsTheBaseSizeAndOpacityZeroGivesTheBase) {
  auto base = flat(6, 4, 10, 20, 30);
  auto none = blendWith(base, flat(2, 9, 200, 200, 200), 0.0, 8);
  ASSERT_TRUE(none);
  EXPECT_EQ(none->size(), base->size());
  for (size_t c = 0; c < 3; ++c) EXPECT_EQ(at(none->CGImage(), 3, 2, c), (std::array<int, 3>{10, 20, 30}[c]));
  // At full opacity into the top-left quarter (origin at the bottom left): only that quarter changes.
  auto quarter = drawImage(base, flat(1, 1, 250, 0, 0), CGRectMake(0, 2, 3, 2));
  EXPECT_EQ(at(quarter->CGImage(), 0, 0, 0), 250);
  EXPECT_EQ(at(quarter->CGImage(), 2, 1, 0), 250);
  EXPECT_EQ(at(quarter->CGImage(), 3, 0, 0), 10);
  EXPECT_EQ(at(quarter->CGImage(), 0, 2, 0), 10);
  EXPECT_EQ(blendWith(nullptr, base, 0.5, 8), nullptr);

  // A base without a colour space gives a result tagged sRGB.
  auto untagged = image(
      2, 2, 8,
      [](size_t, size_t) {
        return std::array<uint16_t, 3>{1, 2, 3};
      },
      nullptr);
  ASSERT_TRUE(untagged);
  auto tagged = blendWith(untagged, base, 0.5, 16);
  EXPECT_EQ(CGColorSpaceCopyICCData(tagged->CGImage()->colorSpace),
            CGColorSpaceCopyICCData(CGColorSpaceCreateWithName(kCGColorSpaceSRGB)));
}

TEST(NSImageAdditions, NothingDrawnOverAnOpaqueBaseGivesItsSamplesAtTheDepthAsked) {
  // An export at full strength blends at opacity 0 into the depth of its file: the base comes back
  // (same depth) or rounded to the other depth exactly as drawing rounds (compared with a draw at an
  // opacity too small to move any sample).
  auto ramp = [](size_t x, size_t y) {
    return std::array<uint16_t, 3>{uint16_t(x * 1021 + y * 7), uint16_t(65535 - x * 997), uint16_t(y * 4099 + 128)};
  };
  auto base16 = image(64, 16, 16, ramp);
  auto base8 = image(64, 16, 8, [&](size_t x, size_t y) {
    auto p = ramp(x, y);
    return std::array<uint16_t, 3>{uint16_t(p[0] >> 8), uint16_t(p[1] >> 8), uint16_t(p[2] >> 8)};
  });
  auto over = flat(64, 16, 255, 0, 255);
  EXPECT_EQ(blendWith(base16, over, 0, 16), base16);
  EXPECT_EQ(blendWith(base8, over, 0, 8), base8);
  for (auto [base, depth] : {std::pair{base16, 8}, std::pair{base8, 16}}) {
    SCOPED_TRACE(depth);
    auto fast = blendWith(base, over, 0, depth), drawn = blendWith(base, over, 1e-9, depth);
    ASSERT_TRUE(fast && drawn);
    EXPECT_EQ(fast->CGImage()->bitsPerComponent, size_t(depth));
    EXPECT_EQ(fast->size(), base->size());
    for (size_t y = 0; y < 16; ++y)
      for (size_t x = 0; x < 64; ++x)
        for (size_t c = 0; c < 3; ++c)
          ASSERT_EQ(at(fast->CGImage(), x, y, c), at(drawn->CGImage(), x, y, c)) << x << "," << y << "," << c;
  }
}

TEST(NSImageAdditions, DarkImageShadesEveryPixelToFortyPercent) {
  auto dark = darkImage(flat(4, 4, 200, 100, 50));
  ASSERT_TRUE(dark && dark->isLazy());
  CGImageRef result = dark->CGImage();
  for (size_t c = 0; c < 3; ++c) EXPECT_NEAR(at(result, 1, 1, c), (std::array<int, 3>{80, 40, 20}[c]), 1);
  EXPECT_EQ(at(result, 1, 1, 3), 255);
}

TEST(NSImageAdditions, BlurSpreadsAPointEvenlyAndFadesAtTheEdges) {
  auto dot = image(21, 21, 8, [](size_t x, size_t y) {
    uint16_t v = x == 10 && y == 10 ? 255 : 0;
    return std::array<uint16_t, 3>{v, v, v};
  });
  auto blurred = blurredImageWithRadius(dot, 3.0);
  ASSERT_TRUE(blurred && blurred->isLazy());
  EXPECT_EQ(blurred->size(), dot->size());
  CGImageRef result = blurred->CGImage();
  EXPECT_LT(at(result, 10, 10, 0), 255);
  EXPECT_GT(at(result, 10, 10, 0), at(result, 13, 10, 0));
  EXPECT_GT(at(result, 13, 10, 0), 0);
  EXPECT_EQ(at(result, 13, 10, 0), at(result, 7, 10, 0));
  EXPECT_EQ(at(result, 13, 10, 0), at(result, 10, 13, 0));
  // Inside, an opaque picture stays opaque; at the border it mixes with the transparent outside.
  EXPECT_EQ(at(result, 10, 10, 3), 255);
  EXPECT_LT(at(result, 0, 0, 3), 200);
}

TEST(NSImageAdditions, FitSizes) {
  struct Row {
    CGSize image, box, fit;
  };
  for (const Row& row : {Row{{4000, 3000}, {2000, 2000}, {2000, 1500}}, Row{{3000, 4000}, {2000, 2000}, {1500, 2000}},
                         Row{{1000, 333}, {300, 300}, {300, 100}}, Row{{500, 500}, {200, 200}, {200, 200}},
                         Row{{400, 200}, {200, 100}, {200, 100}}})
    EXPECT_EQ(imageSizeFitSizeForSize(row.image, row.box), row.fit) << row.image.width << "x" << row.image.height;
  EXPECT_EQ(snappedSourceRect(CGRectMake(0.4, 0.6, 10.2, 10.2)), CGRectMake(0, 0, 10, 10));
  EXPECT_EQ(snappedSourceRect(CGRectMake(1.5, 2.5, 3.0, 3.0)), CGRectMake(1, 2, 3, 3));
}

TEST(NSImageAdditions, ResampledCopiesFitTheBoxAndTakeTheirSourceRectangle) {
  // Left half red, right half blue, at 16 bits.
  auto halves = image(40, 20, 16, [](size_t x, size_t) {
    return x < 20 ? std::array<uint16_t, 3>{65535, 0, 0} : std::array<uint16_t, 3>{0, 0, 65535};
  });
  auto resized = imageResizedToSize(halves, CGSizeMake(10, 10));
  ASSERT_TRUE(resized && resized->isLazy());
  EXPECT_EQ(resized->size(), CGSizeMake(10, 5));
  CGImageRef pixels = resized->CGImage();
  EXPECT_EQ(pixels->width, 10u);
  EXPECT_EQ(pixels->bitsPerComponent, 16u);
  EXPECT_EQ(at(pixels, 1, 2, 0), 65535);
  EXPECT_EQ(at(pixels, 8, 2, 2), 65535);

  auto rightHalf = imageFromRect(halves, CGRectMake(20, 0, 20, 20), CGSizeMake(5, 5));
  ASSERT_TRUE(rightHalf);
  EXPECT_EQ(rightHalf->size(), CGSizeMake(5, 5));
  EXPECT_EQ(at(rightHalf->CGImage(), 0, 0, 0), 0);
  EXPECT_EQ(at(rightHalf->CGImage(), 0, 0, 2), 65535);

  EXPECT_EQ(imageFitToSize(halves, CGSizeMake(100, 100))->size(), CGSizeMake(100, 50));
  EXPECT_EQ(imageResizedToSize(halves, CGSizeZero), nullptr);
  EXPECT_EQ(imageResizedToSize(nullptr, CGSizeMake(10, 10)), nullptr);
}

TEST(NSImageAdditions, RotationCanvasesAndDirection) {
  // Left half red, right half blue.
  auto halves = image(100, 60, 8, [](size_t x, size_t) {
    return x < 50 ? std::array<uint16_t, 3>{255, 0, 0} : std::array<uint16_t, 3>{0, 0, 255};
  });
  EXPECT_EQ(imageRotated(halves, 360), halves);
  EXPECT_EQ(imageRotated(halves, -720), halves);
  struct Row {
    float degrees;
    CGSize canvas;
  };
  for (const Row& row :
       {Row{90, {60, 100}}, Row{450, {60, 100}}, Row{-270, {60, 100}}, Row{180, {100, 60}}, Row{45, {120, 120}}})
    EXPECT_EQ(imageRotated(halves, row.degrees)->size(), row.canvas) << row.degrees;

  // A quarter turn counter-clockwise brings the right (blue) half to the top.
  CGImageRef turned = imageRotated(halves, 90)->CGImage();
  EXPECT_EQ(at(turned, 30, 10, 2), 255);
  EXPECT_EQ(at(turned, 30, 90, 0), 255);
  // At 45 degrees the picture is centred and the corners of the canvas stay transparent.
  CGImageRef tilted = imageRotated(halves, 45)->CGImage();
  EXPECT_EQ(at(tilted, 60, 60, 3), 255);
  EXPECT_EQ(at(tilted, 0, 0, 3), 0);
}

}  // namespace
