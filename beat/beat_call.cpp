// The beat call: read, check, report, render, write.
#include "beat/beat_call.h"

#include <cstdio>
#include <string>

namespace kettorin {

namespace {

void PrintHeader(std::FILE* report, const Beat& beat, const BeatOptions& options) {
  const int32_t tempo = options.tempo.value_or(beat.tempo);
  const int32_t repeat = options.repeat.value_or(beat.repeat);
  std::fprintf(report, "\n=== DRUM MUSIC COMPOSER ===\n");
  std::fprintf(report, "Beat: %d drum line%s, %d steps, %d per beat, swing %d%%, repeat %d%s\n",
               static_cast<int>(beat.lines.size()), beat.lines.size() == 1 ? "" : "s", beat.GridSteps(), beat.steps,
               beat.swing, repeat, options.loop ? ", loop" : "");
  std::fprintf(report, "Tempo: %d BPM\n\n", tempo);
  for (const BeatLine& line : beat.lines) {
    const DrumKindInfo& info = Info(line.kind);
    int64_t hits = 0;
    for (Step step : line.steps) hits += step != Step::kRest;
    hits *= repeat;
    std::string pitch = "-";
    if (info.followsPitch) {
      char text[48];
      std::snprintf(text, sizeof text, "%s (%.0f Hz)", line.pitch.c_str(),
                    static_cast<double>(VoiceFrequency(line.kind, line.frequency)));
      pitch = text;
    }
    std::fprintf(report, "  %-14.*s %5lld hit%s  pitch %-12s ring %g s  level %g\n",
                 static_cast<int>(info.displayName.size()), info.displayName.data(),
                 static_cast<long long>(hits), hits == 1 ? " " : "s", pitch.c_str(),
                 static_cast<double>(line.ring), static_cast<double>(line.level));
  }
}

}  // namespace

void PrintBeatError(const BeatError& error, std::string_view sourceName) {
  if (sourceName.empty()) {
    std::fprintf(stderr, "Error: %s\n", Describe(error).c_str());
  } else if (error.line == 0) {
    std::fprintf(stderr, "%.*s: %s\n", static_cast<int>(sourceName.size()), sourceName.data(),
                 error.message.c_str());
  } else {
    std::fprintf(stderr, "%.*s:%d: %s\n", static_cast<int>(sourceName.size()), sourceName.data(),
                 error.line, error.message.c_str());
  }
}

std::optional<Failure> PlanBeat(std::string_view text, const BeatOptions& options, int64_t limit,
                                Beat& beat, Track& track, std::optional<BeatError>& readError) {
  if (options.sampleRate < 1) {
    return Failure{kStatusBadSampleRate,
                   "Sample rate must be at least 1. Got: " + std::to_string(options.sampleRate)};
  }
  readError = ReadBeat(text, beat);
  if (readError) return Failure{kStatusBadInput, Describe(*readError)};
  return BeatTrack(beat, options, limit, track);
}

int32_t ComposeBeat(std::string_view text, const BeatOptions& options, const TrackOutput& output,
                    std::string_view sourceName) {
  Beat beat;
  Track track;
  std::optional<BeatError> readError;
  if (const std::optional<Failure> failure =
          PlanBeat(text, options, MaxSamples(output.mix.format), beat, track, readError)) {
    if (readError) {
      PrintBeatError(*readError, sourceName);
    } else {
      PrintFailure(*failure);
    }
    return failure->status;
  }
  std::optional<TrackStorage> storage = AllocateTrack(track, output.stems);
  if (!storage) {
    PrintFailure({kStatusNoStorage, "Memory allocation failed."});
    return kStatusNoStorage;
  }
  if (output.mix.report != nullptr) PrintHeader(output.mix.report, beat, options);
  return WriteTrack(track, *storage, output);
}

}  // namespace kettorin
