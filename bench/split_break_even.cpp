// One composition rendered in a fresh process, on one thread or split across two; prints the
// rendering's wall time in microseconds. bench/split_break_even.sh runs it.
// Usage: kettorin_split_break_even SECONDS THREADS   (a 44.1 kHz snare, quarter-second notes)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "compose/compose.h"

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  const double seconds = std::atof(argv[1]);
  const bool two = std::atoi(argv[2]) == 2;
  std::string notes;
  for (int i = 0; i < static_cast<int>(seconds * 4 + 0.5); ++i) notes += "C1 ";
  kettorin::Composition plan;
  if (kettorin::PlanComposition({"snare", notes, 44100, 240}, int64_t{1} << 30, plan)) return 1;
  std::vector<float> samples(static_cast<size_t>(plan.samples));
  const auto start = std::chrono::steady_clock::now();
  kettorin::RenderComposition(plan, notes, {44100}, samples, two ? 0 : INT64_MAX);
  const auto end = std::chrono::steady_clock::now();
  std::printf("%.1f\n", std::chrono::duration<double, std::micro>(end - start).count());
  return samples.empty() ? 1 : 0;
}
