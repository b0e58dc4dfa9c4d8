// Clap: 2 and 3.5 kHz partials under heavy noise, a 3 ms attack and a release over 80 % of the
// note. Unpitched.
#pragma once

#include "voices/conventions.h"

namespace kettorin::voice {

struct Clap {
  static constexpr float kAttackSeconds = 0.003f;
  static constexpr uint32_t kSeedStep = 999;
  static constexpr float kSeedTimeScale = 3000.0f;
  static constexpr float kTwoPi3500 = kTwoPi * 3500.0f;
  static constexpr float kTwoPi2000 = kTwoPi * 2000.0f;
  static constexpr float kGain = 0.7f;

  Clap(const VoiceContext& context, float d)
      : rate(static_cast<float>(context.sampleRate)),
        a(AttackLength(context.sampleRate, kAttackSeconds)),
        d(d),
        excitation(context.excitation) {}

  template <class Index>
  auto operator()(Index i) const {
    const auto t = SampleTime(i, rate);
    // Attack ramp, then the release measured from the end of the attack.
    const auto env =
        Select(i < a, Ramp(i, a), Narrow(Exp(((t - kAttackSeconds) * -7.0f) / (d * 0.8f))));
    const auto e =
        Excite(excitation, ExcitationSeed(SeedAccumulator(i, kSeedStep), t, kSeedTimeScale));
    // Partials.
    auto m = Narrow(Sin(t * kTwoPi3500) * Wide(0.15f)) + Narrow(Sin(t * kTwoPi2000) * Wide(0.2f));
    // Excitation.
    m = m + e * 0.6f;
    m = m * env;
    return ClampUnit(m) * kGain;
  }

  float rate;
  int32_t a;
  float d;
  ExcitationSource excitation;
};

}  // namespace kettorin::voice
