// FLAC files, written through libsndfile where the build has it: the same 16- or 24-bit PCM
// samples a WAV file of the same options holds, losslessly compressed.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>

#include "wav/wav_writer.h"

namespace kettorin {

// Whether this build can write FLAC (it was built with libsndfile).
bool FlacAvailable();

// Writes a mono or stereo (interleaved) FLAC file of 16- or 24-bit samples (the WAV conversion's
// values) into a seekable stream. False when a write failed, for a float format, or without
// libsndfile.
// The info's markers and loop are WAV chunks, not written here.
bool SerializeFlac(std::FILE* out, const WavInfo& info, std::span<const float> samples);

}  // namespace kettorin
