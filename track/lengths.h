// How long each hit sounds: the cut rule every track shares, beats and MIDI files alike.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "track/drum_kinds.h"

namespace kettorin {

// The samples a hit sounds: until `gap` samples later (the next hit of its line or kind, or the
// end of the track), and at most its ring: min(gap, trunc(float(R) x ring)).
int32_t HitLength(int64_t gap, int32_t sampleRate, float ringSeconds);

// How many samples a beat's or a MIDI track's hit fades out over at its end, at most: 2 ms,
// trunc(float(R) x 0.002f). Shorter fades are no cleaner; a longer one would dull short hats.
int32_t FadeSamples(int32_t sampleRate);

// A hit before it has a length: where it starts, the lane whose next hit cuts it off, and the
// longest it rings.
struct Onset {
  int64_t start = 0;
  int32_t lane = 0;  // from 0: a beat's lane, a MIDI track's drum kind
  float ring = 0;    // seconds
  // For the choke: an open hi-hat stops where the next closed hi-hat starts, on any lane.
  enum class HiHat : uint8_t { kNone, kOpen, kClosed } hihat = HiHat::kNone;
};

// Which hi-hat a kind is, for the choke.
inline Onset::HiHat HiHatOf(DrumKind kind) {
  return kind == DrumKind::kHiHatOpen     ? Onset::HiHat::kOpen
         : kind == DrumKind::kHiHatClosed ? Onset::HiHat::kClosed
                                          : Onset::HiHat::kNone;
}

// Where a lane's last hit stops: at `end` (the end of the track; in a loop, where the lane's first
// hit comes round again, end + its start), or, without an end, only at its ring. Without a loop
// no hit sounds past the end.
struct LaneEnd {
  std::optional<int64_t> end;
  bool wrap = false;
  bool choke = false;  // open hi-hats stop at the next closed one (round the loop in a loop)
};

// The cut rule: a hit sounds until the next hit of its lane starts, at most its ring
// (HitLength); with the choke, an open hi-hat also stops where the next closed hi-hat starts
// (strictly after its own start) on any lane. The onsets of one lane are in time order; lanes may
// interleave. Gives the length of each onset, in the onsets' order.
std::vector<int32_t> CutLengths(std::span<const Onset> onsets, int32_t sampleRate,
                                const LaneEnd& laneEnd);

}  // namespace kettorin
