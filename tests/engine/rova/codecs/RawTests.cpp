// The RAW development on real picture content: DNGs made from the test photographs by a sensor of
// known colour (tools/dng) develop back into the photographs, and the default RAW preset on top
// leaves a good exposure alone and brings a poor one back.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <tuple>

#include "DngWriter.h"
#include "common/TestSupport.h"
#include "engine/rova/EngineTestFiles.h"
#include "engine/rova/effects/ColourDifference.h"
#include "engine/rova/effects/EnhancePresets.h"
#include "engine/rova/processor/ProcessorTestSupport.h"
#include "rova/Color.h"
#include "rova/FilePixels.h"
#include "rova/reader/ImageReader.h"

using namespace rova;
using enhance::Lab;
using enhance::toLab;
namespace fs = std::filesystem;

namespace {

const char* kPhotos[] = {"astronaut", "coffee", "chelsea", "rocket"};

// A test photograph at twice its stored size (linear interpolation in linear light): the detail of a
// camera's picture is softer than its sensor's pixels (lens, low-pass filter), while the stored
// photographs are sharp to their last pixel, which no colour filter mosaic can hold.
ImagePtr photoAtItsOwnSize(const std::string& name) {
  const auto path = solvane::test::dataDir() / "enhance" / (name + ".png");
  return ImageReader::instance().read(path.string(), {}, kReadDefaultFlags, nullptr);
}

ImagePtr photo(const std::string& name) {
  auto small = photoAtItsOwnSize(name);
  if (!small) return nullptr;
  const auto& s = *small->imageData();
  const int w = 2 * s.width(), h = 2 * s.height();
  return proctest::makeImage(w, h, [&](int x, int y, float rgb[3]) {
    const double fx = std::clamp((x + 0.5) / 2 - 0.5, 0.0, s.width() - 1.0),
                 fy = std::clamp((y + 0.5) / 2 - 0.5, 0.0, s.height() - 1.0);
    const int x0 = std::min(int(fx), s.width() - 2), y0 = std::min(int(fy), s.height() - 2);
    const float ax = float(fx - x0), ay = float(fy - y0);
    const float* a = &s.row(y0)[x0].r;
    const float* b = &s.row(y0 + 1)[x0].r;
    for (int c = 0; c < 3; ++c)
      rgb[c] = (1 - ay) * ((1 - ax) * a[c] + ax * a[3 + c]) + ay * ((1 - ax) * b[c] + ax * b[3 + c]);
  });
}

fs::path makeDng(const fs::path& dir, const std::string& name, const solvane::dng::SensorSpec& spec,
                 const ImagePtr& picture = nullptr) {
  auto data = (picture ? picture : photo(name))->imageData();
  const fs::path p = dir / (name + ".dng");
  std::string error;
  EXPECT_TRUE(solvane::dng::writeBayerDng(p.string(), data->width(), data->height(), data->floats(), spec, &error))
      << error;
  return p;
}

ImagePtr develop(const fs::path& p, uint32_t extra = 0) {
  std::string error;
  auto image = ImageReader::instance().read(p.string(), {}, kReadDefaultFlags | kReadMetadata | kReadRawDevelop | extra,
                                            nullptr, &error);
  EXPECT_TRUE(image) << error;
  return image;
}

// With SOLVANE_RAW_LOOK set to a folder, pictures the tests make are written there as PNG to look at.
void look(const ImageDataRGBf& d, const std::string& name) {
  const char* dir = std::getenv("SOLVANE_RAW_LOOK");
  if (!dir) return;
  codecs::Bitmap b;
  b.allocate(d.width(), d.height(), 3, 8);
  FilePixelFormat format;
  format.colorSpace = kColorProfileSRGB;
  writeFilePixels(d, format, b.row(0), b.rowBytes());
  codecs::EncodeOptions o;
  o.format = codecs::Format::PNG;
  enginetest::writeFile(fs::path(dir) / (name + ".png"), codecs::encode(b, o, nullptr));
}

// A full-size development straight from the decoder, as an image.
ImageDataRGBfPtr decodeRaw(const fs::path& p, const codecs::DecodeRequest& request) {
  const auto bytes = enginetest::readFile(p);
  codecs::DecodeResult result;
  std::string error;
  EXPECT_TRUE(codecs::decode(bytes.data(), bytes.size(), "dng", request, result, &error)) << error;
  if (result.bitmap.empty()) return nullptr;
  EXPECT_TRUE(result.linear);
  auto data = ImageDataRGBf::create(result.bitmap.width, result.bitmap.height);
  for (int y = 0; y < data->height(); ++y) std::memcpy(data->row(y), result.bitmap.row(y), size_t(data->width()) * 12);
  return data;
}

double medianLuminance(const ImageDataRGBf& d) {
  std::vector<float> y(d.pixelCount());
  for (size_t i = 0; i < y.size(); ++i) {
    const float* c = d.floats() + 3 * i;
    y[i] = 0.2126f * c[0] + 0.7152f * c[1] + 0.0722f * c[2];
  }
  std::nth_element(y.begin(), y.begin() + y.size() / 2, y.end());
  return y[y.size() / 2];
}

}  // namespace

