#pragma once
// Pictures the benchmarks make at run time, so no large file is stored in the repository.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <thread>
#include <vector>

#include "rova/Color.h"
#include "rova/codecs/Codecs.h"

namespace bench {

// Calls row(y) for every y in [0, h) on all hardware threads.
template <class Row>
void forEachRow(int h, Row&& row) {
  const unsigned threads = std::max(1u, std::thread::hardware_concurrency());
  std::vector<std::thread> workers;
  for (unsigned t = 0; t < threads; ++t)
    workers.emplace_back([&, t] {
      for (int y = int(t); y < h; y += int(threads)) row(y);
    });
  for (auto& worker : workers) worker.join();
}

// A photograph-like test card: sky, a lit and a shaded side, fine texture and sensor noise.
inline rova::codecs::Bitmap makePicture(int w, int h) {
  rova::codecs::Bitmap b;
  b.allocate(w, h, 3, 8);
  forEachRow(h, [&](int y) {
    uint8_t* row = b.row(y);
    uint32_t seed = uint32_t(y) * 2654435761u + 1;
    for (int x = 0; x < w; ++x) {
      seed = seed * 1664525u + 1013904223u;
      const double fx = double(x) / w, fy = double(y) / h;
      double r, g, bl;
      if (fy < 0.35 + 0.05 * std::sin(9 * fx)) {
        r = 120 + 60 * fy, g = 160 + 40 * fy, bl = 220;  // sky
      } else {
        const double shade = fx < 0.4 ? 0.35 : 1.0;
        const double texture = 25 * std::sin(x * 0.21) * std::sin(y * 0.17) + ((x / 7 + y / 11) % 9 == 0 ? 30 : 0);
        r = shade * (110 + 60 * fx + texture), g = shade * (100 + 40 * fy + texture), bl = shade * (60 + texture);
      }
      const double noise = double(int(seed >> 27) - 16) * 0.4;
      row[3 * x] = uint8_t(std::clamp(r + noise, 0.0, 255.0));
      row[3 * x + 1] = uint8_t(std::clamp(g + noise, 0.0, 255.0));
      row[3 * x + 2] = uint8_t(std::clamp(bl + noise, 0.0, 255.0));
    }
  });
  return b;
}

// A camera's sensor noise at an ISO speed, in linear light before the camera's tone curve. The
// sensor collects kElectronsAtWhite electrons at white at ISO 100 (a 24 MP APS-C sensor holds
// about that much); a higher speed amplifies fewer of them to the same white, so the shot noise
// (Poisson, the square root of the electrons) grows with the speed; the read noise adds
// kReadElectrons whatever the light. Each channel gets its own noise, as each photosite does.
struct SensorNoise {
  static constexpr double kElectronsAtWhite = 24000, kReadElectrons = 3;
  int iso = 800;
  double electronsAtWhite() const { return kElectronsAtWhite * 100.0 / std::max(iso, 1); }
};

// Linear light (0..1 at white) seen through the sensor: gaussian shot and read noise of the
// electrons counted, deterministic per row.
inline void addSensorNoise(float* linear, size_t count, const SensorNoise& noise, uint64_t seed) {
  const double white = noise.electronsAtWhite(), read2 = SensorNoise::kReadElectrons * SensorNoise::kReadElectrons;
  uint64_t s = seed * 0x9E3779B97F4A7C15ull + 0x2545F4914F6CDD1Dull;
  auto uniform = [&s] {  // (0, 1]
    s ^= s >> 12, s ^= s << 25, s ^= s >> 27;
    return double((s * 0x2545F4914F6CDD1Dull) >> 11) * 0x1.0p-53 + 0x1.0p-54;
  };
  for (size_t i = 0; i < count; i += 2) {
    // Box-Muller: two independent normal deviates a draw.
    const double radius = std::sqrt(-2 * std::log(uniform())), angle = 6.283185307179586 * uniform();
    const double n[2] = {radius * std::cos(angle), radius * std::sin(angle)};
    for (size_t k = 0; k < 2 && i + k < count; ++k) {
      const double electrons = std::max(0.0, double(linear[i + k])) * white;
      linear[i + k] = float((electrons + n[k] * std::sqrt(electrons + read2)) / white);
    }
  }
}

// makePicture's scene as a camera at `iso` records it: the scene in linear light, the sensor's
// noise per channel, then the sRGB tone curve and 8-bit samples (a JPEG straight from the camera,
// without in-camera noise reduction). The rows are made on all hardware threads.
inline rova::codecs::Bitmap makeGrainyPicture(int w, int h, int iso) {
  rova::codecs::Bitmap b = makePicture(w, h);
  float toLinear[256];
  for (int i = 0; i < 256; ++i) toLinear[i] = rova::srgbToLinear(i / 255.f);
  // The tone curve, tabulated finely enough for 8-bit output (steps of 1/16384 of linear light).
  constexpr int kSteps = 16384;
  std::vector<uint8_t> toCode(kSteps + 1);
  for (int i = 0; i <= kSteps; ++i)
    toCode[size_t(i)] = uint8_t(std::lround(255 * rova::linearToSrgb(float(i) / kSteps)));
  const SensorNoise noise{iso};
  forEachRow(h, [&](int y) {
    std::vector<float> row(size_t(w) * 3);
    uint8_t* px = b.row(y);
    for (size_t i = 0; i < row.size(); ++i) row[i] = toLinear[px[i]];
    addSensorNoise(row.data(), row.size(), noise, uint64_t(y) + 1);
    for (size_t i = 0; i < row.size(); ++i) px[i] = toCode[size_t(std::lround(std::clamp(row[i], 0.f, 1.f) * kSteps))];
  });
  return b;
}

}  // namespace bench
