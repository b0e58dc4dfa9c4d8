// The page's door to the core: beat text to grid and back, rendering, and the WAV bytes, all done
// by the code the command runs, so that the page and the command cannot disagree. The page's
// JavaScript holds the controls and nothing else.
#include <emscripten/bind.h>
#include <emscripten/val.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "beat/beat.h"
#include "beat/order.h"
#include "request/request.h"
#include "track/sample_storage.h"
#include "wav/wav_writer.h"

namespace kettorin {
namespace {

using emscripten::val;

// A refusal as the command reports it: the message follows "Error: " there.
val Refusal(int32_t line, const std::string& message) {
  val result = val::object();
  result.set("ok", false);
  result.set("line", line);
  result.set("message", message);
  return result;
}

// A copy of the samples in JavaScript's own memory, so that a later render cannot move them.
val Float32Copy(std::span<const float> samples) {
  return val(emscripten::typed_memory_view(samples.size(), samples.data())).call<val>("slice");
}

// The drum kinds the page offers: the name a beat line uses, the report's name, and the defaults.
val DrumKinds() {
  val kinds = val::array();
  for (const DrumKindInfo& info : kDrumKinds) {
    val kind = val::object();
    kind.set("key", std::string(ShortName(info.kind)));
    kind.set("name", std::string(info.displayName));
    kind.set("sound", std::string(info.sound));
    kind.set("followsPitch", info.followsPitch);
    kind.set("ring", info.ringSeconds);
    kind.set("pan", info.pan);
    kinds.call<void>("push", kind);
  }
  return kinds;
}

// A pattern's lines for the page: [{kind, hihat, key, pitch, ring, ringGiven, level, flam, chance,
// shift, pan, steps, cells, lineNumber}]. `kind` is a hihat line's closed hat, `key` the General
// MIDI key a line was named by (null for a name), `pan` the line's pan= (null without: its drum's
// place); `steps` holds every cell, a bracket's in [ ] ("x-[xx]-"), and `cells` the same one step
// a string.
val LineRows(const BeatPattern& pattern) {
  val lines = val::array();
  for (const BeatLine& line : pattern.lines) {
    val row = val::object();
    row.set("kind", std::string(ShortName(line.kind)));
    row.set("hihat", line.hihat);
    row.set("key", line.key ? val(*line.key) : val::null());
    row.set("pitch", std::string(line.pitch.c_str()));
    row.set("ring", line.ring);
    row.set("ringGiven", line.ringGiven);
    row.set("level", line.level);
    row.set("flam", line.flam);
    row.set("chance", line.chance);
    row.set("shift", line.shift);
    row.set("pan", line.pan ? val(*line.pan) : val::null());
    std::string steps;
    val cells = val::array();
    for (const std::string& cell : StepTexts(line.steps, line.brackets)) {
      steps += cell;
      cells.call<void>("push", cell);
    }
    row.set("steps", steps);
    row.set("cells", cells);
    row.set("lineNumber", line.lineNumber);
    lines.call<void>("push", row);
  }
  return lines;
}

// The accent line as the page shows it, X for an accented step and - for the others; null for a
// pattern without one.
val AccentRow(const BeatPattern& pattern) {
  if (pattern.accents.empty()) return val::null();
  std::string row;
  for (bool accented : pattern.accents) row += accented ? 'X' : '-';
  return val(row);
}

// What each cell symbol plays, for the page to draw: [{symbol, level, graces, graceLevel, open}],
// the level of its hit, how many grace notes come before it and theirs; `open` for a hihat line's
// open hat.
val CellKinds() {
  val kinds = val::array();
  for (int s = static_cast<int>(Step::kRest); s < static_cast<int>(Step::kBracket); ++s) {
    const auto step = static_cast<Step>(s);
    val kind = val::object();
    kind.set("symbol", std::string(1, StepSymbol(step)));
    kind.set("level", StepLevel(step));
    kind.set("graces", GraceNotes(step));
    kind.set("graceLevel", kGraceLevel);
    kind.set("open", step == Step::kOpen || step == Step::kOpenAccent);
    kinds.call<void>("push", kind);
  }
  return kinds;
}

val Optional(const std::optional<int32_t>& value) {
  return value ? val(*value) : val::null();
}

// The page's options, {name: value}, set by name through the road's own option table, so that
// every option the road has reaches the page with the same words and checks.
std::optional<Failure> ReadOptions(const val& given, RenderOptions& options) {
  if (given.isUndefined() || given.isNull()) return std::nullopt;
  const val names = val::global("Object").call<val>("keys", given);
  const int32_t count = names["length"].as<int32_t>();
  for (int32_t i = 0; i < count; ++i) {
    const std::string name = names[i].as<std::string>();
    const val value = given[name];
    if (value.isUndefined() || value.isNull()) continue;
    // A list sets the option once for each of its values: each "map" adds one mapping.
    const bool list = val::global("Array").call<bool>("isArray", value);
    const int32_t values = list ? value["length"].as<int32_t>() : 1;
    for (int32_t v = 0; v < values; ++v) {
      const val one = list ? value[v] : value;
      const std::string text = one.isTrue()    ? "1"
                               : one.isFalse() ? "0"
                                               : val::global("String")(one).as<std::string>();
      if (auto failure = SetOption(options, name, text)) return failure;
    }
  }
  return std::nullopt;
}

// Beat text -> {ok, tempo, steps, swing, repeat, seed, humanizeMs, humanizePercent, choke, stereo,
// song, patterns: [{name, tempo, steps, swing, lineNumber, lines, accent, accentLine}], play,
// lines}: `stereo` is the text's stereo line (a line's pan= makes it stereo too); a pattern's
// tempo, steps and swing are null where it takes the song's, its accent null without an accent
// line; `play` is the order as a play line gives it ("" for every pattern once); `lines` are
// the first pattern's. Or the reader's refusal. Lines named by a key number play what `keys` gives
// them over the General MIDI table.
val GridOf(const std::string& text, const KeyMap& keys) {
  Beat beat;
  if (const std::optional<BeatError> error = ReadBeat(text, beat, keys)) {
    return Refusal(error->line, Describe(*error));
  }
  val grid = val::object();
  grid.set("ok", true);
  grid.set("tempo", beat.tempo);
  grid.set("steps", beat.steps);
  grid.set("swing", beat.swing);
  grid.set("repeat", beat.repeat);
  grid.set("seed", beat.seed);
  grid.set("humanizeMs", beat.humanizeMs);
  grid.set("humanizePercent", beat.humanizePercent);
  grid.set("choke", beat.choke);
  grid.set("stereo", beat.stereo);
  grid.set("song", beat.IsSong());
  val patterns = val::array();
  for (const BeatPattern& pattern : beat.patterns) {
    val entry = val::object();
    entry.set("name", pattern.name);
    entry.set("tempo", Optional(pattern.tempo));
    entry.set("steps", Optional(pattern.steps));
    entry.set("swing", Optional(pattern.swing));
    entry.set("lineNumber", pattern.lineNumber);
    entry.set("lines", LineRows(pattern));
    entry.set("accent", AccentRow(pattern));
    entry.set("accentLine", pattern.accentLine);
    patterns.call<void>("push", entry);
  }
  grid.set("patterns", patterns);
  grid.set("play", WriteOrder(beat));
  grid.set("lines", LineRows(beat.patterns[0]));
  return grid;
}

// The same, with the road's options: {map: ["54=cowbell"]} for lines named by a key number.
val ParseBeatWith(const std::string& text, const val& options) {
  RenderOptions read;
  if (auto failure = ReadOptions(options, read)) return Refusal(0, failure->message);
  return GridOf(text, read.keyMap);
}

val ParseBeat(const std::string& text) {
  return GridOf(text, {});
}

// A beat's text read back as the grid ParseBeat gives, its lines named by a key number playing
// the drums they play now, whatever map they were first read with.
val ReadBack(const Beat& beat) {
  KeyMap keys;
  for (const BeatPattern& pattern : beat.patterns) {
    for (const BeatLine& line : pattern.lines) {
      if (line.key) keys.emplace_back(*line.key, line.kind);
    }
  }
  return GridOf(WriteBeat(beat), keys);
}

std::optional<int32_t> OptionalInt(const val& value) {
  if (value.isUndefined() || value.isNull()) return std::nullopt;
  return value.as<int32_t>();
}

bool Given(const val& value) {
  return !value.isUndefined() && !value.isNull();
}

float FloatOr(const val& value, float otherwise) {
  return Given(value) ? static_cast<float>(value.as<double>()) : otherwise;
}

// A pattern's rows from the page into lines, and its accent row (a string of X and -, or null);
// or a refusal naming the row (from 1; the accent row after the drum rows). Settings a row leaves
// out take the reader's defaults. The cells are read by the reader itself, each row's as the grid
// of a line of its own in one pattern, so that a symbol or a bracket means on the page what it
// means in a file and the rows are held to one length; what would end a grid word early (a blank,
// a comment, a setting, a line end) is refused first.
std::optional<val> ReadRows(const val& rows, const val& accent, BeatPattern& pattern) {
  const int32_t count = rows["length"].as<int32_t>();
  std::string cells;
  auto addCells = [&](std::string_view name, const std::string& row) -> std::optional<std::string> {
    for (char c : row) {
      const auto code = static_cast<unsigned char>(c);
      if (code <= ' ' || code >= 127 || c == '#' || c == '=') {
        return "unexpected '" + std::string(1, c) + "' in the grid";
      }
    }
    cells.append(name).append(1, ' ').append(row).append(1, '\n');
    return std::nullopt;
  };
  for (int32_t r = 0; r < count; ++r) {
    const val row = rows[r];
    BeatLine line;
    const std::optional<DrumKind> kind = FindDrumKind(row["kind"].as<std::string>());
    if (!kind) return Refusal(r + 1, "unknown drum '" + row["kind"].as<std::string>() + "'");
    line.kind = *kind;
    line.hihat = Given(row["hihat"]) && row["hihat"].as<bool>();
    line.key = OptionalInt(row["key"]);
    const std::string pitch = row["pitch"].as<std::string>();
    const std::optional<NoteName> name = ReadPitch(pitch);
    if (!name) return Refusal(r + 1, "pitch '" + pitch + "' is no note");
    line.pitch = *name;
    line.frequency = NoteFrequency(line.pitch);
    line.ring = static_cast<float>(row["ring"].as<double>());
    line.ringGiven = Given(row["ringGiven"]) ? row["ringGiven"].as<bool>()
                                             : line.ring != Info(line.kind).ringSeconds;
    line.level = static_cast<float>(row["level"].as<double>());
    line.flam = FloatOr(row["flam"], kDefaultFlam);
    line.chance = FloatOr(row["chance"], kDefaultChance);
    line.shift = FloatOr(row["shift"], 0.0f);
    if (Given(row["pan"])) line.pan = static_cast<float>(row["pan"].as<double>());
    const std::string_view as = line.hihat ? "hihat" : ShortName(line.kind);
    if (auto wrong = addCells(as, row["steps"].as<std::string>())) return Refusal(r + 1, *wrong);
    pattern.lines.push_back(std::move(line));
  }
  if (Given(accent)) {
    if (auto wrong = addCells("accent", accent.as<std::string>())) {
      return Refusal(count + 1, *wrong);
    }
  }
  if (cells.empty()) return std::nullopt;
  Beat read;
  if (const std::optional<BeatError> error = ReadBeat(cells, read)) {
    return Refusal(error->line, error->message);
  }
  for (size_t l = 0; l < pattern.lines.size(); ++l) {
    pattern.lines[l].steps = std::move(read.patterns[0].lines[l].steps);
    pattern.lines[l].brackets = std::move(read.patterns[0].lines[l].brackets);
  }
  pattern.accents = std::move(read.patterns[0].accents);
  return std::nullopt;
}

// A whole number of the song's from the page, in the reader's range for its directive; or the
// reader's words for what it would say of the number in a text.
std::optional<val> ReadWhole(const val& grid, const char* name, const char* directive, int64_t max,
                             int64_t& into) {
  const val value = grid[name];
  if (!Given(value)) return std::nullopt;
  const double number = value.as<double>();
  const std::string text = val::global("String")(value).as<std::string>();
  if (!(number >= 0) || number != std::floor(number)) {
    return Refusal(0, std::string(directive) + " takes a whole number, got '" + text + "'");
  }
  if (number > static_cast<double>(max)) {
    return Refusal(
        0, std::string(directive) + " must be 0 to " + std::to_string(max) + ", got " + text);
  }
  into = static_cast<int64_t>(number);
  return std::nullopt;
}

// The grid structure ParseBeat gives -> a beat; or a refusal naming the row that holds something
// no beat can, or the pattern name or play items that are wrong. A song (`song` true) from its
// `patterns` and `play`; otherwise one grid from `lines`, with the accent row of its one pattern.
std::optional<val> ReadGrid(const val& grid, Beat& beat) {
  beat.tempo = grid["tempo"].as<int32_t>();
  beat.steps = grid["steps"].as<int32_t>();
  beat.swing = grid["swing"].as<int32_t>();
  beat.repeat = grid["repeat"].as<int32_t>();
  int64_t seed = 0, ms = 0, percent = 0;
  if (auto refused = ReadWhole(grid, "seed", "seed", UINT32_MAX, seed)) return refused;
  if (auto refused = ReadWhole(grid, "humanizeMs", "humanize", 100, ms)) return refused;
  if (auto refused = ReadWhole(grid, "humanizePercent", "humanize", 100, percent)) return refused;
  beat.seed = static_cast<uint32_t>(seed);
  beat.humanizeMs = static_cast<int32_t>(ms);
  beat.humanizePercent = static_cast<int32_t>(percent);
  beat.choke = !Given(grid["choke"]) || grid["choke"].as<bool>();
  beat.stereo = Given(grid["stereo"]) && grid["stereo"].as<bool>();
  const val patterns = grid["patterns"];
  if (!grid["song"].as<bool>()) {
    const bool one = Given(patterns) && patterns["length"].as<int32_t>() > 0;
    return ReadRows(grid["lines"], one ? patterns[0]["accent"] : val::null(),
                    beat.patterns.emplace_back());
  }
  const int32_t count = patterns["length"].as<int32_t>();
  for (int32_t p = 0; p < count; ++p) {
    const val entry = patterns[p];
    BeatPattern& pattern = beat.patterns.emplace_back();
    pattern.name = entry["name"].as<std::string>();
    pattern.tempo = OptionalInt(entry["tempo"]);
    pattern.steps = OptionalInt(entry["steps"]);
    pattern.swing = OptionalInt(entry["swing"]);
    if (auto refused = ReadRows(entry["lines"], entry["accent"], pattern)) return refused;
  }
  const val play = grid["play"];
  if (Given(play)) {
    if (const std::optional<BeatError> error = ReadOrder(play.as<std::string>(), beat)) {
      return Refusal(0, error->message);
    }
  }
  return std::nullopt;
}

// The words the reader refuses a pattern line with, for a name the page was given.
std::optional<val> CheckName(const Beat& beat, const std::string& name, size_t self) {
  if (!IsPatternName(name)) {
    return Refusal(
        0, "a pattern's name is 1 to 32 letters, digits, '_', '-' or '.', got '" + name + "'");
  }
  for (size_t p = 0; p < beat.patterns.size(); ++p) {
    if (p != self && beat.patterns[p].name == name) {
      return Refusal(0, "pattern '" + name + "' given twice");
    }
  }
  return std::nullopt;
}

val WriteGrid(const val& grid) {
  Beat beat;
  if (auto refused = ReadGrid(grid, beat)) return *refused;
  if (beat.IsSong()) {
    for (size_t p = 0; p < beat.patterns.size(); ++p) {
      if (auto refused = CheckName(beat, beat.patterns[p].name, p)) return *refused;
    }
  }
  return val(WriteBeat(beat));
}

// Pattern `index` under a new name, in the order too; a plain grid named becomes a song of one
// pattern. The song as ParseBeat gives it, or the refusal of the name.
val RenamePattern(const val& grid, int32_t index, const std::string& name) {
  Beat beat;
  if (auto refused = ReadGrid(grid, beat)) return *refused;
  if (index < 0 || static_cast<size_t>(index) >= beat.patterns.size()) {
    return Refusal(0, "no pattern " + std::to_string(index + 1));
  }
  if (auto refused = CheckName(beat, name, static_cast<size_t>(index))) return *refused;
  beat.patterns[static_cast<size_t>(index)].name = name;
  return ReadBack(beat);
}

// The items without pattern `removed`, later patterns renumbered; groups left empty go too.
void RemoveFromOrder(std::vector<PlayItem>& items, int32_t removed) {
  for (auto item = items.begin(); item != items.end();) {
    if (item->pattern < 0) RemoveFromOrder(item->items, removed);
    const bool gone = item->pattern == removed || (item->pattern < 0 && item->items.empty());
    if (gone) {
      item = items.erase(item);
      continue;
    }
    if (item->pattern > removed) --item->pattern;
    ++item;
  }
}

// The song without pattern `index`, taken out of the order as well (an order left empty plays
// every pattern once). The song as ParseBeat gives it; the last pattern stays.
val DeletePattern(const val& grid, int32_t index) {
  Beat beat;
  if (auto refused = ReadGrid(grid, beat)) return *refused;
  if (beat.patterns.size() < 2) return Refusal(0, "a song keeps at least one pattern");
  if (index < 0 || static_cast<size_t>(index) >= beat.patterns.size()) {
    return Refusal(0, "no pattern " + std::to_string(index + 1));
  }
  beat.patterns.erase(beat.patterns.begin() + index);
  RemoveFromOrder(beat.order, index);
  return ReadBack(beat);
}

// Where each play of a beat starts, for the playhead: {start: Float64Array of samples, pattern:
// Int32Array}, with the patterns' {name, steps}. A play starts on its first step, timed as its
// hits are: from its segment's start, after the steps of the segment's earlier plays.
val Plays(const Plan& plan) {
  const BeatLayout& layout = plan.layout;
  std::vector<double> starts;
  starts.reserve(layout.plays.size());
  for (const Segment& segment : layout.segments) {
    int64_t steps = 0;
    for (int64_t i = segment.firstPlay; i < segment.firstPlay + segment.plays; ++i) {
      starts.push_back(
          static_cast<double>(segment.start + StepStart(steps, plan.sampleRate, segment.tempo,
                                                        segment.steps, segment.swing)));
      steps +=
          plan.beat.patterns[static_cast<size_t>(layout.plays[static_cast<size_t>(i)])].GridSteps();
    }
  }
  val plays = val::object();
  plays.set("start",
            val(emscripten::typed_memory_view(starts.size(), starts.data())).call<val>("slice"));
  plays.set("pattern", val(emscripten::typed_memory_view(layout.plays.size(), layout.plays.data()))
                           .call<val>("slice"));
  val patterns = val::array();
  for (const BeatPattern& pattern : plan.beat.patterns) {
    val entry = val::object();
    entry.set("name", pattern.name);
    entry.set("steps", pattern.GridSteps());
    patterns.call<void>("push", entry);
  }
  plays.set("patterns", patterns);
  return plays;
}

// A request from the page planned through the road: `source` is "notes", "beat" or "midi"
// (input: a Uint8Array), `text` holds what the plan's views point into. Or the refusal the
// command would print.
std::optional<val> PlanFrom(const std::string& source, const val& input, const val& options,
                            std::string& text, Request& request, Plan& plan) {
  if (source == "midi") {
    const std::vector<uint8_t> bytes = emscripten::convertJSArrayToNumberVector<uint8_t>(input);
    text.assign(bytes.begin(), bytes.end());
    request.source = Source::kMidi;
  } else {
    text = input.as<std::string>();
    request.source = source == "notes" ? Source::kNotes : Source::kBeat;
  }
  request.input = text;
  if (auto failure = ReadOptions(options, request.options)) return Refusal(0, failure->message);
  if (const std::optional<Failure> failure = PlanRequest(request, plan)) {
    return Refusal(plan.readError ? plan.readError->line : 0, failure->message);
  }
  return std::nullopt;
}

// A copy of bytes in JavaScript's own memory.
val Uint8Copy(std::span<const uint8_t> bytes) {
  return val(emscripten::typed_memory_view(bytes.size(), bytes.data())).call<val>("slice");
}

// The WAV file of samples, the writer's own bytes serialised into memory; null when there is no
// room for them or the writer refuses them.
val FileBytes(const WavInfo& info, std::span<const float> samples) {
  char* buffer = nullptr;
  size_t size = 0;
  std::FILE* stream = open_memstream(&buffer, &size);
  if (stream == nullptr) return val::null();
  const bool written = SerializeWav(stream, info, samples);
  const bool closed = std::fclose(stream) == 0;
  val bytes = val::null();
  if (written && closed) bytes = Uint8Copy({reinterpret_cast<const uint8_t*>(buffer), size});
  std::free(buffer);
  return bytes;
}

// Renders through the road: {ok, samples (Float32Array), wav (Uint8Array), sampleRate, channels,
// peak, drum, stems: [{kind, name, file, samples, wav}]} or the refusal the command would print.
// `source` is "notes", "beat" or "midi" (input: a Uint8Array). A stereo render (channels 2) holds
// frames of a left and a right sample, its stems too. `wav` is the command's file of the samples,
// byte for byte: in the format the options ask, a beat's with its markers and loop.
val Render(const std::string& source, const val& input, const val& options) {
  std::string text;
  Request request;
  Plan plan;
  if (auto refused = PlanFrom(source, input, options, text, request, plan)) return *refused;
  // Storage as the command allocates it: a render too long for the page's memory is refused,
  // not an abort that would leave the module dead for every later render.
  const int64_t count = plan.length * plan.channels;
  const SampleStorage storage = AllocateSamples(count);
  if (!storage) return Refusal(0, "Memory allocation failed.");
  const std::span<float> mix(storage.get(), static_cast<size_t>(count));
  const Levels levels = RenderMix(plan, mix);
  val result = val::object();
  result.set("ok", true);
  result.set("samples", Float32Copy(mix));
  const WavInfo file = FileInfo(plan);
  const val wav = FileBytes(file, mix);
  if (wav.isNull()) return Refusal(0, "Memory allocation failed.");
  result.set("wav", wav);
  result.set("sampleRate", plan.sampleRate);
  result.set("channels", plan.channels);
  result.set("peak", levels.peak);
  if (plan.source == Source::kNotes) {
    result.set("drum", std::string(Info(plan.composition.kind).displayName));
  }
  if (plan.source == Source::kBeat) result.set("plays", Plays(plan));
  // The stems, each from its own hits with the mix's factors, when asked for, with the names the
  // command gives their files beside a mix named after the source: beat.kick.wav, beat.kick.2.wav.
  if (request.options.stems && StemCount(plan) > 0) {
    const std::string mixName = source + ".wav";
    const SampleStorage stemStorage = AllocateSamples(count);
    if (!stemStorage) return Refusal(0, "Memory allocation failed.");
    const std::span<float> stem(stemStorage.get(), static_cast<size_t>(count));
    val stems = val::array();
    for (int32_t s = 0; s < StemCount(plan); ++s) {
      RenderStem(plan, s, levels, stem);
      val one = val::object();
      // A hihat line's stem holds both hats: it is named for the line.
      one.set("kind", StemIsHiHat(plan, s) ? std::string("hihat")
                                           : std::string(ShortName(StemKind(plan, s))));
      one.set("name", StemName(plan, s));
      one.set("file", StemPath(plan, s, {mixName, mixName}).display);
      one.set("samples", Float32Copy(stem));
      const val stemWav = FileBytes(file, stem);
      if (stemWav.isNull()) return Refusal(0, "Memory allocation failed.");
      one.set("wav", stemWav);
      stems.call<void>("push", one);
    }
    result.set("stems", stems);
  }
  return result;
}

// The older entry points, kept for pages that call them: a beat, and a note string on one drum.
val RenderBeat(const std::string& text, const val& options) {
  return Render("beat", val(text), options);
}

val RenderNotes(const std::string& drum, const std::string& notes, int32_t rate, int32_t tempo) {
  val options = val::object();
  options.set("drum", drum);
  options.set("rate", rate);
  options.set("tempo", tempo);
  return Render("notes", val(notes), options);
}

// How the page's file stores its samples: `true` for float, or the request's options
// ({float, bits, channels}), or nothing for 16-bit PCM.
WavFormat FileFormat(const val& how) {
  if (how.isUndefined() || how.isNull()) return WavFormat::kPcm16;
  if (how.typeOf().as<std::string>() != "object") {
    return how.as<bool>() ? WavFormat::kFloat32 : WavFormat::kPcm16;
  }
  const val asFloat = how["float"];
  if (!asFloat.isUndefined() && asFloat.as<bool>()) return WavFormat::kFloat32;
  const val bits = how["bits"];
  return !bits.isUndefined() && bits.as<int32_t>() == 24 ? WavFormat::kPcm24 : WavFormat::kPcm16;
}

// The file's channels: the render's `channels` passed along with the options, 1 without; a stereo
// file's samples are frames of a left and a right sample.
int32_t FileChannels(const val& how) {
  if (how.isUndefined() || how.isNull() || how.typeOf().as<std::string>() != "object") return 1;
  const val channels = how["channels"];
  return Given(channels) && val::global("Number")(channels).as<double>() == 2 ? 2 : 1;
}

// The WAV file of samples alone, without a plan's markers or loop: 16-bit, or 24-bit or float when
// asked, mono or stereo. The page's own downloads are its renders' `wav`.
val WavBytes(const val& samples, int32_t rate, const val& how) {
  WavInfo info;
  info.sampleRate = rate;
  info.format = FileFormat(how);
  info.channels = FileChannels(how);
  if (CheckSampleRate(rate) || rate > MaxSampleRate(info.format, info.channels)) return val::null();
  const std::vector<float> copy = emscripten::convertJSArrayToNumberVector<float>(samples);
  if (copy.size() % static_cast<size_t>(info.channels) != 0) return val::null();
  return FileBytes(info, copy);
}

// A beat as the command's `kettorin beat FILE --midi` writes it with the same options: {ok, bytes
// (Uint8Array)}, or the refusal the command would print.
val BeatMidiFile(const std::string& text, const val& options) {
  std::string held;
  Request request;
  Plan plan;
  if (auto refused = PlanFrom("beat", val(text), options, held, request, plan)) return *refused;
  std::vector<uint8_t> bytes;
  if (const std::optional<Failure> failure = BeatMidi(plan, bytes)) {
    return Refusal(0, failure->message);
  }
  val result = val::object();
  result.set("ok", true);
  result.set("bytes", Uint8Copy(bytes));
  return result;
}

// The labels of every sounding hit, the command's `--labels` file: {ok, text}, or the refusal.
val Labels(const std::string& source, const val& input, const val& options) {
  std::string held;
  Request request;
  Plan plan;
  if (auto refused = PlanFrom(source, input, options, held, request, plan)) return *refused;
  val result = val::object();
  result.set("ok", true);
  result.set("text", LabelsCsv(plan));
  return result;
}

// Steps per beat of a MIDI file's song from the page: a whole number, or nothing (or "auto") for
// the fewest that fit. The core checks the range; a value of another form is refused in the
// words the road refuses an option's value with.
std::optional<val> ReadSongSteps(const val& value, std::optional<int32_t>& steps) {
  steps.reset();
  if (!Given(value)) return std::nullopt;
  const std::string text = val::global("String")(value).as<std::string>();
  if (text.empty() || text == "auto") return std::nullopt;
  const double number = val::global("Number")(value).as<double>();
  if (!(std::fabs(number) <= INT32_MAX) || number != std::floor(number)) {
    return Refusal(0, "The option 'steps' takes a whole number or auto. Got: '" + text + "'");
  }
  steps = static_cast<int32_t>(number);
  return std::nullopt;
}

// A MIDI file's drums as a song to edit, as `kettorin midi FILE --to-beat --steps N` writes it:
// {ok, text, report}, the song's beat text and the conversion's report (the lines the command
// prints before its created line); or the refusal the command would print. The options are the
// command's: channel, map and steps; the rest of the road's are refused as the command refuses
// them beside --to-beat.
val MidiToBeatText(const val& input, const val& options) {
  std::optional<int32_t> steps;
  val road = val::object();
  if (Given(options)) {
    road = val::global("Object").call<val>("assign", val::object(), options);
    if (auto refused = ReadSongSteps(options["steps"], steps)) return *refused;
    road.delete_("steps");
  }
  const std::vector<uint8_t> bytes = emscripten::convertJSArrayToNumberVector<uint8_t>(input);
  const std::string held(bytes.begin(), bytes.end());
  Request request(Source::kMidi, held);
  if (auto failure = ReadOptions(road, request.options)) return Refusal(0, failure->message);
  SongPlan plan;
  if (const std::optional<Failure> failure = PlanMidiSong(request, steps, plan)) {
    return Refusal(0, failure->message);
  }
  val result = val::object();
  result.set("ok", true);
  result.set("text", plan.text);
  result.set("report", MidiSongReport(plan));
  return result;
}

val MidiToBeatPlain(const val& input) {
  return MidiToBeatText(input, val::undefined());
}

// The options the road takes: [{name, value, help}].
val OptionList() {
  val list = val::array();
  for (const OptionInfo& option : Options()) {
    val one = val::object();
    one.set("name", std::string(option.name));
    one.set("value", std::string(option.value));
    one.set("help", std::string(option.help));
    list.call<void>("push", one);
  }
  return list;
}

}  // namespace
}  // namespace kettorin

EMSCRIPTEN_BINDINGS(kettorin) {
  emscripten::function("drumKinds", &kettorin::DrumKinds);
  emscripten::function("cellKinds", &kettorin::CellKinds);
  emscripten::function("parseBeat", &kettorin::ParseBeat);
  emscripten::function("parseBeat", &kettorin::ParseBeatWith);
  emscripten::function("writeBeat", &kettorin::WriteGrid);
  emscripten::function("renamePattern", &kettorin::RenamePattern);
  emscripten::function("deletePattern", &kettorin::DeletePattern);
  emscripten::function("renderBeat", &kettorin::RenderBeat);
  emscripten::function("renderNotes", &kettorin::RenderNotes);
  emscripten::function("render", &kettorin::Render);
  emscripten::function("options", &kettorin::OptionList);
  emscripten::function("wavBytes", &kettorin::WavBytes);
  emscripten::function("beatMidi", &kettorin::BeatMidiFile);
  emscripten::function("labels", &kettorin::Labels);
  emscripten::function("midiToBeat", &kettorin::MidiToBeatPlain);
  emscripten::function("midiToBeat", &kettorin::MidiToBeatText);
}
