// Cowbell: four inharmonic sine partials over twice the note frequency, under one decay.
// No attack, no noise, no clamp: the weights sum to 0.9, so the level stays within 0.72.
#pragma once

#include "voices/conventions.h"

namespace kettorin::voice {

struct Cowbell {
  // 2 pi times each partial's ratio to the fundamental, in the order the partials are summed.
  static constexpr float kTwoPiRatio297 = 18.66106f;
  static constexpr float kTwoPiRatio100 = 6.2831855f;
  static constexpr float kTwoPiRatio203 = 12.754867f;
  static constexpr float kTwoPiRatio148 = 9.299114f;
  static constexpr float kGain = 0.8f;

  Cowbell(const VoiceContext& context, float f, float d)
      : rate(static_cast<float>(context.sampleRate)), f(f), k(1.0f / d) {}

  template <class Index>
  auto operator()(Index i) const {
    const auto t = SampleTime(i, rate);
    // Decay: 1/e after 0.4 of the note.
    const auto env = Narrow(Exp(k * t * -2.5f));
    const auto u = t * f;
    // Partials.
    auto m = Narrow(Sin(u * kTwoPiRatio297) * Wide(0.15f)) +
             Narrow(Sin(u * kTwoPiRatio100) * Wide(0.3f));
    m = m + Narrow(Sin(u * kTwoPiRatio203) * Wide(0.2f));
    m = m + Narrow(Sin(u * kTwoPiRatio148) * Wide(0.25f));
    return m * env * kGain;
  }

  float rate;
  float f, k;
};

}  // namespace kettorin::voice
