// Fixtures are described with designated initialisers that leave the other fields at their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#include <gtest/gtest.h>
#include <tiffio.h>
#include <webp/encode.h>
#include <webp/mux.h>
#include <zlib.h>
#include <exiv2/exiv2.hpp>

#include <sys/resource.h>
#include <sys/stat.h>

#include <cmath>
#include <fstream>
#include <thread>

#include "common/TestSupport.h"
#include "engine/rova/EngineTestFiles.h"
#include "rova/Color.h"
#include "rova/reader/ImageReader.h"

using namespace rova;
using namespace enginetest;
namespace fs = std::filesystem;

namespace {

ImageReader& reader() { return ImageReader::instance(); }

// Encoded (sRGB) 8-bit value of a linear working-space sample.
int toSrgb8(float linear) { return int(std::lround(std::clamp(linearToSrgb(linear), 0.f, 1.f) * 255)); }

Rgb8 gradient(int x, int y) { return {uint8_t(x * 6), uint8_t(y * 8), uint8_t(128)}; }

}  // namespace

TEST(ImageReader, ReadsEveryFormatWithItsSizeDepthAndPixels) {
  const fs::path dir = solvane::test::makeTempDir("formats");
  using codecs::EncodeOptions;
  using codecs::Format;
  using codecs::TiffCompression;
  auto rgb8 = makeBitmap(40, 30, gradient);
  auto rgb16 = makeBitmap16(40, 30, 3, [](int x, int y, int c) {
    return uint16_t(257 * (c == 0 ? x * 6 : c == 1 ? y * 8 : 128));
  });
  auto greyAlpha = makeBitmap16(40, 30, 2, [](int x, int, int c) { return uint16_t(c == 0 ? x * 1600 : 65535); });

  struct Case {
    const char* name;
    fs::path path;
    int depth;
    int tolerance;  // in 8-bit levels at the probe pixel (20, 10): R = 120, G = 80, B = 128
  };
  std::vector<Case> cases = {
      {"jpeg", writeImage(dir / "a.jpg", rgb8, {.format = Format::JPEG, .quality = 1.0}), 8, 4},
      {"png8", writeImage(dir / "a.png", rgb8, {.format = Format::PNG}), 8, 0},
      {"png16", writeImage(dir / "b.png", rgb16, {.format = Format::PNG, .depth = 16}), 16, 1},
      {"tiff-lzw", writeImage(dir / "a.tif", rgb8, {.format = Format::TIFF}), 8, 0},
      {"tiff16-zip",
       writeImage(dir / "b.tif", rgb16, {.format = Format::TIFF, .depth = 16, .tiffCompression = TiffCompression::ZIP}),
       16, 1},
      {"tiff-none", writeImage(dir / "c.tif", rgb8, {.format = Format::TIFF, .tiffCompression = TiffCompression::None}),
       8, 0},
      {"webp-lossless", writeImage(dir / "a.webp", rgb8, {.format = Format::WebP, .lossless = true}), 8, 0},
      {"webp-lossy", writeImage(dir / "b.webp", rgb8, {.format = Format::WebP, .quality = 0.95}), 8, 6},
  };
  auto value = [](int x, int y, int c) { return c == 0 ? x * 6 / 255.0 : c == 1 ? y * 8 / 255.0 : 128 / 255.0; };
  writeTiff(dir / "tiled16.tif", {.width = 40, .height = 30, .bits = 16, .tiled = true, .compression = COMPRESSION_LZW},
            value);
  writeTiff(dir / "jpeg.tif", {.width = 40, .height = 30, .compression = COMPRESSION_JPEG}, value);
  cases.push_back({"tiff16-tiled", dir / "tiled16.tif", 16, 1});
  cases.push_back({"tiff-jpeg", dir / "jpeg.tif", 8, 5});
  writePalettePng(dir / "pal.png", 40, 30, {{120, 80, 128}, {0, 0, 0}},
                  [](int x, int y) { return x == 20 && y == 10 ? 0 : 1; });
  cases.push_back({"png-palette", dir / "pal.png", 8, 0});

  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string error;
    auto img = reader().read(c.path, {}, kReadDefaultFlags, nullptr, &error);
    ASSERT_TRUE(img) << error;
    EXPECT_EQ(img->size(), (Size{40, 30}));
    EXPECT_EQ(reader().getImageSize(c.path), (Size{40, 30}));
    EXPECT_EQ(reader().getColorDepth(c.path), c.depth);
    EXPECT_TRUE(reader().canOpenImage(c.path));
    EXPECT_FALSE(reader().isRawImageFile(c.path));
    EXPECT_EQ(img->colorProfileType(), kColorProfileNative);
    auto px = img->imageData()->at(20, 10);
    EXPECT_NEAR(toSrgb8(px.r), 120, c.tolerance);
    EXPECT_NEAR(toSrgb8(px.g), 80, c.tolerance);
    EXPECT_NEAR(toSrgb8(px.b), 128, c.tolerance);
  }

  // A TIFF whose directory follows more than a megabyte of pixels is still measured right.
  fs::path big = writeImage(dir / "big.tif", makeBitmap16(1000, 600, 3, [](int, int, int) { return uint16_t(1); }),
                            {.format = Format::TIFF, .depth = 16, .tiffCompression = TiffCompression::None});
  ASSERT_GT(fs::file_size(big), size_t(1) << 20);
  EXPECT_EQ(reader().getImageSize(big), (Size{1000, 600}));
  EXPECT_EQ(reader().getColorDepth(big), 16);

  // Float TIFFs hold linear light; grey PNGs with alpha expand to RGB.
  writeTiff(dir / "float.tif", {.width = 20, .height = 20, .floatSamples = true, .tiled = true},
            [](int x, int, int c) { return c == 0 ? 1.5 : x / 20.0; });
  auto f = reader().read(dir / "float.tif", {}, kReadDefaultFlags, nullptr);
  ASSERT_TRUE(f);
  EXPECT_EQ(reader().getColorDepth(dir / "float.tif"), 32);
  EXPECT_FLOAT_EQ(f->imageData()->at(10, 3).r, 1.5f);  // not clamped
  EXPECT_FLOAT_EQ(f->imageData()->at(10, 3).g, 0.5f);
  auto ga = reader().read(writeImage(dir / "ga.png", greyAlpha, {.format = Format::PNG, .depth = 16}), {},
                          kReadDefaultFlags, nullptr);
  ASSERT_TRUE(ga);
  auto g = ga->imageData()->at(20, 0);
  EXPECT_FLOAT_EQ(g.r, g.b);
  EXPECT_NEAR(g.r, srgbToLinear(20 * 1600 / 65535.f), 1e-4);
}

