#pragma once
// How a layer's result is combined with what lies below it. The numbers are exchanged with callers
// and stored: keep them.
#include <cstdint>

namespace rova {

enum BlendModeType : int {
  kBlendNormal = 0,
  kBlendMultiply = 1,
  kBlendColorBurn = 2,
  kBlendScreen = 3,
  kBlendOverlay = 4,
  kBlendSoftLight = 5,
  kBlendDarken = 6,
  kBlendHardLight = 7,
  kBlendLighten = 8,
  kBlendDifference = 9,
  kBlendSubtract = 10,
  kBlendLuminosity = 11,
  kBlendHue = 12,
  kBlendColor = 13,
};
inline constexpr int kBlendModeCount = 14;
inline bool isValidBlendMode(int mode) { return mode >= 0 && mode < kBlendModeCount; }

// Blends n pixels (interleaved RGB floats): out = base + (B(base, layer) - base) * alpha, with
// alpha = opacity times the mask value of the pixel (mask may be null: 1 everywhere). out may be
// base or layer. B is the formula of the mode, documented in Blend.cpp.
void blendPixels(BlendModeType mode, const float* base, const float* layer, float* out, int n, float opacity,
                 const float* mask = nullptr);

// One pixel, for callers and tests that reason about single values.
void blendPixel(BlendModeType mode, const float base[3], const float layer[3], float out[3], float alpha = 1);

}  // namespace rova
