#include "numeric/gaussian_spectrum.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <numbers>
#include <string>
#include <vector>

#include "numeric/fft.h"
#include "numeric/split_gaussian_sums.h"

namespace orvex::numeric {
namespace {

// Tolerance 1e-13 of the input's 1-norm times log2 N: the transform's rounding against a plain
// O(N^2) sum in long double (an independent computation).
TEST(Fft, MatchesThePlainTransformForEveryRadix) {
  for (std::size_t n : {1, 2, 3, 4, 5, 6, 8, 9, 12, 15, 16, 25, 30, 45, 60, 64, 100, 120, 243, 250}) {
    std::vector<std::complex<double>> data(n), work;
    for (std::size_t t = 0; t < n; ++t)
      data[t] = {std::sin(1.7 * double(t) + 0.3), std::cos(0.9 * double(t * t))};
    const auto input = data;
    FftPlan(n).forward(data, work);
    for (std::size_t k = 0; k < n; ++k) {
      std::complex<long double> sum = 0;
      for (std::size_t t = 0; t < n; ++t) {
        const long double a = -2.0L * std::numbers::pi_v<long double> *
                              static_cast<long double>((t * k) % n) / static_cast<long double>(n);
        sum += std::complex<long double>(input[t].real(), input[t].imag()) *
               std::complex<long double>(std::cos(a), std::sin(a));
      }
      EXPECT_NEAR(data[k].real(), static_cast<double>(sum.real()), 1e-13 * double(n)) << n << " " << k;
      EXPECT_NEAR(data[k].imag(), static_cast<double>(sum.imag()), 1e-13 * double(n)) << n << " " << k;
    }
  }
  EXPECT_EQ(fft_length_at_least(7), 8u);
  EXPECT_EQ(fft_length_at_least(121), 125u);
  EXPECT_THROW(FftPlan(14), std::invalid_argument);
}

struct Set {
  const char* name;
  std::vector<double> x, y;
};

// A fixed sequence in [0, 1).
double Next(std::uint64_t& state) {
  state = state * 6364136223846793005ULL + 1442695040888963407ULL;
  return static_cast<double>(state >> 11) / 9007199254740992.0;
}

// Uniform, clustered (with every fourth fix repeating the one before: a collar at rest) and a
// random walk: a few thousand fixes each.
std::vector<Set> TestSets() {
  std::vector<Set> sets{{"uniform", {}, {}}, {"clustered", {}, {}}, {"random walk", {}, {}}};
  std::uint64_t s = 7;
  for (int i = 0; i < 2000; ++i) sets[0].x.push_back(1000.0 * Next(s)), sets[0].y.push_back(600.0 * Next(s));
  for (int i = 0; i < 2000; ++i) {
    if (i % 4 == 3) {
      sets[1].x.push_back(sets[1].x.back()), sets[1].y.push_back(sets[1].y.back());
      continue;
    }
    const double c = static_cast<double>(i % 5);
    sets[1].x.push_back(200.0 * c + 3.0 * Next(s)), sets[1].y.push_back(50.0 * c * c + 3.0 * Next(s));
  }
  double x = 0.0, y = 0.0;
  for (int i = 0; i < 2000; ++i) {
    x += Next(s) - 0.5, y += Next(s) - 0.45;
    sets[2].x.push_back(x), sets[2].y.push_back(y);
  }
  return sets;
}

// Ordered sums in long double, pair by pair (the independent reference).
OrderedGaussianSums Exact(const Set& set, double beta) {
  const long double n = static_cast<long double>(set.x.size());
  long double s0 = 0, bcv = 0;
  for (std::size_t i = 0; i < set.x.size(); ++i) {
    for (std::size_t j = i + 1; j < set.x.size(); ++j) {
      const long double dx = set.x[i] - set.x[j], dy = set.y[i] - set.y[j];
      const long double x = beta * (dx * dx + dy * dy);
      const long double e = std::exp(-x);
      s0 += e, bcv += e * (4 * x * x - 16 * x + 8);
    }
  }
  return {static_cast<double>(n + 2 * s0), static_cast<double>(8 * n + 2 * bcv), 0, 0};
}

double Href(const Set& set) {
  auto var = [](const std::vector<double>& v) {
    double m = 0, s = 0;
    for (double a : v) m += a;
    m /= double(v.size());
    for (double a : v) s += (a - m) * (a - m);
    return s / double(v.size() - 1);
  };
  return std::sqrt((var(set.x) + var(set.y)) / 2.0) * std::pow(double(set.x.size()), -1.0 / 6.0);
}

// Tolerance 1e-10 of the ordered sum (of its positive parts for the BCV2 term) against the
// long-double reference; the stated error bound must cover the actual error.
void ExpectTheReferenceSums(const Set& set, double beta, const OrderedGaussianSums& fast,
                            const std::string& where) {
  const auto exact = Exact(set, beta);
  const double n = double(set.x.size());
  EXPECT_NEAR(fast.s0, exact.s0, 1e-10 * exact.s0) << where;
  EXPECT_LE(std::abs(fast.s0 - exact.s0), fast.s0_error) << where;
  EXPECT_NEAR(fast.bcv, exact.bcv, 1e-10 * (exact.bcv + 8 * n)) << where;
  EXPECT_LE(std::abs(fast.bcv - exact.bcv), fast.bcv_error) << where;
}

// Tolerance 1e-10 of the ordered sum (of its positive parts for the BCV2 term); the stated
// error bound must cover the actual error.
TEST(GaussianSpectrum, SumsMatchThePairByPairSums) {
  for (const Set& set : TestSets()) {
    const double href = Href(set);
    const double betaMin = 1.0 / (4.0 * 9.0 * href * href), betaMax = 1.0 / (2.0 * 0.01 * href * href);
    const auto plan = GaussianSpectrum::plan(set.x, set.y, betaMin, betaMax, 1e-13);
    ASSERT_TRUE(plan) << set.name;
    const auto spectrum = GaussianSpectrum::build(set.x, set.y, *plan, 2);
    ASSERT_TRUE(spectrum) << set.name;
    for (double f : {0.1, 0.5, 3.0}) {
      for (double beta : {1.0 / (4.0 * f * f * href * href), 1.0 / (2.0 * f * f * href * href)}) {
        ExpectTheReferenceSums(set, beta, spectrum->sums(beta),
                               std::string(set.name) + " h/href " + std::to_string(f));
      }
    }
  }
}

// The split sums at bandwidths from 0.05 href to 3 href, with the radius fixed at href so that
// both the near pairs (h below ~0.12 href) and the spectrum serve: within 1e-10 of the ordered
// sum (its positive parts for BCV2) of the long-double reference, and within the stated bound.
TEST(SplitGaussianSums, BothSidesOfTheSplitMatchThePairByPairSums) {
  for (const Set& set : TestSets()) {
    const double href = Href(set);
    const double betaMin = 1.0 / (4.0 * 9.0 * href * href), betaMax = 1.0 / (2.0 * 0.0025 * href * href);
    for (const double radius : {href, 0.0}) {
      const auto sums = SplitGaussianSums::build(set.x, set.y, betaMin, betaMax,
                                                 {.threads = 2, .force = true, .radius = radius});
      ASSERT_TRUE(sums) << set.name;
      for (double f : {0.05, 0.1, 0.2, 1.0, 3.0}) {
        const double beta = 1.0 / (2.0 * f * f * href * href);
        ExpectTheReferenceSums(set, beta, sums->sums(beta),
                               std::string(set.name) + " h/href " + std::to_string(f));
      }
    }
  }
}

TEST(SplitGaussianSums, ThreadCountDoesNotChangeABit) {
  const Set set = TestSets()[2];
  const double href = Href(set);
  const double betaMin = 1.0 / (4.0 * 4.0 * href * href), betaMax = 1.0 / (2.0 * 0.0025 * href * href);
  const auto one =
      SplitGaussianSums::build(set.x, set.y, betaMin, betaMax, {.threads = 1, .force = true, .radius = href});
  const auto three =
      SplitGaussianSums::build(set.x, set.y, betaMin, betaMax, {.threads = 3, .force = true, .radius = href});
  ASSERT_TRUE(one && three);
  for (double f : {0.05, 0.3, 2.0}) {
    const double beta = 1.0 / (2.0 * f * f * href * href);
    EXPECT_EQ(one->sums(beta).s0, three->sums(beta).s0) << f;
    EXPECT_EQ(one->sums(beta).bcv, three->sums(beta).bcv) << f;
  }
}

// Sets where most fixes share a few positions (dens, a collar left on the ground), which the
// split sums group into weighted points. Half of 2,000 fixes on 10 positions among scattered
// ones; 90 % on 3 positions inside a small cluster; every position three times over.
std::vector<Set> RepeatedSets() {
  std::vector<Set> sets{{"half on 10 dens", {}, {}}, {"90 % on 3 spots", {}, {}}, {"each thrice", {}, {}}};
  std::uint64_t s = 11;
  for (int i = 0; i < 2000; ++i) {
    const bool den = i % 2 == 0;
    const double k = static_cast<double>(i % 10);
    sets[0].x.push_back(den ? 37.0 * k : 400.0 * Next(s)),
        sets[0].y.push_back(den ? 11.0 * k * k : 300.0 * Next(s));
  }
  for (int i = 0; i < 2000; ++i) {
    const bool spot = i % 10 != 0;
    const double k = static_cast<double>(i % 3);
    sets[1].x.push_back(spot ? 5.0 + k : 20.0 * Next(s)),
        sets[1].y.push_back(spot ? 7.0 - k : 20.0 * Next(s));
  }
  for (int i = 0; i < 1800; ++i) {
    if (i % 3 != 0) {
      sets[2].x.push_back(sets[2].x.back()), sets[2].y.push_back(sets[2].y.back());
      continue;
    }
    sets[2].x.push_back(100.0 * Next(s)), sets[2].y.push_back(100.0 * Next(s));
  }
  return sets;
}

// Both sides of the split, near pairs only (radius beyond every beta's reach) and the spectrum
// only, at bandwidths from 0.1 href to 2 href: within 1e-10 of the ordered sum (its positive
// parts for BCV2) of the long-double pair-by-pair reference over every fix, and within the
// stated bound; the same bits on 1 and 3 threads.
TEST(SplitGaussianSums, RepeatedPositionsMatchThePairByPairSums) {
  for (const Set& set : RepeatedSets()) {
    const double href = Href(set);
    const double betaMin = 1.0 / (4.0 * 4.0 * href * href), betaMax = 1.0 / (2.0 * 0.01 * href * href);
    for (const double radius : {0.3 * href, 100.0 * href, 0.0}) {
      const auto sums = SplitGaussianSums::build(set.x, set.y, betaMin, betaMax,
                                                 {.threads = 1, .force = true, .radius = radius});
      const auto three = SplitGaussianSums::build(set.x, set.y, betaMin, betaMax,
                                                  {.threads = 3, .force = true, .radius = radius});
      ASSERT_TRUE(sums && three) << set.name;
      for (double f : {0.1, 0.3, 1.0, 2.0}) {
        const double beta = 1.0 / (2.0 * f * f * href * href);
        const auto fast = sums->sums(beta);
        const std::string where = std::string(set.name) + " radius/href " + std::to_string(radius / href) +
                                  " h/href " + std::to_string(f);
        ExpectTheReferenceSums(set, beta, fast, where);
        EXPECT_EQ(fast.s0, three->sums(beta).s0) << where;
        EXPECT_EQ(fast.bcv, three->sums(beta).bcv) << where;
      }
    }
  }
}

// Progress runs from 0 to 1 over the near pairs and the spectrum, never falling; a false from
// the callback during the spectrum (its reports come after the near pairs') stops the build.
TEST(SplitGaussianSums, SpectrumReportsProgressAndStops) {
  const Set set = TestSets()[2];
  const double href = Href(set);
  const double betaMin = 1.0 / (4.0 * 4.0 * href * href), betaMax = 1.0 / (2.0 * 0.0025 * href * href);
  const SplitOptions options{.threads = 2, .force = true, .radius = href};
  std::vector<double> seen;
  const auto all = SplitGaussianSums::build(set.x, set.y, betaMin, betaMax, options, [&](double f) {
    seen.push_back(f);
    return true;
  });
  ASSERT_TRUE(all);
  ASSERT_GE(seen.size(), 3U);
  EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
  EXPECT_DOUBLE_EQ(seen.back(), 1.0);
  // The last report is the spectrum's; stop at it, and (spectrum only) at the first one.
  for (const double radius : {href, 0.0}) {
    int calls = 0;
    const double stop_at = radius > 0.0 ? seen.back() : 0.0;
    SplitOptions o = options;
    o.radius = radius;
    const auto stopped = SplitGaussianSums::build(set.x, set.y, betaMin, betaMax, o, [&](double f) {
      ++calls;
      return f < stop_at;
    });
    EXPECT_FALSE(stopped) << radius;
    EXPECT_GE(calls, 1) << radius;
  }
}

}  // namespace
}  // namespace orvex::numeric
