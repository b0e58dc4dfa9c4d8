// The voices' entry points: each note is rendered several samples at a time where the processor
// can, and one sample at a time otherwise, with identical results.
#include <algorithm>
#include <bit>

#include "voices/vector_path.h"
#include "voices/voices.h"

namespace kettorin {

#ifdef KETTORIN_VECTOR_PATH
// Asked here, in code compiled for every x86-64 processor, never in a vector translation unit.
int32_t voice::VectorLanes() {
#ifdef KETTORIN_VECTOR_PATH_AVX512
  if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
      __builtin_cpu_supports("avx512vl")) {
    return 8;
  }
#endif
  return __builtin_cpu_supports("avx2") ? 4 : 1;
}
#endif

namespace {

using namespace voice;

template <class Voice>
using ChunkRenderer = uint64_t (*)(const Voice&, int32_t, float*);

// The widest vector path the processor runs within the context's limit; null for none.
template <class Voice>
ChunkRenderer<Voice> ChooseChunkRenderer([[maybe_unused]] const VoiceContext& c) {
#ifdef KETTORIN_VECTOR_PATH
  if (!c.vectorPath) return nullptr;
  const int32_t lanes = std::min(c.maxLanes, VectorLanes());
#ifdef KETTORIN_VECTOR_PATH_AVX512
  if (lanes >= 8) return RenderChunk8<Voice>;
#endif
  if (lanes >= 4) return RenderChunk<Voice>;
#endif
  return nullptr;
}

// Samples first .. first + out.size() - 1 of the note the voice describes.
template <class Voice>
void RenderSamples(const Voice& voice, const VoiceContext& c, int32_t first,
                   std::span<float> out) {
  size_t done = 0;
  if (const ChunkRenderer<Voice> chunk = ChooseChunkRenderer<Voice>(c)) {
    for (; done + kVectorChunk <= out.size(); done += kVectorChunk) {
      const auto chunkFirst = first + static_cast<int32_t>(done);
      // Samples whose narrowing came too close to call are computed again, one by one.
      for (uint64_t again = chunk(voice, chunkFirst, &out[done]); again != 0; again &= again - 1) {
        const auto k = static_cast<int32_t>(std::countr_zero(again));
        out[done + static_cast<size_t>(k)] = voice(chunkFirst + k);
      }
    }
  }
  for (; done < out.size(); ++done) out[done] = voice(first + static_cast<int32_t>(done));
}

}  // namespace

void RenderVoice(Voice v, const VoiceContext& c, float f, float d, int32_t first,
                 std::span<float> out) {
  switch (v) {
    case Voice::kKick:
      return RenderSamples(Kick(c, f, d), c, first, out);
    case Voice::kSnare:
      return RenderSamples(Snare(c, f, d), c, first, out);
    case Voice::kHiHatClosed:
      return RenderSamples(HiHatClosed(c, d), c, first, out);
    case Voice::kHiHatOpen:
      return RenderSamples(HiHatOpen(c, d), c, first, out);
    case Voice::kTom:
      return RenderSamples(Tom(c, f, d), c, first, out);
    case Voice::kCowbell:
      return RenderSamples(Cowbell(c, f, d), c, first, out);
    case Voice::kClap:
      return RenderSamples(Clap(c, d), c, first, out);
    case Voice::kRide:
      return RenderSamples(Ride(c, d), c, first, out);
    case Voice::kCrash:
      return RenderSamples(Crash(c, d), c, first, out);
  }
}

void AppendNote(SampleBuffer& buffer, Voice voice, float f, float d) {
  const int64_t free = static_cast<int64_t>(buffer.storage.size()) - buffer.count;
  const int64_t n = std::min(NoteSampleCount(buffer.sampleRate, d), std::max<int64_t>(free, 0));
  if (n <= 0) return;
  const std::span<float> slots =
      buffer.storage.subspan(static_cast<size_t>(buffer.count), static_cast<size_t>(n));
  buffer.count += static_cast<int32_t>(n);
  RenderVoice(voice, buffer.Context(), f, d, 0, slots);
}

}  // namespace kettorin
