#pragma once
// Lays a texture picture (the file named by the "Texture" parameter's text) over the canvas,
// scaled to cover it and centred; "Amount" (0..100) mixes it with the picture below. The layer's
// blend mode decides how the texture combines with the picture (Overlay, Soft Light, Screen...).
#include "rova/effects/Effect.h"

namespace rova {

class TextureOverlayEffect : public EffectBase<TextureOverlayEffect> {
 public:
  TextureOverlayEffect();

  // A picture file decoded to linear RGB with its long side at most maxSide; kept for reuse (the
  // last few files). nullptr when the file cannot be read.
  static ImageDataRGBfPtr loadTexture(const std::string& path, int maxSide = 4096);

 protected:
  std::unique_ptr<EffectKernel> makeKernel(const ParameterList& parameters, const EffectRenderInfo& info,
                                           const EffectParametersContextPtr& context) const override;
};

}  // namespace rova
