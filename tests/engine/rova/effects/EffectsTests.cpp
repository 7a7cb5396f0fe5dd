#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include <fstream>

#include "common/TestSupport.h"
#include "engine/rova/EngineTestFiles.h"
#include "engine/rova/processor/ProcessorTestSupport.h"
#include "rova/Color.h"
#include "rova/codecs/Codecs.h"
#include "rova/effects/DcpProfile.h"
#include "rova/effects/EffectIDs.h"
#include "rova/effects/LensCorrectionEffect.h"
#include "rova/effects/WhiteBalanceEffect.h"
#include "rova/reader/ImageReader.h"

using namespace rova;
using proctest::makeImage;
using proctest::px;

namespace {

// Renders the picture through one layer holding one effect with the given values.
ImageDataRGBfPtr renderWith(const ImagePtr& image, const char* id,
                            std::initializer_list<std::pair<const char*, float>> values, RectRoiF region = {},
                            Size fit = {}) {
  auto p = proctest::makeProcessor(image);
  auto layer = proctest::makeLayer(image, {id});
  for (auto& [name, v] : values) layer->effectAtIndex(0)->setParameterValue(name, v);
  p->addLayer(layer);
  return proctest::render(*p, region, fit);
}

void writeBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

ImagePtr grey(float v, int w = 8, int h = 8) {
  return makeImage(w, h, [v](int, int, float* c) { c[0] = c[1] = c[2] = v; });
}

}  // namespace

TEST(Effects, FactoryMakesEveryEngineEffectWithItsParameters) {
  auto& f = EffectFactory::instance();
  for (const char* id :
       {effect_id::kDevelopCommon, effect_id::kRawDevelopCommon, effect_id::kWhiteBalance, effect_id::kRawWhiteBalance,
        effect_id::kSharpen, effect_id::kLensCorrection, effect_id::kTextureOverlay, effect_id::kDodgeBurn}) {
    EXPECT_TRUE(f.isSupported(id)) << id;
    auto e = f.makeEffectWithID(id);
    ASSERT_TRUE(e) << id;
    EXPECT_EQ(e->id(), id);
    EXPECT_FALSE(e->getParameters().empty()) << id;
  }
  EXPECT_EQ(f.makeEffectWithID("ROVANoSuchEffect"), nullptr);
  auto sharpen = f.makeEffectWithID(effect_id::kSharpen);
  auto names = sharpen->getParameters();
  ASSERT_EQ(names.size(), 5u);
  EXPECT_EQ(names[0].identifier(), "Amount");
  EXPECT_EQ(names[1].identifier(), "Radius");
  EXPECT_EQ(names[2].identifier(), "Masking");
  EXPECT_EQ(names[3].identifier(), "Dehalo");
  EXPECT_EQ(names[4].identifier(), "Adaptive");  // hidden: the automatic enhancement's switch
  EXPECT_TRUE(names[4].isHidden());
  auto raw = f.makeEffectWithID(effect_id::kRawDevelopCommon)->getParameters();
  EXPECT_EQ(raw.back().identifier(), "Texture");

  // setParameters takes values and optional data by identifier, keeps ranges; copies are deep.
  ParameterList list = sharpen->getParameters();
  list[0].setValue(40);
  list[2].setOptionalData(std::string("x"));
  sharpen->setParameters(list);
  auto copy = sharpen->copy();
  sharpen->setParameterValue("Amount", 10);
  EXPECT_EQ(copy->parameterValue("Amount"), 40.f);
  EXPECT_EQ(copy->getParameters()[2].optionalText(), "x");
  EXPECT_EQ(copy->getParameters()[0].maxValue(), 100.f);
}

