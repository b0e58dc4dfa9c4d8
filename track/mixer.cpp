// The mixer: every hit's voice samples, times its level, added where the hit falls.
#include <algorithm>
#include <bit>
#include <cmath>
#include <map>
#include <tuple>
#include <vector>

#include "track/split.h"
#include "track/track.h"

namespace kettorin {

namespace {

// Hits with the same kind, voice frequency, length and duration sound the same: one rendering
// serves them all. Unpitched kinds sound the same at every frequency.
using SoundKey = std::tuple<DrumKind, uint32_t, int32_t, uint32_t>;

SoundKey KeyOf(const Hit& hit) {
  const float f = Info(hit.kind).followsPitch ? VoiceFrequency(hit.kind, hit.frequency) : 0.0f;
  return {hit.kind, std::bit_cast<uint32_t>(f), hit.length, std::bit_cast<uint32_t>(hit.duration)};
}

struct Sound {
  int32_t usesLeft = 0;
  std::vector<float> samples;  // rendered at its first use, released after its last
};

// The clean ending: sample i of the last F = min(n, fade) is multiplied by float(n - i) /
// float(F + 1), so the hit reaches zero in a ramp rather than stopping with a step.
void FadeOut(std::span<float> sound, int32_t fade) {
  const auto n = static_cast<int64_t>(sound.size());
  const int64_t f = std::min<int64_t>(n, fade);
  for (int64_t i = n - f; i < n; ++i) {
    const float g = static_cast<float>(n - i) / static_cast<float>(f + 1);
    sound[static_cast<size_t>(i)] = sound[static_cast<size_t>(i)] * g;
  }
}

void Render(const Hit& hit, const VoiceContext& context, int32_t fade,
            std::vector<float>& samples) {
  samples.resize(static_cast<size_t>(hit.length));
  PlayNote(hit.kind, context, hit.frequency, hit.duration, 0, samples);
  FadeOut(samples, fade);
}

// The hit's samples added at frames at + i that lie in [begin, stop): mono mix[at + i] + sound[i]
// x level; stereo, with c = sound[i] x level, c x left into the frame's left sample and c x right
// into its right.
void AddWithin(std::span<float> mix, int32_t channels, int64_t begin, int64_t stop, int64_t at,
               std::span<const float> sound, const Hit& hit) {
  const int64_t from = std::max(begin, at);
  const int64_t to = std::min(stop, at + static_cast<int64_t>(sound.size()));
  if (from >= to) return;
  const float* in = sound.data() + (from - at);
  const float level = hit.level;
  if (channels == 1) {
    float* out = mix.data() + from;
    for (int64_t j = 0; j < to - from; ++j) out[j] = out[j] + in[j] * level;
    return;
  }
  const float left = hit.pan.left;
  const float right = hit.pan.right;
  float* out = mix.data() + 2 * from;
  for (int64_t j = 0; j < to - from; ++j) {
    const float c = in[j] * level;
    out[2 * j] = out[2 * j] + c * left;
    out[2 * j + 1] = out[2 * j + 1] + c * right;
  }
}

// Every frame of the hit that falls inside the mix's `frames`, and in a loop whatever reaches
// past the end, come round to the start.
void AddHit(std::span<float> mix, int32_t channels, int64_t frames, bool wrap, int64_t begin,
            int64_t stop, std::span<const float> sound, const Hit& hit) {
  AddWithin(mix, channels, begin, std::min(stop, frames), hit.start, sound, hit);
  if (wrap && hit.start + hit.length > frames && hit.start < frames) {
    AddWithin(mix, channels, begin, std::min(stop, frames), hit.start - frames, sound, hit);
  }
}

// Sounds are rendered all at once, before the adds, while they take at most the mix's own length
// or this many samples; beyond that, one at a time, each released after its last use.
constexpr int64_t kSoundsHeldTogether = int64_t{1} << 22;

template <class Wanted>
void MixSoundBySound(const Track& track, const VoiceContext& context, std::span<float> mix,
                     const Wanted& wanted) {
  std::map<SoundKey, Sound> sounds;
  for (const Hit& hit : track.hits) {
    if (wanted(hit)) ++sounds[KeyOf(hit)].usesLeft;
  }
  std::vector<float> once;  // a sound heard only once is rendered here and not kept
  const auto frames = static_cast<int64_t>(mix.size()) / track.channels;
  for (const Hit& hit : track.hits) {
    if (!wanted(hit)) continue;
    Sound& sound = sounds[KeyOf(hit)];
    std::vector<float>* samples = &once;
    if (sound.usesLeft > 1 || !sound.samples.empty()) samples = &sound.samples;
    if (samples->empty() || samples == &once) Render(hit, context, track.fade, *samples);

    AddHit(mix, track.channels, frames, track.wrap, 0, frames, *samples, hit);
    if (--sound.usesLeft == 0) std::vector<float>().swap(sound.samples);
  }
}

}  // namespace

Hit MakeHit(DrumKind kind, int64_t start, int32_t n, int32_t sampleRate, float frequency,
            float level, int32_t stem) {
  return {kind,  start, n, frequency, static_cast<float>(n) / static_cast<float>(sampleRate),
          level, stem, {}};
}

void MixTrack(const Track& track, const VoiceContext& context, std::span<float> mix,
              std::optional<int32_t> stem, int64_t splitBreakEven) {
  auto wanted = [&](const Hit& hit) {
    return hit.length > 0 && hit.start >= 0 && (!stem || hit.stem == *stem);
  };
  // The distinct sounds in the order of their first use, laid end to end.
  struct Distinct {
    const Hit* hit;  // its first use
    int64_t at;      // where its samples begin among all the sounds'
  };
  std::map<SoundKey, int64_t> soundAt;
  std::vector<Distinct> distinct;
  int64_t total = 0;
  std::vector<int64_t> hitSoundAt(track.hits.size());  // each wanted hit's sound
  for (size_t h = 0; h < track.hits.size(); ++h) {
    const Hit& hit = track.hits[h];
    if (!wanted(hit)) continue;
    const auto [it, first] = soundAt.try_emplace(KeyOf(hit), total);
    if (first) {
      distinct.push_back({&hit, total});
      total += hit.length;
    }
    hitSoundAt[h] = it->second;
  }
  const auto end = static_cast<int64_t>(mix.size()) / track.channels;
  if (total > std::max(end, kSoundsHeldTogether)) {
    return MixSoundBySound(track, context, mix, wanted);
  }
  std::vector<float> sounds(static_cast<size_t>(total));
  RenderSplit(
      total,
      [&](int64_t begin, int64_t stop) {
        auto it = std::upper_bound(distinct.begin(), distinct.end(), begin,
                                   [](int64_t x, const Distinct& d) {
                                     return x < d.at + d.hit->length;
                                   });
        for (; it != distinct.end() && it->at < stop; ++it) {
          const Hit& hit = *it->hit;
          const int64_t from = std::max(begin, it->at);
          const int64_t to = std::min(stop, it->at + hit.length);
          PlayNote(hit.kind, context, hit.frequency, hit.duration,
                   static_cast<int32_t>(from - it->at),
                   std::span(sounds).subspan(static_cast<size_t>(from),
                                             static_cast<size_t>(to - from)));
        }
      },
      splitBreakEven);
  if (track.fade > 0) {
    for (const Distinct& d : distinct) {
      FadeOut(std::span(sounds).subspan(static_cast<size_t>(d.at),
                                        static_cast<size_t>(d.hit->length)),
              track.fade);
    }
  }
  // Every hit's adds in the track's order, each half of the mix on its own: a sample receives the
  // same additions in the same order either way.
  RenderSplit(
      end,
      [&](int64_t begin, int64_t stop) {
        for (size_t h = 0; h < track.hits.size(); ++h) {
          const Hit& hit = track.hits[h];
          if (!wanted(hit)) continue;
          const std::span<const float> sound = std::span<const float>(sounds).subspan(
              static_cast<size_t>(hitSoundAt[h]), static_cast<size_t>(hit.length));
          AddHit(mix, track.channels, end, track.wrap, begin, stop, sound, hit);
        }
      },
      splitBreakEven);
}

Levels ApplyHeadroom(std::span<float> mix, const HeadroomOptions& options) {
  Levels levels;
  if (options.gainDb) {
    // The factor is formed in double precision and narrowed once.
    levels.gain = static_cast<float>(std::pow(10.0, *options.gainDb / 20.0));
    for (float& x : mix) x = x * *levels.gain;
  }
  for (float x : mix) levels.peak = std::max(levels.peak, std::fabs(x));  // NaN never wins
  if (options.normalize && levels.peak > 1.0f) {
    levels.normalize = 1.0f / levels.peak;
    for (float& x : mix) x = x * *levels.normalize;
  }
  return levels;
}

void ApplyLevels(std::span<float> samples, const Levels& levels) {
  if (levels.gain) {
    for (float& x : samples) x = x * *levels.gain;
  }
  if (levels.normalize) {
    for (float& x : samples) x = x * *levels.normalize;
  }
}

}  // namespace kettorin
