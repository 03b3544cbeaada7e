// MCP_Poly: start and tie rules, consumption, ring orientation, degenerate sets and area.

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "core/mcp/mcp_hull_walk.h"
#include "core/mcp/mcp_polygon.h"
#include "mcp/mcp_test_support.h"

namespace orvex::core {
namespace {

using Fixes = std::vector<McpPoint>;

// Twice the signed area, positive for an anticlockwise ring.
double signed_twice_area(const Fixes& ring) {
  double s = 0.0;
  for (std::size_t i = 0; i + 1 < ring.size(); ++i)
    s += ring[i].x * ring[i + 1].y - ring[i + 1].x * ring[i].y;
  return s;
}

TEST(McpPoly, SquareAndCentreGivesClockwiseSquareAndKeepsTheRest) {
  Fixes s{{0, 0}, {1, 0}, {1, 1}, {0, 1}, {0.5, 0.5}};
  const McpRing ring = MCP_Poly(s);
  EXPECT_EQ(ring.vertices, (Fixes{{0, 0}, {0, 1}, {1, 1}, {1, 0}, {0, 0}}));
  EXPECT_EQ(ring.area, 1.0);
  EXPECT_LT(signed_twice_area(ring.vertices), 0.0);
  // Consumed: the chosen vertices go, the start and the interior fix stay in order.
  EXPECT_EQ(s, (Fixes{{0, 0}, {0.5, 0.5}}));
}

TEST(McpPoly, StartsAtTheFirstLowestFix) {
  // (2,0) precedes (0,0) in set order: it starts the ring although it is not the leftmost.
  Fixes s{{2, 0}, {5, 3}, {0, 0}, {1, 4}};
  const McpRing ring = MCP_Poly(s);
  EXPECT_EQ(ring.vertices, (Fixes{{2, 0}, {0, 0}, {1, 4}, {5, 3}, {2, 0}}));
  EXPECT_DOUBLE_EQ(ring.area, 11.5);  // shoelace by hand: (6 + 17 + 0 + 0) / 2
}

TEST(McpPoly, FixesOnAnEdgeAreVerticesBySetOrder) {
  // From (0,0) facing east, (1,0) and (0.5,0) tie at turn 0: the earlier one is taken.
  Fixes far_first{{0, 0}, {1, 0}, {1, 1}, {0, 1}, {0.5, 0}};
  Fixes near_first{{0, 0}, {0.5, 0}, {1, 0}, {1, 1}, {0, 1}};
  const McpRing a = MCP_Poly(far_first);
  const McpRing b = MCP_Poly(near_first);
  EXPECT_EQ(a.vertices.size(), 5u);
  EXPECT_EQ(b.vertices, (Fixes{{0, 0}, {0, 1}, {1, 1}, {1, 0}, {0.5, 0}, {0, 0}}));
  EXPECT_EQ(a.area, 1.0);
  EXPECT_EQ(b.area, 1.0);
}

TEST(McpPoly, DuplicateOfCurrentVertexIsAZeroLengthStep) {
  // From (1,0), facing east, its copy reads as due east (turn 0) and is taken; the walk then
  // faces east again and reaches (0,1).
  Fixes s{{0, 0}, {1, 0}, {0, 1}, {1, 0}};
  const McpRing ring = MCP_Poly(s);
  EXPECT_EQ(ring.vertices, (Fixes{{0, 0}, {0, 1}, {1, 0}, {1, 0}, {0, 0}}));
  EXPECT_EQ(ring.area, 0.5);
  EXPECT_EQ(s, (Fixes{{0, 0}}));
}

TEST(McpPoly, RepeatedLowestFixDoesNotCollapseTheRing) {
  // The copy of the start is taken first (turn 0, earlier than (1,0)); from it the start also
  // reads as turn 0 and, taken, would close a ring of area 0.
  Fixes s{{0, 0}, {0, 0}, {1, 0}, {0, 1}};
  EXPECT_EQ(MCP_Poly(s).area, 0.5);
}

TEST(McpPoly, FixStraightAheadIsNotLostToRounding) {
  // (0.5,1.4), (0.4,2.2), (0.3,3) are collinear. Walking (0.3,3) -> (0.4,2.2), the fix
  // (0.5,1.4) lies straight ahead but its computed turn comes out a hair below 360 degrees;
  // taken literally the ring would skip it and enclose 0.315 instead of the triangle's 0.63
  // (worked by hand: |(-1.1)(0.9) - (2.5)(-0.9)| / 2).
  Fixes s{{0.4, 2.2}, {1.4, 0.5}, {0.3, 3.0}, {0.5, 1.4}};
  const McpRing ring = MCP_Poly(s);
  EXPECT_NEAR(ring.area, 0.63, 1e-12);  // inputs are decimal, so rounding at 1e-16 level
  EXPECT_EQ(ring.vertices.size(), 5u);
}

TEST(McpPoly, DegenerateSetsGiveDegenerateRings) {
  Fixes none;
  EXPECT_TRUE(MCP_Poly(none).vertices.empty());

  Fixes one{{3, 4}};
  EXPECT_EQ(MCP_Poly(one).vertices, (Fixes{{3, 4}, {3, 4}}));
  EXPECT_EQ(one, (Fixes{{3, 4}}));  // the start is never consumed

  Fixes two{{3, 4}, {1, 2}};
  const McpRing segment = MCP_Poly(two);
  EXPECT_EQ(segment.vertices, (Fixes{{1, 2}, {3, 4}, {1, 2}}));
  EXPECT_EQ(segment.area, 0.0);

  Fixes collinear{{2, 2}, {0, 0}, {3, 3}, {1, 1}};
  EXPECT_EQ(MCP_Poly(collinear).area, 0.0);

  Fixes same{{7, 7}, {7, 7}, {7, 7}};
  const McpRing point = MCP_Poly(same);
  EXPECT_EQ(point.area, 0.0);
  for (const McpPoint& v : point.vertices) EXPECT_EQ(v, (McpPoint{7, 7}));

  Fixes with_nan{{0, 0}, {1, 0}, {std::nan(""), 1}, {0, 1}};
  (void)MCP_Poly(with_nan);  // unspecified ring, but it must return
}

TEST(McpArea, MatchesClosedFormsAtLargeCoordinates) {
  // Unit square at UTM-like coordinates: raw-coordinate shoelace products (~1e13) would lose
  // about 1e-3 of the area; the exact answer is 1.
  Fixes utm{{500000, 5000000}, {500001, 5000000}, {500001, 5000001}, {500000, 5000001}};
  EXPECT_EQ(MCP_Poly(utm).area, 1.0);

  // Regular 360-gon of radius 1000: area = n/2 r^2 sin(2 pi / n). Relative tolerance 1e-12
  // covers the rounding of the vertex coordinates.
  const int n = 360;
  const double r = 1000.0;
  Fixes circle;
  for (int k = 0; k < n; ++k) {
    const double a = 2.0 * std::numbers::pi * k / n;
    circle.push_back({r * std::cos(a), r * std::sin(a)});
  }
  const double expected = n / 2.0 * r * r * std::sin(2.0 * std::numbers::pi / n);
  EXPECT_NEAR(MCP_Poly(circle).area, expected, expected * 1e-12);

  EXPECT_EQ(mcpRingArea(Fixes{{0, 0}, {0, 2}, {3, 0}, {0, 0}}), 3.0);  // either orientation
  EXPECT_EQ(mcpRingArea(Fixes{{0, 0}, {3, 0}, {0, 2}, {0, 0}}), 3.0);
}

// Every real track: the ring is a clockwise convex polygon holding every fix, and its area
// matches an independent monotone-chain hull (relative 1e-9: both sum the same kind of terms
// in different orders at coordinates up to 7e6).
TEST(McpPolyRealTracks, RingIsTheConvexHull) {
  if (!std::filesystem::exists(mcp_test::shared_data())) GTEST_SKIP() << "shared telemetry data not found";
  for (const char* track : {"bear", "sh", "ibex", "puechcirc", "porpoise", "albatross"}) {
    const auto path = mcp_test::shared_data() / track / (std::string(track) + ".csv");
    for (const auto& [animal, fixes] : mcp_test::read_track(path)) {
      SCOPED_TRACE(std::string(track) + " " + animal);
      Fixes copy = fixes;
      const McpRing ring = MCP_Poly(copy);
      const double expected = mcp_test::monotone_chain_area(fixes);
      EXPECT_NEAR(ring.area, expected, expected * 1e-9);
      const Fixes& v = ring.vertices;
      ASSERT_GE(v.size(), 4u);
      for (std::size_t i = 0; i + 1 < v.size(); ++i) {
        const double ex = v[i + 1].x - v[i].x, ey = v[i + 1].y - v[i].y;
        const double len = std::hypot(ex, ey);
        if (len == 0.0) continue;
        for (const McpPoint& p : fixes) {  // clockwise: nothing left of an edge beyond 1 mm
          ASSERT_LE((ex * (p.y - v[i].y) - ey * (p.x - v[i].x)) / len, 1e-3);
        }
      }
    }
  }
}

// The band-filtered walk against the exhaustive one, field for field (exact equality: the
// filter must not change a single comparison's outcome).
struct WalkCase {
  std::string name;
  Fixes fixes;
  bool filters;  // whether the band must leave fixes out (else either path is fine)
};

Fixes disc(int n, double cx, double cy, double radius, unsigned seed, int copies = 1) {
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  Fixes f;
  for (int i = 0; i < n; ++i) {
    const double r = radius * std::sqrt(u(rng)), a = 2.0 * std::numbers::pi * u(rng);
    for (int c = 0; c < copies; ++c) f.push_back({cx + r * std::cos(a), cy + r * std::sin(a)});
  }
  std::shuffle(f.begin(), f.end(), rng);
  return f;
}

std::vector<WalkCase> walkCases() {
  std::vector<WalkCase> cases;
  cases.push_back({"disc", disc(3000, 0.0, 0.0, 3000.0, 1), true});
  cases.push_back({"disc at UTM", disc(3000, 500000.0, 5000000.0, 3000.0, 2), true});
  cases.push_back({"metre disc at UTM", disc(3000, 612345.678, 7012345.678, 1.0, 3), false});
  cases.push_back({"repeated positions", disc(400, 10.0, 20.0, 50.0, 4, 3), true});
  Fixes lattice, decimal;
  for (int i = 0; i <= 40; ++i)
    for (int j = 0; j <= 40; ++j) lattice.push_back({500000.0 + i, 5000000.0 + j});
  std::mt19937_64 rng(5);
  std::shuffle(lattice.begin(), lattice.end(), rng);
  cases.push_back({"lattice", lattice, true});
  for (int i = 0; i < 200; ++i) {  // decimal steps: the edge fixes are collinear only up to rounding
    decimal.push_back({0.1 * i, 0.0});
    decimal.push_back({20.0, 0.1 * i});
    decimal.push_back({20.0 - 0.1 * i, 20.0});
    decimal.push_back({0.0, 20.0 - 0.1 * i});
  }
  Fixes inside = disc(1000, 10.0, 10.0, 9.0, 6);
  decimal.insert(decimal.end(), inside.begin(), inside.end());
  std::shuffle(decimal.begin(), decimal.end(), rng);
  cases.push_back({"square with fixes along its edges", decimal, true});
  Fixes thin;
  std::uniform_real_distribution<double> u(0.0, 1.0);
  for (int i = 0; i < 500; ++i) thin.push_back({1000.0 * u(rng), 1000.0 * u(rng) * 1e-12});
  cases.push_back({"nearly collinear", thin, false});
  Fixes lowestRepeated = disc(500, 0.0, 0.0, 1.0, 7);
  lowestRepeated.insert(lowestRepeated.begin() + 100, {0.0, -2.0});
  lowestRepeated.insert(lowestRepeated.begin() + 10, {0.0, -2.0});
  cases.push_back({"repeated lowest fix", lowestRepeated, true});
  Fixes withNan = disc(500, 0.0, 0.0, 1.0, 8);
  withNan[250].y = std::nan("");
  cases.push_back({"non-finite", withNan, false});
  cases.push_back({"none", {}, false});
  cases.push_back({"one", {{3, 4}}, false});
  cases.push_back({"two", {{3, 4}, {1, 2}}, false});
  cases.push_back({"three", {{0, 0}, {2, 0}, {1, 1}}, false});
  cases.push_back({"four, one inside", {{0, 0}, {4, 0}, {1, 1}, {0, 4}}, false});
  if (std::filesystem::exists(mcp_test::shared_data())) {
    for (const char* track : {"bear", "sh", "ibex", "puechcirc", "porpoise", "albatross"}) {
      const auto path = mcp_test::shared_data() / track / (std::string(track) + ".csv");
      for (const auto& [animal, fixes] : mcp_test::read_track(path))
        cases.push_back({std::string(track) + " " + animal, fixes, false});
    }
  }
  return cases;
}

TEST(HullWalkFilter, SameWalkAsTheExhaustiveOne) {
  for (const WalkCase& c : walkCases()) {
    SCOPED_TRACE(c.name);
    const mcp_detail::HullWalk slow = mcp_detail::walkHullExhaustive(c.fixes, true);
    const mcp_detail::HullWalk fast = mcp_detail::walkHull(c.fixes, true, 0);
    EXPECT_EQ(fast.ring, slow.ring);
    EXPECT_EQ(fast.closed, slow.closed);
    EXPECT_EQ(std::tie(fast.xmin, fast.ymin, fast.xmax), std::tie(slow.xmin, slow.ymin, slow.xmax));
    ASSERT_EQ(fast.steps.size(), slow.steps.size());
    for (std::size_t s = 0; s < slow.steps.size(); ++s) {
      const mcp_detail::HullStep& a = fast.steps[s];
      const mcp_detail::HullStep& b = slow.steps[s];
      EXPECT_TRUE(a.current == b.current && a.refDx == b.refDx && a.refDy == b.refDy &&
                  a.chosen == b.chosen && a.turn == b.turn)
          << "step " << s;
    }
    if (c.filters) {
      EXPECT_LT(fast.compared, c.fixes.size() / 2);
    }
  }
}

}  // namespace
}  // namespace orvex::core
