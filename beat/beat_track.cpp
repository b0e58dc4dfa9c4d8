// From a beat to timed hits: exact step times, hit lengths, levels.
#include <array>
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

namespace {

// The lanes: a pattern's first line of a kind is the kind's first lane, its second line the
// second lane, and so on, in every pattern alike; lanes are numbered as they first appear.
struct Lanes {
  std::vector<DrumKind> kinds;                 // per lane
  std::vector<std::vector<int32_t>> ofLine;    // per pattern, per line: its lane
};

Lanes NumberLanes(const Beat& beat) {
  Lanes lanes;
  std::vector<std::vector<int32_t>> byKind(kDrumKindCount);  // the kind's lanes, first to last
  for (const BeatPattern& pattern : beat.patterns) {
    std::vector<int32_t>& ofLine = lanes.ofLine.emplace_back();
    std::vector<size_t> used(kDrumKindCount, 0);
    for (const BeatLine& line : pattern.lines) {
      const auto kind = static_cast<size_t>(line.kind);
      const size_t ordinal = used[kind]++;
      if (ordinal == byKind[kind].size()) {
        byKind[kind].push_back(static_cast<int32_t>(lanes.kinds.size()));
        lanes.kinds.push_back(line.kind);
      }
      ofLine.push_back(byKind[kind][ordinal]);
    }
  }
  return lanes;
}

// A pattern's hits, line by line and in step order, as the grid holds them.
struct PatternHit {
  int32_t line;
  int32_t step;
  float level;
};

std::vector<std::vector<PatternHit>> PatternHits(const Beat& beat) {
  std::vector<std::vector<PatternHit>> hits;
  for (const BeatPattern& pattern : beat.patterns) {
    std::vector<PatternHit>& of = hits.emplace_back();
    for (size_t l = 0; l < pattern.lines.size(); ++l) {
      const BeatLine& line = pattern.lines[l];
      for (size_t j = 0; j < line.steps.size(); ++j) {
        if (line.steps[j] == Step::kRest) continue;
        of.push_back({static_cast<int32_t>(l), static_cast<int32_t>(j),
                      StepLevel(line.steps[j]) * line.level});
      }
    }
  }
  return hits;
}

Failure TooLong(int64_t limit) {
  return Failure{kStatusNoStorage, "The beat is too long for a WAV file: more than " +
                                       std::to_string(limit) + " samples."};
}

}  // namespace

