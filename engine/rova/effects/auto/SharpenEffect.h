#pragma once
// Sharpening of luminance, in a perceptual scale so shadows do not get noisy:
//  Amount  0..100  strength of the added detail;
//  Radius  0..100  size of the detail lifted: blur sigma 0.5 to 2.5 full-resolution pixels;
//  Masking 0..100  leaves smooth areas alone, sharpening only where there are edges;
//  Dehalo  0..100  softens the overshoot beside strong edges (bright halos more than dark ones).
// Sizes scale with the render, so a preview sharpens as the export does.
#include "rova/effects/Effect.h"

namespace rova {

class SharpenEffect : public EffectBase<SharpenEffect> {
 public:
  SharpenEffect();

 protected:
  std::unique_ptr<EffectKernel> makeKernel(const ParameterList& parameters, const EffectRenderInfo& info,
                                           const EffectParametersContextPtr& context) const override;
};

}  // namespace rova
