// Two threads for long renderings: the ranges, the thread, failures, and samples identical to the
// one-thread rendering for compositions and mixes.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "compose/compose.h"
#include "track/split.h"
#include "track/track.h"

namespace kettorin {
namespace {

struct Range {
  int64_t begin, end;
  bool here;  // rendered on the calling thread
  bool operator==(const Range&) const = default;
};

std::vector<Range> Ranges(int64_t n, int64_t breakEven) {
  std::mutex lock;
  std::vector<Range> ranges;
  const std::thread::id caller = std::this_thread::get_id();
  RenderSplit(
      n,
      [&](int64_t begin, int64_t end) {
        const std::lock_guard<std::mutex> hold(lock);
        ranges.push_back({begin, end, std::this_thread::get_id() == caller});
      },
      breakEven);
  std::sort(ranges.begin(), ranges.end(), [](Range a, Range b) { return a.begin < b.begin; });
  return ranges;
}

TEST(RenderSplit, SplitsAtAChunkBoundaryOnlyFromTheBreakEvenOn) {
  struct Case {
    int64_t n, breakEven;
    std::vector<Range> expected;
  };
  const Case cases[] = {
      {0, 0, {{0, 0, true}}},
      {100, 1000, {{0, 100, true}}},
      {999, 1000, {{0, 999, true}}},
      {127, 0, {{0, 127, true}}},  // no whole chunk in the first half
      {128, 0, {{0, 64, true}, {64, 128, false}}},
      {1000, 1000, {{0, 448, true}, {448, 1000, false}}},
      {kSplitBreakEven, kSplitBreakEven,
       {{0, kSplitBreakEven / 2 / 64 * 64, true},
        {kSplitBreakEven / 2 / 64 * 64, kSplitBreakEven, false}}},
  };
  for (const Case& c : cases) {
    const std::vector<Range> alone = {{0, c.n, true}};
    EXPECT_EQ(Ranges(c.n, c.breakEven), kSplitHasThreads ? c.expected : alone) << c.n;
  }
}

TEST(RenderSplit, AFailureInEitherRangeIsThrownOnceBothAreDone) {
  if (!kSplitHasThreads) GTEST_SKIP() << "this build renders on one thread";
  for (int64_t failing : {int64_t{0}, int64_t{512}}) {
    std::atomic<int> finished = 0;
    EXPECT_THROW(RenderSplit(
                     1024,
                     [&](int64_t begin, int64_t) {
                       if (begin == failing) throw std::runtime_error("range failed");
                       ++finished;
                     },
                     0),
                 std::runtime_error);
    EXPECT_EQ(finished, 1) << failing;
  }
}

// Rendered with the split forced on every call and with none: the same bits.
TEST(RenderSplit, CompositionsComeOutAsOnOneThread) {
  struct Case {
    const char* drum;
    const char* notes;
    int32_t rate, tempo;
  };
  const Case cases[] = {
      {"snare", "C D E F G A B C5 R E", 22050, 100},
      {"kick", "C1 C1 R C1", 8000, 60},  // whole-note kicks, split inside a note
      {"tom", "C E G", 44100, 200},
      {"crash", "C", 96000, 30},  // one long note alone
      {"cowbell", "C", 1000, 999},  // shorter than one chunk
  };
  for (const Case& c : cases) {
    Composition plan;
    ASSERT_FALSE(PlanComposition({c.drum, c.notes, c.rate, c.tempo}, 1 << 24, plan));
    std::vector<float> one(static_cast<size_t>(plan.samples), 7.0f);
    std::vector<float> two(one.size(), -7.0f);
    RenderComposition(plan, c.notes, {c.rate}, one, INT64_MAX);
    RenderComposition(plan, c.notes, {c.rate}, two, 0);
    ASSERT_EQ(std::memcmp(one.data(), two.data(), one.size() * sizeof(float)), 0) << c.drum;
  }
}

TEST(RenderSplit, MixesComeOutAsOnOneThread) {
  // Overlapping hits of several kinds and levels, repeated sounds, a hit past the end and, on the
  // looping track, hits that come round to its start.
  for (bool wrap : {false, true}) {
    Track track{8000, 20000, wrap, {DrumKind::kKick, DrumKind::kSnare}, {}, {}, 0};
    for (int k = 0; k < 12; ++k) {
      const auto kind = k % 3 == 0 ? DrumKind::kSnare : DrumKind::kKick;
      track.hits.push_back(MakeHit(kind, 1700 * k, 2500 + 1000 * (k % 2), 8000,
                                   220.0f + 110.0f * static_cast<float>(k % 4),
                                   0.3f + 0.1f * static_cast<float>(k % 5), k % 3 == 0 ? 1 : 0));
    }
    track.hits.push_back(MakeHit(DrumKind::kCrash, 19000, 4000, 8000, 0.0f, 0.5f, 1));
    for (std::optional<int32_t> stem : {std::optional<int32_t>{}, std::optional<int32_t>{1}}) {
      std::vector<float> one(20000, 0.0f);
      std::vector<float> two(20000, 0.0f);
      MixTrack(track, {8000}, one, stem, INT64_MAX);
      MixTrack(track, {8000}, two, stem, 0);
      ASSERT_EQ(std::memcmp(one.data(), two.data(), one.size() * sizeof(float)), 0)
          << "wrap " << wrap << ", stem " << stem.has_value();
    }
  }
}

}  // namespace
}  // namespace kettorin
