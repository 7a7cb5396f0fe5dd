// The automatic enhancement: the shipped presets build on the engine, and on real photographs and
// synthetic pictures the default preset brings back exposure, neutral greys and tonal range, leaves
// a good photo nearly alone, and renders a preview like the full-size result.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>

#include "common/TestSupport.h"
#include "engine/rova/EngineTestFiles.h"
#include "engine/rova/effects/ColourDifference.h"
#include "engine/rova/effects/EnhancePresets.h"
#include "engine/rova/processor/ProcessorTestSupport.h"
#include "rova/Color.h"
#include "rova/effects/auto/AutoEffects.h"
#include "rova/effects/auto/EnhanceAnalysis.h"
#include "rova/reader/ImageReader.h"

using namespace rova;
using enhance::Lab;
using enhance::meanDeltaE;
using enhance::toLab;
namespace ea = rova::enhance_analysis;

namespace {

const char* kPhotos[] = {"astronaut", "coffee", "chelsea", "rocket"};

ImagePtr photo(const std::string& name) {
  const auto path = solvane::test::dataDir() / "enhance" / (name + ".png");
  return ImageReader::instance().read(path.string(), {}, kReadDefaultFlags, nullptr);
}

std::filesystem::path preset(const char* folderAndName) {
  return enhance::resourcesDir() / (std::string(folderAndName) + ".slvnr");
}

ImageDataRGBfPtr enhanced(const ImagePtr& image, Size fit = {}, RectRoiF region = {},
                          std::vector<std::filesystem::path> presets = {preset("Presets/DefaultJpegPreset")}) {
  std::vector<std::string> problems;
  auto p = enhance::enhancedProcessor(image, presets, &problems);
  EXPECT_TRUE(problems.empty()) << problems.front();
  return proctest::render(*p, region, fit);
}

// A copy of a picture with every pixel changed.
ImagePtr changed(const ImagePtr& image, const std::function<void(float*)>& f) {
  auto data = image->imageData({}, {}, false);
  float* px = data->floats();
  for (size_t i = 0; i < data->pixelCount(); ++i, px += 3) f(px);
  return Image::make(data, image->metadata());
}

float lum(const float* c) { return 0.2126f * c[0] + 0.7152f * c[1] + 0.0722f * c[2]; }

double percentileOf(std::vector<float> v, double q) {
  const size_t k = std::min(v.size() - 1, size_t(q * double(v.size())));
  std::nth_element(v.begin(), v.begin() + k, v.end());
  return v[k];
}

// Luminance of every pixel, linear or encoded like an sRGB file.
std::vector<float> luminances(const ImageDataRGBf& d, bool encoded) {
  std::vector<float> out(d.pixelCount());
  for (size_t i = 0; i < out.size(); ++i) {
    const float y = std::clamp(lum(d.floats() + 3 * i), 0.f, 1.f);
    out[i] = encoded ? linearToSrgb(y) : y;
  }
  return out;
}

// Pixels an 8-bit file would hold at white in some channel, or at black in all three.
size_t clippedPixels(const ImageDataRGBf& d) {
  size_t n = 0;
  for (size_t i = 0; i < d.pixelCount(); ++i) {
    const float* c = d.floats() + 3 * i;
    const float mx = std::max({c[0], c[1], c[2]});
    if (linearToSrgb(std::min(mx, 1.f)) >= 254.5f / 255 || linearToSrgb(std::max(mx, 0.f)) < 0.5f / 255) ++n;
  }
  return n;
}

// Each pixel of a photo a stop too bright (linear values doubled, clipped at white) with the same pixel
// enhanced: `f(received, enhanced)`.
void forEachPixelOfAStopTooBright(const char* name, const std::function<void(const float*, const float*)>& f) {
  auto original = photo(name);
  ASSERT_TRUE(original) << name;
  auto bright = changed(original, [](float* c) {
    for (int k = 0; k < 3; ++k) c[k] = std::min(1.f, 2 * c[k]);
  });
  auto out = enhanced(bright);
  ASSERT_TRUE(out) << name;
  auto in = bright->imageData();
  for (size_t i = 0; i < in->pixelCount(); ++i) f(in->floats() + 3 * i, out->floats() + 3 * i);
}

}  // namespace

