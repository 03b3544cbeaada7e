#include "ui/gis/sample_stats.h"

namespace orvex::ui::gis {

namespace {

template <typename Get>
double VarianceOf(std::size_t n, Get get) {
  if (n < 2) throw std::domain_error("sample variance needs at least 2 values");
  double sum = 0.0;
  for (std::size_t i = 0; i < n; ++i) sum += get(i);
  const double mean = sum / static_cast<double>(n);
  double squares = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    const double d = get(i) - mean;
    squares += d * d;
  }
  return squares / static_cast<double>(n - 1);
}

}  // namespace

double SampleVariance(std::span<const double> values) {
  return VarianceOf(values.size(), [&](std::size_t i) { return values[i]; });
}

double SampleVariance(std::span<const std::array<double, 2>> pairs, int column) {
  if (column != 0 && column != 1) return 0.0;
  const auto c = static_cast<std::size_t>(column);
  return VarianceOf(pairs.size(), [&](std::size_t i) { return pairs[i][c]; });
}

}  // namespace orvex::ui::gis
