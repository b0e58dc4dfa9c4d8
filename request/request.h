// One road under every door. The command, the exported calls, the Python package and the page
// each build a Request (what to render and every option), plan it, and hand the result to a sink:
// the caller's memory, the page's bytes, or files with the report as text. Nothing here prints:
// the doors print the text the road gives them.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "beat/beat.h"
#include "compose/compose.h"
#include "midi/midi_to_beat.h"
#include "midi/midi_track.h"
#include "track/status.h"
#include "track/track.h"
#include "wav/wav_writer.h"

namespace kettorin {

// What a request renders.
enum class Source : uint8_t {
  kNotes,  // a note string on one drum
  kBeat,   // a beat text
  kMidi,   // the bytes of a Standard MIDI File
};

// Every option any door offers, in one model. A new option is added here, to the option table
// (request/options.cpp) and to the plan, and every door has it.
struct RenderOptions {
  int32_t sampleRate = 44100;     // hertz, at least 1
  std::string drum = "kick";      // notes: the drum that plays them
  std::optional<int32_t> tempo;   // notes: beats per minute (120 without); beats: the text's own
                                  // is used without it
  std::optional<int32_t> repeat;  // beats: passes of the grid instead of the text's
  bool loop = false;              // beats: the last hits ring over into the start
  std::optional<double> gainDb;   // beats and MIDI: the mix raised or lowered before its peak
  bool normalize = true;          // beats and MIDI: lowered to full scale when it passes it
  int32_t channel = kDefaultMidiChannel;  // MIDI: the channel of the drums
  KeyMap keyMap;                          // MIDI and beats: KEY=DRUM over the General MIDI keys
  std::optional<uint32_t> seed;           // beats: the draws' seed instead of the text's
  std::optional<std::pair<int32_t, int32_t>> humanize;  // beats: MS, PERCENT instead of the text's
  std::optional<bool> choke;              // beats and MIDI: a closed hi-hat stops an open one
  std::optional<int32_t> channels;        // 1 or 2: mono or stereo instead of the source's own
                                          // (a beat's text may say stereo; MIDI is mono)
  PanMap pans;                            // beats and MIDI: kinds' positions, -1 to 1; stereo
  WavFormat format = WavFormat::kPcm16;   // files: 16- or 24-bit PCM, or 32-bit float
  bool flac = false;                      // files: FLAC (16- or 24-bit) instead of WAV
  bool stems = false;                     // files: also one file per drum line or kind
  bool quiet = false;                     // file calls: no report
};

// The tempo a note string is played at without one.
inline constexpr int32_t kDefaultNoteTempo = 120;

struct Request {
  Request() = default;
  Request(Source from, std::string_view what) : source(from), input(what) {}

