// The floating styles and the hull they peel, against their plain definitions: a full centre and
// a full farthest-fix scan per removal, and a fresh hull of what is left.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <numbers>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "core/mcp/mcp_centres.h"
#include "core/mcp/mcp_floating.h"
#include "core/mcp/mcp_peel.h"
#include "mcp/mcp_test_support.h"

namespace orvex::core {
namespace {

using Fixes = std::vector<McpPoint>;

// The definition, as the styles were first built: the centre of what is left from scratch, the
// farthest fix by a full scan, and the fix removed from the working set.
std::vector<std::size_t> plainRemovals(const Fixes& fixes, std::size_t target, McpFloatingCentre centre) {
  std::vector<std::size_t> w(fixes.size());
  std::iota(w.begin(), w.end(), std::size_t{0});
  std::vector<std::size_t> removed;
  while (w.size() > target) {
    Fixes left;
    for (const std::size_t i : w) left.push_back(fixes[i]);
    const McpPoint c = centre == McpFloatingCentre::mean ? mcpMeanCentre(left) : mcpMedianCentre(left);
    const std::size_t far = *mcpFarthest(left, c);
    removed.push_back(w[far]);
    w.erase(w.begin() + static_cast<std::ptrdiff_t>(far));
  }
  return removed;
}

Fixes normalCloud(std::size_t n, double x0, double y0, double sd, unsigned seed) {
  std::mt19937_64 rng(seed);
  std::normal_distribution<double> offset(0.0, sd);
  Fixes fixes(n);
  for (McpPoint& p : fixes) p = {x0 + offset(rng), y0 + offset(rng)};
  return fixes;
}

Fixes clustered() {  // three tight clusters far apart, and stray fixes between them
  Fixes fixes;
  for (const auto& c : normalCloud(5, 0.0, 0.0, 3000.0, 7)) {
    const Fixes cluster = normalCloud(80, 500000.0 + c.x, 4e6 + c.y, 5.0, static_cast<unsigned>(c.x));
    fixes.insert(fixes.end(), cluster.begin(), cluster.end());
  }
  return fixes;
}

Fixes repeated() {  // 400 fixes on 25 positions in random order
  const Fixes spots = normalCloud(25, 0.0, 0.0, 100.0, 3);
  std::mt19937_64 rng(4);
  std::uniform_int_distribution<std::size_t> pick(0, spots.size() - 1);
  Fixes fixes(400);
  for (McpPoint& p : fixes) p = spots[pick(rng)];
  return fixes;
}

Fixes grid() {  // a 15 x 15 lattice, shuffled: symmetric ties everywhere
  Fixes fixes;
  for (int i = 0; i < 15; ++i) {
    for (int j = 0; j < 15; ++j) fixes.push_back({440000.0 + i, 5e6 + j});
  }
  std::shuffle(fixes.begin(), fixes.end(), std::mt19937_64(5));
  return fixes;
}

Fixes circle() {  // every fix a hull vertex, pairs at equal distance from the centre
  Fixes fixes;
  for (int i = 0; i < 64; ++i)
    fixes.push_back({std::cos(i * std::numbers::pi / 32.0), std::sin(i * std::numbers::pi / 32.0)});
  return fixes;
}

Fixes line() {  // collinear: the hull is a segment all the way down
  Fixes fixes;
  for (int i = 0; i < 60; ++i) fixes.push_back({3.0 * ((i * 37) % 60), 2.0 * ((i * 37) % 60) + 1.0});
  return fixes;
}

// Evenly over a disc (golden angle, scrambled radii): hull vertices all but equally far from
// the centre, so that the mean's rounding bound often leaves the farthest one open.
Fixes disc(std::size_t n, double x0, double y0, double radius) {
  Fixes fixes;
  for (std::size_t i = 0; i < n; ++i) {
    const double r = radius * std::sqrt((static_cast<double>((i * 7919) % n) + 0.5) / static_cast<double>(n));
    fixes.push_back({x0 + r * std::cos(2.399963 * static_cast<double>(i)),
                     y0 + r * std::sin(2.399963 * static_cast<double>(i))});
  }
  return fixes;
}

struct Set {
  const char* name;
  std::function<Fixes()> make;
};

const Set kSets[] = {
    {"utm normal", [] { return normalCloud(700, 430000.0, 5210000.0, 1500.0, 1); }},
    {"unit normal", [] { return normalCloud(500, 0.0, 0.0, 1.0, 2); }},
    {"clustered", clustered},
    {"repeated", repeated},
    {"grid", grid},
    {"circle", circle},
    {"line", line},
    // far from the origin with a tiny spread: the mean's rounding bound is wide against the gaps
    {"far offset", [] { return normalCloud(400, 1e9, -1e9, 0.01, 9); }},
    {"far disc", [] { return disc(1500, 1e9, -1e9, 1.0); }},
};

TEST(McpFloating, RemovesWhatTheDefinitionRemovesInTheSameOrder) {
  for (const Set& set : kSets) {
    const Fixes fixes = set.make();
    for (const auto centre : {McpFloatingCentre::mean, McpFloatingCentre::median}) {
      for (const std::size_t target : {fixes.size() / 2, std::size_t{3}}) {
        SCOPED_TRACE(std::string(set.name) + (centre == McpFloatingCentre::mean ? " mean " : " median ") +
                     std::to_string(target));
        EXPECT_EQ(mcpFloatingRemovals(fixes, target, centre), plainRemovals(fixes, target, centre));
      }
    }
  }
}

TEST(McpFloating, TiesThatRoundingCannotSettleSumTheMeanAfresh) {
  for (const Set& set : {kSets[4], kSets[7], kSets[8]}) {  // the grid, the far offset, the far disc
    McpFloatingStats stats;
    mcpFloatingRemovals(set.make(), 100, McpFloatingCentre::mean, &stats);
    EXPECT_GT(stats.exactCentres, 0u) << set.name;
    EXPECT_GE(stats.exactAxes, stats.exactCentres) << set.name;
    EXPECT_LE(stats.exactAxes, 2 * stats.exactCentres) << set.name;
  }
  // On the disc one coordinate often settles the pick without the other.
  McpFloatingStats stats;
  mcpFloatingRemovals(kSets[8].make(), 100, McpFloatingCentre::mean, &stats);
  EXPECT_LT(stats.exactAxes, 2 * stats.exactCentres);
}

// Every set-order addition of the mean rounds up by almost half a grid step (k = 2^14, each
// x / k = 127 + 2^-33 + 2^-46: in the top binade, grid 2^-32, a fraction just over 1/2), so the
// definition's centre lies about 3/4 of its rounding bound right of the exact mean. Two fixes
// 1 m either side are placed so that the exact mean would drop the right one and the
// definition drops the left one: a bound under about 0.7 of the true one picks wrongly.
TEST(McpFloating, TheMeansRoundingBoundHoldsWhereEveryAdditionRoundsOneWay) {
  const double k = 0x1p14;
  const double x = (127.0 + 0x1p-33 + 0x1p-46) * k;
  const auto fixesWith = [&](double shift) {
    Fixes fixes(static_cast<std::size_t>(k), McpPoint{x, 0.0});
    fixes[0] = {x + 1.0 + shift, 0.0};
    fixes[1] = {x - 1.0, 0.0};
    return fixes;
  };
  const auto drift = [&](const Fixes& fixes) {  // definition's centre minus the exact mean
    long double sum = 0.0L;
    for (const McpPoint& p : fixes) sum += p.x;
    return static_cast<double>(static_cast<long double>(mcpMeanCentre(fixes).x) - sum / fixes.size());
  };
  const double e = drift(fixesWith(0.0));
  ASSERT_GT(e, 0.7 * 0x1p-20);  // about k 2^-32 / 4
  const Fixes fixes = fixesWith(1.9 * e);
  long double sum = 0.0L;
  for (const McpPoint& p : fixes) sum += p.x;
  const McpPoint exact{static_cast<double>(sum / fixes.size()), 0.0};
  ASSERT_EQ(mcpFarthest(fixes, exact), 0u);  // the exact mean drops the right fix
  const auto definition = plainRemovals(fixes, fixes.size() - 1, McpFloatingCentre::mean);
  ASSERT_EQ(definition, std::vector<std::size_t>{1});  // the definition the left one
  EXPECT_EQ(mcpFloatingRemovals(fixes, fixes.size() - 1, McpFloatingCentre::mean), definition);
}

TEST(McpFloating, MatchesTheDefinitionOnRealTracks) {
  if (!std::filesystem::exists(mcp_test::shared_data())) GTEST_SKIP() << "shared telemetry data not found";
  // ibex: Lambert coordinates; puechcirc: repeated positions; bear: a thousand GPS fixes.
  for (const char* track : {"ibex", "puechcirc", "bear"}) {
    const auto path = mcp_test::shared_data() / track / (std::string(track) + ".csv");
    for (const auto& [animal, fixes] : mcp_test::read_track(path)) {
      for (const auto centre : {McpFloatingCentre::mean, McpFloatingCentre::median}) {
        SCOPED_TRACE(std::string(track) + " " + animal);
        const auto target = static_cast<std::size_t>(mcpTargetCount(fixes.size(), 50));
        EXPECT_EQ(mcpFloatingRemovals(fixes, target, centre), plainRemovals(fixes, target, centre));
      }
    }
  }
}

TEST(McpFloating, KeepsEverythingWhenTheTargetCoversTheSet) {
  const Fixes fixes{{0, 0}, {1, 0}, {0, 1}};
  EXPECT_EQ(mcpFloatingKeep(fixes, 3, McpFloatingCentre::mean), fixes);
  EXPECT_TRUE(mcpFloatingRemovals(fixes, 7, McpFloatingCentre::median).empty());
}

TEST(McpOrientation, IsExactWhereTheRoundedDeterminantIsNot) {
  const double up = std::nextafter(24.0, 25.0);
  const double down = std::nextafter(24.0, 23.0);
  struct Case {
    McpPoint a, b, c;
    int sign;
  };
  const Case cases[] = {
      {{0.5, 0.5}, {12, 12}, {24, 24}, 0},                       // on the line y = x
      {{0.5, 0.5}, {12, 12}, {24, up}, 1},                       // one ulp above it
      {{0.5, 0.5}, {12, 12}, {24, down}, -1},                    // one ulp below it
      {{0.1, 0.1}, {0.2, 0.2}, {0.30000000000000004, 0.3}, -1},  // 0.1+0.2 is one ulp above 0.3
      {{1, 1}, {1, 1}, {5, 7}, 0},                               // two points equal
      {{0, 0}, {1, 0}, {0, 1}, 1},
  };
  for (const Case& c : cases) EXPECT_EQ(mcpOrientation(c.a, c.b, c.c), c.sign);
}

// The hull as peeled, rotated to start at its lowest position index, against a fresh strict hull
// of the positions left.
TEST(McpPeel, HullStaysTheHullOfWhatIsLeft) {
  for (const Set& set : kSets) {
    SCOPED_TRACE(set.name);
    const Fixes fixes = set.make();
    McpPeel peel(fixes);
    std::mt19937_64 rng(11);
    while (peel.fixesLeft() > 0) {
      std::vector<std::size_t> live;
      for (std::size_t p = 0; p < peel.positionCount(); ++p) {
        if (peel.firstFix(p) != McpPeel::kNone) live.push_back(p);
      }
      Fixes points;
      for (const std::size_t p : live) points.push_back(peel.position(p));
      std::vector<std::size_t> expected;
      for (const std::size_t k : mcpStrictHull(points)) expected.push_back(live[k]);
      std::vector<std::size_t> got = peel.hull();
      std::rotate(got.begin(), std::min_element(got.begin(), got.end()), got.end());
      ASSERT_EQ(got, expected) << peel.fixesLeft() << " fixes left";
      // Remove from the hull most of the time, as the styles do, else anywhere.
      const std::size_t p = rng() % 4 != 0 ? got[rng() % got.size()] : live[rng() % live.size()];
      peel.removeFirst(p);
    }
  }
}

}  // namespace
}  // namespace orvex::core
