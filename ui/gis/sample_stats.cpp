#include "ui/gis/sample_stats.h"

namespace orvex::ui::gis {

double SampleVariance(std::span<const std::array<double, 2>> pairs, int column) {
  if (column != 0 && column != 1) return 0.0;
  const std::size_t n = pairs.size();
  if (n < 2) throw std::domain_error("sample variance needs at least 2 values");
  const auto c = static_cast<std::size_t>(column);
  double sum = 0.0;
  for (const auto& pair : pairs) sum += pair[c];
  const double mean = sum / static_cast<double>(n);
  double squares = 0.0;
  for (const auto& pair : pairs) {
    const double d = pair[c] - mean;
    squares += d * d;
  }
  return squares / static_cast<double>(n - 1);
}

}  // namespace orvex::ui::gis
