#include "rova/kernels/RenderPool.h"

namespace rova::detail {

template <class T>
std::shared_ptr<T> RenderPool::take(std::vector<std::shared_ptr<T>>& kept, size_t limit, Size size) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (size.width != size_.width || size.height != size_.height) {
    rgb_.clear(), planes_.clear();
    size_ = size;
  }
  // Only this pool can hand a buffer out, and only under the lock: one held by nothing else stays so.
  for (auto& buffer : kept)
    if (buffer.use_count() == 1) return buffer;
  auto fresh = T::createUninitialized(size.width, size.height);
  if (fresh && int64_t(size.width) * size.height <= kMaxPixels && kept.size() < limit) kept.push_back(fresh);
  return fresh;
}

ImageDataRGBfPtr RenderPool::rgb(Size size, ImageDataColorProfileType type) {
  auto buffer = take(rgb_, kMaxRgb, size);
  if (buffer) {
    buffer->setColorProfileType(type);
    buffer->setAlpha(nullptr);  // a render that used it before may have left its transparency
  }
  return buffer;
}

ImageDataFPtr RenderPool::plane(Size size) { return take(planes_, kMaxPlanes, size); }

void RenderPool::clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  rgb_.clear(), planes_.clear();
  size_ = {};
}

size_t RenderPool::keptBytes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  size_t bytes = 0;
  for (auto& b : rgb_) bytes += b->byteCount();
  for (auto& b : planes_) bytes += b->byteCount();
  return bytes;
}

}  // namespace rova::detail
