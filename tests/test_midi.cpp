// MIDI: the file reader's verdicts, exact first samples from ticks and tempos, the drum keys and
// the cut-off of one kind's hits by the next.
#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "midi/midi_file.h"
#include "midi/midi_track.h"
#include "midi/midi_writer.h"
#include "midi/uint128.h"
#include "tests/midi_bytes.h"

namespace kettorin {
namespace {

using testing_support::Be32;
using testing_support::Bytes;
using testing_support::Chunk;
using testing_support::Delta;
using testing_support::Header;
using testing_support::Tempo;
using testing_support::Track;
using testing_support::operator+;

// A drum note-on on channel 10 after `delta` ticks.
Bytes Drum(uint32_t delta, uint8_t key, uint8_t velocity = 100) {
  return Delta(delta) + Bytes{0x99, key, velocity};
}

const Bytes kEnd = {0x00, 0xFF, 0x2F, 0x00};

Bytes EndAfter(uint32_t delta) {
  return Delta(delta) + Bytes{0xFF, 0x2F, 0x00};
}

// What a file was read as, compactly: per track its notes (channel:key:velocity@tick), tempos
// (micros@tick), time signatures (numerator/denominator power@tick) and end tick.
std::string Summary(const MidiFile& file) {
  std::ostringstream s;
  s << "format " << file.format;
  if (file.framesPerSecond != 0) {
    s << " smpte " << file.framesPerSecond << "x" << file.ticksPerFrame;
  } else {
    s << " tpq " << file.ticksPerQuarter;
  }
  for (const MidiTrack& track : file.tracks) {
    s << " |";
    for (const MidiNote& n : track.notes) {
      s << " " << +n.channel << ":" << +n.key << ":" << +n.velocity << "@" << n.tick;
    }
    for (const MidiTempo& t : track.tempos) s << " T" << t.microsecondsPerQuarter << "@" << t.tick;
    for (const MidiTimeSignature& m : track.timeSignatures) {
      s << " S" << +m.numerator << "/" << +m.denominatorPower << "@" << m.tick;
    }
    s << " end " << track.endTick;
  }
  if (file.cutOffAt) s << " | cut at " << *file.cutOffAt;
  if (file.strayBytes > 0) s << " | " << file.strayBytes << " stray bytes";
  return s.str();
}

struct ReadCase {
  const char* what;
  Bytes bytes;
  std::string expected;  // the Summary, or "byte N: message"
};

void PrintTo(const ReadCase& c, std::ostream* os) {
  *os << c.what;
}

class MidiReader : public testing::TestWithParam<ReadCase> {};

TEST_P(MidiReader, ReadsOrNamesTheByteAndTheDamage) {
  MidiFile file;
  const std::optional<MidiError> error = ReadMidi(GetParam().bytes, file);
  EXPECT_EQ(error ? Describe(*error) : Summary(file), GetParam().expected);
  if (error) {
    EXPECT_EQ(error->status, 15);
  }
}

const Bytes kOneNote = Track(Drum(0, 36) + kEnd);

INSTANTIATE_TEST_SUITE_P(
    Files, MidiReader,
    testing::Values(
        ReadCase{"format 0", Header(0, 1, 96) + Track(Drum(0, 36) + Drum(96, 38, 90) + kEnd),
                 "format 0 tpq 96 | 9:36:100@0 9:38:90@96 end 96"},
        ReadCase{"format 1: a tempo track and a drum track",
                 Header(1, 2, 480) + Track(Tempo(0, 400000) + Tempo(480, 600000) + kEnd) +
                     Track(Drum(240, 42) + Delta(0) + Bytes{0xC9, 5} + Drum(240, 46) + kEnd),
                 "format 1 tpq 480 | T400000@0 T600000@480 end 480 | 9:42:100@240 9:46:100@480 "
                 "end 480"},
        ReadCase{"format 2", Header(2, 2, 24) + kOneNote + Track(Drum(5, 49) + kEnd),
                 "format 2 tpq 24 | 9:36:100@0 end 0 | 9:49:100@5 end 5"},
        ReadCase{"running status, velocity 0 and note-offs are not notes",
                 Header(0, 1, 96) +
                     Track(Drum(0, 36) + Bytes{10, 36, 0, 0, 38, 80, 10, 0x89, 38, 64, 0, 40, 64} +
                           Bytes{0, 0x92, 60, 1} + kEnd),
                 "format 0 tpq 96 | 9:36:100@0 9:38:80@10 2:60:1@20 end 20"},
        ReadCase{"sysex, meta and unknown chunks skipped by their length",
                 Header(1, 2, 96) + Chunk("XFIH", {1, 2, 3}) +
                     Track(Bytes{0, 0xF0, 3, 1, 2, 0xF7, 0, 0xFF, 0x03, 2, 'h', 'i'} + Drum(3, 36) +
                           Bytes{0, 0xF7, 0} + kEnd) +
                     Chunk("MTrX", {0xF4}) + kOneNote,
                 "format 1 tpq 96 | 9:36:100@3 end 3 | 9:36:100@0 end 0"},
        ReadCase{"time signatures kept as written; one shorter than 2 bytes passed over",
                 Header(0, 1, 96) + Track(Bytes{0, 0xFF, 0x58, 4, 6, 3, 24, 8} +
                                          Bytes{96, 0xFF, 0x58, 1, 7} +
                                          Bytes{0, 0xFF, 0x58, 2, 0, 9} + kEnd),
                 "format 0 tpq 96 | S6/3@0 S0/9@96 end 96"},
        ReadCase{"events after the end of track are not read",
                 Header(0, 1, 96) + Track(Drum(0, 36) + kEnd + Bytes{0, 0xF4, 0, 0x99}),
                 "format 0 tpq 96 | 9:36:100@0 end 0"},
        ReadCase{"a track without an end of track ends at its last complete event",
                 Header(0, 1, 96) + Track(Drum(7, 36) + Bytes{9, 0xB9, 7, 100}),
                 "format 0 tpq 96 | 9:36:100@7 end 16"},
        ReadCase{"four-byte delta times", Header(0, 1, 96) + Track(Drum(0x0FFFFFFF, 36) + kEnd),
                 "format 0 tpq 96 | 9:36:100@268435455 end 268435455"},
        ReadCase{"SMPTE division: 25 frames of 40 ticks", Header(0, 1, 0xE728) + kOneNote,
                 "format 0 smpte 25x40 | 9:36:100@0 end 0"},
        ReadCase{"SMPTE division: 30000/1001 frames", Header(0, 1, 0xE301) + kOneNote,
                 "format 0 smpte 29x1 | 9:36:100@0 end 0"},
        ReadCase{"a file cut off inside an event keeps the notes before the cut",
                 Header(0, 1, 96) + Bytes{'M', 'T', 'r', 'k', 0, 0, 0, 40} + Drum(0, 36) +
                     Drum(48, 38) + Bytes{10, 0x99, 42},
                 "format 0 tpq 96 | 9:36:100@0 9:38:100@48 end 48 | cut at 33"},
        ReadCase{"bytes too few for a chunk after the last",
                 Header(0, 2, 96) + kOneNote + Bytes{'M', 'T', 'r'},
                 "format 0 tpq 96 | 9:36:100@0 end 0 | 3 stray bytes"},
        ReadCase{"a longer header", Chunk("MThd", {0, 0, 0, 1, 0, 96, 0xAA, 0xBB}) + kOneNote,
                 "format 0 tpq 96 | 9:36:100@0 end 0"},
        // Damage.
        ReadCase{"not a MIDI file", Bytes{'R', 'I', 'F', 'F', 0, 0, 0, 0},
                 "byte 0: not a Standard MIDI File: it does not begin with MThd"},
        ReadCase{"empty", Bytes{}, "byte 0: not a Standard MIDI File: it does not begin with MThd"},
        ReadCase{"a short header", Chunk("MThd", {0, 0, 0, 1, 0}) + kOneNote,
                 "byte 4: a header of 5 bytes, not 6"},
        ReadCase{"a header past the end", Bytes{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0},
                 "byte 4: the header's length 6 passes the end of the file"},
        ReadCase{"format 3", Header(3, 1, 96) + kOneNote,
                 "byte 8: format 3 (a file has format 0, 1 or 2)"},
        ReadCase{"no ticks per quarter", Header(0, 1, 0) + kOneNote,
                 "byte 12: division of 0 ticks per quarter note"},
        ReadCase{"SMPTE -26", Header(0, 1, 0xE628) + kOneNote,
                 "byte 12: SMPTE division of -26 frames per second (-24, -25, -29 or -30)"},
        ReadCase{"SMPTE 0 ticks per frame", Header(0, 1, 0xE800) + kOneNote,
                 "byte 13: SMPTE division of 0 ticks per frame"},
        ReadCase{"no track", Header(0, 0, 96) + Chunk("XFIH", {}),
                 "byte 22: no track (MTrk chunk) in the file"},
        ReadCase{"an unknown chunk longer than the file",
                 Header(0, 1, 96) + kOneNote + Bytes{'X', 'F', 'I', 'H', 0x7F, 0, 0, 0, 1},
                 "byte 34: a chunk length of 2130706432 bytes passes the end of the file"},
        ReadCase{"a status byte no file holds",
                 Header(0, 1, 96) + Track(Drum(0, 36) + Bytes{0, 0xF4} + kEnd),
                 "byte 27: status byte 0xF4 cannot appear in a file"},
        ReadCase{"a real-time status byte", Header(0, 1, 96) + Track(Bytes{0, 0xF8} + kEnd),
                 "byte 23: status byte 0xF8 cannot appear in a file"},
        ReadCase{"running status at the start of a track",
                 Header(0, 1, 96) + Track(Bytes{0, 36, 100} + kEnd),
                 "byte 23: running status with no status before it"},
        ReadCase{"running status after a meta event",
                 Header(0, 1, 96) + Track(Drum(0, 36) + Bytes{0, 0xFF, 0x01, 0, 0, 38, 100} + kEnd),
                 "byte 31: running status with no status before it"},
        ReadCase{"running status after sysex",
                 Header(0, 1, 96) + Track(Drum(0, 36) + Bytes{0, 0xF0, 1, 0xF7, 0, 38, 100} + kEnd),
                 "byte 31: running status with no status before it"},
        ReadCase{"a tempo event of 2 bytes",
                 Header(0, 1, 96) + Track(Bytes{0, 0xFF, 0x51, 2, 7, 0xA1} + kEnd),
                 "byte 22: a tempo event of 2 bytes, not 3"},
        ReadCase{"a tempo of 0", Header(0, 1, 96) + Track(Tempo(0, 0) + kEnd),
                 "byte 22: a tempo of 0 microseconds per quarter note"},
        ReadCase{"a delta time of 5 bytes",
                 Header(0, 1, 96) + Track(Bytes{0x81, 0x80, 0x80, 0x80, 0x00, 0x99, 36, 1} + kEnd),
                 "byte 22: a delta time longer than 4 bytes"},
        ReadCase{"a data byte with its high bit set",
                 Header(0, 1, 96) + Track(Bytes{0, 0x99, 36, 0x90} + kEnd),
                 "byte 25: data byte 0x90 in a channel message"},
        ReadCase{"an event past the end of its track, inside the file",
                 Header(1, 2, 96) + Track(Bytes{0, 0x99, 36}) + kOneNote,
                 "byte 22: an event passes the end of its track"},
        ReadCase{"a meta event longer than its track",
                 Header(1, 2, 96) + Track(Bytes{0, 0xFF, 0x01, 0x7F, 'a'}) + kOneNote,
                 "byte 22: an event of 127 bytes passes the end of its track"}));

// Uint128 on 32-bit ARM is the portable one: it must agree with the compiler's type.
#ifdef __SIZEOF_INT128__
TEST(Uint128, PortableArithmeticMatchesTheCompilersType) {
  const uint64_t values[] = {0,           1,           3,           1000000,
                             0xFFFFFFFFu, 0x100000000, 30000 * 255, 0xFFFFFF * 0x0FFFFFFFull,
                             ~uint64_t{0}};
  for (uint64_t high : {uint64_t{0}, uint64_t{1}, uint64_t{0x7FFFFFFF}, ~uint64_t{0}}) {
    for (uint64_t low : values) {
      for (uint64_t b : values) {
        const PortableUint128 p(high, low);
        const NativeUint128 n(high, low);
        auto same = [](PortableUint128 x, NativeUint128 y) {
          return x.High() == y.High() && x.Low() == y.Low();
        };
        EXPECT_TRUE(same(SaturatingMul(p, b), SaturatingMul(n, b)))
            << high << " " << low << " " << b;
        EXPECT_TRUE(same(SaturatingAdd(p, PortableUint128(b, low)),
                         SaturatingAdd(n, NativeUint128(b, low))));
        if (b != 0) {
          EXPECT_TRUE(same(p / b, n / b)) << high << " " << low << " / " << b;
        }
      }
    }
  }
}
#endif

// ---- from notes to hits -----------------------------------------------------------------------

MidiPlan Plan(const Bytes& bytes, int32_t rate, MidiOptions options = {}) {
  options.sampleRate = rate;
  MidiPlan plan;
  const std::optional<Failure> failure = PlanMidi(bytes, options, int64_t{1} << 31, plan);
  EXPECT_FALSE(failure) << failure->message;
  return plan;
}

std::vector<int64_t> Starts(const MidiPlan& plan) {
  std::vector<int64_t> starts;
  for (const MidiHit& hit : plan.hits) starts.push_back(hit.start);
  return starts;
}

struct Timing {
  const char* what;
  Bytes bytes;
  int32_t rate;
  std::vector<int64_t> starts;
  int64_t length;  // E
};

TEST(MidiTiming, FirstSamplesAreExactFloorsOfTheTempoMap) {
  // 96 ticks a quarter. Track 0: 400000 us from tick 192, 1000000 from 384; track 1's 750000 at
  // tick 384 comes later in (track, position) order and wins. Times: 0, 0.5, 1.0, 1.4, 1.8, 2.55.
  const Bytes tempoChanges = Header(1, 2, 96) +
                             Track(Tempo(192, 400000) + Tempo(192, 1000000) + kEnd) +
                             Track(Drum(0, 36) + Drum(96, 36) + Drum(96, 36) + Drum(96, 36) +
                                   Tempo(96, 750000) + Drum(0, 36) + Drum(96, 36) + kEnd);
  const Timing cases[] = {
      {"tempo changes, 8001 Hz", tempoChanges, 8001, {0, 4000, 8001, 11201, 14401, 20402}, 24402},
      {"tempo changes, 44100 Hz",
       tempoChanges,
       44100,
       {0, 22050, 44100, 61740, 79380, 112455},
       112455 + 22050},
      // 21 ticks of 333333/7 us: 0.999999 s, where a float sum of ticks would round up.
      {"no float accumulates",
       Header(0, 1, 7) + Track(Tempo(0, 333333) + Drum(21, 38) + kEnd),
       1000000,
       {999999},
       999999 + 500000},
      {"one sample a second", Header(0, 1, 96) + Track(Drum(192, 36) + kEnd), 1, {1}, 1},
      // 2997 ticks at 100 ticks per frame, 30000/1001 frames a second: 0.999999 s.
      {"SMPTE 29.97",
       Header(0, 1, 0xE364) + Track(Drum(2997, 36) + kEnd),
       3000000,
       {2999997},
       2999997 + 1500000},
      {"SMPTE ignores tempo events",
       Header(0, 1, 0xE828) + Track(Tempo(0, 100) + Drum(480, 36) + kEnd),
       1000,
       {500},
       1000},
      // Format 2: the second track starts where the first ended (1.5 s), at 120 BPM again.
      {"format 2 plays its tracks one after another",
       Header(2, 2, 96) + Track(Tempo(0, 1000000) + Drum(144, 36) + kEnd) +
           Track(Drum(96, 38) + kEnd),
       1000,
       {1500, 2000},
       2500},
      {"the latest end of track lasts past the hits",
       Header(1, 2, 96) + kOneNote + Track(EndAfter(960)),
       1000,
       {0},
       5000},
      {"the latest end of track, in the first track",
       Header(1, 2, 96) + Track(EndAfter(960)) + kOneNote,
       1000,
       {0},
       5000},
      // Format 2 in SMPTE time (24 frames of 40 ticks: 960 ticks a second): the second track
      // starts at the first's end, 0.5 s, its snare 0.1 s later and its end 5.1 s later.
      {"format 2 in SMPTE time",
       Header(2, 2, 0xE828) + Track(Drum(480, 36) + kEnd) + Track(Drum(96, 38) + EndAfter(4800)),
       1000,
       {500, 600},
       5600},
  };
  for (const Timing& c : cases) {
    SCOPED_TRACE(c.what);
    const MidiPlan plan = Plan(c.bytes, c.rate);
    EXPECT_EQ(Starts(plan), c.starts);
    EXPECT_EQ(plan.track.length, c.length);
  }
}

TEST(MidiTiming, TooLongForAWavFileIsRefusedWithoutRendering) {
  // 2^28 ticks of 16.7 s each.
  const Bytes slow = Header(0, 1, 1) + Track(Tempo(0, 0xFFFFFF) + EndAfter(0x0FFFFFFF));
  // Format 2: 20 tracks of 2^28 slow quarter notes one after another.
  Bytes sequence = Header(2, 20, 1);
  for (int i = 0; i < 20; ++i)
    sequence = sequence + Track(Tempo(0, 0xFFFFFF) + Drum(0x0FFFFFFF, 36));
  for (const Bytes& bytes : {slow, sequence}) {
    MidiPlan plan;
    MidiOptions options;
    const std::optional<Failure> failure = PlanMidi(bytes, options, 2147483629, plan);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->status, 13);
    EXPECT_EQ(failure->message,
              "The MIDI file is too long for a WAV file: more than 2147483629 samples.");
  }
}

// A track exactly as long as the limit is made, one sample more is refused; a stereo track's
// frames count twice.
TEST(MidiTiming, TheLimitHoldsExactlyForMonoAndStereo) {
  // A kick, and the end of track a second (192 ticks at 120 BPM) later: 1000 samples at 1000 Hz.
  const Bytes second = Header(0, 1, 96) + Track(Drum(0, 36) + EndAfter(192));
  const struct {
    int32_t channels;
    int64_t limit;
    int64_t most;  // 0: made, 1000 samples long; otherwise refused as longer than this
  } cases[] = {{1, 1000, 0}, {1, 999, 999}, {2, 2000, 0}, {2, 1999, 999}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.channels) + " channels, limit " + std::to_string(c.limit));
    MidiOptions options;
    options.sampleRate = 1000;
    options.channels = c.channels;
    MidiPlan plan;
    const std::optional<Failure> failure = PlanMidi(second, options, c.limit, plan);
    if (c.most == 0) {
      ASSERT_FALSE(failure) << failure->message;
      EXPECT_EQ(plan.track.length, 1000);
    } else {
      ASSERT_TRUE(failure);
      EXPECT_EQ(failure->status, 13);
      EXPECT_EQ(failure->message, "The MIDI file is too long for a WAV file: more than " +
                                      std::to_string(c.most) + " samples.");
    }
  }
}

