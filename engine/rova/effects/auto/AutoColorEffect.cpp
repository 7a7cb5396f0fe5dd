#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "rova/effects/ToneMath.h"
#include "rova/effects/auto/AutoEffects.h"
#include "rova/effects/auto/AutoSupport.h"

namespace rova {
namespace {

// No channel is raised or lowered by more than this factor against green.
constexpr float kMaxChannelRatio = 2.5f;

class GainKernel : public EffectKernel {
 public:
  explicit GainKernel(std::array<float, 3> g) : g_(g) {}
  void applyRow(float* px, int n, int, int) const override {
    for (int i = 0; i < n; ++i, px += 3) px[0] *= g_[0], px[1] *= g_[1], px[2] *= g_[2];
  }

 private:
  std::array<float, 3> g_;
};

std::array<float, 3> normalised(std::array<double, 3> g) {
  for (int c : {0, 2}) g[c] = std::clamp(g[c] / g[1], 1.0 / kMaxChannelRatio, double(kMaxChannelRatio)) * g[1];
  const double l = 0.2126 * g[0] + 0.7152 * g[1] + 0.0722 * g[2];
  return {float(g[0] / l), float(g[1] / l), float(g[2] / l)};
}

}  // namespace

AutoColorEstimate AutoColorEffect::estimate(const ImageDataRGBf& img) {
  // The pixels that are nearly neutral as shot, then those nearly neutral under the current
  // estimate, with a narrowing notion of "nearly": coloured surfaces drop out and what is left is
  // the colour of the light on the grey and white surfaces. Starting from the picture as shot (not
  // from its average colour) keeps a picture filled by one colour (a ginger cat, a blue hour) from
  // being pulled to grey.
  // The usable pixels (not noise, no clipped channel) with their weights, gathered once.
  struct Sample {
    float rgb[3];
    float weight;
  };
  std::vector<Sample> samples;
  samples.reserve(img.pixelCount() / 4 + 1);
  double all = 0;
  auto_support::forAnalysisPixels(img, [&](const float* px) {
    const float y = tone::luminance(px);
    if (y < 0.01f || std::max({px[0], px[1], px[2]}) >= 0.97f) return;
    samples.push_back({{px[0], px[1], px[2]}, std::sqrt(y)});
    all += samples.back().weight;
  });
  std::array<double, 3> gains{1, 1, 1};
  double neutralShare = 0;
  for (double width : {0.5, 0.35, 0.25, 0.16, 0.1, 0.07}) {
    double sum[3] = {0, 0, 0}, weight = 0;
    const float inv = float(1 / width);
    for (const Sample& s : samples) {
      const float r = s.rgb[0] * float(gains[0]), g = s.rgb[1] * float(gains[1]), b = s.rgb[2] * float(gains[2]);
      const float cmx = std::max({r, g, b}), cmn = std::min({r, g, b});
      const float q = (cmx - cmn) / std::max(cmx, 1e-6f) * inv;
      const float near = 1 / (1 + q * q * (1 + q * q));  // a bell over the distance from neutral
      const double w = double(s.weight * near);
      for (int c = 0; c < 3; ++c) sum[c] += w * s.rgb[c];
      weight += w;
    }
    if (weight <= 1e-3 * all || all <= 0) break;  // nothing neutral left: keep the broader estimate
    neutralShare = weight / all;
    for (int c = 0; c < 3; ++c) gains[c] = sum[c] > 0 ? weight / sum[c] : 1;
  }
  return {normalised(gains), neutralShare};
}

AutoColorEffect::AutoColorEffect()
    : EffectBase(effect_id::kAutoColor, {Parameter("Amount", 0, 100, 100), Parameter("Remainder", 0, 1, 0, true)}) {}

std::unique_ptr<EffectKernel> AutoColorEffect::makeKernel(const ParameterList& p, const EffectRenderInfo&,
                                                          const EffectParametersContextPtr& context) const {
  const double amount = auto_support::amountOf(p);
  if (amount <= 0 || !context) return nullptr;
  auto found = context->analysis<AutoColorEstimate>(
      std::string(id()) + ".estimate", [&]() -> std::shared_ptr<const AutoColorEstimate> {
        auto img = context->analysisImage();
        return std::make_shared<AutoColorEstimate>(img ? estimate(*img) : AutoColorEstimate{});
      });
  // In log2 of red and blue over green. A slight cast is often the mood of the light (a warm
  // evening, a blue hour) and partly stays; a strong one is a fault and goes. Few neutral surfaces
  // make the estimate less certain: it is then used more carefully.
  const double x = std::log2(double(found->gains[0] / found->gains[1])),
               y = std::log2(double(found->gains[2] / found->gains[1]));
  const double cast = std::hypot(x, y);
  const double sureness = 0.15 + 0.85 * auto_support::smoothstep(0.03, 0.25, found->neutralShare);
  const double kept = 0.35 + 0.65 * auto_support::smoothstep(0.3, 0.6, cast);
  // "Remainder" set: this layer completes an ordinary one above it, so that together they remove
  // the whole cast (as far as the estimate is sure): the automatic colour temperature on request.
  const bool remainder = valueIn(p, "Remainder") >= 0.5f;
  const double strength = amount * sureness * (remainder ? 1 - kept : kept);
  const double gx = strength * x, gy = strength * y;
  const std::array<float, 3> applied = normalised({std::exp2(gx), 1.0, std::exp2(gy)});
  if (std::fabs(applied[0] - 1) < 1e-4f && std::fabs(applied[2] - 1) < 1e-4f) return nullptr;
  return std::make_unique<GainKernel>(applied);
}

}  // namespace rova
