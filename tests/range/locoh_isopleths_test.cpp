#include "range/locoh/locoh_isopleths.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "host/geometry_service.h"
#include "platform/gdal/gdal_platform.h"
#include "range/locoh/locoh_suggest.h"

namespace {

using orvex::range::LocohHulls;
using orvex::range::LocohMethod;

struct Xy {
  double x, y;
};
using Convex = std::vector<Xy>;  // clockwise, not closed

double cross(Xy o, Xy a, Xy b) { return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x); }

bool strictly_inside(const Convex& c, Xy p) {
  for (std::size_t k = 0; k < c.size(); ++k)
    if (!(cross(c[k], c[(k + 1) % c.size()], p) < 0.0)) return false;
  return true;
}

// The area of a union of convex polygons without a polygon library, by Green's theorem: the
// union's boundary is made of the pieces of the polygons' edges (cut where other edges cross or
// run along them) that have the union just inside and nothing just outside; each such piece adds
// its cross product once (a piece two polygons share in the same direction, by the first).
double union_area(const std::vector<Convex>& polygons) {
  constexpr double kOffset = 1e-7;  // map units: far below the pieces, far above rounding
  const auto covered = [&](Xy p) {
    return std::any_of(polygons.begin(), polygons.end(),
                       [&](const Convex& c) { return strictly_inside(c, p); });
  };
  double twice = 0.0;
  for (std::size_t i = 0; i < polygons.size(); ++i) {
    for (std::size_t e = 0; e < polygons[i].size(); ++e) {
      const Xy a = polygons[i][e], b = polygons[i][(e + 1) % polygons[i].size()];
      const Xy d{b.x - a.x, b.y - a.y};
      std::vector<double> cuts{0.0, 1.0};
      for (const Convex& other : polygons)
        for (std::size_t f = 0; f < other.size(); ++f) {
          const Xy c = other[f], g = other[(f + 1) % other.size()];
          const double denom = d.x * (g.y - c.y) - d.y * (g.x - c.x);
          if (denom != 0.0) {
            const double t = ((c.x - a.x) * (g.y - c.y) - (c.y - a.y) * (g.x - c.x)) / denom;
            const double u = ((c.x - a.x) * d.y - (c.y - a.y) * d.x) / denom;
            if (t > 0.0 && t < 1.0 && u >= 0.0 && u <= 1.0) cuts.push_back(t);
          } else if (cross(a, b, c) == 0.0) {
            for (const Xy q : {c, g})
              cuts.push_back(((q.x - a.x) * d.x + (q.y - a.y) * d.y) / (d.x * d.x + d.y * d.y));
          }
        }
      std::sort(cuts.begin(), cuts.end());
      const double length = std::hypot(d.x, d.y);
      const Xy right{d.y / length, -d.x / length};  // inward for a clockwise ring
      for (std::size_t k = 0; k + 1 < cuts.size(); ++k) {
        const double t0 = std::max(cuts[k], 0.0), t1 = std::min(cuts[k + 1], 1.0);
        if (!(t1 > t0)) continue;
        const Xy p0{a.x + t0 * d.x, a.y + t0 * d.y}, p1{a.x + t1 * d.x, a.y + t1 * d.y};
        const Xy m{(p0.x + p1.x) / 2, (p0.y + p1.y) / 2};
        if (!covered({m.x + kOffset * right.x, m.y + kOffset * right.y}) ||
            covered({m.x - kOffset * right.x, m.y - kOffset * right.y}))
          continue;
        bool earlier = false;  // the same piece, same direction, on a polygon before this one
        for (std::size_t j = 0; j < i && !earlier; ++j)
          for (std::size_t f = 0; f < polygons[j].size() && !earlier; ++f) {
            const Xy c = polygons[j][f], g = polygons[j][(f + 1) % polygons[j].size()];
            earlier = std::abs(cross(c, g, m)) <= 1e-9 * std::hypot(g.x - c.x, g.y - c.y) &&
                      (g.x - c.x) * d.x + (g.y - c.y) * d.y > 0.0 &&
                      (m.x - c.x) * (g.x - c.x) + (m.y - c.y) * (g.y - c.y) > 0.0 &&
                      (m.x - g.x) * (c.x - g.x) + (m.y - g.y) * (c.y - g.y) > 0.0;
          }
        if (!earlier) twice += p0.x * p1.y - p1.x * p0.y;
      }
    }
  }
  return std::abs(twice) / 2.0;
}