TEST(MidiKeys, GeneralMidiKeysAndMappings) {
  const std::pair<int32_t, std::optional<DrumKind>> gm[] = {
      {35, DrumKind::kKick},        {36, DrumKind::kKick},        {37, DrumKind::kSnare},
      {38, DrumKind::kSnare},       {40, DrumKind::kSnare},       {39, DrumKind::kClap},
      {42, DrumKind::kHiHatClosed}, {44, DrumKind::kHiHatClosed}, {46, DrumKind::kHiHatOpen},
      {41, DrumKind::kLowTom},      {43, DrumKind::kLowTom},      {45, DrumKind::kLowTom},
      {47, DrumKind::kMidTom},      {48, DrumKind::kMidTom},      {50, DrumKind::kHighTom},
      {56, DrumKind::kCowbell},     {51, DrumKind::kRide},        {53, DrumKind::kRide},
      {59, DrumKind::kRide},        {49, DrumKind::kCrash},       {52, DrumKind::kCrash},
      {55, DrumKind::kCrash},       {57, DrumKind::kCrash},       {34, std::nullopt},
      {54, std::nullopt},           {58, std::nullopt},           {60, std::nullopt}};
  for (const auto& [key, kind] : gm) EXPECT_EQ(GeneralMidiDrum(key), kind) << key;
  // The key each kind is written with plays that kind again.
  for (const DrumKindInfo& info : kDrumKinds) {
    EXPECT_EQ(GeneralMidiDrum(GeneralMidiKey(info.kind)), info.kind) << info.keys[0];
  }

  const std::pair<const char*, const char*> mappings[] = {
      {"54=cowbell", ""},
      {"0=HIHATC", ""},
      {"127=crash", ""},
      {"54=snar3",
       "unknown drum 'snar3' (kick, snare, hihatc, hihato, high_tom, mid_tom, low_tom, cowbell, "
       "clap, ride, crash)"},
      {"128=kick", "a mapping's key is 0 to 127; got '128'"},
      {"-1=kick", "a mapping's key is 0 to 127; got '-1'"},
      {"x=kick", "a mapping's key is 0 to 127; got 'x'"},
      {"=kick", "a mapping's key is 0 to 127; got ''"},
      {"54", "a mapping is KEY=DRUM, such as 54=cowbell; got '54'"},
  };
  for (const auto& [text, message] : mappings) {
    MidiOptions options;
    const std::optional<std::string> problem = AddKeyMapping(text, options);
    EXPECT_EQ(problem.value_or(""), message) << text;
    EXPECT_EQ(options.map.size(), problem ? 0u : 1u);
  }
}

