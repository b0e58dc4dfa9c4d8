// The vector paths of the voices: four (AVX2) or eight (AVX-512) samples at a time on x86-64
// processors that have them, and the rule that keeps their samples identical to the one-sample
// path's.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

#include "voices/clap.h"
#include "voices/cowbell.h"
#include "voices/cymbal.h"
#include "voices/hihat.h"
#include "voices/kick.h"
#include "voices/snare.h"
#include "voices/tom.h"

namespace kettorin::voice {

// Samples rendered per call of the vector path: one bit of the returned mask each.
constexpr size_t kVectorChunk = 64;

// ---- when a narrowing is too close to call --------------------------------------------------
//
// The vector paths take sin and exp from glibc's vector math library, which may differ from the
// scalar functions by a few units in the last place of the double. A sample can only change if
// such a difference moves a double product across a rounding boundary of single precision, so
// every product within kBoundarySlack double ulps of a boundary is computed again one by one.

// A float ulp is 2^29 double ulps in every binade of normal floats.
constexpr int64_t kFloatUlpInDoubleUlps = int64_t{1} << 29;
constexpr int64_t kBoundarySlack = int64_t{1} << 12;
// Biased double exponents: 897 is 2^-126, the smallest normal float; 1150 the binade below 2^128.
constexpr int64_t kFloatNormalExponent = 897;
constexpr int64_t kFloatTopExponent = 1150;
constexpr double kFloatSmallestNormal = 0x1p-126;
// exp of any argument at or below this is +0.0 in double precision.
constexpr double kExpZeroAtOrBelow = -746.0;

// True when x lies within kBoundarySlack double ulps of a float rounding boundary, or is NaN or
// at least 2^128 in magnitude. In the normal range the boundaries are the midpoints between
// adjacent floats, where the low 29 bits of the double are 2^28. Below 2^-126 they are the odd
// multiples of 2^-150 (2^-150 itself parts 0 from the smallest subnormal): adding 2^-126 maps
// them onto the midpoints of [2^-126, 2^-125), exactly up to an error of 2^-179, far inside the
// slack, so the same test applies. Zero and every exact float are never near a boundary.
// The lanes' guards (lanes_avx2.h, lanes_avx512.h) compute exactly this.
[[gnu::always_inline]] inline bool NearFloatBoundary(double x) {
  uint64_t magnitude = std::bit_cast<uint64_t>(x) & ~(uint64_t{1} << 63);
  const auto exponent = static_cast<int64_t>(magnitude >> 52);
  if (exponent > kFloatTopExponent) return true;
  if (exponent < kFloatNormalExponent) {
    magnitude = std::bit_cast<uint64_t>(std::bit_cast<double>(magnitude) + kFloatSmallestNormal);
  }
  const int64_t fromMidpoint =
      static_cast<int64_t>(magnitude & (kFloatUlpInDoubleUlps - 1)) - kFloatUlpInDoubleUlps / 2;
  return fromMidpoint > -kBoundarySlack && fromMidpoint < kBoundarySlack;
}

#ifdef KETTORIN_VECTOR_PATH

// The most samples at a time this processor renders: 8, 4 or 1. Asked in code compiled for every
// x86-64 processor, never in a vector translation unit.
int32_t VectorLanes();

// Renders samples first .. first + kVectorChunk - 1 of the note into out. Returns a mask of the
// samples whose value the one-sample path must compute again (bit k for sample first + k).
// Defined, for every voice, in the translation unit compiled for AVX2 (four lanes) and in the
// one compiled for AVX-512 (eight lanes).
template <class Voice>
uint64_t RenderChunk(const Voice& voice, int32_t first, float* out);
template <class Voice>
uint64_t RenderChunk8(const Voice& voice, int32_t first, float* out);

// The lanes' guards on four and eight doubles: bit k set when x[k] is near a boundary.
uint32_t NearFloatBoundary4(const double* x);
uint32_t NearFloatBoundary8(const double* x);

#endif

}  // namespace kettorin::voice
