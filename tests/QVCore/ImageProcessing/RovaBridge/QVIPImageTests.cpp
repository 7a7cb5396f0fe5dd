// Image and mask data: construction, the bitmap hand-over, and the geometric operations checked
// pixel by pixel on tiny asymmetric images (every pixel different, so any misplaced pixel shows).
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <numbers>

#include "QVCore/Helpers/QVImageOrientationProcessor.h"
#include "QVCore/ImageProcessing/Layers/QVIPMask.h"
#include "QVCore/ImageProcessing/RovaBridge/QVIPImage.h"
#include "QVCore/ImageProcessing/RovaBridge/QVRovaHelper.h"
#include "QVPlatform/ImageIO/ImageIO.h"
#include "common/TestSupport.h"
#include "rova/Color.h"
#include "rova/codecs/Codecs.h"
#include "rova/codecs/SafeFile.h"
#include "rova/layers/ImageLayer.h"
#include "rova/processor/ImageProcessor.h"
#include "rova/reader/ImageReader.h"

namespace {

// An opaque 8-bit RGBA bitmap whose red component names the pixel: 10 * row + column + 1 (rows
// from the top).
CGImageRef numberedBitmap(size_t w, size_t h, size_t bits = 8) {
  const size_t bpp = 4 * bits / 8;
  auto data = std::make_shared<std::vector<uint8_t>>(w * h * bpp);
  for (size_t y = 0; y < h; ++y)
    for (size_t x = 0; x < w; ++x) {
      uint8_t* p = data->data() + (y * w + x) * bpp;
      const uint8_t id = uint8_t(10 * y + x + 1);
      if (bits == 8) {
        p[0] = id;
        p[3] = 255;
      } else {
        p[1] = id;  // 16-bit little-endian: the id in the high byte
        p[6] = p[7] = 255;
      }
    }
  const uint32_t info = kCGImageAlphaPremultipliedLast | (bits == 16 ? kCGBitmapByteOrder16Little : 0);
  return CGImageCreate(w, h, bits, 4 * bits, w * bpp, CGColorSpaceCreateWithName(kCGColorSpaceSRGB), info,
                       std::move(data));
}

// The pixel id at (x, y) (rows from the top) of an RGBA bitmap, and its alpha (0..255).
int idAt(const CGImageRef& image, size_t x, size_t y) {
  const uint8_t* p = image->row(y) + x * image->bitsPerPixel / 8;
  return image->bitsPerComponent == 16 ? p[1] : p[0];
}
int alphaAt(const CGImageRef& image, size_t x, size_t y) {
  const uint8_t* p = image->row(y) + x * image->bitsPerPixel / 8;
  return image->bitsPerComponent == 16 ? p[7] : p[3];
}

// Checks every output pixel against the source pixel `from(X, Y)` names.
void expectMapping(const CGImageRef& out, size_t w, size_t h,
                   const std::function<std::pair<size_t, size_t>(size_t, size_t)>& from) {
  ASSERT_TRUE(out);
  ASSERT_EQ(out->width, w);
  ASSERT_EQ(out->height, h);
  for (size_t Y = 0; Y < h; ++Y)
    for (size_t X = 0; X < w; ++X) {
      auto [x, y] = from(X, Y);
      EXPECT_EQ(idAt(out, X, Y), int(10 * y + x + 1)) << "output pixel " << X << "," << Y;
      EXPECT_EQ(alphaAt(out, X, Y), 255) << "output pixel " << X << "," << Y;
    }
}

rova::ImageDataRGBfPtr rgbData(int w, int h, std::function<rova::PixelRGB<float>(int, int)> f,
                               rova::ImageDataColorProfileType type = rova::kColorProfileNative) {
  auto d = rova::ImageDataRGBf::create(w, h, type);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) d->at(x, y) = f(x, y);
  return d;
}

}  // namespace

