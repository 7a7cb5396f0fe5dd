#include <algorithm>
#include <array>
#include <cmath>

#include "rova/effects/auto/AutoEffects.h"
#include "rova/effects/auto/AutoSupport.h"
#include "rova/effects/auto/EnhanceAnalysis.h"

namespace rova {
namespace {

class GainKernel : public EffectKernel {
 public:
  explicit GainKernel(std::array<float, 3> g) : g_(g) {}
  void applyRow(float* px, int n, int, int) const override {
    for (int i = 0; i < n; ++i, px += 3) px[0] *= g_[0], px[1] *= g_[1], px[2] *= g_[2];
  }

 private:
  std::array<float, 3> g_;
};

}  // namespace

AutoColorEffect::AutoColorEffect()
    : EffectBase(effect_id::kAutoColor, {Parameter("Amount", 0, 100, 100), Parameter("Remainder", 0, 1, 0, true)}) {}

std::unique_ptr<EffectKernel> AutoColorEffect::makeKernel(const ParameterList& p, const EffectRenderInfo&,
                                                          const EffectParametersContextPtr& context) const {
  const double amount = auto_support::amountOf(p);
  if (amount <= 0 || !context) return nullptr;
  auto analysis = enhance_analysis::shared(context);
  // The ordinary layer removes the cast beyond its dead zone (a slight warmth stays as the mood of
  // the light). "Remainder" set: this layer completes an ordinary one above it, so that together
  // they remove the whole cast as far as the estimate is sure (the automatic colour temperature).
  const bool remainder = valueIn(p, "Remainder") >= 0.5f;
  const double share =
      remainder ? std::max(0.0, analysis->colourSureness - analysis->colourStrength) : analysis->colourStrength;
  const std::array<float, 3> applied = enhance_analysis::partialGains(analysis->fullGains, amount * share);
  if (std::fabs(applied[0] - 1) < 1e-4f && std::fabs(applied[2] - 1) < 1e-4f) return nullptr;
  return std::make_unique<GainKernel>(applied);
}

}  // namespace rova
