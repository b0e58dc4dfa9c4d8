// The block conversion to 16-bit PCM against the one conversion, over every one of the 2^32 float
// bit patterns, bytes compared as explicitly little-endian values. A few seconds optimised: a long
// test, outside the quick run.
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <vector>

#include "wav/wav_writer.h"

int main() {
  constexpr uint32_t kBlock = 1u << 16;
  std::vector<float> samples(kBlock);
  std::vector<uint8_t> bytes(2 * kBlock);
  uint64_t mismatches = 0;
  for (uint64_t base = 0; base < (uint64_t{1} << 32); base += kBlock) {
    for (uint32_t k = 0; k < kBlock; ++k) {
      const auto bits = static_cast<uint32_t>(base + k);
      std::memcpy(&samples[k], &bits, sizeof bits);
    }
    kettorin::ToPcm16Le(samples, bytes.data());
    for (uint32_t k = 0; k < kBlock; ++k) {
      const auto expected = static_cast<uint16_t>(kettorin::ToPcm16(samples[k]));
      const auto stored = static_cast<uint16_t>(bytes[2 * k] | bytes[2 * k + 1] << 8);
      if (stored != expected && mismatches++ < 10) {
        std::printf("float bits 0x%08" PRIx64 ": stored %u, expected %u\n", base + k, stored,
                    expected);
      }
    }
  }
  std::printf("%" PRIu64 " of 2^32 float bit patterns converted differently\n", mismatches);
  return mismatches == 0 ? 0 : 1;
}
