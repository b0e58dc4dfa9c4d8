// Snare: two fixed partials (200 Hz body, 1500 Hz ring) over noise, 3 ms attack, a decay scaled
// to the note. The note's pitch does not change the sound.
#include "voices/conventions.h"

namespace kettorin {

using namespace voice;

void RenderSnare(SampleBuffer& buffer, float /*f: a snare ignores the pitch*/, float d) {
  constexpr float kAttackSeconds = 0.003f;
  constexpr uint32_t kSeedStep = 73856093;
  constexpr float kSeedTimeScale = 1000.0f;
  constexpr float kTwoPi1500 = kTwoPi * 1500.0f;
  constexpr float kTwoPi200 = kTwoPi * 200.0f;
  constexpr float kGain = 0.8f;

  const std::span<float> out = AppendNote(buffer, d);
  const float rate = static_cast<float>(buffer.sampleRate);
  const int32_t a = AttackLength(buffer.sampleRate, kAttackSeconds);
  const float k = 1.0f / d;
  uint32_t s = 0;

  for (size_t i = 0; i < out.size(); ++i) {
    const auto ii = static_cast<int32_t>(i);
    const float t = SampleTime(i, rate);
    const float ramp = ii < a ? Ramp(ii, a) : 1.0f;
    const float x = k * t;
    const float e8 = Narrow(Exp(x * -8.0f));
    // Excitation: noise under the same decay as the whole note.
    const float e = buffer.excitation(ExcitationSeed(s, t, kSeedTimeScale));
    float m = e * e8 * 0.4f;
    // Ring: 1500 Hz, decaying faster than the note.
    m = m + Narrow(Exp(x * -12.0f) * Sin(t * kTwoPi1500) * Wide(0.3f));
    // Body: 200 Hz.
    m = m + Narrow(Sin(t * kTwoPi200) * Wide(0.4f));
    // Overall envelope, then clamp and gain.
    m = m * (e8 * ramp);
    out[i] = ClampUnit(m) * kGain;
    s += kSeedStep;
  }
}

}  // namespace kettorin
