// Snare: two fixed partials (200 Hz body, 1500 Hz ring) over noise, 3 ms attack, a decay scaled
// to the note. The note's pitch does not change the sound.
#pragma once

#include "voices/conventions.h"

namespace kettorin::voice {

struct Snare {
  static constexpr float kAttackSeconds = 0.003f;
  static constexpr uint32_t kSeedStep = 73856093;
  static constexpr float kSeedTimeScale = 1000.0f;
  static constexpr float kTwoPi1500 = kTwoPi * 1500.0f;
  static constexpr float kTwoPi200 = kTwoPi * 200.0f;
  static constexpr float kGain = 0.8f;

  Snare(const VoiceContext& context, float /*f: a snare ignores the pitch*/, float d)
      : rate(static_cast<float>(context.sampleRate)),
        a(AttackLength(context.sampleRate, kAttackSeconds)),
        k(1.0f / d),
        excitation(context.excitation) {}

  template <class Index>
  auto operator()(Index i) const {
    const auto t = SampleTime(i, rate);
    const auto ramp = Select(i < a, Ramp(i, a), 1.0f);
    const auto x = k * t;
    const auto e8 = Narrow(Exp(x * -8.0f));
    // Excitation: noise under the same decay as the whole note.
    const auto e =
        Excite(excitation, ExcitationSeed(SeedAccumulator(i, kSeedStep), t, kSeedTimeScale));
    auto m = e * e8 * 0.4f;
    // Ring: 1500 Hz, decaying faster than the note.
    m = m + Narrow(Exp(x * -12.0f) * Sin(t * kTwoPi1500) * Wide(0.3f));
    // Body: 200 Hz.
    m = m + Narrow(Sin(t * kTwoPi200) * Wide(0.4f));
    // Overall envelope, then clamp and gain.
    m = m * (e8 * ramp);
    return ClampUnit(m) * kGain;
  }

  float rate;
  int32_t a;
  float k;
  ExcitationSource excitation;
};

}  // namespace kettorin::voice
