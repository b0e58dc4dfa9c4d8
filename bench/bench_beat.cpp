// Beats: the three-minute benchmark beat read, laid out and mixed in memory, and written whole.
#include <benchmark/benchmark.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "beat/beat.h"
#include "beat/beat_call.h"
#include "request/request.h"
#include "track/track_output.h"

namespace kettorin {
namespace {

constexpr int32_t kRate = 44100;

BeatOptions At44k() {
  BeatOptions options;
  options.sampleRate = kRate;
  return options;
}

std::string ThreeMinutes() {
  std::ifstream in(KETTORIN_SOURCE_DIR "/bench/three_minutes.beat", std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Reading, timing and mixing with headroom, into memory; reports samples per second.
void BM_BeatMix(benchmark::State& state) {
  const std::string text = ThreeMinutes();
  std::vector<float> mix;
  for (auto _ : state) {
    Beat beat;
    Track track;
    if (ReadBeat(text, beat) || BeatTrack(beat, At44k(), MaxSamples(WavFormat::kPcm16), track)) {
      state.SkipWithError("the benchmark beat does not render");
      return;
    }
    mix.resize(static_cast<size_t>(track.length));
    RenderTrack(track, {}, mix, {kRate});
    benchmark::DoNotOptimize(mix.data());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(mix.size()));
}
BENCHMARK(BM_BeatMix)->Unit(benchmark::kMillisecond);

// The whole call, file included (no report).
void BM_BeatCall(benchmark::State& state) {
  const std::string text = ThreeMinutes();
  WavOutput output;
  output.path = {"/tmp/kettorin-bench-beat.wav", "/tmp/kettorin-bench-beat.wav"};
  const Request request(Source::kBeat, text);
  for (auto _ : state) {
    benchmark::DoNotOptimize(RenderToFiles(request, output, [](Channel, std::string_view) {}));
  }
  std::remove("/tmp/kettorin-bench-beat.wav");
}
BENCHMARK(BM_BeatCall)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace kettorin