TEST(EnhancePresets, EveryPresetParsesAndBuildsOverOrdinaryAndRawPictures) {
  OrvantaExifData rawExif;
  rawExif.isRaw = true;
  for (const char* name : {"Presets/DefaultJpegPreset", "Presets/DefaultRAWPreset",
                           "AdditionalPresets/AutoColorTemperature", "AdditionalPresets/LensCorrection"}) {
    auto plist = enhance::readPlist(preset(name));
    ASSERT_TRUE(plist) << name;
    EXPECT_FALSE(enhance::text(enhance::get(plist.get(), "uuid")).empty()) << name;
    EXPECT_FALSE(enhance::items(enhance::get(plist.get(), "AdjustmentLayers")).empty()) << name;
    for (bool raw : {false, true}) {
      auto image = proctest::makeImage(
          64, 40, [](int x, int y, float* c) { c[0] = 0.02f + x * 0.01f, c[1] = 0.2f, c[2] = 0.05f + y * 0.01f; },
          raw ? rawExif : OrvantaExifData{});
      enhance::PresetBuilder builder;
      auto layers = builder.layers(preset(name), image);
      EXPECT_TRUE(builder.problems().empty()) << name << ": " << builder.problems().front();
      EXPECT_FALSE(layers.empty()) << name;
      auto p = proctest::makeProcessor(image);
      for (auto& l : layers) p->addLayer(l);
      auto out = proctest::render(*p);
      ASSERT_TRUE(out) << name;
      EXPECT_EQ(out->width(), 64) << name;
      for (size_t i = 0; i < out->pixelCount() * 3; ++i) ASSERT_TRUE(std::isfinite(out->floats()[i])) << name;
    }
  }
  // The RAW preset starts from the camera data: the engine's RAW development over a RAW picture.
  auto rawImage = proctest::makeImage(
      8, 8, [](int, int, float* c) { c[0] = c[1] = c[2] = 0.2f; }, rawExif);
  enhance::PresetBuilder builder;
  auto layers = builder.layers(preset("Presets/DefaultRAWPreset"), rawImage);
  ASSERT_FALSE(layers.empty());
  auto first = std::dynamic_pointer_cast<AdjustmentLayer>(layers.front());
  ASSERT_TRUE(first && first->effectsCount() > 0);
  EXPECT_EQ(first->effectAtIndex(0)->id(), "ROVARawDevelopCommonEffectID");
}

TEST(EnhanceEffects, DegeneratePicturesComeOutFinite) {
  // Flat black, flat white and a single pixel: nothing to measure, nothing may break.
  struct Case {
    int w, h;
    float v;
  };
  for (Case c : {Case{40, 30, 0.f}, Case{40, 30, 1.f}, Case{1, 1, 0.3f}, Case{3, 2, 0.5f}}) {
    auto image = proctest::makeImage(c.w, c.h, [&](int, int, float* px) { px[0] = px[1] = px[2] = c.v; });
    for (const char* name : {"Presets/DefaultJpegPreset", "Presets/DefaultRAWPreset"}) {
      auto out = enhanced(image, {}, {}, {preset(name)});
      ASSERT_TRUE(out) << name << " " << c.w << "x" << c.h;
      for (size_t i = 0; i < out->pixelCount() * 3; ++i) {
        ASSERT_TRUE(std::isfinite(out->floats()[i])) << name;
        ASSERT_GE(out->floats()[i], 0.f) << name;
      }
      // Flat grey stays grey.
      EXPECT_NEAR(out->floats()[0], out->floats()[2], 1e-3f) << name;
    }
  }
}

TEST(EnhanceEffects, AmountZeroLeavesThePictureAlone) {
  auto image = proctest::makeTestPicture(48, 32);
  auto context = std::make_shared<EffectParametersContext>(image);
  EffectRenderInfo info;
  info.canvasSize = image->size();
  for (const char* id : {effect_id::kAutoTone, effect_id::kRawAutoTone, effect_id::kLocalContrast,
                         effect_id::kAutoColor, effect_id::kVibrance, effect_id::kNoiseReduction}) {
    auto effect = EffectFactory::instance().makeEffectWithID(id, context);
    ASSERT_TRUE(effect) << id;
    EXPECT_EQ(effect->parameterValue("Amount"), 100) << id;
    effect->setParameterValue("Amount", 0);
    EXPECT_FALSE(effect->makeKernel(info)) << id;
  }
}

TEST(Enhance, PhotoDarkenedByOneAndAHalfStopsComesBack) {
  for (const char* name : kPhotos) {
    auto original = photo(name);
    ASSERT_TRUE(original) << name;
    auto dark = changed(original, [](float* c) {
      for (int k = 0; k < 3; ++k) c[k] *= std::exp2(-1.5f);
    });
    auto out = enhanced(dark);
    ASSERT_TRUE(out);
    const double before = percentileOf(luminances(*original->imageData(), false), 0.5);
    const double after = percentileOf(luminances(*out, false), 0.5);
    // Within half a stop; a photo whose own white fell short (the cat, white at 0.8) is brought to
    // white like any picture with that much unused headroom, and comes back brighter by what its
    // white lacked (0.7 EV).
    EXPECT_LT(std::fabs(std::log2(after / before)), std::strcmp(name, "chelsea") ? 0.5 : 0.75)
        << name << ": median " << before << " came back as " << after;
  }
}

TEST(Enhance, RawPictureComesOutTheSameWhateverItsExposure) {
  // Linear camera data, through the RAW preset (RAW development first): two exposures of one scene
  // two stops apart end with nearly the same median, a well-exposed one near the mid-tones' aim.
  OrvantaExifData rawExif;
  rawExif.isRaw = true;
  auto scene = [&](float k) {
    return proctest::makeImage(
        300, 200,
        [k](int x, int y, float* c) {
          const float v =
              k * (0.01f + 0.5f * float(x) / 300 * float(y) / 200 + ((x / 20 + y / 20) % 3 == 0 ? 0.3f : 0));
          c[0] = v, c[1] = v * 0.95f, c[2] = v * 0.8f;
        },
        rawExif);
  };
  std::vector<std::filesystem::path> rawPreset{preset("Presets/DefaultRAWPreset")};
  auto bright = enhanced(scene(1), {}, {}, rawPreset), dark = enhanced(scene(0.25f), {}, {}, rawPreset);
  ASSERT_TRUE(bright && dark);
  const double a = percentileOf(luminances(*bright, false), 0.5), b = percentileOf(luminances(*dark, false), 0.5);
  EXPECT_LT(std::fabs(std::log2(a / b)), 0.5) << a << " " << b;
  EXPECT_GT(a, 0.1);
  EXPECT_LT(a, 0.3);
  EXPECT_EQ(clippedPixels(*bright), 0u);
}

