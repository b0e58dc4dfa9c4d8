// The limits every door and reader shares, each checked in one place with the message a caller
// sees. A call checks them in its own order; the wording is the same wherever a limit is met.
#pragma once

#include <cstdint>
#include <optional>

#include "track/status.h"

namespace kettorin {

inline constexpr int32_t kMinTempo = 1, kMaxTempo = 999;      // beats per minute
inline constexpr int32_t kMinSteps = 1, kMaxSteps = 64;       // steps per beat
inline constexpr int32_t kMinSwing = 50, kMaxSwing = 75;      // percent
inline constexpr int32_t kMinRepeat = 1, kMaxRepeat = 10000;  // passes of a grid
inline constexpr int32_t kMinMidiChannel = 1, kMaxMidiChannel = 16;
inline constexpr int32_t kDefaultMidiChannel = 10;             // General MIDI's drums
inline constexpr int32_t kMinSampleRate = 1;  // hertz
// The largest gain, up or down, that the calls and the command take, in dB.
inline constexpr double kMaxGainDb = 120.0;

// 12 for a tempo outside 1 to 999.
std::optional<Failure> CheckTempo(int32_t tempo);
// 11 for a sample rate below 1.
std::optional<Failure> CheckSampleRate(int32_t sampleRate);
// 15 for a repeat outside 1 to 10000.
std::optional<Failure> CheckRepeat(int32_t repeat);
// 15 for a MIDI channel outside 1 to 16.
std::optional<Failure> CheckChannel(int32_t channel);
// 15 for a gain beyond +-120 dB, or not a number.
std::optional<Failure> CheckGain(double gainDb);

}  // namespace kettorin
