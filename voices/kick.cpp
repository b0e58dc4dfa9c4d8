// Kick: one sine whose pitch falls steeply from the note frequency, under a 5 ms attack and a
// release that stretches with the note. No excitation, no clamp.
#include "voices/conventions.h"

namespace kettorin {

using namespace voice;

void RenderKick(SampleBuffer& buffer, float f, float d) {
  constexpr float kAttackSeconds = 0.005f;
  constexpr float kPitchFallPerSecond = -35.0f;
  constexpr float kReleaseRate = -3.5f;  // per note duration
  constexpr float kLevel = 0.9f;

  const std::span<float> out = AppendNote(buffer, d);
  const float rate = static_cast<float>(buffer.sampleRate);
  const int32_t a = AttackLength(buffer.sampleRate, kAttackSeconds);

  for (size_t i = 0; i < out.size(); ++i) {
    const auto ii = static_cast<int32_t>(i);
    const float t = SampleTime(i, rate);
    // Falling pitch.
    const float fs = Narrow(Exp(t * kPitchFallPerSecond) * Wide(f));
    // Attack ramp, then the release measured from the end of the attack.
    const float env = ii < a ? Ramp(ii, a) : Narrow(Exp((t - kAttackSeconds) * (kReleaseRate / d)));
    // Phase: the momentary frequency times the elapsed time, so no state carries between samples.
    const float p = fs * t * kTwoPi;
    out[i] = Narrow(Wide(env * kLevel) * Sin(p));
  }
}

}  // namespace kettorin
