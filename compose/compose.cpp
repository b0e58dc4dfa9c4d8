// The driver of one call: validate, size the storage, report, render every note, write the file.
#include "compose/compose.h"

#include <algorithm>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <string>

#include "track/sample_storage.h"
#include "track/split.h"

namespace kettorin {

namespace {

constexpr int32_t kMinTempo = 1;
constexpr int32_t kMaxTempo = 999;
constexpr float kSecondsPerMinute = 60.0f;

void PrintHeader(std::FILE* report, const DrumKindInfo& drum, int32_t tempo,
                 std::string_view notes) {
  std::fprintf(report, "\n=== DRUM MUSIC COMPOSER ===\n");
  std::fprintf(report, "Drum: %.*s\n", static_cast<int>(drum.displayName.size()),
               drum.displayName.data());
  std::fprintf(report, "Tempo: %d BPM\n", tempo);
  std::fprintf(report, "Notes: %.*s\n\n", static_cast<int>(notes.size()), notes.data());
}

void PrintNote(std::FILE* report, const Note& note) {
  std::fprintf(report, "  %s%d (%.0f Hz, %.2f s)\n", note.name.c_str(), note.shownNumber,
               static_cast<double>(note.frequency), static_cast<double>(note.duration));
}

}  // namespace

int64_t CountSamples(std::string_view notes, float beat, int32_t sampleRate, int64_t limit) {
  int64_t total = 0;
  Note note;
  for (size_t pos = 0; ReadNote(notes, pos, beat, note);) {
    if (!IsPlayed(note)) continue;
    total += NoteSampleCount(sampleRate, note.duration);
    if (total > limit) return total;  // already too long; no need to read further
  }
  return total;
}

std::optional<Failure> PlanComposition(const ComposeRequest& request, int64_t limit,
                                       Composition& plan) {
  plan.kind = LookupDrumKind(request.drumName);
  if (request.tempo < kMinTempo || request.tempo > kMaxTempo) {
    return Failure{kStatusBadTempo,
                   "BPM must be between 1 and 999. Got: " + std::to_string(request.tempo)};
  }
  if (request.sampleRate < 1) {
    return Failure{kStatusBadSampleRate,
                   "Sample rate must be at least 1. Got: " + std::to_string(request.sampleRate)};
  }
  plan.beat = kSecondsPerMinute / static_cast<float>(request.tempo);
  plan.samples = CountSamples(request.notes, plan.beat, request.sampleRate, limit);
  if (plan.samples > limit) {
    return Failure{kStatusNoStorage, "The composition is too long for a WAV file: more than " +
                                         std::to_string(limit) + " samples."};
  }
  return std::nullopt;
}

void RenderComposition(const Composition& plan, std::string_view notes, const VoiceContext& context,
                       std::span<float> out, std::FILE* report, int64_t splitBreakEven) {
  const auto size = static_cast<int64_t>(out.size());
  // Samples [begin, end) of the composition: the notes are read again from the start (reading is
  // cheap beside rendering), each note placed after the ones before it and clipped to the range.
  auto render = [&](int64_t begin, int64_t end) {
    int64_t at = 0;
    Note note;
    for (size_t pos = 0; at < end && ReadNote(notes, pos, plan.beat, note);) {
      if (!IsPlayed(note)) continue;
      const int64_t n = std::min(NoteSampleCount(context.sampleRate, note.duration), size - at);
      if (n <= 0) continue;
      const int64_t from = std::max(begin, at);
      const int64_t to = std::min(end, at + n);
      if (from < to) {
        PlayNote(plan.kind, context, note.frequency, note.duration,
                 static_cast<int32_t>(from - at),
                 out.subspan(static_cast<size_t>(from), static_cast<size_t>(to - from)));
      }
      at += n;
    }
  };
  if (report != nullptr) {
    Note note;
    for (size_t pos = 0; ReadNote(notes, pos, plan.beat, note);) {
      if (IsPlayed(note)) PrintNote(report, note);
    }
  }
  RenderSplit(size, render, splitBreakEven);
}

int32_t Compose(const ComposeRequest& request, const WavOutput& output) {
  Composition plan;
  if (const std::optional<Failure> failure =
          PlanComposition(request, MaxSamples(output.format), plan)) {
    PrintFailure(*failure);
    return failure->status;
  }
  // Storage: exactly the samples the notes produce, allocated once before anything is printed.
  const SampleStorage storage = AllocateSamples(plan.samples);
  if (!storage) {
    PrintFailure({kStatusNoStorage, "Memory allocation failed."});
    return kStatusNoStorage;
  }
  const std::span<float> samples(storage.get(), static_cast<size_t>(plan.samples));

  std::FILE* report = output.report;
  if (report != nullptr) PrintHeader(report, Info(plan.kind), request.tempo, request.notes);
  RenderComposition(plan, request.notes, {request.sampleRate}, samples, report);
  const bool written = WriteWav(output, request.sampleRate, samples);
  if (report != nullptr) {
    std::fprintf(report, "\nDuration: %.2f seconds\n\n",
                 static_cast<double>(static_cast<float>(plan.samples) /
                                     static_cast<float>(request.sampleRate)));
  }
  return written ? kStatusDone : kStatusNotWritten;
}

}  // namespace kettorin
