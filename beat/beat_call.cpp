// A beat planned: check, read, lay out.
#include "beat/beat_call.h"

namespace kettorin {

std::optional<Failure> PlanBeat(std::string_view text, const BeatOptions& options, int64_t limit,
                                Beat& beat, Track& track, BeatLayout& layout,
                                std::optional<BeatError>& readError) {
  if (auto failure = CheckSampleRate(options.sampleRate)) return failure;
  readError = ReadBeat(text, beat, options.keys);
  if (readError) return Failure{kStatusBadInput, Describe(*readError)};
  return BeatTrack(beat, options, limit, track, &layout);
}

}  // namespace kettorin
