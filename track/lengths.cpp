// The cut rule: each hit rings until the next hit of its lane, at most its ring.
#include "track/lengths.h"

#include <algorithm>
#include <climits>
#include <limits>

namespace kettorin {

int32_t HitLength(int64_t gap, int32_t sampleRate, float ringSeconds) {
  const float ring = static_cast<float>(sampleRate) * ringSeconds;
  // Rings are at most a minute, so the product fits easily; NaN or less than a sample is none.
  const int64_t ringSamples = ring >= 1.0f ? static_cast<int64_t>(std::min(ring, 4.0e9f)) : 0;
  return static_cast<int32_t>(std::clamp<int64_t>(std::min(gap, ringSamples), 0, INT32_MAX));
}

namespace {

// An open hi-hat stops where the next closed hi-hat starts, strictly after its own start; in a
// loop, past the last one, where the first comes round again.
void Choke(std::span<const Onset> onsets, const LaneEnd& laneEnd, std::vector<int32_t>& lengths) {
  std::vector<int64_t> closed;
  for (const Onset& onset : onsets) {
    if (onset.hihat == Onset::HiHat::kClosed) closed.push_back(onset.start);
  }
  if (closed.empty()) return;
  std::sort(closed.begin(), closed.end());
  for (size_t i = 0; i < onsets.size(); ++i) {
    if (onsets[i].hihat != Onset::HiHat::kOpen) continue;
    const int64_t start = onsets[i].start;
    const auto next = std::upper_bound(closed.begin(), closed.end(), start);
    int64_t stop = 0;
    if (next != closed.end()) {
      stop = *next;
    } else if (laneEnd.wrap && laneEnd.end) {
      stop = *laneEnd.end + closed.front();
    } else {
      continue;
    }
    lengths[i] = static_cast<int32_t>(std::min<int64_t>(lengths[i], stop - start));
  }
}

}  // namespace

int32_t FadeSamples(int32_t sampleRate) {
  // At most 0.002 x 2^31 samples: the product is far inside int32.
  return static_cast<int32_t>(static_cast<float>(sampleRate) * 0.002f);
}

std::vector<int32_t> CutLengths(std::span<const Onset> onsets, int32_t sampleRate,
                                const LaneEnd& laneEnd) {
  constexpr size_t kNone = std::numeric_limits<size_t>::max();
  std::vector<int32_t> lengths(onsets.size(), 0);
  std::vector<size_t> last;    // per lane: its latest onset so far
  std::vector<int64_t> first;  // per lane: where its first onset starts
  for (size_t i = 0; i < onsets.size(); ++i) {
    const Onset& onset = onsets[i];
    const auto lane = static_cast<size_t>(onset.lane);
    if (lane >= last.size()) {
      last.resize(lane + 1, kNone);
      first.resize(lane + 1, 0);
    }
    if (last[lane] == kNone) {
      first[lane] = onset.start;
    } else {
      const Onset& before = onsets[last[lane]];
      lengths[last[lane]] = HitLength(onset.start - before.start, sampleRate, before.ring);
    }
    last[lane] = i;
  }
  for (size_t lane = 0; lane < last.size(); ++lane) {
    if (last[lane] == kNone) continue;
    const Onset& onset = onsets[last[lane]];
    int64_t gap = std::numeric_limits<int64_t>::max();
    if (laneEnd.end) gap = *laneEnd.end - onset.start + (laneEnd.wrap ? first[lane] : 0);
    lengths[last[lane]] = HitLength(gap, sampleRate, onset.ring);
  }
  if (laneEnd.end && !laneEnd.wrap) {
    for (size_t i = 0; i < onsets.size(); ++i) {
      const int64_t room = std::max<int64_t>(*laneEnd.end - onsets[i].start, 0);
      lengths[i] = static_cast<int32_t>(std::min<int64_t>(lengths[i], room));
    }
  }
  if (laneEnd.choke) Choke(onsets, laneEnd, lengths);
  return lengths;
}

}  // namespace kettorin
