#include "rova/layers/SourceSampling.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "rova/kernels/RenderPool.h"

namespace rova {

SourcePyramid::SourcePyramid(ImageDataRGBfPtr base) {
  levels_.push_back(std::move(base));
  if (!levels_[0]) return;
  if (levels_[0]->alpha()) {
    alphaLevels_.push_back(levels_[0]->alpha());
    hasAlpha_ = true;
  }
  int w = levels_[0]->width(), h = levels_[0]->height();
  while (std::min(w, h) / 2 >= 16) {
    w /= 2, h /= 2;
    ++maxLevel_;
  }
}

ImageDataRGBfPtr SourcePyramid::level(int k) const {
  k = std::clamp(k, 0, maxLevel_);
  std::lock_guard<std::mutex> lock(mutex_);
  if (!levels_[0]) return nullptr;  // given to a render
  while (int(levels_.size()) <= k) {
    const ImageDataRGBf& prev = *levels_.back();
    auto next = ImageDataRGBf::createUninitialized(std::max(1, prev.width() / 2), std::max(1, prev.height() / 2),
                                                   prev.colorProfileType());
    if (!next) return levels_.back();
    cv::Mat dst = detail::asMat(*next);
    cv::resize(detail::asMat(prev), dst, dst.size(), 0, 0, cv::INTER_AREA);
    levels_.push_back(next);
  }
  return levels_[size_t(k)];
}

ImageDataRGBfPtr SourcePyramid::takeBase(ImageSource& source) const {
  std::lock_guard<std::mutex> lock(mutex_);
  // Two owners: this pyramid and the source. Anyone else (a caller's copy of the picture, an
  // analysis sharing it) still reads these pixels, so they are not given away.
  if (hasAlpha_ || levels_.size() != 1 || !levels_[0] || levels_[0].use_count() != 2 || source.data() != levels_[0])
    return nullptr;
  source.giveUpData();
  return std::move(levels_[0]);
}

ImageDataFPtr SourcePyramid::alphaLevel(int k) const {
  if (!hasAlpha_) return nullptr;
  k = std::clamp(k, 0, maxLevel_);
  std::lock_guard<std::mutex> lock(mutex_);
  while (int(alphaLevels_.size()) <= k) {
    const ImageDataF& prev = *alphaLevels_.back();
    auto next = ImageDataF::createUninitialized(std::max(1, prev.width() / 2), std::max(1, prev.height() / 2));
    if (!next) return alphaLevels_.back();
    cv::Mat dst = detail::asMat(*next);
    cv::resize(detail::asMat(prev), dst, dst.size(), 0, 0, cv::INTER_AREA);
    alphaLevels_.push_back(next);
  }
  return alphaLevels_[size_t(k)];
}

namespace detail {

namespace {

// The level whose resolution stays within a factor of two above the output's.
int pickLevel(const SourcePyramid& pyramid, const AffineTransform& m) {
  double sourcePerOutput = std::sqrt(std::fabs(double(m.a) * m.d - double(m.b) * m.c));
  if (!(sourcePerOutput > 1)) return 0;
  return std::min(pyramid.maxLevel(), int(std::floor(std::log2(sourcePerOutput) + 1e-6)));
}

inline void bilinear(const ImageDataRGBf& src, float x, float y, int channel, float& out) {
  // x, y in index coordinates (pixel centres at whole numbers); edges repeated.
  const int w = src.width(), h = src.height();
  x = std::clamp(x, 0.f, float(w - 1));
  y = std::clamp(y, 0.f, float(h - 1));
  int x0 = int(x), y0 = int(y);
  int x1 = std::min(x0 + 1, w - 1), y1 = std::min(y0 + 1, h - 1);
  float fx = x - x0, fy = y - y0;
  const float* r0 = src.floats() + (size_t(y0) * w) * 3;
  const float* r1 = src.floats() + (size_t(y1) * w) * 3;
  float top = r0[x0 * 3 + channel] + (r0[x1 * 3 + channel] - r0[x0 * 3 + channel]) * fx;
  float bottom = r1[x0 * 3 + channel] + (r1[x1 * 3 + channel] - r1[x0 * 3 + channel]) * fx;
  out = top + (bottom - top) * fy;
}

struct Tap {
  int i0, i1;
  float t;
};
inline Tap tap(double index, int n) {
  index = std::clamp(index, 0.0, double(n - 1));
  const int i0 = std::min(int(index), n - 1);
  return {i0, std::min(i0 + 1, n - 1), float(index - i0)};
}

// The four weighted taps along one axis of an output pixel: the mean of two bilinear reads.
struct Taps4 {
  int i[4];
  float w[4];
};
inline Taps4 pairTaps(const Tap& a, const Tap& b) {
  return {{a.i0, a.i1, b.i0, b.i1}, {0.5f * (1 - a.t), 0.5f * a.t, 0.5f * (1 - b.t), 0.5f * b.t}};
}

// out(x, y) = mean of the level read bilinearly at M(x + 0.25 + 0.5 i, y + 0.25 + 0.5 j), i, j in {0, 1},
// with level index = scale * source - 0.5.
void supersample(const ImageDataRGBf& level, const AffineTransform& m, double fx, double fy, ImageDataRGBf& out) {
  const int w = out.width(), h = out.height(), lw = level.width(), lh = level.height();
  const float* src = level.floats();
  auto fetch = [&](const Tap& tx, const Tap& ty, float* acc) {
    const float* r0 = src + size_t(ty.i0) * lw * 3;
    const float* r1 = src + size_t(ty.i1) * lw * 3;
    for (int c = 0; c < 3; ++c) {
      const float top = r0[tx.i0 * 3 + c] + (r0[tx.i1 * 3 + c] - r0[tx.i0 * 3 + c]) * tx.t;
      const float bottom = r1[tx.i0 * 3 + c] + (r1[tx.i1 * 3 + c] - r1[tx.i0 * 3 + c]) * tx.t;
      acc[c] += top + (bottom - top) * ty.t;
    }
  };
  if (m.b == 0 && m.c == 0) {
    // Axis-aligned: the four bilinear reads are separable, so the same mean is a 4-tap filter along
    // the rows followed by a 4-tap filter down the columns. Each band filters the level rows it needs
    // once, and every output pixel still depends on its own position only.
    std::vector<Taps4> cols(static_cast<size_t>(w)), rows(static_cast<size_t>(h));
    for (int x = 0; x < w; ++x)
      cols[x] = pairTaps(tap(fx * (m.a * (x + 0.25) + m.tx) - 0.5, lw), tap(fx * (m.a * (x + 0.75) + m.tx) - 0.5, lw));
    for (int y = 0; y < h; ++y)
      rows[y] = pairTaps(tap(fy * (m.d * (y + 0.25) + m.ty) - 0.5, lh), tap(fy * (m.d * (y + 0.75) + m.ty) - 0.5, lh));
    // Bands of 32 rows: the level rows shared by two bands are filtered twice, so not too short.
    parallelRows(h, 32, [&](int y0, int y1) {
      int lo = lh, hi = -1;
      for (int y = y0; y < y1; ++y)
        for (int k = 0; k < 4; ++k) lo = std::min(lo, rows[y].i[k]), hi = std::max(hi, rows[y].i[k]);
      // Each worker keeps its scratch rows for the next band and render (no fresh pages), up to a
      // few MB; wider bands get their own.
      constexpr size_t kKeptScratch = size_t(1) << 20;
      thread_local std::vector<float> kept;
      std::unique_ptr<float[]> own;
      const size_t need = size_t(hi - lo + 1) * w * 3;
      if (need <= kKeptScratch && kept.size() < need) kept.resize(need);
      if (need > kKeptScratch) own.reset(new float[need]);
      float* const filtered = own ? own.get() : kept.data();
      for (int r = lo; r <= hi; ++r) {
        const float* in = src + size_t(r) * lw * 3;
        float* o = filtered + size_t(r - lo) * w * 3;
        for (int x = 0; x < w; ++x, o += 3) {
          const Taps4& t = cols[x];
          const float* p0 = in + t.i[0] * 3;
          const float* p1 = in + t.i[1] * 3;
          const float* p2 = in + t.i[2] * 3;
          const float* p3 = in + t.i[3] * 3;
          for (int c = 0; c < 3; ++c) o[c] = t.w[0] * p0[c] + t.w[1] * p1[c] + t.w[2] * p2[c] + t.w[3] * p3[c];
        }
      }
      const size_t n = size_t(w) * 3;
      for (int y = y0; y < y1; ++y) {
        const Taps4& t = rows[y];
        const float* a = filtered + size_t(t.i[0] - lo) * n;
        const float* b = filtered + size_t(t.i[1] - lo) * n;
        const float* c = filtered + size_t(t.i[2] - lo) * n;
        const float* d = filtered + size_t(t.i[3] - lo) * n;
        float* o = out.floats() + size_t(y) * n;
#pragma omp simd
        for (size_t i = 0; i < n; ++i) o[i] = t.w[0] * a[i] + t.w[1] * b[i] + t.w[2] * c[i] + t.w[3] * d[i];
      }
    });
    return;
  }
  parallelRows(h, 16, [&](int y0, int y1) {
    for (int y = y0; y < y1; ++y) {
      float* o = out.floats() + size_t(y) * w * 3;
      for (int x = 0; x < w; ++x, o += 3) {
        float acc[3] = {0, 0, 0};
        for (int j = 0; j < 2; ++j)
          for (int i = 0; i < 2; ++i) {
            double sx, sy;
            m.apply(x + 0.25 + 0.5 * i, y + 0.25 + 0.5 * j, sx, sy);
            fetch(tap(fx * sx - 0.5, lw), tap(fy * sy - 0.5, lh), acc);
          }
        o[0] = acc[0] * 0.25f, o[1] = acc[1] * 0.25f, o[2] = acc[2] * 0.25f;
      }
    }
  });
}

}  // namespace

ImageDataRGBfPtr sampleSource(const SourcePyramid& pyramid, const AffineTransform& outputToSource, Size size,
                              const EffectKernel* geometry, const std::atomic<bool>* interrupted, Size gridOrigin,
                              RenderPool* pool, ImageSource* consumable) {
  if (!pyramid.base() || size.isEmpty()) return nullptr;
  const int k = pickLevel(pyramid, outputToSource);
  const AffineTransform& m = outputToSource;
  const bool oneToOne = !geometry && k == 0 && m.a == 1 && m.d == 1 && m.b == 0 && m.c == 0 &&
                        m.tx == std::floor(m.tx) && m.ty == std::floor(m.ty);
  if (consumable && oneToOne && m.tx == 0 && m.ty == 0 && size.width == pyramid.base()->width() &&
      size.height == pyramid.base()->height())
    if (auto taken = pyramid.takeBase(*consumable)) return taken;
  ImageDataRGBfPtr level = pyramid.level(k);
  if (!level) return nullptr;
  const double f = double(level->width()) / pyramid.base()->width();  // level pixels per base pixel
  const double fy = double(level->height()) / pyramid.base()->height();
  auto out = workBuffer(pool, size, level->colorProfileType());
  if (!out) return nullptr;

  if (oneToOne) {
    // One to one: a copy of rows (edges repeated outside the source).
    const ImageDataRGBf& src = *level;
    const int ox = int(m.tx), oy = int(m.ty);
    parallelRows(size.height, 32, [&](int y0, int y1) {
      for (int y = y0; y < y1; ++y) {
        const int sy = std::clamp(y + oy, 0, src.height() - 1);
        float* dst = out->floats() + size_t(y) * size.width * 3;
        const float* row = src.floats() + size_t(sy) * src.width() * 3;
        const int x0 = std::clamp(-ox, 0, size.width), x1 = std::clamp(src.width() - ox, x0, size.width);
        for (int x = 0; x < x0; ++x) std::copy(row, row + 3, dst + 3 * x);
        std::copy(row + size_t(x0 + ox) * 3, row + size_t(x1 + ox) * 3, dst + size_t(x0) * 3);
        for (int x = x1; x < size.width; ++x)
          std::copy(row + size_t(src.width() - 1) * 3, row + size_t(src.width()) * 3, dst + 3 * x);
      }
    });
    return out;
  }
  if (!geometry) {
    const double ratio = std::sqrt(std::fabs(double(m.a) * m.d - double(m.b) * m.c)) * std::sqrt(f * fy);
    if (ratio > 1.05) {
      // Shrinking from a level by up to two: read 2 x 2 points per output pixel and average them, a
      // box as wide as the output pixel, so fine detail does not alias. Each point depends only on
      // its own output pixel, so a region still equals its crop of the full render.
      supersample(*level, m, f, fy, *out);
      return out;
    }
    // index_level = f * M(x + 0.5, y + 0.5) - 0.5
    cv::Matx23d w(f * m.a, f * m.c, f * (0.5 * m.a + 0.5 * m.c + m.tx) - 0.5,  //
                  fy * m.b, fy * m.d, fy * (0.5 * m.b + 0.5 * m.d + m.ty) - 0.5);
    cv::Mat dst = asMat(*out);
    cv::warpAffine(asMat(*level), dst, w, dst.size(), cv::INTER_LINEAR | cv::WARP_INVERSE_MAP, cv::BORDER_REPLICATE);
    return out;
  }

  // Lens geometry is smooth: evaluate it on a grid of output points and interpolate between them.
  // The grid is fixed to the render's whole output frame (gridOrigin is this buffer's place in it),
  // so a region reads exactly what the full render reads there.
  constexpr int kStep = 8;
  auto floorDiv = [](int a, int b) { return a >= 0 ? a / b : -((-a + b - 1) / b); };
  const int g0x = floorDiv(gridOrigin.width, kStep), g0y = floorDiv(gridOrigin.height, kStep);
  const int gw = floorDiv(gridOrigin.width + size.width - 1, kStep) - g0x + 2;
  const int gh = floorDiv(gridOrigin.height + size.height - 1, kStep) - g0y + 2;
  std::vector<float> grid(size_t(gw) * gh * 9);
  parallelRows(gh, 4, [&](int y0, int y1) {
    for (int gy = y0; gy < y1; ++gy)
      for (int gx = 0; gx < gw; ++gx) {
        double sx, sy;
        m.apply((g0x + gx) * kStep - gridOrigin.width + 0.5, (g0y + gy) * kStep - gridOrigin.height + 0.5, sx, sy);
        float* g = &grid[(size_t(gy) * gw + gx) * 9];
        geometry->sourcePoint(sx, sy, g);
        geometry->gain(sx, sy, g + 6);
      }
  });
  std::atomic<bool> stop{false};
  parallelRows(size.height, 32, [&](int y0, int y1) {
    float cell[9];
    for (int y = y0; y < y1; ++y) {
      if (interrupted && interrupted->load(std::memory_order_relaxed)) {
        stop = true;
        return;
      }
      float* row = out->floats() + size_t(y) * size.width * 3;
      const int Y = y + gridOrigin.height, gy = floorDiv(Y, kStep) - g0y;
      const float ty = float(Y - (gy + g0y) * kStep) / kStep;
      for (int x = 0; x < size.width; ++x) {
        const int X = x + gridOrigin.width, gx = floorDiv(X, kStep) - g0x;
        const float tx = float(X - (gx + g0x) * kStep) / kStep;
        const float* g00 = &grid[(size_t(gy) * gw + gx) * 9];
        const float* g01 = g00 + 9;
        const float* g10 = g00 + size_t(gw) * 9;
        const float* g11 = g10 + 9;
        for (int i = 0; i < 9; ++i) {
          float top = g00[i] + (g01[i] - g00[i]) * tx, bottom = g10[i] + (g11[i] - g10[i]) * tx;
          cell[i] = top + (bottom - top) * ty;
        }
        for (int c = 0; c < 3; ++c) {
          float v;
          bilinear(*level, float(f * cell[2 * c] - 0.5), float(fy * cell[2 * c + 1] - 0.5), c, v);
          row[x * 3 + c] = v * cell[6 + c];
        }
      }
    }
  });
  if (stop) return nullptr;
  return out;
}

ImageDataFPtr sampleSourceAlpha(const SourcePyramid& pyramid, const AffineTransform& outputToSource, Size size,
                                const EffectKernel* geometry, const std::atomic<bool>* interrupted, Size gridOrigin) {
  if (!pyramid.hasAlpha() || !pyramid.base() || size.isEmpty()) return nullptr;
  const int k = pickLevel(pyramid, outputToSource);
  ImageDataFPtr level = pyramid.alphaLevel(k);
  if (!level) return nullptr;
  auto out = ImageDataF::createUninitialized(size.width, size.height);
  if (!out) return nullptr;
  const AffineTransform& m = outputToSource;
  const int lw = level->width(), lh = level->height();
  const double f = double(lw) / pyramid.base()->width(), fy = double(lh) / pyramid.base()->height();
  // A bilinear read at base coordinates (sx, sy), edges repeated, as the colour is read.
  auto read = [&](double sx, double sy) {
    const Tap tx = tap(f * sx - 0.5, lw), ty = tap(fy * sy - 0.5, lh);
    const float* r0 = level->row(ty.i0);
    const float* r1 = level->row(ty.i1);
    const float top = r0[tx.i0] + (r0[tx.i1] - r0[tx.i0]) * tx.t;
    const float bottom = r1[tx.i0] + (r1[tx.i1] - r1[tx.i0]) * tx.t;
    return top + (bottom - top) * ty.t;
  };
  const bool shrinking =
      std::sqrt(std::fabs(double(m.a) * m.d - double(m.b) * m.c)) * std::sqrt(f * fy) > 1.05 && !geometry;
  // The lens geometry on the same grid as the colour's (its green channel's point), so a region
  // reads what the full render reads there.
  constexpr int kStep = 8;
  auto floorDiv = [](int a, int b) { return a >= 0 ? a / b : -((-a + b - 1) / b); };
  const int g0x = floorDiv(gridOrigin.width, kStep), g0y = floorDiv(gridOrigin.height, kStep);
  const int gw = floorDiv(gridOrigin.width + size.width - 1, kStep) - g0x + 2;
  const int gh = floorDiv(gridOrigin.height + size.height - 1, kStep) - g0y + 2;
  std::vector<float> grid;
  if (geometry) {
    grid.resize(size_t(gw) * gh * 2);
    parallelRows(gh, 4, [&](int y0, int y1) {
      for (int gy = y0; gy < y1; ++gy)
        for (int gx = 0; gx < gw; ++gx) {
          double sx, sy;
          m.apply((g0x + gx) * kStep - gridOrigin.width + 0.5, (g0y + gy) * kStep - gridOrigin.height + 0.5, sx, sy);
          float points[6];
          geometry->sourcePoint(sx, sy, points);
          grid[(size_t(gy) * gw + gx) * 2] = points[2];
          grid[(size_t(gy) * gw + gx) * 2 + 1] = points[3];
        }
    });
  }
  std::atomic<bool> stop{false};
  parallelRows(size.height, 32, [&](int y0, int y1) {
    for (int y = y0; y < y1; ++y) {
      if (interrupted && interrupted->load(std::memory_order_relaxed)) {
        stop = true;
        return;
      }
      float* row = out->row(y);
      for (int x = 0; x < size.width; ++x) {
        double sx, sy;
        if (geometry) {
          const int X = x + gridOrigin.width, Y = y + gridOrigin.height;
          const int gx = floorDiv(X, kStep) - g0x, gy = floorDiv(Y, kStep) - g0y;
          const float tx = float(X - (gx + g0x) * kStep) / kStep, ty = float(Y - (gy + g0y) * kStep) / kStep;
          const float* g00 = &grid[(size_t(gy) * gw + gx) * 2];
          const float* g10 = g00 + size_t(gw) * 2;
          float p[2];
          for (int i = 0; i < 2; ++i) {
            const float top = g00[i] + (g00[i + 2] - g00[i]) * tx, bottom = g10[i] + (g10[i + 2] - g10[i]) * tx;
            p[i] = top + (bottom - top) * ty;
          }
          row[x] = read(p[0], p[1]);
        } else if (shrinking) {
          // The mean of 2 x 2 points, as the colour's supersampling.
          float acc = 0;
          for (int j = 0; j < 2; ++j)
            for (int i = 0; i < 2; ++i) {
              m.apply(x + 0.25 + 0.5 * i, y + 0.25 + 0.5 * j, sx, sy);
              acc += read(sx, sy);
            }
          row[x] = acc * 0.25f;
        } else {
          m.apply(x + 0.5, y + 0.5, sx, sy);
          row[x] = read(sx, sy);
        }
      }
    }
  });
  if (stop) return nullptr;
  return out;
}

}  // namespace detail
}  // namespace rova

namespace rova::detail {

void applyPointKernel(const EffectKernel& kernel, ImageDataRGBf& buffer) {
  const int w = buffer.width();
  parallelRows(buffer.height(), 16, [&](int y0, int y1) {
    for (int y = y0; y < y1; ++y) kernel.applyRow(buffer.floats() + size_t(y) * w * 3, w, 0, y);
  });
}

}  // namespace rova::detail
