// Fuzzes the beat reader and the mixer: any text, a low rate, with and without a loop. Every text
// the reader accepts must give a track of exactly floor(T x 60 R / (B P)) samples whose hits lie
// inside it, and must mix into it without touching anything else.
#include <cstddef>
#include <cstdint>
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
  if (beat.lines.empty() || beat.GridSteps() < 1) __builtin_trap();
  for (const BeatLine& line : beat.lines) {
    if (line.steps.size() != beat.lines[0].steps.size()) __builtin_trap();
  }

  constexpr int64_t kLimit = int64_t{1} << 22;
  BeatOptions options;
  options.sampleRate = rate;
  options.loop = loop;
  Track track;
  const std::optional<Failure> failure = BeatTrack(beat, options, kLimit, track);
  const unsigned __int128 steps =
      static_cast<unsigned __int128>(beat.GridSteps()) * static_cast<unsigned>(beat.repeat);
  const unsigned __int128 length =
      steps * 60 * static_cast<unsigned>(rate) / (static_cast<unsigned>(beat.tempo) * beat.steps);
  if (failure) {
    if (failure->status != kStatusNoStorage) __builtin_trap();
    return 0;
  }
  if (static_cast<unsigned __int128>(track.length) != length) __builtin_trap();
  for (const Hit& hit : track.hits) {
    if (hit.start < 0 || hit.length < 1 || hit.start >= track.length) __builtin_trap();
    const int64_t reach = loop ? 2 * track.length : track.length;
    if (hit.start + hit.length > reach) __builtin_trap();
  }
  std::vector<float> mix(static_cast<size_t>(track.length));
  RenderTrack(track, {}, mix, {rate});
  return 0;
}
