#pragma once
// The automatic enhancement: effects that adapt to the picture. Each one measures the whole original
// once, at the context's fixed analysis size (the measurement is kept in the context), and turns the
// measurement into a kernel for any render. A preview, a region and the full-size export of one
// picture therefore get the same look. Every effect has an "Amount" (0..100, 100 the full automatic
// correction, 0 no change), so a layer stack built from them stays editable.
//
//  - ROVAAutoToneEffect: black and white points, exposure of the mid-tones, a soft toe and a soft
//    shoulder (highlights roll off instead of clipping), one curve on luminance with hues kept.
//  - ROVALocalContrastEffect: an edge-aware base/detail split of log luminance (guided filter): the
//    base opens deep shadows and holds bright areas, the detail is lifted a little. No halos: the
//    base follows strong edges.
//  - ROVAAutoColorEffect: automatic white balance by the grey pixels of the picture (grey world as a
//    start, then refined over the pixels that come out nearly neutral); strong casts are removed,
//    slight warmth is partly kept. With "Remainder" at 1 it applies only the part an ordinary
//    layer keeps, so the two together neutralise fully (the automatic colour temperature).
//  - ROVAVibranceEffect: vibrance for muted colours, adapted to the picture's colourfulness; skin
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

// What the tone analysis found, in the perceptual scale p = Y^(1/2.2) of luminance Y.
struct AutoToneCurve {
  double black = 0, gain = 1, top = 1, midBoost = 0;
  // The full correction at p (Amount 100).
  double apply(double p) const;
};

class AutoToneEffect : public EffectBase<AutoToneEffect> {
 public:
  // The RAW variant runs after the RAW development, which brightens the camera data by a baseline:
  // its measurement of the original allows for it.
  explicit AutoToneEffect(bool raw);
  static AutoToneCurve analyse(const ImageDataRGBf& analysisImage, double exposureBiasEV = 0);

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

struct AutoColorEstimate {
  std::array<float, 3> gains{1, 1, 1};  // make the neutral surfaces neutral; luminance of grey kept
  double neutralShare = 0;              // share of the picture's weight found nearly neutral
};

class AutoColorEffect : public EffectBase<AutoColorEffect> {
 public:
  AutoColorEffect();
  static AutoColorEstimate estimate(const ImageDataRGBf& analysisImage);

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
