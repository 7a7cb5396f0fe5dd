#include "rova/codecs/BayerDemosaic.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace rova::codecs::detail {

namespace {

// The steps run in AVX2 where the processor has it (twice the lanes of the baseline's SSE2).
#define AVX2_WHERE_AVAILABLE [[gnu::target_clones("avx2", "default")]]

// Values are in [0, 1]: these keep divisions finite in flat, black areas.
constexpr float kEps = 1e-5f, kEpsSquared = 1e-10f;

float clamp01(float v) { return std::min(1.f, std::max(0.f, v)); }

// A high pass along a line through p (samples `s` apart), taps 1 -3 -1 6 -1 -3 1: zero on flat
// areas and at the filter's own alternation of colours (every other sample), so an area of one
// colour does not read as detail; strongest on the detail where the direction matters.
inline float highPass(const float* p, ptrdiff_t s) {
  return (p[-3 * s] + p[3 * s]) - (p[-s] + p[s]) - 3.f * (p[-2 * s] + p[2 * s]) + 6.f * p[0];
}

// A pixel's direction (0: along the first direction, 1: along the second, 0.5 either), or the mean
// of its four diagonal neighbours' when that says more: a lone pixel's statistic is noisy.
inline float refined(const float* d, ptrdiff_t s) {
  const float own = d[0], around = 0.25f * (d[-s - 1] + d[-s + 1] + d[s - 1] + d[s + 1]);
  return std::fabs(0.5f - own) < std::fabs(0.5f - around) ? around : own;
}

// Two estimates from opposite sides, each weighted by the gradient on the other side: the side that
// changes less is trusted more.
inline float blend(float a, float gradientA, float b, float gradientB) {
  return (gradientB * a + gradientA * b) / (gradientA + gradientB);
}

}  // namespace

BayerDemosaic::BayerDemosaic(const int colours[4]) { std::copy(colours, colours + 4, colours_); }

bool BayerDemosaic::isPlainBayer(const int colours[4]) {
  int count[3] = {};
  for (int i = 0; i < 4; ++i) {
    if (colours[i] < 0 || colours[i] > 2) return false;
    ++count[colours[i]];
  }
  const bool diagonalGreens = (colours[0] == 1 && colours[3] == 1) || (colours[1] == 1 && colours[2] == 1);
  return count[0] == 1 && count[1] == 2 && count[2] == 1 && diagonalGreens;
}

float* BayerDemosaic::mosaic(int width, int height) {
  width_ = width, height_ = height;
  for (auto& p : planes_) p.resize(size_t(width) * height);
  return plane(kMosaic);
}

void BayerDemosaic::run() {
  // Vertical against horizontal at every pixel, then the main diagonal against the anti-diagonal
  // (towards 1: interpolated along the anti-diagonal).
  directions(width_, 1, kDirectionVH);
  lowPass();
  greenAtRedAndBlue();
  directions(ptrdiff_t(width_) + 1, ptrdiff_t(width_) - 1, kDirectionPQ);
  redAndBlueAtBlueAndRed();
  redAndBlueAtGreen();
}

// Where detail along `first` outweighs detail along `second` (towards 1) the pixel is interpolated
// along `second`, and the other way round: the squared high pass along each step, summed over the
// pixel and its two neighbours on that line, into plane `out`. Rows and columns [4, size - 4).
AVX2_WHERE_AVAILABLE void BayerDemosaic::directions(ptrdiff_t first, ptrdiff_t second, Plane out) {
  const int w = width_, h = height_;
  const float* c = plane(kMosaic);
  float *along = plane(kFirst), *across = plane(kSecond), *ratio = plane(out);
  for (int y = 3; y < h - 3; ++y) {
    const size_t row = size_t(y) * w;
#pragma omp simd
    for (int x = 3; x < w - 3; ++x) {
      const float a = highPass(c + row + x, first), b = highPass(c + row + x, second);
      along[row + x] = a * a;
      across[row + x] = b * b;
    }
  }
  for (int y = 4; y < h - 4; ++y) {
    const size_t row = size_t(y) * w;
#pragma omp simd
    for (int x = 4; x < w - 4; ++x) {
      const size_t i = row + x;
      const float u = std::max(kEpsSquared, along[i - first] + along[i] + along[i + first]);
      const float v = std::max(kEpsSquared, across[i - second] + across[i] + across[i + second]);
      ratio[i] = u / (u + v);
    }
  }
}

