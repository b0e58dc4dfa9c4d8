// The beat call: beat text in, a WAV file (and stems) out, with its report.
#pragma once

#include <optional>
#include <string_view>

#include "beat/beat.h"
#include "track/track_output.h"

namespace kettorin {

// What every beat call does before it renders: checks the rate, reads the text and lays out its
// hits. A text that cannot be read fails with status 15, and its error is also left in
// `readError` for a caller that prints it its own way.
std::optional<Failure> PlanBeat(std::string_view text, const BeatOptions& options, int64_t limit,
                                Beat& beat, Track& track, std::optional<BeatError>& readError);

// Reads, renders and writes a beat. An invalid text prints one line on standard error and
// returns 15: "Error: line N: ..." or, given the name of the text's source, "NAME:N: ...".
int32_t ComposeBeat(std::string_view text, const BeatOptions& options, const TrackOutput& output,
                    std::string_view sourceName = {});

// Prints a reader's error as ComposeBeat does.
void PrintBeatError(const BeatError& error, std::string_view sourceName);

}  // namespace kettorin
