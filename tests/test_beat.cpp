// Beats: the grid reader's verdicts, exact step times, hit lengths and levels, and the mixer.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "beat/beat.h"
#include "compose/compose.h"
#include "track/track_output.h"
#include "wav/wav_writer.h"

namespace kettorin {
namespace {

struct Refused {
  std::string text;
  int32_t line;
  std::string message;
};

void PrintTo(const Refused& c, std::ostream* os) {
  *os << testing::PrintToString(c.text);
}

class ReaderRefuses : public testing::TestWithParam<Refused> {};

TEST_P(ReaderRefuses, NamingTheLineAndWhy) {
  Beat beat;
  const std::optional<BeatError> error = ReadBeat(GetParam().text, beat);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->line, GetParam().line);
  EXPECT_EQ(error->message, GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Beats, ReaderRefuses,
    testing::Values(
        Refused{"tempo 0\nkick x", 1, "tempo must be 1 to 999, got 0"},
        Refused{"tempo 1000\nkick x", 1, "tempo must be 1 to 999, got 1000"},
        Refused{"steps 65\nkick x", 1, "steps must be 1 to 64, got 65"},
        Refused{"swing 49\nkick x", 1, "swing must be 50 to 75, got 49"},
        Refused{"swing 76\nkick x", 1, "swing must be 50 to 75, got 76"},
        Refused{"repeat 10001\nkick x", 1, "repeat must be 1 to 10000, got 10001"},
        Refused{"kick x\nrepeat 0", 2, "repeat must be 1 to 10000, got 0"},
        Refused{"tempo +90\nkick x", 1, "tempo takes a whole number, got '+90'"},
        Refused{"tempo 99999999999999999999\nkick x", 1,
                "tempo takes a whole number, got '99999999999999999999'"},
        Refused{"tempo 90 100\nkick x", 1, "tempo takes one whole number"},
        Refused{"tempo 90\n\ntempo 100\nkick x", 3, "tempo given twice (first on line 1)"},
        Refused{"# groove\nsnar3 x---", 2,
                "unknown drum 'snar3' (kick, snare, hihatc, hihato, high_tom, mid_tom, low_tom, "
                "cowbell, clap, ride, crash)"},
        Refused{"Tempo 90\nkick x", 1,
                "unknown drum 'Tempo' (kick, snare, hihatc, hihato, high_tom, mid_tom, low_tom, "
                "cowbell, clap, ride, crash)"},
        Refused{"kick pitch=H x", 1, "pitch takes a note A to G with an optional # or b, got 'H'"},
        Refused{"kick pitch=C## x", 1,
                "pitch takes a note A to G with an optional # or b, got 'C##'"},
        Refused{"kick ring=0 x", 1, "ring must be 0.001 to 60 seconds, got '0'"},
        Refused{"kick ring=60.001 x", 1, "ring must be 0.001 to 60 seconds, got '60.001'"},
        Refused{"kick ring=nan x", 1, "ring must be 0.001 to 60 seconds, got 'nan'"},
        Refused{"kick ring=0,5 x", 1, "ring must be 0.001 to 60 seconds, got '0,5'"},
        Refused{"kick level=4.01 x", 1, "level must be 0 to 4, got '4.01'"},
        Refused{"kick level=-0.5 x", 1, "level must be 0 to 4, got '-0.5'"},
        Refused{"kick gain=2 x", 1, "unknown setting 'gain' (pitch, ring, level, flam, chance, shift, pan)"},
        Refused{"kick ring=1 ring=2 x", 1, "ring given twice"},
        Refused{"kick x--- level=2", 1, "settings come before the grid: 'level=2'"},
        Refused{"kick x--#-", 1, "unexpected '#' in the grid (x o X O g 1-9 f F d D ? [ ] - . | and blanks)"},
        Refused{"kick x---\r\nsnare ----\r\nclap ---", 3,
                "3 steps, but line 1 (the first drum line) has 4"},
        Refused{"\n\nkick x-x-\nsnare x-x-x", 4, "5 steps, but line 3 (the first drum line) has 4"},
        Refused{"kick level=1 | |", 1, "kick has no steps"},
        // Songs: patterns, their settings, and the play order.
        Refused{"pattern a\nkick x\npattern b c\nkick x", 3, "pattern takes one name"},
        Refused{"pattern verse!\nkick x", 1,
                "a pattern's name is 1 to 32 letters, digits, '_', '-' or '.', got 'verse!'"},
        Refused{"pattern " + std::string(33, 'v') + "\nkick x", 1,
                "a pattern's name is 1 to 32 letters, digits, '_', '-' or '.', got '" +
                    std::string(33, 'v') + "'"},
        Refused{"pattern a\nkick x\n\npattern a\nkick x", 4, "pattern 'a' given twice (first on line 1)"},
        Refused{"tempo 90\nkick x---\npattern a\nkick x", 2,
                "a drum line before the first pattern: in a song every drum line stands under a "
                "'pattern NAME' line"},
        Refused{"tempo 90\npattern a\ntempo 100\nkick x\ntempo 80", 5,
                "tempo given twice (first on line 3)"},
        Refused{"repeat 2\npattern a\nkick x\nrepeat 3", 4, "repeat given twice (first on line 1)"},
        Refused{"pattern a\nkick x---\nsnare x-", 3, "2 steps, but line 2 (the first drum line of 'a') has 4"},
        Refused{"pattern a\nkick x\npattern b\nsteps 2\npattern c\nkick x", 3,
                "pattern 'b' has no drum lines"},
        Refused{"play a chorus\npattern a\nkick x\npattern b\nkick x", 1,
                "unknown pattern 'chorus' in play (a, b)"},
        Refused{"kick x\nplay a", 2,
                "unknown pattern 'a' in play (there are none: a 'pattern NAME' line starts one)"},
        // The lowest of the errors found once the text is read.
        Refused{"pattern a\nkick x\nplay a d\npattern b\npattern c\nkick x", 3,
                "unknown pattern 'd' in play (a, b, c)"},
        Refused{"pattern a\npattern b\nkick x\nplay c", 1, "pattern 'a' has no drum lines"},
        Refused{"pattern a\nkick x\nplay a *4", 3,
                "a count follows its name or ')' at once, as in 'verse*4'"},
        Refused{"pattern a\nkick x\nplay (a) *2", 3,
                "a count follows its name or ')' at once, as in 'verse*4'"},
        Refused{"pattern a\nkick x\nplay a*0", 3, "a count must be 1 to 10000, got 0"},
        Refused{"pattern a\nkick x\nplay a*10001", 3, "a count must be 1 to 10000, got 10001"},
        Refused{"pattern a\nkick x\nplay a*4x", 3, "'*' takes a whole number, got '4x'"},
        Refused{"pattern a\nkick x\nplay a*", 3, "'*' takes a whole number, got ''"},
        Refused{"pattern a\nkick x\nplay (a b", 3, "'(' without its ')'"},
        Refused{"pattern a\nkick x\nplay a)", 3, "')' without its '('"},
        Refused{"pattern a\nkick x\nplay a ()*2", 3, "'()' holds no pattern"},
        Refused{"pattern a\nkick x\nplay a, a", 3,
                "unexpected ',' in play (pattern names, groups in ( ) and counts such as *4)"},
        Refused{"pattern a\nkick x\nplay", 3,
                "play takes the patterns to play, such as 'play intro verse*4 (a b)*2'"},
        Refused{"pattern a\nkick x\nplay (((((((((a)))))))))", 3, "groups nest at most 8 deep"},
        Refused{"pattern a\npattern b\n", 0,
                "no drum lines: a line names a drum and gives its steps, such as 'kick x---x---'"},
        // Expression and the names drummers write.
        Refused{"54 x-x-", 1, "key 54 plays no drum (--map 54=DRUM gives it one)"},
        Refused{"128 x-x-", 1, "a key number is 0 to 127, got 128"},
        Refused{"kick x-x-\nac level=2 x---", 2, "the accent line takes no settings"},
        Refused{"kick x-x-\nac x---\naccent -x--", 3, "a second accent line (the first is on line 2)"},
        Refused{"kick x-x-\nac [xx]---", 2, "the accent line has no brackets"},
        Refused{"ac x---\nkick x-x", 2, "3 steps, but line 1 (the first drum line) has 4"},
        Refused{"kick x[x-x", 1, "'[' without its ']' (a bracket holds cells, with no blanks or |)"},
        Refused{"kick x[x -]", 1, "'[' without its ']' (a bracket holds cells, with no blanks or |)"},
        Refused{"kick x-]", 1, "']' without its '['"},
        Refused{"kick x[]", 1, "a bracket holds 1 to 16 cells, got 0"},
        Refused{"kick [xxxxxxxxxxxxxxxxx]", 1, "a bracket holds 1 to 16 cells, got 17"},
        Refused{"kick [x|x]", 1, "unexpected '|' in a bracket (cells only: no brackets, blanks or |)"},
        Refused{"kick [x[x]]", 1, "unexpected '[' in a bracket (cells only: no brackets, blanks or |)"},
        Refused{"kick flam=0.2 f", 1, "flam must be 0.001 to 0.1 seconds, got '0.2'"},
        Refused{"kick chance=1.5 ?", 1, "chance must be 0 to 1, got '1.5'"},
        Refused{"kick shift=-51 x", 1, "shift must be -50 to 50 milliseconds, got '-51'"},
        Refused{"kick shift=-+5 x", 1, "shift must be -50 to 50 milliseconds, got '-+5'"},
        Refused{"kick shift=+-5 x", 1, "shift must be -50 to 50 milliseconds, got '+-5'"},
        Refused{"kick pan=1.01 x", 1, "pan must be -1 (left) to 1 (right), got '1.01'"},
        Refused{"kick pan=nan x", 1, "pan must be -1 (left) to 1 (right), got 'nan'"},
        Refused{"kick pan=L x", 1, "pan must be -1 (left) to 1 (right), got 'L'"},
        Refused{"stereo on\nkick x", 1, "stereo takes nothing after it"},
        Refused{"stereo\nkick x\nstereo", 3, "stereo given twice (first on line 1)"},
        Refused{"humanize 6\nkick x", 1, "humanize takes two whole numbers: MS PERCENT"},
        Refused{"humanize 6 101\nkick x", 1, "humanize must be 0 to 100, got 101"},
        Refused{"seed 4294967296\nkick x", 1, "seed must be 0 to 4294967295, got 4294967296"},
        Refused{"choke maybe\nkick x", 1, "choke takes on or off"},
        Refused{"pattern a\nseed 1\nkick x\npattern b\nseed 2\nkick x", 5,
                "seed given twice (first on line 2)"},
        Refused{"# only a comment\r\n\ttempo 100\n", 0,
                "no drum lines: a line names a drum and gives its steps, such as 'kick x---x---'"},
        Refused{
            "", 0,
            "no drum lines: a line names a drum and gives its steps, such as 'kick x---x---'"}));

TEST(BeatReader, ReadsDirectivesSettingsAndGrids) {
  Beat beat;
  const std::string text =
      "\xEF\xBB\xBF# a groove\r\n"
      "tempo 104\r\n"
      "steps 3 # triplets\r\n"
      "swing 75\r\n"
      "repeat 10000\r\n"
      "LOW_TOMS\tpitch=C# ring=0.2 level=2.5 x.Xo|g-O\r\n"
      "hihat_open x-- --g -\r\n";
  ASSERT_FALSE(ReadBeat(text, beat));
  EXPECT_EQ((std::vector<int32_t>{beat.tempo, beat.steps, beat.swing, beat.repeat}),
            (std::vector<int32_t>{104, 3, 75, 10000}));
  ASSERT_EQ(beat.patterns[0].lines.size(), 2u);
  const BeatLine& tom = beat.patterns[0].lines[0];
  EXPECT_EQ(tom.lineNumber, 6);
  EXPECT_EQ(tom.kind, DrumKind::kLowTom);
  EXPECT_EQ(tom.frequency, 262.0f * 1.0594631f);  // the sharp survives the comment rule
  EXPECT_EQ(tom.ring, 0.2f);
  EXPECT_EQ(tom.level, 2.5f);
  EXPECT_EQ(tom.steps, (std::vector<Step>{Step::kHit, Step::kRest, Step::kAccent, Step::kHit,
                                          Step::kGhost, Step::kRest, Step::kAccent}));
  EXPECT_EQ(beat.patterns[0].lines[1].kind, DrumKind::kHiHatOpen);
  EXPECT_EQ(beat.patterns[0].lines[1].ring, 1.0f);  // the kind's default
  EXPECT_EQ(beat.patterns[0].lines[1].frequency, 262.0f);
}

// The names drummers write: tab names, key numbers, hihat lines, in any case; today's names keep
// their meaning.
TEST(BeatNames, TabNamesKeysAndTodaysNamesPlayTheirKinds) {
  using K = DrumKind;
  const struct {
    std::string name;
    K kind;
    bool hihat;
  } cases[] = {
      {"BD", K::kKick, false},        {"b", K::kKick, false},         {"K", K::kKick, false},
      {"SD", K::kSnare, false},       {"sn", K::kSnare, false},       {"S", K::kSnare, false},
      {"CH", K::kHiHatClosed, false}, {"oh", K::kHiHatOpen, false},   {"HF", K::kHiHatClosed, false},
      {"fh", K::kHiHatClosed, false}, {"T", K::kHighTom, false},      {"t1", K::kHighTom, false},
      {"HT", K::kHighTom, false},     {"t2", K::kMidTom, false},      {"MT", K::kMidTom, false},
      {"T3", K::kLowTom, false},      {"FT", K::kLowTom, false},      {"lt", K::kLowTom, false},
      {"F", K::kLowTom, false},       {"CB", K::kCowbell, false},     {"cp", K::kClap, false},
      {"R", K::kRide, false},         {"rc", K::kRide, false},        {"RD", K::kRide, false},
      {"c", K::kCrash, false},        {"CC", K::kCrash, false},       {"cr", K::kCrash, false},
      {"hihat", K::kHiHatClosed, true}, {"HH", K::kHiHatClosed, true},
      {"36", K::kKick, false},        {"42", K::kRide, false},  // --map 42=ride below
      {"46", K::kHiHatOpen, false},   {"0", K::kCowbell, false},
      // Today's rule: the kinds' keys as prefixes.
      {"kick", K::kKick, false},      {"snare_drum", K::kSnare, false}, {"hihatc", K::kHiHatClosed, false},
      {"tom", K::kHighTom, false},    {"Crash", K::kCrash, false},
  };
  const KeyMap keys{{42, K::kRide}, {0, K::kCowbell}};
  for (const auto& c : cases) {
    Beat beat;
    // A count line first, and the name glued to its grid by a bar.
    ASSERT_FALSE(ReadBeat("  1 e + a 2 & 3 . 4\n" + c.name + "|x-x-|", beat, keys)) << c.name;
    const BeatLine& line = beat.patterns[0].lines.at(0);
    EXPECT_EQ(line.kind, c.kind) << c.name;
    EXPECT_EQ(line.hihat, c.hihat) << c.name;
    EXPECT_EQ(line.steps.size(), 4u) << c.name;
  }
  for (const char* accent : {"accent", "AC", "Accent"}) {
    Beat beat;
    ASSERT_FALSE(ReadBeat(std::string("kick x-x-\n") + accent + " -X.o", beat));
    EXPECT_EQ(beat.patterns[0].lines.size(), 1u);
    EXPECT_EQ(beat.patterns[0].accents, (std::vector<bool>{false, true, false, true}));
  }
}

// The writer's text reads back as the same beat, and writing that beat again gives the same text.
TEST(BeatWriter, WritesWhatTheReaderReadsBackAsTheSameBeat) {
  struct RoundTrip {
    std::string text;
    std::string written;  // empty: only the round trip is checked
  };
  const RoundTrip cases[] = {
      {"tempo 104\nswing 58\nrepeat 4\nkick x---X---|x-g-\nlow_tom pitch=G ring=0.2 ----|--xx|-o-.\n",
       "tempo 104\nsteps 4\nswing 58\nrepeat 4\n\n"
       "kick                      x---X---x-g-\n"
       "low_tom pitch=G ring=0.2  ------xx-x--\n"},
      // Settings equal to the kind's defaults are left out; a bar line after every four beats.
      {"steps 2\nhihato ring=1 level=1 pitch=C x-x-x-x-x\n",
       "tempo 120\nsteps 2\n\nhihato  x-x-x-x-|x\n"},
      {"steps 3\nsnare pitch=C# level=0.35 x.X|o-g\nclap pitch=Bb ring=0.001 level=0 gggggg\n", ""},
      {"tempo 999\nsteps 64\nswing 75\nrepeat 10000\nride ring=60 level=4 X\n", ""},
      {"cowbell ring=0.1 level=0.7 x\ncrash ring=1e-2 level=3.3333333 x\nhihatc level=1.2345678 -\n", ""},
      // A song: patterns with their own settings under their names, and the order as written.
      {"tempo 90\nrepeat 2\nplay a (b*3 a)*2\npattern a\nsteps 2\nkick x-x-\npattern b\ntempo 100\n"
       "swing 60\nkick x---\nkick ring=0.25 --x-\n",
       "tempo 90\nsteps 4\nrepeat 2\n\npattern a\nsteps 2\nkick  x-x-\n\npattern b\ntempo 100\n"
       "swing 60\nkick            x---\nkick ring=0.25  --x-\n\nplay a (b*3 a)*2\n"},
      {"pattern x.1\nsnare x\npattern y-2\nsnare X\n", ""},
      // Every cell and setting, the names drummers write, an accent line and the song's feel.
      {"seed 77\nhumanize 6 8\nchoke off\nHH|x-o-[xxO]-x-|\n42 ring=0.3 flam=0.05 chance=0.25 "
       "shift=-2.5 19fFdD?g\nac -x-x-x-x\n",
       "tempo 120\nsteps 4\nseed 77\nhumanize 6 8\nchoke off\n\n"
       "hihat                                         x-o-[xxO]-x-\n"
       "42 ring=0.3 flam=0.05 chance=0.25 shift=-2.5  19fFdD?g\n"
       "accent                                        -X-X-X-X\n"},
      // Stereo: the directive, and a line's own place (a pan of 0 is a place too).
      {"stereo\nride pan=0.4 x\nkick pan=-0 x\ntom pan=-0.33333334 x\n",
       "tempo 120\nsteps 4\nstereo\n\nride pan=0.4              x\nkick pan=-0               x\n"
       "high_tom pan=-0.33333334  x\n"},
  };
  for (const RoundTrip& c : cases) {
    Beat read, reread;
    ASSERT_FALSE(ReadBeat(c.text, read)) << c.text;
    const std::string written = WriteBeat(read);
    if (!c.written.empty()) {
      EXPECT_EQ(written, c.written);
    }
    ASSERT_FALSE(ReadBeat(written, reread)) << written;
    EXPECT_EQ((std::vector<int64_t>{reread.tempo, reread.steps, reread.swing, reread.repeat,
                                    reread.seed, reread.humanizeMs, reread.humanizePercent,
                                    reread.choke, reread.stereo}),
              (std::vector<int64_t>{read.tempo, read.steps, read.swing, read.repeat, read.seed,
                                    read.humanizeMs, read.humanizePercent, read.choke,
                                    read.stereo}));
    ASSERT_EQ(reread.patterns.size(), read.patterns.size()) << written;
    EXPECT_EQ(WriteOrder(reread), WriteOrder(read));
    for (size_t p = 0; p < read.patterns.size(); ++p) {
      const BeatPattern &was = read.patterns[p], &is = reread.patterns[p];
      EXPECT_EQ(is.name, was.name);
      EXPECT_EQ((std::vector{is.tempo, is.steps, is.swing}),
                (std::vector{was.tempo, was.steps, was.swing}));
      ASSERT_EQ(is.lines.size(), was.lines.size()) << written;
      for (size_t l = 0; l < was.lines.size(); ++l) {
        const BeatLine &a = was.lines[l], &b = is.lines[l];
        EXPECT_EQ(b.kind, a.kind) << written;
        EXPECT_STREQ(b.pitch.c_str(), a.pitch.c_str()) << written;
        EXPECT_EQ(b.frequency, a.frequency) << written;
        EXPECT_EQ(b.ring, a.ring) << written;
        EXPECT_EQ(b.level, a.level) << written;
        EXPECT_EQ(b.steps, a.steps) << written;
        EXPECT_EQ(b.brackets, a.brackets) << written;
        EXPECT_EQ((std::vector{b.flam, b.chance, b.shift}), (std::vector{a.flam, a.chance, a.shift}));
        EXPECT_EQ((std::tuple{b.hihat, b.key, b.pan}), (std::tuple{a.hihat, a.key, a.pan}));
        if (a.hihat) {
          EXPECT_EQ(b.ringGiven, a.ringGiven);
        }
      }
      EXPECT_EQ(is.accents, was.accents);
    }
    EXPECT_EQ(WriteBeat(reread), written);
  }
}

struct Onset {
  int64_t step;
  int32_t rate, tempo, steps, swing;
  int64_t sample;
};

TEST(BeatTiming, StepsStartOnExactSamplesWithSwingAndWithoutDrift) {
  const Onset cases[] = {
      {0, 44100, 120, 4, 50, 0},
      {1, 44100, 120, 4, 50, 5512},  // 5512.5, rounded down
      {2, 44100, 120, 4, 50, 11025},
      {1, 44100, 120, 4, 58, 6394},   // 16 hundredths of a step late: 6394.5
      {2, 44100, 120, 4, 75, 11025},  // even steps never swing
      {3, 8000, 104, 4, 66, 3830},    // 332 x 480000 / 41600 = 3830.8
      {7, 48000, 999, 64, 60, 324},   // 720 x 2880000 / 6393600 = 324.3
      // Far into a long track: exactly s x 5512.5, with no error carried from step to step.
      {389000, 44100, 120, 4, 50, 2144362500},
      {388999, 44100, 120, 4, 75, 2144359743},
  };
  for (const Onset& c : cases) {
    EXPECT_EQ(StepStart(c.step, c.rate, c.tempo, c.steps, c.swing), c.sample) << c.step;
  }
}

// The hits of a beat, in mixing order.
std::vector<Hit> Hits(const std::string& text, BeatOptions options = {}) {
  Beat beat;
  EXPECT_FALSE(ReadBeat(text, beat));
  Track track;
  EXPECT_FALSE(BeatTrack(beat, options, MaxSamples(WavFormat::kPcm16), track));
  return track.hits;
}

TEST(BeatTrack, HitsSoundUntilTheNextHitTheirRingOrTheEnd) {
  // 8000 Hz, tempo 120, 4 steps a beat: a step is 1000 samples.
  BeatOptions at8k;
  at8k.sampleRate = 8000;
  const std::vector<Hit> hits = Hits("snare ring=0.3 X--g\nkick level=0.5 -x-x", at8k);
  ASSERT_EQ(hits.size(), 4u);
  // Snare: 3000 samples to the next hit, but at most its ring: trunc(8000 x 0.3f) = 2400.
  EXPECT_EQ(hits[0].start, 0);
  EXPECT_EQ(hits[0].length, 2400);
  EXPECT_EQ(hits[0].level, 1.0f);
  EXPECT_EQ(hits[0].duration, 2400.0f / 8000.0f);
  EXPECT_EQ(hits[1].start, 3000);
  EXPECT_EQ(hits[1].length, 1000);  // cut at the end of the track
  EXPECT_EQ(hits[1].level, 0.35f);
  // Kick: line level times hit level, formed once in float.
  EXPECT_EQ(hits[2].start, 1000);
  EXPECT_EQ(hits[2].length, 2000);
  EXPECT_EQ(hits[2].level, 0.7f * 0.5f);
  EXPECT_EQ(hits[2].stem, 1);
  EXPECT_EQ(hits[3].length, 1000);

  // In a loop the last hit rings on to where its line's first hit comes round again.
  at8k.loop = true;
  const std::vector<Hit> loop = Hits("kick -x-x", at8k);
  EXPECT_EQ(loop[1].start, 3000);
  EXPECT_EQ(loop[1].length, 1000 + 1000);
  // Across repeats the next hit is in the next pass.
  at8k.loop = false;
  at8k.repeat = 2;
  const std::vector<Hit> twice = Hits("kick ring=9 x---", at8k);
  ASSERT_EQ(twice.size(), 2u);
  EXPECT_EQ(twice[0].length, 4000);
  EXPECT_EQ(twice[1].start, 4000);
}

// Songs at 8000 Hz, where a step at tempo 120 and 4 a beat is 1000 samples.
TEST(SongTrack, SegmentsLanesAndTheOrderLaidOutExactly) {
  BeatOptions at8k;
  at8k.sampleRate = 8000;
  Beat beat;
  // a*2 at 120 BPM: 8 steps, 8000 samples; b at 90 BPM in triplets: floor(3 x 480000 / 270) =
  // 5333; c back at 120: 2000. E = 15333, and c's kick starts on the floor at b's end.
  ASSERT_FALSE(ReadBeat("pattern a\nkick x---\npattern b\ntempo 90\nsteps 3\nkick x--\n"
                        "pattern c\nkick x-\nplay a*2 b c\n",
                        beat));
  Track track;
  BeatLayout layout;
  ASSERT_FALSE(BeatTrack(beat, at8k, MaxSamples(WavFormat::kPcm16), track, &layout));
  EXPECT_EQ(track.length, 15333);
  std::vector<std::vector<int64_t>> segments;
  for (const Segment& k : layout.segments) {
    segments.push_back({k.start, k.length, k.tempo, k.steps, k.firstPlay, k.plays});
  }
  EXPECT_EQ(segments, (std::vector<std::vector<int64_t>>{
                          {0, 8000, 120, 4, 0, 2}, {8000, 5333, 90, 3, 2, 1}, {13333, 2000, 120, 4, 3, 1}}));
  std::vector<std::vector<int64_t>> kicks;
  for (const Hit& hit : track.hits) kicks.push_back({hit.start, hit.length});
  // One lane: each kick rings to the next, whichever pattern it is in, at most its 0.5 s.
  EXPECT_EQ(kicks, (std::vector<std::vector<int64_t>>{{0, 4000}, {4000, 4000}, {8000, 4000}, {13333, 2000}}));

  // Lanes: a kind's first line in a pattern is one lane in every pattern, its second another;
  // lanes number as they first appear, lanes of a pattern that never plays included; a crash
  // rings across into the next pattern until that pattern's crash.
  const std::vector<Hit> hits = Hits("pattern a\ncrash x---\npattern b\nsnare x---\ncrash --x-\n"
                                     "pattern unplayed\ntom x---\ntom ----\n"
                                     "pattern c\nkick x---\nsnare ----\nsnare -x--\nplay a b c\n",
                                     at8k);
  std::vector<std::vector<int64_t>> laid;
  for (const Hit& hit : hits) laid.push_back({hit.stem, hit.start, hit.length});
  EXPECT_EQ(laid, (std::vector<std::vector<int64_t>>{
                      {0, 0, 6000}, {0, 6000, 6000},  // crash: cut by b's, then to the end
                      {1, 4000, 4000},                 // snare: b's rings 0.5 s
                      {4, 8000, 4000},                 // kick
                      {5, 9000, 3000}}));              // snare.2: to the end
  ASSERT_FALSE(ReadBeat("pattern a\ncrash x\npattern b\nsnare x\ncrash x\npattern u\ntom x\n"
                        "tom x\npattern c\nkick x\nsnare x\nsnare x\nplay a b c\n",
                        beat));
  ASSERT_FALSE(BeatTrack(beat, at8k, MaxSamples(WavFormat::kPcm16), track));
  EXPECT_EQ(track.stemKinds, (std::vector<DrumKind>{DrumKind::kCrash, DrumKind::kSnare,
                                                    DrumKind::kHighTom, DrumKind::kHighTom,
                                                    DrumKind::kKick, DrumKind::kSnare}));

  // A pattern played four times is the same track as a text of it alone repeated four times.
  const std::string lines = "kick x--x-x--\nsnare ring=0.3 --X---g-\nkick ring=9 ---x----\n";
  at8k.loop = true;
  std::vector<std::vector<double>> counted, repeated;
  for (const Hit& h : Hits("swing 62\npattern v\n" + lines + "play v*4\n", at8k)) {
    counted.push_back({double(h.start), double(h.length), h.level, double(h.stem), h.frequency});
  }
  for (const Hit& h : Hits("swing 62\nrepeat 4\n" + lines, at8k)) {
    repeated.push_back({double(h.start), double(h.length), h.level, double(h.stem), h.frequency});
  }
  EXPECT_EQ(counted, repeated);
}

// Where each hit lands and how long it sounds: {stem, start, length} in mixing order.
std::vector<std::vector<int64_t>> Laid(const std::string& text, bool loop = false,
                                       int32_t rate = 8000) {
  BeatOptions at8k;
  at8k.sampleRate = rate;  // at 8000 Hz a step is 1000 samples at tempo 120
  at8k.loop = loop;
  std::vector<std::vector<int64_t>> laid;
  for (const Hit& hit : Hits(text, at8k)) laid.push_back({hit.stem, hit.start, hit.length});
  return laid;
}

TEST(BeatCells, GraceNotesBracketsShiftAndChokeLandWhereTheyShould) {
  using Rows = std::vector<std::vector<int64_t>>;
  // A flam's grace note 160 samples early (trunc(8000 x 0.02)) is put at 0 and cut at once by its
  // hit; a drag's two come 160 and 80 early; a bracket of three divides its step.
  EXPECT_EQ(Laid("snare ring=9 f-d-[x-x]---"),
            (Rows{{0, 0, 1840}, {0, 1840, 80}, {0, 1920, 80}, {0, 2000, 2000}, {0, 4000, 666},
                  {0, 4666, 3334}}));
  // In a loop the grace note before the first step lands at the end of the file, and rings round.
  EXPECT_EQ(Laid("snare ring=9 f-d-[x-x]---", true),
            (Rows{{0, 0, 1840}, {0, 1840, 80}, {0, 1920, 80}, {0, 2000, 2000}, {0, 4000, 666},
                  {0, 4666, 3174}, {0, 7840, 160}}));
  // A bracket of 16 as the last step divides the rest of the track.
  EXPECT_EQ(Laid("kick ring=9 x[x--------------x]").back(), (std::vector<int64_t>{0, 1937, 63}));
  // The last step of an odd segment ends where the segment does (3000), not where a swung step 3
  // would start (3500): its bracket's second cell is at 2500.
  EXPECT_EQ(Laid("swing 75\nkick ring=9 x-[xx]"),
            (Rows{{0, 0, 2000}, {0, 2000, 500}, {0, 2500, 500}}));
  // An accented drag has its two grace notes too.
  EXPECT_EQ(Laid("snare ring=9 -D--"), (Rows{{0, 840, 80}, {0, 920, 80}, {0, 1000, 3000}}));
  // A ring of exactly one sample (1000 Hz x 0.001f is 1.0f) sounds that sample.
  EXPECT_EQ(Laid("kick ring=0.001 x---", false, 1000), (Rows{{0, 0, 1}}));
  // Shift: 10 ms early is 80 samples (at 0 without a loop, round the end with one), 2.5 ms late 20.
  EXPECT_EQ(Laid("snare shift=-10 x---\nkick shift=+2.5 x---"), (Rows{{0, 0, 4000}, {1, 20, 3980}}));
  EXPECT_EQ(Laid("snare shift=-10 x---", true), (Rows{{0, 3920, 4000}}));
  // A grace note that falls before the previous hit of its lane sounds first and is cut by it.
  EXPECT_EQ(Laid("snare ring=9 flam=0.1 xf--"), (Rows{{0, 0, 200}, {0, 200, 800}, {0, 1000, 3000}}));
  // The choke: an open hi-hat stops at the next closed one on any lane, round the loop in a
  // loop; a hihat line's o is open, its x closed; choke off rings on.
  EXPECT_EQ(Laid("hihato ring=9 x---\nhihatc ring=9 --x-"), (Rows{{0, 0, 2000}, {1, 2000, 2000}}));
  EXPECT_EQ(Laid("choke off\nhihato ring=9 x---\nhihatc ring=9 --x-"),
            (Rows{{0, 0, 4000}, {1, 2000, 2000}}));
  EXPECT_EQ(Laid("hihato ring=9 --x-\nhihatc ring=9 -x--", true),
            (Rows{{0, 2000, 3000}, {1, 1000, 4000}}));
  EXPECT_EQ(Laid("hh ring=9 o---\nch ring=9 ---x"), (Rows{{0, 0, 3000}, {1, 3000, 1000}}));
  // Only a closed hat strictly after the open one chokes it, not one on the same sample.
  EXPECT_EQ(Laid("hihato ring=9 x---\nhihatc ring=9 x-x-"),
            (Rows{{0, 0, 2000}, {1, 0, 2000}, {1, 2000, 2000}}));
  // Only closed hats choke, and only open ones are choked: the kick between them neither cuts
  // the open hat nor is cut; an open hat whose ring (800) ends before the next closed one keeps it.
  EXPECT_EQ(Laid("hihato ring=9 x-------\nkick ring=9 -x------\nhihatc ring=9 ---x---x\n"
                 "hihato ring=0.1 ----x---"),
            (Rows{{0, 0, 3000}, {1, 1000, 7000}, {2, 3000, 4000}, {2, 7000, 1000},
                  {3, 4000, 800}}));
  // The draws, computed by hand: u(1, lane, j) for seeds 0 and 7, lanes 0 and 1, cells 0 and 1,
  // are -0.71873, -0.17074, -0.62733, 0.80393 and -0.55483, 0.02004, 0.10895, 0.01607; times
  // D = 800 samples (100 ms), truncated, they move the hits, round the loop.
  EXPECT_EQ(Laid("humanize 100 0\nkick ring=9 x-x-\nsnare ring=9 x-x-", true),
            (Rows{{0, 1864, 1562}, {0, 3426, 2438}, {1, 2643, 856}, {1, 3499, 3144}}));
  EXPECT_EQ(Laid("seed 7\nhumanize 100 0\nkick ring=9 x-x-\nsnare ring=9 x-x-", true),
            (Rows{{0, 2016, 1541}, {0, 3557, 2459}, {1, 87, 1925}, {1, 2012, 2075}}));
  // The chance draws u(0, 0, j) for seed 0 are -1, -0.18330, 0.63340, -0.34418: with chance 0.7
  // a ? sounds where u x 0.5 + 0.5 < 0.7, so the third stays silent.
  EXPECT_EQ(Laid("kick ring=9 chance=0.7 ????"),
            (Rows{{0, 0, 1000}, {0, 1000, 2000}, {0, 3000, 1000}}));
}

TEST(BeatCells, LevelsOfVelocitiesAccentsAndTheHumanFeel) {
  BeatOptions at8k;
  at8k.sampleRate = 8000;
  std::vector<float> levels;
  for (const Hit& hit : Hits("kick ring=9 level=0.5 19[gX]F\nac ---x", at8k)) {
    levels.push_back(hit.level);
  }
  const float a = kAccentFactor;
  EXPECT_EQ(levels, (std::vector<float>{1.0f / 9.0f * 0.5f, 9.0f / 9.0f * 0.5f, 0.35f * 0.5f,
                                        1.0f * 0.5f, 0.35f * 0.5f * a, 1.0f * 0.5f * a}));
  // The same seed gives the same track, another seed another one; humanize 0 0 and a chance of
  // 1 change nothing, a chance of 0 sounds nothing.
  const std::string groove = "humanize 8 10\nhh x?x?o?x?\nsnare ----x--x\n";
  const auto hits = [&](const std::string& text, std::optional<uint32_t> seed) {
    BeatOptions options = at8k;
    options.seed = seed;
    std::vector<std::vector<double>> all;
    for (const Hit& h : Hits(text, options)) {
      all.push_back({double(h.start), double(h.length), h.level, double(h.kind)});
    }
    return all;
  };
  EXPECT_EQ(hits(groove, 5), hits(groove, 5));
  EXPECT_NE(hits(groove, 5), hits(groove, 6));
  EXPECT_EQ(hits(groove, std::nullopt), hits("seed 0\n" + groove, std::nullopt));
  EXPECT_EQ(hits("humanize 0 0\nhh chance=1 x?x?o?x?", 9), hits("hh xxxxoxxx", std::nullopt));
  EXPECT_EQ(hits("kick chance=0 ????x", 9), hits("kick ----x", std::nullopt));
  // The level draws, computed by hand: u(2, lane, j) for seed 0 are -0.31362 and -0.62377 (lane
  // 0) and 0.60546 (lane 1); each level is times 1 + u x 0.5.
  const std::vector<Hit> felt = Hits("humanize 0 50\nkick x-x-\nsnare level=2 x---", at8k);
  ASSERT_EQ(felt.size(), 3u);
  EXPECT_NEAR(felt[0].level, 0.59023148f, 1e-6f);
  EXPECT_NEAR(felt[1].level, 0.48168217f, 1e-6f);
  EXPECT_NEAR(felt[2].level, 1.8238247f, 1e-6f);
}

TEST(SongTrack, PlaysAreCountedWithoutExpandingThem) {
  BeatOptions at8;
  at8.sampleRate = 8;  // a step is one sample at tempo 120
  // Songs of N patterns "kick x-" without a play line, each pattern played once a pass.
  const auto patterns = [](int n) {
    std::string text = "repeat 10000\n";
    for (int p = 0; p < n; ++p) text += "pattern p" + std::to_string(p) + "\nkick x-\n";
    return text;
  };
  const struct {
    std::string text;
    int64_t length;  // 0: refused
  } cases[] = {
      // 2^20 plays: the most there may be; then one more.
      {"pattern a\nkick x-\nplay (a*1024)*1024", int64_t{1} << 21},
      {"pattern a\nkick x-\nplay (a*1024)*1024 a", 0},
      {"pattern a\nkick x-\nplay ((((((((a*10000)*10000)*10000)*10000)*10000)*10000)*10000)*10000)",
       0},  // 10^32
      // The order times the repeats: 1025 x 1024 passes 2^20.
      {"repeat 1024\npattern a\nkick x-\nplay a*1025", 0},
      // Every pattern once a pass: 104 x 10000 plays fit, 105 x 10000 do not.
      {patterns(104), 2 * 104 * 10000},
      {patterns(105), 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 60));
    Beat beat;
    ASSERT_FALSE(ReadBeat(c.text, beat));
    Track track;
    const std::optional<Failure> failure =
        BeatTrack(beat, at8, MaxSamples(WavFormat::kPcm16), track);
    // Stopping at the first wrong verdict: a count gone wrong could let 10^32 plays through.
    ASSERT_EQ(failure.has_value(), c.length == 0);
    if (failure) {
      EXPECT_EQ(failure->status, kStatusNoStorage);
      EXPECT_EQ(failure->message, "The song plays too many patterns: more than 1048576.");
    } else {
      EXPECT_EQ(track.length, c.length);
    }
  }
}

// A track exactly as long as the limit is made, one sample more is refused: the segments' lengths
// add up against it, and a stereo track's frames count twice.
TEST(BeatTrack, TheLimitHoldsExactlyAcrossSegmentsAndChannels) {
  BeatOptions at8k;
  at8k.sampleRate = 8000;
  const std::string song = "pattern a\nkick x---\npattern b\ntempo 60\nkick x---\nplay a b\n";
  const struct {
    std::string text;
    int64_t limit;
    int64_t length;  // 0: refused, as longer than `most` frames
    int64_t most;
  } cases[] = {
      {"kick x---", 4000, 4000, 0},
      {"kick x---", 3999, 0, 3999},
      {song, 12000, 12000, 0},  // 4000 at 120 BPM, then 8000 at 60
      {song, 11999, 0, 11999},  // each segment alone would fit
      {"stereo\nkick x---", 8000, 4000, 0},
      {"stereo\nkick x---", 7999, 0, 3999},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text + " " + std::to_string(c.limit));
    Beat beat;
    ASSERT_FALSE(ReadBeat(c.text, beat));
    Track track;
    const std::optional<Failure> failure = BeatTrack(beat, at8k, c.limit, track);
    if (c.length == 0) {
      ASSERT_TRUE(failure);
      EXPECT_EQ(failure->status, kStatusNoStorage);
      EXPECT_EQ(failure->message, "The beat is too long for a WAV file: more than " +
                                      std::to_string(c.most) + " samples.");
    } else {
      ASSERT_FALSE(failure) << failure->message;
      EXPECT_EQ(track.length, c.length);
    }
  }
}

