// The voices' entry points: each note is rendered four samples at a time where the processor
// can, and one sample at a time otherwise, with identical results.
#include <bit>

#include "voices/vector_path.h"
#include "voices/voices.h"

namespace kettorin {

#ifdef KETTORIN_VECTOR_PATH
// Asked here, in code compiled for every x86-64 processor, never in the AVX2 translation unit.
bool voice::VectorPathAvailable() { return __builtin_cpu_supports("avx2"); }
#endif

namespace {

using namespace voice;

template <class Voice>
void RenderNote(SampleBuffer& buffer, float d, const Voice& voice) {
  const std::span<float> out = AppendNote(buffer, d);
  size_t done = 0;
#ifdef KETTORIN_VECTOR_PATH
  if (buffer.vectorPath && VectorPathAvailable()) {
    for (; done + kVectorChunk <= out.size(); done += kVectorChunk) {
      const auto first = static_cast<int32_t>(done);
      // Samples whose narrowing came too close to call are computed again, one by one.
      for (uint64_t again = RenderChunk(voice, first, &out[done]); again != 0; again &= again - 1) {
        const auto k = static_cast<int32_t>(std::countr_zero(again));
        out[done + static_cast<size_t>(k)] = voice(first + k);
      }
    }
  }
#endif
  for (; done < out.size(); ++done) out[done] = voice(static_cast<int32_t>(done));
}

}  // namespace

void RenderKick(SampleBuffer& b, float f, float d) {
  RenderNote(b, d, Kick(b, f, d));
}
void RenderSnare(SampleBuffer& b, float f, float d) {
  RenderNote(b, d, Snare(b, f, d));
}
void RenderHiHatClosed(SampleBuffer& b, float d) {
  RenderNote(b, d, HiHatClosed(b, d));
}
void RenderHiHatOpen(SampleBuffer& b, float d) {
  RenderNote(b, d, HiHatOpen(b, d));
}
void RenderTom(SampleBuffer& b, float f, float d) {
  RenderNote(b, d, Tom(b, f, d));
}
void RenderCowbell(SampleBuffer& b, float f, float d) {
  RenderNote(b, d, Cowbell(b, f, d));
}
void RenderClap(SampleBuffer& b, float d) {
  RenderNote(b, d, Clap(b, d));
}
void RenderRide(SampleBuffer& b, float d) {
  RenderNote(b, d, Ride(b, d));
}
void RenderCrash(SampleBuffer& b, float d) {
  RenderNote(b, d, Crash(b, d));
}

}  // namespace kettorin
