// Cowbell: four inharmonic sine partials over twice the note frequency, under one decay.
// No attack, no noise, no clamp: the weights sum to 0.9, so the level stays within 0.72.
#include "voices/conventions.h"

namespace kettorin {

using namespace voice;

void RenderCowbell(SampleBuffer& buffer, float f, float d) {
  // 2 pi times each partial's ratio to the fundamental, in the order the partials are summed.
  constexpr float kTwoPiRatio297 = 18.66106f;
  constexpr float kTwoPiRatio100 = 6.2831855f;
  constexpr float kTwoPiRatio203 = 12.754867f;
  constexpr float kTwoPiRatio148 = 9.299114f;
  constexpr float kGain = 0.8f;

  const std::span<float> out = AppendNote(buffer, d);
  const float rate = static_cast<float>(buffer.sampleRate);
  const float k = 1.0f / d;

  for (size_t i = 0; i < out.size(); ++i) {
    const float t = SampleTime(i, rate);
    // Decay: 1/e after 0.4 of the note.
    const float env = Narrow(Exp(k * t * -2.5f));
    const float u = t * f;
    // Partials.
    float m = Narrow(Sin(u * kTwoPiRatio297) * Wide(0.15f)) +
              Narrow(Sin(u * kTwoPiRatio100) * Wide(0.3f));
    m = m + Narrow(Sin(u * kTwoPiRatio203) * Wide(0.2f));
    m = m + Narrow(Sin(u * kTwoPiRatio148) * Wide(0.25f));
    out[i] = m * env * kGain;
  }
}

}  // namespace kettorin
