// The UD grid: extents, the kernel sums against their definition, volume check, adaptive
// bandwidths, the return to map units, degenerate fix sets, the sorted table.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <regex>

#include "core/engine/contour_levels.h"
#include "core/engine/kernel_math.h"
#include "core/engine/ud_density.h"
#include "engine_test_support.h"

namespace orvex::core::test {
namespace {

using ::testing::HasSubstr;

const Fixes kSpread{{0.3, 0.1}, {1.7, 0.4}, {2.2, 2.9}, {0.9, 1.6}, {3.1, 0.8}, {1.4, 2.2}, {2.6, 1.3}};

// The UD at node (i, j) straight from its definition: sum of phi(d / (lambda h)) / lambda^2
// over the fixes, divided by h (n h).
double ud_by_definition(const KernelEngine& e, std::int32_t i, std::int32_t j, bool adaptive) {
  const double x = i * e.dx() + e.ax();
  const double y = j * e.dy() + e.ay();
  double f = 0.0;
  for (const auto& fix : e.Trackingdata()) {
    const double lambda = adaptive ? fix.lambda : 1.0;
    const double d = std::hypot(x - fix.x, y - fix.y);
    f += normal_kernel(d / (lambda * e.h())) / (lambda * lambda);
  }
  const double n = e.fix_count();
  return f / (e.h() * (n * e.h()));
}

void expect_grid_matches_definition(const KernelEngine& e, bool adaptive) {
  // Splitting exp(-(dx^2 + dy^2)) into two factors and dropping the sqrt moves each term by a
  // few ulps: measured up to ~30 ulps near the peak (1e-14 pinned, for nodes above 1e-6 of
  // the peak) and more in far tails, where the exponent magnifies the argument's rounding
  // (1e-12 pinned). Terms below 1.4e-306 are dropped, so nodes may differ by 1e-280 absolute.
  const double peak = *std::max_element(e.densities().begin(), e.densities().end());
  for (std::int32_t i = 0; i <= e.grid_size(); ++i) {
    for (std::int32_t j = 0; j <= e.grid_size(); ++j) {
      const double expected = ud_by_definition(e, i, j, adaptive);
      const double relative = expected > 1e-6 * peak ? 1e-14 : 1e-12;
      ASSERT_NEAR(e.node_density(i, j), expected, relative * expected + 1e-280) << i << "," << j;
    }
  }
}

TEST(UdGrid, FixedKernelMatchesItsDefinition) {
  KernelEngine engine(7);
  add_fixes(engine, kSpread);
  engine.seth(0.6);
  ASSERT_EQ(engine.init_matrix(24), 1);
  engine.kern_fixed();
  expect_grid_matches_definition(engine, false);
}

TEST(UdGrid, AdaptiveKernelMatchesItsDefinition) {
  KernelEngine engine(7);
  add_fixes(engine, kSpread);
  engine.seth(0.4);
  ASSERT_EQ(engine.init_matrix(24), 1);
  engine.kern_adaptive();
  expect_grid_matches_definition(engine, true);
}

TEST(UdGrid, NarrowKernelsStillMatchTheirDefinition) {
  // h well below the node spacing reach: most terms underflow and are dropped.
  KernelEngine engine(7);
  add_fixes(engine, kSpread);
  engine.seth(0.02);
  ASSERT_EQ(engine.init_matrix(60), 1);
  engine.kern_adaptive();
  expect_grid_matches_definition(engine, true);
}

TEST(UdGrid, ResultsDoNotDependOnTheThreadCount) {
  const Fixes fixes = normal_fixes(700, 10, 20, 3, 1, 7);
  std::vector<double> grids[2];
  double scores[2];
  const unsigned threads[2] = {1, 3};
  for (int run = 0; run < 2; ++run) {
    KernelEngine engine(700);
    engine.set_worker_threads(threads[run]);
    add_fixes(engine, fixes);
    engine.stdize(KernelEngine::STD_Unit);
    engine.set_h_proportional(0.5);
    engine.init_matrix(60);
    engine.kern_adaptive();
    grids[run].assign(engine.densities().begin(), engine.densities().end());
    scores[run] = engine.lscv_score(0.2);
  }
  EXPECT_EQ(grids[0], grids[1]);  // bit for bit
  EXPECT_EQ(scores[0], scores[1]);
}

TEST(UdGrid, ProductAndDirectSumAgreeBitForBit) {
  // Both ways add each node's terms in source order with the same factors; they differ only in
  // terms below ~1.4e-306, which the direct sum drops at its disc's edge and the product keeps
  // in its square's corners, so nodes above 1e-290 must be equal to the bit. Cases: broad
  // kernels (every term kept), narrow ones (most dropped), per-source weights and bandwidths as
  // an adaptive run makes them, and more sources than one batch.
  const struct {
    std::size_t n;
    std::int32_t S;
    double bandwidth;
    bool varied;
  } cases[] = {{7, 24, 0.6, false}, {300, 60, 0.02, true}, {1500, 40, 0.3, true}, {50, 150, 0.005, false}};
  for (const auto& c : cases) {
    const Fixes fixes = normal_fixes(c.n, 1.0, 2.0, 1.0, 0.5, static_cast<std::uint32_t>(c.n));
    std::vector<KernelSource> sources;
    for (std::size_t k = 0; k < fixes.size(); ++k) {
      const double lambda = c.varied ? 0.5 + static_cast<double>(k % 7) / 4.0 : 1.0;
      sources.push_back({fixes[k].first, fixes[k].second, 1.0 / (lambda * lambda), lambda * c.bandwidth});
    }
    const GridGeometry grid{-3.0, -1.0, 8.0 / c.S, 6.0 / c.S};
    const std::size_t nodes = static_cast<std::size_t>(c.S + 1) * static_cast<std::size_t>(c.S + 1);
    std::vector<double> direct(nodes), product(nodes);
    accumulate_kernel_sums(sources, grid, c.S, direct, 3, KernelSumMethod::direct);
    accumulate_kernel_sums(sources, grid, c.S, product, 1, KernelSumMethod::product);
    for (std::size_t k = 0; k < nodes; ++k) {
      if (direct[k] > 1e-290) {
        ASSERT_EQ(product[k], direct[k]) << "n " << c.n << " node " << k;
      }
      ASSERT_NEAR(product[k], direct[k], 1e-290) << "n " << c.n << " node " << k;
    }
  }
}

TEST(UdGrid, InterpolatedSumStaysWithinItsBoundOfTheExactSum) {
  // The interpolated sum promises every node within 1e-12 of the grid's maximum of the exact
  // sum (its interpolation bound is 2e-17 per unit of weight, rounding some 1e-13 of the
  // maximum). The exact sum is the direct one. Cases: a broad kernel (one box per axis), a
  // narrow one on a wide cloud (many boxes), clustered fixes with repeats and weights, every
  // fix on one line (a zero extent along x), one fix, and a grid far wider than the fixes.
  struct Case {
    const char* name;
    Fixes fixes;
    double bandwidth;
    std::int32_t S;
  };
  Fixes clustered = normal_fixes(400, 0.0, 0.0, 0.05, 0.08, 3);
  const Fixes far_cluster = normal_fixes(300, 3.0, 2.0, 0.3, 0.2, 4);
  clustered.insert(clustered.end(), far_cluster.begin(), far_cluster.end());
  clustered.insert(clustered.end(), 50, std::pair{1.0, 1.0});
  Fixes line;
  for (int k = 0; k < 200; ++k) line.push_back({0.5, -2.0 + 0.02 * k});
  const Case cases[] = {{"broad", normal_fixes(500, 0.5, 0.5, 1.0, 0.7, 5), 0.9, 60},
                        {"narrow", normal_fixes(2000, 0.5, 0.5, 1.2, 0.9, 6), 0.04, 120},
                        {"clustered", clustered, 0.1, 90},
                        {"line", line, 0.2, 50},
                        {"one fix", {{0.25, 0.75}}, 0.3, 40},
                        {"wide grid", normal_fixes(300, 0.0, 0.0, 0.1, 0.1, 7), 0.05, 150}};
  for (const Case& c : cases) {
    std::vector<KernelSource> sources;
    for (std::size_t k = 0; k < c.fixes.size(); ++k)
      sources.push_back({c.fixes[k].first, c.fixes[k].second, 0.5 + static_cast<double>(k % 3), c.bandwidth});
    const GridGeometry grid{-4.0, -3.5, 8.0 / c.S, 7.0 / c.S};
    const std::size_t nodes = static_cast<std::size_t>(c.S + 1) * static_cast<std::size_t>(c.S + 1);
    std::vector<double> exact(nodes), fast(nodes), fast_threads(nodes);
    accumulate_kernel_sums(sources, grid, c.S, exact, 1, KernelSumMethod::direct);
    accumulate_kernel_sums(sources, grid, c.S, fast, 1, KernelSumMethod::interpolated);
    accumulate_kernel_sums(sources, grid, c.S, fast_threads, 3, KernelSumMethod::interpolated);
    EXPECT_EQ(fast, fast_threads) << c.name << ": the thread count changed the sum";
    const double largest = *std::max_element(exact.begin(), exact.end());
    double worst = 0.0;
    for (std::size_t k = 0; k < nodes; ++k) {
      ASSERT_GE(fast[k], 0.0) << c.name;
      worst = std::max(worst, std::abs(fast[k] - exact[k]));
    }
    EXPECT_LE(worst, 1e-12 * largest) << c.name;
  }
}

TEST(UdGrid, TheEngineTakesTheInterpolatedSumWhereItIsCheaper) {
  // 3,000 fixes on 201 x 201 nodes: the exact sum would cost 100 times more. The grid the
  // engine makes stays within 1e-12 of its maximum of the exact sum over the same sources.
  const Fixes fixes = normal_fixes(3000, 10.0, 20.0, 3.0, 2.0, 8);
  KernelEngine engine(static_cast<std::int32_t>(fixes.size()));
  add_fixes(engine, fixes);
  engine.stdize(KernelEngine::NONE);
  engine.set_h_proportional(1.0);
  engine.init_matrix(200);
  ASSERT_TRUE(engine.kern_fixed());
  std::vector<KernelSource> sources;
  for (const auto& fix : engine.Trackingdata()) sources.push_back({fix.x, fix.y, 1.0, engine.h()});
  std::vector<double> exact(engine.densities().size());
  accumulate_kernel_sums(sources, {engine.ax(), engine.ay(), engine.dx(), engine.dy()}, 200, exact, 1,
                         KernelSumMethod::product);
  const double scale = 1.0 / (2.0 * 3.141592653589793 * engine.h() * engine.h() * 3000.0);
  const double largest = *std::max_element(exact.begin(), exact.end()) * scale;
  for (std::size_t k = 0; k < exact.size(); ++k)
    ASSERT_NEAR(engine.densities()[k], exact[k] * scale, 1e-12 * largest) << "node " << k;
}

TEST(Findscale, SingleAxisSpreadIsCentredAcrossTheLine) {
  KernelEngine engine(11);
  for (int k = 0; k <= 10; ++k) engine.Add_Point(static_cast<float>(k), 5.0f);
  engine.seth(1.0);
  engine.init_matrix(100);
  engine.Findscale();
  ASSERT_TRUE(engine.scale_found());
  // range x = 10: the nodes span 10 + 21 h = 31 along x from -10.5, and are centred on y = 5.
  EXPECT_NEAR(engine.dx(), 0.31, 1e-14);
  EXPECT_EQ(engine.dy(), engine.dx());
  EXPECT_NEAR(engine.ax(), -10.5, 1e-13);
  EXPECT_NEAR(engine.ay() + 50 * engine.dy(), 5.0, 1e-13);
}

TEST(VolumeCheck, WellSpreadFixesOnTheDefaultGridPass) {
  TempLogFolder log;
  KernelEngine engine(200);
  add_fixes(engine, normal_fixes(200, 0, 0, 1, 1, 3));
  engine.set_h_proportional(1.0);
  engine.init_matrix(150);
  EXPECT_TRUE(engine.kern_fixed());
  EXPECT_NEAR(engine.volume(), 1.0, 1e-3);  // the 10.5 h border leaves out ~1e-24 of the mass
  const std::string text = log.contents();
  EXPECT_THAT(text, HasSubstr("Calculating the Fixed kernel ud matrix...\n"));
  EXPECT_THAT(text, HasSubstr("    100.00% of the ud function included inside the matrix.\n"
                              "Made UD Completion statement\n"
                              "Failed \"((standardized == true ) && (!is_pilot))\"\n"
                              "Kernel Reports Success\n"));
}

TEST(VolumeCheck, TightClustersOnACoarseGridFail) {
  TempLogFolder log;
  Fixes fixes;
  for (const auto& centre : Fixes{{0, 0}, {1000, 0}, {0, 1000}}) {
    for (const auto& f : normal_fixes(5, centre.first, centre.second, 0.1, 0.1, 11)) fixes.push_back(f);
  }
  KernelEngine engine(15);
  add_fixes(engine, fixes);
  engine.seth(0.05);
  engine.init_matrix(40);
  EXPECT_FALSE(engine.kern_fixed());
  EXPECT_TRUE(engine.ud_made());  // the grid is kept
  EXPECT_THAT(log.contents(),
              HasSubstr("Volume in matrix failed \"if((volume < 0.9) || (volume > 1.1 )) \"\n"));
}

TEST(Adaptive, LambdaShrinksInDenseAndGrowsInSparsePartsAroundAGeometricMeanOfOne) {
  TempLogFolder log;
  Fixes fixes = normal_fixes(40, 0, 0, 0.5, 0.5, 5);
  for (const auto& f : Fixes{{6, 6}, {-5, 7}, {7, -4}}) fixes.push_back(f);
  KernelEngine engine(43);
  add_fixes(engine, fixes);
  engine.set_h_proportional(0.5);
  engine.init_matrix(80);
  engine.kern_adaptive();
  double log_sum = 0.0;
  for (std::size_t k = 0; k < fixes.size(); ++k) {
    const double lambda = engine.Trackingdata()[k].lambda;
    log_sum += std::log(lambda);
    if (k >= 40) {
      EXPECT_GT(lambda, 1.0) << k;
    }
  }
  EXPECT_LT(engine.Trackingdata()[0].lambda, 1.0);
  EXPECT_NEAR(log_sum / 43.0, 0.0, 1e-12);  // geometric mean 1 by construction, up to rounding
  EXPECT_THAT(log.contents(), HasSubstr("Calculating the Adaptive kernel ud matrix...\nIn Localsmooth.\n"
                                        "Calculating the Fixed kernel ud matrix...\n"));
  EXPECT_THAT(log.contents(), HasSubstr("% of the ud function included inside the pilot matrix.\n"));
}

TEST(StdUnit, GridReturnsToMapUnitsAndKeepsItsVolume) {
  TempLogFolder log;
  const Fixes fixes = normal_fixes(120, 500000, 4000000, 300, 80, 9);
  KernelEngine engine(120);
  add_fixes(engine, fixes);
  engine.stdize(KernelEngine::STD_Unit);
  engine.set_h_proportional(1.0);
  engine.init_matrix(100);
  ASSERT_TRUE(engine.kern_fixed());
  const auto [min_x, max_x] = std::minmax_element(fixes.begin(), fixes.end());
  EXPECT_LT(engine.ax(), min_x->first);
  EXPECT_GT(engine.ax() + 100 * engine.dx(), max_x->first);
  double volume = 0.0;
  for (double f : engine.densities()) volume += f * engine.dx() * engine.dy();
  EXPECT_NEAR(volume, engine.volume(), 1e-12 * engine.volume());  // the same sum, reordered factors
  EXPECT_THAT(log.contents(), HasSubstr("returning coordinate matrix to Non-standardized position\n"));
}

TEST(StdUnit, SecondRunOnOneEngineDoesNotStretchTwice) {
  KernelEngine engine(120);
  add_fixes(engine, normal_fixes(120, 5000, 3000, 30, 8, 2));
  engine.stdize(KernelEngine::STD_Unit);
  engine.set_h_proportional(1.0);
  engine.init_matrix(50);
  engine.kern_fixed();
  const double ax = engine.ax(), dx = engine.dx();
  engine.kern_adaptive();
  EXPECT_EQ(engine.ax(), ax);
  EXPECT_EQ(engine.dx(), dx);
}

TEST(Degenerate, AllFixesAtOnePlaceGiveFalseAndNoNaN) {
  TempLogFolder log;
  KernelEngine engine(6);
  for (int k = 0; k < 6; ++k) engine.Add_Point(3.0f, 4.0f);
  engine.stdize(KernelEngine::STD_Unit);
  EXPECT_EQ(engine.gethref(), 0.0);
  engine.set_search_range(0.1, 1.0, 0.05);
  engine.set_h_proportional(1.0);
  ASSERT_EQ(engine.init_matrix(40), 1);
  EXPECT_FALSE(engine.kern_fixed());
  EXPECT_FALSE(engine.kern_adaptive());
  EXPECT_FALSE(engine.ud_made());
  for (double f : engine.densities()) ASSERT_EQ(f, 0.0);
  for (const auto& fix : engine.Trackingdata()) EXPECT_FALSE(std::isnan(fix.lambda));
  EXPECT_EQ(engine.AVMakeContour(), 0);
  EXPECT_THAT(log.contents(), HasSubstr("WARNING: h is not a positive number; no UD computed\n"));
}

TEST(Degenerate, NoSpreadWithAUserBandwidthStillRefuses) {
  TempLogFolder log;
  KernelEngine engine(3);
  add_fixes(engine, {{1, 1}, {1, 1}, {1, 1}});
  engine.seth(2.0);
  engine.init_matrix(40);
  EXPECT_FALSE(engine.kern_fixed());
  EXPECT_THAT(log.contents(), HasSubstr("WARNING: Findscale: the fixes have no extent (all at one place)"));
}

TEST(Degenerate, MissingGridOrNonPositiveHRefuse) {
  KernelEngine engine(7);
  add_fixes(engine, kSpread);
  engine.seth(0.5);
  EXPECT_FALSE(engine.kern_fixed());  // no init_matrix
  engine.init_matrix(20);
  engine.seth(0.0);
  EXPECT_FALSE(engine.kern_fixed());
  engine.seth(-1.0);
  EXPECT_FALSE(engine.kern_adaptive());
  EXPECT_EQ(engine.init_matrix(0), 0);
  EXPECT_EQ(engine.init_matrix(50000), 0);  // (S + 1)^2 beyond the int32 table length
}

TEST(UdTable, StableDescendingOrderKeepsRowMajorOrderForTies) {
  const std::vector<double> densities{0.1, 0.5, 0.3, 0.5, 0.0, 0.3, 0.5};
  std::vector<std::uint32_t> order(densities.size());
  stable_descending_order(densities, order);
  EXPECT_EQ(order, (std::vector<std::uint32_t>{1, 3, 6, 2, 5, 0, 4}));
}

TEST(UdTable, SortedTableIsDescendingAndComplete) {
  KernelEngine engine(7);
  add_fixes(engine, kSpread);
  engine.seth(0.6);
  engine.init_matrix(30);
  engine.kern_fixed();
  engine.sort_ud_table();
  ASSERT_TRUE(engine.table_made());
  EXPECT_EQ(engine.table_length(), 31 * 31);
  for (std::int64_t k = 1; k < engine.table_length(); ++k) {
    ASSERT_GE(engine.sorted_density(k - 1), engine.sorted_density(k));
    ASSERT_EQ(engine.sorted_density(k), engine.densities()[engine.sorted_node(k)]);
  }
}

}  // namespace
}  // namespace orvex::core::test
