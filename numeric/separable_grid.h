#pragma once
// Sums of separable terms over a regular grid, run as a blocked matrix product.
//
// A Gaussian kernel on a regular grid factors into a row factor and a column factor,
// exp(-(dr^2 + dc^2) / 2b^2) = exp(-dr^2 / 2b^2) * exp(-dc^2 / 2b^2), so a sum of n kernels over
// R x C cells is the product of an R x n and an n x C factor table: n (R + C) exponentials
// instead of n R C, and the R C n multiply-adds run in vector registers, tile by tile.
//
// Each cell receives its terms in term order, each as cell = cell + row factor * column factor
// with no fused multiply-add and no regrouping, so the grid is bit for bit the one the plain
// loop over terms and cells gives, whatever the instruction set picked at run time (numeric/simd_level.h) and
// whatever thread runs which tile. Within a tile the cells go in panels of 6 x 16; a term skips the
// panels outside its spans, where its products are 0 (for finite factors) and would leave the
// cells as they are, so a narrow term costs its few panels rather than the whole tile.

#include <cstddef>
#include <span>
#include <vector>

#include "numeric/simd_level.h"

namespace orvex::numeric {

/// Where one term's factors along one axis may be non-zero: axis indices [begin, end); the
/// factor of index i is values[offset + (i - begin)]. Outside the span the factor is 0.
struct FactorSpan {
  std::size_t begin = 0;
  std::size_t end = 0;
  std::size_t offset = 0;
};

/// n separable terms: term k adds row_values[rows[k] at r] * column_values[columns[k] at c] to
/// cell (r, c). Spans must lie inside the grid and inside their value arrays.
struct SeparableTerms {
  std::span<const FactorSpan> rows;
  std::span<const FactorSpan> columns;
  std::span<const double> row_values;
  std::span<const double> column_values;
};

/// The tiling of one grid for one set of terms. add_tile may run concurrently for different
/// tiles (each writes only its own cells); the terms and `out` must outlive the calls.
class SeparableProduct {
 public:
  /// Cells of a tile (edge tiles are cut off by the grid). Any tiling gives the same results.
  static constexpr std::size_t kTileRows = 48;
  static constexpr std::size_t kTileColumns = 64;

  /// Grid of `rows` x `columns` cells stored row by row (cell (r, c) at r * columns + c).
  SeparableProduct(std::size_t rows, std::size_t columns, SeparableTerms terms);

  /// Fixed by the grid size only: a tile is the unit of work to hand to a fixed-chunk runner.
  [[nodiscard]] std::size_t tile_count() const { return tile_rows_ * tile_columns_; }

  /// Adds every term to the cells of tile `tile` of `out` (rows * columns values), on `level`
  /// (capped at best_simd_level; tests pass lower levels to compare them).
  void add_tile(std::size_t tile, std::span<double> out, SimdLevel level = best_simd_level()) const;

  /// As add_tile onto cells of 0, bit for bit, but the tile's cells are written without being
  /// read first: a grid fresh from the allocator is touched once, a grid reused holds no trace
  /// of its last contents.
  void write_tile(std::size_t tile, std::span<double> out, SimdLevel level = best_simd_level()) const;

  /// Multiply-adds the tiles run, padding included: terms meeting a tile times its cells.
  [[nodiscard]] double work() const;

 private:
  void run_tile(std::size_t tile, std::span<double> out, SimdLevel level, bool overwrite) const;

  std::size_t rows_;
  std::size_t columns_;
  SeparableTerms terms_;
  std::size_t tile_rows_;
  std::size_t tile_columns_;
  /// For every band of tile rows, the terms whose row span meets it, in term order.
  std::vector<std::vector<std::size_t>> band_terms_;
};

}  // namespace orvex::numeric
