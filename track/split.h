// Two threads for one long rendering: samples that do not depend on each other (notes, samples
// within a note, the adds of a mix at distinct positions) are rendered as two ranges at once.
#pragma once

#include <cstdint>
#include <functional>

namespace kettorin {

// Builds without threads (MinGW's win32 thread model, Emscripten without pthreads) render every
// range on the calling thread.
#if (defined(__GLIBCXX__) && !defined(_GLIBCXX_HAS_GTHREADS)) || \
    (defined(__EMSCRIPTEN__) && !defined(__EMSCRIPTEN_PTHREADS__))
#define KETTORIN_SPLIT_THREADS 0
#else
#define KETTORIN_SPLIT_THREADS 1
#endif
inline constexpr bool kSplitHasThreads = KETTORIN_SPLIT_THREADS;

// Ranges are split at a multiple of this many samples, the voices' vector chunk.
constexpr int64_t kSplitChunk = 64;

// Renderings shorter than this many samples stay on the calling thread. Two threads pay once
// half the rendering saves more than starting the process's first thread costs:
// n > 2 T / c. bench/split_break_even.sh and runs of kettorin_split_break_even 0.25 and 2 (61
// alternating fresh processes each, 2-core AMD EPYC with AVX-512, a busy machine) gave T = 230 us
// (median; 150 us at best) and c = 7.1 ns a 44.1 kHz snare sample (4.8 at best), so n = 65,000;
// an idle machine starts its first thread in 0.3 to 1.4 ms, which puts n at 2 to 4 s of audio.
// Two seconds at 44.1 kHz:
constexpr int64_t kSplitBreakEven = 88200;

// Renders samples [0, n) as render(begin, end) calls that together cover each sample once: from
// breakEven samples on, [0, m) on this thread and [m, n) on a second one at the same time, m being
// the multiple of kSplitChunk nearest below n / 2; below it, or when no thread can be started,
// render(0, n) here. render must accept concurrent calls on disjoint ranges. Nothing outlives the
// call: the second thread is joined before it returns, and an exception either range threw is
// thrown on here once both are done.
void RenderSplit(int64_t n, const std::function<void(int64_t begin, int64_t end)>& render,
                 int64_t breakEven = kSplitBreakEven);

}  // namespace kettorin
