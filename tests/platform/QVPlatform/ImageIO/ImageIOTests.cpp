#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>

#include "QVPlatform/ImageIO/ImageIO.h"
#include "common/TestSupport.h"
#include "rova/Color.h"
#include "rova/codecs/Codecs.h"

namespace fs = std::filesystem;
using qv::Value;

namespace {

// An 8-bit RGB image whose pixel (x, y) is (x * 4, y * 4, 100).
CGImageRef gradientImage(size_t w, size_t h) {
  auto buf = std::make_shared<std::vector<uint8_t>>(w * h * 3);
  for (size_t y = 0; y < h; ++y)
    for (size_t x = 0; x < w; ++x) {
      uint8_t* p = buf->data() + (y * w + x) * 3;
      p[0] = uint8_t(x * 4);
      p[1] = uint8_t(y * 4);
      p[2] = 100;
    }
  return CGImageCreate(w, h, 8, 24, w * 3, CGColorSpaceCreateDeviceRGB(), kCGImageAlphaNone, buf);
}

Value exampleProperties() {
  Value props = qv::Dictionary{};
  props.set(kCGImagePropertyOrientation, 6);
  props.set("{Exif}", qv::Dictionary{{"FNumber", 2.8},
                                     {"ExposureTime", 0.004},
                                     {"ISOSpeedRatings", qv::Array{200}},
                                     {"DateTimeOriginal", "2023:01:02 03:04:05"},
                                     {"LensModel", "Lens 50"}});
  props.set("{TIFF}", qv::Dictionary{{"Make", "Maker"}, {"Model", "Body X"}});
  props.set("{GPS}", qv::Dictionary{{"Latitude", 48.8583},
                                    {"LatitudeRef", "N"},
                                    {"Longitude", 2.2945},
                                    {"LongitudeRef", "E"},
                                    {"Altitude", 35.5}});
  props.set("{IPTC}", qv::Dictionary{{"Keywords", qv::Array{"tower", "night"}}, {"Caption/Abstract", "Caption"}});
  return props;
}

std::shared_ptr<std::vector<uint8_t>> writeToData(const CGImageRef& img, const char* type, const Value& props) {
  auto data = std::make_shared<std::vector<uint8_t>>();
  auto dest = CGImageDestinationCreateWithData(data, type, 1);
  EXPECT_TRUE(dest);
  CGImageDestinationAddImage(dest, img, props);
  std::string error;
  EXPECT_TRUE(CGImageDestinationFinalize(dest, &error)) << error;
  return data;
}

}  // namespace

