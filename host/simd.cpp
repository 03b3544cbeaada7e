#include "host/simd.h"

namespace orvex::host {

namespace {

SimdLevel DetectSimdLevel() {
#if defined(__x86_64__)
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx512f")) return SimdLevel::avx512f;
  if (__builtin_cpu_supports("avx2")) return SimdLevel::avx2;
#endif
  return SimdLevel::baseline;
}

}  // namespace

SimdLevel BestSimdLevel() {
  static const SimdLevel level = DetectSimdLevel();
  return level;
}

}  // namespace orvex::host
