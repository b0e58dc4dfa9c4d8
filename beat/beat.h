// Beats: drum lines on a step grid, read from text, and the hits they play.
//
//   tempo 104          # directives: tempo, steps (per beat), swing (percent), repeat
//   kick   x---x---|x---x-x-
//   snare  ----X---|----X--g
//   hihatc ring=0.2 level=0.8 x-x-x-x-|x-x-x-xX
//
// A song is patterns of such lines, each under its `pattern NAME` line with its own tempo, steps
// and swing if it likes, and the order they play in: `play intro (verse*3 fill)*2 outro`.
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
#include "track/drum_keys.h"
#include "track/drum_kinds.h"
#include "track/limits.h"
#include "track/status.h"
#include "track/track.h"

namespace kettorin {

// What a grid cell plays.
enum class Step : uint8_t {
  kRest,        // - or .
  kHit,         // x or o: level 0.7
  kAccent,      // X or O: level 1.0
  kGhost,       // g: level 0.35
  kOpen,        // o on a hihat line: an open hi-hat, 0.7
  kOpenAccent,  // O on a hihat line: an open hi-hat, 1.0
  kVelocity1,   // 1 to 9: float(d) / 9.0f
  kVelocity9 = kVelocity1 + 8,
  kFlam,        // f: the hit (0.7) and a grace note (0.35) G samples before it
  kFlamAccent,  // F: the same with the hit at 1.0
  kDrag,        // d: the hit (0.7) and grace notes G and G / 2 samples before it
  kDragAccent,  // D: the same with the hit at 1.0
  kChance,      // ?: a hit (0.7) that sounds or not, by a seeded draw with the line's chance
  kBracket,     // [ ... ]: the step divided evenly among the cells of the line's next bracket
};

// The level of a cell's hit (0 for a rest or a bracket), and of its grace notes.
float StepLevel(Step step);
inline constexpr float kGraceLevel = 0.35f;
// How many grace notes come before a cell's hit: 1 for a flam, 2 for a drag.
int32_t GraceNotes(Step step);
// The factor an accented step gives each of its hits: an accented x plays as an X.
inline constexpr float kAccentFactor = 1.4285715f;
inline constexpr int32_t kMaxBracketCells = 16;

// What a grid symbol plays: - . rest, x o hit, X O accent, g ghost, 1 to 9, f F d D ?; on a
// hihat line o and O are open; nothing for any other (brackets are read by the reader).
std::optional<Step> ReadStep(char symbol, bool hihatLine = false);

// A line's pitch=: a letter A to G with an optional # or b; nothing for any other text.
std::optional<NoteName> ReadPitch(std::string_view text);

struct BeatLine {
  int32_t lineNumber = 0;  // in the text, from 1
  DrumKind kind = DrumKind::kKick;  // a hihat line's closed hat
  bool hihat = false;      // a hihat line: o O play the open hi-hat, the rest the closed one
  std::optional<int32_t> key;   // the General MIDI key number it was named by
  NoteName pitch{{'C', 0, 0}};  // letter and accidental, as written
  float frequency = 0;          // the note frequency of the pitch (Hz)
  float ring = 0;               // seconds a hit sounds at most
  bool ringGiven = false;       // ring= was given (a hihat line's kinds keep their own without)
  float level = 1.0f;           // the line's level
  float flam = 0.02f;           // seconds a flam's grace note comes early (a drag's first)
  float chance = 0.5f;          // the probability that a ? sounds
  float shift = 0;              // milliseconds every hit of the line moves
  std::optional<float> pan;     // -1 left to 1 right, in a stereo render; the kind's without
  std::vector<Step> steps;
  std::vector<std::vector<Step>> brackets;  // the cells of each kBracket step, in order
};

inline constexpr float kDefaultFlam = 0.02f, kDefaultChance = 0.5f;

// A pattern: drum lines of one grid length, played as a whole, with the tempo, steps and swing
// it sets for itself (the song's where it sets none).
struct BeatPattern {
  std::string name;        // empty for a text without `pattern` lines: the one pattern there is
  int32_t lineNumber = 0;  // its `pattern` line (0 without one)
  std::optional<int32_t> tempo, steps, swing;
  std::vector<BeatLine> lines;
  std::vector<bool> accents;   // the accent line's steps, each accented or not; empty: none
  int32_t accentLine = 0;      // where the accent line stands

