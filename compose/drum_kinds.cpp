// The drum kinds: the names a call may give, the names the report shows, and who plays each note.
#include <algorithm>

#include "compose/compose.h"

namespace kettorin {

namespace {

// Frequency scaling of the tom kinds: a fifth up, as written, and roughly a fifth down.
constexpr float kHighTomRatio = 1.5f;
constexpr float kLowTomRatio = 0.667f;
constexpr float kCowbellRatio = 2.0f;

// Dispatch adapters: each hands its voice the frequency the kind plays at, or none.
void PlayKick(SampleBuffer& b, float f, float d) {
  RenderKick(b, f, d);
}
void PlaySnare(SampleBuffer& b, float f, float d) {
  RenderSnare(b, f, d);
}
void PlayHiHatClosed(SampleBuffer& b, float, float d) {
  RenderHiHatClosed(b, d);
}
void PlayHiHatOpen(SampleBuffer& b, float, float d) {
  RenderHiHatOpen(b, d);
}
void PlayHighTom(SampleBuffer& b, float f, float d) {
  RenderTom(b, f * kHighTomRatio, d);
}
void PlayMidTom(SampleBuffer& b, float f, float d) {
  RenderTom(b, f, d);
}
void PlayLowTom(SampleBuffer& b, float f, float d) {
  RenderTom(b, f * kLowTomRatio, d);
}
void PlayCowbell(SampleBuffer& b, float f, float d) {
  RenderCowbell(b, f * kCowbellRatio, d);
}
void PlayClap(SampleBuffer& b, float, float d) {
  RenderClap(b, d);
}
void PlayRide(SampleBuffer& b, float, float d) {
  RenderRide(b, d);
}
void PlayCrash(SampleBuffer& b, float, float d) {
  RenderCrash(b, d);
}

constexpr char AsciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

}  // namespace

const std::array<DrumKindInfo, 11> kDrumKinds = {{
    {DrumKind::kKick, {"kick", ""}, "KICK", "falling sine thump (also any unknown name)", PlayKick},
    {DrumKind::kSnare, {"snare", ""}, "SNARE", "200 Hz body, 1.5 kHz ring and noise", PlaySnare},
    {DrumKind::kHiHatClosed,
     {"hihat_close", "hihatc"},
     "HI-HAT CLOSED",
     "short 8 kHz tick over noise",
     PlayHiHatClosed},
    {DrumKind::kHiHatOpen,
     {"hihat_open", "hihato"},
     "HI-HAT OPEN",
     "7 and 9.5 kHz sizzle, slow decay",
     PlayHiHatOpen},
    {DrumKind::kHighTom, {"high_tom", "tom"}, "HIGH TOM", "swept tom, 1.5 x the note", PlayHighTom},
    {DrumKind::kMidTom, {"mid_tom", ""}, "MID TOM", "swept tom at the note", PlayMidTom},
    {DrumKind::kLowTom, {"low_tom", ""}, "LOW TOM", "swept tom, 0.667 x the note", PlayLowTom},
    {DrumKind::kCowbell,
     {"cowbell", ""},
     "COWBELL",
     "four metallic partials, 2 x the note",
     PlayCowbell},
    {DrumKind::kClap, {"clap", ""}, "CLAP", "noise burst with 2 and 3.5 kHz", PlayClap},
    {DrumKind::kRide, {"ride", ""}, "RIDE", "bright cymbal, medium decay", PlayRide},
    {DrumKind::kCrash, {"crash", ""}, "CRASH", "wide cymbal, the longest decay", PlayCrash},
}};

bool MatchPrefixNoCase(std::string_view name, std::string_view key, size_t k) {
  if (name.size() < k || key.size() < k) return false;
  return std::equal(name.begin(), name.begin() + static_cast<std::ptrdiff_t>(k), key.begin(),
                    [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
}

DrumKind LookupDrumKind(std::string_view name) {
  for (const DrumKindInfo& info : kDrumKinds) {
    for (std::string_view key : info.keys) {
      if (!key.empty() && MatchPrefixNoCase(name, key, key.size())) return info.kind;
    }
  }
  return DrumKind::kKick;
}

}  // namespace kettorin
