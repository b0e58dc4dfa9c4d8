// Fuzzes making a MIDI file into a song: any bytes as a file, its last byte also saying whether
// steps are asked for and how many (past the range too), so that real files seed it as they are. A file made into a song must give a text that reads back as the same song and is
// written the same again; the song plays as many patterns as it says and, over them, one cell a
// placed hit; every hit lies within half a step of its step, and the grid is one of the choices
// unless it was asked for. Anything else is refused with 15 or 13.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "beat/beat.h"
#include "midi/midi_to_beat.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kettorin;
  if (size < 1) return 0;
  MidiSongOptions options;
  if (data[size - 1] & 0x80) options.steps = data[size - 1] & 0x7F;  // 0 to 127
  const std::span<const uint8_t> bytes(data, size);

  MidiSong song;
  if (const std::optional<Failure> failure = MidiToBeat(bytes, options, song)) {
    if (failure->status != kStatusBadInput && failure->status != kStatusNoStorage) __builtin_trap();
    return 0;
  }
  if (options.steps) {
    if (*options.steps < 1 || *options.steps > 64 || song.steps != *options.steps ||
        !song.stepsAsked) {
      __builtin_trap();
    }
  } else if (song.stepsAsked || std::find(kStepChoices.begin(), kStepChoices.end(),
                                          song.steps) == kStepChoices.end()) {
    __builtin_trap();
  }
  if (song.ticksPerQuarter < 1 || song.worstOff < 0 || 2 * song.worstOff > song.ticksPerQuarter ||
      song.hitsFit != (8 * song.worstOff <= song.ticksPerQuarter) || song.placed < 1) {
    __builtin_trap();
  }

  const std::string text = WriteBeat(song.beat);
  Beat again;
  if (ReadBeat(text, again) || WriteBeat(again) != text) __builtin_trap();

  const Beat& beat = song.beat;
  if (PlayCount(beat, beat.repeat) != song.plays || song.plays > kMaxPlays) __builtin_trap();
  std::vector<int64_t> cells(beat.patterns.size());
  for (size_t p = 0; p < beat.patterns.size(); ++p) {
    for (const BeatLine& line : beat.patterns[p].lines) {
      cells[p] += std::count_if(line.steps.begin(), line.steps.end(),
                                [](Step step) { return step != Step::kRest; });
    }
  }
  int64_t played = 0;
  for (int32_t pattern : ExpandOrder(beat, beat.repeat)) played += cells[pattern];
  if (played != song.placed) __builtin_trap();
  return 0;
}
