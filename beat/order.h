// The order a song's patterns play in: `play` items read, counted and expanded. Shared by the
// reader, which checks a line's items where it stands and their names once the text is read.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "beat/beat.h"

namespace kettorin {

// The patterns a `play` line may name, looked up by name.
class PatternNames {
 public:
  explicit PatternNames(const Beat& beat);
  std::optional<int32_t> Find(std::string_view name) const;
  // "intro, verse, fill", for the message that names an unknown one.
  const std::string& List() const { return list_; }

 private:
  std::unordered_map<std::string_view, int32_t> index_;
  std::string list_;
};

// Reads `play` items into `items`. Without `names` only the form is checked (names come later in
// the text); with them every name must be a pattern. Gives what is wrong, or nothing.
std::optional<std::string> ParseOrder(std::string_view text, const PatternNames* names,
                                      std::vector<PlayItem>& items);

// A pattern name: 1 to 32 ASCII letters, digits, '_', '-' and '.'.
bool IsPatternName(std::string_view name);

}  // namespace kettorin
