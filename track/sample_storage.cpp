// Sample storage: huge pages for large compositions, plain allocation for the rest.
#include "track/sample_storage.h"

#include <cstddef>
#include <cstdint>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace kettorin {

SampleStorage AllocateSamples(int64_t count) {
  if (count < 0) return nullptr;
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
      return SampleStorage(static_cast<float*>(p));
    }
    return nullptr;
  }
#endif
  // malloc(0) may give null: ask for one float so that null always means no memory.
  return SampleStorage(static_cast<float*>(std::malloc(bytes > 0 ? bytes : sizeof(float))));
}

}  // namespace kettorin
