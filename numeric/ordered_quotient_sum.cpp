#include "numeric/ordered_quotient_sum.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "numeric/simd_kernels.h"

namespace orvex::numeric {

namespace {

// Terms per block: long enough to pay for the vector pass, short enough that the few blocks
// run by the plain loop (the first ones, one per binade crossed, one per tie) cost little.
constexpr std::size_t kBlock = 256;
// t + kShifter holds round(t) (nearest, ties to even) in its low bits for 0 <= t < 2^51.
constexpr double kShifter = 0x1.8p52;
// Terms of this many grid steps or more run the plain loop, which keeps t + kShifter exact.
constexpr double kLargest = 0x1p50;
// A term is doubtful when |t - round(t)| + kSlope t exceeds kNearHalf: kSlope = 4u covers the
// 3.001 u |t| between t and q / g, and 2^-50 their absolute error and the rounding of the test.
constexpr double kSlope = 0x1p-51;
constexpr double kNearHalf = 0.5 - 0x1p-50;
// Grid steps at the top of a binade.
constexpr std::int64_t kBinadeTop = std::int64_t{1} << 53;
// The sums kept on a grid: far enough from underflow and overflow that the scale factors and
// the quotients' errors stay as the bound in the header says.
constexpr double kLowestOnGrid = 0x1p-900;
constexpr double kHighestOnGrid = 0x1p900;

std::uint64_t bitsOf(double v) {
  std::uint64_t b;
  std::memcpy(&b, &v, sizeof b);
  return b;
}

// The running sum: sign * steps * grid while on a grid, else a plain double.
class Fold {
 public:
  explicit Fold(double k) : k_(k), reciprocal_(1.0 / k) {}

  bool onGrid() const { return onGrid_; }
  double scale() const { return scale_; }  // t = x * scale
  double value() const { return onGrid_ ? sign_ * (static_cast<double>(steps_) * grid_) : plain_; }

  void addPlain(const double* x, std::size_t n) {
    double s = value();
    for (std::size_t i = 0; i < n; ++i) s += x[i] / k_;
    set(s);
  }

  /// Adds a block's grid steps; false (and nothing added) when they would leave the binade.
  bool addSteps(std::int64_t steps) {
    if (steps_ + steps >= kBinadeTop) return false;
    steps_ += steps;
    return true;
  }

  /// The steps of a block whose vector pass found a doubtful term, settled term by term;
  /// false on a tie.
  bool settle(const double* x, std::int64_t& steps) const {
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i < kBlock; ++i) {
      const double t = x[i] * scale_;
      double shifted = t + kShifter;
      if (std::abs(t - (shifted - kShifter)) + t * kSlope > kNearHalf) {
        const double exact = x[i] / k_ * unscale_;  // q / g, scaled by a power of two
        shifted = exact + kShifter;
        if (std::abs(exact - (shifted - kShifter)) == 0.5) return false;
      }
      sum += bitsOf(shifted) - bitsOf(kShifter);
    }
    steps = static_cast<std::int64_t>(sum);
    return true;
  }

 private:
  void set(double s) {
    plain_ = s;
    const double a = std::abs(s);
    onGrid_ = a >= kLowestOnGrid && a < kHighestOnGrid && std::isnormal(reciprocal_);  // NaN: false
    if (!onGrid_) return;
    const int e = std::ilogb(a);
    grid_ = std::ldexp(1.0, e - 52);
    sign_ = s < 0.0 ? -1.0 : 1.0;
    steps_ = static_cast<std::int64_t>(a / grid_);  // exact: a is a multiple of its grid
    scale_ = sign_ * std::ldexp(reciprocal_, 52 - e);
    unscale_ = sign_ * std::ldexp(1.0, 52 - e);
    onGrid_ = std::isnormal(scale_);
  }

  double k_;
  double reciprocal_;
  bool onGrid_ = false;
  double plain_ = 0.0;
  double sign_ = 1.0;
  double grid_ = 0.0;
  double scale_ = 0.0;
  double unscale_ = 0.0;
  std::int64_t steps_ = 0;
};

struct BlockPass {
  std::int64_t steps = 0;
  bool usable = false;  // every term of the sum's sign, finite and under kLargest steps
  bool doubtful = false;
};

// The vector pass over one block: each term's rounding to the grid from t = x * scale, as the
// integer in the low bits of t + kShifter. No lane comparisons (GCC spills them to scalar code):
// a term outside [0, kLargest) or NaN has an integer outside [0, 2^50) (t + kShifter leaves its
// binade or has the wrong sign) or, when t is negative but rounds to 0, a negative t + 0 (which
// turns -0 into +0); a term is clear of doubt when |t - round(t)| + kSlope t - kNearHalf is
// negative.
template <class Isa>
[[gnu::always_inline]] inline BlockPass blockPass(const double* x, double scale) {
  using V = typename Isa::Register;
  using B = BitsOf<V>;
  constexpr std::size_t kWidth = kRegisterLanes<Isa>;
  const B magnitude = B{} + 0x7fffffffffffffffULL;
  const std::uint64_t shifterBits = bitsOf(kShifter);
  B sum{};
  B anyRange{};
  B anySign{};
  B allClear = B{} - 1;
  for (std::size_t i = 0; i < kBlock; i += kWidth) {
    V v;
    std::memcpy(&v, x + i, sizeof v);
    const V t = v * scale;
    const V shifted = t + kShifter;
    const B steps = vector_bit_cast<B>(shifted) - shifterBits;
    const V off = vector_bit_cast<V>(vector_bit_cast<B>(t - (shifted - kShifter)) & magnitude);
    sum += steps;
    anyRange |= steps;
    anySign |= vector_bit_cast<B>(t + 0.0);
    allClear &= vector_bit_cast<B>((off + t * kSlope) - kNearHalf);
  }
  std::uint64_t total = 0;
  std::uint64_t range = 0;
  std::uint64_t sign = 0;
  std::uint64_t clear = ~std::uint64_t{0};
  for (std::size_t lane = 0; lane < kWidth; ++lane) {
    total += sum[lane];
    range |= anyRange[lane];
    sign |= anySign[lane];
    clear &= allClear[lane];
  }
  BlockPass pass;
  pass.steps = static_cast<std::int64_t>(total);
  pass.usable = (range >> 50) == 0 && (sign >> 63) == 0;
  pass.doubtful = (clear >> 63) == 0;
  return pass;
}

template <class Isa>
[[gnu::always_inline]] inline double orderedKernel(std::span<const double> x, double k) {
  Fold fold(k);
  for (std::size_t at = 0; at < x.size(); at += kBlock) {
    const std::size_t count = std::min(kBlock, x.size() - at);
    bool added = false;
    if (fold.onGrid() && count == kBlock) {
      BlockPass pass = blockPass<Isa>(x.data() + at, fold.scale());
      if (pass.usable && (!pass.doubtful || fold.settle(x.data() + at, pass.steps))) {
        added = fold.addSteps(pass.steps);
      }
    }
    if (!added) fold.addPlain(x.data() + at, count);
  }
  return fold.value();
}

ORVEX_SIMD_CLONES(orderedAt, orderedKernel)

}  // namespace

double ordered_quotient_sum(std::span<const double> x, double k, SimdLevel level) {
  return orderedAt(level, x, k);
}

}  // namespace orvex::numeric
