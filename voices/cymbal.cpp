// Cymbals: a ride (three high partials, faster decay) and a crash (four partials, the slowest
// decay of all voices), both over noise with no attack. Unpitched.
#include "voices/conventions.h"

namespace kettorin {

using namespace voice;

void RenderRide(SampleBuffer& buffer, float d) {
  constexpr uint32_t kSeedStep = 777;
  constexpr float kSeedTimeScale = 2500.0f;
  constexpr float kDecayRate = 3.5f;  // 1/e after d / 3.5
  constexpr float kTwoPi10000 = kTwoPi * 10000.0f;
  constexpr float kTwoPi7500 = kTwoPi * 7500.0f;
  constexpr float kTwoPi5000 = kTwoPi * 5000.0f;
  constexpr float kGain = 0.6f;

  const std::span<float> out = AppendNote(buffer, d);
  const float rate = static_cast<float>(buffer.sampleRate);
  const float k = 1.0f / d;
  uint32_t s = 0;

  for (size_t i = 0; i < out.size(); ++i) {
    const float t = SampleTime(i, rate);
    const float env = Narrow(Exp(k * t * -kDecayRate));
    const float e = buffer.excitation(ExcitationSeed(s, t, kSeedTimeScale));
    // Partials, highest first.
    float m = Narrow(Sin(t * kTwoPi10000) * Wide(0.1f)) + Narrow(Sin(t * kTwoPi7500) * Wide(0.15f));
    m = m + Narrow(Sin(t * kTwoPi5000) * Wide(0.2f));
    // Excitation.
    m = m + e * 0.4f;
    m = m * env;
    out[i] = ClampUnit(m) * kGain;
    s += kSeedStep;
  }
}

void RenderCrash(SampleBuffer& buffer, float d) {
  constexpr uint32_t kSeedStep = 333;
  constexpr float kSeedTimeScale = 3000.0f;
  constexpr float kDecayRate = 1.5f;  // 1/e after d / 1.5
  constexpr float kTwoPi11000 = kTwoPi * 11000.0f;
  constexpr float kTwoPi6000 = kTwoPi * 6000.0f;
  constexpr float kTwoPi4000 = kTwoPi * 4000.0f;
  constexpr float kTwoPi8500 = kTwoPi * 8500.0f;
  constexpr float kGain = 0.6f;

  const std::span<float> out = AppendNote(buffer, d);
  const float rate = static_cast<float>(buffer.sampleRate);
  const float k = 1.0f / d;
  uint32_t s = 0;

  for (size_t i = 0; i < out.size(); ++i) {
    const float t = SampleTime(i, rate);
    const float env = Narrow(Exp(k * t * -kDecayRate));
    const float e = buffer.excitation(ExcitationSeed(s, t, kSeedTimeScale));
    // Partials, in their summing order.
    float m =
        Narrow(Sin(t * kTwoPi11000) * Wide(0.08f)) + Narrow(Sin(t * kTwoPi6000) * Wide(0.12f));
    m = m + Narrow(Sin(t * kTwoPi4000) * Wide(0.15f));
    m = m + Narrow(Sin(t * kTwoPi8500) * Wide(0.1f));
    // Excitation.
    m = m + e * 0.5f;
    m = m * env;
    out[i] = ClampUnit(m) * kGain;
    s += kSeedStep;
  }
}

}  // namespace kettorin