TEST(QVIPImage, EveryExifOrientationMovesEveryPixel) {
  const size_t W = 3, H = 2;
  auto image = QVIPImage::initWithCGImage(numberedBitmap(W, H));
  ASSERT_TRUE(image);
  EXPECT_EQ(image->imageByApplyingOrientation(1), image);
  using Map = std::function<std::pair<size_t, size_t>(size_t, size_t)>;
  struct Case {
    uint64_t orientation;
    bool turned;
    Map from;
  } cases[] = {
      {2, false,
       [&](size_t X, size_t Y) {
         return std::pair{W - 1 - X, Y};
       }},
      {3, false,
       [&](size_t X, size_t Y) {
         return std::pair{W - 1 - X, H - 1 - Y};
       }},
      {4, false,
       [&](size_t X, size_t Y) {
         return std::pair{X, H - 1 - Y};
       }},
      {5, true,
       [&](size_t X, size_t Y) {
         return std::pair{Y, X};
       }},
      {6, true,
       [&](size_t X, size_t Y) {
         return std::pair{Y, H - 1 - X};
       }},
      {7, true,
       [&](size_t X, size_t Y) {
         return std::pair{W - 1 - Y, H - 1 - X};
       }},
      {8, true,
       [&](size_t X, size_t Y) {
         return std::pair{W - 1 - Y, X};
       }},
      {9, false,
       [&](size_t X, size_t Y) {
         return std::pair{X, Y};
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.orientation);
    auto turned = image->imageByApplyingOrientation(c.orientation);
    ASSERT_TRUE(turned);
    EXPECT_EQ(turned->size().width, c.turned ? H : W);
    expectMapping(turned->CGImage(), c.turned ? H : W, c.turned ? W : H, c.from);
    // The helper class hands out the same bitmap.
    expectMapping(QVImageOrientationProcessor::createImageByApplyingOrientation(c.orientation, numberedBitmap(W, H)),
                  c.turned ? H : W, c.turned ? W : H, c.from);
  }
}

TEST(QVIPImage, OrientationOfEngineDataKeepsDepthAndColourSpace) {
  // 300 x 200 turned by orientation 6 is 200 x 300; 16-bit data stays 16-bit.
  auto data = rgbData(
      300, 200,
      [](int x, int) {
        return rova::PixelRGB<float>{x < 150 ? 1.f : 0.f, 0.f, 0.f};
      },
      rova::kColorProfileSRGB);
  auto image = QVIPImage::initWithImageData(data);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->depth(), 16u);
  EXPECT_EQ(image->colorspaceCode(), 1);
  auto turned = image->imageByApplyingOrientation(6);
  ASSERT_TRUE(turned);
  EXPECT_EQ(turned->imageWidth(), 200u);
  EXPECT_EQ(turned->imageHeight(), 300u);
  EXPECT_EQ(turned->depth(), 16u);
  CGImageRef bitmap = turned->CGImage();
  ASSERT_TRUE(bitmap);
  EXPECT_EQ(bitmap->bitsPerComponent, 16u);
  EXPECT_EQ(bitmap->colorSpace->profileType(), rova::kColorProfileSRGB);
  // The red left half is now the top half.
  const uint8_t* top = bitmap->row(0);
  const uint8_t* bottom = bitmap->row(299);
  EXPECT_EQ(top[1], 255);
  EXPECT_EQ(bottom[1], 0);
}

