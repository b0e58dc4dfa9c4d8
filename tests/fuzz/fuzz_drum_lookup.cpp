// Fuzzes the drum-name lookup: the kind found must be one whose key the name begins with (ASCII
// case folded), and no earlier key may match; otherwise the kick.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "compose/compose.h"

namespace {

bool StartsWithFolded(std::string_view name, std::string_view key) {
  if (name.size() < key.size()) return false;
  for (size_t i = 0; i < key.size(); ++i) {
    char c = name[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != key[i]) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kettorin;
  const std::string_view name(reinterpret_cast<const char*>(data), size);
  const DrumKind found = LookupDrumKind(name);
  for (const DrumKindInfo& info : kDrumKinds) {
    for (std::string_view key : info.keys) {
      if (key.empty() || !StartsWithFolded(name, key)) continue;
      if (info.kind != found) __builtin_trap();  // the first matching key decides
      return 0;
    }
  }
  if (found != DrumKind::kKick) __builtin_trap();
  return 0;
}
