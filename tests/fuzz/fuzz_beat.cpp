// Fuzzes the beat reader and the mixer: any text, songs included, a low rate, with and without a
// loop. Every text the reader accepts must give a track of exactly E samples (each segment's
// floor(T x 60 R / (B P)) added up) whose hits lie inside it, and must mix into it the same way
// twice without touching anything else.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "beat/beat.h"
#include "track/track_output.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kettorin;
  if (size < 1) return 0;
  const int32_t rate = 1 + (data[0] & 0x7F) * 32;  // up to 4065 Hz keeps each input fast
  const bool loop = (data[0] & 0x80) != 0;
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

  Beat beat;
  if (ReadBeat(text, beat)) return 0;
  if (beat.patterns.empty()) __builtin_trap();
  for (const BeatPattern& pattern : beat.patterns) {
    if (pattern.lines.empty() || pattern.GridSteps() < 1) __builtin_trap();
    for (const BeatLine& line : pattern.lines) {
      if (line.steps.size() != pattern.lines[0].steps.size()) __builtin_trap();
    }
  }

  constexpr int64_t kLimit = int64_t{1} << 22;
  BeatOptions options;
  options.sampleRate = rate;
  options.loop = loop;
  Track track;
  BeatLayout layout;
  const std::optional<Failure> failure = BeatTrack(beat, options, kLimit, track, &layout);
  if (failure) {
    if (failure->status != kStatusNoStorage) __builtin_trap();
    return 0;
  }
  // E: each segment's steps at its tempo, floored once, added up.
  unsigned __int128 length = 0;
  int64_t plays = 0;
  for (const Segment& segment : layout.segments) {
    unsigned __int128 steps = 0;
    for (int64_t i = segment.firstPlay; i < segment.firstPlay + segment.plays; ++i) {
      const BeatPattern& pattern = beat.patterns[static_cast<size_t>(layout.plays[i])];
      if (pattern.tempo.value_or(beat.tempo) != segment.tempo) __builtin_trap();
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
    const int64_t reach = loop ? 2 * track.length : track.length;
    if (hit.start + hit.length > reach) __builtin_trap();
  }
  std::vector<float> mix(static_cast<size_t>(track.length));
  RenderTrack(track, {}, mix, {rate});
  std::vector<float> again(mix.size());
  RenderTrack(track, {}, again, {rate});
  if (!mix.empty() && std::memcmp(mix.data(), again.data(), mix.size() * sizeof(float)) != 0) {
    __builtin_trap();
  }
  return 0;
}
