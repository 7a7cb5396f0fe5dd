#pragma once
// Internal: four pixels at a time for the per-pixel loops of the automatic effects. The vectors are
// the compiler's generic vector types (GCC and Clang): SSE2 on x86-64, NEON on ARM, plain code
// elsewhere, with no build flags. Lanes are independent, so a loop written over F4 computes what the
// same loop over single floats computes.
#include <cmath>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace rova::auto_support::simd {

using F4 = float __attribute__((vector_size(16)));
using I4 = int32_t __attribute__((vector_size(16)));

inline F4 splat(float v) { return F4{v, v, v, v}; }
// Lane by lane; a NaN lane gives the second argument (so a clamp of NaN lands on a bound).
inline F4 vmin(F4 a, F4 b) { return a < b ? a : b; }
inline F4 vmax(F4 a, F4 b) { return a > b ? a : b; }
inline F4 clamp(F4 v, float lo, float hi) { return vmax(vmin(v, splat(hi)), splat(lo)); }
inline F4 vabs(F4 v) { return v < 0.f ? -v : v; }
inline F4 vsqrt(F4 v) {
#if defined(__SSE2__)
  return F4(_mm_sqrt_ps(__m128(v)));
#else
  return F4{std::sqrt(v[0]), std::sqrt(v[1]), std::sqrt(v[2]), std::sqrt(v[3])};
#endif
}
inline I4 truncToInt(F4 v) { return __builtin_convertvector(v, I4); }
inline F4 toFloat(I4 v) { return __builtin_convertvector(v, F4); }
// Largest whole number not above v, for |v| well within the int range.
inline F4 vfloor(F4 v) {
  const F4 t = toFloat(truncToInt(v));
  return t > v ? t - 1.f : t;
}
inline float luminance(F4 r, F4 g, F4 b, int lane) { return 0.2126f * r[lane] + 0.7152f * g[lane] + 0.0722f * b[lane]; }
inline F4 luminance(F4 r, F4 g, F4 b) { return 0.2126f * r + 0.7152f * g + 0.0722f * b; }

// log2 and exp2 to about 1e-4: plenty for smooth gains, and several times faster than libm.
inline F4 fastLog2(F4 v) {  // v > 0, normal
  const I4 bits = I4(v);
  const F4 x = F4((bits & 0x7FFFFF) | 0x3F800000) - 1.f;  // mantissa - 1, in [0, 1)
  const F4 e = toFloat(((bits >> 23) & 255) - 127);
  return e + x * (1.4425449f + x * (-0.7181452f + x * (0.4575485f + x * (-0.2779042f + x * (0.1217970f + x * -0.0258411f)))));
}
inline F4 fastExp2(F4 v) {
  v = clamp(v, -30.f, 30.f);
  const F4 fl = vfloor(v), f = v - fl;
  const F4 p = 1.f + f * (0.6931472f + f * (0.2402265f + f * (0.0555041f + f * (0.0096181f + f * 0.0013333f))));
  return F4(I4(p) + (truncToInt(fl) << 23));
}

// Linear interpolation in a table at positions t (already within [0, size - 1]).
inline F4 lookup(const float* table, int size, F4 t) {
  const I4 i = truncToInt(vmin(t, splat(float(size - 2))));
  F4 lo, hi;
  for (int k = 0; k < 4; ++k) lo[k] = table[i[k]], hi[k] = table[i[k] + 1];
  return lo + (hi - lo) * (t - toFloat(i));
}

// Calls f(r, g, b) on the channels of four pixels at a time of a row of n interleaved RGB pixels,
// writing back what f leaves in them; the last few pixels go through a padded copy.
template <class F>
void forPixels4(float* px, int n, F&& f) {
  auto run = [&](float* p) {
    F4 r{p[0], p[3], p[6], p[9]}, g{p[1], p[4], p[7], p[10]}, b{p[2], p[5], p[8], p[11]};
    f(r, g, b);
    for (int k = 0; k < 4; ++k) p[3 * k] = r[k], p[3 * k + 1] = g[k], p[3 * k + 2] = b[k];
  };
  int i = 0;
  for (; i + 4 <= n; i += 4, px += 12) run(px);
  if (i < n) {
    float tmp[12] = {0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f};
    for (int k = 0; k < 3 * (n - i); ++k) tmp[k] = px[k];
    run(tmp);
    for (int k = 0; k < 3 * (n - i); ++k) px[k] = tmp[k];
  }
}

}  // namespace rova::auto_support::simd