  int32_t GridSteps() const {
    return lines.empty() ? 0 : static_cast<int32_t>(lines[0].steps.size());
  }
};

// One item of the order: a pattern, or a group of items, played `count` times.
struct PlayItem {
  int32_t pattern = -1;  // an index into the patterns; -1 for a group
  int32_t count = 1;
  std::vector<PlayItem> items;  // a group's items
};

inline constexpr int32_t kMinPlayCount = 1, kMaxPlayCount = 10000;  // pattern*N, (group)*N
inline constexpr int32_t kMaxGroupDepth = 8;                        // groups inside groups
// The most plays a song may have, counts and repeat multiplied out: more is status 13, as a
// track too long is.
inline constexpr int64_t kMaxPlays = int64_t{1} << 20;

struct Beat {
  // The song's own settings, which a pattern without its own uses.
  int32_t tempo = 120;  // beats per minute
  int32_t steps = 4;    // steps per beat
  int32_t swing = 50;   // percent: odd steps come late by 2 x (swing - 50) hundredths of a step
  int32_t repeat = 1;   // times the whole order is played
  uint32_t seed = 0;           // the draws of ? cells and of the human feel
  int32_t humanizeMs = 0;      // hits move by up to +-MS milliseconds
  int32_t humanizePercent = 0; // and their levels by up to +-PERCENT %
  bool choke = true;           // a closed hi-hat stops an open one ringing
  bool stereo = false;         // the `stereo` directive: rendered in two channels
  std::vector<BeatPattern> patterns;  // in text order; one without a name for a plain grid
  std::vector<PlayItem> order;        // empty: every pattern once, in text order

