#pragma once
// The hot loop of the UD: kernel sums over every grid node.

#include <cstdint>
#include <span>

#include "core/engine/kernel_engine.h"

namespace orvex::core {

/// One kernel: centre (x, y), bandwidth b and weight w.
struct KernelSource {
  double x = 0.0;
  double y = 0.0;
  double weight = 1.0;
  double bandwidth = 1.0;
};

/// For every node (i, j), i, j = 0..S, at (i*dx + ax, j*dy + ay), writes to
/// out[i * (S + 1) + j] the sum over the sources k, in order, of
///   w_k * exp(-((x - x_k) / b_k)^2 / 2) * exp(-((y - y_k) / b_k)^2 / 2).
/// This is the bivariate normal kernel without its 1/(2 pi), split into its two axis factors:
/// each term differs from exp(-(dx^2 + dy^2) / (2 b^2)) by a few ulps only. Terms below about
/// 1.4e-306 (beyond ~37.5 bandwidths) may be dropped; they can only matter to nodes whose sum
/// is itself below ~1e-290. The sum runs either over each source's disc of kept terms or as a
/// product of factor tables over tiles of nodes, whichever costs less; both add each node's
/// terms in source order, so they agree bit for bit wherever a node's sum is above ~1e-290,
/// and neither depends on `threads` or on the instruction set the processor offers.
/// Bandwidths must be positive and everything finite; `out` must hold (S + 1)^2 values.
/// How the sum runs: the cheaper way for each batch of sources, or one way forced (tests).
enum class KernelSumMethod { cheaper, direct, product };

void accumulate_kernel_sums(std::span<const KernelSource> sources, const GridGeometry& grid, std::int32_t S,
                            std::span<double> out, unsigned threads,
                            KernelSumMethod method = KernelSumMethod::cheaper);

}  // namespace orvex::core
