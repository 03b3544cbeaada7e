#pragma once
// The vector instruction sets the numeric kernels run on, chosen at run time.
//
// The build targets plain x86-64; each kernel is compiled once per instruction set and the
// widest the processor runs is taken. Every kernel works on vectors of eight doubles on every
// set (two AVX2 or four SSE2 registers each) and keeps fused multiply-add off, so the sets
// differ in speed only, never in results. Tests ask for each level to show it.

namespace orvex::numeric {

/// Vector instruction sets the kernels run on, in increasing width.
enum class SimdLevel { baseline, avx2, avx512f };

/// The widest level this processor runs (detected once).
SimdLevel best_simd_level();

/// `level`, lowered to what this processor runs.
inline SimdLevel usable_simd_level(SimdLevel level) {
  const SimdLevel best = best_simd_level();
  return level > best ? best : level;
}

}  // namespace orvex::numeric
