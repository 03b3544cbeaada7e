#include "core/mcp/mcp_area_added.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <iterator>
#include <numeric>
#include <optional>
#include <unordered_map>
#include <utility>

#include "core/mcp/mcp_fix_tree.h"
#include "core/mcp/mcp_hull_walk.h"
#include "core/mcp/mcp_ring_sum.h"

namespace orvex::core {

namespace {

using mcp_detail::HullStep;
using mcp_detail::HullWalk;

// Margins of the candidate check. A fix left out of a wrap must lie left of each step's
// reference ray and of the step taken by at least this sine; the turn angles the wrap compares
// are accurate to far better than 1e-12 degrees, so such a fix can never win or tie a step.
constexpr double kAngleMargin = 1e-9;
// A step turning this much or more could put the wrap-around of the turn scale between the
// chosen fix and a left-out one; the check does not try to reason about such steps.
constexpr double kLargestCheckedTurnDegrees = 179.0;
// Fixes closer than this share of the set's extent to the chord that replaces a removed vertex
// are wrapped directly instead of being checked.
constexpr double kNearEdgeShare = 1e-7;
// A pocket's fixes are looked for within this share of the set's extent around its corner.
constexpr double kPocketBoxShare = 1e-6;
// Outside these magnitudes the check's products could overflow or lose digits to underflow.
constexpr double kLargestExtent = 1e75;
constexpr double kSmallestSquaredLength = 1e-200;
constexpr double kSmallestSlope = 1e-200;
// Candidate sets grow by the fixes that fail the check; after this many rounds wrap them all.
constexpr int kMaxRefinements = 3;

// The bound on the distance between two fixes is the set's extent times this: the checks below
// compare rounded distances with it.
constexpr double kDiameterSlack = 1e-6;
// What rounding may take off a cross product of a direction d and an offset within the set, as a
// share of |d| times the diameter bound.
constexpr double kCrossSlack = 1e-12;
constexpr std::size_t kNone = static_cast<std::size_t>(-1);
// Above every turn, so that the first candidate of a step always wins it.
constexpr double kNoTurnYet = 361.0;
// Past this many ring places between the old start and the new, every pocket is found anew.
constexpr std::size_t kMaxStartShift = 16;
// Rings smaller than this sum every candidate in full: bounds would save little.
constexpr std::size_t kBoundedFrom = 8;
// The band cache drops the steps of fixes removed once it has grown this much since it last did.
constexpr std::size_t kBandSweepGrowth = 2;
constexpr std::size_t kBandSweepFloor = 4096;

using mcp_detail::Box;
using mcp_detail::cross;
using mcp_detail::FixTree;
using mcp_detail::grown;
using mcp_detail::kEmptyBox;
using mcp_detail::leastCross;

// A ring of fix indices, anticlockwise from the wrap's start, and the area ringOf gives it.
struct Hull {
  std::vector<std::size_t> ring;
  double area = 0.0;
};

// A step's directions as the wrap evaluated them; a zero-length direction is due east.
struct StepFrame {
  McpPoint current;
  double rx, ry, rn;  // reference direction and its length
  double vx, vy, vn;  // direction to the chosen fix and its length
};

// How a ring vertex j leaves the ring: the chain of fixes that replaces it between its
// neighbours p and n. The chain stays the wrap's as long as the ring around j (pp, p, n, nn) and
// the start are as they were: fixes are only ever taken away, and none of the steps from p to nn
// depends on anything else.
struct Pocket {
  std::size_t pp, p, n, nn, start;
  std::vector<std::size_t> chain;
  mcp_detail::ChainSwap swap;     // what splicing the chain in takes off the ring's sum (origin: start)
  std::vector<StepFrame> frames;  // the replayed steps, when localChain found the chain
};

// A chain localChain found and the steps that took it.
struct LocalWalk {
  std::vector<std::size_t> chain;
  std::vector<StepFrame> frames;
};

// A removal's candidate: an interval certain to hold its d, or its d itself (exact), with the
// area of W without it once summed.
struct Score {
  std::size_t j;
  std::size_t slot;  // kNone off the ring
  double lo, hi;
  double area;
  const Pocket* pocket;
  bool exact;
};

struct StepKey {
  std::size_t from, current, chosen;
  bool operator==(const StepKey&) const = default;
};
struct StepKeyHash {
  std::size_t operator()(const StepKey& k) const {
    return std::hash<std::size_t>()(k.from * 0x9E3779B97F4A7C15ULL ^ k.current * 0xC2B2AE3D27D4EB4FULL ^
                                    k.chosen);
  }
};

class AreaAddedReduction {
 public:
  AreaAddedReduction(std::span<const McpPoint> fixes, std::size_t target, bool fast)
      : fixes_(fixes),
        tree_(fixes),
        target_(target),
        left_(fixes.size()),
        fast_(fast),
        slotOf_(fixes.size(), kNone) {
    if (!fixes.empty()) {
      auto [xmin, xmax] = std::minmax_element(fixes.begin(), fixes.end(),
                                              [](const McpPoint& a, const McpPoint& b) { return a.x < b.x; });
      auto [ymin, ymax] = std::minmax_element(fixes.begin(), fixes.end(),
                                              [](const McpPoint& a, const McpPoint& b) { return a.y < b.y; });
      extent_ = std::hypot(xmax->x - xmin->x, ymax->y - ymin->y);
    }
    checkable_ = extent_ > 0.0 && extent_ <= kLargestExtent;
    diameter_ = extent_ * (1.0 + kDiameterSlack);
    setRing(wrapAllBut(kNone));
  }

  std::vector<McpPoint> run() {
    while (left_ > target_) removeOne();
    std::vector<McpPoint> kept;
    kept.reserve(left_);
    for (std::size_t i = 0; i < fixes_.size(); ++i) {
      if (tree_.alive(i)) kept.push_back(fixes_[i]);
    }
    return kept;
  }

