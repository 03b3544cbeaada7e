#include "range/locoh/locoh_hulls.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <cmath>
#include <optional>
#include <stdexcept>
#include <vector>

#include "range/locoh/neighbour_grid.h"

namespace {

using orvex::range::LocohHulls;
using orvex::range::LocohMethod;
using orvex::range::LocohOptions;

std::vector<double> percents_of(const LocohHulls& h) {
  std::vector<double> out;
  for (const auto& hull : h.hulls) {
    out.push_back(100.0 * static_cast<double>(hull.cumulative_fixes) / static_cast<double>(h.distinct_fixes));
  }
  return out;
}

// 40 fixes scattered over a 1 km square, no two at one place.
struct Scatter {
  std::vector<double> x, y;
  Scatter() {
    for (int i = 1; i <= 40; ++i) {
      x.push_back(1000.0 * std::fmod(i * 0.618034, 1.0) + 37.0 * std::sin(i));
      y.push_back(1000.0 * std::fmod(i * 0.414214, 1.0) + 23.0 * std::cos(3.0 * i));
    }
  }
};

// LoCoH.k(sp, k = 6), LoCoH.r(sp, r = 250), LoCoH.a(sp, a = 700) on the same fixes (adehabitatHR
// 0.4.x, duplicates = "remove"): its "percent" column, and its first "area" (the first hull
// alone; ha x 10000, so within 1e-12 relative). The percents are counts over 40: exact.
struct RReference {
  LocohMethod method;
  double parameter;
  double first_area;
  std::vector<double> percents;
};

TEST(LocohHulls, CountsAndFirstHullAgreeWithAdehabitatHR) {
  const Scatter s;
  // clang-format off
  const RReference refs[] = {
      {LocohMethod::k, 6, 9852.479636558357, {
          15, 30, 30, 32.5, 47.5, 47.5, 47.5, 50, 50, 62.5, 62.5, 75, 75, 77.5,
          77.5, 77.5, 77.5, 77.5, 80, 82.5, 85, 85, 85, 85, 85, 90, 90, 92.5,
          92.5, 95, 97.5, 97.5, 100, 100, 100, 100, 100, 100, 100, 100}},
      {LocohMethod::r, 250, 78961.692285775847, {
          25, 47.5, 55, 57.5, 57.5, 60, 60, 60, 60, 60, 60, 62.5, 67.5, 70,
          72.5, 77.5, 77.5, 77.5, 77.5, 85, 87.5, 92.5, 92.5, 95, 95, 95, 95, 95,
          97.5, 97.5, 97.5, 97.5, 97.5, 97.5, 97.5, 97.5, 97.5, 97.5, 97.5, 97.5}},
      {LocohMethod::a, 700, 18177.055361591178, {
          15, 15, 17.5, 32.5, 45, 45, 57.5, 60, 60, 60, 62.5, 75, 75, 75,
          75, 75, 77.5, 82.5, 85, 85, 90, 90, 90, 90, 90, 90, 90, 92.5,
          95, 95, 95, 100, 100, 100, 100, 100, 100, 100, 100, 100}},
  };
  // clang-format on
  for (const RReference& ref : refs) {
    for (const unsigned threads : {1U, 2U}) {
      const LocohHulls h = orvex::range::locoh_hulls(s.x, s.y, {ref.method, ref.parameter, threads});
      EXPECT_EQ(percents_of(h), ref.percents) << static_cast<int>(ref.method);
      EXPECT_NEAR(h.hulls.front().area, ref.first_area, 1e-12 * ref.first_area);
    }
  }
}

// The corners of a 2 x 2 square and its centre. Worked by hand: corner to centre sqrt 2, corner
// to corner 2 (ties taken by input order); every triangle of a corner pair and the centre has
// area 1, the square 4.
const std::vector<double> kSquareX{0, 2, 2, 0, 1};
const std::vector<double> kSquareY{0, 0, 2, 2, 1};

TEST(LocohHulls, LocalSetsAndOrderWorkedByHand) {
  struct Case {
    LocohMethod method;
    double parameter;
    std::vector<std::size_t> fixes, sizes, cumulative;
    std::vector<double> areas;
  };
  const Case cases[] = {
      // k = 3: each corner with the centre and its first tied neighbour; all area 1, input order.
      {LocohMethod::k, 3, {0, 1, 2, 3, 4}, {3, 3, 3, 3, 3}, {3, 3, 4, 5, 5}, {1, 1, 1, 1, 1}},
      // k above the 5 fixes: every set is all of them, the square.
      {LocohMethod::k, 10, {0, 1, 2, 3, 4}, {5, 5, 5, 5, 5}, {5, 5, 5, 5, 5}, {4, 4, 4, 4, 4}},
      // a = 3: the centre takes 0 + sqrt 2 + sqrt 2 (two corners), each corner itself and the
      // centre; the largest set first.
      {LocohMethod::a, 3, {4, 0, 1, 2, 3}, {3, 2, 2, 2, 2}, {3, 3, 3, 4, 5}, {1, 0, 0, 0, 0}},
      // r = 1.5: the centre holds all, each corner only the centre; four hulls of no area leave
      // one fix to count, as LoCoH.r counts.
      {LocohMethod::r, 1.5, {4, 0, 1, 2, 3}, {5, 2, 2, 2, 2}, {1, 1, 1, 1, 1}, {4, 0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    const LocohHulls h = orvex::range::locoh_hulls(kSquareX, kSquareY, {c.method, c.parameter, 1});
    ASSERT_EQ(h.hulls.size(), 5U);
    for (std::size_t k = 0; k < 5; ++k) {
      const auto& hull = h.hulls[k];
      EXPECT_EQ(hull.fix, c.fixes[k]) << "method " << static_cast<int>(c.method) << " hull " << k;
      EXPECT_EQ(hull.set_size, c.sizes[k]) << k;
      EXPECT_EQ(hull.cumulative_fixes, c.cumulative[k]) << k;
      EXPECT_EQ(hull.area, c.areas[k]) << k;  // exact: small whole coordinates
    }
  }
}

TEST(LocohHulls, RepeatedPositionsCountOnceAndIsoplethsCutAtTheirPercent) {
  // The square with the centre moved second and repeated, and the first corner repeated: 5
  // distinct fixes. Ties now go by the new order: corner (0,0) and the centre take (2,0) before
  // (0,2), so the first three hulls hold the same 3 fixes (worked by hand).
  std::vector<double> x = kSquareX;
  std::vector<double> y = kSquareY;
  x.insert(x.begin() + 1, 1.0);
  y.insert(y.begin() + 1, 1.0);
  x.pop_back();
  y.pop_back();
  for (const double copy : {1.0, 0.0}) {
    x.push_back(copy);
    y.push_back(copy);
  }
  const LocohHulls h = orvex::range::locoh_hulls(x, y, {LocohMethod::k, 3, 2});
  EXPECT_EQ(h.distinct_fixes, 5U);
  std::vector<std::size_t> fixes;
  for (const auto& hull : h.hulls) fixes.push_back(hull.fix);
  EXPECT_EQ(fixes, (std::vector<std::size_t>{0, 1, 2, 3, 4}));  // the first copies, all of area 1
  EXPECT_EQ(percents_of(h), (std::vector<double>{60, 60, 60, 80, 100}));
  const double levels[] = {50, 60, 70, 100};
  EXPECT_EQ(orvex::range::isopleth_hull_counts(h, levels), (std::vector<std::size_t>{1, 1, 4, 5}));
}

TEST(LocohHulls, RefusesBadInput) {
  const std::vector<double> two{0, 1};
  const std::vector<double> one{0};
  EXPECT_THROW(orvex::range::locoh_hulls(two, one, {LocohMethod::k, 2, 1}), std::invalid_argument);
  EXPECT_THROW(orvex::range::locoh_hulls({}, {}, {LocohMethod::k, 2, 1}), std::invalid_argument);
  EXPECT_THROW(orvex::range::locoh_hulls(two, std::vector<double>{0, std::nan("")}, {LocohMethod::k, 2, 1}),
               std::invalid_argument);
  for (const LocohOptions& bad :
       {LocohOptions{LocohMethod::k, 0, 1}, LocohOptions{LocohMethod::k, 2.5, 1},
        LocohOptions{LocohMethod::r, -1, 1}, LocohOptions{LocohMethod::a, HUGE_VAL, 1}}) {
    EXPECT_THROW(orvex::range::locoh_hulls(two, two, bad), std::invalid_argument);
  }
  const LocohHulls h = orvex::range::locoh_hulls(two, two, {LocohMethod::k, 2, 1});
  for (const double p : {0.0, 101.0, std::nan("")}) {
    EXPECT_THROW(orvex::range::isopleth_hull_counts(h, std::vector<double>{p}), std::invalid_argument);
  }
}

// 700 fixes (every 7th at the place of the one before), so that the hulls span several blocks of
// corners, against local sets from a full sort of the distances, hulls and areas from
// convex_hull, and counts from a plain pass over the sets in union order: exactly equal, with 1
// and 2 threads, read from a copy that outlives the result it was made from.
TEST(LocohHulls, EqualAPlainComputationOverSeveralBlocks) {
  std::vector<double> x, y;
  for (std::size_t i = 0; i < 700; ++i) {
    const bool twin = i % 7 == 6;
    x.push_back(twin ? x.back() : std::fmod(static_cast<double>(i) * 0.618034, 1.0) * 900.0);
    y.push_back(twin ? y.back() : std::fmod(static_cast<double>(i) * 0.414214, 1.0) * 600.0);
  }
  std::vector<std::size_t> kept;  // first copies
  for (std::size_t i = 0; i < x.size(); ++i)
    if (i % 7 != 6) kept.push_back(i);
  for (const LocohOptions options : {LocohOptions{LocohMethod::k, 9, 1}, LocohOptions{LocohMethod::k, 9, 2},
                                     LocohOptions{LocohMethod::r, 40, 2}}) {
    std::vector<std::vector<std::size_t>> sets;
    std::vector<std::vector<double>> hull_x(kept.size()), hull_y(kept.size());
    for (std::size_t i = 0; i < kept.size(); ++i) {
      std::vector<std::pair<double, std::size_t>> all;
      for (std::size_t j = 0; j < kept.size(); ++j)
        all.emplace_back(orvex::range::fix_distance(x[kept[i]], y[kept[i]], x[kept[j]], y[kept[j]]), j);
      std::sort(all.begin(), all.end());
      std::size_t size = 0;
      while (size < all.size() && (options.method == LocohMethod::k ? size < 9 : all[size].first <= 40))
        ++size;
      std::vector<double> sx, sy;
      sets.emplace_back();
      for (std::size_t m = 0; m < size; ++m) {
        sets.back().push_back(all[m].second);
        sx.push_back(x[kept[all[m].second]]);
        sy.push_back(y[kept[all[m].second]]);
      }
      orvex::range::convex_hull(sx, sy, hull_x[i], hull_y[i]);
    }
    std::optional<LocohHulls> h = orvex::range::locoh_hulls(x, y, options);
    const LocohHulls copy = *h;
    h.reset();
    ASSERT_EQ(copy.hulls.size(), kept.size());
    std::vector<bool> seen(kept.size(), false);
    std::size_t count = 0;
    for (const auto& hull : copy.hulls) {
      const std::size_t i =
          static_cast<std::size_t>(std::lower_bound(kept.begin(), kept.end(), hull.fix) - kept.begin());
      for (const std::size_t j : sets[i]) count += seen[j] ? 0 : 1, seen[j] = true;
      EXPECT_EQ(hull.set_size, sets[i].size());
      std::vector<double> corners_x, corners_y;
      for (std::size_t k = 0; k < hull.x.size(); ++k)
        corners_x.push_back(hull.x[k]), corners_y.push_back(hull.y[k]);
      EXPECT_EQ(corners_x, hull_x[i]) << hull.fix;
      EXPECT_EQ(corners_y, hull_y[i]) << hull.fix;
      if (options.method == LocohMethod::k) {
        EXPECT_EQ(hull.cumulative_fixes, count) << hull.fix;
      }
    }
    EXPECT_EQ(count, kept.size());
  }
}

// 600 fixes on a 30 x 30 lattice of 1 m, so that many distances tie, against a plain sort of
// every distance: the same fixes in the same order, ties by index (up to the k-th pair: the same
// fixes).
TEST(NeighbourGrid, FindsWhatAFullSortFinds) {
  std::vector<double> x, y;
  for (std::size_t i = 0; i < 600; ++i) {
    x.push_back(static_cast<double>((i * 7919) % 30));
    y.push_back(static_cast<double>((i * 104729 / 30) % 30));
  }
  const orvex::range::NeighbourGrid grid(x, y);
  std::vector<orvex::range::Neighbour> found, all;
  for (std::size_t i = 0; i < x.size(); i += 13) {
    all.clear();
    for (std::size_t j = 0; j < x.size(); ++j)
      all.emplace_back(orvex::range::fix_distance(x[i], y[i], x[j], y[j]), j);
    std::sort(all.begin(), all.end());
    for (const std::size_t k : {1, 9, 40, 600}) {
      grid.nearest(i, k, found);
      EXPECT_TRUE(std::equal(found.begin(), found.end(), all.begin(), all.begin() + static_cast<long>(k)))
          << i << " k " << k;
      std::vector<std::size_t> members, expected;
      grid.up_to(i, all[k - 1], members);
      std::sort(members.begin(), members.end());
      for (std::size_t m = 0; m < k; ++m) expected.push_back(all[m].second);
      std::sort(expected.begin(), expected.end());
      EXPECT_EQ(members, expected) << i << " k " << k;
    }
    grid.within(i, 3.0, found);
    const auto end = std::find_if(all.begin(), all.end(), [](const auto& n) { return n.first > 3.0; });
    EXPECT_TRUE(std::equal(found.begin(), found.end(), all.begin(), end)) << i;
  }
}

TEST(ConvexHull, KeepsCornersClockwiseOnly) {
  struct Case {
    std::vector<double> x, y, hull_x, hull_y;
  };
  const Case cases[] = {
      // A square with its centre, an edge midpoint and a repeated corner: the 4 corners.
      {{0, 2, 2, 0, 1, 1, 0}, {0, 0, 2, 2, 1, 0, 0}, {0, 2, 2, 0}, {2, 2, 0, 0}},
      // Points on a line: its two ends.
      {{0, 1, 2, 3}, {0, 1, 2, 3}, {3, 0}, {3, 0}},
      {{5, 5}, {1, 1}, {5}, {1}},
  };
  for (const Case& c : cases) {
    std::vector<double> hx, hy;
    orvex::range::convex_hull(c.x, c.y, hx, hy);
    EXPECT_EQ(hx, c.hull_x);
    EXPECT_EQ(hy, c.hull_y);
  }
}

}  // namespace
