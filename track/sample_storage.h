// Sample storage for one call, sized once, up front.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>

namespace kettorin {

struct FreeStorage {
  void operator()(float* p) const { std::free(p); }
};
using SampleStorage = std::unique_ptr<float[], FreeStorage>;

// Room for count floats (uninitialised), or null when the memory is not there. Large storage is
// placed on transparent huge pages where the system offers them: a minute of sound is ten
// megabytes, and faulting it in 4 KiB pages costs more time than rendering it.
SampleStorage AllocateSamples(int64_t count);

}  // namespace kettorin
