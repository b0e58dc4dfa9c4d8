// The note reader: a letter A to G, an optional sharp or flat, an optional duration number.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace kettorin {

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

}  // namespace kettorin
