// Contour levels and rings: the level text, thresholds, ring shape, marks, limits, borders.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "core/engine/contour_levels.h"
#include "engine_test_support.h"

namespace orvex::core::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

std::vector<double> levels_after(const char* text, const char* before = nullptr) {
  KernelEngine engine(1);
  if (before != nullptr) engine.set_contour_levels(before);
  engine.set_contour_levels(text);
  return {engine.contour_levels().begin(), engine.contour_levels().end()};
}

TEST(ContourLevels, TextIsReadAsDocumented) {
  EXPECT_THAT(levels_after("0.1, 0.2"), ElementsAre(0.1, 0.2));
  EXPECT_THAT(levels_after("0.5, 2"), ElementsAre(0.5));
  EXPECT_THAT(levels_after("0.5,,0.9"), ElementsAre(0.5, 0.9));
  EXPECT_THAT(levels_after("  .25 ,1,"), ElementsAre(0.25, 1.0));
  EXPECT_THAT(levels_after("2, 3", "0.3, 0.6"), ElementsAre(0.3, 0.6));  // nothing in (0, 1]: kept
  EXPECT_THAT(levels_after("-0.5, 0.4"), ElementsAre(0.4));
  const std::vector<double> defaults{0.9, 0.8, 0.7, 0.6, 0.5, 0.4, 0.3, 0.2, 0.1};
  EXPECT_EQ(levels_after("0", "0.3"), defaults);
  EXPECT_EQ(levels_after("abc", "0.3"), defaults);
  EXPECT_EQ(levels_after(""), defaults);
  EXPECT_EQ(levels_after("0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.9"),
            (std::vector<double>{0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.9}));
}

TEST(ContourLevels, AtMostThirtyValuesAreKept) {
  std::string text;
  for (int k = 1; k <= 40; ++k) text += (k > 1 ? "," : "") + std::to_string(k / 50.0);
  const auto levels = levels_after(text.c_str());
  ASSERT_EQ(levels.size(), 30u);
  EXPECT_DOUBLE_EQ(levels.back(), 0.6);
}

TEST(Thresholds, VolumeToDensityInterpolatesOverTheLastCell) {
  const std::vector<double> sorted{0.3, 0.2, 0.1, 0.05, 0.0, 0.0, 0.0, 0.0, 0.0};
  // Cell area 1, v = 0.45: the sum passes v at entry 1 (0.5), p = 2, frac = 0.05 / 0.2 = 0.25,
  // q = 0.25 * 0.2 + 0.75 * 0.3 = 0.275. float(0.45) moves q by ~1e-8.
  const auto q = volume_to_density(sorted, 4, 1.0, 1.0, 0.45f);
  ASSERT_TRUE(q.has_value());
  EXPECT_NEAR(*q, 0.275, 1e-7);
}

