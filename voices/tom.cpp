// Tom: a pitch-swept fundamental with a swept partial at 1.5 times it, a little noise, a 4 ms
// attack and a release over 90 % of the note. High, mid and low toms differ only in frequency.
// No clamp: very short notes can leave [-1, 1], and the WAV writer saturates them.
#include "voices/conventions.h"

namespace kettorin {

using namespace voice;

void RenderTom(SampleBuffer& buffer, float f, float d) {
  constexpr float kAttackSeconds = 0.004f;
  constexpr uint32_t kSeedStep = 11111;
  constexpr float kPitchFallPerSecond = -12.0f;
  constexpr float kTwoPiOneAndAHalf = 9.424778f;  // the partial at 1.5 times the fundamental
  constexpr float kGain = 0.8f;

  const std::span<float> out = AppendNote(buffer, d);
  const float rate = static_cast<float>(buffer.sampleRate);
  const int32_t a = AttackLength(buffer.sampleRate, kAttackSeconds);
  const float dd = d * 0.9f;
  const float k = 1.0f / d;
  uint32_t s = 0;

  for (size_t i = 0; i < out.size(); ++i) {
    const auto ii = static_cast<int32_t>(i);
    const float t = SampleTime(i, rate);
    // Falling pitch.
    const float fs = Narrow(Exp(t * kPitchFallPerSecond) * Wide(f));
    const float ramp = ii < a ? Ramp(ii, a) : 1.0f;
    // Release, applied from the first sample: above 1 during the attack, by design.
    const float rel = Narrow(Exp(((t - kAttackSeconds) * -6.0f) / dd));
    const float u = fs * t;
    // Excitation: the seed is the accumulator alone.
    const float e = buffer.excitation(s);
    // Partials: 1.5 times the swept pitch under its own decay, and the fundamental.
    float m = Narrow(Exp(k * t * -8.0f) * Sin(u * kTwoPiOneAndAHalf) * Wide(0.2f)) +
              Narrow(Sin(u * kTwoPi) * Wide(0.5f));
    m = m + e * 0.1f;
    m = m * (rel * ramp);
    out[i] = m * kGain;
    s += kSeedStep;
  }
}

}  // namespace kettorin
