#include "rova/effects/WhiteBalanceEffect.h"

#include <algorithm>

#include "rova/Color.h"
#include "rova/effects/EffectIDs.h"
#include "rova/effects/ToneMath.h"

namespace rova {
namespace {

constexpr float kMinTemperature = 2000, kMaxTemperature = 50000;

struct Estimate {
  float temperature, tint;
};

}  // namespace

WhiteBalanceEffect::WhiteBalanceEffect(bool raw)
    : EffectBase(raw ? effect_id::kRawWhiteBalance : effect_id::kWhiteBalance,
                 {Parameter("Temperature", kMinTemperature, kMaxTemperature, float(tone::kReferenceTemperature)),
                  Parameter("Tint", -float(tone::kTintRange), float(tone::kTintRange), float(tone::kReferenceTint)),
                  Parameter("Auto", 0, 1, 0)}) {}

void WhiteBalanceEffect::estimateTemperatureTint(const ImageDataRGBf& img, float& temperature, float& tint) {
  double sum[3] = {0, 0, 0};
  double weight = 0;
  const float* px = img.floats();
  const float* alpha = img.alpha() ? img.alpha()->floats() : nullptr;  // hidden pixels say nothing either
  for (size_t i = 0; i < img.pixelCount(); ++i, px += 3) {
    if (alpha && !isVisibleAlpha(alpha[i])) continue;
    const float y = tone::luminance(px);
    const float mx = std::max({px[0], px[1], px[2]});
    if (y < 0.02f || mx >= 0.98f) continue;  // noise and clipped pixels say nothing about the light
    const double w = std::sqrt(double(y));
    for (int c = 0; c < 3; ++c) sum[c] += w * px[c];
    weight += w;
  }
  temperature = float(tone::kReferenceTemperature), tint = float(tone::kReferenceTint);
  if (weight <= 0) return;
  const float avg[3] = {float(sum[0] / weight), float(sum[1] / weight), float(sum[2] / weight)};
  double t, ti;
  tone::neutralizingTemperatureTint(avg, tone::kReferenceTemperature, tone::kReferenceTint, t, ti);
  temperature = std::clamp(float(t), kMinTemperature, kMaxTemperature);
  tint = float(ti);
}

std::unique_ptr<EffectKernel> WhiteBalanceEffect::makeKernel(const ParameterList& p, const EffectRenderInfo&,
                                                             const EffectParametersContextPtr& context) const {
  float temperature = valueIn(p, "Temperature", float(tone::kReferenceTemperature));
  float tint = valueIn(p, "Tint", 0);
  if (valueIn(p, "Auto") >= 0.5f && context) {
    auto estimate =
        context->analysis<Estimate>("ROVAWhiteBalanceEffect.auto", [&context]() -> std::shared_ptr<const Estimate> {
          auto img = context->analysisImage();
          auto e = std::make_shared<Estimate>(Estimate{float(tone::kReferenceTemperature), 0});
          if (img) estimateTemperatureTint(*img, e->temperature, e->tint);
          return e;
        });
    temperature = estimate->temperature, tint = estimate->tint;
  }
  temperature = std::clamp(temperature, kMinTemperature, kMaxTemperature);
  if (temperature == float(tone::kReferenceTemperature) && tint == float(tone::kReferenceTint)) return nullptr;
  const std::array<float, 3> g = tone::whiteBalanceGains(temperature, tint);
  return makePointKernel([g](float* px, int n, int, int) {
    for (int i = 0; i < n; ++i, px += 3) px[0] *= g[0], px[1] *= g[1], px[2] *= g[2];
  });
}

bool getDefaultTemperatureTint(const Image& image, float& temperature, float& tint) {
  if (image.width() <= 0) return false;
  temperature = float(tone::kReferenceTemperature);
  tint = float(tone::kReferenceTint);
  return true;
}

}  // namespace rova

void grfx_temperature_tint_for_picked_point(float red, float green, float blue, float temperature, float tint,
                                            float* outTemperature, float* outTint) {
  if (!outTemperature || !outTint) return;
  const float rgb[3] = {rova::srgbToLinear(red), rova::srgbToLinear(green), rova::srgbToLinear(blue)};
  double t, ti;
  rova::tone::neutralizingTemperatureTint(rgb, temperature, tint, t, ti);
  *outTemperature = std::clamp(float(t), 2000.f, 50000.f);
  *outTint = float(ti);
}

double grfx_map_tint_percents(double tint, bool forward) {
  return forward ? tint * 100.0 / rova::tone::kTintRange : tint * rova::tone::kTintRange / 100.0;
}
