#pragma once
// The basic development of a picture, one fused point operation per pixel:
//  1. Exposure (EV) and white balance (Temperature, Tint: -100..100 around as shot) multiply the
//     channels; above a shoulder at 0.8 a brightening rolls off smoothly so the old white stays white
//     (values below the shoulder are exactly scaled: +1 EV doubles them).
//  2. A tone curve on luminance, in a perceptual scale (Y^(1/2.2)), applied with the colour ratios
//     kept: Contrast around mid grey, Highlights, Shadows, Whites, Blacks (-100..100 each).
//  3. Saturation and Vibrance (-100..100; vibrance acts more on muted colours).
// The RAW variant adds the camera profile named by its "Texture" parameter (a DCP file path), whose
// colour look and tone curve are applied; the RAW decode below it is already a faithful development
// (the file's exposure, levels, white balance and colour matrix), so nothing else is added.
#include "rova/effects/Effect.h"

namespace rova {

class DevelopCommonEffect : public EffectBase<DevelopCommonEffect> {
 public:
  explicit DevelopCommonEffect(bool raw);
  bool isRawVariant() const { return raw_; }

 protected:
  std::unique_ptr<EffectKernel> makeKernel(const ParameterList& parameters, const EffectRenderInfo& info,
                                           const EffectParametersContextPtr& context) const override;

 private:
  bool raw_;
};

}  // namespace rova
