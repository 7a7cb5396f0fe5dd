#include <algorithm>
#include <cmath>

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
      : s_(s), amount_(amount), radius_(radius), interrupted_(interrupted) {
    // The base is smooth: work on a grid a few times coarser than the radius, keep the edges by
    // applying the filter's local linear model to the full-resolution log luminance.
    step_ = std::max(1, int(radius_ / 6));
    lowRadius_ = std::max(2, int(std::lround(radius_ / step_)));
  }
  EffectKernelKind kind() const override { return EffectKernelKind::Region; }
  int margin() const override { return int(std::ceil(2 * radius_)) + 2 * step_ + 2; }

  void applyRegion(ImageDataRGBf& buffer) const override {
    const int w = buffer.width(), h = buffer.height();
    cv::Mat L(h, w, CV_32F);
    detail::parallelRows(h, 32, [&](int y0, int y1) {
      for (int y = y0; y < y1; ++y) {
        const float* px = buffer.floats() + size_t(y) * w * 3;
        float* out = L.ptr<float>(y);
        for (int x = 0; x < w; ++x) out[x] = std::log2(std::max(tone::luminance(px + 3 * x), 1e-4f));
      }
    });
    if (stopped()) return;
    const int lw = std::max(1, (w + step_ - 1) / step_), lh = std::max(1, (h + step_ - 1) / step_);
    cv::Mat I, a, b;
    cv::resize(L, I, cv::Size(lw, lh), 0, 0, cv::INTER_AREA);
    auto_support::guidedCoefficients(I, I, lowRadius_, kEdgeEpsilon, a, b);
    if (stopped()) return;
    const float fx = float(lw) / w, fy = float(lh) / h;
    detail::parallelRows(h, 32, [&](int y0, int y1) {
      for (int y = y0; y < y1; ++y) {
        const float gy = std::clamp((y + 0.5f) * fy - 0.5f, 0.f, float(lh - 1));
        const int r0 = std::min(int(gy), lh - 1), r1 = std::min(r0 + 1, lh - 1);
        const float ty = gy - r0;
        const float *a0 = a.ptr<float>(r0), *a1 = a.ptr<float>(r1), *b0 = b.ptr<float>(r0), *b1 = b.ptr<float>(r1);
        const float* l = L.ptr<float>(y);
        float* px = buffer.floats() + size_t(y) * w * 3;
        for (int x = 0; x < w; ++x, px += 3) {
          const float gx = std::clamp((x + 0.5f) * fx - 0.5f, 0.f, float(lw - 1));
          const int c0 = std::min(int(gx), lw - 1), c1 = std::min(c0 + 1, lw - 1);
          const float tx = gx - c0;
          auto lerp2 = [&](const float* p0, const float* p1) {
            const float top = p0[c0] + (p0[c1] - p0[c0]) * tx, bottom = p1[c0] + (p1[c1] - p1[c0]) * tx;
            return top + (bottom - top) * ty;
          };
          const float base = lerp2(a0, a1) * l[x] + lerp2(b0, b1);
          const float d = l[x] - base;
          const float lift = std::min(kMaxLift, s_.shadows * 0.5f * softplus((kShadowAnchor - base) / 0.5f));
          const float hold = -s_.highlights * 0.5f * softplus((base - kHighlightAnchor) / 0.5f);
          // Detail gains less in deep shadow (noise) and large steps gain less (no ringing).
          const float shade = float(auto_support::smoothstep(-8, -5, base));
          const float boost = s_.detail * shade * d / (1 + 2 * std::fabs(d));
          float gain = std::exp2(amount_ * (lift + hold + boost));
          const float mx = std::max({px[0], px[1], px[2]});
          if (gain > 1 && mx > 0) gain = std::min(gain, std::max(1.f, auto_support::kTopChannel / mx));
          px[0] *= gain, px[1] *= gain, px[2] *= gain;
        }
      }
    });
  }

 private:
  bool stopped() const { return interrupted_ && interrupted_->load(std::memory_order_relaxed); }
  Strengths s_;
  float amount_;
  double radius_;
  int step_ = 1, lowRadius_ = 2;
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
      const float* c = img->floats();
      for (size_t i = 0; i < img->pixelCount(); ++i, c += 3) hist.add(std::log2(std::max(tone::luminance(c), 1e-5f)));
      // Relative to the picture's own mid-tones (the tone effect brings those to the same place).
      const double median = hist.percentile(0.5), range = hist.percentile(0.98) - hist.percentile(0.02);
      const double deep = hist.fractionBelow(median - 3);
      // Pictures with much deep shadow or a wide range of light get more opening and holding.
      s->shadows = float(0.18 + 0.25 * auto_support::smoothstep(0.02, 0.25, deep));
      s->highlights = float(0.12 + 0.18 * auto_support::smoothstep(5, 9, range));
      s->detail = 0.3f;
      return s;
    });
  const double longSide = std::max(info.canvasSize.width, info.canvasSize.height);
  const double radius = std::max(2.0, kBaseRadius * (longSide > 0 ? longSide : 1000) * info.scale);
  return std::make_unique<LocalContrastKernel>(*strengths, float(amount), radius, info.interrupted);
}

}  // namespace rova
