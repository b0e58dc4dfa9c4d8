// What every voice shares: note length, attack ramp, clamp, seed stepping and precision helpers.
//
// Samples, times and frequencies are single precision. sin and exp are always evaluated in double
// precision, and a product formed with their results stays double until it is narrowed once, with
// Narrow(). Everything else is float arithmetic, evaluated left to right as the voice writes it.
//
// A voice is a small struct whose call operator gives sample i of the note. It is written once as
// a template on the sample index type: a plain int32_t here, or four or eight lanes of samples on
// the vector paths (lanes_avx2.h, lanes_avx512.h), whose helpers have the same names and the same
// arithmetic.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <span>

#include "voices/voices.h"

namespace kettorin::voice {

// The one-sample helpers are always inlined: the vector translation units see them too, and an
// out-of-line copy compiled there must never be the one the rest of the program calls.
#define KETTORIN_SAMPLE_HELPER [[gnu::always_inline]] inline

// 2 pi in single precision; a partial at F hertz turns at the float product kTwoPi * F.
constexpr float kTwoPi = 6.2831855f;

// exp and sin of a single-precision argument, evaluated in double precision.
KETTORIN_SAMPLE_HELPER double Exp(float x) {
  return std::exp(static_cast<double>(x));
}
KETTORIN_SAMPLE_HELPER double Sin(float x) {
  return std::sin(static_cast<double>(x));
}

// A single-precision factor taking part in a double product.
KETTORIN_SAMPLE_HELPER double Wide(float x) {
  return static_cast<double>(x);
}

// The one narrowing of a double product back to single precision.
KETTORIN_SAMPLE_HELPER float Narrow(double x) {
  return static_cast<float>(x);
}

// Truncation toward zero to a 32-bit integer, saturating where the value does not fit (NaN gives
// 0), so that no conversion is ever undefined.
KETTORIN_SAMPLE_HELPER int32_t TruncSaturated(float x) {
  if (!(x == x)) return 0;
  if (x >= 2147483648.0f) return INT32_MAX;
  if (x < -2147483648.0f) return INT32_MIN;
  return static_cast<int32_t>(x);
}

// Samples in the attack: trunc(float(R) x seconds). Zero means the note starts on its release.
inline int32_t AttackLength(int32_t sampleRate, float seconds) {
  return TruncSaturated(static_cast<float>(sampleRate) * seconds);
}

KETTORIN_SAMPLE_HELPER float ToFloat(int32_t i) {
  return static_cast<float>(i);
}

// The time of sample i of a note: float(i) / float(R).
KETTORIN_SAMPLE_HELPER float SampleTime(int32_t i, float rate) {
  return ToFloat(i) / rate;
}

// The attack ramp float(i) / float(a), rising from 0 at the note's first sample.
KETTORIN_SAMPLE_HELPER float Ramp(int32_t i, int32_t a) {
  return ToFloat(i) / static_cast<float>(a);
}

// Chooses per sample between two stages, such as the attack ramp and the release.
KETTORIN_SAMPLE_HELPER float Select(bool first, float a, float b) {
  return first ? a : b;
}

// Clamped voices keep their mix in [-1, 1] before the final gain (NaN passes unchanged).
KETTORIN_SAMPLE_HELPER float ClampUnit(float m) {
  return std::clamp(m, -1.0f, 1.0f);
}

// The seed accumulator s of sample i, which grows by the voice's step K after every sample.
KETTORIN_SAMPLE_HELPER uint32_t SeedAccumulator(int32_t i, uint32_t step) {
  return static_cast<uint32_t>(i) * step;
}

// The per-sample seed of a voice with time scale M: s XOR trunc(t x M).
KETTORIN_SAMPLE_HELPER uint32_t ExcitationSeed(uint32_t s, float t, float m) {
  return s ^ static_cast<uint32_t>(TruncSaturated(t * m));
}

KETTORIN_SAMPLE_HELPER float Excite(ExcitationSource source, uint32_t seed) {
  return source(seed);
}

}  // namespace kettorin::voice
