#pragma once
// The kernel calculator's density grid: columns x rows of doubles, row 0 the northernmost,
// stored row by row (west to east within a row) so that a row is one contiguous span, as the
// raster is written.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <span>

namespace orvex::ui {

class KernelGrid {
 public:
  KernelGrid() = default;
  /// All cells 0. Throws std::bad_alloc when the grid does not fit in memory. The zeros come
  /// from calloc: a large grid gets fresh pages that are zero already, so a grid of tens of
  /// megabytes is not written twice (once zero, once by the kernel sum).
  KernelGrid(std::int32_t columns, std::int32_t rows)
      : columns_(columns),
        rows_(rows),
        size_(static_cast<std::size_t>(columns) * static_cast<std::size_t>(rows)) {
    values_.reset(static_cast<double*>(std::calloc(size_ == 0 ? 1 : size_, sizeof(double))));
    if (!values_) throw std::bad_alloc();
  }

  [[nodiscard]] std::int32_t Columns() const { return columns_; }
  [[nodiscard]] std::int32_t Rows() const { return rows_; }

  /// Cell (column, row); no bounds check.
  [[nodiscard]] double At(std::int32_t column, std::int32_t row) const { return values_[Index(column, row)]; }
  double& At(std::int32_t column, std::int32_t row) { return values_[Index(column, row)]; }

  /// Row `row`, west to east.
  [[nodiscard]] std::span<const double> Row(std::int32_t row) const {
    return Values().subspan(Index(0, row), static_cast<std::size_t>(columns_));
  }
  std::span<double> Row(std::int32_t row) {
    return Values().subspan(Index(0, row), static_cast<std::size_t>(columns_));
  }

  /// Every cell, row by row.
  [[nodiscard]] std::span<const double> Values() const { return {values_.get(), size_}; }
  std::span<double> Values() { return {values_.get(), size_}; }

 private:
  [[nodiscard]] std::size_t Index(std::int32_t column, std::int32_t row) const {
    return static_cast<std::size_t>(row) * static_cast<std::size_t>(columns_) +
           static_cast<std::size_t>(column);
  }

  std::int32_t columns_ = 0;
  std::int32_t rows_ = 0;
  struct Free {
    void operator()(double* p) const { std::free(p); }
  };
  std::size_t size_ = 0;
  std::unique_ptr<double[], Free> values_;
};

}  // namespace orvex::ui
