// The page's door to the core: beat text to grid and back, rendering, and the WAV bytes, all done
// by the code the command runs, so that the page and the command cannot disagree. The page's
// JavaScript holds the controls and nothing else.
#include <emscripten/bind.h>
#include <emscripten/val.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "beat/beat_call.h"
#include "compose/compose.h"
#include "track/sample_storage.h"
#include "track/track_output.h"
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
    kinds.call<void>("push", kind);
  }
  return kinds;
}

// Beat text -> {ok, tempo, steps, swing, repeat, lines: [{kind, pitch, ring, level, steps}]},
// steps as a string of x X g -; or the reader's refusal.
val ParseBeat(const std::string& text) {
  Beat beat;
  if (const std::optional<BeatError> error = ReadBeat(text, beat)) {
    return Refusal(error->line, Describe(*error));
  }
  val grid = val::object();
  grid.set("ok", true);
  grid.set("tempo", beat.tempo);
  grid.set("steps", beat.steps);
  grid.set("swing", beat.swing);
  grid.set("repeat", beat.repeat);
  val lines = val::array();
  for (const BeatLine& line : beat.lines) {
    val row = val::object();
    row.set("kind", std::string(ShortName(line.kind)));
    row.set("pitch", std::string(line.pitch.c_str()));
    row.set("ring", line.ring);
    row.set("level", line.level);
    std::string steps;
    for (Step step : line.steps) steps += StepSymbol(step);
    row.set("steps", steps);
    row.set("lineNumber", line.lineNumber);
    lines.call<void>("push", row);
  }
  grid.set("lines", lines);
  return grid;
}

// The grid structure ParseBeat gives -> beat text, written by the core's writer; or a refusal
// naming the row that holds something no beat can.
val WriteGrid(const val& grid) {
  Beat beat;
  beat.tempo = grid["tempo"].as<int32_t>();
  beat.steps = grid["steps"].as<int32_t>();
  beat.swing = grid["swing"].as<int32_t>();
  beat.repeat = grid["repeat"].as<int32_t>();
  const val rows = grid["lines"];
  const int32_t count = rows["length"].as<int32_t>();
  for (int32_t r = 0; r < count; ++r) {
    const val row = rows[r];
    BeatLine line;
    const std::optional<DrumKind> kind = FindDrumKind(row["kind"].as<std::string>());
    if (!kind) return Refusal(r + 1, "unknown drum '" + row["kind"].as<std::string>() + "'");
    line.kind = *kind;
    const std::string pitch = row["pitch"].as<std::string>();
    const std::optional<NoteName> name = ReadPitch(pitch);
    if (!name) return Refusal(r + 1, "pitch '" + pitch + "' is no note");
    line.pitch = *name;
    line.frequency = NoteFrequency(line.pitch);
    line.ring = static_cast<float>(row["ring"].as<double>());
    line.level = static_cast<float>(row["level"].as<double>());
    for (char c : row["steps"].as<std::string>()) {
      line.steps.push_back(c == 'X' ? Step::kAccent
                           : c == 'x' ? Step::kHit
                           : c == 'g' ? Step::kGhost
                                      : Step::kRest);
    }
    beat.lines.push_back(std::move(line));
  }
  return val(WriteBeat(beat));
}

// Renders a beat as `kettorin beat` does with its default headroom: {ok, samples (Float32Array),
// sampleRate} or the refusal the command would print. Options: rate, loop, and optionally tempo
// and repeat instead of the text's.
val RenderBeat(const std::string& text, const val& options) {
  BeatOptions beatOptions;
  beatOptions.sampleRate = options["rate"].as<int32_t>();
  beatOptions.loop = options["loop"].as<bool>();
  if (!options["tempo"].isUndefined()) beatOptions.tempo = options["tempo"].as<int32_t>();
  if (!options["repeat"].isUndefined()) beatOptions.repeat = options["repeat"].as<int32_t>();
  Beat beat;
  Track track;
  std::optional<BeatError> readError;
  if (const std::optional<Failure> failure = PlanBeat(text, beatOptions,
                                                      MaxSamples(WavFormat::kPcm16), beat, track,
                                                      readError)) {
    return Refusal(readError ? readError->line : 0, failure->message);
  }
  // Storage as the command allocates it: a beat too long for the page's memory is refused, not
  // an abort that would leave the module dead for every later render.
  const SampleStorage storage = AllocateSamples(track.length);
  if (!storage) return Refusal(0, "Memory allocation failed.");
  const std::span<float> mix(storage.get(), static_cast<size_t>(track.length));
  const Levels levels = RenderTrack(track, HeadroomOptions{}, mix, VoiceContext{track.sampleRate});
  val result = val::object();
  result.set("ok", true);
  result.set("samples", Float32Copy(mix));
  result.set("sampleRate", track.sampleRate);
  result.set("peak", levels.peak);
  return result;
}

// Renders a note string on one drum as the command's plain form does: {ok, samples, sampleRate,
// drum} or the refusal.
val RenderNotes(const std::string& drum, const std::string& notes, int32_t rate, int32_t tempo) {
  Composition plan;
  if (const std::optional<Failure> failure =
          PlanComposition({drum, notes, rate, tempo}, MaxSamples(WavFormat::kPcm16), plan)) {
    return Refusal(0, failure->message);
  }
  const SampleStorage storage = AllocateSamples(plan.samples);
  if (!storage) return Refusal(0, "Memory allocation failed.");
  const std::span<float> samples(storage.get(), static_cast<size_t>(plan.samples));
  RenderComposition(plan, notes, VoiceContext{rate}, samples);
  val result = val::object();
  result.set("ok", true);
  result.set("samples", Float32Copy(samples));
  result.set("sampleRate", rate);
  result.set("drum", std::string(Info(plan.kind).displayName));
  return result;
}

// The 16-bit WAV file of rendered samples: the writer's own bytes, serialised into memory.
val WavBytes(const val& samples, int32_t rate) {
  const std::vector<float> copy = emscripten::convertJSArrayToNumberVector<float>(samples);
  char* buffer = nullptr;
  size_t size = 0;
  std::FILE* stream = open_memstream(&buffer, &size);
  if (stream == nullptr) return val::null();
  const bool written = SerializeWav(stream, rate, copy, WavFormat::kPcm16);
  const bool closed = std::fclose(stream) == 0;
  val bytes = val::null();
  if (written && closed) {
    bytes = val(emscripten::typed_memory_view(size, reinterpret_cast<unsigned char*>(buffer)))
                .call<val>("slice");
  }
  std::free(buffer);
  return bytes;
}

}  // namespace
}  // namespace kettorin

EMSCRIPTEN_BINDINGS(kettorin) {
  emscripten::function("drumKinds", &kettorin::DrumKinds);
  emscripten::function("parseBeat", &kettorin::ParseBeat);
  emscripten::function("writeBeat", &kettorin::WriteGrid);
  emscripten::function("renderBeat", &kettorin::RenderBeat);
  emscripten::function("renderNotes", &kettorin::RenderNotes);
  emscripten::function("wavBytes", &kettorin::WavBytes);
}
