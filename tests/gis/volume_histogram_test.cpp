#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <stdexcept>
#include <utility>
#include <vector>

#include "ui/gis/volume_histogram.h"

using orvex::ui::gis::EdgeMaximum;
using orvex::ui::gis::kHistogramTop;
using orvex::ui::gis::NearestLevelIndex;
using orvex::ui::gis::VolumeHistogram;

namespace {

VolumeHistogram HistogramOf(const std::vector<float>& cells) {
  float lo = cells.front();
  float hi = cells.front();
  for (float c : cells) {
    lo = std::min(lo, c);
    hi = std::max(hi, c);
  }
  VolumeHistogram h(static_cast<double>(lo), static_cast<double>(hi));
  h.AddRow(cells);
  return h;
}

}  // namespace

// Worked example: cells 0, 0.25, 0.5, 1 fall into bins 0, 25,000, 50,000, 100,000, so
// V = 175,000. 50 % (87,500) is reached in the top bin, 60 % (105,000) at bin 50,000 and
// 90 % (157,500) at bin 25,000. Levels are exact multiples of range / 100,000 (tolerance 1e-12).
TEST(VolumeLevels, WorkedExampleWalksDownFromTheTopBin) {
  const VolumeHistogram h = HistogramOf({0.0f, 0.25f, 0.5f, 1.0f});
  EXPECT_EQ(h.Count(0), 1u);
  EXPECT_EQ(h.Count(25000), 1u);
  EXPECT_EQ(h.Count(kHistogramTop), 1u);
  EXPECT_DOUBLE_EQ(h.TotalVolume(), 175000.0);
  const std::vector<double> p{50, 60, 90};
  const auto t = h.LevelValues(p);
  ASSERT_EQ(t.size(), 3u);
  EXPECT_NEAR(t[0], 1.0, 1e-12);
  EXPECT_NEAR(t[1], 0.5, 1e-12);
  EXPECT_NEAR(t[2], 0.25, 1e-12);
}

TEST(VolumeLevels, EndsOfThePercentageScale) {
  // 100 %: the lower edge of the lowest weighted bin (0.000015 lies in bin 1; bin 0 weighs
  // nothing, empty bins add nothing).
  EXPECT_NEAR(HistogramOf({0.0f, 0.000015f, 1.0f}).LevelValue(100), 1e-5, 1e-12);
  EXPECT_NEAR(HistogramOf({0.0f, 0.0f, 0.5f, 1.0f}).LevelValue(100), 0.5, 1e-12);
  EXPECT_NEAR(HistogramOf({10.0f, 10.5f, 11.0f}).LevelValue(100), 10.5, 1e-6);  // minimum added
  // 0 %: bin 100,001, one bin width above the maximum, where no contour lies.
  EXPECT_NEAR(HistogramOf({0.0f, 0.3f, 2.0f}).LevelValue(0), 2.0 * 100001.0 / 100000.0, 1e-12);
  // All volume in one bin: every percentage gets that bin's level.
  const VolumeHistogram oneBin = HistogramOf({0, 0, 0, 0, 5, 5, 5, 0});
  for (double p : {1.0, 50.0, 95.0, 100.0}) EXPECT_DOUBLE_EQ(oneBin.LevelValue(p), 5.0) << p;
}

TEST(VolumeLevels, RejectsWhatHasNoAnswer) {
  const VolumeHistogram h = HistogramOf({0.0f, 0.5f, 1.0f});
  EXPECT_THROW((void)h.LevelValue(100.5), std::domain_error);
  EXPECT_NO_THROW((void)h.LevelValue(100.0));
  EXPECT_THROW(VolumeHistogram(3.0, 3.0), std::domain_error);  // flat raster
  EXPECT_THROW(VolumeHistogram(0.0, std::numeric_limits<double>::quiet_NaN()), std::domain_error);
  EXPECT_THROW(VolumeHistogram(0.0, std::numeric_limits<double>::infinity()), std::domain_error);
}

TEST(VolumeLevels, CellsOutsideTheStatisticsStayInsideTheHistogram) {
  VolumeHistogram h(0.0, 1.0);
  h.Add(-3.4e38);  // a no-data marker the statistics skipped
  h.Add(1.0000001);
  h.Add(std::numeric_limits<double>::quiet_NaN());
  h.Add(0.999999);  // floor(99,999.9) = 99,999: bins are floored, not rounded
  EXPECT_EQ(h.Count(0), 1u);
  EXPECT_EQ(h.Count(kHistogramTop), 1u);
  EXPECT_EQ(h.Count(99999), 1u);
  EXPECT_DOUBLE_EQ(h.TotalVolume(), 100000.0 + 99999.0);
}

