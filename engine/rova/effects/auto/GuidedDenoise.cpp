#include "rova/effects/auto/GuidedDenoise.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include "rova/Parallel.h"
#include "rova/kernels/AutoSimd.h"

namespace rova::auto_support {

namespace {

constexpr int kL = kDenoiseLumaRadius, kC = kDenoiseChromaRadius;
// How far each stage runs behind the newest row read: a box filter of radius r can finish a row once
// the r rows below it are in.
constexpr int kLagLumaFit = kL;             // the luminance filter's coefficients
constexpr int kLagLuma = 2 * kL;            // the smoothed luminance, and the colour filter's sums
constexpr int kLagChromaFit = 2 * kL + kC;  // the colour filter's coefficients
constexpr int kLagOut = kDenoiseReach;      // the filtered pixels
// Rows and columns a piece's work depends on around it.
constexpr int kContext = kDenoiseReach;
// Columns of a strip: a band is filtered strip after strip, so that a worker's rings (about 200 rows
// of a strip) stay in its core's cache.
constexpr int kStripColumns = 512;
// Rows of a band, about: taller bands filter fewer context rows twice; the bands are made a whole
// number of rounds of the workers, so no worker is left alone with the last one.
constexpr int kBandRows = 160;

// The last `size` rows of one quantity.
struct Ring {
  float* base = nullptr;
  int size = 0;
  size_t stride = 0;
  float* operator[](int row) const { return base + size_t(row % size) * stride; }
};

// Sums of 2R + 1 neighbours along a row: in[R + x] holds value x, with the row's end values repeated
// R times on either side (filled here).
template <int R>
void boxSumRow(float* in, float* out, int w) {
  for (int k = 0; k < R; ++k) in[k] = in[R], in[R + w + k] = in[R + w - 1];
  using simd::F4;
  int x = 0;
  for (; x + 4 <= w; x += 4) {
    F4 s, v;
    __builtin_memcpy(&s, in + x, 16);
    for (int k = 1; k <= 2 * R; ++k) __builtin_memcpy(&v, in + x + k, 16), s += v;
    __builtin_memcpy(out + x, &s, 16);
  }
  for (; x < w; ++x) {
    float s = in[x];
    for (int k = 1; k <= 2 * R; ++k) s += in[x + k];
    out[x] = s;
  }
}

// The box mean at row `row` of a ring of row sums: the rows within R of it, repeated at the band's
// first and last rows.
template <int R>
void boxMeanColumn(const Ring& sums, int row, int n, float* out, int w) {
  const float* rows[2 * R + 1];
  for (int k = -R; k <= R; ++k) rows[k + R] = sums[std::clamp(row + k, 0, n - 1)];
  constexpr float scale = 1.0f / float((2 * R + 1) * (2 * R + 1));
  // Four columns at a time in registers, the rows added top to bottom (the order of the scalar tail).
  using simd::F4;
  int x = 0;
  for (; x + 4 <= w; x += 4) {
    F4 s, v;
    __builtin_memcpy(&s, rows[0] + x, 16);
    for (int k = 1; k <= 2 * R; ++k) __builtin_memcpy(&v, rows[k] + x, 16), s += v;
    s *= scale;
    __builtin_memcpy(out + x, &s, 16);
  }
  for (; x < w; ++x) {
    float s = rows[0][x];
    for (int k = 1; k <= 2 * R; ++k) s += rows[k][x];
    out[x] = s * scale;
  }
}

// One worker's rings and rows, used band after band.
class Scratch {
 public:
  // Room for pieces up to w columns wide and n rows tall.
  Scratch(int w, int n) {
    const size_t stride = (size_t(w) + 2 * kC + 3) & ~size_t(3);
    // P, D x3 (13 rows each), P2 (9), luminance sums x2 (5), luminance coefficient sums x2 (5),
    // colour sums x8 (9), colour coefficient sums x6 (9), and 8 rows of temporaries.
    const int rows = 4 * 13 + 9 + 2 * 5 + 2 * 5 + 8 * 9 + 6 * 9 + 8;
    memory_.reset(new float[stride * size_t(rows)]);
    float* next = memory_.get();
    auto ring = [&](int size) {
      Ring r{next, size, stride};
      next += stride * size_t(size);
      return r;
    };
    P_ = ring(13);
    for (auto& d : D_) d = ring(13);
    P2_ = ring(9);
    for (auto& s : lumaSums_) s = ring(5);
    for (auto& s : lumaFitSums_) s = ring(5);
    for (auto& s : chromaSums_) s = ring(9);
    for (auto& s : chromaFitSums_) s = ring(9);
    for (auto& t : temp_) t = next, next += stride;
    input_.resize(size_t(w) * 3);
    for (auto& carry : carry_) carry.resize(size_t(n) * kContext * 3);
  }

