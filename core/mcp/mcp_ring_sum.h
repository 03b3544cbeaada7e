#pragma once

// The shoelace sum of an MCP ring as mcpRingArea takes it, one vertex at a time, with a bound on
// its rounding; and from it, an interval certain to hold the computed area a ring loses when
// one vertex is replaced by a chain of others, without summing the ring that results.

#include <cmath>
#include <cstddef>
#include <limits>
#include <optional>
#include <span>

#include "core/mcp/mcp_polygon.h"

namespace orvex::core::mcp_detail {

/// The running sum mcpRingArea forms over a closed ring [v0, v1, ..., vm, v0]: origin v0, the
/// terms cross(v_k - v0, v_(k-1) - v0) for k = m down to 1, added one after another from 0.
/// Feed vm as `last`, then v_(m-1), ..., v0 through add(). Every area of the "Area Added"
/// reduction is summed through this one expression, so one ring always gives the same bits.
struct ShoelaceSum {
  McpPoint origin;
  McpPoint last;
  double twice = 0.0;      ///< the running sum (minus twice the anticlockwise signed area)
  double magnitude = 0.0;  ///< the sum of |a.x b.y| + |b.x a.y| over the terms, as computed
  std::size_t terms = 0;

  void add(McpPoint next) {
    const double ax = last.x - origin.x;
    const double ay = last.y - origin.y;
    const double bx = next.x - origin.x;
    const double by = next.y - origin.y;
    const double l = ax * by;
    const double r = bx * ay;
    twice += l - r;
    magnitude += std::abs(l) + std::abs(r);
    ++terms;
    last = next;
  }