TEST(Enhance, StrongColourCastLeavesNeutralGreysNeutral) {
  // A scene of grey patches among coloured ones, lit by a strongly warm and then a cool, greenish light.
  const float greys[] = {0.05f, 0.12f, 0.25f, 0.45f, 0.7f};
  const float colours[][3] = {{0.5f, 0.1f, 0.08f}, {0.1f, 0.35f, 0.1f}, {0.08f, 0.12f, 0.45f}, {0.6f, 0.45f, 0.1f}};
  auto scene = [&](int x, int y, float* c) {
    const int patch = (x / 32) + 6 * (y / 32);
    if (patch % 2 == 0) {
      c[0] = c[1] = c[2] = greys[(patch / 2) % 5];
    } else {
      for (int k = 0; k < 3; ++k) c[k] = colours[(patch / 2) % 4][k] * (0.8f + 0.2f * float(y % 32) / 32);
    }
  };
  // The chroma of the grey patches (the worst one) after the enhancement of the scene under a cast.
  auto worstGrey = [&](std::array<float, 3> cast, std::vector<std::filesystem::path> presets) {
    auto image = proctest::makeImage(192, 128, [&](int x, int y, float* c) {
      scene(x, y, c);
      for (int k = 0; k < 3; ++k) c[k] *= cast[k];
    });
    auto out = enhanced(image, {}, {}, presets);
    double worst = 0;
    for (int y = 8; y < 128; y += 32)
      for (int x = 8; x < 192; x += 32) {
        float ref[3];
        scene(x, y, ref);
        if (ref[0] != ref[1] || ref[1] != ref[2]) continue;
        const Lab lab = toLab(proctest::px(*out, x + 8, y + 8));
        worst = std::max(worst, std::hypot(lab.a, lab.b));
      }
    return worst;
  };
  const std::vector<std::filesystem::path> jpeg{preset("Presets/DefaultJpegPreset")};
  for (auto cast : {std::array<float, 3>{1.35f, 1.f, 0.6f}, std::array<float, 3>{0.7f, 1.1f, 1.3f}})
    // (Its darkest grey lies at display 0.25 and its white end reaches white: no veil, so its black
    // is no longer stretched, which leaves a trace more tint in the greys than the stretch did.)
    EXPECT_LT(worstGrey(cast, jpeg), 3.5) << "cast " << cast[0] << " " << cast[1] << " " << cast[2];
  // A slight warm cast partly stays as the mood of the light, unless the automatic colour
  // temperature preset comes first: then it goes too.
  const std::array<float, 3> slight{1.1f, 1.f, 0.88f};
  EXPECT_GT(worstGrey(slight, jpeg), 2.0);
  // (What is left is the estimators' own error on this scene of coloured and grey patches: about a degree.)
  EXPECT_LT(worstGrey(slight, {preset("AdditionalPresets/AutoColorTemperature"), preset("Presets/DefaultJpegPreset")}),
            2.0);
  // A real photograph: the greys and whites of the astronaut's picture (chroma under 6 as taken)
  // come back as they were, with the same cast.
  auto original = photo("astronaut");
  ASSERT_TRUE(original);
  auto reference = enhanced(original);
  auto out = enhanced(changed(original, [](float* c) { c[0] *= 1.35f, c[2] *= 0.6f; }));
  ASSERT_TRUE(reference && out);
  double sa = 0, sb = 0;
  size_t n = 0;
  auto source = original->imageData();
  for (size_t i = 0; i < source->pixelCount(); ++i) {
    const Lab was = toLab(source->floats() + 3 * i);
    if (std::hypot(was.a, was.b) > 6 || was.L < 20 || was.L > 95) continue;
    const Lab want = toLab(reference->floats() + 3 * i), got = toLab(out->floats() + 3 * i);
    sa += got.a - want.a, sb += got.b - want.b, ++n;
  }
  ASSERT_GT(n, 500u);
  EXPECT_LT(std::hypot(sa / n, sb / n), 4.0);
}

// A photo a stop too bright is darkened, and its clipped highlights keep their hue: a white cup
// clipped in red and green with blue a little under white stays a pale white, not yellow-green
// (the shoulder squeezing the clipped channels while blue keeps the body's gain).
TEST(Enhance, OverExposedHighlightsKeepTheirHue) {
  size_t n = 0, kept = 0;
  double before = 0, after = 0;
  forEachPixelOfAStopTooBright("coffee", [&](const float* c, const float* o) {
    if (c[0] < 1 || c[1] < 1 || c[2] < 0.8f || c[2] > 0.95f) return;
    ++n;
    before += lum(c), after += lum(o);
    if (o[2] / std::max(o[1], 1e-6f) > 0.9f * c[2]) ++kept;
  });
  ASSERT_GT(n, 100u);
  EXPECT_LT(after, 0.95 * before);  // darkened
  EXPECT_GT(kept, 0.95 * double(n));
}

