#include "rova/LargeBufferReuse.h"

#include <cstdlib>
#include <deque>
#include <mutex>
#include <set>
#include <vector>

namespace rova {

namespace {

struct Kept {
  void* pixels;
  size_t bytes;
};

struct State {
  std::mutex mutex;
  std::multiset<size_t> capacities;  // one a live LargeBufferReuse
  std::deque<Kept> kept;             // oldest first
  size_t keptBytes = 0;
  uint64_t reused = 0;

  size_t capacity() const { return capacities.empty() ? 0 : *capacities.rbegin(); }
  // Takes the oldest buffers out until at most `limit` bytes are kept; the caller frees them
  // outside the lock (unmapping takes a while).
  void trim(size_t limit, std::vector<void*>& freed) {
    while (keptBytes > limit && !kept.empty()) {
      freed.push_back(kept.front().pixels);
      keptBytes -= kept.front().bytes;
      kept.pop_front();
    }
  }
};

// Never destroyed: buffers may be freed by static destructors at exit.
State& state() {
  static State& s = *new State;
  return s;
}

void freeAll(const std::vector<void*>& freed) {
  for (void* p : freed) std::free(p);
}

}  // namespace

LargeBufferReuse::LargeBufferReuse(size_t capacityBytes) : capacity_(capacityBytes) {
  State& s = state();
  std::lock_guard lock(s.mutex);
  s.capacities.insert(capacity_);
}

LargeBufferReuse::~LargeBufferReuse() {
  State& s = state();
  std::vector<void*> freed;
  {
    std::lock_guard lock(s.mutex);
    s.capacities.erase(s.capacities.find(capacity_));
    s.trim(s.capacity(), freed);
  }
  freeAll(freed);
}

size_t LargeBufferReuse::keptBytes() {
  State& s = state();
  std::lock_guard lock(s.mutex);
  return s.keptBytes;
}

size_t LargeBufferReuse::keptBuffers() {
  State& s = state();
  std::lock_guard lock(s.mutex);
  return s.kept.size();
}

uint64_t LargeBufferReuse::reusedBuffers() {
  State& s = state();
  std::lock_guard lock(s.mutex);
  return s.reused;
}

namespace detail {

void* takeKeptPixels(size_t bytes) noexcept {
  State& s = state();
  std::lock_guard lock(s.mutex);
  for (auto it = s.kept.begin(); it != s.kept.end(); ++it) {
    if (it->bytes != bytes) continue;
    void* p = it->pixels;
    s.keptBytes -= bytes;
    ++s.reused;
    s.kept.erase(it);
    return p;
  }
  return nullptr;
}

bool keepPixels(void* p, size_t bytes) noexcept {
  State& s = state();
  std::vector<void*> freed;
  {
    std::lock_guard lock(s.mutex);
    const size_t capacity = s.capacity();
    if (bytes > capacity) return false;
    try {
      s.kept.push_back({p, bytes});
    } catch (...) {
      return false;
    }
    s.keptBytes += bytes;
    s.trim(capacity, freed);
  }
  freeAll(freed);
  return true;
}

}  // namespace detail

}  // namespace rova
