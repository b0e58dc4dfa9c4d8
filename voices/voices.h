// The drum voices: the nine sounds, rendered sample by sample from their formulas.
#pragma once

#include <cstdint>
#include <span>

namespace kettorin {

// The excitation source a voice draws its noise from: a 32-bit seed in, a value in [-1, 1] out.
using ExcitationSource = float (*)(uint32_t seed);

// The hashed-seed noise every excitation voice uses: seed 0 gives -1.0, and every value lies in
// [-1, 1].
float NextExcitation(uint32_t seed);

// The integer hash inside NextExcitation, before the conversion to float: the three xor-shift
// and multiply steps. A beat's seeded draws chain it.
uint32_t ExcitationHash(uint32_t seed);

// The nine voices. The eleven drum kinds play them: the three toms share one voice.
enum class Voice : uint8_t {
  kKick,
  kSnare,
  kHiHatClosed,
  kHiHatOpen,
  kTom,
  kCowbell,
  kClap,
  kRide,
  kCrash,
};

// What a note is rendered with besides its frequency and duration.
struct VoiceContext {
  int32_t sampleRate = 0;                        // samples per second
  ExcitationSource excitation = NextExcitation;  // tests swap in a constant source
  bool vectorPath = true;  // several samples at a time where the processor can; same samples
  int32_t maxLanes = 8;    // the most samples at a time the vector path may take (tests pick 4)
};

// Renders samples first .. first + out.size() - 1 of one note of the voice: f is the frequency the
// voice plays (Hz; unpitched voices ignore it), d the note's duration (s). A note's samples do not
// depend on each other, so any range can be rendered on its own, in any order.
void RenderVoice(Voice voice, const VoiceContext& context, float f, float d, int32_t first,
                 std::span<float> out);

// The number of samples one note of duration d occupies at this rate: trunc(float(R) x d), or 0
// when that is below one. Values too large for any WAV file come back as they are (64-bit), so a
// caller summing notes can refuse them before allocating.
int64_t NoteSampleCount(int32_t sampleRate, float d);

// Notes appended one after another: the storage a call sizes once, up front, for exactly the
// samples its notes will produce; voices append at `count` and never past the storage.
struct SampleBuffer {
  int32_t sampleRate = 0;                        // samples per second
  std::span<float> storage;                      // lent by the call for its duration
  int32_t count = 0;                             // samples appended so far
  ExcitationSource excitation = NextExcitation;  // tests swap in a constant source
  bool vectorPath = true;
  int32_t maxLanes = 8;

  std::span<const float> Samples() const { return storage.first(static_cast<size_t>(count)); }
  VoiceContext Context() const { return {sampleRate, excitation, vectorPath, maxLanes}; }
};

// Appends one whole note of the voice: n = trunc(float(R) x d) samples, as far as the storage
// reaches.
void AppendNote(SampleBuffer& buffer, Voice voice, float f, float d);

// One note each, appended. Tonal voices take the frequency (Hz) and the duration (s); unpitched
// voices the duration.
inline void RenderKick(SampleBuffer& b, float f, float d) {
  AppendNote(b, Voice::kKick, f, d);
}
inline void RenderSnare(SampleBuffer& b, float f, float d) {
  AppendNote(b, Voice::kSnare, f, d);
}
inline void RenderHiHatClosed(SampleBuffer& b, float d) {
  AppendNote(b, Voice::kHiHatClosed, 0.0f, d);
}
inline void RenderHiHatOpen(SampleBuffer& b, float d) {
  AppendNote(b, Voice::kHiHatOpen, 0.0f, d);
}
inline void RenderTom(SampleBuffer& b, float f, float d) {
  AppendNote(b, Voice::kTom, f, d);
}
inline void RenderCowbell(SampleBuffer& b, float f, float d) {
  AppendNote(b, Voice::kCowbell, f, d);
}
inline void RenderClap(SampleBuffer& b, float d) {
  AppendNote(b, Voice::kClap, 0.0f, d);
}
inline void RenderRide(SampleBuffer& b, float d) {
  AppendNote(b, Voice::kRide, 0.0f, d);
}
inline void RenderCrash(SampleBuffer& b, float d) {
  AppendNote(b, Voice::kCrash, 0.0f, d);
}

}  // namespace kettorin