// A pale colour that clipped one channel only (a face's red, a grey-blue sky's blue) keeps its hue
// when a picture a stop too bright is darkened: the clipped channel is not lifted towards white over
// the others (which turned a pale sky violet and a face pink in blotches).
TEST(Enhance, OverExposedPaleColoursClippedInOneChannelKeepTheirHue) {
  size_t n = 0, kept = 0;
  forEachPixelOfAStopTooBright("astronaut", [&](const float* c, const float* o) {
    const int top = int(std::max_element(c, c + 3) - c);
    const float a = c[(top + 1) % 3], b = c[(top + 2) % 3];
    if (c[top] < 1 || std::min(a, b) < 0.6f || std::max(a, b) > 0.9f) return;
    ++n;
    // The clipped channel against the brighter of the other two, as received and as darkened.
    if (o[top] / std::max({o[(top + 1) % 3], o[(top + 2) % 3], 1e-6f}) < 1.1f * c[top] / std::max(a, b)) ++kept;
  });
  ASSERT_GT(n, 100u);
  EXPECT_GT(kept, 0.95 * double(n));
}

TEST(Enhance, FadedPhotoRegainsItsTonalRange) {
  for (const char* name : kPhotos) {
    auto original = photo(name);
    ASSERT_TRUE(original) << name;
    auto faded = changed(original, [](float* c) {
      for (int k = 0; k < 3; ++k) c[k] = srgbToLinear(0.3f + 0.4f * linearToSrgb(std::clamp(c[k], 0.f, 1.f)));
    });
    auto out = enhanced(faded);
    ASSERT_TRUE(out);
    auto spread = [](const ImageDataRGBf& d) {
      auto l = luminances(d, true);
      return percentileOf(l, 0.99) - percentileOf(l, 0.01);
    };
    const double before = spread(*faded->imageData()), after = spread(*out);
    EXPECT_GE(after, 2 * before) << name << ": spread " << before << " became " << after;
  }
}

TEST(Enhance, GoodPhotoChangesLittleAndGainsNoClipping) {
  // Mean CIEDE2000 to the original: a good photo is left alone (measured: astronaut, coffee and
  // rocket 0.00: no layer makes a kernel). A flat photo such as chelsea (its brightest pixels far from
  // white) may change more: its white end is stretched a little (0.65; mean of the four 0.16).
  struct Case {
    const char* name;
    double maxMeanDeltaE;
  };
  double sum = 0;
  for (Case c : {Case{"astronaut", 0.1}, Case{"coffee", 0.1}, Case{"rocket", 0.1}, Case{"chelsea", 1.0}}) {
    auto original = photo(c.name);
    ASSERT_TRUE(original) << c.name;
    auto out = enhanced(original);
    ASSERT_TRUE(out);
    auto source = original->imageData();
    const double difference = meanDeltaE(*source, *out);
    EXPECT_LT(difference, c.maxMeanDeltaE) << c.name;
    sum += difference;
    EXPECT_LE(clippedPixels(*out), clippedPixels(*source)) << c.name;
  }
  EXPECT_LT(sum / 4, 0.25);
}

// The finishing layers act only on measured need: on good photos they make no kernel at all.
TEST(Enhance, FinishingLayersLeaveGoodPhotosAlone) {
  for (const char* name : kPhotos) {
    auto original = photo(name);
    ASSERT_TRUE(original) << name;
    auto context = std::make_shared<EffectParametersContext>(original);
    EffectRenderInfo info;
    info.canvasSize = original->size();
    for (const char* id :
         {effect_id::kVibrance, effect_id::kLocalContrast, effect_id::kNoiseReduction, effect_id::kAutoColor}) {
      auto effect = EffectFactory::instance().makeEffectWithID(id, context);
      ASSERT_TRUE(effect) << id;
      EXPECT_FALSE(effect->makeKernel(info)) << name << " " << id;
    }
  }
}

// The preview looks like the full-size render brought down to its size (sRGB differences).
void expectLooksLikeFullSize(const ImageDataRGBf& preview, const ImageDataRGBf& full, const char* what) {
  auto reduced = Image::make(full.copy())->imageData({preview.width(), preview.height()}, {}, false);
  ASSERT_TRUE(reduced);
  std::vector<float> diffs;
  for (size_t i = 0; i < preview.pixelCount() * 3; ++i)
    diffs.push_back(std::fabs(linearToSrgb(std::clamp(preview.floats()[i], 0.f, 1.f)) -
                              linearToSrgb(std::clamp(reduced->floats()[i], 0.f, 1.f))));
  double mean = 0;
  for (float d : diffs) mean += d;
  mean /= double(diffs.size());
  EXPECT_LT(mean, 0.015) << what;
  EXPECT_LT(percentileOf(diffs, 0.99), 0.06) << what;
}

