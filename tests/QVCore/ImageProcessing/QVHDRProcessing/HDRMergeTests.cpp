#include <gtest/gtest.h>

#include "QVCore/ImageProcessing/QVHDRProcessing/HDRTestSupport.h"
#include "common/TestSupport.h"
#include "rova/hdr/HDRMerge.h"

namespace fs = std::filesystem;

namespace {

constexpr int kW = 240, kH = 40;

rova::HDRSettings plainSettings() {
  rova::HDRSettings s;
  s.colorDenoise = false;
  return s;
}

// Worst relative error against the scene over the columns [x0, x1).
float worstError(const rova::ImageDataRGBf& img, int x0, int x1, int margin = 0) {
  float worst = 0;
  for (int y = margin; y < kH - margin; ++y)
    for (int x = std::max(x0, margin); x < std::min(x1, kW - margin); ++x) {
      const float truth = hdrtest::sceneRadiance(x, y, kW);
      worst = std::max(worst, std::fabs(img.at(x, y).g - truth) / truth);
    }
  return worst;
}

// The column where the scene's radiance crosses the value.
int columnOf(float radiance) { return int(std::round((std::log2(radiance) + 12.0f) / 15.0f * (kW - 1))); }

}  // namespace

TEST(HDRMerge, RecoversShadowsAndHighlightsOfAKnownScene) {
  const std::vector<rova::ImageDataRGBfPtr> bracket = {
      hdrtest::exposure(kW, kH, 1.0f / 16), hdrtest::exposure(kW, kH, 1.0f), hdrtest::exposure(kW, kH, 16.0f)};
  std::vector<rova::HDRMergingPhaseName> phases;
  auto r = rova::mergeHDR(bracket, {1.0f / 16, 1.0f, 16.0f}, plainSettings(),
                          [&](rova::HDRMergingPhaseName p) { phases.push_back(p); });
  ASSERT_TRUE(r.image);
  EXPECT_EQ(r.middleBracketData, bracket[1]);
  EXPECT_EQ(phases.back(), rova::HDRMergingPhaseName::kDone);
  auto merged = r.image->imageData();
  ASSERT_TRUE(merged);

  // Highlights (radiance 2 to 7) clip in the middle exposure; shadows (0.0005 to 0.0015) sit in its
  // bottom few 8-bit steps. The merge gets both within a few percent.
  const int hi0 = columnOf(2.0f), hi1 = columnOf(7.0f), lo0 = columnOf(0.0005f), lo1 = columnOf(0.0015f);
  EXPECT_LT(worstError(*merged, hi0, hi1), 0.03f);
  EXPECT_LT(worstError(*merged, lo0, lo1), 0.03f);
  EXPECT_GT(worstError(*bracket[1], hi0, hi1), 0.5f);  // what the middle exposure alone shows
  EXPECT_GT(worstError(*bracket[1], lo0, lo1), 0.05f);
  EXPECT_LT(worstError(*merged, 0, kW), 0.15f);
}

TEST(HDRMerge, EstimatesExposuresWhenTheFilesDoNotTell) {
  const std::vector<rova::ImageDataRGBfPtr> bracket = {
      hdrtest::exposure(kW, kH, 0.25f), hdrtest::exposure(kW, kH, 1.0f), hdrtest::exposure(kW, kH, 4.0f)};
  auto r = rova::mergeHDR(bracket, {}, plainSettings(), nullptr);
  ASSERT_TRUE(r.image);
  ASSERT_EQ(r.exposures.size(), 3u);
  EXPECT_NEAR(r.exposures[0], 0.25f, 0.01f);
  EXPECT_FLOAT_EQ(r.exposures[1], 1.0f);
  EXPECT_NEAR(r.exposures[2], 4.0f, 0.15f);
  EXPECT_LT(worstError(*r.image->imageData(), columnOf(1.5f), columnOf(3.5f)), 0.05f);
}

