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
#if defined(__SSE2__)
inline F4 vmin(F4 a, F4 b) { return F4(_mm_min_ps(__m128(a), __m128(b))); }
inline F4 vmax(F4 a, F4 b) { return F4(_mm_max_ps(__m128(a), __m128(b))); }
#else
inline F4 vmin(F4 a, F4 b) { return a < b ? a : b; }
inline F4 vmax(F4 a, F4 b) { return a > b ? a : b; }
#endif
inline F4 clamp(F4 v, float lo, float hi) { return vmax(vmin(v, splat(hi)), splat(lo)); }
inline F4 vabs(F4 v) { return F4(I4(v) & 0x7FFFFFFF); }
inline F4 vsqrt(F4 v) {
#if defined(__SSE2__)
  return F4(_mm_sqrt_ps(__m128(v)));
#else
  return F4{std::sqrt(v[0]), std::sqrt(v[1]), std::sqrt(v[2]), std::sqrt(v[3])};
#endif
}
// Whether any lane of a comparison's result is set.
inline bool any(I4 mask) {
#if defined(__SSE2__)
  return _mm_movemask_ps(__m128(mask)) != 0;
#else
  return mask[0] || mask[1] || mask[2] || mask[3];
#endif
}
inline I4 truncToInt(F4 v) { return __builtin_convertvector(v, I4); }
inline F4 toFloat(I4 v) { return __builtin_convertvector(v, F4); }
// Largest whole number not above v, for |v| well within the int range.
inline F4 vfloor(F4 v) {
  const F4 t = toFloat(truncToInt(v));
  return t > v ? t - 1.f : t;
}
inline F4 luminance(F4 r, F4 g, F4 b) { return 0.2126f * r + 0.7152f * g + 0.0722f * b; }

// log2 and exp2 to about 1e-4: plenty for smooth gains, and several times faster than libm.
inline F4 fastLog2(F4 v) {  // v > 0, normal
  const I4 bits = I4(v);
  const F4 x = F4((bits & 0x7FFFFF) | 0x3F800000) - 1.f;  // mantissa - 1, in [0, 1)
  const F4 e = toFloat(((bits >> 23) & 255) - 127);
  return e + x * (1.4425449f +
                  x * (-0.7181452f + x * (0.4575485f + x * (-0.2779042f + x * (0.1217970f + x * -0.0258411f)))));
}
inline F4 fastExp2(F4 v) {
  v = clamp(v, -30.f, 30.f);
  const F4 fl = vfloor(v), f = v - fl;
  const F4 p = 1.f + f * (0.6931472f + f * (0.2402265f + f * (0.0555041f + f * (0.0096181f + f * 0.0013333f))));
  return F4(I4(p) + (truncToInt(fl) << 23));
}

#if defined(__clang__)
#define ROVA_SHUFFLE(a, b, ...) __builtin_shufflevector(a, b, __VA_ARGS__)
#else
#define ROVA_SHUFFLE(a, b, ...) __builtin_shuffle(a, b, I4{__VA_ARGS__})
#endif

