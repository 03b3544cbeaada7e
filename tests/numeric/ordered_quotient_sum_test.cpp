// The set-order quotient sum against the plain loop it replaces, bit for bit on every
// instruction set.

#include "numeric/ordered_quotient_sum.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace orvex::numeric {
namespace {

using Values = std::vector<double>;

double plainSum(const Values& x, double k) {
  double s = 0.0;
  for (const double v : x) s += v / k;
  return s;
}

Values uniform(std::size_t n, double low, double high, unsigned seed) {
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> value(low, high);
  Values x(n);
  for (double& v : x) v = value(rng);
  return x;
}

// Every third value zeroed, as a removed fix is: k counts only the others.
Values withGaps(Values x) {
  for (std::size_t i = 0; i < x.size(); i += 3) x[i] = 0.0;
  return x;
}

// The sum starts at 1 (grid 2^-52 with k = 4) and every further quotient is a whole number of
// grid steps and a half: each addition is a tie. `every` spaces the ties out among plain terms.
Values ties(std::size_t n, std::size_t every) {
  std::mt19937_64 rng(11);
  Values x{4.0};
  for (std::size_t i = 1; i < n; ++i) {
    const double steps = static_cast<double>(rng() % 1000) + (i % every == 0 ? 0.5 : 0.25);
    x.push_back(4.0 * std::ldexp(steps, -52));
  }
  return x;
}

// Quotients within far less than their own error of a half-way point, without being one.
Values nearTies(std::size_t n) {
  Values x = ties(n, 1);
  for (std::size_t i = 1; i < x.size(); ++i) x[i] = std::nextafter(x[i], i % 2 ? 0.0 : 1.0);
  return x;
}

// Magnitudes over many binades in one set, rising and falling.
Values binades(std::size_t n) {
  std::mt19937_64 rng(5);
  Values x(n);
  for (std::size_t i = 0; i < n; ++i) {
    x[i] = std::ldexp(1.0 + static_cast<double>(rng() % 1000) / 1000.0, static_cast<int>((i / 97) % 60) - 20);
  }
  return x;
}

struct Case {
  const char* name;
  std::function<Values()> values;
  double k;  // 0: the count of non-zero values
};

const Case kCases[] = {
    {"utm eastings", [] { return uniform(5000, 3e5, 7e5, 1); }, 0},
    {"utm northings", [] { return uniform(20000, 4.9e6, 5.1e6, 2); }, 0},
    {"northings with gaps", [] { return withGaps(uniform(20000, 4.9e6, 5.1e6, 3)); }, 0},
    {"k unlike the count", [] { return uniform(3000, 1.0, 2.0, 4); }, 7.0},
    {"negative", [] { return uniform(5000, -7e5, -3e5, 5); }, 0},
    {"mixed signs", [] { return uniform(5000, -1e3, 1e3, 6); }, 0},
    {"sign change mid-way",
     [] {
       auto x = uniform(3000, 1.0, 2.0, 7);
       x.resize(6000, -3.0);
       return x;
     },
     0},
    {"binades", [] { return binades(6000); }, 0},
    {"every term a tie", [] { return ties(2000, 1); }, 4.0},
    {"a tie in some blocks", [] { return ties(6000, 700); }, 4.0},
    {"near ties", [] { return nearTies(2000); }, 4.0},
    {"subnormal and huge",
     [] {
       Values x = uniform(600, 1e-310, 2e-310, 8);
       x.resize(1200, 1e300);
       return x;
     },
     3.0},
    {"tiny", [] { return uniform(900, 1e-305, 2e-305, 9); }, 0},
    {"infinity",
     [] {
       auto x = uniform(1000, 1.0, 2.0, 10);
       x[600] = HUGE_VAL;
       return x;
     },
     0},
    {"NaN",
     [] {
       auto x = uniform(1000, 1.0, 2.0, 11);
       x[300] = std::nan("");
       return x;
     },
     0},
    {"subnormal divisor", [] { return uniform(600, 1.0, 2.0, 12); }, 1e-320},
    {"negative divisor", [] { return uniform(3000, 3e5, 7e5, 16); }, -3.0},
    {"empty", [] { return Values{}; }, 1},
    {"one", [] { return Values{5e5}; }, 0},
    {"one block less one", [] { return uniform(255, 3e5, 7e5, 13); }, 0},
    {"one block", [] { return uniform(256, 3e5, 7e5, 14); }, 0},
    {"one block and one", [] { return uniform(257, 3e5, 7e5, 15); }, 0},
};

TEST(OrderedQuotientSum, GivesThePlainLoopsBitsOnEverySet) {
  for (const Case& c : kCases) {
    const Values x = c.values();
    double k = c.k;
    if (k == 0) k = static_cast<double>(std::count_if(x.begin(), x.end(), [](double v) { return v != 0.0; }));
    const auto expected = std::bit_cast<std::uint64_t>(plainSum(x, k));
    for (const SimdLevel level : {SimdLevel::baseline, SimdLevel::avx2, SimdLevel::avx512f}) {
      SCOPED_TRACE(std::string(c.name) + " at level " + std::to_string(static_cast<int>(level)));
      EXPECT_EQ(std::bit_cast<std::uint64_t>(ordered_quotient_sum(x, k, level)), expected);
    }
  }
}

}  // namespace
}  // namespace orvex::numeric
