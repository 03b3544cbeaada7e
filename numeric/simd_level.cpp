#include "numeric/simd_level.h"

namespace orvex::numeric {

namespace {

SimdLevel detect_simd_level() {
#if defined(__x86_64__)
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx512f")) return SimdLevel::avx512f;
  if (__builtin_cpu_supports("avx2")) return SimdLevel::avx2;
#endif
  return SimdLevel::baseline;
}

}  // namespace

SimdLevel best_simd_level() {
  static const SimdLevel level = detect_simd_level();
  return level;
}

}  // namespace orvex::numeric
