// From a beat to timed hits: exact step times, hit lengths, levels.
#include <string>

#include "beat/beat.h"

namespace kettorin {

namespace {

// Samples in T steps: floor(T x 60 R / (B P)), or nothing when that passes `limit` (checked
// without overflow, whatever T is).
std::optional<int64_t> TrackLength(int64_t totalSteps, int32_t rate, int32_t tempo,
                                   int32_t stepsPerBeat, int64_t limit) {
  uint64_t numerator = 0;
  if (__builtin_mul_overflow(static_cast<uint64_t>(totalSteps), uint64_t{60}, &numerator) ||
      __builtin_mul_overflow(numerator, static_cast<uint64_t>(rate), &numerator)) {
    return std::nullopt;
  }
  const uint64_t length =
      numerator / (static_cast<uint64_t>(tempo) * static_cast<uint64_t>(stepsPerBeat));
  if (length > static_cast<uint64_t>(limit)) return std::nullopt;
  return static_cast<int64_t>(length);
}

}  // namespace

int64_t StepStart(int64_t step, int32_t sampleRate, int32_t tempo, int32_t stepsPerBeat,
                  int32_t swing) {
  // With T x 60 R / (B P) below 2^31, (100 s + 50) x 60 R stays below 2^31 x 100 x 999 x 64,
  // far inside 64 bits.
  const int64_t late = step % 2 == 1 ? 2 * (swing - 50) : 0;
  return (100 * step + late) * 60 * sampleRate / (int64_t{100} * tempo * stepsPerBeat);
}

std::optional<Failure> BeatTrack(const Beat& beat, const BeatOptions& options, int64_t limit,
                                 Track& track) {
  const int32_t tempo = options.tempo.value_or(beat.tempo);
  const int32_t repeat = options.repeat.value_or(beat.repeat);
  const int32_t rate = options.sampleRate;
  if (auto failure = CheckTempo(tempo)) return failure;
  if (auto failure = CheckSampleRate(rate)) return failure;
  if (auto failure = CheckRepeat(repeat)) return failure;
  const int64_t grid = beat.GridSteps();
  const int64_t totalSteps = grid * repeat;
  const std::optional<int64_t> length = TrackLength(totalSteps, rate, tempo, beat.steps, limit);
  if (!length) {
    return Failure{kStatusNoStorage, "The beat is too long for a WAV file: more than " +
                                         std::to_string(limit) + " samples."};
  }
  int64_t hits = 0;
  for (const BeatLine& line : beat.lines) {
    for (Step step : line.steps) hits += step != Step::kRest;
  }
  if (hits * repeat > kMaxBeatHits) {
    return Failure{kStatusNoStorage,
                   "The beat has too many hits: more than " + std::to_string(kMaxBeatHits) + "."};
  }

  track = Track{};
  track.sampleRate = rate;
  track.length = *length;
  track.wrap = options.loop;
  for (const BeatLine& line : beat.lines) track.stemKinds.push_back(line.kind);
  // Every hit of every line, line by line and in time order: each line is a lane, and its last
  // hit rings to the end of the track, or in a loop into the line's first hit coming round.
  std::vector<Onset> onsets;
  std::vector<float> levels;
  onsets.reserve(static_cast<size_t>(hits * repeat));
  levels.reserve(onsets.capacity());
  for (size_t l = 0; l < beat.lines.size(); ++l) {
    const BeatLine& line = beat.lines[l];
    for (int64_t pass = 0; pass < repeat; ++pass) {
      for (size_t j = 0; j < line.steps.size(); ++j) {
        if (line.steps[j] == Step::kRest) continue;
        const int64_t step = pass * grid + static_cast<int64_t>(j);
        onsets.push_back({StepStart(step, rate, tempo, beat.steps, beat.swing),
                          static_cast<int32_t>(l), line.ring});
        levels.push_back(StepLevel(line.steps[j]) * line.level);
      }
    }
  }
  const std::vector<int32_t> lengths = CutLengths(onsets, rate, {track.length, options.loop});
  for (size_t h = 0; h < onsets.size(); ++h) {
    if (lengths[h] == 0) continue;
    const BeatLine& line = beat.lines[static_cast<size_t>(onsets[h].lane)];
    track.hits.push_back(MakeHit(line.kind, onsets[h].start, lengths[h], rate, line.frequency,
                                 levels[h], onsets[h].lane));
  }
  return std::nullopt;
}

}  // namespace kettorin
