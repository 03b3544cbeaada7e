// The KDE numeric classes on a real track: one brown bear, 1,000 GPS fixes (13 repeated
// positions, coordinates near 6.8e6), from the shared test data.

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ui/kde/cls_kernel_calculator.h"

namespace orvex::ui {
namespace {

TEST(BearTrack, BothPairSumMethodsAndAFullExtentGrid) {
  const std::filesystem::path file = std::filesystem::path(ORVEX_SHARED_DATA) / "bear" / "bear.csv";
  if (!std::filesystem::exists(file)) GTEST_SKIP() << "shared test data not found: " << file;
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);  // AnimalID,X,Y,...
  std::vector<CoordPair> fixes;
  while (std::getline(in, line)) {  // locale-independent parse of X and Y
    const auto x = line.find(',') + 1, y = line.find(',', x) + 1;
    CoordPair& f = fixes.emplace_back();
    std::from_chars(line.data() + x, line.data() + y - 1, f[0]);
    std::from_chars(line.data() + y, line.data() + line.find(',', y), f[1]);
  }
  ASSERT_EQ(fixes.size(), 1000U);

  // Far from the origin the distances lose digits, so both pair-sum methods must form them
  // the same way: scores within 1e-10 relative (the moments' error bound is about 1e-15 on
  // each positive sum; the LSCV sum is a difference of two) and the same bandwidth
  // (first 300 fixes, to keep the test short).
  const std::vector<CoordPair> first(fixes.begin(), fixes.begin() + 300);
  std::vector<double> scores[2];
  double chosen[2] = {0, 0};
  for (const PairSumMethod method : {PairSumMethod::exact, PairSumMethod::moments}) {
    const auto m = static_cast<std::size_t>(method == PairSumMethod::moments);
    clsLSCV lscv;
    lscv.SetPairScanOptions({.chunkPairs = 4099, .method = method});
    lscv.SetInputCoords(first);
    lscv.CalculateLSCV();
    ASSERT_EQ(lscv.lErrorStatus, 0);
    scores[m] = lscv.GetLSCVProfile()->score;
    chosen[m] = lscv.GetBandwidth();
  }
  for (std::size_t k = 0; k < scores[0].size(); ++k)
    EXPECT_NEAR(scores[1][k], scores[0][k], 1e-10 * std::abs(scores[0][k]));
  EXPECT_EQ(chosen[0], chosen[1]);

  // The batch run's full extent: the fixes' extent plus 4 h each side, limit radius 4 h.
  // Volume within 2e-3 of the scaling factor (kernel mass beyond 4 h <= e^-8, cell sum).
  clsKernelCalculator calc;
  calc.SetInputCoords(fixes);
  calc.CalculateHREF();
  const double h = calc.GetScaledBandwidth();
  const auto [xmin, xmax] =
      std::minmax_element(fixes.begin(), fixes.end(), [](auto& a, auto& b) { return a[0] < b[0]; });
  const auto [ymin, ymax] =
      std::minmax_element(fixes.begin(), fixes.end(), [](auto& a, auto& b) { return a[1] < b[1]; });
  calc.SetCellSize(std::max(1.0, h / 5));
  const double c = calc.GetCellSize();
  calc.SetColumns(static_cast<std::int32_t>((8 * h + (*xmax)[0] - (*xmin)[0]) / c));
  calc.SetRows(static_cast<std::int32_t>((8 * h + (*ymax)[1] - (*ymin)[1]) / c));
  calc.SetOriginCoords((*xmin)[0] - 4 * h, (*ymin)[1] - 4 * h);
  calc.SetLimitRadius(4 * h);
  calc.CalculateKernel();
  ASSERT_EQ(calc.lErrorStatus, 0) << calc.WarningMessages();
  EXPECT_NEAR(calc.GetKernelVolume(), 1e6, 2e3);
}

}  // namespace
}  // namespace orvex::ui
