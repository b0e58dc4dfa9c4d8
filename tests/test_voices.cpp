// The voices: note length, first samples, level bounds, pitch, determinism and the excitation.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

#include "compose/compose.h"
#include "tests/test_support.h"
#include "voices/conventions.h"
#include "voices/vector_path.h"
#include "voices/voices.h"

namespace kettorin {
namespace {

float ConstantMinusOne(uint32_t) {
  return -1.0f;
}

// Renders one note of a kind into storage sized for it, as a call would.
std::vector<float> Render(DrumKind kind, float f, float d, int32_t rate,
                          ExcitationSource excitation = NextExcitation) {
  std::vector<float> storage(static_cast<size_t>(NoteSampleCount(rate, d)));
  SampleBuffer buffer{rate, storage, 0, excitation};
  PlayNote(buffer, kind, f, d);
  EXPECT_EQ(static_cast<size_t>(buffer.count), storage.size());
  return storage;
}

float Peak(const std::vector<float>& samples) {
  float peak = 0.0f;
  for (float s : samples) peak = std::max(peak, std::fabs(s));
  return peak;
}

// Magnitude of one frequency in a signal (Goertzel).
double Magnitude(const std::vector<float>& x, double hz, double rate) {
  const double w = 2.0 * std::numbers::pi * hz / rate;
  double s1 = 0, s2 = 0;
  for (float v : x) {
    const double s0 = v + 2.0 * std::cos(w) * s1 - s2;
    s2 = s1;
    s1 = s0;
  }
  return std::sqrt(s1 * s1 + s2 * s2 - 2.0 * std::cos(w) * s1 * s2);
}

TEST(Excitation, MatchesItsReferenceValuesAndStaysInRange) {
  EXPECT_EQ(NextExcitation(0), -1.0f);
  EXPECT_FLOAT_EQ(NextExcitation(1), -0.18330188f);
  EXPECT_FLOAT_EQ(NextExcitation(2), 0.63339639f);
  EXPECT_FLOAT_EQ(NextExcitation(12345), 0.13424642f);
  float lo = 0, hi = 0;
  for (uint32_t seed = 0; seed < 1000000; seed += 7) {
    lo = std::min(lo, NextExcitation(seed * 2654435761U));
    hi = std::max(hi, NextExcitation(seed * 2654435761U));
  }
  EXPECT_GE(lo, -1.0f);
  EXPECT_LE(hi, 1.0f);
  EXPECT_LT(lo, -0.99f);  // and it uses the whole range
  EXPECT_GT(hi, 0.99f);
}

// What each voice promises at its first sample (with the excitation held at -1.0) and at most.
struct VoiceCase {
  DrumKind kind;
  float firstSample;  // with the excitation at -1.0
  float bound;        // no sample's magnitude exceeds it
  bool followsPitch;
  // First sample of a 30 ms note at 300 Hz, where a 3 ms attack is no sample at all, with the
  // excitation at -1.0 (NaN: not checked).
  float firstWithoutAttack = NAN;
};

void PrintTo(const VoiceCase& c, std::ostream* os) {
  testing_support::PrintFields(os, std::string(Info(c.kind).displayName), c.firstSample, c.bound,
                               c.followsPitch, c.firstWithoutAttack);
}

class EveryVoice : public testing::TestWithParam<VoiceCase> {};

TEST_P(EveryVoice, StartsWhereItShouldAndStaysInBounds) {
  const VoiceCase& c = GetParam();
  // Several rates and durations, each with an attack of at least one sample.
  for (int32_t rate : {8000, 44100, 96000}) {
    for (float d : {0.03f, 0.125f, 0.5f, 1.0f}) {
      const std::vector<float> held = Render(c.kind, 440.0f, d, rate, ConstantMinusOne);
      ASSERT_FALSE(held.empty());
      EXPECT_EQ(held[0], c.firstSample) << rate << " Hz, " << d << " s";
      const std::vector<float> noisy = Render(c.kind, 440.0f, d, rate);
      EXPECT_LE(Peak(held), c.bound) << rate << " Hz, " << d << " s";
      EXPECT_LE(Peak(noisy), c.bound) << rate << " Hz, " << d << " s";
    }
  }
  if (!std::isnan(c.firstWithoutAttack)) {
    EXPECT_EQ(Render(c.kind, 440.0f, 0.03f, 300, ConstantMinusOne)[0], c.firstWithoutAttack);
  }
}

TEST_P(EveryVoice, PitchMattersOnlyToTonalVoices) {
  const VoiceCase& c = GetParam();
  const std::vector<float> a = Render(c.kind, 440.0f, 0.1f, 22050);
  const std::vector<float> cNote = Render(c.kind, 262.0f, 0.1f, 22050);
  EXPECT_EQ(a != cNote, c.followsPitch);
}

TEST_P(EveryVoice, EqualNotesGiveIdenticalSamples) {
  const VoiceCase& c = GetParam();
  EXPECT_EQ(Render(c.kind, 392.0f, 0.2f, 44100), Render(c.kind, 392.0f, 0.2f, 44100));
}

INSTANTIATE_TEST_SUITE_P(
    Voices, EveryVoice,
    testing::Values(
        // The kick's release can overshoot 0.9 by a hair at the sample that ends the attack.
        VoiceCase{DrumKind::kKick, 0.0f, 0.9f * 1.002f, true},
        // Unclamped, a 1 s snare at 96 kHz would reach 0.8205.
        VoiceCase{DrumKind::kSnare, 0.0f, 0.8f, false},
        VoiceCase{DrumKind::kHiHatClosed, 0.0f, 0.6f, false},
        VoiceCase{DrumKind::kHiHatOpen, (0.0f + 0.0f - 0.5f) * 1.0f * 0.6f, 0.6f, false},
        VoiceCase{DrumKind::kHighTom, 0.0f, 0.64f, true},
        VoiceCase{DrumKind::kMidTom, 0.0f, 0.64f, true},
        VoiceCase{DrumKind::kLowTom, 0.0f, 0.64f, true},
        VoiceCase{DrumKind::kCowbell, 0.0f, 0.72f, true},
        // Held at -1, the clap's release starts above 1/0.6 and the clamp must bind.
        VoiceCase{DrumKind::kClap, 0.0f, 0.7f, false, -0.7f},
        VoiceCase{DrumKind::kRide, -0.4f * 0.6f, 0.6f, false},
        VoiceCase{DrumKind::kCrash, -0.5f * 0.6f, 0.6f, false}));

TEST(Voices, DispatchHandsEachKindItsFrequency) {
  struct Scaled {
    DrumKind kind;
    float f;  // the frequency the voice receives for note A
    void (*voice)(SampleBuffer&, float, float);
  };
  const Scaled cases[] = {{DrumKind::kHighTom, 660.0f, RenderTom},
                          {DrumKind::kMidTom, 440.0f, RenderTom},
                          {DrumKind::kLowTom, 440.0f * 0.667f, RenderTom},
                          {DrumKind::kCowbell, 880.0f, RenderCowbell},
                          {DrumKind::kKick, 440.0f, RenderKick}};
  for (const Scaled& c : cases) {
    std::vector<float> direct(4410);
    SampleBuffer buffer{44100, direct, 0, NextExcitation};
    c.voice(buffer, c.f, 0.1f);
    EXPECT_EQ(Render(c.kind, 440.0f, 0.1f, 44100), direct) << static_cast<int>(c.kind);
  }
  EXPECT_EQ(440.0f * 0.667f, 293.48f);
}

TEST(Voices, CowbellOnASoundsItsStrongestPartialAt880Hz) {
  const std::vector<float> bell = Render(DrumKind::kCowbell, 440.0f, 1.0f, 16000);
  double best = 0, bestHz = 0;
  for (double hz = 400; hz <= 4000; hz += 10) {
    const double m = Magnitude(bell, hz, 16000);
    if (m > best) best = m, bestHz = hz;
  }
  EXPECT_EQ(bestHz, 880);
}

TEST(Voices, SweptVoicesStartAtTheirNoteFrequency) {
  // Over the first 10 ms the kick on A is still near 440 Hz and the mid tom near 440 Hz too.
  for (DrumKind kind : {DrumKind::kKick, DrumKind::kMidTom}) {
    const std::vector<float> note = Render(kind, 440.0f, 0.5f, 48000);
    const std::vector<float> start(note.begin(), note.begin() + 480);
    EXPECT_GT(Magnitude(start, 440, 48000), 3 * Magnitude(start, 880, 48000));
  }
}

TEST(Voices, ShortNotesAppendNothingAndNeverOverrunTheStorage) {
  std::vector<float> storage(10, 123.0f);
  SampleBuffer buffer{1000, std::span<float>(storage).first(4), 0, NextExcitation};
  RenderSnare(buffer, 440.0f, 0.0009f);  // below one sample period
  EXPECT_EQ(buffer.count, 0);
  RenderCrash(buffer, -1.0f);  // negative durations render nothing
  EXPECT_EQ(buffer.count, 0);
  RenderCrash(buffer, 1.0f);  // 1000 samples into a storage of 4
  EXPECT_EQ(buffer.count, 4);
  EXPECT_EQ(storage[4], 123.0f);
}

TEST(Voices, WithoutAnAttackSampleTheReleaseRulesFromTheFirstSample) {
  // At 200 Hz the 3 ms attack is trunc(0.6) = 0 samples: the clap starts on its release.
  EXPECT_NE(Render(DrumKind::kClap, 440.0f, 0.5f, 200, ConstantMinusOne)[0], 0.0f);
  EXPECT_EQ(Render(DrumKind::kClap, 440.0f, 0.5f, 400, ConstantMinusOne)[0], 0.0f);
}

TEST(Voices, UnclampedTomOnTinyNotesGoesPastFullScaleAndThenInfinite) {
  // These are the samples the WAV writer must saturate.
  EXPECT_GT(Peak(Render(DrumKind::kMidTom, 440.0f, 0.06f / 32, 44100)), 1.0f);
  const std::vector<float> tiny = Render(DrumKind::kMidTom, 440.0f, 0.0001f, 10000000);
  EXPECT_TRUE(std::isnan(tiny[0]));
  EXPECT_TRUE(std::isinf(tiny[tiny.size() / 2]));
}

TEST(Conventions, TruncationSaturatesInsteadOfBeingUndefined) {
  using voice::TruncSaturated;
  EXPECT_EQ(TruncSaturated(2.9f), 2);
  EXPECT_EQ(TruncSaturated(-2.9f), -2);
  EXPECT_EQ(TruncSaturated(3e9f), INT32_MAX);
  EXPECT_EQ(TruncSaturated(-3e9f), INT32_MIN);
  EXPECT_EQ(TruncSaturated(NAN), 0);
  EXPECT_EQ(TruncSaturated(INFINITY), INT32_MAX);
}

}  // namespace
}  // namespace kettorin

