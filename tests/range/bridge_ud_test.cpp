#include "range/bridge/bridge_ud.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <numeric>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "range/bridge/bridge_quadrature.h"
#include "range_test_support.h"

namespace {

using orvex::range::bridge_ud;
using orvex::range::BridgeGrid;
using orvex::range::BridgeOptions;
using orvex::range::BridgeSegment;
using orvex::range::BridgeTrack;

// A track of 40 fixes, 600 s apart give or take 97 s, wandering east: the same formulas made the
// adehabitatHR reference values below.
struct Wander {
  std::vector<double> x, y, t;
  std::vector<double> error{5.0};
  Wander() {
    for (int i = 0; i < 40; ++i) {
      t.push_back(600.0 * i + 97.0 * (i % 3));
      x.push_back(50.0 * i + 80.0 * std::sin(0.7 * i));
      y.push_back(120.0 * std::cos(0.45 * i) + 30.0 * std::sin(1.9 * i));
    }
  }
  [[nodiscard]] BridgeTrack track() const { return {x, y, t, error}; }
};

// 130 x 45 cells of 20 m from (-300, -450): the track and 300 m around it.
constexpr BridgeGrid kWanderGrid{-300.0, -450.0, 20.0, 130, 45};

std::vector<double> ud_of(const BridgeTrack& track, const BridgeOptions& options, const BridgeGrid& grid) {
  std::vector<double> out(grid.cell_count(), std::numeric_limits<double>::quiet_NaN());
  bridge_ud(track, options, grid, out);
  return out;
}

double cell_at(const std::vector<double>& ud, const BridgeGrid& grid, double x, double y) {
  const auto c = static_cast<std::size_t>((x - grid.origin_x) / grid.cell_size);
  const auto r = grid.rows - 1 - static_cast<std::size_t>((y - grid.origin_y) / grid.cell_size);
  return ud[r * grid.columns + c];
}

TEST(BridgeUd, EachCellIsTheTimeWeightedIntegralOfItsBridges) {
  const Wander w;
  const BridgeOptions options{1.5, orvex::range::kNoMaxGap, 2};
  const std::vector<double> ud = ud_of(w.track(), options, kWanderGrid);
  const double max = *std::max_element(ud.begin(), ud.end());
  // Every 37th cell against the far finer rule of range_test_support.h, bridge by bridge (a
  // bridge 10 spreads away adds below e^-50 of its peak and is left out): within 1e-9 of the
  // grid's maximum (the rule's 1e-12 of each bridge's peak, plus the 7-sd windows' 3e-11 of it).
  for (std::size_t cell = 0; cell < ud.size(); cell += 37) {
    const double px = kWanderGrid.column_x(cell % kWanderGrid.columns);
    const double py = kWanderGrid.row_y(cell / kWanderGrid.columns);
    double expected = 0.0;
    for (std::size_t i = 0; i + 1 < w.t.size(); ++i) {
      const BridgeSegment s{w.x[i], w.y[i], w.x[i + 1], w.y[i + 1], w.t[i + 1] - w.t[i], 1.5, 5.0, 5.0};
      if (orvex::range::test::distance_to_segment(s, px, py) > 10.0 * std::sqrt(s.variance(0.5))) continue;
      expected +=
          s.duration / (w.t.back() - w.t.front()) * orvex::range::test::reference_bridge_density(s, px, py);
    }
    EXPECT_NEAR(ud[cell], expected, 1e-9 * max) << "cell " << cell;
  }
}

TEST(BridgeUd, AgreesWithAdehabitatHRKernelbbWithinItsTrapezoidRule) {
  // kernelbb(tr, sig1 = 1.5, sig2 = 15) on the same 130 x 45 cell centres, adehabitatHR 0.4.x,
  // computed once; it rescales its grid to sum 1, a change of 4e-7 on this grid. Its 25-point
  // trapezoid rule is the difference: over all 5,850 cells at most 0.29 % of its maximum, so
  // 0.5 % here (the goal is 2 %). With sig2 = 5 the rule's single sample of each bridge's
  // narrow ends puts it 14 % above the integral at cells within a location error of a fix.
  Wander w;
  w.error = {15.0};
  const std::vector<double> ud = ud_of(w.track(), {1.5, orvex::range::kNoMaxGap, 1}, kWanderGrid);
  constexpr double kPeerMax = 2.21603315e-05;
  struct Cell {
    double x, y, peer;
  };
  for (const Cell& c :
       {Cell{1110, -100, kPeerMax}, Cell{10, 100, 2.215866187e-06}, Cell{230, -140, 8.311015505e-06},
        Cell{250, -20, 5.058999125e-06}, Cell{270, -100, 1.061144278e-05}, Cell{510, 60, 1.028371596e-09},
        Cell{670, 100, 2.012442472e-05}, Cell{1010, -40, 1.75169231e-07}, Cell{1230, 20, 3.18028019e-06},
        Cell{1490, 120, 4.552303377e-06}, Cell{1950, -120, 1.779109523e-09}}) {
    EXPECT_NEAR(cell_at(ud, kWanderGrid, c.x, c.y), c.peer, 0.005 * kPeerMax) << c.x << ", " << c.y;
  }
}

TEST(BridgeUd, RowZeroIsTheNorthAndCellsHoldTheirCentres) {
  // Two fixes at one place in the north-east of a 4 x 3 grid: the largest cell is row 0, column 3.
  const std::vector<double> x{35.0, 35.0}, y{25.0, 25.0}, t{0.0, 10.0}, e{2.0};
  const std::vector<double> ud =
      ud_of({x, y, t, e}, {0.0, orvex::range::kNoMaxGap, 1}, {0.0, 0.0, 10.0, 4, 3});
  EXPECT_EQ(std::max_element(ud.begin(), ud.end()) - ud.begin(), 3);
  // s1 = 0 at the fix: 1 / (4 e^2) (bridge_quadrature_test); the centre (35, 25) is the fix.
  EXPECT_NEAR(ud[3], 1.0 / 16.0, 1e-15);
}

TEST(BridgeUd, GapsAndZeroLengthIntervalsCarryNoBridgeAndAreListed) {
  // Fixes 0-1 (600 s), a jump at one time (1-2, zero length), 2-3 (900 s), a 5 h gap (3-4), 4-5 (300 s).
  const std::vector<double> x{0, 60, 400, 450, 900, 930}, y{0, 40, 0, 80, 0, 30};
  const std::vector<double> t{0, 600, 600, 1500, 19500, 19800}, e{4.0};
  const BridgeGrid grid{-200.0, -200.0, 10.0, 130, 50};
  const auto summary = [&] {
    std::vector<double> out(grid.cell_count());
    return bridge_ud({x, y, t, e}, {0.8, 3600.0, 1}, grid, out);
  }();
  EXPECT_EQ(summary.intervals.used, (std::vector<std::size_t>{0, 2, 4}));
  EXPECT_EQ(summary.intervals.zero_length, (std::vector<std::size_t>{1}));
  EXPECT_EQ(summary.intervals.over_gap, (std::vector<std::size_t>{3}));
  EXPECT_EQ(summary.intervals.used_time, 1800.0);

  // The UD is the used bridges' UDs, each weighted by its length out of 1800 s. Tolerance:
  // rounding of a few hundred terms per cell, 1e-13 of the maximum.
  const std::vector<double> ud = ud_of({x, y, t, e}, {0.8, 3600.0, 1}, grid);
  std::vector<double> parts(grid.cell_count(), 0.0);
  for (const std::size_t i : summary.intervals.used) {
    const std::vector<double> px{x[i], x[i + 1]}, py{y[i], y[i + 1]}, pt{t[i], t[i + 1]};
    const std::vector<double> one = ud_of({px, py, pt, e}, {0.8, orvex::range::kNoMaxGap, 1}, grid);
    for (std::size_t k = 0; k < one.size(); ++k) parts[k] += (pt[1] - pt[0]) / 1800.0 * one[k];
  }
  const double max = *std::max_element(ud.begin(), ud.end());
  for (std::size_t k = 0; k < ud.size(); ++k) ASSERT_NEAR(ud[k], parts[k], 1e-13 * max) << k;
}

TEST(BridgeUd, EachIntervalTakesItsOwnSigma1) {
  // Three intervals of 600, 300 and 900 s with s1 0.5, 2 and 0: the UD is each bridge's UD with
  // its own s1, weighted by its length out of 1800 s. Tolerance: rounding, 1e-13 of the maximum.
  const std::vector<double> x{0, 60, 400, 450}, y{0, 40, 0, 80}, t{0, 600, 900, 1800}, e{4.0};
  const std::vector<double> sigma1s{0.5, 2.0, 0.0};
  const BridgeGrid grid{-200.0, -200.0, 10.0, 90, 40};
  const std::vector<double> ud = ud_of({x, y, t, e}, {9.0, orvex::range::kNoMaxGap, 2, sigma1s}, grid);
  std::vector<double> parts(grid.cell_count(), 0.0);
  for (std::size_t i = 0; i < 3; ++i) {
    const std::vector<double> px{x[i], x[i + 1]}, py{y[i], y[i + 1]}, pt{t[i], t[i + 1]};
    const std::vector<double> one = ud_of({px, py, pt, e}, {sigma1s[i], orvex::range::kNoMaxGap, 1}, grid);
    for (std::size_t k = 0; k < one.size(); ++k) parts[k] += (pt[1] - pt[0]) / 1800.0 * one[k];
  }
  const double max = *std::max_element(ud.begin(), ud.end());
  for (std::size_t k = 0; k < ud.size(); ++k) ASSERT_NEAR(ud[k], parts[k], 1e-13 * max) << k;
}

TEST(BridgeUd, LongTracksGiveTheSameBitsWithAnyThreadCount) {
  // 3,000 fixes of a deterministic wander on 300 x 300 cells: several factor batches and every tile.
  std::vector<double> x, y, t, e;
  for (int i = 0; i < 3000; ++i) {
    x.push_back(1500.0 + 1200.0 * std::sin(0.0021 * i) + 40.0 * std::sin(1.3 * i));
    y.push_back(1500.0 + 1100.0 * std::cos(0.0033 * i) + 40.0 * std::cos(1.7 * i));
    t.push_back(300.0 * i);
    e.push_back(15.0 + (i % 5));
  }
  const BridgeGrid grid{0.0, 0.0, 10.0, 300, 300};
  const std::vector<double> one = ud_of({x, y, t, e}, {1.2, orvex::range::kNoMaxGap, 1}, grid);
  const std::vector<double> three = ud_of({x, y, t, e}, {1.2, orvex::range::kNoMaxGap, 3}, grid);
  EXPECT_TRUE(one == three);
  // The track lies over 7 spreads inside the grid and every spread is 1.5 cells or more, where
  // the cell-centre sum of a Gaussian differs from its integral by below 2 e^(-2 pi^2 1.5^2) =
  // 1e-19 (Poisson summation): cells x area sum to 1 within the rounding of 90,000 cells.
  EXPECT_NEAR(std::accumulate(one.begin(), one.end(), 0.0) * 100.0, 1.0, 1e-10);
}

// The UD as its definition states it, summed plainly: every node of every used bridge in track
// order, onto the cells within 7 standard deviations of its mean along both axes.
std::vector<double> plain_ud(const BridgeTrack& track, double sigma1, double max_gap,
                             const BridgeGrid& grid) {
  const orvex::range::BridgeIntervals intervals = orvex::range::classify_intervals(track.t, max_gap);
  std::vector<double> out(grid.cell_count(), 0.0);
  std::vector<orvex::range::BridgeNode> nodes;
  for (const std::size_t i : intervals.used) {
    const BridgeSegment s{
        track.x[i], track.y[i],         track.x[i + 1],        track.y[i + 1], track.t[i + 1] - track.t[i],
        sigma1,     track.sigma2_at(i), track.sigma2_at(i + 1)};
    nodes.clear();
    orvex::range::append_bridge_nodes(s, nodes);
    for (const orvex::range::BridgeNode& node : nodes) {
      const double mx = s.x0 + node.a * (s.x1 - s.x0);
      const double my = s.y0 + node.a * (s.y1 - s.y0);
      const double w =
          s.duration / intervals.used_time * node.weight / (2.0 * std::numbers::pi * node.variance);
      const double reach = orvex::range::kWindowDeviations * std::sqrt(node.variance) / grid.cell_size;
      const double row_mid = static_cast<double>(grid.rows) - (my - grid.origin_y) / grid.cell_size - 0.5;
      const double column_mid = (mx - grid.origin_x) / grid.cell_size - 0.5;
      for (std::size_t r = 0; r < grid.rows; ++r) {
        if (std::abs(static_cast<double>(r) - row_mid) > reach) continue;
        const double dy = grid.row_y(r) - my;
        for (std::size_t c = 0; c < grid.columns; ++c) {
          if (std::abs(static_cast<double>(c) - column_mid) > reach) continue;
          const double dx = grid.column_x(c) - mx;
          out[r * grid.columns + c] +=
              w * std::exp(-0.5 * dy * dy / node.variance) * std::exp(-0.5 * dx * dx / node.variance);
        }
      }
    }
  }
  return out;
}

TEST(BridgeUd, RandomTracksMatchThePlainSumInTrackOrder) {
  // Tracks of 2 to 600 fixes (one bridge, fewer bridges than runs, many groups), steps from
  // a tenth of a cell to 30 cells, spreads from below a cell to the whole grid, repeated times
  // and a largest gap. The sum goes by runs of bridges and skips the panels a node misses;
  // against the plain sum that differs only by the regrouping and the exponential's last bit:
  // 1e-12 of the grid's maximum (about 1e-14 seen).
  std::mt19937_64 random(20261209);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (const std::size_t fixes : {2, 3, 17, 120, 600}) {
    std::vector<double> x{0.0}, y{0.0}, t{0.0}, e;
    const double step = std::pow(10.0, -1.0 + 2.5 * unit(random));
    for (std::size_t i = 0; i < fixes; ++i) {
      e.push_back(0.3 + 3.0 * unit(random));
      if (i + 1 == fixes) break;
      x.push_back(x.back() + step * (unit(random) - 0.5));
      y.push_back(y.back() + step * (unit(random) - 0.5));
      t.push_back(t.back() + (i % 9 == 4 ? 0.0 : 5.0 + 100.0 * unit(random)));
    }
    const double sigma1 = std::pow(10.0, -1.5 + 2.0 * unit(random));
    const double max_gap = fixes % 2 == 0 ? orvex::range::kNoMaxGap : 90.0;
    const auto [x0, x1] = std::minmax_element(x.begin(), x.end());
    const auto [y0, y1] = std::minmax_element(y.begin(), y.end());
    const BridgeGrid grid{*x0 - 20.0, *y0 - 20.0, 1.0, static_cast<std::size_t>(*x1 - *x0 + 40.0),
                          static_cast<std::size_t>(*y1 - *y0 + 40.0)};
    const BridgeTrack track{x, y, t, e};
    const std::vector<double> ud = ud_of(track, {sigma1, max_gap, 2}, grid);
    const std::vector<double> plain = plain_ud(track, sigma1, max_gap, grid);
    const double max = *std::max_element(plain.begin(), plain.end());
    double worst = 0.0;
    for (std::size_t cell = 0; cell < ud.size(); ++cell)
      worst = std::max(worst, std::abs(ud[cell] - plain[cell]));
    EXPECT_LE(worst, 1e-12 * max) << fixes << " fixes";
  }
}

TEST(BridgeUd, RefusesBadInputNamingTheFix) {
  const std::vector<double> x{0, 1, 2}, y{0, 1, 2}, t{0, 10, 20}, e{1.0};
  const std::vector<double> late{0, 20, 10}, nan_t{0, std::nan(""), 20}, short_x{0, 1};
  const std::vector<double> zero_e{1, 0, 1}, two_e{1, 1}, same{5, 5, 5}, nan_s1{0.5, std::nan("")};
  const BridgeGrid grid{-10, -10, 1, 30, 30};
  struct Case {
    BridgeTrack track;
    BridgeOptions options;
    BridgeGrid grid;
    const char* says;
  };
  const Case cases[] = {
      {{x, y, late, e}, {}, grid, "fix 2: time is earlier"},
      {{x, y, nan_t, e}, {}, grid, "fix 1: time is not a number"},
      {{short_x, y, t, e}, {}, grid, "different numbers"},
      {{x, y, t, zero_e}, {}, grid, "fix 1: location error"},
      {{x, y, t, two_e}, {}, grid, "one value or one per fix"},
      {{{x.data(), 1}, {y.data(), 1}, {t.data(), 1}, e}, {}, grid, "1 fixes, fewer than the 2"},
      {{x, y, same, e}, {}, grid, "2 of zero length"},
      {{x, y, t, e}, {0.1, 5.0, 1}, grid, "2 longer than the largest gap"},
      {{x, y, t, e}, {-1.0, orvex::range::kNoMaxGap, 1}, grid, "sigma1"},
      {{x, y, t, e}, {0.1, orvex::range::kNoMaxGap, 1, late}, grid, "holds 3 values for 2 intervals"},
      {{x, y, t, e}, {0.1, orvex::range::kNoMaxGap, 1, nan_s1}, grid, "interval 1: sigma1"},
      {{x, y, t, e}, {}, {0, 0, 0.0, 3, 3}, "cell size"},
      {{x, y, t, e}, {}, {0, 0, 1.0, 0, 3}, "no cells"},
  };
  for (const Case& c : cases) {
    std::vector<double> out(c.grid.cell_count());
    try {
      bridge_ud(c.track, c.options, c.grid, out);
      ADD_FAILURE() << "accepted: " << c.says;
    } catch (const std::invalid_argument& error) {
      EXPECT_NE(std::string(error.what()).find(c.says), std::string::npos) << error.what();
    }
  }
}

}  // namespace
