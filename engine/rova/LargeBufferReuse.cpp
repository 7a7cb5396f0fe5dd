#include "rova/LargeBufferReuse.h"

#include <cstdlib>
#include <deque>
#include <mutex>
#include <set>
#include <unordered_map>
#include <vector>

namespace rova {

namespace {

struct Kept {
  void* pixels;
  size_t bytes;
  // Fresh buffers larger than this one that were made while it waited.
  int passedOver = 0;
};

// A kept buffer serves a request up to this much smaller than itself: the same kind of buffer of a
// slightly smaller photo (cameras and crops differ by a few per cent to a few tens), never a
// picture's buffer for a bitmap a quarter of its size.
constexpr double kLargestServedRatio = 1.5;
// A kept buffer passed over by this many larger fresh ones belongs to smaller photos than those
// under way now: it is freed rather than held beside them.
constexpr int kPassedOverLimit = 2;

struct State {
  std::mutex mutex;
  std::multiset<size_t> capacities;  // one a live LargeBufferReuse
  std::deque<Kept> kept;             // oldest first
  size_t keptBytes = 0;
  // Buffers handed out for fewer bytes than they hold, with the bytes they hold.
  std::unordered_map<void*, size_t> lentLarger;
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
  std::vector<void*> freed;
  void* taken = nullptr;
  {
    std::lock_guard lock(s.mutex);
    // The smallest kept buffer that holds the bytes without wasting much, the oldest among equals.
    auto best = s.kept.end();
    for (auto it = s.kept.begin(); it != s.kept.end(); ++it)
      if (it->bytes >= bytes && double(it->bytes) <= kLargestServedRatio * double(bytes) &&
          (best == s.kept.end() || it->bytes < best->bytes))
        best = it;
    if (best != s.kept.end()) {
      try {
        if (best->bytes != bytes) s.lentLarger.emplace(best->pixels, best->bytes);
        taken = best->pixels;
        s.keptBytes -= best->bytes;
        ++s.reused;
        s.kept.erase(best);
      } catch (...) {
        taken = nullptr;  // without its true size recorded it is not handed out
      }
    } else {
      // A fresh buffer follows: the kept ones too small for it twice over are another photo
      // size's, and would only add to what this one takes.
      try {
        for (auto it = s.kept.begin(); it != s.kept.end();) {
          if (it->bytes < bytes && ++it->passedOver >= kPassedOverLimit) {
            freed.push_back(it->pixels);
            s.keptBytes -= it->bytes;
            it = s.kept.erase(it);
          } else {
            ++it;
          }
        }
      } catch (...) {
      }
    }
  }
  freeAll(freed);
  return taken;
}

bool reusesPixels() noexcept {
  State& s = state();
  std::lock_guard lock(s.mutex);
  return !s.capacities.empty();
}

bool keepPixels(void* p, size_t bytes) noexcept {
  State& s = state();
  std::vector<void*> freed;
  {
    std::lock_guard lock(s.mutex);
    if (auto lent = s.lentLarger.find(p); lent != s.lentLarger.end()) {
      bytes = lent->second;
      s.lentLarger.erase(lent);
    }
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
