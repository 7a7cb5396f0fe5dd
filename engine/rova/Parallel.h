#pragma once
// The engine's one way to spread a loop over the cores. Every parallel loop of the engine (renders,
// reads, conversions, writers) runs on the same worker threads: two thread pools side by side (one of
// them spinning between loops) took cores from each other and made a whole export up to twice as slow.
#include <algorithm>
#include <cstdint>
#include <functional>

namespace rova {

// Calls body(begin, end) over [0, count) in pieces of `grain` (the last may be shorter), on the worker
// threads; a count of one piece or less runs on the calling thread, and so does a loop started
// inside a piece of another (in order). Loops started by several threads at once share the workers.
void parallelFor(int64_t count, int64_t grain, const std::function<void(int64_t, int64_t)>& body);

// Rows of a picture `width` pixels wide that make a piece worth handing to another thread (about 64 k
// pixels): smaller pictures stay on the calling thread.
inline int64_t rowsPerPiece(int64_t width) {
  return std::max<int64_t>(1, (int64_t(1) << 16) / std::max<int64_t>(1, width));
}

}  // namespace rova