  // Filters columns [x0, x1) of the picture's rows [y0, y1): reads rows [a, b) (within kContext of
  // them) through source(row), interleaved RGB, and writes the filtered rows back through
  // target(row). Strip after strip from left to right; the columns a strip reads that the strip
  // before it has written already come from a copy that strip made as it read them.
  template <class Source, class Target>
  bool band(int w, int a, int b, int y0, int y1, float lumaEps, float chromaEps, float amount, Source&& source,
            Target&& target, const std::atomic<bool>* interrupted) {
    const int n = b - a;
    for (int x0 = 0; x0 < w; x0 += kStripColumns) {
      const int x1 = std::min(w, x0 + kStripColumns), xa = std::max(0, x0 - kContext), xb = std::min(w, x1 + kContext);
      const int keep = x1 < w ? x1 - kContext : x1;  // columns from here on are the next strip's carry
      const std::vector<float>& carried = carry_[(x0 / kStripColumns) & 1];
      std::vector<float>& carry = carry_[((x0 / kStripColumns) + 1) & 1];
      auto input = [&](int i) -> const float* {
        const float* row = source(a + i);
        float* in = input_.data();
        std::copy(carried.data() + size_t(i) * kContext * 3, carried.data() + size_t(i) * kContext * 3 + (x0 - xa) * 3,
                  in);
        std::copy(row + size_t(x0) * 3, row + size_t(xb) * 3, in + (x0 - xa) * 3);
        if (keep < x1) std::copy(row + size_t(keep) * 3, row + size_t(x1) * 3, carry.data() + size_t(i) * kContext * 3);
        return in;
      };
      auto output = [&](int i) { return target(a + i) + size_t(x0) * 3; };
      if (!strip(xb - xa, x0 - xa, x1 - xa, n, y0 - a, y1 - a, lumaEps, chromaEps, amount, input, output, interrupted))
        return false;
    }
    return true;
  }

 private:
  // Filters one strip w columns wide: the rows [0, n) that input(i) gives, writing columns
  // [c0, c1) of the rows [out0, out1) through output(i) (which points at column c0).
  template <class Input, class Output>
  bool strip(int w, int c0, int c1, int n, int out0, int out1, float lumaEps, float chromaEps, float amount,
             Input&& input, Output&& output, const std::atomic<bool>* interrupted) {
    w_ = w;
    float* pad = temp_[0];
    for (int t = 0; t < n + kLagOut; ++t) {
      if ((t & 31) == 0 && interrupted && interrupted->load(std::memory_order_relaxed)) return false;
      if (t < n) readRow(t, input(t), pad);
      if (const int j = t - kLagLumaFit; j >= 0 && j < n) {
        float *mI = temp_[1], *mII = temp_[2], *a = temp_[3] + kL, *b = temp_[4] + kL;
        boxMeanColumn<kL>(lumaSums_[0], j, n, mI, w);
        boxMeanColumn<kL>(lumaSums_[1], j, n, mII, w);
        // The luminance is its own guide: a = var / (var + eps), b = mean - a * mean.
#pragma omp simd
        for (int x = 0; x < w; ++x) {
          const float d = mII[x] - mI[x] * mI[x] + lumaEps;
          a[x] = (mII[x] - mI[x] * mI[x]) / d;
          b[x] = mI[x] - a[x] * mI[x];
        }
        boxSumRow<kL>(temp_[3], lumaFitSums_[0][j], w);
        boxSumRow<kL>(temp_[4], lumaFitSums_[1][j], w);
      }
      if (const int k = t - kLagLuma; k >= 0 && k < n) smoothLumaRow(k, n, pad);
      if (const int m = t - kLagChromaFit; m >= 0 && m < n) chromaFitRow(m, n, chromaEps);
      if (const int o = t - kLagOut; o >= out0 && o < out1) writeRow(o, n, c0, c1, amount, output(o));
    }
    return true;
  }

