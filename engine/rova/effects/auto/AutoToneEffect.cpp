#include <algorithm>
#include <cmath>
#include <vector>

#include "rova/effects/ToneMath.h"
#include "rova/effects/auto/AutoEffects.h"
#include "rova/effects/auto/AutoSupport.h"
#include "rova/kernels/AutoSimd.h"

namespace rova {
namespace {

// The RAW development brightens camera data by this much before later layers see it.
constexpr double kRawDevelopBaselineEV = 0.5;

// Mid-tones aim at this luminance (a little under the 18 % card: most good pictures sit there).
constexpr double kTargetMedian = 0.16;
// Pictures whose mid-tones are within this many EV under (or over) the aim are left as they are: a
// bright picture is more often bright on purpose than a dark one dark.
constexpr double kDeadZoneEV = 0.3, kDeadZoneOverEV = 0.6;
// Blacks at least this dark (perceptual) are black already and keep their shades.
constexpr double kDeepBlack = 0.03;
// How far the median of a picture whose top reaches kExposedTop may rise, and the top (perceptual)
// that counts as exposed.
constexpr double kMaxRiseFullRangeEV = 0.45;
constexpr double kExposedTop = 0.8;
constexpr double kMaxBrightenEV = 1.6, kMaxDarkenEV = 0.4;
// The levels brighten the top of the picture by at most this factor of the perceptual scale (3 EV).
constexpr double kMaxGain = 2.57;
// The picture's top lands here, a little under white, so highlights keep a trace of detail and no
// pixel that was not clipped becomes so.
constexpr double kTopWhite = 0.985;
// Anything brighter still (sharpening overshoots, RAW highlights) approaches this and never white.
constexpr double kCeiling = 0.995;
constexpr double kShoulderStart = 0.8;  // perceptual value where highlights start to roll off
constexpr double kToe = 0.06;           // perceptual value under which shadows fade smoothly ...
constexpr double kBlackFloor = 0.03;    // ... towards this, which an 8-bit file still holds above black

double levels(const AutoToneCurve& c, double p) {
  double v = (p - c.black) * c.gain;
  if (v < kToe) v = kBlackFloor + (kToe - kBlackFloor) * std::exp((v - kToe) / (kToe - kBlackFloor));
  const double vtop = (c.top - c.black) * c.gain;
  if (v > kShoulderStart && vtop > kTopWhite) {
    // Rational shoulder: slope 1 at the start, the picture's top lands on kTopWhite.
    const double span = kTopWhite - kShoulderStart;
    const double X = (vtop - kShoulderStart) / span, x = (v - kShoulderStart) / span;
    v = kShoulderStart + span * x / (1 + x * (X - 1) / X);
  }
  return v;
}

class ToneKernel : public EffectKernel {
 public:
  ToneKernel(const AutoToneCurve& curve, double amount) {
    // The target luminance over the square root of luminance (even steps in shadows and lights).
    std::vector<float> lut(kLut);
    for (int i = 0; i < kLut; ++i) {
      const double u = kMaxRoot * i / (kLut - 1), y = u * u, p = tone::toPerceptual(y);
      lut[i] = float(tone::fromPerceptual(p + amount * (curve.apply(p) - p)));
    }
    for (int i = 0; i < kLut; ++i) pairs_[i][0] = lut[i], pairs_[i][1] = lut[std::min(i + 1, kLut - 1)];
    topScale_ = lut.back() / (kMaxRoot * kMaxRoot);
  }
  void applyRow(float* px, int n, int, int) const override {
    using namespace auto_support::simd;
    const float topScale = topScale_;
    forPixels4(
        px, n, [&](F4 & r, F4 & g, F4 & b) __attribute__((always_inline)) {
          const F4 y = vmax(luminance(r, g, b), splat(0.f));
          const F4 u = vsqrt(y);
          const F4 inTable = lookupPairs(pairs_, kLut, vmin(u * ((kLut - 1) / kMaxRoot), splat(float(kLut - 1))));
          const F4 t = u >= kMaxRoot ? y * topScale : inTable;
          auto_support::scaleToLuminance(r, g, b, y, t);
        });
  }

