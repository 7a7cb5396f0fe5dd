#include "QVCore/ImageProcessing/Layers/QVIPMask.h"

#include <algorithm>

#include "rova/ImageData.h"

namespace {

// Whole pixels of a size; 0 x 0 for a size the engine would not accept.
void pixelSize(CGSize size, int64_t& w, int64_t& h) {
  w = int64_t(size.width);
  h = int64_t(size.height);
  if (!rova::isAcceptableImageSize(w, h)) w = h = 0;
}

template <class F>
QVIPMask::Ptr combine(CGSize size, F value) {
  int64_t w, h;
  pixelSize(size, w, h);
  auto out = std::make_shared<std::vector<float>>(size_t(w) * size_t(h));
  for (int64_t y = 0; y < h; ++y)
    for (int64_t x = 0; x < w; ++x) {
      const float v = value(x, y);
      (*out)[size_t(y * w + x)] = !(v > 0.f) ? 0.f : std::min(v, 1.f);  // NaN gives 0
    }
  return QVIPMask::make(std::move(out), size);
}

}  // namespace

QVIPMask::Ptr QVIPMask::make(Buffer buffer, CGSize size) {
  auto mask = std::make_shared<QVIPMask>();
  mask->buffer_ = std::move(buffer);
  mask->size_ = size;
  return mask;
}

float QVIPMask::valueAt(int64_t x, int64_t y) const {
  int64_t w, h;
  pixelSize(size_, w, h);
  if (!buffer_ || x < 0 || y < 0 || x >= w || y >= h) return 0.f;
  const size_t i = size_t(y * w + x);
  return i < buffer_->size() ? (*buffer_)[i] : 0.f;
}

QVIPMask::Ptr QVIPMask::createEmptyMask() const {
  return combine(size_, [](int64_t, int64_t) { return 0.f; });
}

QVIPMask::Ptr QVIPMask::unionMask(const QVIPMask& other) const {
  return combine(size_, [&](int64_t x, int64_t y) { return valueAt(x, y) + other.valueAt(x, y); });
}

QVIPMask::Ptr QVIPMask::intersectMask(const QVIPMask& other) const {
  return combine(other.size_,
                 [&](int64_t x, int64_t y) { return buffer_ ? valueAt(x, y) - other.valueAt(x, y) : 0.f; });
}
