#include <algorithm>
#include <bit>
#include <cstdint>
#include <cmath>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "rova/effects/ToneMath.h"
#include "rova/effects/auto/AutoEffects.h"
#include "rova/effects/auto/AutoSupport.h"
#include "rova/effects/auto/GuidedFilter.h"
#include "rova/processor/Sampling.h"

namespace rova {
namespace {

// Size of the base (the large-scale light of the picture) as a fraction of its long side.
constexpr double kBaseRadius = 0.012;
// In log2 units: steps of light larger than about a stop are kept in the base, so they make no halo.
constexpr float kEdgeEpsilon = 0.04f;
constexpr float kShadowAnchor = -3.6f;    // log2(0.08): bases under it are lifted
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
    for (int i = 0; i < kTable; ++i) {
      const float base = kTableLo + (kTableHi - kTableLo) * float(i) / (kTable - 1);
      const float lift = std::min(kMaxLift, s.shadows * 0.5f * softplus((kShadowAnchor - base) / 0.5f));
      const float hold = -s.highlights * 0.5f * softplus((base - kHighlightAnchor) / 0.5f);
      // Detail gains less in deep shadow (noise).
      toneEV_[i] = amount * (lift + hold);
      detail_[i] = amount * s.detail * float(auto_support::smoothstep(-8, -5, base));
    }
  }
  EffectKernelKind kind() const override { return EffectKernelKind::Region; }
  int margin() const override { return int(std::ceil(2 * radius_)) + 2 * step_ + 2; }

  void applyRegion(ImageDataRGBf& buffer) const override {
    const int w = buffer.width(), h = buffer.height();
    const int lw = std::max(1, (w + step_ - 1) / step_), lh = std::max(1, (h + step_ - 1) / step_);
    // Mean log luminance of each cell of the coarse grid, straight from the pixels.
    cv::Mat I(lh, lw, CV_32F);
    detail::parallelRows(lh, 4, [&](int r0, int r1) {
      std::vector<float> sum(static_cast<size_t>(lw)), count(static_cast<size_t>(lw));
      for (int r = r0; r < r1; ++r) {
        std::fill(sum.begin(), sum.end(), 0.f), std::fill(count.begin(), count.end(), 0.f);
        for (int y = r * step_; y < std::min(h, (r + 1) * step_); ++y) {
          const float* px = buffer.floats() + size_t(y) * w * 3;
          for (int x = 0; x < w; ++x, px += 3) sum[x / step_] += logLuminance(px), count[x / step_] += 1;
        }
        for (int c = 0; c < lw; ++c) I.at<float>(r, c) = sum[c] / std::max(1.f, count[c]);
      }
    });
    if (stopped()) return;
    cv::Mat a, b;
    auto_support::guidedCoefficients(I, I, lowRadius_, kEdgeEpsilon, a, b);
    if (stopped()) return;
    // Coarse-grid coordinates of pixel centres (cell centres at (c + 0.5) * step): the columns are
    // the same for every row, so they are worked out once.
    const float inv = 1.f / float(step_);
    std::vector<int> col0(static_cast<size_t>(w)), col1(static_cast<size_t>(w));
    std::vector<float> colT(static_cast<size_t>(w));
    for (int x = 0; x < w; ++x) {
      const float gx = std::clamp((x + 0.5f) * inv - 0.5f, 0.f, float(lw - 1));
      col0[x] = std::min(int(gx), lw - 1), col1[x] = std::min(col0[x] + 1, lw - 1), colT[x] = gx - col0[x];
    }
    detail::parallelRows(h, 32, [&](int y0, int y1) {
      std::vector<float> rowA(static_cast<size_t>(lw)), rowB(static_cast<size_t>(lw));
      for (int y = y0; y < y1; ++y) {
        const float gy = std::clamp((y + 0.5f) * inv - 0.5f, 0.f, float(lh - 1));
        const int r0 = std::min(int(gy), lh - 1), r1 = std::min(r0 + 1, lh - 1);
        const float ty = gy - r0;
        const float *a0 = a.ptr<float>(r0), *a1 = a.ptr<float>(r1), *b0 = b.ptr<float>(r0), *b1 = b.ptr<float>(r1);
        for (int c = 0; c < lw; ++c) rowA[c] = a0[c] + (a1[c] - a0[c]) * ty, rowB[c] = b0[c] + (b1[c] - b0[c]) * ty;
        float* px = buffer.floats() + size_t(y) * w * 3;
        for (int x = 0; x < w; ++x, px += 3) {
          const int c0 = col0[x], c1 = col1[x];
          const float tx = colT[x];
          const float ca = rowA[c0] + (rowA[c1] - rowA[c0]) * tx, cb = rowB[c0] + (rowB[c1] - rowB[c0]) * tx;
          const float l = logLuminance(px);
          const float base = ca * l + cb;
          const float d = l - base;
          const float t = std::clamp((base - kTableLo) * ((kTable - 1) / (kTableHi - kTableLo)), 0.f, float(kTable - 1));
          const int i = std::min(int(t), kTable - 2);
          const float f = t - i;
          const float tone = toneEV_[i] + (toneEV_[i + 1] - toneEV_[i]) * f;
          const float gainDetail = detail_[i] + (detail_[i + 1] - detail_[i]) * f;
          // Large steps gain less (no ringing).
          float gain = fastExp2(tone + gainDetail * d / (1 + 2 * std::fabs(d)));
          const float mx = std::max({px[0], px[1], px[2]});
          if (gain > 1 && mx > 0) gain = std::min(gain, std::max(1.f, auto_support::kTopChannel / mx));
          px[0] *= gain, px[1] *= gain, px[2] *= gain;
        }
      }
    });
  }

