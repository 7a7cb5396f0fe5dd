#include "rova/masks/Dabs.h"

#include <mutex>

#include "rova/kernels/Kernels.h"

namespace rova::dabs {

Bounds forDabRows(int x0, int y0, int x1, int y1, const std::function<void(int, int, Bounds&)>& band) {
  std::mutex mutex;
  Bounds all;
  auto run = [&](int r0, int r1) {
    Bounds local;
    band(y0 + r0, y0 + r1, local);
    std::lock_guard<std::mutex> lock(mutex);
    all.merge(local);
  };
  if (long(x1 - x0) * long(y1 - y0) > kParallelDabPixels)
    detail::parallelRows(y1 - y0, 32, run);
  else
    run(0, y1 - y0);
  return all;
}

}  // namespace rova::dabs