TEST(Enhance, PreviewAndRegionAgreeWithTheFullSizeRender) {
  auto small = photo("chelsea");
  ASSERT_TRUE(small);
  // A larger picture, so the preview is a real reduction (a third of the size).
  auto image = Image::make(small->imageData({960, 639}, {}, false));
  auto full = enhanced(image);
  auto preview = enhanced(image, {320, 320});
  ASSERT_TRUE(full && preview);
  ASSERT_EQ(preview->width(), 320);
  expectLooksLikeFullSize(*preview, *full, "preview");
  // The quick preview (while a slider moves) leaves out what hardly shows at its size, and still
  // looks the same.
  {
    auto p = enhance::enhancedProcessor(image, {preset("Presets/DefaultJpegPreset")});
    ImageProcessorSettings settings;
    settings.outputSize = {320, 320};
    settings.quickPreview = true;
    ASSERT_TRUE(p->startProcessing(settings));
    auto quick = p->getLastResult();
    ASSERT_TRUE(quick);
    EXPECT_GT(proctest::maxDifference(*quick, *preview), 0.f);  // the quick path was taken
    expectLooksLikeFullSize(*quick, *full, "quick preview");
  }

  // A 1:1 region of the full-size render.
  auto region = enhanced(image, {}, {300, 200, 240, 160});
  ASSERT_TRUE(region);
  ASSERT_EQ(region->width(), 240);
  float worst = 0;
  for (int y = 0; y < 160; ++y)
    for (int x = 0; x < 240; ++x)
      for (int c = 0; c < 3; ++c)
        worst = std::max(worst, std::fabs(proctest::px(*region, x, y)[c] - proctest::px(*full, x + 300, y + 200)[c]));
  EXPECT_LT(worst, 0.02f);
}

// The application's preview reads the file at a reduced size (a DCT-reduced JPEG decode) and renders
// that into its box: the look must still be the export's, whatever size the file was read at.
TEST(Enhance, PreviewOfAReducedReadLooksLikeTheExport) {
  auto small = photo("chelsea");
  ASSERT_TRUE(small);
  auto big = small->imageData({1800, 1198}, {}, false);
  // Its left half in deep shadow, so that local contrast has work to do too.
  auto darken = [&](int x) { return x < big->width() * 3 / 2 ? 0.01f : 1.f; };
  codecs::Bitmap bitmap;
  bitmap.allocate(big->width(), big->height(), 3, 8);
  for (int y = 0; y < big->height(); ++y)
    for (int x = 0; x < big->width() * 3; ++x)
      bitmap.row(y)[x] = uint8_t(std::lround(
          255 * linearToSrgb(std::clamp(darken(x) * big->floats()[size_t(y) * big->width() * 3 + x], 0.f, 1.f))));
  codecs::EncodeOptions jpeg;
  jpeg.quality = 0.95;
  const auto path =
      enginetest::writeImage(solvane::test::makeTempDir("enhance-preview") / "big.jpg", bitmap, jpeg).string();
  auto whole = ImageReader::instance().read(path, {}, kReadDefaultFlags, nullptr);
  auto reducedRead = ImageReader::instance().read(path, {600, 600}, kReadDefaultFlags, nullptr);
  ASSERT_TRUE(whole && reducedRead);
  ASSERT_LT(reducedRead->source()->decodedScale(), 1.0);  // what makes the case: a reduced decode
  auto full = enhanced(whole);
  ASSERT_TRUE(full);
  for (int box : {600, 300}) {
    auto preview = enhanced(reducedRead, {box, box});
    ASSERT_TRUE(preview);
    ASSERT_EQ(preview->width(), box);
    expectLooksLikeFullSize(*preview, *full, box == 600 ? "600 px preview" : "300 px preview");
  }
  // What local contrast alone does to the preview (its reach follows the picture's size, whatever
  // size the file was read at) is what it does to the export, brought down to the preview's size.
  auto change = [](const ImagePtr& image, Size fit, Size size) {
    auto plain = proctest::makeProcessor(image);
    auto adjusted = proctest::makeProcessor(image);
    adjusted->addLayer(proctest::makeLayer(image, {effect_id::kLocalContrast}));
    auto before = proctest::render(*plain, {}, fit), after = proctest::render(*adjusted, {}, fit);
    before = Image::make(before)->imageData(size, {}, false), after = Image::make(after)->imageData(size, {}, false);
    std::vector<float> out(after->pixelCount() * 3);
    for (size_t i = 0; i < out.size(); ++i)
      out[i] = linearToSrgb(std::clamp(after->floats()[i], 0.f, 1.f)) -
               linearToSrgb(std::clamp(before->floats()[i], 0.f, 1.f));
    return out;
  };
  const Size previewSize{600, 399};
  const auto inPreview = change(reducedRead, {600, 600}, previewSize), inExport = change(whole, {}, previewSize);
  double mismatch = 0, size = 0;
  for (size_t i = 0; i < inPreview.size(); ++i)
    mismatch += std::fabs(inPreview[i] - inExport[i]), size += std::fabs(inExport[i]);
  EXPECT_LT(mismatch, 0.15 * size);
}

