// The walks the "Area Added" reduction replays over a few candidate fixes, and the checks that
// every other fix loses their steps.

#include <algorithm>
#include <cmath>
#include <iterator>
#include <numeric>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "core/mcp/mcp_area_added_reduction.h"

namespace orvex::core::mcp_detail::area_added {
namespace {

struct Turn {
  std::size_t k = kNone;  ///< index into the candidates; kNone when none is left
  double degrees = kNoTurnYet;
};

/// The step a replayed walk takes from `at` (reference direction (refDx, refDy), of angle
/// `angle`): of the candidates neither taken nor skipped, the one with the smallest turn, the
/// first in candidate order on a tie, as the full walk chooses.
///
/// A candidate is passed over without its turn when it lies left of the reference and of the
/// direction to the best so far by kAngleMargin (the test of losesEveryStep), that best turning
/// less than kLargestCheckedTurnDegrees: its exact turn then exceeds the best's by far more than
/// the turns' rounding, so its computed turn is greater and it could neither win nor tie.
template <class Skip>
Turn smallestTurn(double angle, double refDx, double refDy, McpPoint at, std::span<const McpPoint> fixes,
                  const std::vector<std::size_t>& candidates, const std::vector<char>& taken, Skip skip) {
  if (refDx == 0.0 && refDy == 0.0) refDx = 1.0;  // atan2(0, 0) is due east
  const double rn = std::hypot(refDx, refDy);
  Turn best;
  double vx = 0.0, vy = 0.0, vn = 0.0;  // the direction to the best so far; vn 0 when unusable
  for (std::size_t k = 0; k < candidates.size(); ++k) {
    if (taken[k] || skip(candidates[k])) continue;
    const McpPoint p = fixes[candidates[k]];
    const double px = p.x - at.x;
    const double py = p.y - at.y;
    if (vn > 0.0) {
      const double p2 = px * px + py * py;
      if (p2 >= kSmallestSquaredLength) {
        const double pn = std::sqrt(p2);
        if (cross(refDx, refDy, px, py) > kAngleMargin * rn * pn &&
            cross(vx, vy, px, py) > kAngleMargin * vn * pn)
          continue;
      }
    }
    const double t = mcp_detail::turnDegreesFrom(angle, at, p);
    if (t < best.degrees) {
      best = {k, t};
      vx = px;
      vy = py;
      const double v2 = px * px + py * py;
      vn = t < kLargestCheckedTurnDegrees && v2 >= kSmallestSquaredLength && std::isfinite(rn) &&
                   rn * rn >= kSmallestSquaredLength
               ? std::sqrt(v2)
               : 0.0;
    }
  }
  return best;
}

}  // namespace

std::optional<std::vector<std::size_t>> AreaAddedReduction::guessedStartWalk() {
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

std::optional<std::vector<std::size_t>> AreaAddedReduction::guessedStartChain() {
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
    const std::size_t best =
        smallestTurn(angle, refDx, refDy, at, fixes_, candidates, taken, [&](std::size_t i) {
          return i == current;
        }).k;
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

std::pair<double, double> AreaAddedReduction::referenceDirection(std::size_t from,
                                                                 std::size_t current) const {
  if (from == kNone) return {1.0, 0.0};
  const McpPoint at = fixes_[current];
  const McpPoint reference{2.0 * at.x - fixes_[from].x, 2.0 * at.y - fixes_[from].y};
  return {reference.x - at.x, reference.y - at.y};
}

std::optional<AreaAddedReduction::Step> AreaAddedReduction::stepOf(std::size_t from, std::size_t current,
                                                                   std::size_t chosen) const {
  const McpPoint at = fixes_[current];
  const auto [refDx, refDy] = referenceDirection(from, current);
  const double angle = mcp_detail::directionAngle(refDx, refDy);
  const double turn = mcp_detail::turnDegreesFrom(angle, at, fixes_[chosen]);
  const std::optional<StepFrame> frame = frameOf(at, refDx, refDy, fixes_[chosen], turn);
  if (!frame) return std::nullopt;
  return Step{at, angle, turn, *frame};
}

bool AreaAddedReduction::beats(std::size_t i, const Step& step, std::size_t chosen) const {
  if (losesEveryStep(fixes_[i], std::span<const StepFrame>(&step.frame, 1))) return false;
  const double t = mcp_detail::turnDegreesFrom(step.angle, step.at, fixes_[i]);
  return t < step.turn || (t == step.turn && i < chosen);
}

std::vector<std::size_t> AreaAddedReduction::pocketFixes(std::size_t j) {
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

AreaAddedReduction::PocketRegion AreaAddedReduction::pocketRegion(std::size_t j, std::size_t before,
                                                                  std::size_t after) const {
  const McpPoint prev = fixes_[before];
  const McpPoint next = fixes_[after];
  const double cx = next.x - prev.x;
  const double cy = next.y - prev.y;
  const double chord = std::hypot(cx, cy);
  return {prev,
          cx,
          cy,
          kNearEdgeShare * chord * extent_,
          kPocketBoxShare * extent_,
          grown(grown(grown(kEmptyBox, prev), next), fixes_[j]),
          chord > 0.0};
}

std::vector<std::size_t> AreaAddedReduction::pocketQuery(std::size_t j, std::size_t before,
                                                         std::size_t after) const {
  const PocketRegion r = pocketRegion(j, before, after);
  std::vector<std::size_t> pocket;
  if (r.chord) {
    const double slack = kCrossSlack * std::hypot(r.cx, r.cy) * diameter_;
    tree_.collect(
        [&](const Box& box) {
          return box.xmin <= r.corner.xmax + r.reach && box.xmax >= r.corner.xmin - r.reach &&
                 box.ymin <= r.corner.ymax + r.reach && box.ymax >= r.corner.ymin - r.reach &&
                 leastCross(r.cx, r.cy, r.prev, box) <= r.margin + slack;
        },
        [&](const McpPoint& p) { return cross(r.cx, r.cy, p.x - r.prev.x, p.y - r.prev.y) <= r.margin; },
        pocket);
  }
  std::sort(pocket.begin(), pocket.end());
  std::erase(pocket, j);
  return pocket;
}

void AreaAddedReduction::guessPockets(std::size_t p, std::size_t n, const std::vector<std::size_t>& opened) {
  if (!checkable_ || slotOf_[p] == kNone || slotOf_[n] == kNone || ring_.size() < 3) return;
  std::size_t slot = slotOf_[p];
  for (std::size_t k = 0; k < opened.size(); ++k) {
    slot = slot + 1 == ring_.size() ? 0 : slot + 1;
    const std::size_t v = ring_[slot];
    if (v == n) return;
    const std::size_t before = ringAt(slot, -1);
    const std::size_t after = ringAt(slot, 1);
    const PocketRegion r = pocketRegion(v, before, after);
    std::vector<std::size_t> fixes;
    for (const std::size_t i : opened) {
      if (i != v && tree_.alive(i) && r.holds(fixes_[i])) fixes.push_back(i);
    }
    foundPockets_[v] = {before, after, std::move(fixes)};
  }
}

template <class Excluded, class Loses>
std::vector<std::size_t> AreaAddedReduction::failingFixes(std::size_t j, const Excluded& excluded,
                                                          const std::vector<StepFrame>& frames,
                                                          const std::vector<StepKey>& keys,
                                                          const std::vector<std::size_t>& candidates,
                                                          const Loses& loses) {
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

std::optional<LocalWalk> AreaAddedReduction::localChain(std::size_t j,
                                                        const std::vector<std::size_t>& pocket) {
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
      const auto [best, turn] =
          smallestTurn(angle, refDx, refDy, at, fixes_, candidates, taken,
                       [&](std::size_t i) { return i == current || (i == start && fixes_[i] == at); });
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

Hull AreaAddedReduction::hullWithout(std::size_t j, bool tryLocal) {
  if (!checkable_ || ring_.size() < 3) return wrapAllBut(j);

  const std::vector<std::size_t> pocket = pocketFixes(j);
  std::optional<LocalWalk> local;
  if (tryLocal) local = localChain(j, pocket);
  if (local) {
    Hull h{spliced(slotOf_[j], local->chain), 0.0, std::nullopt};
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

const std::vector<std::size_t>& AreaAddedReduction::band(const StepKey& key, const StepFrame& f) {
  bandScratch_.clear();
  appendLineBand(key.from == kNone ? key.current : key.from, key.current, f.current, f.rx, f.ry, f.rn);
  appendLineBand(key.current, key.chosen, f.current, f.vx, f.vy, f.vn);
  return bandScratch_;
}

void AreaAddedReduction::appendLineBand(std::size_t a, std::size_t b, McpPoint current, double dx, double dy,
                                        double dn) {
  auto found = bands_.find({a, b});
  if (found == bands_.end()) {
    const McpPoint anchor = fixes_[a];
    double vx = fixes_[b].x - anchor.x;
    double vy = fixes_[b].y - anchor.y;
    if (vx == 0.0 && vy == 0.0) vx = 1.0;
    const double v2 = vx * vx + vy * vy;
    LineBand line{0.0, 0.0, {}};  // a direction too short to measure matches no step
    if (v2 >= kSmallestSquaredLength) {
      const double vn = std::sqrt(v2);
      line.ux = vx / vn;
      line.uy = vy / vn;
      lineQuery(anchor, vx, vy, vn, kAngleMargin + kLineSlack, line.fixes);
    }
    found = bands_.emplace(LineKey{a, b}, std::move(line)).first;
  }
  const LineBand& line = found->second;
  if (std::hypot(dx / dn - line.ux, dy / dn - line.uy) <= kLineMatch) {
    bandScratch_.insert(bandScratch_.end(), line.fixes.begin(), line.fixes.end());
  } else {
    lineQuery(current, dx, dy, dn, kAngleMargin, bandScratch_);
  }
}

void AreaAddedReduction::lineQuery(McpPoint anchor, double dx, double dy, double dn, double margin,
                                   std::vector<std::size_t>& out) const {
  const double t = margin * dn * diameter_;
  const double slack = kCrossSlack * dn * diameter_;
  tree_.collect([&](const Box& box) { return leastCross(dx, dy, anchor, box) <= t + slack; },
                [&](const McpPoint& p) { return cross(dx, dy, p.x - anchor.x, p.y - anchor.y) <= t; }, out);
}

std::optional<StepFrame> AreaAddedReduction::frameOf(McpPoint current, double refDx, double refDy,
                                                     McpPoint chosen, double turn) {
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

bool AreaAddedReduction::framesOf(const HullWalk& walk, std::span<const McpPoint> subset,
                                  std::vector<StepFrame>& frames) {
  frames.reserve(walk.steps.size());
  for (const HullStep& s : walk.steps) {
    const std::optional<StepFrame> f = frameOf(s.current, s.refDx, s.refDy, subset[s.chosen], s.turn);
    if (!f) return false;
    frames.push_back(*f);
  }
  return true;
}

bool AreaAddedReduction::neverChosen(McpPoint p, const HullWalk& walk, const std::vector<StepFrame>& frames) {
  const double dy = p.y - walk.ymin;
  const double dx = p.x - walk.xmin;
  if (!(dy > 0.0) || (dx > 0.0 && dy / dx < kSmallestSlope)) return false;
  return losesEveryStep(p, frames);
}

bool AreaAddedReduction::losesEveryStep(McpPoint p, std::span<const StepFrame> frames) {
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

}  // namespace orvex::core::mcp_detail::area_added
