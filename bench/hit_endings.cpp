// The step each hit ends with: |last sample x level| over every hit of a beat or a MIDI file,
// without and with the fade its track is rendered with, largest first per kind.
// Usage: kettorin_hit_endings FILE [RATE]   (a .mid file is read as MIDI, anything else as a beat)
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "request/request.h"

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  std::ifstream in(argv[1], std::ios::binary);
  const std::string input((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::string name = argv[1];
  const bool midi = name.size() > 4 && name.substr(name.size() - 4) == ".mid";
  kettorin::Request request(midi ? kettorin::Source::kMidi : kettorin::Source::kBeat, input);
  request.options.sampleRate = argc > 2 ? std::atoi(argv[2]) : 44100;
  kettorin::Plan plan;
  if (auto failure = kettorin::PlanRequest(request, plan)) {
    std::fprintf(stderr, "%s\n", failure->message.c_str());
    return 1;
  }
  const kettorin::Track& track = plan.track;
  std::vector<float> before(kettorin::kDrumKindCount), after(kettorin::kDrumKindCount);
  std::vector<float> sound;
  for (const kettorin::Hit& hit : track.hits) {
    sound.assign(static_cast<size_t>(hit.length), 0.0f);
    kettorin::PlayNote(hit.kind, {track.sampleRate}, hit.frequency, hit.duration, 0, sound);
    const float last = sound.back();
    const int64_t f = std::min<int64_t>(hit.length, track.fade);
    const float faded = last * (1.0f / static_cast<float>(f + 1));
    auto& b = before[static_cast<size_t>(hit.kind)];
    auto& a = after[static_cast<size_t>(hit.kind)];
    b = std::max(b, std::fabs(last * hit.level));
    a = std::max(a, std::fabs(faded * hit.level));
  }
  std::printf("%-14s %12s %12s\n", "kind", "no fade", "fade");
  for (const kettorin::DrumKindInfo& info : kettorin::kDrumKinds) {
    const auto k = static_cast<size_t>(info.kind);
    if (before[k] == 0 && after[k] == 0) continue;
    std::printf("%-14.*s %12.6f %12.6f\n", static_cast<int>(info.displayName.size()),
                info.displayName.data(), static_cast<double>(before[k]),
                static_cast<double>(after[k]));
  }
  return 0;
}