// A large picture's analysis image is made in two steps (block means on all cores, then an area
// resize): it must still be the picture brought down to the analysis size (the sizes leave partial
// blocks at the right and bottom), and have the picture's statistics, which is what it serves.
TEST(EnhanceEffects, AnalysisImageOfALargePictureIsItsAreaReduction) {
  auto smooth = proctest::makeImage(3001, 2003, [](int x, int y, float* c) {
    c[0] = 0.4f + 0.3f * std::sin(x * 0.011f), c[1] = 0.4f + 0.3f * std::cos(y * 0.013f),
    c[2] = 0.2f + 0.0001f * float(x + y);
  });
  for (const auto& image : {smooth, proctest::makeTestPicture(3001, 2003)}) {
    const bool sharp = image != smooth;
    auto analysis = EffectParametersContext(image).analysisImage();
    ASSERT_TRUE(analysis);
    EXPECT_EQ(analysis->width(), EffectParametersContext::kAnalysisLongSide);
    EXPECT_EQ(analysis->height(), int(std::lround(2003.0 * EffectParametersContext::kAnalysisLongSide / 3001)));
    auto reference = image->imageData({analysis->width(), analysis->height()}, {}, false);
    if (!sharp) EXPECT_LT(proctest::maxDifference(*analysis, *reference), 0.01f);
    // Sharp edges may move by a fraction of a pixel; the statistics stay.
    double mean[2][3] = {};
    for (size_t i = 0; i < analysis->pixelCount(); ++i)
      for (int c = 0; c < 3; ++c)
        mean[0][c] += analysis->floats()[3 * i + c], mean[1][c] += reference->floats()[3 * i + c];
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(mean[0][c], mean[1][c], 1e-3 * double(analysis->pixelCount())) << sharp;
    const auto la = luminances(*analysis, true), lr = luminances(*reference, true);
    for (double q : {0.02, 0.5, 0.98}) EXPECT_NEAR(percentileOf(la, q), percentileOf(lr, q), 0.01) << sharp << " " << q;
  }
}

// On a large picture local contrast works on a coarse grid of cells many pixels wide (their means
// from a subset of the pixels): a region still renders as the same crop of the whole.
TEST(EnhanceEffects, LocalContrastOfALargePictureRendersRegionsLikeTheWhole) {
  // Half of it in deep shadow, so that local contrast has shadows to open.
  auto lit = proctest::makeTestPicture(3001, 2003)->imageData();
  auto image = proctest::makeImage(3001, 2003, [&](int x, int y, float* c) {
    for (int k = 0; k < 3; ++k) c[k] = proctest::px(*lit, x, y)[k] * (x < 1500 ? 0.02f : 1.f);
  });
  auto p = proctest::makeProcessor(image);
  p->addLayer(proctest::makeLayer(image, {effect_id::kLocalContrast}));
  auto whole = proctest::render(*p);
  auto region = proctest::render(*p, {1203, 801, 300, 200});
  ASSERT_TRUE(whole && region);
  EXPECT_GT(proctest::maxDifference(*whole, *image->imageData()), 0.01f);  // it does something
  float worst = 0;
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 300; ++x)
      for (int c = 0; c < 3; ++c)
        worst = std::max(worst, std::fabs(proctest::px(*region, x, y)[c] - proctest::px(*whole, x + 1203, y + 801)[c]));
  EXPECT_LT(worst, 0.02f);
}

TEST(EnhanceEffects, NoiseReductionFollowsTheMeasuredNoise) {
  std::mt19937 rng(7);
  std::normal_distribution<float> gauss(0, 1);
  const float sigma = 0.02f;  // in square-root units
  auto clean = [](int x, int y, float* c) {
    const float v = 0.2f + 0.4f * float(x) / 256 + (y > 100 && x > 100 ? 0.2f : 0);
    c[0] = v, c[1] = v * 0.9f, c[2] = v * 0.8f;
  };
  auto noisy = proctest::makeImage(256, 192, [&](int x, int y, float* c) {
    clean(x, y, c);
    const float n = gauss(rng) * sigma;
    for (int k = 0; k < 3; ++k) c[k] = std::pow(std::max(0.f, std::sqrt(c[k]) + n + gauss(rng) * 0.3f * sigma), 2.f);
  });
  const double estimate = NoiseReductionEffect::estimateNoise(*noisy->imageData());
  EXPECT_NEAR(estimate, sigma, 0.35 * sigma);
  EXPECT_NEAR(NoiseReductionEffect::estimateNoise(*proctest::makeImage(256, 192, clean)->imageData()), 0, 0.001);

  // Over the noisy picture the noise falls; over the clean one nothing happens at all.
  auto p = proctest::makeProcessor(noisy);
  p->addLayer(proctest::makeLayer(noisy, {effect_id::kNoiseReduction}));
  auto out = proctest::render(*p);
  ASSERT_TRUE(out);
  EXPECT_LT(NoiseReductionEffect::estimateNoise(*out), 0.5 * estimate);
  // A region renders as the same crop of the whole (the filters get all the context they read).
  auto region = proctest::render(*p, {60, 50, 100, 80});
  ASSERT_TRUE(region);
  float worst = 0;
  for (int y = 0; y < 80; ++y)
    for (int x = 0; x < 100; ++x)
      for (int c = 0; c < 3; ++c)
        worst = std::max(worst, std::fabs(proctest::px(*region, x, y)[c] - proctest::px(*out, x + 60, y + 50)[c]));
  EXPECT_LT(worst, 1e-4f);
  auto cleanImage = proctest::makeImage(256, 192, clean);
  auto q = proctest::makeProcessor(cleanImage);
  q->addLayer(proctest::makeLayer(cleanImage, {effect_id::kNoiseReduction}));
  auto same = proctest::render(*q);
  ASSERT_TRUE(same);
  EXPECT_EQ(proctest::maxDifference(*same, *cleanImage->imageData()), 0.f);

  // A very high ISO speed in the file means grain even when the picture measures clean (smoothed in
  // the camera); a low one adds nothing.
  EffectRenderInfo info;
  info.canvasSize = {256, 192};
  for (auto [iso, acts] : {std::pair{100.f, false}, std::pair{25600.f, true}}) {
    OrvantaExifData exif;
    exif.isoSpeed = iso;
    auto shot = proctest::makeImage(256, 192, clean, exif);
    auto effect = EffectFactory::instance().makeEffectWithID(effect_id::kNoiseReduction,
                                                             std::make_shared<EffectParametersContext>(shot));
    EXPECT_EQ(effect->makeKernel(info) != nullptr, acts) << "ISO " << iso;
  }
}