TEST(ImageReader, AppliesEveryExifOrientationToAnAsymmetricImage) {
  const fs::path dir = solvane::test::makeTempDir("orientation");
  // 4 x 2 cells of 8 x 8 pixels, each its own colour; the cell (i, j) of the stored picture has colour k = i + 4j.
  auto colour = [](int k) { return Rgb8{uint8_t(20 + 30 * k), uint8_t(230 - 25 * k), uint8_t((60 * k) % 256)}; };
  auto bmp = makeBitmap(32, 16, [&](int x, int y) { return colour(x / 8 + 4 * (y / 8)); });
  // Where the displayed cell (i, j) comes from in the stored 4 x 2 grid, orientation by orientation.
  using Cell = std::pair<int, int>;
  const std::function<Cell(int, int)> expected[9] = {
      nullptr,
      [](int i, int j) {
        return Cell{i, j};
      },
      [](int i, int j) {
        return Cell{3 - i, j};
      },  // mirrored left-right
      [](int i, int j) {
        return Cell{3 - i, 1 - j};
      },  // turned 180 degrees
      [](int i, int j) {
        return Cell{i, 1 - j};
      },  // mirrored top-bottom
      [](int i, int j) {
        return Cell{j, i};
      },  // transposed
      [](int i, int j) {
        return Cell{j, 1 - i};
      },  // turned 90 degrees clockwise
      [](int i, int j) {
        return Cell{3 - j, 1 - i};
      },  // transverse
      [](int i, int j) {
        return Cell{3 - j, i};
      },  // turned 90 degrees counter-clockwise
  };
  for (int o = 1; o <= 8; ++o) {
    SCOPED_TRACE(o);
    codecs::EncodeOptions opts{.format = codecs::Format::JPEG, .quality = 1.0};
    opts.metadata.push_back({"Exif.Image.Orientation", std::to_string(o), {double(o)}, true});
    fs::path p = writeImage(dir / ("o" + std::to_string(o) + ".jpg"), bmp, opts);
    const bool turned = o >= 5;
    EXPECT_EQ(reader().getImageSize(p), turned ? (Size{16, 32}) : (Size{32, 16}));
    auto img = reader().read(p, {}, kReadApplyOrientation, nullptr);  // values as encoded
    ASSERT_TRUE(img);
    ASSERT_EQ(img->size(), reader().getImageSize(p));
    auto data = img->imageData();
    const int cols = turned ? 2 : 4, rows = turned ? 4 : 2;
    for (int j = 0; j < rows; ++j)
      for (int i = 0; i < cols; ++i) {
        auto [si, sj] = expected[o](i, j);
        Rgb8 want = colour(si + 4 * sj);
        auto px = data->at(i * 8 + 4, j * 8 + 4);
        EXPECT_NEAR(px.r * 255, want[0], 3) << i << "," << j;
        EXPECT_NEAR(px.g * 255, want[1], 3) << i << "," << j;
        EXPECT_NEAR(px.b * 255, want[2], 3) << i << "," << j;
      }
    // Without the flag the stored picture comes back.
    auto stored = reader().read(p, {}, 0, nullptr);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->size(), (Size{32, 16}));
  }
}

TEST(ImageReader, ReadsExifIntoTheRecordAndTheEntries) {
  const fs::path dir = solvane::test::makeTempDir("exif");
  codecs::EncodeOptions opts{.format = codecs::Format::JPEG};
  opts.metadata = {
      {"Exif.Image.Make", "Testmaker", {}, false},
      {"Exif.Image.Model", "Model Seven", {}, false},
      {"Exif.Photo.ISOSpeedRatings", "400", {400}, true},
      {"Exif.Photo.ExposureTime", "1/125", {1 / 125.0}, true},
      {"Exif.Photo.FNumber", "28/10", {2.8}, true},
      {"Exif.Photo.FocalLength", "35/1", {35}, true},
      {"Exif.Photo.ExposureBiasValue", "-2/3", {-2 / 3.0}, true},
      {"Exif.Photo.LensModel", "Test 35mm F2", {}, false},
      {"Exif.Photo.DateTimeOriginal", "2024:05:06 07:08:09", {}, false},
      {"Iptc.Application2.Caption", "A caption", {}, false},
  };
  fs::path p = writeImage(dir / "exif.jpg", makeBitmap(16, 16, gradient), opts);
  auto meta = reader().readMetadata(p);
  ASSERT_TRUE(meta);
  const auto& e = meta->exif;
  EXPECT_EQ(e.cameraName, "Testmaker");
  EXPECT_EQ(e.cameraModel, "Model Seven");
  EXPECT_FLOAT_EQ(e.isoSpeed, 400);
  EXPECT_NEAR(e.shutterSpeed, 1 / 125.0, 1e-6);
  EXPECT_NEAR(e.fNumber, 2.8, 1e-4);
  EXPECT_FLOAT_EQ(e.focalLength, 35);
  EXPECT_NEAR(e.ev, -2 / 3.0, 1e-3);
  EXPECT_EQ(e.lensModel, "Test 35mm F2");
  EXPECT_EQ(e.dateTimeOriginal, "2024:05:06 07:08:09");
  EXPECT_EQ(e.extension, "jpg");
  EXPECT_FALSE(e.isRaw);
  EXPECT_FALSE(e.isAppleCamera);
  EXPECT_EQ(meta->formatType, "public.jpeg");
  ASSERT_TRUE(meta->find("Exif.Photo.FNumber"));
  EXPECT_NEAR(meta->find("Exif.Photo.FNumber")->numbers.at(0), 2.8, 1e-4);
  ASSERT_TRUE(meta->find("Iptc.Application2.Caption"));
  EXPECT_EQ(meta->find("Iptc.Application2.Caption")->text, "A caption");

  // A file without metadata gives the record's "unknown" values.
  fs::path bare = writeImage(dir / "bare.png", makeBitmap(8, 8, gradient), {.format = codecs::Format::PNG});
  auto none = reader().readMetadata(bare);
  ASSERT_TRUE(none);
  EXPECT_LT(none->exif.isoSpeed, 0);
  EXPECT_LT(none->exif.fNumber, 0);
  EXPECT_EQ(reader().readMetadata(dir / "missing.jpg"), nullptr);
}

