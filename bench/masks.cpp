// Mask brush figures on a 24 MP mask (6000 x 4000): beginning a stroke (its starting pixels are
// kept per touched tile, so this should cost nothing), a 100-dab stroke with a 60 px soft brush, a
// whole-mask radial gradient, and a 100-dab clone stroke on a 24 MP image, in ms.
//   bench_masks
#include <cstdio>

#include "BenchSupport.h"
#include "rova/masks/BrushController.h"
#include "rova/masks/CloneStampController.h"

int main() {
  auto mask = rova::MaskImage::make(6000, 4000);
  rova::BrushController brush(mask);
  const double radius = 60.0 / 6000;  // spacing is a quarter radius: 15 px between dabs
  const double begin = bench::seconds([&] { brush.beginStroke(); });
  const double stroke = bench::seconds([&] {
    for (int i = 0; i < 100; ++i) brush.addPoint(0.1 + i * 15.0 / 6000, 0.5, radius, 0.8, 0.5);
  });
  brush.endStroke();
  const double gradient = bench::seconds([&] { brush.drawRadialGradient(0.5, 0.5, 30, 0.1, 0.3, 0.7, false); });
  std::printf("24 MP mask: begin stroke %.1f ms, 100-dab stroke %.1f ms, radial gradient %.1f ms, peak %.0f MB\n",
              begin * 1e3, stroke * 1e3, gradient * 1e3, bench::peakMB());
  rova::CloneStampController clone(rova::ImageDataRGBf::create(6000, 4000));
  clone.setClonePoint(1000, 1000);
  clone.setStampPoint(3000, 2000);
  const double cloneBegin = bench::seconds([&] { clone.beginStroke(); });
  const double cloneStroke = bench::seconds([&] {
    for (int i = 0; i < 100; ++i) clone.addPoint(0.1 + i * 15.0 / 6000, 0.5, radius, 0.8, 0.5);
  });
  clone.endStroke();
  std::printf("24 MP clone: begin stroke %.1f ms, 100-dab stroke %.1f ms, peak %.0f MB\n", cloneBegin * 1e3,
              cloneStroke * 1e3, bench::peakMB());
  return 0;
}
