#include "rova/effects/EffectParametersContext.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

#include "rova/kernels/Kernels.h"

namespace rova {

namespace {

// The mean of each k x k block of pixels (partial blocks at the right and bottom edges average what
// they hold), on all cores: a large picture comes down to a few megapixels in one parallel pass.
ImageDataRGBfPtr blockMeans(const ImageDataRGBf& in, int k) {
  const int w = in.width(), h = in.height(), bw = (w + k - 1) / k, bh = (h + k - 1) / k;
  auto out = ImageDataRGBf::createUninitialized(bw, bh, in.colorProfileType());
  if (!out) return nullptr;
  detail::parallelRows(bh, 4, [&](int r0, int r1) {
    std::vector<float> sum(size_t(bw) * 3);
    for (int r = r0; r < r1; ++r) {
      std::fill(sum.begin(), sum.end(), 0.f);
      const int y0 = r * k, y1 = std::min(h, y0 + k);
      for (int y = y0; y < y1; ++y) {
        const float* px = in.floats() + size_t(y) * w * 3;
        for (int c = 0; c < bw; ++c) {
          float acc[3] = {0, 0, 0};
          for (int x = c * k; x < std::min(w, c * k + k); ++x)
            acc[0] += px[3 * x], acc[1] += px[3 * x + 1], acc[2] += px[3 * x + 2];
          sum[3 * c] += acc[0], sum[3 * c + 1] += acc[1], sum[3 * c + 2] += acc[2];
        }
      }
      float* o = out->floats() + size_t(r) * bw * 3;
      for (int c = 0; c < bw; ++c) {
        const float n = float((y1 - y0) * (std::min(w, c * k + k) - c * k));
        for (int ch = 0; ch < 3; ++ch) o[3 * c + ch] = sum[3 * c + ch] / n;
      }
    }
  });
  return out;
}

}  // namespace

EffectParametersContext::EffectParametersContext(ImagePtr originalImage) : original_(std::move(originalImage)) {}

ImageDataRGBfPtr EffectParametersContext::analysisImage() const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (analysisImage_ || !original_) return analysisImage_;
  int w = original_->width(), h = original_->height();
  if (w <= 0 || h <= 0) return nullptr;
  double s = std::min(1.0, double(kAnalysisLongSide) / std::max(w, h));
  Size size{std::max(1, int(std::lround(w * s))), std::max(1, int(std::lround(h * s)))};
  // A picture several times larger than the analysis size is first averaged in whole blocks on all
  // cores (an area resize of the whole picture on one core costs about a tenth of a second at 24 MP),
  // then brought to the analysis size from there.
  const int k = int(std::floor(1 / s));
  auto data = k >= 2 ? original_->imageData() : nullptr;
  if (auto blocks = data ? blockMeans(*data, k) : nullptr) {
    auto out = ImageDataRGBf::createUninitialized(size.width, size.height, blocks->colorProfileType());
    if (out) {
      cv::resize(detail::asMat(*blocks), detail::asMat(*out), cv::Size(size.width, size.height), 0, 0, cv::INTER_AREA);
      analysisImage_ = out;
      return analysisImage_;
    }
  }
  analysisImage_ = original_->imageData(size, {}, true);
  return analysisImage_;
}

}  // namespace rova