// At full size, with the sensor of the description (sRGB filters) and with filters that mix the
// primaries (so the colour matrix has work to do), the photograph comes back: its exposure (no
// brightening by the histogram), its colour and its detail.
TEST(RawDevelop, PlainDevelopGivesThePhotographBack) {
  const fs::path dir = solvane::test::makeTempDir("rawplain");
  solvane::dng::SensorSpec mixing;
  mixing.mixing = {0.8, 0.25, -0.05, 0.15, 0.75, 0.1, 0.0, 0.2, 0.8};
  for (const auto& [label, spec] : {std::pair{"sRGB filters", solvane::dng::SensorSpec{}}, {"mixing filters", mixing}})
    for (const char* name : kPhotos) {
      auto original = photo(name);
      auto developed = develop(makeDng(dir, name, spec));
      ASSERT_TRUE(developed);
      ASSERT_EQ(developed->size(), original->size());
      const double de = enhance::meanDeltaE(*developed->imageData(), *original->imageData());
      const double ev = std::log2(medianLuminance(*developed->imageData()) / medianLuminance(*original->imageData()));
      EXPECT_LT(de, 2.5) << name << ", " << label;
      EXPECT_LT(std::fabs(ev), 0.05) << name << ", " << label;
      std::printf("%s, %s: plain develop mean dE %.2f, median off by %.3f EV\n", name, label, de, ev);
      look(*developed->imageData(), std::string(name) + "-plain");
      look(*original->imageData(), std::string(name) + "-photo");
    }
}

// A DNG's BaselineExposure says how far over the sensor's white its picture's white lies: a picture
// stored two stops under the sensor's white, with the tag saying so, comes back all the same.
TEST(RawDevelop, BaselineExposureOfTheFileIsHonoured) {
  const fs::path dir = solvane::test::makeTempDir("rawbaseline");
  solvane::dng::SensorSpec spec;
  spec.pictureWhite = 0.25;
  spec.baselineExposure = 2.0;
  auto original = photo("coffee");
  auto developed = develop(makeDng(dir, "coffee", spec));
  ASSERT_TRUE(developed);
  EXPECT_NEAR(std::log2(medianLuminance(*developed->imageData()) / medianLuminance(*original->imageData())), 0, 0.05);
  EXPECT_LT(enhance::meanDeltaE(*developed->imageData(), *original->imageData()), 2.5);
}