TEST(ImageIO, DestinationsWriteMetadataThatSourcesReadBack) {
  const char* types[] = {kUTTypeJPEG, kUTTypePNG, kUTTypeTIFF, kUTTypeWebP};
  for (const char* type : types) {
    SCOPED_TRACE(type);
    auto data = writeToData(gradientImage(40, 30), type, exampleProperties());
    auto src = CGImageSourceCreateWithData(*data);
    ASSERT_TRUE(src);
    EXPECT_EQ(CGImageSourceGetType(src), type);
    EXPECT_EQ(CGImageSourceGetCount(src), 1u);
    Value p = CGImageSourceCopyPropertiesAtIndex(src, 0);
    EXPECT_EQ(p[kCGImagePropertyPixelWidth].asInt(), 40);
    EXPECT_EQ(p[kCGImagePropertyPixelHeight].asInt(), 30);
    EXPECT_EQ(p[kCGImagePropertyDepth].asInt(), 8);
    EXPECT_EQ(p[kCGImagePropertyOrientation].asInt(), 6);
    EXPECT_EQ(p[kCGImagePropertyColorModel].asString(), "RGB");
    EXPECT_NEAR(p["{Exif}"]["FNumber"].asDouble(), 2.8, 1e-4);
    EXPECT_NEAR(p["{Exif}"]["ExposureTime"].asDouble(), 0.004, 1e-6);
    EXPECT_EQ(p["{Exif}"]["ISOSpeedRatings"][0].asInt(), 200);
    EXPECT_EQ(p["{Exif}"]["DateTimeOriginal"].asString(), "2023:01:02 03:04:05");
    EXPECT_EQ(p["{Exif}"]["PixelXDimension"].asInt(), 40);
    EXPECT_EQ(p["{TIFF}"]["Make"].asString(), "Maker");
    EXPECT_EQ(p["{TIFF}"]["Orientation"].asInt(), 6);
    EXPECT_NEAR(p["{GPS}"]["Latitude"].asDouble(), 48.8583, 1e-4);
    EXPECT_EQ(p["{GPS}"]["LongitudeRef"].asString(), "E");
    EXPECT_NEAR(p["{GPS}"]["Altitude"].asDouble(), 35.5, 1e-3);
    if (std::string(type) == kUTTypeJPEG || std::string(type) == kUTTypeTIFF) {  // IPTC lives in these formats
      ASSERT_EQ(p["{IPTC}"]["Keywords"].size(), 2u);
      EXPECT_EQ(p["{IPTC}"]["Keywords"][1].asString(), "night");
      EXPECT_EQ(p["{IPTC}"]["Caption/Abstract"].asString(), "Caption");
    }
    // The sRGB profile of the image is embedded.
    EXPECT_EQ(p[kCGImagePropertyProfileName].asString(), "sRGB IEC61966-2.1");
    auto img = CGImageSourceCreateImageAtIndex(src, 0);
    ASSERT_TRUE(img);
    EXPECT_EQ(img->width, 40u);
    const uint8_t* px = img->row(10) + 20 * img->componentsPerPixel();
    const int tol = std::string(type) == kUTTypeJPEG || std::string(type) == kUTTypeWebP ? 6 : 0;
    EXPECT_NEAR(px[0], 80, tol);
    EXPECT_NEAR(px[1], 40, tol);
    EXPECT_NEAR(px[2], 100, tol);
  }
}

