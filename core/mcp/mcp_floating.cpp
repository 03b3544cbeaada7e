#include "core/mcp/mcp_floating.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "core/mcp/mcp_centres.h"
#include "core/mcp/mcp_peel.h"
#include "numeric/ordered_quotient_sum.h"

namespace orvex::core {

namespace {

// Unit roundoff of double.
constexpr double kU = 0x1p-53;
// Absolute slack on every distance bound: squares of differences below about 1e-154 underflow,
// so a rounded distance can be off by that much whatever its relative accuracy.
constexpr double kTiny = 1e-140;
// Every rounding bound below is widened by this factor, so that second-order terms need no
// separate accounting.
constexpr double kWiden = 1.01;
// Relative slack on squared distances compared against a threshold, far above their rounding.
constexpr double kSquareSlack = 1e-12;

// A sum kept as an unevaluated pair hi + lo (Knuth's two-sum per update), with a bound on its
// distance from the exact sum of everything added.
class RunningSum {
 public:
  void add(double x) {
    const double s = hi_ + x;
    const double bv = s - hi_;
    lo_ += (hi_ - (s - bv)) + (x - bv);
    hi_ = s;
    bound_ += kU * std::abs(lo_);  // the only rounded step is the update of lo
  }
  double value() const { return hi_ + lo_; }
  /// |exact sum - value()| is at most this.
  double error() const { return bound_ + kU * std::abs(value()); }

 private:
  double hi_ = 0.0;
  double lo_ = 0.0;
  double bound_ = 0.0;
};

// A centre guess and the greatest distance (x plus y error) of the centre the definition uses.
struct CentreGuess {
  McpPoint centre;
  double errorX = 0.0;  // greatest |x| distance of the definition's centre
  double errorY = 0.0;
  double error() const { return errorX + errorY; }
};

// Sums over n fixes of up to 2^31 units times a weight up to n: below 2^128 for any n that fits
// in memory.
__extension__ typedef unsigned __int128 Wide;

// For each axis, an upper bound on sum over the fixes left of |v_i| m_i, m_i the number of fixes
// left at or after fix i in set order: the sum of the partial sums of |v| that a set-order sum
// adds up. Kept exactly, in integers: each |v_i| rounded up to a power-of-two unit 2^-30 of the
// largest, Fenwick trees over the set order for the counts and the rounded values before a fix.
class PartialSumWeights {
 public:
  explicit PartialSumWeights(std::span<const McpPoint> fixes)
      : counts_(fixes.size(), 1), left_(fixes.size()) {
    for (int axis = 0; axis < 2; ++axis) {
      double largest = 0.0;
      for (const McpPoint& p : fixes) largest = std::max(largest, std::abs(axis == 0 ? p.x : p.y));
      unit_[axis] = largest > 0.0 ? std::ldexp(1.0, std::ilogb(largest) - 30) : 1.0;
      units_[axis].resize(fixes.size());
      for (std::size_t i = 0; i < fixes.size(); ++i) {
        const double v = std::abs(axis == 0 ? fixes[i].x : fixes[i].y);
        auto c = static_cast<std::int64_t>(std::ceil(v / unit_[axis]));  // at most 2^31
        if (c == 0 && v > 0.0) c = 1;
        units_[axis][i] = c;
        weights_[axis] += static_cast<Wide>(c) * (fixes.size() - i);
      }
      tree_[axis] = units_[axis];
      build(tree_[axis]);
    }
    build(counts_);
  }
  void removed(std::size_t fix) {
    const std::int64_t before = prefix(counts_, fix);
    const auto atOrAfter = static_cast<std::uint64_t>(static_cast<std::int64_t>(left_) - before);
    for (int axis = 0; axis < 2; ++axis) {
      weights_[axis] -=
          static_cast<Wide>(prefix(tree_[axis], fix)) + static_cast<Wide>(units_[axis][fix]) * atOrAfter;
      add(tree_[axis], fix, -units_[axis][fix]);
    }
    add(counts_, fix, -1);
    --left_;
  }
  /// The bound for axis 0 (x) or 1 (y), rounded up.
  double bound(int axis) const {
    return static_cast<double>(weights_[axis]) * unit_[axis] * (1.0 + 4.0 * kU);
  }