TEST(BeatTrack, RefusesWhatNoFileCanHoldBeforeAllocating) {
  Beat beat;
  ASSERT_FALSE(ReadBeat("tempo 1\nsteps 1\nrepeat 10000\nkick " + std::string(1000, 'x'), beat));
  Track track;
  BeatOptions options;
  options.sampleRate = 48000;
  std::optional<Failure> failure = BeatTrack(beat, options, MaxSamples(WavFormat::kPcm16), track);
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->status, kStatusNoStorage);
  EXPECT_EQ(failure->message, "The beat is too long for a WAV file: more than 2147483629 samples.");
  // Short enough, but more hits than the hit list may hold.
  options.sampleRate = 1;
  options.tempo = 999;
  ASSERT_FALSE(ReadBeat("steps 64\nrepeat 10000\nkick " + std::string(500, 'x'), beat));
  failure = BeatTrack(beat, options, MaxSamples(WavFormat::kPcm16), track);
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->message, "The beat has too many hits: more than 4194304.");
  // An overriding tempo is checked as the note-string call checks it.
  options.tempo = 0;
  failure = BeatTrack(beat, options, MaxSamples(WavFormat::kPcm16), track);
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->status, kStatusBadTempo);
}

std::vector<float> Mix(const std::string& text, int32_t rate, HeadroomOptions headroom = {},
                       std::optional<int32_t> stem = std::nullopt, BeatOptions options = {}) {
  Beat beat;
  EXPECT_FALSE(ReadBeat(text, beat));
  options.sampleRate = rate;
  Track track;
  EXPECT_FALSE(BeatTrack(beat, options, MaxSamples(WavFormat::kPcm16), track));
  std::vector<float> mix(static_cast<size_t>(track.length * track.channels));
  if (stem) {
    MixTrack(track, {rate}, mix, stem);
  } else {
    RenderTrack(track, headroom, mix, {rate});
  }
  return mix;
}

