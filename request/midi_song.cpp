// The road's conversion of a MIDI file into a song: the request checked and converted, the short
// report as text, and the text sink that writes the song's file.
#include <cmath>
#include <cstdio>
#include <string>

#include "request/append.h"
#include "request/request.h"

namespace kettorin {

namespace {

// A song is text: what only changes a rendering's sound or file does not apply to it.
std::optional<Failure> CheckSongOptions(const Request& request) {
  if (request.source != Source::kMidi) {
    return Failure{kStatusBadInput, "Only a MIDI file is made into a song."};
  }
  const RenderOptions& o = request.options;
  const RenderOptions plain;
  const char* option = o.sampleRate != plain.sampleRate  ? "rate"
                       : o.tempo                         ? "tempo"
                       : o.repeat                        ? "repeat"
                       : o.loop                          ? "loop"
                       : o.gainDb                        ? "gain"
                       : !o.normalize                    ? "normalize"
                       : o.seed                          ? "seed"
                       : o.humanize                      ? "humanize"
                       : o.choke                         ? "choke"
                       : o.channels                      ? "channels"
                       : o.pans != plain.pans            ? "pan"
                       : o.format == WavFormat::kFloat32 ? "float"
                       : o.format != plain.format        ? "bits"
                       : o.flac                          ? "format"
                       : o.stems                         ? "stems"
                                                         : nullptr;
  if (option == nullptr) return std::nullopt;
  return Failure{kStatusBadInput, "The option '" + std::string(option) +
                                      "' does not apply to a MIDI file made into a song."};
}

const char* Plural(int64_t count) {
  return count == 1 ? "" : "s";
}

}  // namespace

std::optional<Failure> PlanMidiSong(const Request& request, std::optional<int32_t> steps,
                                    SongPlan& plan) {
  plan = SongPlan{};
  if (auto failure = CheckSongOptions(request)) return failure;
  MidiSongOptions options;
  options.channel = request.options.channel;
  options.map = request.options.keyMap;
  options.steps = steps;
  const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(request.input.data()),
                                       request.input.size());
  if (auto failure = MidiToBeat(bytes, options, plan.song)) return failure;
  plan.text = WriteBeat(plan.song.beat);
  return std::nullopt;
}

std::string MidiSongReport(const SongPlan& plan) {
  const MidiSong& song = plan.song;
  std::string text;
  const auto patterns = static_cast<int64_t>(song.beat.patterns.size());
  Append(text, "Bars: %lld in %lld pattern%s", static_cast<long long>(song.bars),
         static_cast<long long>(patterns), Plural(patterns));
  if (const int64_t inside = song.plays - song.bars; inside > 0) {
    Append(text, ", %lld tempo change%s inside a bar", static_cast<long long>(inside),
           Plural(inside));
  }
  Append(text, "\nSteps: %d per beat%s, ", song.steps, song.stepsAsked ? " (as asked)" : "");
  const double worst = static_cast<double>(song.worstOff) / song.ticksPerQuarter;
  if (song.worstOff == 0) {
    text += "every hit on its step\n";
  } else if (worst < 0.005) {
    text += "worst hit under 0.01 of a step off\n";
  } else {
    Append(text, "worst hit %.2f of a step off\n", worst);
  }
  Append(text, "Hits: %lld placed, %lld merged\n", static_cast<long long>(song.placed),
         static_cast<long long>(song.merged));
  if (!song.stepsAsked && !(song.hitsFit && song.barsWhole)) {
    text +=
        "Note: no grid of 2 to 16 steps a beat holds every hit within 1/8 of a step and every "
        "bar in whole steps.\n";
  }
  if (!song.barsWhole) {
    text += "Note: bars that are not a whole number of steps end on the nearest step.\n";
  }
  std::string skipped;
  for (size_t key = 0; key < song.skipped.size(); ++key) {
    if (song.skipped[key] == 0) continue;
    skipped += (skipped.empty() ? "" : ", ") + std::to_string(key) + " (" +
               std::to_string(song.skipped[key]) + ")";
  }
  if (!skipped.empty()) Append(text, "Skipped keys (notes): %s\n", skipped.c_str());
  if (song.otherChannels > 0) {
    Append(text, "Notes on other channels: %lld\n", static_cast<long long>(song.otherChannels));
  }
  for (const std::string& warning : song.warnings) Append(text, "Warning: %s\n", warning.c_str());
  if (song.tooFast > 0) {
    Append(text, "Warning: %lld bar%s faster than %d BPM play at %d BPM.\n",
           static_cast<long long>(song.tooFast), Plural(song.tooFast), kMaxTempo, kMaxTempo);
  }
  // A hundredth of a second is where a drummer hears two hits as a flam.
  if (std::fabs(song.driftSeconds) >= 0.01) {
    Append(text, "Warning: with tempos in whole BPM the song ends %.2f s %s than the file's.\n",
           std::fabs(song.driftSeconds), song.driftSeconds > 0 ? "later" : "earlier");
  }
  return text;
}

int32_t MidiSongToFile(const Request& request, std::optional<int32_t> steps,
                       const WavOutput& output, const Printer& print, Failure* failure) {
  SongPlan plan;
  if (const std::optional<Failure> refused = PlanMidiSong(request, steps, plan)) {
    Plan named;  // for the error line's "NAME: byte N: ..."
    named.source = Source::kMidi;
    named.sourceName = request.sourceName;
    print(Channel::kError, ErrorLine(named, *refused));
    if (failure != nullptr) *failure = *refused;
    return refused->status;
  }
  print(Channel::kReport, MidiSongReport(plan));
  std::string inPlace;
  const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(plan.text.data()),
                                       plan.text.size());
  const std::optional<WriteError> error = WriteBytes(output, bytes, &inPlace);
  return SayWritten(output, error, inPlace, print, failure) ? kStatusDone : kStatusNotWritten;
}

}  // namespace kettorin
