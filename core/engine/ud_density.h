#pragma once
// The hot loop of the UD: kernel sums over every grid node.

#include <cstdint>
#include <span>

#include "core/engine/kernel_engine.h"
#include "core/engine/kernel_sum_workspace.h"

namespace orvex::core {

/// How the sum runs: the cheapest way, or one way forced (tests).
enum class KernelSumMethod { cheaper, direct, product, interpolated };

/// For every node (i, j), i, j = 0..S, at (i*dx + ax, j*dy + ay), writes to
/// out[i * (S + 1) + j] the sum over the sources k, in order, of
///   w_k * exp(-((x - x_k) / b_k)^2 / 2) * exp(-((y - y_k) / b_k)^2 / 2).
/// This is the bivariate normal kernel without its 1/(2 pi), split into its two axis factors:
/// each term differs from exp(-(dx^2 + dy^2) / (2 b^2)) by a few ulps only. Terms below about
/// 1.4e-306 (beyond ~37.5 bandwidths) may be dropped; they can only matter to nodes whose sum
/// is itself below ~1e-290. Bandwidths must be positive and everything finite; `out` must hold
/// (S + 1)^2 values. No way depends on `threads` or on the instruction set the processor offers.
///
/// The exact sum runs either over each source's disc of kept terms (`direct`) or as a product
/// of factor tables over tiles of nodes (`product`); both add each node's terms in source
/// order, so they agree bit for bit wherever a node's sum is above ~1e-290.
///
/// Where every source has the same bandwidth, the sum may run a third way, `interpolated`:
/// along each axis a source's factor is replaced by its Chebyshev interpolant in the source's
/// position, so the fixes collapse onto a few hundred points per axis and the work no longer
/// grows as fixes x nodes. Each term then differs from the exact one by at most 2e-17 of the
/// source's weight, and each node from its exact sum by at most 1e-12 of the grid's maximum
/// (`cheaper` checks the bound after the sum and runs the exact sum where it cannot be shown).
/// Nodes whose exact sums lie below that error read 0 or another value within it. That bound is
/// the rule: `cheaper` may pick either way, so a grid is fixed to within 1e-12 of its maximum,
/// not to the bit; `direct` and `product` give the exact sum.
void accumulate_kernel_sums(std::span<const KernelSource> sources, const GridGeometry& grid, std::int32_t S,
                            std::span<double> out, unsigned threads,
                            KernelSumMethod method = KernelSumMethod::cheaper,
                            KernelSumWorkspace* workspace = nullptr);

}  // namespace orvex::core