TEST(MidiKeys, SkippedKeysAreCountedAndMapsAddOrOverride) {
  const Bytes file =
      Header(0, 1, 96) + Track(Drum(0, 36) + Drum(0, 54) + Drum(0, 54) + Drum(0, 81) + Delta(0) +
                               Bytes{0x90, 36, 100} + Drum(0, 40, 0) + kEnd);
  MidiPlan plain = Plan(file, 1000);
  EXPECT_EQ(plain.skipped[54], 2);
  EXPECT_EQ(plain.skipped[81], 1);
  EXPECT_EQ(plain.otherChannels, 1);
  EXPECT_EQ(plain.hitsPerKind[static_cast<size_t>(DrumKind::kKick)], 1);

  MidiOptions options;
  options.map = {{54, DrumKind::kCowbell}, {36, DrumKind::kClap}, {36, DrumKind::kRide}};
  MidiPlan mapped = Plan(file, 1000, options);
  EXPECT_EQ(mapped.skipped[54], 0);
  EXPECT_EQ(mapped.hitsPerKind[static_cast<size_t>(DrumKind::kCowbell)], 2);
  EXPECT_EQ(mapped.hitsPerKind[static_cast<size_t>(DrumKind::kRide)], 1);  // the later wins
  EXPECT_EQ(mapped.hitsPerKind[static_cast<size_t>(DrumKind::kKick)], 0);

  options = {};
  options.channel = 1;
  MidiPlan first = Plan(file, 1000, options);
  EXPECT_EQ(first.hitsPerKind[static_cast<size_t>(DrumKind::kKick)], 1);
  EXPECT_EQ(first.otherChannels, 4);
}

