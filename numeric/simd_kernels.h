#pragma once
// Private to the numeric library's sources: the vector type of its kernels, the exponential on
// it, and the macro that compiles a kernel once per instruction set.
//
// A kernel is an always-inlined function template over an instruction-set tag, instantiated
// inside one function per instruction set by ORVEX_SIMD_CLONES. Every clone uses the same 8-lane
// vector (GCC lowers it to one AVX-512, two AVX2 or four SSE2 registers) and the library is
// compiled without floating-point contraction, so every clone does the same operations on the
// same lanes: the same bits on every set by construction. Where GCC lowers an operation on the
// 8-lane vector poorly for a narrower set (comparisons, selects, 64-bit shifts), the kernel runs
// it on each register-wide part in turn (by_register below): the same operations on the same
// lanes again.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "numeric/simd_level.h"

#if defined(__x86_64__)
#define ORVEX_TARGET_AVX2 [[gnu::target("avx2")]]
#define ORVEX_TARGET_AVX512 [[gnu::target("avx512f")]]
#else
#define ORVEX_TARGET_AVX2
#define ORVEX_TARGET_AVX512
#endif

namespace orvex::numeric {

/// Eight doubles, and their bit patterns.
using Doubles8 = double __attribute__((vector_size(64)));
using Bits8 = std::uint64_t __attribute__((vector_size(64)));

/// Lanes of every kernel's vector.
inline constexpr std::size_t kLanes = 8;

/// Register-wide vectors of the narrower sets, and their bit patterns.
using Doubles2 = double __attribute__((vector_size(16)));
using Doubles4 = double __attribute__((vector_size(32)));
using Bits2 = std::uint64_t __attribute__((vector_size(16)));
using Bits4 = std::uint64_t __attribute__((vector_size(32)));

/// The bit-pattern vector as wide as V (GCC does not take a dependent vector_size).
template <class V>
using BitsOf = std::conditional_t<sizeof(V) == 16, Bits2, std::conditional_t<sizeof(V) == 32, Bits4, Bits8>>;

/// Instruction-set tags: the vector of doubles one register holds.
struct Baseline {
  using Register = Doubles2;
};
struct Avx2 {
  using Register = Doubles4;
};
struct Avx512 {
  using Register = Doubles8;
};

/// Lanes of one register of the set `Isa`.
template <class Isa>
inline constexpr std::size_t kRegisterLanes = sizeof(typename Isa::Register) / sizeof(double);

/// The bits of `from` as a vector type of the same size. Not std::bit_cast: GCC's
/// undefined-behaviour sanitizer reports a load of a null pointer inside bit_cast of vector
/// types; the copy compiles to the same register move.
template <class To, class From>
[[gnu::always_inline]] inline To vector_bit_cast(const From& from) {
  static_assert(sizeof(To) == sizeof(From));
  To to;
  std::memcpy(&to, &from, sizeof(To));
  return to;
}

/// f(part) for each register-wide part of v, in place. f must be an always-inlined callable
/// generic over the vector type, working lane by lane.
template <class Isa, class F>
[[gnu::always_inline]] inline Doubles8 by_register(Doubles8 v, F f) {
  using R = typename Isa::Register;
  if constexpr (sizeof(R) == sizeof(Doubles8)) {
    return f(v);
  } else {
    constexpr std::size_t kParts = sizeof(Doubles8) / sizeof(R);
    R parts[kParts];
    std::memcpy(parts, &v, sizeof v);
#pragma GCC unroll 4
    for (std::size_t p = 0; p < kParts; ++p) parts[p] = f(parts[p]);
    std::memcpy(&v, parts, sizeof v);
    return v;
  }
}

namespace vector_exp_detail {
inline constexpr double kLowest = -746.0;  // e^-746 rounds to 0
inline constexpr double kHighest = 709.8;  // e^709.8 overflows to infinity
inline constexpr double kLog2e = 1.4426950408889634;
inline constexpr double kLn2Hi = 6.93147180369123816490e-01;  // 32 significant bits
inline constexpr double kLn2Lo = 1.90821492927058770002e-10;
inline constexpr double kShifter = 0x1.8p52;  // adding it rounds |v| < 2^51 to an integer
// 1 / m!, m = 2 .. 13.
inline constexpr double kInverseFactorials[] = {
    1.0 / 2,     1.0 / 6,      1.0 / 24,      1.0 / 120,      1.0 / 720,       1.0 / 5040,
    1.0 / 40320, 1.0 / 362880, 1.0 / 3628800, 1.0 / 39916800, 1.0 / 479001600, 1.0 / 6227020800};
}  // namespace vector_exp_detail

/// e^x lane by lane on any vector of doubles, within 1 ulp (method and exact cases in
/// numeric/vector_exp.h).
template <class V>
[[gnu::always_inline]] inline V vector_exp_lanes(V x) {
  namespace d = vector_exp_detail;
  using Bits = BitsOf<V>;
  V xc = x < d::kLowest ? V{} + d::kLowest : x;  // a NaN passes both tests unchanged
  xc = xc > d::kHighest ? V{} + d::kHighest : xc;
  const V k = (xc * d::kLog2e + d::kShifter) - d::kShifter;
  const V r = (xc - k * d::kLn2Hi) - k * d::kLn2Lo;
  V q = V{} + d::kInverseFactorials[11];
  for (int m = 10; m >= 0; --m) q = q * r + d::kInverseFactorials[m];
  // 1 + r is split into its rounded sum and the exact error of that sum (|r| < 1, so the error
  // is (1 - s) + r exactly), which keeps the last rounding the only large one.
  const V s = 1.0 + r;
  const V p = s + (((1.0 - s) + r) + (r * r) * q);
  // 2^k1 and 2^k2 from their integers in the low bits of k + kShifter.
  const V k1 = (k * 0.5 + d::kShifter) - d::kShifter;
  const V k2 = k - k1;
  constexpr std::uint64_t kBias = std::uint64_t{1023} << 52;
  const Bits b1 = (vector_bit_cast<Bits>(k1 + d::kShifter) << 52) + kBias;
  const Bits b2 = (vector_bit_cast<Bits>(k2 + d::kShifter) << 52) + kBias;
  return (p * vector_bit_cast<V>(b1)) * vector_bit_cast<V>(b2);
}

/// e^x lane by lane, one register of `Isa` at a time.
template <class Isa>
[[gnu::always_inline]] inline Doubles8 vector_exp(Doubles8 x) {
  return by_register<Isa>(
      x, [](auto v) __attribute__((always_inline)) { return vector_exp_lanes(v); });
}

}  // namespace orvex::numeric

