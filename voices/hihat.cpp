// Hi-hats: a closed hat (one 8 kHz partial, 2 ms attack, fast release) and an open hat (7 and
// 9.5 kHz partials, no attack, slower decay), both mostly noise. Unpitched.
#include "voices/conventions.h"

namespace kettorin {

using namespace voice;

void RenderHiHatClosed(SampleBuffer& buffer, float d) {
  constexpr float kAttackSeconds = 0.002f;
  constexpr uint32_t kSeedStep = 12345;
  constexpr float kSeedTimeScale = 2000.0f;
  constexpr float kTwoPi8000 = kTwoPi * 8000.0f;
  constexpr float kGain = 0.6f;

  const std::span<float> out = AppendNote(buffer, d);
  const float rate = static_cast<float>(buffer.sampleRate);
  const int32_t a = AttackLength(buffer.sampleRate, kAttackSeconds);
  const float k = 1.0f / d;
  uint32_t s = 0;

  for (size_t i = 0; i < out.size(); ++i) {
    const auto ii = static_cast<int32_t>(i);
    const float t = SampleTime(i, rate);
    // Attack ramp, then a release over half the note measured from the end of the attack.
    const float env =
        ii < a ? Ramp(ii, a) : Narrow(Exp(((t - kAttackSeconds) * -12.0f) / (d * 0.5f)));
    const float e = buffer.excitation(ExcitationSeed(s, t, kSeedTimeScale));
    // Partial: 8 kHz with its own decay from the note's start.
    float m = Narrow(Exp(k * t * -15.0f) * Sin(t * kTwoPi8000) * Wide(0.2f));
    // Excitation.
    m = m + e * 0.6f;
    m = m * env;
    out[i] = ClampUnit(m) * kGain;
    s += kSeedStep;
  }
}

void RenderHiHatOpen(SampleBuffer& buffer, float d) {
  constexpr uint32_t kSeedStep = 54321;
  constexpr float kSeedTimeScale = 2500.0f;
  constexpr float kTwoPi9500 = kTwoPi * 9500.0f;
  constexpr float kTwoPi7000 = kTwoPi * 7000.0f;
  constexpr float kGain = 0.6f;

  const std::span<float> out = AppendNote(buffer, d);
  const float rate = static_cast<float>(buffer.sampleRate);
  const float k = 1.0f / d;
  uint32_t s = 0;

  for (size_t i = 0; i < out.size(); ++i) {
    const float t = SampleTime(i, rate);
    // Decay, from full level at the first sample (no attack).
    const float env = Narrow(Exp(k * t * -4.0f));
    const float e = buffer.excitation(ExcitationSeed(s, t, kSeedTimeScale));
    // Partials: 9.5 and 7 kHz, each weighted by the envelope inside its double product.
    float m = Narrow(Sin(t * kTwoPi9500) * Wide(env) * Wide(0.1f)) +
              Narrow(Wide(env) * Sin(t * kTwoPi7000) * Wide(0.15f));
    // Excitation.
    m = m + e * 0.5f;
    m = m * env;
    out[i] = ClampUnit(m) * kGain;
    s += kSeedStep;
  }
}

}  // namespace kettorin
