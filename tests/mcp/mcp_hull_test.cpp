// MCP_Poly: start and tie rules, consumption, ring orientation, degenerate sets and area.

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

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

}  // namespace
}  // namespace orvex::core