TEST(QVIPImage, CropWithAngleTakesTheRectangleAndTurnsIt) {
  // 4 x 3 image; rectangles in bottom-left coordinates.
  auto image = QVIPImage::initWithCGImage(numberedBitmap(4, 3));
  // No angle: columns 1..2, the two bottom rows (rows 1..2 from the top).
  auto plain = image->imageWithCropRect(CGRectMake(1, 0, 2, 2), 0);
  ASSERT_TRUE(plain);
  EXPECT_EQ(plain->depth(), 8u);
  expectMapping(plain->CGImage(), 2, 2, [](size_t X, size_t Y) { return std::pair{X + 1, Y + 1}; });
  // A quarter turn of the frame over the top-left 3 x 3 square turns the picture clockwise.
  auto square = QVIPImage::initWithCGImage(numberedBitmap(3, 3));
  auto quarter = square->imageWithCropRect(CGRectMake(0, 0, 3, 3), std::numbers::pi / 2);
  expectMapping(quarter->CGImage(), 3, 3, [](size_t X, size_t Y) { return std::pair{Y, 2 - X}; });
  // Half a turn over the whole 4 x 3 image.
  auto half = image->imageWithCropRect(CGRectMake(0, 0, 4, 3), std::numbers::pi);
  expectMapping(half->CGImage(), 4, 3, [](size_t X, size_t Y) { return std::pair{3 - X, 2 - Y}; });
  // Rounded output size; parts outside the picture stay transparent.
  auto outside = image->imageWithCropRect(CGRectMake(3, 0, 2.4, 1), 0);
  CGImageRef o = outside->CGImage();
  ASSERT_EQ(o->width, 2u);
  EXPECT_EQ(idAt(o, 0, 0), 24);
  EXPECT_EQ(alphaAt(o, 1, 0), 0);
}

TEST(QVIPImage, TilesAndPastes) {
  auto image = QVIPImage::initWithCGImage(numberedBitmap(4, 3));
  EXPECT_EQ(image->tileForRect(CGRectMake(0, 0, 4, 3), CGSizeMake(4, 3)), image);
  // Columns 1..3 of the top row (y = 2 from the bottom).
  auto tile = image->tileForRect(CGRectMake(1, 2, 3, 1), CGSizeMake(3, 1));
  ASSERT_TRUE(tile);
  expectMapping(tile->CGImage(), 3, 1, [](size_t X, size_t) { return std::pair{X + 1, size_t(0)}; });
  auto enlarged = image->tileForRect(CGRectMake(0, 0, 4, 3), CGSizeMake(8, 6));
  ASSERT_TRUE(enlarged);
  EXPECT_EQ(enlarged->imageWidth(), 8u);
  EXPECT_EQ(idAt(enlarged->CGImage(), 0, 0), 1);
  EXPECT_EQ(idAt(enlarged->CGImage(), 7, 5), 24);

  // Paste a 2 x 1 image into the bottom-right corner of a 16-bit image; the layout stays.
  auto base = QVIPImage::initWithCGImage(numberedBitmap(4, 3, 16));
  auto patch = QVIPImage::initWithCGImage(numberedBitmap(2, 1));
  auto pasted = base->updatedImageWithImage(patch, CGRectMake(2, 0, 2, 1));
  ASSERT_TRUE(pasted);
  CGImageRef p = pasted->CGImage();
  EXPECT_EQ(p->bitsPerComponent, 16u);
  EXPECT_EQ(p->bitmapInfo, base->CGImage()->bitmapInfo);
  expectMapping(p, 4, 3, [](size_t X, size_t Y) {
    if (Y == 2 && X >= 2) return std::pair{X - 2, size_t(0)};
    return std::pair{X, Y};
  });
}

