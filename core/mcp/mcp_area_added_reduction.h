#pragma once

// The working state of the "Area Added" reduction: the ring of the fixes left, each ring
// vertex's pocket, and the walks and bands kept across removals. mcp_area_added.cpp holds the
// removals and the ring sums, mcp_area_added_walks.cpp the replayed walks and their checks.

#include <cstddef>
#include <functional>
#include <optional>
#include <span>
#include <unordered_map>
#include <utility>
#include <vector>

#include "core/mcp/mcp_fix_tree.h"
#include "core/mcp/mcp_hull_walk.h"
#include "core/mcp/mcp_polygon.h"
#include "core/mcp/mcp_ring_sum.h"

namespace orvex::core::mcp_detail::area_added {

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
// A line's band reaches this much further than a step's (as a sine, like kAngleMargin), so that
// it serves every step whose direction along the line is within kLineMatch of its own.
constexpr double kLineSlack = 1e-12;
constexpr double kLineMatch = 0.25 * kLineSlack;
// The band cache drops the lines of fixes removed once it has grown this much since it last did.
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
  std::optional<mcp_detail::ShoelaceSum> sum;  // the sum that gave the area, when kept
};

// A step's directions as the wrap evaluated them; a zero-length direction is due east.
struct StepFrame {
  McpPoint current;
  double rx, ry, rn;  // reference direction and its length
  double vx, vy, vn;  // direction to the chosen fix and its length
};

// How a ring vertex j leaves the ring: the chain of fixes that replaces it between its
// neighbours p and n. The chain stays the wrap's as long as the ring around j (pp, p, n, nn) and
// the start are as they were and no chain fix has joined the ring elsewhere: fixes are only ever
// taken away, and none of the steps from p to nn depends on anything else. A chain fix on the
// ring (a copy of j's position, say, that the removal of another vertex brought onto it) would
// be taken twice, and the wrap's steps after nn would no longer be W's.
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
  // Built in place: a braced copy is written in one width and read back in another.
  Score(std::size_t j_, std::size_t slot_, double lo_, double hi_, double area_, const Pocket* pocket_,
        bool exact_)
      : j(j_), slot(slot_), lo(lo_), hi(hi_), area(area_), pocket(pocket_), exact(exact_) {}
  std::size_t j;
  std::size_t slot;  // kNone off the ring
  double lo, hi;
  double area;
  const Pocket* pocket;
  bool exact;
};

struct StepKey {
  std::size_t from, current, chosen;
};

// The line from fix a through fix b (a == b: due east from a).
struct LineKey {
  std::size_t a, b;
  bool operator==(const LineKey&) const = default;
};
struct LineKeyHash {
  std::size_t operator()(const LineKey& k) const {
    return std::hash<std::size_t>()(k.a * 0x9E3779B97F4A7C15ULL ^ k.b * 0xC2B2AE3D27D4EB4FULL);
  }
};

// The fixes near a line, with its unit direction as computed, to tell which steps it serves.
struct LineBand {
  double ux, uy;
  std::vector<std::size_t> fixes;
};

class AreaAddedReduction {
 public:
  AreaAddedReduction(std::span<const McpPoint> fixes, std::size_t target, bool fast);

  // The indices of the fixes dropped, in order; once per reduction.
  std::vector<std::size_t> drops();

 private:
  // Takes the new ring, carrying each vertex's pocket (its key says whether it still holds), and
  // its sum: the intervals bound the areas against that sum, so it must give area_ to the bit.
  void setRing(Hull hull);

  // The place s and the length q of the chain when `next` is the ring with its vertex at s
  // replaced by q fixes off it (q may be 0); nullopt for any other ring.
  std::optional<std::pair<std::size_t, std::size_t>> spliceOf(const std::vector<std::size_t>& next) const;

  const std::vector<std::size_t>& sortedRing();

  // Drops the pockets whose chains hold any of `fixes` (fixes that have just joined the ring):
  // a chain is the wrap's only while its fixes are off the ring. With the pockets of a fix
  // removed off the ring dropped by remove(), a pocket kept holds live fixes off the ring.
  void dropPocketsHolding(const std::vector<std::size_t>& fixes);

  // The lowest index of a fix left that is not on the ring; fixes_.size() when there is none.
  std::size_t firstOffRing();

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
  std::size_t removeOne();  // the fix removed

