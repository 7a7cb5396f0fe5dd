#include "rova/Parallel.h"

#include <opencv2/core.hpp>

#include <algorithm>
#include <climits>

namespace rova {

void parallelFor(int64_t count, int64_t grain, const std::function<void(int64_t, int64_t)>& body) {
  if (count <= 0) return;
  grain = std::max<int64_t>(1, grain);
  if ((count + grain - 1) / grain > INT32_MAX) grain = (count + INT32_MAX - 1) / INT32_MAX;
  const int64_t pieces = (count + grain - 1) / grain;
  if (pieces <= 1) return body(0, count);
  cv::parallel_for_(cv::Range(0, int(pieces)), [&](const cv::Range& r) {
    for (int64_t p = r.start; p < r.end; ++p) body(p * grain, std::min(count, (p + 1) * grain));
  });
}

}  // namespace rova