TEST(QVIPImage, APastedPictureIsColourMatchedIntoTheImagesSpace) {
  // An sRGB grey of 128 pasted into a linear-light bitmap lands as its linear value (about 55);
  // the pixels around it keep their numbers.
  const auto grey = [](size_t w, size_t h, uint8_t v, const char* space) {
    auto data = std::make_shared<std::vector<uint8_t>>(w * h * 4);
    for (size_t i = 0; i < w * h; ++i)
      (*data)[4 * i] = (*data)[4 * i + 1] = (*data)[4 * i + 2] = v, (*data)[4 * i + 3] = 255;
    return CGImageCreate(w, h, 8, 32, w * 4, CGColorSpaceCreateWithName(space), kCGImageAlphaPremultipliedLast, data);
  };
  auto base = QVIPImage::initWithCGImage(grey(3, 2, 200, kCGColorSpaceLinearSRGB));
  auto patch = QVIPImage::initWithCGImage(grey(1, 1, 128, kCGColorSpaceSRGB));
  auto pasted = base->updatedImageWithImage(patch, CGRectMake(1, 1, 1, 1));
  ASSERT_TRUE(pasted);
  CGImageRef out = pasted->CGImage();
  EXPECT_EQ(out->colorSpace->name, kCGColorSpaceLinearSRGB);
  const int expected = int(std::lround(rova::srgbToLinear(128 / 255.f) * 255));
  for (size_t y = 0; y < 2; ++y)
    for (size_t x = 0; x < 3; ++x) {
      const uint8_t* p = out->row(y) + 4 * x;
      const int want = (x == 1 && y == 0) ? expected : 200;  // (1, 1) from the bottom is the top row
      EXPECT_NEAR(p[0], want, 1) << x << "," << y;
      EXPECT_NEAR(p[2], want, 1) << x << "," << y;
      EXPECT_EQ(p[3], 255);
    }
  // Within one colour space the numbers are taken as they are.
  auto same = base->updatedImageWithImage(QVIPImage::initWithCGImage(grey(1, 1, 128, kCGColorSpaceLinearSRGB)),
                                          CGRectMake(1, 1, 1, 1));
  EXPECT_EQ(same->CGImage()->row(0)[4], 128);
}

TEST(QVIPImage, PendingClampAndTheBitmapHandOver) {
  auto data = rgbData(2, 1, [](int x, int) {
    return x == 0 ? rova::PixelRGB<float>{1.5f, -0.2f, 0.5f} : rova::PixelRGB<float>{0.25f, 2.f, 0.f};
  });
  auto image = QVIPImage::initWithImageData(data, true);
  auto clamped = image->imageData();
  ASSERT_TRUE(clamped);
  EXPECT_NE(clamped, data);
  EXPECT_EQ(clamped->at(0, 0), (rova::PixelRGB<float>{1.f, 0.f, 0.5f}));
  EXPECT_EQ(clamped->at(1, 0), (rova::PixelRGB<float>{0.25f, 1.f, 0.f}));
  EXPECT_EQ(data->at(0, 0).r, 1.5f);  // the data handed in is untouched
  EXPECT_TRUE(image->floatImageData());
  EXPECT_TRUE(image->CGImageWithColorspace(1, 8));

  for (uint64_t depth : {8u, 16u}) {
    auto img = QVIPImage::initWithImageData(data, 0, depth, true);
    CGImageRef bitmap = img->CGImage();
    ASSERT_TRUE(bitmap);
    EXPECT_EQ(bitmap->bitsPerComponent, depth);
    EXPECT_EQ(img->CGImage(), bitmap);  // made once
    EXPECT_FALSE(img->imageData());
    EXPECT_FALSE(img->floatImageData());
    EXPECT_FALSE(img->CGImageWithColorspace(1, 8));
    EXPECT_EQ(img->imageWidth(), 2u);
  }
  EXPECT_FALSE(QVIPImage::initWithImageData(data, 0, 12)->CGImage());
  EXPECT_FALSE(QVIPImage::initWithImageData(nullptr));
}

