// From a beat to timed hits: exact step times, hit lengths, levels.
#include <algorithm>
#include <array>
#include <cmath>
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

// Where step s starts in hundredths of a step: 100 s + w(s), w(s) = 2 (W - 50) for odd s.
int64_t SwungHundredths(int64_t step, int32_t swing) {
  return 100 * step + (step % 2 == 1 ? 2 * (swing - 50) : 0);
}

}  // namespace

int64_t StepStart(int64_t step, int32_t sampleRate, int32_t tempo, int32_t stepsPerBeat,
                  int32_t swing) {
  // With T x 60 R / (B P) below 2^31, (100 s + 50) x 60 R stays below 2^31 x 100 x 999 x 64,
  // far inside 64 bits.
  return SwungHundredths(step, swing) * 60 * sampleRate / (int64_t{100} * tempo * stepsPerBeat);
}

namespace {

// The lanes: a pattern's first line of a kind is the kind's first lane, its second line the
// second lane, and so on, in every pattern alike (hihat lines have lanes of their own); lanes are
// numbered as they first appear.
struct Lanes {
  std::vector<DrumKind> kinds;               // per lane
  std::vector<bool> hihat;                   // per lane: a hihat line's lane
  std::vector<std::vector<int32_t>> ofLine;  // per pattern, per line: its lane
};

Lanes NumberLanes(const Beat& beat) {
  Lanes lanes;
  // Each kind's lanes, first to last, and after them the hihat lines'.
  std::vector<std::vector<int32_t>> byKind(kDrumKindCount + 1);
  for (const BeatPattern& pattern : beat.patterns) {
    std::vector<int32_t>& ofLine = lanes.ofLine.emplace_back();
    std::vector<size_t> used(kDrumKindCount + 1, 0);
    for (const BeatLine& line : pattern.lines) {
      const size_t kind = line.hihat ? kDrumKindCount : static_cast<size_t>(line.kind);
      const size_t ordinal = used[kind]++;
      if (ordinal == byKind[kind].size()) {
        byKind[kind].push_back(static_cast<int32_t>(lanes.kinds.size()));
        lanes.kinds.push_back(line.kind);
        lanes.hihat.push_back(line.hihat);
      }
      ofLine.push_back(byKind[kind][ordinal]);
    }
  }
  return lanes;
}

// A cell of a pattern that sounds (or, for a ?, may): where it stands and its level before the
// human feel, cell level x line level, x the accent factor on an accented step.
struct PatternCell {
  int32_t line;
  int32_t step;
  int32_t cell, cells;  // which of the step's cells: 0 of 1 without a bracket
  Step symbol;
  float level;
  float graceLevel;
  int64_t shift;  // samples the line's hits move: trunc((float(R) x shift) / 1000)
  int64_t grace;  // samples a flam's grace note comes early: G = trunc(float(R) x flam)
};

// trunc(x) for a float that may lie outside 64 bits (it never does for the ranges read).
int64_t Truncate(float x) {
  return std::isfinite(x) && std::fabs(x) < 9.0e18f ? static_cast<int64_t>(x) : 0;
}

std::vector<std::vector<PatternCell>> PatternCells(const Beat& beat, int32_t rate) {
  const float rateF = static_cast<float>(rate);
  std::vector<std::vector<PatternCell>> all;
  for (const BeatPattern& pattern : beat.patterns) {
    std::vector<PatternCell>& of = all.emplace_back();
    for (size_t l = 0; l < pattern.lines.size(); ++l) {
      const BeatLine& line = pattern.lines[l];
      const int64_t shift = Truncate((rateF * line.shift) / 1000.0f);
      const int64_t grace = Truncate(rateF * line.flam);
      size_t bracket = 0;
      for (size_t j = 0; j < line.steps.size(); ++j) {
        const bool accented = !pattern.accents.empty() && pattern.accents[j];
        const auto add = [&](Step symbol, int32_t cell, int32_t cells) {
          if (symbol == Step::kRest) return;
          float level = StepLevel(symbol) * line.level;
          float graceLevel = kGraceLevel * line.level;
          if (accented) {
            level = level * kAccentFactor;
            graceLevel = graceLevel * kAccentFactor;
          }
          of.push_back({static_cast<int32_t>(l), static_cast<int32_t>(j), cell, cells, symbol,
                        level, graceLevel, shift, grace});
        };
        if (line.steps[j] != Step::kBracket) {
          add(line.steps[j], 0, 1);
          continue;
        }
        const std::vector<Step>& cells = line.brackets[bracket++];
        for (size_t c = 0; c < cells.size(); ++c) {
          add(cells[c], static_cast<int32_t>(c), static_cast<int32_t>(cells.size()));
        }
      }
    }
  }
  return all;
}

Failure TooLong(int64_t limit) {
  return Failure{kStatusNoStorage, "The beat is too long for a WAV file: more than " +
                                       std::to_string(limit) + " samples."};
}

// The seeded draws of one lane: u(p, lane, j) = NextExcitation(H(H(seed + p) + lane) + j), p 0
// for chance, 1 for time, 2 for level, in wrapping 32-bit arithmetic.
struct LaneDraws {
  std::array<uint32_t, 3> base;
  LaneDraws(uint32_t seed, uint32_t lane) {
    for (uint32_t p = 0; p < 3; ++p) base[p] = ExcitationHash(ExcitationHash(seed + p) + lane);
  }
  float U(uint32_t p, uint32_t j) const { return NextExcitation(base[p] + j); }
};

// A hit before its length: where it starts, what it plays, how loud.
struct Placed {
  Onset onset;
  DrumKind kind;
  const BeatLine* line;
  float level;
  PanGains pan;
  HitSource source;
};

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
  // Stereo when the text or the options say so; the file's limit is then shared by two channels.
  const bool panned =
      beat.stereo ||
      std::any_of(options.pans.begin(), options.pans.end(),
                  [](const std::optional<float>& pan) { return pan.has_value(); }) ||
      std::any_of(beat.patterns.begin(), beat.patterns.end(), [](const BeatPattern& pattern) {
        return std::any_of(pattern.lines.begin(), pattern.lines.end(),
                           [](const BeatLine& line) { return line.pan.has_value(); });
      });
  const int32_t channels = options.channels.value_or(panned ? 2 : 1) == 2 ? 2 : 1;
  limit /= channels;
  BeatLayout laid;
  laid.tempo = tempo;
  laid.repeat = repeat;
  laid.seed = options.seed.value_or(beat.seed);
  laid.humanizeMs = options.humanize ? options.humanize->first : beat.humanizeMs;
  laid.humanizePercent = options.humanize ? options.humanize->second : beat.humanizePercent;
  laid.choke = options.choke.value_or(beat.choke);
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
    segment.totalSteps = steps;
    segment.startBeats = laid.beats;
    laid.beats += static_cast<double>(steps) / segment.steps;
    const std::optional<int64_t> samples =
        TrackLength(steps, rate, segment.tempo, segment.steps, limit - length);
    if (!samples) return TooLong(limit);
    segment.length = *samples;
    length += *samples;
    laid.segments.push_back(segment);
  }

  const std::vector<std::vector<PatternCell>> patternCells = PatternCells(beat, rate);
  int64_t most = 0;  // hits and grace notes, if every ? sounds
  for (size_t p = 0; p < beat.patterns.size(); ++p) {
    int64_t of = 0;
    for (const PatternCell& cell : patternCells[p]) of += 1 + GraceNotes(cell.symbol);
    most += of * laid.playsOf[p];
    if (most > kMaxBeatHits) {
      return Failure{kStatusNoStorage, "The beat has too many hits: more than " +
                                           std::to_string(kMaxBeatHits) + "."};
    }
  }

  const Lanes lanes = NumberLanes(beat);
  track = Track{};
  track.sampleRate = rate;
  track.length = length;
  track.wrap = options.loop;
  track.fade = FadeSamples(rate);
  track.stemKinds = lanes.kinds;
  track.hihatStems = lanes.hihat;
  track.channels = channels;
  // Each line's place, once: its own pan=, or its kind's (a hihat line's, the closed hat's).
  std::vector<std::vector<PanGains>> lineGains(beat.patterns.size());
  for (size_t p = 0; p < beat.patterns.size(); ++p) {
    for (const BeatLine& line : beat.patterns[p].lines) {
      lineGains[p].push_back(PanLaw(line.pan.value_or(PanOf(line.kind, options.pans))));
    }
  }
  laid.tally.resize(beat.patterns.size());
  for (size_t p = 0; p < beat.patterns.size(); ++p) {
    laid.tally[p].assign(beat.patterns[p].lines.size(), {});
  }

  // Every cell in song order: play by play, line by line, step by step, cell by cell; each
  // lane's cells number its draws.
  const float rateF = static_cast<float>(rate);
  const float humanizeSamples =
      (rateF * static_cast<float>(laid.humanizeMs)) / 1000.0f;  // D: the largest move
  const float humanizeLevel = static_cast<float>(laid.humanizePercent) / 100.0f;
  std::vector<LaneDraws> draws;
  for (size_t lane = 0; lane < lanes.kinds.size(); ++lane) {
    draws.emplace_back(laid.seed, static_cast<uint32_t>(lane));
  }
  std::vector<uint32_t> drawn(lanes.kinds.size(), 0);
  std::vector<std::vector<Placed>> byLane(lanes.kinds.size());
  const auto place = [&](int64_t start) {
    if (options.loop) return length == 0 ? 0 : ((start % length) + length) % length;
    return std::max<int64_t>(start, 0);
  };
  for (const Segment& segment : laid.segments) {
    const auto stepStart = [&](int64_t s) {
      if (s >= segment.totalSteps) return segment.start + segment.length;
      return segment.start + StepStart(s, rate, segment.tempo, segment.steps, segment.swing);
    };
    // The same in beats, exactly: (100 s + w(s)) / (100 P) from the segment's start.
    const auto stepBeats = [&](int64_t s) {
      if (s >= segment.totalSteps) return static_cast<double>(segment.totalSteps) / segment.steps;
      return static_cast<double>(SwungHundredths(s, segment.swing)) / (100.0 * segment.steps);
    };
    const double beatsPerSample = segment.tempo / (60.0 * rate);
    int64_t base = 0;  // the play's first step, counted from the segment's start
    for (int64_t i = segment.firstPlay; i < segment.firstPlay + segment.plays; ++i) {
      const auto p = static_cast<size_t>(laid.plays[static_cast<size_t>(i)]);
      const BeatPattern& pattern = beat.patterns[p];
      laid.playStarts.push_back(stepStart(base));
      laid.playBeats.push_back(segment.startBeats + stepBeats(base));
      for (const PatternCell& cell : patternCells[p]) {
        const BeatLine& line = pattern.lines[static_cast<size_t>(cell.line)];
        LineTally& tally = laid.tally[p][static_cast<size_t>(cell.line)];
        const int32_t lane = lanes.ofLine[p][static_cast<size_t>(cell.line)];
        const LaneDraws& draw = draws[static_cast<size_t>(lane)];
        const uint32_t j = drawn[static_cast<size_t>(lane)]++;
        if (cell.symbol == Step::kChance) {
          ++tally.chances;
          const bool sounds = line.chance >= 1.0f ||
                              (line.chance > 0.0f && draw.U(0, j) * 0.5f + 0.5f < line.chance);
          if (!sounds) continue;
          ++tally.sounded;
        }
        ++tally.hits;
        const int32_t graces = GraceNotes(cell.symbol);
        tally.flams += graces == 1;
        tally.drags += graces == 2;

        const int64_t s = base + cell.step;
        const int64_t from = stepStart(s);
        const int64_t cellStart = from + cell.cell * (stepStart(s + 1) - from) / cell.cells;
        const int64_t move =
            laid.humanizeMs != 0 ? Truncate(draw.U(1, j) * humanizeSamples) : 0;
        float level = cell.level;
        float graceLevel = cell.graceLevel;
        if (laid.humanizePercent != 0) {
          const float feel = 1.0f + draw.U(2, j) * humanizeLevel;
          level = level * feel;
          graceLevel = graceLevel * feel;
        }
        const bool open = cell.symbol == Step::kOpen || cell.symbol == Step::kOpenAccent;
        const double stepFrom = stepBeats(s);
        const double cellBeats = segment.startBeats + stepFrom +
                                 (stepBeats(s + 1) - stepFrom) * cell.cell / cell.cells;
        const auto add = [&](int64_t lead, DrumKind kind, float hitLevel) {
          const Onset onset{place(cellStart - lead + cell.shift + move), lane,
                            line.hihat && !line.ringGiven ? Info(kind).ringSeconds : line.ring,
                            HiHatOf(kind)};
          double beats =
              cellBeats + static_cast<double>(cell.shift + move - lead) * beatsPerSample;
          beats = options.loop ? std::fmod(std::fmod(beats, laid.beats) + laid.beats, laid.beats)
                               : std::max(beats, 0.0);
          const HitSource source{static_cast<int32_t>(p), cell.step,
                                 line.key.value_or(GeneralMidiKey(kind)), beats};
          byLane[static_cast<size_t>(lane)].push_back(
              {onset, kind, &line, hitLevel, lineGains[p][static_cast<size_t>(cell.line)], source});
        };
        // The grace notes first, the earliest first, then the hit.
        const DrumKind graceKind = line.hihat ? DrumKind::kHiHatClosed : line.kind;
        if (graces >= 1) add(cell.grace, graceKind, graceLevel);
        if (graces == 2) add(cell.grace / 2, graceKind, graceLevel);
        add(0, open ? DrumKind::kHiHatOpen : line.kind, level);
      }
      base += pattern.GridSteps();
    }
  }

  // Each lane's hits in the order of their starts (those on one sample in song order), lane by
  // lane: the order they are cut and mixed in.
  std::vector<Onset> onsets;
  std::vector<const Placed*> placed;
  for (std::vector<Placed>& hits : byLane) {
    std::stable_sort(hits.begin(), hits.end(), [](const Placed& a, const Placed& b) {
      return a.onset.start < b.onset.start;
    });
    for (const Placed& hit : hits) {
      onsets.push_back(hit.onset);
      placed.push_back(&hit);
    }
  }
  const std::vector<int32_t> lengths =
      CutLengths(onsets, rate, {track.length, options.loop, laid.choke});
  for (size_t h = 0; h < onsets.size(); ++h) {
    if (lengths[h] == 0) continue;
    const Placed& hit = *placed[h];
    track.hits.push_back(MakeHit(hit.kind, onsets[h].start, lengths[h], rate,
                                 hit.line->frequency, hit.level, onsets[h].lane));
    track.hits.back().pan = hit.pan;
    laid.sources.push_back(hit.source);
  }
  if (layout != nullptr) *layout = std::move(laid);
  return std::nullopt;
}

}  // namespace kettorin
