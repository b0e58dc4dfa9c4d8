// Throughput of every voice, of the WAV writer, and of whole calls of the exported function.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "compose/compose.h"
#include "kettorin.h"
#include "wav/wav_writer.h"

namespace kettorin {
namespace {

constexpr int32_t kRate = 44100;

// One one-second note of a drum kind at 44.1 kHz; reports samples per second. The second argument
// is the most samples at a time: 8 or 4 on the vector paths where the processor has them, 1 for
// the one-sample path.
void BM_Voice(benchmark::State& state) {
  const auto kind = static_cast<DrumKind>(state.range(0));
  const auto lanes = static_cast<int32_t>(state.range(1));
  std::vector<float> storage(kRate);
  for (auto _ : state) {
    SampleBuffer buffer{kRate, storage, 0, NextExcitation, lanes > 1, lanes};
    PlayNote(buffer, kind, 440.0f, 1.0f);
    benchmark::DoNotOptimize(storage.data());
  }
  state.SetItemsProcessed(state.iterations() * kRate);
  state.SetLabel(std::string(Info(kind).displayName) + ", " + std::to_string(lanes) + " lane(s)");
}
BENCHMARK(BM_Voice)
    ->ArgsProduct({benchmark::CreateDenseRange(0, 10, 1), {8, 4, 1}})
    ->Unit(benchmark::kMillisecond);

// One 60-second note at 44.1 kHz: swept voices whose pitch sinks below the normal float range and
// whose exp arguments pass -746 (kick, high tom), and a snare for comparison.
void BM_LongNote(benchmark::State& state) {
  const auto kind = static_cast<DrumKind>(state.range(0));
  std::vector<float> storage(60 * kRate);
  for (auto _ : state) {
    SampleBuffer buffer{kRate, storage, 0, NextExcitation};
    PlayNote(buffer, kind, 440.0f, 60.0f);
    benchmark::DoNotOptimize(storage.data());
  }
  state.SetItemsProcessed(state.iterations() * 60 * kRate);
  state.SetLabel(std::string(Info(kind).displayName));
}
BENCHMARK(BM_LongNote)
    ->Arg(static_cast<int>(DrumKind::kKick))
    ->Arg(static_cast<int>(DrumKind::kHighTom))
    ->Arg(static_cast<int>(DrumKind::kSnare))
    ->Unit(benchmark::kMillisecond);

// Sixty seconds of samples written to a file; reports nanoseconds per sample. Argument 0 creates
// the file afresh each time (the file system allocates its pages again), 1 writes over the same
// file from its start (the writer's own cost: conversion, copies and system calls).
void BM_WavWriter(benchmark::State& state) {
  const bool fresh = state.range(0) == 0;
  std::vector<float> samples(60 * kRate);
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<float>(i % 200) / 100 - 1;
  const std::string path = "/tmp/kettorin-bench-" + std::to_string(::getpid()) + ".wav";
  std::FILE* kept = fresh ? nullptr : std::fopen(path.c_str(), "wb");
  for (auto _ : state) {
    std::FILE* out = fresh ? std::fopen(path.c_str(), "wb") : kept;
    if (!fresh) std::rewind(out);
    std::setvbuf(out, nullptr, _IOFBF, size_t{1} << 16);
    SerializeWav(out, kRate, samples);
    if (fresh) {
      std::fclose(out);
    } else {
      std::fflush(out);
    }
  }
  if (kept != nullptr) std::fclose(kept);
  std::remove(path.c_str());
  // Time per sample: (samples / 1e9) per second, inverted, is nanoseconds per sample.
  state.counters["ns_per_sample"] = benchmark::Counter(
      static_cast<double>(samples.size()) * static_cast<double>(state.iterations()) / 1e9,
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_WavWriter)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// The conversion alone: sixty seconds of samples to 16-bit little-endian PCM in memory.
void BM_Pcm16Conversion(benchmark::State& state) {
  std::vector<float> samples(60 * kRate);
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<float>(i % 200) / 100 - 1;
  std::vector<uint8_t> bytes(2 * samples.size());
  for (auto _ : state) {
    ToPcm16Le(samples, bytes.data());
    benchmark::DoNotOptimize(bytes.data());
  }
  state.counters["ns_per_sample"] = benchmark::Counter(
      static_cast<double>(samples.size()) * static_cast<double>(state.iterations()) / 1e9,
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_Pcm16Conversion)->Unit(benchmark::kMillisecond);

// A snare composition of 10 or 60 seconds rendered on one thread (second argument 1) or split
// across two (2) in a process that has already started threads: what the split gains once the
// first thread's cost is paid. Wall-clock time.
void BM_Split(benchmark::State& state) {
  const auto seconds = static_cast<int>(state.range(0));
  const bool two = state.range(1) == 2;
  std::string notes;
  for (int i = 0; i < seconds * 4; ++i) notes += "C1 ";
  Composition plan;
  if (PlanComposition({"snare", notes, kRate, 240}, int64_t{1} << 30, plan)) return;
  std::vector<float> samples(static_cast<size_t>(plan.samples));
  for (auto _ : state) {
    RenderComposition(plan, notes, {kRate}, samples, two ? 0 : INT64_MAX);
    benchmark::DoNotOptimize(samples.data());
  }
  state.SetItemsProcessed(state.iterations() * plan.samples);
}
BENCHMARK(BM_Split)->ArgsProduct({{10, 60}, {1, 2}})->UseRealTime()->Unit(benchmark::kMillisecond);

// A whole call: 60 seconds at 44.1 kHz (120 quarter notes at tempo 120), report to /dev/null.
void BM_Compose(benchmark::State& state) {
  const auto kind = static_cast<DrumKind>(state.range(0));
  std::u16string drum;
  for (char c : Info(kind).keys[0]) drum.push_back(static_cast<char16_t>(c));
  std::u16string notes;
  for (int i = 0; i < 120; ++i) notes += u"C1 ";
  std::u16string path;
  for (char c : "/tmp/kettorin-bench-" + std::to_string(::getpid()) + ".wav") path.push_back(c);
  // The report goes to /dev/null for the run, then standard output is restored.
  std::fflush(stdout);
  const int console = ::dup(STDOUT_FILENO);
  const int null = ::open("/dev/null", O_WRONLY);
  ::dup2(null, STDOUT_FILENO);
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        KettorinCompose(drum.c_str(), notes.c_str(), kRate, path.c_str(), 120));
  }
  std::fflush(stdout);
  ::dup2(console, STDOUT_FILENO);
  ::close(console);
  ::close(null);
  std::remove(std::string(path.begin(), path.end()).c_str());
  state.SetItemsProcessed(state.iterations() * 60 * kRate);
  state.SetLabel(std::string(Info(kind).displayName));
}
BENCHMARK(BM_Compose)->DenseRange(0, 10)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace kettorin

BENCHMARK_MAIN();
