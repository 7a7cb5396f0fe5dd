#pragma once
// The automatic enhancement: effects that adapt to the picture. Each one measures the whole original
// once, at the context's fixed analysis size (the measurement is kept in the context; tone, colour
// and the finishing needs come from one shared analysis, EnhanceAnalysis.h), and turns the
// measurement into a kernel for any render. A preview, a region and the full-size export of one
// picture therefore get the same look. Every effect has an "Amount" (0..100, 100 the full automatic
// correction, 0 no change), so a layer stack built from them stays editable.
//
//  - ROVAAutoToneEffect: levels from the channel extremes (a veil lifted, a short white end
//    stretched), a darkening gain with a soft shoulder for a clipped, over-exposed picture (bright
//    mid-tones or a pile-up of clipped pixels say by how much), a small mid-tone lift for one still
//    dark; one curve applied alike to R, G and B, and no kernel when there is nothing to correct.
//  - ROVALocalContrastEffect: an edge-aware base/detail split of log luminance (guided filter): the
//    base opens deep shadows and holds bright areas, the detail is lifted a little. No halos: the
//    base follows strong edges.
//  - ROVAAutoColorEffect: automatic white balance from the consensus of three illuminant
//    estimators (grey edge, shades of grey, bright pixels) on linear light, pulled towards the lights
//    a photographer meets (little of a magenta part is kept); a cast beyond the estimators' own
//    error is removed, a slight warmth is kept. With "Remainder" at 1 it applies only
//    the part an ordinary layer keeps, so the two together neutralise fully (the automatic colour temperature).
//  - ROVAVibranceEffect: vibrance when the picture is less colourful than natural photos are; skin
//    tones and neutral greys are protected, colours never leave the displayable range.
//  - ROVANoiseReductionEffect: luminance and colour noise reduction scaled to the noise measured in
//    the original (and the ISO speed when the file gives it); nothing happens to clean pictures.
#include <array>

#include "rova/effects/Effect.h"

namespace rova {

class EffectFactory;

namespace effect_id {
inline constexpr const char* kAutoTone = "ROVAAutoToneEffect";
inline constexpr const char* kRawAutoTone = "ROVARawAutoToneEffect";
inline constexpr const char* kLocalContrast = "ROVALocalContrastEffect";
inline constexpr const char* kAutoColor = "ROVAAutoColorEffect";
inline constexpr const char* kVibrance = "ROVAVibranceEffect";
inline constexpr const char* kNoiseReduction = "ROVANoiseReductionEffect";
}  // namespace effect_id

class AutoToneEffect : public EffectBase<AutoToneEffect> {
 public:
  // The RAW variant runs after the RAW development, which brightens the camera data by a baseline:
  // its measurement of the original allows for it.
  explicit AutoToneEffect(bool raw);

 protected:
  std::unique_ptr<EffectKernel> makeKernel(const ParameterList& parameters, const EffectRenderInfo& info,
                                           const EffectParametersContextPtr& context) const override;

 private:
  bool raw_;
};

class LocalContrastEffect : public EffectBase<LocalContrastEffect> {
 public:
  LocalContrastEffect();

 protected:
  std::unique_ptr<EffectKernel> makeKernel(const ParameterList& parameters, const EffectRenderInfo& info,
                                           const EffectParametersContextPtr& context) const override;
};

class AutoColorEffect : public EffectBase<AutoColorEffect> {
 public:
  AutoColorEffect();

 protected:
  std::unique_ptr<EffectKernel> makeKernel(const ParameterList& parameters, const EffectRenderInfo& info,
                                           const EffectParametersContextPtr& context) const override;
};

class VibranceEffect : public EffectBase<VibranceEffect> {
 public:
  VibranceEffect();

 protected:
  std::unique_ptr<EffectKernel> makeKernel(const ParameterList& parameters, const EffectRenderInfo& info,
                                           const EffectParametersContextPtr& context) const override;
};

class NoiseReductionEffect : public EffectBase<NoiseReductionEffect> {
 public:
  NoiseReductionEffect();
  // Standard deviation of the noise of a picture in the perceptual scale (0..1), per pixel of its
  // data, from flat areas of fixed crops of the data (a robust Laplacian estimate).
  static double estimateNoise(const ImageDataRGBf& data);

 protected:
  std::unique_ptr<EffectKernel> makeKernel(const ParameterList& parameters, const EffectRenderInfo& info,
                                           const EffectParametersContextPtr& context) const override;
};

void registerAutoEffects(EffectFactory& factory);

}  // namespace rova