 private:
  static constexpr int kLut = 2048;
  static constexpr float kMaxRoot = 2;  // the table covers luminance up to 4
  float pairs_[kLut][2];                // each entry with the next, for lookupPairs
  float topScale_ = 1;                  // past the table the curve goes on in proportion
};

}  // namespace

double AutoToneCurve::apply(double p) const {
  double v = levels(*this, p);
  if (midBoost != 0) {
    const double c = midBoost;
    v = v <= 1 ? v * (1 + c) / (1 + c * v) : 1 + (v - 1) / (1 + c);
  }
  if (v > kTopWhite) v = kTopWhite + (kCeiling - kTopWhite) * (1 - std::exp(-(v - kTopWhite) / (kCeiling - kTopWhite)));
  return v;
}

AutoToneCurve AutoToneEffect::analyse(const ImageDataRGBf& img, double exposureBiasEV) {
  auto_support::Histogram hist(0, 2, 4096);
  const float k = float(std::exp2(exposureBiasEV));
  auto_support::forAnalysisPixels(
      img, [&](const float* px) { hist.add(tone::toPerceptual(k * std::max(0.f, tone::luminance(px)))); });
  AutoToneCurve c;
  if (hist.total() == 0) return c;
  const double lo = hist.percentile(0.005), hi = hist.percentile(0.997);
  c.black = std::clamp(lo - kDeepBlack, 0.0, 0.35);
  c.gain = std::clamp(1 / std::max(1e-3, hi - c.black), 0.8, kMaxGain);
  c.top = std::max(hist.percentile(0.9998), c.black + 1e-3);
  // Then the mid-tones, measured after the levels: towards the aim, but a picture whose highlights
  // already reach near white gains at most kMaxRiseFullRangeEV in its median, levels included (it
  // is dark on purpose: a night, a low-key portrait). Only a picture whose top falls short of white
  // (under-exposed) may rise further, by what it falls short.
  const double m0 = hist.percentile(0.5), m = levels(c, m0);
  if (m > 0.01 && m < 0.99 && m0 > 0.005) {
    const double evFull = 2.2 * std::log2(tone::toPerceptual(kTargetMedian) / m);
    double ev = evFull > 0 ? std::max(0.0, evFull - kDeadZoneEV) : std::min(0.0, evFull + kDeadZoneOverEV);
    ev = std::max(ev, -kMaxDarkenEV);
    const double shortfallEV = hi < kExposedTop ? 2.2 * std::log2(kExposedTop / std::max(hi, 1e-3)) : 0.0;
    const double allowedRiseEV = std::min(kMaxBrightenEV, kMaxRiseFullRangeEV + shortfallEV);
    const double mt = std::min({0.95, m * std::exp2(ev / 2.2), m0 * std::exp2(allowedRiseEV / 2.2)});
    c.midBoost = std::max(-0.8, (mt - m) / (m * (1 - mt)));
  }
  return c;
}

AutoToneEffect::AutoToneEffect(bool raw)
    : EffectBase(raw ? effect_id::kRawAutoTone : effect_id::kAutoTone, {Parameter("Amount", 0, 100, 100)}), raw_(raw) {}

std::unique_ptr<EffectKernel> AutoToneEffect::makeKernel(const ParameterList& p, const EffectRenderInfo&,
                                                         const EffectParametersContextPtr& context) const {
  const double amount = auto_support::amountOf(p);
  if (amount <= 0 || !context) return nullptr;
  const double bias = raw_ ? kRawDevelopBaselineEV : 0;
  auto curve =
      context->analysis<AutoToneCurve>(std::string(id()) + ".curve", [&]() -> std::shared_ptr<const AutoToneCurve> {
        auto img = context->analysisImage();
        return std::make_shared<AutoToneCurve>(img ? analyse(*img, bias) : AutoToneCurve{});
      });
  return std::make_unique<ToneKernel>(*curve, amount);
}

}  // namespace rova
