// The four-lanes-at-a-time path of the voices, for x86-64 processors with AVX2.
#pragma once

#include <cstddef>
#include <cstdint>

#include "voices/clap.h"
#include "voices/cowbell.h"
#include "voices/cymbal.h"
#include "voices/hihat.h"
#include "voices/kick.h"
#include "voices/snare.h"
#include "voices/tom.h"

namespace kettorin::voice {

// Samples rendered per call of the vector path: one bit of the returned mask each.
constexpr size_t kVectorChunk = 64;

#ifdef KETTORIN_VECTOR_PATH

// True when this processor runs the vector path.
bool VectorPathAvailable();

// Renders samples first .. first + kVectorChunk - 1 of the note into out. Returns a mask of the
// samples whose value the one-sample path must compute again (bit k for sample first + k).
// Defined, for every voice, in the translation unit compiled for AVX2.
template <class Voice>
uint64_t RenderChunk(const Voice& voice, int32_t first, float* out);

#endif

}  // namespace kettorin::voice