  void remove(std::size_t bestJ, Hull bestHull);

  // Keeps, across the removal of the start s, the pockets whose replayed steps still hold when
  // the wrap begins at the new start s2. A pocket's steps from p on excluded the ring vertices
  // the wrap had passed from s to p. From s2 = W's vertex a, a vertex beyond a has passed fewer:
  // W's vertices 1..a are open to its steps again, and it is kept only if each of them lies
  // clearly left of every step (so loses it, as localChain checks). A vertex before a has
  // passed more (from s2 round the new chain), which only takes away fixes that lost its steps;
  // from s2 on the new chain, every vertex has passed more. Pockets touching s or s2 (p, n or
  // the ones beyond, as s2 changes how the wrap treats the start) go, and so do those not found
  // by localChain (no steps kept). The sums of the kept ones are redone for the new origin.
  void carryPocketsPastStart(std::size_t s2);

  // The wrap of W without its start, kept across the removal of the ring vertex b: the wrap of
  // W without the start and b is the kept one with b replaced by b's chain, when b is three or
  // more places from the start, the kept walk passes the two ring vertices either side of b as W
  // does, and the wrap without b is W's ring with b replaced by that chain. Its steps away from
  // b are the kept walk's, and those from b's neighbour p to the one after n are the ones the
  // wrap without b took, with the same fixes chosen before them, except the kept walk's own
  // start when that is W's next vertex: that one fix is replayed against those steps.
  void carryStartWalk(std::size_t b, const Hull& withoutB);

  // True when the wrap's start s takes none of the steps from the ring vertex before `slot`
  // through the chain to the step after the vertex after it: at each, the fix chosen turns less
  // than s, or as much and comes first in set order, or s is on the current position (where the
  // wrap passes its start over).
  bool losesChainSteps(std::size_t s, std::size_t slot, const std::vector<std::size_t>& chain) const;

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
  mcp_detail::ShoelaceSum ringSum(const std::vector<std::size_t>& ring) const;

  double ringArea(const std::vector<std::size_t>& ring) const;

  // ringArea(spliced(slot, chain)), summed without building the ring.
  double splicedArea(std::size_t slot, const std::vector<std::size_t>& chain) const;

  // ringSum(spliced(slot, chain)), for a spliced ring of three vertices or more.
  mcp_detail::ShoelaceSum splicedSum(std::size_t slot, const std::vector<std::size_t>& chain) const;

  std::vector<std::size_t> spliced(std::size_t slot, const std::vector<std::size_t>& chain) const;

  // The area of the wrap of W without its start; the wrap (startWalk_) and its area are kept
  // across removals while they hold.
  double startWithoutArea();

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
  std::optional<std::vector<std::size_t>> guessedStartWalk();

  // The chain the walk would take from the start's ring neighbour p (its reference continuing
  // W's edge into p) over the fixes of the start's pocket until the start's next neighbour.
  std::optional<std::vector<std::size_t>> guessedStartChain();

  // The reference direction of a step from `current` as the wrap forms it: the step from `from`
  // continued (the point beyond `current`, less `current`, rounded as the wrap rounds it), or due
  // east from the start (`from` kNone).
  std::pair<double, double> referenceDirection(std::size_t from, std::size_t current) const;

  // A step of a walk as the wrap evaluates it: from `current`, its reference continuing the
  // step from `from` (due east from the start, kNone), taking `chosen`.
  struct Step {
    McpPoint at;
    double angle;
    double turn;
    StepFrame frame;
  };
  std::optional<Step> stepOf(std::size_t from, std::size_t current, std::size_t chosen) const;

  // Whether the walk would take fix i rather than `chosen` at `step`.
  bool beats(std::size_t i, const Step& step, std::size_t chosen) const;

  // pocketOf's answer when it is the pocket last found at `slot`, still around the same ring
  // vertices and for the same start; otherwise nullptr (pocketOf then decides). Inline: nearly
  // every ring vertex at nearly every removal takes this way.
  const Pocket* keptPocket(std::size_t slot) const {
    const Pocket* pocket = pocketAt_[slot];
    if (!fast_ || pocket == nullptr || ring_.size() < 6 || pocket->start != ring_.front()) return nullptr;
    const std::size_t h = ring_.size();
    const auto at = [&](std::size_t k) { return ring_[k >= h ? k - h : k]; };
    const std::size_t s = slot + h;  // offsets of -2..2 stay within 0..2h
    return pocket->pp == at(s - 2) && pocket->p == at(s - 1) && pocket->n == at(s + 1 - h) &&
                   pocket->nn == at(s + 2 - h)
               ? pocket
               : nullptr;
  }

