// Gaussian sums at the fixes against the plain sum over every pair, in long double.

#include "numeric/gaussian_point_sums.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace orvex::numeric {
namespace {

using Fixes = std::vector<std::array<double, 2>>;

long double PlainSum(const Fixes& xy, std::size_t i, double h) {
  long double sum = 0.0L;
  for (const auto& p : xy) {
    const long double dx = static_cast<long double>(xy[i][0]) - p[0];
    const long double dy = static_cast<long double>(xy[i][1]) - p[1];
    sum += std::exp(-(dx * dx + dy * dy) / (2.0L * h * h));
  }
  return sum;
}

// n points uniform in a square of side `side` around (cx, cy), from a fixed sequence.
void AddCloud(Fixes& xy, std::size_t n, double cx, double cy, double side, std::uint64_t seed) {
  std::uint64_t state = seed;
  auto uniform = [&state] {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<double>(state >> 11) / 9007199254740992.0 - 0.5;
  };
  for (std::size_t k = 0; k < n; ++k) xy.push_back({cx + side * uniform(), cy + side * uniform()});
}

struct Case {
  std::string name;
  Fixes xy;
  double h;
};

std::vector<Case> Cases() {
  std::vector<Case> cases;
  Fixes clusters;  // two tight clusters 60 h apart, and a lone fix between them
  AddCloud(clusters, 300, 0, 0, 5, 1);
  AddCloud(clusters, 200, 600, 0, 5, 2);
  clusters.push_back({300, 1});
  cases.push_back({"clusters", clusters, 10});
  Fixes repeated(250, {7.5, -3.25});  // one position 250 times, a few fixes around it
  AddCloud(repeated, 50, 0, 0, 200, 3);
  cases.push_back({"repeated", repeated, 4});
  Fixes unequal;  // a dense core and sparse outliers: local densities 1e6 apart
  AddCloud(unequal, 800, 0, 0, 1, 4);
  AddCloud(unequal, 40, 0, 0, 2000, 5);
  cases.push_back({"unequal", unequal, 2});
  Fixes line;  // every fix on one horizontal line
  for (int k = 0; k < 400; ++k) line.push_back({k * 0.37, 5.0});
  cases.push_back({"line", line, 1.5});
  Fixes spread;  // 10^5 bandwidths across: the cells grow beyond h
  AddCloud(spread, 500, 0, 0, 1e5, 6);
  cases.push_back({"spread", spread, 1});
  Fixes wide;  // h wider than the set: every pair is kept
  AddCloud(wide, 100, 50, 50, 10, 7);
  cases.push_back({"wide", wide, 1e3});
  Fixes dense;                        // ~190 fixes per cell of side h: those cells enter as expansions; a few
  AddCloud(dense, 3000, 0, 0, 4, 8);  // sparse fixes read them from 2 to 20 h away
  AddCloud(dense, 20, 0, 0, 40, 9);
  cases.push_back({"dense", dense, 1});
  cases.push_back({"one fix", Fixes{{3, 4}}, 1});
  return cases;
}

TEST(GaussianPointSums, WithinTheStatedBoundOfThePlainSum) {
  // The truncation costs at most 1e-15 relative (the header's bound); the rest is the rounding
  // of a few hundred positive terms and of their arguments, below 1e-13 relative.
  for (const Case& c : Cases()) {
    const std::vector<double> sums = gaussian_point_sums(c.xy, c.h, 2);
    ASSERT_EQ(sums.size(), c.xy.size()) << c.name;
    for (std::size_t i = 0; i < c.xy.size(); ++i) {
      const auto exact = static_cast<double>(PlainSum(c.xy, i, c.h));
      ASSERT_NEAR(sums[i], exact, 1e-13 * exact) << c.name << " fix " << i;
    }
  }
}

TEST(GaussianPointSums, ThreadCountAndInstructionSetDoNotChangeABit) {
  for (const Case& c : Cases()) {
    const std::vector<double> reference = gaussian_point_sums(c.xy, c.h, 1);
    EXPECT_EQ(reference, gaussian_point_sums(c.xy, c.h, 3)) << c.name;
    for (const SimdLevel level : {SimdLevel::baseline, SimdLevel::avx2})
      EXPECT_EQ(reference, gaussian_point_sums(c.xy, c.h, 2, level))
          << c.name << " " << static_cast<int>(level);
  }
}

TEST(GaussianPointSums, DegenerateInputsFollowTheFormula) {
  EXPECT_TRUE(gaussian_point_sums({}, 1.0, 1).empty());
  const Fixes two{{0, 0}, {0, 0}};
  EXPECT_EQ(gaussian_point_sums(two, 1.0, 1), (std::vector<double>{2.0, 2.0}));  // e^0 twice, exact
  // h = 0: 0/0 for the pair with itself, so NaN, as the formula gives.
  EXPECT_TRUE(std::isnan(gaussian_point_sums(two, 0.0, 1)[0]));
  const Fixes withNan{{0, 0}, {NAN, 1}};
  EXPECT_TRUE(std::isnan(gaussian_point_sums(withNan, 1.0, 1)[0]));
}

}  // namespace
}  // namespace orvex::numeric