std::optional<Failure> BeatTrack(const Beat& beat, const BeatOptions& options, int64_t limit,
                                 Track& track, BeatLayout* layout) {
  const int32_t tempo = options.tempo.value_or(beat.tempo);
  const int32_t repeat = options.repeat.value_or(beat.repeat);
  const int32_t rate = options.sampleRate;
  if (auto failure = CheckTempo(tempo)) return failure;
  if (auto failure = CheckSampleRate(rate)) return failure;
  if (auto failure = CheckRepeat(repeat)) return failure;
  if (PlayCount(beat, repeat) > kMaxPlays) {
    return Failure{kStatusNoStorage, "The song plays too many patterns: more than " +
                                         std::to_string(kMaxPlays) + "."};
  }
  BeatLayout laid;
  laid.tempo = tempo;
  laid.repeat = repeat;
  laid.plays = ExpandOrder(beat, repeat);
  laid.playsOf.assign(beat.patterns.size(), 0);
  for (int32_t p : laid.plays) ++laid.playsOf[static_cast<size_t>(p)];

  // The segments: runs of plays with one tempo, steps per beat and swing, each as long as its
  // steps at its tempo, floored once.
  const auto settingsOf = [&](int32_t p) {
    const BeatPattern& pattern = beat.patterns[static_cast<size_t>(p)];
    return std::array<int32_t, 3>{pattern.tempo.value_or(tempo), beat.StepsOf(pattern),
                                  beat.SwingOf(pattern)};
  };
  int64_t length = 0;
  for (size_t i = 0; i < laid.plays.size();) {
    const std::array<int32_t, 3> settings = settingsOf(laid.plays[i]);
    Segment segment;
    segment.start = length;
    segment.tempo = settings[0];
    segment.steps = settings[1];
    segment.swing = settings[2];
    segment.firstPlay = static_cast<int64_t>(i);
    int64_t steps = 0;
    for (; i < laid.plays.size() && settingsOf(laid.plays[i]) == settings; ++i) {
      // Steps of a text are far below 2^40, and plays at most 2^20.
      steps += beat.patterns[static_cast<size_t>(laid.plays[i])].GridSteps();
    }
    segment.plays = static_cast<int64_t>(i) - segment.firstPlay;
    const std::optional<int64_t> samples =
        TrackLength(steps, rate, segment.tempo, segment.steps, limit - length);
    if (!samples) return TooLong(limit);
    segment.length = *samples;
    length += *samples;
    laid.segments.push_back(segment);
  }

  const std::vector<std::vector<PatternHit>> patternHits = PatternHits(beat);
  int64_t hits = 0;
  for (size_t p = 0; p < beat.patterns.size(); ++p) {
    hits += static_cast<int64_t>(patternHits[p].size()) * laid.playsOf[p];
    if (hits > kMaxBeatHits) {
      return Failure{kStatusNoStorage, "The beat has too many hits: more than " +
                                           std::to_string(kMaxBeatHits) + "."};
    }
  }

  const Lanes lanes = NumberLanes(beat);
  track = Track{};
  track.sampleRate = rate;
  track.length = length;
  track.wrap = options.loop;
  track.stemKinds = lanes.kinds;
  // Every hit, lane by lane and in time order within a lane: a lane's last hit rings to the end
  // of the track, or in a loop into the lane's first hit coming round. The plays run in time
  // order, so each lane's hits are gathered in order as the plays are walked.
  struct Source {
    const BeatLine* line;
    float level;
  };
  std::vector<size_t> laneHits(lanes.kinds.size() + 1, 0);
  for (int32_t p : laid.plays) {
    for (const PatternHit& hit : patternHits[static_cast<size_t>(p)]) {
      ++laneHits[static_cast<size_t>(lanes.ofLine[static_cast<size_t>(p)]
                                                  [static_cast<size_t>(hit.line)]) + 1];
    }
  }
  for (size_t lane = 1; lane < laneHits.size(); ++lane) laneHits[lane] += laneHits[lane - 1];
  std::vector<Onset> onsets(static_cast<size_t>(hits));
  std::vector<Source> sources(static_cast<size_t>(hits));
  for (const Segment& segment : laid.segments) {
    int64_t base = 0;  // the play's first step, counted from the segment's start
    for (int64_t i = segment.firstPlay; i < segment.firstPlay + segment.plays; ++i) {
      const auto p = static_cast<size_t>(laid.plays[static_cast<size_t>(i)]);
      const BeatPattern& pattern = beat.patterns[p];
      for (const PatternHit& hit : patternHits[p]) {
        const BeatLine& line = pattern.lines[static_cast<size_t>(hit.line)];
        const int32_t lane = lanes.ofLine[p][static_cast<size_t>(hit.line)];
        const size_t at = laneHits[static_cast<size_t>(lane)]++;
        const int64_t start = segment.start + StepStart(base + hit.step, rate, segment.tempo,
                                                        segment.steps, segment.swing);
        onsets[at] = {start, lane, line.ring};
        sources[at] = {&line, hit.level};
      }
      base += pattern.GridSteps();
    }
  }
  const std::vector<int32_t> lengths = CutLengths(onsets, rate, {track.length, options.loop});
  for (size_t h = 0; h < onsets.size(); ++h) {
    if (lengths[h] == 0) continue;
    const BeatLine& line = *sources[h].line;
    track.hits.push_back(MakeHit(line.kind, onsets[h].start, lengths[h], rate, line.frequency,
                                 sources[h].level, onsets[h].lane));
  }
  if (layout != nullptr) *layout = std::move(laid);
  return std::nullopt;
}

}  // namespace kettorin
