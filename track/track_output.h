// A track rendered into memory, or into its WAV file and stems with the tail of a call's report.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "track/sample_storage.h"
#include "track/status.h"
#include "track/track.h"
#include "wav/wav_writer.h"

namespace kettorin {

// Mixes the track into out (track.length samples) and applies the headroom.
Levels RenderTrack(const Track& track, const HeadroomOptions& headroom, std::span<float> out,
                   const VoiceContext& context);

// Where a rendered track goes.
struct TrackOutput {
  WavOutput mix;
  bool stems = false;  // also one file per stem, named by StemPath
  HeadroomOptions headroom;
};

// The file of one stem, beside the mix and named after it and the kind's first key:
// groove.wav -> groove.kick.wav; the second stem of a kind groove.kick.2.wav.
OutputPath StemPath(const OutputPath& mix, DrumKind kind, int32_t ordinal);

// Storage for a track's mix, and for one stem at a time when stems are written.
struct TrackStorage {
  SampleStorage mix;
  SampleStorage stem;
};

// Allocates it up front, before anything is printed; nothing when the memory is not there.
std::optional<TrackStorage> AllocateTrack(const Track& track, bool stems);

// Renders the track into the storage and writes the mix, then each stem with the mix's level
// factors. Prints the rest of the report on output.mix.report: the level change, the created
// lines and the duration. Returns the call's status.
int32_t WriteTrack(const Track& track, TrackStorage& storage, const TrackOutput& output);

}  // namespace kettorin
