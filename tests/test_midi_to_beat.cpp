// MIDI files made into songs: the grid chosen and its worst hit, bars folded into patterns and
// the play line, and real files whose songs, read back and rendered, put every hit within half a
// step of where the file plays it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "midi/midi_to_beat.h"
#include "midi/midi_track.h"
#include "tests/midi_bytes.h"

namespace kettorin {
namespace {

using testing_support::Bytes;
using testing_support::Chunk;
using testing_support::Delta;
using testing_support::Tempo;
using testing_support::operator+;

// A format 0 file of one track: its events, then the end of the track.
Bytes File(uint16_t division, const Bytes& events) {
  const Bytes header{
      0, 0, 0, 1, static_cast<uint8_t>(division >> 8), static_cast<uint8_t>(division)};
  return Chunk("MThd", header) + Chunk("MTrk", events + Bytes{0x00, 0xFF, 0x2F, 0x00});
}

Bytes Drum(uint32_t delta, uint8_t key, uint8_t velocity = 127) {
  return Delta(delta) + Bytes{0x99, key, velocity};
}

Bytes Meter(uint32_t delta, uint8_t numerator, uint8_t power) {
  return Delta(delta) + Bytes{0xFF, 0x58, 0x04, numerator, power, 24, 8};
}

MidiSong Convert(const Bytes& bytes, std::optional<int32_t> steps = std::nullopt) {
  MidiSongOptions options;
  options.steps = steps;
  MidiSong song;
  const std::optional<Failure> failure = MidiToBeat(bytes, options, song);
  EXPECT_FALSE(failure) << failure->message;
  return song;
}

// Each pattern as "name@tempo kind=cells kind=cells", then the play line.
std::string Summary(const Beat& beat) {
  std::string text;
  for (const BeatPattern& pattern : beat.patterns) {
    text += pattern.name;
    if (pattern.tempo) text.append(1, '@').append(std::to_string(*pattern.tempo));
    for (const BeatLine& line : pattern.lines) {
      text.append(1, ' ').append(ShortName(line.kind)).append(1, '=');
      for (Step step : line.steps) text += StepSymbol(step);
    }
    text.append("; ");
  }
  return text + "play " + WriteOrder(beat);
}

struct StepCase {
  const char* what;
  Bytes events;  // at 96 ticks a quarter
  std::optional<int32_t> asked;
  int32_t steps;
  int64_t worstOff;  // in 1/96 of a step
  bool fits;         // every hit within 1/8 of a step, every bar whole
  std::string kick;  // the first pattern's kick line
};

TEST(MidiToBeat, TheFewestStepsThatFitAndTheWorstHit) {
  const StepCase cases[] = {
      {"quarter notes: two steps a beat, the fewest tried",
       Drum(0, 36) + Drum(96, 36) + Drum(96, 36),
       {},
       2,
       0,
       true,
       "X-X-X---"},
      {"eighths", Drum(0, 36) + Drum(48, 36), {}, 2, 0, true, "XX------"},
      {"triplet eighths", Drum(32, 36), {}, 3, 0, true, "-X----------"},
      {"sixteenths", Drum(24, 36), {}, 4, 0, true, "-X--------------"},
      {"sixteenth triplets", Drum(16, 36), {}, 6, 0, true, "-X" + std::string(22, '-')},
      {"32nd notes", Drum(12, 36), {}, 8, 0, true, "-X" + std::string(30, '-')},
      {"1/48 notes", Drum(8, 36), {}, 12, 0, true, "-X" + std::string(46, '-')},
      // At 2 steps a beat the first lies 1/8 of a step off, as near as fits; the second does not.
      {"64th notes", Drum(6, 36) + Drum(12, 36), {}, 16, 0, true, "-X-X" + std::string(60, '-')},
      // 26 ticks: 0.46 of an eighth, 0.19 of a triplet, 1/12 of a sixteenth late.
      {"a sixteenth 2 ticks late", Drum(26, 36), {}, 4, 8, true, "-X--------------"},
      {"10 ticks fits no grid: 16, a third of a step off",
       Drum(10, 36),
       {},
       16,
       32,
       false,
       "--X" + std::string(61, '-')},
      // 7/16 lasts 168 ticks: 3.5 eighths, 7 sixteenths.
      {"a 7/16 bar needs sixteenths",
       Meter(0, 7, 4) + Drum(0, 36) + Drum(96, 36),
       {},
       4,
       0,
       true,
       "X---X--"},
      {"asked for 3 steps", Drum(24, 36), 3, 3, 24, false, "-X----------"},
      {"halfway goes to the earlier step", Drum(12, 36) + Drum(24, 36), 4, 4, 48, false,
       "XX--------------"},
      {"64 steps a beat", Drum(3, 36), 64, 64, 0, true, "--X" + std::string(253, '-')},
  };
  for (const StepCase& c : cases) {
    SCOPED_TRACE(c.what);
    const MidiSong song = Convert(File(96, c.events), c.asked);
    EXPECT_EQ(song.steps, c.steps);
    EXPECT_EQ(song.worstOff, c.worstOff);
    EXPECT_EQ(song.ticksPerQuarter, 96);
    EXPECT_EQ(song.hitsFit && song.barsWhole, c.fits);
    EXPECT_EQ(song.stepsAsked, c.asked.has_value());
    ASSERT_FALSE(song.beat.patterns.empty());
    std::string kick;
    for (Step step : song.beat.patterns[0].lines[0].steps) kick += StepSymbol(step);
    EXPECT_EQ(kick, c.kick);
  }
}

// Bars at 4 ticks a quarter, a tick a sixteenth: k kick (velocity 127), q a quiet kick (64), m
// a quiet and a loud kick on one tick, s snare, h closed hi-hat, - nothing; a bar shorter than its
// meter is filled with rests. "T150 " before a bar's ticks sets a tempo, "3/4 " or "6/8 " a meter.
Bytes Bars(const std::vector<std::string>& bars) {
  Bytes events;
  uint32_t wait = 0, barTicks = 16;
  for (const std::string& bar : bars) {
    uint32_t ticks = 0;
    for (size_t i = 0; i < bar.size(); ++i) {
      const char c = bar[i];
      if (c == 'T') {
        const size_t space = bar.find(' ', i);
        const auto bpm = static_cast<uint32_t>(std::stoul(bar.substr(i + 1, space - i - 1)));
        events = events + Tempo(wait, 60000000 / bpm);
        wait = 0;
        i = space;
      } else if (c >= '1' && c <= '9' && bar[i + 1] == '/') {
        const auto numerator = static_cast<uint8_t>(c - '0');
        const bool eighths = bar[i + 2] == '8';
        events = events + Meter(wait, numerator, eighths ? 3 : 2);
        barTicks = numerator * (eighths ? 2u : 4u);
        wait = 0;
        i += 3;
      } else {
        if (c == 'm') events = events + Drum(wait, 36, 64) + Drum(0, 36, 127);
        if (c != '-' && c != 'm') {
          const uint8_t key = c == 's' ? 38 : c == 'h' ? 42 : 36;
          events = events + Drum(wait, key, c == 'q' ? 64 : 127);
        }
        if (c != '-') wait = 0;
        ++wait;
        ++ticks;
      }
    }
    wait += barTicks - ticks;
  }
  return File(4, events);
}

struct FoldCase {
  const char* what;
  std::vector<std::string> bars;
  std::string song;  // Summary
  int64_t bars_, plays, merged;
};

TEST(MidiToBeat, BarsAlikeBecomeOnePatternAndRunsAndGroupsFoldThePlayLine) {
  const std::string four = "k---k---k---k---";
  const std::string back = "k-s-k-s-k-s-k-s-";
  const FoldCase cases[] = {
      {"one bar", {"k"}, "a kick=X---------------; play a", 1, 1, 0},
      {"a run", {four, four, four, four}, "a kick=X---X---X---X---; play a*4", 4, 4, 0},
      {"a quiet hit is another pattern",
       {"k---", "q---"},
       "a kick=X---------------; b kick=5---------------; play a b",
       2,
       2,
       0},
      {"lines in kind order, each in every pattern",
       {"h---s---", "k"},
       "a kick=---------------- snare=----X----------- hihatc=X---------------; "
       "b kick=X--------------- snare=---------------- hihatc=----------------; play a b",
       2,
       2,
       0},
      {"a group repeated",
       {four, four, back, four, four, back, "k"},
       "a kick=X---X---X---X--- snare=----------------; "
       "b kick=X---X---X---X--- snare=--X---X---X---X-; "
       "c kick=X--------------- snare=----------------; play (a*2 b)*2 c",
       7,
       7,
       0},
      {"alternating bars",
       {four, back, four, back, four, back},
       "a kick=X---X---X---X--- snare=----------------; "
       "b kick=X---X---X---X--- snare=--X---X---X---X-; play (a b)*3",
       6,
       6,
       0},
      {"a tempo change starts a pattern with its own tempo",
       {four, "T150 " + four},
       "a kick=X---X---X---X---; b@150 kick=X---X---X---X---; play a b",
       2,
       2,
       0},
      {"a tempo change inside a bar splits it",
       {"k---T90 k---k---k---", four},
       "a kick=X---; b@90 kick=X---X---X---; c@90 kick=X---X---X---X---; play a b c",
       2,
       3,
       0},
      {"a tempo event of the same whole BPM changes nothing",
       {"k---T120 k---k---k---"},
       "a kick=X---X---X---X---; play a",
       1,
       1,
       0},
      {"a 3/4 bar",
       {"3/4 k---k---k---", "3/4 k---"},
       "a kick=X---X---X---; b kick=X-----------; play a b",
       2,
       2,
       0},
      {"6/8", {"6/8 k-k-k-k-k-k-"}, "a kick=X-X-X-X-X-X-; play a", 1, 1, 0},
      {"a hit on the bar line plays in the next bar",
       {"----------------", "k"},
       "a kick=----------------; b kick=X---------------; play a b",
       2,
       2,
       0},
      {"two hits of a kind on one step: the louder stays",
       {"m"},
       "a kick=X---------------; play a",
       1,
       1,
       1},
  };
  for (const FoldCase& c : cases) {
    SCOPED_TRACE(c.what);
    const MidiSong song = Convert(Bars(c.bars), 4);
    EXPECT_EQ(Summary(song.beat), c.song);
    EXPECT_EQ(song.bars, c.bars_);
    EXPECT_EQ(song.plays, c.plays);
    EXPECT_EQ(song.merged, c.merged);
  }
}

TEST(MidiToBeat, RefusalsSayWhy) {
  const Bytes fine = File(96, Drum(0, 36));
  struct Refusal {
    Bytes bytes;
    MidiSongOptions options;
    int32_t status;
    std::string message;
  };
  MidiSongOptions steps0, steps65, channel1;
  steps0.steps = 0;
  steps65.steps = 65;
  channel1.channel = 1;
  const Refusal refusals[] = {
      {File(0xE728, Drum(0, 36)),
       {},
       15,
       "The MIDI file counts time in SMPTE frames, not beats: it has no bars to make patterns "
       "of."},
      {fine, channel1, 15, "The MIDI file has no drum notes on channel 1 to make a song of."},
      {fine, steps0, 15, "steps must be 1 to 64, got 0"},
      {fine, steps65, 15, "steps must be 1 to 64, got 65"},
      {File(96, Bytes{0, 0xF4}), {}, 15, "byte 23: status byte 0xF4 cannot appear in a file"},
      // A quarter-note tick and bars of one whole note: 2^26 bars to the hit.
      {File(1, Meter(0, 1, 0) + Drum(0x0FFFFFFF, 36)),
       {},
       13,
       "The MIDI file's drums last more than 1048576 bars."},
      // Bars of one tick: the hit opens bar 1048577.
      {File(1, Meter(0, 1, 2) + Drum(1048576, 36)),
       {},
       13,
       "The MIDI file's drums last more than 1048576 bars."},
  };
  for (const Refusal& r : refusals) {
    MidiSong song;
    const std::optional<Failure> failure = MidiToBeat(r.bytes, r.options, song);
    ASSERT_TRUE(failure) << r.message;
    EXPECT_EQ(failure->status, r.status);
    EXPECT_EQ(failure->message, r.message);
  }
  // A hit in the last bar a song may play: the bars laid past it for the grid do not count.
  MidiSong last;
  ASSERT_FALSE(MidiToBeat(File(1, Meter(0, 1, 2) + Drum(1048575, 36)), {}, last));
  EXPECT_EQ(last.plays, kMaxPlays);
}

// The MIDI files of Debian's mma package: each one with drums becomes a song whose text reads
// back as itself, and whose hits, rendered, lie within half a step of the file's own.
TEST(MidiToBeat, RealFilesRenderEveryHitWithinHalfAStep) {
  std::vector<std::filesystem::path> files;
  for (const char* folder : {"/usr/share/mma/lib/pflib", "/usr/share/doc/mma/examples"}) {
    std::error_code missing;
    for (std::filesystem::recursive_directory_iterator it(folder, missing), end; it != end; ++it) {
      const std::filesystem::path extension = it->path().extension();
      if (extension == ".mid" || extension == ".kar") files.push_back(it->path());
    }
  }
  if (files.empty()) GTEST_SKIP() << "install Debian's mma package to convert real files";
  std::sort(files.begin(), files.end());
  constexpr int32_t kRate = 44100;
  int32_t songs = 0;
  for (const std::filesystem::path& path : files) {
    SCOPED_TRACE(path.string());
    std::ifstream in(path, std::ios::binary);
    const Bytes bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    MidiOptions midiOptions;
    midiOptions.sampleRate = kRate;
    MidiPlan played;
    ASSERT_FALSE(PlanMidi(bytes, midiOptions, int64_t{1} << 31, played));
    MidiSong song;
    const std::optional<Failure> failure = MidiToBeat(bytes, {}, song);
    if (played.hits.empty()) {
      ASSERT_TRUE(failure);
      EXPECT_EQ(failure->status, 15);
      continue;
    }
    ASSERT_FALSE(failure) << failure->message;
    ++songs;
    const std::string text = WriteBeat(song.beat);
    Beat read;
    const std::optional<BeatError> error = ReadBeat(text, read);
    ASSERT_FALSE(error) << Describe(*error);
    EXPECT_EQ(WriteBeat(read), text);

    BeatOptions beatOptions;
    beatOptions.sampleRate = kRate;
    Track track;
    BeatLayout layout;
    ASSERT_FALSE(BeatTrack(read, beatOptions, int64_t{1} << 31, track, &layout));
    EXPECT_EQ(static_cast<int64_t>(track.hits.size()), song.placed);
    EXPECT_EQ(static_cast<int64_t>(played.hits.size()), song.placed + song.merged);
    std::map<DrumKind, std::vector<int64_t>> rendered;
    for (const Hit& hit : track.hits) rendered[hit.kind].push_back(hit.start);
    for (auto& [kind, starts] : rendered) std::sort(starts.begin(), starts.end());
    // Half a step in samples where the beat plays `at`: 60 R / (2 tempo steps).
    auto halfStep = [&](int64_t at) {
      auto segment = std::upper_bound(layout.segments.begin(), layout.segments.end(), at,
                                      [](int64_t a, const Segment& s) { return a < s.start; });
      if (segment != layout.segments.begin()) --segment;
      return 30.0 * kRate / (segment->tempo * segment->steps);
    };
    for (const MidiHit& hit : played.hits) {
      const std::vector<int64_t>& starts = rendered[hit.kind];
      auto after = std::lower_bound(starts.begin(), starts.end(), hit.start);
      int64_t nearest = after == starts.end() ? starts.back() : *after;
      if (after != starts.begin() && hit.start - *(after - 1) < nearest - hit.start) {
        nearest = *(after - 1);
      }
      // A hit exactly halfway goes to the earlier step; the two floors to samples may add one.
      ASSERT_LE(std::abs(static_cast<double>(nearest - hit.start)), halfStep(nearest) + 1)
          << "the hit at sample " << hit.start << ", " << ShortName(hit.kind);
    }
  }
  EXPECT_GT(songs, 0);
}

}  // namespace
}  // namespace kettorin