TEST(ImageIO, DepthCompressionAndProfileOfWrittenFiles) {
  // A 16-bit image written as a 16-bit LZW TIFF with an Adobe RGB profile keeps all three.
  const size_t w = 20, h = 10;
  auto buf = std::make_shared<std::vector<uint8_t>>(w * h * 6);
  auto* s = reinterpret_cast<uint16_t*>(buf->data());
  for (size_t i = 0; i < w * h * 3; ++i) s[i] = uint16_t(i * 97);
  auto img16 = CGImageCreate(w, h, 16, 48, w * 6, CGColorSpaceCreateWithName(kCGColorSpaceAdobeRGB1998),
                             kCGImageAlphaNone | kCGBitmapByteOrder16Little, buf);
  ASSERT_TRUE(img16);
  for (int compression : {1, 5, 8, 32773}) {
    SCOPED_TRACE(compression);
    Value props = qv::Dictionary{{"Depth", 16}, {"{TIFF}", qv::Dictionary{{"Compression", compression}}}};
    auto data = writeToData(img16, kUTTypeTIFF, props);
    rova::ImageMetadata m;
    rova::codecs::readMetadata(data->data(), data->size(), "tif", m);
    ASSERT_TRUE(m.find("Exif.Image.Compression"));
    EXPECT_EQ(m.find("Exif.Image.Compression")->numbers.at(0), compression == 8 ? 8 : compression);
    auto src = CGImageSourceCreateWithData(*data);
    ASSERT_TRUE(src);
    Value p = CGImageSourceCopyPropertiesAtIndex(src, 0);
    EXPECT_EQ(p[kCGImagePropertyDepth].asInt(), 16);
    EXPECT_EQ(p[kCGImagePropertyProfileName].asString(), "Adobe RGB (1998)");
    auto back = CGImageSourceCreateImageAtIndex(src, 0);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->bitsPerComponent, 16u);
    EXPECT_EQ(0, std::memcmp(back->bytes, buf->data(), buf->size()));  // lossless, exact
  }
  // JPEG 2000 at quality 1 is reversible: 16 bits and the profile kept, every sample exact.
  {
    auto src = CGImageSourceCreateWithData(
        *writeToData(img16, kUTTypeJPEG2000, Value(qv::Dictionary{{kCGImageDestinationLossyCompressionQuality, 1.0}})));
    ASSERT_TRUE(src);
    EXPECT_EQ(CGImageSourceGetType(src), kUTTypeJPEG2000);
    Value p = CGImageSourceCopyPropertiesAtIndex(src, 0);
    EXPECT_EQ(p[kCGImagePropertyDepth].asInt(), 16);
    EXPECT_EQ(p[kCGImagePropertyProfileName].asString(), "Adobe RGB (1998)");
    auto back = CGImageSourceCreateImageAtIndex(src, 0);
    ASSERT_TRUE(back);
    EXPECT_EQ(0, std::memcmp(back->bytes, buf->data(), buf->size()));
  }
  // The same image as PNG without a depth asked: 16 bits kept; as JPEG: 8 bits.
  auto png = CGImageSourceCreateWithData(*writeToData(img16, kUTTypePNG, {}));
  EXPECT_EQ(CGImageSourceCopyPropertiesAtIndex(png, 0)[kCGImagePropertyDepth].asInt(), 16);
  auto jpg = CGImageSourceCreateWithData(*writeToData(img16, kUTTypeJPEG, {}));
  EXPECT_EQ(CGImageSourceCopyPropertiesAtIndex(jpg, 0)[kCGImagePropertyDepth].asInt(), 8);
  // Values of the wrong kind are left out; the rest is written.
  Value odd = qv::Dictionary{{"{Exif}", qv::Dictionary{{"FNumber", "not a number"}, {"ExposureTime", 0.01}}}};
  auto oddSrc = CGImageSourceCreateWithData(*writeToData(gradientImage(8, 8), kUTTypeJPEG, odd));
  Value oddProps = CGImageSourceCopyPropertiesAtIndex(oddSrc, 0);
  EXPECT_FALSE(oddProps["{Exif}"].find("FNumber"));
  EXPECT_NEAR(oddProps["{Exif}"]["ExposureTime"].asDouble(), 0.01, 1e-6);
  // Lower quality gives a smaller JPEG.
  auto big = writeToData(gradientImage(64, 64), kUTTypeJPEG,
                         Value(qv::Dictionary{{kCGImageDestinationLossyCompressionQuality, 1.0}}));
  auto small = writeToData(gradientImage(64, 64), kUTTypeJPEG,
                           Value(qv::Dictionary{{kCGImageDestinationLossyCompressionQuality, 0.2}}));
  EXPECT_LT(small->size(), big->size());
}

