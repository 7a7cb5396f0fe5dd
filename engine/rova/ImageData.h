#pragma once
// Pixel buffers of the engine. Pixels in memory are 32-bit float, linear-light RGB (three floats per
// pixel, rows top to bottom with no gap) or one float per pixel for masks.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "rova/RectRoi.h"

namespace rova {

// Colour profile of pixel data. The numbers are stored in files and exchanged with callers: keep them.
enum ImageDataColorProfileType : int {
  kColorProfileSRGB = 0,      // sRGB primaries, sRGB tone curve
  kColorProfileGeneric = 1,   // untagged device RGB; treated as sRGB
  kColorProfileNative = 2,    // the engine's data as it is: linear-light, sRGB (Rec. 709) primaries
  kColorProfileProPhoto = 3,  // ProPhoto (ROMM) RGB, gamma 1.8
  kColorProfileAdobeRGB = 4,  // Adobe RGB (1998), gamma 563/256
  kColorProfileGray = 5,      // grey data expanded to RGB; treated as sRGB
  kColorProfileWorking = 6,   // the engine's working space, linear-light Rec. 709 primaries
  kColorProfileUnknown = 7,
};
bool isValidColorProfileType(int type);

template <class T>
struct PixelRGB {
  T r{}, g{}, b{};
  friend bool operator==(const PixelRGB&, const PixelRGB&) = default;
};

// The largest image the engine allocates, in pixels. Every size read from a file is checked against
// it before any buffer is made, so a hostile header cannot make us allocate without bound.
int64_t maxPixelCount();
void setMaxPixelCount(int64_t pixels);  // for tools and tests; values <= 0 restore the default
inline constexpr int kMaxImageSide = 65535;
// True when w x h is a size the engine accepts (positive, each side <= kMaxImageSide, within the ceiling).
bool isAcceptableImageSize(int64_t width, int64_t height);

namespace detail {
// Raw storage for pixel buffers: nothing is written into it (nullptr when memory is short). Large
// buffers sit on huge-page boundaries and ask the kernel for huge pages, so filling a full-size
// picture takes a few hundred page faults instead of tens of thousands; while a LargeBufferReuse
// lives, they may be buffers freed before (their pages in place, their former pixels in them), and
// fresh ones do not ask for huge pages (see LargeBufferReuse).
void* allocatePixels(size_t bytes) noexcept;
// Frees what allocatePixels(bytes) gave, with the same `bytes`.
void freePixels(void* p, size_t bytes) noexcept;
// Past this size (malloc's largest mapping threshold) a buffer is a mapping of its own.
inline constexpr size_t kLargePixelBufferBytes = size_t(32) << 20;
// Asks the kernel to back the whole 2 MB pages inside [p, p + bytes) with huge pages when they are
// first touched (a hint; large buffers of other allocators: one fault per 2 MB instead of per 4 kB).
void preferHugePages(void* p, size_t bytes) noexcept;
struct PixelsDeleter {
  size_t bytes = 0;
  void operator()(void* p) const noexcept { freePixels(p, bytes); }
};
}  // namespace detail

template <class T>
class _ImageData {
 public:
  using Pixel = T;
  static constexpr int kChannels = int(sizeof(T) / sizeof(float));

  // A zero-filled buffer, or nullptr when the size is not acceptable or memory is short.
  static std::shared_ptr<_ImageData> create(int width, int height,
                                            ImageDataColorProfileType type = kColorProfileNative) {
    auto d = createUninitialized(width, height, type);
    if (d) std::memset(static_cast<void*>(d->pixels_.get()), 0, d->byteCount());
    return d;
  }
  // As create(), without clearing: for buffers that are filled completely right away.
  static std::shared_ptr<_ImageData> createUninitialized(int width, int height,
                                                         ImageDataColorProfileType type = kColorProfileNative) {
    if (!isAcceptableImageSize(width, height)) return nullptr;
    // Raw storage, not new T[]: the pixel type's member initialisers would clear every byte first.
    const size_t bytes = size_t(width) * size_t(height) * sizeof(T);
    Storage px(static_cast<T*>(detail::allocatePixels(bytes)), detail::PixelsDeleter{bytes});
    if (!px) return nullptr;
    return std::shared_ptr<_ImageData>(new _ImageData(width, height, type, std::move(px)));
  }