TEST(ImageReader, HonoursAnEmbeddedAdobeRgbProfile) {
  const fs::path dir = solvane::test::makeTempDir("icc");
  auto adobe = createColorSpace(kColorProfileAdobeRGB);
  const Rgb8 stored{100, 160, 60};
  fs::path p = writeImage(dir / "adobe.png", makeBitmap(8, 8, [&](int, int) { return stored; }),
                          {.format = codecs::Format::PNG, .icc = adobe->iccData()});
  auto img = reader().read(p, {}, kReadDefaultFlags, nullptr);
  ASSERT_TRUE(img);
  EXPECT_FALSE(img->metadata().iccProfile.empty());
  // Expected: the stored values taken as Adobe RGB, converted to sRGB independently of the reader.
  float want[3] = {stored[0] / 255.f, stored[1] / 255.f, stored[2] / 255.f};
  ASSERT_TRUE(colorTransformIpp(want, want, kColorProfileAdobeRGB, kColorProfileSRGB, kColorDataTypeRGBFloat, {1, 1}));
  auto px = img->imageData()->at(3, 3);
  EXPECT_NEAR(linearToSrgb(px.r), want[0], 1 / 255.0);
  EXPECT_NEAR(linearToSrgb(px.g), want[1], 1 / 255.0);
  EXPECT_NEAR(linearToSrgb(px.b), want[2], 1 / 255.0);
  // The same file read without honouring profiles is taken as sRGB: a visibly different red.
  auto plain = reader().read(p, {}, kReadDefaultFlags & ~kReadEmbeddedProfile, nullptr);
  ASSERT_TRUE(plain);
  EXPECT_GT(std::fabs(linearToSrgb(plain->imageData()->at(3, 3).r) - want[0]), 20 / 255.0);
}

TEST(ImageReader, LargeJpegConvertsWhileDecodingExactlyAsTheBitmapWould) {
  // Large files are converted to floats row by row as they decode (in bands, or in one piece with the
  // conversion on a second thread); every orientation, grey files, reduced reads and one-piece
  // decodes must equal the decoded bitmap converted after.
  auto colourFile =
      codecs::encode(makeBitmap(1800, 1200,
                                [](int x, int y) {
                                  return Rgb8{uint8_t(x * 7 % 256), uint8_t(y * 3 % 256), uint8_t((x + y) % 256)};
                                }),
                     {.format = codecs::Format::JPEG, .quality = 0.95}, nullptr);
  codecs::Bitmap grey;
  ASSERT_TRUE(grey.allocate(1800, 1200, 1, 8));
  for (int y = 0; y < grey.height; ++y)
    for (int x = 0; x < grey.width; ++x) grey.row(y)[x] = uint8_t((x ^ y) & 255);
  auto greyFile = codecs::encode(grey, {.format = codecs::Format::JPEG, .quality = 0.95}, nullptr);
  // Chroma halved both ways: decoded in one piece at full size, converted on a second thread.
  auto subsampledFile =
      codecs::encode(makeBitmap(1800, 1200,
                                [](int x, int y) {
                                  return Rgb8{uint8_t(x * 5 % 256), uint8_t(y * 9 % 256), uint8_t(x ^ y)};
                                }),
                     {.format = codecs::Format::JPEG, .quality = 0.8}, nullptr);
  struct Case {
    const std::vector<uint8_t>* file;
    int orientation;
    Size fit;
  };
  std::vector<Case> cases;
  for (int o = 1; o <= 8; ++o) cases.push_back({&colourFile, o, {}});
  cases.push_back({&colourFile, 6, {700, 700}});
  cases.push_back({&greyFile, 1, {}});
  cases.push_back({&greyFile, 8, {}});
  cases.push_back({&subsampledFile, 1, {}});
  cases.push_back({&subsampledFile, 7, {}});
  for (const Case& k : cases) {
    SCOPED_TRACE(testing::Message() << "orientation " << k.orientation << " fit " << k.fit.width << " channels "
                                    << (k.file == &greyFile ? 1 : 3) << (k.file == &subsampledFile ? " 4:2:0" : ""));
    std::vector<uint8_t> file = *k.file;
    ASSERT_TRUE(codecs::writeMetadata(
        file, {{"Exif.Image.Orientation", std::to_string(k.orientation), {double(k.orientation)}, true}}, nullptr));
    codecs::DecodeRequest req;
    req.fitSize = k.fit;
    codecs::DecodeResult want;
    ASSERT_TRUE(codecs::decode(file.data(), file.size(), "jpg", req, want, nullptr));
    auto img = reader().readBytes(file.data(), file.size(), "jpg", k.fit, kReadDefaultFlags, nullptr);
    ASSERT_TRUE(img);
    const codecs::Bitmap& b = want.bitmap;
    ASSERT_EQ(img->size(), codecs::orientedSize({b.width, b.height}, k.orientation));
    EXPECT_DOUBLE_EQ(img->source()->decodedScale(), want.scale);
    const auto m = codecs::orientationMap(k.orientation, b.width, b.height);
    const ImageDataRGBf& got = *img->source()->data();
    int mismatches = 0;
    for (int y = 0; y < got.height(); ++y)
      for (int x = 0; x < got.width(); ++x) {
        const uint8_t* s = b.row(m.y0 + m.yx * x + m.yy * y) + size_t(m.x0 + m.xx * x + m.xy * y) * b.channels;
        const float* g = &got.at(x, y).r;
        for (int c = 0; c < 3; ++c)
          if (g[c] != srgbToLinear(float(s[b.channels == 1 ? 0 : c]) / 255.f)) ++mismatches;
      }
    EXPECT_EQ(mismatches, 0);
  }
}

