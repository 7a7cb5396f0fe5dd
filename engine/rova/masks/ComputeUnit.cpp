#include "rova/masks/ComputeUnit.h"

#include <algorithm>
#include <cmath>

#include "rova/kernels/Kernels.h"

namespace rova {

ImageDataRGBfPtr cutAndScale(const ImageDataRGBf& image, const RectRoiF& region, Size output) {
  if (output.isEmpty()) return nullptr;
  if (region.isEmpty()) return ImageDataRGBf::create(output.width, output.height);
  return cutAndScalePart(image, region, output, {0, 0, output.width, output.height});
}

ImageDataRGBfPtr cutAndScalePart(const ImageDataRGBf& image, const RectRoiF& region, Size output, const RectRoi& part) {
  const RectRoi cut = part.intersection({0, 0, output.width, output.height});
  if (cut.isEmpty() || region.isEmpty() || image.width() <= 0 || image.height() <= 0) return nullptr;
  auto out = ImageDataRGBf::createUninitialized(cut.width, cut.height);
  if (!out) return nullptr;
  const double sx = region.width / output.width, sy = region.height / output.height;
  const int w = image.width(), h = image.height();
  detail::parallelRows(cut.height, 32, [&](int r0, int r1) {
    for (int r = r0; r < r1; ++r) {
      const double fy = std::clamp(region.y + (cut.y + r + 0.5) * sy - 0.5, 0.0, double(h - 1));
      const int y0 = int(fy), y1 = std::min(h - 1, y0 + 1);
      const float ty = float(fy - y0);
      const PixelRGB<float>* top = image.row(y0);
      const PixelRGB<float>* bottom = image.row(y1);
      PixelRGB<float>* dst = out->row(r);
      for (int c = 0; c < cut.width; ++c) {
        const double fx = std::clamp(region.x + (cut.x + c + 0.5) * sx - 0.5, 0.0, double(w - 1));
        const int x0 = int(fx), x1 = std::min(w - 1, x0 + 1);
        const float tx = float(fx - x0);
        auto mix = [&](float PixelRGB<float>::*ch) {
          const float t = top[x0].*ch * (1 - tx) + top[x1].*ch * tx;
          const float b = bottom[x0].*ch * (1 - tx) + bottom[x1].*ch * tx;
          return t * (1 - ty) + b * ty;
        };
        dst[c] = {mix(&PixelRGB<float>::r), mix(&PixelRGB<float>::g), mix(&PixelRGB<float>::b)};
      }
    }
  });
  return out;
}

RectRoi outputRectForChange(const RectRoi& changed, const RectRoiF& region, double scaleX, double scaleY, Size output) {
  if (changed.isEmpty() || output.isEmpty() || !(scaleX > 0) || !(scaleY > 0)) return {};
  const int x0 = int(std::floor((changed.x - region.x) * scaleX)) - 1;
  const int y0 = int(std::floor((changed.y - region.y) * scaleY)) - 1;
  const int x1 = int(std::ceil((changed.right() - region.x) * scaleX)) + 1;
  const int y1 = int(std::ceil((changed.bottom() - region.y) * scaleY)) + 1;
  return RectRoi{x0, y0, x1 - x0, y1 - y0}.intersection({0, 0, output.width, output.height});
}

void ImageComputeUnit::setTransform(const Transform& transform) {
  if (transform == transform_) return;
  transform_ = transform;
  working_.reset();
}

const ImageDataRGBfPtr& ImageComputeUnit::workingImage() {
  if (working_ || !image_) return working_;
  const RectRoiF whole{0, 0, double(image_->width()), double(image_->height())};
  const RectRoiF region = transform_.region.isZero() ? whole : transform_.region;
  const Size output = transform_.outputSize.isZero()
                          ? Size{int(std::lround(region.width)), int(std::lround(region.height))}
                          : transform_.outputSize;
  working_ = cutAndScale(*image_, region, output);
  return working_;
}

}  // namespace rova
