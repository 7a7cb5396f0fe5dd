// The automatic enhancement on the command line, and its speed.
//
//   bench_enhance IN OUT [--fit N] [--compare] [--preset FILE]... [--before darken|cast|fade|noise]
//       Enhances IN with the default preset for its kind (or the given presets, in order) and writes
//       OUT (PNG when it ends in .png, else JPEG). --fit renders into an N x N box; --compare writes
//       the original and the result side by side; --before spoils the picture first (1.5 EV darker,
//       a strong colour cast, faded, or grainy) to see what the enhancement does with it.
//   bench_enhance --quality [OUTDIR]
//       Spoils each photo of tests/data/enhance/photos.tsv in each way (also usable with --before:
//       darken, brighten, cast, coolcast, fade, darkcool, blue, darkblue,
//       noise), enhances it and prints the mean
//       CIEDE2000 to the original per spoiler, for the half the rules are tuned on and the half held
//       back apart, and per photo, then what each layer adds on the unspoilt photographs. With
//       SOLVANE_BENCH_VERBOSE=1 also what the analysis decided for each; SOLVANE_BENCH_HALF=held (or
//       tune, limit) measures one half only.
//   bench_enhance --speed [WIDTH HEIGHT]
//       Makes a photograph-like JPEG (6000 x 4000 by default) and times, with the default preset,
//       the full-size render and the 2000 x 2000 preview beside the libjpeg-turbo decode and encode
//       of the same file, with the peak memory; and the renders alone (source already read) of the
//       full size against the preview, first and again. Then the same picture as a 14-bit DNG:
//       developed and enhanced with the default RAW preset at full size and for the preview.
//   bench_enhance --kernels FILE [darken|cast|fade|noise]
//       Times each effect of the default preset alone over the picture (spoilt first when asked).
//   bench_enhance --loop FILE preview|full N
//       Renders N times (for a profiler); with SOLVANE_BENCH_STAGES=1 it enables the layers one by one
//       and prints the best time of each prefix of the stack.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <thread>

#include "BenchPictures.h"
#include "BenchSupport.h"
#include "BenchYardstick.h"
#include "DngWriter.h"
#include "rova/Color.h"
#include "rova/ColourDifference.h"
#include "rova/FilePixels.h"
#include "rova/codecs/Codecs.h"
#include "rova/effects/ToneMath.h"
#include "rova/effects/auto/AutoEffects.h"
#include "rova/effects/auto/EnhanceAnalysis.h"
#include "rova/presets/PresetLayers.h"
#include "rova/reader/ImageReader.h"

using namespace rova;
using bench::peakMB;
using bench::seconds;

