#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>

#include "common/TestSupport.h"
#include "rova/AffineTransform.h"
#include "rova/Color.h"
#include "rova/CropDescription.h"
#include "rova/Image.h"
#include "rova/ImageData.h"
#include "rova/MaskImage.h"
#include "rova/RectRoi.h"
#include "rova/Rova.h"

using namespace rova;

TEST(RectRoi, FlipLivesInTheConversionsAndRoundTrips) {
  // A 10 x 20 rectangle at the bottom-left corner of a 100-high image is at the bottom of the engine image.
  RectRoiF r = rectRoiFromCGRect(CGRectMake(5, 0, 10, 20), 100);
  EXPECT_EQ(r, (RectRoiF{5, 80, 10, 20}));
  EXPECT_EQ(cgRectFromRectROI(r, 100), CGRectMake(5, 0, 10, 20));
  // Negative sizes are standardised first.
  EXPECT_EQ(rectRoiFromCGRect(CGRectMake(15, 20, -10, -20), CGSizeMake(50, 100)), (RectRoiF{5, 80, 10, 20}));
  EXPECT_EQ(truncated(RectRoiF{1.9, 2.5, 3.99, 4.1}), (RectRoi{1, 2, 3, 4}));
  EXPECT_EQ((RectRoi{0, 0, 10, 10}).intersection({5, 5, 10, 10}), (RectRoi{5, 5, 5, 5}));
  EXPECT_TRUE((RectRoi{0, 0, 10, 10}).intersection({10, 0, 5, 5}).isEmpty());
}

TEST(ImageData, AllocationIsBoundedAndCopiesRegions) {
  EXPECT_EQ(ImageDataRGBf::create(0, 10), nullptr);
  EXPECT_EQ(ImageDataRGBf::create(-1, 10), nullptr);
  EXPECT_EQ(ImageDataRGBf::create(kMaxImageSide + 1, 1), nullptr);
  EXPECT_EQ(ImageDataRGBf::create(60000, 60000), nullptr);  // over the pixel ceiling
  setMaxPixelCount(100);
  EXPECT_EQ(ImageDataF::create(11, 10), nullptr);
  EXPECT_NE(ImageDataF::create(10, 10), nullptr);
  setMaxPixelCount(0);

  auto d = ImageDataRGBf::create(4, 3);
  ASSERT_TRUE(d);
  EXPECT_EQ(d->channels(), 3);
  EXPECT_EQ(d->colorProfileType(), kColorProfileNative);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) d->at(x, y) = {float(x), float(y), 7.f};
  auto c = d->copy({1, 1, 10, 10});  // clipped to the image
  ASSERT_TRUE(c);
  EXPECT_EQ(c->width(), 3);
  EXPECT_EQ(c->height(), 2);
  EXPECT_EQ(c->at(0, 0), (PixelRGB<float>{1, 1, 7}));
  EXPECT_EQ(d->copy({10, 10, 2, 2}), nullptr);

  d->at(0, 0) = {-1.f, 2.f, 0.5f};
  clamp(*d);
  EXPECT_EQ(d->at(0, 0), (PixelRGB<float>{0, 1, 0.5f}));
}

TEST(Image, ImageDataSharesOnlyTheWholeImageAtItsOwnSize) {
  auto d = ImageDataRGBf::create(8, 6);
  auto img = Image::make(d);
  ASSERT_TRUE(img);
  EXPECT_EQ(img->imageData({}, {}, true), d);
  EXPECT_NE(img->imageData({}, {}, false), d);
  auto half = img->imageData({4, 3}, {});
  ASSERT_TRUE(half);
  EXPECT_EQ(half->width(), 4);
  auto region = img->imageData({}, {2, 2, 3, 3});
  ASSERT_TRUE(region);
  EXPECT_EQ(region->width(), 3);
  EXPECT_EQ(img->imageData({}, {20, 20, 3, 3}), nullptr);
  EXPECT_EQ(Image::make(nullptr), nullptr);
}