// Fine texture (fur, fabric) over most of a clean picture is not noise: the flattest parts of the
// picture tell its noise; over the same picture with grain the grain is still found.
TEST(EnhanceEffects, NoiseEstimateIsNotFooledByTexture) {
  std::mt19937 rng(3);
  std::normal_distribution<float> gauss(0, 1);
  auto picture = [&](float sigma) {
    return proctest::makeImage(600, 600, [&](int x, int y, float* c) {
      const float texture = x < 360 ? 0.15f * std::sin(x * 2.1f) * std::sin(y * 1.7f) : 0.f;
      const float v = std::sqrt(0.3f + 0.1f * float(y) / 600) + texture + sigma * gauss(rng);
      c[0] = c[1] = c[2] = v * v;
    });
  };
  EXPECT_LT(NoiseReductionEffect::estimateNoise(*picture(0)->imageData()), 0.002);
  EXPECT_NEAR(NoiseReductionEffect::estimateNoise(*picture(0.02f)->imageData()), 0.02, 0.007);
}

// A picture filled with fine texture from edge to edge (fur, foliage), clean: every crop of it is
// texture, so the flattest crop is no help, and the texture measured as grain (0.015, twice the
// layer's floor: the fur was smoothed). Grain is independent from pixel to pixel and halves in the
// mean of two by two pixels; texture drawn over a few pixels does not: the picture measures clean.
// Grain over a plain picture is measured as before.
TEST(EnhanceEffects, NoiseEstimateIsNotFooledByTextureFillingTheFrame) {
  std::mt19937 rng(5);
  std::uniform_real_distribution<float> phase(0, 6.2832f);
  std::normal_distribution<float> gauss(0, 1);
  // Strands: sums of waves three to six pixels long in many directions.
  struct Wave {
    float kx, ky, phase;
  };
  std::vector<Wave> waves;
  for (int i = 0; i < 24; ++i) {
    const float direction = phase(rng), length = 3.f + 3.f * float(i % 6) / 5;
    waves.push_back({std::cos(direction) * 6.2832f / length, std::sin(direction) * 6.2832f / length, phase(rng)});
  }
  auto picture = [&](float textured, float sigma) {
    return proctest::makeImage(600, 400, [&](int x, int y, float* c) {
      float texture = 0;
      for (const Wave& w : waves) texture += std::sin(w.kx * float(x) + w.ky * float(y) + w.phase);
      const float v = std::sqrt(0.25f) + textured * texture + sigma * gauss(rng);
      c[0] = v * v * 1.1f, c[1] = v * v, c[2] = v * v * 0.8f;
    });
  };
  EXPECT_LT(NoiseReductionEffect::estimateNoise(*picture(0.025f, 0)->imageData()), 0.004);
  EXPECT_NEAR(NoiseReductionEffect::estimateNoise(*picture(0, 0.02f)->imageData()), 0.02, 0.004);
}