TEST(Effects, ExposureDoublesLinearValuesBelowTheShoulderAndRollsOffAbove) {
  auto image = makeImage(4, 1, [](int x, int, float* c) {
    const float v[] = {0.05f, 0.2f, 0.39f, 1.0f};
    c[0] = c[1] = c[2] = v[x];
  });
  auto out = renderWith(image, effect_id::kDevelopCommon, {{"Exposure", 1}});
  ASSERT_TRUE(out);
  EXPECT_FLOAT_EQ(px(*out, 0, 0)[1], 0.1f);
  EXPECT_FLOAT_EQ(px(*out, 1, 0)[1], 0.4f);
  EXPECT_FLOAT_EQ(px(*out, 2, 0)[1], 0.78f);
  EXPECT_NEAR(px(*out, 3, 0)[1], 1.0f, 1e-4f);  // the old white stays white
  auto darker = renderWith(image, effect_id::kDevelopCommon, {{"Exposure", -1}});
  EXPECT_FLOAT_EQ(px(*darker, 3, 0)[1], 0.5f);
}

TEST(Effects, DevelopControlsMoveToneAndColourTheWayTheySay) {
  auto ramp = makeImage(16, 1, [](int x, int, float* c) {
    c[0] = c[1] = c[2] = std::pow((x + 0.5f) / 16, 2.2f);
    c[0] *= 1.3f;  // a little colour
  });
  const auto base = ramp->source()->data();
  auto lum = [](const float* c) { return 0.2126f * c[0] + 0.7152f * c[1] + 0.0722f * c[2]; };
  auto sat = [](const float* c) { return std::max({c[0], c[1], c[2]}) - std::min({c[0], c[1], c[2]}); };

  auto contrast = renderWith(ramp, effect_id::kDevelopCommon, {{"Contrast", 60}});
  EXPECT_LT(lum(px(*contrast, 2, 0)), lum(px(*base, 2, 0)));    // darks darker
  EXPECT_GT(lum(px(*contrast, 13, 0)), lum(px(*base, 13, 0)));  // lights lighter
  auto shadows = renderWith(ramp, effect_id::kDevelopCommon, {{"Shadows", 80}});
  EXPECT_GT(lum(px(*shadows, 3, 0)), lum(px(*base, 3, 0)) * 1.1f);
  EXPECT_NEAR(lum(px(*shadows, 15, 0)), lum(px(*base, 15, 0)), 0.01f);
  auto highlights = renderWith(ramp, effect_id::kDevelopCommon, {{"Highlights", -80}});
  EXPECT_LT(lum(px(*highlights, 12, 0)), lum(px(*base, 12, 0)));
  auto blacks = renderWith(ramp, effect_id::kDevelopCommon, {{"Blacks", 100}});
  EXPECT_GT(lum(px(*blacks, 0, 0)), lum(px(*base, 0, 0)));
  auto saturation = renderWith(ramp, effect_id::kDevelopCommon, {{"Saturation", 50}});
  EXPECT_GT(sat(px(*saturation, 8, 0)), sat(px(*base, 8, 0)) * 1.3f);
  auto grey = renderWith(ramp, effect_id::kDevelopCommon, {{"Saturation", -100}});
  EXPECT_NEAR(sat(px(*grey, 8, 0)), 0.f, 1e-5f);
  auto vibrance = renderWith(ramp, effect_id::kDevelopCommon, {{"Vibrance", 60}});
  EXPECT_GT(sat(px(*vibrance, 8, 0)), sat(px(*base, 8, 0)));
}

TEST(Effects, TemperatureWarmsAndTintTurnsMagenta) {
  auto image = grey(0.3f);
  for (auto [id, warm, name] : {std::tuple{effect_id::kDevelopCommon, 50.f, "Temperature"},
                                std::tuple{effect_id::kWhiteBalance, 9000.f, "Temperature"}}) {
    auto out = renderWith(image, id, {{name, warm}});
    const float* c = px(*out, 1, 1);
    EXPECT_GT(c[0], c[2] * 1.1f) << id;
    EXPECT_NEAR(0.2126f * c[0] + 0.7152f * c[1] + 0.0722f * c[2], 0.3f, 1e-3f) << id;  // grey keeps its luminance
  }
  auto magenta = renderWith(image, effect_id::kWhiteBalance, {{"Tint", 60}});
  EXPECT_LT(px(*magenta, 1, 1)[1], px(*magenta, 1, 1)[0]);
  // The default setting is the picture as shot.
  auto same = renderWith(image, effect_id::kWhiteBalance, {});
  EXPECT_EQ(px(*same, 1, 1)[0], 0.3f);
  float t = 0, tint = 99;
  EXPECT_TRUE(getDefaultTemperatureTint(*image, t, tint));
  EXPECT_EQ(t, 6500.f);
  EXPECT_EQ(tint, 0.f);
}

