#pragma once
// Pictures, processors and pixel comparisons for the processor and effect tests.
#include <functional>
#include <memory>

#include "rova/effects/factory/EffectFactory.h"
#include "rova/processor/ImageProcessor.h"

namespace proctest {

using Fill = std::function<void(int x, int y, float rgb[3])>;

rova::ImageDataRGBfPtr makeData(int w, int h, const Fill& fill);
rova::ImagePtr makeImage(int w, int h, const Fill& fill, rova::OrvantaExifData exif = {});
// A picture with smooth gradients, flat patches and sharp edges: everything effects react to.
rova::ImagePtr makeTestPicture(int w, int h);

// A processor whose bottom layer is the picture.
std::shared_ptr<rova::ImageProcessor> makeProcessor(const rova::ImagePtr& image);
// An adjustment layer at a level holding the named effects (made with the picture's context).
std::shared_ptr<rova::AdjustmentLayer> makeLayer(const rova::ImagePtr& image,
                                                 std::initializer_list<const char*> effects, uint64_t level = 0);

// Renders and returns the result (nullptr when the render made none).
rova::ImageDataRGBfPtr render(rova::ImageProcessor& p, rova::RectRoiF region = {}, rova::Size fit = {});

// Largest absolute channel difference.
float maxDifference(const rova::ImageDataRGBf& a, const rova::ImageDataRGBf& b);
inline const float* px(const rova::ImageDataRGBf& d, int x, int y) { return &d.row(y)[x].r; }

}  // namespace proctest