// A low-pass image of the mosaic (1 2 1 by 1 2 1): every pixel sees one red, one blue and two greens
// in the same proportions, so it is a soft grey picture free of the pattern. Rows and columns [1, size - 1).
AVX2_WHERE_AVAILABLE void BayerDemosaic::lowPass() {
  const int w = width_, h = height_;
  const ptrdiff_t s = w;
  const float* c = plane(kMosaic);
  float* lp = plane(kLowPass);
  for (int y = 1; y < h - 1; ++y) {
    const size_t row = size_t(y) * w;
#pragma omp simd
    for (int x = 1; x < w - 1; ++x) {
      const float* p = c + row + x;
      lp[row + x] = 0.25f * p[0] + 0.125f * (p[-s] + p[s] + p[-1] + p[1]) +
                    0.0625f * (p[-s - 1] + p[-s + 1] + p[s - 1] + p[s + 1]);
    }
  }
}

// Green at red and blue pixels, rows and columns [5, size - 5): each neighbouring green scaled by
// the ratio of the low-pass image at this pixel to the low-pass image between them (the mean of
// this pixel's and the next same-coloured pixel's), so the estimate follows the local shape of the
// light instead of overshooting at an edge, averaged with the green corrected by half the
// difference of this pixel's colour to its next sample on that side; the two sides of each
// direction by their gradients, the two directions by the pixel's direction statistic. (Every loop
// here runs over whole rows and keeps the values of the pixels it is for, so that it vectorises.)
AVX2_WHERE_AVAILABLE void BayerDemosaic::greenAtRedAndBlue() {
  const int w = width_, h = height_;
  const ptrdiff_t s = w, s2 = 2 * s, s3 = 3 * s, s4 = 4 * s;
  const float *c = plane(kMosaic), *lp = plane(kLowPass), *vh = plane(kDirectionVH);
  float* green = plane(kGreen);
  std::memcpy(green, c, sizeof(float) * size_t(w) * h);
  for (int y = 5; y < h - 5; ++y) {
    const int notGreen = colours_[(y & 1) * 2] == 1 ? 1 : 0;
    const size_t row = size_t(y) * w;
    const float *p = c + row, *l = lp + row, *d = vh + row;
    float* out = green + row;
#pragma omp simd
    for (int x = 5; x < w - 5; ++x) {
      const float gN = kEps + std::fabs(p[x - s] - p[x + s]) + std::fabs(p[x] - p[x - s2]) +
                       std::fabs(p[x - s] - p[x - s3]) + std::fabs(p[x - s2] - p[x - s4]);
      const float gS = kEps + std::fabs(p[x + s] - p[x - s]) + std::fabs(p[x] - p[x + s2]) +
                       std::fabs(p[x + s] - p[x + s3]) + std::fabs(p[x + s2] - p[x + s4]);
      const float gW = kEps + std::fabs(p[x - 1] - p[x + 1]) + std::fabs(p[x] - p[x - 2]) +
                       std::fabs(p[x - 1] - p[x - 3]) + std::fabs(p[x - 2] - p[x - 4]);
      const float gE = kEps + std::fabs(p[x + 1] - p[x - 1]) + std::fabs(p[x] - p[x + 2]) +
                       std::fabs(p[x + 1] - p[x + 3]) + std::fabs(p[x + 2] - p[x + 4]);
      const float twice = l[x] + l[x];
      const float eN = 0.5f * (p[x - s] * twice / (kEps + l[x] + l[x - s2]) + p[x - s] + 0.5f * (p[x] - p[x - s2]));
      const float eS = 0.5f * (p[x + s] * twice / (kEps + l[x] + l[x + s2]) + p[x + s] + 0.5f * (p[x] - p[x + s2]));
      const float eW = 0.5f * (p[x - 1] * twice / (kEps + l[x] + l[x - 2]) + p[x - 1] + 0.5f * (p[x] - p[x - 2]));
      const float eE = 0.5f * (p[x + 1] * twice / (kEps + l[x] + l[x + 2]) + p[x + 1] + 0.5f * (p[x] - p[x + 2]));
      const float vertical = blend(eN, gN, eS, gS), horizontal = blend(eW, gW, eE, gE);
      const float k = refined(d + x, s);
      const float value = clamp01(k * horizontal + (1 - k) * vertical);
      out[x] = (x & 1) == notGreen ? value : p[x];
    }
  }
}