TEST(Effects, PickedPointAndAutomaticEstimateNeutraliseACast) {
  // A bluish grey picked on screen needs a warmer setting; applying it makes the colour neutral.
  float t = 0, tint = 0;
  grfx_temperature_tint_for_picked_point(0.45f, 0.5f, 0.6f, 6500, 0, &t, &tint);
  EXPECT_GT(t, 6500.f);
  auto picked = makeImage(2, 2, [](int, int, float* c) {
    c[0] = srgbToLinear(0.45f), c[1] = srgbToLinear(0.5f), c[2] = srgbToLinear(0.6f);
  });
  auto out = renderWith(picked, effect_id::kWhiteBalance, {{"Temperature", t}, {"Tint", tint}});
  const float* c = px(*out, 0, 0);
  EXPECT_NEAR(c[0] / c[1], 1.f, 0.02f);
  EXPECT_NEAR(c[2] / c[1], 1.f, 0.02f);
  EXPECT_DOUBLE_EQ(grfx_map_tint_percents(150, true), 100);
  EXPECT_DOUBLE_EQ(grfx_map_tint_percents(-50, false), -75);

  // Auto: the estimate comes from the whole original, so a region renders as the full picture does.
  auto cast = makeImage(64, 48, [](int x, int y, float* c) {
    const float v = 0.1f + 0.5f * float(x + y) / 112;
    c[0] = v * 1.25f, c[1] = v, c[2] = v * 0.7f;
  });
  auto full = renderWith(cast, effect_id::kWhiteBalance, {{"Auto", 1}});
  const float* f = px(*full, 32, 24);
  EXPECT_NEAR(f[0] / f[1], 1.f, 0.05f);
  EXPECT_NEAR(f[2] / f[1], 1.f, 0.05f);
  auto region = renderWith(cast, effect_id::kWhiteBalance, {{"Auto", 1}}, {10, 10, 20, 20});
  EXPECT_LT(proctest::maxDifference(*region, *full->copy({10, 10, 20, 20})), 1e-4f);
}

TEST(Effects, SharpenRaisesEdgeContrastWithoutMovingFlatAreas) {
  auto edge = makeImage(64, 32, [](int x, int, float* c) { c[0] = c[1] = c[2] = x < 32 ? 0.1f : 0.5f; });
  auto out = renderWith(edge, effect_id::kSharpen, {{"Amount", 80}, {"Masking", 0}});
  ASSERT_TRUE(out);
  EXPECT_LT(px(*out, 31, 16)[1], 0.1f);  // dark side of the edge darker
  EXPECT_GT(px(*out, 32, 16)[1], 0.5f);  // bright side brighter
  EXPECT_NEAR(px(*out, 5, 16)[1], 0.1f, 1e-6f);
  EXPECT_NEAR(px(*out, 60, 16)[1], 0.5f, 1e-6f);
  // Dehalo tames the overshoot; masking leaves faint texture alone.
  auto soft = renderWith(edge, effect_id::kSharpen, {{"Amount", 80}, {"Masking", 0}, {"Dehalo", 100}});
  EXPECT_LT(px(*soft, 32, 16)[1], px(*out, 32, 16)[1]);
  auto faint = makeImage(64, 8, [](int x, int, float* c) { c[0] = c[1] = c[2] = 0.3f + (x % 2 ? 0.002f : 0.f); });
  auto masked = renderWith(faint, effect_id::kSharpen, {{"Amount", 80}, {"Masking", 100}});
  EXPECT_LT(proctest::maxDifference(*masked, *faint->source()->data()), 1e-5f);
  // Amount 0 changes nothing.
  auto none = renderWith(edge, effect_id::kSharpen, {});
  EXPECT_EQ(proctest::maxDifference(*none, *edge->source()->data()), 0.f);
}