  /// An upper bound on the sum over the partial sums P_j of |v| (fixes left, set order) of
  /// 2^floor(log2(factor P_j)) 2^-53: half an ulp of each, when factor P_j bounds the magnitude
  /// of the j-th rounded partial sum. Each 2^floor(log2 U) is 2^low + sum over m in (low, log2 U]
  /// of 2^(m-1), so the sum is k 2^low plus, for each binade m above low, 2^(m-1) times the number
  /// of partial sums reaching 2^m, counted from their integer bounds by a Fenwick descent.
  double binadeBound(int axis, double factor) const {
    const std::vector<std::int64_t>& tree = tree_[axis];
    const double perUnit = factor * unit_[axis] * (1.0 + 4.0 * kU);  // rounded up
    const double largest = static_cast<double>(prefix(tree, tree.size())) * perUnit;
    if (!(largest > 0.0) || left_ == 0) return 0.0;
    const int top = std::ilogb(largest);
    const int low = top - 40;  // below this the count of all k partial sums costs 2^-40 of it
    double sum = static_cast<double>(left_) * std::ldexp(1.0, low);
    for (int m = low + 1; m <= top; ++m) {
      // P_j reaches 2^m at most when its units reach this much (lowered past its rounding).
      const double threshold = std::ldexp(1.0, m) / perUnit * (1.0 - 8.0 * kU);
      sum += std::ldexp(1.0, m - 1) * static_cast<double>(left_ - countBelow(tree, threshold));
    }
    return sum * (1.0 + 64.0 * kU) * 0x1p-53;
  }

 private:
  static void build(std::vector<std::int64_t>& tree) {
    for (std::size_t i = 1; i <= tree.size(); ++i) {
      const std::size_t parent = i + (i & (~i + 1));
      if (parent <= tree.size()) tree[parent - 1] += tree[i - 1];
    }
  }
  static void add(std::vector<std::int64_t>& tree, std::size_t at, std::int64_t delta) {
    for (std::size_t i = at + 1; i <= tree.size(); i += i & (~i + 1)) tree[i - 1] += delta;
  }
  // The number of fixes left whose partial sum of units (their own included) is below `threshold`.
  std::size_t countBelow(const std::vector<std::int64_t>& tree, double threshold) const {
    if (!(threshold < 0x1p62)) return left_;
    std::int64_t remaining = static_cast<std::int64_t>(std::ceil(threshold));  // sums below it
    std::size_t at = 0;
    std::int64_t count = 0;
    std::size_t step = 1;
    while (step * 2 <= tree.size()) step *= 2;
    for (; step > 0; step /= 2) {
      if (at + step <= tree.size() && tree[at + step - 1] < remaining) {
        at += step;
        remaining -= tree[at - 1];
        count += counts_[at - 1];
      }
    }
    return static_cast<std::size_t>(count);
  }
  // The sum over fixes [0, end).
  static std::int64_t prefix(const std::vector<std::int64_t>& tree, std::size_t end) {
    std::int64_t sum = 0;
    for (std::size_t i = end; i > 0; i -= i & (~i + 1)) sum += tree[i - 1];
    return sum;
  }
  std::vector<std::int64_t> counts_;
  std::vector<std::int64_t> units_[2];
  std::vector<std::int64_t> tree_[2];
  Wide weights_[2] = {0, 0};
  double unit_[2] = {1.0, 1.0};
  std::size_t left_;
};

// The mean of the fixes left from running sums. The definition's centre is the set-order sum of
// rounded x_i / k. Each of its k - 1 additions rounds its exact sum by at most u of it, and that
// sum is at most (1 + gamma_k)(1 + u) times a partial sum of |x_i| / k; each quotient rounds by u
// of it. So the centre lies within u ((1 + gamma_k)(1 + u) W + sum |x_i|) / k of the exact mean,
// W the sum of the partial sums of |x_i| (PartialSumWeights), gamma_m = m u / (1 - m u): about half
// the standard bound for recursive summation (Higham, Accuracy and Stability of Numerical
// Algorithms, 2nd ed., eq. 4.4), (u + gamma_{k-1} (1 + u)) sum |x_i| / k, whichever is smaller.
class MeanCentre {
 public:
  explicit MeanCentre(std::span<const McpPoint> fixes) : weights_(fixes), fixes_(fixes) {
    for (const McpPoint& p : fixes) add(p, 1.0);
    count_ = fixes.size();
  }
  void removed(std::size_t fix) {
    add(fixes_[fix], -1.0);
    weights_.removed(fix);
    --count_;
  }
  /// The guess with its bound. `sharp` also bounds each addition's rounding by half an ulp of
  /// the binade its partial sum can reach (PartialSumWeights::binadeBound): about 0.7 of the
  /// bound above, for a few hundred Fenwick steps per axis.
  CentreGuess guess(bool sharp = false) const {
    const auto k = static_cast<double>(count_);
    const double m = static_cast<double>(count_ - 1) * kU;
    const double perAbs = kU + m / (1.0 - m) * (1.0 + kU);
    const double mk = k * kU;
    const double perWeight = kU * (1.0 + mk / (1.0 - mk)) * (1.0 + kU);
    const McpPoint c{x_.value() / k, y_.value() / k};
    const auto axis = [&](const RunningSum& sum, const RunningSum& absSum, double value, int index) {
      const double absolute = absSum.value() + absSum.error();
      double fold = std::min(perAbs * absolute, perWeight * weights_.bound(index) + kU * absolute) / k;
      if (sharp) fold = std::min(fold, weights_.binadeBound(index, perWeight / kU / k) + kU * absolute / k);
      return kWiden * (fold + sum.error() / k + kU * std::abs(value));
    };
    return {c, axis(x_, absX_, c.x, 0), axis(y_, absY_, c.y, 1)};
  }

