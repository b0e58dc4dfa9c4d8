// kettorin: drum tracks from the shell. The plain form plays a note string on one drum;
// `kettorin beat` mixes the drum lines of a beat file, and `kettorin midi` the drums of a Standard
// MIDI File. Every form builds one request for the library's road and prints what it reports.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/kettorin.h"
#include "platform/text.h"
#include "request/request.h"
#include "wav/flac_writer.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#endif

namespace {

constexpr const char* kUsage =
    "usage: kettorin [-d|--drum NAME] [-r|--rate HZ] [-t|--tempo BPM] [-o|--output FILE] "
    "NOTES...\n"
    "       kettorin beat FILE [-o OUT] [-r HZ] [-t BPM] [--repeat N] [--gain DB] "
    "[--no-normalize] [--loop] [--stems] [--seed N] [--humanize MS,PERCENT] [--no-choke] "
    "[--map KEY=DRUM]... [--stereo|--mono] [--pan DRUM=P]... [--labels CSV] [--midi MID]\n"
    "       kettorin midi FILE [-o OUT] [-r HZ] [--channel N] [--map KEY=DRUM]... [--gain DB] "
    "[--no-normalize] [--stems] [--no-choke] [--stereo|--mono] [--pan DRUM=P]... [--labels CSV] "
    "[--list]\n";

constexpr const char* kNotesHelp =
    "Notes: a letter A to G, then optionally # (sharp) or b (flat), then optionally a duration\n"
    "number N (default 4): the note lasts one beat divided by N. Any other character separates\n"
    "notes. Example: kettorin -d snare -t 100 \"C D E2 F#8 G1\"\n"
    "\n"
    "An output of - writes the WAV file to standard output (the report then goes to standard\n"
    "error).\n"
    "\n"
    "Exit status: 0 when the file was written, 2 for a usage error, otherwise the library's\n"
    "status: 10 null argument, 11 sample rate below 1, 12 tempo outside 1 to 999, 13 too long\n"
    "or out of memory, 14 output not written, 15 a beat or MIDI file that cannot be read.\n";

constexpr const char* kBeatHelp =
    "A beat file holds directives (tempo BPM, steps N per beat, swing PERCENT, repeat N) and drum\n"
    "lines: a drum name, optional pitch=NOTE ring=SECONDS level=GAIN, then the grid: x or o a\n"
    "hit, X or O an accent, g a ghost note, - or . a rest; | and blanks are for the eye.\n"
    "\n"
    "  tempo 104\n"
    "  swing 58\n"
    "  kick    x---x---x---x---\n"
    "  snare   ----X-------X--g\n"
    "  hihatc  ring=0.2 x-x-x-x-x-x-x-X-\n"
    "\n"
    "A song: patterns, each under its 'pattern NAME' line with its own tempo, steps and swing if\n"
    "it likes, and the order they play in, with counts and groups:\n"
    "\n"
    "  pattern verse\n"
    "  kick    x-----x-x-------\n"
    "  pattern fill\n"
    "  snare   ----X---xxxxXXXX\n"
    "  play    (verse*3 fill)*2\n";

constexpr const char* kMidiHelp =
    "The note-ons of channel 10 (--channel) play drums by their General MIDI key: 35, 36 kick;\n"
    "37, 38, 40 snare; 39 clap; 42, 44 hihatc; 46 hihato; 41, 43, 45 low_tom; 47, 48 mid_tom;\n"
    "50 high_tom; 56 cowbell; 51, 53, 59 ride; 49, 52, 55, 57 crash. Other keys are skipped and\n"
    "counted in the report; --map 54=cowbell plays one more. A hit sounds until the next hit of\n"
    "its drum, at most the drum's ring; velocity sets the level.\n"
    "\n"
    "--to-beat writes the drums as a song to edit instead (FILE.beat; -o - for standard output):\n"
    "bars from the file's time signatures, one line a drum, each hit on its nearest step as a\n"
    "level digit, and bars alike as one pattern: kettorin midi song.mid --to-beat --steps 4\n";

void PrintDrums() {
  for (const kettorin::DrumKindInfo& info : kettorin::kDrumKinds) {
    std::string keys(info.keys[0]);
    if (!info.keys[1].empty()) keys += ", " + std::string(info.keys[1]);
    std::printf("%-20s %-14.*s %.*s\n", keys.c_str(), static_cast<int>(info.displayName.size()),
                info.displayName.data(), static_cast<int>(info.sound.size()), info.sound.data());
  }
}

int UsageError(const std::string& message) {
  std::fprintf(stderr, "kettorin: %s\n%s", message.c_str(), kUsage);
  return 2;
}

#ifdef _WIN32
using Utf16 = std::wstring;
Utf16 ToUtf16(const std::string& utf8) {
  return kettorin::Utf8ToWide(utf8);
}
#else
using Utf16 = std::u16string;
Utf16 ToUtf16(const std::string& utf8) {
  return kettorin::Utf8ToUtf16(utf8);
}
#endif

kettorin::OutputPath MakeOutputPath(const std::string& utf8) {
#ifdef _WIN32
  return {utf8, kettorin::Utf8ToWide(utf8)};
#else
  return {utf8, utf8};
#endif
}

bool IsFolder(const std::string& path) {
#ifdef _WIN32
  const DWORD attributes = GetFileAttributesW(kettorin::Utf8ToWide(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
#else
  std::error_code ignored;
  return std::filesystem::is_directory(path, ignored);
#endif
}

// The whole content of a file, or of standard input for "-".
std::optional<std::string> ReadWhole(const std::string& path) {
  std::FILE* in = stdin;
  if (path != "-") {
#ifdef _WIN32
    in = _wfopen(kettorin::Utf8ToWide(path).c_str(), L"rb");
#else
    in = std::fopen(path.c_str(), "rb");
#endif
  }
#ifdef _WIN32
  if (in == stdin) _setmode(_fileno(stdin), _O_BINARY);
#endif
  if (in == nullptr) return std::nullopt;
  std::string content;
  char block[1 << 16];
  size_t got = 0;
  while ((got = std::fread(block, 1, sizeof block, in)) > 0) content.append(block, got);
  const bool failed = std::ferror(in) != 0;
  if (in != stdin) std::fclose(in);
  if (failed) return std::nullopt;
  return content;
}

// FILE with its extension replaced by .wav (appended when it has none).
std::string WavBeside(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  const size_t dot = path.find_last_of('.');
  const size_t end = dot != std::string::npos && dot > nameStart ? dot : path.size();
  return path.substr(0, end) + ".wav";
}

// What every form of the command shares: where the file goes and how it is stored.
struct OutputOptions {
  std::string output;
  int32_t rate = 44100;
  bool floatSamples = false;
  int32_t bits = 16;
  std::string format;  // wav or flac; empty: by the output's extension
  bool quiet = false;

  bool ToStandardOutput() const { return output == "-"; }

  kettorin::WavOutput Wav() const {
    kettorin::WavOutput wav;
    if (ToStandardOutput()) {
      wav.path = {"(standard output)", {}};
      wav.stream = stdout;
#ifdef _WIN32
      _setmode(_fileno(stdout), _O_BINARY);
#endif
    } else {
      wav.path = MakeOutputPath(output);
    }
    return wav;
  }

  // The report goes where the file does not, and nowhere when quiet; errors to standard error.
  kettorin::Printer Printer() const {
    std::FILE* report = quiet ? nullptr : ToStandardOutput() ? stderr : stdout;
    return [report](kettorin::Channel channel, std::string_view text) {
      std::FILE* stream = channel == kettorin::Channel::kReport ? report : stderr;
      if (stream != nullptr) std::fwrite(text.data(), 1, text.size(), stream);
    };
  }

  // The options every form shares.
  void Into(kettorin::RenderOptions& options) const {
    options.sampleRate = rate;
    options.format = floatSamples ? kettorin::WavFormat::kFloat32
                     : bits == 24 ? kettorin::WavFormat::kPcm24
                                  : kettorin::WavFormat::kPcm16;
    options.quiet = quiet;
    options.flac = Flac();
  }

  // A default name ending in .wav, for a FLAC file, ends in .flac instead.
  void DefaultToFlac() {
    if (output.size() > 4 && output.compare(output.size() - 4, 4, ".wav") == 0) {
      output.replace(output.size() - 4, 4, ".flac");
    }
  }

  // FLAC when asked for, or when the output's name ends in .flac.
  bool Flac() const {
    if (!format.empty()) return format == "flac";
    const std::string lower = [&] {
      std::string s = output;
      for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      return s;
    }();
    return lower.size() > 5 && lower.compare(lower.size() - 5, 5, ".flac") == 0;
  }
};

void AddOutputOptions(CLI::App& app, OutputOptions& options, const std::string& outputHelp) {
  app.add_option("-o,--output", options.output, outputHelp);
  app.add_option("-r,--rate", options.rate, "sample rate in hertz, at least 1 (default 44100)");
  CLI::Option* asFloat = app.add_flag("--float", options.floatSamples,
                                      "store the samples as 32-bit IEEE float instead of PCM");
  app.add_option("--bits", options.bits, "16 or 24: bits of each PCM sample (default 16)")
      ->check(CLI::IsMember({16, 24}))
      ->excludes(asFloat);
  app.add_option("--format", options.format,
                 "wav or flac (default: flac for an output named *.flac, otherwise wav)")
      ->check(CLI::IsMember({"wav", "flac"}));
  app.add_flag("-q,--quiet", options.quiet, "print no report (errors still go to standard error)");
}

// Checks that apply to every form before anything is rendered.
std::optional<std::string> OutputProblem(const OutputOptions& options) {
  if (options.Flac()) {
    if (!kettorin::FlacAvailable()) {
      return std::string("FLAC files need libsndfile, which this build was made without");
    }
    if (options.floatSamples) return std::string("a FLAC file holds 16- or 24-bit samples, not --float");
    if (options.ToStandardOutput()) return std::string("a FLAC file needs a file, not standard output");
  }
  if (!options.ToStandardOutput() && IsFolder(options.output)) {
    return "the output '" + options.output + "' is a folder; name a file in it, such as '" +
           options.output + "/out.wav'";
  }
  return std::nullopt;
}

// Runs a request; its status becomes the exit code.
template <class Call>
int FinishCommand(Call call) {
  int32_t status = 0;
  try {
    status = call();
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "Error: Memory allocation failed.\n");
    status = KETTORIN_NO_STORAGE;
  }
  std::fflush(stdout);
  return status == KETTORIN_DONE ? 0 : status;
}

// ---- kettorin NOTES... --------------------------------------------------------------------------

struct PlainOptions {
  std::string drum = "kick";
  int32_t tempo = 120;
  std::vector<std::string> notes;
  OutputOptions out;  // out.wav (out.flac for --format flac) without -o
};

// The request's strings as the exported call would receive them from a host: the arguments in
// UTF-16, narrowed as the library narrows them (the ANSI code page on Windows), so that the
// report and the notes played do not depend on -q, --float or -o.
std::string AsTheLibraryNarrows(const std::string& utf8) {
  const Utf16 wide = ToUtf16(utf8);
#ifdef _WIN32
  return kettorin::WideToAnsi(wide);
#else
  return kettorin::Utf16ToUtf8(wide);
#endif
}

int RunPlain(PlainOptions options) {
  if (options.notes.empty()) return UsageError("no notes given");
  if (options.out.output.empty()) {
    options.out.output = "out.wav";
    if (options.out.format == "flac") options.out.DefaultToFlac();
  }
  if (const std::optional<std::string> problem = OutputProblem(options.out)) {
    return UsageError(*problem);
  }
  std::string notes;
  for (const std::string& word : options.notes) notes += (notes.empty() ? "" : " ") + word;

  // The library plays the kick for a name it does not know, as its callers rely on; a person at
  // the shell is told.
  if (!kettorin::FindDrumKind(options.drum)) {
    std::fprintf(stderr,
                 "kettorin: no drum is named '%s', so the kick plays (kettorin --list-drums shows "
                 "the names)\n",
                 options.drum.c_str());
  }
  const std::string text = AsTheLibraryNarrows(notes);
  kettorin::Request request{kettorin::Source::kNotes, text};
  options.out.Into(request.options);
  request.options.drum = AsTheLibraryNarrows(options.drum);
  request.options.tempo = options.tempo;
  kettorin::WavOutput wav = options.out.Wav();
  if (!options.out.ToStandardOutput()) {
    wav.path.display = AsTheLibraryNarrows(options.out.output);
  }
  return FinishCommand(
      [&] { return kettorin::RenderToFiles(request, wav, options.out.Printer()); });
}

// ---- what kettorin beat and kettorin midi share ----------------------------------------------

// A file of timed hits in, a mixed track (and stems) out.
struct TrackCommandOptions {
  std::string file;
  std::optional<double> gainDb;
  bool noNormalize = false;
  bool stems = false;
  bool noChoke = false;
  std::vector<std::string> map;
  bool stereo = false, mono = false;
  std::vector<std::string> pan;
  std::string labels;  // a CSV file of the hits' labels
  OutputOptions out;

  kettorin::Request Request(kettorin::Source source, std::string_view input) const {
    kettorin::Request request{source, input};
    out.Into(request.options);
    request.options.gainDb = gainDb;
    request.options.normalize = !noNormalize;
    request.options.stems = stems;
    if (noChoke) request.options.choke = false;
    request.options.keyMap = keyMap;
    if (stereo) request.options.channels = 2;
    if (mono) request.options.channels = 1;
    request.options.pans = pans;
    request.sourceName = sourceName;
    return request;
  }

  std::string sourceName;  // set by PrepareTrackCommand
  kettorin::KeyMap keyMap;  // read from `map` by PrepareTrackCommand
  kettorin::PanMap pans;    // read from `pan` by PrepareTrackCommand
};

void AddTrackOptions(CLI::App& command, TrackCommandOptions& options, const std::string& fileHelp,
                     const std::string& stemsHelp) {
  command.add_option("file", options.file, fileHelp)->required();
  AddOutputOptions(command, options.out,
                   "WAV file to create or replace (default: FILE with the extension .wav)");
  command
      .add_option("--gain", options.gainDb, "decibels added to the mix before its peak is measured")
      ->check(CLI::Validator(
          [](std::string& text) {
            const double db = std::strtod(text.c_str(), nullptr);
            return std::isfinite(db) && std::fabs(db) <= kettorin::kMaxGainDb
                       ? std::string()
                       : std::string("a number of decibels from -120 to 120");
          },
          "DB"));
  command.add_flag("--no-normalize", options.noNormalize,
                   "keep the mix as it is even when its peak passes full scale");
  command.add_flag("--stems", options.stems, stemsHelp);
  command
      .add_option("--map", options.map,
                  "KEY=DRUM: play key 0 to 127 with a drum (repeatable), such as 54=cowbell")
      ->allow_extra_args(false);
  command.add_flag("--no-choke", options.noChoke,
                   "let an open hi-hat ring on through the closed hi-hats after it");
  command.add_option("--labels", options.labels,
                     "also write a CSV file of every hit: start sample and seconds, lane, kind, "
                     "key, level, length (and pattern and step of a beat)");
  CLI::Option* stereo = command.add_flag(
      "--stereo", options.stereo, "two channels, each drum at its pan (see --pan and pan=)");
  command.add_flag("--mono", options.mono, "one channel, whatever the input says (pans ignored)")
      ->excludes(stereo);
  command
      .add_option("--pan", options.pan,
                  "DRUM=P: place a drum at -1 (left) to 1 (right), such as ride=0.5 "
                  "(repeatable; stereo unless --mono)")
      ->allow_extra_args(false);
}

// Fills in the default output and reads the input file; an exit code when that fails.
std::variant<std::string, int> PrepareTrackCommand(TrackCommandOptions& options) {
  for (const std::string& mapping : options.map) {
    if (const std::optional<std::string> problem = kettorin::AddKeyMapping(mapping, options.keyMap)) {
      return UsageError("--map: " + *problem);
    }
  }
  for (const std::string& pan : options.pan) {
    if (const std::optional<std::string> problem = kettorin::AddPanSetting(pan, options.pans)) {
      return UsageError("--pan: " + *problem);
    }
  }
  if (options.out.output.empty()) {
    options.out.output = options.file == "-" ? "out.wav" : WavBeside(options.file);
    if (options.out.format == "flac") options.out.DefaultToFlac();
  }
  if (options.stems && options.out.ToStandardOutput()) {
    return UsageError("--stems needs an output file, not standard output");
  }
  if (const std::optional<std::string> problem = OutputProblem(options.out)) {
    return UsageError(*problem);
  }
  options.sourceName = options.file == "-" ? "(standard input)" : options.file;
  std::optional<std::string> content = ReadWhole(options.file);
  if (!content) {
    return UsageError("cannot read '" + options.file + "': " + std::strerror(errno));
  }
  return std::move(*content);
}

// ---- kettorin beat FILE -------------------------------------------------------------------------

struct BeatCommandOptions {
  std::optional<int32_t> tempo;
  std::optional<int32_t> repeat;
  bool loop = false;
  std::string midi;  // a MIDI file of the beat
  std::optional<std::string> seed, humanize;  // checked by the options' own rules
  TrackCommandOptions track;
};

// The files a command writes beside its sound: labels, and a beat's MIDI file.
kettorin::SideFiles SideFilesOf(const TrackCommandOptions& track, const std::string& midi,
                                bool sound) {
  kettorin::SideFiles side;
  side.sound = sound;
  if (!track.labels.empty()) side.labels = MakeOutputPath(track.labels);
  if (!midi.empty()) side.midi = MakeOutputPath(midi);
  return side;
}

int RunBeat(BeatCommandOptions options) {
  // --midi alone writes only the MIDI file; with -o the sound as well.
  const bool sound = options.midi.empty() || !options.track.out.output.empty() ||
                     !options.track.labels.empty() || options.track.stems;
  std::variant<std::string, int> text = PrepareTrackCommand(options.track);
  if (const int* exit = std::get_if<int>(&text)) return *exit;
  kettorin::Request request =
      options.track.Request(kettorin::Source::kBeat, std::get<std::string>(text));
  request.options.tempo = options.tempo;
  request.options.repeat = options.repeat;
  request.options.loop = options.loop;
  for (const auto& [name, value] : {std::pair{"seed", options.seed},
                                    std::pair{"humanize", options.humanize}}) {
    if (!value) continue;
    if (const std::optional<kettorin::Failure> bad =
            kettorin::SetOption(request.options, name, *value)) {
      return UsageError("--" + std::string(name) + ": " + bad->message);
    }
  }
  const kettorin::SideFiles side = SideFilesOf(options.track, options.midi, sound);
  return FinishCommand([&] {
    return kettorin::RenderToFiles(request, options.track.out.Wav(), side,
                                   options.track.out.Printer());
  });
}

// ---- kettorin midi FILE -------------------------------------------------------------------------

struct MidiCommandOptions {
  int32_t channel = kettorin::kDefaultMidiChannel;
  bool list = false;
  bool toBeat = false;
  std::optional<int32_t> steps;  // with toBeat
  TrackCommandOptions track;
};

// kettorin midi FILE --to-beat: the drums as a song to edit, written as beat text (FILE.beat).
int RunMidiToBeat(MidiCommandOptions options) {
  OutputOptions& out = options.track.out;
  if (out.output.empty() && options.track.file != "-") {
    out.output = WavBeside(options.track.file);
    out.output.replace(out.output.size() - 4, 4, ".beat");
  } else if (out.output.empty()) {
    out.output = "out.beat";
  }
  out.format = "wav";  // the output is text, whatever its name: no FLAC rule applies
  std::variant<std::string, int> content = PrepareTrackCommand(options.track);
  if (const int* exit = std::get_if<int>(&content)) return *exit;
  kettorin::Request request =
      options.track.Request(kettorin::Source::kMidi, std::get<std::string>(content));
  request.options.channel = options.channel;
  const kettorin::WavOutput file = out.Wav();  // the file, or standard output in binary mode
  return FinishCommand(
      [&] { return kettorin::MidiSongToFile(request, options.steps, file, out.Printer()); });
}

int RunMidi(MidiCommandOptions options) {
  if (options.toBeat) return RunMidiToBeat(std::move(options));
  if (options.list) {  // nothing is written: no output to check
    options.track.out.output = "-";
    options.track.stems = false;
  }
  std::variant<std::string, int> content = PrepareTrackCommand(options.track);
  if (const int* exit = std::get_if<int>(&content)) return *exit;
  kettorin::Request request =
      options.track.Request(kettorin::Source::kMidi, std::get<std::string>(content));
  request.options.channel = options.channel;
  const kettorin::Printer print = options.track.out.Printer();
  return FinishCommand([&] {
    if (!options.list) {
      return kettorin::RenderToFiles(request, options.track.out.Wav(),
                                     SideFilesOf(options.track, "", true), print);
    }
    // The listing: the hits the file plays and the keys it skips, rendering nothing.
    kettorin::Plan plan;
    if (const std::optional<kettorin::Failure> failure = kettorin::PlanRequest(request, plan)) {
      print(kettorin::Channel::kError, kettorin::ErrorLine(plan, *failure));
      return failure->status;
    }
    const std::string listing = kettorin::MidiListing(plan);
    std::fwrite(listing.data(), 1, listing.size(), stdout);
    return static_cast<int32_t>(kettorin::kStatusDone);
  });
}

// ---- the command line -------------------------------------------------------------------------

int Run(std::vector<std::string> args) {
  CLI::App app{"Drum tracks synthesised from formulas, written as WAV files.\n", "kettorin"};
  app.allow_windows_style_options(false);
  app.footer(kNotesHelp);
  app.set_version_flag("--version", std::string("kettorin ") + KETTORIN_VERSION);
  app.add_flag_callback(
      "--list-drums",
      [] {
        PrintDrums();
        throw CLI::Success();
      },
      "list the drum kinds and exit");

  PlainOptions plain;
  app.add_option("-d,--drum", plain.drum, "drum kind (default kick; see --list-drums)");
  app.add_option("-t,--tempo", plain.tempo, "beats per minute, 1 to 999 (default 120)");
  AddOutputOptions(app, plain.out, "WAV file to create or replace (default out.wav)");
  app.add_option("notes", plain.notes, "the notes, joined with single spaces");

  BeatCommandOptions beat;
  CLI::App* beatCommand =
      app.add_subcommand("beat", "mix the drum lines of a beat file into one track");
  beatCommand->footer(kBeatHelp);
  AddTrackOptions(*beatCommand, beat.track, "the beat file (- for standard input)",
                  "also write one file per lane (drum line), beside the output");
  beatCommand->add_option("-t,--tempo", beat.tempo,
                          "beats per minute instead of the song's (a pattern's own tempo stays)");
  beatCommand
      ->add_option("--repeat", beat.repeat, "times the whole order is played, instead of the file's")
      ->check(CLI::Range(kettorin::kMinRepeat, kettorin::kMaxRepeat));
  beatCommand->add_flag("--loop", beat.loop,
                        "let the last hits ring over into the start: a seamless loop");
  beatCommand->add_option("--midi", beat.midi,
                          "write the beat as a Standard MIDI File (only that, unless -o is given)");
  beatCommand->add_option("--seed", beat.seed,
                          "the seed of ? cells and the human feel, instead of the file's");
  beatCommand->add_option("--humanize", beat.humanize,
                          "MS,PERCENT: hits move by up to +-MS ms and their levels by up to "
                          "+-PERCENT %, instead of the file's");

  MidiCommandOptions midi;
  CLI::App* midiCommand =
      app.add_subcommand("midi", "render the drums of a Standard MIDI File with the eleven voices");
  midiCommand->footer(kMidiHelp);
  AddTrackOptions(*midiCommand, midi.track, "the MIDI file (- for standard input)",
                  "also write one file per drum kind that has hits, beside the output");
  midiCommand
      ->add_option("--channel", midi.channel, "the channel of the drums, 1 to 16 (default 10)")
      ->check(CLI::Range(kettorin::kMinMidiChannel, kettorin::kMaxMidiChannel));
  midiCommand->add_flag("--list", midi.list,
                        "print the hits found and the keys skipped; render nothing");
  CLI::Option* toBeat =
      midiCommand->add_flag("--to-beat", midi.toBeat,
                            "write the drums as a beat text to edit (FILE.beat), not a WAV file");
  midiCommand
      ->add_option("--steps", midi.steps,
                   "steps per beat of --to-beat's grid, 1 to 64 (default: the fewest of 2, 3, 4, "
                   "6, 8, 12, 16 that fit)")
      ->check(CLI::Range(kettorin::kMinSteps, kettorin::kMaxSteps))
      ->needs(toBeat);
  for (const char* sound : {"--list", "--stems", "--gain", "--no-normalize", "--no-choke",
                            "--stereo", "--mono", "--pan", "--rate", "--float", "--bits",
                            "--format"}) {
    toBeat->excludes(midiCommand->get_option(sound));
  }

  try {
    std::reverse(args.begin(), args.end());  // CLI11 takes them last first
    app.parse(args);
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() == 0) return app.exit(e);  // --help, --version, --list-drums
    return UsageError(e.what());
  }
  if (*beatCommand) return RunBeat(beat);
  if (*midiCommand) return RunMidi(midi);
  return RunPlain(plain);
}

}  // namespace

#ifdef _WIN32
// Arguments arrive as UTF-16 from the system, and go on as UTF-8 until the call.
int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, nullptr, 0, nullptr, nullptr);
    std::string arg(bytes > 0 ? static_cast<size_t>(bytes - 1) : 0, '\0');
    if (bytes > 1)
      WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, arg.data(), bytes, nullptr, nullptr);
    args.push_back(arg);
  }
  return Run(args);
}
#else
int main(int argc, char** argv) {
  return Run(std::vector<std::string>(argv + 1, argv + argc));
}
#endif