TEST(MidiHits, OneKindPlaysOneHitAtATimeMixedInKindOrder) {
  // 1000 Hz, 96 ticks a quarter (500 samples). The snare keys 38 and 40 cut each other off; two
  // closed hi-hats on one sample: the first is silent; the last of a kind sounds its whole ring.
  const Bytes file = Header(1, 2, 96) +
                     Track(Drum(0, 38, 127) + Drum(48, 40, 64) + Drum(0, 42) + Drum(0, 44) +
                           Delta(1) + Bytes{0x89, 40, 0} + kEnd) +
                     Track(Drum(0, 36) + Drum(96, 49) + Drum(1, 36) + kEnd);
  const MidiPlan plan = Plan(file, 1000);
  struct Expected {
    DrumKind kind;
    int64_t start;
    int32_t length;
    float level;
    int32_t stem;
  };
  const Expected expected[] = {
      {DrumKind::kKick, 0, 500, 100 / 127.0f, 0},  // cut by the kick of track 1 at tick 97
      {DrumKind::kKick, 505, 500, 100 / 127.0f, 0},
      {DrumKind::kSnare, 0, 250, 1.0f, 1},  // cut by key 40 a quarter later
      {DrumKind::kSnare, 250, 500, 64 / 127.0f, 1},
      {DrumKind::kHiHatClosed, 250, 125, 100 / 127.0f, 2},  // key 44 after 42 on one sample
      {DrumKind::kCrash, 500, 2000, 100 / 127.0f, 3},
  };
  ASSERT_EQ(plan.track.hits.size(), std::size(expected));
  for (size_t i = 0; i < std::size(expected); ++i) {
    const Hit& hit = plan.track.hits[i];
    SCOPED_TRACE(i);
    EXPECT_EQ(hit.kind, expected[i].kind);
    EXPECT_EQ(hit.start, expected[i].start);
    EXPECT_EQ(hit.length, expected[i].length);
    EXPECT_EQ(hit.duration, static_cast<float>(expected[i].length) / 1000.0f);
    EXPECT_EQ(hit.level, expected[i].level);
    EXPECT_EQ(hit.stem, expected[i].stem);
    EXPECT_EQ(hit.frequency, 262.0f);
  }
  EXPECT_EQ(plan.hitsPerKind[static_cast<size_t>(DrumKind::kHiHatClosed)], 2);
  EXPECT_EQ(plan.track.stemKinds,
            (std::vector<DrumKind>{DrumKind::kKick, DrumKind::kSnare, DrumKind::kHiHatClosed,
                                   DrumKind::kCrash}));
  EXPECT_EQ(plan.track.length, 2500);  // the crash rings past every end of track
}

