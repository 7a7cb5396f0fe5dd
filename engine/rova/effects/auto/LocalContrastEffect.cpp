#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "rova/effects/ToneMath.h"
#include "rova/effects/auto/AutoEffects.h"
#include "rova/effects/auto/AutoSupport.h"
#include "rova/effects/auto/EnhanceAnalysis.h"
#include "rova/effects/auto/GuidedFilter.h"
#include "rova/kernels/AutoSimd.h"
#include "rova/kernels/Kernels.h"

namespace rova {
namespace {

// Size of the base (the large-scale light of the picture) as a fraction of its long side.
constexpr double kBaseRadius = 0.012;
// In log2 units: steps of light larger than about a stop are kept in the base, so they make no halo.
constexpr float kEdgeEpsilon = 0.04f;
constexpr float kShadowAnchor = -3.6f;     // log2(0.08): bases under it are lifted
constexpr float kHighlightAnchor = -1.0f;  // log2(0.5): bases over it are held back
constexpr float kMaxLift = 1.6f;           // EV

struct Strengths {
  float shadows = 0.3f, highlights = 0.2f, detail = 0.25f;
};

inline float softplus(float x) { return x > 8 ? x : std::log1p(std::exp(x)); }

class LocalContrastKernel : public EffectKernel {
 public:
  LocalContrastKernel(const Strengths& s, float amount, double radius, const std::atomic<bool>* interrupted)
      : radius_(radius), interrupted_(interrupted) {
    // The base is smooth: work on a grid a few times coarser than the radius, keep the edges by
    // applying the filter's local linear model to the full-resolution log luminance.
    step_ = std::max(1, int(radius_ / 6));
    lowRadius_ = std::max(2, int(std::lround(radius_ / step_)));
    // What the base alone decides (EV of lift and hold, and how much detail may gain), tabulated.
    std::vector<float> toneEV(kTable), detail(kTable);
    for (int i = 0; i < kTable; ++i) {
      const float base = kTableLo + (kTableHi - kTableLo) * float(i) / (kTable - 1);
      const float lift = std::min(kMaxLift, s.shadows * 0.5f * softplus((kShadowAnchor - base) / 0.5f));
      const float hold = -s.highlights * 0.5f * softplus((base - kHighlightAnchor) / 0.5f);
      // Detail gains less in deep shadow (noise).
      toneEV[i] = amount * (lift + hold);
      detail[i] = amount * s.detail * float(auto_support::smoothstep(-8, -5, base));
    }
    for (int i = 0; i < kTable; ++i) {
      const int j = std::min(i + 1, kTable - 1);
      table_[i][0] = toneEV[i], table_[i][1] = detail[i], table_[i][2] = toneEV[j], table_[i][3] = detail[j];
    }
  }
  EffectKernelKind kind() const override { return EffectKernelKind::Region; }
  int margin() const override { return int(std::ceil(2 * radius_)) + 2 * step_ + 2; }

