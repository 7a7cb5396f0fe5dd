// Image I/O figures for a 24 MP JPEG made here: full decode, 2000 px preview decode (DCT scaling),
// full encode, the engine's reading of the decoded pixels into a render (a processor holding only
// the picture, at full size and into a 2000 px box), the export's hand-over of the float result to
// 8- and 16-bit sRGB pixels and the JPEG of them, and the engine compressor, in ms and MP/s, with
// the process's peak memory. Times are the median of several runs.
//   bench_engine_io [width height]
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>

#include "BenchSupport.h"
#include "rova/FilePixels.h"
#include "rova/ImageCompressorProxy.h"
#include "rova/Parallel.h"
#include "rova/codecs/Codecs.h"
#include "rova/layers/ImageLayer.h"
#include "rova/processor/ImageProcessor.h"
#include "rova/reader/ImageReader.h"

using bench::peakMB;

namespace {

// Median of `runs` wall-clock times, in ms.
double medianMs(int runs, const std::function<void()>& f) {
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) times.push_back(bench::seconds(f) * 1e3);
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

// The render of a processor holding only the picture: what the engine's reading and resampling of
// the source costs before any effect.
double renderMs(const rova::ImagePtr& image, rova::Size box, int runs) {
  rova::ImageProcessor p;
  p.addLayer(std::make_shared<rova::ImageLayer>(image));
  rova::ImageProcessorSettings s;
  s.outputSize = box;
  s.useCache = false;
  return medianMs(runs, [&] { p.startProcessing(s); });
}

void report(const char* what, double ms, double megapixels) {
  std::printf("%-34s %9.1f ms  %8.1f MP/s  peak %7.0f MB\n", what, ms, megapixels / (ms / 1000.0), peakMB());
}

}  // namespace

int main(int argc, char** argv) {
  const int w = argc > 2 ? std::atoi(argv[1]) : 6000, h = argc > 2 ? std::atoi(argv[2]) : 4000;
  const double mp = double(w) * h / 1e6;
  std::printf("engine I/O, %d x %d (%.1f MP)\n", w, h, mp);

  // A photo-like picture: smooth gradients with fine texture, so the JPEG has realistic entropy.
  rova::codecs::Bitmap b;
  if (!b.allocate(w, h, 3, 8)) return 1;
  rova::parallelFor(h, 16, [&](int64_t y0, int64_t y1) {
    for (int y = int(y0); y < int(y1); ++y) {
      uint8_t* row = b.row(y);
      uint32_t seed = uint32_t(y) * 2654435761u;
      for (int x = 0; x < w; ++x) {
        seed = seed * 1664525u + 1013904223u;
        int n = int(seed >> 28) - 8;
        row[x * 3] = uint8_t(std::clamp(int(128 + 100 * std::sin(x * 0.002) + n), 0, 255));
        row[x * 3 + 1] = uint8_t(std::clamp(int(128 + 90 * std::cos(y * 0.003) + n), 0, 255));
        row[x * 3 + 2] = uint8_t(std::clamp(int(110 + 60 * std::sin((x + y) * 0.001) + n), 0, 255));
      }
    }
  });
  rova::codecs::EncodeOptions opts;
  opts.format = rova::codecs::Format::JPEG;
  opts.quality = 0.9;
  std::vector<uint8_t> jpeg;
  report("JPEG encode (q 0.9)", medianMs(3, [&] { jpeg = rova::codecs::encode(b, opts, nullptr); }), mp);
  b = {};
  auto path = std::filesystem::temp_directory_path() / "solvane-bench-engine-io.jpg";
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(jpeg.data()), std::streamsize(jpeg.size()));
  std::printf("%-34s %9.1f MB\n", "file size", jpeg.size() / 1e6);

  auto& reader = rova::ImageReader::instance();
  const int runs = 7;
  rova::codecs::DecodeResult decoded;
  report("full decode (8-bit)",
         medianMs(runs, [&] { rova::codecs::decode(jpeg.data(), jpeg.size(), "jpg", {}, decoded, nullptr); }), mp);
  rova::ImagePtr img;
  const double full = medianMs(runs, [&] { img = reader.read(path, {}, rova::kReadDefaultFlags, nullptr); });
  if (!img) return 1;
  report("full decode to linear float", full, mp);
  report("full-size render, picture only", renderMs(img, {}, runs), mp);
  {
    // The export's hand-over of a linear float result: into sRGB file pixels (RGB and a skipped fourth
    // component, as the core hands bitmaps over) at 8 and 16 bits, and the JPEG encoded from the 8-bit
    // rows where they lie.
    const rova::ImageDataRGBf& data = *img->imageData();
    rova::FilePixelFormat format;
    format.channels = 4;
    format.colorSpace = rova::kColorProfileSRGB;
    format.rounding = rova::FilePixelFormat::Rounding::TowardZero;
    rova::codecs::Bitmap pixels;
    for (int depth : {16, 8}) {
      format.depth = depth;
      if (!pixels.allocate(data.width(), data.height(), 4, depth)) return 1;
      char what[64];
      std::snprintf(what, sizeof what, "linear float to %d-bit sRGB", depth);
      report(what, medianMs(runs, [&] { rova::writeFilePixels(data, format, pixels.row(0), pixels.rowBytes()); }), mp);
    }
    const rova::codecs::RowSource rows{pixels.width, pixels.height, 4, [&](int y) { return pixels.row(y); }};
    report("JPEG encode of those rows (q 0.9)", medianMs(3, [&] { rova::codecs::encodeJPEG(rows, opts, nullptr); }),
           mp);
  }
  rova::codecs::DecodeRequest reduced;
  reduced.fitSize = {2000, 2000};
  report("2000 px preview decode (8-bit)",
         medianMs(runs, [&] { rova::codecs::decode(jpeg.data(), jpeg.size(), "jpg", reduced, decoded, nullptr); }), mp);
  const double preview = medianMs(runs, [&] {
    img = reader.read(path, {2000, 2000}, rova::kReadDefaultFlags, nullptr);
  });
  if (!img) return 1;
  char label[64];
  std::snprintf(label, sizeof label, "2000 px preview (%dx%d)", img->width(), img->height());
  report(label, preview, mp);
  std::printf("%-34s %9.1fx (target: at least 4x)\n", "preview speed-up", full / preview);
  const double previewRender = renderMs(img, {2000, 2000}, runs);
  report("2000 px render, picture only", previewRender, mp);
  std::printf("%-34s %9.1f ms\n", "2000 px preview read + render", preview + previewRender);

  img = reader.read(path, {}, rova::kReadDefaultFlags, nullptr);
  std::vector<uint8_t> packed;
  report("compress float image", medianMs(3, [&] { packed = rova::ImageCompressorProxy::compress(img->imageData()); }),
         mp);
  std::printf("%-34s %9.1f MB (raw %.1f MB)\n", "compressed size", packed.size() / 1e6,
              img->imageData()->byteCount() / 1e6);
  report("uncompress float image", medianMs(3, [&] { rova::ImageCompressorProxy::uncompress(packed); }), mp);
  if (!std::getenv("SOLVANE_BENCH_KEEP")) std::filesystem::remove(path);
  return 0;
}
