// The RAW development on real picture content: DNGs made from the test photographs by a sensor of
// known colour (tools/dng) develop back into the photographs, and the default RAW preset on top
// leaves a good exposure alone and brings a poor one back.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>

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
namespace fs = std::filesystem;

namespace {

const char* kPhotos[] = {"astronaut", "coffee", "chelsea", "rocket"};

// A test photograph at twice its stored size (linear interpolation in linear light): the detail of a
// camera's picture is softer than its sensor's pixels (lens, low-pass filter), while the stored
// photographs are sharp to their last pixel, which no colour filter mosaic can hold.
ImagePtr photo(const std::string& name) {
  const auto path = solvane::test::dataDir() / "enhance" / (name + ".png");
  auto small = ImageReader::instance().read(path.string(), {}, kReadDefaultFlags, nullptr);
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

fs::path makeDng(const fs::path& dir, const std::string& name, const solvane::dng::SensorSpec& spec) {
  auto data = photo(name)->imageData();
  const fs::path p = dir / (name + ".dng");
  std::string error;
  EXPECT_TRUE(solvane::dng::writeBayerDng(p.string(), data->width(), data->height(), data->floats(), spec, &error))
      << error;
  return p;
}

ImagePtr develop(const fs::path& p, uint32_t extra = 0) {
  std::string error;
  auto image =
      ImageReader::instance().read(p.string(), {}, kReadDefaultFlags | kReadMetadata | kReadRawDevelop | extra,
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

TEST(RawDevelop, PlainDevelopGivesThePhotographBack) {
  const fs::path dir = solvane::test::makeTempDir("rawplain");
  for (const char* name : kPhotos) {
    auto original = photo(name);
    auto developed = develop(makeDng(dir, name, {}));
    ASSERT_TRUE(developed);
    ASSERT_EQ(developed->size(), original->size());
    const double de = enhance::meanDeltaE(*developed->imageData(), *original->imageData());
    std::printf("%s: plain develop mean dE %.2f, median %.4f vs %.4f\n", name, de,
                medianLuminance(*developed->imageData()), medianLuminance(*original->imageData()));
    look(*developed->imageData(), std::string(name) + "-plain");
    look(*original->imageData(), std::string(name) + "-photo");
  }
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
    look(*result, std::string(name) + "-preset");
    solvane::dng::SensorSpec under;
    under.exposureEV = -1.5;
    auto dark = develop(makeDng(dir, std::string(name), under));
    auto back = enhancedRaw(dark);
    std::printf("%s: under by 1.5 EV: median %.4f -> %.4f (photo %.4f), %.2f EV off; dE %.2f\n", name,
                medianLuminance(*dark->imageData()), medianLuminance(*back), medianLuminance(*original->imageData()),
                std::log2(medianLuminance(*back) / medianLuminance(*original->imageData())),
                enhance::meanDeltaE(*back, *original->imageData()));
    look(*back, std::string(name) + "-under-preset");
  }
}

TEST(RawDevelop, DISABLED_LayerAblation) {
  const fs::path dir = solvane::test::makeTempDir("rawabl");
  for (const char* name : kPhotos) {
    auto original = photo(name);
    auto good = develop(makeDng(dir, name, {}));
    std::vector<std::string> problems;
    auto p = enhance::enhancedProcessor(good, {rawPreset()}, &problems);
    auto layers = p->layers();
    std::printf("%s all %.2f:", name, enhance::meanDeltaE(*proctest::render(*p), *original->imageData()));
    for (size_t i = 1; i < layers.size(); ++i) {
      layers[i]->setEnabled(false);
      std::printf(" -%zu %.2f", i, enhance::meanDeltaE(*proctest::render(*p), *original->imageData()));
      layers[i]->setEnabled(true);
    }
    std::printf("\n");
  }
}
