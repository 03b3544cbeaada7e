#include <gtest/gtest.h>

#include "host/geometry.h"
#include "host/geometry_service.h"

namespace orvex::host {
namespace {

// Squares traced both ways; areas worked out by hand.
const Ring kClockwiseSquare = {{0, 0}, {0, 1}, {1, 1}, {1, 0}, {0, 0}};
const Ring kAnticlockwiseSquare = {{0, 0}, {1, 0}, {1, 1}, {0, 1}, {0, 0}};

TEST(RingOrientation, ClockwiseIsPositive) {
  EXPECT_EQ(signedRingArea(kClockwiseSquare), 1.0);
  EXPECT_EQ(signedRingArea(kAnticlockwiseSquare), -1.0);
  // The closing vertex is optional.
  const Ring open = {{0, 0}, {0, 1}, {1, 1}, {1, 0}};
  EXPECT_EQ(signedRingArea(open), 1.0);
}

TEST(RingOrientation, DegenerateRingsHaveNoArea) {
  EXPECT_EQ(signedRingArea(Ring{}), 0.0);
  EXPECT_EQ(signedRingArea(Ring{{0, 0}, {1, 1}}), 0.0);
  EXPECT_EQ(signedRingArea(Ring{{0, 0}, {1, 1}, {2, 2}, {0, 0}}), 0.0);
  EXPECT_EQ(signedRingArea(Ring{{0, 0}, {1, 1}, {2, 2}}), 0.0);
}

// A 100 m square at UTM-sized coordinates: the area must be exact (tolerance 0), which a
// shoelace over raw coordinates of 5e6 does not guarantee.
TEST(RingOrientation, AreaFarFromTheOrigin) {
  const double x = 500000.0, y = 5000000.0;
  const Ring square = {{x, y}, {x, y + 100}, {x + 100, y + 100}, {x + 100, y}, {x, y}};
  EXPECT_EQ(signedRingArea(square), 10000.0);
}

TEST(RingOrientation, ReversingKeepsTheStartVertex) {
  Ring closed = {{0, 0}, {1, 0}, {1, 1}, {0, 1}, {0, 0}};
  reverseRing(closed);
  EXPECT_EQ(closed, (Ring{{0, 0}, {0, 1}, {1, 1}, {1, 0}, {0, 0}}));
  Ring open = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
  reverseRing(open);
  EXPECT_EQ(open, (Ring{{0, 0}, {0, 1}, {1, 1}, {1, 0}}));
}

TEST(RingOrientation, OrientMakesTheRequestedDirection) {
  Ring ring = kAnticlockwiseSquare;
  orientRing(ring, true);
  EXPECT_EQ(ring, kClockwiseSquare);
  orientRing(ring, true);
  EXPECT_EQ(ring, kClockwiseSquare);
  orientRing(ring, false);
  EXPECT_EQ(ring, kAnticlockwiseSquare);
}

TEST(RingOrientation, CloseRingAddsTheFirstVertexOnce) {
  Ring ring = {{0, 0}, {1, 0}, {1, 1}};
  closeRing(ring);
  closeRing(ring);
  EXPECT_EQ(ring.size(), 4u);
  EXPECT_EQ(ring.back(), ring.front());
}

TEST(PolygonMeasures, HoleIsSubtracted) {
  // 4 x 4 outer ring with a 2 x 2 hole: area 16 - 4 = 12, perimeter 16 + 8 = 24.
  Polygon polygon;
  polygon.rings.push_back({{0, 0}, {0, 4}, {4, 4}, {4, 0}, {0, 0}});
  polygon.rings.push_back({{1, 1}, {3, 1}, {3, 3}, {1, 3}, {1, 1}});
  EXPECT_EQ(polygon.area(), 12.0);
  EXPECT_EQ(polygon.perimeter(), 24.0);
  EXPECT_EQ(polygon.envelope(), (Envelope{0, 0, 4, 4}));

  struct PlainService : GeometryService {
    bool contains(const Geometry&, const Geometry&) const override { return false; }
    bool within(const Geometry&, const Geometry&) const override { return false; }
    Polygon difference(const Polygon& a, const Polygon&) const override { return a; }
    Polygon unite(const Polygon& a, const Polygon&) const override { return a; }
    Polygon uniteAll(std::span<const Polygon>) const override { return {}; }
    Polygon simplify(const Polygon& p) const override { return p; }
    Geometry densify(const Geometry& g, double, double) const override { return g; }
    Geometry smooth(const Geometry& g, double) const override { return g; }
    bool equals(const Geometry&, const Geometry&) const override { return false; }
  } service;
  EXPECT_EQ(service.area(Geometry(polygon)), 12.0);
  EXPECT_EQ(service.length(Geometry(polygon)), 24.0);
  EXPECT_EQ(service.length(Geometry(Polyline{{{{0, 0}, {3, 4}}, {{0, 0}, {0, 1}}}})), 6.0);
  EXPECT_EQ(service.area(Geometry(Point{1, 1})), 0.0);
}

TEST(GeometryValues, EmptinessAndType) {
  EXPECT_EQ(Geometry().type(), GeometryType::Null);
  EXPECT_TRUE(Geometry().isEmpty());
  EXPECT_TRUE(Geometry(Point{}).isEmpty());
  EXPECT_TRUE(Geometry(Point{1.0, std::nan("")}).isEmpty());
  EXPECT_FALSE(Geometry(Point{1, 2}).isEmpty());
  EXPECT_EQ(Geometry(Polygon{}).type(), GeometryType::Polygon);
  EXPECT_TRUE(Geometry(Polygon{}).isEmpty());
  EXPECT_EQ(Geometry(Point{1, 2}).polygon(), nullptr);
}

TEST(GeometryValues, EnvelopeIgnoresEmptyPoints) {
  Envelope e;
  EXPECT_TRUE(e.isEmpty());
  EXPECT_EQ(e.width(), 0.0);
  e.expand(Point{});
  EXPECT_TRUE(e.isEmpty());
  e.expand(Point{2, 3});
  e.expand(Point{-1, 5});
  EXPECT_EQ(e, (Envelope{-1, 3, 2, 5}));
  EXPECT_TRUE(e.contains(Point{2, 5}));
  EXPECT_FALSE(e.contains(Point{2.1, 5}));
}

TEST(GeometryValues, MultipointEnvelope) {
  const Multipoint points{{{0, 0}, {2, 0}, {-2, 0}}};
  EXPECT_EQ(points.envelope(), (Envelope{-2, 0, 2, 0}));
}

}  // namespace
}  // namespace orvex::host