 private:
  // Takes the new ring, carrying each vertex's pocket (its key says whether it still holds), and
  // its sum: the intervals bound the areas against that sum, so it must give area_ to the bit.
  void setRing(Hull hull) {
    std::vector<Pocket*> carried(hull.ring.size(), nullptr);
    for (std::size_t k = 0; k < hull.ring.size(); ++k) {
      const std::size_t old = slotOf_[hull.ring[k]];
      if (old != kNone) carried[k] = pocketAt_[old];
    }
    for (const std::size_t i : ring_) slotOf_[i] = kNone;
    ring_ = std::move(hull.ring);
    area_ = hull.area;
    for (std::size_t k = 0; k < ring_.size(); ++k) slotOf_[ring_[k]] = k;
    pocketAt_ = std::move(carried);
    sortedRing_.clear();
    bounded_ = false;
    if (fast_ && checkable_ && ring_.size() >= kBoundedFrom) {
      ringSum_ = ringSum(ring_);
      ringError_ = mcp_detail::shoelaceError(ringSum_.magnitude, ringSum_.terms);
      bounded_ = ringSum_.area() == area_ && std::isfinite(ringError_);
    }
  }

  const std::vector<std::size_t>& sortedRing() {
    if (sortedRing_.empty()) {
      sortedRing_ = ring_;
      std::sort(sortedRing_.begin(), sortedRing_.end());
    }
    return sortedRing_;
  }

  // The lowest index of a fix left that is not on the ring; fixes_.size() when there is none.
  std::size_t firstOffRing() {
    while (firstAlive_ < fixes_.size() && !tree_.alive(firstAlive_)) ++firstAlive_;
    std::size_t i = firstAlive_;
    while (i < fixes_.size() && (!tree_.alive(i) || slotOf_[i] != kNone)) ++i;
    return i;
  }

  // The definition, in set order: d_j = A - area(W without j), best starting at -1.0 and replaced
  // only by a strictly greater d, so equal d go to the lowest index. A fix off the ring leaves
  // the wrap as it is (no step ever chose it), so its d is exactly A - A = 0; only the lowest
  // such fix can win. Either way the fix removed is the first in set order of the greatest d
  // (when every d is -1 or less, the greatest is dropped all the same so the reduction ends).
  //
  // Most d are not summed. A ring vertex whose wrap without it is the ring with its pocket's
  // chain spliced in gets an interval certain to hold its computed d (areaLostInterval), from
  // sums over the pocket alone. Let L be the greatest lower end of all intervals (a d computed
  // in full is its own interval). Every vertex whose interval reaches L is summed in full as
  // before and the rule above runs over those in set order. A vertex k left out has
  // d_k <= hi_k < L <= d_l for the vertex l of that lower end, so d_k is below the greatest d
  // and can neither win nor tie it: the first fix of the greatest d is among those summed.
  void removeOne() {
    const std::size_t offRing = firstOffRing();
    scores_.clear();
    fullHulls_.clear();
    for (std::size_t slot = 0; slot < ring_.size(); ++slot) {
      const std::size_t j = ring_[slot];
      if (slot > 0) {
        Hull full;
        if (const Pocket* pocket = pocketOf(slot, full)) {
          if (bounded_) {
            if (const auto in = mcp_detail::areaLostInterval(ringSum_, ringError_, pocket->swap)) {
              scores_.push_back({j, slot, in->lo, in->hi, 0.0, pocket, false});
              continue;
            }
          }
          const double area = splicedArea(slot, pocket->chain);
          scores_.push_back({j, slot, area_ - area, area_ - area, area, pocket, true});
          continue;
        }
        scores_.push_back({j, slot, area_ - full.area, area_ - full.area, full.area, nullptr, true});
        fullHulls_.emplace_back(j, std::move(full));
        continue;
      }
      Hull full = startWithout();
      scores_.push_back({j, slot, area_ - full.area, area_ - full.area, full.area, nullptr, true});
      fullHulls_.emplace_back(j, std::move(full));
    }
    if (offRing < fixes_.size()) scores_.push_back({offRing, kNone, 0.0, 0.0, area_, nullptr, true});

    double leader = -HUGE_VAL;
    for (const Score& score : scores_) leader = std::max(leader, score.lo);
    std::erase_if(scores_, [&](const Score& score) { return !(score.hi >= leader); });
    std::sort(scores_.begin(), scores_.end(), [](const Score& a, const Score& b) { return a.j < b.j; });

    const Score* best = nullptr;
    double bestD = -1.0;
    const Score* greatest = nullptr;
    for (Score& score : scores_) {
      if (!score.exact) {
        score.area = splicedArea(score.slot, score.pocket->chain);
        score.lo = score.hi = area_ - score.area;
        score.exact = true;
      }
      const double d = score.lo;
      if (d > bestD) {
        bestD = d;
        best = &score;
      }
      if (greatest == nullptr || d > greatest->lo) greatest = &score;
    }
    if (best == nullptr) best = greatest;
    const std::size_t bestJ = best->j;
    Hull bestHull;
    if (best->slot != kNone) {
      if (best->pocket != nullptr) {
        bestHull = {spliced(best->slot, best->pocket->chain), best->area};
      } else {
        for (auto& [j, hull] : fullHulls_) {
          if (j == bestJ) bestHull = std::move(hull);
        }
      }
    }
    remove(bestJ, std::move(bestHull));
  }

  void remove(std::size_t bestJ, Hull bestHull) {
    tree_.remove(bestJ);
    --left_;
    pockets_.erase(bestJ);
    foundPockets_.erase(bestJ);
    if (slotOf_[bestJ] != kNone) {
      if (bestJ == ring_.front()) {
        carryPocketsPastStart(bestHull.ring.empty() ? kNone : bestHull.ring.front());
        startWalk_.reset();
      } else {
        carryStartWalk(bestJ, bestHull);
      }
      setRing(std::move(bestHull));
    } else {
      startWalk_.reset();
      const auto holds = [&](const Pocket& pocket) {
        return std::find(pocket.chain.begin(), pocket.chain.end(), bestJ) != pocket.chain.end();
      };
      for (Pocket*& pocket : pocketAt_) {
        if (pocket != nullptr && holds(*pocket)) pocket = nullptr;
      }
      std::erase_if(pockets_, [&](const auto& entry) { return holds(entry.second); });
    }
    sweepBands();
  }

