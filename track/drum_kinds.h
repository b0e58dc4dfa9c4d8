// The eleven drum kinds: the names a caller may give, the names a report shows, the voice that
// plays each, at what pitch, and how long a hit may ring.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "voices/voices.h"

namespace kettorin {

enum class DrumKind : uint8_t {
  kKick,
  kSnare,
  kHiHatClosed,
  kHiHatOpen,
  kHighTom,
  kMidTom,
  kLowTom,
  kCowbell,
  kClap,
  kRide,
  kCrash,
};

inline constexpr size_t kDrumKindCount = 11;

struct DrumKindInfo {
  DrumKind kind;
  std::array<std::string_view, 2> keys;  // tried in order; an empty key is not tried
  std::string_view displayName;          // what the report prints
  std::string_view sound;                // a few words for people choosing a drum
  Voice voice;                           // who plays it
  float pitchRatio;   // the voice plays the note frequency times this (1 for unpitched kinds)
  bool followsPitch;  // false when the voice ignores the frequency
  float ringSeconds;  // how long a hit of a beat or a MIDI track sounds at most, by default
  float pan;          // where a stereo track places it by default: -1 left, 0 centre, 1 right
};

// Every drum kind, in the order their keys are tried, indexed by DrumKind.
extern const std::array<DrumKindInfo, kDrumKindCount> kDrumKinds;

inline const DrumKindInfo& Info(DrumKind kind) {
  return kDrumKinds[static_cast<size_t>(kind)];
}

// True when the first k characters of name and key are equal, ignoring ASCII letter case.
bool MatchPrefixNoCase(std::string_view name, std::string_view key, size_t k);

// The kind whose key the name begins with (first match in table order), if any.
std::optional<DrumKind> FindDrumKind(std::string_view name);

// The same, with the kick for a name that matches no kind: the note-string call's rule.
DrumKind LookupDrumKind(std::string_view name);

// The names a list of choices shows, one per kind ("kick, snare, hihatc, ...").
std::string_view ShortName(DrumKind kind);

// "unknown drum 'NAME' (kick, snare, hihatc, ...)": what every reader of a drum name says.
std::string UnknownDrum(std::string_view name);

// The frequency the kind's voice plays for a note frequency (Hz).
inline float VoiceFrequency(DrumKind kind, float noteFrequency) {
  return noteFrequency * Info(kind).pitchRatio;
}

// Renders samples first .. first + out.size() - 1 of one note of the kind, at the note frequency
// (before the kind's ratio) and the duration d in seconds.
inline void PlayNote(DrumKind kind, const VoiceContext& context, float noteFrequency, float d,
                     int32_t first, std::span<float> out) {
  RenderVoice(Info(kind).voice, context, VoiceFrequency(kind, noteFrequency), d, first, out);
}

// Appends one whole note of the kind to the buffer.
inline void PlayNote(SampleBuffer& buffer, DrumKind kind, float noteFrequency, float d) {
  AppendNote(buffer, Info(kind).voice, VoiceFrequency(kind, noteFrequency), d);
}

}  // namespace kettorin
