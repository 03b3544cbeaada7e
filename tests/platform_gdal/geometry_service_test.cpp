// Geometry operations and spatial references of the GDAL platform.

#include <gtest/gtest.h>

#include <cmath>

#include "host/error.h"
#include "platform/gdal/gdal_platform.h"

namespace gdal = orvex::platform::gdal;
namespace host = orvex::host;

namespace {

/// An axis-aligned square as the host holds an outer ring: clockwise, closed, starting at its
/// lower-left corner.
host::Ring square(double x, double y, double side) {
  return {{x, y}, {x, y + side}, {x + side, y + side}, {x + side, y}, {x, y}};
}

host::Polygon polygonOf(std::vector<host::Ring> rings) { return host::Polygon{std::move(rings)}; }

class GeometryServiceTest : public ::testing::Test {
 protected:
  std::shared_ptr<host::GeometryService> geo = gdal::makeGeometryService();
  std::shared_ptr<host::SpatialReferenceFactory> srs = gdal::makeSpatialReferenceFactory();
};

/// Every ring closed, outer rings clockwise, holes anticlockwise: the host's form.
void expectHostForm(const host::Polygon& p, int outerRings, int holes) {
  int outer = 0;
  int inner = 0;
  for (const auto& ring : p.rings) {
    ASSERT_GE(ring.size(), 4u);
    EXPECT_EQ(ring.front(), ring.back());
    (host::signedRingArea(ring) > 0.0 ? outer : inner)++;
  }
  EXPECT_EQ(outer, outerRings);
  EXPECT_EQ(inner, holes);
}

}  // namespace

// Two 10 x 10 squares overlapping in a 5 x 5 square: areas worked by hand.
TEST_F(GeometryServiceTest, UnionAndDifferenceOfOverlappingSquares) {
  const auto a = polygonOf({square(0, 0, 10)});
  const auto b = polygonOf({square(5, 5, 10)});
  const auto u = geo->unite(a, b);
  EXPECT_NEAR(u.area(), 175.0, 1e-9);
  expectHostForm(u, 1, 0);
  const auto d = geo->difference(a, b);
  EXPECT_NEAR(d.area(), 75.0, 1e-9);
  expectHostForm(d, 1, 0);
  EXPECT_TRUE(geo->difference(a, a).isEmpty());
  // Disjoint squares unite into a two-part polygon.
  const auto two = geo->unite(a, polygonOf({square(20, 0, 1)}));
  EXPECT_NEAR(two.area(), 101.0, 1e-9);
  expectHostForm(two, 2, 0);
  // All at once: a square inside the first, an empty one, a disjoint one and one that only
  // touches the first along an edge (areas by hand: 175 + 1 + 50).
  const host::Polygon many[] = {u, polygonOf({square(1, 1, 2)}), host::Polygon{},
                                polygonOf({square(20, 0, 1)}),
                                polygonOf({{{15, 5}, {15, 15}, {20, 15}, {20, 5}, {15, 5}}})};
  const auto all = geo->uniteAll(many);
  EXPECT_NEAR(all.area(), 226.0, 1e-9);
  expectHostForm(all, 2, 0);
  EXPECT_TRUE(geo->uniteAll({}).isEmpty());
  EXPECT_NEAR(geo->uniteAll(std::span(many + 1, 1)).area(), 4.0, 1e-12);
}

// The isopleth builder's ring logic: an outer contour containing an inner one becomes a donut.
TEST_F(GeometryServiceTest, ContainmentTurnsAnInnerContourIntoAHole) {
  const auto outer = polygonOf({square(0, 0, 10)});
  const auto inner = polygonOf({square(4, 4, 2)});
  EXPECT_TRUE(geo->contains(outer, inner));
  EXPECT_TRUE(geo->within(inner, outer));
  EXPECT_FALSE(geo->contains(inner, outer));
  EXPECT_FALSE(geo->contains(outer, polygonOf({square(8, 8, 4)})));  // overlaps only
  EXPECT_FALSE(geo->contains(outer, host::Polygon{}));
  const auto donut = geo->difference(outer, inner);
  EXPECT_NEAR(donut.area(), 96.0, 1e-9);
  expectHostForm(donut, 1, 1);
  EXPECT_TRUE(geo->contains(outer, host::Point{1, 1}));
  EXPECT_FALSE(geo->contains(donut, host::Point{5, 5}));
  // An open contour closed across itself makes a figure of eight; each lobe still holds what
  // lies inside it.
  const auto eight = polygonOf({{{0, 0}, {0, 10}, {10, 0}, {10, 10}, {0, 0}}});
  EXPECT_TRUE(geo->contains(eight, host::Point{1, 5}));
  EXPECT_TRUE(geo->contains(eight, host::Point{9, 5}));
  EXPECT_FALSE(geo->contains(eight, host::Point{5, 1}));
}

