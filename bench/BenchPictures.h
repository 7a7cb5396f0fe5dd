#pragma once
// Pictures the benchmarks make at run time, so no large file is stored in the repository.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "rova/codecs/Codecs.h"

namespace bench {

// A photograph-like test card: sky, a lit and a shaded side, fine texture and sensor noise.
inline rova::codecs::Bitmap makePicture(int w, int h) {
  rova::codecs::Bitmap b;
  b.allocate(w, h, 3, 8);
  for (int y = 0; y < h; ++y) {
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
  }
  return b;
}

}  // namespace bench