 private:
  void add(McpPoint p, double sign) {
    x_.add(sign * p.x);
    y_.add(sign * p.y);
    absX_.add(sign * std::abs(p.x));
    absY_.add(sign * std::abs(p.y));
  }
  RunningSum x_, y_, absX_, absY_;
  PartialSumWeights weights_;
  std::span<const McpPoint> fixes_;
  std::size_t count_ = 0;
};

// Order statistics of a multiset of values by counts over its distinct values (a Fenwick tree).
class OrderStatistic {
 public:
  explicit OrderStatistic(std::vector<double> all) : count_(all.size()) {
    std::sort(all.begin(), all.end());
    for (const double v : all) {
      if (values_.empty() || values_.back() != v) {
        values_.push_back(v);
        tree_.push_back(0);
      }
      ++tree_.back();
    }
    for (std::size_t i = 1; i <= tree_.size(); ++i) {  // linear Fenwick build, 1-based
      const std::size_t parent = i + (i & (~i + 1));
      if (parent <= tree_.size()) tree_[parent - 1] += tree_[i - 1];
    }
    top_ = 1;
    while (top_ * 2 <= tree_.size()) top_ *= 2;
  }
  void erase(double v) {
    const auto at = std::lower_bound(values_.begin(), values_.end(), v);
    for (auto i = static_cast<std::size_t>(at - values_.begin()) + 1; i <= tree_.size(); i += i & (~i + 1)) {
      --tree_[i - 1];
    }
    --count_;
  }
  /// As the plain median: the middle value, or a / 2 + b / 2 of the two middle ones.
  double middle() const {
    if (count_ == 0) return 0.0;
    if (count_ % 2 == 1) return nth(count_ / 2);
    return nth(count_ / 2 - 1) / 2.0 + nth(count_ / 2) / 2.0;
  }

