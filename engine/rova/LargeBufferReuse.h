#pragma once
// Large pixel buffers kept for the next pictures of a run of similar work (a batch export).
//
// A buffer past malloc's largest mapping is a fresh mapping every time: the kernel clears each of
// its pages when it is first touched, and on a busy machine finds and compacts free huge pages for
// it, a fifth or more of a batch photo's CPU. While at least one LargeBufferReuse lives, such
// buffers are not unmapped when freed but kept, up to the largest capacity the live ones ask for,
// and the next allocation takes the smallest kept buffer that holds it (sizes rounded to 2 MB, as
// they are allocated), the one kept longest among equals, its pages already in place: the same
// size, or up to half as large again (a slightly smaller photo's buffer of the same kind; a
// buffer handed out larger goes back to the kept ones with all its bytes). When a buffer would not
// fit, the oldest kept ones are freed first; a kept buffer passed over by two fresh allocations
// larger than it (photos of a larger size came) is freed, so buffers of the photos before are not
// held beside those of the photos under way. When the last LargeBufferReuse ends, every kept
// buffer is freed.
//
// A reused buffer holds what its former owner wrote: the engine's raw pixel storage never promised
// zeros (`_ImageData::create` clears its buffer itself).
#include <cstddef>
#include <cstdint>

namespace rova {

class LargeBufferReuse {
 public:
  explicit LargeBufferReuse(size_t capacityBytes);
  ~LargeBufferReuse();
  LargeBufferReuse(const LargeBufferReuse&) = delete;
  LargeBufferReuse& operator=(const LargeBufferReuse&) = delete;

  // Bytes kept for reuse now, how many buffers, and how many were handed out again since the
  // process started (for tests and benchmarks).
  static size_t keptBytes();
  static size_t keptBuffers();
  static uint64_t reusedBuffers();

 private:
  size_t capacity_;
};

namespace detail {
// A kept buffer of at least `bytes` (at most half as large again), or nullptr; the caller then
// makes a fresh one.
void* takeKeptPixels(size_t bytes) noexcept;
// Whether a LargeBufferReuse lives: fresh large buffers then go without the huge-page hint. In a
// run of photos they are made for the first photos only (the later ones reuse them), and a fresh
// huge page costs far more to find and clear on first touch than its 512 small pages (measured in
// a batch of 20 photos: the system time halved without the hint).
bool reusesPixels() noexcept;
// Keeps the buffer of `bytes` for reuse; false (the caller frees it) when nothing is kept now or it
// is larger than the capacity.
bool keepPixels(void* p, size_t bytes) noexcept;
}  // namespace detail

}  // namespace rova
