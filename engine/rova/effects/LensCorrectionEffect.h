#pragma once
// Corrects the lens: geometric distortion, vignetting and lateral chromatic aberration, from the
// lensfun database entry that the picture's EXIF camera and lens name, at its focal length and
// aperture. "Distortion", "Vignetting" and "ChromaticAberration" (0..100) scale each correction.
// Without a known lens the effect changes nothing. The correction is folded into the reading of the
// picture (a geometry kernel), so only the requested region is resampled.
#include "rova/Image.h"
#include "rova/effects/Effect.h"

namespace rova {

class LensCorrectionEffect : public EffectBase<LensCorrectionEffect> {
 public:
  LensCorrectionEffect();
  // Whether the lens database knows the picture's camera and lens.
  static bool hasProfileFor(const OrvantaExifData& exif);

 protected:
  std::unique_ptr<EffectKernel> makeKernel(const ParameterList& parameters, const EffectRenderInfo& info,
                                           const EffectParametersContextPtr& context) const override;
};

}  // namespace rova