  Source source = Source::kBeat;
  std::string_view input;  // the notes, the beat text, or the MIDI file's bytes
  RenderOptions options;
  std::string_view sourceName;  // how error lines name the input ("groove.beat"), or nothing
};

// A request read and laid out: what it plays, how long it lasts and what its report says, all
// known before a sample is rendered. It keeps views into the request's strings.
struct Plan {
  Source source = Source::kBeat;
  RenderOptions options;
  std::string_view input;
  std::string_view sourceName;
  int32_t sampleRate = 0;
  int64_t length = 0;                  // frames: samples of each channel
  int32_t channels = 1;                // 2: every frame is a left and a right sample
  Composition composition;             // notes
  Beat beat;                           // beats: the text as read
  BeatLayout layout;                   // beats: the plays and segments
  MidiPlan midi;                       // MIDI: the file as read (its track below)
  Track track;                         // beats and MIDI: the hits
  std::optional<BeatError> readError;  // beats: where a text that cannot be read is wrong
};

// Reads and lays out the request. Fails with the status and message of the first check that
// fails, in the order the source's calls have always checked them.
std::optional<Failure> PlanRequest(const Request& request, Plan& plan);

// 11 when a file of the format cannot store the rate: its byte rate (rate x bytes a sample x
// channels) is a 32-bit count.
std::optional<Failure> CheckFileRate(int32_t sampleRate, WavFormat format, int32_t channels = 1);

// Renders the mix into out (plan.length x plan.channels samples, a stereo frame's left sample
// first): the notes one after another, or the hits added and the headroom applied over both
// channels. Returns what the headroom did.
Levels RenderMix(const Plan& plan, std::span<float> out);

// Stems: one per lane of a beat or drum kind of a MIDI file (none for notes). A stem is
// rendered on its own, from its hits alone, with the factors the mix was given.
int32_t StemCount(const Plan& plan);
DrumKind StemKind(const Plan& plan, int32_t stem);
// A beat's hihat lane (open and closed hats in one stem).
bool StemIsHiHat(const Plan& plan, int32_t stem);
// The stem's lane as files name it: "kick", "kick.2" for the kind's second, "hihat".
std::string StemName(const Plan& plan, int32_t stem);
void RenderStem(const Plan& plan, int32_t stem, const Levels& mixLevels, std::span<float> out);

// ---- The report, as the text the doors print -----------------------------------------------

// Everything before the created lines: the header, one line a note or a drum, the levels.
std::string ReportHead(const Plan& plan, const Levels& levels);
// "✓ Created: NAME", for each file written.
std::string CreatedLine(const OutputPath& path);
// The closing duration line.
std::string ReportTail(const Plan& plan);
// What `kettorin midi --list` prints: the header, then every hit and the total.
std::string MidiListing(const Plan& plan);
// The line a failed request prints on standard error, newline included: "Error: ..." or, for a
// named input that cannot be read, "NAME:LINE: ..." and "NAME: byte N: ...".
std::string ErrorLine(const Plan& plan, const Failure& failure);

// ---- For DAWs, samplers and datasets ------------------------------------------------------------

// A beat's markers: one at each play's first sample, named by its pattern ("pass N" for the
// passes of a grid without patterns). None for other sources.
std::vector<WavCue> Cues(const Plan& plan);

// A beat as a Standard MIDI File of format 0 on channel 10, 960 ticks a quarter note: a tempo at
// each segment, a time signature where a pattern's length in beats changes, a marker at each
// play, and each sounding hit at the tick nearest its start (its key the line's number or its
// kind's General MIDI key, its velocity round(level x 127) within 1 to 127, its note-off after
// its length in ticks, at least 1). Fails with status 15 for other sources.
std::optional<Failure> BeatMidi(const Plan& plan, std::vector<uint8_t>& bytes);

// One CSV line per sounding hit, sorted by start and then lane, under the header
// "start_sample,start_seconds,lane,kind,key,level,length,pattern,step": its first sample, that
// in seconds to 9 decimals, its lane as stems are named, its kind, its General MIDI key, its
// level before the headroom, its length in samples, and for a beat its pattern (empty for a grid
// without patterns) and its step in the pattern from 0.
std::string LabelsCsv(const Plan& plan);

// ---- Files ------------------------------------------------------------------------------------

// Where the doors' text goes as it arises: the report, a warning, or an error line.
enum class Channel : uint8_t { kReport, kWarning, kError };
using Printer = std::function<void(Channel, std::string_view)>;

// The file sink: plans the request, renders it, writes the mix to `mix` (and the stems beside it,
// when the options ask), and hands every line of the report and every error to `print` in order.
// Returns the call's status; `failure`, when given, receives the first failure's status and
// message (without "Error: ").
int32_t RenderToFiles(const Request& request, const WavOutput& mix, const Printer& print,
                      Failure* failure = nullptr);

// Files written beside the sound, or instead of it.
struct SideFiles {
  bool sound = true;                   // false: only the files below
  std::optional<OutputPath> labels;    // the hits' labels (LabelsCsv)
  std::optional<OutputPath> midi;      // a beat as a MIDI file (BeatMidi)
};
int32_t RenderToFiles(const Request& request, const WavOutput& mix, const SideFiles& side,
                      const Printer& print, Failure* failure = nullptr);

// How the plan's files store their samples: the options' format and FLAC, the plan's channels,
// and a beat's markers at its plays and, with a loop, its loop (WAV files only).
WavInfo FileInfo(const Plan& plan);

// Says how writing one file went, on the door's printer: a warning when it was written straight
// into its target, then its error line (false, with `failure` set) or its created line.
bool SayWritten(const WavOutput& output, const std::optional<WriteError>& error,
                const std::string& inPlace, const Printer& print, Failure* failure);

// The file of a plan's stem, beside the mix and named after it and the kind's first key:
// groove.wav -> groove.kick.wav; the second stem of a kind groove.kick.2.wav.
OutputPath StemPath(const Plan& plan, int32_t stem, const OutputPath& mix);

// ---- Options by name ---------------------------------------------------------------------------

// One option as the C calls, Python and the page name it.
struct OptionInfo {
  std::string_view name;
  std::string_view value;  // what it takes
  std::string_view help;
};
std::span<const OptionInfo> Options();

// Sets an option from its text, as the C calls, Python and the page give it: "rate" "48000",
// "loop" "1", "map" "54=cowbell" (each one adds a mapping; "" clears them). Fails with status 15
// for an unknown name or a value of the wrong form; ranges are checked when the request is planned.
std::optional<Failure> SetOption(RenderOptions& options, std::string_view name,
                                 std::string_view value);

// ---- A MIDI file's drums as a song to edit --------------------------------------------------

// A MIDI request made into a song: the song as data, and its text.
struct SongPlan {
  MidiSong song;
  std::string text;  // WriteBeat's, which ReadBeat reads back as the same song
};

// Makes the request's MIDI file (its channel and key map) into a song of `steps` per beat, or of
// the fewest that fit. Options that only shape the sound are refused with status 15, as options
// that do not apply to a source are; the rest as MidiToBeat fails.
std::optional<Failure> PlanMidiSong(const Request& request, std::optional<int32_t> steps,
                                    SongPlan& plan);

// The conversion's report: bars and patterns, the grid and its worst hit, hits placed and merged,
// the keys skipped and any warning.
std::string MidiSongReport(const SongPlan& plan);

// The text sink: makes the song, writes its text, and hands the report, the created line and any
// error to `print` in order. Returns the call's status; `failure` as for RenderToFiles.
int32_t MidiSongToFile(const Request& request, std::optional<int32_t> steps,
                       const WavOutput& output, const Printer& print, Failure* failure = nullptr);

}  // namespace kettorin
