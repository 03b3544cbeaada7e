#include "core/engine/ud_density.h"

#include <algorithm>

#include "core/engine/ud_kernel_factors.h"

namespace orvex::core {

void accumulate_kernel_sums(std::span<const KernelSource> sources, const GridGeometry& grid, std::int32_t S,
                            std::span<double> out, unsigned threads, KernelSumMethod method,
                            KernelSumWorkspace* workspace) {
  const std::size_t side = static_cast<std::size_t>(S) + 1;
  std::fill(out.begin(), out.end(), 0.0);
  const bool one_bandwidth =
      !sources.empty() && std::all_of(sources.begin(), sources.end(), [&](const KernelSource& k) {
        return k.bandwidth == sources.front().bandwidth;
      });
  if ((method == KernelSumMethod::cheaper && one_bandwidth) || method == KernelSumMethod::interpolated) {
    KernelSumWorkspace own;
    if (ud_detail::interpolated_sum(sources, grid, side, out, threads,
                                    method == KernelSumMethod::interpolated,
                                    workspace != nullptr ? *workspace : own))
      return;
    std::fill(out.begin(), out.end(), 0.0);
  }
  ud_detail::exact_sum(sources, grid, side, out, threads, method);
}

}  // namespace orvex::core
