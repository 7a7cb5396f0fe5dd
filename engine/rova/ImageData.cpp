#include "rova/ImageData.h"

#include <sys/mman.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "rova/LargeBufferReuse.h"
#include "rova/Parallel.h"

namespace rova {

namespace {
// 200 MP: a 24 MP photo has room to spare, and a float RGB buffer of the ceiling is 2.4 GB.
constexpr int64_t kDefaultMaxPixels = 200'000'000;
std::atomic<int64_t> gMaxPixels{kDefaultMaxPixels};

template <class T>
std::shared_ptr<_ImageData<T>> resizeImpl(const _ImageData<T>& src, int width, int height, bool highQuality) {
  if (width <= 0 || height <= 0 || src.width() <= 0 || src.height() <= 0) return nullptr;
  auto out = _ImageData<T>::createUninitialized(width, height, src.colorProfileType());
  if (!out) return nullptr;
  constexpr int type = _ImageData<T>::kChannels == 3 ? CV_32FC3 : CV_32FC1;
  cv::Mat in(src.height(), src.width(), type, const_cast<float*>(src.floats()), src.rowBytes());
  cv::Mat dst(height, width, type, out->floats(), out->rowBytes());
  bool shrinking = width <= src.width() && height <= src.height();
  int interp = shrinking ? cv::INTER_AREA : (highQuality ? cv::INTER_LANCZOS4 : cv::INTER_LINEAR);
  if (width == src.width() && height == src.height())
    in.copyTo(dst);
  else
    cv::resize(in, dst, dst.size(), 0, 0, interp);
  return out;
}
}  // namespace

namespace detail {

namespace {
constexpr size_t kHugePage = size_t(2) << 20, kMallocMapMax = kLargePixelBufferBytes;
size_t roundedToHugePages(size_t bytes) { return (bytes + kHugePage - 1) / kHugePage * kHugePage; }
}  // namespace

void* allocatePixels(size_t bytes) noexcept {
  // Up to malloc's largest mapping threshold, freed buffers go back to its heap and the next ones of
  // the size reuse them without faulting; beyond it every buffer is a fresh mapping, unless one
  // freed before is kept for reuse.
  if (bytes <= kMallocMapMax) return std::malloc(bytes ? bytes : 1);
  const size_t rounded = roundedToHugePages(bytes);
  if (void* kept = takeKeptPixels(rounded)) return kept;
  void* p = std::aligned_alloc(kHugePage, rounded);
#ifdef MADV_HUGEPAGE
  // A hint: refused or unsupported changes nothing. Not while buffers are reused (see reusesPixels).
  if (p && !reusesPixels()) madvise(p, rounded, MADV_HUGEPAGE);
#endif
  return p;
}

void freePixels(void* p, size_t bytes) noexcept {
  if (p && bytes > kMallocMapMax && keepPixels(p, roundedToHugePages(bytes))) return;
  std::free(p);
}

void preferHugePages(void* p, size_t bytes) noexcept {
#ifdef MADV_HUGEPAGE
  constexpr uintptr_t kHugePage = uintptr_t(2) << 20;
  const uintptr_t begin = (reinterpret_cast<uintptr_t>(p) + kHugePage - 1) & ~(kHugePage - 1);
  const uintptr_t end = (reinterpret_cast<uintptr_t>(p) + bytes) & ~(kHugePage - 1);
  if (p && end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
  (void)p, (void)bytes;
#endif
}

}  // namespace detail

bool isValidColorProfileType(int type) { return type >= kColorProfileSRGB && type <= kColorProfileWorking; }

int64_t maxPixelCount() { return gMaxPixels.load(std::memory_order_relaxed); }
void setMaxPixelCount(int64_t pixels) { gMaxPixels.store(pixels > 0 ? pixels : kDefaultMaxPixels); }

bool isAcceptableImageSize(int64_t width, int64_t height) {
  return width > 0 && height > 0 && width <= kMaxImageSide && height <= kMaxImageSide &&
         width * height <= maxPixelCount();
}

void clamp(ImageDataRGBf& data) {
  float* p = data.floats();
  const int64_t n = int64_t(data.pixelCount()) * 3;
  parallelFor(n, 1 << 16, [p](int64_t i0, int64_t i1) {
    for (int64_t i = i0; i < i1; ++i) p[i] = p[i] < 0.f ? 0.f : (p[i] > 1.f ? 1.f : p[i]);
  });
}

void clamp(ImageDataF& data) {
  float* p = data.floats();
  const int64_t n = int64_t(data.pixelCount());
  parallelFor(n, 1 << 16, [p](int64_t i0, int64_t i1) {
    for (int64_t i = i0; i < i1; ++i) p[i] = p[i] < 0.f ? 0.f : (p[i] > 1.f ? 1.f : p[i]);
  });
}

ImageDataRGBfPtr resize(const ImageDataRGBf& src, int width, int height, bool highQuality) {
  auto out = resizeImpl(src, width, height, highQuality);
  if (out && src.alpha()) {
    auto alpha = resizeImpl(*src.alpha(), width, height, highQuality);
    if (!alpha) return nullptr;
    clamp(*alpha);  // Lanczos rings past the ends
    out->setAlpha(std::move(alpha));
  }
  return out;
}
ImageDataFPtr resize(const ImageDataF& src, int width, int height, bool highQuality) {
  return resizeImpl(src, width, height, highQuality);
}

void extendVisibleColours(ImageDataRGBf& data) {
  if (!data.alpha()) return;
  const ImageDataF& alpha = *data.alpha();
  const int w = data.width(), h = data.height();
  std::vector<uint8_t> rowVisible(size_t(h), 0);
  parallelFor(h, rowsPerPiece(w), [&](int64_t y0, int64_t y1) {
    for (int y = int(y0); y < int(y1); ++y) {
      const float* a = alpha.row(y);
      PixelRGB<float>* px = data.row(y);
      int last = -1;  // the last visible pixel to the left
      for (int x = 0; x < w; ++x) {
        if (!isVisibleAlpha(a[x])) continue;
        if (last < 0) {
          std::fill(px, px + x, px[x]);
        } else if (last + 1 < x) {
          // A hidden run between two visible pixels: each half takes its nearer side.
          const int mid = (last + x + 1) / 2;
          std::fill(px + last + 1, px + mid, px[last]);
          std::fill(px + mid, px + x, px[x]);
        }
        last = x;
      }
      if (last >= 0) {
        std::fill(px + last + 1, px + w, px[last]);
        rowVisible[size_t(y)] = 1;
      }
    }
  });
  // Rows without a visible pixel copy the nearest row that has one.
  std::vector<int> nearest(size_t(h), -1);
  for (int y = 0, prev = -1; y < h; ++y) {
    if (rowVisible[size_t(y)]) prev = y;
    nearest[size_t(y)] = prev;
  }
  for (int y = h - 1, next = -1; y >= 0; --y) {
    if (rowVisible[size_t(y)]) next = y;
    const int prev = nearest[size_t(y)];
    nearest[size_t(y)] = prev < 0 ? next : next < 0 ? prev : (y - prev <= next - y ? prev : next);
  }
  for (int y = 0; y < h; ++y)
    if (!rowVisible[size_t(y)] && nearest[size_t(y)] >= 0)
      std::memcpy(static_cast<void*>(data.row(y)), data.row(nearest[size_t(y)]), data.rowBytes());
}

}  // namespace rova
