#include <algorithm>
#include <cmath>
#include <vector>

#include "rova/effects/auto/AutoEffects.h"
#include "rova/effects/auto/AutoSupport.h"
#include "rova/effects/auto/EnhanceAnalysis.h"
#include "rova/kernels/AutoSimd.h"

namespace rova {
namespace {

class ToneKernel : public EffectKernel {
 public:
  ToneKernel(const enhance_analysis::ToneCurve& curve, double amount) {
    // The curve over the square root of the channel value (even steps in shadows and lights); the
    // Amount blends in that scale.
    std::vector<float> lut(kLut);
    for (int i = 0; i < kLut; ++i) {
      const double u = kMaxRoot * i / (kLut - 1);
      const double v = u + amount * (std::sqrt(std::max(0.0, curve.apply(u * u))) - u);
      lut[i] = float(v * v);
    }
    for (int i = 0; i < kLut; ++i) pairs_[i][0] = lut[i], pairs_[i][1] = lut[std::min(i + 1, kLut - 1)];
    topScale_ = lut.back() / (kMaxRoot * kMaxRoot);
  }
  void applyRow(float* px, int n, int, int) const override {
    using namespace auto_support::simd;
    const float topScale = topScale_;
    forPixels4(
        px, n, [&](F4 & r, F4 & g, F4 & b) __attribute__((always_inline)) {
          r = map(r, topScale), g = map(g, topScale), b = map(b, topScale);
        });
  }

 private:
  // One curve for every channel, so a lifted veil gives back its colour too.
  auto_support::simd::F4 map(auto_support::simd::F4 c, float topScale) const __attribute__((always_inline)) {
    using namespace auto_support::simd;
    const F4 v = vmax(c, splat(0.f));
    const F4 u = vsqrt(v);
    const F4 inTable = lookupPairs(pairs_, kLut, vmin(u * ((kLut - 1) / kMaxRoot), splat(float(kLut - 1))));
    return u >= kMaxRoot ? v * topScale : inTable;
  }
  static constexpr int kLut = 4096;
  static constexpr float kMaxRoot = 2;  // the table covers values up to 4
  float pairs_[kLut][2];                // each entry with the next, for lookupPairs
  float topScale_ = 1;                  // past the table the curve goes on in proportion
};

}  // namespace

AutoToneEffect::AutoToneEffect(bool raw)
    : EffectBase(raw ? effect_id::kRawAutoTone : effect_id::kAutoTone, {Parameter("Amount", 0, 100, 100)}), raw_(raw) {}

std::unique_ptr<EffectKernel> AutoToneEffect::makeKernel(const ParameterList& p, const EffectRenderInfo&,
                                                         const EffectParametersContextPtr& context) const {
  const double amount = auto_support::amountOf(p);
  if (amount <= 0 || !context) return nullptr;
  // The RAW variant runs after the RAW development, which brightens the camera data by a baseline.
  auto analysis = enhance_analysis::shared(context, raw_ ? enhance_analysis::kRawDevelopBaselineEV : 0);
  // Nothing to correct and no sharpening before it whose overshoot the ceiling would have to catch:
  // the picture is left exactly as it is.
  if (analysis->tone.isIdentity() && analysis->sharpenNeed <= 0) return nullptr;
  return std::make_unique<ToneKernel>(analysis->tone, amount);
}

}  // namespace rova
