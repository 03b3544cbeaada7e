#include "numeric/gaussian_factors.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "numeric/vector_exp.h"

namespace orvex::numeric {
namespace {

constexpr SimdLevel kLevels[] = {SimdLevel::baseline, SimdLevel::avx2, SimdLevel::avx512f};

// Each case against e^(scale d^2) in long double, d rounded as the header writes it: coordinates
// of a UTM grid (where the centres' rounding, eta, is some 1e-9 m), spreads from a fifth of a
// cell (every value its own exponential) to 300 cells (560 vectors, runs of 16), windows
// of 1 to 4,500 cells. The stated bound is 2e-13 relative; 1e-12 here.
// The first vector, and every value of a spread below a cell, are the bits of exp_array.
TEST(GaussianFactors, WithinTheBoundOfEachValueAndTheSameBitsOnEveryInstructionSet) {
  const struct {
    double origin, q0, direction, step, mean, sd;
    std::size_t count;
  } cases[] = {
      {4995000.0, 60.5, -1.0, 100.0, 5001234.5678, 100.0, 17},  // sd = one cell: the recurrence's edge
      {4995000.0, 60.5, -1.0, 100.0, 5001234.5678, 99.9, 17},   // just below: exponentials
      {495000.0, 3.5, 1.0, 100.0, 496000.125, 1000.0, 151},     // 15 sd across
      {495000.0, 0.5, 1.0, 10.0, 517000.3, 3000.0, 4500},       // 300 cells, 560 vectors
      {495000.0, 0.5, 1.0, 10.0, 495007.7, 2.0, 3},             // a fifth of a cell
      {-12.0, 1000.5, -1.0, 0.25, 230.0, 3.0, 1},               // one cell
      {-12.0, 1000.5, -1.0, 0.25, 230.0, 3.0, 8},               // one vector
      {-12.0, 1000.5, -1.0, 0.25, 230.0, 3.0, 9},               // and one more value
  };
  for (const auto& c : cases) {
    const double scale = -0.5 / (c.sd * c.sd);
    std::vector<double> exponents(c.count);
    std::vector<long double> exact(c.count);
    for (std::size_t i = 0; i < c.count; ++i) {
      const double d = (c.origin + (c.q0 + c.direction * static_cast<double>(i)) * c.step) - c.mean;
      exponents[i] = scale * d * d;
      exact[i] = std::exp(static_cast<long double>(scale) * d * d);
    }
    std::vector<double> plain(c.count);
    exp_array(exponents, plain);
    std::vector<double> first;
    for (const SimdLevel level : kLevels) {
      std::vector<double> out(c.count);
      gaussian_factors(c.origin, c.q0, c.direction, c.step, c.mean, scale, out, level);
      for (std::size_t i = 0; i < c.count; ++i) {
        EXPECT_NEAR(static_cast<double>(out[i] / exact[i]), 1.0, 1e-12) << "sd " << c.sd << " value " << i;
        if (i < 8 || c.sd < c.step) {
          EXPECT_EQ(out[i], plain[i]) << "sd " << c.sd << " value " << i;
        }
      }
      if (first.empty()) first = out;
      EXPECT_EQ(out, first) << "level " << static_cast<int>(level);
    }
  }
}

}  // namespace
}  // namespace orvex::numeric
