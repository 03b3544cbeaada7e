// Target count, centres and the six selection styles on hand-worked fix sets.

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "core/mcp/mcp_centres.h"
#include "core/mcp/mcp_polygon.h"

namespace orvex::core {
namespace {

using Fixes = std::vector<McpPoint>;

// Corners of the unit square and its centre, in this set order.
const Fixes kSquareAndCentre{{0, 0}, {1, 0}, {1, 1}, {0, 1}, {0.5, 0.5}};

McpResult run(const Fixes& fixes, double percentage, std::string style, McpPoint userCentre = {}) {
  return mcpPercentageAnalysis(fixes, McpOptions{percentage, std::move(style), userCentre});
}

TEST(McpTargetCount, IsCeilOfNTimesPOverHundredInThatOrder) {
  EXPECT_EQ(mcpTargetCount(10, 95), 10);  // ceil(9.5)
  EXPECT_EQ(mcpTargetCount(3, 95), 3);    // ceil(2.85)
  EXPECT_EQ(mcpTargetCount(3, 50), 2);    // ceil(1.5)
  // 100 * 55 / 100 is exactly 55, while 100 * (55 / 100) rounds to 55.00000000000001 -> 56.
  EXPECT_EQ(mcpTargetCount(100, 55), 55);
  EXPECT_EQ(mcpTargetCount(50, 14), 7);
  EXPECT_EQ(mcpTargetCount(5, 150), 8);
  EXPECT_EQ(mcpTargetCount(5, -10), 0);
  EXPECT_EQ(mcpTargetCount(5, std::nan("")), 0);
  EXPECT_EQ(mcpTargetCount(5, 1e300), std::numeric_limits<int>::max());  // saturates
}

TEST(McpCentres, MedianTakesMiddleOrMeanOfTwoMiddles) {
  EXPECT_EQ(mcpMedianCentre(Fixes{{1, 0}, {9, 0}, {2, 0}}).x, 2.0);
  EXPECT_EQ(mcpMedianCentre(Fixes{{10, 0}, {1, 0}, {3, 0}, {2, 0}}).x, 2.5);
  // x and y are sorted separately: the centre need not be a fix.
  EXPECT_EQ(mcpMedianCentre(Fixes{{1, 10}, {2, 1}, {9, 2}}), (McpPoint{2, 2}));
  // a/2 + b/2 stays finite where (a + b)/2 would overflow.
  EXPECT_EQ(mcpMedianCentre(Fixes{{1e308, 0}, {1e308, 0}}).x, 1e308);
}

TEST(McpCentres, MeanDividesEachTermBeforeAdding) {
  // 1/3 + 1/3 + 3/3 = 1.6666666666666665, one ulp below 5/3 = 1.6666666666666667 (IEEE double).
  EXPECT_EQ(mcpMeanCentre(Fixes{{1, 0}, {1, 0}, {3, 0}}).x, 1.6666666666666665);
}

TEST(McpCentres, FarthestAndRemovalPreferTheFirstInSetOrder) {
  const Fixes ring{{1, 0}, {0, 1}, {-1, 0}};
  EXPECT_EQ(mcpFarthest(ring, {0, 0}), 0u);
  EXPECT_FALSE(mcpFarthest(Fixes{}, {0, 0}).has_value());

  Fixes dup{{5, 5}, {1, 1}, {5, 5}};
  EXPECT_TRUE(mcpRemoveByCoordinates(dup, {5, 5}));
  EXPECT_EQ(dup, (Fixes{{1, 1}, {5, 5}}));
  EXPECT_FALSE(mcpRemoveByCoordinates(dup, {2, 2}));
  EXPECT_EQ(dup.size(), 2u);
}

// Unit square and centre at p = 80 (O = 4), worked by hand: the mean and median centres are
// (0.5, 0.5); all corners are sqrt(0.5) from it, so ties decide by set order.
TEST(McpStyles, SquareAndCentreAtEightyPercent) {
  struct Case {
    std::string style;
    Fixes kept;
    double area;
  };
  const Case cases[] = {
      // nearest first: the centre, then the first three corners
      {"Fixed Mean", {{0.5, 0.5}, {0, 0}, {1, 0}, {1, 1}}, 0.5},
      {"Fixed Median", {{0.5, 0.5}, {0, 0}, {1, 0}, {1, 1}}, 0.5},
      // the first corner goes; survivors in set order
      {"Floating Mean", {{1, 0}, {1, 1}, {0, 1}, {0.5, 0.5}}, 0.5},
      {"Floating Median", {{1, 0}, {1, 1}, {0, 1}, {0.5, 0.5}}, 0.5},
      // dropping the centre adds no area (d = 0), any corner 0.5: the first corner goes
      {"Area Added", {{1, 0}, {1, 1}, {0, 1}, {0.5, 0.5}}, 0.5},
      // no exact style name: nothing dropped
      {"fixed mean", kSquareAndCentre, 1.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.style);
    const McpResult r = run(kSquareAndCentre, 80, c.style);
    ASSERT_EQ(r.status, McpStatus::ok);
    EXPECT_EQ(r.nPoints, 5);
    EXPECT_EQ(r.nUsed, 4);
    EXPECT_EQ(r.kept, c.kept);
    EXPECT_DOUBLE_EQ(r.ring.area, c.area);  // exact binary fractions; 4-ulp tolerance
  }
}

TEST(McpStyles, UserCentrePicksNearestToTheGivenPoint) {
  // Distances from (1, 1): (1,1) 0, centre 0.707, (1,0) and (0,1) 1 (tie -> set order).
  const McpResult r = run(kSquareAndCentre, 60, "User Centre", {1, 1});
  ASSERT_EQ(r.status, McpStatus::ok);
  EXPECT_EQ(r.kept, (Fixes{{1, 1}, {0.5, 0.5}, {1, 0}}));
  EXPECT_DOUBLE_EQ(r.ring.area, 0.25);  // right triangle with legs 1 and 0.5
}

// F0..F4 at p = 80: mean centre (1.8, 1.6), median centre (1, 1).
TEST(McpStyles, MeanAndMedianCentresDropDifferentFixes) {
  const Fixes f{{0, 0}, {6, 0}, {0, 6}, {1, 1}, {2, 1}};
  // squared distances from the mean: 5.8, 20.2, 22.6, 1, 0.4 -> F2 goes
  EXPECT_EQ(run(f, 80, "Floating Mean").kept, (Fixes{{0, 0}, {6, 0}, {1, 1}, {2, 1}}));
  // from the median: 2, 26, 26, 0, 1 -> F1 and F2 tie, the first (F1) goes
  EXPECT_EQ(run(f, 80, "Floating Median").kept, (Fixes{{0, 0}, {0, 6}, {1, 1}, {2, 1}}));
  EXPECT_EQ(run(f, 80, "Fixed Mean").kept, (Fixes{{2, 1}, {1, 1}, {0, 0}, {6, 0}}));
  EXPECT_EQ(run(f, 80, "Fixed Median").kept, (Fixes{{1, 1}, {2, 1}, {0, 0}, {6, 0}}));
}

TEST(McpStyles, FloatingCentreIsRecomputedAfterEachRemoval) {
  // p = 60, O = 3. Mean (2.8, 3.2): squared distances 0.08, 4.88, 15.08, 7.88, 15.68.
  const Fixes g{{3, 3}, {5, 3}, {6, 1}, {0, 3}, {0, 6}};
  // Fixed: the three nearest, all on y = 3: a degenerate ring.
  const McpResult fixed = run(g, 60, "Fixed Mean");
  EXPECT_EQ(fixed.kept, (Fixes{{3, 3}, {5, 3}, {0, 3}}));
  EXPECT_EQ(fixed.ring.area, 0.0);
  // Floating: (0,6) goes, the new mean is (3.5, 2.5), then (0,3) (12.5) goes before (6,1) (8.5).
  const McpResult floating = run(g, 60, "Floating Mean");
  EXPECT_EQ(floating.kept, (Fixes{{3, 3}, {5, 3}, {6, 1}}));
  EXPECT_DOUBLE_EQ(floating.ring.area, 2.0);  // base 2 on y = 3, height 2
}

TEST(McpStyles, DuplicateFixesAreSeparateElements) {
  const Fixes d{{0, 0}, {2, 0}, {0, 2}, {2, 2}, {1, 1}, {1, 1}};
  // Median centre (1, 1): both copies of it are nearest, then the first of the four corners
  // (all sqrt(2) away). All three kept fixes lie on y = x.
  const McpResult fixed = run(d, 50, "Fixed Median");
  EXPECT_EQ(fixed.kept, (Fixes{{1, 1}, {1, 1}, {0, 0}}));
  EXPECT_EQ(fixed.ring.area, 0.0);
  // Mean (2.2, 2.2): the two (5,5) tie as farthest; removal by coordinates takes the first.
  const Fixes far{{5, 5}, {0, 0}, {1, 0}, {0, 1}, {5, 5}};
  EXPECT_EQ(run(far, 80, "Floating Mean").kept, (Fixes{{0, 0}, {1, 0}, {0, 1}, {5, 5}}));
}

// The floating median keeps its sorted coordinates between removals; it must drop exactly the
// fixes that recomputing the median from scratch each round drops (ties and duplicates included).
TEST(McpStyles, FloatingMedianMatchesAMedianRecomputedEveryRound) {
  for (const std::size_t n : {7U, 8U, 60U, 61U}) {
    Fixes fixes;
    for (std::size_t i = 0; i < n; ++i)  // a coarse grid: many equal coordinates and distances
      fixes.push_back({static_cast<double>((i * 37) % 11), static_cast<double>((i * 53) % 7)});
    for (const double percentage : {90.0, 50.0, 40.0}) {
      Fixes expected = fixes;
      const auto target = static_cast<std::size_t>(mcpTargetCount(n, percentage));
      while (expected.size() > target)
        mcpRemoveByCoordinates(expected, expected[*mcpFarthest(expected, mcpMedianCentre(expected))]);
      EXPECT_EQ(run(fixes, percentage, "Floating Median").kept, expected) << n << " fixes, " << percentage;
    }
  }
}

TEST(McpStyles, PercentageAboveHundredKeepsEveryFix) {
  for (const char* style :
       {"Fixed Mean", "Fixed Median", "User Centre", "Floating Mean", "Floating Median", "Area Added"}) {
    SCOPED_TRACE(style);
    const McpResult r = run(kSquareAndCentre, 150, style);
    ASSERT_EQ(r.status, McpStatus::ok);
    EXPECT_EQ(r.nUsed, 8);  // O = ceil(7.5) is reported, not the 5 fixes there are
    EXPECT_EQ(r.kept.size(), 5u);
    EXPECT_DOUBLE_EQ(r.ring.area, 1.0);
  }
  EXPECT_EQ(run(kSquareAndCentre, 150, "Fixed Mean").kept,
            (Fixes{{0.5, 0.5}, {0, 0}, {1, 0}, {1, 1}, {0, 1}}));
}

TEST(McpFailures, TooLowPercentageOrBadInputGivesNoPolygon) {
  const Fixes three{{0, 0}, {1, 0}, {0, 1}};
  EXPECT_EQ(run(three, 95, "Fixed Mean").status, McpStatus::ok);  // O = 3 = n
  for (const double p : {50.0, 0.0, -5.0, std::nan("")}) {
    const McpResult r = run(three, p, "Fixed Mean");
    EXPECT_EQ(r.status, McpStatus::percentageTooLow) << p;
    EXPECT_TRUE(r.kept.empty());
    EXPECT_TRUE(r.ring.vertices.empty());
  }
  EXPECT_EQ(run(three, 50, "Fixed Mean").nUsed, 2);
  EXPECT_EQ(run(Fixes{{0, 0}, {1, 1}}, 200, "Fixed Mean").status, McpStatus::tooFewFixes);
  EXPECT_EQ(run(Fixes{{0, 0}, {1, 1}, {0, std::nan("")}}, 100, "Fixed Mean").status,
            McpStatus::invalidCoordinates);
}

TEST(McpFailures, TooLowMessageIsExactAndLocaleFree) {
  const std::string expected =
      "The MCP Analysis Percentage (50.00) is too low - no polygon can be generated).";
  EXPECT_EQ(mcpTooLowMessage(50), expected);
  EXPECT_EQ(mcpTooLowMessage(0),
            "The MCP Analysis Percentage (0.00) is too low - no polygon can be generated).");
  if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr)
    GTEST_SKIP() << "de_DE.UTF-8 locale not installed";
  const std::string under_comma_locale = mcpTooLowMessage(50);
  std::setlocale(LC_NUMERIC, "C");
  EXPECT_EQ(under_comma_locale, expected);
}

}  // namespace
}  // namespace orvex::core
