// MIDI: the three-minute benchmark file read, laid out and mixed in memory, and written whole.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include "request/request.h"
#include "track/track_output.h"

namespace kettorin {
namespace {

constexpr int32_t kRate = 44100;

std::vector<uint8_t> ThreeMinutes() {
  std::ifstream in(KETTORIN_SOURCE_DIR "/bench/three_minutes.mid", std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Reading and laying out the hits alone.
void BM_MidiPlan(benchmark::State& state) {
  const std::vector<uint8_t> bytes = ThreeMinutes();
  MidiOptions options;
  options.sampleRate = kRate;
  for (auto _ : state) {
    MidiPlan plan;
    benchmark::DoNotOptimize(PlanMidi(bytes, options, MaxSamples(WavFormat::kPcm16), plan));
  }
}
BENCHMARK(BM_MidiPlan)->Unit(benchmark::kMicrosecond);

// Reading, timing and mixing with headroom, into memory; reports samples per second.
void BM_MidiMix(benchmark::State& state) {
  const std::vector<uint8_t> bytes = ThreeMinutes();
  MidiOptions options;
  options.sampleRate = kRate;
  std::vector<float> mix;
  for (auto _ : state) {
    MidiPlan plan;
    if (PlanMidi(bytes, options, MaxSamples(WavFormat::kPcm16), plan)) {
      state.SkipWithError("the benchmark file does not render");
      return;
    }
    mix.resize(static_cast<size_t>(plan.track.length));
    RenderTrack(plan.track, {}, mix, {kRate});
    benchmark::DoNotOptimize(mix.data());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(mix.size()));
}
BENCHMARK(BM_MidiMix)->Unit(benchmark::kMillisecond);

// The whole call, file included (no report).
void BM_MidiCall(benchmark::State& state) {
  const std::vector<uint8_t> bytes = ThreeMinutes();
  WavOutput output;
  output.path = {"/tmp/kettorin-bench-midi.wav", "/tmp/kettorin-bench-midi.wav"};
  const Request request(Source::kMidi, {reinterpret_cast<const char*>(bytes.data()), bytes.size()});
  for (auto _ : state) {
    benchmark::DoNotOptimize(RenderToFiles(request, output, [](Channel, std::string_view) {}));
  }
  std::remove("/tmp/kettorin-bench-midi.wav");
}
BENCHMARK(BM_MidiCall)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace kettorin