  // Square roots of the row's samples, their luminance P and differences D, and P's and P^2's sums.
  void readRow(int i, const float* rgb, float* pad) {
    const int w = w_;
    float *p = P_[i], *d0 = D_[0][i], *d1 = D_[1][i], *d2 = D_[2][i];
    int x = 0;
    using namespace simd;
    for (; x + 4 <= w; x += 4) {
      F4 r, g, b;
      load3(rgb + 3 * x, r, g, b);
      r = vsqrt(vmax(r, splat(0.f))), g = vsqrt(vmax(g, splat(0.f))), b = vsqrt(vmax(b, splat(0.f)));
      const F4 l = 0.2126f * r + 0.7152f * g + 0.0722f * b;
      __builtin_memcpy(p + x, &l, 16);
      const F4 e0 = r - l, e1 = g - l, e2 = b - l;
      __builtin_memcpy(d0 + x, &e0, 16), __builtin_memcpy(d1 + x, &e1, 16), __builtin_memcpy(d2 + x, &e2, 16);
    }
    for (; x < w; ++x) {
      const float q0 = std::sqrt(std::max(0.f, rgb[3 * x])), q1 = std::sqrt(std::max(0.f, rgb[3 * x + 1])),
                  q2 = std::sqrt(std::max(0.f, rgb[3 * x + 2]));
      p[x] = 0.2126f * q0 + 0.7152f * q1 + 0.0722f * q2;
      d0[x] = q0 - p[x], d1[x] = q1 - p[x], d2[x] = q2 - p[x];
    }
    std::copy(p, p + w, pad + kL);
    boxSumRow<kL>(pad, lumaSums_[0][i], w);
#pragma omp simd
    for (int x2 = 0; x2 < w; ++x2) pad[kL + x2] = p[x2] * p[x2];
    boxSumRow<kL>(pad, lumaSums_[1][i], w);
  }

  // The smoothed luminance of row k (the guide of the colour filter) and the colour filter's sums of
  // the guide, its square, its products with D and D.
  void smoothLumaRow(int k, int n, float* pad) {
    const int w = w_;
    float *mA = temp_[1], *mB = temp_[2], *p2 = P2_[k];
    const float* p = P_[k];
    boxMeanColumn<kL>(lumaFitSums_[0], k, n, mA, w);
    boxMeanColumn<kL>(lumaFitSums_[1], k, n, mB, w);
#pragma omp simd
    for (int x = 0; x < w; ++x) p2[x] = mA[x] * p[x] + mB[x];
    float* v = pad + kC;
    std::copy(p2, p2 + w, v);
    boxSumRow<kC>(pad, chromaSums_[0][k], w);
#pragma omp simd
    for (int x = 0; x < w; ++x) v[x] = p2[x] * p2[x];
    boxSumRow<kC>(pad, chromaSums_[1][k], w);
    for (int c = 0; c < 3; ++c) {
      const float* d = D_[c][k];
#pragma omp simd
      for (int x = 0; x < w; ++x) v[x] = p2[x] * d[x];
      boxSumRow<kC>(pad, chromaSums_[2 + c][k], w);
      std::copy(d, d + w, v);
      boxSumRow<kC>(pad, chromaSums_[5 + c][k], w);
    }
  }