 private:
  static constexpr int kTable = 1024;
  static constexpr float kTableLo = -16, kTableHi = 4;

  // log2 and exp2 to about 1e-4: plenty for a smooth gain, and several times faster than libm.
  static float fastLog2(float v) {  // v > 0, normal
    const uint32_t bits = std::bit_cast<uint32_t>(v);
    const float x = std::bit_cast<float>((bits & 0x7FFFFFu) | 0x3F800000u) - 1;  // mantissa - 1, in [0, 1)
    return float(int((bits >> 23) & 255) - 127) +
           x * (1.4425449f + x * (-0.7181452f + x * (0.4575485f + x * (-0.2779042f + x * (0.1217970f + x * -0.0258411f)))));
  }
  static float fastExp2(float v) {
    v = std::clamp(v, -30.f, 30.f);
    const float fl = std::floor(v), f = v - fl;
    const float p = 1 + f * (0.6931472f + f * (0.2402265f + f * (0.0555041f + f * (0.0096181f + f * 0.0013333f))));
    return std::bit_cast<float>(std::bit_cast<int32_t>(p) + (int32_t(fl) << 23));
  }
  static float logLuminance(const float* px) { return fastLog2(std::max(tone::luminance(px), 1e-4f)); }

  bool stopped() const { return interrupted_ && interrupted_->load(std::memory_order_relaxed); }
  double radius_;
  int step_ = 1, lowRadius_ = 2;
  float toneEV_[kTable], detail_[kTable];
  const std::atomic<bool>* interrupted_;
};

}  // namespace

LocalContrastEffect::LocalContrastEffect() : EffectBase(effect_id::kLocalContrast, {Parameter("Amount", 0, 100, 100)}) {}

std::unique_ptr<EffectKernel> LocalContrastEffect::makeKernel(const ParameterList& p, const EffectRenderInfo& info,
                                                              const EffectParametersContextPtr& context) const {
  const double amount = auto_support::amountOf(p);
  if (amount <= 0) return nullptr;
  auto strengths = std::make_shared<const Strengths>();
  if (context)
    strengths = context->analysis<Strengths>(std::string(id()) + ".strengths", [&]() -> std::shared_ptr<const Strengths> {
      auto s = std::make_shared<Strengths>();
      auto img = context->analysisImage();
      if (!img) return s;
      auto_support::Histogram hist(-14, 2, 1024);
      auto_support::forAnalysisPixels(*img, [&](const float* c) { hist.add(std::log2(std::max(tone::luminance(c), 1e-5f))); });
      // Relative to the picture's own mid-tones (the tone effect brings those to the same place).
      const double median = hist.percentile(0.5), range = hist.percentile(0.98) - hist.percentile(0.02);
      const double deep = hist.fractionBelow(median - 3);
      // Pictures with much deep shadow or a wide range of light get more opening and holding.
      s->shadows = float(0.18 + 0.25 * auto_support::smoothstep(0.02, 0.25, deep));
      s->highlights = float(0.12 + 0.18 * auto_support::smoothstep(5, 9, range));
      s->detail = 0.3f;
      return s;
    });
  // The radius is a share of the picture's long side as rendered: canvas pixels times output pixels
  // per canvas pixel. (info.scale counts from the file's full resolution, so for a reduced read of
  // the file it would shrink the radius twice and the preview would lose the look of the export.)
  const AffineTransform& m = info.outputToCanvas;
  const double canvasPerOutput = std::sqrt(std::fabs(double(m.a) * m.d - double(m.b) * m.c));
  const double longSide = std::max(info.canvasSize.width, info.canvasSize.height);
  const double radius = std::max(2.0, kBaseRadius * (longSide > 0 && canvasPerOutput > 0 ? longSide / canvasPerOutput : 1000 * info.scale));
  return std::make_unique<LocalContrastKernel>(*strengths, float(amount), radius, info.interrupted);
}

}  // namespace rova