// The channels of four interleaved RGB pixels (12 floats), and back.
inline void load3(const float* p, F4& r, F4& g, F4& b) {
  F4 m0, m1, m2;  // r0 g0 b0 r1 | g1 b1 r2 g2 | b2 r3 g3 b3
  __builtin_memcpy(&m0, p, 16), __builtin_memcpy(&m1, p + 4, 16), __builtin_memcpy(&m2, p + 8, 16);
  const F4 rs = ROVA_SHUFFLE(m0, m1, 0, 3, 6, 7), gs = ROVA_SHUFFLE(m0, m1, 1, 4, 7, 0),
           bs = ROVA_SHUFFLE(m0, m1, 2, 5, 0, 0);
  r = ROVA_SHUFFLE(rs, m2, 0, 1, 2, 5);  // r0 r1 r2 r3
  g = ROVA_SHUFFLE(gs, m2, 0, 1, 2, 6);  // g0 g1 g2 g3
  b = ROVA_SHUFFLE(bs, m2, 0, 1, 4, 7);  // b0 b1 b2 b3
}
inline void store3(float* p, F4 r, F4 g, F4 b) {
  const F4 rg = ROVA_SHUFFLE(r, g, 0, 4, 1, 5);   // r0 g0 r1 g1
  const F4 m0 = ROVA_SHUFFLE(rg, b, 0, 1, 4, 2);  // r0 g0 b0 r1
  const F4 gb = ROVA_SHUFFLE(g, b, 1, 5, 2, 6);   // g1 b1 g2 b2
  const F4 m1 = ROVA_SHUFFLE(gb, r, 0, 1, 6, 2);  // g1 b1 r2 g2
  const F4 br = ROVA_SHUFFLE(b, r, 2, 7, 3, 0);   // b2 r3 b3 .
  const F4 m2 = ROVA_SHUFFLE(br, g, 0, 1, 7, 2);  // b2 r3 g3 b3
  __builtin_memcpy(p, &m0, 16), __builtin_memcpy(p + 4, &m1, 16), __builtin_memcpy(p + 8, &m2, 16);
}

// Two tables interpolated at once at positions t (within [0, size - 1]): entry i of `table` holds
// {first[i], second[i], first[i + 1], second[i + 1]}, so one load per pixel fetches all it needs.
inline void lookup2(const float (*table)[4], int size, F4 t, F4& first, F4& second) {
  const I4 i = truncToInt(vmin(t, splat(float(size - 2))));
  F4 e[4];
  for (int k = 0; k < 4; ++k) __builtin_memcpy(&e[k], table[i[k]], 16);
  const F4 lo01 = ROVA_SHUFFLE(e[0], e[1], 0, 4, 1, 5), lo23 = ROVA_SHUFFLE(e[2], e[3], 0, 4, 1, 5);
  const F4 hi01 = ROVA_SHUFFLE(e[0], e[1], 2, 6, 3, 7), hi23 = ROVA_SHUFFLE(e[2], e[3], 2, 6, 3, 7);
  const F4 f = t - toFloat(i);
  const F4 a0 = ROVA_SHUFFLE(lo01, lo23, 0, 1, 4, 5), b0 = ROVA_SHUFFLE(lo01, lo23, 2, 3, 6, 7);
  const F4 a1 = ROVA_SHUFFLE(hi01, hi23, 0, 1, 4, 5), b1 = ROVA_SHUFFLE(hi01, hi23, 2, 3, 6, 7);
  first = a0 + (a1 - a0) * f, second = b0 + (b1 - b0) * f;
}
// Linear interpolation in a table at positions t (within [0, size - 1]), where entry i of `pairs`
// holds {table[i], table[i + 1]}: one load per pixel.
inline F4 lookupPairs(const float (*pairs)[2], int size, F4 t) {
  const I4 i = truncToInt(vmin(t, splat(float(size - 2))));
  // Each pair as one 64-bit value, two to a vector (no partial writes through memory).
  using D2 = double __attribute__((vector_size(16)));
  double d[4];
  for (int k = 0; k < 4; ++k) __builtin_memcpy(&d[k], pairs[i[k]], 8);
  const F4 e01 = F4(D2{d[0], d[1]}), e23 = F4(D2{d[2], d[3]});
  const F4 lo = ROVA_SHUFFLE(e01, e23, 0, 2, 4, 6), hi = ROVA_SHUFFLE(e01, e23, 1, 3, 5, 7);
  return lo + (hi - lo) * (t - toFloat(i));
}
#undef ROVA_SHUFFLE

// Calls f(r, g, b) on the channels of four pixels at a time of a row of n interleaved RGB pixels,
// writing back what f leaves in them; the last few pixels go through a padded copy.
template <class F>
void forPixels4(float* px, int n, F&& f) {
  auto run = [&](float* p) __attribute__((always_inline)) {
    F4 r, g, b;
    load3(p, r, g, b);
    f(r, g, b);
    store3(p, r, g, b);
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