TEST(ImageReader, LargeJpegIsDecodedAtReducedScaleForAPreview) {
  const fs::path dir = solvane::test::makeTempDir("dct");
  fs::path p = writeImage(dir / "big.jpg",
                          makeBitmap(4000, 3000,
                                     [](int x, int y) {
                                       return Rgb8{uint8_t(x & 255), uint8_t(y & 255), 90};
                                     }),
                          {.format = codecs::Format::JPEG, .quality = 0.8});
  auto preview = reader().read(p, {2000, 2000}, kReadDefaultFlags, nullptr);
  ASSERT_TRUE(preview);
  EXPECT_EQ(preview->size(), (Size{2000, 1500}));
  EXPECT_DOUBLE_EQ(preview->source()->decodedScale(), 0.5);
  EXPECT_EQ(preview->source()->originalSize(), (Size{4000, 3000}));
  auto tiny = reader().read(p, {198, 132}, kReadDefaultFlags, nullptr);
  ASSERT_TRUE(tiny);
  EXPECT_EQ(tiny->size(), (Size{500, 375}));  // 1/8, the smallest DCT scale, still covers the box
  auto full = reader().read(p, {}, kReadDefaultFlags, nullptr);
  ASSERT_TRUE(full);
  EXPECT_EQ(full->size(), (Size{4000, 3000}));
  // A box larger than the picture never enlarges it.
  EXPECT_EQ(reader().read(p, {8000, 8000}, kReadDefaultFlags, nullptr)->size(), (Size{4000, 3000}));
}

TEST(ImageReader, DevelopsABayerDng) {
  const fs::path dir = solvane::test::makeTempDir("dng");
  fs::path p = dir / "bayer.dng";
  // Left half a mid grey, right half a reddish tone.
  writeBayerDng(p, 64, 48, [](int x, int) {
    return x < 32 ? std::array<double, 3>{0.4, 0.4, 0.4} : std::array<double, 3>{0.6, 0.2, 0.1};
  });
  EXPECT_TRUE(reader().isRawImageFile(p));
  EXPECT_TRUE(reader().isDngImageFile(p));
  EXPECT_EQ(reader().getImageSize(p), (Size{64, 48}));
  EXPECT_EQ(reader().getColorDepth(p), 16);
  std::string error;
  auto full = reader().read(p, {}, kReadDefaultFlags | kReadRawDevelop, nullptr, &error);
  ASSERT_TRUE(full) << error;
  EXPECT_EQ(full->size(), (Size{64, 48}));
  EXPECT_TRUE(full->exif().isRaw);
  auto grey = full->imageData()->at(12, 20), red = full->imageData()->at(50, 20);
  // Demosaiced and white-balanced: the grey half is neutral, the red half is red-dominant.
  EXPECT_NEAR(grey.r / grey.g, 1.0, 0.05);
  EXPECT_NEAR(grey.b / grey.g, 1.0, 0.05);
  EXPECT_GT(red.r, 2 * red.g);
  EXPECT_GT(red.g, red.b);
  auto half = reader().read(p, {}, kReadDefaultFlags | kReadRawDevelop | kReadFastRawPreview, nullptr, &error);
  ASSERT_TRUE(half) << error;
  EXPECT_EQ(half->size(), (Size{32, 24}));
  EXPECT_DOUBLE_EQ(half->source()->decodedScale(), 0.5);
  // No embedded preview in this DNG: no quick thumbnail, but a hard one.
  EXPECT_EQ(reader().getThumbnailQuickly(p, 32), nullptr);
  auto thumb = reader().getThumbnailHardly(p, 32);
  ASSERT_TRUE(thumb);
  EXPECT_EQ(thumb->width(), 32);
  EXPECT_EQ(thumb->height(), 24);
  auto meta = reader().readMetadata(p);
  ASSERT_TRUE(meta);
  EXPECT_EQ(meta->exif.cameraName, "Testmaker");
  EXPECT_TRUE(meta->exif.isRaw);
  EXPECT_EQ(meta->formatType, "com.adobe.dng");
}

