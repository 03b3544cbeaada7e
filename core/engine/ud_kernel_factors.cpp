#include <algorithm>
#include <array>
#include <cmath>

#include "core/engine/ud_kernel_factors.h"
#include "numeric/fixed_chunks.h"
#include "numeric/vector_exp.h"

namespace orvex::core::ud_detail {

namespace {

// Clamps a node position (possibly far outside) to [0, side].
std::size_t clamp_node(double position, std::size_t side) {
  if (!(position > 0.0)) return 0;
  const double top = static_cast<double>(side);
  return position >= top ? side : static_cast<std::size_t>(position);
}

}  // namespace

AxisWindow node_window(double centre, double half_width, std::size_t side) {
  AxisWindow w;
  w.begin = clamp_node(std::ceil(centre - half_width), side);
  w.end = clamp_node(std::floor(centre + half_width) + 1.0, side);
  if (w.end < w.begin) w.end = w.begin;
  return w;
}

AxisWindow axis_window(double origin, double step, double centre, double b, std::size_t side) {
  return node_window((centre - origin) / step, std::sqrt(kDropRadius2) * b / step + 1.0, side);
}

void fill_axis(double origin, double step, double centre, double b, double scale,
               const numeric::FactorSpan& span, double* values) {
  constexpr std::size_t kBlock = 256;
  std::array<double, kBlock> arguments;  // -t^2 / 2; t^2 <= kDropRadius2 exactly when >= -kDropRadius2 / 2
  for (std::size_t first = span.begin; first < span.end; first += kBlock) {
    const std::size_t count = std::min(kBlock, span.end - first);
    for (std::size_t k = 0; k < count; ++k) {
      const double t = (static_cast<double>(first + k) * step + origin - centre) / b;
      arguments[k] = -t * t / 2.0;
    }
    double* const out = values + span.offset + (first - span.begin);
    numeric::exp_array(std::span(arguments).first(count), std::span(out, count));
    for (std::size_t k = 0; k < count; ++k)
      out[k] = arguments[k] >= -kDropRadius2 / 2.0 ? scale * out[k] : 0.0;
  }
}

void add_product(const numeric::SeparableProduct& product, std::span<double> out, unsigned threads) {
  numeric::run_fixed_chunks(product.tile_count(), threads,
                            [&](std::size_t tile) { product.add_tile(tile, out); });
}

}  // namespace orvex::core::ud_detail
