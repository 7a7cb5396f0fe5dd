#include "rova/kernels/Kernels.h"

#include "rova/Parallel.h"

namespace rova::detail {

void parallelRows(int height, int bandHeight, const std::function<void(int, int)>& body) {
  parallelFor(height, bandHeight, [&](int64_t y0, int64_t y1) { body(int(y0), int(y1)); });
}

}  // namespace rova::detail