TEST(BeatMix, OneLineOfAccentsIsTheNoteStringCallsNotesButForTheFade) {
  // Quarter notes at 8000 Hz: every hit lasts 1000 samples, d = 0.125 s either way. A beat's hit
  // fades out over its last F = trunc(8000 x 0.002f) = 16 samples: sample i of them times
  // (1000 - i) / 17; every other sample is the note's.
  for (const char* kind : {"kick", "snare", "hihatc", "tom", "cowbell", "crash"}) {
    const std::vector<float> mix = Mix(std::string(kind) + " pitch=E XXXX", 8000);
    Composition plan;
    ASSERT_FALSE(PlanComposition({kind, "E E E E", 8000, 120}, 1 << 20, plan));
    std::vector<float> notes(static_cast<size_t>(plan.samples));
    RenderComposition(plan, "E E E E", {8000}, notes);
    ASSERT_EQ(mix.size(), notes.size());
    for (size_t i = 0; i < mix.size(); ++i) {
      const int64_t inHit = static_cast<int64_t>(i % 1000);
      const float g = inHit < 1000 - 16 ? 1.0f : static_cast<float>(1000 - inHit) / 17.0f;
      ASSERT_EQ(mix[i], notes[i] * g) << kind << " sample " << i;  // +0 and -0 alike
    }
  }
  // F = trunc(R x 0.002f): a 16.5-sample fade at 8250 Hz, 1.5 at 750 Hz, is 16 and 1 samples.
  const std::pair<int32_t, int32_t> fades[] = {
      {8000, 16}, {8250, 16}, {44100, 88}, {750, 1}, {499, 0}};
  for (const auto& [rate, fade] : fades) EXPECT_EQ(FadeSamples(rate), fade) << rate;
  // A hit shorter than F fades over all of it: a 10-sample hit (a step of 10 at 8000 Hz, tempo
  // 999, 48 steps a beat) is its note's samples times (10 - i) / 11, then its level.
  const std::vector<float> short_ = Mix("tempo 999\nsteps 48\nsnare x", 8000);
  ASSERT_EQ(short_.size(), 10u);
  std::vector<float> note(10);
  PlayNote(DrumKind::kSnare, {8000}, 262.0f, 10.0f / 8000.0f, 0, note);
  for (size_t i = 0; i < 10; ++i) {
    EXPECT_EQ(short_[i], note[i] * (static_cast<float>(10 - i) / 11.0f) * 0.7f) << i;
  }
}

