#pragma once
// The kernel calculator's density grid: columns x rows of doubles, row 0 the northernmost,
// stored row by row (west to east within a row) so that a row is one contiguous span, as the
// raster is written.

#include <cstddef>
#include <cstdint>
#include <span>

#include "numeric/zeroed_buffer.h"

namespace orvex::ui {

class KernelGrid {
 public:
  KernelGrid() = default;
  /// All cells 0. Throws std::bad_alloc when the grid does not fit in memory. A large grid
  /// gets fresh pages that read as zero (numeric::ZeroedArray), so it is not written twice.
  KernelGrid(std::int32_t columns, std::int32_t rows)
      : columns_(columns),
        rows_(rows),
        values_(static_cast<std::size_t>(columns) * static_cast<std::size_t>(rows)) {}

  /// Makes the grid columns x rows, keeping its memory when it holds that many cells (a
  /// calculator run animal after animal then touches its pages once). The cells are left as
  /// they were: the caller writes every one. Throws std::bad_alloc as the constructor does.
  void Reshape(std::int32_t columns, std::int32_t rows) {
    const std::size_t cells = static_cast<std::size_t>(columns) * static_cast<std::size_t>(rows);
    if (cells > values_.size()) {
      values_ = numeric::ZeroedArray<double>();  // the old block goes before the new one comes
      values_ = numeric::ZeroedArray<double>(cells);
    }
    columns_ = columns;
    rows_ = rows;
  }

  [[nodiscard]] std::int32_t Columns() const { return columns_; }
  [[nodiscard]] std::int32_t Rows() const { return rows_; }

  /// Cell (column, row); no bounds check.
  [[nodiscard]] double At(std::int32_t column, std::int32_t row) const {
    return values_.data()[Index(column, row)];
  }
  double& At(std::int32_t column, std::int32_t row) { return values_.data()[Index(column, row)]; }

  /// Row `row`, west to east.
  [[nodiscard]] std::span<const double> Row(std::int32_t row) const {
    return Values().subspan(Index(0, row), static_cast<std::size_t>(columns_));
  }
  std::span<double> Row(std::int32_t row) {
    return Values().subspan(Index(0, row), static_cast<std::size_t>(columns_));
  }

  /// Every cell, row by row.
  [[nodiscard]] std::span<const double> Values() const { return values_.span().first(Cells()); }
  std::span<double> Values() { return values_.span().first(Cells()); }

 private:
  [[nodiscard]] std::size_t Cells() const {
    return static_cast<std::size_t>(columns_) * static_cast<std::size_t>(rows_);
  }
  [[nodiscard]] std::size_t Index(std::int32_t column, std::int32_t row) const {
    return static_cast<std::size_t>(row) * static_cast<std::size_t>(columns_) +
           static_cast<std::size_t>(column);
  }

  std::int32_t columns_ = 0;
  std::int32_t rows_ = 0;
  numeric::ZeroedArray<double> values_;
};

}  // namespace orvex::ui
