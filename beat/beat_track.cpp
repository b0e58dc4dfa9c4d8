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
  if (tempo < kMinTempo || tempo > kMaxTempo) {
    return Failure{kStatusBadTempo, "BPM must be between 1 and 999. Got: " + std::to_string(tempo)};
  }
  if (rate < 1) {
    return Failure{kStatusBadSampleRate,
                   "Sample rate must be at least 1. Got: " + std::to_string(rate)};
  }
  if (repeat < kMinRepeat || repeat > kMaxRepeat) {
    return Failure{kStatusBadInput, "repeat must be 1 to 10000, got " + std::to_string(repeat)};
  }
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
  auto start = [&](int64_t step) { return StepStart(step, rate, tempo, beat.steps, beat.swing); };
  for (size_t l = 0; l < beat.lines.size(); ++l) {
    const BeatLine& line = beat.lines[l];
    std::vector<int64_t> cells;  // the steps of one pass that hit
    for (size_t j = 0; j < line.steps.size(); ++j) {
      if (line.steps[j] != Step::kRest) cells.push_back(static_cast<int64_t>(j));
    }
    if (cells.empty()) continue;
    const int64_t first = start(cells.front());
    for (int64_t pass = 0; pass < repeat; ++pass) {
      for (size_t c = 0; c < cells.size(); ++c) {
        const int64_t step = pass * grid + cells[c];
        const int64_t at = start(step);
        // A hit sounds until the next hit of its line; the last one until the end of the track,
        // or, in a loop, until the line's first hit comes round again.
        int64_t gap = 0;
        if (c + 1 < cells.size()) {
          gap = start(pass * grid + cells[c + 1]) - at;
        } else if (pass + 1 < repeat) {
          gap = start((pass + 1) * grid + cells.front()) - at;
        } else {
          gap = track.length - at + (options.loop ? first : 0);
        }
        const int32_t n = HitLength(gap, rate, line.ring);
        if (n == 0) continue;
        const float level = StepLevel(line.steps[static_cast<size_t>(cells[c])]) * line.level;
        track.hits.push_back(
            MakeHit(line.kind, at, n, rate, line.frequency, level, static_cast<int32_t>(l)));
      }
    }
  }
  return std::nullopt;
}

}  // namespace kettorin
