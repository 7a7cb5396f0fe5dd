// The whole export and preview paths as the application runs them, against a streaming
// libjpeg-turbo decode + encode of the same file.
//
//   bench_export_path [WIDTH HEIGHT] [--runs N] [--iso N] [--photo FILE]
//                     [--only yardstick|export|tiff|preview|raw]
//       Makes a photograph-like JPEG (6000 x 4000 by default) and measures, in one process:
//       - the yardstick: libjpeg-turbo alone, one thread, decoding the file and encoding it again at
//         quality 90 into a file, row by row;
//       - the export path: a processor loads the file at full size, the default preset's layers are
//         installed, the stack is rendered in sRGB at 8 bits and the bitmap is written as a JPEG at
//         quality 90 through the image I/O layer (metadata and profile included);
//       - the same export as a 16-bit TIFF;
//       - the preview path: a load for a 2000 x 2000 box, the first render, the bitmap ready to show;
//       - a camera RAW of the same picture (a 14-bit DNG written by the bench) exported as the JPEG
//         (no target: a figure and its stages).
//       --iso N gives the picture a camera sensor's grain at that speed (shot and read noise in linear
//       light, per channel, before the tone curve; the DNG gets the same sensor's noise), as real
//       photographs have and noise reduction then works on; --photo FILE measures a photograph of
//       one's own instead of the made picture (a JPEG; the RAW path then needs --iso or is skipped).
//       Each path prints its time, its ratio to the yardstick, its peak memory (the process's
//       resident peak is reset before each path; the figure is the path's own growth plus the
//       process's memory before the first path, also in bytes a pixel) and a stage table with the
//       cores each stage kept busy (CPU time of all threads over wall time). Figures are the median
//       of N runs (3 by default); peak memory is the largest of the runs. --only runs one path (for
//       a profiler).
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "BenchPictures.h"
#include "BenchSupport.h"
#include "BenchYardstick.h"
#include "DngWriter.h"
#include "Ombrel/Classes/Business/Presets/QVEffectsPresetManager.h"
#include "Ombrel/Classes/Business/Presets/QVPresetHelpers.h"
#include "QVCore/ImageProcessing/Layers/QVIPLayer.h"
#include "QVCore/ImageProcessing/Processor/QVIPProcessParams.h"
#include "QVCore/ImageProcessing/Processor/QVRovaProcessor.h"
#include "QVCore/ImageProcessing/RovaBridge/QVIPImage.h"
#include "QVCore/ImageProcessing/RovaBridge/QVRovaService.h"
#include "QVCore/Model/Entities/QVPreset.h"
#include "QVPlatform/ImageIO/ImageIO.h"
#include "QVPlatform/MainExecutor.h"
#include "rova/Color.h"

