#pragma once
// What the mask brush and the clone brush share: the soft round dab's strength and the placing of
// dabs along a stroke at a quarter-radius spacing.
#include <algorithm>
#include <climits>
#include <cmath>
#include <functional>
#include <memory>
#include <vector>

namespace rova::dabs {

inline double smoothstep(double t) {
  t = std::clamp(t, 0.0, 1.0);
  return t * t * (3 - 2 * t);
}

// Strength at distance d from a dab's centre: full inside the hard core, falling smoothly to 0 at
// the rim.
inline double falloff(double d, double radius, double softness) {
  if (d >= radius) return 0;
  const double inner = radius * (1 - std::clamp(softness, 0.0, 1.0));
  if (d <= inner) return 1;
  return smoothstep((radius - d) / (radius - inner));
}

inline bool allFinite(std::initializer_list<double> values) {
  return std::all_of(values.begin(), values.end(), [](double v) { return std::isfinite(v); });
}

// Places dabs along the points of one stroke (pixel coordinates): one at the first point, then one
// every `spacing` pixels of path, carrying the remainder from segment to segment.
class Spacer {
 public:
  void reset() { started_ = false; }
  bool started() const { return started_; }
  // Calls dab(x, y) for each dab up to (x, y); returns whether any call returned true.
  bool moveTo(double x, double y, double spacing, const std::function<bool(double, double)>& dab) {
    bool changed = false;
    if (!started_) {
      changed = dab(x, y);
      started_ = true;
      carry_ = 0;
    } else {
      const double dx = x - lastX_, dy = y - lastY_, length = std::hypot(dx, dy);
      double pos = spacing - carry_;
      for (; pos <= length; pos += spacing) {
        const double t = length > 0 ? pos / length : 0;
        changed |= dab(lastX_ + dx * t, lastY_ + dy * t);
      }
      carry_ = length - (pos - spacing);
    }
    lastX_ = x, lastY_ = y;
    return changed;
  }

 private:
  bool started_ = false;
  double lastX_ = 0, lastY_ = 0, carry_ = 0;
};

// Changed-pixel bounds gathered from parallel bands.
struct Bounds {
  int x0 = INT_MAX, y0 = INT_MAX, x1 = -1, y1 = -1;
  void add(int x, int y) {
    x0 = std::min(x0, x);
    y0 = std::min(y0, y);
    x1 = std::max(x1, x + 1);
    y1 = std::max(y1, y + 1);
  }
  void merge(const Bounds& o) {
    x0 = std::min(x0, o.x0);
    y0 = std::min(y0, o.y0);
    x1 = std::max(x1, o.x1);
    y1 = std::max(y1, o.y1);
  }
  bool any() const { return x1 > x0 && y1 > y0; }
};

// Dabs larger than this many pixels are drawn in parallel bands of rows.
inline constexpr long kParallelDabPixels = 1 << 16;

// Runs band(row0, row1, changed) over rows y0..y1 of a dab x0..x1 (exclusive ends), in parallel
// bands when the dab is large enough to pay for it; each band adds the pixels it changed to its
// own bounds. Returns the bounds of all bands.
Bounds forDabRows(int x0, int y0, int x1, int y1, const std::function<void(int, int, Bounds&)>& band);

}  // namespace rova::dabs

namespace rova::dabs {

// What a stroke keeps per pixel, made only for the 64 x 64 tiles it touches: the pixel as it was
// when the stroke began (for reading sources, cancelling and not accumulating) and the strongest
// dab strength so far. Beginning a stroke on a 24 MP picture thus costs nothing up front.
template <class T>
class StrokeBackup {
 public:
  static constexpr int kTile = 64;

  void begin(T* pixels, int width, int height) {
    pixels_ = pixels, width_ = width, height_ = height;
    tilesX_ = (width + kTile - 1) / kTile;
    tiles_.clear();
    tiles_.resize(size_t(tilesX_) * size_t((height + kTile - 1) / kTile));
  }
  void end() {
    tiles_.clear();
    tiles_.shrink_to_fit();
  }
  bool active() const { return !tiles_.empty(); }
  // Saves every tile that meets the rectangle (exclusive ends); call before reading or writing it.
  void touch(int x0, int y0, int x1, int y1) {
    for (int ty = std::max(0, y0) / kTile; ty <= (std::min(height_, y1) - 1) / kTile; ++ty)
      for (int tx = std::max(0, x0) / kTile; tx <= (std::min(width_, x1) - 1) / kTile; ++tx) save(tx, ty);
  }
  void touchAll() { touch(0, 0, width_, height_); }
  // The pixel as it was at begin (the current pixel when its tile is not saved).
  const T& base(int x, int y) const {
    const Tile& t = tiles_[index(x, y)];
    return t.base ? t.base[offset(x, y)] : pixels_[size_t(y) * size_t(width_) + size_t(x)];
  }
  // Strength so far; only for pixels of touched tiles.
  float& coverage(int x, int y) { return tiles_[index(x, y)].coverage[offset(x, y)]; }
  // Calls f(x, y, base) for every pixel of every saved tile.
  template <class F>
  void forEachSaved(F f) const {
    for (size_t i = 0; i < tiles_.size(); ++i) {
      if (!tiles_[i].base) continue;
      const int tx = int(i % size_t(tilesX_)) * kTile, ty = int(i / size_t(tilesX_)) * kTile;
      for (int y = ty; y < std::min(height_, ty + kTile); ++y)
        for (int x = tx; x < std::min(width_, tx + kTile); ++x) f(x, y, tiles_[i].base[offset(x, y)]);
    }
  }

