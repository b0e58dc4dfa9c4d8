// Fuzzes rendering into memory: an arbitrary beat text and options, rendered into a buffer of an
// arbitrary capacity with an arbitrary message size. The call may refuse, but it never writes
// past either buffer (AddressSanitizer sees the exact allocations), reports the count it needs,
// and renders exactly when the buffer holds it.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "kettorin.h"

namespace {

// Whether a text's play counts stay small: at most two `*`, each with a count under 100. A song
// of a million plays takes seconds to lay out under the sanitizers, and such songs are fuzzed by
// fuzz_beat and fuzz_song within a small limit; here they would starve the fuzzer.
bool FewPlays(const std::u16string& text) {
  int stars = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != u'*') continue;
    if (++stars > 2) return false;
    size_t digit = i + 1;
    while (digit < text.size() && text[digit] == u'0') ++digit;  // leading zeros count nothing
    size_t end = digit;
    while (end < text.size() && text[end] >= u'0' && text[end] <= u'9') ++end;
    if (end - digit > 2) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 12) return 0;
  uint16_t rate, capacity, messageSize, tempo;
  uint8_t repeat, flags, gain, unused;
  std::memcpy(&rate, data, 2);
  std::memcpy(&capacity, data + 2, 2);
  std::memcpy(&messageSize, data + 4, 2);
  std::memcpy(&tempo, data + 6, 2);
  repeat = data[8];
  flags = data[9];
  gain = data[10];
  unused = data[11];
  (void)unused;
  // Short tracks: low rates, tempo near the valid range, few repeats.
  const KettorinBeatOptions options{rate % 2048 - 16, tempo % 1100, repeat % 8, flags % 8u,
                                    (gain - 128) * 1.0};
  std::u16string text;
  for (size_t i = 12; i < size; ++i) text.push_back(static_cast<char16_t>(data[i]));
  if (!FewPlays(text)) return 0;

  const auto samples = std::make_unique<float[]>(capacity);
  const auto message = std::make_unique<char[]>(messageSize % 300);
  const int32_t messageBytes = static_cast<int32_t>(messageSize % 300);
  int64_t count = -1;
  KettorinLevels levels{};
  const int32_t status = KettorinRenderBeat(text.c_str(), &options, &levels, samples.get(),
                                            capacity, &count, message.get(), messageBytes);
  if (messageBytes > 0 && std::memchr(message.get(), 0, messageBytes) == nullptr) {
    __builtin_trap();  // the message must end inside its buffer
  }
  if (status == KETTORIN_DONE && count > capacity) __builtin_trap();
  if (status == KETTORIN_BUFFER_TOO_SMALL && count <= capacity) __builtin_trap();
  if (status == KETTORIN_DONE && !(levels.normalize > 0.0f && levels.normalize <= 1.0f)) {
    __builtin_trap();  // normalising only ever lowers the mix
  }
  return 0;
}