TEST(MaskImage, CopyUnionAndZeroCount) {
  float a[4] = {0.8f, 0.f, 0.3f, 0.f};
  float b[4] = {0.3f, 0.f, 0.9f, 0.5f};
  MaskImage m(a, 4, 2, 2), n(b, 4, 2, 2);
  auto copy = m.copy();
  EXPECT_EQ(m.zeroCount(), 2u);
  ASSERT_TRUE(copy->unionWithMask(n));
  EXPECT_FLOAT_EQ(copy->values()[0], 1.f);
  EXPECT_FLOAT_EQ(copy->values()[2], 1.f);
  EXPECT_FLOAT_EQ(copy->values()[3], 0.5f);
  EXPECT_EQ(copy->zeroCount(), 1u);
  EXPECT_FLOAT_EQ(m.values()[0], 0.8f);  // the copy is deep
  EXPECT_TRUE(MaskImage(3, 3).isEmpty());
  EXPECT_FALSE(MaskImage(0, 3).isValid());
}

TEST(AffineTransform, PrependActsFirstAppendActsLast) {
  AffineTransform t;
  t.translate(10, 0).scale(2, 2);  // scale first, then translate
  double x, y;
  t.apply(1, 1, x, y);
  EXPECT_DOUBLE_EQ(x, 12);
  EXPECT_DOUBLE_EQ(y, 2);
  t.append(AffineTransform::translation(0, 5));
  t.apply(1, 1, x, y);
  EXPECT_DOUBLE_EQ(y, 7);
  t.inverted().apply(12, 7, x, y);
  EXPECT_NEAR(x, 1, 1e-5);
  EXPECT_NEAR(y, 1, 1e-5);
}

TEST(CropDescription, NoneAndTransform) {
  EXPECT_TRUE(CropDescriptionNone.isNone());
  CropDescription c{0, 10, 20, 100, 50};
  EXPECT_FALSE(c.isNone());
  double x, y;
  c.getAffineTransform().apply(10, 20, x, y);  // the crop's corner lands at the origin
  EXPECT_NEAR(x, 0, 1e-4);
  EXPECT_NEAR(y, 0, 1e-4);
}

namespace {
// Adobe RGB (1998) to sRGB, computed independently of lcms: decode the gamma, go through XYZ (D65)
// with the published matrices, encode with the sRGB curve.
std::array<double, 3> adobeToSrgb(std::array<double, 3> v) {
  for (auto& c : v) c = std::pow(c, 563.0 / 256.0);
  const double m[3][3] = {
      {0.5767309, 0.1855540, 0.1881852}, {0.2973769, 0.6273491, 0.0752741}, {0.0270343, 0.0706872, 0.9911085}};
  const double n[3][3] = {
      {3.2404542, -1.5371385, -0.4985314}, {-0.9692660, 1.8760108, 0.0415560}, {0.0556434, -0.2040259, 1.0572252}};
  double xyz[3], out[3];
  for (int i = 0; i < 3; ++i) xyz[i] = m[i][0] * v[0] + m[i][1] * v[1] + m[i][2] * v[2];
  std::array<double, 3> r{};
  for (int i = 0; i < 3; ++i) {
    out[i] = n[i][0] * xyz[0] + n[i][1] * xyz[1] + n[i][2] * xyz[2];
    double a = std::clamp(out[i], 0.0, 1.0);
    r[i] = a <= 0.0031308 ? a * 12.92 : 1.055 * std::pow(a, 1 / 2.4) - 0.055;
  }
  return r;
}
}  // namespace