// The bitmap of data still to be clamped must be the bitmap of the clamped data: the sRGB and
// untransformed paths saturate each component themselves, so they skip the full-size clamped copy;
// a colour transform mixes out-of-range components, so clamping must come first there.
TEST(QVIPImage, BitmapOfUnclampedDataMatchesTheClampedData) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const rova::PixelRGB<float> pixels[] = {{1.5f, -0.2f, 0.5f}, {2.f, -1.f, nan},    {0.25f, 1e30f, -1e30f},
                                          {0.f, 1.f, 0.0031f}, {-0.f, 0.999f, 4.f}, {0.8f, -0.5f, 0.1f}};
  auto data = rgbData(6, 1, [&](int x, int) { return pixels[x]; });
  auto clamped = data->copy();
  rova::clamp(*clamped);
  const auto bytes = [](const CGImageRef& image) {
    return image ? std::vector<uint8_t>(image->bytes, image->bytes + image->byteCount) : std::vector<uint8_t>{};
  };
  struct Case {
    int64_t colorspace;
    uint64_t depth;
    bool copySkipped;
  };
  for (const Case c : {Case{1, 8, true}, Case{1, 16, true}, Case{0, 8, true}, Case{0, 16, true}, Case{2, 8, false},
                       Case{2, 16, false}, Case{3, 16, false}}) {
    SCOPED_TRACE(testing::Message() << "code " << c.colorspace << ", " << c.depth << " bits");
    auto image = QVIPImage::initWithImageData(data, c.colorspace, c.depth, true);
    CGImageRef bitmap = image->CGImage();
    ASSERT_TRUE(bitmap);
    EXPECT_EQ(bytes(bitmap), bytes(QVRovaHelper::createCGImageWith(clamped, c.colorspace, int64_t(c.depth))));
    EXPECT_EQ(image->shouldClampImageData(), c.copySkipped);
    if (!c.copySkipped)  // the transform would give other pixels without the clamp
      EXPECT_NE(bytes(bitmap), bytes(QVRovaHelper::createCGImageWith(data, c.colorspace, int64_t(c.depth))));
  }
  EXPECT_EQ(data->at(0, 0).r, 1.5f);  // the data handed in is untouched
}

TEST(QVIPImage, ColourSpacesOfEngineData) {
  auto data = rgbData(
      1, 1,
      [](int, int) {
        return rova::PixelRGB<float>{0.5f, 0.5f, 0.5f};
      },
      rova::kColorProfileAdobeRGB);
  auto image = QVIPImage::initWithImageData(data);
  EXPECT_EQ(image->colorspaceCode(), 2);
  EXPECT_TRUE(image->colorProfileMatchesWithColorSpace(0));
  EXPECT_TRUE(image->colorProfileMatchesWithColorSpace(2));
  EXPECT_FALSE(image->colorProfileMatchesWithColorSpace(1));
  EXPECT_EQ(image->colorSpace()->profileType(), rova::kColorProfileAdobeRGB);
  CGImageRef srgb = image->CGImageWithColorspace(1, 16);
  ASSERT_TRUE(srgb);
  EXPECT_EQ(srgb->colorSpace->profileType(), rova::kColorProfileSRGB);
  EXPECT_EQ(QVIPImage::imageColorSpace()->profileType(), rova::kColorProfileSRGB);
}

TEST(QVIPImage, MaskPreviewsAndPlatformImages) {
  auto empty = QVIPImage::initWithMaskData(nullptr, CGSizeMake(500, 400));
  EXPECT_TRUE(empty->isMaskPreview());
  EXPECT_EQ(empty->imageWidth(), 500u);
  EXPECT_EQ(empty->imageHeight(), 400u);
  EXPECT_EQ(empty->depth(), 0u);
  auto mask = rova::ImageDataF::create(3, 2);
  auto preview = QVIPImage::initWithMaskData(mask, CGSizeMake(500, 400));
  EXPECT_EQ(preview->size().width, 3);
  ASSERT_TRUE(preview->CGImage());
  EXPECT_FALSE(preview->maskData());

  // A platform image whose bitmap holds twice its size in points is redrawn at its size.
  auto retina = QVIPImage::initWithNSImage({numberedBitmap(4, 4), CGSizeMake(2, 2)});
  ASSERT_TRUE(retina);
  EXPECT_EQ(retina->CGImage()->width, 2u);
  EXPECT_EQ(retina->depth(), 8u);
  EXPECT_EQ(retina->CGImage()->colorSpace->profileType(), rova::kColorProfileSRGB);  // code 0: colours kept
  auto asIs = QVIPImage::initWithNSImage({numberedBitmap(4, 4), CGSizeMake(4, 4)}, 0, 16);
  EXPECT_EQ(asIs->depth(), 16u);
  EXPECT_EQ(asIs->CGImage()->bitsPerComponent, 8u);  // kept as it is
}