 private:
  struct Tile {
    std::unique_ptr<T[]> base;
    std::unique_ptr<float[]> coverage;
  };
  size_t index(int x, int y) const { return size_t(y / kTile) * size_t(tilesX_) + size_t(x / kTile); }
  static size_t offset(int x, int y) { return size_t(y % kTile) * kTile + size_t(x % kTile); }
  void save(int tx, int ty) {
    Tile& t = tiles_[size_t(ty) * size_t(tilesX_) + size_t(tx)];
    if (t.base) return;
    t.base.reset(new T[kTile * kTile]);
    t.coverage.reset(new float[kTile * kTile]());
    for (int y = ty * kTile; y < std::min(height_, (ty + 1) * kTile); ++y)
      for (int x = tx * kTile; x < std::min(width_, (tx + 1) * kTile); ++x)
        t.base[offset(x, y)] = pixels_[size_t(y) * size_t(width_) + size_t(x)];
  }

  T* pixels_ = nullptr;
  int width_ = 0, height_ = 0, tilesX_ = 0;
  std::vector<Tile> tiles_;
};

}  // namespace rova::dabs

namespace rova::dabs {

// A plane of floats over a canvas, kept in 64 x 64 tiles made on first touch; parts never touched
// read as 0. A map of where strokes acted thus costs nothing up front on a 24 MP picture.
class TiledPlane {
 public:
  static constexpr int kTile = 64;

  void reset(int width, int height) {
    width_ = width, height_ = height;
    tilesX_ = (width + kTile - 1) / kTile;
    tiles_.clear();
    tiles_.resize(size_t(tilesX_) * size_t((height + kTile - 1) / kTile));
  }
  void clear() { reset(0, 0); }
  int width() const { return width_; }
  int height() const { return height_; }
  bool touched() const {
    return std::any_of(tiles_.begin(), tiles_.end(), [](const auto& t) { return t != nullptr; });
  }
  float at(int x, int y) const {
    const auto& t = tiles_[index(x, y)];
    return t ? t[offset(x, y)] : 0.0f;
  }
  // Only within touched tiles.
  float& ref(int x, int y) { return tiles_[index(x, y)][offset(x, y)]; }
  // Makes the tiles that meet the rectangle (exclusive ends), each a copy of `from`'s (or zeros).
  // Call before writing there, and before parallel bands: they only look tiles up.
  void touch(int x0, int y0, int x1, int y1, const TiledPlane* from = nullptr) {
    for (int ty = std::max(0, y0) / kTile; ty <= (std::min(height_, y1) - 1) / kTile; ++ty)
      for (int tx = std::max(0, x0) / kTile; tx <= (std::min(width_, x1) - 1) / kTile; ++tx) {
        auto& t = tiles_[size_t(ty) * size_t(tilesX_) + size_t(tx)];
        if (t) continue;
        t.reset(new float[kTile * kTile]());
        const auto* source = from ? from->tiles_[size_t(ty) * size_t(tilesX_) + size_t(tx)].get() : nullptr;
        if (source) std::copy_n(source, kTile * kTile, t.get());
      }
  }
  // The values of a rectangle (within the plane), row by row into out.
  void read(int x0, int y0, int w, int h, float* out) const {
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) out[size_t(y) * size_t(w) + size_t(x)] = at(x0 + x, y0 + y);
  }

 private:
  size_t index(int x, int y) const { return size_t(y / kTile) * size_t(tilesX_) + size_t(x / kTile); }
  static size_t offset(int x, int y) { return size_t(y % kTile) * kTile + size_t(x % kTile); }

  int width_ = 0, height_ = 0, tilesX_ = 0;
  std::vector<std::unique_ptr<float[]>> tiles_;
};

}  // namespace rova::dabs
