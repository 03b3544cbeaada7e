#pragma once
// Sums of outer products of weight vectors, added into a matrix: the interpolated UD sum's
// sources spread onto the Chebyshev points of their boxes.

#include <cstddef>

#include "numeric/simd_level.h"

namespace orvex::numeric {

/// Rows and columns of `out` touched at once: a call reads and writes whole blocks of this many
/// rows and columns, so the weights past `rows` and `columns` must be 0 (or -0) and `out` must
/// have room up to the next multiple of each.
inline constexpr std::size_t kOuterProductRows = 32;
inline constexpr std::size_t kOuterProductColumns = 4;

/// out[c * out_stride + r] += sum over j = 0 .. count - 1 of b[j * weight_stride + c] *
/// a[j * weight_stride + r], for r < rows and c < columns. The sum over j is formed first, in
/// order (each product rounded, then added), and then added to out: the same bits on every
/// instruction set. weight_stride must cover `rows` and `columns` rounded up as above.
void add_outer_products(const double* a, const double* b, std::size_t count, std::size_t weight_stride,
                        std::size_t rows, std::size_t columns, double* out, std::size_t out_stride,
                        SimdLevel level = best_simd_level());

}  // namespace orvex::numeric
