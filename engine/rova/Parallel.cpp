#include "rova/Parallel.h"

#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>
#include <tbb/task_arena.h>

#include <algorithm>
#include <climits>

namespace rova {

namespace {

// Set while this thread runs a piece of a loop: a loop started inside one runs its pieces here, in
// order, as the loop around it already keeps the cores busy.
thread_local bool tInsideLoop = false;

struct InsideLoop {
  bool was = tInsideLoop;
  InsideLoop() { tInsideLoop = true; }
  ~InsideLoop() { tInsideLoop = was; }
};

}  // namespace

void parallelFor(int64_t count, int64_t grain, const std::function<void(int64_t, int64_t)>& body) {
  if (count <= 0) return;
  grain = std::max<int64_t>(1, grain);
  if ((count + grain - 1) / grain > INT32_MAX) grain = (count + INT32_MAX - 1) / INT32_MAX;
  const int64_t pieces = (count + grain - 1) / grain;
  auto run = [&](int64_t first, int64_t last) {
    InsideLoop inside;
    for (int64_t p = first; p < last; ++p) body(p * grain, std::min(count, (p + 1) * grain));
  };
  if (pieces <= 1) return body(0, count);
  if (tInsideLoop) return run(0, pieces);
  // Loops started by several threads at once (photos of a batch rendered side by side) share the
  // workers. Each run of pieces is isolated: a thread waiting inside one (a library's own parallel
  // call) only helps with that call's work, never starts another piece of this loop on top of the
  // one it is in.
  tbb::parallel_for(tbb::blocked_range<int64_t>(0, pieces), [&](const tbb::blocked_range<int64_t>& r) {
    tbb::this_task_arena::isolate([&] { run(r.begin(), r.end()); });
  });
}

}  // namespace rova
