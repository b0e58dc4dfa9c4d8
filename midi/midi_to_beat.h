// A MIDI file's drums as a song to edit: bars laid out by the file's time signatures, each drum
// kind one line of a step grid, each hit on its nearest step at a level digit from its velocity,
// and bars alike folded into one pattern, played in order by the song's `play` line. The song is
// data; WriteBeat gives its text.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "beat/beat.h"
#include "track/drum_keys.h"
#include "track/limits.h"
#include "track/status.h"

namespace kettorin {

struct MidiSongOptions {
  int32_t channel = kDefaultMidiChannel;  // 1 to 16: the channel whose notes are drums
  KeyMap map;                             // KEY=DRUM over the General MIDI keys
  std::optional<int32_t> steps;  // per beat, 1 to 64; without, the first of kStepChoices that fits
};

// The grids tried, fewest steps first. A grid fits when no hit lands more than 1/8 of a step from
// a step and every bar is a whole number of steps; when none fits, the last is taken.
inline constexpr std::array<int32_t, 7> kStepChoices{2, 3, 4, 6, 8, 12, 16};

struct MidiSong {
  Beat beat;                // patterns a, b, ... z, a2, b2, ... and the order they play in
  int64_t bars = 0;         // the file's bars, up to the one that holds the last hit
  int64_t plays = 0;        // patterns played: a bar that a tempo change splits plays as two
  int32_t steps = 0;        // per beat
  bool stepsAsked = false;  // given by the options rather than chosen
  bool hitsFit = false;     // every hit within 1/8 of a step of the step it went to
  bool barsWhole = false;   // every bar (and every stretch a tempo change cuts) whole steps
  // How far the worst hit lies from its step: worstOff / ticksPerQuarter of a step, 0 to 1/2.
  int64_t worstOff = 0;
  int32_t ticksPerQuarter = 0;
  int64_t placed = 0;  // hits on the grid
  int64_t merged = 0;  // hits given up for a louder one of their kind on the same step
  // Plays whose tempo (microseconds per quarter) is faster than kMaxTempo BPM, and play at it.
  int64_t tooFast = 0;
  // Seconds the whole-BPM tempos end the song after the file's own end of its last bar (before,
  // when negative).
  double driftSeconds = 0;
  std::array<int64_t, 128> skipped{};  // note-ons on the channel whose key plays no drum
  int64_t otherChannels = 0;           // note-ons on other channels
  std::vector<std::string> warnings;   // what was read leniently
};

// Reads the file and writes its drums as a song. Bars are 4/4 until the first time signature; a
// bar of n/d lasts n x 4/d quarter notes, and a time signature inside a bar ends that bar early.
// Tracks share one time line (format 2: one after another, each from 120 BPM and 4/4). Each play
// takes the tempo at its start, as whole BPM; a tempo change inside a bar splits it there. Hits go
// to the nearest step (halfway: the earlier), the song ends on the first bar line after the last.
// Fails with status 15 and "byte N: ..." for a damaged file, 15 for SMPTE time, a channel outside
// 1 to 16, steps outside 1 to 64 or no drum notes; 13 for more than kMaxPlays bars.
std::optional<Failure> MidiToBeat(std::span<const uint8_t> bytes, const MidiSongOptions& options,
                                  MidiSong& song);

}  // namespace kettorin
