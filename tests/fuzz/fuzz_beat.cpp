// Fuzzes the beat reader and the mixer: any text, songs included, a low rate, with and without a
// loop. Every text the reader accepts must give a track of exactly E samples (each segment's
// floor(T x 60 R / (B P)) added up) whose hits lie inside it, and must mix into it the same way
// twice without touching anything else (beat_checks.h).
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "beat/beat.h"
#include "beat_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kettorin;
  if (size < 1) return 0;
  const int32_t rate = 1 + (data[0] & 0x7F) * 32;  // up to 4065 Hz keeps each input fast
  const bool loop = (data[0] & 0x80) != 0;
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

  Beat beat;
  if (ReadBeat(text, beat)) return 0;
  fuzz::CheckBeatRead(beat);

  constexpr int64_t kLimit = int64_t{1} << 16;  // longer tracks only take longer (fuzz_notes.cpp)
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
  fuzz::CheckBeatTrack(beat, options, track, layout);
  // Tracks of up to 2^14 hit samples are mixed: past that the mixer runs the same code for
  // longer, and the fuzzer's time is better spent on more texts.
  int64_t work = 0;
  for (const Hit& hit : track.hits) work += hit.length;
  if (work <= int64_t{1} << 14) fuzz::CheckMixTwice(track, rate);
  return 0;
}