TEST(Thresholds, LevelInsideTheFirstTwoCellsIsTooCoarse) {
  const std::vector<double> sorted{0.6, 0.3, 0.1, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
  EXPECT_FALSE(volume_to_density(sorted, 4, 1.0, 1.0, 0.5f).has_value());
  EXPECT_FALSE(volume_to_density(std::vector<double>(9, 0.0), 4, 1.0, 1.0, 0.5f).has_value());
}

TEST(Thresholds, NonPositiveThresholdFallsBackToTheSmallestPositiveDensity) {
  // A NaN level never lets the running sum pass it: p ends at the walk limit and the
  // interpolated threshold is NaN, which is not > 0.
  const std::vector<double> sorted{0.5, 0.3, 0.2, 0.1, 0.04, 0.01, 0.0, 0.0, 0.0};
  const auto q = volume_to_density(sorted, 4, 1.0, 1.0, std::numeric_limits<float>::quiet_NaN());
  ASSERT_TRUE(q.has_value());
  EXPECT_EQ(*q, 0.01);
}

TEST(Thresholds, DensityToVolumeCountsEntriesAboveQ) {
  const std::vector<double> sorted{0.4, 0.3, 0.2, 0.1};
  // Area 0.5 is exact in single precision: 0.5 * (0.4 + 0.3) = 0.35.
  EXPECT_NEAR(density_to_volume(sorted, 1.0, 0.5, 0.2), 0.35, 1e-15);
  EXPECT_NEAR(density_to_volume(sorted, 1.0, 0.5, 1.0), 0.2, 1e-15);  // the first entry always counts
}

// Fixes whose UD is one smooth peak, on an S-cell grid.
KernelEngine single_peak(std::int32_t S) {
  KernelEngine engine(3);
  add_fixes(engine, {{0, 0}, {1, 0}, {0, 1}});
  engine.seth(2.0);
  engine.init_matrix(S);
  engine.kern_fixed();
  return engine;
}

// Every point lies on a grid line, and consecutive points on the edges of one cell.
void expect_ring_walks_cell_edges(const KernelEngine& e, std::int32_t ring) {
  const std::int32_t count = e.ring_point_count(ring);
  ASSERT_GE(count, 4);
  const RingPoint first = e.ring_point(ring, 0);
  const RingPoint last = e.ring_point(ring, count - 1);
  EXPECT_EQ(first.x, last.x);
  EXPECT_EQ(first.y, last.y);
  // Points are floats of map coordinates near 0: 1e-4 of a cell covers their rounding.
  const double tol = 1e-4;
  auto on_line = [&](double u) { return std::fabs(u - std::round(u)) < tol; };
  for (std::int32_t k = 0; k < count; ++k) {
    const RingPoint p = e.ring_point(ring, k);
    const double u = (p.x - e.ax()) / e.dx(), v = (p.y - e.ay()) / e.dy();
    ASSERT_TRUE(on_line(u) || on_line(v)) << "point " << k << " is off the grid lines";
    if (k == 0) continue;
    const RingPoint o = e.ring_point(ring, k - 1);
    const double ou = (o.x - e.ax()) / e.dx(), ov = (o.y - e.ay()) / e.dy();
    ASSERT_LE(std::fabs(u - ou), 1.0 + tol) << k;
    ASSERT_LE(std::fabs(v - ov), 1.0 + tol) << k;
    ASSERT_LE(std::floor(std::max(u, ou) - tol) - std::floor(std::min(u, ou) + tol), 1.0) << k;
  }
}

TEST(Rings, RingAroundOnePeakIsClosedAndFollowsCellEdges) {
  KernelEngine engine = single_peak(60);
  engine.set_contour_levels("0.5");
  ASSERT_EQ(engine.AVMakeContour(), 1);
  expect_ring_walks_cell_edges(engine, 0);
  EXPECT_TRUE(engine.end_of_level(0));
  EXPECT_TRUE(engine.start_of_level(0));
  EXPECT_FLOAT_EQ(static_cast<float>(engine.ring_volume(0)), 0.5f);
  EXPECT_GT(engine.ring_density(0), 0.0);
}

TEST(Rings, TwoPeaksGiveTwoRingsWithOneEndOfLevelMark) {
  KernelEngine engine(6);
  add_fixes(engine, {{0, 0}, {0.2, 0.1}, {0.1, 0.3}, {20, 0}, {20.2, 0.1}, {20.1, 0.3}});
  engine.seth(1.0);
  engine.init_matrix(100);
  engine.kern_fixed();
  engine.set_contour_levels("0.2");
  ASSERT_EQ(engine.AVMakeContour(), 2);
  EXPECT_FALSE(engine.end_of_level(0));
  EXPECT_TRUE(engine.end_of_level(1));
  EXPECT_TRUE(engine.start_of_level(0));
  EXPECT_FALSE(engine.start_of_level(1));
  expect_ring_walks_cell_edges(engine, 0);
  expect_ring_walks_cell_edges(engine, 1);
}

TEST(Rings, DefaultPageLevelsComeOutSmallestVolumeFirst) {
  TempLogFolder log;
  KernelEngine engine = single_peak(80);
  engine.set_contour_levels("0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.9");
  ASSERT_EQ(engine.AVMakeContour(), 9);
  for (std::int32_t k = 0; k < 9; ++k) {
    EXPECT_NEAR(engine.ring_volume(k), 0.1 * (k + 1), 1e-7);  // single-precision levels
    EXPECT_TRUE(engine.end_of_level(k));
    if (k > 0) {
      EXPECT_LT(engine.ring_density(k), engine.ring_density(k - 1));
    }
  }
  EXPECT_THAT(log.contents(), HasSubstr("Sorting utilisation distribution table...\n"));
  EXPECT_THAT(log.contents(), HasSubstr("Raster Area at Density "));
}

TEST(Rings, DensityContouringTopLevelYieldsNoRing) {
  KernelEngine engine = single_peak(60);
  engine.set_density_contouring();
  ASSERT_EQ(engine.AVMakeContour(), 8);  // k/9 of the peak for k = 1..8; 9/9 encloses nothing
  for (std::int32_t k = 0; k < 8; ++k) {
    EXPECT_NEAR(engine.ring_density(k) / engine.sorted_density(0), (k + 1) / 9.0, 1e-6);
    if (k > 0) {
      EXPECT_LT(engine.ring_volume(k), engine.ring_volume(k - 1));
    }
  }
}

TEST(Rings, TooCoarseLevelIsSkippedWithAWarning) {
  TempLogFolder log;
  KernelEngine engine = single_peak(40);
  engine.set_contour_levels("0.0001, 0.5");
  EXPECT_EQ(engine.AVMakeContour(), 1);
  EXPECT_THAT(log.contents(), HasSubstr("WARNING: Too coarse a matrix to contour at volume 0.000100\n"));
}

TEST(Limits, RingLongerThanTheNominalSizeIsKeptWhole) {
  KernelEngine engine = single_peak(1600);
  engine.set_contour_levels("0.95");
  ASSERT_EQ(engine.AVMakeContour(), 1);
  EXPECT_GT(engine.ring_point_count(0), MAX_POINTS_PER_POLY);
  expect_ring_walks_cell_edges(engine, 0);
}

TEST(Limits, MoreRingsThanTheNominalStoreAreAllKept) {
  // 33 x 33 separate peaks, 10 h apart.
  KernelEngine engine(33 * 33);
  for (int a = 0; a < 33; ++a) {
    for (int b = 0; b < 33; ++b) engine.Add_Point(static_cast<float>(10 * a), static_cast<float>(10 * b));
  }
  engine.seth(1.0);
  engine.init_matrix(400);
  engine.kern_fixed();
  engine.set_contour_levels("0.5");
  ASSERT_EQ(engine.AVMakeContour(), 33 * 33);
  EXPECT_GT(engine.ring_count(), kNominalRingSlots);
  for (std::int32_t k = 0; k < engine.ring_count(); ++k) {
    ASSERT_EQ(engine.end_of_level(k), k == engine.ring_count() - 1);
    ASSERT_EQ(engine.ring_point(k, 0).x, engine.ring_point(k, engine.ring_point_count(k) - 1).x);
  }
}

TEST(Limits, RingsReachingTheGridBorderStayInsideIt) {
  // Extents laid out for h = 0.05, then a UD with h = 5 that is far above every level at the
  // border: the outer rings run along the grid's edge.
  KernelEngine engine(7);
  add_fixes(engine, {{0.3, 0.1}, {1.7, 0.4}, {2.2, 2.9}, {0.9, 1.6}, {3.1, 0.8}, {1.4, 2.2}, {2.6, 1.3}});
  engine.seth(0.05);
  engine.init_matrix(30);
  engine.kern_fixed();
  engine.seth(5.0);
  engine.kern_fixed();
  engine.set_density_contouring();
  ASSERT_GT(engine.AVMakeContour(), 0);
  const double x_end = engine.ax() + 30 * engine.dx(), y_end = engine.ay() + 30 * engine.dy();
  const double tol = 1e-5;  // float storage of coordinates of a few units
  for (std::int32_t r = 0; r < engine.ring_count(); ++r) {
    for (std::int32_t k = 0; k < engine.ring_point_count(r); ++k) {
      const RingPoint p = engine.ring_point(r, k);
      ASSERT_GE(p.x, engine.ax() - tol);
      ASSERT_LE(p.x, x_end + tol);
      ASSERT_GE(p.y, engine.ay() - tol);
      ASSERT_LE(p.y, y_end + tol);
    }
  }
  const RingPoint first = engine.ring_point(0, 0);
  EXPECT_EQ(first.x, engine.ring_point(0, engine.ring_point_count(0) - 1).x);
}

TEST(Rings, AccessorsOutsideTheStoreAreSafe) {
  KernelEngine engine = single_peak(40);
  EXPECT_EQ(engine.AVMakeContour(), 9);
  EXPECT_EQ(engine.ring_point_count(9), 0);
  EXPECT_EQ(engine.ring_point_count(-1), 0);
  EXPECT_TRUE(std::isnan(engine.ring_point(0, 100000).x));
  EXPECT_FALSE(engine.end_of_level(42));
  EXPECT_FALSE(engine.start_of_level(-1));
}

TEST(Rings, NoUdMeansNoRings) {
  KernelEngine engine(3);
  EXPECT_EQ(engine.AVMakeContour(), 0);
  EXPECT_EQ(engine.ring_count(), 0);
}

}  // namespace
}  // namespace orvex::core::test