  void applyRegion(ImageDataRGBf& buffer) const override {
    const int w = buffer.width(), h = buffer.height();
    const int lw = std::max(1, (w + step_ - 1) / step_), lh = std::max(1, (h + step_ - 1) / step_);
    // Mean log luminance of each cell of the coarse grid, straight from the pixels. In large cells
    // every other pixel of every other row is plenty for the mean.
    const int stride = step_ >= 6 ? 2 : 1;
    const int samples = (w + stride - 1) / stride;
    cv::Mat I(lh, lw, CV_32F);
    detail::parallelRows(lh, 4, [&](int r0, int r1) {
      std::vector<float> sum(static_cast<size_t>(lw)), logs(static_cast<size_t>(samples) + 4);
      for (int r = r0; r < r1; ++r) {
        std::fill(sum.begin(), sum.end(), 0.f);
        int rows = 0;
        for (int y = r * step_; y < std::min(h, (r + 1) * step_); y += stride, ++rows) {
          logLuminanceRow(buffer.floats() + size_t(y) * w * 3, samples, stride, logs.data());
          for (int c = 0; c < lw; ++c) {
            const int k1 = (std::min(w, (c + 1) * step_) + stride - 1) / stride;
            float cell = 0;
            for (int k = (c * step_ + stride - 1) / stride; k < k1; ++k) cell += logs[k];
            sum[c] += cell;
          }
        }
        for (int c = 0; c < lw; ++c) {
          const int columns = (std::min(w, (c + 1) * step_) + stride - 1) / stride - (c * step_ + stride - 1) / stride;
          I.at<float>(r, c) = sum[c] / float(std::max(1, rows * columns));
        }
      }
    });
    if (stopped()) return;
    cv::Mat a, b;
    auto_support::guidedCoefficients(I, I, lowRadius_, kEdgeEpsilon, a, b);
    if (stopped()) return;
    // The coefficients brought to full width at each grid row (cell centres at (c + 0.5) * step), so
    // that each pixel row only blends two of these rows.
    const float inv = 1.f / float(step_);
    std::vector<int> col0(static_cast<size_t>(w)), col1(static_cast<size_t>(w));
    std::vector<float> colT(static_cast<size_t>(w));
    for (int x = 0; x < w; ++x) {
      const float gx = std::clamp((x + 0.5f) * inv - 0.5f, 0.f, float(lw - 1));
      col0[x] = std::min(int(gx), lw - 1), col1[x] = std::min(col0[x] + 1, lw - 1), colT[x] = gx - col0[x];
    }
    const size_t wide = size_t(w) + 4;  // room for the last four pixels' loads
    std::vector<float> wideA(wide * lh), wideB(wide * lh);
    detail::parallelRows(lh, 8, [&](int r0, int r1) {
      for (int r = r0; r < r1; ++r) {
        const float *ar = a.ptr<float>(r), *br = b.ptr<float>(r);
        float *wa = wideA.data() + wide * r, *wb = wideB.data() + wide * r;
        for (int x = 0; x < w; ++x) {
          const int c0 = col0[x], c1 = col1[x];
          const float tx = colT[x];
          wa[x] = ar[c0] + (ar[c1] - ar[c0]) * tx, wb[x] = br[c0] + (br[c1] - br[c0]) * tx;
        }
      }
    });
    if (stopped()) return;
    detail::parallelRows(h, 32, [&](int y0, int y1) {
      using namespace auto_support::simd;
      for (int y = y0; y < y1; ++y) {
        const float gy = std::clamp((y + 0.5f) * inv - 0.5f, 0.f, float(lh - 1));
        const int r0 = std::min(int(gy), lh - 1), r1 = std::min(r0 + 1, lh - 1);
        const float ty = gy - r0;
        const float *a0 = wideA.data() + wide * r0, *a1 = wideA.data() + wide * r1;
        const float *b0 = wideB.data() + wide * r0, *b1 = wideB.data() + wide * r1;
        forPixels4(
            buffer.floats() + size_t(y) * w * 3, w, [&](F4 & r, F4 & g, F4 & bl) __attribute__((always_inline)) {
              F4 A0, A1, B0, B1;
              __builtin_memcpy(&A0, a0, sizeof A0), __builtin_memcpy(&A1, a1, sizeof A1);
              __builtin_memcpy(&B0, b0, sizeof B0), __builtin_memcpy(&B1, b1, sizeof B1);
              a0 += 4, a1 += 4, b0 += 4, b1 += 4;
              const F4 A = A0 + (A1 - A0) * ty, B = B0 + (B1 - B0) * ty;
              const F4 l = fastLog2(vmax(luminance(r, g, bl), splat(1e-4f)));
              const F4 base = A * l + B;
              const F4 d = l - base;
              const F4 t = clamp((base - kTableLo) * ((kTable - 1) / (kTableHi - kTableLo)), 0.f, float(kTable - 1));
              F4 tone, gainDetail;
              lookup2(table_, kTable, t, tone, gainDetail);
              // Large steps gain less (no ringing).
              F4 gain = fastExp2(tone + gainDetail * d / (1.f + 2.f * vabs(d)));
              const F4 mx = vmax(vmax(r, g), bl);
              // A gain that would take a channel past the top is held there (never under 1); only the
              // lanes that would pass it need the division.
              const auto limit = gain > 1.f && mx * gain > auto_support::kTopChannel;
              if (any(limit))
                gain =
                    limit ? vmin(gain, vmax(splat(1.f), auto_support::kTopChannel / (limit ? mx : splat(1.f)))) : gain;
              r *= gain, g *= gain, bl *= gain;
            });
      }
    });
  }