TEST(MidiPlan, LenientReadingsAndDamageAreReported) {
  const Bytes cut =
      Header(0, 3, 96) + Bytes{'M', 'T', 'r', 'k', 0, 0, 1, 0} + Drum(0, 36) + Bytes{0x10};
  MidiPlan plan = Plan(cut, 1000);
  EXPECT_EQ(plan.warnings,
            (std::vector<std::string>{
                "the header announces 3 tracks, the file holds 1; every track present is played",
                "the file ends inside track 1 (byte 27): the hits before the cut are kept"}));
  EXPECT_EQ(Starts(plan), (std::vector<int64_t>{0}));
  plan = Plan(Header(0, 1, 96) + kOneNote + Bytes{0}, 1000);
  EXPECT_EQ(
      plan.warnings,
      (std::vector<std::string>{"ignored 1 byte after the last chunk (too few for a chunk)"}));

  // One note more than the reader keeps: 3 bytes each with running status.
  Bytes many = Drum(0, 36);
  for (int64_t i = 0; i < kMaxMidiNotes; ++i) many.insert(many.end(), {0, 36, 1});

  struct Refusal {
    Bytes bytes;
    MidiOptions options;
    int32_t status;
    std::string message;
  };
  MidiOptions channel0, rate0;
  channel0.channel = 0;
  rate0.sampleRate = 0;
  const Refusal refusals[] = {
      {Header(0, 1, 96) + Track(Bytes{0, 0xF5}),
       {},
       15,
       "byte 23: status byte 0xF5 cannot appear in a file"},
      {Header(0, 1, 96) + kOneNote, channel0, 15, "channel must be 1 to 16, got 0"},
      {Header(0, 1, 96) + kOneNote, rate0, 11, "Sample rate must be at least 1. Got: 0"},
      {Header(0, 1, 96) + Track(many),
       {},
       13,
       "The MIDI file has too many notes: more than 4194304."},
  };
  for (const Refusal& r : refusals) {
    const std::optional<Failure> failure = PlanMidi(r.bytes, r.options, 1 << 30, plan);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->status, r.status);
    EXPECT_EQ(failure->message, r.message);
  }
}

