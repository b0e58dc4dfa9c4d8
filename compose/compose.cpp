// The driver of one call: validate, size the storage, report, render every note, write the file.
#include "compose/compose.h"

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace kettorin {

namespace {

constexpr int32_t kMinTempo = 1;
constexpr int32_t kMaxTempo = 999;
constexpr float kSecondsPerMinute = 60.0f;

// Sample storage for one call. Large compositions are placed on transparent huge pages where the
// system offers them: a minute of sound is ten megabytes, and faulting it in 4 KiB pages costs
// more time than rendering it.
struct FreeStorage {
  void operator()(float* p) const { std::free(p); }
};
using Storage = std::unique_ptr<float[], FreeStorage>;

Storage AllocateSamples(int64_t count) {
  // A 32-bit address space cannot hold the largest compositions a WAV file can: refuse them as
  // memory that is not there, rather than letting the byte count wrap around.
  constexpr size_t kHugePage = size_t{2} << 20;
  if (static_cast<uint64_t>(count) > (SIZE_MAX - kHugePage) / sizeof(float)) return nullptr;
  const size_t bytes = static_cast<size_t>(count) * sizeof(float);
#ifdef __linux__
  if (bytes >= kHugePage) {
    const size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    if (void* p = std::aligned_alloc(kHugePage, rounded)) {
      ::madvise(p, rounded, MADV_HUGEPAGE);  // a hint: without it the pages are just smaller
      return Storage(static_cast<float*>(p));
    }
    return nullptr;
  }
#endif
  return Storage(static_cast<float*>(std::malloc(bytes)));
}

void PrintHeader(const DrumKindInfo& drum, int32_t tempo, std::string_view notes) {
  std::printf("\n=== DRUM MUSIC COMPOSER ===\n");
  std::printf("Drum: %.*s\n", static_cast<int>(drum.displayName.size()), drum.displayName.data());
  std::printf("Tempo: %d BPM\n", tempo);
  std::printf("Notes: %.*s\n\n", static_cast<int>(notes.size()), notes.data());
}

void PrintNote(const Note& note) {
  std::printf("  %s%d (%.0f Hz, %.2f s)\n", note.name.c_str(), note.shownNumber,
              static_cast<double>(note.frequency), static_cast<double>(note.duration));
}

}  // namespace

int64_t CountSamples(std::string_view notes, float beat, int32_t sampleRate, int64_t limit) {
  int64_t total = 0;
  Note note;
  for (size_t pos = 0; ReadNote(notes, pos, beat, note);) {
    if (!IsPlayed(note)) continue;
    total += NoteSampleCount(sampleRate, note.duration);
    if (total > limit) return total;  // already too long; no need to read further
  }
  return total;
}

int32_t Compose(const ComposeRequest& request) {
  const DrumKindInfo& drum = Info(LookupDrumKind(request.drumName));

  if (request.tempo < kMinTempo || request.tempo > kMaxTempo) {
    std::fprintf(stderr, "Error: BPM must be between 1 and 999. Got: %d\n", request.tempo);
    return kStatusBadTempo;
  }
  if (request.sampleRate < 1) {
    std::fprintf(stderr, "Error: Sample rate must be at least 1. Got: %d\n", request.sampleRate);
    return kStatusBadSampleRate;
  }

  const float beat = kSecondsPerMinute / static_cast<float>(request.tempo);

  // Storage: exactly the samples the notes produce, allocated once before anything is printed.
  const int64_t limit = MaxSamples(request.format);
  const int64_t total = CountSamples(request.notes, beat, request.sampleRate, limit);
  if (total > limit) {
    std::fprintf(stderr,
                 "Error: The composition is too long for a WAV file: more than %" PRId64
                 " samples.\n",
                 limit);
    return kStatusNoStorage;
  }
  Storage storage;
  if (total > 0) {
    storage = AllocateSamples(total);
    if (!storage) {
      std::fprintf(stderr, "Error: Memory allocation failed.\n");
      return kStatusNoStorage;
    }
  }
  SampleBuffer buffer{request.sampleRate, {storage.get(), static_cast<size_t>(total)}};

  PrintHeader(drum, request.tempo, request.notes);
  Note note;
  for (size_t pos = 0; ReadNote(request.notes, pos, beat, note);) {
    if (!IsPlayed(note)) continue;
    PrintNote(note);
    drum.render(buffer, note.frequency, note.duration);
  }

  const bool written =
      WriteWavFile(request.output, buffer.sampleRate, buffer.Samples(), request.format);
  storage.reset();

  std::printf("\nDuration: %.2f seconds\n\n",
              static_cast<double>(static_cast<float>(buffer.count) /
                                  static_cast<float>(buffer.sampleRate)));
  return written ? kStatusDone : kStatusNotWritten;
}

}  // namespace kettorin