TEST_F(GeometryServiceTest, SimplifyOrientsRingsAndKeepsTheirStart) {
  // Anticlockwise, with a repeated vertex, starting at (10, 0).
  host::Ring ccw{{10, 0}, {10, 10}, {10, 10}, {0, 10}, {0, 0}, {10, 0}};
  const auto s = geo->simplify(polygonOf({ccw}));
  ASSERT_EQ(s.rings.size(), 1u);
  EXPECT_TRUE(host::signedRingArea(s.rings[0]) > 0.0);
  EXPECT_EQ(s.rings[0].front(), (host::Point{10, 0}));
  EXPECT_EQ(s.rings[0].size(), 5u);
  EXPECT_NEAR(s.area(), 100.0, 1e-9);

  // A closed contour line that leaves the raster is closed with a straight segment; a
  // figure-of-eight (bow tie) repaired gives its two triangles, 25 each.
  host::Ring bowtie{{0, 0}, {0, 10}, {10, 0}, {10, 10}, {0, 0}};
  const auto fixed = geo->simplify(polygonOf({bowtie}));
  EXPECT_NEAR(fixed.area(), 50.0, 1e-9);
  expectHostForm(fixed, 2, 0);

  // Rings without area vanish.
  EXPECT_TRUE(geo->simplify(polygonOf({{{0, 0}, {5, 5}, {0, 0}}})).isEmpty());
}

TEST_F(GeometryServiceTest, DensifyAndSmoothKeepShapeStartAndOrientation) {
  const host::Geometry sq(polygonOf({square(0, 0, 10)}));
  const auto dense = geo->densify(sq, 3.0, 0.0);
  ASSERT_NE(dense.polygon(), nullptr);
  // Each 10-unit side splits into 4 pieces of 2.5: 16 segments, 17 vertices.
  EXPECT_EQ(dense.polygon()->rings[0].size(), 17u);
  EXPECT_NEAR(dense.polygon()->perimeter(), 40.0, 1e-9);
  EXPECT_EQ(dense.polygon()->rings[0].front(), (host::Point{0, 0}));
  EXPECT_EQ(geo->densify(sq, 0.0, 0.0).polygon()->rings[0].size(), 5u);  // no limit: unchanged

  const auto smooth = geo->smooth(sq, 0.0);
  ASSERT_NE(smooth.polygon(), nullptr);
  const host::Ring& r = smooth.polygon()->rings[0];
  EXPECT_EQ(r.front(), (host::Point{0, 0}));
  EXPECT_EQ(r.back(), r.front());
  EXPECT_TRUE(host::signedRingArea(r) > 0.0);
  // The curve passes through every corner and bulges outwards between them.
  for (const auto& corner : square(0, 0, 10)) EXPECT_NE(std::find(r.begin(), r.end(), corner), r.end());
  EXPECT_GT(smooth.polygon()->area(), 100.0);
  const host::Polyline line{{{{0, 0}, {1, 1}, {2, 0}}}};
  const host::Geometry smoothed = geo->smooth(line, 0.0);
  const host::Polyline* smoothLine = smoothed.polyline();
  ASSERT_NE(smoothLine, nullptr);
  EXPECT_EQ(smoothLine->paths[0].front(), (host::Point{0, 0}));
  EXPECT_EQ(smoothLine->paths[0].back(), (host::Point{2, 0}));
}

TEST_F(GeometryServiceTest, EqualityUsesTheSpatialReferenceTolerance) {
  auto utm = srs->fromEpsg(32633);
  auto wgs = srs->wgs84();
  // Projected: 0.001 map units.
  EXPECT_TRUE(geo->equals(host::Geometry(host::Point{500000.0, 5e6}, utm), host::Point{500000.0005, 5e6}));
  EXPECT_FALSE(geo->equals(host::Geometry(host::Point{500000.0, 5e6}, utm), host::Point{500000.002, 5e6}));
  // Geographic: 8.983153e-9 degrees.
  EXPECT_TRUE(geo->equals(host::Geometry(host::Point{15.0, 52.0}, wgs), host::Point{15.0 + 5e-9, 52.0}));
  EXPECT_FALSE(geo->equals(host::Geometry(host::Point{15.0, 52.0}, wgs), host::Point{15.0 + 2e-8, 52.0}));
  // Types must agree; empties of one type are equal.
  EXPECT_FALSE(geo->equals(host::Point{0, 0}, host::Multipoint{{{0, 0}}}));
  EXPECT_TRUE(geo->equals(host::Point{}, host::Point{}));
  // The same square from another start vertex is the same polygon.
  host::Ring shifted{{0, 10}, {10, 10}, {10, 0}, {0, 0}, {0, 10}};
  EXPECT_TRUE(geo->equals(polygonOf({square(0, 0, 10)}), polygonOf({shifted})));
}

