// The KDE numeric classes on a real track: one brown bear, 1,000 GPS fixes (13 repeated
// positions), from the shared test data.

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ui/kde/cls_kernel_calculator.h"
#include "ui/kde/cls_lscv.h"

namespace orvex::ui {
namespace {

// X and Y of every row of a track CSV (header AnimalID,X,Y,...), read independently of the
// locale.
std::vector<CoordPair> ReadTrack(const std::filesystem::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);  // header
  std::vector<CoordPair> fixes;
  while (std::getline(in, line)) {
    const auto first = line.find(',');
    const auto second = line.find(',', first + 1);
    const auto third = line.find(',', second + 1);
    CoordPair f{};
    std::from_chars(line.data() + first + 1, line.data() + second, f[0]);
    std::from_chars(line.data() + second + 1, line.data() + third, f[1]);
    fixes.push_back(f);
  }
  return fixes;
}

class BearTrack : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::filesystem::path file = std::filesystem::path(ORVEX_SHARED_DATA) / "bear" / "bear.csv";
    if (!std::filesystem::exists(file)) GTEST_SKIP() << "shared test data not found: " << file;
    fixes = ReadTrack(file);
    ASSERT_EQ(fixes.size(), 1000U);
  }
  std::vector<CoordPair> fixes;
};

TEST_F(BearTrack, OnTheFlyLscvEqualsStored) {
  // Coordinates near 6.8e6: the distances themselves lose digits, so both paths must form
  // them identically. The first 300 fixes keep the test short.
  const std::vector<CoordPair> first(fixes.begin(), fixes.begin() + 300);
  auto scan = [&](std::uint64_t maxStored) {
    clsLSCV lscv;
    lscv.SetPairScanOptions({.maxStoredPairs = maxStored, .chunkPairs = 4099});
    lscv.SetInputCoords(first);
    lscv.CalculateLSCV();
    EXPECT_EQ(lscv.lErrorStatus, 0);
    return lscv.GetLSCVProfile().value_or(CrossValidationProfile{}).score;
  };
  const auto stored = scan(1'000'000);
  const auto streamed = scan(0);
  ASSERT_FALSE(stored.empty());
  EXPECT_EQ(stored, streamed);
}

TEST_F(BearTrack, FullExtentGridHoldsTheScalingFactor) {
  // The batch run's full extent: the fixes' extent plus a buffer of 4 h, limit radius 4 h.
  // Tolerance 2e-3 relative: the kernel mass beyond 4 h (<= e^-8) and the cell sum.
  double xmin = 1e300, ymin = 1e300, xmax = -1e300, ymax = -1e300;
  for (const auto& f : fixes) {
    xmin = std::min(xmin, f[0]), xmax = std::max(xmax, f[0]);
    ymin = std::min(ymin, f[1]), ymax = std::max(ymax, f[1]);
  }
  clsKernelCalculator calc;
  calc.SetInputCoords(fixes);
  calc.CalculateHREF();
  ASSERT_EQ(calc.lErrorStatus, 0);
  const double h = calc.GetScaledBandwidth();
  const double buffer = 4 * h;
  calc.SetCellSize(std::max(1.0, h / 5));
  const double c = calc.GetCellSize();
  calc.SetColumns(static_cast<std::int32_t>((2 * buffer + xmax - xmin) / c));
  calc.SetRows(static_cast<std::int32_t>((2 * buffer + ymax - ymin) / c));
  calc.SetOriginCoords(xmin - buffer, ymin - buffer);
  calc.SetLimitRadius(4 * h);
  calc.CalculateKernel();
  ASSERT_EQ(calc.lErrorStatus, 0) << calc.WarningMessages();
  EXPECT_NEAR(calc.GetKernelVolume(), 1e6, 2e3);
}

}  // namespace
}  // namespace orvex::ui