  /// The area mcpRingArea reports for the ring (three vertices or more).
  double area() const { return std::abs(-twice / 2.0); }
};

/// A bound on |computed sum - exact sum| for a ShoelaceSum of `terms` terms whose `magnitude`
/// is given; the exact sum takes the exact differences and products. Each difference, product
/// and the subtraction round once (u = 2^-53 each), so a term errs by at most
/// gamma_4 / (1 - gamma_3) (|a.x b.y| + |b.x a.y|) of the computed products, under 4.01 u of its
/// share of `magnitude`; adding m terms one after another errs by at most gamma_(m-1) times the
/// sum of |terms|, each under (1 + u) its share. The magnitude as summed is short of the true
/// one by at most gamma_m relative. With (m + 4) u below 1e-3, 1.1 (m + 4) u covers all three;
/// the absolute term covers what gradual underflow loses (under 2^-1074 per operation).
/// Infinite when the magnitude overflowed.
inline double shoelaceError(double magnitude, std::size_t terms) {
  const double m = static_cast<double>(terms) + 4.0;
  return 1.1 * m * 0x1p-53 * magnitude + m * std::numeric_limits<double>::min();
}

/// What the ring W loses when its vertex j is replaced by the chain c1..cq between j's
/// neighbours p and n (the ring W' of the same start).
struct ChainSwap {
  double twicePocket;      ///< the ShoelaceSum of [p, j, n, cq, ..., c1], origin p
  double pocketError;      ///< shoelaceError of that sum
  double addedMagnitude;   ///< the magnitude of the terms W' has and W lacks, origin W's start
  std::size_t addedTerms;  ///< how many such terms (q + 1 at most)
};

/// The sums of the swap of W's vertex j for `chain` (c1..cq, from p's side), W's start at
/// `origin`; `nIsStart` when n is that start (the spliced ring then ends at cq, or at p).
inline ChainSwap chainSwap(McpPoint origin, McpPoint p, McpPoint j, McpPoint n, bool nIsStart,
                           std::span<const McpPoint> chain) {
  // [p, j, n, cq, ..., c1] fed from its last back.
  ShoelaceSum pocket{p, chain.empty() ? n : chain.front()};
  for (std::size_t k = 1; k < chain.size(); ++k) pocket.add(chain[k]);
  if (!chain.empty()) pocket.add(n);
  pocket.add(j);
  pocket.add(p);
  // The terms of the spliced ring from n (or cq when n is the start) back to p.
  ShoelaceSum added{origin, nIsStart ? (chain.empty() ? p : chain.back()) : n};
  for (std::size_t k = chain.size(); k-- > 0;) {
    if (!(nIsStart && k + 1 == chain.size())) added.add(chain[k]);
  }
  if (!(nIsStart && chain.empty())) added.add(p);
  return {pocket.twice, shoelaceError(pocket.magnitude, pocket.terms), added.magnitude, chain.size() + 1};
}

/// An interval [lo, hi] certain to hold fl(A - A'), where A is the area `ring` gives and A' the
/// area the ShoelaceSum of W' would give; nullopt when the bound cannot tell (a ring too thin
/// for its rounding, or a pocket that could be most of the ring).
///
/// Why. Let S, S' be the exact sums of W and W' and Q that of the pocket. The sums over a
/// closed polygon do not depend on the origin, and W's edges minus W''s are the pocket's
/// (p -> j -> n, then the chain back from n to p), so S - S' = Q exactly. With E, E', EQ the
/// bounds of shoelaceError (W' has at most the magnitude of W plus the added terms', and at
/// most m + q + 1 terms): |S| > E fixes the sign s of S, and s Q + EQ + E <= |s S| keeps S'
/// on the same side of 0, so A - A' in exact terms is s Q / 2, and the computed A and A'
/// (|sum| / 2) are within E / 2 and E' / 2 of theirs. So A - A' lies within
/// r = (EQ + E + E') / 2 of c = s Q_computed / 2. Rounding to nearest is monotone, so
/// fl(A - A') lies in [fl(c - r), fl(c + r)]; the reach 1.001 r + 1e-15 |c| + DBL_MIN covers
/// that rounding (u |c +- r|) and the rounding of r and of c +- reach themselves.
struct Interval {
  double lo;
  double hi;
};
inline std::optional<Interval> areaLostInterval(const ShoelaceSum& ring, double ringError,
                                                const ChainSwap& swap) {
  const double s = std::abs(ring.twice);
  if (!(s > ringError)) return std::nullopt;
  const double q = ring.twice > 0.0 ? swap.twicePocket : -swap.twicePocket;
  const double swappedError =
      shoelaceError(ring.magnitude + swap.addedMagnitude, ring.terms + swap.addedTerms);
  if (!(q + swap.pocketError + ringError <= (1.0 - 1e-6) * s)) return std::nullopt;
  const double c = q / 2.0;
  const double r = (swap.pocketError + ringError + swappedError) / 2.0;
  const double reach = 1.001 * r + 1e-15 * std::abs(c) + std::numeric_limits<double>::min();
  if (!std::isfinite(reach)) return std::nullopt;
  return Interval{c - reach, c + reach};
}

/// A ceiling on areaLostInterval's upper end for every swap of one ring whose pocketError,
/// addedMagnitude and addedTerms are at most `most`'s, from its twicePocket alone: a cheap test
/// that leaves most swaps of a long ring out before their intervals are formed.
///
/// Why it holds. Each operation areaLostInterval forms (addition, multiplication, the
/// conversion of a count, halving) is monotone in its operands under rounding to nearest, and
/// so is |.|; the error terms and the reach are sums and products of non-negative values that
/// grow with pocketError, addedMagnitude and addedTerms. Formed in the same order with the
/// greatest of each, every intermediate is at least the swap's own, so the swap's rounded reach
/// is at most `reach` and its rounded upper end fl(c + reach) at most fl(c + ceiling reach).
/// The conditions under which areaLostInterval gives nullopt are checked the same way: the
/// ring's own (s > ringError), and q + pocketError + ringError at most (1 - 1e-6) s, which holds
/// for the swap when it holds for the greatest pocketError; a finite ceiling reach makes the
/// swap's finite. So where hiAtMost answers, the swap has an interval and its hi is at most
/// the answer.
class AreaLostCeiling {
 public:
  AreaLostCeiling(const ShoelaceSum& ring, double ringError, const ChainSwap& most)
      : twice_(ring.twice), ringError_(ringError), pocketError_(most.pocketError) {
    const double s = std::abs(ring.twice);
    ringHolds_ = s > ringError;
    limit_ = (1.0 - 1e-6) * s;
    const double swappedError =
        shoelaceError(ring.magnitude + most.addedMagnitude, ring.terms + most.addedTerms);
    r_ = (most.pocketError + ringError + swappedError) / 2.0;
  }

  /// An upper end at least the swap's; nullopt when the test cannot say.
  std::optional<double> hiAtMost(double twicePocket) const {
    const double q = twice_ > 0.0 ? twicePocket : -twicePocket;
    if (!ringHolds_ || !(q + pocketError_ + ringError_ <= limit_)) return std::nullopt;
    const double c = q / 2.0;
    const double reach = 1.001 * r_ + 1e-15 * std::abs(c) + std::numeric_limits<double>::min();
    if (!std::isfinite(reach)) return std::nullopt;
    return c + reach;
  }

 private:
  double twice_, ringError_, pocketError_;
  bool ringHolds_ = false;
  double limit_ = 0.0, r_ = 0.0;
};

}  // namespace orvex::core::mcp_detail