  // Keeps, across the removal of the start s, the pockets whose replayed steps still hold when
  // the wrap begins at the new start s2. A pocket's steps from p on excluded the ring vertices
  // the wrap had passed from s to p. From s2 = W's vertex a, a vertex beyond a has passed fewer:
  // W's vertices 1..a are open to its steps again, and it is kept only if each of them lies
  // clearly left of every step (so loses it, as localChain checks). A vertex before a has
  // passed more (from s2 round the new chain), which only takes away fixes that lost its steps;
  // from s2 on the new chain, every vertex has passed more. Pockets touching s or s2 (p, n or
  // the ones beyond, as s2 changes how the wrap treats the start) go, and so do those not found
  // by localChain (no steps kept). The sums of the kept ones are redone for the new origin.
  void carryPocketsPastStart(std::size_t s2) {
    const std::size_t s = ring_.front();
    const std::size_t a = s2 == kNone ? kNone : slotOf_[s2];
    if (a != kNone && a > kMaxStartShift) {
      pockets_.clear();
      std::fill(pocketAt_.begin(), pocketAt_.end(), nullptr);
      return;
    }
    std::erase_if(pockets_, [&](auto& entry) {
      const std::size_t j = entry.first;
      const Pocket& pocket = entry.second;
      const std::size_t slot = slotOf_[j];
      bool drop = pocket.frames.empty() || slot == kNone;
      for (const std::size_t i : {pocket.pp, pocket.p, pocket.n, pocket.nn}) drop = drop || i == s || i == s2;
      if (!drop && a != kNone && slot > a) {
        for (std::size_t t = 1; t <= a && !drop; ++t) drop = !losesEveryStep(fixes_[ring_[t]], pocket.frames);
      }
      if (drop && slot != kNone && pocketAt_[slot] == &pocket) pocketAt_[slot] = nullptr;
      return drop;
    });
  }

  // The wrap of W without its start, kept across the removal of the ring vertex b: the wrap of
  // W without the start and b is the kept one with b replaced by b's chain, when b is three or
  // more places from the start, the kept walk passes the two ring vertices either side of b as W
  // does, and the wrap without b is W's ring with b replaced by that chain. Its steps
  // away from b are the kept walk's, and those from b's neighbour p to the one after n are the ones the wrap
  // without b took, with the same fixes chosen before them, except the kept walk's own start when that is W's
  // next vertex: that one fix is replayed against those steps.
  void carryStartWalk(std::size_t b, const Hull& withoutB) {
    if (!startWalk_) return;
    const std::size_t slot = slotOf_[b];
    const std::size_t h = ring_.size();
    if (h < 8 || slot < 3 || slot + 3 > h) {
      startWalk_.reset();
      return;
    }
    const auto at = std::find(withoutB.ring.begin(), withoutB.ring.end(), ringAt(slot, -1));
    const auto to = std::find(at, withoutB.ring.end(), ringAt(slot, 1));
    auto in = std::find(startWalk_->begin(), startWalk_->end(), b);
    if (at == withoutB.ring.end() || to == withoutB.ring.end() || in == startWalk_->end()) {
      startWalk_.reset();
      return;
    }
    const std::vector<std::size_t> chain(at + 1, to);
    // The splice holds only while the wrap without b comes back onto W's ring at n and goes on
    // to the vertex after it: a fix collinear with n and that vertex (a tie the new reference
    // into n may round the other way) can take the step from n instead.
    if (spliced(slot, chain) != withoutB.ring) {
      startWalk_.reset();
      return;
    }
    // The kept walk must take the same steps round b as W's: it may come into b's neighbourhood
    // along another edge (a collinear tie settled the other way from another reference), and
    // then its steps from p are not the ones the wrap without b took.
    const auto place = static_cast<std::size_t>(in - startWalk_->begin());
    if (place < 2 || place + 2 >= startWalk_->size()) {
      startWalk_.reset();
      return;
    }
    for (std::size_t k = 0; k < 5; ++k) {
      if ((*startWalk_)[place - 2 + k] != ringAt(slot, static_cast<std::ptrdiff_t>(k) - 2)) {
        startWalk_.reset();
        return;
      }
    }
    const std::size_t keptStart = startWalk_->front();
    if (slotOf_[keptStart] != kNone && slotOf_[keptStart] < slot &&
        !losesChainSteps(keptStart, slot, chain)) {
      startWalk_.reset();
      return;
    }
    in = startWalk_->erase(in);
    startWalk_->insert(in, chain.begin(), chain.end());
  }

  // True when the wrap's start s takes none of the steps from the ring vertex before `slot`
  // through the chain to the step after the vertex after it: at each, the fix chosen turns less
  // than s, or as much and comes first in set order, or s is on the current position (where the
  // wrap passes its start over).
  bool losesChainSteps(std::size_t s, std::size_t slot, const std::vector<std::size_t>& chain) const {
    std::vector<std::size_t> path(chain);
    path.push_back(ringAt(slot, 1));
    path.push_back(ringAt(slot, 2));
    std::size_t from = ringAt(slot, -2);
    std::size_t current = ringAt(slot, -1);
    for (const std::size_t chosen : path) {
      const McpPoint at = fixes_[current];
      if (!(fixes_[s] == at)) {
        const auto [refDx, refDy] = referenceDirection(from, current);
        const double angle = mcp_detail::directionAngle(refDx, refDy);
        const double chosenTurn = mcp_detail::turnDegreesFrom(angle, at, fixes_[chosen]);
        const double startTurn = mcp_detail::turnDegreesFrom(angle, at, fixes_[s]);
        if (startTurn < chosenTurn || (startTurn == chosenTurn && s < chosen)) return false;
      }
      from = current;
      current = chosen;
    }
    return true;
  }

  // The ring vertex `offset` places from `slot`, round the ring (a division only for tiny rings).
  std::size_t ringAt(std::size_t slot, std::ptrdiff_t offset) const {
    const auto h = static_cast<std::ptrdiff_t>(ring_.size());
    std::ptrdiff_t k = static_cast<std::ptrdiff_t>(slot) + offset;
    if (k < 0) k += h;
    if (k >= h) k -= h;
    if (k < 0 || k >= h) k = (k % h + h) % h;
    return ring_[static_cast<std::size_t>(k)];
  }

