#pragma once
// The kernels of a UD grid's sum, and the buffers the sum reuses from one call to the next.

#include <cstddef>
#include <vector>

#include "numeric/separable_grid.h"

namespace orvex::core {

/// One kernel: centre (x, y), bandwidth b and weight w.
struct KernelSource {
  double x = 0.0;
  double y = 0.0;
  double weight = 1.0;
  double bandwidth = 1.0;
};

/// Scratch of the interpolated kernel sum. Sums computed again and again (a bandwidth search, a
/// batch of animals) then touch no fresh memory: the first touch of each page costs a fault,
/// which on some machines takes as long as the sum itself. It carries nothing from one call to
/// the next that could change a result: any workspace, or none, gives the same sums.
struct KernelSumWorkspace {
  std::vector<std::size_t> box_x, box_y, order, starts, low, high;
  std::vector<double> w, t, fx, fy;
  std::vector<numeric::FactorSpan> w_spans, fy_spans, fx_spans, t_spans;
};

}  // namespace orvex::core
