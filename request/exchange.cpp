// What a render gives its neighbours besides sound: a beat as a MIDI file, the markers of its
// plays, and the labels of every hit.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>
#include <string>

#include "midi/midi_writer.h"
#include "request/request.h"

namespace kettorin {

namespace {

constexpr int32_t kTicksPerQuarter = 960;

// The name a play is known by: its pattern's, or, for a grid without patterns, its pass.
std::string PlayName(const Plan& plan, size_t play) {
  const std::string& name =
      plan.beat.patterns[static_cast<size_t>(plan.layout.plays[play])].name;
  return name.empty() ? "pass " + std::to_string(play + 1) : name;
}

uint64_t Tick(double beats) {
  return static_cast<uint64_t>(std::llround(std::max(beats, 0.0) * kTicksPerQuarter));
}

// The segment a beat position falls in.
const Segment& SegmentAt(const BeatLayout& layout, double beats) {
  auto it = std::upper_bound(layout.segments.begin(), layout.segments.end(), beats,
                             [](double b, const Segment& s) { return b < s.startBeats; });
  return it == layout.segments.begin() ? *it : *(it - 1);
}

// A pattern's length as a time signature: n/4 for whole beats, otherwise in eighths, sixteenths
// and so on down to 64ths; nothing when no such meter says it.
std::optional<MidiOutMeter> MeterOf(int64_t gridSteps, int32_t stepsPerBeat) {
  for (uint8_t power = 2; power <= 6; ++power) {
    const int64_t quarters = int64_t{1} << (power - 2);  // notes of 1/2^power in a beat
    if ((gridSteps * quarters) % stepsPerBeat != 0) continue;
    const int64_t n = gridSteps * quarters / stepsPerBeat;
    if (n < 1 || n > 255) return std::nullopt;
    return MidiOutMeter{0, static_cast<uint8_t>(n), power};
  }
  return std::nullopt;
}

}  // namespace

std::vector<WavCue> Cues(const Plan& plan) {
  std::vector<WavCue> cues;
  if (plan.source != Source::kBeat) return cues;
  for (size_t i = 0; i < plan.layout.playStarts.size(); ++i) {
    cues.push_back({static_cast<uint32_t>(plan.layout.playStarts[i]), PlayName(plan, i)});
  }
  return cues;
}

std::optional<Failure> BeatMidi(const Plan& plan, std::vector<uint8_t>& bytes) {
  if (plan.source != Source::kBeat) {
    return Failure{kStatusBadInput, "Only a beat is written as a MIDI file."};
  }
  const BeatLayout& layout = plan.layout;
  MidiOut song;
  song.ticksPerQuarter = kTicksPerQuarter;
  for (const Segment& segment : layout.segments) {
    const auto us = static_cast<uint32_t>(std::llround(60e6 / segment.tempo));
    song.tempos.push_back({Tick(segment.startBeats), us});
  }
  std::optional<std::pair<int64_t, int32_t>> meter;  // the last play's steps and steps per beat
  for (size_t i = 0; i < layout.plays.size(); ++i) {
    const BeatPattern& pattern = plan.beat.patterns[static_cast<size_t>(layout.plays[i])];
    const std::pair<int64_t, int32_t> length{pattern.GridSteps(), plan.beat.StepsOf(pattern)};
    const uint64_t tick = Tick(layout.playBeats[i]);
    // A meter where the pattern's length in beats changes (2 steps of 2 a beat is 4 of 4).
    if (!meter || length.first * meter->second != meter->first * length.second) {
      if (std::optional<MidiOutMeter> m = MeterOf(length.first, length.second)) {
        m->tick = tick;
        song.meters.push_back(*m);
      }
    }
    meter = length;
    song.markers.push_back({tick, PlayName(plan, i)});
  }
  for (size_t h = 0; h < plan.track.hits.size(); ++h) {
    const Hit& hit = plan.track.hits[h];
    const HitSource& source = layout.sources[h];
    const Segment& segment = SegmentAt(layout, source.beats);
    // Its length in ticks at its segment's tempo: n x B x 960 / (60 R), at least 1.
    const double ticks = static_cast<double>(hit.length) * segment.tempo * kTicksPerQuarter /
                         (60.0 * plan.sampleRate);
    const long velocity = std::lround(static_cast<double>(hit.level) * 127.0);
    song.notes.push_back({Tick(source.beats),
                          static_cast<uint64_t>(std::max<long long>(std::llround(ticks), 1)),
                          static_cast<uint8_t>(source.key),
                          static_cast<uint8_t>(std::clamp<long>(velocity, 1, 127))});
  }
  song.endTick = Tick(layout.beats);
  bytes = WriteMidi(song);
  return std::nullopt;
}

std::string LabelsCsv(const Plan& plan) {
  struct Row {
    int64_t start;
    int32_t stem, key, length;
    DrumKind kind;
    float level;
    int32_t pattern, step;  // -1: not from a beat
  };
  std::vector<Row> rows;
  if (plan.source == Source::kBeat) {
    for (size_t h = 0; h < plan.track.hits.size(); ++h) {
      const Hit& hit = plan.track.hits[h];
      const HitSource& source = plan.layout.sources[h];
      rows.push_back({hit.start, hit.stem, source.key, hit.length, hit.kind, hit.level,
                      source.pattern, source.step});
    }
  } else if (plan.source == Source::kMidi) {
    std::array<int32_t, kDrumKindCount> stemOf{};
    for (size_t s = 0; s < plan.track.stemKinds.size(); ++s) {
      stemOf[static_cast<size_t>(plan.track.stemKinds[s])] = static_cast<int32_t>(s);
    }
    for (const MidiHit& hit : plan.midi.hits) {
      if (hit.length == 0) continue;  // cut by a hit of its kind on the same sample: silent
      rows.push_back({hit.start, stemOf[static_cast<size_t>(hit.kind)], hit.key, hit.length,
                      hit.kind, static_cast<float>(hit.velocity) / 127.0f, -1, -1});
    }
  }
  std::stable_sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) {
    return a.start != b.start ? a.start < b.start : a.stem < b.stem;
  });
  std::vector<std::string> stems;
  for (int32_t s = 0; s < StemCount(plan); ++s) stems.push_back(StemName(plan, s));
  std::string text = "start_sample,start_seconds,lane,kind,key,level,length,pattern,step\n";
  const auto rate = static_cast<uint64_t>(plan.sampleRate);
  for (const Row& row : rows) {
    // Seconds to 9 decimals, exactly: whole seconds, then the remainder's nanoseconds rounded.
    const auto start = static_cast<uint64_t>(row.start);
    uint64_t whole = start / rate;
    uint64_t nanos = ((start % rate) * 1000000000 + rate / 2) / rate;
    if (nanos == 1000000000) {
      ++whole;
      nanos = 0;
    }
    char line[160];
    std::snprintf(line, sizeof line, "%lld,%llu.%09llu,%s,%.*s,%d,%.9g,%d,",
                  static_cast<long long>(row.start), static_cast<unsigned long long>(whole),
                  static_cast<unsigned long long>(nanos),
                  stems[static_cast<size_t>(row.stem)].c_str(),
                  static_cast<int>(Info(row.kind).keys[0].size()), Info(row.kind).keys[0].data(),
                  row.key, static_cast<double>(row.level), row.length);
    text += line;
    if (row.pattern >= 0) {
      text += plan.beat.patterns[static_cast<size_t>(row.pattern)].name + "," +
              std::to_string(row.step);
    } else {
      text += ",";
    }
    text += '\n';
  }
  return text;
}

}  // namespace kettorin