TEST(ImageReader, BadInputGivesACleanError) {
  const fs::path dir = solvane::test::makeTempDir("bad");
  auto good = readFile(writeImage(dir / "good.jpg", makeBitmap(64, 64, gradient), {.format = codecs::Format::JPEG}));
  auto png = readFile(writeImage(dir / "good.png", makeBitmap(64, 64, gradient), {.format = codecs::Format::PNG}));
  auto tif = readFile(writeImage(dir / "good.tif", makeBitmap(64, 64, gradient), {.format = codecs::Format::TIFF}));
  auto webp = readFile(writeImage(dir / "good.webp", makeBitmap(64, 64, gradient), {.format = codecs::Format::WebP}));
  auto cut = [](std::vector<uint8_t> v, size_t keep) {
    v.resize(std::min(keep, v.size()));
    return v;
  };
  // A PNG header claiming 60000 x 60000 pixels (with a correct header checksum).
  auto hugePng = png;
  for (int i = 0; i < 2; ++i) {
    uint8_t* p = hugePng.data() + 16 + 4 * i;
    p[0] = 0;
    p[1] = 0;
    p[2] = 0xEA;
    p[3] = 0x60;
  }
  uint32_t crc = uint32_t(crc32(0, hugePng.data() + 12, 17));
  for (int i = 0; i < 4; ++i) hugePng[29 + i] = uint8_t(crc >> (24 - 8 * i));
  // The same header claiming 9000 x 9000 pixels (within the pixel ceiling) over a few hundred bytes:
  // refused from the header, before a 243 MB bitmap is allocated for it.
  auto bombPng = hugePng;
  for (int i = 0; i < 2; ++i) {
    uint8_t* p = bombPng.data() + 16 + 4 * i;
    p[0] = 0;
    p[1] = 0;
    p[2] = 0x23;
    p[3] = 0x28;
  }
  crc = uint32_t(crc32(0, bombPng.data() + 12, 17));
  for (int i = 0; i < 4; ++i) bombPng[29 + i] = uint8_t(crc >> (24 - 8 * i));
  // TIFF headers claiming sizes their data cannot hold: beyond the ceiling, and within it but far too short.
  auto patchTiffSize = [](std::vector<uint8_t> t, uint32_t w, uint32_t h) {
    auto u16 = [&](size_t o) { return uint32_t(t[o] | t[o + 1] << 8); };
    const size_t ifd = t[4] | t[5] << 8 | t[6] << 16 | size_t(t[7]) << 24;
    for (uint32_t i = 0, n = u16(ifd); i < n; ++i) {
      const size_t e = ifd + 2 + 12 * i;
      const uint32_t tag = u16(e), type = u16(e + 2), v = tag == 256 ? w : h;
      if (tag != 256 && tag != 257) continue;
      for (int b = 0; b < (type == 3 ? 2 : 4); ++b) t[e + 8 + b] = uint8_t(v >> (8 * b));
    }
    return t;
  };
  auto plainTif =
      readFile(writeImage(dir / "plain.tif", makeBitmap(16, 16, gradient),
                          {.format = codecs::Format::TIFF, .tiffCompression = codecs::TiffCompression::None}));
  // A text chunk after the header whose stated length (1.8 GB) runs far past the end of the file.
  auto longChunk = std::vector<uint8_t>(png.begin(), png.begin() + 33);
  const uint8_t tail[] = {0x6D, 0x00, 0x00, 0x6C, 'z', 'T', 'X', 't', 'a', 0, 0, 1, 2, 3};
  longChunk.insert(longChunk.end(), std::begin(tail), std::end(tail));
  std::vector<uint8_t> garbage(5000);
  for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = uint8_t(i * 7919 >> 3);
  auto fakeJpeg = garbage;
  fakeJpeg[0] = 0xFF;
  fakeJpeg[1] = 0xD8;
  fakeJpeg[2] = 0xFF;

  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    const char* ext;
    const char* reason = "";
  };
  const Case cases[] = {
      {"zero bytes", {}, "jpg"},
      {"truncated jpeg", cut(good, good.size() / 2), "jpg"},
      {"jpeg header only", cut(good, 200), "jpg"},
      {"truncated png", cut(png, png.size() / 2), "png"},
      {"truncated tiff", cut(tif, 100), "tif"},
      {"absurd tiff size", patchTiffSize(plainTif, 65535, 65535), "tif", "out of range"},
      {"tiff far too short for its size", patchTiffSize(plainTif, 9000, 9000), "tif", "too short"},
      {"truncated webp", cut(webp, webp.size() / 2), "webp"},
      {"png far too short for its size", bombPng, "png", "too short"},
      {"absurd png size", hugePng, "png"},
      {"png chunk longer than the file", longChunk, "png", "premature end"},
      {"garbage", garbage, "jpg"},
      {"garbage with a jpeg magic", fakeJpeg, "jpg"},
      {"garbage named raw", garbage, "nef"},
      {"truncated dng", cut(tif, 300), "dng"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::path p = dir / (std::string("bad.") + c.ext);
    writeFile(p, c.bytes);
    std::string error;
    EXPECT_EQ(reader().read(p, {}, kReadDefaultFlags, nullptr, &error), nullptr);
    EXPECT_FALSE(error.empty());
    EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    EXPECT_FALSE(reader().canOpenImage(p) && c.bytes.size() < 64);
    EXPECT_EQ(reader().getThumbnailHardly(p, 100), nullptr);
    reader().getImageSize(p);  // must not crash
    reader().readMetadata(p);
  }
  std::string error;
  EXPECT_EQ(reader().read(dir / "missing.jpg", {}, kReadDefaultFlags, nullptr, &error), nullptr);
  EXPECT_NE(error.find("no such file"), std::string::npos) << error;
  EXPECT_EQ(reader().read(dir, {}, kReadDefaultFlags, nullptr, &error), nullptr);
  EXPECT_NE(error.find("a folder, not a file"), std::string::npos) << error;
  EXPECT_EQ(reader().getImageSize(dir / "missing.jpg"), (Size{}));
  EXPECT_EQ(reader().getColorDepth(dir), 0);
  EXPECT_FALSE(reader().isRawImageFile(dir / "missing.nef"));
  EXPECT_FALSE(reader().canOpenImage(dir / "bad.png"));  // the absurd size is refused as well
}

