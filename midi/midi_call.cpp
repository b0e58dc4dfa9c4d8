// The MIDI call: read, lay out, report, render, write; or list the hits without rendering.
#include "midi/midi_call.h"

#include <string>

namespace kettorin {

namespace {

void PrintMidiFailure(const Failure& failure, std::string_view sourceName) {
  if (failure.status == kStatusBadInput && !sourceName.empty()) {
    std::fprintf(stderr, "%.*s: %s\n", static_cast<int>(sourceName.size()), sourceName.data(),
                 failure.message.c_str());
  } else {
    PrintFailure(failure);
  }
}

void PrintHeader(std::FILE* report, const MidiPlan& plan, const MidiOptions& options) {
  std::fprintf(report, "\n=== DRUM MUSIC COMPOSER ===\n");
  std::fprintf(report, "MIDI: format %d, %d track%s, %s, channel %d\n", plan.format, plan.tracks,
               plan.tracks == 1 ? "" : "s", plan.division.c_str(), options.channel);
  if (plan.firstTempo == 0) {
    std::fprintf(report, "Tempo: SMPTE time (tempo events do not apply)\n\n");
  } else {
    std::fprintf(report, "Tempo: %.6g BPM at the start, %lld change%s\n\n",
                 60e6 / static_cast<double>(plan.firstTempo),
                 static_cast<long long>(plan.tempoChanges), plan.tempoChanges == 1 ? "" : "s");
  }
  const float frequency = plan.track.hits.empty() ? 262.0f : plan.track.hits[0].frequency;
  for (const DrumKindInfo& info : kDrumKinds) {
    const int64_t hits = plan.hitsPerKind[static_cast<size_t>(info.kind)];
    if (hits == 0) continue;
    std::string pitch = "-";
    if (info.followsPitch) {
      char text[48];
      std::snprintf(text, sizeof text, "C (%.0f Hz)",
                    static_cast<double>(VoiceFrequency(info.kind, frequency)));
      pitch = text;
    }
    std::fprintf(report, "  %-14.*s %5lld hit%s  pitch %-12s ring %g s\n",
                 static_cast<int>(info.displayName.size()), info.displayName.data(),
                 static_cast<long long>(hits), hits == 1 ? " " : "s", pitch.c_str(),
                 static_cast<double>(info.ringSeconds));
  }
  std::string skipped;
  for (size_t key = 0; key < plan.skipped.size(); ++key) {
    if (plan.skipped[key] == 0) continue;
    skipped += (skipped.empty() ? "" : ", ") + std::to_string(key) + " (" +
               std::to_string(plan.skipped[key]) + ")";
  }
  if (!skipped.empty()) std::fprintf(report, "Skipped keys (notes): %s\n", skipped.c_str());
  if (plan.otherChannels > 0) {
    std::fprintf(report, "Notes on other channels: %lld\n",
                 static_cast<long long>(plan.otherChannels));
  }
  for (const std::string& warning : plan.warnings) {
    std::fprintf(report, "Warning: %s\n", warning.c_str());
  }
}

}  // namespace

int32_t ComposeMidi(std::span<const uint8_t> bytes, const MidiOptions& options,
                    const TrackOutput& output, std::string_view sourceName) {
  MidiPlan plan;
  if (const std::optional<Failure> failure =
          PlanMidi(bytes, options, MaxSamples(output.mix.format), plan)) {
    PrintMidiFailure(*failure, sourceName);
    return failure->status;
  }
  std::optional<TrackStorage> storage = AllocateTrack(plan.track, output.stems);
  if (!storage) {
    PrintFailure({kStatusNoStorage, "Memory allocation failed."});
    return kStatusNoStorage;
  }
  if (output.mix.report != nullptr) PrintHeader(output.mix.report, plan, options);
  return WriteTrack(plan.track, *storage, output);
}

int32_t ListMidi(std::span<const uint8_t> bytes, const MidiOptions& options, int64_t limit,
                 std::FILE* out, std::string_view sourceName) {
  MidiPlan plan;
  if (const std::optional<Failure> failure = PlanMidi(bytes, options, limit, plan)) {
    PrintMidiFailure(*failure, sourceName);
    return failure->status;
  }
  PrintHeader(out, plan, options);
  std::fprintf(out, "\n%12s %10s %4s %8s %5s  %-14s %s\n", "sample", "seconds", "key", "velocity",
               "track", "drum", "samples");
  const double rate = options.sampleRate;
  for (const MidiHit& hit : plan.hits) {
    const std::string_view name = Info(hit.kind).displayName;
    std::fprintf(out, "%12lld %10.4f %4d %8d %5d  %-14.*s %d\n", static_cast<long long>(hit.start),
                 static_cast<double>(hit.start) / rate, hit.key, hit.velocity, hit.track + 1,
                 static_cast<int>(name.size()), name.data(), hit.length);
  }
  std::fprintf(out, "\n%lld hit%s, %lld samples (%.2f seconds)\n",
               static_cast<long long>(plan.hits.size()), plan.hits.size() == 1 ? "" : "s",
               static_cast<long long>(plan.track.length),
               static_cast<double>(plan.track.length) / rate);
  return kStatusDone;
}

}  // namespace kettorin
