#include "rova/effects/EffectParametersContext.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <map>

#include "rova/kernels/Kernels.h"

namespace rova {

namespace {

// The mean of each k x k block of pixels (partial blocks at the right and bottom edges average what
// they hold), on all cores: a large picture comes down to a few megapixels in one parallel pass.
template <class T>
std::shared_ptr<_ImageData<T>> blockMeans(const _ImageData<T>& in, int k) {
  constexpr int C = _ImageData<T>::kChannels;
  const int w = in.width(), h = in.height(), bw = (w + k - 1) / k, bh = (h + k - 1) / k;
  auto out = _ImageData<T>::createUninitialized(bw, bh, in.colorProfileType());
  if (!out) return nullptr;
  const size_t n = size_t(w) * C;
  detail::parallelRows(bh, 4, [&](int r0, int r1) {
    // Each block row's columns are summed down first (contiguous, so the compiler vectorises it),
    // then each block's few columns across.
    std::vector<float> columns(n);
    for (int r = r0; r < r1; ++r) {
      const int y0 = r * k, y1 = std::min(h, y0 + k);
      const float* first = in.floats() + size_t(y0) * n;
      std::copy(first, first + n, columns.begin());
      for (int y = y0 + 1; y < y1; ++y) {
        const float* px = in.floats() + size_t(y) * n;
        float* sum = columns.data();
        for (size_t i = 0; i < n; ++i) sum[i] += px[i];
      }
      float* o = out->floats() + size_t(r) * bw * C;
      for (int c = 0; c < bw; ++c) {
        const int x0 = c * k, x1 = std::min(w, x0 + k);
        float acc[C] = {};
        for (int x = x0; x < x1; ++x)
          for (int ch = 0; ch < C; ++ch) acc[ch] += columns[size_t(C) * x + ch];
        const float scale = 1.f / float((y1 - y0) * (x1 - x0));
        for (int ch = 0; ch < C; ++ch) o[C * c + ch] = acc[ch] * scale;
      }
    }
  });
  return out;
}

// The block means brought to the analysis size.
template <class T>
std::shared_ptr<_ImageData<T>> reduced(const _ImageData<T>& in, int k, Size size) {
  auto blocks = blockMeans(in, k);
  if (!blocks) return nullptr;
  auto out = _ImageData<T>::createUninitialized(size.width, size.height, blocks->colorProfileType());
  if (out)
    cv::resize(detail::asMat(*blocks), detail::asMat(*out), cv::Size(size.width, size.height), 0, 0, cv::INTER_AREA);
  return out;
}

}  // namespace

EffectParametersContext::EffectParametersContext(ImagePtr originalImage) : original_(std::move(originalImage)) {}

std::shared_ptr<EffectParametersContext> EffectParametersContext::forImage(const ImagePtr& originalImage) {
  if (!originalImage) return std::make_shared<EffectParametersContext>();
  // A live context holds its picture, so a key cannot be reused by another picture while the entry
  // it names is alive; entries whose context has gone are swept on the way.
  static std::mutex mutex;
  static std::map<const Image*, std::weak_ptr<EffectParametersContext>> contexts;
  std::lock_guard<std::mutex> lock(mutex);
  if (auto it = contexts.find(originalImage.get()); it != contexts.end())
    if (auto live = it->second.lock()) return live;
  std::erase_if(contexts, [](const auto& entry) { return entry.second.expired(); });
  auto made = std::make_shared<EffectParametersContext>(originalImage);
  contexts[originalImage.get()] = made;
  return made;
}

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
  if (auto out = data ? reduced(*data, k, size) : nullptr) {
    // A transparent picture's alpha comes along, so the analysis can leave hidden parts out.
    auto alpha = data->alpha() ? reduced(*data->alpha(), k, size) : nullptr;
    if (!data->alpha() || (alpha && out->setAlpha(std::move(alpha)))) {
      analysisImage_ = out;
      return analysisImage_;
    }
  }
  analysisImage_ = original_->imageData(size, {}, true);
  return analysisImage_;
}

}  // namespace rova
