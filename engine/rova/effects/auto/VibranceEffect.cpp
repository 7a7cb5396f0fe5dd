#include <algorithm>
#include <cmath>

#include "rova/effects/ToneMath.h"
#include "rova/effects/auto/AutoEffects.h"
#include "rova/effects/auto/AutoSupport.h"
#include "rova/kernels/AutoSimd.h"

namespace rova {
namespace {

struct Colourfulness {
  double meanSaturation = 0;
};

// Saturation of a linear pixel measured on square-root values (close to how it is seen).
inline float perceivedSaturation(float mx, float mn) {
  return mx > 1e-5f ? 1 - std::sqrt(std::max(0.f, mn) / mx) : 0.f;
}

inline auto_support::simd::F4 smooth(float e0, float e1, auto_support::simd::F4 x) {
  const auto t = auto_support::simd::clamp((x - e0) * (1 / (e1 - e0)), 0.f, 1.f);
  return t * t * (3.f - 2.f * t);
}

class VibranceKernel : public EffectKernel {
 public:
  VibranceKernel(float vibrance, float saturation) : vib_(vibrance), sat_(saturation) {}
  void applyRow(float* c, int n, int, int) const override {
    using namespace auto_support::simd;
    forPixels4(
        c, n, [&](F4 & r, F4 & g, F4 & b) __attribute__((always_inline)) {
          const F4 mx = vmax(vmax(r, g), b), mn = vmin(vmin(r, g), b);
          const auto lit = mx > 1e-5f;
          const F4 s = lit ? 1.f - vsqrt(vmax(mn, splat(0.f)) / (lit ? mx : splat(1.f))) : splat(0.f);
          const auto acts = lit && mx - mn > 1e-6f && s > 0.02f;
          if (!any(acts)) return;
          // Near-greys stay grey: their small tint is usually noise or a white balance residue.
          const F4 neutral = smooth(0.02f, 0.12f, s);
          // Skin: red over green over blue with a hue of about 10 to 45 degrees.
          const auto ordered = r >= g && g >= b;
          const F4 hue = 60.f * (g - b) / vmax(r - b, splat(1e-12f));
          const F4 skin =
              ordered ? smooth(4, 14, hue) * (1.f - smooth(38, 52, hue)) * (1.f - smooth(0.75f, 0.95f, s)) : splat(0.f);
          const F4 muted = (1.f - s) * (1.f - s);
          F4 f = 1.f + neutral * (1.f - 0.75f * skin) * (vib_ * muted + sat_);
          const F4 y = luminance(r, g, b);
          // Never push a channel under zero or past white that was not there before.
          // Only lanes where the limit binds need its division.
          const auto grows = f > 1.f;
          const F4 top = vmax(mx, splat(auto_support::kTopChannel));
          const auto above = grows && mx > y && (mx - y) * f > top - y, below = grows && mn < y && (y - mn) * f > y;
          if (any(above)) f = above ? vmin(f, (top - y) / (above ? mx - y : splat(1.f))) : f;
          if (any(below)) f = below ? vmin(f, y / (below ? y - mn : splat(1.f))) : f;
          r = acts ? vmax(y + (r - y) * f, splat(0.f)) : r;
          g = acts ? vmax(y + (g - y) * f, splat(0.f)) : g;
          b = acts ? vmax(y + (b - y) * f, splat(0.f)) : b;
        });
  }

 private:
  float vib_, sat_;
};

}  // namespace

VibranceEffect::VibranceEffect() : EffectBase(effect_id::kVibrance, {Parameter("Amount", 0, 100, 100)}) {}

std::unique_ptr<EffectKernel> VibranceEffect::makeKernel(const ParameterList& p, const EffectRenderInfo&,
                                                         const EffectParametersContextPtr& context) const {
  const double amount = auto_support::amountOf(p);
  if (amount <= 0 || !context) return nullptr;
  auto measure = context->analysis<Colourfulness>(
      std::string(id()) + ".colourfulness", [&]() -> std::shared_ptr<const Colourfulness> {
        auto result = std::make_shared<Colourfulness>();
        auto img = context->analysisImage();
        if (!img) return result;
        double sum = 0, weight = 0;
        auto_support::forAnalysisPixels(*img, [&](const float* c) {
          const float mx = std::max({c[0], c[1], c[2]}), mn = std::min({c[0], c[1], c[2]});
          const double w = std::sqrt(std::max(0.f, tone::luminance(c)));
          sum += w * perceivedSaturation(mx, mn);
          weight += w;
        });
        result->meanSaturation = weight > 0 ? sum / weight : 0;
        return result;
      });
  // Muted pictures get more, colourful ones a little; saturation itself only a touch.
  const double vib = std::clamp((0.42 - measure->meanSaturation) * 1.2, 0.08, 0.35);
  return std::make_unique<VibranceKernel>(float(amount * vib), float(amount * 0.04));
}

}  // namespace rova
