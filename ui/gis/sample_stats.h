#pragma once

#include <array>
#include <span>
#include <stdexcept>
#include <utility>

namespace orvex::ui::gis {

/// Sample variance sum((v - mean)^2) / (n - 1), mean = sum(v) / n, summed in index order, of
/// column 0 (x) or 1 (y) of coordinate pairs; any other column yields 0.
/// @throws std::domain_error for fewer than 2 pairs when the column is 0 or 1 (0/0: a single
///         fix has no spread, and a silent NaN would travel into every density of the grid).
double SampleVariance(std::span<const std::array<double, 2>> pairs, int column);

/// Sorts values[low..high] (both inclusive) ascending in place; elements outside the range
/// are untouched. A quicksort that swaps two elements when the first is greater; it recurses
/// into the smaller part and loops over the larger, so already sorted input cannot exhaust
/// the stack. low > high sorts nothing.
/// @throws std::out_of_range when a non-empty range reaches outside values.
template <typename T>
void SortAscending(std::span<T> values, long long low, long long high) {
  if (low >= high) return;
  if (low < 0 || high >= static_cast<long long>(values.size())) {
    throw std::out_of_range("sort range outside the array");
  }
  while (low < high) {
    const T pivot = values[static_cast<std::size_t>(low + (high - low) / 2)];
    long long i = low;
    long long j = high;
    while (i <= j) {
      while (values[static_cast<std::size_t>(i)] < pivot) ++i;
      while (pivot < values[static_cast<std::size_t>(j)]) --j;
      if (i <= j) {
        if (values[static_cast<std::size_t>(j)] < values[static_cast<std::size_t>(i)]) {
          std::swap(values[static_cast<std::size_t>(i)], values[static_cast<std::size_t>(j)]);
        }
        ++i;
        --j;
      }
    }
    if (j - low < high - i) {
      SortAscending(values, low, j);
      low = i;
    } else {
      SortAscending(values, i, high);
      high = j;
    }
  }
}

}  // namespace orvex::ui::gis