TEST(SpatialReferences, WellKnownSystemsAndTheirTolerances) {
  auto f = gdal::makeSpatialReferenceFactory();
  auto wgs = f->wgs84();
  EXPECT_EQ(wgs->name(), "WGS 84");
  EXPECT_TRUE(wgs->isGeographic());
  EXPECT_EQ(wgs->epsg(), 4326);
  // 1 mm on the WGS 1984 equator: 0.001 / 6378137 rad = 8.983153e-9 degrees.
  EXPECT_NEAR(wgs->xyTolerance(), 8.983153e-9, 1e-15);
  auto utm = f->fromEpsg(32633);
  EXPECT_NE(utm->name().find("UTM"), std::string::npos);  // what the observation tool looks for
  EXPECT_TRUE(utm->isProjected());
  EXPECT_EQ(utm->xyTolerance(), 0.001);
  EXPECT_TRUE(f->fromWkt(utm->wkt())->isSame(*utm));
  EXPECT_FALSE(utm->isSame(*wgs));
  auto unknown = f->unknown();
  EXPECT_TRUE(unknown->isUnknown());
  EXPECT_EQ(unknown->name(), "Unknown");
  EXPECT_EQ(unknown->wkt(), "");
  EXPECT_EQ(f->fromWkt("+proj=utm +zone=33 +datum=WGS84 +units=m +no_defs")->isProjected(), true);

  auto status = [](auto&& call) {
    try {
      call();
    } catch (const host::Error& e) {
      return e.status();
    }
    return host::kOk;
  };
  EXPECT_EQ(status([&] { f->fromEpsg(999999); }), host::kInvalidArgument);
  EXPECT_EQ(status([&] { f->fromWkt("not a coordinate system"); }), host::kInvalidArgument);
  EXPECT_EQ(status([&] { f->project({1, 1}, *unknown, *utm); }), host::kFail);
}

TEST(SpatialReferences, ProjectsWgs84ToUtmInLongitudeLatitudeOrder) {
  auto f = gdal::makeSpatialReferenceFactory();
  auto wgs = f->wgs84();
  auto utm = f->fromEpsg(32633);
  // Expected values from PROJ 9.1.1: `echo "52 15" | cs2cs -f %.4f EPSG:4326 EPSG:32633`
  // gave 500000.0000 5761038.2126, and "52.5 13.4" gave 391390.7313 5817855.2408 (cs2cs
  // takes latitude first for EPSG:4326). Tolerance 1 mm, the precision printed.
  const host::Point a = f->project({15.0, 52.0}, *wgs, *utm);
  EXPECT_NEAR(a.x, 500000.0000, 1e-3);
  EXPECT_NEAR(a.y, 5761038.2126, 1e-3);
  const host::Point b = f->project({13.4, 52.5}, *wgs, *utm);
  EXPECT_NEAR(b.x, 391390.7313, 1e-3);
  EXPECT_NEAR(b.y, 5817855.2408, 1e-3);
  // And back, to within 1e-9 degrees (about 0.1 mm).
  const host::Point back = f->project(b, *utm, *wgs);
  EXPECT_NEAR(back.x, 13.4, 1e-9);
  EXPECT_NEAR(back.y, 52.5, 1e-9);
  EXPECT_TRUE(f->project(host::Point{}, *wgs, *utm).isEmpty());
  EXPECT_EQ(f->project({3, 4}, *utm, *utm), (host::Point{3, 4}));
}

TEST(SpatialReferences, ReadsTheRedDeerProjectionFile) {
  const std::filesystem::path shp = std::filesystem::path(ORVEX_SHARED_DATA) / "sh" / "sh.shp";
  if (!std::filesystem::exists(shp)) GTEST_SKIP() << "shared data not found: " << shp;
  auto fc = gdal::openShapefileWorkspace(shp.parent_path())->openFeatureClass("sh");
  auto sr = fc->spatialReference();
  ASSERT_NE(sr, nullptr);
  EXPECT_TRUE(sr->isProjected());
  // README: DHDN / 3-degree Gauss-Kruger zone 3.
  EXPECT_TRUE(sr->isSame(*gdal::makeSpatialReferenceFactory()->fromEpsg(31467)));
  EXPECT_EQ(sr->name().find("UTM"), std::string::npos);
}