TEST(BeatMix, LinesAddInTextOrderAndHeadroomScalesExactly) {
  const std::string kick = "kick x-X-x-g-\n";
  const std::string snare = "snare level=3 --x---X-\n";
  const HeadroomOptions raw{std::nullopt, false};
  const std::vector<float> both = Mix(kick + snare, 11025, raw);
  const std::vector<float> alone = Mix(kick, 11025, raw);
  const std::vector<float> other = Mix("kick --------\n" + snare, 11025, raw);
  ASSERT_EQ(both.size(), alone.size());
  float peak = 0;
  for (size_t i = 0; i < both.size(); ++i) {
    ASSERT_EQ(both[i], alone[i] + other[i]) << i;
    peak = std::max(peak, std::fabs(both[i]));
  }
  ASSERT_GT(peak, 1.0f);  // level 3 passes full scale
  // Normalised: every sample times 1 / peak; with a gain, the gain first.
  const std::vector<float> lowered = Mix(kick + snare, 11025);
  const std::vector<float> gained = Mix(kick + snare, 11025, {-6.0, true});
  const float g = static_cast<float>(std::pow(10.0, -6.0 / 20.0));
  float gainedPeak = 0;
  for (float x : both) gainedPeak = std::max(gainedPeak, std::fabs(x * g));
  for (size_t i = 0; i < both.size(); ++i) {
    ASSERT_EQ(lowered[i], both[i] * (1.0f / peak)) << i;
    ASSERT_EQ(gained[i], both[i] * g * (1.0f / gainedPeak)) << i;
  }
  // Without normalisation, every sample times the factor 10^(dB / 20), formed in double and
  // narrowed once (a float power would give 0.595662177 and 1.99526238).
  const std::pair<double, float> factors[] = {{-4.5, 0.595662117f}, {6.0, 1.99526227f}};
  for (const auto& [db, factor] : factors) {
    const std::vector<float> scaled = Mix(kick + snare, 11025, {db, false});
    for (size_t i = 0; i < both.size(); ++i) {
      ASSERT_EQ(scaled[i], both[i] * factor) << db << " dB, sample " << i;
    }
  }
  // The stems, with the mix's factors, add up to the mix.
  Levels levels;
  levels.normalize = 1.0f / peak;
  std::vector<float> first = Mix(kick + snare, 11025, {}, 0);
  std::vector<float> second = Mix(kick + snare, 11025, {}, 1);
  ApplyLevels(first, levels);
  ApplyLevels(second, levels);
  for (size_t i = 0; i < both.size(); ++i) {
    ASSERT_NEAR(first[i] + second[i], lowered[i], 1e-6f) << i;
  }
}