// Files a hostile or unlucky user may name as a picture: each ends at once with its reason, without
// taking memory for what the file only claims, and FIFOs never block.
TEST(ImageReader, HostileFilesEndCleanlyWithTheirReasonAndBoundedMemory) {
  const fs::path dir = solvane::test::makeTempDir("hostile");
  auto jpeg = readFile(writeImage(dir / "good.jpg", makeBitmap(64, 64, gradient), {.format = codecs::Format::JPEG}));
  auto tif = readFile(writeImage(dir / "good.tif", makeBitmap(16, 16, gradient),
                                 {.format = codecs::Format::TIFF, .tiffCompression = codecs::TiffCompression::None}));
  // A file of `bytes` whose start is `head` and the rest a hole: takes no disk, but a reader that
  // believes its size would take that much memory.
  auto sparse = [&](const char* name, const std::vector<uint8_t>& head, uint64_t bytes) {
    const fs::path p = dir / name;
    writeFile(p, head);
    fs::resize_file(p, bytes);
    return p;
  };
  // A baseline JPEG header claiming 12000 x 12000 pixels (within the pixel ceiling) over its 64 x 64 data.
  auto claimsMore = jpeg;
  for (size_t i = 0; i + 8 < claimsMore.size(); ++i)
    if (claimsMore[i] == 0xFF && claimsMore[i + 1] == 0xC0) {
      for (size_t k : {i + 5, i + 7}) {
        claimsMore[k] = uint8_t(12000 >> 8);
        claimsMore[k + 1] = uint8_t(12000 & 0xFF);
      }
      break;
    }
  writeFile(dir / "claims-more.jpg", claimsMore);
  // Entropy-coded data damaged in the middle: libjpeg only warns and would invent the rest.
  auto big = readFile(writeImage(dir / "big.jpg", makeBitmap(256, 256, gradient), {.format = codecs::Format::JPEG}));
  auto damaged = big;
  for (size_t i = damaged.size() / 2; i < damaged.size() / 2 + 64; ++i) damaged[i] = uint8_t(i * 37);
  writeFile(dir / "damaged.jpg", damaged);
  ASSERT_EQ(::mkfifo((dir / "pipe.jpg").c_str(), 0600), 0);
  fs::create_symlink(dir / "good.jpg", dir / "link.jpg");

  rusage before{};
  ::getrusage(RUSAGE_SELF, &before);
  struct Case {
    fs::path path;
    const char* reason;  // nullptr: reads
  } cases[] = {
      {dir / "pipe.jpg", "not a regular file"},
      {dir / "folder.jpg", "a folder, not a file"},
      {dir / "nothing.jpg", "no such file"},
      {sparse("huge.jpg", jpeg, uint64_t(6) << 30), "larger"},
      {sparse("huge.tif", tif, uint64_t(3) << 30), "larger"},
      {sparse("huge.png", std::vector<uint8_t>(16, 'x'), uint64_t(2) << 30), "unknown image format"},
      {sparse("hole.webp", {}, uint64_t(1) << 30), "unknown image format"},
      {dir / "claims-more.jpg", "needs more data than the file holds"},
      {dir / "damaged.jpg", "JPEG: "},
      {dir / "link.jpg", nullptr},
  };
  fs::create_directory(dir / "folder.jpg");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path.filename().string());
    std::string error;
    ImagePtr img = reader().read(c.path, {}, kReadDefaultFlags, nullptr, &error);
    if (!c.reason) {
      EXPECT_NE(img, nullptr) << error;
      continue;
    }
    EXPECT_EQ(img, nullptr);
    EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    EXPECT_EQ(reader().getThumbnailHardly(c.path, 100), nullptr);
  }
  rusage after{};
  ::getrusage(RUSAGE_SELF, &after);
  // Nothing near the gigabytes the files claim (ru_maxrss is in kilobytes).
  EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 200 * 1024);
}

// An animated WebP reads as its first frame (libwebp's plain decoder refuses animations).
TEST(ImageReader, ReadsTheFirstFrameOfAnAnimatedWebP) {
  const fs::path dir = solvane::test::makeTempDir("anim");
  const int w = 32, h = 24;
  WebPAnimEncoderOptions options;
  ASSERT_TRUE(WebPAnimEncoderOptionsInit(&options));
  WebPAnimEncoder* encoder = WebPAnimEncoderNew(w, h, &options);
  ASSERT_NE(encoder, nullptr);
  WebPConfig config;
  ASSERT_TRUE(WebPConfigInit(&config));
  config.lossless = 1;
  int timestamp = 0;
  for (Rgb8 colour : {Rgb8{230, 20, 20}, Rgb8{20, 20, 230}}) {
    WebPPicture picture;
    ASSERT_TRUE(WebPPictureInit(&picture));
    picture.width = w;
    picture.height = h;
    picture.use_argb = 1;
    ASSERT_TRUE(WebPPictureAlloc(&picture));
    for (int i = 0; i < w * h; ++i)
      picture.argb[i] = 0xFF000000u | uint32_t(colour[0]) << 16 | uint32_t(colour[1]) << 8 | colour[2];
    ASSERT_TRUE(WebPAnimEncoderAdd(encoder, &picture, timestamp, &config));
    WebPPictureFree(&picture);
    timestamp += 100;
  }
  ASSERT_TRUE(WebPAnimEncoderAdd(encoder, nullptr, timestamp, nullptr));
  WebPData data;
  WebPDataInit(&data);
  ASSERT_TRUE(WebPAnimEncoderAssemble(encoder, &data));
  writeFile(dir / "anim.webp", std::vector<uint8_t>(data.bytes, data.bytes + data.size));
  WebPDataClear(&data);
  WebPAnimEncoderDelete(encoder);

  std::string error;
  ImagePtr img = reader().read(dir / "anim.webp", {}, kReadDefaultFlags, nullptr, &error);
  ASSERT_NE(img, nullptr) << error;
  ASSERT_EQ(img->imageData()->width(), w);
  ASSERT_EQ(img->imageData()->height(), h);
  const auto p = img->imageData()->at(w / 2, h / 2);
  EXPECT_EQ(toSrgb8(p.r), 230);
  EXPECT_EQ(toSrgb8(p.b), 20);
}

TEST(ImageReader, ACancelledReadDeliversNothing) {
  const fs::path dir = solvane::test::makeTempDir("cancel");
  fs::path p = writeImage(dir / "a.png", makeBitmap(300, 200, gradient), {.format = codecs::Format::PNG});
  auto flag = std::make_shared<std::atomic<bool>>(true);
  std::string error;
  EXPECT_EQ(reader().read(p, {}, kReadDefaultFlags, flag, &error), nullptr);
  EXPECT_EQ(error, "PNG: cancelled");
  flag->store(false);
  EXPECT_TRUE(reader().read(p, {}, kReadDefaultFlags, flag));
  reader().cancelAll();  // with no read running, the next read is not affected
  EXPECT_TRUE(reader().read(p, {}, kReadDefaultFlags, nullptr));
}

