// Beats: drum lines on a step grid, read from text, and the hits they play.
//
//   tempo 104          # directives: tempo, steps (per beat), swing (percent), repeat
//   kick   x---x---|x---x-x-
//   snare  ----X---|----X--g
//   hihatc ring=0.2 level=0.8 x-x-x-x-|x-x-x-xX
//
// The reader knows nothing of files or WAV: it turns text into a Beat, or says which line is
// wrong and why.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "compose/notes.h"
#include "track/drum_kinds.h"
#include "track/limits.h"
#include "track/status.h"
#include "track/track.h"

namespace kettorin {

// What a grid cell plays.
enum class Step : uint8_t {
  kRest,    // - or .
  kHit,     // x or o: level 0.7
  kAccent,  // X or O: level 1.0
  kGhost,   // g: level 0.35
};

float StepLevel(Step step);

// What a grid symbol plays: - . rest, x o hit, X O accent, g ghost; nothing for any other.
std::optional<Step> ReadStep(char symbol);

// A line's pitch=: a letter A to G with an optional # or b; nothing for any other text.
std::optional<NoteName> ReadPitch(std::string_view text);

struct BeatLine {
  int32_t lineNumber = 0;  // in the text, from 1
  DrumKind kind = DrumKind::kKick;
  NoteName pitch{{'C', 0, 0}};  // letter and accidental, as written
  float frequency = 0;          // the note frequency of the pitch (Hz)
  float ring = 0;               // seconds a hit sounds at most
  float level = 1.0f;           // the line's level
  std::vector<Step> steps;
};

struct Beat {
  int32_t tempo = 120;  // beats per minute
  int32_t steps = 4;    // steps per beat
  int32_t swing = 50;   // percent: odd steps come late by 2 x (swing - 50) hundredths of a step
  int32_t repeat = 1;   // times the whole grid is played
  std::vector<BeatLine> lines;

  int32_t GridSteps() const {
    return lines.empty() ? 0 : static_cast<int32_t>(lines[0].steps.size());
  }
};

// Where a text is wrong: its line (from 1; 0 for the text as a whole) and what is wrong.
struct BeatError {
  int32_t line = 0;
  std::string message;
};

// Reads a beat from UTF-8 text (CRLF, tabs and a leading byte-order mark accepted).
std::optional<BeatError> ReadBeat(std::string_view text, Beat& beat);

// The text of a beat that ReadBeat reads back as the same beat: directives, then one line a
// drum with the settings that differ from its kind's defaults, and its grid (x X g -).
std::string WriteBeat(const Beat& beat);

// The symbol a step is written with: x, X, g or -.
char StepSymbol(Step step);

// "line 7: unknown drum ..." (or the message alone for the text as a whole).
std::string Describe(const BeatError& error);

// How a beat is rendered: what the command's options change.
struct BeatOptions {
  int32_t sampleRate = 44100;
  std::optional<int32_t> tempo;   // instead of the text's
  std::optional<int32_t> repeat;  // instead of the text's
  bool loop = false;              // last hits ring over into the start: a seamless loop
};

// The most hits a beat may have, to keep the hit list far below the size of the mix: a 4-line
// beat of sixteenth notes at tempo 120 reaches it after 36 hours.
inline constexpr int64_t kMaxBeatHits = int64_t{1} << 22;

// The sample where step s starts: floor((100 s + w(s)) x 60 R / (100 B P)), w(s) = 2 (W - 50) for
// odd steps. Exact as long as the track's length has been checked against the WAV limit.
int64_t StepStart(int64_t step, int32_t sampleRate, int32_t tempo, int32_t stepsPerBeat,
                  int32_t swing);

// Turns the beat into timed hits: lines in text order (stem = line index), the hits of a line in
// time order. Fails with status 12 for an option out of range, 11 for a rate below 1, 13 when the
// track would pass `limit` samples or kMaxBeatHits hits.
std::optional<Failure> BeatTrack(const Beat& beat, const BeatOptions& options, int64_t limit,
                                 Track& track);

}  // namespace kettorin
