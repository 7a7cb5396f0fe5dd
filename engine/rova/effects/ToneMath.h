#pragma once
// Internal: colour and tone arithmetic shared by the effects. All pixel values are linear light,
// Rec. 709 primaries.
#include <algorithm>
#include <array>
#include <cmath>

namespace rova::tone {

inline float luminance(const float* c) { return 0.2126f * c[0] + 0.7152f * c[1] + 0.0722f * c[2]; }

// A perceptual lightness scale for tone curves: p = Y^(1/2.2).
inline double toPerceptual(double y) { return y > 0 ? std::pow(y, 1 / 2.2) : 0; }
inline double fromPerceptual(double p) { return p > 0 ? std::pow(p, 2.2) : 0; }

inline double smoothstep(double e0, double e1, double x) {
  double t = std::clamp((x - e0) / (e1 - e0), 0.0, 1.0);
  return t * t * (3 - 2 * t);
}

// Reference white of the decoded pixels: they are white-balanced as shot, so "as shot" is this
// temperature and tint, and a setting equal to it changes nothing.
inline constexpr double kReferenceTemperature = 6500;
inline constexpr double kReferenceTint = 0;
inline constexpr double kTintRange = 150;  // engine tint units for 100 percent

// Linear Rec. 709 RGB of the white of a black body at temperature t (kelvin), luminance 1.
std::array<double, 3> blackBodyWhite(double kelvin);
// Per-channel gains that re-balance pixels shot at the reference white for a scene lit at
// (temperature, tint): a higher temperature warms, a positive tint turns magenta. Luminance of grey
// is kept.
std::array<float, 3> whiteBalanceGains(double temperature, double tint);
// The temperature and tint setting under which a colour (linear RGB) becomes neutral, when the
// current setting is (temperature, tint).
void neutralizingTemperatureTint(const float rgb[3], double temperature, double tint, double& outTemperature,
                                 double& outTint);

}  // namespace rova::tone