TEST(ImageReader, ThumbnailsAreTurnedAndBounded) {
  const fs::path dir = solvane::test::makeTempDir("thumbs");
  codecs::EncodeOptions opts{.format = codecs::Format::JPEG};
  opts.metadata.push_back({"Exif.Image.Orientation", "6", {6}, true});
  fs::path p = writeImage(dir / "t.jpg", makeBitmap(800, 400, gradient), opts);
  auto quick = reader().getThumbnailQuickly(p, 200);
  ASSERT_TRUE(quick);
  EXPECT_EQ(quick->width(), 100);  // turned: 400 x 800, fitted into 200
  EXPECT_EQ(quick->height(), 200);
  EXPECT_EQ(quick->colorProfileType(), kColorProfileSRGB);
  ImageMetadata meta;
  auto hard = reader().getThumbnailHardly(p, 200, -1, &meta);
  ASSERT_TRUE(hard);
  EXPECT_EQ(hard->width(), 100);
  EXPECT_EQ(hard->height(), 200);
  EXPECT_EQ(meta.exif.orientation, 6);
  // A PNG has no embedded preview and no quick route.
  fs::path png = writeImage(dir / "t.png", makeBitmap(50, 40, gradient), {.format = codecs::Format::PNG});
  EXPECT_EQ(reader().getThumbnailQuickly(png, 198), nullptr);
  auto small = reader().getThumbnailHardly(png, 198);
  ASSERT_TRUE(small);
  EXPECT_EQ(small->width(), 50);  // never enlarged
  EXPECT_NEAR(small->at(20, 10).r * 255, 120, 1);
}

TEST(ImageReader, QuickThumbnailsUseAnEmbeddedExifThumbnailThatIsLargeEnough) {
  const fs::path dir = solvane::test::makeTempDir("exifthumb");
  // A blue picture whose EXIF thumbnail is red, so the route taken shows in the colour.
  fs::path p = writeImage(dir / "t.jpg",
                          makeBitmap(800, 400,
                                     [](int, int) {
                                       return Rgb8{0, 0, 255};
                                     }),
                          {.format = codecs::Format::JPEG});
  auto red = codecs::encode(makeBitmap(160, 80,
                                       [](int, int) {
                                         return Rgb8{255, 0, 0};
                                       }),
                            {.format = codecs::Format::JPEG}, nullptr);
  {
    auto img = Exiv2::ImageFactory::open(p.string());
    img->readMetadata();
    Exiv2::ExifData exif = img->exifData();
    Exiv2::ExifThumb(exif).setJpegThumbnail(red.data(), long(red.size()));
    img->setExifData(exif);
    img->writeMetadata();
  }
  auto small = reader().getThumbnailQuickly(p, 100);
  ASSERT_TRUE(small);
  EXPECT_EQ(small->width(), 100);
  EXPECT_GT(small->at(50, 25).r, 0.9f);  // the embedded thumbnail
  auto large = reader().getThumbnailQuickly(p, 400);
  ASSERT_TRUE(large);
  EXPECT_EQ(large->width(), 400);
  EXPECT_GT(large->at(200, 100).b, 0.9f);  // too small an embedded one: a reduced decode of the picture
}

// Not named for the TSan filter: libgomp is not instrumented, so OpenMP regions show false races there.
TEST(ImageReader, ReadsFromManyThreadsWithCancelAllAlongsideStayConsistent) {
  const fs::path dir = solvane::test::makeTempDir("concurrent");
  auto adobe = createColorSpace(kColorProfileAdobeRGB);
  codecs::EncodeOptions jpegOpts{.format = codecs::Format::JPEG, .icc = adobe->iccData()};
  jpegOpts.metadata.push_back({"Exif.Photo.FNumber", "4", {4}, true});
  const fs::path files[] = {
      writeImage(dir / "a.jpg", makeBitmap(300, 200, gradient), jpegOpts),
      writeImage(dir / "b.png", makeBitmap(300, 200, gradient), {.format = codecs::Format::PNG}),
      writeImage(dir / "c.tif", makeBitmap(300, 200, gradient), {.format = codecs::Format::TIFF}),
  };
  writeBayerDng(dir / "d.dng", 64, 48, [](int, int) { return std::array<double, 3>{0.3, 0.3, 0.3}; });
  std::atomic<bool> stop{false};
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < 6; ++i) {
        const fs::path& p = t < 3 ? files[t] : dir / "d.dng";
        auto img = reader().read(p, {}, kReadDefaultFlags, nullptr);
        // A read either fails (cancelled) or delivers the whole picture.
        if (img && img->size() != (t < 3 ? Size{300, 200} : Size{64, 48})) ++wrong;
        reader().readMetadata(p);
      }
    });
  std::thread canceller([&] {
    while (!stop) {
      reader().cancelAll();
      std::this_thread::yield();
    }
  });
  for (auto& th : threads) th.join();
  stop = true;
  canceller.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_TRUE(reader().read(files[0], {}, kReadDefaultFlags, nullptr));  // nothing stays cancelled
}

namespace {

// An RGBA fixture of 8 or 16 bits: the left half opaque and coloured by position, the right half
// fully transparent over a garish checkerboard, one column at half opacity between them.
codecs::Bitmap transparentHalf(int w, int h, int depth) {
  const int ch = 4, max = depth == 8 ? 255 : 65535;
  codecs::Bitmap b;
  b.allocate(w, h, ch, depth);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const bool hidden = x > w / 2, edge = x == w / 2;
      const int garish = (x + y) % 2 ? max : 0;
      const int v[4] = {hidden ? garish : max * (40 + 3 * x) / 255, hidden ? max - garish : max * (60 + 4 * y) / 255,
                        hidden ? garish : max * 90 / 255,
                        hidden ? 0
                        : edge ? max / 2
                               : max};
      for (int c = 0; c < ch; ++c) {
        if (depth == 8)
          b.row(y)[x * ch + c] = uint8_t(v[c]);
        else
          reinterpret_cast<uint16_t*>(b.row(y))[x * ch + c] = uint16_t(v[c]);
      }
    }
  return b;
}