TEST(MidiWriter, WritesASmallSongByteForByteAndReadsBack) {
  MidiOut song;
  song.ticksPerQuarter = 960;
  song.tempos = {{0, 500000}, {1920, 600000}};
  song.meters = {{0, 4, 2}, {1920, 7, 3}};
  song.markers = {{0, "intro"}, {1920, "b"}};
  // A kick whose note-off would come after the next kick starts is ended there; a snare on the
  // same tick as a marker comes after it; a note-off and a note-on on one tick: the off first.
  song.notes = {{0, 5000, 36, 127}, {1920, 240, 38, 64}, {480, 960, 36, 1}, {2160, 10, 38, 200}};
  song.endTick = 5000;
  const Bytes expected =
      Header(0, 1, 960) +
      Track(Tempo(0, 500000) + Bytes{0, 0xFF, 0x58, 4, 4, 2, 24, 8} +
            Bytes{0, 0xFF, 0x06, 5, 'i', 'n', 't', 'r', 'o'} + Drum(0, 36, 127) +
            Bytes{0x83, 0x60, 0x89, 36, 0x40} + Drum(0, 36, 1) +       // 480: off, then on
            Bytes{0x87, 0x40, 0x89, 36, 0x40} +                        // 1440: its off
            Tempo(480, 600000) + Bytes{0, 0xFF, 0x58, 4, 7, 3, 24, 8} +  // 1920
            Bytes{0, 0xFF, 0x06, 1, 'b'} + Drum(0, 38, 64) +
            Bytes{0x81, 0x70, 0x89, 38, 0x40} + Drum(0, 38, 127) +  // 2160; velocity at most 127
            Bytes{10, 0x89, 38, 0x40} +                                 // 2170
            Delta(5000 - 2170) + Bytes{0xFF, 0x2F, 0x00});
  const Bytes written = WriteMidi(song);
  EXPECT_EQ(written, expected);
  // The reader finds the notes and the tempo map where they were written.
  MidiFile file;
  ASSERT_FALSE(ReadMidi(written, file));
  ASSERT_EQ(file.tracks.size(), 1u);
  std::vector<std::pair<uint64_t, int>> notes;
  for (const MidiNote& note : file.tracks[0].notes) notes.emplace_back(note.tick, note.key);
  EXPECT_EQ(notes, (std::vector<std::pair<uint64_t, int>>{{0, 36}, {480, 36}, {1920, 38}, {2160, 38}}));
  ASSERT_EQ(file.tracks[0].tempos.size(), 2u);
  EXPECT_EQ(file.tracks[0].tempos[1].tick, 1920u);
  EXPECT_EQ(file.tracks[0].endTick, 5000u);
}

