// Cymbals: a ride (three high partials, faster decay) and a crash (four partials, the slowest
// decay of all voices), both over noise with no attack. Unpitched.
#pragma once

#include "voices/conventions.h"

namespace kettorin::voice {

struct Ride {
  static constexpr uint32_t kSeedStep = 777;
  static constexpr float kSeedTimeScale = 2500.0f;
  static constexpr float kDecayRate = 3.5f;  // 1/e after d / 3.5
  static constexpr float kTwoPi10000 = kTwoPi * 10000.0f;
  static constexpr float kTwoPi7500 = kTwoPi * 7500.0f;
  static constexpr float kTwoPi5000 = kTwoPi * 5000.0f;
  static constexpr float kGain = 0.6f;

  Ride(const VoiceContext& context, float d)
      : rate(static_cast<float>(context.sampleRate)), k(1.0f / d), excitation(context.excitation) {}

  template <class Index>
  auto operator()(Index i) const {
    const auto t = SampleTime(i, rate);
    const auto env = Narrow(Exp(k * t * -kDecayRate));
    const auto e =
        Excite(excitation, ExcitationSeed(SeedAccumulator(i, kSeedStep), t, kSeedTimeScale));
    // Partials, highest first.
    auto m = Narrow(Sin(t * kTwoPi10000) * Wide(0.1f)) + Narrow(Sin(t * kTwoPi7500) * Wide(0.15f));
    m = m + Narrow(Sin(t * kTwoPi5000) * Wide(0.2f));
    // Excitation.
    m = m + e * 0.4f;
    m = m * env;
    return ClampUnit(m) * kGain;
  }

  float rate;
  float k;
  ExcitationSource excitation;
};

struct Crash {
  static constexpr uint32_t kSeedStep = 333;
  static constexpr float kSeedTimeScale = 3000.0f;
  static constexpr float kDecayRate = 1.5f;  // 1/e after d / 1.5
  static constexpr float kTwoPi11000 = kTwoPi * 11000.0f;
  static constexpr float kTwoPi6000 = kTwoPi * 6000.0f;
  static constexpr float kTwoPi4000 = kTwoPi * 4000.0f;
  static constexpr float kTwoPi8500 = kTwoPi * 8500.0f;
  static constexpr float kGain = 0.6f;

  Crash(const VoiceContext& context, float d)
      : rate(static_cast<float>(context.sampleRate)), k(1.0f / d), excitation(context.excitation) {}

  template <class Index>
  auto operator()(Index i) const {
    const auto t = SampleTime(i, rate);
    const auto env = Narrow(Exp(k * t * -kDecayRate));
    const auto e =
        Excite(excitation, ExcitationSeed(SeedAccumulator(i, kSeedStep), t, kSeedTimeScale));
    // Partials, in their summing order.
    auto m = Narrow(Sin(t * kTwoPi11000) * Wide(0.08f)) + Narrow(Sin(t * kTwoPi6000) * Wide(0.12f));
    m = m + Narrow(Sin(t * kTwoPi4000) * Wide(0.15f));
    m = m + Narrow(Sin(t * kTwoPi8500) * Wide(0.1f));
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
