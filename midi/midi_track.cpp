// MIDI notes to timed hits: exact times from ticks and tempos, drum keys to kinds, lengths.
#include "midi/midi_track.h"

#include <algorithm>
#include <charconv>
#include <limits>

#include "compose/notes.h"
#include "midi/uint128.h"

namespace kettorin {

namespace {

constexpr uint32_t kDefaultTempo = 500000;  // 120 BPM until the first tempo event
constexpr uint64_t kMicrosecondsPerSecond = 1000000;

// Times are exact fractions of a second: a numerator in 128 bits over the file's one denominator,
// ticks per quarter x 10^6 (a tick lasts tempo / (ticks per quarter x 10^6) seconds), or for SMPTE
// frames per second x ticks per frame (with 30000/1001 frames: 30000 x ticks per frame over 1001).
struct Timebase {
  uint64_t denominator = 1;
  uint64_t smpteTickTime = 0;  // SMPTE: the numerator of one tick; 0 for a tempo map
};

// A stretch of one tempo: from `tick` on, each tick adds `tempo` to the time.
struct TempoSegment {
  uint64_t tick = 0;
  Uint128 time;
  uint32_t tempo = kDefaultTempo;
};

class TempoMap {
 public:
  // Tempo events sorted by tick, the later of two at one tick winning; time starts at `offset`.
  TempoMap(const std::vector<MidiTempo>& tempos, Uint128 offset) {
    segments_.push_back({0, offset, kDefaultTempo});
    for (const MidiTempo& tempo : tempos) {
      if (tempo.tick == segments_.back().tick) {
        segments_.back().tempo = tempo.microsecondsPerQuarter;
      } else {
        segments_.push_back({tempo.tick, TimeAt(tempo.tick), tempo.microsecondsPerQuarter});
      }
    }
  }

  Uint128 TimeAt(uint64_t tick) const {
    const auto after =
        std::upper_bound(segments_.begin(), segments_.end(), tick,
                         [](uint64_t t, const TempoSegment& segment) { return t < segment.tick; });
    const TempoSegment& segment = *(after - 1);
    return SaturatingAdd(segment.time, SaturatingMul(Uint128(tick - segment.tick), segment.tempo));
  }

  const std::vector<TempoSegment>& Segments() const { return segments_; }

 private:
  std::vector<TempoSegment> segments_;
};

// Every tempo event of the tracks, by tick; at one tick, the later in (track, position) order.
std::vector<MidiTempo> MergedTempos(const std::vector<MidiTrack>& tracks) {
  std::vector<MidiTempo> all;
  for (const MidiTrack& track : tracks) {
    all.insert(all.end(), track.tempos.begin(), track.tempos.end());
  }
  std::stable_sort(all.begin(), all.end(),
                   [](const MidiTempo& a, const MidiTempo& b) { return a.tick < b.tick; });
  return all;
}

std::string DivisionText(const MidiFile& file) {
  if (file.framesPerSecond == 0) {
    return std::to_string(file.ticksPerQuarter) + " ticks per quarter note";
  }
  return std::string("SMPTE ") +
         (file.framesPerSecond == 29 ? "29.97" : std::to_string(file.framesPerSecond)) +
         " frames per second x " + std::to_string(file.ticksPerFrame) + " ticks";
}

}  // namespace


namespace {

// What the file says beside its notes: what was read leniently.
std::vector<std::string> ReadingWarnings(const MidiFile& file) {
  std::vector<std::string> warnings;
  const auto tracks = static_cast<int32_t>(file.tracks.size());
  if (file.declaredTracks != tracks) {
    warnings.push_back("the header announces " + std::to_string(file.declaredTracks) + " track" +
                       (file.declaredTracks == 1 ? "" : "s") + ", the file holds " +
                       std::to_string(tracks) + "; every track present is played");
  }
  if (file.cutOffAt) {
    warnings.push_back("the file ends inside track " + std::to_string(tracks) + " (byte " +
                       std::to_string(*file.cutOffAt) + "): the hits before the cut are kept");
  }
  if (file.strayBytes > 0) {
    warnings.push_back("ignored " + std::to_string(file.strayBytes) + " byte" +
                       (file.strayBytes == 1 ? "" : "s") +
                       " after the last chunk (too few for a chunk)");
  }
  return warnings;
}

// Where every tick of every track falls, as an exact fraction of a second over the file's one
// denominator. Format 2 plays its tracks one after another, each with its own tempos; the others
// share one map built from every track.
class FileTimes {
 public:
  explicit FileTimes(const MidiFile& file) : sequential_(file.format == 2) {
    if (file.framesPerSecond == 0) {
      base_.denominator = static_cast<uint64_t>(file.ticksPerQuarter) * kMicrosecondsPerSecond;
    } else if (file.framesPerSecond == 29) {
      base_.denominator = uint64_t{30000} * static_cast<uint64_t>(file.ticksPerFrame);
      base_.smpteTickTime = 1001;
    } else {
      base_.denominator = static_cast<uint64_t>(file.framesPerSecond * file.ticksPerFrame);
      base_.smpteTickTime = 1;
    }
    if (base_.smpteTickTime == 0 && !sequential_) {
      maps_.emplace_back(MergedTempos(file.tracks), Uint128());
    }
    Uint128 offset;
    for (const MidiTrack& track : file.tracks) {
      if (base_.smpteTickTime != 0) {
        const Uint128 duration = SaturatingMul(Uint128(track.endTick), base_.smpteTickTime);
        ends_.push_back(sequential_ ? SaturatingAdd(offset, duration) : duration);
      } else if (sequential_) {
        maps_.emplace_back(track.tempos, offset);
        ends_.push_back(maps_.back().TimeAt(track.endTick));
      } else {
        ends_.push_back(maps_[0].TimeAt(track.endTick));
      }
      if (sequential_) offset = ends_.back();
    }
  }

