// Rendering a track into memory or into files: the part every track call shares.
#include "track/track_output.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace kettorin {

Levels RenderTrack(const Track& track, const HeadroomOptions& headroom, std::span<float> out,
                   const VoiceContext& context) {
  std::fill(out.begin(), out.end(), 0.0f);
  MixTrack(track, context, out);
  return ApplyHeadroom(out, headroom);
}

namespace {

// The path with `infix` before its file name's extension (".wav" added when there is none).
template <class Path>
Path WithInfix(const Path& path, std::string_view infix) {
  using Char = typename Path::value_type;
  auto widen = [](std::string_view ascii) { return Path(ascii.begin(), ascii.end()); };
  const size_t slash = path.find_last_of(widen("/\\"));
  const size_t nameStart = slash == Path::npos ? 0 : slash + 1;
  const size_t dot = path.find_last_of(Char('.'));
  if (dot == Path::npos || dot <= nameStart) return path + widen(infix) + widen(".wav");
  return path.substr(0, dot) + widen(infix) + path.substr(dot);
}

}  // namespace

OutputPath StemPath(const OutputPath& mix, DrumKind kind, int32_t ordinal) {
  std::string infix(1, '.');
  infix.append(Info(kind).keys[0]);
  if (ordinal > 1) infix.append(1, '.').append(std::to_string(ordinal));
  return {WithInfix(mix.display, infix), WithInfix(mix.native, infix)};
}

std::optional<TrackStorage> AllocateTrack(const Track& track, bool stems) {
  TrackStorage storage;
  storage.mix = AllocateSamples(track.length);
  if (!storage.mix) return std::nullopt;
  if (stems) {
    storage.stem = AllocateSamples(track.length);
    if (!storage.stem) return std::nullopt;
  }
  return storage;
}

int32_t WriteTrack(const Track& track, TrackStorage& storage, const TrackOutput& output) {
  const auto length = static_cast<size_t>(track.length);
  const VoiceContext context{track.sampleRate};
  const std::span<float> mix(storage.mix.get(), length);
  const Levels levels = RenderTrack(track, output.headroom, mix, context);
  std::FILE* report = output.mix.report;
  if (report != nullptr && levels.gain) {
    std::fprintf(report, "Gain: %+.1f dB\n", *output.headroom.gainDb);
  }
  if (report != nullptr && levels.normalize) {
    std::fprintf(report, "Lowered by %.1f dB to stay within full scale.\n",
                 20.0 * std::log10(static_cast<double>(levels.peak)));
  }
  bool written = WriteWav(output.mix, track.sampleRate, mix);
  if (written && output.stems) {
    const std::span<float> stem(storage.stem.get(), length);
    int32_t ordinals[kDrumKindCount] = {};
    for (size_t s = 0; s < track.stemKinds.size() && written; ++s) {
      const DrumKind kind = track.stemKinds[s];
      std::fill(stem.begin(), stem.end(), 0.0f);
      MixTrack(track, context, stem, static_cast<int32_t>(s));
      ApplyLevels(stem, levels);
      WavOutput file = output.mix;
      file.path = StemPath(output.mix.path, kind, ++ordinals[static_cast<size_t>(kind)]);
      written = WriteWav(file, track.sampleRate, stem);
    }
  }
  if (report != nullptr) {
    std::fprintf(report, "\nDuration: %.2f seconds\n\n",
                 static_cast<double>(static_cast<float>(track.length) /
                                     static_cast<float>(track.sampleRate)));
  }
  return written ? kStatusDone : kStatusNotWritten;
}

}  // namespace kettorin
