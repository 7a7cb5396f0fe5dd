#include "rova/Inpaint.h"

#include <algorithm>
#include <cmath>

#include <opencv2/core.hpp>
#include <opencv2/photo.hpp>

namespace rova {

int inpaint_image(const ImageDataRGBf& source, ImageDataRGBf& destination, const ImageDataF& mask, int method,
                  float parameter, const std::atomic<uint8_t>* cancel, const std::function<void(float)>& progress) {
  const int w = source.width(), h = source.height();
  if (w <= 0 || h <= 0 || destination.width() != w || destination.height() != h || mask.width() != w ||
      mask.height() != h)
    return kInpaintFailed;
  auto cancelled = [cancel] { return cancel && cancel->load(std::memory_order_relaxed) != 0; };
  auto report = [&progress](float value) {
    if (progress) progress(value);
  };

  // OpenCV fills 8-bit three-channel or float single-channel pictures; filling each float plane on
  // its own keeps the linear values (and anything above 1) instead of quantising to 8 bits.
  cv::Mat hole(h, w, CV_8UC1);
  size_t covered = 0;
  for (int y = 0; y < h; ++y) {
    const float* m = mask.row(y);
    uint8_t* o = hole.ptr<uint8_t>(y);
    for (int x = 0; x < w; ++x) {
      o[x] = m[x] > 0.f ? 255 : 0;
      covered += o[x] != 0;
    }
  }
  if (covered == 0) return kInpaintFailed;

  const float p = std::isfinite(parameter) ? std::clamp(parameter, 0.f, 1.f) : 0.5f;
  const double radius = 3.0 + 8.0 * p;
  (void)method;
  const int flags = cv::INPAINT_NS;

  report(0.f);
  cv::Mat filled[3];
  try {
    for (int c = 0; c < 3; ++c) {
      if (cancelled()) return kInpaintCancelled;
      cv::Mat plane(h, w, CV_32FC1);
      for (int y = 0; y < h; ++y) {
        const float* s = reinterpret_cast<const float*>(source.row(y));
        float* o = plane.ptr<float>(y);
        for (int x = 0; x < w; ++x) o[x] = s[3 * x + c];
      }
      cv::inpaint(plane, hole, filled[c], radius, flags);
      report(float(c + 1) / 3.f);
    }
  } catch (const cv::Exception&) {
    return kInpaintFailed;
  }
  if (cancelled()) return kInpaintCancelled;

  for (int y = 0; y < h; ++y) {
    const float* s = reinterpret_cast<const float*>(source.row(y));
    const float* m = mask.row(y);
    float* d = reinterpret_cast<float*>(destination.row(y));
    const float* f[3] = {filled[0].ptr<float>(y), filled[1].ptr<float>(y), filled[2].ptr<float>(y)};
    for (int x = 0; x < w; ++x) {
      const float a = std::clamp(m[x], 0.f, 1.f);
      for (int c = 0; c < 3; ++c) d[3 * x + c] = s[3 * x + c] + (f[c][x] - s[3 * x + c]) * a;
    }
  }
  report(1.f);
  return kInpaintDone;
}

}  // namespace rova