// A row counts every cell into the bin that Add gives it, whatever the cell: on, below or a
// hair above the minimum, on bin edges (k * range / 100,000 above an awkward minimum, and one
// float step either side), at and past the maximum, infinite or NaN. Exact counts.
TEST(VolumeLevels, RowsCountEveryCellInTheBinOfItsOwnAdd) {
  const float inf = std::numeric_limits<float>::infinity();
  for (const auto& [minimum, maximum] :
       {std::pair{0.0, 1.0}, std::pair{-0.3, 7.1e-9}, std::pair{12.5, 4.0e6}}) {
    std::vector<float> cells{static_cast<float>(minimum),
                             std::nextafter(static_cast<float>(minimum), inf),
                             std::nextafter(static_cast<float>(minimum), -inf),
                             static_cast<float>(maximum),
                             std::nextafter(static_cast<float>(maximum), inf),
                             -inf,
                             inf,
                             std::numeric_limits<float>::quiet_NaN(),
                             -3.4e38f};
    for (int k : {1, 2, 99, 12345, 50000, 99999, kHistogramTop}) {
      const auto edge = static_cast<float>(minimum + (maximum - minimum) * k / kHistogramTop);
      cells.insert(cells.end(), {edge, std::nextafter(edge, inf), std::nextafter(edge, -inf)});
    }
    VolumeHistogram byRow(minimum, maximum);
    VolumeHistogram byCell(minimum, maximum);
    byRow.AddRow(cells);
    for (const float cell : cells) byCell.Add(static_cast<double>(cell));
    for (int bin = 0; bin <= kHistogramTop; ++bin)
      ASSERT_EQ(byRow.Count(bin), byCell.Count(bin)) << minimum << " bin " << bin;
  }
}

// Closed form: for a bivariate normal density f with peak f0, the volume above the level t
// is 1 - t / f0, so the p-volume isopleth lies at t = f0 * (1 - p). The raster samples f at
// cell centres (sigma = 50 cells, +-6 sigma, Float32). Tolerance 0.02 % of f0: the histogram
// quantum is 0.001 % of f0 and the cell discretisation of the level set moves the enclosed
// volume by at most 0.003 % at this sigma (measured); a volume walk that weighs cells by
// count instead of density misses by tens of percent.
TEST(VolumeLevels, GaussianLevelsMatchTheClosedForm) {
  constexpr int kHalf = 300;
  constexpr double kSigma = 50.0;
  const double f0 = 1.0 / (2.0 * std::numbers::pi * kSigma * kSigma) * 1e6;
  std::vector<float> cells;
  for (int r = -kHalf; r <= kHalf; ++r) {
    for (int c = -kHalf; c <= kHalf; ++c) {
      const double d2 = static_cast<double>(r * r + c * c);
      cells.push_back(static_cast<float>(f0 * std::exp(-d2 / (2.0 * kSigma * kSigma))));
    }
  }
  const VolumeHistogram h = HistogramOf(cells);
  for (double p : {50.0, 90.0, 95.0}) {
    EXPECT_NEAR(h.LevelValue(p), f0 * (1.0 - p / 100.0), 2e-4 * f0) << p << " %";
  }
}

TEST(NearestLevel, PicksTheClosestLevelAndTheLowerIndexOnATie) {
  const std::vector<double> t{9.0, 5.0, 1.0};  // descending, as ascending percentages give
  EXPECT_EQ(NearestLevelIndex(t, 5.2), 1);
  EXPECT_EQ(NearestLevelIndex(t, 0.0), 2);
  EXPECT_EQ(NearestLevelIndex(t, 7.0), 0);  // 2 from both 9 and 5
  EXPECT_EQ(NearestLevelIndex(t, 3.0), 1);  // 2 from both 5 and 1
  EXPECT_EQ(NearestLevelIndex(std::vector<double>{4.0, 4.0}, 4.0), 0);
  EXPECT_EQ(NearestLevelIndex({}, 1.0), -1);
}

TEST(EdgeMaximum, LooksOnlyAtTheOuterRowsAndColumnsAndStartsAtZero) {
  const auto edgeOf = [](const std::vector<std::vector<float>>& rows) {
    EdgeMaximum e;
    const int height = static_cast<int>(rows.size());
    for (int r = 0; r < height; ++r) e.AddRow(rows[static_cast<std::size_t>(r)], r, height);
    return e.Value();
  };
  EXPECT_DOUBLE_EQ(edgeOf({{1, 2, 3, 1}, {0, 100, 100, 7}, {2, 0, 0, 0}}), 7.0);  // interior 100 ignored
  EXPECT_EQ(edgeOf({{0, 0, 0}, {0, 9, -1}, {0, 0, -2}}), 0.0);
  EXPECT_DOUBLE_EQ(edgeOf({{0, 4, 0}}), 4.0);  // one row is both the first and the last
}
