// The shared limits and their messages.
#include "track/limits.h"

#include <cmath>
#include <cstdio>
#include <string>

namespace kettorin {

std::optional<Failure> CheckTempo(int32_t tempo) {
  if (tempo >= kMinTempo && tempo <= kMaxTempo) return std::nullopt;
  return Failure{kStatusBadTempo, "BPM must be between 1 and 999. Got: " + std::to_string(tempo)};
}

std::optional<Failure> CheckSampleRate(int32_t sampleRate) {
  if (sampleRate >= kMinSampleRate) return std::nullopt;
  return Failure{kStatusBadSampleRate,
                 "Sample rate must be at least 1. Got: " + std::to_string(sampleRate)};
}

std::optional<Failure> CheckRepeat(int32_t repeat) {
  if (repeat >= kMinRepeat && repeat <= kMaxRepeat) return std::nullopt;
  return Failure{kStatusBadInput, "repeat must be 1 to 10000, got " + std::to_string(repeat)};
}

std::optional<Failure> CheckChannel(int32_t channel) {
  if (channel >= kMinMidiChannel && channel <= kMaxMidiChannel) return std::nullopt;
  return Failure{kStatusBadInput, "channel must be 1 to 16, got " + std::to_string(channel)};
}

std::optional<Failure> CheckGain(double gainDb) {
  if (std::fabs(gainDb) <= kMaxGainDb) return std::nullopt;  // NaN fails too
  char text[96];
  std::snprintf(text, sizeof text, "The gain must be from -120 to 120 dB. Got: %g", gainDb);
  return Failure{kStatusBadInput, text};
}

}  // namespace kettorin
