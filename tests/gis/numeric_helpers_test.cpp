#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <numbers>
#include <numeric>
#include <stdexcept>
#include <vector>

#include "ui/gis/kernel_math.h"
#include "ui/gis/sample_stats.h"

using namespace orvex::ui::gis;

// Closed forms K(u) = exp(-u^2/2) / (2 pi), K2(u) = exp(-u^2/4) / (4 pi); the written
// constants carry 15 significant digits, so the relative tolerance is 1e-14.
TEST(KernelMath, KernelsMatchTheirClosedFormsAndGuards) {
  for (double u : {0.0, 0.5, 1.0, 3.0, 10.0}) {
    const double k = std::exp(-u * u / 2) / (2 * std::numbers::pi);
    const double k2 = std::exp(-u * u / 4) / (4 * std::numbers::pi);
    EXPECT_NEAR(NormalKernel(u), k, 1e-14 * k) << u;
    EXPECT_NEAR(ConvolvedKernel(u), k2, 1e-14 * k2) << u;
  }
  EXPECT_EQ(NormalKernel(45.0), 0.0);  // -u^2/2 = -1012.5, below the guard
  // log(2.718281828) = 1 - 1.7e-10, so NaturalLog(e) is 1 + 1.7e-10 (tolerance 1e-11).
  EXPECT_NEAR(NaturalLog(std::numbers::e), 1.0 + 1.69e-10, 1e-11);
  EXPECT_EQ(GuardedLog(0.0), -3.4e-300);
  EXPECT_DOUBLE_EQ(PairDistance(500000.0, 4e6, 500003.0, 4e6 + 4.0), 5.0);
}

TEST(SampleVariance, TwoPassNMinusOneAndItsLimits) {
  const std::vector<std::array<double, 2>> xy{{1, 10}, {2, 10}, {3, 40}, {4, 40}};
  EXPECT_DOUBLE_EQ(SampleVariance(xy, 0), 5.0 / 3.0);
  EXPECT_DOUBLE_EQ(SampleVariance(xy, 1), 300.0);
  EXPECT_EQ(SampleVariance(xy, 2), 0.0);
  // UTM-sized values: a one-pass sum of squares (x^2 ~ 2.5e17) loses every digit of a spread
  // of 1; the two-pass form is exact here.
  const std::vector<std::array<double, 2>> utm{{5e8 + 1, 0}, {5e8 + 2, 0}, {5e8 + 3, 0}, {5e8 + 4, 0}};
  EXPECT_DOUBLE_EQ(SampleVariance(utm, 0), 5.0 / 3.0);
  // One fix has no spread: 0/0 is refused instead of travelling on as NaN.
  const std::vector<std::array<double, 2>> one{{1, 2}};
  EXPECT_THROW((void)SampleVariance(one, 0), std::domain_error);
}

TEST(SortAscending, SortsTheRangeOnlyAndSurvivesWorstCaseInputs) {
  std::vector<double> v{9, 5, 3, 8, 1, 0};
  SortAscending(std::span<double>(v), 1, 4);
  EXPECT_EQ(v, (std::vector<double>{9, 1, 3, 5, 8, 0}));
  EXPECT_THROW(SortAscending(std::span<double>(v), 0, 6), std::out_of_range);
  // Sorted, reversed and all-equal inputs are the quicksort worst cases for stack depth.
  for (int pattern = 0; pattern < 3; ++pattern) {
    std::vector<int> w(200000);
    std::iota(w.begin(), w.end(), 0);
    if (pattern == 1) std::reverse(w.begin(), w.end());
    if (pattern == 2) std::fill(w.begin(), w.end(), 7);
    SortAscending(std::span<int>(w), 0, static_cast<long long>(w.size()) - 1);
    EXPECT_TRUE(std::is_sorted(w.begin(), w.end())) << pattern;
  }
}