// A picture handed to a file in linear light is encoded display-referred: in the colour space asked
// for, else sRGB; a picture already in its colour space keeps every sample.
TEST(ImageIO, LinearLightIsEncodedDisplayReferred) {
  const size_t w = 8, h = 4;
  auto flat = [&](CGColorSpaceRef space, int depth, double value) {
    const size_t bytes = size_t(depth / 8);
    auto buf = std::make_shared<std::vector<uint8_t>>(w * h * 3 * bytes);
    for (size_t i = 0; i < w * h * 3; ++i) {
      if (depth == 8) {
        (*buf)[i] = uint8_t(std::lround(value * 255));
      } else {
        const auto v = uint16_t(std::lround(value * 65535));
        std::memcpy(buf->data() + i * 2, &v, 2);
      }
    }
    return CGImageCreate(w, h, size_t(depth), size_t(depth) * 3, w * 3 * bytes, std::move(space),
                         kCGImageAlphaNone | (depth == 16 ? kCGBitmapByteOrder16Little : 0), buf);
  };
  auto icc = [](const char* name) { return Value(CGColorSpaceCopyICCData(CGColorSpaceCreateWithName(name))); };
  const auto linear = CGColorSpaceCreateWithProfileType(rova::kColorProfileNative);
  const double srgbOfFifth = rova::linearToSrgb(0.2f);  // about 0.484
  const double adobeOfFifth = std::pow(0.2, 256.0 / 563.0);
  struct Case {
    const char* name;
    CGImageRef image;
    const char* type;
    Value properties;
    double expected;  // the first sample read back, 0..1
    int depth;
    const char* profile;
  } cases[] = {
      {"linear 16-bit to JPEG: sRGB", flat(linear, 16, 0.2), kUTTypeJPEG, Value(), srgbOfFifth, 8, "sRGB"},
      {"linear 16-bit to a 16-bit TIFF: sRGB", flat(linear, 16, 0.2), kUTTypeTIFF, Value(qv::Dictionary{{"Depth", 16}}),
       srgbOfFifth, 16, "sRGB"},
      {"linear 8-bit to PNG: sRGB", flat(linear, 8, 0.2), kUTTypePNG, Value(), srgbOfFifth, 8, "sRGB"},
      {"linear, Adobe RGB asked for", flat(linear, 16, 0.2), kUTTypeJPEG,
       Value(qv::Dictionary{{kQVImageDestinationColorSpace, icc(kCGColorSpaceAdobeRGB1998)}}), adobeOfFifth, 8,
       "Adobe RGB"},
      {"sRGB stays as it is", flat(CGColorSpaceCreateDeviceRGB(), 8, 0.2), kUTTypePNG, Value(), 0.2, 8, "sRGB"},
      {"sRGB asked for an sRGB picture: as it is", flat(CGColorSpaceCreateDeviceRGB(), 8, 0.2), kUTTypePNG,
       Value(qv::Dictionary{{kQVImageDestinationColorSpace, icc(kCGColorSpaceSRGB)}}), 0.2, 8, "sRGB"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(c.image);
    auto src = CGImageSourceCreateWithData(*writeToData(c.image, c.type, c.properties));
    ASSERT_TRUE(src);
    auto back = CGImageSourceCreateImageAtIndex(src, 0);
    ASSERT_TRUE(back);
    ASSERT_EQ(int(back->bitsPerComponent), c.depth);
    const double first = c.depth == 8 ? back->bytes[0] / 255.0 : (back->bytes[0] | back->bytes[1] << 8) / 65535.0;
    EXPECT_NEAR(first, c.expected, c.depth == 8 ? 1.5 / 255 : 2.0 / 65535 + 1e-4);
    auto space = CGImageSourceCopyColorSpace(src);
    ASSERT_TRUE(space);
    EXPECT_NE(space->name.find(c.profile), std::string::npos) << space->name;
  }
}

TEST(ImageIO, ThumbnailsFollowTheOptions) {
  auto data = writeToData(gradientImage(60, 40), kUTTypePNG, Value(qv::Dictionary{{kCGImagePropertyOrientation, 6}}));
  auto src = CGImageSourceCreateWithData(*data);
  ASSERT_TRUE(src);
  // A PNG has no embedded thumbnail: nothing unless the image may be used.
  EXPECT_EQ(
      CGImageSourceCreateThumbnailAtIndex(src, 0, Value(qv::Dictionary{{kCGImageSourceThumbnailMaxPixelSize, 30}})),
      nullptr);
  Value opts = qv::Dictionary{{kCGImageSourceThumbnailMaxPixelSize, 30},
                              {kCGImageSourceCreateThumbnailFromImageIfAbsent, true},
                              {kCGImageSourceCreateThumbnailWithTransform, true}};
  auto t = CGImageSourceCreateThumbnailAtIndex(src, 0, opts);
  ASSERT_TRUE(t);
  EXPECT_EQ(t->width, 20u);  // turned to 40 x 60, fitted into 30
  EXPECT_EQ(t->height, 30u);
  opts.set(kCGImageSourceCreateThumbnailWithTransform, false);
  t = CGImageSourceCreateThumbnailAtIndex(src, 0, opts);
  ASSERT_TRUE(t);
  EXPECT_EQ(t->width, 30u);
  EXPECT_EQ(t->height, 20u);
  // Never enlarged.
  opts.set(kCGImageSourceThumbnailMaxPixelSize, 500);
  EXPECT_EQ(CGImageSourceCreateThumbnailAtIndex(src, 0, opts)->width, 60u);
}

TEST(ImageIO, SourcesOfFilesAndBadInput) {
  const fs::path dir = solvane::test::makeTempDir("imageio");
  auto data = writeToData(gradientImage(16, 16), kUTTypeTIFF, Value(exampleProperties()));
  const fs::path tif = dir / "a.tif";
  std::ofstream(tif, std::ios::binary)
      .write(reinterpret_cast<const char*>(data->data()), std::streamsize(data->size()));
  auto src = CGImageSourceCreateWithURL(tif);
  ASSERT_TRUE(src);
  EXPECT_EQ(CGImageSourceGetType(src), "public.tiff");
  // Copy to a new file with its metadata, overriding one value.
  const fs::path out = dir / "b.jpg";
  auto dest = CGImageDestinationCreateWithURL(out, kUTTypeJPEG, 1);
  CGImageDestinationAddImageFromSource(dest, src, 0,
                                       Value(qv::Dictionary{{"{TIFF}", qv::Dictionary{{"Model", "Body Y"}}}}));
  ASSERT_TRUE(CGImageDestinationFinalize(dest));
  EXPECT_FALSE(CGImageDestinationFinalize(dest));  // only once
  Value p = CGImageSourceCopyPropertiesAtIndex(CGImageSourceCreateWithURL(out), 0);
  EXPECT_EQ(p["{TIFF}"]["Make"].asString(), "Maker");
  EXPECT_EQ(p["{TIFF}"]["Model"].asString(), "Body Y");
  EXPECT_EQ(p["{IPTC}"]["Keywords"].size(), 2u);
  EXPECT_FALSE(fs::exists(dir / "b.jpg.partial"));

  EXPECT_EQ(CGImageSourceCreateWithURL(dir / "missing.jpg"), nullptr);
  EXPECT_EQ(CGImageSourceCreateWithURL(dir), nullptr);
  EXPECT_EQ(CGImageSourceCreateWithData({1, 2, 3}), nullptr);
  EXPECT_EQ(CGImageSourceGetType(nullptr), "");
  EXPECT_TRUE(CGImageSourceCopyPropertiesAtIndex(src, 1).isNull());
  EXPECT_EQ(CGImageDestinationCreateWithURL(out, "com.example.unknown", 1), nullptr);
  EXPECT_EQ(CGImageDestinationCreateWithURL(out, kUTTypeJPEG, 2), nullptr);
  auto empty = CGImageDestinationCreateWithURL(dir / "c.png", kUTTypePNG, 1);
  EXPECT_FALSE(CGImageDestinationFinalize(empty));  // no image added
  EXPECT_FALSE(fs::exists(dir / "c.png"));
  auto unwritable = CGImageDestinationCreateWithURL(dir / "no" / "such" / "d.png", kUTTypePNG, 1);
  CGImageDestinationAddImage(unwritable, gradientImage(4, 4));
  EXPECT_FALSE(CGImageDestinationFinalize(unwritable));
  // Images whose layout does not fit their buffer are refused.
  auto tiny = std::make_shared<std::vector<uint8_t>>(10);
  EXPECT_EQ(CGImageCreate(4, 4, 8, 24, 12, nullptr, kCGImageAlphaNone, tiny), nullptr);
  EXPECT_EQ(CGImageCreate(4, 4, 7, 21, 12, nullptr, kCGImageAlphaNone, tiny), nullptr);
}

TEST(ImageIO, AlphaIsKeptWhereTheFormatHasIt) {
  const size_t w = 8, h = 8;
  auto buf = std::make_shared<std::vector<uint8_t>>(w * h * 4);
  for (size_t i = 0; i < w * h; ++i) {
    uint8_t* p = buf->data() + i * 4;
    p[0] = 100;
    p[1] = 50;
    p[2] = 25;
    p[3] = 128;  // premultiplied by one half
  }
  auto img = CGImageCreate(w, h, 8, 32, w * 4, CGColorSpaceCreateDeviceRGB(), kCGImageAlphaPremultipliedLast, buf);
  ASSERT_TRUE(img);
  auto back = CGImageSourceCreateImageAtIndex(CGImageSourceCreateWithData(*writeToData(img, kUTTypePNG, {})), 0);
  ASSERT_TRUE(back);
  ASSERT_TRUE(back->hasAlpha());
  const uint8_t* p = back->row(3) + 3 * 4;
  EXPECT_NEAR(p[0], 199, 1);  // stored unpremultiplied
  EXPECT_EQ(p[3], 128);
  auto jpeg = CGImageSourceCreateImageAtIndex(CGImageSourceCreateWithData(*writeToData(img, kUTTypeJPEG, {})), 0);
  ASSERT_TRUE(jpeg);
  EXPECT_FALSE(jpeg->hasAlpha());
  EXPECT_NEAR(jpeg->row(3)[3 * jpeg->componentsPerPixel()], 100 + 127, 3);  // composited over white

  // Every format with alpha keeps a real one, unpremultiplied; an alpha opaque everywhere (8 or
  // 16 bits, premultiplied or not) is left out.
  auto opaque8 = std::make_shared<std::vector<uint8_t>>(*buf);
  for (size_t i = 0; i < w * h; ++i) (*opaque8)[i * 4 + 3] = 255;
  auto opaque16 = std::make_shared<std::vector<uint8_t>>(w * h * 8, uint8_t(0xFF));
  const CGImageRef opaque[] = {
      CGImageCreate(w, h, 8, 32, w * 4, CGColorSpaceCreateDeviceRGB(), kCGImageAlphaPremultipliedLast, opaque8),
      CGImageCreate(w, h, 16, 64, w * 8, CGColorSpaceCreateDeviceRGB(), kCGImageAlphaLast | kCGBitmapByteOrder16Little,
                    opaque16)};
  const Value lossless = qv::Dictionary{{kCGImageDestinationLossyCompressionQuality, 1.0}};
  for (const char* type : {kUTTypePNG, kUTTypeTIFF, kUTTypeWebP, kUTTypeJPEG2000}) {
    SCOPED_TRACE(type);
    auto kept = CGImageSourceCreateImageAtIndex(CGImageSourceCreateWithData(*writeToData(img, type, lossless)), 0);
    ASSERT_TRUE(kept);
    ASSERT_TRUE(kept->hasAlpha());
    EXPECT_NEAR(kept->row(3)[3 * 4], 199, 1);
    EXPECT_EQ(kept->row(3)[3 * 4 + 3], 128);
    for (const auto& o : opaque) {
      ASSERT_TRUE(o);
      auto src = CGImageSourceCreateWithData(*writeToData(o, type, lossless));
      EXPECT_FALSE(CGImageSourceCopyPropertiesAtIndex(src, 0)[kCGImagePropertyHasAlpha].asBool(true));
    }
  }
}

// Bitmaps as the export hands them over (RGB plus an ignored fourth component, 8 or 16 bits, either
// byte order) are written with every sample mapped exactly and with their metadata and profile.
TEST(ImageIO, ExportLayoutsKeepEverySampleTheMetadataAndTheProfile) {
  const size_t w = 300, h = 7;
  struct Case {
    const char* name;
    size_t bits;
    uint32_t order;
    const char* type;
    int depth;
  };
  const Case cases[] = {
      {"16-bit little-endian into a 16-bit TIFF", 16, kCGBitmapByteOrder16Little, kUTTypeTIFF, 16},
      {"16-bit little-endian into an 8-bit PNG", 16, kCGBitmapByteOrder16Little, kUTTypePNG, 8},
      {"16-bit big-endian into a 16-bit PNG", 16, kCGBitmapByteOrder16Big, kUTTypePNG, 16},
      {"8-bit into a 16-bit TIFF", 8, kCGBitmapByteOrderDefault, kUTTypeTIFF, 16},
      {"8-bit into a JPEG", 8, kCGBitmapByteOrderDefault, kUTTypeJPEG, 8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const size_t bytes = c.bits / 8, rowBytes = w * 4 * bytes;
    auto buf = std::make_shared<std::vector<uint8_t>>(rowBytes * h);
    std::vector<uint32_t> codes(w * h * 3);
    for (size_t i = 0; i < w * h; ++i)
      for (size_t k = 0; k < 4; ++k) {
        const uint32_t code = uint32_t((i * 3 + k) * 2654435761u) >> (32 - c.bits);
        uint8_t* p = buf->data() + (i * 4 + k) * bytes;
        if (k < 3) codes[i * 3 + k] = code;
        if (bytes == 1) {
          p[0] = uint8_t(code);
        } else {
          const bool big = c.order == kCGBitmapByteOrder16Big;
          p[big ? 0 : 1] = uint8_t(code >> 8);
          p[big ? 1 : 0] = uint8_t(code);
        }
      }
    auto img = CGImageCreate(w, h, c.bits, 4 * c.bits, rowBytes, CGColorSpaceCreateWithName(kCGColorSpaceSRGB),
                             kCGImageAlphaNoneSkipLast | c.order, buf);
    ASSERT_TRUE(img);
    Value props = exampleProperties();
    props.set("Depth", c.depth);
    auto src = CGImageSourceCreateWithData(*writeToData(img, c.type, props));
    ASSERT_TRUE(src);
    Value p = CGImageSourceCopyPropertiesAtIndex(src, 0);
    EXPECT_EQ(p[kCGImagePropertyDepth].asInt(), c.depth);
    EXPECT_EQ(p[kCGImagePropertyProfileName].asString(), "sRGB IEC61966-2.1");
    EXPECT_NEAR(p["{Exif}"]["FNumber"].asDouble(), 2.8, 1e-4);
    EXPECT_EQ(p["{TIFF}"]["Model"].asString(), "Body X");
    EXPECT_EQ(p["{Exif}"]["PixelXDimension"].asInt(), int64_t(w));
    if (std::string(c.type) == kUTTypeJPEG) continue;  // lossy: the samples are the lossless formats' to show
    auto back = CGImageSourceCreateImageAtIndex(src, 0);
    ASSERT_TRUE(back);
    ASSERT_EQ(back->bitsPerComponent, size_t(c.depth));
    const uint32_t inMax = (1u << c.bits) - 1, outMax = (1u << c.depth) - 1;
    int wrong = 0;
    for (size_t y = 0; y < h; ++y)
      for (size_t x = 0; x < w; ++x)
        for (size_t k = 0; k < 3; ++k) {
          const uint8_t* q = back->row(y) + (x * back->componentsPerPixel() + k) * size_t(c.depth / 8);
          const uint32_t got = c.depth == 8 ? q[0] : uint32_t(q[0] | q[1] << 8);
          const uint32_t want = uint32_t(std::lround(double(codes[(y * w + x) * 3 + k]) * outMax / inMax));
          wrong += got != want;
        }
    EXPECT_EQ(wrong, 0);
  }
}

// An 8-bit export is encoded from the image's own rows (the fourth component skipped); the file is
// the one the same pixels give through the copying path (here a 16-bit image of the same codes).
TEST(ImageIO, JpegFromTheImageRowsEqualsTheCopiedBitmap) {
  const size_t w = 64, h = 40;
  auto rgbx = std::make_shared<std::vector<uint8_t>>(w * h * 4);
  auto rgb16 = std::make_shared<std::vector<uint8_t>>(w * h * 6);
  for (size_t i = 0; i < w * h; ++i)
    for (size_t k = 0; k < 4; ++k) {
      const uint8_t code = uint8_t(((i % w) * 4 + (i / w) * 3 * k + k * 50) & 0xFF);
      (*rgbx)[i * 4 + k] = k < 3 ? code : 0x5A;
      if (k < 3) (*rgb16)[(i * 3 + k) * 2] = (*rgb16)[(i * 3 + k) * 2 + 1] = code;  // code x 257
    }
  auto space = CGColorSpaceCreateWithName(kCGColorSpaceSRGB);
  auto direct = CGImageCreate(w, h, 8, 32, w * 4, space, kCGImageAlphaNoneSkipLast, rgbx);
  auto copied = CGImageCreate(w, h, 16, 48, w * 6, space, kCGImageAlphaNone | kCGBitmapByteOrder16Little, rgb16);
  ASSERT_TRUE(direct && copied);
  const auto a = writeToData(direct, kUTTypeJPEG, exampleProperties());
  const auto b = writeToData(copied, kUTTypeJPEG, exampleProperties());
  ASSERT_FALSE(a->empty());
  EXPECT_TRUE(*a == *b);
}

// Replacing a user's file: its permissions stay, a link planted beside it is never followed, a
// failed write leaves it whole, and names no destination writes are refused by their extension.
TEST(ImageIO, DestinationsReplaceFilesSafelyAndKnowTheirExtensions) {
  const fs::path dir = solvane::test::makeTempDir("imageio-safe");
  const fs::path out = dir / "private.png", victim = dir / "victim";
  std::ofstream(out) << "old";
  std::ofstream(victim) << "precious";
  fs::permissions(out, fs::perms::owner_read | fs::perms::owner_write);
  fs::create_symlink(victim, dir / "private.png.partial");
  auto dest = CGImageDestinationCreateWithURL(out, kUTTypePNG, 1);
  CGImageDestinationAddImage(dest, gradientImage(8, 8));
  std::string error;
  ASSERT_TRUE(CGImageDestinationFinalize(dest, &error)) << error;
  EXPECT_EQ(fs::status(out).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(CGImageSourceGetType(CGImageSourceCreateWithURL(out)), "public.png");
  std::ifstream in(victim);
  std::string text;
  in >> text;
  EXPECT_EQ(text, "precious");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 3);

  // An output named like a folder: the error says so and nothing is written.
  fs::create_directory(dir / "folder.jpg");
  auto intoFolder = CGImageDestinationCreateWithURL(dir / "folder.jpg", kUTTypeJPEG, 1);
  CGImageDestinationAddImage(intoFolder, gradientImage(8, 8));
  EXPECT_FALSE(CGImageDestinationFinalize(intoFolder, &error));
  EXPECT_NE(error.find("a folder has that name"), std::string::npos) << error;

  const std::pair<const char*, const char*> types[] = {
      {"a.jpg", kUTTypeJPEG}, {"a.JPEG", kUTTypeJPEG}, {"a.png", kUTTypePNG},
      {"a.tif", kUTTypeTIFF}, {"a.tiff", kUTTypeTIFF}, {"a.webp", kUTTypeWebP},
      {"a.gif", ""},          {"a.heic", ""},          {"a", ""},
      {"dir.png/a", ""},
  };
  for (const auto& [name, type] : types) EXPECT_EQ(CGImageDestinationTypeForPath(name), type) << name;
}
