#pragma once
// CIELAB (D65, from linear Rec. 709 values clipped to the displayable range) and the CIEDE2000
// colour difference (Sharma, Wu and Dalal 2005), used by the enhancement tests and the quality
// bench to measure how far a result lies from an original.
#include <algorithm>
#include <cmath>

#include "rova/Image.h"

namespace rova {

struct Lab {
  double L, a, b;
};

inline Lab toLab(const float* rgb) {
  double c[3];
  for (int k = 0; k < 3; ++k) c[k] = std::clamp(double(rgb[k]), 0.0, 1.0);
  const double X = (0.4124 * c[0] + 0.3576 * c[1] + 0.1805 * c[2]) / 0.95047;
  const double Y = 0.2126 * c[0] + 0.7152 * c[1] + 0.0722 * c[2];
  const double Z = (0.0193 * c[0] + 0.1192 * c[1] + 0.9505 * c[2]) / 1.08883;
  auto f = [](double t) { return t > 216.0 / 24389 ? std::cbrt(t) : (24389.0 / 27 * t + 16) / 116; };
  return {116 * f(Y) - 16, 500 * (f(X) - f(Y)), 200 * (f(Y) - f(Z))};
}

// CIEDE2000 colour difference.
inline double deltaE2000(const Lab& p, const Lab& q) {
  const double kPi = 3.14159265358979323846, deg = kPi / 180;
  const double C1 = std::hypot(p.a, p.b), C2 = std::hypot(q.a, q.b), Cm = (C1 + C2) / 2;
  const double G = 0.5 * (1 - std::sqrt(std::pow(Cm, 7) / (std::pow(Cm, 7) + std::pow(25.0, 7))));
  const double a1 = (1 + G) * p.a, a2 = (1 + G) * q.a;
  const double c1 = std::hypot(a1, p.b), c2 = std::hypot(a2, q.b);
  auto hue = [&](double a, double b) {
    if (a == 0 && b == 0) return 0.0;
    double h = std::atan2(b, a) / deg;
    return h < 0 ? h + 360 : h;
  };
  const double h1 = hue(a1, p.b), h2 = hue(a2, q.b);
  const double dL = q.L - p.L, dC = c2 - c1;
  double dh = 0;
  if (c1 * c2 != 0) {
    dh = h2 - h1;
    if (dh > 180)
      dh -= 360;
    else if (dh < -180)
      dh += 360;
  }
  const double dH = 2 * std::sqrt(c1 * c2) * std::sin(dh / 2 * deg);
  const double Lm = (p.L + q.L) / 2, cm = (c1 + c2) / 2;
  double hm = h1 + h2;
  if (c1 * c2 != 0) {
    if (std::fabs(h1 - h2) <= 180)
      hm = (h1 + h2) / 2;
    else
      hm = h1 + h2 < 360 ? (h1 + h2 + 360) / 2 : (h1 + h2 - 360) / 2;
  }
  const double T = 1 - 0.17 * std::cos((hm - 30) * deg) + 0.24 * std::cos(2 * hm * deg) +
                   0.32 * std::cos((3 * hm + 6) * deg) - 0.20 * std::cos((4 * hm - 63) * deg);
  const double dTheta = 30 * std::exp(-std::pow((hm - 275) / 25, 2));
  const double Rc = 2 * std::sqrt(std::pow(cm, 7) / (std::pow(cm, 7) + std::pow(25.0, 7)));
  const double Sl = 1 + 0.015 * std::pow(Lm - 50, 2) / std::sqrt(20 + std::pow(Lm - 50, 2));
  const double Sc = 1 + 0.045 * cm, Sh = 1 + 0.015 * cm * T;
  const double Rt = -std::sin(2 * dTheta * deg) * Rc;
  return std::sqrt(std::pow(dL / Sl, 2) + std::pow(dC / Sc, 2) + std::pow(dH / Sh, 2) + Rt * (dC / Sc) * (dH / Sh));
}

inline double meanDeltaE(const rova::ImageDataRGBf& a, const rova::ImageDataRGBf& b) {
  double sum = 0;
  for (size_t i = 0; i < a.pixelCount(); ++i) sum += deltaE2000(toLab(a.floats() + 3 * i), toLab(b.floats() + 3 * i));
  return sum / double(a.pixelCount());
}

}  // namespace rova
