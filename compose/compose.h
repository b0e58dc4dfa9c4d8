// The note-string call: a note string on one drum, checked, measured and rendered.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "compose/notes.h"
#include "track/drum_kinds.h"
#include "track/limits.h"
#include "track/split.h"
#include "track/status.h"
#include "voices/voices.h"

namespace kettorin {

// ---- The call ---------------------------------------------------------------------------------

struct ComposeRequest {
  std::string_view drumName;  // narrow
  std::string_view notes;     // narrow
  int32_t sampleRate = 0;
  int32_t tempo = 0;
};

// A request checked and measured: the kind that plays, the beat length and the sample count.
struct Composition {
  DrumKind kind = DrumKind::kKick;
  float beat = 0;       // seconds: 60 / tempo
  int64_t samples = 0;  // what the notes produce, exactly
};

// Samples the notes will produce at this rate and tempo, in 64-bit arithmetic.
// Stops counting once the total passes `limit`.
int64_t CountSamples(std::string_view notes, float beat, int32_t sampleRate, int64_t limit);

// Checks the tempo, then the rate, then that the notes need at most `limit` samples.
std::optional<Failure> PlanComposition(const ComposeRequest& request, int64_t limit,
                                       Composition& plan);

// Renders every played note into out (plan.samples long), one after another. From
// splitBreakEven samples on, two threads render halves of the composition (track/split.h).
void RenderComposition(const Composition& plan, std::string_view notes, const VoiceContext& context,
                       std::span<float> out, int64_t splitBreakEven = kSplitBreakEven);

}  // namespace kettorin
