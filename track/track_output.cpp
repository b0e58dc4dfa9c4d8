// Rendering a track into memory: the part every track shares.
#include "track/track_output.h"

#include <algorithm>

namespace kettorin {

Levels RenderTrack(const Track& track, const HeadroomOptions& headroom, std::span<float> out,
                   const VoiceContext& context) {
  std::fill(out.begin(), out.end(), 0.0f);
  MixTrack(track, context, out);
  return ApplyHeadroom(out, headroom);
}

}  // namespace kettorin
