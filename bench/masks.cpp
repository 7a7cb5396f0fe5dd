// Mask brush figures on a 24 MP mask (6000 x 4000): beginning a stroke (its starting pixels are
// kept per touched tile, so this should cost nothing), a 100-dab stroke with a 60 px soft brush, a
// whole-mask radial gradient, and on a 24 MP image a 100-dab clone stroke (the first stroke also
// makes the map of retouched pixels), a stroke preview dab and its part of a 2000 x 1333 view, in ms.
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
  auto picture = rova::ImageDataRGBf::create(6000, 4000);
  for (int y = 0; y < 4000; ++y)  // a ramp, so copied pixels differ from the ones they cover
    for (int x = 0; x < 6000; ++x) picture->at(x, y) = {x / 6000.0f, y / 4000.0f, 0.5f};
  rova::CloneStampController clone(picture);
  clone.setClonePoint(1000, 1000);
  clone.setStampPoint(3000, 2000);
  const double cloneBegin = bench::seconds([&] { clone.beginStroke(); });
  const double cloneStroke = bench::seconds([&] {
    for (int i = 0; i < 100; ++i) clone.addPoint(0.1 + i * 15.0 / 6000, 0.5, radius, 0.8, 0.5);
  });
  clone.endStroke();
  clone.takeUpdateRect();
  const double preview = bench::seconds([&] { clone.previewAt(0.5, 0.6, radius, 0.8, 0.5); });
  const rova::RectRoi changed = clone.takeUpdateRect();  // a 121 px square
  const rova::Size view{2000, 1333};
  const double scale = 2000.0 / 6000;
  const double part = bench::seconds([&] {
    clone.lastResult(view, rova::outputRectForChange(changed, {0, 0, 6000, 4000}, scale, scale, view), {});
  });
  std::printf(
      "24 MP clone: begin stroke %.1f ms, 100-dab stroke %.1f ms, preview dab %.2f ms, its view part %.2f ms, "
      "peak %.0f MB\n",
      cloneBegin * 1e3, cloneStroke * 1e3, preview * 1e3, part * 1e3, bench::peakMB());
  return 0;
}
