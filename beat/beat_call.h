// A beat planned: the rate checked, the text read and its hits laid out.
#pragma once

#include <optional>
#include <string_view>

#include "beat/beat.h"

namespace kettorin {

// What every beat does before it renders: checks the rate, reads the text and lays out its hits.
// A text that cannot be read fails with status 15, and its error is also left in `readError`
// for a door that names the text's source in its own way.
std::optional<Failure> PlanBeat(std::string_view text, const BeatOptions& options, int64_t limit,
                                Beat& beat, Track& track, BeatLayout& layout,
                                std::optional<BeatError>& readError);

}  // namespace kettorin