// Blue at red pixels and red at blue ones, rows and columns [7, size - 7): the colour difference to
// green of the four diagonal neighbours (which are all of the missing colour), each diagonal's two
// sides by their gradients, the two diagonals by the pixel's diagonal statistic.
AVX2_WHERE_AVAILABLE void BayerDemosaic::redAndBlueAtBlueAndRed() {
  const int w = width_, h = height_;
  const ptrdiff_t s = w, m = s + 1, a = s - 1;  // main and anti-diagonal steps
  const float *c = plane(kMosaic), *green = plane(kGreen), *pq = plane(kDirectionPQ);
  std::memcpy(plane(kRed), c, sizeof(float) * size_t(w) * h);
  std::memcpy(plane(kBlue), c, sizeof(float) * size_t(w) * h);
  for (int y = 7; y < h - 7; ++y) {
    const int notGreen = colours_[(y & 1) * 2] == 1 ? 1 : 0;
    const size_t row = size_t(y) * w;
    float* out = plane(colours_[(y & 1) * 2 + notGreen] == 0 ? kBlue : kRed) + row;
    const float *p = c + row, *g = green + row, *d = pq + row;
#pragma omp simd
    for (int x = 7; x < w - 7; ++x) {
      const float gNW =
          kEps + std::fabs(p[x - m] - p[x + m]) + std::fabs(p[x - m] - p[x - 3 * m]) + std::fabs(g[x] - g[x - 2 * m]);
      const float gSE =
          kEps + std::fabs(p[x + m] - p[x - m]) + std::fabs(p[x + m] - p[x + 3 * m]) + std::fabs(g[x] - g[x + 2 * m]);
      const float gNE =
          kEps + std::fabs(p[x - a] - p[x + a]) + std::fabs(p[x - a] - p[x - 3 * a]) + std::fabs(g[x] - g[x - 2 * a]);
      const float gSW =
          kEps + std::fabs(p[x + a] - p[x - a]) + std::fabs(p[x + a] - p[x + 3 * a]) + std::fabs(g[x] - g[x + 2 * a]);
      const float main = blend(p[x - m] - g[x - m], gNW, p[x + m] - g[x + m], gSE);
      const float anti = blend(p[x - a] - g[x - a], gNE, p[x + a] - g[x + a], gSW);
      const float k = refined(d + x, s);
      const float value = clamp01(g[x] + k * anti + (1 - k) * main);
      out[x] = (x & 1) == notGreen ? value : out[x];
    }
  }
}

// Red and blue at green pixels, rows and columns [10, size - 10): their colour difference to green
// above, below and to the sides (where both are now known), each side weighed by the inverse of its
// gradient. (A choice of direction here, as for green, left more false colour on fine detail.)
void BayerDemosaic::redAndBlueAtGreen() {
  const int w = width_, h = height_;
  for (int y = 10; y < h - 10; ++y) {
    const int isGreen = colours_[(y & 1) * 2] == 1 ? 0 : 1;
    const size_t row = size_t(y) * w;
    for (const Plane channel : {kRed, kBlue}) {
      float *q = plane(channel) + row, *values = plane(kFirst) + row;
      channelAtGreen(q, plane(kGreen) + row, values);
      for (int x = 10 + isGreen; x < w - 10; x += 2) q[x] = values[x];
    }
  }
}

// One row of red or blue (`q`) at green pixels over green `g`, into `values` (computed at every
// pixel, kept at the green ones).
AVX2_WHERE_AVAILABLE void BayerDemosaic::channelAtGreen(const float* q, const float* g, float* values) const {
  const int w = width_;
  const ptrdiff_t s = w, s2 = 2 * s, s3 = 3 * s;
#pragma omp simd
  for (int x = 10; x < w - 10; ++x) {
    // The four sides' weights, the inverses of their gradients a, b, c, d, all multiplied by abcd.
    const float a =
        kEps + std::fabs(q[x - s] - q[x + s]) + std::fabs(q[x - s] - q[x - s3]) + std::fabs(g[x] - g[x - s2]);
    const float b =
        kEps + std::fabs(q[x + s] - q[x - s]) + std::fabs(q[x + s] - q[x + s3]) + std::fabs(g[x] - g[x + s2]);
    const float c = kEps + std::fabs(q[x - 1] - q[x + 1]) + std::fabs(q[x - 1] - q[x - 3]) + std::fabs(g[x] - g[x - 2]);
    const float d = kEps + std::fabs(q[x + 1] - q[x - 1]) + std::fabs(q[x + 1] - q[x + 3]) + std::fabs(g[x] - g[x + 2]);
    const float ab = a * b, cd = c * d;
    const float wN = b * cd, wS = a * cd, wW = ab * d, wE = ab * c;
    const float difference = (wN * (q[x - s] - g[x - s]) + wS * (q[x + s] - g[x + s]) + wW * (q[x - 1] - g[x - 1]) +
                              wE * (q[x + 1] - g[x + 1])) /
                             (wN + wS + wW + wE);
    values[x] = clamp01(g[x] + difference);
  }
}

}  // namespace rova::codecs::detail