 private:
  // The value of 0-based rank k.
  double nth(std::size_t k) const {
    std::size_t at = 0;
    for (std::size_t step = top_; step > 0; step /= 2) {
      if (at + step <= tree_.size() && tree_[at + step - 1] <= k) {
        at += step;
        k -= tree_[at - 1];
      }
    }
    return values_[at];
  }
  std::vector<double> values_;
  std::vector<std::size_t> tree_;
  std::size_t count_;
  std::size_t top_ = 1;
};

// Bounds on a distance computed from the guess: the exact distance from the definition's centre
// is within `errorAt(a)` of the guess's rounded distance a; the definition's rounded distance
// within 4u (plus kTiny) of the exact one.
struct Bounds {
  double centreError;
  double errorAt(double a) const { return kWiden * centreError + 5.0 * kU * a + kTiny; }
  double lowestRounded(double a) const { return (a - errorAt(a)) * (1.0 - 4.0 * kU) - kTiny; }
  double highestRounded(double a) const { return (a + errorAt(a)) * (1.0 + 4.0 * kU) + kTiny; }
};

// Positions that can hold the definition's farthest fix: every position whose exact distance
// from the definition's centre c can reach T, the least the farthest fix's distance can be.
// Such a position q lies in a triangle (c, v_i, v_i+1) over a hull edge (the ray from c through
// q leaves the hull through an edge), so one endpoint of that edge reaches T. Writing q as a
// convex combination of c, v_i and v_i+1, |q - c|^2 = sum l_k |p_k - c|^2 - sum l_k |p_k - q|^2,
// so q lies within rho = sqrt(D^2 - T^2) of a corner (D bounding every vertex's distance), and
// that corner is no nearer c than T - rho: while rho < T, not c itself.
void candidatesOf(const McpPeel& peel, const CentreGuess& guess, std::vector<double>& squares,
                  std::vector<std::size_t>& out) {
  out.clear();
  const Bounds bounds{guess.error()};
  const std::vector<std::size_t>& hull = peel.hull();
  squares.resize(hull.size());
  double farthest = 0.0;
  for (std::size_t i = 0; i < hull.size(); ++i) {
    const double dx = peel.position(hull[i]).x - guess.centre.x;
    const double dy = peel.position(hull[i]).y - guess.centre.y;
    squares[i] = dx * dx + dy * dy;
    farthest = std::max(farthest, squares[i]);
  }
  farthest = std::sqrt(farthest);  // as mcpDistance rounds it
  const double least = (farthest - bounds.errorAt(farthest)) * (1.0 - 9.0 * kU) - 3.0 * kTiny;
  const double most = farthest + bounds.errorAt(farthest);
  const double rho = std::sqrt(std::max(0.0, (most - least) * (most + least))) * kWiden + kTiny;
  if (!(least > 2.0 * rho)) {
    peel.near(guess.centre, HUGE_VAL, out);
  } else {
    // A vertex's exact distance can reach r only if its rounded one is at least
    // (r - errorAt(0)) / (1 + 5u); squares are compared a little below that, to stay on the safe
    // side of their own rounding.
    const auto floorOf = [&](double r) {
      const double a = std::max(0.0, (r - bounds.errorAt(0.0)) / (1.0 + 5.0 * kU));
      return a * a * (1.0 - kSquareSlack);
    };
    const double reachesLeast = floorOf(least);
    const double reachesNear = floorOf(least - rho);
    const std::size_t h = hull.size();
    for (std::size_t i = 0; i < h; ++i) {
      const std::size_t j = (i + 1) % h;
      if (std::max(squares[i], squares[j]) < reachesLeast) continue;
      for (const std::size_t k : {i, j}) {
        if (squares[k] >= reachesNear) peel.near(peel.position(hull[k]), rho, out);
      }
    }
  }
  std::sort(out.begin(), out.end());
  out.erase(std::unique(out.begin(), out.end()), out.end());
  std::erase_if(out, [&](std::size_t p) {
    const double a = mcpDistance(peel.position(p), guess.centre);
    return a + bounds.errorAt(a) < least;
  });
}

// The definition's pick among the candidates, with its exact centre.
std::size_t farthestFrom(const McpPeel& peel, std::span<const std::size_t> candidates, McpPoint centre) {
  std::size_t best = McpPeel::kNone;
  double bestDistance = -1.0;
  for (const std::size_t p : candidates) {
    const double d = mcpDistance(peel.position(p), centre);
    if (d > bestDistance || (d == bestDistance && peel.firstFix(p) < peel.firstFix(best))) {
      bestDistance = d;
      best = p;
    }
  }
  return best;
}

// The candidate the guess proves farthest, or kNone when the bounds leave two positions open.
std::size_t provenFarthest(const McpPeel& peel, std::span<const std::size_t> candidates,
                           const CentreGuess& guess) {
  const Bounds bounds{guess.error()};
  std::size_t best = McpPeel::kNone;
  double bestDistance = -1.0;
  for (const std::size_t p : candidates) {
    const double a = mcpDistance(peel.position(p), guess.centre);
    if (a > bestDistance) {
      bestDistance = a;
      best = p;
    }
  }
  const McpPoint b = peel.position(best);
  const double bestReach = bestDistance + bounds.errorAt(bestDistance);
  for (const std::size_t p : candidates) {
    if (p == best) continue;
    // |b - c|^2 - |q - c|^2 is linear in the centre c: (b - q) . (b + q - 2c). Its least value
    // over the centres the guess allows, divided by the most |b - c| + |q - c| can be, bounds
    // the distances' difference from below; it must exceed their rounding, 4u each.
    const McpPoint q = peel.position(p);
    const double ux = b.x - guess.centre.x, vx = q.x - guess.centre.x;
    const double uy = b.y - guess.centre.y, vy = q.y - guess.centre.y;
    const double atGuess = (ux - vx) * (ux + vx) + (uy - vy) * (uy + vy);
    const double rounding = 8.0 * kU *
                            ((std::abs(ux) + std::abs(vx)) * (std::abs(ux) + std::abs(vx)) +
                             (std::abs(uy) + std::abs(vy)) * (std::abs(uy) + std::abs(vy)));
    const double shift = 2.0 * kWiden *
                         (std::abs(b.x - q.x) * guess.errorX + std::abs(b.y - q.y) * guess.errorY) *
                         (1.0 + 4.0 * kU);
    const double least = atGuess - rounding - shift;
    const double a = mcpDistance(q, guess.centre);
    const double sum = bestReach + a + bounds.errorAt(a);
    if (!(least > sum * (4.0 * kU * sum + 2.0 * kTiny) * kWiden)) return McpPeel::kNone;
  }
  return best;
}

// The coordinates of the fixes left, in set order, for mcpMeanCentre over them. A removed fix's
// slot holds +0 until the slots are packed: adding +0 leaves a set-order sum as it is, as
// skipping the fix would (such a sum starts at +0 and so is never -0).
class LeftCoordinates {
 public:
  explicit LeftCoordinates(std::span<const McpPoint> fixes)
      : fixes_(fixes), slot_(fixes.size(), 0), left_(fixes.size()) {
    pack();
  }
  void removed(std::size_t fix) {
    xs_[slot_[fix]] = 0.0;
    ys_[slot_[fix]] = 0.0;
    slot_[fix] = kGone;
    --left_;
  }
  /// One coordinate (0: x, 1: y) of mcpMeanCentre of the fixes left, bit for bit.
  double mean(int axis) {
    if (xs_.size() - left_ > left_ / 4) pack();  // keep the sums' length near the fixes left
    return numeric::ordered_quotient_sum(axis == 0 ? xs_ : ys_, static_cast<double>(left_));
  }