// A light the colour layer leaves as the picture's mood (a slight blue of shade, inside its dead
// zone) is its white: vibrance raises saturation from it, so the greys keep the tint they had and are
// not made bluer. (Raised from neutral, the greys of a dull picture under the mood's blue took a
// stronger blue, the cast doubled.)
TEST(Enhance, VibranceDoesNotRaiseTheTintTheColourLayerLeaves) {
  const std::array<float, 3> light{0.93f, 1.f, 1.12f};
  const float muted[][3] = {{0.2f, 0.18f, 0.16f}, {0.16f, 0.18f, 0.17f}, {0.17f, 0.17f, 0.19f}};
  auto image = proctest::makeImage(192, 128, [&](int x, int y, float* c) {
    const int patch = (x / 32) + 6 * (y / 32);
    const float shade = 0.9f + 0.1f * float((x * 7 + y * 13) % 11) / 10;
    for (int k = 0; k < 3; ++k)  // a pale strip along the top reaches near white: no stretch of the levels
      c[k] = light[k] * (y < 4 ? 0.85f : shade * (patch % 2 ? muted[(patch / 2) % 3][k] : 0.17f));
  });
  auto greyChroma = [&](bool vibrance, double* need) {
    auto p = enhance::enhancedProcessor(image, {preset("Presets/DefaultJpegPreset")});
    for (size_t i = 0; i < p->getLayersCount(); ++i) {
      auto layer = std::dynamic_pointer_cast<AdjustmentLayer>(p->layerAtIndex(i));
      if (layer && layer->effectsCount() > 0 && layer->effectAtIndex(0)->id() == std::string(effect_id::kVibrance))
        layer->setEnabled(vibrance);
    }
    auto out = proctest::render(*p);
    double sum = 0;
    int n = 0;
    for (int y = 8; y < 128; y += 32)
      for (int x = 8; x < 192; x += 32)
        if (((x / 32) + 6 * (y / 32)) % 2 == 0) {
          const Lab lab = toLab(proctest::px(*out, x + 8, y + 8));
          sum += std::hypot(lab.a, lab.b), ++n;
        }
    if (need) *need = ea::analyse(*EffectParametersContext(image).analysisImage()).vibranceNeed;
    return sum / n;
  };
  double need = 0;
  const double without = greyChroma(false, nullptr), with = greyChroma(true, &need);
  std::printf("grey chroma without vibrance %.2f, with %.2f (need %.2f)\n", without, with, need);
  EXPECT_GT(need, 0.1);
  EXPECT_GT(without, 1.5);  // the mood's tint is there
  EXPECT_LT(with, without * 1.02 + 0.05);
}

// A picture whose right half is transparent over garish colours: the hidden pixels decide nothing.
// The analysis equals that of the visible half saved alone, the enhanced visible half equals the
// enhanced half alone, and the result keeps the picture's transparency exactly.
TEST(Enhance, TransparentPartsLeaveTheEnhancementOfTheVisiblePartAlone) {
  const std::filesystem::path dir = solvane::test::makeTempDir("transparent");
  // A small photograph with a warm cast and a veil, so every decision has something to decide.
  auto small = resize(*photo("chelsea")->imageData(), 160, 120);
  ASSERT_TRUE(small);
  const int w = small->width(), h = small->height();
  codecs::Bitmap alone, combined;
  ASSERT_TRUE(alone.allocate(w, h, 3, 8) && combined.allocate(2 * w, h, 4, 8));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < 2 * w; ++x) {
      uint8_t* out = combined.row(y) + 4 * x;
      if (x >= w) {
        const bool odd = (x / 3 + y / 3) % 2;
        out[0] = odd ? 255 : 0, out[1] = odd ? 0 : 255, out[2] = 255, out[3] = 0;
        continue;
      }
      const float* c = &small->at(x, y).r;
      const float cast[3] = {1.3f, 1.0f, 0.7f};
      for (int k = 0; k < 3; ++k) {
        const float v = 0.15f + 0.7f * linearToSrgb(std::clamp(c[k] * cast[k], 0.f, 1.f));
        out[k] = alone.row(y)[3 * x + k] = uint8_t(std::lround(v * 255));
      }
      out[3] = 255;
    }
  auto read = [](const std::filesystem::path& p) {
    return ImageReader::instance().read(p, {}, kReadDefaultFlags, nullptr);
  };
  auto half = read(enginetest::writeImage(dir / "alone.png", alone, {.format = codecs::Format::PNG}));
  auto whole = read(enginetest::writeImage(dir / "whole.png", combined, {.format = codecs::Format::PNG}));
  ASSERT_TRUE(half && whole);
  ASSERT_TRUE(whole->source()->data()->alpha());

  namespace ea = enhance_analysis;
  const ea::Analysis a = ea::analyse(*EffectParametersContext(whole).analysisImage());
  const ea::Analysis b = ea::analyse(*EffectParametersContext(half).analysisImage());
  EXPECT_GT(b.castDegrees, 5);
  EXPECT_EQ(a.castDegrees, b.castDegrees);
  EXPECT_EQ(a.fullGains, b.fullGains);
  EXPECT_EQ(a.colourStrength, b.colourStrength);
  for (auto [x, y] : {std::pair{a.tone.fromBlack, b.tone.fromBlack},
                      {a.tone.toBlack, b.tone.toBlack},
                      {a.tone.fromWhite, b.tone.fromWhite},
                      {a.tone.toWhite, b.tone.toWhite},
                      {a.tone.midBoost, b.tone.midBoost},
                      {a.tone.exposureGain, b.tone.exposureGain},
                      {a.vibranceNeed, b.vibranceNeed},
                      {a.shadowNeed, b.shadowNeed},
                      {a.highlightNeed, b.highlightNeed},
                      {a.sharpness, b.sharpness}})
    EXPECT_EQ(x, y);

  auto enhancedHalf = enhanced(half), enhancedWhole = enhanced(whole);
  ASSERT_TRUE(enhancedHalf && enhancedWhole);
  ASSERT_TRUE(enhancedWhole->alpha());
  EXPECT_EQ(proctest::maxDifference(*enhancedHalf, *enhancedWhole->copy({0, 0, w, h})), 0.f);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < 2 * w; ++x) ASSERT_EQ(enhancedWhole->alpha()->at(x, y), x < w ? 1.f : 0.f);
  // And the enhancement did change the picture.
  EXPECT_GT(meanDeltaE(*half->imageData(), *enhancedHalf), 3);
}