  // A song: a text with `pattern` lines, rather than one grid.
  bool IsSong() const { return !patterns.empty() && !patterns[0].name.empty(); }
  int32_t TempoOf(const BeatPattern& p) const { return p.tempo.value_or(tempo); }
  int32_t StepsOf(const BeatPattern& p) const { return p.steps.value_or(steps); }
  int32_t SwingOf(const BeatPattern& p) const { return p.swing.value_or(swing); }
};

// Where a text is wrong: its line (from 1; 0 for the text as a whole) and what is wrong.
struct BeatError {
  int32_t line = 0;
  std::string message;
};

// Reads a beat from UTF-8 text (CRLF, tabs and a leading byte-order mark accepted). Lines named
// by a key number play the kind the key map (over the General MIDI keys) gives it.
std::optional<BeatError> ReadBeat(std::string_view text, Beat& beat, const KeyMap& keys = {});

// Reads the items of a `play` line ("intro (verse*3 fill)*2 outro") against the beat's patterns
// and appends them to its order; a refusal comes with line 0.
std::optional<BeatError> ReadOrder(std::string_view items, Beat& beat);

// The text of a beat that ReadBeat reads back as the same beat: directives, then one line a
// drum with the settings that differ from its kind's defaults, and its grid (x X g -); a song's
// patterns under their `pattern` lines, and its order on a `play` line.
std::string WriteBeat(const Beat& beat);

// The order as a `play` line gives it, without the word: "intro (verse*3 fill)*2 outro".
std::string WriteOrder(const Beat& beat);

// Plays in all, counts and `repeat` multiplied out, without expanding them; kMaxPlays + 1 for
// anything more than kMaxPlays.
int64_t PlayCount(const Beat& beat, int32_t repeat);

// The patterns in the order they play (at most kMaxPlays of them).
std::vector<int32_t> ExpandOrder(const Beat& beat, int32_t repeat);

// The symbol a step is written with: x, X, g, o, O, 1 to 9, f, F, d, D, ?, - ('[' for a bracket).
char StepSymbol(Step step);

// Each step of a line as the text writes it: its symbol, or a bracket's cells in [ ].
std::vector<std::string> StepTexts(const std::vector<Step>& steps,
                                   const std::vector<std::vector<Step>>& brackets);

// "line 7: unknown drum ..." (or the message alone for the text as a whole).
std::string Describe(const BeatError& error);

// How a beat is rendered: what the command's options change.
struct BeatOptions {
  int32_t sampleRate = 44100;
  std::optional<int32_t> tempo;   // instead of the text's
  std::optional<int32_t> repeat;  // instead of the text's
  bool loop = false;              // last hits ring over into the start: a seamless loop
  std::optional<uint32_t> seed;   // instead of the text's
  std::optional<std::pair<int32_t, int32_t>> humanize;  // MS, PERCENT instead of the text's
  std::optional<bool> choke;      // instead of the text's
  KeyMap keys;                    // KEY=DRUM for lines named by a key number
  std::optional<int32_t> channels;  // 1 or 2 instead of the text's (stereo when it says
                                    // `stereo`, a line has pan= or `pans` sets any kind)
  PanMap pans;                    // kinds' positions for lines without pan=
};

// The most hits a beat may have, to keep the hit list far below the size of the mix: a 4-line
// beat of sixteenth notes at tempo 120 reaches it after 36 hours.
inline constexpr int64_t kMaxBeatHits = int64_t{1} << 22;

// The sample where step s starts: floor((100 s + w(s)) x 60 R / (100 B P)), w(s) = 2 (W - 50) for
// odd steps. Exact as long as the track's length has been checked against the WAV limit.
int64_t StepStart(int64_t step, int32_t sampleRate, int32_t tempo, int32_t stepsPerBeat,
                  int32_t swing);

// A run of consecutive plays with one tempo, steps per beat and swing: its steps are timed from
// its own start, so a change costs at most one floor at the boundary.
struct Segment {
  int64_t start = 0;   // A_k: its first sample
  double startBeats = 0;  // where it starts, in beats from the song's start
  int64_t length = 0;  // L_k = floor(T_k x 60 R / (B P))
  int32_t tempo = 0, steps = 0, swing = 0;
  int64_t firstPlay = 0, plays = 0;  // which plays it holds
  int64_t totalSteps = 0;            // T_k: its plays' steps added
};

// What a drum line played in the whole song: its hits (bracket cells each one, grace notes
// none), its flams and drags, and its ? cells, and of those the ones that sounded.
struct LineTally {
  int64_t hits = 0, flams = 0, drags = 0, chances = 0, sounded = 0;
};

// Where a sounding hit of a beat came from, for its label and its MIDI note.
struct HitSource {
  int32_t pattern = 0;  // which pattern played it
  int32_t step = 0;     // its step in the pattern, from 0
  int32_t key = 0;      // its General MIDI key: the line's number, or its kind's key
  double beats = 0;     // where it starts in beats from the song's start: the grid with swing and
                        // bracket cells exactly, the shift, the human feel and a grace note's
                        // lead in samples at the segment's tempo
};

// How a beat was laid out: the plays, the segments, and how often each pattern played.
struct BeatLayout {
  int32_t tempo = 0;   // the song's tempo after the options
  int32_t repeat = 0;  // after the options
  uint32_t seed = 0;   // after the options, with the human feel and the choke
  int32_t humanizeMs = 0, humanizePercent = 0;
  bool choke = true;
  std::vector<int32_t> plays;
  std::vector<Segment> segments;
  std::vector<int64_t> playsOf;              // per pattern
  std::vector<std::vector<LineTally>> tally;  // per pattern, per line
  std::vector<int64_t> playStarts;  // per play: its first sample
  std::vector<double> playBeats;    // per play: where it starts, in beats
  double beats = 0;                 // the whole song's length in beats
  std::vector<HitSource> sources;   // per hit of the track, in the track's order
};

// Turns the beat into timed hits. Each lane (a kind's first line in a pattern, its second, ...;
// the same lane in every pattern) is a stem, numbered as it first appears in the text; lanes are
// mixed in that order, the hits of a lane in time order. Fails with status 12 for an option out of
// range, 11 for a rate below 1, 13 when the track would pass `limit` samples, kMaxBeatHits hits
// or kMaxPlays plays.
std::optional<Failure> BeatTrack(const Beat& beat, const BeatOptions& options, int64_t limit,
                                 Track& track, BeatLayout* layout = nullptr);

}  // namespace kettorin