TEST(Effects, DodgeAndBurnLiftDarkAreasAndHoldBackBrightOnes) {
  auto image = makeImage(64, 64, [](int x, int, float* c) { c[0] = c[1] = c[2] = x < 32 ? 0.02f : 0.8f; });
  auto out = renderWith(image, effect_id::kDodgeBurn, {{"Dodge", 80}, {"Burn", 80}});
  EXPECT_GT(px(*out, 5, 5)[0], 0.02f * 1.3f);
  EXPECT_LT(px(*out, 60, 5)[0], 0.8f * 0.9f);
  auto overlay = renderWith(image, effect_id::kDodgeBurn, {{"Output", 1}});
  EXPECT_GT(px(*overlay, 5, 5)[0], 0.5f);
  EXPECT_LT(px(*overlay, 60, 5)[0], 0.5f);
}

TEST(Effects, TextureOverlayCoversTheCanvasWithTheFile) {
  const auto dir = solvane::test::makeTempDir("texture");
  rova::codecs::Bitmap bitmap;
  ASSERT_TRUE(bitmap.allocate(8, 8, 3, 8));
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x)
      bitmap.row(y)[3 * x] = x < 4 ? 255 : 0, bitmap.row(y)[3 * x + 1] = bitmap.row(y)[3 * x + 2] = 0;
  rova::codecs::EncodeOptions png;
  png.format = rova::codecs::Format::PNG;
  const auto path = dir / "texture.png";
  writeBytes(path, rova::codecs::encode(bitmap, png, nullptr));
  auto image = grey(0.5f, 16, 8);  // wider than the texture: scaled to cover, cut at top and bottom
  auto p = proctest::makeProcessor(image);
  auto layer = proctest::makeLayer(image, {effect_id::kTextureOverlay});
  auto params = layer->effectAtIndex(0)->getParameters();
  params[0].setOptionalData(path.string());
  layer->effectAtIndex(0)->setParameters(params);
  p->addLayer(layer);
  auto out = proctest::render(*p);
  ASSERT_TRUE(out);
  EXPECT_NEAR(px(*out, 1, 4)[0], 1.f, 1e-4f);
  EXPECT_NEAR(px(*out, 14, 4)[0], 0.f, 1e-4f);
  layer->effectAtIndex(0)->setParameterValue("Amount", 50);
  out = proctest::render(*p);
  EXPECT_NEAR(px(*out, 1, 4)[1], 0.25f, 1e-4f);
}

TEST(Effects, LensCorrectionFromTheDatabaseOnlyWhenTheLensIsKnown) {
  auto image = proctest::makeTestPicture(120, 80);
  auto out = renderWith(image, effect_id::kLensCorrection, {});
  EXPECT_EQ(proctest::maxDifference(*out, *image->source()->data()), 0.f);  // no EXIF lens: nothing

  OrvantaExifData exif;
  exif.cameraName = "Canon";
  exif.cameraModel = "Canon EOS 5D Mark II";
  exif.lensModel = "Canon EF 24-105mm f/4L IS USM";
  exif.focalLength = 24;
  exif.fNumber = 4;
  if (!LensCorrectionEffect::hasProfileFor(exif)) GTEST_SKIP() << "lens database lacks the test lens";
  auto known = proctest::makeImage(
      120, 80, [](int x, int y, float* c) { c[0] = c[1] = c[2] = ((x / 10 + y / 10) % 2) ? 0.6f : 0.2f; }, exif);
  auto corrected = renderWith(known, effect_id::kLensCorrection, {});
  EXPECT_GT(proctest::maxDifference(*corrected, *known->source()->data()), 0.05f);
  auto region = renderWith(known, effect_id::kLensCorrection, {}, {30, 20, 40, 30});
  EXPECT_LT(proctest::maxDifference(*region, *corrected->copy({30, 20, 40, 30})), 2e-3f);
}

