// A drum track as timed hits, and the mixer that renders any list of them. The beat reader and
// the MIDI reader both produce hits; the mixer knows nothing of grids, files or WAV.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "track/drum_kinds.h"
#include "track/lengths.h"
#include "track/limits.h"
#include "track/pan.h"
#include "track/split.h"
#include "voices/voices.h"

namespace kettorin {

// One drum hit: `length` samples of the kind's voice, from sample `start` of the track on, each
// multiplied by `level` and added to the mix.
struct Hit {
  DrumKind kind = DrumKind::kKick;
  int64_t start = 0;    // the hit's first sample in the track
  int32_t length = 0;   // n: how many samples it sounds (0: silent)
  float frequency = 0;  // the note frequency in Hz, before the kind's pitch ratio
  float duration = 0;   // d = float(n) / float(R): the voice's envelopes stretch to it
  float level = 0;      // every voice sample is multiplied by it
  int32_t stem = 0;     // the stem it belongs to: a drum line, or a kind
  PanGains pan;         // in a stereo track, each channel's share of every contribution
};

// A hit of n samples, with the duration its voice is given: float(n) / float(R).
Hit MakeHit(DrumKind kind, int64_t start, int32_t n, int32_t sampleRate, float frequency,
            float level, int32_t stem);

struct Track {
  int32_t sampleRate = 0;
  int64_t length = 0;     // E: samples in the track
  bool wrap = false;      // samples at or past E land at (position - E): a seamless loop
  std::vector<DrumKind> stemKinds;  // stem s holds hits of kind stemKinds[s]
  std::vector<Hit> hits;  // in the order their samples are added
  std::vector<bool> hihatStems;     // per stem (none for MIDI): a beat's hihat lane, open and closed
  int32_t fade = 0;       // each hit's last min(n, fade) samples fade out (0: none)
  int32_t channels = 1;   // 2: the mix is stereo, left and right interleaved
};

// Adds every hit's samples into mix (track.length samples, zeros to begin with), hit by hit in
// the track's order, each contribution with one float addition: voice sample x level, where a
// hit of n samples has its sample i of its last F = min(n, track.fade) first multiplied by
// float(n - i) / float(F + 1). A stereo mix holds track.length frames, left then right: the
// contribution c = voice sample x level adds c x pan.left to the left and c x pan.right to the
// right, each one float product and one float addition. Samples
// that fall past the end are dropped, or wrap round when the track does. With `stem`, only that
// stem's hits. Each distinct sound (kind, frequency, length) is rendered once. From
// splitBreakEven samples on, two threads share the rendering of the sounds and the adds.
void MixTrack(const Track& track, const VoiceContext& context, std::span<float> mix,
              std::optional<int32_t> stem = std::nullopt,
              int64_t splitBreakEven = kSplitBreakEven);

// What is done to the mix after the hits are added, so that it fits full scale.
struct HeadroomOptions {
  std::optional<double> gainDb;  // every sample times float(10^(dB / 20)) first
  bool normalize = true;         // then, if the peak exceeds 1, every sample times 1 / peak
};

// The factors the mix was multiplied by, in order; stems are given the same.
struct Levels {
  std::optional<float> gain;       // from gainDb
  float peak = 0;                  // the largest magnitude after the gain
  std::optional<float> normalize;  // 1 / peak, when the peak exceeded 1
};

// Applies the gain and the normalisation to the mix and says what they were.
Levels ApplyHeadroom(std::span<float> mix, const HeadroomOptions& options);

// Applies the factors a mix was given to one of its stems, in the same order.
void ApplyLevels(std::span<float> samples, const Levels& levels);

}  // namespace kettorin
