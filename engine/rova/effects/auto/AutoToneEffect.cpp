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
    keepClippedHue_ = curve.exposureGain < 1 && amount > 0;
  }
  void applyRow(float* px, int n, int, int) const override {
    using namespace auto_support::simd;
    const float topScale = topScale_;
    if (!keepClippedHue_) {
      forPixels4(
          px, n, [&](F4 & r, F4 & g, F4 & b) __attribute__((always_inline)) {
            r = map(r, topScale), g = map(g, topScale), b = map(b, topScale);
          });
      return;
    }
    // Darkening a clipped picture: where a channel reached white, the shoulder would lift it towards
    // white while the channels under it keep the body's gain, which turns a clipped highlight's faint
    // tint into a strong one (an overexposed white cup going yellow-green, a pale sky that clipped its
    // blue going violet, yellow petals going orange). There the pixel is scaled as a whole, keeping its
    // hue and saturation, by what the curve does to its middle channel: the brightest one that may
    // still hold its value. Two channels at white make a highlight, which the shoulder keeps near
    // white; one alone is a colour, which takes the body's gain. The per-channel curve gives way to it
    // as the top channel nears white, so nothing jumps where a channel starts to clip.
    forPixels4(
        px, n, [&](F4 & r, F4 & g, F4 & b) __attribute__((always_inline)) {
          const F4 top = vmax(vmax(r, g), b);
          const F4 t = clamp((top - kWholeFrom) * (1 / (kWholeTo - kWholeFrom)), 0.f, 1.f);
          const F4 w = t * t * (3.f - 2.f * t);
          const F4 R = map(r, topScale), G = map(g, topScale), B = map(b, topScale);
          if (!any(w > 0.f)) {
            r = R, g = G, b = B;
            return;
          }
          const F4 middle = vmax(vmin(r, g), vmin(vmax(r, g), b));
          // Kept off black, where the toe would make the ratio meaningless.
          const F4 ref = vmax(middle, top * 0.05f);
          // Never past what the curve gives the top channel itself: a value over white (a RAW's
          // headroom) still lands under white.
          const F4 scale =
              vmin(map(ref, topScale) / vmax(ref, splat(1e-6f)), map(top, topScale) / vmax(top, splat(1e-6f)));
          r = R + w * (r * scale - R), g = G + w * (g * scale - G), b = B + w * (b * scale - B);
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
  bool keepClippedHue_ = false;         // darkening: highlights at white are scaled as a whole
  // Between these top-channel values the per-channel curve gives way to the whole-pixel scaling.
  static constexpr float kWholeFrom = 0.7f, kWholeTo = 0.95f;
};

}  // namespace

AutoToneEffect::AutoToneEffect(bool raw)
    : EffectBase(raw ? effect_id::kRawAutoTone : effect_id::kAutoTone, {Parameter("Amount", 0, 100, 100)}), raw_(raw) {}

std::unique_ptr<EffectKernel> AutoToneEffect::makeKernel(const ParameterList& p, const EffectRenderInfo&,
                                                         const EffectParametersContextPtr& context) const {
  const double amount = auto_support::amountOf(p);
  if (amount <= 0 || !context) return nullptr;
  // The RAW decode already develops to the file's exposure, so the RAW variant measures the picture
  // as it is, like the ordinary one.
  auto analysis = enhance_analysis::shared(context);
  // Nothing to correct and no sharpening before it whose overshoot the ceiling would have to catch:
  // the picture is left exactly as it is.
  if (analysis->tone.isIdentity() && analysis->sharpenNeed <= 0) return nullptr;
  return std::make_unique<ToneKernel>(analysis->tone, amount);
}

}  // namespace rova
