#include <algorithm>
#include <array>
#include <cmath>

#include "rova/effects/ToneMath.h"
#include "rova/effects/auto/AutoEffects.h"
#include "rova/effects/auto/AutoSupport.h"
#include "rova/effects/auto/EnhanceAnalysis.h"
#include "rova/kernels/AutoSimd.h"

namespace rova {
namespace {

inline auto_support::simd::F4 smooth(float e0, float e1, auto_support::simd::F4 x) {
  const auto t = auto_support::simd::clamp((x - e0) * (1 / (e1 - e0)), 0.f, 1.f);
  return t * t * (3.f - 2.f * t);
}

class VibranceKernel : public EffectKernel {
 public:
  // `white`: the colour a grey has in the picture (the light the colour layer left as its mood, unit
  // luminance). Saturation is measured and raised from it, so the mood's tint itself is not raised: a
  // blue of shade kept in part is kept, never doubled.
  VibranceKernel(float vibrance, float saturation, std::array<float, 3> white)
      : vib_(vibrance), sat_(saturation), white_(white) {
    const float top = std::max({white[0], white[1], white[2]});
    topChannel_ = auto_support::kTopChannel / top;
  }
  void applyRow(float* c, int n, int, int) const override {
    using namespace auto_support::simd;
    const float toGrey[3] = {1 / white_[0], 1 / white_[1], 1 / white_[2]};
    forPixels4(
        c, n, [&](F4 & r, F4 & g, F4 & b) __attribute__((always_inline)) {
          r = r * toGrey[0], g = g * toGrey[1], b = b * toGrey[2];
          raise(r, g, b);
          r = r * white_[0], g = g * white_[1], b = b * white_[2];
        });
  }

 private:
  // The saturation of grey-relative pixels raised.
  __attribute__((always_inline)) inline void raise(auto_support::simd::F4& r, auto_support::simd::F4& g,
                                                   auto_support::simd::F4& b) const {
    using namespace auto_support::simd;
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
    const F4 top = vmax(mx, splat(topChannel_));
    const auto above = grows && mx > y && (mx - y) * f > top - y, below = grows && mn < y && (y - mn) * f > y;
    if (any(above)) f = above ? vmin(f, (top - y) / (above ? mx - y : splat(1.f))) : f;
    if (any(below)) f = below ? vmin(f, y / (below ? y - mn : splat(1.f))) : f;
    r = acts ? vmax(y + (r - y) * f, splat(0.f)) : r;
    g = acts ? vmax(y + (g - y) * f, splat(0.f)) : g;
    b = acts ? vmax(y + (b - y) * f, splat(0.f)) : b;
  }

  float vib_, sat_;
  std::array<float, 3> white_;
  float topChannel_;
};

}  // namespace

VibranceEffect::VibranceEffect() : EffectBase(effect_id::kVibrance, {Parameter("Amount", 0, 100, 100)}) {}

std::unique_ptr<EffectKernel> VibranceEffect::makeKernel(const ParameterList& p, const EffectRenderInfo&,
                                                         const EffectParametersContextPtr& context) const {
  const double amount = auto_support::amountOf(p);
  if (amount <= 0 || !context) return nullptr;
  // Only a picture less colourful than natural photos are (a fade, a dull day) gets vibrance, by how
  // far; saturation itself only a touch.
  const double need = enhance_analysis::shared(context)->vibranceNeed;
  if (need <= 0) return nullptr;
  const double vib = 0.35 * need;
  return std::make_unique<VibranceKernel>(float(amount * vib), float(amount * 0.04 * need),
                                          enhance_analysis::shared(context)->moodLight);
}

}  // namespace rova