  // The colour filter's coefficients at row m, summed along the row.
  void chromaFitRow(int m, int n, float chromaEps) {
    const int w = w_;
    float *mI = temp_[1], *den = temp_[2], *mIP = temp_[3], *mP = temp_[4], *a = temp_[5] + kC, *b = temp_[6] + kC;
    boxMeanColumn<kC>(chromaSums_[0], m, n, mI, w);
    boxMeanColumn<kC>(chromaSums_[1], m, n, den, w);
#pragma omp simd
    for (int x = 0; x < w; ++x) den[x] = den[x] - mI[x] * mI[x] + chromaEps;
    for (int c = 0; c < 3; ++c) {
      boxMeanColumn<kC>(chromaSums_[2 + c], m, n, mIP, w);
      boxMeanColumn<kC>(chromaSums_[5 + c], m, n, mP, w);
      // a = cov(I, D) / (var(I) + eps), b = mean(D) - a * mean(I).
#pragma omp simd
      for (int x = 0; x < w; ++x) {
        a[x] = (mIP[x] - mI[x] * mP[x]) / den[x];
        b[x] = mP[x] - a[x] * mI[x];
      }
      boxSumRow<kC>(temp_[5], chromaFitSums_[c][m], w);
      boxSumRow<kC>(temp_[6], chromaFitSums_[3 + c][m], w);
    }
  }

  // The filtered pixels of row o, mixed by the amount and squared back to linear light.
  void writeRow(int o, int n, int c0, int c1, float amount, float* out) {
    const int w = w_;
    float* filtered[3] = {temp_[5], temp_[6], temp_[7]};
    float *mA = temp_[1], *mB = temp_[2];
    const float *p0 = P_[o], *p1 = P2_[o];
    for (int c = 0; c < 3; ++c) {
      boxMeanColumn<kC>(chromaFitSums_[c], o, n, mA, w);
      boxMeanColumn<kC>(chromaFitSums_[3 + c], o, n, mB, w);
      float* f = filtered[c];
#pragma omp simd
      for (int x = 0; x < w; ++x) f[x] = mA[x] * p1[x] + mB[x];
    }
    const float *d0[3] = {D_[0][o], D_[1][o], D_[2][o]}, *d1[3] = {filtered[0], filtered[1], filtered[2]};
    using namespace simd;
    const float lumAmount = 0.8f * amount;
    int x = c0;
    for (; x + 4 <= c1; x += 4, out += 12) {
      auto load = [x](const float* p) {
        F4 v;
        __builtin_memcpy(&v, p + x, 16);
        return v;
      };
      const F4 l0 = load(p0), lum = l0 + lumAmount * (load(p1) - l0);
      F4 v[3];
      for (int c = 0; c < 3; ++c) {
        const F4 a = load(d0[c]);
        v[c] = vmax(lum + a + amount * (load(d1[c]) - a), splat(0.f));
        v[c] *= v[c];
      }
      store3(out, v[0], v[1], v[2]);
    }
    for (; x < c1; ++x, out += 3) {
      const float lum = p0[x] + 0.8f * amount * (p1[x] - p0[x]);
      for (int c = 0; c < 3; ++c) {
        const float v = std::max(0.f, lum + d0[c][x] + amount * (d1[c][x] - d0[c][x]));
        out[c] = v * v;
      }
    }
  }

  int w_ = 0;
  std::unique_ptr<float[]> memory_;
  std::vector<float> input_;     // the strip's part of a row
  std::vector<float> carry_[2];  // columns of every row for the next strip, and from the previous one
  Ring P_, D_[3], P2_, lumaSums_[2], lumaFitSums_[2], chromaSums_[8], chromaFitSums_[6];
  float* temp_[8];
};

// Scratch handed to the bands running at one time and back: as many as there are workers.
class ScratchPool {
 public:
  ScratchPool(int w, int n) : w_(w), n_(n) {}
  std::unique_ptr<Scratch> take() {
    std::lock_guard lock(mutex_);
    if (free_.empty()) return std::make_unique<Scratch>(w_, n_);
    auto s = std::move(free_.back());
    free_.pop_back();
    return s;
  }
  void give(std::unique_ptr<Scratch> s) {
    std::lock_guard lock(mutex_);
    free_.push_back(std::move(s));
  }