namespace {

std::filesystem::path rawPreset() { return enhance::resourcesDir() / "Presets" / "DefaultRAWPreset.slvnr"; }

ImageDataRGBfPtr enhancedRaw(const ImagePtr& image, Size fit = {}, RectRoiF region = {}) {
  std::vector<std::string> problems;
  auto p = enhance::enhancedProcessor(image, {rawPreset()}, &problems);
  EXPECT_TRUE(problems.empty()) << problems.front();
  return proctest::render(*p, region, fit);
}

// Pixels an 8-bit file would hold at white in some channel.
size_t clippedPixels(const ImageDataRGBf& d) {
  size_t n = 0;
  for (size_t i = 0; i < d.pixelCount(); ++i) {
    const float* c = d.floats() + 3 * i;
    if (linearToSrgb(std::min(std::max({c[0], c[1], c[2]}), 1.f)) >= 254.5f / 255) ++n;
  }
  return n;
}

}  // namespace

TEST(RawDevelop, DefaultPresetLeavesAGoodExposureAndBringsBackAPoorOne) {
  const fs::path dir = solvane::test::makeTempDir("rawpreset");
  for (const char* name : kPhotos) {
    auto original = photo(name);
    auto good = develop(makeDng(dir, name, {}));
    auto result = enhancedRaw(good);
    const double de = enhance::meanDeltaE(*result, *original->imageData());
    std::printf("%s: preset on good dE %.2f clipped %zu -> %zu\n", name, de, clippedPixels(*original->imageData()),
                clippedPixels(*result));
    EXPECT_LT(de, 3.0) << name;
    EXPECT_LE(clippedPixels(*result), clippedPixels(*original->imageData())) << name;
    look(*result, std::string(name) + "-preset");
    solvane::dng::SensorSpec under;
    under.exposureEV = -1.5;
    auto dark = develop(makeDng(dir, std::string(name), under));
    auto back = enhancedRaw(dark);
    const double off = std::log2(medianLuminance(*back) / medianLuminance(*original->imageData()));
    std::printf("%s: under by 1.5 EV: median %.4f -> %.4f (photo %.4f), %.2f EV off; dE %.2f\n", name,
                medianLuminance(*dark->imageData()), medianLuminance(*back), medianLuminance(*original->imageData()),
                off, enhance::meanDeltaE(*back, *original->imageData()));
    // Half a stop; the cat's own white falls short (0.8), and with that much unused headroom it is
    // brought to white like any underexposed picture, past its own key by what its white lacked.
    EXPECT_LT(std::fabs(off), std::strcmp(name, "chelsea") ? 0.5 : 0.75) << name;
    look(*back, std::string(name) + "-under-preset");
    // Over-exposed by a stop, part of it past the sensor's white: the RAW's headroom (the values
    // over 1 the develop keeps) is brought back under white.
    solvane::dng::SensorSpec over;
    over.exposureEV = 1;
    auto bright = develop(makeDng(dir, std::string(name), over));
    auto recovered = enhancedRaw(bright);
    const double plainError = enhance::meanDeltaE(*bright->imageData(), *original->imageData()),
                 recoveredError = enhance::meanDeltaE(*recovered, *original->imageData());
    std::printf("%s: over by 1 EV: dE %.2f -> %.2f, clipped %zu -> %zu\n", name, plainError, recoveredError,
                clippedPixels(*bright->imageData()), clippedPixels(*recovered));
    // The night scene is the exception: a stop too bright, its blown flame piles up at white no more
    // than a good photo's blown sky or lamps do, so it is not darkened (its headroom still rolls off
    // under white); it must not end much further off than it came.
    if (std::string(name) == "rocket")
      EXPECT_LT(recoveredError, 1.1 * plainError) << name;
    else
      EXPECT_LT(recoveredError, 0.9 * plainError) << name;
    EXPECT_EQ(clippedPixels(*recovered), 0u) << name;
    look(*bright->imageData(), std::string(name) + "-over-plain");
    look(*recovered, std::string(name) + "-over-preset");
  }
}

