#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "QVCore/Categories/NSDictionary+Metadata.h"
#include "QVCore/Utils/QVImageUtils.h"
#include "common/TestSupport.h"
#include "rova/Color.h"
#include "rova/effects/DcpProfile.h"

namespace fs = std::filesystem;
namespace md = NSDictionaryMetadata;

namespace {

std::string fixture(const std::string& name) { return (solvane::test::dataDir() / "pipeline" / name).string(); }

void expectSize(CGSize s, double w, double h) {
  EXPECT_DOUBLE_EQ(s.width, w);
  EXPECT_DOUBLE_EQ(s.height, h);
}

TEST(QVImageUtilsTest, SizesFollowTheOrientationAndTypesComeFromTheContent) {
  expectSize(QVImageUtils::getImageSizeNatively(fixture("turned-40x30-o6.jpg")), 30, 40);
  expectSize(QVImageUtils::sizeForImageWithPath(fixture("turned-40x30-o6.jpg")), 30, 40);
  expectSize(QVImageUtils::imageSizeForPath(fixture("plain-20x10.png")), 20, 10);
  expectSize(QVImageUtils::sizeForImageWithPath(fixture("missing.jpg")), 0, 0);
  expectSize(QVImageUtils::sizeForImageWithPath(fixture("two-by-one.rovaimagedata")), 0, 0);

  EXPECT_EQ(QVImageUtils::imageTypeAtPath(fixture("turned-40x30-o6.jpg")), "public.jpeg");
  EXPECT_EQ(QVImageUtils::imageTypeAtPath(fixture("plain-20x10.png")), "public.png");
  EXPECT_EQ(QVImageUtils::imageTypeAtPath(fixture("missing.jpg")), "");
  EXPECT_EQ(QVImageUtils::imageTypeAtPath(""), "");
  EXPECT_FALSE(QVImageUtils::isRawImage(fixture("small-100x80.jpg")));
  EXPECT_FALSE(QVImageUtils::isDngImage(fixture("small-100x80.jpg")));
  EXPECT_EQ(QVImageUtils::colorDepthAtPath(fixture("plain-20x10.png")), 8);

  EXPECT_TRUE(QVImageUtils::canOpenImageAtURL(fixture("plain-20x10.png")));
  EXPECT_FALSE(QVImageUtils::canOpenImageAtURL(fixture("two-by-one.rovaimagedata")));
  EXPECT_FALSE(QVImageUtils::canOpenImageAtURL(fixture("missing.jpg")));
}

TEST(QVImageUtilsTest, FittingNeverEnlarges) {
  expectSize(QVImageUtils::convertSize({4000, 3000}, {2000, 2000}), 2000, 1500);
  expectSize(QVImageUtils::convertSize({3000, 4000}, {2000, 2000}), 1500, 2000);
  expectSize(QVImageUtils::convertSize({100, 50}, {198, 132}), 100, 50);
  expectSize(QVImageUtils::convertSize({396, 264}, {198, 132}), 198, 132);  // a tie
}

TEST(QVImageUtilsTest, CleanedPropertiesLoseOrientationAndExifColourSpace) {
  qv::Value p = QVImageUtils::imagePropertiesAtPath(fixture("turned-40x30-o6.jpg"));
  ASSERT_TRUE(p.isDictionary());
  EXPECT_FALSE(p.contains("Orientation"));
  EXPECT_TRUE(md::tiffData(p).isDictionary());
  EXPECT_FALSE(md::tiffData(p).contains("Orientation"));
  EXPECT_EQ(md::tiffData(p)["Make"].asString(), "Canon");
  EXPECT_FALSE(md::exifData(p).contains("ColorSpace"));
  EXPECT_EQ(md::iso(p).asInt(), 200);
  expectSize(md::imageSize(p), 40, 30);

  qv::Value png = QVImageUtils::imagePropertiesAtPath(fixture("plain-20x10.png"));
  ASSERT_TRUE(png.isDictionary());
  EXPECT_TRUE(md::tiffData(png).isDictionary());  // always present
  EXPECT_TRUE(QVImageUtils::imagePropertiesAtPath(fixture("missing.jpg")).isNull());
}

TEST(QVImageUtilsTest, MetadataAccessorsAndDateStamps) {
  qv::Value p = qv::Dictionary{{"PixelWidth", qv::Value(10)}};
  EXPECT_TRUE(md::iso(p).isNull());
  expectSize(md::imageSize(p), 10, 0);
  EXPECT_FALSE(md::datestamp(p));

  p.set("{TIFF}", qv::Dictionary{{"DateTime", qv::Value("2020:01:02 03:04:05")}});
  auto tiffOnly = md::datestamp(p);
  ASSERT_TRUE(tiffOnly);
  qv::Value q = p;
  q.set("{Exif}", qv::Dictionary{{"DateTimeOriginal", qv::Value("2020:01:02 03:04:35")},
                                 {"ISOSpeed", qv::Value(400)},
                                 {"ISOSpeedRatings", qv::Array{qv::Value(100)}}});
  EXPECT_EQ(md::iso(q).asInt(), 400);
  EXPECT_DOUBLE_EQ(*md::datestampDiffWithMetadata(p, q), 30);
  EXPECT_DOUBLE_EQ(*md::datestampDiffWithMetadata(q, p), -30);
  EXPECT_FALSE(md::datestampDiffWithMetadata(p, qv::Dictionary{}));

  // A broken EXIF date falls back to the TIFF one; impossible dates and other forms are refused.
  q.set("{Exif}", qv::Dictionary{{"DateTimeOriginal", qv::Value("2020-01-02 03:04:35")}});
  EXPECT_EQ(md::datestamp(q)->secondsSinceReferenceDate, tiffOnly->secondsSinceReferenceDate);
  for (const char* bad : {"2021:04:31 10:00:00", "2021:13:01 10:00:00", "2021:01:01 24:00:00", "2021:1:01 10:00:00",
                          "0000:00:00 00:00:00", ""})
    EXPECT_FALSE(md::dateFromExifDateTime(bad)) << bad;
}

TEST(QVImageUtilsTest, ThumbnailsTakeTheNextRouteWhenOneIsTooSmall) {
  // The file's own picture (100 x 80) is smaller than asked on both sides, so the engine's hard
  // route makes the thumbnail; either way it is no larger than asked.
  auto small = QVImageUtils::thumbnailJPEGFromImageAtPath(fixture("small-100x80.jpg"), 198);
  ASSERT_TRUE(small);
  EXPECT_LE(std::max(small->width, small->height), 198u);
  EXPECT_FALSE(QVImageUtils::createCGImageNatively(fixture("small-100x80.jpg"), 198));
  auto natively = QVImageUtils::createCGImageNatively(fixture("small-100x80.jpg"), 50);
  ASSERT_TRUE(natively);
  EXPECT_EQ(natively->width, 50u);
  EXPECT_EQ(natively->height, 40u);

  // Turned by the orientation.
  auto turned = QVImageUtils::thumbnailJPEGFromImageAtPath(fixture("turned-40x30-o6.jpg"), 20);
  ASSERT_TRUE(turned);
  EXPECT_LT(turned->width, turned->height);

  auto data = QVImageUtils::thumbnailJPEGDataFromImageAtPath(fixture("small-100x80.jpg"), 64);
  ASSERT_FALSE(data.empty());
  auto source = CGImageSourceCreateWithData(data);
  EXPECT_EQ(CGImageSourceGetType(source), "public.tiff");
  EXPECT_FALSE(QVImageUtils::thumbnailJPEGFromImageAtPath(fixture("missing.MEF"), 64));
  EXPECT_TRUE(QVImageUtils::thumbnailJPEGDataFromImageAtPath(fixture("missing.jpg"), 64).empty());
}

TEST(QVImageUtilsTest, EngineDataToTiffClampsAndMapsNaNToZero) {
  auto d = rova::ImageDataRGBf::create(2, 1, rova::kColorProfileSRGB);
  d->at(0, 0) = {std::numeric_limits<float>::quiet_NaN(), 2.0f, -1.0f};
  d->at(1, 0) = {0.5f, 1.0f, 0.0f};
  auto tiff = QVImageUtils::thumbnailDataFromImageData(d);
  auto image = CGImageSourceCreateImageAtIndex(CGImageSourceCreateWithData(tiff), 0);
  ASSERT_TRUE(image);
  ASSERT_EQ(image->bitsPerComponent, 8u);
  const uint8_t* px = image->row(0);
  const size_t step = image->bitsPerPixel / 8;
  EXPECT_EQ((std::vector<int>{px[0], px[1], px[2]}), (std::vector<int>{0, 255, 0}));
  EXPECT_EQ((std::vector<int>{px[step], px[step + 1], px[step + 2]}), (std::vector<int>{127, 255, 0}));
  EXPECT_TRUE(QVImageUtils::thumbnailDataFromImageData(nullptr).empty());

  auto redrawn = QVImageUtils::cgImageFromCGImage(image, CGSizeMake(4, 2), 1, 16);
  ASSERT_TRUE(redrawn);
  EXPECT_EQ(redrawn->width, 4u);
  EXPECT_EQ(redrawn->bytesPerRow, 32u);
  EXPECT_EQ(redrawn->alphaInfo(), kCGImageAlphaPremultipliedLast);
  EXPECT_FALSE(QVImageUtils::cgImageFromCGImage(image, CGSizeMake(4, 2), 1, 12));
}

TEST(QVImageUtilsTest, RedrawingKeepsTheBitmapsColourSpaceUnlessAnotherIsAsked) {
  // A 2 x 1 sRGB bitmap: a grey of 128 and a transparent pixel.
  auto data = std::make_shared<std::vector<uint8_t>>(std::vector<uint8_t>{128, 128, 128, 255, 0, 0, 0, 0});
  auto srgb = CGImageCreate(2, 1, 8, 32, 8, CGColorSpaceCreateWithName(kCGColorSpaceSRGB),
                            kCGImageAlphaPremultipliedLast, data);
  ASSERT_TRUE(srgb);

  // Code 0: the same colour space and the same numbers, alpha kept; only the size may change.
  auto kept = QVImageUtils::cgImageFromCGImage(srgb, CGSizeMake(2, 1), 0, 8);
  ASSERT_TRUE(kept);
  EXPECT_EQ(kept->colorSpace->name, kCGColorSpaceSRGB);
  EXPECT_EQ((std::vector<uint8_t>(kept->bytes, kept->bytes + 8)), *data);
  auto doubled = QVImageUtils::cgImageFromCGImage(srgb, CGSizeMake(4, 2), 0, 16);
  ASSERT_TRUE(doubled);
  EXPECT_EQ(doubled->width, 4u);
  EXPECT_EQ(doubled->colorSpace->name, kCGColorSpaceSRGB);

  // Code 4 (the engine's linear working space): the colours are matched, so the grey reads about
  // 55 there.
  auto linear = QVImageUtils::cgImageFromCGImage(srgb, CGSizeMake(2, 1), 4, 8);
  ASSERT_TRUE(linear);
  EXPECT_EQ(linear->colorSpace->profileType(), rova::kColorProfileWorking);
  const uint8_t* px = linear->row(0);
  EXPECT_NEAR(px[0], std::lround(rova::srgbToLinear(128 / 255.f) * 255), 1);
  EXPECT_EQ(px[3], 255);
  EXPECT_EQ(px[7], 0);  // still transparent
}

TEST(QVImageUtilsTest, DngProfileIsExtractedIntoAProfileFile) {
  // A little-endian TIFF whose IFD 0 holds a profile name and a colour matrix among other tags.
  std::vector<uint8_t> b = {'I', 'I', 42, 0, 8, 0, 0, 0};
  auto put16 = [&](uint16_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
  };
  auto put32 = [&](uint32_t v) {
    for (int s = 0; s < 32; s += 8) b.push_back(uint8_t(v >> s));
  };
  const std::string name = "Fixture Profile";
  const uint32_t valuesAt = 8 + 2 + 3 * 12 + 4;
  put16(3);
  put16(256), put16(3), put32(1), put32(7);                                        // ImageWidth: not copied
  put16(50721), put16(10), put32(9), put32(valuesAt);                              // ColorMatrix1
  put16(50936), put16(2), put32(uint32_t(name.size() + 1)), put32(valuesAt + 72);  // ProfileName
  put32(0);
  for (int i = 0; i < 9; ++i) put32(i % 4 == 0 ? 1 : 0), put32(1);
  b.insert(b.end(), name.begin(), name.end());
  b.push_back(0);

  auto dir = solvane::test::makeTempDir("dng");
  std::ofstream(dir / "in.dng", std::ios::binary)
      .write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
  ASSERT_TRUE(QVImageUtils::extractDcpFromDng((dir / "in.dng").string(), (dir / "out.dcp").string()));
  std::ifstream in(dir / "out.dcp", std::ios::binary);
  std::vector<uint8_t> out{std::istreambuf_iterator<char>(in), {}};
  ASSERT_GE(out.size(), 8u);
  EXPECT_EQ(std::string(out.begin(), out.begin() + 4), "IIRC");
  auto profile = rova::DcpProfile::parse(out.data(), out.size());
  ASSERT_TRUE(profile);
  EXPECT_EQ(profile->name(), name);

  // Every cut of the file is either refused or still gives a readable profile; none reads past the end.
  for (size_t n = 0; n < b.size(); ++n) {
    const fs::path cut = dir / ("cut" + std::to_string(n) + ".dng");
    std::ofstream(cut, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), std::streamsize(n));
    EXPECT_FALSE(QVImageUtils::extractDcpFromDng(cut.string(), (dir / "any.dcp").string())) << n;
  }
  b.resize(b.size() - 20);  // the name now reaches past the end of the file
  std::ofstream(dir / "cut.dng", std::ios::binary)
      .write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
  EXPECT_FALSE(QVImageUtils::extractDcpFromDng((dir / "cut.dng").string(), (dir / "cut.dcp").string()));
  EXPECT_FALSE(QVImageUtils::extractDcpFromDng(fixture("small-100x80.jpg"), (dir / "jpeg.dcp").string()));
  EXPECT_FALSE(fs::exists(dir / "cut.dcp"));
}

TEST(QVImageUtilsTest, CanonicalNamesIgnoreCaseAndSeparators) {
  EXPECT_EQ(QVImageUtils::canonizeDcpName("Canon EOS-5D Mark III"), "canoneos5dmarkiii");
  EXPECT_EQ(QVImageUtils::canonizeDcpName("CanonEOS 5D Mark III"),
            QVImageUtils::canonizeDcpName("canon eos 5d mark iii"));
  EXPECT_EQ(QVImageUtils::canonizeDcpName(""), "");
}

}  // namespace
