// Write time of an exported picture per format and depth, through the one image writer (the
// export's path: bitmap with an opaque premultiplied alpha and a profile, metadata of a source
// photo, safe write into place). A smooth gradient with fine noise stands in for a photo.
//   bench_image_write [width height]   (default 6000 x 4000, 24 MP)
#include <unistd.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <thread>

#include "BenchSupport.h"
#include "QVPlatform/ImageIO/ImageIO.h"
#include "QVPlatform/ImageIO/QVShareManager.h"

namespace fs = std::filesystem;

namespace {

CGImageRef picture(size_t w, size_t h, int depth) {
  const size_t bytes = depth / 8, row = w * 4 * bytes;
  auto buf = std::make_shared<std::vector<uint8_t>>(row * h);
  std::mt19937 noise(7);
  const double top = depth == 16 ? 65535.0 : 255.0;
  for (size_t y = 0; y < h; ++y)
    for (size_t x = 0; x < w; ++x) {
      const double n = double(noise() % 1000) / 1000.0 - 0.5;
      const double v[4] = {double(x) / double(w), double(y) / double(h), 0.5 + 0.3 * double((x + y) % 97) / 97.0, 1.0};
      for (int c = 0; c < 4; ++c) {
        const double s = c == 3 ? top : std::clamp(v[c] * top + n * top / 64.0, 0.0, top);
        if (bytes == 2) {
          const uint16_t u = uint16_t(s);
          std::memcpy(buf->data() + y * row + (x * 4 + size_t(c)) * 2, &u, 2);
        } else {
          (*buf)[y * row + x * 4 + size_t(c)] = uint8_t(s);
        }
      }
    }
  return CGImageCreate(w, h, size_t(depth), size_t(depth) * 4, row, CGColorSpaceCreateWithName(kCGColorSpaceSRGB),
                       kCGImageAlphaPremultipliedLast | (depth == 16 ? kCGBitmapByteOrder16Little : 0), buf);
}

}  // namespace

int main(int argc, char** argv) {
  const size_t w = argc > 2 ? size_t(std::atol(argv[1])) : 6000, h = argc > 2 ? size_t(std::atol(argv[2])) : 4000;
  const fs::path dir = fs::temp_directory_path() / ("bench-image-write-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  qv::Value metadata = qv::Dictionary{};
  metadata.set("{TIFF}", qv::Dictionary{{"Make", qv::Value("Maker")}, {"Model", qv::Value("Body")}});
  metadata.set("{Exif}", qv::Dictionary{{"LensModel", qv::Value("Lens")},
                                        {"DateTimeOriginal", qv::Value("2024:01:02 03:04:05")}});
  struct Case {
    const char* name;
    const char* type;
    const char* ext;
    int depth;
    double quality;
    int64_t tiffCompression;
  } cases[] = {
      {"JPEG q0.85", kUTTypeJPEG, "jpg", 8, 0.85, 5},
      {"PNG", kUTTypePNG, "png", 8, 1, 5},
      {"PNG", kUTTypePNG, "png", 16, 1, 5},
      {"TIFF LZW", kUTTypeTIFF, "tif", 8, 1, 5},
      {"TIFF LZW", kUTTypeTIFF, "tif", 16, 1, 5},
      {"TIFF none", kUTTypeTIFF, "tif", 16, 1, 1},
      {"TIFF PackBits", kUTTypeTIFF, "tif", 8, 1, 32773},
      {"WebP q0.85", kUTTypeWebP, "webp", 8, 0.85, 5},
      {"JPEG 2000 q0.85", kUTTypeJPEG2000, "jp2", 8, 0.85, 5},
      {"JPEG 2000 q0.85", kUTTypeJPEG2000, "jp2", 16, 0.85, 5},
      {"JPEG 2000 lossless", kUTTypeJPEG2000, "jp2", 16, 1, 5},
  };
  std::printf("write of a %zu x %zu picture (%.1f MP), %d cores\n", w, h, double(w * h) / 1e6,
              int(std::thread::hardware_concurrency()));
  std::printf("%-20s %5s %10s %10s %9s\n", "format", "depth", "ms", "MB", "peak MB");
  CGImageRef images[2] = {picture(w, h, 8), picture(w, h, 16)};
  for (const Case& c : cases) {
    qv::Value props = metadata;
    props.set(kCGImagePropertyDepth, int64_t(c.depth));
    props.set(kCGImageDestinationLossyCompressionQuality, c.quality);
    props.set("{TIFF}", qv::Dictionary{{"Make", qv::Value("Maker")},
                                       {"Model", qv::Value("Body")},
                                       {"Compression", qv::Value(c.tiffCompression)}});
    const fs::path out = dir / (std::string("out.") + c.ext);
    bool ok = false;
    std::string error;
    const double s = bench::seconds([&] {
      ok = QVShareManager::shared().saveImage(images[c.depth == 16 ? 1 : 0], out.string(), c.type, props, &error);
    });
    std::error_code ec;
    const double mb = ok ? double(fs::file_size(out, ec)) / 1e6 : 0;
    std::printf("%-20s %5d %10.0f %10.1f %9.0f%s\n", c.name, c.depth, s * 1e3, mb, bench::peakMB(),
                ok ? "" : ("  FAILED: " + error).c_str());
    fs::remove(out, ec);
  }
  fs::remove_all(dir);
  return 0;
}