TEST(Stereo, ThePanLawAndTheKitsPlaces) {
  // a = (P + 1) x 0.78539819f; left cos(a), right sin(a), each in double, narrowed once.
  const struct {
    float position;
    uint32_t left, right;  // the floats' bits
  } law[] = {
      {-1.0f, 0x3F800000, 0x00000000},  // 1, 0: nothing at all on the right
      {-0.3f, 0x3F5A46A0, 0x3F05C277},  // 0.852640152, 0.522498548
      {0.0f, 0x3F3504F3, 0x3F3504F3},   // 0.707106769 each
      {0.5f, 0x3EC3EF15, 0x3F6C835E},   // 0.382683426, 0.923879504
      {-0.688f, 0x3F785A37, 0x3E786BEE},  // 0.970126569, 0.242599219: (P + 1) x pi/4 rounded once
      {1.0f, 0xB33BBD2E, 0x3F800000},   // -4.37113883e-08 (cos of the float nearest pi/2), 1
  };
  for (const auto& row : law) {
    SCOPED_TRACE(row.position);
    const PanGains gains = PanLaw(row.position);
    EXPECT_EQ(std::bit_cast<uint32_t>(gains.left), row.left);
    EXPECT_EQ(std::bit_cast<uint32_t>(gains.right), row.right);
  }
  // Every kind's line without pan= sits at the kit's place; a hihat line at the closed hat's.
  const std::pair<const char*, float> kit[] = {
      {"kick", 0.0f},    {"snare", 0.0f},   {"hihatc", -0.3f},  {"hihato", -0.3f},
      {"hihat", -0.3f},  {"high_tom", -0.2f}, {"mid_tom", 0.1f}, {"low_tom", 0.4f},
      {"cowbell", 0.2f}, {"clap", 0.0f},    {"ride", 0.4f},     {"crash", -0.35f},
  };
  std::string text = "stereo\n";
  for (const auto& [name, pan] : kit) text += std::string(name) + " x-o-\n";
  Beat beat;
  ASSERT_FALSE(ReadBeat(text, beat));
  Track track;
  ASSERT_FALSE(BeatTrack(beat, {}, MaxSamples(WavFormat::kPcm16), track));
  EXPECT_EQ(track.channels, 2);
  for (const Hit& hit : track.hits) {
    const float pan = kit[static_cast<size_t>(hit.stem)].second;
    EXPECT_EQ(hit.pan.left, PanLaw(pan).left) << kit[hit.stem].first;
    EXPECT_EQ(hit.pan.right, PanLaw(pan).right) << kit[hit.stem].first;
  }
}

