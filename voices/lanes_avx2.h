// Four samples at a time: the voice helpers of conventions.h for lanes of x86 AVX2 registers.
//
// Every float and double operation is the same IEEE operation the one-sample helpers do, lane by
// lane, so it rounds the same. Only sin and exp differ: they come from glibc's vector math library
// (libmvec), which may differ from the scalar functions by a few units in the last place of the
// double. A sample can only change if such a difference moves a double product across a rounding
// boundary of single precision when it is narrowed, so Narrow() marks every lane whose product
// lies that close to a boundary (NearFloatBoundary() in vector_path.h), or is NaN or beyond the
// float range, as suspect. The renderer computes suspect samples again on the one-sample path,
// which keeps the output identical.
//
// Only included by the translation unit compiled for AVX2.
#pragma once

#include <immintrin.h>

#include <cstdint>

#include "voices/conventions.h"
#include "voices/vector_path.h"

extern "C" {
// glibc libmvec: four-lane AVX2 double sin and exp.
__m256d _ZGVdN4v_sin(__m256d x);
__m256d _ZGVdN4v_exp(__m256d x);
}

namespace kettorin::voice {

// Lane masks are 4-bit integers, bit k for lane k.
using Lanes4Mask = int;

struct I4 {  // sample indices
  __m128i v;
};
struct U4 {  // seeds
  __m128i v;
};
struct M4 {  // a per-lane condition
  __m128i v;
};
struct F4 {  // single-precision values, and which lanes went through a suspect narrowing
  __m128 v;
  Lanes4Mask suspect;
};
struct D4 {  // double-precision products
  __m256d v;
  Lanes4Mask suspect;
};

inline I4 FourSamplesFrom(int32_t first) {
  return {_mm_add_epi32(_mm_set1_epi32(first), _mm_setr_epi32(0, 1, 2, 3))};
}

inline F4 Splat(float x) {
  return {_mm_set1_ps(x), 0};
}
inline Lanes4Mask Bits(M4 m) {
  return _mm_movemask_ps(_mm_castsi128_ps(m.v));
}

// ---- single precision -------------------------------------------------------------------------

inline F4 operator+(F4 a, F4 b) {
  return {_mm_add_ps(a.v, b.v), a.suspect | b.suspect};
}
inline F4 operator-(F4 a, F4 b) {
  return {_mm_sub_ps(a.v, b.v), a.suspect | b.suspect};
}
inline F4 operator*(F4 a, F4 b) {
  return {_mm_mul_ps(a.v, b.v), a.suspect | b.suspect};
}
inline F4 operator/(F4 a, F4 b) {
  return {_mm_div_ps(a.v, b.v), a.suspect | b.suspect};
}
inline F4 operator+(F4 a, float b) {
  return a + Splat(b);
}
inline F4 operator-(F4 a, float b) {
  return a - Splat(b);
}
inline F4 operator*(F4 a, float b) {
  return a * Splat(b);
}
inline F4 operator/(F4 a, float b) {
  return a / Splat(b);
}
inline F4 operator*(float a, F4 b) {
  return Splat(a) * b;
}

inline M4 operator<(I4 i, int32_t a) {
  return {_mm_cmplt_epi32(i.v, _mm_set1_epi32(a))};
}
inline M4 operator<(F4 a, F4 b) {
  return {_mm_castps_si128(_mm_cmplt_ps(a.v, b.v))};
}

inline F4 ToFloat(I4 i) {
  return {_mm_cvtepi32_ps(i.v), 0};
}
inline F4 SampleTime(I4 i, float rate) {
  return ToFloat(i) / rate;
}
inline F4 Ramp(I4 i, int32_t a) {
  return ToFloat(i) / static_cast<float>(a);
}

inline F4 Select(M4 first, F4 a, F4 b) {
  const Lanes4Mask bits = Bits(first);
  return {_mm_blendv_ps(b.v, a.v, _mm_castsi128_ps(first.v)),
          (a.suspect & bits) | (b.suspect & ~bits)};
}
inline F4 Select(M4 first, F4 a, float b) {
  return Select(first, a, Splat(b));
}

// std::clamp(m, -1, 1): below -1 gives -1, else above 1 gives 1, else m (NaN included).
inline F4 ClampUnit(F4 m) {
  return Select(m < Splat(-1.0f), Splat(-1.0f), Select(Splat(1.0f) < m, Splat(1.0f), m));
}

inline I4 TruncSaturated(F4 x) {
  // cvtt gives INT32_MIN for NaN and for every value out of range; mend the two that differ.
  __m128i r = _mm_cvttps_epi32(x.v);
  const __m128 tooLarge = _mm_cmpge_ps(x.v, _mm_set1_ps(2147483648.0f));
  r = _mm_blendv_epi8(r, _mm_set1_epi32(INT32_MAX), _mm_castps_si128(tooLarge));
  const __m128 isNumber = _mm_cmpord_ps(x.v, x.v);
  return {_mm_and_si128(r, _mm_castps_si128(isNumber))};
}

// ---- seeds and excitation ---------------------------------------------------------------------

inline U4 SeedAccumulator(I4 i, uint32_t step) {
  return {_mm_mullo_epi32(i.v, _mm_set1_epi32(static_cast<int32_t>(step)))};
}

inline U4 ExcitationSeed(U4 s, F4 t, float m) {
  return {_mm_xor_si128(s.v, TruncSaturated(t * m).v)};
}

inline F4 Excite(ExcitationSource source, U4 seed) {
  if (source == NextExcitation) {
    // The same hash, four lanes at once.
    __m128i x = seed.v;
    x = _mm_xor_si128(x, _mm_srli_epi32(x, 16));
    x = _mm_mullo_epi32(x, _mm_set1_epi32(0x7feb352d));
    x = _mm_xor_si128(x, _mm_srli_epi32(x, 15));
    x = _mm_mullo_epi32(x, _mm_set1_epi32(static_cast<int32_t>(0x846ca68bU)));
    x = _mm_xor_si128(x, _mm_srli_epi32(x, 16));
    const F4 top{_mm_cvtepi32_ps(_mm_srli_epi32(x, 8)), 0};  // 24 bits: exact
    constexpr float kHalfRange = 8388607.5f;
    return (top - kHalfRange) / kHalfRange;
  }
  alignas(16) uint32_t seeds[4];
  _mm_store_si128(reinterpret_cast<__m128i*>(seeds), seed.v);
  return {_mm_setr_ps(source(seeds[0]), source(seeds[1]), source(seeds[2]), source(seeds[3])), 0};
}

// ---- double precision -------------------------------------------------------------------------

inline D4 Wide(F4 x) {
  return {_mm256_cvtps_pd(x.v), x.suspect};
}
// Arguments at or below -746 give +0.0, as the scalar exp does; they never reach libmvec, which
// would send the whole vector through its slow scalar underflow path.
inline D4 Exp(F4 x) {
  const __m256d a = _mm256_cvtps_pd(x.v);
  const __m256d under = _mm256_cmp_pd(a, _mm256_set1_pd(kExpZeroAtOrBelow), _CMP_LE_OQ);
  const int bits = _mm256_movemask_pd(under);
  if (bits == 0) return {_ZGVdN4v_exp(a), x.suspect};
  if (bits == 0xF) return {_mm256_setzero_pd(), x.suspect};
  return {_mm256_andnot_pd(under, _ZGVdN4v_exp(_mm256_andnot_pd(under, a))), x.suspect};
}
inline D4 Sin(F4 x) {
  return {_ZGVdN4v_sin(_mm256_cvtps_pd(x.v)), x.suspect};
}
inline D4 operator*(D4 a, D4 b) {
  return {_mm256_mul_pd(a.v, b.v), a.suspect | b.suspect};
}
inline D4 operator*(D4 a, double b) {
  return {_mm256_mul_pd(a.v, _mm256_set1_pd(b)), a.suspect};
}

// The lanes' NearFloatBoundary() (vector_path.h), bit k for lane k.
inline Lanes4Mask NearFloatBoundary(__m256d x) {
  const __m256i magnitude =
      _mm256_and_si256(_mm256_castpd_si256(x), _mm256_set1_epi64x(INT64_MAX));
  const __m256i exponent = _mm256_srli_epi64(magnitude, 52);
  // Below 2^-126, lifted by 2^-126 onto the binade whose midpoints are the subnormal boundaries.
  const __m256i tiny = _mm256_cmpgt_epi64(_mm256_set1_epi64x(kFloatNormalExponent), exponent);
  const __m256d lifted =
      _mm256_add_pd(_mm256_castsi256_pd(magnitude), _mm256_set1_pd(kFloatSmallestNormal));
  const __m256i bits = _mm256_blendv_epi8(magnitude, _mm256_castpd_si256(lifted), tiny);
  const __m256i low = _mm256_and_si256(bits, _mm256_set1_epi64x(kFloatUlpInDoubleUlps - 1));
  const __m256i fromMidpoint = _mm256_sub_epi64(low, _mm256_set1_epi64x(kFloatUlpInDoubleUlps / 2));
  const __m256i near = _mm256_and_si256(
      _mm256_cmpgt_epi64(fromMidpoint, _mm256_set1_epi64x(-kBoundarySlack)),
      _mm256_cmpgt_epi64(_mm256_set1_epi64x(kBoundarySlack), fromMidpoint));
  const __m256i outside = _mm256_cmpgt_epi64(exponent, _mm256_set1_epi64x(kFloatTopExponent));
  return _mm256_movemask_pd(_mm256_castsi256_pd(_mm256_or_si256(near, outside)));
}

inline F4 Narrow(D4 x) {
  return {_mm256_cvtpd_ps(x.v), x.suspect | NearFloatBoundary(x.v)};
}

}  // namespace kettorin::voice
