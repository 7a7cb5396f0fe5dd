#include <algorithm>
#include <cmath>

#include "rova/effects/ToneMath.h"
#include "rova/effects/auto/AutoEffects.h"
#include "rova/effects/auto/AutoSupport.h"

namespace rova {
namespace {

struct Colourfulness {
  double meanSaturation = 0;
};

// Saturation of a linear pixel measured on square-root values (close to how it is seen).
inline float perceivedSaturation(float mx, float mn) {
  return mx > 1e-5f ? 1 - std::sqrt(std::max(0.f, mn) / mx) : 0.f;
}

inline float smooth(float e0, float e1, float x) {
  const float t = std::clamp((x - e0) / (e1 - e0), 0.f, 1.f);
  return t * t * (3 - 2 * t);
}

class VibranceKernel : public EffectKernel {
 public:
  VibranceKernel(float vibrance, float saturation) : vib_(vibrance), sat_(saturation) {}
  void applyRow(float* c, int n, int, int) const override {
    for (int i = 0; i < n; ++i, c += 3) {
      const float mx = std::max({c[0], c[1], c[2]}), mn = std::min({c[0], c[1], c[2]});
      if (mx <= 1e-5f || mx - mn <= 1e-6f) continue;
      const float s = perceivedSaturation(mx, mn);
      if (s <= 0.02f) continue;
      // Near-greys stay grey: their small tint is usually noise or a white balance residue.
      const float neutral = smooth(0.02f, 0.12f, s);
      // Skin: red over green over blue with a hue of about 10 to 45 degrees.
      float skin = 0;
      if (c[0] >= c[1] && c[1] >= c[2]) {
        const float hue = 60 * (c[1] - c[2]) / (c[0] - c[2]);
        skin = smooth(4, 14, hue) * (1 - smooth(38, 52, hue)) * (1 - smooth(0.75f, 0.95f, s));
      }
      const float muted = (1 - s) * (1 - s);
      float f = 1 + neutral * (1 - 0.75f * skin) * (vib_ * muted + sat_);
      const float y = tone::luminance(c);
      // Never push a channel under zero or past white that was not there before.
      if (f > 1) {
        if (mx > y) f = std::min(f, (std::max(mx, auto_support::kTopChannel) - y) / (mx - y));
        if (mn < y) f = std::min(f, y / (y - mn));
      }
      for (int k = 0; k < 3; ++k) c[k] = std::max(0.f, y + (c[k] - y) * f);
    }
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
  auto measure = context->analysis<Colourfulness>(std::string(id()) + ".colourfulness", [&]() -> std::shared_ptr<const Colourfulness> {
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
