// Standard MIDI Files: the bytes of a file in, its tracks' notes, tempo events and time signatures
// out, or the byte where the file is damaged and why. The reader knows nothing of files on disk, drums or WAV.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kettorin {

// A note-on with a velocity above 0 (a note-on with velocity 0 is a note-off, and note-offs never
// shorten a drum, so neither is kept).
struct MidiNote {
  uint64_t tick = 0;     // from the start of its track
  uint8_t channel = 0;   // 0 to 15 (channel 10 is 9)
  uint8_t key = 0;       // 0 to 127
  uint8_t velocity = 0;  // 1 to 127
};

struct MidiTempo {
  uint64_t tick = 0;
  uint32_t microsecondsPerQuarter = 0;  // 1 to 16777215
};

// A time signature: from `tick` on, bars of `numerator` notes of 1 / 2^denominatorPower of a
// whole note (4/4 is 4 and 2, 6/8 is 6 and 3). Kept as written, 0 and all.
struct MidiTimeSignature {
  uint64_t tick = 0;
  uint8_t numerator = 0;
  uint8_t denominatorPower = 0;
};

// One MTrk chunk, its events in file order.
struct MidiTrack {
  std::vector<MidiNote> notes;
  std::vector<MidiTempo> tempos;
  std::vector<MidiTimeSignature> timeSignatures;
  uint64_t endTick = 0;  // its end-of-track event, or its last complete event
};

struct MidiFile {
  int32_t format = 0;          // 0, 1 or 2
  int32_t declaredTracks = 0;  // the header's count; every MTrk chunk present is read regardless
  // Division: ticks per quarter note, or (when framesPerSecond is not 0) SMPTE time code with
  // ticksPerFrame ticks in each frame; framesPerSecond 29 stands for 30000/1001.
  int32_t ticksPerQuarter = 0;
  int32_t framesPerSecond = 0;
  int32_t ticksPerFrame = 0;
  std::vector<MidiTrack> tracks;
  // Set when the file ends inside a track: what was read before the cut is kept.
  std::optional<int64_t> cutOffAt;
  int64_t strayBytes = 0;  // after the last chunk, too few for a chunk header: ignored
};

// Where a file is damaged (a byte offset from its start) and what is wrong there. Status 15 for
// damage, 13 for a file with more notes than the reader keeps.
struct MidiError {
  int64_t offset = 0;
  std::string message;
  int32_t status = 15;
};

// The most note-ons the reader keeps, all tracks and channels together: as many as a beat may have
// hits.
inline constexpr int64_t kMaxMidiNotes = int64_t{1} << 22;

// Reads a whole file. Every allocation is bounded by the file's size.
std::optional<MidiError> ReadMidi(std::span<const uint8_t> bytes, MidiFile& file);

// "byte 22: status byte 0xF4 cannot appear in a file".
std::string Describe(const MidiError& error);

}  // namespace kettorin