std::vector<Convex> hulls_with_area(const LocohHulls& h, std::size_t count) {
  std::vector<Convex> out;
  for (std::size_t i = 0; i < count; ++i) {
    if (h.hulls[i].x.size() < 3) continue;
    Convex c;
    for (std::size_t k = 0; k < h.hulls[i].x.size(); ++k) c.push_back({h.hulls[i].x[k], h.hulls[i].y[k]});
    out.push_back(c);
  }
  return out;
}

class LocohIsopleths : public ::testing::Test {
 protected:
  std::shared_ptr<orvex::host::GeometryService> geometry_ = orvex::platform::gdal::makeGeometryService();
};

// The corners of a 2 x 2 square and its centre, with the hulls worked by hand in locoh_test.cpp:
// k = 3 takes the bottom triangle twice, then the right and the left one (the top one never);
// r = 1.5 the whole square first, then hulls of two fixes; a = 3 the bottom triangle, then
// hulls of two fixes. Areas exact: small whole coordinates.
TEST_F(LocohIsopleths, UniteTheHullsOfEachLevelWorkedByHand) {
  const std::vector<double> x{0, 2, 2, 0, 1}, y{0, 0, 2, 2, 1};
  struct Case {
    LocohMethod method;
    double parameter;
    std::vector<double> percents, areas;
    std::vector<std::size_t> fixes;
  };
  const Case cases[] = {
      {LocohMethod::k, 3, {60, 80, 100, 70}, {1, 2, 3, 2}, {3, 4, 5, 4}},
      {LocohMethod::r, 1.5, {20, 100}, {4, 4}, {1, 1}},  // LoCoH.r counts only fixes of hulls with area
      {LocohMethod::a, 3, {60, 100}, {1, 1}, {3, 5}},
  };
  for (const Case& c : cases) {
    const LocohHulls h = orvex::range::locoh_hulls(x, y, {c.method, c.parameter, 1});
    const auto isopleths = orvex::range::locoh_isopleths(h, c.percents, *geometry_, 1);
    ASSERT_EQ(isopleths.size(), c.percents.size());
    for (std::size_t i = 0; i < isopleths.size(); ++i) {
      EXPECT_EQ(isopleths[i].percent, c.percents[i]);
      EXPECT_EQ(isopleths[i].area, c.areas[i]) << static_cast<int>(c.method) << " level " << i;
      EXPECT_EQ(isopleths[i].fixes, c.fixes[i]) << static_cast<int>(c.method) << " level " << i;
    }
  }
}

// The 40 scattered fixes of locoh_test.cpp, on which the hulls' order and percents agree with
// adehabitatHR: each level's area against the union computed above, within 1e-9 relative (the
// two differ only by rounding of the crossing points).
TEST_F(LocohIsopleths, AreasAreTheUnionOfTheirHullsComputedIndependently) {
  std::vector<double> x, y;
  for (int i = 1; i <= 40; ++i) {
    x.push_back(1000.0 * std::fmod(i * 0.618034, 1.0) + 37.0 * std::sin(i));
    y.push_back(1000.0 * std::fmod(i * 0.414214, 1.0) + 23.0 * std::cos(3.0 * i));
  }
  const std::vector<double> levels{10, 20, 30, 40, 50, 60, 70, 80, 90, 100};
  for (const auto& [method, parameter] :
       {std::pair{LocohMethod::k, 6.0}, {LocohMethod::r, 250.0}, {LocohMethod::a, 700.0}}) {
    const LocohHulls h = orvex::range::locoh_hulls(x, y, {method, parameter, 1});
    const auto isopleths = orvex::range::locoh_isopleths(h, levels, *geometry_, 2);
    for (const auto& isopleth : isopleths) {
      const double expected = union_area(hulls_with_area(h, isopleth.hulls));
      EXPECT_NEAR(isopleth.area, expected, 1e-9 * expected)
          << static_cast<int>(method) << " " << isopleth.percent;
    }
  }
}

