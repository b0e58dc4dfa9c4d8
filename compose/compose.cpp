// A note string on one drum: validate, count the samples, render every note one after another.
#include "compose/compose.h"

#include <algorithm>
#include <cstdint>
#include <string>

#include "track/split.h"

namespace kettorin {

namespace {

constexpr float kSecondsPerMinute = 60.0f;

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
  if (auto failure = CheckTempo(request.tempo)) return failure;
  if (auto failure = CheckSampleRate(request.sampleRate)) return failure;
  plan.beat = kSecondsPerMinute / static_cast<float>(request.tempo);
  plan.samples = CountSamples(request.notes, plan.beat, request.sampleRate, limit);
  if (plan.samples > limit) {
    return Failure{kStatusNoStorage, "The composition is too long for a WAV file: more than " +
                                         std::to_string(limit) + " samples."};
  }
  return std::nullopt;
}

void RenderComposition(const Composition& plan, std::string_view notes, const VoiceContext& context,
                       std::span<float> out, int64_t splitBreakEven) {
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
        PlayNote(plan.kind, context, note.frequency, note.duration, static_cast<int32_t>(from - at),
                 out.subspan(static_cast<size_t>(from), static_cast<size_t>(to - from)));
      }
      at += n;
    }
  };
  RenderSplit(size, render, splitBreakEven);
}

}  // namespace kettorin