// The edges of the writer's rules, each song's track byte for byte.
TEST(MidiWriter, ClampsNoteOffsVelocitiesAndLongGapsAtTheirEdges) {
  const struct {
    const char* what;
    std::vector<MidiOutNote> notes;
    uint64_t endTick;
    Bytes events;  // the track's events, its end included
  } cases[] = {
      {"a note of no length still ends a tick after it starts", {{0, 0, 36, 100}}, 0,
       Drum(0, 36, 100) + Bytes{1, 0x89, 36, 0x40} + kEnd},
      {"a velocity of 0 is written as 1, not as a note-off", {{0, 1, 36, 0}}, 0,
       Drum(0, 36, 1) + Bytes{1, 0x89, 36, 0x40} + kEnd},
      {"two notes of one key on one tick: the first ends a tick later",
       {{0, 10, 38, 100}, {0, 10, 38, 90}}, 0,
       Drum(0, 38, 100) + Drum(0, 38, 90) + Bytes{1, 0x89, 38, 0x40, 9, 0x89, 38, 0x40} + kEnd},
      {"only a note of the same key cuts a note short", {{0, 100, 36, 100}, {10, 5, 38, 100}}, 0,
       Drum(0, 36, 100) + Drum(10, 38, 100) + Bytes{5, 0x89, 38, 0x40, 85, 0x89, 36, 0x40} + kEnd},
      {"the longest delta time in one quantity", {}, 0x0FFFFFFF, EndAfter(0x0FFFFFFF)},
      {"one tick longer: bridged by an empty text event", {}, 0x10000000,
       Delta(0x0FFFFFFF) + Bytes{0xFF, 0x01, 0x00} + EndAfter(1)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    MidiOut song;
    song.ticksPerQuarter = 960;
    song.notes = c.notes;
    song.endTick = c.endTick;
    EXPECT_EQ(WriteMidi(song), Header(0, 1, 960) + Track(c.events));
  }
}

}  // namespace
}  // namespace kettorin