// 1,500 fixes of a walk, every tenth at the place of the one before, so that levels hold several
// parts of hulls and the polygons have holes: the polygons are the same with 1 and 2 threads, and
// each is the union of all its hulls at once (which takes them in another order): areas within
// 1e-10 relative and the symmetric difference below 1e-10 of the area (rounding of crossings).
TEST_F(LocohIsopleths, PartsMakeTheSamePolygonsWhateverTheThreads) {
  std::vector<double> x, y;
  unsigned state = 12345;
  double px = 0, py = 0;
  for (int i = 0; i < 1500; ++i) {
    if (i % 10 != 9) {
      state = state * 1103515245u + 12345u;
      px += static_cast<double>(state >> 16 & 0xFF) - 127.5 - 0.01 * px;
      state = state * 1103515245u + 12345u;
      py += static_cast<double>(state >> 16 & 0xFF) - 127.5 - 0.01 * py;
    }
    x.push_back(px);
    y.push_back(py);
  }
  const LocohHulls h = orvex::range::locoh_hulls(x, y, {LocohMethod::k, 12, 2});
  const std::vector<double> levels{20, 50, 100};
  const auto one = orvex::range::locoh_isopleths(h, levels, *geometry_, 1);
  const auto two = orvex::range::locoh_isopleths(h, levels, *geometry_, 2);
  ASSERT_GT(one[2].hulls - one[1].hulls, 2 * orvex::range::kLocohHullsPerPart);
  bool holes = false;
  for (std::size_t i = 0; i < levels.size(); ++i) {
    EXPECT_EQ(one[i].polygon.rings, two[i].polygon.rings);
    for (const auto& ring : one[i].polygon.rings) holes = holes || orvex::host::signedRingArea(ring) < 0.0;
    std::vector<orvex::host::Polygon> all;
    for (const auto& c : hulls_with_area(h, one[i].hulls)) {
      orvex::host::Ring ring;
      for (const Xy p : c) ring.push_back({p.x, p.y});
      ring.push_back(ring.front());
      all.push_back({{ring}});
    }
    const orvex::host::Polygon whole = geometry_->uniteAll(all);
    EXPECT_NEAR(one[i].area, whole.area(), 1e-10 * whole.area()) << levels[i];
    const double apart = geometry_->difference(whole, one[i].polygon).area() +
                         geometry_->difference(one[i].polygon, whole).area();
    EXPECT_LE(apart, 1e-10 * whole.area()) << levels[i];
  }
  EXPECT_TRUE(holes);
}

// Getz et al.'s rules: k = round(sqrt(n)) >= 3, r = half the largest nearest-neighbour distance,
// a = the largest distance, over distinct positions; worked by hand.
TEST(LocohSuggest, RulesOfThumbWorkedByHand) {
  struct Case {
    std::vector<double> x, y;
    std::size_t n;
    double k, r, a;
  };
  std::vector<double> lx, ly;
  for (int i = 0; i < 100; ++i) {
    lx.push_back(i % 10);
    ly.push_back(i / 10);
  }
  const Case cases[] = {
      {{0, 2, 2, 0, 1, 1}, {0, 0, 2, 2, 1, 1}, 5, 3, std::sqrt(2.0) / 2, 2 * std::sqrt(2.0)},  // centre twice
      {lx, ly, 100, 10, 0.5, 9 * std::sqrt(2.0)},
      {{5}, {5}, 1, 3, 0, 0},
  };
  for (const Case& c : cases) {
    const auto s = orvex::range::suggest_locoh_parameters(c.x, c.y);
    EXPECT_EQ(s.distinct_fixes, c.n);
    EXPECT_EQ(s.k, c.k);
    EXPECT_NEAR(s.r, c.r, 1e-15);  // one square root: within an ulp
    EXPECT_NEAR(s.a, c.a, 1e-14);
  }
}

}  // namespace
