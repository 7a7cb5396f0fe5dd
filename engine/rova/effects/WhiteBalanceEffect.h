#pragma once
// White balance by temperature (kelvin, 2000..50000) and tint (-150..150, positive is magenta),
// relative to the picture as shot: the default setting (6500 K, tint 0) leaves it unchanged, a
// higher temperature warms it. With "Auto" at 1 the setting is estimated from the whole original
// picture (at the analysis size), so every render of the picture agrees.
#include "rova/Image.h"
#include "rova/effects/Effect.h"

namespace rova {

class WhiteBalanceEffect : public EffectBase<WhiteBalanceEffect> {
 public:
  explicit WhiteBalanceEffect(bool raw);

  // The automatic estimate for a picture (grey world over its well-exposed pixels).
  static void estimateTemperatureTint(const ImageDataRGBf& analysisImage, float& temperature, float& tint);

 protected:
  std::unique_ptr<EffectKernel> makeKernel(const ParameterList& parameters, const EffectRenderInfo& info,
                                           const EffectParametersContextPtr& context) const override;
};

// The temperature and tint at which the picture is as shot (the setting that changes nothing).
// Our decoded pixels are white-balanced as shot, so this is the reference 6500 K and tint 0 for
// every picture; false (values untouched) without an image.
bool getDefaultTemperatureTint(const Image& image, float& temperature, float& tint);

}  // namespace rova

// The setting under which a picked colour (sRGB-encoded components 0..1, as shown on screen)
// becomes neutral grey, when the picture is shown at (temperature, tint).
void grfx_temperature_tint_for_picked_point(float red, float green, float blue, float temperature, float tint,
                                            float* outTemperature, float* outTint);
// Tint between engine units (-150..150) and percents (-100..100): forward turns units into percents.
double grfx_map_tint_percents(double tint, bool forward);