 private:
  static constexpr std::size_t kGone = ~std::size_t{0};
  void pack() {
    xs_.clear();
    ys_.clear();
    for (std::size_t i = 0; i < fixes_.size(); ++i) {
      if (slot_[i] == kGone) continue;
      slot_[i] = xs_.size();
      xs_.push_back(fixes_[i].x);
      ys_.push_back(fixes_[i].y);
    }
  }
  std::span<const McpPoint> fixes_;
  std::vector<std::size_t> slot_;
  std::vector<double> xs_, ys_;
  std::size_t left_;
};

std::vector<double> coordinates(std::span<const McpPoint> fixes, bool x) {
  std::vector<double> values(fixes.size());
  for (std::size_t i = 0; i < fixes.size(); ++i) values[i] = x ? fixes[i].x : fixes[i].y;
  return values;
}

// The definition's pick by the mean: from the guess when its bound settles it, else from the
// exact centre. The axis with the wider error is summed first, since that alone often settles it.
std::size_t meanPick(const McpPeel& peel, std::span<const std::size_t> candidates, const MeanCentre& mean,
                     const CentreGuess& guess, LeftCoordinates& left, McpFloatingStats* stats) {
  std::size_t pick = provenFarthest(peel, candidates, guess);
  if (pick != McpPeel::kNone) return pick;
  CentreGuess sharper = mean.guess(true);
  pick = provenFarthest(peel, candidates, sharper);
  if (pick != McpPeel::kNone) return pick;
  if (stats) ++stats->exactCentres;
  const int first = sharper.errorY > sharper.errorX ? 1 : 0;
  for (const int axis : {first, 1 - first}) {
    (axis == 0 ? sharper.centre.x : sharper.centre.y) = left.mean(axis);
    (axis == 0 ? sharper.errorX : sharper.errorY) = 0.0;
    if (stats) ++stats->exactAxes;
    if (axis == first) pick = provenFarthest(peel, candidates, sharper);
    if (pick != McpPeel::kNone) return pick;
  }
  return farthestFrom(peel, candidates, sharper.centre);
}

}  // namespace

std::vector<std::size_t> mcpFloatingRemovals(std::span<const McpPoint> fixes, std::size_t target,
                                             McpFloatingCentre centre, McpFloatingStats* stats) {
  std::vector<std::size_t> removed;
  if (target >= fixes.size()) return removed;
  McpPeel peel(fixes);
  const bool byMean = centre == McpFloatingCentre::mean;
  MeanCentre mean(byMean ? fixes : std::span<const McpPoint>{});
  LeftCoordinates left(byMean ? fixes : std::span<const McpPoint>{});
  OrderStatistic xs(byMean ? std::vector<double>{} : coordinates(fixes, true));
  OrderStatistic ys(byMean ? std::vector<double>{} : coordinates(fixes, false));
  std::vector<std::size_t> candidates;
  std::vector<double> squares;
  removed.reserve(fixes.size() - target);
  while (peel.fixesLeft() > target) {
    const CentreGuess guess = byMean ? mean.guess() : CentreGuess{{xs.middle(), ys.middle()}, 0.0, 0.0};
    candidatesOf(peel, guess, squares, candidates);
    const std::size_t pick = byMean ? meanPick(peel, candidates, mean, guess, left, stats)
                                    : farthestFrom(peel, candidates, guess.centre);
    const std::size_t fix = peel.firstFix(pick);
    removed.push_back(fix);
    if (byMean) {
      mean.removed(fix);
      left.removed(fix);
    } else {
      xs.erase(fixes[fix].x);
      ys.erase(fixes[fix].y);
    }
    peel.removeFirst(pick);
  }
  return removed;
}

std::vector<McpPoint> mcpFloatingKeep(std::span<const McpPoint> fixes, std::size_t target,
                                      McpFloatingCentre centre) {
  std::vector<char> gone(fixes.size(), 0);
  for (const std::size_t i : mcpFloatingRemovals(fixes, target, centre)) gone[i] = 1;
  std::vector<McpPoint> kept;
  kept.reserve(std::min(target, fixes.size()));
  for (std::size_t i = 0; i < fixes.size(); ++i) {
    if (!gone[i]) kept.push_back(fixes[i]);
  }
  return kept;
}

}  // namespace orvex::core