 private:
  static constexpr int kTable = 1024;
  static constexpr float kTableLo = -16, kTableHi = 4;

  // log2 of the luminance (floored at 1e-4) of n pixels of a row, every stride-th one, into out
  // (room for n + 3 values).
  static void logLuminanceRow(const float* px, int n, int stride, float* out) {
    using namespace auto_support::simd;
    int x = 0;
    if (stride == 1)
      for (; x + 4 <= n; x += 4) {
        F4 r, g, b;
        load3(px + size_t(x) * 3, r, g, b);
        const F4 l = fastLog2(vmax(luminance(r, g, b), splat(1e-4f)));
        __builtin_memcpy(out + x, &l, sizeof l);
      }
    for (; x < n; x += 4) {
      float y[4];
      for (int k = 0; k < 4; ++k) y[k] = x + k < n ? tone::luminance(px + size_t(x + k) * stride * 3) : 1.f;
      const F4 l = fastLog2(vmax(F4{y[0], y[1], y[2], y[3]}, splat(1e-4f)));
      __builtin_memcpy(out + x, &l, sizeof l);
    }
  }

  bool stopped() const { return interrupted_ && interrupted_->load(std::memory_order_relaxed); }
  double radius_;
  int step_ = 1, lowRadius_ = 2;
  // Each entry: tone and detail gain at the entry and at the next, for lookup2.
  alignas(16) float table_[kTable][4];
  const std::atomic<bool>* interrupted_;
};

}  // namespace

LocalContrastEffect::LocalContrastEffect()
    : EffectBase(effect_id::kLocalContrast, {Parameter("Amount", 0, 100, 100)}) {}

std::unique_ptr<EffectKernel> LocalContrastEffect::makeKernel(const ParameterList& p, const EffectRenderInfo& info,
                                                              const EffectParametersContextPtr& context) const {
  const double amount = auto_support::amountOf(p);
  if (amount <= 0) return nullptr;
  // Only what the picture needs: deep shadows to open, near-white areas to hold (from the shared
  // analysis, measured after the tone and colour corrections); a picture with neither is left alone.
  Strengths strengths;
  if (context) {
    const auto analysis = enhance_analysis::shared(context);
    strengths.shadows = float(0.43 * analysis->shadowNeed);
    strengths.highlights = float(0.3 * analysis->highlightNeed);
    strengths.detail = float(0.3 * std::max(analysis->shadowNeed, analysis->highlightNeed));
    if (strengths.shadows <= 0 && strengths.highlights <= 0) return nullptr;
  }
  // The radius is a share of the picture's long side as rendered: canvas pixels times output pixels
  // per canvas pixel. (info.scale counts from the file's full resolution, so for a reduced read of
  // the file it would shrink the radius twice and the preview would lose the look of the export.)
  const AffineTransform& m = info.outputToCanvas;
  const double canvasPerOutput = std::sqrt(std::fabs(double(m.a) * m.d - double(m.b) * m.c));
  const double longSide = std::max(info.canvasSize.width, info.canvasSize.height);
  const double radius = std::max(
      2.0, kBaseRadius * (longSide > 0 && canvasPerOutput > 0 ? longSide / canvasPerOutput : 1000 * info.scale));
  return std::make_unique<LocalContrastKernel>(strengths, float(amount), radius, info.interrupted);
}

}  // namespace rova