namespace {

codecs::Bitmap toBitmap(const std::vector<const ImageDataRGBf*>& parts) {
  // 8-bit sRGB, side by side, through the engine's one conversion to file pixels.
  FilePixelFormat format;
  format.colorSpace = kColorProfileSRGB;
  int w = 0, h = 0;
  for (auto* p : parts) w += p->width(), h = std::max(h, p->height());
  codecs::Bitmap b;
  b.allocate(w, h, 3, 8);
  std::memset(b.pixels.data(), 0, b.pixels.size());
  int x0 = 0;
  for (auto* p : parts) {
    writeFilePixels(*p, format, b.row(0) + 3 * x0, b.rowBytes());
    x0 += p->width();
  }
  return b;
}

bool write(const codecs::Bitmap& bitmap, const std::string& path) {
  codecs::EncodeOptions options;
  options.format =
      path.size() > 4 && path.substr(path.size() - 4) == ".png" ? codecs::Format::PNG : codecs::Format::JPEG;
  options.quality = 0.92;
  auto bytes = codecs::encode(bitmap, options, nullptr);
  if (bytes.empty()) return false;
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  return true;
}

// The ways a picture is spoilt, to see (and measure) what the enhancement makes of it. The results
// are clipped to the displayable range, as in an 8-bit file.
struct Spoiler {
  const char* name;
  const char* what;
  std::function<void(float*)> apply;
  std::array<double, 3> light{1, 1, 1};  // the colour of the light the spoiler gives
};
const std::vector<Spoiler>& spoilers() {
  static const std::vector<Spoiler> all = {
      {"none", "none (good photo)", [](float*) {}},
      {"darken", "-1.5 EV",
       [](float* c) {
         for (int k = 0; k < 3; ++k) c[k] *= std::exp2(-1.5f);
       }},
      {"brighten", "+1 EV",
       [](float* c) {
         for (int k = 0; k < 3; ++k) c[k] *= 2;
       }},
      {"cast", "warm cast x(1.35,1,0.6)", [](float* c) { c[0] *= 1.35f, c[2] *= 0.6f; }, {1.35, 1, 0.6}},
      {"coolcast",
       "cool-green x(0.7,1.1,1.3)",
       [](float* c) { c[0] *= 0.7f, c[1] *= 1.1f, c[2] *= 1.3f; },
       {0.7, 1.1, 1.3}},
      {"fade", "fade 0.3 + 0.4x display",
       [](float* c) {
         for (int k = 0; k < 3; ++k) c[k] = srgbToLinear(0.3f + 0.4f * linearToSrgb(std::clamp(c[k], 0.f, 1.f)));
       }},
      {"darkcool",
       "-1 EV with cool-green cast",
       [](float* c) { c[0] *= 0.35f, c[1] *= 0.55f, c[2] *= 0.65f; },
       {0.35, 0.55, 0.65}},
      // A daylight-balanced picture taken in shade, or a wrong white balance: a blue close to the
      // cool end of the daylight locus (about 10000 K), slightly on its green side.
      {"blue", "blue cast x(0.78,0.95,1.3)", [](float* c) { c[0] *= 0.78f, c[1] *= 0.95f, c[2] *= 1.3f; },
       {0.78, 0.95, 1.3}},
      {"darkblue",
       "-1 EV with blue cast",
       [](float* c) { c[0] *= 0.39f, c[1] *= 0.475f, c[2] *= 0.65f; },
       {0.39, 0.475, 0.65}},
  };
  return all;
}

ImagePtr spoil(const ImagePtr& image, const std::string& how) {
  auto data = image->imageData({}, {}, false);
  float* px = data->floats();
  std::mt19937 rng(1);
  std::normal_distribution<float> grain(0, 0.025f);
  const Spoiler* spoiler = nullptr;
  for (auto& s : spoilers())
    if (how == s.name) spoiler = &s;
  for (size_t i = 0; i < data->pixelCount(); ++i, px += 3) {
    if (how == "noise") {
      const float n = grain(rng);
      for (int c = 0; c < 3; ++c)
        px[c] = std::pow(std::max(0.f, std::sqrt(std::max(0.f, px[c])) + n + 0.5f * grain(rng)), 2.f);
    } else if (spoiler) {
      spoiler->apply(px);
      for (int c = 0; c < 3; ++c) px[c] = std::clamp(px[c], 0.f, 1.f);
    }
  }
  return Image::make(data, image->metadata());
}

ImageDataRGBfPtr render(ImageProcessor& p, Size fit, bool quickPreview = false) {
  ImageProcessorSettings s;
  s.outputSize = fit;
  s.useCache = false;
  s.quickPreview = quickPreview;
  return p.startProcessing(s) ? p.getLastResult() : nullptr;
}

// Renders the 2000 px preview (or the full size) of the picture `times` times, for a profiler.
int loop(const std::string& path, bool full, int times) {
  ImagePtr image = ImageReader::instance().read(path, full ? Size{} : Size{2000, 2000}, kReadDefaultFlags, nullptr);
  if (!image) return 1;
  auto p = rova::presets::enhancedProcessor(
      image, {rova::presets::defaultPresetFor(image, path, bench::resourcesDir())}, bench::resourcesDir());
  if (std::getenv("SOLVANE_BENCH_STAGES")) {
    const size_t n = p->getLayersCount();
    for (size_t i = 1; i < n; ++i) p->layerAtIndex(i)->setEnabled(false);
    for (size_t k = 0; k < n; ++k) {
      if (k) p->layerAtIndex(k)->setEnabled(true);
      double best = 1e9;
      const double cpu0 = bench::cpuSeconds();
      for (int i = 0; i < times; ++i)
        best = std::min(best, seconds([&] { render(*p, full ? Size{} : Size{2000, 2000}); }));
      std::printf("layers 0..%zu: best %.0f ms, cpu %.0f ms a render\n", k, best * 1e3,
                  (bench::cpuSeconds() - cpu0) / times * 1e3);
    }
    return 0;
  }
  for (int i = 0; i < times; ++i) {
    const double t = seconds([&] { render(*p, full ? Size{} : Size{2000, 2000}); });
    std::printf("%s render %d: %.0f ms\n", full ? "full" : "preview", i + 1, t * 1e3);
  }
  return 0;
}

// Each effect of the default preset alone over the full-size picture (spoilt first as with --before
// when asked), with its own settings from the preset: milliseconds for the whole picture and nanoseconds a pixel. Point
// effects run on one thread (their cost a pixel, free of the machine's load); neighbourhood effects on all cores.
int kernels(const std::string& path, const std::string& before) {
  ImagePtr image = ImageReader::instance().read(path, {}, kReadDefaultFlags, nullptr);
  if (!image) return 1;
  if (!before.empty()) image = spoil(image, before);
  auto p = rova::presets::enhancedProcessor(
      image, {rova::presets::defaultPresetFor(image, path, bench::resourcesDir())}, bench::resourcesDir());
  auto data = image->imageData();
  EffectRenderInfo info;
  info.canvasSize = {data->width(), data->height()};
  std::printf("noise estimate of the picture %6.1f ms\n",
              seconds([&] { NoiseReductionEffect::estimateNoise(*data); }) * 1e3);
  std::printf("analysis image (fresh context) %6.1f ms\n",
              seconds([&] { EffectParametersContext(image).analysisImage(); }) * 1e3);
  for (size_t i = 1; i < p->getLayersCount(); ++i) {
    auto layer = std::dynamic_pointer_cast<AdjustmentLayer>(p->layerAtIndex(i));
    if (!layer) continue;
    for (auto& effect : layer->effects()) {
      std::unique_ptr<EffectKernel> kernel;
      const double setUp = seconds([&] { kernel = effect->makeKernel(info); });
      std::printf("%-28s first kernel (with the picture's analysis) %6.1f ms\n", effect->id().c_str(), setUp * 1e3);
      if (!kernel) {
        std::printf("%-28s leaves this picture alone\n", effect->id().c_str());
        continue;
      }
      double best = 1e9;
      for (int run = 0; run < 3; ++run) {
        auto buffer = data->copy();
        best =
            std::min(best, seconds([&] {
                       if (kernel->kind() == EffectKernelKind::Region) {
                         kernel->applyRegion(*buffer);
                       } else {
                         for (int y = 0; y < buffer->height(); ++y)
                           kernel->applyRow(buffer->floats() + size_t(y) * buffer->width() * 3, buffer->width(), 0, y);
                       }
                     }));
      }
      std::printf("%-28s %7.1f ms  %5.1f ns a pixel (%s)\n", effect->id().c_str(), best * 1e3,
                  best * 1e9 / double(data->pixelCount()),
                  kernel->kind() == EffectKernelKind::Region ? "all cores" : "one thread");
    }
  }
  return 0;
}

// The same picture as a camera RAW (a 14-bit DNG of an RGGB sensor, ISO 100): developed and
// enhanced with the default RAW preset at full size (demosaiced) and for a 2000 px preview (the
// half-size read), as the application reads it.
int rawSpeed(int w, int h, const std::filesystem::path& dir) {
  const auto path = (dir / "picture.dng").string();
  {
    codecs::Bitmap bitmap = bench::makePicture(w, h);
    std::vector<float> linear(size_t(w) * h * 3);
    for (size_t i = 0; i < linear.size(); ++i) linear[i] = srgbToLinear(bitmap.pixels[i] / 255.f);
    solvane::dng::SensorSpec sensor;
    sensor.iso = 100;
    std::string error;
    if (!solvane::dng::writeBayerDng(path, w, h, linear.data(), sensor, &error)) {
      std::fprintf(stderr, "bench_enhance: %s\n", error.c_str());
      return 1;
    }
  }
  const uint32_t flags = kReadDefaultFlags | kReadMetadata | kReadRawDevelop | kReadFineDenoise;
  auto enhance = [&](const ImagePtr& image) {
    return rova::presets::enhancedProcessor(
        image, {rova::presets::defaultPresetFor(image, path, bench::resourcesDir())}, bench::resourcesDir());
  };
  std::printf("RAW: the same picture as a 14-bit DNG (%.0f MB), default RAW preset\n",
              std::filesystem::file_size(path) / 1e6);
  ImagePtr preview;
  const double previewRead = seconds([&] {
    preview = ImageReader::instance().read(path, {2000, 2000}, flags, nullptr);
  });
  if (!preview) return 1;
  auto previewProcessor = enhance(preview);
  ImageDataRGBfPtr out;
  const double previewRender = seconds([&] { out = render(*previewProcessor, {2000, 2000}); });
  if (!out) return 1;
  std::printf("RAW preview        develop %6.0f ms  render %6.0f ms  together %6.0f ms (%d x %d from a %d x %d read)\n",
              previewRead * 1e3, previewRender * 1e3, (previewRead + previewRender) * 1e3, out->width(), out->height(),
              preview->size().width, preview->size().height);
  previewProcessor.reset();
  preview.reset();
  const double peakBefore = peakMB();
  ImagePtr image;
  const double read = seconds([&] { image = ImageReader::instance().read(path, {}, flags, nullptr); });
  if (!image) return 1;
  auto p = enhance(image);
  const double full = seconds([&] { out = render(*p, {}); });
  if (!out) return 1;
  const double encode = seconds([&] {
    codecs::EncodeOptions jpeg;
    jpeg.quality = 0.9;
    codecs::encode(toBitmap({out.get()}), jpeg, nullptr);
  });
  std::printf("RAW full size      develop %6.0f ms  render %6.0f ms  8-bit + encode %6.0f ms  together %6.0f ms\n",
              read * 1e3, full * 1e3, encode * 1e3, (read + full + encode) * 1e3);
  std::printf("RAW peak memory    %.0f MB after the preview, %.0f MB after the full-size render\n", peakBefore,
              peakMB());
  std::printf("RAW ratios         full develop + render / preview %.1f\n",
              (read + full) / (previewRead + previewRender));
  return 0;
}

int speed(int w, int h) {
  const auto dir = std::filesystem::temp_directory_path() / ("solvane_bench_enhance_" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const auto path = (dir / "picture.jpg").string();
  std::printf("picture %d x %d (%.1f MP), %u hardware threads, default JPEG preset\n", w, h, w * h / 1e6,
              std::thread::hardware_concurrency());
  {
    codecs::Bitmap bitmap = bench::makePicture(w, h);
    codecs::EncodeOptions jpeg;
    jpeg.quality = 0.9;
    auto bytes = codecs::encode(bitmap, jpeg, nullptr);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  }
  // libjpeg-turbo alone on the same file, on one thread: decode, then encode what was decoded.
  const bench::YardstickTimes yard = bench::jpegYardstick(path, (dir / "yardstick.jpg").string());
  const double decode = yard.decode, encode = yard.encode, codec = decode + encode;
  std::printf("libjpeg-turbo      decode %6.0f ms  encode %6.0f ms  together %6.0f ms (one thread)\n", decode * 1e3,
              encode * 1e3, codec * 1e3);

  // Preview: what the application does for a 2000 px view, a reduced read and a render.
  double previewRead = 0, previewRender = 0, previewAgain = 0, previewQuick = 0;
  Size previewSize;
  {
    ImagePtr preview;
    previewRead = seconds([&] {
      preview = ImageReader::instance().read(path, {2000, 2000}, kReadDefaultFlags, nullptr);
    });
    auto p = rova::presets::enhancedProcessor(
        preview, {rova::presets::defaultPresetFor(preview, path, bench::resourcesDir())}, bench::resourcesDir());
    ImageDataRGBfPtr out;
    previewRender = seconds([&] { out = render(*p, {2000, 2000}); });
    if (out) previewSize = {out->width(), out->height()};
    // As after a slider moves: the picture's analysis is kept, everything is rendered again.
    previewAgain = seconds([&] { out = render(*p, {2000, 2000}); });
    // And while it moves: the quick preview.
    previewQuick = seconds([&] { out = render(*p, {2000, 2000}, true); });
  }
  const double preview = previewRead + previewRender;
  std::printf(
      "preview            read %6.0f ms  render %6.0f ms  together %6.0f ms (%d x %d, %.1f MP/s)  "
      "render again %6.0f ms  quick %6.0f ms\n",
      previewRead * 1e3, previewRender * 1e3, preview * 1e3, previewSize.width, previewSize.height,
      w * h / 1e6 / preview, previewAgain * 1e3, previewQuick * 1e3);
  const double peakBefore = peakMB();

  // Full size: read, render, then the 8-bit conversion and JPEG encode of the export.
  ImagePtr image;
  const double read = seconds([&] { image = ImageReader::instance().read(path, {}, kReadDefaultFlags, nullptr); });
  if (!image) return 1;
  auto p = rova::presets::enhancedProcessor(
      image, {rova::presets::defaultPresetFor(image, path, bench::resourcesDir())}, bench::resourcesDir());
  ImageDataRGBfPtr out;
  const double full = seconds([&] { out = render(*p, {}); });
  if (!out) return 1;
  const double fullPeak = peakMB();
  // Again, as after a slider moves on the full size (the picture's analysis kept; the previous
  // result stays alive meanwhile, as in the processor, so the peak is taken before).
  const double fullAgain = seconds([&] { out = render(*p, {}); });
  if (!out) return 1;
  double exportEncode = seconds([&] {
    codecs::EncodeOptions jpeg;
    jpeg.quality = 0.9;
    codecs::encode(toBitmap({out.get()}), jpeg, nullptr);
  });
  std::printf(
      "full size          read %6.0f ms  render %6.0f ms  (%.1f MP/s)  render again %6.0f ms  8-bit + encode %6.0f "
      "ms\n",
      read * 1e3, full * 1e3, w * h / 1e6 / full, fullAgain * 1e3, exportEncode * 1e3);
  std::printf("full-size export   read + render + encode %6.0f ms\n", (read + full + exportEncode) * 1e3);
  std::printf("peak memory        %.0f MB after the preview, %.0f MB after the full-size render\n", peakBefore,
              fullPeak);
  std::printf(
      "ratios             full render / codec %.2f (target <= 2)   preview / codec %.2f (target <= 0.5)   "
      "full render / preview %.1f (target >= 10)\n",
      full / codec, preview / codec, full / preview);
  // Like for like: renders only, the source already read in both (the preview at its reduced size).
  std::printf(
      "renders only       full / preview: first render %.1f   render again %.1f   quick preview %.1f (target >= 10)\n",
      full / previewRender, fullAgain / previewAgain, fullAgain / previewQuick);
  out.reset();
  p.reset();
  image.reset();
  const int rawResult = rawSpeed(w, h, dir);
  if (!std::getenv("SOLVANE_BENCH_KEEP")) std::filesystem::remove_all(dir);
  return rawResult;
}

// The enhancement's quality on public photographs: each photo spoilt in each way, enhanced with the
// default preset, and compared with the original (mean CIEDE2000 per pixel). The photographs and the
// half each belongs to are listed in tests/data/enhance/photos.tsv: the rules are fitted on the
// "tune" half, the "held" half is reported apart and says how they generalise; "limit" pictures (one
// colour from edge to edge, a microscope slide) show where they stop. Then, on the unspoilt photos,
// what each layer of the preset adds (the result without it against the result). With OUTDIR the
// original, the spoilt input and the result are written side by side as PNGs.
struct BenchPhoto {
  std::string half, name, content;
  std::filesystem::path path;
  ImagePtr original;
};

std::vector<BenchPhoto> benchPhotos(const std::filesystem::path& dir) {
  std::vector<BenchPhoto> photos;
  std::ifstream list(dir / "photos.tsv");
  std::string line;
  while (std::getline(list, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> f;
    size_t at = 0;
    for (size_t tab; (tab = line.find('\t', at)) != std::string::npos; at = tab + 1)
      f.push_back(line.substr(at, tab - at));
    f.push_back(line.substr(at));
    if (f.size() < 3) continue;
    BenchPhoto p{f[0], f[1], f.size() > 3 ? f[3] : "", f[2], nullptr};
    if (p.path.is_relative()) p.path = dir / p.path;
    // Pictures from the packages are large: a few hundred pixels are plenty for the decisions and
    // the measure, and keep the bench quick.
    p.original = ImageReader::instance().read(p.path.string(), {480, 480}, kReadDefaultFlags, nullptr);
    if (!p.original) {
      std::printf("(missing, skipped: %s %s; scripts/deps.sh --bench installs it)\n", p.name.c_str(), p.path.c_str());
      continue;
    }
    photos.push_back(std::move(p));
  }
  return photos;
}

int quality(const std::string& outDir) {
  const auto dir =
      std::filesystem::path(bench::resourcesDir()).parent_path().parent_path() / "tests" / "data" / "enhance";
  std::vector<BenchPhoto> photos = benchPhotos(dir);
  const bool verbose = std::getenv("SOLVANE_BENCH_VERBOSE") != nullptr;
  // Only the photos of one half when SOLVANE_BENCH_HALF names it (tune, held, limit).
  if (const char* only = std::getenv("SOLVANE_BENCH_HALF"))
    std::erase_if(photos, [&](const BenchPhoto& p) { return p.half != only; });
  const std::vector<std::string> halves = {"tune", "held", "limit"};
  struct Figures {
    double in = 0, out = 0;
    int n = 0, worse = 0;
    std::string detail;
  };
  // figures[half][spoiler]
  std::vector<std::vector<Figures>> figures(halves.size(), std::vector<Figures>(spoilers().size()));
  auto halfIndex = [&](const std::string& h) {
    return size_t(std::find(halves.begin(), halves.end(), h) - halves.begin());
  };
  // Every (spoiler, photo) pair on its own, on a few threads; what each prints is kept and printed in
  // the pairs' order afterwards, so the output is the same as one after the other.
  struct Pair {
    size_t si = 0;
    const BenchPhoto* photo = nullptr;
    double in = 0, got = 0;
    bool failed = false;
    std::string text;
  };
  std::vector<Pair> pairs;
  for (size_t si = 0; si < spoilers().size(); ++si)
    for (const BenchPhoto& photo : photos)
      if (halfIndex(photo.half) < halves.size()) pairs.push_back({si, &photo});
  std::atomic<size_t> next{0};
  auto work = [&] {
    for (size_t at; (at = next++) < pairs.size();) {
      Pair& pair = pairs[at];
      const Spoiler& s = spoilers()[pair.si];
      const BenchPhoto& photo = *pair.photo;
      auto say = [&pair](const char* format, auto... args) {
        char buf[1024];
        std::snprintf(buf, sizeof buf, format, args...);
        pair.text += buf;
      };
      auto source = photo.original->imageData();
      auto spoilt = spoil(photo.original, s.name);
      auto p = rova::presets::enhancedProcessor(
          spoilt, {rova::presets::defaultPresetFor(spoilt, photo.path.string(), bench::resourcesDir())},
          bench::resourcesDir());
      auto out = render(*p, {});
      if (!out) {
        pair.failed = true;
        continue;
      }
      const double in = rova::meanDeltaE(*source, *spoilt->imageData()), got = rova::meanDeltaE(*source, *out);
      pair.in = in, pair.got = got;
      if (verbose) {
        auto a = rova::enhance_analysis::analyse(*EffectParametersContext(spoilt).analysisImage());
        const auto& e = a.illuminant;
        say("  %-5s %-12s %-8s %5.2f->%5.2f light %.2f %.2f %.2f cast %4.1f err %4.1f (spread %4.1f clip %.3f near "
            "%.3f core %.2f sure "
            "%.2f) colour "
            "%.2f | black %.3f->%.3f white %.3f->%.3f mid %.2f gain %.2f (med %.3f clip %.3f pile %.2f col %.2f) | vib "
            "%.2f sh %.2f hi %.2f sharp %.2f pale cut %.2f\n",
            photo.half.c_str(), photo.name.c_str(), s.name, in, got, e.consensus[0] / e.consensus[1], 1.0,
            e.consensus[2] / e.consensus[1], a.castDegrees,
            rova::enhance_analysis::angularErrorDegrees(e.consensus, s.light), e.spreadDegrees, e.clippedShare,
            e.candidateShare, e.candidateCore, a.colourSureness, a.colourStrength, a.tone.fromBlack, a.tone.toBlack,
            a.tone.fromWhite, a.tone.toWhite, a.tone.midBoost, a.tone.exposureGain, a.medianLuminance, a.clippedShare,
            a.pileUp, a.colourClipped, a.vibranceNeed, a.shadowNeed, a.highlightNeed, a.sharpenNeed, a.paleCut);
        using rova::enhance_analysis::angularErrorDegrees;
        {
          // The colour correction alone on the spoilt picture (CIEDE2000 to the original): with the
          // spoiler's own light, with each estimator's light and the consensus before the prior in full,
          // with the estimate in full, and as applied. What the estimate misses against what the
          // strength holds back.
          auto gained = [&](const std::array<float, 3>& g) {
            auto d = spoilt->imageData()->copy();
            for (size_t i = 0; i < d->pixelCount(); ++i)
              for (int k = 0; k < 3; ++k) d->floats()[3 * i + k] *= g[k];
            return rova::meanDeltaE(*source, *d);
          };
          // Gains that neutralise a light, a white keeping its luminance (as the analysis's).
          auto gainsOf = [](const std::array<double, 3>& v) {
            const double l = 0.2126 / v[0] + 0.7152 / v[1] + 0.0722 / v[2];
            return std::array<float, 3>{float(1 / v[0] / l), float(1 / v[1] / l), float(1 / v[2] / l)};
          };
          say("        each alone: grey edge %.2f shades %.2f bright %.2f grey pixels %.2f before the prior %.2f\n",
              gained(gainsOf(e.greyEdge)), gained(gainsOf(e.shadesOfGrey)), gained(gainsOf(e.brightPixels)),
              gained(gainsOf(e.greyPixels)), gained(gainsOf(e.unconstrained)));
          say("        colour alone: true light %.2f, estimate in full %.2f, as applied %.2f\n",
              gained(gainsOf(s.light)), gained(a.fullGains),
              gained(rova::enhance_analysis::partialGains(a.fullGains, a.colourStrength)));
        }
        {
          // The result's error split: its exposure (its median luminance against the original's, in EV)
          // and what is left once a gain puts its median on the original's (colour, contrast).
          auto medianOf = [](const rova::ImageDataRGBf& d) {
            std::vector<float> y(d.pixelCount());
            for (size_t i = 0; i < y.size(); ++i) y[i] = rova::tone::luminance(d.floats() + 3 * i);
            std::nth_element(y.begin(), y.begin() + long(y.size() / 2), y.end());
            return double(y[y.size() / 2]);
          };
          const double mo = medianOf(*source), mr = medianOf(*out);
          auto matched = out->copy();
          const float g = mr > 1e-6 ? float(mo / mr) : 1.f;
          for (size_t i = 0; i < 3 * matched->pixelCount(); ++i) matched->floats()[i] *= g;
          const double rest = rova::meanDeltaE(*source, *matched);
          say("        exposure: result %+.2f EV of the original's median (%.3f); at its median %.2f, "
              "exposure's share %+.2f\n",
              std::log2(std::max(mr, 1e-6) / std::max(mo, 1e-6)), mo, rest, got - rest);
        }
        // The direction of a light from neutral in log chromaticity (degrees; the warm end of the locus
        // lies at -58, the blue end at 110).
        auto hue = [](const std::array<double, 3>& l) {
          return std::atan2(std::log(l[2] / l[1]), std::log(l[0] / l[1])) * 180 / M_PI;
        };
        say("        estimators: grey edge %4.1f (err %4.1f) shades %4.1f (err %4.1f) bright %4.1f (err %4.1f) "
            "grey pixels %4.1f (err %4.1f, index %.3f beyond %+.2f trust %.2f) edge-bright %4.1f; candidates beyond "
            "the light %+.2f, off the locus %.0f "
            "deg; hues grey edge %.0f shades %.0f bright %.0f grey pixels %.0f consensus %.0f; headroom %.2f\n",
            angularErrorDegrees(e.greyEdge, {1, 1, 1}), angularErrorDegrees(e.greyEdge, s.light),
            angularErrorDegrees(e.shadesOfGrey, {1, 1, 1}), angularErrorDegrees(e.shadesOfGrey, s.light),
            angularErrorDegrees(e.brightPixels, {1, 1, 1}), angularErrorDegrees(e.brightPixels, s.light),
            angularErrorDegrees(e.greyPixels, {1, 1, 1}), angularErrorDegrees(e.greyPixels, s.light), e.greyPixelIndex,
            e.greyPixelBeyond, e.greyPixelTrust, angularErrorDegrees(e.greyEdge, e.brightPixels), e.candidateBeyond,
            e.offLocusDegrees, hue(e.greyEdge), hue(e.shadesOfGrey), hue(e.brightPixels), hue(e.greyPixels),
            hue(e.consensus), a.headroom);
      }
      if (!outDir.empty())
        write(toBitmap({source.get(), spoilt->imageData().get(), out.get()}),
              (std::filesystem::path(outDir) / (photo.half + "-" + s.name + "-" + photo.name + ".png")).string());
    }
  };
  {
    const unsigned threads = std::max(1u, std::min(8u, std::thread::hardware_concurrency()));
    std::vector<std::thread> pool;
    for (unsigned i = 0; i < threads; ++i) pool.emplace_back(work);
    for (auto& t : pool) t.join();
  }
  for (const Pair& pair : pairs) {
    if (pair.failed) return 1;
    std::fputs(pair.text.c_str(), stdout);
    const Spoiler& s = spoilers()[pair.si];
    Figures& f = figures[halfIndex(pair.photo->half)][pair.si];
    const bool isSpoilt = std::strcmp(s.name, "none") != 0;
    f.in += pair.in, f.out += pair.got, ++f.n;
    if (isSpoilt && pair.got > pair.in) ++f.worse;
    char buf[96];
    std::snprintf(buf, sizeof buf, " %s %.2f->%.2f%s", pair.photo->name.c_str(), pair.in, pair.got,
                  isSpoilt && pair.got > pair.in ? "(!)" : "");
    f.detail += buf;
  }
  for (size_t hi = 0; hi < halves.size(); ++hi) {
    const int n = figures[hi][0].n;
    if (!n) continue;
    std::printf("\n%s half: %d pictures\n%-28s %8s %8s %7s %6s\n", halves[hi].c_str(), n, "spoiler", "spoilt",
                "enhanced", "ratio", "worse");
    // The average over the first six spoilers (the classes of the earlier rounds, comparable with
    // their figures) and over all of them.
    constexpr size_t kFormerClasses = 6;
    double sumIn = 0, sumOut = 0, formerIn = 0, formerOut = 0;
    int worse = 0, formerWorse = 0;
    for (size_t si = 0; si < spoilers().size(); ++si) {
      const Figures& f = figures[hi][si];
      const double in = f.in / n, out = f.out / n;
      if (si > 0) sumIn += in, sumOut += out, worse += f.worse;
      if (si > 0 && si <= kFormerClasses) formerIn += in, formerOut += out, formerWorse += f.worse;
      std::printf("%-28s %8.2f %8.2f %7s %6d\n", spoilers()[si].what, in, out,
                  si > 0 ? (std::to_string(int(std::lround(100 * out / in))) + " %").c_str() : "", f.worse);
    }
    auto average = [](const char* what, double in, double out, double classes, int worse) {
      std::printf("%-28s %8.2f %8.2f %7s %6d\n", what, in / classes, out / classes,
                  (std::to_string(int(std::lround(100 * out / in))) + " %").c_str(), worse);
    };
    average("average of the six", formerIn, formerOut, double(kFormerClasses), formerWorse);
    average("average of all", sumIn, sumOut, double(spoilers().size() - 1), worse);
    for (size_t si = 0; si < spoilers().size(); ++si)
      std::printf("  %-9s%s\n", spoilers()[si].name, figures[hi][si].detail.c_str());
  }
  // What each layer adds on the unspoilt photos, per half.
  for (size_t hi = 0; hi < 2; ++hi) {
    std::string line;
    for (size_t layer = 1;; ++layer) {
      double sum = 0;
      int n = 0;
      std::string name;
      for (const BenchPhoto& photo : photos) {
        if (photo.half != halves[hi]) continue;
        auto p = rova::presets::enhancedProcessor(
            photo.original,
            {rova::presets::defaultPresetFor(photo.original, photo.path.string(), bench::resourcesDir())},
            bench::resourcesDir());
        if (layer >= p->getLayersCount()) break;
        auto with = render(*p, {});
        auto adjustment = std::dynamic_pointer_cast<AdjustmentLayer>(p->layerAtIndex(layer));
        if (adjustment && adjustment->effectsCount() > 0) name = adjustment->effectAtIndex(0)->id();
        p->layerAtIndex(layer)->setEnabled(false);
        auto without = render(*p, {});
        if (!with || !without) return 1;
        sum += rova::meanDeltaE(*with, *without), ++n;
      }
      if (!n) break;
      char buf[96];
      std::snprintf(buf, sizeof buf, " %s %.2f", name.c_str(), sum / n);
      line += buf;
    }
    if (!line.empty())
      std::printf("what each layer adds on the good photos (%s):%s\n", halves[hi].c_str(), line.c_str());
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && !std::strcmp(argv[1], "--quality")) return quality(argc > 2 ? argv[2] : "");
  if (argc >= 3 && !std::strcmp(argv[1], "--kernels")) return kernels(argv[2], argc > 3 ? argv[3] : "");
  if (argc >= 5 && !std::strcmp(argv[1], "--loop"))
    return loop(argv[2], !std::strcmp(argv[3], "full"), std::atoi(argv[4]));
  if (argc >= 2 && !std::strcmp(argv[1], "--speed"))
    return speed(argc > 3 ? std::atoi(argv[2]) : 6000, argc > 3 ? std::atoi(argv[3]) : 4000);
  if (argc < 3) {
    std::fprintf(stderr,
                 "usage: bench_enhance IN OUT [--fit N] [--compare] [--preset FILE]... [--before SPOILER]\n"
                 "       bench_enhance --quality [OUTDIR]\n"
                 "       bench_enhance --speed [WIDTH HEIGHT]\n");
    return 2;
  }
  const std::string in = argv[1], outPath = argv[2];
  int fit = 0;
  bool compare = false;
  std::string before;
  std::vector<std::filesystem::path> presets;
  for (int i = 3; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--fit") && i + 1 < argc)
      fit = std::atoi(argv[++i]);
    else if (!std::strcmp(argv[i], "--compare"))
      compare = true;
    else if (!std::strcmp(argv[i], "--preset") && i + 1 < argc)
      presets.emplace_back(argv[++i]);
    else if (!std::strcmp(argv[i], "--before") && i + 1 < argc)
      before = argv[++i];
  }
  ImagePtr image = ImageReader::instance().read(in, fit ? Size{fit, fit} : Size{}, kReadDefaultFlags, nullptr);
  if (!image) {
    std::fprintf(stderr, "cannot read %s\n", in.c_str());
    return 1;
  }
  if (!before.empty()) image = spoil(image, before);
  if (presets.empty()) presets.push_back(rova::presets::defaultPresetFor(image, in, bench::resourcesDir()));
  std::vector<std::string> problems;
  auto p = rova::presets::enhancedProcessor(image, presets, bench::resourcesDir(), &problems);
  for (auto& problem : problems) std::fprintf(stderr, "preset: %s\n", problem.c_str());
  ImageDataRGBfPtr out;
  const double t = seconds([&] { out = render(*p, fit ? Size{fit, fit} : Size{}); });
  if (!out) return 1;
  auto original = image->imageData({out->width(), out->height()});
  std::vector<const ImageDataRGBf*> parts;
  if (compare && original) parts.push_back(original.get());
  parts.push_back(out.get());
  if (!write(toBitmap(parts), outPath)) return 1;
  std::printf("%s: %d x %d in %.0f ms -> %s\n", in.c_str(), out->width(), out->height(), t * 1e3, outPath.c_str());
  return 0;
}
