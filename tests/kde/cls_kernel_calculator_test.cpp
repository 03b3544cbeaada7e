// clsKernelCalculator without the host: grid size check, setters, status codes and messages,
// bandwidth preparation, the window rule, densities against their formulas, the volume.

#include "ui/kde/cls_kernel_calculator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "kde/kde_test_data.h"
#include "ui/gis/kernel_math.h"

namespace orvex::ui {
namespace {

using test::BellFixes;
using test::ScatteredFixes;

constexpr char kTooLarge[] =
    "Output raster is too large (> 50 million cells). Kernel could not be calculated. Please increase the "
    "output "
    "cell size.\r";

clsKernelCalculator Calculator(double cellSize, std::int32_t columns, std::int32_t rows, double originX = 0.0,
                               double originY = 0.0) {
  clsKernelCalculator calc;
  calc.SetCellSize(cellSize);
  calc.SetColumns(columns);
  calc.SetRows(rows);
  calc.SetOriginCoords(originX, originY);
  return calc;
}

// Sets the fixes and a manual bandwidth and calculates.
void Calculate(clsKernelCalculator& calc, const std::vector<CoordPair>& fixes, double bandwidth,
               double limitRadius = 0.0) {
  calc.SetInputCoords(fixes);
  calc.SetManualBandwidth(bandwidth);
  calc.SetLimitRadius(limitRadius);
  calc.CalculateKernel();
}

TEST(CalculatorSize, FiftyMillionCellsIsTheLimit) {
  const struct {
    std::int32_t first, second;  // SetRows(first) then SetColumns(second) ...
    bool rowsLast;               // ... or SetColumns(first) then SetRows(second)
    std::int32_t code;
    const char* warnings;
  } cases[] = {
      {5'000, 10'000, false, 0, ""},
      {1, 50'000'001, false, clsKernelCalculator::kGridTooLarge, kTooLarge},
      {50'000'001, 1, true, clsKernelCalculator::kGridTooLarge, ""},           // SetRows: no message
      {65'536, 65'536, false, clsKernelCalculator::kGridTooLarge, kTooLarge},  // 2^32 wraps in 32 bits
  };
  for (const auto& c : cases) {
    clsKernelCalculator calc;
    if (c.rowsLast) {
      calc.SetColumns(c.first);
      calc.SetRows(c.second);
    } else {
      calc.SetRows(c.first);
      calc.SetColumns(c.second);
    }
    EXPECT_EQ(calc.lErrorStatus, c.code) << c.first << " x " << c.second;
    EXPECT_EQ(calc.WarningMessages(), c.warnings) << c.first << " x " << c.second;
  }
}

TEST(CalculatorSize, StaleRefusalClearsWhenThePairFits) {
  // A per-animal grid set columns first meets the previous animal's rows.
  clsKernelCalculator calc;
  calc.SetRows(20'000);
  calc.SetColumns(5'000);
  ASSERT_EQ(calc.lErrorStatus, clsKernelCalculator::kGridTooLarge);
  calc.SetRows(100);
  EXPECT_EQ(calc.lErrorStatus, 0);
  EXPECT_EQ(calc.WarningMessages(), "");
}

TEST(CalculatorSize, OversizedRunGridIsRefusedAgainAfterSetInputCoords) {
  // The grid of a whole run is set before the animals, and SetInputCoords clears the status.
  clsKernelCalculator calc = Calculator(1, 10'000, 5'001);
  Calculate(calc, ScatteredFixes(10), 50);
  EXPECT_EQ(calc.lErrorStatus, clsKernelCalculator::kGridTooLarge);
  EXPECT_EQ(calc.WarningMessages(), kTooLarge);
  EXPECT_EQ(calc.GetKernel(), nullptr);
}

TEST(CalculatorSetters, StoredValuesAndIgnoredOnes) {
  clsKernelCalculator calc = Calculator(12.5, 20, 30, 5, 6);
  EXPECT_EQ(calc.GetCellSize(), 12.0);  // halves to even
  calc.SetCellSize(13.5);
  EXPECT_EQ(calc.GetCellSize(), 14.0);
  calc.SetCellSize(-3);
  calc.SetRows(0);
  calc.SetColumns(-4);
  calc.SetManualBandwidth(40);
  calc.SetManualBandwidth(0);
  EXPECT_EQ(calc.GetCellSize(), 14.0);
  EXPECT_EQ(calc.GetRowCount(), 30);
  EXPECT_EQ(calc.GetColumnCount(), 20);
  EXPECT_EQ(calc.GetOriginX(), 5.0);
  EXPECT_EQ(calc.GetOriginY(), 6.0);
  EXPECT_EQ(calc.GetBandwidth(), 40.0);
  EXPECT_THROW(calc.SetCellSize(3e9), host::Error);
}

TEST(CalculatorStatus, CodesAndMessagesOfCalculateKernel) {
  const struct {
    double bandwidth;
    std::int32_t rows;
    std::int32_t code;
    const char* warnings;
  } cases[] = {
      {0, 50, clsKernelCalculator::kNothingToCalculate,
       "The bandwidth or dimensions of the output raster were 0. Could not calculate kernel.\r"},
      {50, 0, clsKernelCalculator::kNothingToCalculate,
       "The bandwidth or dimensions of the output raster were 0. Could not calculate kernel.\r"},
      {9.999, 50, clsKernelCalculator::kBandwidthBelowCellSize,
       "The bandwidth (9.999) is smaller than the cell size (10). Processing aborted.\r"},
      {10, 50, 0, ""},  // equal to the cell size passes
  };
  for (const auto& c : cases) {
    clsKernelCalculator calc = Calculator(10, 50, c.rows);
    Calculate(calc, ScatteredFixes(10, 400, 400), c.bandwidth);
    EXPECT_EQ(calc.lErrorStatus, c.code) << c.bandwidth;
    EXPECT_EQ(calc.WarningMessages(), c.warnings) << c.bandwidth;
    EXPECT_EQ(calc.GetKernel() != nullptr, c.code == 0) << c.bandwidth;
  }
}

TEST(CalculatorStatus, FailedSearchIsCode2900AndForgetsTheOldBandwidth) {
  clsKernelCalculator calc = Calculator(1, 50, 50);
  calc.SetInputCoords(ScatteredFixes(20, 40, 40));
  calc.CalculateHREF();
  ASSERT_GT(calc.GetBandwidth(), 0.0);
  calc.SetInputCoords(std::vector<CoordPair>{{0, 0}, {30, 30}});
  calc.CalculateBCV();  // BCV2 divides by n - 2
  EXPECT_EQ(calc.lErrorStatus, clsKernelCalculator::kBandwidthSearchFailed);
  EXPECT_EQ(calc.GetBandwidth(), 0.0);
  EXPECT_FALSE(calc.HasLSCVProfile);
  calc.CalculateKernel();
  EXPECT_EQ(calc.lErrorStatus, clsKernelCalculator::kBandwidthSearchFailed);
  calc.SetInputCoords(std::vector<CoordPair>{{100, 100}});
  calc.CalculateHREF();  // one fix has no href
  EXPECT_EQ(calc.lErrorStatus, clsKernelCalculator::kBandwidthSearchFailed);
}

TEST(CalculatorBandwidth, RescaledManualBandwidthGetters) {
  // The manual bandwidth (map units) is divided by the mean of the standard deviations.
  // Tolerance 1e-12 relative (one division, one multiplication).
  const auto fixes = ScatteredFixes(30, 800, 200);
  double sd[2] = {0, 0};
  for (int c = 0; c < 2; ++c) {
    double mean = 0;
    for (const auto& f : fixes) mean += f[c] / 30;
    for (const auto& f : fixes) sd[c] += (f[c] - mean) * (f[c] - mean) / 29;
    sd[c] = std::sqrt(sd[c]);
  }
  clsKernelCalculator calc = Calculator(5, 200, 100, -100, -100);
  calc.SetEnforceUnitVariance(true);
  calc.SetInputCoords(fixes);
  calc.SetManualBandwidth(100);
  EXPECT_EQ(calc.GetScaledBandwidth(), 100.0);  // not rescaled yet
  calc.CalculateKernel();
  ASSERT_EQ(calc.lErrorStatus, 0);
  EXPECT_NEAR(calc.GetBandwidth(), 100.0 / ((sd[0] + sd[1]) / 2.0), 1e-12 * 100.0);
  EXPECT_NEAR(calc.GetScaledBandwidth(), 100.0, 1e-12 * 100.0);
}

TEST(CalculatorBandwidth, ProportionOfHrefIsAppliedByCalculateKernel) {
  clsKernelCalculator calc = Calculator(5, 300, 300, -500, -500);
  calc.SetInputCoords(BellFixes(50));
  calc.CalculateHREF();
  EXPECT_EQ(calc.GetEstimator(), BandwidthEstimator::be_HREF);
  const double href = calc.GetHREF();
  EXPECT_EQ(calc.GetBandwidth(), href);
  calc.SetProportionHRefBandwidth(0.5);
  EXPECT_EQ(calc.GetEstimator(), BandwidthEstimator::be_Manual);
  calc.CalculateKernel();
  ASSERT_EQ(calc.lErrorStatus, 0);
  EXPECT_EQ(calc.GetBandwidth(), 0.5 * href);
}

TEST(CalculatorBandwidth, UnminimizedSearchFallsBackToHrefWithAWarning) {
  // Every fix taken three times: the LSCV score falls without bound as h -> 0, so the lowest
  // score is at the minimum of the range.
  std::vector<CoordPair> fixes;
  for (const auto& f : ScatteredFixes(15)) fixes.insert(fixes.end(), 3, f);
  clsKernelCalculator calc;
  calc.SetInputCoords(fixes);
  calc.CalculateLSCV();
  EXPECT_EQ(calc.lErrorStatus, 0);
  EXPECT_FALSE(calc.LSCVMinimized);
  EXPECT_TRUE(calc.HasLSCVProfile);
  EXPECT_EQ(calc.GetBandwidth(), calc.GetHREF());
  EXPECT_EQ(calc.GetEstimator(), BandwidthEstimator::be_LSCV);
  EXPECT_EQ(calc.WarningMessages(),
            "Warning: the LSCV function failed to minimize between 0.05*HREF and 2.00*HREF. The bandwidth "
            "defaulted to HREF.\r");
}

std::size_t NonZeroCells(const KernelGrid& grid) {
  return static_cast<std::size_t>(
      std::count_if(grid.Values().begin(), grid.Values().end(), [](double v) { return v != 0.0; }));
}

TEST(CalculatorWindow, HalfWidthIsLimitRadiusOverCellSizePlusOne) {
  // 21 x 21 cells of 10; (105, 105) is the centre cell, (1, 1) the lower-left one; (235, 105)
  // lies two cells east of the grid. r = Int(limit / 10) + 1.
  const struct {
    CoordPair fix;
    double limitRadius;
    std::size_t cells;
  } cases[] = {
      {{105, 105}, 0, 9},    // no limit radius: r = 1, 3 x 3
      {{105, 105}, 25, 49},  // r = 3
      {{1, 1}, 0, 4},        // clipped at the corner
      {{235, 105}, 0, 0},    // more than r cells outside
      {{1e300, -1e300}, 0, 0},
  };
  for (const auto& c : cases) {
    clsKernelCalculator calc = Calculator(10, 21, 21);
    Calculate(calc, {c.fix}, 100, c.limitRadius);
    ASSERT_EQ(calc.lErrorStatus, 0);
    EXPECT_EQ(NonZeroCells(*calc.GetKernel()), c.cells) << c.fix[0] << ", " << c.limitRadius;
  }
}

// Density of every cell from the formulas (sqrt-and-exp form, map units, windows wider than
// the grid), row by row.
std::vector<double> DirectDensity(const std::vector<CoordPair>& fixes, std::span<const double> lambda,
                                  double h, double cellSize, int size) {
  std::vector<double> grid;
  for (int row = 0; row < size; ++row) {
    for (int col = 0; col < size; ++col) {
      const double xc = cellSize / 2 + col * cellSize;
      const double yc = size * cellSize - cellSize / 2 - row * cellSize;
      double sum = 0.0;
      for (std::size_t i = 0; i < fixes.size(); ++i) {
        const double l = lambda.empty() ? 1.0 : lambda[i];
        sum += gis::NormalKernel(std::hypot(fixes[i][1] - yc, fixes[i][0] - xc) / (l * h)) / (l * l);
      }
      grid.push_back(sum * 1e6 / (static_cast<double>(fixes.size()) * h * h));
    }
  }
  return grid;
}

TEST(CalculatorDensity, FixedAndAdaptiveKernelsMatchTheFormulas) {
  // Tolerance 1e-13 of the peak cell: the grid forms each kernel as the product of its x and
  // y factors, the formula as one exponential of the squared distance.
  // Adaptive factors: lambda_i = e(-L(p_i / G) / 2), p_i = sum_j K(d_ij / h) / (n h^2),
  // G = e(sum L(p_i) / n), L(x) = log(x) / log(2.718281828) as the tool forms it. Tolerance
  // 1e-12 relative (summation order).
  const auto fixes = ScatteredFixes(12, 300, 300);
  const double h = 60;
  std::vector<double> pilot(12), lambda(12);
  double logMean = 0;
  for (std::size_t i = 0; i < 12; ++i) {
    for (const auto& f : fixes)
      pilot[i] += gis::NormalKernel(std::hypot(fixes[i][0] - f[0], fixes[i][1] - f[1]) / h);
    pilot[i] /= 12 * h * h;
    logMean += gis::GuardedLog(pilot[i]) / 12;
  }
  for (std::size_t i = 0; i < 12; ++i)
    lambda[i] = std::exp(-0.5 * gis::GuardedLog(pilot[i] / std::exp(logMean)));

  for (const bool fixed : {true, false}) {
    clsKernelCalculator calc = Calculator(10, 30, 30);
    calc.SetFixedKernel(fixed);
    Calculate(calc, fixes, h, 600);
    ASSERT_EQ(calc.lErrorStatus, 0);
    const auto factors = calc.GetLocalBandwidthFactors();
    if (!fixed) {
      ASSERT_EQ(factors.size(), 12U);
      for (std::size_t i = 0; i < 12; ++i) EXPECT_NEAR(factors[i], lambda[i], 1e-12 * lambda[i]) << i;
    }
    const auto expected = DirectDensity(fixes, factors, h, 10, 30);
    const double peak = *std::max_element(expected.begin(), expected.end());
    const auto actual = calc.GetKernel()->Values();
    for (std::size_t k = 0; k < expected.size(); ++k) EXPECT_NEAR(actual[k], expected[k], 1e-13 * peak) << k;
  }
}

TEST(CalculatorDensity, AdaptiveGridMatchesThePlainSumOnHardSets) {
  // The pilot leaves out fixes too far away to matter (below 1e-15 of each pilot density), so
  // the adaptive grid must equal the plain sum over every pair and every fix, with factors from
  // an independent long-double pilot, within 1e-10 of the grid's maximum. Grid 300 x 300 map
  // units in cells of 5, h = 6: the sets span up to 50 h, so the pilot's cut-off acts.
  struct Case {
    const char* name;
    std::vector<CoordPair> fixes;
  };
  std::vector<Case> cases;
  auto cloud = [](std::vector<CoordPair>& fixes, std::size_t n, double x, double y, double side) {
    for (const auto& f : ScatteredFixes(n, side, side)) fixes.push_back({x + f[0], y + f[1]});
  };
  cases.push_back({"clustered", {}});
  cloud(cases.back().fixes, 120, 20, 20, 8);
  cloud(cases.back().fixes, 60, 260, 250, 4);
  cases.push_back({"repeated", std::vector<CoordPair>(80, CoordPair{150.5, 149.25})});
  cloud(cases.back().fixes, 30, 100, 100, 100);
  cases.push_back({"grid edge", {{0.5, 0.5}, {299.5, 0.2}, {0.1, 299.9}, {299.9, 299.9}, {150, 0.01}}});
  cloud(cases.back().fixes, 40, 0, 0, 300);
  cases.push_back({"unequal bandwidths", {}});
  cloud(cases.back().fixes, 200, 148, 148, 3);
  cloud(cases.back().fixes, 15, 0, 0, 300);
  const double h = 6;
  for (const Case& c : cases) {
    const std::size_t n = c.fixes.size();
    // The pilot in long double over every pair; the factors from it by the tool's formulas
    // (its logarithm divides by log(2.718281828)), so only the pilot's error remains.
    std::vector<double> pilot(n);
    double logSum = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
      long double sum = 0.0L;
      for (const auto& f : c.fixes) {
        const long double dx = static_cast<long double>(c.fixes[i][0]) - f[0];
        const long double dy = static_cast<long double>(c.fixes[i][1]) - f[1];
        sum += std::exp(-(dx * dx + dy * dy) / (2.0L * h * h));
      }
      pilot[i] = static_cast<double>(sum / gis::kTwoPi / (static_cast<long double>(n) * h * h));
      logSum += gis::GuardedLog(pilot[i]);
    }
    const double g = gis::GuardedExp(logSum / static_cast<double>(n));
    std::vector<double> lambda(n);
    for (std::size_t i = 0; i < n; ++i) lambda[i] = gis::GuardedExp(-0.5 * gis::GuardedLog(pilot[i] / g));

    clsKernelCalculator calc = Calculator(5, 60, 60);
    calc.SetFixedKernel(false);
    Calculate(calc, c.fixes, h, 600);
    ASSERT_EQ(calc.lErrorStatus, 0) << c.name;
    const auto factors = calc.GetLocalBandwidthFactors();
    // 1e-12 relative: the pilot within 2e-15 of the plain sum plus the rounding of its terms.
    for (std::size_t i = 0; i < n; ++i)
      ASSERT_NEAR(factors[i], lambda[i], 1e-12 * lambda[i]) << c.name << " " << i;
    const auto expected = DirectDensity(c.fixes, factors, h, 5, 60);
    const double peak = *std::max_element(expected.begin(), expected.end());
    const auto actual = calc.GetKernel()->Values();
    for (std::size_t k = 0; k < expected.size(); ++k)
      ASSERT_NEAR(actual[k], expected[k], 1e-10 * peak) << c.name << " cell " << k;
  }
}

TEST(CalculatorDensity, VolumeOfAWellCoveredGridIsTheScalingFactor) {
  // A normal kernel integrates to 1, so a grid holding every fix's kernel out to its limit
  // radius has a volume of the scaling factor, short of the mass beyond the window (at most
  // e^-8 = 3.4e-4 beyond 4 h) and the cell sum's error. Tolerance 1e-3 relative. With
  // rescaling the densities are converted back to map units, so the same holds.
  auto stretched = BellFixes(150);
  for (auto& f : stretched) f[0] *= 3.0;  // x in [0, 3000), y in [0, 1000)
  const struct {
    bool rescale;
    double scaling;
  } cases[] = {{false, 1e6}, {true, 1.0}};
  for (const auto& c : cases) {
    clsKernelCalculator calc = Calculator(5, 1080, 320, -1200, -300);
    calc.SetEnforceUnitVariance(c.rescale);
    calc.SetScalingFactor(c.scaling);
    calc.SetInputCoords(stretched);
    calc.CalculateHREF();
    calc.SetLimitRadius((c.rescale ? 6 : 4) * calc.GetScaledBandwidth());
    calc.CalculateKernel();
    ASSERT_EQ(calc.lErrorStatus, 0);
    EXPECT_NEAR(calc.GetKernelVolume(), c.scaling, 1e-3 * c.scaling) << "rescale " << c.rescale;
  }
}

TEST(CalculatorDensity, ThreadCountDoesNotChangeTheGrid) {
  auto run = [](unsigned threads) {
    clsKernelCalculator calc = Calculator(5, 250, 230, -100, -50);
    calc.SetWorkerThreads(threads);
    calc.SetFixedKernel(false);
    Calculate(calc, BellFixes(300), 40, 160);
    EXPECT_EQ(calc.lErrorStatus, 0);
    return std::vector<double>(calc.GetKernel()->Values().begin(), calc.GetKernel()->Values().end());
  };
  const auto one = run(1);
  const auto three = run(3);
  EXPECT_EQ(one, three);
}

}  // namespace
}  // namespace orvex::ui

namespace orvex::ui {
namespace {

// The normalisation runs in vectors of the widest instruction set; on widths that leave
// vector tails every cell must still be v * s / (n h^2) / (sdY sdX) to the bit, and the volume
// the column-major sum, as the plain loops give them.
TEST(CalculatorDensity, NormalisationIsTheScalarFormulaToTheBit) {
  for (const std::int32_t columns : {1, 7, 13, 64}) {
    SCOPED_TRACE(columns);
    const std::int32_t rows = 5;
    KernelGrid grid(columns, rows);
    for (std::size_t i = 0; i < grid.Values().size(); ++i)
      grid.Values()[i] = std::ldexp(1.0 + 0.37 * static_cast<double>(i % 11), -static_cast<int>(i % 40));
    std::vector<double> expected(grid.Values().begin(), grid.Values().end());
    const double nh2 = 17.0 * 3.3 * 3.3;
    const double sdXY = 1.7 * 0.9;
    for (double& v : expected) v = v * 1e6 / nh2 / sdXY;
    double volume = 0.0;
    for (std::int32_t c = 0; c < columns; ++c)
      for (std::int32_t r = 0; r < rows; ++r) volume += expected[static_cast<std::size_t>(r * columns + c)];

    // The cells to the bit; the volume, a sum of positive terms taken in another order, within
    // a few units in the last place (n eps = 3.5e-14 relative for 320 cells).
    EXPECT_NEAR(NormaliseDensity(grid, 1e6, 17, 3.3, 0.9, 1.7, 3), 3 * volume * 3, 4e-14 * 9 * volume);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), grid.Values().begin()));
  }
}

}  // namespace
}  // namespace orvex::ui
