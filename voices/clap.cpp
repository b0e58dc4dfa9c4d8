// Clap: 2 and 3.5 kHz partials under heavy noise, a 3 ms attack and a release over 80 % of the
// note. Unpitched.
#include "voices/conventions.h"

namespace kettorin {

using namespace voice;

void RenderClap(SampleBuffer& buffer, float d) {
  constexpr float kAttackSeconds = 0.003f;
  constexpr uint32_t kSeedStep = 999;
  constexpr float kSeedTimeScale = 3000.0f;
  constexpr float kTwoPi3500 = kTwoPi * 3500.0f;
  constexpr float kTwoPi2000 = kTwoPi * 2000.0f;
  constexpr float kGain = 0.7f;

  const std::span<float> out = AppendNote(buffer, d);
  const float rate = static_cast<float>(buffer.sampleRate);
  const int32_t a = AttackLength(buffer.sampleRate, kAttackSeconds);
  uint32_t s = 0;

  for (size_t i = 0; i < out.size(); ++i) {
    const auto ii = static_cast<int32_t>(i);
    const float t = SampleTime(i, rate);
    // Attack ramp, then the release measured from the end of the attack.
    const float env =
        ii < a ? Ramp(ii, a) : Narrow(Exp(((t - kAttackSeconds) * -7.0f) / (d * 0.8f)));
    const float e = buffer.excitation(ExcitationSeed(s, t, kSeedTimeScale));
    // Partials.
    float m = Narrow(Sin(t * kTwoPi3500) * Wide(0.15f)) + Narrow(Sin(t * kTwoPi2000) * Wide(0.2f));
    // Excitation.
    m = m + e * 0.6f;
    m = m * env;
    out[i] = ClampUnit(m) * kGain;
    s += kSeedStep;
  }
}

}  // namespace kettorin
