// Hi-hats: a closed hat (one 8 kHz partial, 2 ms attack, fast release) and an open hat (7 and
// 9.5 kHz partials, no attack, slower decay), both mostly noise. Unpitched.
#pragma once

#include "voices/conventions.h"

namespace kettorin::voice {

struct HiHatClosed {
  static constexpr float kAttackSeconds = 0.002f;
  static constexpr uint32_t kSeedStep = 12345;
  static constexpr float kSeedTimeScale = 2000.0f;
  static constexpr float kTwoPi8000 = kTwoPi * 8000.0f;
  static constexpr float kGain = 0.6f;

  HiHatClosed(const VoiceContext& context, float d)
      : rate(static_cast<float>(context.sampleRate)),
        a(AttackLength(context.sampleRate, kAttackSeconds)),
        d(d),
        k(1.0f / d),
        excitation(context.excitation) {}

  template <class Index>
  auto operator()(Index i) const {
    const auto t = SampleTime(i, rate);
    // Attack ramp, then a release over half the note measured from the end of the attack.
    const auto env =
        Select(i < a, Ramp(i, a), Narrow(Exp(((t - kAttackSeconds) * -12.0f) / (d * 0.5f))));
    const auto e =
        Excite(excitation, ExcitationSeed(SeedAccumulator(i, kSeedStep), t, kSeedTimeScale));
    // Partial: 8 kHz with its own decay from the note's start.
    auto m = Narrow(Exp(k * t * -15.0f) * Sin(t * kTwoPi8000) * Wide(0.2f));
    // Excitation.
    m = m + e * 0.6f;
    m = m * env;
    return ClampUnit(m) * kGain;
  }

  float rate;
  int32_t a;
  float d, k;
  ExcitationSource excitation;
};

struct HiHatOpen {
  static constexpr uint32_t kSeedStep = 54321;
  static constexpr float kSeedTimeScale = 2500.0f;
  static constexpr float kTwoPi9500 = kTwoPi * 9500.0f;
  static constexpr float kTwoPi7000 = kTwoPi * 7000.0f;
  static constexpr float kGain = 0.6f;

  HiHatOpen(const VoiceContext& context, float d)
      : rate(static_cast<float>(context.sampleRate)), k(1.0f / d), excitation(context.excitation) {}

  template <class Index>
  auto operator()(Index i) const {
    const auto t = SampleTime(i, rate);
    // Decay, from full level at the first sample (no attack).
    const auto env = Narrow(Exp(k * t * -4.0f));
    const auto e =
        Excite(excitation, ExcitationSeed(SeedAccumulator(i, kSeedStep), t, kSeedTimeScale));
    // Partials: 9.5 and 7 kHz, each weighted by the envelope inside its double product.
    auto m = Narrow(Sin(t * kTwoPi9500) * Wide(env) * Wide(0.1f)) +
             Narrow(Wide(env) * Sin(t * kTwoPi7000) * Wide(0.15f));
    // Excitation.
    m = m + e * 0.5f;
    m = m * env;
    return ClampUnit(m) * kGain;
  }

  float rate;
  float k;
  ExcitationSource excitation;
};

}  // namespace kettorin::voice
