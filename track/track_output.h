// A track rendered into memory: the hits mixed, then the headroom applied.
#pragma once

#include <span>

#include "track/track.h"

namespace kettorin {

// Mixes the track into out (track.length samples) and applies the headroom.
Levels RenderTrack(const Track& track, const HeadroomOptions& headroom, std::span<float> out,
                   const VoiceContext& context);

}  // namespace kettorin