TEST(QVIPImage, ResizeFromDataOrBitmap) {
  auto data = rgbData(4, 2, [](int x, int) { return rova::PixelRGB<float>{x < 2 ? 1.f : 0.f, 0.f, 0.f}; });
  auto image = QVIPImage::initWithImageData(data, 0, 8);
  CGImageRef small = image->resize(CGSizeMake(2.9, 1.2));
  ASSERT_TRUE(small);
  EXPECT_EQ(small->width, 2u);
  EXPECT_EQ(small->height, 1u);
  EXPECT_EQ(small->bitsPerComponent, 8u);
  EXPECT_EQ(small->row(0)[0], 255);
  EXPECT_EQ(small->row(0)[4], 0);
  image->CGImage();  // now only the bitmap is left
  CGImageRef fromBitmap = image->resize(CGSizeMake(2, 1));
  ASSERT_TRUE(fromBitmap);
  EXPECT_EQ(fromBitmap->width, 2u);
  EXPECT_FALSE(QVIPImage::initWithMaskData(nullptr, CGSizeMake(2, 2))->resize(CGSizeMake(1, 1)));
}

TEST(QVIPMask, UnionDifferenceAndEmpty) {
  auto a = QVIPMask::make(std::make_shared<std::vector<float>>(4, 0.8f), CGSizeMake(2, 2));
  auto b = QVIPMask::make(std::make_shared<std::vector<float>>(4, 0.3f), CGSizeMake(2, 2));
  EXPECT_NEAR(a->intersectMask(*b)->buffer()->at(0), 0.5f, 1e-6);
  EXPECT_EQ(b->intersectMask(*a)->buffer()->at(0), 0.f);
  EXPECT_EQ(a->unionMask(*b)->buffer()->at(3), 1.f);
  auto empty = a->createEmptyMask();
  EXPECT_EQ(empty->size().width, 2);
  EXPECT_EQ(*empty->buffer(), std::vector<float>(4, 0.f));
  // This mask without buffer takes nothing away from nothing.
  EXPECT_EQ(*QVIPMask::make(nullptr, CGSizeMake(2, 2))->intersectMask(*b)->buffer(), std::vector<float>(4, 0.f));
}

TEST(QVIPMask, BuffersAndSizesThatDoNotMatchAreReadSafely) {
  // A 3 x 2 mask whose buffer holds only 4 values: the missing two count as 0.
  auto shortMask = QVIPMask::make(std::make_shared<std::vector<float>>(4, 0.5f), CGSizeMake(3, 2));
  auto full = QVIPMask::make(std::make_shared<std::vector<float>>(6, 0.25f), CGSizeMake(3, 2));
  EXPECT_EQ(*shortMask->unionMask(*full)->buffer(), (std::vector<float>{0.75f, 0.75f, 0.75f, 0.75f, 0.25f, 0.25f}));
  // Different sizes meet pixel by pixel at the same position.
  auto small = QVIPMask::make(std::make_shared<std::vector<float>>(std::vector<float>{0.1f, 0.2f}), CGSizeMake(1, 2));
  auto u = full->unionMask(*small);
  EXPECT_EQ(u->size().width, 3);
  EXPECT_NEAR(u->buffer()->at(0), 0.35f, 1e-6);
  EXPECT_NEAR(u->buffer()->at(3), 0.45f, 1e-6);
  EXPECT_EQ(u->buffer()->at(1), 0.25f);
  auto d = full->intersectMask(*small);  // the other's size: 1 x 2
  EXPECT_EQ(d->buffer()->size(), 2u);
  EXPECT_NEAR(d->buffer()->at(0), 0.15f, 1e-6);
  EXPECT_NEAR(d->buffer()->at(1), 0.05f, 1e-6);
  // NaN and negative sizes give nothing harmful.
  auto nan = QVIPMask::make(std::make_shared<std::vector<float>>(1, std::nanf("")), CGSizeMake(1, 1));
  EXPECT_EQ(nan->unionMask(*nan)->buffer()->at(0), 0.f);
  EXPECT_TRUE(QVIPMask::make(nullptr, CGSizeMake(-3, 2))->createEmptyMask()->buffer()->empty());
}

