#include "engine/rova/processor/ProcessorTestSupport.h"

#include <algorithm>
#include <cmath>

namespace proctest {

rova::ImageDataRGBfPtr makeData(int w, int h, const Fill& fill) {
  auto d = rova::ImageDataRGBf::create(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) fill(x, y, &d->row(y)[x].r);
  return d;
}

rova::ImagePtr makeImage(int w, int h, const Fill& fill, rova::OrvantaExifData exif) {
  rova::ImageMetadata metadata;
  metadata.exif = exif;
  return rova::Image::make(makeData(w, h, fill), metadata);
}

rova::ImagePtr makeTestPicture(int w, int h) {
  return makeImage(w, h, [w, h](int x, int y, float* c) {
    const float gx = float(x) / w, gy = float(y) / h;
    c[0] = 0.05f + 0.6f * gx;
    c[1] = 0.05f + 0.5f * gy;
    c[2] = 0.1f + 0.3f * gx * gy;
    if ((x / 16 + y / 16) % 2 == 0 && x > w / 2) c[0] = c[1] = c[2] = 0.7f;  // checkerboard of edges
    if (y > h * 3 / 4) c[0] = c[1] = c[2] = 0.02f;                           // a dark band
  });
}

std::shared_ptr<rova::ImageProcessor> makeProcessor(const rova::ImagePtr& image) {
  auto p = std::make_shared<rova::ImageProcessor>();
  p->addLayer(std::make_shared<rova::ImageLayer>(image));
  return p;
}

std::shared_ptr<rova::AdjustmentLayer> makeLayer(const rova::ImagePtr& image,
                                                 std::initializer_list<const char*> effects, uint64_t level) {
  auto layer = std::make_shared<rova::AdjustmentLayer>(0);
  layer->setLevel(level);
  auto context = std::make_shared<rova::EffectParametersContext>(image);
  for (const char* id : effects) layer->addEffect(rova::EffectFactory::instance().makeEffectWithID(id, context));
  return layer;
}

rova::ImageDataRGBfPtr render(rova::ImageProcessor& p, rova::RectRoiF region, rova::Size fit) {
  rova::ImageProcessorSettings s;
  s.region = region;
  s.outputSize = fit;
  s.useCache = false;
  if (!p.startProcessing(s)) return nullptr;
  return p.getLastResult();
}

float maxDifference(const rova::ImageDataRGBf& a, const rova::ImageDataRGBf& b) {
  if (a.width() != b.width() || a.height() != b.height()) return INFINITY;
  float m = 0;
  for (size_t i = 0; i < a.pixelCount() * 3; ++i) m = std::max(m, std::fabs(a.floats()[i] - b.floats()[i]));
  return m;
}

}  // namespace proctest
