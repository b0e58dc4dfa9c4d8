// The drum voices: the sample buffer a call lends them, and one renderer per drum sound.
#pragma once

#include <cstdint>
#include <span>

namespace kettorin {

// The excitation source a voice draws its noise from: a 32-bit seed in, a value in [-1, 1] out.
using ExcitationSource = float (*)(uint32_t seed);

// The hashed-seed noise every excitation voice uses: seed 0 gives -1.0, and every value lies in
// [-1, 1].
float NextExcitation(uint32_t seed);

// The output of one composition. The call that owns it sizes `storage` once, up front, for exactly
// the samples its notes will produce; voices append at `count` and never past the storage.
struct SampleBuffer {
  int32_t sampleRate = 0;                        // samples per second
  std::span<float> storage;                      // lent by the call for its duration
  int32_t count = 0;                             // samples appended so far
  ExcitationSource excitation = NextExcitation;  // tests swap in a constant source
  bool vectorPath =
      true;  // four samples at a time where the processor can; same samples either way

  std::span<const float> Samples() const { return storage.first(static_cast<size_t>(count)); }
};

// Tonal voices take the note frequency (Hz) and the duration (s); unpitched voices the duration.
void RenderKick(SampleBuffer& buffer, float f, float d);
void RenderSnare(SampleBuffer& buffer, float f, float d);
void RenderHiHatClosed(SampleBuffer& buffer, float d);
void RenderHiHatOpen(SampleBuffer& buffer, float d);
void RenderTom(SampleBuffer& buffer, float f, float d);
void RenderCowbell(SampleBuffer& buffer, float f, float d);
void RenderClap(SampleBuffer& buffer, float d);
void RenderRide(SampleBuffer& buffer, float d);
void RenderCrash(SampleBuffer& buffer, float d);

// The number of samples one note of duration d occupies at this rate: trunc(float(R) x d), or 0
// when that is below one. Values too large for any WAV file come back as they are (64-bit), so a
// caller summing notes can refuse them before allocating.
int64_t NoteSampleCount(int32_t sampleRate, float d);

}  // namespace kettorin