TEST(HDRMerge, AlignmentFindsTheShiftOfAnExposure) {
  // A scene with structure in both directions, so a shift shows in the bitmaps.
  auto scene = [](int w, int h, float e, int dx, int dy) {
    auto d = rova::ImageDataRGBf::create(w, h);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const int sx = x - dx, sy = y - dy;
        const float base = 0.05f + 0.4f * float(((sx / 9) + (sy / 7)) % 3 == 0) + 0.002f * float(sx + sy);
        const float v = hdrtest::quantizeEncoded(base * e);
        d->at(x, y) = {v, v, v};
      }
    return d;
  };
  const std::vector<rova::ImageDataRGBfPtr> bracket = {scene(128, 96, 0.5f, 0, 0), scene(128, 96, 1.0f, 0, 0),
                                                       scene(128, 96, 2.0f, 3, -2)};
  rova::HDRSettings s = plainSettings();
  s.alignment = true;
  auto r = rova::mergeHDR(bracket, {0.5f, 1.0f, 2.0f}, s, nullptr);
  ASSERT_TRUE(r.image);
  EXPECT_EQ(r.shifts[0], std::make_pair(0, 0));
  EXPECT_EQ(r.shifts[2], std::make_pair(-3, 2));
  // Without alignment nothing moves.
  auto plain = rova::mergeHDR(bracket, {0.5f, 1.0f, 2.0f}, plainSettings(), nullptr);
  EXPECT_EQ(plain.shifts[2], std::make_pair(0, 0));
}

TEST(HDRMerge, GhostReductionKeepsTheReferenceWhereAnExposureDisagrees) {
  // A mid-grey scene; in the bright exposure something passes through a square.
  auto flat = [](float radiance, float e) {
    auto d = rova::ImageDataRGBf::create(64, 64);
    const float v = hdrtest::quantizeEncoded(radiance * e);
    for (int y = 0; y < 64; ++y)
      for (int x = 0; x < 64; ++x) d->at(x, y) = {v, v, v};
    return d;
  };
  auto bright = flat(0.2f, 2.0f);
  for (int y = 20; y < 40; ++y)
    for (int x = 20; x < 40; ++x) bright->at(x, y) = {0.05f, 0.05f, 0.05f};
  const std::vector<rova::ImageDataRGBfPtr> bracket = {flat(0.2f, 0.5f), flat(0.2f, 1.0f), bright};
  rova::HDRSettings s = plainSettings();
  auto ghosted = rova::mergeHDR(bracket, {0.5f, 1.0f, 2.0f}, s, nullptr).image->imageData();
  s.ghostReduction = true;
  s.ghostRefImageIdx = 1;
  s.ghostAmount = 50;
  auto clean = rova::mergeHDR(bracket, {0.5f, 1.0f, 2.0f}, s, nullptr).image->imageData();
  EXPECT_GT(std::fabs(ghosted->at(30, 30).g - 0.2f), 0.03f);
  EXPECT_NEAR(clean->at(30, 30).g, 0.2f, 0.005f);
  EXPECT_NEAR(clean->at(5, 5).g, 0.2f, 0.005f);
  // A reference index outside the bracket (the settings hold any number) means the last file.
  s.ghostRefImageIdx = 1 << 30;
  auto outside = rova::mergeHDR(bracket, {0.5f, 1.0f, 2.0f}, s, nullptr).image;
  ASSERT_TRUE(outside);
  s.ghostRefImageIdx = 2;
  EXPECT_EQ(outside->imageData()->at(30, 30),
            rova::mergeHDR(bracket, {0.5f, 1.0f, 2.0f}, s, nullptr).image->imageData()->at(30, 30));
}

TEST(HDRMerge, ColourNoiseReductionKeepsLuminance) {
  auto noisy = rova::ImageDataRGBf::create(32, 32);
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x) {
      const float n = ((x * 7 + y * 13) % 5 - 2) * 0.02f;
      noisy->at(x, y) = {0.3f + n, 0.3f - n, 0.3f + n};
    }
  rova::HDRSettings s;  // colour denoise on
  s.singleImageToneMapping = false;
  auto out = rova::mergeHDR({noisy}, {}, s, nullptr).image->imageData();
  double before = 0, after = 0;
  for (int y = 4; y < 28; ++y)
    for (int x = 4; x < 28; ++x) {
      auto lum = [](const rova::PixelRGB<float>& p) { return 0.2126f * p.r + 0.7152f * p.g + 0.0722f * p.b; };
      EXPECT_NEAR(lum(out->at(x, y)), lum(noisy->at(x, y)), 1e-4f);
      before += std::fabs(noisy->at(x, y).r - noisy->at(x, y).g);
      after += std::fabs(out->at(x, y).r - out->at(x, y).g);
    }
  EXPECT_LT(after, before * 0.3);
}