TEST(Stereo, ChannelsTakeEachContributionTimesTheirGain) {
  const HeadroomOptions raw{std::nullopt, false};
  const std::string line = "kick x-X-x-g-\n";
  const std::vector<float> mono = Mix(line, 8000, raw);
  const struct {
    const char* text;
    float pan;
  } placed[] = {
      {"stereo\nkick x-X-x-g-\n", 0.0f},  // centred: both channels alike
      {"kick pan=-1 x-X-x-g-\n", -1.0f},   // hard left: a silent right channel
      {"kick pan=+0.5 x-X-x-g-\n", 0.5f},
  };
  for (const auto& c : placed) {
    SCOPED_TRACE(c.text);
    const std::vector<float> both = Mix(c.text, 8000, raw);
    ASSERT_EQ(both.size(), 2 * mono.size());
    const PanGains gains = PanLaw(c.pan);
    for (size_t i = 0; i < mono.size(); ++i) {
      ASSERT_EQ(both[2 * i], mono[i] * gains.left) << i;  // one line: one contribution a frame
      ASSERT_EQ(both[2 * i + 1], mono[i] * gains.right) << i;
    }
  }
  // Mono asked for: the pans are ignored and the mix is the plain one, bit for bit.
  BeatOptions mono1;
  mono1.channels = 1;
  EXPECT_EQ(Mix("stereo\nkick pan=1 x-X-x-g-\n", 8000, raw, std::nullopt, mono1), mono);
  // Any pan option asks for stereo; a line's own pan= wins over its kind's.
  BeatOptions panned;
  panned.pans[static_cast<size_t>(DrumKind::kKick)] = -1.0f;
  const std::vector<float> left = Mix(line + "kick pan=1 --x-----\n", 8000, raw, std::nullopt, panned);
  ASSERT_EQ(left.size(), 2 * mono.size());
  EXPECT_EQ(left[2 * 2 + 1], 0.0f);  // the first line's hit, hard left
  EXPECT_NE(left[2 * 2010 + 1], 0.0f);  // the second line's, from step 2 (frame 2000) on
}

TEST(Stereo, HeadroomOverBothChannelsAndStemsThatAddUp) {
  const std::string text = "snare pan=-1 level=3 x-x-\nride pan=0.6 -x-x\n";
  const std::vector<float> raw = Mix(text, 8000, {std::nullopt, false});
  float peak = 0;
  for (float x : raw) peak = std::max(peak, std::fabs(x));
  ASSERT_GT(peak, 1.0f);
  const std::vector<float> lowered = Mix(text, 8000);
  std::vector<float> sum(raw.size(), 0.0f);
  Levels levels;
  levels.normalize = 1.0f / peak;
  for (int32_t stem = 0; stem < 2; ++stem) {
    std::vector<float> part = Mix(text, 8000, {}, stem);
    ASSERT_EQ(part.size(), raw.size());
    ApplyLevels(part, levels);
    for (size_t i = 0; i < sum.size(); ++i) sum[i] = sum[i] + part[i];
  }
  for (size_t i = 0; i < raw.size(); ++i) {
    ASSERT_EQ(lowered[i], raw[i] * (1.0f / peak)) << i;  // the left's peak lowers the right too
    ASSERT_NEAR(sum[i], lowered[i], 1e-6f) << i;
  }
}

}  // namespace
}  // namespace kettorin
