// The vector path: every voice four samples at a time. Compiled for AVX2 alone; nothing here is
// reached unless the processor has it.
#include "voices/lanes_avx2.h"
#include "voices/vector_path.h"

namespace kettorin::voice {

template <class Voice>
uint64_t RenderChunk(const Voice& voice, int32_t first, float* out) {
  uint64_t suspect = 0;
  for (size_t lane = 0; lane < kVectorChunk; lane += 4) {
    const F4 samples = voice(FourSamplesFrom(first + static_cast<int32_t>(lane)));
    _mm_storeu_ps(out + lane, samples.v);
    suspect |= static_cast<uint64_t>(samples.suspect) << lane;
  }
  return suspect;
}

template uint64_t RenderChunk(const Kick&, int32_t, float*);
template uint64_t RenderChunk(const Snare&, int32_t, float*);
template uint64_t RenderChunk(const HiHatClosed&, int32_t, float*);
template uint64_t RenderChunk(const HiHatOpen&, int32_t, float*);
template uint64_t RenderChunk(const Tom&, int32_t, float*);
template uint64_t RenderChunk(const Cowbell&, int32_t, float*);
template uint64_t RenderChunk(const Clap&, int32_t, float*);
template uint64_t RenderChunk(const Ride&, int32_t, float*);
template uint64_t RenderChunk(const Crash&, int32_t, float*);

uint32_t NearFloatBoundary4(const double* x) {
  return static_cast<uint32_t>(NearFloatBoundary(_mm256_loadu_pd(x)));
}

}  // namespace kettorin::voice
