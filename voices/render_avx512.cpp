// The eight-lane vector path: every voice eight samples at a time. Compiled for AVX-512 (F, DQ,
// VL) alone; nothing here is reached unless the processor has it.
#include "voices/lanes_avx512.h"
#include "voices/vector_path.h"

namespace kettorin::voice {

template <class Voice>
uint64_t RenderChunk8(const Voice& voice, int32_t first, float* out) {
  uint64_t suspect = 0;
  for (size_t lane = 0; lane < kVectorChunk; lane += 8) {
    const F8 samples = voice(EightSamplesFrom(first + static_cast<int32_t>(lane)));
    _mm256_storeu_ps(out + lane, samples.v);
    suspect |= static_cast<uint64_t>(samples.suspect) << lane;
  }
  return suspect;
}

template uint64_t RenderChunk8(const Kick&, int32_t, float*);
template uint64_t RenderChunk8(const Snare&, int32_t, float*);
template uint64_t RenderChunk8(const HiHatClosed&, int32_t, float*);
template uint64_t RenderChunk8(const HiHatOpen&, int32_t, float*);
template uint64_t RenderChunk8(const Tom&, int32_t, float*);
template uint64_t RenderChunk8(const Cowbell&, int32_t, float*);
template uint64_t RenderChunk8(const Clap&, int32_t, float*);
template uint64_t RenderChunk8(const Ride&, int32_t, float*);
template uint64_t RenderChunk8(const Crash&, int32_t, float*);

uint32_t NearFloatBoundary8(const double* x) {
  return NearFloatBoundary(_mm512_loadu_pd(x));
}

}  // namespace kettorin::voice
