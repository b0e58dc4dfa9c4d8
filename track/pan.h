// Stereo placement: the constant-power pan law, and the pans a caller sets per drum kind over the
// kinds' own.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "track/drum_kinds.h"

namespace kettorin {

// Positions run from -1 (hard left) through 0 (centre) to 1 (hard right).
inline constexpr float kMinPan = -1.0f, kMaxPan = 1.0f;

// What a hit's contribution is multiplied by in each channel.
struct PanGains {
  float left = 1.0f;
  float right = 1.0f;
};

// Constant power: a = (P + 1) x pi/4 in float, left cos(a), right sin(a), each in double and
// narrowed once. Centre gives both 0.70710677; the ends give one channel 1 and the other (almost)
// nothing.
PanGains PanLaw(float position);

// Per kind, the position a caller gave in place of the kind's own.
using PanMap = std::array<std::optional<float>, kDrumKindCount>;

// The kind's position: the caller's, or the kit's default.
inline float PanOf(DrumKind kind, const PanMap& pans) {
  return pans[static_cast<size_t>(kind)].value_or(Info(kind).pan);
}

// Reads "DRUM=P" (DRUM named as on a beat line, P -1 to 1) into the map, or says what is wrong.
std::optional<std::string> AddPanSetting(std::string_view text, PanMap& pans);

// Reads a position, -1 to 1, as a beat line's decimal settings are read.
std::optional<float> ReadPan(std::string_view text);

}  // namespace kettorin
