#include "rova/kernels/Kernels.h"

#include <algorithm>

namespace rova::detail {

void parallelRows(int height, int bandHeight, const std::function<void(int, int)>& body) {
  int bands = (height + bandHeight - 1) / bandHeight;
  cv::parallel_for_(cv::Range(0, bands), [&](const cv::Range& r) {
    for (int b = r.start; b < r.end; ++b) body(b * bandHeight, std::min(height, (b + 1) * bandHeight));
  });
}

}  // namespace rova::detail
