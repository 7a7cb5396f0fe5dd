// Blend formulas. b is the value below (the base), s the layer's value, both linear light. The
// separable modes work channel by channel; Luminosity, Hue and Color work on the whole colour with
// Lum(c) = 0.3 r + 0.59 g + 0.11 b and Sat(c) = max - min, as the common compositing model defines
// them. Modes designed for values in 0..1 (ColorBurn, Screen, Overlay, SoftLight, HardLight) see
// their inputs limited to that range; the others take any value, so bright highlights survive.
//
//   Normal      s
//   Multiply    b * s
//   ColorBurn   1 if b = 1; 0 if s = 0; else 1 - min(1, (1 - b) / s)
//   Screen      b + s - b * s
//   Overlay     HardLight with b and s exchanged
//   SoftLight   s <= 0.5: b - (1 - 2s) b (1 - b);  else b + (2s - 1)(D(b) - b),
//               D(b) = ((16b - 12) b + 4) b for b <= 0.25, else sqrt(b)
//   Darken      min(b, s)
//   HardLight   s <= 0.5: 2 b s;  else Screen(b, 2s - 1)
//   Lighten     max(b, s)
//   Difference  |b - s|
//   Subtract    max(0, b - s)
//   Luminosity  SetLum(b, Lum(s))
//   Hue         SetLum(SetSat(s, Sat(b)), Lum(b))
//   Color       SetLum(s, Lum(b))
#include <algorithm>
#include <cmath>

#include "rova/blend/BlendMode.h"

namespace rova {
namespace {

inline float unit(float v) { return std::clamp(v, 0.f, 1.f); }
inline float screen(float b, float s) { return b + s - b * s; }
inline float hardLight(float b, float s) { return s <= 0.5f ? 2 * b * s : screen(b, 2 * s - 1); }
inline float colorBurn(float b, float s) {
  if (b >= 1) return 1;
  if (s <= 0) return 0;
  return 1 - std::min(1.f, (1 - b) / s);
}
inline float softLight(float b, float s) {
  if (s <= 0.5f) return b - (1 - 2 * s) * b * (1 - b);
  float d = b <= 0.25f ? ((16 * b - 12) * b + 4) * b : std::sqrt(b);
  return b + (2 * s - 1) * (d - b);
}

inline float lum(const float* c) { return 0.3f * c[0] + 0.59f * c[1] + 0.11f * c[2]; }
inline void clipColor(float* c) {
  float l = lum(c);
  float n = std::min({c[0], c[1], c[2]}), x = std::max({c[0], c[1], c[2]});
  if (n < 0 && l - n > 1e-9f)
    for (int i = 0; i < 3; ++i) c[i] = l + (c[i] - l) * l / (l - n);
  // Values above 1 are kept: linear light has no white ceiling; only darkness below 0 is folded in.
  (void)x;
}
inline void setLum(const float* c, float l, float* out) {
  float d = l - lum(c);
  for (int i = 0; i < 3; ++i) out[i] = c[i] + d;
  clipColor(out);
}
inline float sat(const float* c) { return std::max({c[0], c[1], c[2]}) - std::min({c[0], c[1], c[2]}); }
inline void setSat(const float* c, float s, float* out) {
  int imax = 0, imin = 0;
  for (int i = 1; i < 3; ++i) {
    if (c[i] > c[imax]) imax = i;
    if (c[i] < c[imin]) imin = i;
  }
  if (imax == imin) {
    out[0] = out[1] = out[2] = 0;
    return;
  }
  int imid = 3 - imax - imin;
  float range = c[imax] - c[imin];
  out[imid] = (c[imid] - c[imin]) * s / range;
  out[imax] = s;
  out[imin] = 0;
}

inline void formula(BlendModeType mode, const float* b, const float* s, float* r) {
  switch (mode) {
    case kBlendNormal:
      for (int i = 0; i < 3; ++i) r[i] = s[i];
      return;
    case kBlendMultiply:
      for (int i = 0; i < 3; ++i) r[i] = b[i] * s[i];
      return;
    case kBlendColorBurn:
      for (int i = 0; i < 3; ++i) r[i] = colorBurn(unit(b[i]), unit(s[i]));
      return;
    case kBlendScreen:
      for (int i = 0; i < 3; ++i) r[i] = screen(unit(b[i]), unit(s[i]));
      return;
    case kBlendOverlay:
      for (int i = 0; i < 3; ++i) r[i] = hardLight(unit(s[i]), unit(b[i]));
      return;
    case kBlendSoftLight:
      for (int i = 0; i < 3; ++i) r[i] = softLight(unit(b[i]), unit(s[i]));
      return;
    case kBlendDarken:
      for (int i = 0; i < 3; ++i) r[i] = std::min(b[i], s[i]);
      return;
    case kBlendHardLight:
      for (int i = 0; i < 3; ++i) r[i] = hardLight(unit(b[i]), unit(s[i]));
      return;
    case kBlendLighten:
      for (int i = 0; i < 3; ++i) r[i] = std::max(b[i], s[i]);
      return;
    case kBlendDifference:
      for (int i = 0; i < 3; ++i) r[i] = std::fabs(b[i] - s[i]);
      return;
    case kBlendSubtract:
      for (int i = 0; i < 3; ++i) r[i] = std::max(0.f, b[i] - s[i]);
      return;
    case kBlendLuminosity:
      setLum(b, lum(s), r);
      return;
    case kBlendHue: {
      float t[3];
      setSat(s, sat(b), t);
      setLum(t, lum(b), r);
      return;
    }
    case kBlendColor:
      setLum(s, lum(b), r);
      return;
  }
  for (int i = 0; i < 3; ++i) r[i] = s[i];
}

}  // namespace

void blendPixel(BlendModeType mode, const float base[3], const float layer[3], float out[3], float alpha) {
  float r[3];
  formula(mode, base, layer, r);
  for (int i = 0; i < 3; ++i) out[i] = base[i] + (r[i] - base[i]) * alpha;
}

void blendPixels(BlendModeType mode, const float* base, const float* layer, float* out, int n, float opacity,
                 const float* mask) {
  if (mode == kBlendNormal) {
    for (int p = 0; p < n; ++p) {
      float a = mask ? opacity * mask[p] : opacity;
      for (int i = 0; i < 3; ++i) out[3 * p + i] = base[3 * p + i] + (layer[3 * p + i] - base[3 * p + i]) * a;
    }
    return;
  }
  for (int p = 0; p < n; ++p) {
    float a = mask ? opacity * mask[p] : opacity;
    float b[3] = {base[3 * p], base[3 * p + 1], base[3 * p + 2]};
    float r[3];
    formula(mode, b, layer + 3 * p, r);
    for (int i = 0; i < 3; ++i) out[3 * p + i] = b[i] + (r[i] - b[i]) * a;
  }
}

}  // namespace rova
