// A composition request: the drum kinds, the note reader and the driver of one call.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "voices/voices.h"
#include "wav/wav_writer.h"

namespace kettorin {

// Status codes of a call.
enum Status : int32_t {
  kStatusDone = 999,
  kStatusNullArgument = 10,
  kStatusBadSampleRate = 11,
  kStatusBadTempo = 12,
  kStatusNoStorage = 13,  // too long for a WAV file, or out of memory
  kStatusNotWritten = 14,
};

// ---- Drum kinds -------------------------------------------------------------------------------

enum class DrumKind : uint8_t {
  kKick,
  kSnare,
  kHiHatClosed,
  kHiHatOpen,
  kHighTom,
  kMidTom,
  kLowTom,
  kCowbell,
  kClap,
  kRide,
  kCrash,
};

// Plays one note of a kind: the note frequency in, scaled as the kind wants it, and the duration.
using NoteRenderer = void (*)(SampleBuffer& buffer, float noteFrequency, float d);

struct DrumKindInfo {
  DrumKind kind;
  std::array<std::string_view, 2> keys;  // tried in order; an empty key is not tried
  std::string_view displayName;          // what the report prints
  std::string_view sound;                // a few words for people choosing a drum
  NoteRenderer render;
};

// Every drum kind, in the order their keys are tried, indexed by DrumKind.
extern const std::array<DrumKindInfo, 11> kDrumKinds;

inline const DrumKindInfo& Info(DrumKind kind) {
  return kDrumKinds[static_cast<size_t>(kind)];
}

// True when the first k characters of name and key are equal, ignoring ASCII letter case.
bool MatchPrefixNoCase(std::string_view name, std::string_view key, size_t k);

// The kind whose key the name begins with (first match in table order); the kick otherwise.
DrumKind LookupDrumKind(std::string_view name);

// ---- Notes ------------------------------------------------------------------------------------

// Pitch letter, accidental ('#', 'b' or 0) and a terminating 0.
struct NoteName {
  std::array<char, 3> text{};
  const char* c_str() const { return text.data(); }
};

struct Note {
  NoteName name;
  int32_t number = 4;       // the duration number N: 4 when the note has none
  float frequency = 0;      // Hz
  float duration = 0;       // seconds: beat / N
  int32_t shownNumber = 1;  // what the report prints after the name
};

// The note's pitch: its letter's whole-hertz value, times the accidental's factor.
float NoteFrequency(const NoteName& name);

// Reads the next note at or after pos, skipping separators and every byte that starts no note.
// Returns false when the string holds no further note.
bool ReadNote(std::string_view notes, size_t& pos, float beat, Note& note);

// Notes with duration number 0 are skipped whole: no report line and no samples.
inline bool IsPlayed(const Note& note) {
  return note.number != 0;
}

// ---- The call ---------------------------------------------------------------------------------

struct ComposeRequest {
  std::string_view drumName;  // narrow
  std::string_view notes;     // narrow
  int32_t sampleRate = 0;
  OutputPath output;
  int32_t tempo = 0;
  WavFormat format = WavFormat::kPcm16;  // the exported function always writes 16-bit PCM
};

// Samples the notes will produce at this rate and tempo, in 64-bit arithmetic.
// Stops counting once the total passes `limit`.
int64_t CountSamples(std::string_view notes, float beat, int32_t sampleRate, int64_t limit);

// Runs one call: validation, report, rendering and the WAV file. Returns its status.
int32_t Compose(const ComposeRequest& request);

}  // namespace kettorin
