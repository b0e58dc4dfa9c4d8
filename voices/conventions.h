// What every voice shares: note length, attack ramp, clamp, seed stepping and precision helpers.
//
// Samples, times and frequencies are single precision. sin and exp are always evaluated in double
// precision, and a product formed with their results stays double until it is narrowed once, with
// Narrow(). Everything else is float arithmetic, evaluated left to right as the voice writes it.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <span>

#include "voices/voices.h"

namespace kettorin::voice {

// 2 pi in single precision; a partial at F hertz turns at the float product kTwoPi * F.
constexpr float kTwoPi = 6.2831855f;

// exp and sin of a single-precision argument, evaluated in double precision.
inline double Exp(float x) {
  return std::exp(static_cast<double>(x));
}
inline double Sin(float x) {
  return std::sin(static_cast<double>(x));
}

// A single-precision factor taking part in a double product.
inline double Wide(float x) {
  return static_cast<double>(x);
}

// The one narrowing of a double product back to single precision.
inline float Narrow(double x) {
  return static_cast<float>(x);
}

// Truncation toward zero to a 32-bit integer, saturating where the value does not fit (NaN gives
// 0), so that no conversion is ever undefined.
inline int32_t TruncSaturated(float x) {
  if (!(x == x)) return 0;
  if (x >= 2147483648.0f) return INT32_MAX;
  if (x < -2147483648.0f) return INT32_MIN;
  return static_cast<int32_t>(x);
}

// Samples in the attack: trunc(float(R) x seconds). Zero means the note starts on its release.
inline int32_t AttackLength(int32_t sampleRate, float seconds) {
  return TruncSaturated(static_cast<float>(sampleRate) * seconds);
}

// The attack ramp float(i) / float(a), rising from 0 at the note's first sample.
inline float Ramp(int32_t i, int32_t a) {
  return static_cast<float>(i) / static_cast<float>(a);
}

// Clamped voices keep their mix in [-1, 1] before the final gain (NaN passes unchanged).
inline float ClampUnit(float m) {
  return std::clamp(m, -1.0f, 1.0f);
}

// The per-sample seed of a voice with time scale M: s XOR trunc(t x M).
inline uint32_t ExcitationSeed(uint32_t s, float t, float m) {
  return s ^ static_cast<uint32_t>(TruncSaturated(t * m));
}

// Appends one note's samples: returns the n = trunc(float(R) x d) slots the voice fills, in order,
// and counts them as written. The slots never reach past the call's storage.
inline std::span<float> AppendNote(SampleBuffer& buffer, float d) {
  const int64_t free = static_cast<int64_t>(buffer.storage.size()) - buffer.count;
  const int64_t n = std::min(NoteSampleCount(buffer.sampleRate, d), std::max<int64_t>(free, 0));
  if (n <= 0) return {};
  std::span<float> slots =
      buffer.storage.subspan(static_cast<size_t>(buffer.count), static_cast<size_t>(n));
  buffer.count += static_cast<int32_t>(n);
  return slots;
}

// The time of sample i of a note: float(i) / float(R).
inline float SampleTime(size_t i, float rate) {
  return static_cast<float>(i) / rate;
}

}  // namespace kettorin::voice
