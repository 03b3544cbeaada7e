#pragma once
// Private to the UD sum's sources (ud_density.cpp, ud_exact_sum.cpp, ud_interpolated_sum.cpp):
// the axis factors and node windows both ways of the sum share, and the two ways.

#include <cmath>
#include <cstddef>
#include <span>

#include "core/engine/kernel_engine.h"
#include "core/engine/kernel_sum_workspace.h"
#include "core/engine/ud_density.h"
#include "numeric/separable_grid.h"

namespace orvex::core::ud_detail {

// A term w * exp(-t^2 / 2), t its distance in bandwidths, is dropped once it is below about
// exp(-705) ~ 1.4e-306, that is when t^2 > kDropRadius2 + 2 ln(min(w, 1)). Smaller terms would
// be subnormal arithmetic (a hundred times slower on common processors) and can only matter
// to nodes whose kernel sum is itself below ~1e-290. The direct sum keeps only terms of its
// disc, all normal numbers; the product also adds the corners of each source's square, terms
// below 1.4e-306 that may be subnormal or 0.
constexpr double kDropRadius2 = 1410.0;

struct AxisWindow {
  std::size_t begin = 0;
  std::size_t end = 0;  // one past the last node in the window
};

/// A node position (possibly far outside) clamped to [0, side].
inline std::size_t clamp_node(double position, std::size_t side) {
  if (!(position > 0.0)) return 0;
  const double top = static_cast<double>(side);
  return position >= top ? side : static_cast<std::size_t>(position);
}

/// The nodes i with |i - centre| <= half_width (in node units), clamped to [0, side]. Inline:
/// the direct sum asks for one window per row of every source's disc.
inline AxisWindow node_window(double centre, double half_width, std::size_t side) {
  AxisWindow w;
  w.begin = clamp_node(std::ceil(centre - half_width), side);
  w.end = clamp_node(std::floor(centre + half_width) + 1.0, side);
  if (w.end < w.begin) w.end = w.begin;
  return w;
}

/// The nodes of one axis where a source's factor is kept: those within the drop radius, plus one
/// node of slack against rounding (the test on t in fill_axis decides).
inline AxisWindow axis_window(double origin, double step, double centre, double b, std::size_t side) {
  return node_window((centre - origin) / step, std::sqrt(kDropRadius2) * b / step + 1.0, side);
}

/// The factors over a span: exp(-t^2 / 2), t = (origin + i*step - centre) / b, times `scale`, and
/// 0 where t^2 > kDropRadius2.
void fill_axis(double origin, double step, double centre, double b, double scale,
               const numeric::FactorSpan& span, double* values);

/// Adds every tile of `product` to `out`, in fixed tiles on `threads`.
void add_product(const numeric::SeparableProduct& product, std::span<double> out, unsigned threads);

/// The exact sum (direct or product, or the cheaper per batch) added to `out`.
void exact_sum(std::span<const KernelSource> sources, const GridGeometry& grid, std::size_t side,
               std::span<double> out, unsigned threads, KernelSumMethod method);

/// The interpolated sum into `out` (zeroed by the caller). Returns false, leaving `out` to be
/// zeroed and summed exactly, when the error bound cannot be shown within 1e-12 of the grid's
/// maximum or (unless forced) when the exact sum costs less.
bool interpolated_sum(std::span<const KernelSource> sources, const GridGeometry& grid, std::size_t side,
                      std::span<double> out, unsigned threads, bool forced, KernelSumWorkspace& scratch);

}  // namespace orvex::core::ud_detail
