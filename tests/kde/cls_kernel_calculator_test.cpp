// clsKernelCalculator without the host: grid size check, setters, status codes and messages,
// bandwidth preparation, window rule, densities against the formulas, volume, adaptive factors.

#include "ui/kde/cls_kernel_calculator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "kde/kde_test_data.h"
#include "ui/gis/kernel_math.h"
#include "ui/kde/fixed_chunks.h"

namespace orvex::ui {
namespace {

using test::BellFixes;
using test::ScatteredFixes;

constexpr char kTooLarge[] =
    "Output raster is too large (> 50 million cells). Kernel could not be calculated. Please increase the "
    "output "
    "cell size.\r";

// A calculator with a grid of `columns` x `rows` cells of `cellSize` whose lower-left corner is
// (originX, originY).
clsKernelCalculator Calculator(double cellSize, std::int32_t columns, std::int32_t rows, double originX = 0.0,
                               double originY = 0.0) {
  clsKernelCalculator calc;
  calc.SetCellSize(cellSize);
  calc.SetColumns(columns);
  calc.SetRows(rows);
  calc.SetOriginCoords(originX, originY);
  return calc;
}

std::size_t NonZeroCells(const KernelGrid& grid) {
  std::size_t count = 0;
  for (double v : grid.Values()) count += v != 0.0 ? 1 : 0;
  return count;
}

// ---------------------------------------------------------------------------------------
// Grid size

TEST(CalculatorSize, FiftyMillionCellsPass) {
  clsKernelCalculator calc;
  calc.SetRows(5'000);
  calc.SetColumns(10'000);
  EXPECT_EQ(calc.lErrorStatus, 0);
  EXPECT_EQ(calc.WarningMessages(), "");
}

TEST(CalculatorSize, OneCellMoreIsRefusedWithTheMessageFromSetColumns) {
  clsKernelCalculator calc;
  calc.SetRows(1);
  calc.SetColumns(50'000'001);
  EXPECT_EQ(calc.lErrorStatus, clsKernelCalculator::kGridTooLarge);
  EXPECT_EQ(calc.WarningMessages(), kTooLarge);
}

TEST(CalculatorSize, SetRowsRefusesWithoutAMessage) {
  clsKernelCalculator calc;
  calc.SetColumns(50'000'001);
  calc.SetRows(1);
  EXPECT_EQ(calc.lErrorStatus, clsKernelCalculator::kGridTooLarge);
  EXPECT_EQ(calc.WarningMessages(), "");
}

TEST(CalculatorSize, ProductBeyond32BitsIsRefusedNotWrapped) {
  // 65,536 x 65,536 = 2^32 would wrap to 0 in 32-bit arithmetic.
  clsKernelCalculator calc;
  calc.SetRows(65'536);
  calc.SetColumns(65'536);
  EXPECT_EQ(calc.lErrorStatus, clsKernelCalculator::kGridTooLarge);
}

TEST(CalculatorSize, StaleRefusalClearsWhenThePairFits) {
  // A per-animal grid set columns first meets the previous animal's rows.
  clsKernelCalculator calc;
  calc.SetRows(20'000);
  calc.SetColumns(5'000);  // 1e8 with the old rows
  ASSERT_EQ(calc.lErrorStatus, clsKernelCalculator::kGridTooLarge);
  calc.SetRows(100);  // 500,000 cells
  EXPECT_EQ(calc.lErrorStatus, 0);
  EXPECT_EQ(calc.WarningMessages(), "");
}

TEST(CalculatorSize, OversizedRunGridIsNotComputedAfterSetInputCoords) {
  // The grid of the whole run is set before the animals; SetInputCoords clears the status,
  // so CalculateKernel must refuse again rather than allocate 400 MB and more.
  clsKernelCalculator calc = Calculator(1, 10'000, 5'001);
  calc.SetInputCoords(ScatteredFixes(10));
  EXPECT_EQ(calc.lErrorStatus, 0);
  calc.SetManualBandwidth(50);
  calc.CalculateKernel();
  EXPECT_EQ(calc.lErrorStatus, clsKernelCalculator::kGridTooLarge);
  EXPECT_EQ(calc.WarningMessages(), kTooLarge);
  EXPECT_EQ(calc.GetKernel(), nullptr);
  calc.CalculateKernel();  // the message is not repeated
  EXPECT_EQ(calc.WarningMessages(), kTooLarge);
}

// ---------------------------------------------------------------------------------------
// Setters and getters

TEST(CalculatorSetters, CellSizeRoundsHalvesToEven) {
  clsKernelCalculator calc;
  calc.SetCellSize(12.5);
  EXPECT_EQ(calc.GetCellSize(), 12.0);
  calc.SetCellSize(13.5);
  EXPECT_EQ(calc.GetCellSize(), 14.0);
  calc.SetCellSize(-3);  // ignored
  EXPECT_EQ(calc.GetCellSize(), 14.0);
  EXPECT_THROW(calc.SetCellSize(3e9), host::Error);
}

TEST(CalculatorSetters, NonPositiveValuesAreIgnored) {
  clsKernelCalculator calc = Calculator(10, 20, 30, 5, 6);
  calc.SetRows(0);
  calc.SetColumns(-4);
  EXPECT_EQ(calc.GetRowCount(), 30);
  EXPECT_EQ(calc.GetColumnCount(), 20);
  EXPECT_EQ(calc.GetOriginX(), 5.0);
  EXPECT_EQ(calc.GetOriginY(), 6.0);
  calc.SetManualBandwidth(40);
  calc.SetManualBandwidth(0);
  EXPECT_EQ(calc.GetBandwidth(), 40.0);
  EXPECT_EQ(calc.GetEstimator(), BandwidthEstimator::be_Manual);
}

TEST(CalculatorSetters, ProportionMakesTheEstimatorManual) {
  clsKernelCalculator calc;
  calc.SetInputCoords(ScatteredFixes(20));
  calc.CalculateHREF();
  EXPECT_EQ(calc.GetEstimator(), BandwidthEstimator::be_HREF);
  calc.SetProportionHRefBandwidth(-1);  // ignored, yet the estimator changes
  EXPECT_EQ(calc.GetEstimator(), BandwidthEstimator::be_Manual);
}

TEST(CalculatorSetters, KernelIsEmptyBeforeCalculationAndAfterAnySetter) {
  clsKernelCalculator calc = Calculator(10, 50, 50);
  calc.SetInputCoords(ScatteredFixes(10, 400, 400, 50, 50));
  EXPECT_EQ(calc.GetKernel(), nullptr);
  calc.SetManualBandwidth(30);
  calc.CalculateKernel();
  ASSERT_NE(calc.GetKernel(), nullptr);
  calc.SetScalingFactor(2);
  EXPECT_EQ(calc.GetKernel(), nullptr);
}

TEST(CalculatorSetters, SetInputCoordsResetsTheAnimalButKeepsTheBandwidth) {
  clsKernelCalculator calc = Calculator(10, 50, 50);
  calc.SetInputCoords(ScatteredFixes(10));
  calc.CalculateKernel();  // bandwidth 0: 5001 and a message
  ASSERT_EQ(calc.lErrorStatus, clsKernelCalculator::kNothingToCalculate);
  calc.SetManualBandwidth(25);
  calc.SetInputCoords(ScatteredFixes(12));
  EXPECT_EQ(calc.lErrorStatus, 0);
  EXPECT_EQ(calc.WarningMessages(), "");
  EXPECT_EQ(calc.GetBandwidth(), 25.0);
  EXPECT_EQ(calc.GetEstimator(), BandwidthEstimator::be_Manual);
}

// ---------------------------------------------------------------------------------------
// Bandwidth preparation and its statuses

TEST(CalculatorBandwidth, ZeroBandwidthIsCode5001) {
  clsKernelCalculator calc = Calculator(10, 50, 50);
  calc.SetInputCoords(ScatteredFixes(10));
  calc.CalculateKernel();
  EXPECT_EQ(calc.lErrorStatus, clsKernelCalculator::kNothingToCalculate);
  EXPECT_EQ(calc.WarningMessages(),
            "The bandwidth or dimensions of the output raster were 0. Could not calculate kernel.\r");
  EXPECT_EQ(calc.GetKernel(), nullptr);
}

TEST(CalculatorBandwidth, GridWithoutRowsIsCode5001) {
  clsKernelCalculator calc;
  calc.SetCellSize(10);
  calc.SetColumns(10);
  calc.SetInputCoords(ScatteredFixes(10));
  calc.SetManualBandwidth(50);
  calc.CalculateKernel();
  EXPECT_EQ(calc.lErrorStatus, clsKernelCalculator::kNothingToCalculate);
}

TEST(CalculatorBandwidth, JustBelowTheCellSizeIsCode5002) {
  clsKernelCalculator calc = Calculator(10, 50, 50);
  calc.SetInputCoords(ScatteredFixes(10, 400, 400));
  calc.SetManualBandwidth(9.999);
  calc.CalculateKernel();
  EXPECT_EQ(calc.lErrorStatus, clsKernelCalculator::kBandwidthBelowCellSize);
  EXPECT_EQ(calc.WarningMessages(),
            "The bandwidth (9.999) is smaller than the cell size (10). Processing aborted.\r");
  EXPECT_EQ(calc.GetKernel(), nullptr);
}

TEST(CalculatorBandwidth, EqualToTheCellSizePasses) {
  clsKernelCalculator calc = Calculator(10, 50, 50);
  calc.SetInputCoords(ScatteredFixes(10, 400, 400));
  calc.SetManualBandwidth(10);
  calc.CalculateKernel();
  EXPECT_EQ(calc.lErrorStatus, 0);
  EXPECT_NE(calc.GetKernel(), nullptr);
}

TEST(CalculatorBandwidth, ErrorStatusBlocksTheNextCalculation) {
  clsKernelCalculator calc = Calculator(10, 50, 50);
  calc.SetInputCoords(ScatteredFixes(10, 400, 400));
  calc.SetManualBandwidth(5);
  calc.CalculateKernel();
  ASSERT_EQ(calc.lErrorStatus, clsKernelCalculator::kBandwidthBelowCellSize);
  calc.SetManualBandwidth(50);
  calc.CalculateKernel();  // still blocked until SetInputCoords
  EXPECT_EQ(calc.lErrorStatus, clsKernelCalculator::kBandwidthBelowCellSize);
  EXPECT_EQ(calc.GetKernel(), nullptr);
}

TEST(CalculatorBandwidth, RescaledManualBandwidthGetters) {
  // sd x and sd y from the sample variances; the manual bandwidth (map units) is divided by
  // their mean. Tolerance 1e-12 relative (one division and one multiplication).
  const auto fixes = ScatteredFixes(30, 800, 200);
  double sdX = 0, sdY = 0;
  {
    double mx = 0, my = 0;
    for (const auto& f : fixes) mx += f[0], my += f[1];
    mx /= 30, my /= 30;
    for (const auto& f : fixes) sdX += (f[0] - mx) * (f[0] - mx), sdY += (f[1] - my) * (f[1] - my);
    sdX = std::sqrt(sdX / 29), sdY = std::sqrt(sdY / 29);
  }
  clsKernelCalculator calc = Calculator(5, 200, 100, -100, -100);
  calc.SetEnforceUnitVariance(true);
  calc.SetInputCoords(fixes);
  calc.SetManualBandwidth(100);
  EXPECT_EQ(calc.GetScaledBandwidth(), 100.0);  // not rescaled yet
  calc.CalculateKernel();
  ASSERT_EQ(calc.lErrorStatus, 0);
  EXPECT_NEAR(calc.GetBandwidth(), 100.0 / ((sdX + sdY) / 2.0), 1e-12 * 100.0);
  EXPECT_NEAR(calc.GetScaledBandwidth(), 100.0, 1e-12 * 100.0);
}

TEST(CalculatorBandwidth, ProportionOfHrefIsAppliedOnce) {
  clsKernelCalculator calc = Calculator(5, 300, 300, -500, -500);
  const auto fixes = BellFixes(50);
  calc.SetInputCoords(fixes);
  calc.CalculateHREF();
  const double href = calc.GetHREF();
  EXPECT_EQ(calc.GetBandwidth(), href);
  calc.SetProportionHRefBandwidth(0.5);
  calc.CalculateKernel();
  ASSERT_EQ(calc.lErrorStatus, 0);
  EXPECT_EQ(calc.GetBandwidth(), 0.5 * href);
}

TEST(CalculatorBandwidth, FailedHrefIsReportedAndForgetsTheOldBandwidth) {
  clsKernelCalculator calc = Calculator(10, 50, 50);
  calc.SetInputCoords(ScatteredFixes(20, 400, 400));
  calc.CalculateHREF();
  ASSERT_GT(calc.GetBandwidth(), 0.0);
  calc.SetInputCoords(std::vector<CoordPair>{{100, 100}});  // one fix: no href
  calc.CalculateHREF();
  EXPECT_EQ(calc.lErrorStatus, clsKernelCalculator::kBandwidthSearchFailed);
  EXPECT_EQ(calc.GetBandwidth(), 0.0);
  calc.CalculateKernel();  // blocked
  EXPECT_EQ(calc.lErrorStatus, clsKernelCalculator::kBandwidthSearchFailed);
  EXPECT_EQ(calc.GetKernel(), nullptr);
}

TEST(CalculatorBandwidth, FailedBcvIsCode2900) {
  clsKernelCalculator calc = Calculator(1, 50, 50);
  calc.SetInputCoords(ScatteredFixes(20, 40, 40));
  calc.CalculateLSCV();
  ASSERT_EQ(calc.lErrorStatus, 0);
  calc.SetInputCoords(std::vector<CoordPair>{{0, 0}, {30, 30}});  // BCV2 divides by n - 2
  calc.CalculateBCV();
  EXPECT_EQ(calc.lErrorStatus, clsKernelCalculator::kBandwidthSearchFailed);
  EXPECT_EQ(calc.GetBandwidth(), 0.0);
  EXPECT_FALSE(calc.HasLSCVProfile);
  EXPECT_FALSE(calc.GetLSCVProfile().has_value());
}

TEST(CalculatorBandwidth, MinimizedLscvTakesTheSearchResult) {
  const auto fixes = BellFixes(120);
  clsLSCV direct;
  direct.SetInputCoords(fixes);
  direct.CalculateLSCV();
  ASSERT_TRUE(direct.bMinimized);

  clsKernelCalculator calc;
  calc.SetInputCoords(fixes);
  calc.CalculateLSCV();
  EXPECT_EQ(calc.lErrorStatus, 0);
  EXPECT_TRUE(calc.LSCVMinimized);
  EXPECT_TRUE(calc.HasLSCVProfile);
  EXPECT_EQ(calc.GetBandwidth(), direct.GetBandwidth());
  EXPECT_EQ(calc.GetHREF(), direct.GetHREF());
  EXPECT_EQ(calc.GetEstimator(), BandwidthEstimator::be_LSCV);
  EXPECT_EQ(calc.GetLSCVProfile()->score, direct.GetLSCVProfile()->score);
  EXPECT_EQ(calc.WarningMessages(), "");
}

TEST(CalculatorBandwidth, UnminimizedLscvFallsBackToHrefWithAWarning) {
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
  EXPECT_EQ(calc.WarningMessages(),
            "Warning: the LSCV function failed to minimize between 0.05*HREF and 2.00*HREF. The bandwidth "
            "defaulted to HREF.\r");
}

TEST(CalculatorBandwidth, UnminimizedBcvWarningKeepsItsOwnWording) {
  std::vector<CoordPair> fixes;
  for (const auto& f : ScatteredFixes(15)) fixes.insert(fixes.end(), 3, f);
  clsKernelCalculator calc;
  calc.SetInputCoords(fixes);
  calc.CalculateBCV();
  ASSERT_EQ(calc.lErrorStatus, 0);
  if (!calc.LSCVMinimized) {
    EXPECT_EQ(calc.WarningMessages(),
              "Warning: the BCV function failed to minimize between 0.05*HREF and 2.00*HREF. The bandwidth "
              "defaulted to HREF.\r");
  }
  EXPECT_EQ(calc.GetEstimator(), BandwidthEstimator::be_BCV);
}

// ---------------------------------------------------------------------------------------
// Window rule and densities

TEST(CalculatorWindow, NoLimitRadiusReachesThreeByThreeCells) {
  clsKernelCalculator calc = Calculator(10, 21, 21);
  calc.SetInputCoords(std::vector<CoordPair>{{105, 105}});
  calc.SetManualBandwidth(100);  // wide enough that all 9 cells are far from 0
  calc.CalculateKernel();
  ASSERT_EQ(calc.lErrorStatus, 0);
  EXPECT_EQ(NonZeroCells(*calc.GetKernel()), 9U);
  // The fix at (105, 105) lies in column 10 and, counted from the top edge y = 210, row 10.
  EXPECT_GT(calc.GetKernel()->At(9, 9), 0.0);
  EXPECT_GT(calc.GetKernel()->At(11, 11), 0.0);
  EXPECT_EQ(calc.GetKernel()->At(12, 10), 0.0);
}

TEST(CalculatorWindow, LimitRadiusSetsTheWindowHalfWidth) {
  // r = Int(25 / 10) + 1 = 3: 7 x 7 cells.
  clsKernelCalculator calc = Calculator(10, 21, 21);
  calc.SetInputCoords(std::vector<CoordPair>{{105, 105}});
  calc.SetManualBandwidth(100);
  calc.SetLimitRadius(25);
  calc.CalculateKernel();
  ASSERT_EQ(calc.lErrorStatus, 0);
  EXPECT_EQ(NonZeroCells(*calc.GetKernel()), 49U);
  EXPECT_EQ(WindowRadiusCells(25, 10), 3.0);
  EXPECT_EQ(WindowRadiusCells(30, 10), 4.0);
  EXPECT_EQ(WindowRadiusCells(0, 10), 1.0);
}

TEST(CalculatorWindow, WindowIsClippedAtTheGridEdge) {
  // A fix in the lower-left corner cell (column 0, bottom row 20): with r = 1 only 2 x 2 cells.
  clsKernelCalculator calc = Calculator(10, 21, 21);
  calc.SetInputCoords(std::vector<CoordPair>{{1, 1}});
  calc.SetManualBandwidth(100);
  calc.CalculateKernel();
  ASSERT_EQ(calc.lErrorStatus, 0);
  EXPECT_EQ(NonZeroCells(*calc.GetKernel()), 4U);
  EXPECT_GT(calc.GetKernel()->At(0, 20), 0.0);
  EXPECT_GT(calc.GetKernel()->At(1, 19), 0.0);
}

TEST(CalculatorWindow, FixFarOutsideContributesNothing) {
  clsKernelCalculator calc = Calculator(10, 21, 21);
  // Two cells beyond the east edge with r = 1, and one far beyond any integer range.
  calc.SetInputCoords(std::vector<CoordPair>{{235, 105}, {1e300, -1e300}});
  calc.SetManualBandwidth(100);
  calc.CalculateKernel();
  ASSERT_EQ(calc.lErrorStatus, 0);
  EXPECT_EQ(NonZeroCells(*calc.GetKernel()), 0U);
  EXPECT_EQ(calc.GetKernelVolume(), 0.0);
}

// Density of every cell from the formulas, sqrt-and-exp form, for fixes in map units.
// Windows are not applied: the test grids lie within every fix's window.
std::vector<double> DirectDensity(const std::vector<CoordPair>& fixes, const std::vector<double>& lambda,
                                  double h, double cellSize, int columns, int rows, double originX,
                                  double originY, double scaling) {
  std::vector<double> grid(static_cast<std::size_t>(columns * rows), 0.0);
  const double top = originY + rows * cellSize;
  for (int row = 0; row < rows; ++row) {
    for (int col = 0; col < columns; ++col) {
      const double xc = originX + cellSize / 2 + col * cellSize;
      const double yc = top - cellSize / 2 - row * cellSize;
      double sum = 0.0;
      for (std::size_t i = 0; i < fixes.size(); ++i) {
        const double l = lambda.empty() ? 1.0 : lambda[i];
        const double t = std::sqrt(std::pow(fixes[i][1] - yc, 2) + std::pow(fixes[i][0] - xc, 2)) / (l * h);
        sum += gis::NormalKernel(t) / (l * l);
      }
      grid[static_cast<std::size_t>(row * columns + col)] =
          sum * scaling / (static_cast<double>(fixes.size()) * h * h);
    }
  }
  return grid;
}

TEST(CalculatorDensity, FixedKernelMatchesTheFormula) {
  // 40 fixes in a 200 x 200 square, grid 40 x 40 cells of 5 over it, limit radius covering the
  // grid. Tolerance 1e-13 relative to the largest cell: the grid forms each kernel as the
  // product of its x and y factors, the formula as one exponential of the squared distance.
  const auto fixes = ScatteredFixes(40, 200, 200);
  clsKernelCalculator calc = Calculator(5, 40, 40);
  calc.SetInputCoords(fixes);
  calc.SetManualBandwidth(30);
  calc.SetLimitRadius(400);
  calc.CalculateKernel();
  ASSERT_EQ(calc.lErrorStatus, 0);
  const auto expected = DirectDensity(fixes, {}, 30, 5, 40, 40, 0, 0, 1e6);
  const auto actual = calc.GetKernel()->Values();
  const double peak = *std::max_element(expected.begin(), expected.end());
  for (std::size_t k = 0; k < expected.size(); ++k) EXPECT_NEAR(actual[k], expected[k], 1e-13 * peak) << k;
}

TEST(CalculatorDensity, AdaptiveFactorsMatchTheFormula) {
  // lambda_i = e(-L(p_i / G) / 2), p_i = sum_j K(d_ij / h) / (n h^2), G = e(sum L(p_i) / n),
  // with L(x) = log(x) / log(2.718281828) as the tool forms it (with log itself lambda moves
  // by about 1e-9). Tolerance 1e-12 relative: only the summation order of the pilot sums
  // differs.
  const auto fixes = ScatteredFixes(12, 300, 300);
  const double h = 60;
  const double n = 12;
  std::vector<double> pilot(12);
  double logMean = 0;
  for (std::size_t i = 0; i < 12; ++i) {
    for (std::size_t j = 0; j < 12; ++j) {
      pilot[i] += gis::NormalKernel(std::hypot(fixes[i][0] - fixes[j][0], fixes[i][1] - fixes[j][1]) / h);
    }
    pilot[i] /= n * h * h;
    logMean += gis::GuardedLog(pilot[i]) / n;
  }
  clsKernelCalculator calc = Calculator(10, 30, 30);
  calc.SetFixedKernel(false);
  calc.SetInputCoords(fixes);
  calc.SetManualBandwidth(h);
  calc.SetLimitRadius(600);
  calc.CalculateKernel();
  ASSERT_EQ(calc.lErrorStatus, 0);
  const auto lambda = calc.GetLocalBandwidthFactors();
  ASSERT_EQ(lambda.size(), 12U);
  std::vector<double> expectedLambda(12);
  for (std::size_t i = 0; i < 12; ++i) {
    expectedLambda[i] = std::exp(-0.5 * gis::GuardedLog(pilot[i] / std::exp(logMean)));
    EXPECT_NEAR(lambda[i], expectedLambda[i], 1e-12 * expectedLambda[i]) << i;
  }
  // And the grid uses them: the formula with the calculator's own factors, 1e-13 of the peak.
  const auto expected = DirectDensity(fixes, {lambda.begin(), lambda.end()}, h, 10, 30, 30, 0, 0, 1e6);
  const double peak = *std::max_element(expected.begin(), expected.end());
  const auto actual = calc.GetKernel()->Values();
  for (std::size_t k = 0; k < expected.size(); ++k) EXPECT_NEAR(actual[k], expected[k], 1e-13 * peak) << k;
}

TEST(CalculatorDensity, IdenticalFixesShareTheirFactor) {
  std::vector<CoordPair> fixes = ScatteredFixes(8, 300, 300);
  fixes.push_back(fixes[3]);
  clsKernelCalculator calc = Calculator(10, 30, 30);
  calc.SetFixedKernel(false);
  calc.SetInputCoords(fixes);
  calc.SetManualBandwidth(50);
  calc.CalculateKernel();
  ASSERT_EQ(calc.lErrorStatus, 0);
  EXPECT_EQ(calc.GetLocalBandwidthFactors()[3], calc.GetLocalBandwidthFactors()[8]);
}

TEST(CalculatorDensity, VolumeOfAWellCoveredGridIsTheScalingFactor) {
  // A normal kernel integrates to 1, so a grid covering every fix's kernel out to 4 h (the
  // batch run's limit radius) holds the scaling factor up to the mass beyond 4 h
  // (e^-8 = 3.4e-4 for a disc; less for the square window) and the cell sum's error.
  // Tolerance 1e-3 relative.
  const auto fixes = BellFixes(200);
  clsKernelCalculator calc = Calculator(4, 400, 400, -300, -300);
  calc.SetInputCoords(fixes);
  calc.CalculateHREF();
  calc.SetLimitRadius(4 * calc.GetScaledBandwidth());
  calc.CalculateKernel();
  ASSERT_EQ(calc.lErrorStatus, 0);
  EXPECT_NEAR(calc.GetKernelVolume(), 1e6, 1e3);
}

TEST(CalculatorDensity, RescaledVolumeStaysInMapUnits) {
  // With unit-variance rescaling the densities are converted back to map units, so the volume
  // is again about the scaling factor (here 1, tolerance 1e-3 relative).
  auto fixes = BellFixes(150);
  for (auto& f : fixes) f[0] *= 3.0;  // x spread three times y's: x in [0, 3000), y in [0, 1000)
  clsKernelCalculator calc = Calculator(5, 1080, 320, -1200, -300);
  calc.SetEnforceUnitVariance(true);
  calc.SetScalingFactor(1);
  calc.SetInputCoords(fixes);
  calc.CalculateHREF();
  calc.SetLimitRadius(6 * calc.GetScaledBandwidth());
  calc.CalculateKernel();
  ASSERT_EQ(calc.lErrorStatus, 0);
  EXPECT_NEAR(calc.GetKernelVolume(), 1.0, 1e-3);
}

TEST(CalculatorDensity, ThreadCountDoesNotChangeTheGrid) {
  const auto fixes = BellFixes(300);
  auto run = [&](unsigned threads) {
    SetWorkerThreadLimit(threads);
    clsKernelCalculator calc = Calculator(5, 250, 230, -100, -50);
    calc.SetFixedKernel(false);
    calc.SetInputCoords(fixes);
    calc.SetManualBandwidth(40);
    calc.SetLimitRadius(160);
    calc.CalculateKernel();
    EXPECT_EQ(calc.lErrorStatus, 0);
    return std::vector<double>(calc.GetKernel()->Values().begin(), calc.GetKernel()->Values().end());
  };
  const auto one = run(1);
  const auto three = run(3);
  SetWorkerThreadLimit(0);
  EXPECT_EQ(one, three);
}

}  // namespace
}  // namespace orvex::ui
