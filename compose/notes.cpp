// The note reader: letter, optional sharp or flat, optional duration number; all else is skipped.
#include <cstdint>

#include "compose/notes.h"

namespace kettorin {

namespace {

// Whole-hertz pitches of one octave, A to G.
constexpr std::array<float, 7> kLetterHz = {440.0f, 494.0f, 262.0f, 294.0f, 330.0f, 349.0f, 392.0f};
constexpr float kSharpFactor = 1.0594631f;  // one equal-tempered semitone up
constexpr float kFlatFactor = 0.94387424f;  // one semitone down
constexpr int32_t kDefaultNumber = 4;       // a note without a number lasts a quarter beat

bool IsNoteLetter(char c) {
  return c >= 'A' && c <= 'G';
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

}  // namespace

float NoteFrequency(const NoteName& name) {
  const char letter = name.text[0];
  float hz = IsNoteLetter(letter) ? kLetterHz[static_cast<size_t>(letter - 'A')] : 440.0f;
  if (name.text[1] == '#') hz = hz * kSharpFactor;
  if (name.text[1] == 'b') hz = hz * kFlatFactor;
  return hz;
}

bool ReadNote(std::string_view notes, size_t& pos, float beat, Note& note) {
  // Separators and every byte outside 'A' to 'G' start no note.
  while (pos < notes.size() && !IsNoteLetter(notes[pos])) ++pos;
  if (pos >= notes.size()) return false;

  note = Note{};
  note.name.text[0] = notes[pos++];
  if (pos < notes.size() && (notes[pos] == '#' || notes[pos] == 'b')) {
    note.name.text[1] = notes[pos++];
  }

  // Duration number: decimal, wrapping in 32 bits like the two's-complement integer it lands in.
  if (pos < notes.size() && IsDigit(notes[pos])) {
    uint32_t n = 0;
    while (pos < notes.size() && IsDigit(notes[pos])) {
      n = n * 10U + static_cast<uint32_t>(notes[pos++] - '0');
    }
    note.number = static_cast<int32_t>(n);
  } else {
    note.number = kDefaultNumber;
  }

  note.frequency = NoteFrequency(note.name);
  if (IsPlayed(note)) {
    note.duration = beat / static_cast<float>(note.number);
    note.shownNumber = note.number == 1 ? 1 : 4 / note.number;
  }
  return true;
}

}  // namespace kettorin
