// The vector path: every voice four samples at a time. Compiled for AVX2 alone; nothing here is
// reached unless the processor has it.
#include "voices/lanes_avx2.h"
#include "voices/vector_path.h"

namespace kettorin::voice {

namespace {

template <class Voice>
uint64_t RenderFours(const Voice& voice, int32_t first, float* out) {
  uint64_t suspect = 0;
  for (size_t lane = 0; lane < kVectorChunk; lane += 4) {
    const F4 samples = voice(FourSamplesFrom(first + static_cast<int32_t>(lane)));
    _mm_storeu_ps(out + lane, samples.v);
    suspect |= static_cast<uint64_t>(samples.suspect) << lane;
  }
  return suspect;
}

}  // namespace

bool VectorPathAvailable() {
  return __builtin_cpu_supports("avx2");
}

uint64_t RenderChunk(const Kick& v, int32_t first, float* out) {
  return RenderFours(v, first, out);
}
uint64_t RenderChunk(const Snare& v, int32_t first, float* out) {
  return RenderFours(v, first, out);
}
uint64_t RenderChunk(const HiHatClosed& v, int32_t first, float* out) {
  return RenderFours(v, first, out);
}
uint64_t RenderChunk(const HiHatOpen& v, int32_t first, float* out) {
  return RenderFours(v, first, out);
}
uint64_t RenderChunk(const Tom& v, int32_t first, float* out) {
  return RenderFours(v, first, out);
}
uint64_t RenderChunk(const Cowbell& v, int32_t first, float* out) {
  return RenderFours(v, first, out);
}
uint64_t RenderChunk(const Clap& v, int32_t first, float* out) {
  return RenderFours(v, first, out);
}
uint64_t RenderChunk(const Ride& v, int32_t first, float* out) {
  return RenderFours(v, first, out);
}
uint64_t RenderChunk(const Crash& v, int32_t first, float* out) {
  return RenderFours(v, first, out);
}

}  // namespace kettorin::voice