double sampleOf(const codecs::Bitmap& b, int x, int y, int c) {
  return b.depth == 8 ? b.row(y)[x * b.channels + c] / 255.0
                      : reinterpret_cast<const uint16_t*>(b.row(y))[x * b.channels + c] / 65535.0;
}

// An 8-bit RGBA TIFF with associated (premultiplied) alpha, written with libtiff directly.
void writePremultipliedTiff(const fs::path& p, const codecs::Bitmap& straight) {
  TIFF* t = TIFFOpen(p.c_str(), "w");
  ASSERT_TRUE(t);
  TIFFSetField(t, TIFFTAG_IMAGEWIDTH, uint32_t(straight.width));
  TIFFSetField(t, TIFFTAG_IMAGELENGTH, uint32_t(straight.height));
  TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, uint16_t(4));
  TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, uint16_t(8));
  TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
  uint16_t extra[1] = {EXTRASAMPLE_ASSOCALPHA};
  TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, extra);
  std::vector<uint8_t> row(size_t(straight.width) * 4);
  for (int y = 0; y < straight.height; ++y) {
    for (int x = 0; x < straight.width * 4; ++x) {
      const uint8_t* px = straight.row(y) + (x / 4) * 4;
      row[size_t(x)] = x % 4 == 3 ? px[3] : uint8_t(std::lround(px[x % 4] * px[3] / 255.0));
    }
    TIFFWriteScanline(t, row.data(), uint32_t(y), 0);
  }
  TIFFClose(t);
}

}  // namespace

// Transparency comes out of every format that holds it as a straight alpha plane beside the colour,
// turned with it; what the file kept under fully transparent pixels is never seen (the visible edge
// continues there); an alpha opaque everywhere makes no plane at all.
TEST(ImageReader, TransparencyIsKeptAsAStraightAlphaPlane) {
  const fs::path dir = solvane::test::makeTempDir("alpha");
  using codecs::Format;
  const int w = 24, h = 16;
  const auto rgba8 = transparentHalf(w, h, 8), rgba16 = transparentHalf(w, h, 16);
  writePremultipliedTiff(dir / "assoc.tif", rgba8);
  codecs::EncodeOptions turned{.format = Format::PNG};
  turned.metadata.push_back({.key = "Exif.Image.Orientation", .numbers = {6}, .isNumeric = true});
  struct Case {
    const char* name;
    fs::path path;
    const codecs::Bitmap& fixture;
    double colourTolerance;  // encoded 0..1
    int orientation;
  };
  const Case cases[] = {
      {"png8", writeImage(dir / "a.png", rgba8, {.format = Format::PNG}), rgba8, 1e-4, 1},
      {"png16", writeImage(dir / "b.png", rgba16, {.format = Format::PNG, .depth = 16}), rgba16, 1e-4, 1},
      {"tiff16", writeImage(dir / "c.tif", rgba16, {.format = Format::TIFF, .depth = 16}), rgba16, 1e-4, 1},
      {"webp", writeImage(dir / "d.webp", rgba8, {.format = Format::WebP, .lossless = true}), rgba8, 1e-4, 1},
      {"tiff-associated", dir / "assoc.tif", rgba8, 2.5 / 255, 1},
      {"png-turned", writeImage(dir / "e.png", rgba8, turned), rgba8, 1e-4, 6},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string error;
    auto img = reader().read(c.path, {}, kReadDefaultFlags, nullptr, &error);
    ASSERT_TRUE(img) << error;
    const auto& data = *img->source()->data();
    ASSERT_TRUE(data.alpha());
    const auto m = codecs::orientationMap(c.orientation, w, h);
    for (int y = 0; y < data.height(); ++y)
      for (int x = 0; x < data.width(); ++x) {
        const int sx = m.x0 + m.xx * x + m.xy * y, sy = m.y0 + m.yx * x + m.yy * y;
        const double a = sampleOf(c.fixture, sx, sy, 3);
        ASSERT_DOUBLE_EQ(data.alpha()->at(x, y), float(a)) << x << "," << y;
        const auto& px = data.at(x, y);
        if (a > 0) {
          EXPECT_NEAR(linearToSrgb(px.r), sampleOf(c.fixture, sx, sy, 0), c.colourTolerance);
          EXPECT_NEAR(linearToSrgb(px.b), sampleOf(c.fixture, sx, sy, 2), c.colourTolerance);
        } else {
          // The hidden checkerboard (alternating full and empty channels) is gone: the colour is
          // the visible edge's, blue at its 90.
          EXPECT_NEAR(linearToSrgb(px.b), 90 / 255.0, 2.5 / 255);
        }
      }
  }

  // Opaque everywhere (8 or 16 bits): no plane; an 8-bit RGB file: none either.
  auto opaque = makeBitmap16(w, h, 4, [](int x, int, int c) { return uint16_t(c == 3 ? 65535 : x * 1000); });
  for (const auto& path : {writeImage(dir / "o16.png", opaque, {.format = Format::PNG, .depth = 16}),
                           writeImage(dir / "o8.png", opaque, {.format = Format::PNG}),
                           writeImage(dir / "o.tif", opaque, {.format = Format::TIFF, .depth = 16}),
                           writeImage(dir / "rgb.png", makeBitmap(w, h, gradient), {.format = Format::PNG})}) {
    SCOPED_TRACE(path.filename().string());
    auto img = reader().read(path, {}, kReadDefaultFlags, nullptr);
    ASSERT_TRUE(img);
    EXPECT_FALSE(img->source()->data()->alpha());
  }
}