  int width() const { return width_; }
  int height() const { return height_; }
  int channels() const { return kChannels; }
  size_t pixelCount() const { return size_t(width_) * size_t(height_); }
  size_t byteCount() const { return pixelCount() * sizeof(T); }
  size_t rowBytes() const { return size_t(width_) * sizeof(T); }
  ImageDataColorProfileType colorProfileType() const { return type_; }
  void setColorProfileType(ImageDataColorProfileType t) { type_ = t; }

  T* data() { return pixels_.get(); }
  const T* data() const { return pixels_.get(); }
  float* floats() { return reinterpret_cast<float*>(pixels_.get()); }
  const float* floats() const { return reinterpret_cast<const float*>(pixels_.get()); }
  T* row(int y) { return pixels_.get() + size_t(y) * size_t(width_); }
  const T* row(int y) const { return pixels_.get() + size_t(y) * size_t(width_); }
  T& at(int x, int y) { return row(y)[x]; }
  const T& at(int x, int y) const { return row(y)[x]; }

  // A new buffer holding the region (top-left origin), clipped to the image; the zero region means
  // the whole image. The alpha plane comes along. nullptr when the clipped region is empty.
  std::shared_ptr<_ImageData> copy(const RectRoi& roi = {}) const {
    RectRoi r = roi.isZero() ? RectRoi{0, 0, width_, height_} : roi.intersection({0, 0, width_, height_});
    if (r.width <= 0 || r.height <= 0) return nullptr;
    auto out = createUninitialized(r.width, r.height, type_);
    if (!out) return nullptr;
    for (int y = 0; y < r.height; ++y)
      std::memcpy(static_cast<void*>(out->row(y)), row(r.y + y) + r.x, size_t(r.width) * sizeof(T));
    if (alpha_ && !(out->alpha_ = alpha_->copy(r))) return nullptr;
    return out;
  }

  // The picture's opacity when it has transparent parts: straight (not premultiplied) alpha, 0..1,
  // one float a pixel at the same size; nullptr for an opaque picture, which costs nothing more.
  // The colour of a fully transparent pixel means nothing. copy() and resize() carry the plane
  // along; effects work on the colour alone.
  using AlphaPlane = std::shared_ptr<_ImageData<float>>;
  const AlphaPlane& alpha() const { return alpha_; }
  bool hasAlpha() const { return alpha_ != nullptr; }
  // False (nothing changed) for a plane of another size.
  bool setAlpha(AlphaPlane plane) {
    if (plane && (plane->width() != width_ || plane->height() != height_)) return false;
    alpha_ = std::move(plane);
    return true;
  }

 private:
  using Storage = std::unique_ptr<T[], detail::PixelsDeleter>;
  _ImageData(int w, int h, ImageDataColorProfileType t, Storage px)
      : width_(w), height_(h), type_(t), pixels_(std::move(px)) {}
  int width_ = 0, height_ = 0;
  ImageDataColorProfileType type_ = kColorProfileNative;
  Storage pixels_;
  AlphaPlane alpha_;
};

using ImageDataRGBf = _ImageData<PixelRGB<float>>;
using ImageDataF = _ImageData<float>;
using ImageDataRGBfPtr = std::shared_ptr<ImageDataRGBf>;
using ImageDataFPtr = std::shared_ptr<ImageDataF>;

// Clamps every channel to 0..1 in place (parallel).
void clamp(ImageDataRGBf& data);
void clamp(ImageDataF& data);

// Resamples to a new size (area averaging when shrinking, bilinear when enlarging; highQuality
// selects Lanczos when enlarging), the alpha plane alike (kept within 0..1). nullptr for an empty
// size or no source.
ImageDataRGBfPtr resize(const ImageDataRGBf& src, int width, int height, bool highQuality = true);
ImageDataFPtr resize(const ImageDataF& src, int width, int height, bool highQuality = true);

// Gives every fully transparent pixel of a picture with an alpha plane the colour of the nearest
// visible pixel of its row (rows with none take the nearest row that has one), so filters and
// resampling that reach into a hidden area see the visible edge continued, not what the file kept
// there. Visible pixels are not touched; nothing happens without an alpha plane.
void extendVisibleColours(ImageDataRGBf& data);

// Whether a pixel of an alpha plane counts as part of the picture (anything not fully transparent;
// the small margin absorbs the rounding of resampling).
inline bool isVisibleAlpha(float a) { return a > 0.5f / 65535.f; }

}  // namespace rova