// The preview decodes half the sensor's pixels without demosaicing; the same development follows,
// so the preview and the full-size render of the same region agree (plain and with the preset).
TEST(RawDevelop, PreviewAgreesWithTheFullSizeRender) {
  const fs::path dir = solvane::test::makeTempDir("rawpreview");
  const fs::path p = makeDng(dir, "chelsea", {});
  auto full = develop(p), half = develop(p, kReadFastRawPreview);
  ASSERT_TRUE(full && half);
  ASSERT_EQ(half->size(), (Size{full->size().width / 2, full->size().height / 2}));
  const RectRoiF region{80, 60, 320, 200};  // canvas pixels
  const RectRoiF halfRegion{40, 30, 160, 100};
  auto fullRender = enhancedRaw(full, {160, 100}, region);
  auto halfRender = enhancedRaw(half, {160, 100}, halfRegion);
  ASSERT_TRUE(fullRender && halfRender);
  ASSERT_EQ(fullRender->width(), halfRender->width());
  ASSERT_EQ(fullRender->height(), halfRender->height());
  EXPECT_LT(enhance::meanDeltaE(*fullRender, *halfRender), 1.5);
  EXPECT_NEAR(std::log2(medianLuminance(*fullRender) / medianLuminance(*halfRender)), 0, 0.05);
}

// Over the sensor's white one channel stops following the light: a bright orange ramp that runs two
// stops past the clip keeps its hue while it is measured and turns to grey, never to yellow or
// pink, where it is not; its lightness never drops as the light grows.
TEST(RawDevelop, HighlightsOverTheClipKeepTheirHue) {
  const fs::path dir = solvane::test::makeTempDir("rawclip");
  const int w = 256, h = 32;  // LibRaw takes nothing under 22 pixels a side
  const float orange[3] = {1.0f, 0.45f, 0.12f};
  auto ramp = proctest::makeData(w, h, [&](int x, int, float rgb[3]) {
    const float k = 4.0f * float(x) / (w - 1);
    for (int c = 0; c < 3; ++c) rgb[c] = orange[c] * k;
  });
  const fs::path p = dir / "ramp.dng";
  std::string error;
  ASSERT_TRUE(solvane::dng::writeBayerDng(p.string(), w, h, ramp->floats(), {}, &error)) << error;
  auto developed = develop(p);
  ASSERT_TRUE(developed);
  const auto& d = *developed->imageData();
  const Lab reference = toLab(orange);
  const double referenceHue = std::atan2(reference.b, reference.a) * 180 / M_PI;
  double lastL = 0, worst = 0;
  int measured = 0;
  for (int x = 4; x < w - 4; ++x) {
    const float* c = &d.row(h / 2)[x].r;
    // Compared in a range shown whole: the ramp brought down by its own brightest value.
    float shown[3];
    for (int k = 0; k < 3; ++k) shown[k] = c[k] / 5.f;
    const Lab lab = toLab(shown);
    const double chroma = std::hypot(lab.a, lab.b);
    if (chroma > 4 && lab.L > 15) {
      double dh = std::atan2(lab.b, lab.a) * 180 / M_PI - referenceHue;
      worst = std::max(worst, std::fabs(dh));
      EXPECT_LT(std::fabs(dh), 8.0) << "x " << x << " L " << lab.L << " chroma " << chroma;
      ++measured;
    }
    EXPECT_GE(lab.L, lastL - 0.5) << "x " << x;
    lastL = std::max(lastL, lab.L);
  }
  EXPECT_GT(measured, w / 4);
  std::printf("orange ramp: hue within %.1f degrees of the light's over %d pixels\n", worst, measured);
  look(d, "orange-ramp");
}

