// Fuzzes the note reader: any bytes, any beat. Every read must make progress and stay in bounds,
// and the sample count must equal what the notes render into storage of exactly that size.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "compose/compose.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kettorin;
  if (size < 2) return 0;
  const int32_t tempo = 1 + data[0] * 4;  // 1 to 1021: past the range too
  const int32_t rate = 1 + data[1] * 16;  // up to 4081 Hz keeps each input fast
  const std::string_view notes(reinterpret_cast<const char*>(data + 2), size - 2);
  const float beat = 60.0f / static_cast<float>(tempo);

  size_t pos = 0, last = 0;
  Note note;
  while (ReadNote(notes, pos, beat, note)) {
    if (pos <= last && last != 0) __builtin_trap();  // no progress
    if (pos > notes.size()) __builtin_trap();
    last = pos;
  }

  // Renders of up to 2^14 samples: past that the voices run the same code for longer, and the
  // fuzzer's time is better spent on more inputs.
  constexpr int64_t kLimit = int64_t{1} << 14;
  const int64_t total = CountSamples(notes, beat, rate, kLimit);
  if (total > kLimit) return 0;
  std::vector<float> storage(static_cast<size_t>(total));
  SampleBuffer buffer{rate, storage, 0, NextExcitation};
  for (pos = 0; ReadNote(notes, pos, beat, note);) {
    if (IsPlayed(note))
      PlayNote(buffer, static_cast<DrumKind>(data[0] % 11), note.frequency, note.duration);
  }
  if (buffer.count != total) __builtin_trap();
  return 0;
}