  // The sum mcpRingArea takes over the closed clockwise ring ringOf makes of `ring` (the start,
  // the others from the last back, the start again), in the same order, without building it.
  mcp_detail::ShoelaceSum ringSum(const std::vector<std::size_t>& ring) const {
    mcp_detail::ShoelaceSum sum{fixes_[ring.front()], fixes_[ring.back()]};
    for (std::size_t k = ring.size() - 1; k >= 1; --k) sum.add(fixes_[ring[k - 1]]);
    return sum;
  }

  double ringArea(const std::vector<std::size_t>& ring) const {
    return ring.size() < 3 ? 0.0 : ringSum(ring).area();
  }

  // ringArea(spliced(slot, chain)), summed without building the ring.
  double splicedArea(std::size_t slot, const std::vector<std::size_t>& chain) const {
    if (ring_.size() - 1 + chain.size() < 3) return 0.0;
    mcp_detail::ShoelaceSum sum{fixes_[ring_.front()], {}};
    bool first = true;
    const auto feed = [&](std::size_t i) {
      if (first) {
        sum.last = fixes_[i];
        first = false;
      } else {
        sum.add(fixes_[i]);
      }
    };
    for (std::size_t k = ring_.size() - 1; k > slot; --k) feed(ring_[k]);
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) feed(*it);
    for (std::size_t k = slot; k-- > 0;) feed(ring_[k]);
    return sum.area();
  }

  std::vector<std::size_t> spliced(std::size_t slot, const std::vector<std::size_t>& chain) const {
    std::vector<std::size_t> ring;
    ring.reserve(ring_.size() + chain.size());
    ring.insert(ring.end(), ring_.begin(), ring_.begin() + static_cast<std::ptrdiff_t>(slot));
    ring.insert(ring.end(), chain.begin(), chain.end());
    ring.insert(ring.end(), ring_.begin() + static_cast<std::ptrdiff_t>(slot) + 1, ring_.end());
    return ring;
  }

  // The wrap of W without its start, kept across removals while it holds.
  Hull startWithout() {
    if (!startWalk_ && fast_) startWalk_ = guessedStartWalk();
    if (!startWalk_) startWalk_ = hullWithout(ring_.front()).ring;
    return {*startWalk_, ringArea(*startWalk_)};
  }

  // The wrap of W without its start s, guessed and then checked step by step: the ring with s
  // replaced by the chain the walk would take from s's neighbour p over the fixes of s's pocket
  // back to its other neighbour, begun at the new start (the first fix in set order of the
  // lowest y left). nullopt when the guess fails a check.
  //
  // The check. A step of the guess that W's walk took as well (the same fix before it, at it
  // and after it) kept its reference, and its choice won over every fix W's walk could still
  // take there; without s the walk may in addition take the W vertices it has not passed yet
  // from the new start, which exist only when that start is W's vertex a and the step lies
  // beyond it: W's vertices 1..a. Those few are checked. Every other step (the first, due
  // east; those in and next to the pocket) is checked against every fix of its band that the
  // walk could still take, as localChain checks. A fix checked passes when it lies clearly
  // left of the step's lines, or when its turn is larger than the choice's, or equal with a
  // later place in set order. With every step won, the walk is the guess, step by step.
  std::optional<std::vector<std::size_t>> guessedStartWalk() {
    const std::size_t h = ring_.size();
    if (!checkable_ || h < 6) return std::nullopt;
    const std::size_t s = ring_.front();
    std::optional<std::vector<std::size_t>> chain = guessedStartChain();
    if (!chain) return std::nullopt;
    std::vector<std::size_t> ring(ring_.begin() + 1, ring_.end());
    ring.insert(ring.end(), chain->begin(), chain->end());

    double lowest = HUGE_VAL;
    for (const std::size_t i : ring) lowest = std::min(lowest, fixes_[i].y);
    std::vector<std::size_t> low;
    tree_.collect([&](const Box& box) { return box.ymin <= lowest; },
                  [&](const McpPoint& p) { return p.y <= lowest; }, low);
    std::size_t start = kNone;
    for (const std::size_t i : low) {
      if (i == s) continue;
      if (start == kNone || fixes_[i].y < fixes_[start].y || (fixes_[i].y == fixes_[start].y && i < start))
        start = i;
    }
    const auto first = std::find(ring.begin(), ring.end(), start);
    if (first == ring.end()) return std::nullopt;
    std::rotate(ring.begin(), first, ring.end());

    std::vector<std::pair<std::size_t, std::size_t>> placeOf(ring.size());
    for (std::size_t m = 0; m < ring.size(); ++m) placeOf[m] = {ring[m], m};
    std::sort(placeOf.begin(), placeOf.end());
    const auto place = [&](std::size_t i) {
      const auto it = std::lower_bound(placeOf.begin(), placeOf.end(), std::make_pair(i, std::size_t{0}));
      return it != placeOf.end() && it->first == i ? it->second : kNone;
    };
    const std::size_t startSlot = slotOf_[start];  // kNone when the new start is on the chain

    for (std::size_t m = 0; m < ring.size(); ++m) {
      const std::size_t from = m == 0 ? kNone : ring[m - 1];
      const std::size_t current = ring[m];
      const std::size_t chosen = ring[(m + 1) % ring.size()];
      const McpPoint at = fixes_[current];
      if (chosen == start && fixes_[start] == at) return std::nullopt;
      const std::optional<Step> step = stepOf(from, current, chosen);
      if (!step) return std::nullopt;
      // Whether the walk could take fix i here instead: not s, not passed, not at the step.
      const auto open = [&](std::size_t i) {
        if (i == s || i == current || i == chosen || !tree_.alive(i)) return false;
        const std::size_t at_ = place(i);
        if (at_ != kNone && at_ >= 1 && at_ < m) return false;
        return !(i == start && fixes_[i] == at);
      };
      const std::size_t k = slotOf_[current];
      const bool walked = from != kNone && k != kNone && k >= 2 && slotOf_[from] == k - 1 && k + 1 < h &&
                          slotOf_[chosen] == k + 1;
      if (walked) {
        if (startSlot == kNone || k <= startSlot) continue;
        for (std::size_t t = 1; t <= startSlot; ++t) {
          if (open(ring_[t]) && beats(ring_[t], *step, chosen)) return std::nullopt;
        }
        continue;
      }
      for (const std::size_t i : band({from, current, chosen}, step->frame)) {
        if (open(i) && beats(i, *step, chosen)) return std::nullopt;
      }
    }
    return ring;
  }