// Denoising while decoding grows with the ISO speed the file states: a base-ISO file keeps every
// pixel, a high-ISO one comes out much closer to the clean picture, and the default preset on top
// never takes it further from it.
TEST(RawDevelop, DenoisingFollowsTheIsoSpeed) {
  const fs::path dir = solvane::test::makeTempDir("rawnoise");
  for (const char* name : {"coffee", "rocket"}) {
    auto original = photo(name);
    for (auto [iso, photons, readNoise] : {std::tuple{100, 40000.0, 2.0}, {3200, 1250.0, 8.0}}) {
      solvane::dng::SensorSpec spec;
      spec.iso = iso;
      spec.photonsAtWhite = photons;
      spec.readNoise = readNoise;
      const fs::path p = makeDng(dir, name, spec);
      auto plain = develop(p), denoised = develop(p, kReadFineDenoise);
      ASSERT_TRUE(plain && denoised);
      EXPECT_EQ(plain->exif().isoSpeed, iso);
      const double before = enhance::meanDeltaE(*plain->imageData(), *original->imageData()),
                   after = enhance::meanDeltaE(*denoised->imageData(), *original->imageData()),
                   enhanced = enhance::meanDeltaE(*enhancedRaw(denoised), *original->imageData());
      std::printf("%s ISO %d: mean dE %.2f, denoised %.2f, with the preset %.2f\n", name, iso, before, after, enhanced);
      if (iso <= 200)
        EXPECT_EQ(proctest::maxDifference(*plain->imageData(), *denoised->imageData()), 0.f) << name;
      else
        EXPECT_LT(after, 0.8 * before) << name;
      EXPECT_LT(enhanced, after + 0.3) << name << " ISO " << iso;
      if (iso > 200) look(*enhancedRaw(denoised), std::string(name) + "-iso3200-preset");
    }
  }
}

// A full-size development in bands gives the pixels of the development of the whole picture at once,
// over three bands of a picture three photographs tall. Denoised (each band by a LibRaw decoder of its
// own with context rows around it for the wavelet denoising, then our demosaicing) and plain (our own
// demosaicing, whose tiles then start at each band): the same pixels.
TEST(RawDevelop, BandsGiveTheWholeDevelopment) {
  const fs::path dir = solvane::test::makeTempDir("rawbands");
  auto original = photo("coffee")->imageData();
  const int w = original->width(), tile = original->height(), h = 3 * tile;
  auto tall = proctest::makeImage(w, h, [&](int x, int y, float rgb[3]) {
    const float* px = &original->row(y % tile)[x].r;
    for (int c = 0; c < 3; ++c) rgb[c] = px[c];
  });
  for (auto [iso, photons, readNoise] : {std::tuple{100, 40000.0, 2.0}, {3200, 1250.0, 8.0}}) {
    SCOPED_TRACE("ISO " + std::to_string(iso));
    solvane::dng::SensorSpec spec;
    spec.iso = iso;
    spec.photonsAtWhite = photons;
    spec.readNoise = readNoise;
    const fs::path p = dir / ("tall-" + std::to_string(iso) + ".dng");
    std::string error;
    ASSERT_TRUE(solvane::dng::writeBayerDng(p.string(), w, h, tall->imageData()->floats(), spec, &error)) << error;
    codecs::DecodeRequest request;
    request.rawDenoise = iso > 200;
    request.rawBands = 1;
    const auto a = decodeRaw(p, request);
    request.rawBands = 3;
    const auto b = decodeRaw(p, request);
    ASSERT_TRUE(a && b);
    ASSERT_EQ(a->width(), b->width());
    ASSERT_EQ(a->height(), b->height());
    const float worst = proctest::maxDifference(*a, *b);
    EXPECT_EQ(worst, 0.f);
  }
}

