// Eight samples at a time: the voice helpers of conventions.h for lanes of x86 AVX-512 registers
// (F, DQ and VL): single precision in 256-bit registers, double precision in 512-bit ones.
//
// As on the four-lane path (lanes_avx2.h), every float and double operation is the same IEEE
// operation the one-sample helpers do, lane by lane; sin and exp come from libmvec's eight-lane
// functions, which were measured identical to its four-lane ones as doubles over ten million
// arguments each, and Narrow() marks the lanes NearFloatBoundary() finds too close to call.
//
// Only included by the translation unit compiled for AVX-512.
#pragma once

#include <immintrin.h>

#include <cstdint>

#include "voices/conventions.h"
#include "voices/vector_path.h"

extern "C" {
// glibc libmvec: eight-lane AVX-512 double sin and exp.
__m512d _ZGVeN8v_sin(__m512d x);
__m512d _ZGVeN8v_exp(__m512d x);
}

namespace kettorin::voice {

// Lane masks are 8-bit integers, bit k for lane k.
using Lanes8Mask = uint32_t;

struct I8 {  // sample indices
  __m256i v;
};
struct U8 {  // seeds
  __m256i v;
};
struct M8 {  // a per-lane condition
  __mmask8 v;
};
struct F8 {  // single-precision values, and which lanes went through a suspect narrowing
  __m256 v;
  Lanes8Mask suspect;
};
struct D8 {  // double-precision products
  __m512d v;
  Lanes8Mask suspect;
};

inline I8 EightSamplesFrom(int32_t first) {
  return {_mm256_add_epi32(_mm256_set1_epi32(first), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7))};
}

// Named apart from the four-lane Splat(float): an inline function of the same signature in both
// vector translation units would be one symbol, and the linker would keep either copy.
inline F8 Splat8(float x) {
  return {_mm256_set1_ps(x), 0};
}

// ---- single precision -------------------------------------------------------------------------

inline F8 operator+(F8 a, F8 b) {
  return {_mm256_add_ps(a.v, b.v), a.suspect | b.suspect};
}
inline F8 operator-(F8 a, F8 b) {
  return {_mm256_sub_ps(a.v, b.v), a.suspect | b.suspect};
}
inline F8 operator*(F8 a, F8 b) {
  return {_mm256_mul_ps(a.v, b.v), a.suspect | b.suspect};
}
inline F8 operator/(F8 a, F8 b) {
  return {_mm256_div_ps(a.v, b.v), a.suspect | b.suspect};
}
inline F8 operator+(F8 a, float b) {
  return a + Splat8(b);
}
inline F8 operator-(F8 a, float b) {
  return a - Splat8(b);
}
inline F8 operator*(F8 a, float b) {
  return a * Splat8(b);
}
inline F8 operator/(F8 a, float b) {
  return a / Splat8(b);
}
inline F8 operator*(float a, F8 b) {
  return Splat8(a) * b;
}

inline M8 operator<(I8 i, int32_t a) {
  return {_mm256_cmpgt_epi32_mask(_mm256_set1_epi32(a), i.v)};
}
inline M8 operator<(F8 a, F8 b) {
  return {_mm256_cmp_ps_mask(a.v, b.v, _CMP_LT_OS)};
}

inline F8 ToFloat(I8 i) {
  return {_mm256_cvtepi32_ps(i.v), 0};
}
inline F8 SampleTime(I8 i, float rate) {
  return ToFloat(i) / rate;
}
inline F8 Ramp(I8 i, int32_t a) {
  return ToFloat(i) / static_cast<float>(a);
}

inline F8 Select(M8 first, F8 a, F8 b) {
  const Lanes8Mask bits = first.v;
  return {_mm256_mask_blend_ps(first.v, b.v, a.v), (a.suspect & bits) | (b.suspect & ~bits)};
}
inline F8 Select(M8 first, F8 a, float b) {
  return Select(first, a, Splat8(b));
}

// std::clamp(m, -1, 1): below -1 gives -1, else above 1 gives 1, else m (NaN included).
inline F8 ClampUnit(F8 m) {
  return Select(m < Splat8(-1.0f), Splat8(-1.0f), Select(Splat8(1.0f) < m, Splat8(1.0f), m));
}

inline I8 TruncSaturated(F8 x) {
  // cvtt gives INT32_MIN for NaN and for every value out of range; mend the two that differ.
  __m256i r = _mm256_cvttps_epi32(x.v);
  const __mmask8 tooLarge = _mm256_cmp_ps_mask(x.v, _mm256_set1_ps(2147483648.0f), _CMP_GE_OS);
  r = _mm256_mask_mov_epi32(r, tooLarge, _mm256_set1_epi32(INT32_MAX));
  const __mmask8 isNumber = _mm256_cmp_ps_mask(x.v, x.v, _CMP_ORD_Q);
  return {_mm256_maskz_mov_epi32(isNumber, r)};
}

