// The drum kinds: the names a call may give, the names the report shows, and who plays each note.
#include "track/drum_kinds.h"

#include <algorithm>

namespace kettorin {

namespace {

// Frequency scaling of the tom kinds: a fifth up, as written, and roughly a fifth down; the
// cowbell an octave up.
constexpr float kHighTomRatio = 1.5f;
constexpr float kLowTomRatio = 0.667f;
constexpr float kCowbellRatio = 2.0f;

constexpr char AsciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

}  // namespace

// The ring of a hit is the duration its voice is given when nothing cuts it short. Every voice's
// envelope stretches with its duration, so the ring sets how long the drum sounds. The defaults
// make a lone hit at tempo 120 decay like the instrument: one beat (0.5 s, the length of a C1
// note) for kick, snare, toms, cowbell and clap, whose envelopes then fall to 1/e after 60 to
// 200 ms; an eighth of a second for the closed hi-hat (1/e after 7 ms: a tick); 1 s for the open
// hi-hat (its noise falls to 1/e after 0.25 s); 2 s for the cymbals (1/e after 0.57 s for the
// ride and 1.3 s for the crash).
//
// The pan places each kind as the drummer's seat of a right-handed kit hears it, -1 left to 1
// right: the hi-hat and the crash to the left, the toms across from high to low, the ride and
// the cowbell to the right, kick, snare and clap in the middle.
const std::array<DrumKindInfo, kDrumKindCount> kDrumKinds = {{
    {DrumKind::kKick,
     {"kick", ""},
     "KICK",
     "falling sine thump (also any unknown name)",
     Voice::kKick,
     1.0f,
     true,
     0.5f,
     0.0f},
    {DrumKind::kSnare,
     {"snare", ""},
     "SNARE",
     "200 Hz body, 1.5 kHz ring and noise",
     Voice::kSnare,
     1.0f,
     false,
     0.5f,
     0.0f},
    {DrumKind::kHiHatClosed,
     {"hihat_close", "hihatc"},
     "HI-HAT CLOSED",
     "short 8 kHz tick over noise",
     Voice::kHiHatClosed,
     1.0f,
     false,
     0.125f,
     -0.3f},
    {DrumKind::kHiHatOpen,
     {"hihat_open", "hihato"},
     "HI-HAT OPEN",
     "7 and 9.5 kHz sizzle, slow decay",
     Voice::kHiHatOpen,
     1.0f,
     false,
     1.0f,
     -0.3f},
    {DrumKind::kHighTom,
     {"high_tom", "tom"},
     "HIGH TOM",
     "swept tom, 1.5 x the note",
     Voice::kTom,
     kHighTomRatio,
     true,
     0.5f,
     -0.2f},
    {DrumKind::kMidTom,
     {"mid_tom", ""},
     "MID TOM",
     "swept tom at the note",
     Voice::kTom,
     1.0f,
     true,
     0.5f,
     0.1f},
    {DrumKind::kLowTom,
     {"low_tom", ""},
     "LOW TOM",
     "swept tom, 0.667 x the note",
     Voice::kTom,
     kLowTomRatio,
     true,
     0.5f,
     0.4f},
    {DrumKind::kCowbell,
     {"cowbell", ""},
     "COWBELL",
     "four metallic partials, 2 x the note",
     Voice::kCowbell,
     kCowbellRatio,
     true,
     0.5f,
     0.2f},
    {DrumKind::kClap,
     {"clap", ""},
     "CLAP",
     "noise burst with 2 and 3.5 kHz",
     Voice::kClap,
     1.0f,
     false,
     0.5f,
     0.0f},
    {DrumKind::kRide,
     {"ride", ""},
     "RIDE",
     "bright cymbal, medium decay",
     Voice::kRide,
     1.0f,
     false,
     2.0f,
     0.4f},
    {DrumKind::kCrash,
     {"crash", ""},
     "CRASH",
     "wide cymbal, the longest decay",
     Voice::kCrash,
     1.0f,
     false,
     2.0f,
     -0.35f},
}};

bool MatchPrefixNoCase(std::string_view name, std::string_view key, size_t k) {
  if (name.size() < k || key.size() < k) return false;
  return std::equal(name.begin(), name.begin() + static_cast<std::ptrdiff_t>(k), key.begin(),
                    [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
}

std::optional<DrumKind> FindDrumKind(std::string_view name) {
  for (const DrumKindInfo& info : kDrumKinds) {
    for (std::string_view key : info.keys) {
      if (!key.empty() && MatchPrefixNoCase(name, key, key.size())) return info.kind;
    }
  }
  return std::nullopt;
}

DrumKind LookupDrumKind(std::string_view name) {
  return FindDrumKind(name).value_or(DrumKind::kKick);
}

std::string UnknownDrum(std::string_view name) {
  std::string text = "unknown drum '" + std::string(name) + "' (";
  for (const DrumKindInfo& info : kDrumKinds) {
    text.append(info.kind == DrumKind::kKick ? "" : ", ").append(ShortName(info.kind));
  }
  return text + ")";
}

std::string_view ShortName(DrumKind kind) {
  // The hi-hats by their short keys, every other kind by its first.
  const DrumKindInfo& info = Info(kind);
  const bool hat = kind == DrumKind::kHiHatClosed || kind == DrumKind::kHiHatOpen;
  return hat ? info.keys[1] : info.keys[0];
}

}  // namespace kettorin