  uint64_t Denominator() const { return base_.denominator; }
  const std::vector<Uint128>& Ends() const { return ends_; }

  // The time of a tick of track t.
  Uint128 TimeAt(size_t t, uint64_t tick) const {
    if (base_.smpteTickTime != 0) {
      return SaturatingAdd(sequential_ && t > 0 ? ends_[t - 1] : Uint128(),
                           SaturatingMul(Uint128(tick), base_.smpteTickTime));
    }
    return maps_[sequential_ ? t : 0].TimeAt(tick);
  }

  // Microseconds per quarter at the start (0 for SMPTE time), and the changes after it.
  int32_t FirstTempo() const {
    return maps_.empty() ? 0 : static_cast<int32_t>(maps_[0].Segments()[0].tempo);
  }
  int64_t TempoChanges() const {
    int64_t changes = 0;
    for (const TempoMap& map : maps_) changes += static_cast<int64_t>(map.Segments().size()) - 1;
    return changes;
  }

 private:
  Timebase base_;
  bool sequential_ = false;
  std::vector<TempoMap> maps_;
  std::vector<Uint128> ends_;  // each track's end
};

// The notes of the drum channel whose keys play a drum, as hits in the order (first sample,
// track, position in the track), and the latest end of track in `length`; 13 past the limit.
std::optional<Failure> NotesToHits(const MidiFile& file, const FileTimes& times,
                                   const MidiOptions& options, int64_t limit,
                                   const Failure& tooLong, MidiPlan& plan, int64_t& length) {
  const int32_t rate = options.sampleRate;
  // floor(t x R), or nothing past the limit.
  const Uint128 beyond(static_cast<uint64_t>(limit) + 1);
  auto sampleAt = [&](Uint128 time) -> std::optional<int64_t> {
    const Uint128 sample = SaturatingMul(time, static_cast<uint64_t>(rate)) / times.Denominator();
    if (!(sample < beyond)) return std::nullopt;
    return static_cast<int64_t>(sample.Low());
  };

  for (const Uint128& end : times.Ends()) {
    const std::optional<int64_t> sample = sampleAt(end);
    if (!sample) return tooLong;
    length = std::max(length, *sample);
  }
  DrumNotes drums(options.channel, options.map);
  for (size_t t = 0; t < file.tracks.size(); ++t) {
    for (const MidiNote& note : file.tracks[t].notes) {
      const std::optional<DrumKind> kind = drums.KindOf(note);
      if (!kind) continue;
      const std::optional<int64_t> start = sampleAt(times.TimeAt(t, note.tick));
      if (!start) return tooLong;
      plan.hits.push_back({*start, 0, *kind, note.key, note.velocity, static_cast<int32_t>(t)});
    }
  }
  plan.skipped = drums.skipped;
  plan.otherChannels = drums.otherChannels;
  // Tracks were visited in order and each track's notes in order, so a stable sort by first
  // sample gives the order (first sample, track, position).
  std::stable_sort(plan.hits.begin(), plan.hits.end(),
                   [](const MidiHit& a, const MidiHit& b) { return a.start < b.start; });

  return std::nullopt;
}

// Each hit's length by the cut rule (each kind a lane, its last hit ringing out in full; with the
// choke, an open hi-hat also stops at the next closed one), the
// hits of each kind counted, and `length` stretched over every hit's end.
void GiveLengths(int32_t rate, bool choke, MidiPlan& plan, int64_t& length) {
  std::vector<Onset> onsets;
  onsets.reserve(plan.hits.size());
  for (const MidiHit& hit : plan.hits) {
    onsets.push_back({hit.start, static_cast<int32_t>(hit.kind), Info(hit.kind).ringSeconds,
                      HiHatOf(hit.kind)});
  }
  LaneEnd end;
  end.choke = choke;
  const std::vector<int32_t> lengths = CutLengths(onsets, rate, end);
  for (size_t h = 0; h < plan.hits.size(); ++h) {
    plan.hits[h].length = lengths[h];
    length = std::max(length, plan.hits[h].start + lengths[h]);
    ++plan.hitsPerKind[static_cast<size_t>(plan.hits[h].kind)];
  }
}

// The track: one stem a kind that has hits, in kind order, each kind's hits in time order.
void LayOutTrack(int32_t rate, int64_t length, const MidiOptions& options, MidiPlan& plan) {
  const float frequency = NoteFrequency(NoteName{{'C', 0, 0}});  // as a beat line without pitch=
  Track& track = plan.track;
  track.sampleRate = rate;
  track.length = length;
  track.fade = FadeSamples(rate);
  track.channels = options.channels == 2 ? 2 : 1;
  std::array<int32_t, kDrumKindCount> stemOf{};
  for (size_t k = 0; k < kDrumKindCount; ++k) {
    if (plan.hitsPerKind[k] == 0) continue;
    stemOf[k] = static_cast<int32_t>(track.stemKinds.size());
    track.stemKinds.push_back(static_cast<DrumKind>(k));
  }
  std::array<std::vector<size_t>, kDrumKindCount> byKind;
  for (size_t h = 0; h < plan.hits.size(); ++h) {
    byKind[static_cast<size_t>(plan.hits[h].kind)].push_back(h);
  }
  for (size_t k = 0; k < kDrumKindCount; ++k) {
    const PanGains pan = PanLaw(PanOf(static_cast<DrumKind>(k), options.pans));  // once a kind
    for (size_t h : byKind[k]) {
      const MidiHit& hit = plan.hits[h];
      if (hit.length == 0) continue;
      const float level = static_cast<float>(hit.velocity) / 127.0f;
      track.hits.push_back(
          MakeHit(hit.kind, hit.start, hit.length, rate, frequency, level, stemOf[k]));
      track.hits.back().pan = pan;
    }
  }
}

}  // namespace

std::optional<Failure> ReadMidiFile(std::span<const uint8_t> bytes, MidiFile& file,
                                    std::vector<std::string>& warnings) {
  if (const std::optional<MidiError> error = ReadMidi(bytes, file)) {
    if (error->status == kStatusNoStorage) {
      return Failure{kStatusNoStorage, "The MIDI file has too many notes: more than " +
                                           std::to_string(kMaxMidiNotes) + "."};
    }
    return Failure{kStatusBadInput, Describe(*error)};
  }
  warnings = ReadingWarnings(file);
  return std::nullopt;
}

std::optional<Failure> PlanMidi(std::span<const uint8_t> bytes, const MidiOptions& options,
                                int64_t limit, MidiPlan& plan) {
  plan = MidiPlan{};
  const int32_t rate = options.sampleRate;
  limit /= options.channels == 2 ? 2 : 1;  // a stereo file's samples are shared by two channels
  if (auto failure = CheckSampleRate(rate)) return failure;
  if (auto failure = CheckChannel(options.channel)) return failure;
  MidiFile file;
  if (auto failure = ReadMidiFile(bytes, file, plan.warnings)) return failure;
  plan.format = file.format;
  plan.tracks = static_cast<int32_t>(file.tracks.size());
  plan.division = DivisionText(file);
  const FileTimes times(file);
  plan.firstTempo = times.FirstTempo();
  plan.tempoChanges = times.TempoChanges();

  const Failure tooLong{kStatusNoStorage, "The MIDI file is too long for a WAV file: more than " +
                                              std::to_string(limit) + " samples."};
  int64_t length = 0;  // E: the latest end of track, then every hit's end
  if (auto failure = NotesToHits(file, times, options, limit, tooLong, plan, length)) {
    return failure;
  }
  GiveLengths(rate, options.choke, plan, length);
  if (length > limit) return tooLong;
  LayOutTrack(rate, length, options, plan);
  return std::nullopt;
}

}  // namespace kettorin