  // The chain the walk would take from the start's ring neighbour p (its reference continuing
  // W's edge into p) over the fixes of the start's pocket until the start's next neighbour.
  std::optional<std::vector<std::size_t>> guessedStartChain() {
    const std::size_t h = ring_.size();
    const std::size_t next = ring_[1];
    std::vector<std::size_t> candidates = pocketFixes(ring_.front());
    candidates.push_back(next);
    std::sort(candidates.begin(), candidates.end());
    candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());
    std::vector<char> taken(candidates.size(), 0);
    std::vector<std::size_t> chain;
    std::size_t from = ring_[h - 2];
    std::size_t current = ring_[h - 1];
    for (;;) {
      const McpPoint at = fixes_[current];
      const auto [refDx, refDy] = referenceDirection(from, current);
      const double angle = mcp_detail::directionAngle(refDx, refDy);
      std::size_t best = kNone;
      double turn = kNoTurnYet;
      for (std::size_t k = 0; k < candidates.size(); ++k) {
        if (taken[k] || candidates[k] == current) continue;
        const double t = mcp_detail::turnDegreesFrom(angle, at, fixes_[candidates[k]]);
        if (t < turn) {
          turn = t;
          best = k;
        }
      }
      if (best == kNone) return std::nullopt;
      const std::size_t chosen = candidates[best];
      if (chosen == next) return chain;
      if (slotOf_[chosen] != kNone) return std::nullopt;
      chain.push_back(chosen);
      taken[best] = 1;
      from = current;
      current = chosen;
    }
  }

  // The reference direction of a step from `current` as the wrap forms it: the step from `from`
  // continued (the point beyond `current`, less `current`, rounded as the wrap rounds it), or due
  // east from the start (`from` kNone).
  std::pair<double, double> referenceDirection(std::size_t from, std::size_t current) const {
    if (from == kNone) return {1.0, 0.0};
    const McpPoint at = fixes_[current];
    const McpPoint reference{2.0 * at.x - fixes_[from].x, 2.0 * at.y - fixes_[from].y};
    return {reference.x - at.x, reference.y - at.y};
  }

  // A step of a walk as the wrap evaluates it: from `current`, its reference continuing the
  // step from `from` (due east from the start, kNone), taking `chosen`.
  struct Step {
    McpPoint at;
    double angle;
    double turn;
    StepFrame frame;
  };
  std::optional<Step> stepOf(std::size_t from, std::size_t current, std::size_t chosen) const {
    const McpPoint at = fixes_[current];
    const auto [refDx, refDy] = referenceDirection(from, current);
    const double angle = mcp_detail::directionAngle(refDx, refDy);
    const double turn = mcp_detail::turnDegreesFrom(angle, at, fixes_[chosen]);
    const std::optional<StepFrame> frame = frameOf(at, refDx, refDy, fixes_[chosen], turn);
    if (!frame) return std::nullopt;
    return Step{at, angle, turn, *frame};
  }

  // Whether the walk would take fix i rather than `chosen` at `step`.
  bool beats(std::size_t i, const Step& step, std::size_t chosen) const {
    if (losesEveryStep(fixes_[i], std::span<const StepFrame>(&step.frame, 1))) return false;
    const double t = mcp_detail::turnDegreesFrom(step.angle, step.at, fixes_[i]);
    return t < step.turn || (t == step.turn && i < chosen);
  }

  // The pocket of the ring vertex at `slot` (not the start) while the wrap of W without it is
  // the ring with the vertex replaced by the pocket's chain; otherwise nullptr, and `full` is
  // that wrap.
  const Pocket* pocketOf(std::size_t slot, Hull& full) {
    const std::size_t j = ring_[slot];
    const bool keepable = ring_.size() >= 6;
    if (keepable) {
      Pocket* pocket = pocketAt_[slot];
      if (pocket == nullptr) {
        const auto found = pockets_.find(j);
        if (found != pockets_.end()) pocket = &found->second;
      }
      if (pocket != nullptr && pocket->pp == ringAt(slot, -2) && pocket->p == ringAt(slot, -1) &&
          pocket->n == ringAt(slot, 1) && pocket->nn == ringAt(slot, 2)) {
        if (pocket->start != ring_.front()) {
          pocket->swap = swapOf(slot, pocket->chain);
          pocket->start = ring_.front();
        }
        pocketAt_[slot] = pocket;
        return pocket;
      }
    }
    std::vector<std::size_t> chain;
    std::vector<StepFrame> frames;
    std::optional<LocalWalk> local;
    if (keepable && checkable_) local = localChain(j, pocketFixes(j));
    if (local) {
      chain = std::move(local->chain);
      frames = std::move(local->frames);
    } else {
      full = hullWithout(j, false);
      if (!keepable) return nullptr;
      const auto at = std::find(full.ring.begin(), full.ring.end(), ringAt(slot, -1));
      bool closed = false;
      for (std::size_t k = 1; at != full.ring.end() && k < full.ring.size(); ++k) {
        const std::size_t i =
            full.ring[(static_cast<std::size_t>(at - full.ring.begin()) + k) % full.ring.size()];
        if (i == ringAt(slot, 1)) {
          closed = true;
          break;
        }
        chain.push_back(i);
      }
      if (!closed || spliced(slot, chain) != full.ring) return nullptr;
    }
    Pocket& pocket = pockets_[j];
    pocket = {ringAt(slot, -2),
              ringAt(slot, -1),
              ringAt(slot, 1),
              ringAt(slot, 2),
              ring_.front(),
              std::move(chain),
              {},
              {}};
    pocket.swap = swapOf(slot, pocket.chain);
    pocket.frames = std::move(frames);
    pocketAt_[slot] = &pocket;
    return &pocket;
  }