/// Defines `name_baseline`, `name_avx2` and `name_avx512` calling `kernel<Isa>(args...)` with
/// the set's tag, each compiled for its instruction set, and `name(level, args...)` calling the
/// one of `level` (capped at what the processor runs). `kernel` must be an always-inlined
/// function template whose first template argument is the tag.
#define ORVEX_SIMD_CLONES(name, kernel)                                      \
  template <class... Args>                                                   \
  decltype(auto) name##_baseline(Args&&... args) {                           \
    return kernel<::orvex::numeric::Baseline>(static_cast<Args&&>(args)...); \
  }                                                                          \
  template <class... Args>                                                   \
  ORVEX_TARGET_AVX2 decltype(auto) name##_avx2(Args&&... args) {             \
    return kernel<::orvex::numeric::Avx2>(static_cast<Args&&>(args)...);     \
  }                                                                          \
  template <class... Args>                                                   \
  ORVEX_TARGET_AVX512 decltype(auto) name##_avx512(Args&&... args) {         \
    return kernel<::orvex::numeric::Avx512>(static_cast<Args&&>(args)...);   \
  }                                                                          \
  template <class... Args>                                                   \
  decltype(auto) name(::orvex::numeric::SimdLevel level, Args&&... args) {   \
    switch (::orvex::numeric::usable_simd_level(level)) {                    \
      case ::orvex::numeric::SimdLevel::avx512f:                             \
        return name##_avx512(static_cast<Args&&>(args)...);                  \
      case ::orvex::numeric::SimdLevel::avx2:                                \
        return name##_avx2(static_cast<Args&&>(args)...);                    \
      case ::orvex::numeric::SimdLevel::baseline:                            \
        break;                                                               \
    }                                                                        \
    return name##_baseline(static_cast<Args&&>(args)...);                    \
  }