TEST(Color, AdobeRgbConvertsToSrgbWithinOneLevel) {
  const std::array<double, 3> samples[] = {{0.5, 0.5, 0.5}, {0.4, 0.6, 0.3},    {0.2, 0.3, 0.8},
                                           {0.9, 0.7, 0.6}, {0.05, 0.05, 0.05}, {1, 1, 1}};
  for (auto s : samples) {
    float px[3] = {float(s[0]), float(s[1]), float(s[2])};
    ASSERT_TRUE(colorTransformIpp(px, px, kColorProfileAdobeRGB, kColorProfileSRGB, kColorDataTypeRGBFloat, {1, 1}));
    auto want = adobeToSrgb(s);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(std::clamp(px[i], 0.f, 1.f), want[i], 1.0 / 255) << s[0] << "," << s[1];
  }
  float px[3] = {0.5f, 0.5f, 0.5f};
  EXPECT_FALSE(colorTransformIpp(px, px, kColorProfileUnknown, kColorProfileSRGB, kColorDataTypeRGBFloat, {1, 1}));
  EXPECT_FALSE(colorTransformIpp(px, px, kColorProfileSRGB, kColorProfileAdobeRGB, 1, {1, 1}));
}

TEST(Color, LinearWorkingSpaceRoundTripsAndColorSpacesCarryProfiles) {
  float px[3] = {0.2f, 0.5f, 0.9f};
  ASSERT_TRUE(colorTransformIpp(px, px, kColorProfileSRGB, kColorProfileWorking, kColorDataTypeRGBFloat, {1, 1}));
  EXPECT_NEAR(px[1], srgbToLinear(0.5f), 1e-3);
  ASSERT_TRUE(colorTransformIpp(px, px, kColorProfileWorking, kColorProfileSRGB, kColorDataTypeRGBFloat, {1, 1}));
  EXPECT_NEAR(px[0], 0.2f, 1e-3);
  EXPECT_NEAR(px[2], 0.9f, 1e-3);
  for (int t = 0; t <= 6; ++t) {
    auto cs = createColorSpace(t);
    ASSERT_TRUE(cs) << t;
    EXPECT_GT(cs->iccData().size(), 128u);
    auto back = createColorSpaceFromICC(cs->iccData().data(), cs->iccData().size());
    EXPECT_TRUE(back) << t;
  }
  EXPECT_EQ(createColorSpace(7), nullptr);
  EXPECT_EQ(createColorSpace(-1), nullptr);
  EXPECT_EQ(createColorSpace(kColorProfileSRGB), createColorSpace(kColorProfileSRGB));
}

TEST(Rova, InitKeepsTheContextAndMakesTheLogFolder) {
  const auto dir = solvane::test::makeTempDir("rova-init");
  SRovaContext ctx;
  ctx.logPath = (dir / "Orvanta" / "Logs").string();
  ctx.resourcePath = (dir / "Resources").string();
  ctx.cameraProfilesPaths = {ctx.resourcePath + "/CamerasProfiles.plist", (dir / "user").string(),
                             ctx.resourcePath + "/CameraProfiles"};
  ctx.applicationContext = 2;
  const SRovaContext before = rovaContext();
  struct Restore {
    SRovaContext c;
    ~Restore() { rovaInit(c); }
  } restore{before};
  ASSERT_TRUE(rovaInit(ctx));
  EXPECT_TRUE(isRovaInitialized());
  SRovaContext got = rovaContext();
  EXPECT_EQ(got.logPath, ctx.logPath);
  EXPECT_EQ(got.resourcePath, ctx.resourcePath);
  EXPECT_EQ(got.cameraProfilesPaths.profilesListFile, ctx.cameraProfilesPaths.profilesListFile);
  EXPECT_EQ(got.cameraProfilesPaths.userProfilesFolder, ctx.cameraProfilesPaths.userProfilesFolder);
  EXPECT_EQ(got.cameraProfilesPaths.resourceProfilesFolder, ctx.cameraProfilesPaths.resourceProfilesFolder);
  EXPECT_EQ(got.applicationContext, 2);
  EXPECT_TRUE(std::filesystem::is_directory(ctx.logPath));
  EXPECT_FALSE(fileExists(ctx.logPath));  // a folder is not a file
  EXPECT_FALSE(fileExists(""));
}