  // The sums areaLostInterval needs of the swap of the vertex at `slot` for `chain`.
  mcp_detail::ChainSwap swapOf(std::size_t slot, const std::vector<std::size_t>& chain) const {
    std::vector<McpPoint> points(chain.size());
    for (std::size_t k = 0; k < chain.size(); ++k) points[k] = fixes_[chain[k]];
    return mcp_detail::chainSwap(fixes_[ring_.front()], fixes_[ringAt(slot, -1)], fixes_[ring_[slot]],
                                 fixes_[ringAt(slot, 1)], slot + 1 == ring_.size(), points);
  }

  // The fixes in (or next to) the pocket that opens between j's neighbours, in set order,
  // without j: those beyond or near the chord within (or near) the box of the corner p, j, n,
  // where the ring's convexity puts them. Every caller checks the fixes it was not given, so
  // this only has to be a good guess. When the neighbours coincide, j sits between copies of
  // one position and no pocket opens.
  //
  // The fixes found are kept while j's neighbours stay: the query's region depends on j and
  // them alone, and fixes only go, so the live ones of the kept list are what it would find.
  std::vector<std::size_t> pocketFixes(std::size_t j) {
    const std::size_t slot = slotOf_[j];
    const std::size_t before = ringAt(slot, -1);
    const std::size_t after = ringAt(slot, 1);
    FoundPocket& found = foundPockets_[j];
    if (found.before != before || found.after != after) {
      found = {before, after, pocketQuery(j, before, after)};
    } else {
      std::erase_if(found.fixes, [&](std::size_t i) { return !tree_.alive(i); });
    }
    return found.fixes;
  }

  std::vector<std::size_t> pocketQuery(std::size_t j, std::size_t before, std::size_t after) const {
    const McpPoint prev = fixes_[before];
    const McpPoint next = fixes_[after];
    const double cx = next.x - prev.x;
    const double cy = next.y - prev.y;
    const double chord = std::hypot(cx, cy);
    const double pocketMargin = kNearEdgeShare * chord * extent_;
    const double reach = kPocketBoxShare * extent_;
    const Box corner = grown(grown(grown(kEmptyBox, prev), next), fixes_[j]);
    std::vector<std::size_t> pocket;
    if (chord > 0.0) {
      const double slack = kCrossSlack * chord * diameter_;
      tree_.collect(
          [&](const Box& box) {
            return box.xmin <= corner.xmax + reach && box.xmax >= corner.xmin - reach &&
                   box.ymin <= corner.ymax + reach && box.ymax >= corner.ymin - reach &&
                   leastCross(cx, cy, prev, box) <= pocketMargin + slack;
          },
          [&](const McpPoint& p) { return cross(cx, cy, p.x - prev.x, p.y - prev.y) <= pocketMargin; },
          pocket);
    }
    std::sort(pocket.begin(), pocket.end());
    std::erase(pocket, j);
    return pocket;
  }

  // The live fixes outside `candidates` (other than j and those `excluded` rules out) that may
  // have won a step of a walk: those in the steps' bands for which `loses` does not hold.
  template <class Excluded, class Loses>
  std::vector<std::size_t> failingFixes(std::size_t j, const Excluded& excluded,
                                        const std::vector<StepFrame>& frames,
                                        const std::vector<StepKey>& keys,
                                        const std::vector<std::size_t>& candidates, const Loses& loses) {
    std::vector<std::size_t> checked;
    for (std::size_t s = 0; s < frames.size(); ++s) {
      for (const std::size_t i : band(keys[s], frames[s])) {
        if (i == j || !tree_.alive(i) || excluded(i) ||
            std::binary_search(candidates.begin(), candidates.end(), i))
          continue;
        checked.push_back(i);
      }
    }
    std::sort(checked.begin(), checked.end());
    checked.erase(std::unique(checked.begin(), checked.end()), checked.end());
    std::vector<std::size_t> failed;
    for (const std::size_t i : checked) {
      if (!loses(fixes_[i])) failed.push_back(i);
    }
    return failed;
  }

  // The chain that replaces the ring vertex j in the wrap of W without j, replayed from j's ring
  // neighbour p on. Every step before p is W's own (j and the pocket's fixes lost them, and
  // taking away fixes that lose a step changes nothing in it), and so is every step after the
  // wrap is back on W's ring, its reference continuing W's edge. So only the steps from p to
  // the step after the next ring vertex are taken, over the pocket's fixes and the next two
  // ring vertices, and every other fix that may win one of them (a ring vertex further on
  // among them) is checked as hullWithout checks its steps; those that fail join the
  // candidates. From the start (p at slot 0) the wrap's reference is due east: the start has
  // the lowest y, so the walk's first reference (the set's largest x at that y) lies due east
  // of it or on it, and atan2 gives +0 either way. nullopt where this does not apply: a small
  // ring, a step the check cannot reason about, or a wrap that does not come back to the next
  // ring vertex.
  std::optional<LocalWalk> localChain(std::size_t j, const std::vector<std::size_t>& pocket) {
    const std::size_t h = ring_.size();
    const std::size_t slot = slotOf_[j];
    if (h < 6 || slot < 1) return std::nullopt;
    const std::size_t start = ring_.front();
    const std::size_t next = ringAt(slot, 1);
    const auto beforeP = [&](std::size_t i) {
      return slotOf_[i] != kNone && slotOf_[i] >= 1 && slotOf_[i] < slot;
    };
    std::vector<std::size_t> candidates(pocket);
    if (!fast_) candidates.insert(candidates.end(), ring_.begin(), ring_.end());
    candidates.push_back(next);
    candidates.push_back(ringAt(slot, 2));
    // From the start the wrap has passed nothing over yet: the start stays a candidate.
    if (slot == 1) candidates.push_back(start);
    std::sort(candidates.begin(), candidates.end());
    candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());
    // Fixes chosen before p are out of the running; the start stays to close the ring.
    std::erase_if(candidates, beforeP);
    std::erase(candidates, j);

