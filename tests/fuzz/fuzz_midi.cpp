// Fuzzes the MIDI reader and the planner: any bytes as a file. Every file the reader accepts must
// give a track no longer than the limit whose hits lie inside it, in kind order, and must mix
// into it without touching anything else.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "midi/midi_track.h"
#include "track/track_output.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kettorin;
  constexpr int64_t kLimit = int64_t{1} << 16;  // longer tracks only take longer (fuzz_notes.cpp)
  const std::span<const uint8_t> bytes(data, size);

  MidiFile file;
  const bool readable = !ReadMidi(bytes, file);
  if (readable && (file.tracks.empty() || file.format > 2)) __builtin_trap();

  MidiOptions options;
  options.sampleRate = 1000;  // keeps each input fast
  MidiPlan plan;
  if (const std::optional<Failure> failure = PlanMidi(bytes, options, kLimit, plan)) {
    if (failure->status != kStatusBadInput && failure->status != kStatusNoStorage) __builtin_trap();
    if (readable && failure->status == kStatusBadInput) __builtin_trap();
    return 0;
  }
  if (!readable) __builtin_trap();
  const Track& track = plan.track;
  if (track.length < 0 || track.length > kLimit) __builtin_trap();
  for (size_t i = 0; i < track.hits.size(); ++i) {
    const Hit& hit = track.hits[i];
    if (hit.start < 0 || hit.length < 1 || hit.start + hit.length > track.length) __builtin_trap();
    if (i > 0 && hit.kind < track.hits[i - 1].kind) __builtin_trap();
    if (hit.stem < 0 || static_cast<size_t>(hit.stem) >= track.stemKinds.size() ||
        track.stemKinds[static_cast<size_t>(hit.stem)] != hit.kind) {
      __builtin_trap();
    }
  }
  for (size_t i = 1; i < plan.hits.size(); ++i) {
    if (plan.hits[i].start < plan.hits[i - 1].start) __builtin_trap();
  }
  // Short tracks are mixed too: the mixer is the beats' (fuzz_beat), and mixing every track would
  // take most of the fuzzer's time.
  if (track.length > int64_t{1} << 12) return 0;
  std::vector<float> mix(static_cast<size_t>(track.length));
  RenderTrack(track, {}, mix, {options.sampleRate});
  return 0;
}