  // The pocket of the ring vertex at `slot` (not the start) while the wrap of W without it is
  // the ring with the vertex replaced by the pocket's chain; otherwise nullptr, and `full` is
  // that wrap.
  const Pocket* pocketOf(std::size_t slot, Hull& full);

  // The sums areaLostInterval needs of the swap of the vertex at `slot` for `chain`; swapBound_
  // grows to take them in.
  mcp_detail::ChainSwap swapOf(std::size_t slot, const std::vector<std::size_t>& chain);

  // The fixes in (or next to) the pocket that opens between j's neighbours, in set order,
  // without j: those beyond or near the chord within (or near) the box of the corner p, j, n,
  // where the ring's convexity puts them. Every caller checks the fixes it was not given, so
  // this only has to be a good guess. When the neighbours coincide, j sits between copies of
  // one position and no pocket opens.
  //
  // The fixes found are kept while j's neighbours stay: the query's region depends on j and
  // them alone, and fixes only go, so the live ones of the kept list are what it would find.
  std::vector<std::size_t> pocketFixes(std::size_t j);

  std::vector<std::size_t> pocketQuery(std::size_t j, std::size_t before, std::size_t after) const;

  // The region pocketQuery searches for the corner before, j, after: near or beyond the chord
  // (`chord` false when the neighbours coincide: no region) and within the corner's box grown by
  // the reach.
  struct PocketRegion {
    McpPoint prev;
    double cx, cy, margin, reach;
    Box corner;
    bool chord;
    bool holds(McpPoint p) const {
      return chord && p.x <= corner.xmax + reach && p.x >= corner.xmin - reach &&
             p.y <= corner.ymax + reach && p.y >= corner.ymin - reach &&
             cross(cx, cy, p.x - prev.x, p.y - prev.y) <= margin;
    }
  };
  PocketRegion pocketRegion(std::size_t j, std::size_t before, std::size_t after) const;

  // After the removal of the ring vertex j between p and n, whose pocket held `opened`: the
  // pockets of the chain that came onto the ring between p and n are taken from `opened`
  // instead of searched for. Such a vertex's corner has its three vertices in j's corner
  // (p, j, n), so it lies within it, and its pocket holds only fixes of j's, up to the margins
  // of the region: a fix the guess misses is one its caller checks and adds. The corners of p
  // and n reach out of the old ones (towards the chain's far end), so theirs are searched for.
  void guessPockets(std::size_t p, std::size_t n, const std::vector<std::size_t>& opened);

  // The live fixes outside `candidates` (other than j and those `excluded` rules out) that may
  // have won a step of a walk: those in the steps' bands for which `loses` does not hold.
  template <class Excluded, class Loses>
  std::vector<std::size_t> failingFixes(std::size_t j, const Excluded& excluded,
                                        const std::vector<StepFrame>& frames,
                                        const std::vector<StepKey>& keys,
                                        const std::vector<std::size_t>& candidates, const Loses& loses);

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
  std::optional<LocalWalk> localChain(std::size_t j, const std::vector<std::size_t>& pocket);

  // Hull of W without element j (a ring vertex): the wrap of the old ring and the fixes in (or
  // next to) the pocket that opens between j's neighbours, checked step by step against every
  // other fix. A fix can fail a step's check only within a thin band along the step's two
  // directions (see band()); the fixes there are the only ones checked.
  Hull hullWithout(std::size_t j, bool tryLocal = true);