    for (int refinement = 0;; ++refinement) {
      std::vector<char> taken(candidates.size(), 0);
      std::vector<StepFrame> frames;
      std::vector<StepKey> keys;
      std::vector<std::size_t> chain;
      std::size_t from = slot >= 2 ? ring_[slot - 2] : kNone;
      std::size_t current = ring_[slot - 1];
      bool back = false;
      for (;;) {
        const McpPoint at = fixes_[current];
        const auto [refDx, refDy] = referenceDirection(from, current);
        const double angle = mcp_detail::directionAngle(refDx, refDy);
        std::size_t best = kNone;
        double turn = kNoTurnYet;
        for (std::size_t k = 0; k < candidates.size(); ++k) {
          const std::size_t i = candidates[k];
          if (taken[k] || i == current || (i == start && fixes_[i] == at)) continue;
          const double t = mcp_detail::turnDegreesFrom(angle, at, fixes_[i]);
          if (t < turn) {
            turn = t;
            best = k;
          }
        }
        if (best == kNone) return std::nullopt;
        const std::size_t chosen = candidates[best];
        const std::optional<StepFrame> frame = frameOf(at, refDx, refDy, fixes_[chosen], turn);
        if (!frame) return std::nullopt;
        frames.push_back(*frame);
        keys.push_back({from, current, chosen});
        if (back) {
          // The step from the next ring vertex must take W's vertex after it (or close the ring).
          if (chosen != ringAt(slot, 2)) return std::nullopt;
          break;
        }
        if (chosen == next) {
          back = true;
          if (next == start) break;  // j was the last vertex: the ring closes here
        } else if (slotOf_[chosen] == kNone) {
          chain.push_back(chosen);
        } else {
          return std::nullopt;
        }
        taken[best] = 1;
        from = current;
        current = chosen;
      }

      const std::vector<std::size_t> failed = failingFixes(
          j, beforeP, frames, keys, candidates, [&](McpPoint p) { return losesEveryStep(p, frames); });
      if (failed.empty()) return LocalWalk{std::move(chain), std::move(frames)};
      if (refinement == kMaxRefinements) return std::nullopt;
      candidates.insert(candidates.end(), failed.begin(), failed.end());
      std::sort(candidates.begin(), candidates.end());
    }
  }

  // Hull of W without element j (a ring vertex): the wrap of the old ring and the fixes in (or
  // next to) the pocket that opens between j's neighbours, checked step by step against every
  // other fix. A fix can fail a step's check only within a thin band along the step's two
  // directions (see band()); the fixes there are the only ones checked.
  Hull hullWithout(std::size_t j, bool tryLocal = true) {
    if (!checkable_ || ring_.size() < 3) return wrapAllBut(j);

    const std::vector<std::size_t> pocket = pocketFixes(j);
    std::optional<LocalWalk> local;
    if (tryLocal) local = localChain(j, pocket);
    if (local) {
      Hull h{spliced(slotOf_[j], local->chain), 0.0};
      h.area = ringArea(h.ring);
      return h;
    }
    std::vector<std::size_t> candidates;
    candidates.reserve(ring_.size() + pocket.size());
    std::set_union(sortedRing().begin(), sortedRing().end(), pocket.begin(), pocket.end(),
                   std::back_inserter(candidates));
    std::erase(candidates, j);
    for (int refinement = 0;; ++refinement) {
      std::vector<McpPoint> subset(candidates.size());
      for (std::size_t k = 0; k < candidates.size(); ++k) subset[k] = fixes_[candidates[k]];
      const HullWalk walk = mcp_detail::walkHull(subset, true);
      std::vector<StepFrame> frames;
      if (!walk.closed || !framesOf(walk, subset, frames)) return wrapAllBut(j);

      std::vector<StepKey> keys;
      keys.reserve(frames.size());
      for (std::size_t s = 0; s < frames.size(); ++s) {
        keys.push_back({s == 0 ? kNone : candidates[walk.ring[s - 1]], candidates[walk.ring[s]],
                        candidates[walk.steps[s].chosen]});
      }
      const std::vector<std::size_t> failed = failingFixes(
          j, [](std::size_t) { return false; }, frames, keys, candidates,
          [&](McpPoint p) { return neverChosen(p, walk, frames); });
      if (failed.empty()) {
        Hull h;
        h.area = mcp_detail::ringOf(subset, walk).area;
        h.ring.reserve(walk.ring.size());
        for (const std::size_t r : walk.ring) h.ring.push_back(candidates[r]);
        return h;
      }
      if (refinement == kMaxRefinements) return wrapAllBut(j);
      candidates.insert(candidates.end(), failed.begin(), failed.end());
      std::sort(candidates.begin(), candidates.end());
    }
  }

  // The live fixes that may fail neverChosen at a step: those whose cross product with the
  // reference or the chosen direction is at most the margin times that direction's length times
  // the diameter bound. Any other fix p passes both tests, as |p - current| is within the bound;
  // and at the first step (reference due east from the lowest fix) it also lies above the
  // lowest y with a slope far above the smallest one checked. Steps after the first are kept by
  // the fixes that define them (the reference continues the step before); bands only lose fixes.
  const std::vector<std::size_t>& band(const StepKey& key, const StepFrame& f) {
    if (key.from != kNone) {
      const auto found = bands_.find(key);
      if (found != bands_.end()) return found->second;
    }
    const double tr = kAngleMargin * f.rn * diameter_;
    const double tv = kAngleMargin * f.vn * diameter_;
    const double slackR = kCrossSlack * f.rn * diameter_;
    const double slackV = kCrossSlack * f.vn * diameter_;
    std::vector<std::size_t> found;
    tree_.collect(
        [&](const Box& box) {
          return leastCross(f.rx, f.ry, f.current, box) <= tr + slackR ||
                 leastCross(f.vx, f.vy, f.current, box) <= tv + slackV;
        },
        [&](const McpPoint& p) {
          const double px = p.x - f.current.x;
          const double py = p.y - f.current.y;
          return cross(f.rx, f.ry, px, py) <= tr || cross(f.vx, f.vy, px, py) <= tv;
        },
        found);
    if (key.from == kNone) {
      firstStepBand_ = std::move(found);
      return firstStepBand_;
    }
    return bands_[key] = std::move(found);
  }

  // A step of a removed fix never comes again: its band goes once the cache has grown enough
  // since this last ran, which keeps the cache within a few times the steps of live fixes.
  void sweepBands() {
    if (bands_.size() < std::max(kBandSweepFloor, kBandSweepGrowth * bandsAfterSweep_)) return;
    std::erase_if(bands_, [&](const auto& entry) {
      const StepKey& key = entry.first;
      return !tree_.alive(key.from) || !tree_.alive(key.current) || !tree_.alive(key.chosen);
    });
    bandsAfterSweep_ = bands_.size();
  }

  // The wrap of every fix left but j (kNone: of every fix left), as the definition builds it.
  Hull wrapAllBut(std::size_t j) const {
    std::vector<std::size_t> ids;
    std::vector<McpPoint> rest;
    for (std::size_t i = 0; i < fixes_.size(); ++i) {
      if (i != j && tree_.alive(i)) {
        ids.push_back(i);
        rest.push_back(fixes_[i]);
      }
    }
    const HullWalk walk = mcp_detail::walkHull(rest, false);
    Hull h{{}, mcp_detail::ringOf(rest, walk).area};
    for (const std::size_t r : walk.ring) h.ring.push_back(ids[r]);
    return h;
  }

  // A step's frame; nullopt for a step the check does not reason about (a turn of
  // kLargestCheckedTurnDegrees or more, or a direction too short to measure).
  static std::optional<StepFrame> frameOf(McpPoint current, double refDx, double refDy, McpPoint chosen,
                                          double turn) {
    if (!(turn < kLargestCheckedTurnDegrees)) return std::nullopt;
    StepFrame f{current, refDx, refDy, 0.0, chosen.x - current.x, chosen.y - current.y, 0.0};
    if (f.rx == 0.0 && f.ry == 0.0) f.rx = 1.0;
    if (f.vx == 0.0 && f.vy == 0.0) f.vx = 1.0;
    const double r2 = f.rx * f.rx + f.ry * f.ry;
    const double v2 = f.vx * f.vx + f.vy * f.vy;
    if (r2 < kSmallestSquaredLength || v2 < kSmallestSquaredLength) return std::nullopt;
    f.rn = std::sqrt(r2);
    f.vn = std::sqrt(v2);
    return f;
  }

  static bool framesOf(const HullWalk& walk, std::span<const McpPoint> subset,
                       std::vector<StepFrame>& frames) {
    frames.reserve(walk.steps.size());
    for (const HullStep& s : walk.steps) {
      const std::optional<StepFrame> f = frameOf(s.current, s.refDx, s.refDy, subset[s.chosen], s.turn);
      if (!f) return false;
      frames.push_back(*f);
    }
    return true;
  }

  // True when the full set's wrap would pass over p at every step of `walk`: p cannot be the
  // start (it lies above the lowest y) and at each step it turns strictly more than the fix
  // chosen, being left of the reference ray and of the chosen direction by a clear angle.
  static bool neverChosen(McpPoint p, const HullWalk& walk, const std::vector<StepFrame>& frames) {
    const double dy = p.y - walk.ymin;
    const double dx = p.x - walk.xmin;
    if (!(dy > 0.0) || (dx > 0.0 && dy / dx < kSmallestSlope)) return false;
    return losesEveryStep(p, frames);
  }

  // At each step p turns strictly more than the fix chosen: it lies left of the reference ray
  // and of the chosen direction by a clear angle.
  static bool losesEveryStep(McpPoint p, std::span<const StepFrame> frames) {
    for (const StepFrame& f : frames) {
      const double px = p.x - f.current.x;
      const double py = p.y - f.current.y;
      const double p2 = px * px + py * py;
      if (p2 < kSmallestSquaredLength) return false;
      const double pn = std::sqrt(p2);
      if (!(cross(f.rx, f.ry, px, py) > kAngleMargin * f.rn * pn)) return false;
      if (!(cross(f.vx, f.vy, px, py) > kAngleMargin * f.vn * pn)) return false;
    }
    return true;
  }

  std::span<const McpPoint> fixes_;
  FixTree tree_;
  std::size_t target_;
  std::size_t left_;
  std::size_t firstAlive_ = 0;
  // False for the reference: every candidate summed in full, pockets replayed over the whole
  // ring, the wrap without the start walked over the ring and its pocket.
  bool fast_;
  std::vector<std::size_t> ring_;        // fix indices, anticlockwise, start first
  std::vector<std::size_t> slotOf_;      // each fix's place on the ring, kNone off it
  std::vector<std::size_t> sortedRing_;  // the ring in set order, made when asked for
  std::vector<Pocket*> pocketAt_;        // each ring slot's pocket as last found, or nullptr
  mcp_detail::ShoelaceSum ringSum_{};
  double ringError_ = 0.0;
  bool bounded_ = false;  // ringSum_ gives area_ and the intervals may be used
  std::vector<Score> scores_;
  std::vector<std::pair<std::size_t, Hull>> fullHulls_;
  std::size_t bandsAfterSweep_ = 0;
  double area_ = 0.0;
  double extent_ = 0.0;
  double diameter_ = 0.0;
  bool checkable_ = false;
  std::unordered_map<std::size_t, Pocket> pockets_;
  // pocketFixes' last answer for each ring vertex, with the neighbours it was found between.
  struct FoundPocket {
    std::size_t before = kNone, after = kNone;
    std::vector<std::size_t> fixes;
  };
  std::unordered_map<std::size_t, FoundPocket> foundPockets_;
  std::unordered_map<StepKey, std::vector<std::size_t>, StepKeyHash> bands_;
  std::vector<std::size_t> firstStepBand_;
  std::optional<std::vector<std::size_t>> startWalk_;  // the ring of W without its start, once made
};

}  // namespace

std::vector<McpPoint> mcpAreaAddedKeep(std::span<const McpPoint> fixes, std::size_t target) {
  if (fixes.size() <= target) return {fixes.begin(), fixes.end()};
  return AreaAddedReduction(fixes, target, true).run();
}

namespace mcp_detail {

std::vector<McpPoint> areaAddedKeepSummingAll(std::span<const McpPoint> fixes, std::size_t target) {
  if (fixes.size() <= target) return {fixes.begin(), fixes.end()};
  return AreaAddedReduction(fixes, target, false).run();
}

}  // namespace mcp_detail

}  // namespace orvex::core
