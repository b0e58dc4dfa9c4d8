// Rendering into the caller's memory against writing the file, for a 60-second track: the
// in-memory calls skip the 16-bit conversion and the file, and must never be the slower path.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/kettorin.h"
#include "request/request.h"

namespace kettorin {
namespace {

constexpr int32_t kRate = 44100;
constexpr const char* kFile = "/tmp/kettorin-bench-render.wav";

// Sixty one-second snare notes at tempo 60.
std::string SixtySeconds() {
  std::string notes;
  for (int i = 0; i < 60; ++i) notes += "C1 ";
  return notes;
}
const std::u16string kNotes16 = [] {
  const std::string notes = SixtySeconds();
  return std::u16string(notes.begin(), notes.end());
}();

// Four drum lines of sixteenths, 2 s a pass, played 30 times.
constexpr const char* kBeat =
    "tempo 120\nrepeat 30\n"
    "kick   x---x---x---x-x-\nsnare  ----X-------X--g\n"
    "hihatc x-x-x-x-x-x-x-xX\nride   x---x---x---x---\n";
const std::u16string kBeat16(kBeat, kBeat + std::char_traits<char>::length(kBeat));

WavOutput QuietFile() {
  WavOutput out;
  out.path = {kFile, kFile};
  return out;
}

void CountSamples(benchmark::State& state, int64_t perIteration) {
  state.SetItemsProcessed(state.iterations() * perIteration);
}

// The caller's buffer, allocated once and reused, as a host rendering block after block does.
void BM_NotesIntoMemory(benchmark::State& state) {
  int64_t count = 0;
  KettorinRender(u"snare", kNotes16.c_str(), kRate, 60, nullptr, 0, &count, nullptr, 0);
  std::vector<float> samples(static_cast<size_t>(count));
  for (auto _ : state) {
    KettorinRender(u"snare", kNotes16.c_str(), kRate, 60, samples.data(), count, &count, nullptr,
                   0);
    benchmark::DoNotOptimize(samples.data());
  }
  CountSamples(state, count);
}
BENCHMARK(BM_NotesIntoMemory)->Unit(benchmark::kMillisecond);

// As the Python package calls it: a count query, then a fresh buffer for every call.
void BM_NotesIntoFreshMemory(benchmark::State& state) {
  int64_t count = 0;
  for (auto _ : state) {
    KettorinRender(u"snare", kNotes16.c_str(), kRate, 60, nullptr, 0, &count, nullptr, 0);
    std::vector<float> samples(static_cast<size_t>(count));
    KettorinRender(u"snare", kNotes16.c_str(), kRate, 60, samples.data(), count, &count, nullptr,
                   0);
    benchmark::DoNotOptimize(samples.data());
  }
  CountSamples(state, count);
}
BENCHMARK(BM_NotesIntoFreshMemory)->Unit(benchmark::kMillisecond);

// The file-writing call (the command's path without its report).
void BM_NotesToFile(benchmark::State& state) {
  const std::string notes = SixtySeconds();
  Request request(Source::kNotes, notes);
  request.options.drum = "snare";
  request.options.sampleRate = kRate;
  request.options.tempo = 60;
  for (auto _ : state) {
    benchmark::DoNotOptimize(RenderToFiles(request, QuietFile(), [](Channel, std::string_view) {}));
  }
  CountSamples(state, 60 * kRate);
  std::remove(kFile);
}
BENCHMARK(BM_NotesToFile)->Unit(benchmark::kMillisecond);

void BM_BeatIntoMemory(benchmark::State& state) {
  int64_t count = 0;
  KettorinRenderBeat(kBeat16.c_str(), nullptr, nullptr, nullptr, 0, &count, nullptr, 0);
  std::vector<float> samples(static_cast<size_t>(count));
  for (auto _ : state) {
    KettorinRenderBeat(kBeat16.c_str(), nullptr, nullptr, samples.data(), count, &count, nullptr,
                       0);
    benchmark::DoNotOptimize(samples.data());
  }
  CountSamples(state, count);
}
BENCHMARK(BM_BeatIntoMemory)->Unit(benchmark::kMillisecond);

void BM_BeatToFile(benchmark::State& state) {
  const Request request(Source::kBeat, kBeat);
  for (auto _ : state) {
    benchmark::DoNotOptimize(RenderToFiles(request, QuietFile(), [](Channel, std::string_view) {}));
  }
  CountSamples(state, 60 * kRate);
  std::remove(kFile);
}
BENCHMARK(BM_BeatToFile)->Unit(benchmark::kMillisecond);

// One short note: what a call costs beyond its samples.
void BM_OneNoteIntoMemory(benchmark::State& state) {
  float samples[1024];
  int64_t count = 0;
  for (auto _ : state) {
    KettorinRender(u"kick", u"C64", kRate, 120, samples, 1024, &count, nullptr, 0);
    benchmark::DoNotOptimize(samples);
  }
}
BENCHMARK(BM_OneNoteIntoMemory)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace kettorin
