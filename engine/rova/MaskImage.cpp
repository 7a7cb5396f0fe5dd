#include "rova/MaskImage.h"

#include <algorithm>
#include <atomic>
#include <cmath>

#include <opencv2/imgproc.hpp>

#include "rova/Parallel.h"

namespace rova {

MaskImage::MaskImage(int width, int height) : data_(ImageDataF::create(width, height)) {}

MaskImage::MaskImage(const float* values, size_t count, int width, int height)
    : data_(ImageDataF::create(width, height)) {
  if (data_ && values) std::copy_n(values, std::min(count, data_->pixelCount()), data_->data());
}

MaskImage::MaskImage(ImageDataFPtr data) : data_(std::move(data)) {}

std::shared_ptr<MaskImage> MaskImage::copy() const {
  return std::make_shared<MaskImage>(data_ ? data_->copy() : nullptr);
}

bool MaskImage::unionWithMask(const MaskImage& other) {
  if (!data_ || !other.data_) return false;
  const int w = std::min(width(), other.width()), h = std::min(height(), other.height());
  parallelFor(h, rowsPerPiece(w), [&](int64_t y0, int64_t y1) {
    for (int y = int(y0); y < int(y1); ++y) {
      float* d = data_->row(y);
      const float* s = other.data_->row(y);
      for (int x = 0; x < w; ++x) d[x] = std::clamp(d[x] + s[x], 0.f, 1.f);
    }
  });
  return true;
}

size_t MaskImage::zeroCount() const {
  if (!data_) return 0;
  const float* p = data_->data();
  const int64_t n = int64_t(data_->pixelCount());
  std::atomic<int64_t> zeros{0};
  parallelFor(n, 1 << 16, [&](int64_t i0, int64_t i1) {
    int64_t here = 0;
    for (int64_t i = i0; i < i1; ++i) here += p[i] == 0.f;
    zeros += here;
  });
  return size_t(zeros.load());
}

void MaskImage::fill(float value) {
  if (data_) std::fill_n(data_->data(), data_->pixelCount(), value);
}

std::shared_ptr<MaskImage> MaskImage::withDensityAndFeather(double density, double feather) const {
  auto out = copy();
  if (!out->isValid()) return out;
  if (std::isfinite(feather) && feather > 0) {
    cv::Mat view(height(), width(), CV_32FC1, out->values());
    cv::GaussianBlur(view, view, cv::Size(0, 0), std::max(0.3, feather / 2), 0, cv::BORDER_REPLICATE);
  }
  if (std::isfinite(density) && density < 100) {
    const float scale = float(std::max(0.0, density) / 100);
    float* v = out->values();
    const size_t n = out->data()->pixelCount();
    for (size_t i = 0; i < n; ++i) v[i] *= scale;
  }
  return out;
}

}  // namespace rova