TEST(Effects, CameraProfileToneCurveIsApplied) {
  // A little-endian camera profile with a name and a tone curve that halves every value.
  std::vector<unsigned char> f = {'I', 'I', 0x52, 0x43, 8, 0, 0, 0};
  auto u16 = [&f](uint16_t v) { f.push_back(uint8_t(v)), f.push_back(uint8_t(v >> 8)); };
  auto u32 = [&f](uint32_t v) {
    for (int i = 0; i < 4; ++i) f.push_back(uint8_t(v >> (8 * i)));
  };
  u16(2);
  u16(50936), u16(2), u32(4), f.insert(f.end(), {'T', 'e', 's', 't'});
  u16(50940), u16(11), u32(4), u32(8 + 2 + 24 + 4);
  u32(0);
  for (float v : {0.f, 0.f, 1.f, 0.5f}) {
    uint32_t b;
    std::memcpy(&b, &v, 4);
    u32(b);
  }
  auto profile = DcpProfile::parse(f.data(), f.size());
  ASSERT_TRUE(profile);
  EXPECT_EQ(profile->name(), "Test");
  EXPECT_TRUE(profile->hasToneCurve());
  float c[3] = {0.4f, 0.4f, 0.4f};
  profile->applyLook(c);
  EXPECT_NEAR(c[1], 0.2f, 1e-3f);
  const unsigned char junk[] = "not a profile";
  EXPECT_EQ(DcpProfile::parse(junk, sizeof junk), nullptr);

  // Named by the RAW develop effect's "Texture" parameter.
  const auto dir = solvane::test::makeTempDir("dcp");
  writeBytes(dir / "camera.dcp", std::vector<uint8_t>(f.begin(), f.end()));
  auto image = grey(0.4f);
  auto p = proctest::makeProcessor(image);
  auto layer = proctest::makeLayer(image, {effect_id::kRawDevelopCommon});
  auto params = layer->effectAtIndex(0)->getParameters();
  params.back().setOptionalData((dir / "camera.dcp").string());
  p->addLayer(layer);
  auto without = proctest::render(*p);
  const float before = px(*without, 1, 1)[1];
  layer->effectAtIndex(0)->setParameters(params);
  auto with = proctest::render(*p);
  EXPECT_LT(px(*with, 1, 1)[1], before * 0.7f);
}

TEST(Effects, RawPictureDevelopsAlikeFromHalfAndFullSizeReads) {
  const auto dir = solvane::test::makeTempDir("raw");
  const auto path = (dir / "scene.dng").string();
  enginetest::writeBayerDng(path, 96, 64, [](int x, int y) {
    const double v = ((x / 8 + y / 8) % 2) ? 0.18 : 0.05;
    return std::array<double, 3>{v, v, v};
  });
  const uint32_t flags = kReadDefaultFlags | kReadRawDevelop;
  auto full = ImageReader::instance().read(path, {}, flags, nullptr);
  auto half = ImageReader::instance().read(path, {}, flags | kReadFastRawPreview, nullptr);
  ASSERT_TRUE(full && half);
  ASSERT_TRUE(full->exif().isRaw);
  auto developed = [](const ImagePtr& image, Size fit) {
    auto p = proctest::makeProcessor(image);
    auto layer = proctest::makeLayer(image, {effect_id::kRawDevelopCommon, effect_id::kSharpen});
    layer->effectAtIndex(1)->setParameterValue("Amount", 50);
    p->addLayer(layer);
    return proctest::render(*p, {}, fit);
  };
  auto fromFull = developed(full, {48, 32});
  auto fromHalf = developed(half, {48, 32});
  ASSERT_TRUE(fromFull && fromHalf);
  // The decode is the development: the RAW develop layer (without a camera profile) adds no
  // brightening of its own, and greys stay neutral.
  const float* grey = px(*fromFull, 18, 6);  // inside a mid-grey square
  const float before = full->imageData({48, 32})->at(18, 6).g;
  EXPECT_NEAR(grey[1], before, 0.06f * before);  // the sharpening moves it a little
  EXPECT_NEAR(grey[0] / grey[1], 1.f, 0.05f);
  // The preview from the half-size read looks like the one from the full read.
  float mean = 0, meanHalf = 0;
  for (int y = 8; y < 24; ++y)
    for (int x = 8; x < 40; ++x) mean += px(*fromFull, x, y)[1], meanHalf += px(*fromHalf, x, y)[1];
  EXPECT_NEAR(meanHalf / mean, 1.f, 0.05f);
}
