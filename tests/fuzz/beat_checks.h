// What every beat the reader accepts must give, shared by the fuzz targets that render beats: a
// track of exactly E samples (each segment's floor(T x 60 R / (B P)) added up) whose hits lie
// inside it, mixed the same way twice. Each check traps when it fails.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "beat/beat.h"
#include "track/track_output.h"

namespace kettorin::fuzz {

// The read beat is well formed: patterns with drum lines, each line as long as its first.
inline void CheckBeatRead(const Beat& beat) {
  if (beat.patterns.empty()) __builtin_trap();
  for (const BeatPattern& pattern : beat.patterns) {
    if (pattern.lines.empty() || pattern.GridSteps() < 1) __builtin_trap();
    for (const BeatLine& line : pattern.lines) {
      if (line.steps.size() != pattern.lines[0].steps.size()) __builtin_trap();
    }
    if (!pattern.accents.empty() &&
        pattern.accents.size() != static_cast<size_t>(pattern.GridSteps())) {
      __builtin_trap();
    }
  }
}

// The track's length is E for its segments, every segment's tempo is its patterns' own or the
// song's (the options' where they give one), the plays are the segments' in order, and every hit
// lies inside the track (or, in a loop, inside two of it).
inline void CheckBeatTrack(const Beat& beat, const BeatOptions& options, const Track& track,
                           const BeatLayout& layout) {
  const int32_t rate = options.sampleRate;
  const int32_t songTempo = options.tempo.value_or(beat.tempo);
  unsigned __int128 length = 0;
  int64_t plays = 0;
  for (const Segment& segment : layout.segments) {
    unsigned __int128 steps = 0;
    for (int64_t i = segment.firstPlay; i < segment.firstPlay + segment.plays; ++i) {
      const BeatPattern& pattern = beat.patterns[static_cast<size_t>(layout.plays[i])];
      if (pattern.tempo.value_or(songTempo) != segment.tempo) __builtin_trap();
      if (beat.StepsOf(pattern) != segment.steps || beat.SwingOf(pattern) != segment.swing) {
        __builtin_trap();
      }
      steps += static_cast<unsigned>(pattern.GridSteps());
    }
    if (segment.firstPlay != plays) __builtin_trap();
    plays += segment.plays;
    length += steps * 60 * static_cast<unsigned>(rate) /
              (static_cast<unsigned>(segment.tempo) * static_cast<unsigned>(segment.steps));
  }
  if (plays != static_cast<int64_t>(layout.plays.size())) __builtin_trap();
  if (static_cast<unsigned __int128>(track.length) != length) __builtin_trap();
  for (const Hit& hit : track.hits) {
    if (hit.start < 0 || hit.length < 1 || hit.start >= track.length) __builtin_trap();
    const int64_t reach = options.loop ? 2 * track.length : track.length;
    if (hit.start + hit.length > reach) __builtin_trap();
  }
}

// Mixes the track into E frames of its channels, twice: the same bytes both times.
inline std::vector<float> CheckMixTwice(const Track& track, int32_t rate) {
  std::vector<float> mix(static_cast<size_t>(track.length) * static_cast<size_t>(track.channels));
  RenderTrack(track, {}, mix, {rate});
  std::vector<float> again(mix.size());
  RenderTrack(track, {}, again, {rate});
  if (!mix.empty() && std::memcmp(mix.data(), again.data(), mix.size() * sizeof(float)) != 0) {
    __builtin_trap();
  }
  return mix;
}

}  // namespace kettorin::fuzz
