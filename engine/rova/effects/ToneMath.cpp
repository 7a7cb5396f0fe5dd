#include "rova/effects/ToneMath.h"

namespace rova::tone {

std::array<double, 3> blackBodyWhite(double t) {
  t = std::clamp(t, 1667.0, 25000.0);
  // Planckian locus in CIE 1931 xy (cubic spline fit, Kim et al. 2002).
  double x;
  if (t <= 4000)
    x = -0.2661239e9 / (t * t * t) - 0.2343589e6 / (t * t) + 0.8776956e3 / t + 0.179910;
  else
    x = -3.0258469e9 / (t * t * t) + 2.1070379e6 / (t * t) + 0.2226347e3 / t + 0.240390;
  double y;
  if (t <= 2222)
    y = -1.1063814 * x * x * x - 1.34811020 * x * x + 2.18555832 * x - 0.20219683;
  else if (t <= 4000)
    y = -0.9549476 * x * x * x - 1.37418593 * x * x + 2.09137015 * x - 0.16748867;
  else
    y = 3.0817580 * x * x * x - 5.87338670 * x * x + 3.75112997 * x - 0.37001483;
  const double X = x / y, Y = 1, Z = (1 - x - y) / y;
  std::array<double, 3> rgb{3.2404542 * X - 1.5371385 * Y - 0.4985314 * Z,
                            -0.9692660 * X + 1.8760108 * Y + 0.0415560 * Z,
                            0.0556434 * X - 0.2040259 * Y + 1.0572252 * Z};
  for (double& v : rgb) v = std::max(v, 1e-4);
  const double l = 0.2126 * rgb[0] + 0.7152 * rgb[1] + 0.0722 * rgb[2];
  for (double& v : rgb) v /= l;
  return rgb;
}

namespace {
// Green of a white carries the tint: a positive tint is a greener light, corrected towards magenta.
constexpr double kTintStrength = 0.35;  // log2 of the green factor at 100 percent
std::array<double, 3> white(double temperature, double tint) {
  auto w = blackBodyWhite(temperature);
  w[1] *= std::exp2(kTintStrength * tint / kTintRange);
  return w;
}
}  // namespace

std::array<float, 3> whiteBalanceGains(double temperature, double tint) {
  const auto ref = white(kReferenceTemperature, kReferenceTint);
  const auto w = white(temperature, tint);
  std::array<double, 3> g{ref[0] / w[0], ref[1] / w[1], ref[2] / w[2]};
  const double l = 0.2126 * g[0] + 0.7152 * g[1] + 0.0722 * g[2];
  return {float(g[0] / l), float(g[1] / l), float(g[2] / l)};
}

void neutralizingTemperatureTint(const float rgb[3], double temperature, double tint, double& outT, double& outTint) {
  // Output = source * ref / white(T). The picked colour is shown at the current setting, so
  // source = rgb * white(current) / ref, and the output is neutral when white(T', tint') is
  // proportional to rgb * white(current).
  const auto cur = white(temperature, tint);
  double target[3];
  for (int c = 0; c < 3; ++c) target[c] = std::max(1e-6, double(rgb[c])) * cur[c];
  const double wanted = target[2] / target[0];  // blue over red falls as the light warms
  double lo = std::log(1667.0), hi = std::log(25000.0);
  for (int i = 0; i < 60; ++i) {
    double mid = (lo + hi) / 2;
    auto b = blackBodyWhite(std::exp(mid));
    if (b[2] / b[0] < wanted)
      lo = mid;
    else
      hi = mid;
  }
  outT = std::exp((lo + hi) / 2);
  auto b = blackBodyWhite(outT);
  const double lambda = std::sqrt((target[0] / b[0]) * (target[2] / b[2]));
  outTint = std::clamp(kTintRange * std::log2(target[1] / (lambda * b[1])) / kTintStrength, -kTintRange, kTintRange);
}

}  // namespace rova::tone
