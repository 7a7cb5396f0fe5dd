#pragma once
// Dodge and burn: brightens the darker areas and darkens the brighter areas of the picture, guided
// by a broad blur of the original's lightness (made once at the analysis size, so every render
// agrees). "Dodge" and "Burn" (0..100) set the strengths (up to one stop), "Radius" (0..100) the
// breadth of the guide. With "Output" 0 the picture itself is changed; with 1 the effect gives a
// grey layer around 0.5 for a Soft Light or Overlay layer (the dodge-and-burn overlay layer). A
// layer mask limits where it acts.
#include "rova/effects/Effect.h"

namespace rova {

class DodgeBurnEffect : public EffectBase<DodgeBurnEffect> {
 public:
  DodgeBurnEffect();

 protected:
  std::unique_ptr<EffectKernel> makeKernel(const ParameterList& parameters, const EffectRenderInfo& info,
                                           const EffectParametersContextPtr& context) const override;
};

}  // namespace rova