// ---- seeds and excitation ---------------------------------------------------------------------

inline U8 SeedAccumulator(I8 i, uint32_t step) {
  return {_mm256_mullo_epi32(i.v, _mm256_set1_epi32(static_cast<int32_t>(step)))};
}

inline U8 ExcitationSeed(U8 s, F8 t, float m) {
  return {_mm256_xor_si256(s.v, TruncSaturated(t * m).v)};
}

inline F8 Excite(ExcitationSource source, U8 seed) {
  if (source == NextExcitation) {
    // The same hash, eight lanes at once.
    __m256i x = seed.v;
    x = _mm256_xor_si256(x, _mm256_srli_epi32(x, 16));
    x = _mm256_mullo_epi32(x, _mm256_set1_epi32(0x7feb352d));
    x = _mm256_xor_si256(x, _mm256_srli_epi32(x, 15));
    x = _mm256_mullo_epi32(x, _mm256_set1_epi32(static_cast<int32_t>(0x846ca68bU)));
    x = _mm256_xor_si256(x, _mm256_srli_epi32(x, 16));
    const F8 top{_mm256_cvtepi32_ps(_mm256_srli_epi32(x, 8)), 0};  // 24 bits: exact
    constexpr float kHalfRange = 8388607.5f;
    return (top - kHalfRange) / kHalfRange;
  }
  alignas(32) uint32_t seeds[8];
  _mm256_store_si256(reinterpret_cast<__m256i*>(seeds), seed.v);
  alignas(32) float values[8];
  for (int k = 0; k < 8; ++k) values[k] = source(seeds[k]);
  return {_mm256_load_ps(values), 0};
}

// ---- double precision -------------------------------------------------------------------------

inline D8 Wide(F8 x) {
  return {_mm512_cvtps_pd(x.v), x.suspect};
}
// Arguments at or below -746 give +0.0, as the scalar exp does, without reaching libmvec.
inline D8 Exp(F8 x) {
  const __m512d a = _mm512_cvtps_pd(x.v);
  const __mmask8 live =
      _mm512_cmp_pd_mask(a, _mm512_set1_pd(kExpZeroAtOrBelow), _CMP_NLE_UQ);
  if (live == 0xFF) return {_ZGVeN8v_exp(a), x.suspect};
  if (live == 0) return {_mm512_setzero_pd(), x.suspect};
  return {_mm512_maskz_mov_pd(live, _ZGVeN8v_exp(_mm512_maskz_mov_pd(live, a))), x.suspect};
}
inline D8 Sin(F8 x) {
  return {_ZGVeN8v_sin(_mm512_cvtps_pd(x.v)), x.suspect};
}
inline D8 operator*(D8 a, D8 b) {
  return {_mm512_mul_pd(a.v, b.v), a.suspect | b.suspect};
}
inline D8 operator*(D8 a, double b) {
  return {_mm512_mul_pd(a.v, _mm512_set1_pd(b)), a.suspect};
}

// The lanes' NearFloatBoundary() (vector_path.h), bit k for lane k.
inline Lanes8Mask NearFloatBoundary(__m512d x) {
  const __m512i magnitude =
      _mm512_and_si512(_mm512_castpd_si512(x), _mm512_set1_epi64(INT64_MAX));
  const __m512i exponent = _mm512_srli_epi64(magnitude, 52);
  // Below 2^-126, lifted by 2^-126 onto the binade whose midpoints are the subnormal boundaries.
  const __mmask8 tiny = _mm512_cmpgt_epi64_mask(_mm512_set1_epi64(kFloatNormalExponent), exponent);
  const __m512d lifted =
      _mm512_add_pd(_mm512_castsi512_pd(magnitude), _mm512_set1_pd(kFloatSmallestNormal));
  const __m512i bits = _mm512_mask_mov_epi64(magnitude, tiny, _mm512_castpd_si512(lifted));
  const __m512i low = _mm512_and_si512(bits, _mm512_set1_epi64(kFloatUlpInDoubleUlps - 1));
  const __m512i fromMidpoint = _mm512_sub_epi64(low, _mm512_set1_epi64(kFloatUlpInDoubleUlps / 2));
  const __mmask8 near =
      _mm512_cmpgt_epi64_mask(fromMidpoint, _mm512_set1_epi64(-kBoundarySlack)) &
      _mm512_cmpgt_epi64_mask(_mm512_set1_epi64(kBoundarySlack), fromMidpoint);
  const __mmask8 outside = _mm512_cmpgt_epi64_mask(exponent, _mm512_set1_epi64(kFloatTopExponent));
  return static_cast<Lanes8Mask>(near | outside);
}

inline F8 Narrow(D8 x) {
  return {_mm512_cvtpd_ps(x.v), x.suspect | NearFloatBoundary(x.v)};
}

}  // namespace kettorin::voice