namespace {

// Component c of pixel (x, y) of an 8- or 16-bit bitmap, 0..1.
double componentAt(const CGImageRef& image, size_t x, size_t y, size_t c) {
  const size_t bytes = image->bitsPerComponent / 8;
  const uint8_t* p = image->row(y) + (x * image->componentsPerPixel() + c) * bytes;
  return bytes == 1 ? p[0] / 255.0 : (p[0] | p[1] << 8) / 65535.0;
}

}  // namespace

// A file with a transparent half, read, rendered and exported: every format with alpha keeps the
// file's alpha exactly (8 and 16 bits), and a JPEG shows the picture composited over white.
TEST(QVIPImage, TransparencyOfAReadFileReachesTheExport) {
  const auto dir = solvane::test::makeTempDir("alpha-export");
  const int w = 12, h = 6;
  struct Fixture {
    const char* name;
    int depth;
    rova::codecs::Format format;
  };
  for (const Fixture f : {Fixture{"png8", 8, rova::codecs::Format::PNG}, {"tiff16", 16, rova::codecs::Format::TIFF}}) {
    SCOPED_TRACE(f.name);
    // Left third opaque, a column at 1/3, the rest fully transparent over garish green.
    const int max = f.depth == 8 ? 255 : 65535;
    auto alphaOf = [&](int x) { return x < 4 ? max : x == 4 ? max / 3 : 0; };
    rova::codecs::Bitmap b;
    ASSERT_TRUE(b.allocate(w, h, 4, f.depth));
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const int v[4] = {alphaOf(x) ? max * (50 + 20 * x) / 255 : 0, alphaOf(x) ? max * (100 + 10 * y) / 255 : max,
                          alphaOf(x) ? max * 60 / 255 : 0, alphaOf(x)};
        for (int c = 0; c < 4; ++c)
          if (f.depth == 8)
            b.row(y)[4 * x + c] = uint8_t(v[c]);
          else
            reinterpret_cast<uint16_t*>(b.row(y))[4 * x + c] = uint16_t(v[c]);
      }
    rova::codecs::EncodeOptions o{.format = f.format, .depth = f.depth};
    std::string error;
    auto bytes = rova::codecs::encode(b, o, &error);
    ASSERT_FALSE(bytes.empty()) << error;
    const auto path = dir / (std::string(f.name) + (f.depth == 8 ? ".png" : ".tif"));
    ASSERT_TRUE(rova::codecs::writeFileSafely(path.string(), bytes.data(), bytes.size(), &error)) << error;
    auto image = rova::ImageReader::instance().read(path.string(), {}, rova::kReadDefaultFlags, nullptr, &error);
    ASSERT_TRUE(image) << error;
    rova::ImageProcessor processor;
    processor.addLayer(std::make_shared<rova::ImageLayer>(image));
    rova::ImageProcessorSettings settings;
    settings.useCache = false;
    ASSERT_TRUE(processor.startProcessing(settings));
    auto rendered = processor.getLastResult();
    ASSERT_TRUE(rendered && rendered->alpha());

    for (const char* type : {kUTTypePNG, kUTTypeTIFF, kUTTypeWebP, kUTTypeJPEG2000, kUTTypeJPEG}) {
      const bool deep = f.depth == 16 && (type == kUTTypePNG || type == kUTTypeTIFF);
      SCOPED_TRACE(std::string(type) + (deep ? " 16" : " 8"));
      auto bitmap = QVIPImage::initWithImageData(rendered, 1, deep ? 16 : 8)->CGImage();
      ASSERT_TRUE(bitmap && bitmap->hasAlpha());
      auto data = std::make_shared<std::vector<uint8_t>>();
      auto destination = CGImageDestinationCreateWithData(data, type, 1);
      CGImageDestinationAddImage(
          destination, bitmap,
          qv::Dictionary{{kCGImageDestinationLossyCompressionQuality, 1.0}, {kCGImagePropertyDepth, deep ? 16 : 8}});
      ASSERT_TRUE(CGImageDestinationFinalize(destination, &error)) << error;
      auto back = CGImageSourceCreateImageAtIndex(CGImageSourceCreateWithData(*data), 0);
      ASSERT_TRUE(back);
      const bool jpeg = type == kUTTypeJPEG;
      ASSERT_EQ(back->hasAlpha(), !jpeg);
      ASSERT_EQ(back->bitsPerComponent, deep ? 16u : 8u);
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
          const double a = double(alphaOf(x)) / max, g = (100 + 10 * y) / 255.0;
          if (!jpeg) {
            // Exactly the file's alpha (at 8 bits, the 8-bit step nearest to a 16-bit one).
            EXPECT_EQ(std::lround(componentAt(back, x, y, 3) * (deep ? 65535 : 255)),
                      std::lround(a * (deep ? 65535 : 255)))
                << x << "," << y;
            if (a > 0) EXPECT_NEAR(componentAt(back, x, y, 1), g, 1.5 / 255) << x << "," << y;
          } else {
            // Over white: the hidden green never shows, the faint column is mostly white.
            EXPECT_NEAR(componentAt(back, x, y, 1), g * a + (1 - a), 6 / 255.0) << x << "," << y;
            EXPECT_NEAR(componentAt(back, x, y, 0), (a > 0 ? (50 + 20 * x) / 255.0 : 0) * a + (1 - a), 6 / 255.0)
                << x << "," << y;
          }
        }
    }
  }
}

