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
/// 1.4e-306 (beyond ~37.5 bandwidths) are dropped rather than computed in subnormal
/// arithmetic; they can only matter to nodes whose sum is itself below ~1e-290.
/// Every node is summed in the same source order whatever `threads` is.
/// Bandwidths must be positive and everything finite; `out` must hold (S + 1)^2 values.
void accumulate_kernel_sums(std::span<const KernelSource> sources, const GridGeometry& grid, std::int32_t S,
                            std::span<double> out, unsigned threads);

}  // namespace orvex::core
