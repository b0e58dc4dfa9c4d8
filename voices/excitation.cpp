// The excitation source: a 32-bit integer hash of the seed, scaled to [-1, 1].
#include <cstdint>

#include "voices/voices.h"

namespace kettorin {

uint32_t ExcitationHash(uint32_t seed) {
  // Avalanche: every seed bit reaches every output bit, so neighbouring seeds sound unrelated.
  uint32_t x = seed;
  x ^= x >> 16;
  x *= 0x7feb352dU;
  x ^= x >> 15;
  x *= 0x846ca68bU;
  x ^= x >> 16;
  return x;
}

float NextExcitation(uint32_t seed) {
  const uint32_t x = ExcitationHash(seed);
  // The top 24 bits are exact in single precision; centre them on zero and scale to [-1, 1].
  constexpr float kHalfRange = 8388607.5f;
  return (static_cast<float>(x >> 8) - kHalfRange) / kHalfRange;
}

}  // namespace kettorin
