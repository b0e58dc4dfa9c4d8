// From a MIDI file's drums to a song: one tick line for every track, bars in ticks, the grid
// chosen, hits placed and merged, bars folded into patterns and the order into runs and groups.
// Ticks stay integers throughout: a step is ticksPerQuarter / steps ticks, so a hit's place on the
// grid is tick x steps over ticksPerQuarter, exact in 64 bits below kFarthestTick.
#include "midi/midi_to_beat.h"

#include <algorithm>
#include <unordered_map>

#include "compose/notes.h"
#include "midi/midi_file.h"
#include "midi/midi_track.h"

namespace kettorin {

namespace {

constexpr uint32_t kDefaultTempo = 500000;  // 120 BPM until the first tempo event
// A bar lasts at most 255 whole notes of 4 x 32767 ticks, under 2^25: a hit at tick 2^45 or later
// lies past more bars than a song may play, and below it tick x 64 steps fits easily.
constexpr uint64_t kFarthestTick = uint64_t{1} << 45;
// The most runs a repeated group holds: (a*3 b c*2 d)*4.
constexpr size_t kGroupRuns = 8;

// A time signature as bars of whole ticks.
struct Meter {
  uint64_t tick = 0;
  uint64_t barTicks = 0;  // n x 4/d quarter notes, to the nearest tick
  uint8_t numerator = 4, denominatorPower = 2;
};

struct DrumNote {
  uint64_t tick = 0;
  DrumKind kind = DrumKind::kKick;
  uint8_t velocity = 0;
};

// Tempo events, time signatures and drum notes of every track on one line of ticks, the first
// two sorted by tick with the later of one tick last.
struct TickLine {
  std::vector<MidiTempo> tempos;
  std::vector<Meter> meters;
  std::vector<DrumNote> notes;
};

// The bar of a time signature in ticks; nothing for a numerator of 0, or a bar under one tick.
std::optional<uint64_t> BarTicks(uint8_t numerator, uint8_t denominatorPower,
                                 int32_t ticksPerQuarter) {
  const uint64_t quarters4 = uint64_t{numerator} * 4 * static_cast<uint64_t>(ticksPerQuarter);
  if (numerator == 0 || denominatorPower > 25) return std::nullopt;  // 2^26 > quarters4
  const uint64_t ticks = (2 * quarters4 + (uint64_t{1} << denominatorPower)) >>
                         (denominatorPower + 1);  // rounded, halves up
  if (ticks == 0) return std::nullopt;
  return ticks;
}

// Whole beats per minute, halves up: 60 x 10^6 / microseconds per quarter, at most kMaxTempo.
int32_t WholeBpm(uint32_t microsecondsPerQuarter) {
  const uint64_t twice = uint64_t{120000000} + microsecondsPerQuarter;
  const uint64_t bpm = twice / (2 * uint64_t{microsecondsPerQuarter});
  return static_cast<int32_t>(std::clamp<uint64_t>(bpm, kMinTempo, kMaxTempo));
}

// offset + tick, held at kFarthestTick.
uint64_t Along(uint64_t offset, uint64_t tick) {
  return tick >= kFarthestTick - offset ? kFarthestTick : offset + tick;
}

// Formats 0 and 1 play their tracks together from 120 BPM and 4/4; format 2 one after another,
// each from its own start with 120 BPM and 4/4 again.
TickLine LineUp(const MidiFile& file, DrumNotes& drums) {
  TickLine line;
  const Meter common{0, *BarTicks(4, 2, file.ticksPerQuarter), 4, 2};
  uint64_t offset = 0;
  for (size_t t = 0; t < file.tracks.size(); ++t) {
    const MidiTrack& track = file.tracks[t];
    if (t == 0 || file.format == 2) {
      line.tempos.push_back({offset, kDefaultTempo});
      line.meters.push_back(common);
      line.meters.back().tick = offset;
    }
    for (const MidiTempo& tempo : track.tempos) {
      line.tempos.push_back({Along(offset, tempo.tick), tempo.microsecondsPerQuarter});
    }
    for (const MidiTimeSignature& signature : track.timeSignatures) {
      const std::optional<uint64_t> bar =
          BarTicks(signature.numerator, signature.denominatorPower, file.ticksPerQuarter);
      if (!bar) continue;  // says no bar at all: passed over
      line.meters.push_back(
          {Along(offset, signature.tick), *bar, signature.numerator, signature.denominatorPower});
    }
    for (const MidiNote& note : track.notes) {
      const std::optional<DrumKind> kind = drums.KindOf(note);
      if (kind) line.notes.push_back({Along(offset, note.tick), *kind, note.velocity});
    }
    if (file.format == 2) offset = Along(offset, track.endTick);
  }
  std::stable_sort(line.tempos.begin(), line.tempos.end(),
                   [](const MidiTempo& a, const MidiTempo& b) { return a.tick < b.tick; });
  // Of the tempos at one tick the last counts, and one the song writes as the same whole BPM as
  // the tempo before it changes nothing.
  std::vector<MidiTempo> changes;
  for (const MidiTempo& tempo : line.tempos) {
    if (!changes.empty() && changes.back().tick == tempo.tick) changes.pop_back();
    if (changes.empty() ||
        WholeBpm(changes.back().microsecondsPerQuarter) != WholeBpm(tempo.microsecondsPerQuarter)) {
      changes.push_back(tempo);
    }
  }
  line.tempos = std::move(changes);
  std::stable_sort(line.meters.begin(), line.meters.end(),
                   [](const Meter& a, const Meter& b) { return a.tick < b.tick; });
  return line;
}

// A stretch of one bar at one tempo: the whole bar, or what of it lies before or after a tempo
// change inside it.
struct Piece {
  uint64_t start = 0, end = 0;  // ticks
  bool endsBar = false;
  uint32_t tempo = kDefaultTempo;  // microseconds per quarter at its start
  uint8_t numerator = 4, denominatorPower = 2;
};

// Bars and their pieces from tick 0 until a bar ends past `horizon`; false past `most` pieces.
bool LayBars(const TickLine& line, uint64_t horizon, size_t most, std::vector<Piece>& pieces) {
  size_t meter = 0, tempo = 0;
  for (uint64_t start = 0; start <= horizon;) {
    while (meter + 1 < line.meters.size() && line.meters[meter + 1].tick <= start) ++meter;
    const Meter& m = line.meters[meter];
    uint64_t end = start + m.barTicks;
    if (meter + 1 < line.meters.size()) end = std::min(end, line.meters[meter + 1].tick);
    for (uint64_t from = start; from < end;) {
      while (tempo + 1 < line.tempos.size() && line.tempos[tempo + 1].tick <= from) ++tempo;
      const uint64_t to =
          tempo + 1 < line.tempos.size() ? std::min(end, line.tempos[tempo + 1].tick) : end;
      if (pieces.size() == most) return false;
      pieces.push_back({from, to, to == end, line.tempos[tempo].microsecondsPerQuarter, m.numerator,
                        m.denominatorPower});
      from = to;
    }
    start = end;
  }
  return true;
}

// A piece on the grid: its steps [first, end), snapped to the steps nearest its ticks.
struct Play {
  int64_t first = 0, end = 0;
  bool endsBar = false;
  uint32_t tempo = kDefaultTempo;
  uint8_t numerator = 4, denominatorPower = 2;
};

// The file on a grid of `steps` per beat.
struct Grid {
  int32_t steps = 0;
  int64_t worstOff = 0;  // in 1/ticksPerQuarter of a step
  bool barsWhole = true;
  std::vector<int64_t> hitSteps;  // per note, its step from the song's start
  std::vector<Play> plays;
};

Grid OnGrid(const TickLine& line, const std::vector<Piece>& pieces, int32_t steps,
            int32_t ticksPerQuarter) {
  const auto n = static_cast<uint64_t>(steps);
  const auto tpq = static_cast<uint64_t>(ticksPerQuarter);
  Grid grid;
  grid.steps = steps;
  // The nearest step to a tick, the earlier of two as near, and how far it lies from it.
  auto nearest = [&](uint64_t tick, int64_t* off) {
    const uint64_t scaled = tick * n;
    const uint64_t rest = scaled % tpq;
    if (off != nullptr) *off = static_cast<int64_t>(std::min(rest, tpq - rest));
    return static_cast<int64_t>(scaled / tpq + (2 * rest > tpq ? 1 : 0));
  };
  int64_t last = 0;
  grid.hitSteps.reserve(line.notes.size());
  for (const DrumNote& note : line.notes) {
    int64_t off = 0;
    grid.hitSteps.push_back(nearest(note.tick, &off));
    grid.worstOff = std::max(grid.worstOff, off);
    last = std::max(last, grid.hitSteps.back());
  }
  // Pieces until the bar that holds the last hit's step ends; a piece that snaps to no step at
  // all gives its place to the next.
  for (const Piece& piece : pieces) {
    const int64_t first = nearest(piece.start, nullptr), end = nearest(piece.end, nullptr);
    grid.barsWhole = grid.barsWhole && piece.end * n % tpq == 0;
    if (end > first) {
      grid.plays.push_back(
          {first, end, piece.endsBar, piece.tempo, piece.numerator, piece.denominatorPower});
    } else if (piece.endsBar && !grid.plays.empty()) {
      grid.plays.back().endsBar = true;
    }
    if (piece.endsBar && end > last) break;
  }
  return grid;
}

bool HitsFit(const Grid& grid, int32_t ticksPerQuarter) {
  return 8 * grid.worstOff <= ticksPerQuarter;
}

// The grid asked for, or the first of kStepChoices that fits, or the last.
Grid ChooseGrid(const TickLine& line, const std::vector<Piece>& pieces,
                std::optional<int32_t> asked, int32_t ticksPerQuarter) {
  if (asked) return OnGrid(line, pieces, *asked, ticksPerQuarter);
  for (int32_t steps : kStepChoices) {
    Grid grid = OnGrid(line, pieces, steps, ticksPerQuarter);
    if ((grid.barsWhole && HitsFit(grid, ticksPerQuarter)) || steps == kStepChoices.back()) {
      return grid;
    }
  }
  return {};  // not reached: the last choice is always taken
}

// The grid cell of a velocity: the digit round(v / 127 x 9), at least 1, with 9 as X (the same
// level 1.0).
Step VelocityStep(uint8_t velocity) {
  const int32_t digit = std::max((velocity * 18 + 127) / 254, 1);
  if (digit == 9) return Step::kAccent;
  return static_cast<Step>(static_cast<int32_t>(Step::kVelocity1) + digit - 1);
}

// a, b, ... z, then a2 ... z2, a3 ...
std::string PatternName(size_t index) {
  std::string name(1, static_cast<char>('a' + index % 26));
  if (index >= 26) name += std::to_string(index / 26 + 1);
  return name;
}

// The plays as few items as runs and repeated groups make them: runs of one pattern become
// pattern*N (at most kMaxPlayCount each), then a block of 2 to kGroupRuns runs played again right
// after itself becomes a group, the block that covers the most runs first: a*3 b a*3 b c is
// (a*3 b)*2 c.
std::vector<PlayItem> FoldPlays(const std::vector<int32_t>& plays) {
  std::vector<PlayItem> runs;
  for (int32_t pattern : plays) {
    if (!runs.empty() && runs.back().pattern == pattern && runs.back().count < kMaxPlayCount) {
      ++runs.back().count;
    } else {
      runs.push_back({pattern, 1, {}});
    }
  }
  auto same = [&](size_t a, size_t b) {
    return runs[a].pattern == runs[b].pattern && runs[a].count == runs[b].count;
  };
  std::vector<PlayItem> order;
  for (size_t i = 0; i < runs.size();) {
    size_t bestRuns = 0, bestTimes = 1;
    for (size_t length = 2; length <= kGroupRuns && i + 2 * length <= runs.size(); ++length) {
      size_t times = 1;
      for (size_t next = i + length; next + length <= runs.size(); next += length, ++times) {
        size_t k = 0;
        while (k < length && same(i + k, next + k)) ++k;
        if (k < length) break;
      }
      if (times > 1 && length * times > bestRuns * bestTimes) {
        bestRuns = length;
        bestTimes = times;
      }
    }
    if (bestRuns == 0) {
      order.push_back(runs[i++]);
      continue;
    }
    PlayItem group;
    group.items.assign(runs.begin() + static_cast<std::ptrdiff_t>(i),
                       runs.begin() + static_cast<std::ptrdiff_t>(i + bestRuns));
    for (size_t left = bestTimes; left > 0;) {
      const size_t times = std::min(left, static_cast<size_t>(kMaxPlayCount));
      group.count = static_cast<int32_t>(times);
      order.push_back(group);
      left -= times;
    }
    i += bestRuns * bestTimes;
  }
  return order;
}

// The notes on their steps, one a kind and step: the louder of two stays, the other is merged.
struct Cell {
  int64_t step = 0;
  DrumKind kind = DrumKind::kKick;
  uint8_t velocity = 0;
};

std::vector<Cell> PlaceHits(const TickLine& line, const Grid& grid, int64_t& merged) {
  std::vector<Cell> cells;
  cells.reserve(line.notes.size());
  for (size_t h = 0; h < line.notes.size(); ++h) {
    cells.push_back({grid.hitSteps[h], line.notes[h].kind, line.notes[h].velocity});
  }
  std::sort(cells.begin(), cells.end(), [](const Cell& a, const Cell& b) {
    if (a.step != b.step) return a.step < b.step;
    if (a.kind != b.kind) return a.kind < b.kind;
    return a.velocity > b.velocity;
  });
  const auto kept = std::unique(cells.begin(), cells.end(), [](const Cell& a, const Cell& b) {
    return a.step == b.step && a.kind == b.kind;
  });
  merged = cells.end() - kept;
  cells.erase(kept, cells.end());
  return cells;
}

// Each play's grid as a pattern, one line a kind that has hits anywhere, and plays alike (meter,
// tempo, steps, cells) folded into the first of them.
void FoldPatterns(const Grid& grid, const std::vector<Cell>& cells, MidiSong& song) {
  std::vector<DrumKind> kinds;
  for (const Cell& cell : cells) {
    if (std::find(kinds.begin(), kinds.end(), cell.kind) == kinds.end()) kinds.push_back(cell.kind);
  }
  std::sort(kinds.begin(), kinds.end());
  Beat& beat = song.beat;
  beat.steps = grid.steps;
  beat.tempo = WholeBpm(grid.plays.front().tempo);
  const float frequency = NoteFrequency(NoteName{{'C', 0, 0}});  // a line without pitch=

  std::unordered_map<std::string, int32_t> patternOf;  // a play's meter, tempo and cells
  std::vector<int32_t> plays;
  // One play's lines and key at a time, their storage kept from play to play: a file may have a
  // million bars.
  std::vector<std::vector<Step>> lines(kinds.size());
  std::string key;
  size_t cell = 0;
  for (const Play& play : grid.plays) {
    const auto length = static_cast<size_t>(play.end - play.first);
    for (std::vector<Step>& steps : lines) steps.assign(length, Step::kRest);
    for (; cell < cells.size() && cells[cell].step < play.end; ++cell) {
      const size_t l = static_cast<size_t>(std::find(kinds.begin(), kinds.end(), cells[cell].kind) -
                                           kinds.begin());
      lines[l][static_cast<size_t>(cells[cell].step - play.first)] =
          VelocityStep(cells[cell].velocity);
    }
    const int32_t tempo = WholeBpm(play.tempo);
    key.assign(std::to_string(play.numerator) + "/" + std::to_string(play.denominatorPower) + " " +
               std::to_string(tempo) + " ");
    for (const std::vector<Step>& steps : lines) {
      key.append(reinterpret_cast<const char*>(steps.data()), steps.size());
    }
    const auto [known, added] =
        patternOf.try_emplace(key, static_cast<int32_t>(beat.patterns.size()));
    plays.push_back(known->second);
    song.tooFast += uint64_t{play.tempo} * (2 * kMaxTempo + 1) <= 120000000;  // 999.5 BPM or more
    // What the whole BPM does to the time: the file's steps / N x us against 60 / BPM seconds.
    song.driftSeconds += static_cast<double>(length) / grid.steps *
                         (60.0 / tempo - static_cast<double>(play.tempo) / 1e6);
    song.bars += play.endsBar;
    if (!added) continue;
    BeatPattern& pattern = beat.patterns.emplace_back();
    pattern.name = PatternName(beat.patterns.size() - 1);
    if (tempo != beat.tempo) pattern.tempo = tempo;
    for (size_t l = 0; l < kinds.size(); ++l) {
      BeatLine& line = pattern.lines.emplace_back();
      line.kind = kinds[l];
      line.frequency = frequency;
      line.ring = Info(kinds[l]).ringSeconds;
      line.steps = lines[l];
    }
  }
  song.plays = static_cast<int64_t>(plays.size());
  beat.order = FoldPlays(plays);
}

}  // namespace

std::optional<Failure> MidiToBeat(std::span<const uint8_t> bytes, const MidiSongOptions& options,
                                  MidiSong& song) {
  song = MidiSong{};
  if (auto failure = CheckChannel(options.channel)) return failure;
  if (options.steps && (*options.steps < kMinSteps || *options.steps > kMaxSteps)) {
    return Failure{kStatusBadInput, "steps must be 1 to 64, got " + std::to_string(*options.steps)};
  }
  MidiFile file;
  if (auto failure = ReadMidiFile(bytes, file, song.warnings)) return failure;
  if (file.framesPerSecond != 0) {
    return Failure{kStatusBadInput,
                   "The MIDI file counts time in SMPTE frames, not beats: it has no bars to make "
                   "patterns of."};
  }
  song.ticksPerQuarter = file.ticksPerQuarter;
  DrumNotes drums(options.channel, options.map);
  const TickLine line = LineUp(file, drums);
  song.skipped = drums.skipped;
  song.otherChannels = drums.otherChannels;
  if (line.notes.empty()) {
    return Failure{kStatusBadInput, "The MIDI file has no drum notes on channel " +
                                        std::to_string(options.channel) + " to make a song of."};
  }
  const Failure tooLong{kStatusNoStorage, "The MIDI file's drums last more than " +
                                              std::to_string(kMaxPlays) + " bars."};
  uint64_t lastTick = 0;
  for (const DrumNote& note : line.notes) lastTick = std::max(lastTick, note.tick);
  if (lastTick >= kFarthestTick) return tooLong;
  // A hit moves at most half a step, and a step is at most a beat: bars to a beat past the last
  // hit hold every step a hit can go to. The song ends with the bar of the last hit's step, so
  // the bars of that beat may pass the song's limit where the song itself does not.
  std::vector<Piece> pieces;
  if (!LayBars(line, lastTick + static_cast<uint64_t>(file.ticksPerQuarter),
               2 * static_cast<size_t>(kMaxPlays), pieces)) {
    return tooLong;
  }

  const Grid grid = ChooseGrid(line, pieces, options.steps, file.ticksPerQuarter);
  if (static_cast<int64_t>(grid.plays.size()) > kMaxPlays) return tooLong;
  song.steps = grid.steps;
  song.stepsAsked = options.steps.has_value();
  song.hitsFit = HitsFit(grid, file.ticksPerQuarter);
  song.barsWhole = grid.barsWhole;
  song.worstOff = grid.worstOff;
  const std::vector<Cell> cells = PlaceHits(line, grid, song.merged);
  song.placed = static_cast<int64_t>(cells.size());
  FoldPatterns(grid, cells, song);
  return std::nullopt;
}

}  // namespace kettorin
