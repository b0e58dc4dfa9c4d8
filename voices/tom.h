// Tom: a pitch-swept fundamental with a swept partial at 1.5 times it, a little noise, a 4 ms
// attack and a release over 90 % of the note. High, mid and low toms differ only in frequency.
// No clamp: very short notes can leave [-1, 1], and the WAV writer saturates them.
#pragma once

#include "voices/conventions.h"

namespace kettorin::voice {

struct Tom {
  static constexpr float kAttackSeconds = 0.004f;
  static constexpr uint32_t kSeedStep = 11111;
  static constexpr float kPitchFallPerSecond = -12.0f;
  static constexpr float kTwoPiOneAndAHalf = 9.424778f;  // the partial at 1.5 x the fundamental
  static constexpr float kGain = 0.8f;

  Tom(const VoiceContext& context, float f, float d)
      : rate(static_cast<float>(context.sampleRate)),
        a(AttackLength(context.sampleRate, kAttackSeconds)),
        f(f),
        dd(d * 0.9f),
        k(1.0f / d),
        excitation(context.excitation) {}

  template <class Index>
  auto operator()(Index i) const {
    const auto t = SampleTime(i, rate);
    // Falling pitch.
    const auto fs = Narrow(Exp(t * kPitchFallPerSecond) * Wide(f));
    const auto ramp = Select(i < a, Ramp(i, a), 1.0f);
    // Release, applied from the first sample: above 1 during the attack, by design.
    const auto rel = Narrow(Exp(((t - kAttackSeconds) * -6.0f) / dd));
    const auto u = fs * t;
    // Excitation: the seed is the accumulator alone.
    const auto e = Excite(excitation, SeedAccumulator(i, kSeedStep));
    // Partials: 1.5 times the swept pitch under its own decay, and the fundamental.
    auto m = Narrow(Exp(k * t * -8.0f) * Sin(u * kTwoPiOneAndAHalf) * Wide(0.2f)) +
             Narrow(Sin(u * kTwoPi) * Wide(0.5f));
    m = m + e * 0.1f;
    m = m * (rel * ramp);
    return m * kGain;
  }

  float rate;
  int32_t a;
  float f, dd, k;
  ExcitationSource excitation;
};

}  // namespace kettorin::voice
