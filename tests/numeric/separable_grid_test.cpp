// The separable grid product against the plain loop over terms and cells it replaces.

#include "numeric/separable_grid.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

namespace orvex::numeric {
namespace {

struct Terms {
  std::vector<FactorSpan> rows;
  std::vector<FactorSpan> columns;
  std::vector<double> rowValues;
  std::vector<double> columnValues;
  [[nodiscard]] SeparableTerms View() const { return {rows, columns, rowValues, columnValues}; }
};

// n terms with random spans (some empty, some at the grid's edges, some over the whole axis)
// and factors spread over many binades, tiny and zero ones included.
Terms RandomTerms(std::size_t n, std::size_t rows, std::size_t columns, std::uint64_t seed) {
  std::uint64_t state = seed;
  auto next = [&state] {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return state >> 33;
  };
  auto span = [&](std::size_t side, std::vector<double>& values) {
    const std::size_t a = next() % (side + 1);
    const std::size_t b = next() % (side + 1);
    FactorSpan s{std::min(a, b), std::max(a, b), values.size()};
    if (next() % 8 == 0) s = {0, side, values.size()};
    for (std::size_t i = s.begin; i < s.end; ++i) {
      const double e = -static_cast<double>(next() % 700);
      values.push_back(next() % 16 == 0 ? 0.0 : std::exp(e * static_cast<double>(next() % 3) / 2.0));
    }
    return s;
  };
  Terms t;
  for (std::size_t k = 0; k < n; ++k) {
    t.rows.push_back(span(rows, t.rowValues));
    t.columns.push_back(span(columns, t.columnValues));
  }
  return t;
}

// The loop the product replaces: every term in order, cell = cell + row * column.
std::vector<double> PlainSum(const Terms& t, std::size_t rows, std::size_t columns, double start) {
  std::vector<double> out(rows * columns, start);
  for (std::size_t k = 0; k < t.rows.size(); ++k) {
    const FactorSpan& r = t.rows[k];
    const FactorSpan& c = t.columns[k];
    for (std::size_t i = r.begin; i < r.end; ++i) {
      for (std::size_t j = c.begin; j < c.end; ++j) {
        out[i * columns + j] += t.rowValues[r.offset + i - r.begin] * t.columnValues[c.offset + j - c.begin];
      }
    }
  }
  return out;
}

TEST(SeparableProduct, EqualsThePlainLoopBitForBitOnEveryInstructionSet) {
  // Grids smaller than a tile, not a multiple of one, and several tiles a side; term counts
  // below and above one block of terms. The cells start non-zero to show add_tile adds, and as
  // NaN to show write_tile never reads them (its grid is the sum onto zeros).
  const struct {
    std::size_t n, rows, columns;
  } cases[] = {{1, 1, 1}, {7, 5, 3}, {300, 24, 32}, {129, 50, 77}, {600, 101, 66}};
  for (const auto& c : cases) {
    const Terms terms = RandomTerms(c.n, c.rows, c.columns, c.n + c.rows);
    const auto expected = PlainSum(terms, c.rows, c.columns, 0.25);
    const auto written = PlainSum(terms, c.rows, c.columns, 0.0);
    const SeparableProduct product(c.rows, c.columns, terms.View());
    for (const SimdLevel level : {SimdLevel::baseline, SimdLevel::avx2, SimdLevel::avx512f}) {
      std::vector<double> out(c.rows * c.columns, 0.25);
      std::vector<double> fresh(c.rows * c.columns, std::nan(""));
      for (std::size_t tile = product.tile_count(); tile-- > 0;) {
        product.add_tile(tile, out, level);
        product.write_tile(tile, fresh, level);
      }
      ASSERT_EQ(out, expected) << c.n << " terms on " << c.rows << " x " << c.columns << ", level "
                               << static_cast<int>(level);
      ASSERT_EQ(fresh, written) << c.n << " terms written on " << c.rows << " x " << c.columns;
    }
  }
}

TEST(SeparableProduct, WorkCountsOnlyTheTilesATermMeets) {
  // On a grid of 2 x 2 tiles, a term on one cell meets one tile; one over the grid meets all.
  constexpr std::size_t kRows = 2 * SeparableProduct::kTileRows;
  constexpr std::size_t kColumns = 2 * SeparableProduct::kTileColumns;
  Terms t;
  t.rows = {{3, 4, 0}, {0, kRows, 1}};
  t.columns = {{5, 6, 0}, {0, kColumns, 1}};
  t.rowValues.assign(kRows + 1, 1.0);
  t.columnValues.assign(kColumns + 1, 1.0);
  const SeparableProduct product(kRows, kColumns, t.View());
  EXPECT_EQ(product.tile_count(), 4U);
  EXPECT_EQ(product.work(), 5.0 * SeparableProduct::kTileRows * SeparableProduct::kTileColumns);
}

}  // namespace
}  // namespace orvex::numeric