// A bitmap made for a file holds three components a pixel (no skipped fourth), which the image
// destination writes from its own rows: the files are byte for byte those of the screen layout.
TEST(QVIPImage, ABitmapForAFileIsPackedAndWritesTheSameFiles) {
  auto data = rgbData(64, 40, [](int x, int y) { return rova::PixelRGB<float>{x / 64.f, y / 40.f, 0.3f}; });
  for (int depth : {8, 16}) {
    for (const char* type : {"public.tiff", "public.png", "public.jpeg"}) {
      if (depth == 16 && std::string(type) == "public.jpeg") continue;
      SCOPED_TRACE(testing::Message() << depth << " " << type);
      auto screen = QVIPImage::initWithImageData(data->copy(), 1, uint64_t(depth));
      auto file = QVIPImage::initWithImageData(data->copy(), 1, uint64_t(depth));
      file->setBitmapForFile(true);
      ASSERT_EQ(file->CGImage()->componentsPerPixel(), 3u);
      ASSERT_EQ(screen->CGImage()->componentsPerPixel(), 4u);
      auto bytesOf = [&](const CGImageRef& image) {
        auto out = std::make_shared<std::vector<uint8_t>>();
        auto dest = CGImageDestinationCreateWithData(out, type, 1);
        qv::Value props = qv::Dictionary{};
        props.set(kCGImagePropertyDepth, int64_t(depth));
        CGImageDestinationAddImage(dest, image, props);
        EXPECT_TRUE(CGImageDestinationFinalize(dest));
        return *out;
      };
      const auto a = bytesOf(file->CGImage()), b = bytesOf(screen->CGImage());
      EXPECT_FALSE(a.empty());
      EXPECT_EQ(a, b);
    }
  }
}
