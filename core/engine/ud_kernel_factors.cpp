#include <algorithm>
#include <array>
#include <cmath>

#include "core/engine/ud_kernel_factors.h"
#include "numeric/fixed_chunks.h"
#include "numeric/vector_exp.h"

namespace orvex::core::ud_detail {

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
