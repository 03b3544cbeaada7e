#pragma once
// Run-time choice of the vector instruction set, for the numeric kernels of both component
// libraries.
//
// The build targets plain x86-64. A kernel is written once as an always-inlined template over a
// vector type of doubles and instantiated inside one function per instruction set, each
// compiled for its set with __attribute__((target)); ORVEX_SIMD_CLONES below writes the three.
// The caller picks one with BestSimdLevel(). Kernels keep fused multiply-add off (the build
// compiles them with -ffp-contract=off) and do the same operations lane by lane on every set,
// so the widths differ in speed only, never in results.

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__x86_64__)
#define ORVEX_TARGET_AVX2 [[gnu::target("avx2")]]
#define ORVEX_TARGET_AVX512 [[gnu::target("avx512f")]]
#else
#define ORVEX_TARGET_AVX2
#define ORVEX_TARGET_AVX512
#endif

namespace orvex::host {

/// Vector instruction sets the kernels run on, in increasing width.
enum class SimdLevel { baseline, avx2, avx512f };

/// The widest level this processor runs (detected once).
SimdLevel BestSimdLevel();

/// `level`, lowered to what this processor runs (tests ask for every level).
inline SimdLevel UsableSimdLevel(SimdLevel level) {
  const SimdLevel best = BestSimdLevel();
  return level > best ? best : level;
}

// Vectors of doubles and of their bit patterns, 2, 4 and 8 lanes.
using Doubles2 = double __attribute__((vector_size(16)));
using Doubles4 = double __attribute__((vector_size(32)));
using Doubles8 = double __attribute__((vector_size(64)));

using Bits2 = std::uint64_t __attribute__((vector_size(16)));
using Bits4 = std::uint64_t __attribute__((vector_size(32)));
using Bits8 = std::uint64_t __attribute__((vector_size(64)));

namespace simd_detail {
template <std::size_t kBytes>
struct Bits;
template <>
struct Bits<16> {
  using type = Bits2;
};
template <>
struct Bits<32> {
  using type = Bits4;
};
template <>
struct Bits<64> {
  using type = Bits8;
};
}  // namespace simd_detail

/// The unsigned 64-bit integer vector with as many lanes as V.
template <class V>
using BitsOf = typename simd_detail::Bits<sizeof(V)>::type;

/// The bits of `from` as a vector type of the same size. Not std::bit_cast: GCC's
/// undefined-behaviour sanitizer reports a load of a null pointer inside bit_cast of vector
/// types; the copy compiles to the same register move.
template <class To, class From>
[[gnu::always_inline]] inline To VectorBitCast(const From& from) {
  static_assert(sizeof(To) == sizeof(From));
  To to;
  std::memcpy(&to, &from, sizeof(To));
  return to;
}

/// Lanes of a vector of doubles.
template <class V>
inline constexpr std::size_t kLanes = sizeof(V) / sizeof(double);

}  // namespace orvex::host

/// Defines `Name##Baseline`, `Name##Avx2` and `Name##Avx512` calling `Kernel<V>(args...)` with
/// the 2-, 4- and 8-lane vector, each compiled for its instruction set, and
/// `Name(level, args...)` calling the one of `level` (capped at what the processor runs).
/// `Kernel` must be an always-inlined function template whose first template argument is the
/// vector type.
#define ORVEX_SIMD_CLONES(Name, Kernel)                                   \
  template <class... Args>                                                \
  decltype(auto) Name##Baseline(Args&&... args) {                         \
    return Kernel<::orvex::host::Doubles2>(static_cast<Args&&>(args)...); \
  }                                                                       \
  template <class... Args>                                                \
  ORVEX_TARGET_AVX2 decltype(auto) Name##Avx2(Args&&... args) {           \
    return Kernel<::orvex::host::Doubles4>(static_cast<Args&&>(args)...); \
  }                                                                       \
  template <class... Args>                                                \
  ORVEX_TARGET_AVX512 decltype(auto) Name##Avx512(Args&&... args) {       \
    return Kernel<::orvex::host::Doubles8>(static_cast<Args&&>(args)...); \
  }                                                                       \
  template <class... Args>                                                \
  decltype(auto) Name(::orvex::host::SimdLevel level, Args&&... args) {   \
    switch (::orvex::host::UsableSimdLevel(level)) {                      \
      case ::orvex::host::SimdLevel::avx512f:                             \
        return Name##Avx512(static_cast<Args&&>(args)...);                \
      case ::orvex::host::SimdLevel::avx2:                                \
        return Name##Avx2(static_cast<Args&&>(args)...);                  \
      case ::orvex::host::SimdLevel::baseline:                            \
        break;                                                            \
    }                                                                     \
    return Name##Baseline(static_cast<Args&&>(args)...);                  \
  }
