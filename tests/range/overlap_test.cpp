#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <numeric>
#include <span>
#include <stdexcept>
#include <vector>

#include "range/overlap/common_grid.h"
#include "range/overlap/overlap_indices.h"
#include "range/overlap/volume_contour.h"

namespace {

using orvex::range::OverlapIndex;
using orvex::range::OverlapMatrices;
using orvex::range::OverlapOptions;
using orvex::range::UdGrid;

OverlapMatrices overlap_of(const std::vector<std::vector<double>>& uds, const UdGrid& grid,
                           const OverlapOptions& options) {
  const std::vector<std::span<const double>> spans(uds.begin(), uds.end());
  return orvex::range::overlap_indices(spans, grid, options);
}

// 12 x 10 cells of 25 m from (1000, 2000): two normal densities (not rescaled to the grid: they
// hold 0.99607 and 0.98350 of their volume on it) and a plateau of 16 equal cells whose 95 % and
// 50 % contours depend on the order ties are taken in.
const UdGrid kGrid{1000.0, 2000.0, 25.0, 12, 10};

std::vector<std::vector<double>> three_animals() {
  std::vector<std::vector<double>> uds(3, std::vector<double>(kGrid.cell_count()));
  const auto normal = [](double dx, double dy, double s) {
    return std::exp(-(dx * dx + dy * dy) / (2.0 * s * s)) / (2.0 * std::numbers::pi * s * s);
  };
  for (std::size_t r = 0; r < kGrid.rows; ++r) {
    for (std::size_t c = 0; c < kGrid.columns; ++c) {
      const double x = 1000.0 + 25.0 * static_cast<double>(c) + 12.5;
      const double y = 2000.0 + 25.0 * static_cast<double>(kGrid.rows - 1 - r) + 12.5;
      const std::size_t cell = r * kGrid.columns + c;
      uds[0][cell] = normal(x - 1120.0, y - 2110.0, 40.0);
      uds[1][cell] = normal(x - 1170.0, y - 2130.0, 50.0);
      uds[2][cell] = (x > 1050.0 && x < 1150.0 && y > 2075.0 && y < 2175.0) ? 1.0 / (16.0 * 625.0) : 0.0;
    }
  }
  return uds;
}

struct RReference {
  double percent;
  bool conditional;
  OverlapIndex index;
  double values[9];  // row by row, animals in the order of three_animals
};

// kerneloverlaphr(uds, method = M, percent = P, conditional = C) on the same densities at the
// same cell centres (estUD objects built from a SpatialPixelsDataFrame; adehabitatHR 0.4.x),
// printed with 17 digits (HR is the same plain or conditional). Checked within 1e-9 of max(1, |value|).
// clang-format off
const RReference kReferences[] = {
    {95, false, OverlapIndex::hr, {1, 0.83333333333333337, 0.3125,
        0.53333333333333333, 1, 0.2,
        1, 1, 1}},
    {95, false, OverlapIndex::phr, {0.94897080517465371, 0.70275436638746114, 1,
        0.92483685006173422, 0.94919192175057798, 1,
        0.54109374459844273, 0.2037585520145444, 0.9375}},
    {95, false, OverlapIndex::vi, {0.996070743564203, 0.5291478406069835, 0.56496893124710656,
        0.5291478406069835, 0.98350280710033622, 0.22983633829190953,
        0.56496893124710656, 0.22983633829190953, 1}},
    {95, false, OverlapIndex::ba, {0.996070743564203, 0.81303219382487857, 0.73125563751143863,
        0.81303219382487857, 0.98350280710033622, 0.44994199206097224,
        0.73125563751143863, 0.44994199206097224, 1}},
    {95, false, OverlapIndex::udoi, {1.4920230950081279, 0.68132847863325086, 0.52965837304416252,
        0.68132847863325086, 1.4914188977816378, 0.21547156714866519,
        0.52965837304416252, 0.21547156714866519, 0.9375}},
    {95, false, OverlapIndex::hd, {0, 0.59456636552598741, 0.73045155112527882,
        0.59456636552598741, 0, 1.0409701354882339,
        0.73045155112527882, 1.0409701354882339, 0}},
    {95, true, OverlapIndex::phr, {0.94897080517465371, 0.69405401447024251, 0.9375,
        0.89874587355418278, 0.94919192175057798, 0.9375,
        0.54109374459844273, 0.2037585520145444, 0.9375}},
    {95, true, OverlapIndex::vi, {0.94897080517465371, 0.48598009915151047, 0.54109374459844273,
        0.48598009915151047, 0.94919192175057798, 0.2037585520145444,
        0.54109374459844273, 0.2037585520145444, 0.9375}},
    {95, true, OverlapIndex::ba, {0.94897080517465371, 0.70735016983227994, 0.69262664366560434,
        0.70735016983227994, 0.94919192175057798, 0.40957044710248297,
        0.69262664366560434, 0.40957044710248297, 0.9375}},
    {95, true, OverlapIndex::udoi, {1.4881586161996283, 0.66835366434051158, 0.50727538556104002,
        0.66835366434051158, 1.4881759126286638, 0.19102364251363541,
        0.50727538556104002, 0.19102364251363541, 0.87890625}},
    {95, true, OverlapIndex::hd, {0, 0.69531459589215583, 0.70796717285722011,
        0.69531459589215583, 0, 1.0332236096535987,
        0.70796717285722011, 1.0332236096535987, 0}},
    {50, false, OverlapIndex::hr, {1, 0.45454545454545453, 0.27272727272727271,
        0.29411764705882354, 1, 0,
        0.375, 0, 1}},
    {50, true, OverlapIndex::phr, {0.49407310552202166, 0.14191044443285403, 0.18750000000000003,
        0.23273401557929776, 0.49098870875650391, 0,
        0.11804239908489185, 0, 0.5}},
    {50, true, OverlapIndex::vi, {0.49407310552202166, 0.14018954270179329, 0.11804239908489185,
        0.14018954270179329, 0.49098870875650391, 0,
        0.11804239908489185, 0, 0.5}},
    {50, true, OverlapIndex::ba, {0.49407310552202166, 0.17935923921140096, 0.14859211176714457,
        0.17935923921140096, 0.49098870875650391, 0,
        0.14859211176714457, 0, 0.5}},
    {50, true, OverlapIndex::udoi, {0.25414047023157343, 0.032484504595354104, 0.022132949828417223,
        0.032484504595354104, 0.25044964860599289, 0,
        0.022132949828417223, 0, 0.25}},
    {50, true, OverlapIndex::hd, {0, 0.79141855920601445, 0.83479870746649609,
        0.79141855920601445, 0, 0.99548415796360312,
        0.83479870746649609, 0.99548415796360312, 0}},
};
// clang-format on

TEST(OverlapIndices, AgreesWithKerneloverlaphrPlainAndConditional) {
  const auto uds = three_animals();
  for (const RReference& ref : kReferences) {
    const OverlapMatrices m = overlap_of(uds, kGrid, {ref.percent, ref.conditional, 1});
    for (std::size_t k = 0; k < 9; ++k) {
      EXPECT_NEAR(m.at(ref.index, k / 3, k % 3), ref.values[k], 1e-9 * std::max(1.0, ref.values[k]))
          << "percent " << ref.percent << " conditional " << ref.conditional << " index "
          << static_cast<int>(ref.index) << " cell " << k;
    }
  }
}

TEST(OverlapIndices, SameBitsWithAnyNumberOfThreads) {
  auto uds = three_animals();
  for (int k = 0; k < 5; ++k) uds.push_back(uds[static_cast<std::size_t>(k) % 3]);
  for (const bool conditional : {false, true}) {
    const OverlapMatrices one = overlap_of(uds, kGrid, {95.0, conditional, 1});
    const OverlapMatrices two = overlap_of(uds, kGrid, {95.0, conditional, 2});
    for (std::size_t index = 0; index < orvex::range::kOverlapIndexCount; ++index) {
      EXPECT_EQ(one.values[index], two.values[index]) << "index " << index;
    }
  }
}

// 2 x 2 cells of 2 (area 4). p: NW 1/8, NE and SW 1/16; q: SE 1/8, NE and SW 1/16 (volume 1
// each). At 75 % the tie NE-SW goes to SW (the western column first), so A_p = {NW, SW} and
// A_q = {SE, SW}. Worked by hand; all dyadic, so exact but for HD's square roots (1e-15).
TEST(OverlapIndices, WorkedByHandOnFourCells) {
  const UdGrid grid{0.0, 0.0, 2.0, 2, 2};
  const std::vector<std::vector<double>> uds{{0.125, 0.0625, 0.0625, 0.0}, {0.0, 0.0625, 0.0625, 0.125}};
  struct Case {
    bool conditional;
    double hr, phr, vi, ba, udoi, hd;
  };
  // Plain: VI and BA from NE and SW (2 x 1/16 x 4); UDOI = 4 (one shared cell) x 2 x 1/256 x 4;
  // HD = sqrt(4 x (1/8 + 1/8)). Conditional: p loses NE, q loses NE, so only SW is shared.
  for (const Case& c :
       {Case{false, 0.5, 0.25, 0.5, 0.5, 0.125, 1.0}, Case{true, 0.5, 0.25, 0.25, 0.25, 0.0625, 1.0}}) {
    const OverlapMatrices m = overlap_of(uds, grid, {75.0, c.conditional, 1});
    EXPECT_EQ(m.at(OverlapIndex::hr, 0, 1), c.hr);
    EXPECT_EQ(m.at(OverlapIndex::phr, 0, 1), c.phr);
    EXPECT_EQ(m.at(OverlapIndex::vi, 0, 1), c.vi);
    EXPECT_EQ(m.at(OverlapIndex::ba, 0, 1), c.ba);
    EXPECT_EQ(m.at(OverlapIndex::udoi, 0, 1), c.udoi);
    EXPECT_NEAR(m.at(OverlapIndex::hd, 0, 1), c.hd, 1e-15);
  }
}

// Uniform UDs on 8 cells of 1 (each cell 1/8, exact): one on the west half of a 4 x 4 grid, one on
// the east half. At 100 % every cell is in the contour (an empty cell's cumulative volume is the
// total, 100), so UDOI's area factor is the whole grid: 16 x 8 x (1/8)^2 = 2 for one UD with itself.
TEST(OverlapIndices, DisjointAndIdenticalUdsReachTheIndicesBounds) {
  const UdGrid grid{0.0, 0.0, 1.0, 4, 4};
  std::vector<double> west(16, 0.0);
  std::vector<double> east(16, 0.0);
  for (std::size_t cell = 0; cell < 16; ++cell) (cell % 4 < 2 ? west : east)[cell] = 0.125;
  const OverlapMatrices m = overlap_of({west, east}, grid, {100.0, false, 1});
  struct Bound {
    OverlapIndex index;
    double disjoint, identical;
  };
  for (const Bound& b : {Bound{OverlapIndex::hr, 1.0, 1.0}, Bound{OverlapIndex::phr, 1.0, 1.0},
                         Bound{OverlapIndex::vi, 0.0, 1.0}, Bound{OverlapIndex::ba, 0.0, 1.0},
                         Bound{OverlapIndex::udoi, 0.0, 2.0}, Bound{OverlapIndex::hd, std::sqrt(2.0), 0.0}}) {
    EXPECT_NEAR(m.at(b.index, 0, 1), b.disjoint, 1e-15) << static_cast<int>(b.index);
    EXPECT_NEAR(m.at(b.index, 1, 1), b.identical, 1e-15) << static_cast<int>(b.index);
  }
  // Conditional at 50 %: 4 of the 8 cells each, still disjoint; HR now 0.
  const OverlapMatrices c = overlap_of({west, east}, grid, {50.0, true, 1});
  EXPECT_EQ(c.at(OverlapIndex::hr, 0, 1), 0.0);
  EXPECT_EQ(c.at(OverlapIndex::vi, 0, 1), 0.0);
  EXPECT_NEAR(c.at(OverlapIndex::hd, 0, 1), 1.0, 1e-15);  // sqrt(1/2 + 1/2)
}

TEST(OverlapIndices, RefusesBadInput) {
  const UdGrid grid{0.0, 0.0, 1.0, 2, 2};
  const std::vector<double> ok{0.25, 0.25, 0.25, 0.25};
  EXPECT_THROW(overlap_of({ok}, grid, {}), std::invalid_argument);
  EXPECT_THROW(overlap_of({ok, {0.25, 0.25, 0.25}}, grid, {}), std::invalid_argument);
  EXPECT_THROW(overlap_of({ok, {0.25, -0.25, 0.25, 0.25}}, grid, {}), std::invalid_argument);
  EXPECT_THROW(overlap_of({ok, {0.25, std::nan(""), 0.25, 0.25}}, grid, {}), std::invalid_argument);
  for (const double percent : {0.0, 100.5, std::nan("")}) {
    EXPECT_THROW(overlap_of({ok, ok}, grid, {percent, false, 1}), std::invalid_argument) << percent;
  }
  EXPECT_THROW(overlap_of({ok, ok}, {0.0, 0.0, 0.0, 2, 2}, {}), std::invalid_argument);
}

// A coarse grid (cells of 10) and a fine one (cells of 5) offset from it by a whole fine cell.
TEST(CommonGrid, IsTheFinestLatticeCoveringEveryGrid) {
  const UdGrid coarse{0.0, 0.0, 10.0, 4, 3};  // x 0..40, y 0..30
  const UdGrid fine{25.0, -10.0, 5.0, 6, 4};  // x 25..55, y -10..10
  const UdGrid grids[] = {coarse, fine};
  const UdGrid common = orvex::range::finest_common_grid(grids);
  EXPECT_EQ(common, (UdGrid{0.0, -10.0, 5.0, 11, 8}));  // x 0..55, y -10..30
}

TEST(CommonGrid, ResamplingKeepsDensityAndVolumeAndOverlapSeesTheSameUd) {
  const UdGrid coarse{0.0, 0.0, 10.0, 2, 2};
  const std::vector<double> on_coarse{0.004, 0.003, 0.002, 0.001};  // volume 1 (x 100)
  // The same UD written on cells of 5 over a wider area: each coarse cell as 4 fine ones.
  const UdGrid fine{-5.0, 0.0, 5.0, 5, 4};
  std::vector<double> on_fine(fine.cell_count(), 0.0);
  for (std::size_t r = 0; r < 4; ++r) {
    for (std::size_t c = 1; c < 5; ++c) on_fine[r * 5 + c] = on_coarse[(r / 2) * 2 + (c - 1) / 2];
  }
  const UdGrid grids[] = {coarse, fine};
  const UdGrid common = orvex::range::finest_common_grid(grids);
  ASSERT_EQ(common, fine);
  EXPECT_EQ(orvex::range::resample_ud(on_fine, fine, common), on_fine);  // same grid: same values
  const std::vector<double> moved = orvex::range::resample_ud(on_coarse, coarse, common);
  EXPECT_EQ(moved, on_fine);
  const OverlapMatrices m = overlap_of({moved, on_fine}, common, {95.0, false, 1});
  EXPECT_EQ(m.at(OverlapIndex::hd, 0, 1), 0.0);
  EXPECT_NEAR(m.at(OverlapIndex::vi, 0, 1), 1.0, 1e-15);  // 25 x (4 + 3 + 2 + 1) x 4 / 1000
}

}  // namespace