 private:
  int w_, n_;
  std::mutex mutex_;
  std::vector<std::unique_ptr<Scratch>> free_;
};

}  // namespace

void guidedDenoise(ImageDataRGBf& buffer, float sigma, float amount, const std::atomic<bool>* interrupted) {
  const int w = buffer.width(), h = buffer.height();
  if (w <= 0 || h <= 0) return;
  const int workers = std::max(1, int(std::thread::hardware_concurrency()));
  const int rounds = std::max(1, int(std::lround(double(h) / (double(kBandRows) * workers))));
  const int bandRows = std::max(4 * kContext, (h + rounds * workers - 1) / (rounds * workers));
  const int bands = (h + bandRows - 1) / bandRows;
  const size_t rowFloats = size_t(w) * 3;
  // A band reads the original rows within kContext of it, which the bands next to it write: the rows
  // around each boundary between bands are copied first, and every band reads those from the copy.
  // The copy (40 MB at 24 MP) is left uninitialised: clearing it took one thread 20 ms of page faults
  // while every other core waited; the copying loop below faults it in on all of them.
  const size_t edgeFloats = size_t(std::max(0, bands - 1)) * 2 * kContext * rowFloats;
  const size_t edgeBytes = std::max<size_t>(1, edgeFloats) * sizeof(float);
  std::unique_ptr<float, detail::PixelsDeleter> edgeMemory(static_cast<float*>(detail::allocatePixels(edgeBytes)),
                                                           detail::PixelsDeleter{edgeBytes});
  if (!edgeMemory) throw std::bad_alloc();
  float* const edges = edgeMemory.get();
  auto edgeRow = [&](int y) -> float* {  // the copy of row y, or nullptr when y is not near a boundary
    const int boundary = (y + kContext) / bandRows;
    if (boundary < 1 || boundary >= bands) return nullptr;
    const int offset = y - (boundary * bandRows - kContext);
    if (offset < 0 || offset >= 2 * kContext) return nullptr;
    return edges + (size_t(boundary - 1) * 2 * kContext + size_t(offset)) * rowFloats;
  };
  parallelFor(bands - 1, 1, [&](int64_t b0, int64_t b1) {
    for (int64_t b = b0; b < b1; ++b)
      for (int y = int(b + 1) * bandRows - kContext; y < int(b + 1) * bandRows + kContext; ++y)
        if (y >= 0 && y < h) std::copy_n(buffer.floats() + size_t(y) * rowFloats, rowFloats, edgeRow(y));
  });
  const float lumaEps = (2.0f * sigma) * (2.0f * sigma), chromaEps = (1.2f * sigma) * (1.2f * sigma);
  ScratchPool pool(std::min(w, kStripColumns + 2 * kContext), std::min(h, bandRows + 2 * kContext));
  parallelFor(bands, 1, [&](int64_t b0, int64_t b1) {
    auto scratch = pool.take();
    for (int64_t band = b0; band < b1; ++band) {
      const int y0 = int(band) * bandRows, y1 = std::min(h, y0 + bandRows);
      const int a = std::max(0, y0 - kContext), b = std::min(h, y1 + kContext);
      const bool done = scratch->band(
          w, a, b, y0, y1, lumaEps, chromaEps, amount,
          [&](int y) -> const float* {
            const float* copy = edgeRow(y);
            return copy ? copy : buffer.floats() + size_t(y) * rowFloats;
          },
          [&](int y) { return buffer.floats() + size_t(y) * rowFloats; }, interrupted);
      if (!done) break;
    }
    pool.give(std::move(scratch));
  });
}

}  // namespace rova::auto_support
