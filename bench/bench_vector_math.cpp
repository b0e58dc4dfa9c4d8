// The vector math libraries the voices could use, against the scalar functions they must match:
// speed per value, and how many values narrowed to float differ from the scalar result.
#include <benchmark/benchmark.h>
#include <immintrin.h>

#include <cmath>
#include <vector>

#ifdef KETTORIN_HAVE_SLEEF
#include <sleef.h>
#endif

extern "C" __m256d _ZGVdN4v_sin(__m256d);
extern "C" __m256d _ZGVdN4v_exp(__m256d);

namespace {

constexpr size_t kCount = 1 << 16;

// Arguments like the voices': partial phases up to a few seconds at 11 kHz, and envelope
// exponents between -40 and 0.
std::vector<double> Arguments(bool phases) {
  std::vector<double> x(kCount);
  for (size_t i = 0; i < kCount; ++i) {
    const float t = static_cast<float>(i) / 44100.0f;
    x[i] =
        phases ? static_cast<double>(t * (6.2831855f * 11000.0f)) : static_cast<double>(t * -27.0f);
  }
  return x;
}

using Vector4 = __m256d (*)(__m256d);

using Scalar1 = double (*)(double);

void BM_Scalar(benchmark::State& state, Scalar1 scalar, bool phases) {
  const std::vector<double> x = Arguments(phases);
  std::vector<double> y(kCount);
  for (auto _ : state) {
    for (size_t i = 0; i < kCount; ++i) y[i] = scalar(x[i]);
    benchmark::DoNotOptimize(y.data());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kCount));
}

void BM_Vector(benchmark::State& state, Scalar1 scalar, Vector4 f, bool phases) {
  const std::vector<double> x = Arguments(phases);
  std::vector<double> y(kCount);
  for (auto _ : state) {
    for (size_t i = 0; i < kCount; i += 4) _mm256_storeu_pd(&y[i], f(_mm256_loadu_pd(&x[i])));
    benchmark::DoNotOptimize(y.data());
  }
  // Values whose float narrowing differs from the scalar function's.
  int64_t differing = 0;
  for (size_t i = 0; i < kCount; ++i) {
    differing += static_cast<float>(y[i]) != static_cast<float>(scalar(x[i]));
  }
  state.counters["float_differences"] = static_cast<double>(differing);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kCount));
}

double Sin(double x) {
  return std::sin(x);
}
double Exp(double x) {
  return std::exp(x);
}

BENCHMARK_CAPTURE(BM_Scalar, glibc_sin, Sin, true);
BENCHMARK_CAPTURE(BM_Vector, libmvec_sin, Sin, _ZGVdN4v_sin, true);
BENCHMARK_CAPTURE(BM_Scalar, glibc_exp, Exp, false);
BENCHMARK_CAPTURE(BM_Vector, libmvec_exp, Exp, _ZGVdN4v_exp, false);
#ifdef KETTORIN_HAVE_SLEEF
__m256d SleefSin(__m256d x) {
  return Sleef_sind4_u10avx2(x);
}
__m256d SleefExp(__m256d x) {
  return Sleef_expd4_u10avx2(x);
}
BENCHMARK_CAPTURE(BM_Vector, sleef_sin_u10, Sin, SleefSin, true);
BENCHMARK_CAPTURE(BM_Vector, sleef_exp_u10, Exp, SleefExp, false);
#endif

}  // namespace

BENCHMARK_MAIN();