  // The live fixes that may fail neverChosen at a step: those whose cross product with the
  // reference or the chosen direction is at most the margin times that direction's length times
  // the diameter bound. Any other fix p passes both tests, as |p - current| is within the bound;
  // and at the first step (reference due east from the lowest fix) it also lies above the
  // lowest y with a slope far above the smallest one checked. Steps after the first are kept by
  // the fixes that define them (the reference continues the step before); bands only lose fixes.
  //
  // A step's band is the union of the bands of its two lines, each kept by the two fixes that
  // define it (from and current, current and chosen; the first step's reference is due east
  // from current), so that consecutive steps and the walks through a ring edge share them. A
  // line's band keeps the fixes p with cross(v, p - a) <= (kAngleMargin + kLineSlack) |v| D,
  // v = b - a as computed, D the diameter bound. It holds a step's band along that line when
  // the step's unit direction u there is within kLineMatch of v / |v|: a fix in the step's band
  // has cross(u, p - current) <= kAngleMargin D up to a few ulp of D; turning u onto v / |v|
  // moves that by at most |u - v / |v|| D, and moving the anchor from current (b) to a by at
  // most the rounding of v = b - a, an ulp of |v|; with the rounding of the products all of
  // it stays under kLineSlack D. A step whose direction does not match (a zero reference
  // replaced by due east, or one that rounded away from b - a) gets its own band, not kept.
  const std::vector<std::size_t>& band(const StepKey& key, const StepFrame& f);

  // Appends to bandScratch_ the band of the step's line through `current` along (dx, dy), of
  // length dn, that the line from fix a through fix b serves when it matches.
  void appendLineBand(std::size_t a, std::size_t b, McpPoint current, double dx, double dy, double dn);

  // The live fixes p with cross((dx, dy), p - anchor) <= margin dn D.
  void lineQuery(McpPoint anchor, double dx, double dy, double dn, double margin,
                 std::vector<std::size_t>& out) const;

  // A line of a removed fix never comes again: its band goes once the cache has grown enough
  // since this last ran, which keeps the cache within a few times the lines of live fixes.
  void sweepBands();

  // The wrap of every fix left but j (kNone: of every fix left), as the definition builds it.
  Hull wrapAllBut(std::size_t j) const;

  // A step's frame; nullopt for a step the check does not reason about (a turn of
  // kLargestCheckedTurnDegrees or more, or a direction too short to measure).
  static std::optional<StepFrame> frameOf(McpPoint current, double refDx, double refDy, McpPoint chosen,
                                          double turn);

  static bool framesOf(const HullWalk& walk, std::span<const McpPoint> subset,
                       std::vector<StepFrame>& frames);

  // True when the full set's wrap would pass over p at every step of `walk`: p cannot be the
  // start (it lies above the lowest y) and at each step it turns strictly more than the fix
  // chosen, being left of the reference ray and of the chosen direction by a clear angle.
  static bool neverChosen(McpPoint p, const HullWalk& walk, const std::vector<StepFrame>& frames);

  // At each step p turns strictly more than the fix chosen: it lies left of the reference ray
  // and of the chosen direction by a clear angle.
  static bool losesEveryStep(McpPoint p, std::span<const StepFrame> frames);

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
  // At least the greatest pocketError, addedMagnitude and addedTerms of every swap made so far
  // (infinite once one was NaN): what the ceiling on the kept pockets' intervals takes.
  mcp_detail::ChainSwap swapBound_{};
  bool bounded_ = false;  // ringSum_ gives area_ and the intervals may be used
  std::vector<Score> scores_;
  std::vector<std::pair<std::size_t, Hull>> fullHulls_;
  std::size_t bandsAfterSweep_ = 0;
  double area_ = 0.0;
  double extent_ = 0.0;
  double diameter_ = 0.0;
  bool checkable_ = false;
  std::unordered_map<std::size_t, Pocket> pockets_;
  // For each fix, the ring vertices whose pockets took it into their chains (some since
  // replaced): what dropPocketsHolding looks through.
  std::unordered_map<std::size_t, std::vector<std::size_t>> holders_;
  // pocketFixes' last answer for each ring vertex, with the neighbours it was found between.
  struct FoundPocket {
    std::size_t before = kNone, after = kNone;
    std::vector<std::size_t> fixes;
  };
  std::unordered_map<std::size_t, FoundPocket> foundPockets_;
  std::unordered_map<LineKey, LineBand, LineKeyHash> bands_;
  std::vector<std::size_t> bandScratch_;
  std::optional<std::vector<std::size_t>> startWalk_;  // the ring of W without its start, once made
  std::optional<double> startArea_;                    // its area, once summed
};

}  // namespace orvex::core::mcp_detail::area_added
