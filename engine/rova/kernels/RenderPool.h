#pragma once
// Internal: pixel buffers a processor keeps between renders of one size.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "rova/ImageData.h"

namespace rova::detail {

// Renders of the same size (a preview while a slider moves) take their large buffers from here
// instead of fresh memory: a fresh buffer of that size is a new mapping whose every page the kernel
// zeroes on first touch, which costs about as much as some of the effects that fill it.
//
// Memory stays bounded: only buffers of at most kMaxPixels are kept (a full-size export keeps
// nothing), at most kMaxRgb colour buffers (a render's source buffer, the previous result still
// shown while the next is made, and one working copy) and kMaxPlanes single planes, all of one size;
// a render of another size drops them. A buffer is handed out again only when nothing else holds
// it, so a result the caller still keeps is never written over.
class RenderPool {
 public:
  static constexpr int64_t kMaxPixels = 5'000'000;
  static constexpr size_t kMaxRgb = 3, kMaxPlanes = 2;

  // A buffer of the size with undefined content; nullptr when the size is not acceptable or memory
  // is short.
  ImageDataRGBfPtr rgb(Size size, ImageDataColorProfileType type = kColorProfileNative);
  ImageDataFPtr plane(Size size);
  void clear();

  // The bytes of the buffers kept now (for tests).
  size_t keptBytes() const;

 private:
  template <class T>
  std::shared_ptr<T> take(std::vector<std::shared_ptr<T>>& kept, size_t limit, Size size);

  mutable std::mutex mutex_;
  Size size_;
  std::vector<ImageDataRGBfPtr> rgb_;
  std::vector<ImageDataFPtr> planes_;
};

// A colour buffer from the pool when there is one, else a fresh one.
inline ImageDataRGBfPtr workBuffer(RenderPool* pool, Size size, ImageDataColorProfileType type = kColorProfileNative) {
  return pool ? pool->rgb(size, type) : ImageDataRGBf::createUninitialized(size.width, size.height, type);
}
inline ImageDataFPtr workPlane(RenderPool* pool, Size size) {
  return pool ? pool->plane(size) : ImageDataF::createUninitialized(size.width, size.height);
}

}  // namespace rova::detail
