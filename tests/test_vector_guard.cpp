// The guard that keeps the vector paths' samples identical: which double products are too close
// to a float rounding boundary to narrow on libmvec's word. Output comparisons cannot see a broken
// guard wherever libmvec happens to agree with the scalar functions, so the rule itself is tested
// here on constructed doubles, and every lane guard the processor runs against it.
#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <limits>
#include <vector>

#include "voices/vector_path.h"

namespace kettorin::voice {
namespace {

// Double k ulps away from x, away from zero for k > 0 (x far enough from zero not to cross it).
double Step(double x, int64_t k) {
  return std::bit_cast<double>(std::bit_cast<uint64_t>(x) + static_cast<uint64_t>(k));
}

// Rounding boundaries: midpoints of adjacent floats, in double, at every scale from the first
// subnormals to the largest finite float, of both signs.
std::vector<double> Boundaries() {
  std::vector<double> out;
  const float lows[] = {0.0f, 0x1p-149f, 0x1p-140f, 0x1p-127f, 0x1p-126f - 0x1p-149f, 0x1p-126f,
                        1e-30f, 0.5f, 1.0f, 3.14159f, 1e20f, FLT_MAX / 2, std::nextafter(FLT_MAX, 0.0f)};
  for (float lo : lows) {
    const float hi = std::nextafter(lo, INFINITY);
    const double mid = (static_cast<double>(lo) + static_cast<double>(hi)) / 2;  // exact
    out.push_back(mid);
    out.push_back(-mid);
  }
  out.push_back(static_cast<double>(FLT_MAX) + 0x1p103);  // FLT_MAX | infinity
  return out;
}

TEST(VectorGuard, ExactFloatsAndZeroAreNeverNearABoundary) {
  const float floats[] = {0.0f, -0.0f, 0x1p-149f, 3 * 0x1p-149f, 0x1p-130f, 0x1p-126f - 0x1p-149f,
                          0x1p-126f, 1e-20f, 0.3f, -0.9f, 1.0f, 440.0f, 1e30f, -FLT_MAX, FLT_MAX};
  for (float f : floats) EXPECT_FALSE(NearFloatBoundary(static_cast<double>(f))) << f;
  // Every subnormal float, and the normal floats of a few binades, one by one.
  for (uint32_t bits = 0; bits < 0x00800000u; ++bits) {
    ASSERT_FALSE(NearFloatBoundary(static_cast<double>(std::bit_cast<float>(bits)))) << bits;
  }
  for (uint32_t bits = 0x3F800000u; bits < 0x3F900000u; ++bits) {
    ASSERT_FALSE(NearFloatBoundary(static_cast<double>(std::bit_cast<float>(bits)))) << bits;
  }
}

TEST(VectorGuard, EveryBoundaryIsFlaggedWithinTheSlackAndNotBeyond) {
  for (double b : Boundaries()) {
    for (int64_t k : {int64_t{0}, int64_t{1}, int64_t{-1}, int64_t{7}, int64_t{-100},
                      kBoundarySlack / 2, -kBoundarySlack / 2, kBoundarySlack - 1,
                      1 - kBoundarySlack}) {
      EXPECT_TRUE(NearFloatBoundary(Step(b, k))) << b << " + " << k << " ulps";
    }
    // Far from every boundary: a quarter of a float ulp away (normal range only, where double
    // ulps are a fixed share of the float ulp).
    if (std::fabs(b) >= 0x1p-125) {
      EXPECT_FALSE(NearFloatBoundary(Step(b, kFloatUlpInDoubleUlps / 4 + 3)))  << b;
    }
  }
  // 2^-150 parts 0 from the smallest subnormal; tiny doubles short of it go to 0 either way.
  EXPECT_TRUE(NearFloatBoundary(0x1p-150));
  EXPECT_TRUE(NearFloatBoundary(std::nextafter(0x1p-150, 0.0)));
  EXPECT_FALSE(NearFloatBoundary(0x1p-160));
  EXPECT_FALSE(NearFloatBoundary(1e-300));
  EXPECT_FALSE(NearFloatBoundary(std::numeric_limits<double>::denorm_min()));
}

TEST(VectorGuard, NaNAndValuesBeyondTheFloatRangeAreAlwaysSuspect) {
  constexpr double kInfinity = std::numeric_limits<double>::infinity();
  constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
  for (double x : {kNaN, -kNaN, 0x1p128, -0x1p128, 1e300, kInfinity, -kInfinity}) {
    EXPECT_TRUE(NearFloatBoundary(x)) << x;
  }
}

#ifdef KETTORIN_VECTOR_PATH
// Every lane guard the processor runs gives the rule's verdict, lane by lane.
TEST(VectorGuard, EveryLaneGuardFollowsTheRule) {
  std::vector<double> values = Boundaries();
  for (double b : Boundaries()) {
    for (int64_t k : {int64_t{-5000}, int64_t{-4096}, int64_t{-4095}, int64_t{2}, int64_t{4095},
                      int64_t{4096}, int64_t{5000}}) {
      values.push_back(Step(b, k));
    }
  }
  for (double x : {0.0, -0.0, 0x1p-150, 1e-300, 0.25, 1e30, 0x1p128,
                   std::numeric_limits<double>::quiet_NaN(),
                   std::numeric_limits<double>::infinity()}) {
    values.push_back(x);
  }
  while (values.size() % 8 != 0) values.push_back(1.0);
  const int32_t lanes = VectorLanes();
  if (lanes < 4) GTEST_SKIP() << "this processor runs no vector path";
  for (size_t at = 0; at < values.size(); at += 8) {
    uint32_t expected = 0;
    for (size_t k = 0; k < 8; ++k) expected |= uint32_t{NearFloatBoundary(values[at + k])} << k;
    EXPECT_EQ(NearFloatBoundary4(&values[at]) | NearFloatBoundary4(&values[at + 4]) << 4,
              expected)
        << at;
#ifdef KETTORIN_VECTOR_PATH_AVX512
    if (lanes >= 8) {
      EXPECT_EQ(NearFloatBoundary8(&values[at]), expected) << at;
    }
#endif
  }
}
#endif

}  // namespace
}  // namespace kettorin::voice
