// The length of a note in samples, shared by the call that sizes the storage and the voices.
#include <cstdint>

#include "voices/voices.h"

namespace kettorin {

int64_t NoteSampleCount(int32_t sampleRate, float d) {
  const float n = static_cast<float>(sampleRate) * d;
  if (!(n >= 1.0f)) return 0;  // below one sample, negative or NaN: the note appends nothing
  // Far beyond any WAV file; capped so the conversion below is always defined.
  constexpr float kBeyondAnyFile = 1.0e18f;
  if (n >= kBeyondAnyFile) return static_cast<int64_t>(kBeyondAnyFile);
  return static_cast<int64_t>(n);
}

}  // namespace kettorin
