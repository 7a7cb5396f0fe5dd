#pragma once
// Internal: small pieces shared by the automatic effects.
#include <algorithm>
#include <cmath>
#include <vector>

#include "rova/ImageData.h"
#include "rova/Parallel.h"
#include "rova/effects/Parameter.h"
#include "rova/kernels/AutoSimd.h"

namespace rova::auto_support {

// The "Amount" of an automatic effect as a fraction, 0..1.
inline double amountOf(const ParameterList& p) { return std::clamp(double(valueIn(p, "Amount")), 0.0, 100.0) / 100; }

// Whether the pixel (x, y) of an analysis image is part of the picture: hidden (fully transparent)
// pixels say nothing about it and are left out of every statistic.
template <class Image>
bool isAnalysed(const Image& img, int x, int y) {
  return !img.alpha() || isVisibleAlpha(img.alpha()->row(y)[x]);
}

// The whole-picture statistics run on the worker threads in fixed pieces whose results are then
// combined in order: a sum or a list comes out the same on every run, whatever the threads did.

// body(i0, i1, part) for the pieces of [0, n) (kPiece items each); the parts in order.
inline constexpr size_t kPiece = 8192;
template <class Part, class Body>
std::vector<Part> inPieces(size_t n, Body&& body) {
  std::vector<Part> parts((n + kPiece - 1) / kPiece);
  parallelFor(int64_t(parts.size()), 1, [&](int64_t p0, int64_t p1) {
    for (int64_t p = p0; p < p1; ++p) body(size_t(p) * kPiece, std::min(n, size_t(p + 1) * kPiece), parts[size_t(p)]);
  });
  return parts;
}

// body(y0, y1, part) for bands of an analysis image's rows (y0 even, so the analysed rows y0, y0 + 2,
// ... below y1 are the band's); the parts in order.
template <class Part, class Image, class Body>
std::vector<Part> inRowBands(const Image& img, Body&& body) {
  constexpr int kRows = 32;  // image rows a band, 16 of them analysed
  const int h = img.height();
  std::vector<Part> parts(size_t((h + kRows - 1) / kRows));
  parallelFor(int64_t(parts.size()), 1, [&](int64_t b0, int64_t b1) {
    for (int64_t b = b0; b < b1; ++b) body(int(b) * kRows, std::min(h, int(b + 1) * kRows), parts[size_t(b)]);
  });
  return parts;
}

// f(rgb, part) for every other pixel of every other row of an analysis image (hidden pixels left
// out: a quarter of its pixels is plenty for whole-picture statistics and keeps the first render
// quick), in row bands; the bands' parts in order.
template <class Part, class Image, class F>
std::vector<Part> forAnalysisPixels(const Image& img, F&& f) {
  return inRowBands<Part>(img, [&](int y0, int y1, Part& part) {
    for (int y = y0; y < y1; y += 2) {
      const float* px = img.floats() + size_t(y) * img.width() * 3;
      const float* alpha = img.alpha() ? img.alpha()->row(y) : nullptr;
      for (int x = 0; x < img.width(); x += 2)
        if (!alpha || isVisibleAlpha(alpha[x])) f(px + 3 * x, part);
    }
  });
}

// keep(rgb) -> bool; the kept analysis pixels' values `value(rgb)`, in the order forAnalysisPixels
// visits them.
template <class T, class Image, class Keep, class Value>
std::vector<T> gatherAnalysisPixels(const Image& img, Keep&& keep, Value&& value) {
  auto parts = forAnalysisPixels<std::vector<T>>(img, [&](const float* c, std::vector<T>& out) {
    if (keep(c)) out.push_back(value(c));
  });
  size_t n = 0;
  for (const auto& p : parts) n += p.size();
  std::vector<T> all;
  all.reserve(n);
  for (auto& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

// A histogram of values over a fixed range; values outside count in the end bins.
class Histogram {
 public:
  Histogram(double lo, double hi, int bins) : lo_(lo), hi_(hi), bins_(size_t(bins), 0.0) {}
  void add(double v, double weight = 1) {
    const double t = (v - lo_) / (hi_ - lo_) * double(bins_.size());
    bins_[size_t(std::clamp(t, 0.0, double(bins_.size() - 1)))] += weight;
    total_ += weight;
  }
  double total() const { return total_; }
  // The value under which a fraction q of the weight lies (interpolated within its bin).
  double percentile(double q) const {
    const double want = q * total_;
    double sum = 0;
    const double width = (hi_ - lo_) / double(bins_.size());
    for (size_t i = 0; i < bins_.size(); ++i) {
      if (sum + bins_[i] >= want && bins_[i] > 0) return lo_ + width * (double(i) + (want - sum) / bins_[i]);
      sum += bins_[i];
    }
    return hi_;
  }
  // The fraction of the weight below a value.
  double fractionBelow(double v) const {
    double sum = 0;
    const double t = (v - lo_) / (hi_ - lo_) * double(bins_.size());
    for (size_t i = 0; i < bins_.size() && double(i) < t; ++i) sum += bins_[i];
    return total_ > 0 ? sum / total_ : 0;
  }

 private:
  double lo_, hi_;
  std::vector<double> bins_;
  double total_ = 0;
};

// Brightening never takes a channel past this (just under what an 8-bit file holds as white).
inline constexpr float kTopChannel = 0.99f;

// Brings a pixel of luminance y to luminance t keeping its colour ratios. A channel that would end
// past kTopChannel is desaturated towards the luminance instead of clipping; pure black rises with
// a small flare so a lifted black stays neutral.
inline void scaleToLuminance(float* c, float y, float t) {
  constexpr float kFlare = 0.0005f;
  const float r = t / (y + kFlare);
  for (int k = 0; k < 3; ++k) c[k] = (std::max(c[k], 0.f) + kFlare) * r;
  const float mx = std::max({c[0], c[1], c[2]});
  if (mx > kTopChannel && t < kTopChannel) {
    const float s = (kTopChannel - t) / (mx - t);
    for (int k = 0; k < 3; ++k) c[k] = t + (c[k] - t) * s;
  }
}

// The same for four pixels at a time (channels r, g, b).
template <class V>
inline void scaleToLuminance(V& r, V& g, V& b, V y, V t) {
  constexpr float kFlare = 0.0005f;
  const V ratio = t / (y + kFlare);
  const V zero = t - t;
  r = ((r > zero ? r : zero) + kFlare) * ratio, g = ((g > zero ? g : zero) + kFlare) * ratio,
  b = ((b > zero ? b : zero) + kFlare) * ratio;
  V mx = r > g ? r : g;
  mx = mx > b ? mx : b;
  const auto over = mx > kTopChannel && t < kTopChannel;
  if (!simd::any(over)) return;
  const V s = over ? (kTopChannel - t) / (mx - t) : zero;
  r = over ? t + (r - t) * s : r, g = over ? t + (g - t) * s : g, b = over ? t + (b - t) * s : b;
}

inline double smoothstep(double e0, double e1, double x) {
  const double t = std::clamp((x - e0) / (e1 - e0), 0.0, 1.0);
  return t * t * (3 - 2 * t);
}

}  // namespace rova::auto_support
