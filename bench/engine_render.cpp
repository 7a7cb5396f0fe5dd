// Render speed of the engine on a 24 MP picture through a develop + sharpen stack: the full-size
// render (export), the 2000 px preview of the whole picture, a 1:1 region, and beside them the
// libjpeg-turbo decode and encode of the same file, all in one run on this machine.
//   bench_engine_render [width height]    (default 6000 x 4000)
#include <sys/resource.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

#include "BenchSupport.h"
#include "rova/codecs/Codecs.h"
#include "rova/effects/EffectIDs.h"
#include "rova/effects/factory/EffectFactory.h"
#include "rova/processor/ImageProcessor.h"
#include "rova/reader/ImageReader.h"

using namespace rova;
using bench::peakMB;
using bench::seconds;

namespace {

// A photograph-like test card: gradients, fine detail and noise.
codecs::Bitmap makePicture(int w, int h) {
  codecs::Bitmap b;
  b.allocate(w, h, 3, 8);
  uint32_t seed = 1;
  for (int y = 0; y < h; ++y) {
    uint8_t* row = b.row(y);
    for (int x = 0; x < w; ++x) {
      seed = seed * 1664525u + 1013904223u;
      const int noise = int(seed >> 28) - 8;
      const double fx = double(x) / w, fy = double(y) / h;
      const int detail = ((x / 3 + y / 5) % 7 == 0) ? 40 : 0;
      row[3 * x] = uint8_t(std::clamp(int(40 + 180 * fx) + noise + detail, 0, 255));
      row[3 * x + 1] = uint8_t(std::clamp(int(60 + 120 * fy) + noise + detail, 0, 255));
      row[3 * x + 2] = uint8_t(std::clamp(int(90 + 100 * std::sin(6 * fx * fy)) + noise, 0, 255));
    }
  }
  return b;
}

}  // namespace

int main(int argc, char** argv) {
  const int w = argc > 2 ? std::atoi(argv[1]) : 6000, h = argc > 2 ? std::atoi(argv[2]) : 4000;
  const auto dir = std::filesystem::temp_directory_path() / "solvane_bench_engine_render";
  std::filesystem::create_directories(dir);
  const auto path = (dir / "picture.jpg").string();
  std::printf("picture %d x %d (%.1f MP), %u threads\n", w, h, w * h / 1e6, std::thread::hardware_concurrency());

  codecs::Bitmap bitmap = makePicture(w, h);
  codecs::EncodeOptions jpeg;
  jpeg.quality = 0.9;
  std::vector<uint8_t> bytes;
  const double encode = seconds([&] { bytes = codecs::encode(bitmap, jpeg, nullptr); });
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  codecs::DecodeResult decoded;
  const double decode = seconds([&] { codecs::decode(bytes.data(), bytes.size(), "jpg", {}, decoded, nullptr); });
  codecs::DecodeRequest small;
  small.fitSize = {2000, 2000};
  const double decodeSmall =
      seconds([&] { codecs::decode(bytes.data(), bytes.size(), "jpg", small, decoded, nullptr); });
  std::printf("libjpeg-turbo   encode %6.0f ms   decode %6.0f ms   decode for 2000 px (DCT scaling) %6.0f ms\n",
              encode * 1e3, decode * 1e3, decodeSmall * 1e3);

  ImagePtr image, preview;
  const double read = seconds([&] { image = ImageReader::instance().read(path, {}, kReadDefaultFlags, nullptr); });
  const double readPreview = seconds([&] {
    preview = ImageReader::instance().read(path, {2000, 2000}, kReadDefaultFlags, nullptr);
  });
  if (!image || !preview) {
    std::printf("could not read the picture back\n");
    return 1;
  }
  std::printf("engine read     full %6.0f ms   for 2000 px %6.0f ms (%d x %d)\n", read * 1e3, readPreview * 1e3,
              preview->width(), preview->height());

  auto stack = [](const ImagePtr& img) {
    auto p = std::make_shared<ImageProcessor>();
    p->addLayer(std::make_shared<ImageLayer>(img));
    auto layer = std::make_shared<AdjustmentLayer>(0);
    auto context = std::make_shared<EffectParametersContext>(img);
    auto develop = EffectFactory::instance().makeEffectWithID(effect_id::kDevelopCommon, context);
    develop->setParameterValue("Exposure", 0.3f);
    develop->setParameterValue("Contrast", 20);
    develop->setParameterValue("Shadows", 30);
    develop->setParameterValue("Temperature", 10);
    develop->setParameterValue("Vibrance", 25);
    auto sharpen = EffectFactory::instance().makeEffectWithID(effect_id::kSharpen, context);
    sharpen->setParameterValue("Amount", 40);
    layer->addEffect(develop);
    layer->addEffect(sharpen);
    p->addLayer(layer);
    return p;
  };
  auto renderOnce = [](ImageProcessor& p, RectRoiF region, Size fit) {
    ImageProcessorSettings s;
    s.region = region;
    s.outputSize = fit;
    s.useCache = false;
    return seconds([&] { p.startProcessing(s); });
  };

  auto full = stack(image);
  const double fullTime = renderOnce(*full, {}, {});
  std::printf("render full     %6.0f ms  (%d x %d, %.0f ms/MP)   peak memory %.0f MB\n", fullTime * 1e3,
              full->getLastResult()->width(), full->getLastResult()->height(), fullTime * 1e3 / (w * h / 1e6),
              peakMB());
  const double previewFirst = renderOnce(*full, {}, {2000, 2000});
  const double previewAgain = renderOnce(*full, {}, {2000, 2000});
  std::printf("render 2000 px  %6.0f ms first (builds the source pyramid), %6.0f ms after\n", previewFirst * 1e3,
              previewAgain * 1e3);
  const double region = renderOnce(*full, {double(w / 2), double(h / 2), 1000, 1000}, {});
  std::printf("render region   %6.0f ms  (1000 x 1000 at 1:1)\n", region * 1e3);

  auto fromPreview = stack(preview);
  const double reduced = renderOnce(*fromPreview, {}, {2000, 2000});
  std::printf("render 2000 px  %6.0f ms  from the DCT-reduced read (read + render %.0f ms)\n", reduced * 1e3,
              (readPreview + reduced) * 1e3);
  std::printf("peak memory     %.0f MB\n", peakMB());
  std::filesystem::remove_all(dir);
  return 0;
}