namespace {

namespace fs = std::filesystem;

// One stage of a path: its wall and CPU seconds (all threads).
struct Stage {
  std::string name;
  double wall = 0, cpu = 0;
};
using Stages = std::vector<Stage>;

// Runs f as a stage named `name`.
Stage timed(const std::string& name, const std::function<void()>& f) {
  const double cpu0 = bench::cpuSeconds();
  const double wall = bench::seconds(f);
  return {name, wall, bench::cpuSeconds() - cpu0};
}

struct Run {
  Stages stages;
  double peakMB = 0, startMB = 0;  // resident memory at the peak, and when the path began
  double total() const {
    double t = 0;
    for (const auto& s : stages) t += s.wall;
    return t;
  }
};

// The yardstick, with its peak memory.
Run yardstick(const std::string& in, const std::string& out) {
  Run run;
  bench::resetPeakMemory();
  run.startMB = bench::residentMB();
  const bench::YardstickTimes t = bench::jpegYardstick(in, out);
  run.stages.push_back({"decode", t.decode, t.decode});  // one thread
  run.stages.push_back({"encode + write", t.encode, t.encode});
  run.peakMB = bench::peakMemorySinceResetMB();
  return run;
}

// Lets queued engine work and the main-thread work it hands back run out.
void settle(QVRovaProcessor& p) {
  for (int i = 0; i < 50; ++i) {
    p.imageProcessingQueue()->waitUntilAllOperationsAreFinished();
    if (qv::MainExecutor::shared().runUntilIdle() == 0 && p.imageProcessingQueue()->operationCount() == 0) return;
  }
}

struct PathSpec {
  double box = 0;  // 0: full size (an export)
  int depth = 8;
  std::string type = "public.jpeg";
  std::string output;  // empty: the bitmap is the end (a preview)
};

// The application's path for one file: load, preset layers, render, write.
Run applicationPath(const std::string& in, const PathSpec& spec) {
  Run run;
  bench::resetPeakMemory();
  run.startMB = bench::residentMB();
  {
    auto p = QVRovaProcessor::init();
    p->setNotify(false);
    p->setLocalCacheDisabled(true);
    p->setExportMode(spec.output.size() > 0);
    p->setReducedReadForFitSize(true);           // as the application's task processors
    p->setSingleRender(spec.output.size() > 0);  // as an export task: one render, then let go
    run.stages.push_back(timed("load", [&] {
      std::promise<bool> loaded;
      p->loadImageAtURL(in, CGSizeMake(spec.box, spec.box),
                        [&](QVIPImagePtr image) { loaded.set_value(image != nullptr); });
      loaded.get_future().get();
      settle(*p);
    }));
    run.stages.push_back(timed("preset layers", [&] {
      auto preset = QVEffectsPresetManager("Presets", "AdditionalPresets").defaultPresetForImagePath(in);
      if (preset) QVPresetHelpers::installLayersCreatedWithPresets({preset}, *p);
      settle(*p);
    }));
    QVIPImagePtr result;
    run.stages.push_back(timed("render + bitmap", [&] {
      const CGSize canvas = p->canvasSize();
      auto params = QVIPProcessParams::defaultParams();
      params->setRect(CGRectMake(0, 0, canvas.width, canvas.height));
      params->setFitSize(spec.box > 0 ? QVRovaProcessor::fittingSize(canvas, CGSizeMake(spec.box, spec.box)) : canvas);
      params->setColorspace(1);
      params->setDepth(spec.depth);
      params->setClampResult(true);
      params->setDisableCache(true);  // as the application's task renders
      params->setIsAsync(false);
      p->processImageWithParams(
          params, [&](QVIPImagePtr image, QVIPImagePtr, QVIPImagePtr, CGSize, CGRect) { result = std::move(image); });
      if (result) result->CGImage();  // the bitmap is made on first use
    }));
    if (!result || !result->CGImage()) {
      std::fprintf(stderr, "bench_export_path: the render failed\n");
      return run;
    }
    if (!spec.output.empty()) {
      run.stages.push_back(timed("encode + write", [&] {
        auto destination = CGImageDestinationCreateWithURL(spec.output, spec.type, 1);
        qv::Value properties{qv::Dictionary{}};
        properties.set(kCGImageDestinationLossyCompressionQuality, 0.9);
        properties.set(kCGImagePropertyDepth, int64_t(spec.depth));
        CGImageDestinationAddImage(destination, result->CGImage(), properties);
        std::string error;
        if (!CGImageDestinationFinalize(destination, &error))
          std::fprintf(stderr, "bench_export_path: %s\n", error.c_str());
      }));
    }
    std::weak_ptr<QVRovaProcessor> gone = p;
    run.stages.push_back(timed("release", [&] {
      result.reset();
      p.reset();
      qv::MainExecutor::shared().runUntilIdle();
    }));
    if (!gone.expired()) std::fprintf(stderr, "bench_export_path: the processor outlived its last owner\n");
  }
  run.peakMB = bench::peakMemorySinceResetMB();
  return run;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

// Prints the median of each stage and of the whole path over the runs, and the largest peak.
double report(const char* name, const std::vector<Run>& runs, double yardstick, double baselineMB, double pixels) {
  std::vector<double> totals;
  // Memory other paths left behind for a moment (queues still letting go of their blocks) is not
  // this path's: its figure is its own growth over the resident memory at its start, the largest of
  // the runs, plus the process's resident memory before any path ran.
  double growth = 0, wall = 0, cpu = 0;
  for (const auto& r : runs) {
    totals.push_back(r.total());
    wall += r.total();
    for (const auto& s : r.stages) cpu += s.cpu;
    growth = std::max(growth, r.peakMB - r.startMB);
  }
  const double peak = baselineMB + growth;
  const double total = median(totals);
  std::printf("%-22s %7.0f ms", name, total * 1e3);
  if (yardstick > 0) std::printf("  %5.2f x yardstick", total / yardstick);
  std::printf("  peak %5.0f MB (%.1f bytes a pixel)  %.1f cores busy\n", peak, peak * 1e6 / pixels,
              wall > 0 ? cpu / wall : 0);
  for (size_t i = 0; i < runs.front().stages.size(); ++i) {
    std::vector<double> s;
    double wall = 0, cpu = 0;
    for (const auto& r : runs)
      if (i < r.stages.size()) s.push_back(r.stages[i].wall), wall += r.stages[i].wall, cpu += r.stages[i].cpu;
    std::printf("    %-18s %7.0f ms  %4.1f cores busy\n", runs.front().stages[i].name.c_str(), median(s) * 1e3,
                wall > 0 ? cpu / wall : 0);
  }
  return total;
}

}  // namespace

int main(int argc, char** argv) {
  int w = 6000, h = 4000, runs = 3, iso = 0;
  std::string only, photo;
  std::vector<std::string> numbers;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--runs") && i + 1 < argc)
      runs = std::max(1, std::atoi(argv[++i]));
    else if (!std::strcmp(argv[i], "--only") && i + 1 < argc)
      only = argv[++i];
    else if (!std::strcmp(argv[i], "--iso") && i + 1 < argc)
      iso = std::max(0, std::atoi(argv[++i]));
    else if (!std::strcmp(argv[i], "--photo") && i + 1 < argc)
      photo = argv[++i];
    else
      numbers.push_back(argv[i]);
  }
  if (numbers.size() == 2) w = std::atoi(numbers[0].c_str()), h = std::atoi(numbers[1].c_str());
  if (w < 16 || h < 16) {
    std::fprintf(stderr,
                 "usage: bench_export_path [WIDTH HEIGHT] [--runs N] [--iso N] [--photo FILE]\n"
                 "                         [--only yardstick|export|tiff|preview|raw]\n");
    return 2;
  }
  const fs::path dir = fs::temp_directory_path() / ("solvane_bench_export_" + std::to_string(getpid()));
  fs::create_directories(dir);
  std::string in = (dir / "picture.jpg").string();
  if (!photo.empty()) {
    in = photo;
    std::ifstream file(photo, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    rova::codecs::ImageInfo info;
    const bool known =
        rova::codecs::readInfo(bytes.data(), bytes.size(), rova::codecs::lowerExtension(photo), info, nullptr);
    const auto size = info.size;
    if (!known || size.width <= 0) {
      std::fprintf(stderr, "bench_export_path: cannot read %s\n", photo.c_str());
      return 1;
    }
    w = size.width, h = size.height;
  } else {
    rova::codecs::EncodeOptions jpeg;
    jpeg.quality = 0.9;
    auto bytes =
        rova::codecs::encode(iso > 0 ? bench::makeGrainyPicture(w, h, iso) : bench::makePicture(w, h), jpeg, nullptr);
    std::ofstream(in, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  }
  // The same picture as a camera RAW: linear light seen by a 14-bit sensor (with its noise at the
  // ISO speed asked).
  const std::string raw = (dir / "picture.dng").string();
  const bool withRaw = (only.empty() || only == "raw") && (photo.empty() || iso > 0);
  if (withRaw) {
    const auto picture = bench::makePicture(w, h);
    float toLinear[256];
    for (int i = 0; i < 256; ++i) toLinear[i] = rova::srgbToLinear(i / 255.f);
    std::vector<float> linear(size_t(w) * h * 3);
    bench::forEachRow(h, [&](int y) {
      for (size_t i = 0; i < size_t(w) * 3; ++i) linear[size_t(y) * w * 3 + i] = toLinear[picture.row(y)[i]];
    });
    solvane::dng::SensorSpec sensor;
    if (iso > 0) {
      // The picture's white lands at pictureWhite of the sensor's range in its most sensitive channel.
      sensor.photonsAtWhite = bench::SensorNoise{iso}.electronsAtWhite() / sensor.pictureWhite;
      sensor.readNoise =
          bench::SensorNoise::kReadElectrons * ((1 << sensor.bits) - 1 - sensor.blackLevel) / sensor.photonsAtWhite;
      sensor.iso = iso;
    }
    std::string why;
    if (!solvane::dng::writeBayerDng(raw, w, h, linear.data(), sensor, &why)) {
      std::fprintf(stderr, "bench_export_path: cannot write the DNG: %s\n", why.c_str());
      return 1;
    }
  }
  double load[3] = {0, 0, 0};
  getloadavg(load, 3);
  std::printf("picture %d x %d (%.1f MP)%s, %u hardware threads, load %.1f, median of %d runs\n", w, h, w * h / 1e6,
              photo.empty() ? "" : (" from " + photo).c_str(), std::thread::hardware_concurrency(), load[0], runs);
  if (iso > 0) std::printf("sensor grain of ISO %d (shot and read noise in linear light)\n", iso);
  QVRovaService::rovaInit();
  const double baseline = bench::residentMB();

  std::map<std::string, std::vector<Run>> all;
  const PathSpec exportJpeg{0, 8, "public.jpeg", (dir / "export.jpg").string()};
  const PathSpec exportTiff{0, 16, "public.tiff", (dir / "export.tif").string()};
  const PathSpec preview{2000, 8, "", ""};
  auto wanted = [&](const char* name) { return only.empty() || only == name; };
  for (int r = 0; r < runs; ++r) {
    if (wanted("yardstick")) all["yardstick"].push_back(yardstick(in, (dir / "yardstick.jpg").string()));
    if (wanted("export")) all["export"].push_back(applicationPath(in, exportJpeg));
    if (wanted("tiff")) all["tiff"].push_back(applicationPath(in, exportTiff));
    if (wanted("preview")) all["preview"].push_back(applicationPath(in, preview));
    if (wanted("raw") && withRaw) all["raw"].push_back(applicationPath(raw, exportJpeg));
  }
  const double pixels = double(w) * h;
  const double yard =
      all.count("yardstick") ? report("yardstick (1 thread)", all["yardstick"], 0, baseline, pixels) : 0;
  if (all.count("export")) report("export JPEG q90", all["export"], yard, baseline, pixels);
  if (all.count("tiff")) report("export TIFF 16-bit", all["tiff"], yard, baseline, pixels);
  if (all.count("preview")) report("preview 2000 px", all["preview"], yard, baseline, pixels);
  if (all.count("raw")) report("RAW (DNG) to JPEG q90", all["raw"], yard, baseline, pixels);
  std::printf("targets: export <= 1.3 x and <= 700 MB; preview <= 0.35 x and <= 250 MB; 16-bit TIFF <= 2 x\n");
  if (!std::getenv("SOLVANE_BENCH_KEEP")) fs::remove_all(dir);
  return 0;
}