namespace kettorin {
namespace {

// Every vector path the processor runs must give exactly the samples of the one-sample path, on
// a corpus of every voice at rates from 8 to 96 kHz, notes from 1.3 ms to 3 s and several pitches
// (about eleven million samples), and on minute-long swept notes whose pitch sinks below the
// normal float range and whose exp arguments pass -746.
TEST(VectorPath, EveryPathGivesTheSamplesOfTheOneSamplePath) {
#ifndef KETTORIN_VECTOR_PATH
  GTEST_SKIP() << "this build has no vector path";
#else
  std::vector<int32_t> paths;
  for (int32_t lanes : {4, 8}) {
    if (voice::VectorLanes() >= lanes) paths.push_back(lanes);
  }
  if (paths.empty()) GTEST_SKIP() << "this processor runs no vector path";
  struct Corpus {
    DrumKind kind;
    int32_t rate;
    float d;
  };
  std::vector<Corpus> corpus;
  for (const DrumKindInfo& info : kDrumKinds) {
    for (int32_t rate : {8000, 11025, 22050, 44100, 48000, 96000}) {
      for (float d : {0.0013f, 0.02f, 0.25f, 1.0f, 3.0f}) corpus.push_back({info.kind, rate, d});
    }
  }
  for (DrumKind kind : {DrumKind::kKick, DrumKind::kHighTom, DrumKind::kLowTom}) {
    corpus.push_back({kind, 22050, 60.0f});
  }
  int64_t compared = 0;
  for (const Corpus& c : corpus) {
    const float f = 262.0f + 37.0f * static_cast<float>(compared % 7);
    std::vector<float> scalar(static_cast<size_t>(NoteSampleCount(c.rate, c.d)));
    SampleBuffer one{c.rate, scalar, 0, NextExcitation, false};
    PlayNote(one, c.kind, f, c.d);
    for (int32_t lanes : paths) {
      std::vector<float> vector(scalar.size());
      SampleBuffer wide{c.rate, vector, 0, NextExcitation, true, lanes};
      PlayNote(wide, c.kind, f, c.d);
      // Bit for bit, NaN included.
      ASSERT_EQ(std::memcmp(scalar.data(), vector.data(), scalar.size() * sizeof(float)), 0)
          << Info(c.kind).displayName << " at " << c.rate << " Hz, " << c.d << " s, " << lanes
          << " lanes";
    }
    compared += static_cast<int64_t>(scalar.size());
  }
  EXPECT_GT(compared, 5000000);
#endif
}

}  // namespace
}  // namespace kettorin