TEST(HDRMerge, FilesAreReadMergedAndFailuresGiveNoImage) {
  const fs::path dir = solvane::test::makeTempDir("hdr-merge-files");
  std::vector<std::string> paths;
  const float exposures[] = {0.25f, 1.0f, 4.0f};
  for (int i = 0; i < 3; ++i) {
    const fs::path p = dir / ("b" + std::to_string(i) + ".jpg");
    hdrtest::Exif exif;
    exif.exposureTime = 0.01 * exposures[i];
    ASSERT_TRUE(
        hdrtest::writeImage(p, *hdrtest::exposure(kW, kH, exposures[i]), kUTTypeJPEG, hdrtest::exifProperties(exif)));
    paths.push_back(p.string());
  }
  auto r = rova::make_HDR(paths, plainSettings(), {0, 0}, nullptr);
  ASSERT_TRUE(r.image);
  EXPECT_EQ(r.image->width(), kW);
  ASSERT_EQ(r.exposures.size(), 3u);
  EXPECT_NEAR(r.exposures[0], 0.25f, 1e-3f);
  EXPECT_NEAR(r.exposures[2], 4.0f, 1e-2f);
  ASSERT_TRUE(r.middleBracketData);
  // Highlights the middle file clipped come back (JPEG rounding allows a little more error).
  EXPECT_LT(worstError(*r.image->imageData(), columnOf(1.5f), columnOf(3.5f), 2), 0.12f);
  EXPECT_GT(r.image->imageData()->at(columnOf(3.0f), kH / 2).g, 1.5f);

  EXPECT_FALSE(rova::make_HDR({}, plainSettings(), {0, 0}, nullptr).image);
  EXPECT_FALSE(rova::make_HDR({paths[0], (dir / "missing.jpg").string()}, plainSettings(), {0, 0}, nullptr).image);
  const fs::path small = dir / "small.jpg";
  ASSERT_TRUE(hdrtest::writeImage(small, *hdrtest::exposure(20, 10, 1.0f), kUTTypeJPEG, {}));
  EXPECT_FALSE(rova::make_HDR({paths[0], small.string()}, plainSettings(), {0, 0}, nullptr).image);
}

TEST(HDRMerge, SingleImageToneMappingRollsOffOnlyTheHighlights) {
  auto d = rova::ImageDataRGBf::create(4, 1);
  const float values[] = {0.2f, 0.7f, 1.0f, 3.0f};
  for (int x = 0; x < 4; ++x) d->at(x, 0) = {values[x], values[x], values[x]};
  rova::HDRSettings s = plainSettings();
  auto mapped = rova::mergeHDR({d}, {}, s, nullptr).image->imageData();
  EXPECT_FLOAT_EQ(mapped->at(0, 0).g, 0.2f);
  EXPECT_FLOAT_EQ(mapped->at(1, 0).g, 0.7f);
  EXPECT_LT(mapped->at(2, 0).g, 1.0f);
  EXPECT_GT(mapped->at(3, 0).g, mapped->at(2, 0).g);  // order kept
  EXPECT_LE(mapped->at(3, 0).g, 1.0f);
  s.singleImageToneMapping = false;
  EXPECT_FLOAT_EQ(rova::mergeHDR({d}, {}, s, nullptr).image->imageData()->at(3, 0).g, 3.0f);
}

TEST(HDRMerge, ChromaticAberrationReductionLinesRedUpWithGreen) {
  // Rings whose red channel is magnified by 0.2 % about the centre, as a lens would.
  const int w = 256, h = 256;
  auto ring = [&](float x, float y) {
    const float r = std::hypot(x - 127.5f, y - 127.5f);
    return 0.5f + 0.4f * std::sin(r * 0.35f);
  };
  auto d = rova::ImageDataRGBf::create(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const float k = 1.0f / 1.002f;
      const float red = ring(127.5f + (x - 127.5f) * k, 127.5f + (y - 127.5f) * k);
      d->at(x, y) = {red, ring(float(x), float(y)), ring(float(x), float(y))};
    }
  auto mismatch = [&](const rova::ImageDataRGBf& img) {
    double s = 0;
    for (int y = 16; y < h - 16; ++y)
      for (int x = 16; x < w - 16; ++x) s += std::fabs(img.at(x, y).r - img.at(x, y).g);
    return s;
  };
  rova::HDRSettings s = plainSettings();
  s.singleImageToneMapping = false;
  s.chromaticAberrationReduction = true;
  auto out = rova::mergeHDR({d}, {}, s, nullptr).image->imageData();
  EXPECT_LT(mismatch(*out), mismatch(*d) * 0.5);
}
