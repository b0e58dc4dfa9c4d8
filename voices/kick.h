// Kick: one sine whose pitch falls steeply from the note frequency, under a 5 ms attack and a
// release that stretches with the note. No excitation, no clamp.
#pragma once

#include "voices/conventions.h"

namespace kettorin::voice {

struct Kick {
  static constexpr float kAttackSeconds = 0.005f;
  static constexpr float kPitchFallPerSecond = -35.0f;
  static constexpr float kReleaseRate = -3.5f;  // per note duration
  static constexpr float kLevel = 0.9f;

  Kick(const VoiceContext& context, float f, float d)
      : rate(static_cast<float>(context.sampleRate)),
        a(AttackLength(context.sampleRate, kAttackSeconds)),
        f(f),
        d(d) {}

  template <class Index>
  auto operator()(Index i) const {
    const auto t = SampleTime(i, rate);
    // Falling pitch.
    const auto fs = Narrow(Exp(t * kPitchFallPerSecond) * Wide(f));
    // Attack ramp, then the release measured from the end of the attack.
    const auto env =
        Select(i < a, Ramp(i, a), Narrow(Exp((t - kAttackSeconds) * (kReleaseRate / d))));
    // Phase: the momentary frequency times the elapsed time, so no state carries between samples.
    const auto p = fs * t * kTwoPi;
    return Narrow(Wide(env * kLevel) * Sin(p));
  }

  float rate;
  int32_t a;
  float f, d;
};

}  // namespace kettorin::voice
