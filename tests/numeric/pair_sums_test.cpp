#include "numeric/pair_sums.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

namespace orvex::numeric {
namespace {

// A fixed scatter over a 100 x 60 box, every seventh fix repeating the one before.
void Scatter(std::size_t n, std::vector<double>& x, std::vector<double>& y) {
  std::uint64_t state = 7;
  auto next = [&] {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<double>(state >> 11) / 9007199254740992.0;
  };
  for (std::size_t i = 0; i < n; ++i) {
    const bool repeat = i % 7 == 6;
    x.push_back(repeat ? x.back() : 100.0 * next());
    y.push_back(repeat ? y.back() : 60.0 * next());
  }
}

// The term of one pair in long double (an independent evaluation of the formulas).
long double Term(PairTerm term, long double u2) {
  if (term == PairTerm::lscv) {
    const long double e = std::exp(-u2 / 4);
    return e - 4 * e * e;
  }
  return std::exp(-u2 / 2) * (u2 * u2 - 8 * u2 + 8);
}

TEST(PairTermSums, MatchThePlainSumAndGiveTheSameBitsEverywhere) {
  std::vector<double> x;
  std::vector<double> y;
  Scatter(700, x, y);
  // Bandwidths from a tenth of the spread to twice it, given out of order.
  const std::vector<double> h = {3.0, 0.5, 40.0, 12.0, 1.0};
  std::vector<double> scales;
  for (const double v : h) scales.push_back(1.0 / (v * v));
  for (const PairTerm term : {PairTerm::lscv, PairTerm::bcv2}) {
    std::vector<double> first(h.size());
    ASSERT_TRUE(pair_term_sums(term, x, y, scales, first, {.chunk_pairs = 1000, .threads = 1}));
    for (std::size_t m = 0; m < h.size(); ++m) {
      long double exact = 0;
      long double magnitude = 0;
      for (std::size_t i = 0; i < x.size(); ++i) {
        for (std::size_t j = i + 1; j < x.size(); ++j) {
          const long double dx = x[i] - x[j];
          const long double dy = y[i] - y[j];
          const long double t = Term(term, (dx * dx + dy * dy) * scales[m]);
          exact += t;
          magnitude += std::fabs(t);
        }
      }
      // Rounding of 244,650 terms of a few ulps each, against the sum of their magnitudes.
      EXPECT_NEAR(first[m], static_cast<double>(exact), 1e-13 * static_cast<double>(magnitude)) << h[m];
    }
    for (const SimdLevel level : {SimdLevel::baseline, SimdLevel::avx2, SimdLevel::avx512f}) {
      std::vector<double> again(h.size());
      ASSERT_TRUE(
          pair_term_sums(term, x, y, scales, again, {.chunk_pairs = 1000, .threads = 3, .level = level}));
      EXPECT_EQ(again, first) << static_cast<int>(level);
    }
  }
}

TEST(PairTermSums, FewFixesGiveZeroAndProgressStops) {
  const std::vector<double> one = {1.0};
  double sum = 5.0;
  const double scale = 1.0;
  EXPECT_TRUE(pair_term_sums(PairTerm::lscv, one, one, std::span(&scale, 1), std::span(&sum, 1), {}));
  EXPECT_EQ(sum, 0.0);
  std::vector<double> x;
  std::vector<double> y;
  Scatter(2000, x, y);
  int calls = 0;
  EXPECT_FALSE(pair_term_sums(PairTerm::bcv2, x, y, std::span(&scale, 1), std::span(&sum, 1),
                              {.chunk_pairs = 100}, [&](double) { return ++calls < 2; }));
  EXPECT_EQ(calls, 2);
}

}  // namespace
}  // namespace orvex::numeric