// Our own demosaicing of a plain Bayer sensor against LibRaw's DHT, which it replaced: on DNGs of the
// test photographs at their own pixel size (detail up to the sensor's limit, where demosaicing errs
// most) its mean CIEDE2000 to the photograph is no higher, and within a twentieth on each; at twice
// their size (a camera's softer detail) lower on each.
TEST(RawDevelop, OwnDemosaicingIsAsFaithfulAsDht) {
  const fs::path dir = solvane::test::makeTempDir("rawdemosaic");
  double ours = 0, dht = 0;
  for (const char* name : kPhotos) {
    for (const bool ownSize : {true, false}) {
      auto original = ownSize ? photoAtItsOwnSize(name) : photo(name);
      const fs::path p = makeDng(dir, name, {}, original);
      codecs::DecodeRequest request;
      const auto own = decodeRaw(p, request);
      request.rawLibRawDemosaic = true;
      const auto reference = decodeRaw(p, request);
      ASSERT_TRUE(own && reference);
      const double deOwn = enhance::meanDeltaE(*own, *original->imageData()),
                   deDht = enhance::meanDeltaE(*reference, *original->imageData());
      std::printf("%s at %s size: mean dE %.3f, DHT %.3f\n", name, ownSize ? "its own" : "twice its", deOwn, deDht);
      if (ownSize) {
        ours += deOwn / std::size(kPhotos);
        dht += deDht / std::size(kPhotos);
        EXPECT_LT(deOwn, deDht + 0.05) << name;
        look(*own, std::string(name) + "-own-size");
        look(*reference, std::string(name) + "-own-size-dht");
      } else {
        EXPECT_LT(deOwn, deDht) << name;
      }
    }
  }
  std::printf("mean over the photographs at their own size: dE %.3f, DHT %.3f\n", ours, dht);
  EXPECT_LE(ours, dht);
}
// Our own development scales the sensor's levels as LibRaw's did (black level, white balance as
// shot, white level, colour matrix): on two flat colours seen through filters that mix the primaries,
// the two developments agree to LibRaw's 16-bit steps everywhere but at the edge between the colours,
// the picture's borders included.
TEST(RawDevelop, OwnDevelopmentKeepsTheLevelsOfLibRaw) {
  const fs::path dir = solvane::test::makeTempDir("rawlevels");
  const int w = 200, h = 160;
  auto flat = proctest::makeImage(
      w, h, [&](int x, int, float rgb[3]) { rgb[0] = 0.3f, rgb[1] = 0.5f, rgb[2] = x < w / 2 ? 0.2f : 0.9f; });
  solvane::dng::SensorSpec mixing;
  mixing.mixing = {0.8, 0.25, -0.05, 0.15, 0.75, 0.1, 0.0, 0.2, 0.8};
  const fs::path p = makeDng(dir, "flat", mixing, flat);
  codecs::DecodeRequest request;
  const auto own = decodeRaw(p, request);
  request.rawLibRawDemosaic = true;
  const auto reference = decodeRaw(p, request);
  ASSERT_TRUE(own && reference);
  float worst = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      if (std::abs(x - w / 2) > 4)
        for (int c = 0; c < 3; ++c)
          worst = std::max(worst, std::fabs((&own->row(y)[x].r)[c] - (&reference->row(y)[x].r)[c]));
  EXPECT_LT(worst, 2e-4f);
  EXPECT_NEAR(own->row(h / 2)[w / 4].b, 0.2f, 1e-3f);
}

// The reader takes our own development straight into its image, block by block, turned by the file's
// orientation on the way: the same pixels as the decoder's bitmap turned afterwards, for every
// orientation (a picture of odd width and height, so every turn and mirror shows).
TEST(RawDevelop, ReaderTakesTheDevelopmentTurnedByTheOrientation) {
  const fs::path dir = solvane::test::makeTempDir("raworientation");
  auto original = photoAtItsOwnSize("coffee")->imageData();
  const int w = 301, h = 203;
  auto picture = proctest::makeImage(w, h, [&](int x, int y, float rgb[3]) {
    for (int c = 0; c < 3; ++c) rgb[c] = (&original->row(y)[x].r)[c];
  });
  for (int orientation = 1; orientation <= 8; ++orientation) {
    SCOPED_TRACE("orientation " + std::to_string(orientation));
    solvane::dng::SensorSpec spec;
    spec.orientation = orientation;
    const fs::path p = makeDng(dir, "turned" + std::to_string(orientation), spec, picture);
    const auto stored = decodeRaw(p, {});
    auto read = develop(p);
    ASSERT_TRUE(stored && read);
    const auto turned = applyOrientation(stored, orientation);
    ASSERT_EQ(read->imageData()->width(), turned->width());
    ASSERT_EQ(read->imageData()->height(), turned->height());
    EXPECT_EQ(proctest::maxDifference(*read->imageData(), *turned), 0.f);
  }
}
