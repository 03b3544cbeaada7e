#include "core/mcp/mcp_area_added.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <numeric>
#include <optional>
#include <utility>
#include <vector>

#include "core/mcp/mcp_area_added_reduction.h"

namespace orvex::core {

namespace mcp_detail::area_added {

AreaAddedReduction::AreaAddedReduction(std::span<const McpPoint> fixes, std::size_t target, bool fast)
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

std::vector<std::size_t> AreaAddedReduction::drops() {
  std::vector<std::size_t> order;
  order.reserve(left_ - std::min(left_, target_));
  while (left_ > target_) order.push_back(removeOne());
  return order;
}

void AreaAddedReduction::setRing(Hull hull) {
  std::vector<std::size_t> joined;
  if (const auto splice = spliceOf(hull.ring)) {
    // Only the vertex replaced and the places from it on change; the chain's fixes were off
    // the ring, so they carry no pocket and have all joined it.
    const auto [s, q] = *splice;
    const auto at = static_cast<std::ptrdiff_t>(s);
    joined.assign(hull.ring.begin() + at, hull.ring.begin() + at + static_cast<std::ptrdiff_t>(q));
    slotOf_[ring_[s]] = kNone;
    pocketAt_.erase(pocketAt_.begin() + at);
    pocketAt_.insert(pocketAt_.begin() + at, q, nullptr);
    ring_ = std::move(hull.ring);
    for (std::size_t k = s; k < (q == 1 ? s + 1 : ring_.size()); ++k) slotOf_[ring_[k]] = k;
  } else {
    std::vector<Pocket*> carried(hull.ring.size(), nullptr);
    for (std::size_t k = 0; k < hull.ring.size(); ++k) {
      const std::size_t old = slotOf_[hull.ring[k]];
      if (old != kNone) {
        carried[k] = pocketAt_[old];
      } else {
        joined.push_back(hull.ring[k]);
      }
    }
    for (const std::size_t i : ring_) slotOf_[i] = kNone;
    ring_ = std::move(hull.ring);
    for (std::size_t k = 0; k < ring_.size(); ++k) slotOf_[ring_[k]] = k;
    pocketAt_ = std::move(carried);
  }
  area_ = hull.area;
  dropPocketsHolding(joined);
  sortedRing_.clear();
  bounded_ = false;
  if (fast_ && checkable_ && ring_.size() >= kBoundedFrom) {
    ringSum_ = hull.sum ? *hull.sum : ringSum(ring_);
    ringError_ = mcp_detail::shoelaceError(ringSum_.magnitude, ringSum_.terms);
    bounded_ = ringSum_.area() == area_ && std::isfinite(ringError_);
  }
}

std::optional<std::pair<std::size_t, std::size_t>> AreaAddedReduction::spliceOf(
    const std::vector<std::size_t>& next) const {
  const std::size_t h = ring_.size();
  if (h == 0 || next.size() + 1 < h) return std::nullopt;
  const std::size_t q = next.size() + 1 - h;
  std::size_t s = 0;
  while (s < h && s < next.size() && next[s] == ring_[s]) ++s;
  if (s == h) return std::nullopt;
  for (std::size_t k = s + 1; k < h; ++k) {
    if (next[k + q - 1] != ring_[k]) return std::nullopt;
  }
  for (std::size_t k = s; k < s + q; ++k) {
    if (slotOf_[next[k]] != kNone) return std::nullopt;
  }
  return std::pair{s, q};
}

void AreaAddedReduction::dropPocketsHolding(const std::vector<std::size_t>& fixes) {
  for (const std::size_t i : fixes) {
    const auto owners = holders_.find(i);
    if (owners == holders_.end()) continue;
    for (const std::size_t j : owners->second) {
      const auto pocket = pockets_.find(j);
      if (pocket == pockets_.end() || std::find(pocket->second.chain.begin(), pocket->second.chain.end(),
                                                i) == pocket->second.chain.end())
        continue;
      const std::size_t slot = slotOf_[j];
      if (slot != kNone && pocketAt_[slot] == &pocket->second) pocketAt_[slot] = nullptr;
      pockets_.erase(pocket);
    }
    holders_.erase(owners);
  }
}

const std::vector<std::size_t>& AreaAddedReduction::sortedRing() {
  if (sortedRing_.empty()) {
    sortedRing_ = ring_;
    std::sort(sortedRing_.begin(), sortedRing_.end());
  }
  return sortedRing_;
}

std::size_t AreaAddedReduction::firstOffRing() {
  while (firstAlive_ < fixes_.size() && !tree_.alive(firstAlive_)) ++firstAlive_;
  std::size_t i = firstAlive_;
  while (i < fixes_.size() && (!tree_.alive(i) || slotOf_[i] != kNone)) ++i;
  return i;
}

std::size_t AreaAddedReduction::removeOne() {
  const std::size_t offRing = firstOffRing();
  scores_.clear();
  fullHulls_.clear();
  Hull full;  // what pocketOf fills whenever it returns nullptr
  // The greatest lower end so far: an interval below it is below the leader found after the
  // loop as well, and is left out at once.
  double leading = -HUGE_VAL;
  // Every kept pocket's swap came from swapOf before this loop, so within swapBound_.
  const mcp_detail::AreaLostCeiling ceiling(ringSum_, ringError_, swapBound_);
  for (std::size_t slot = 0; slot < ring_.size(); ++slot) {
    const std::size_t j = ring_[slot];
    if (slot > 0) {
      const Pocket* pocket = keptPocket(slot);
      if (pocket != nullptr && bounded_) {
        const std::optional<double> hi = ceiling.hiAtMost(pocket->swap.twicePocket);
        if (hi && *hi < leading) continue;
      }
      if (pocket == nullptr) pocket = pocketOf(slot, full);
      if (pocket != nullptr) {
        if (bounded_) {
          if (const auto in = mcp_detail::areaLostInterval(ringSum_, ringError_, pocket->swap)) {
            if (!(in->hi >= leading)) continue;
            leading = std::max(leading, in->lo);
            scores_.emplace_back(j, slot, in->lo, in->hi, 0.0, pocket, false);
            continue;
          }
        }
        const double area = splicedArea(slot, pocket->chain);
        scores_.emplace_back(j, slot, area_ - area, area_ - area, area, pocket, true);
        continue;
      }
      scores_.emplace_back(j, slot, area_ - full.area, area_ - full.area, full.area, nullptr, true);
      fullHulls_.emplace_back(j, std::move(full));
      continue;
    }
    const double area = startWithoutArea();
    scores_.emplace_back(j, slot, area_ - area, area_ - area, area, nullptr, true);
  }
  if (offRing < fixes_.size()) scores_.emplace_back(offRing, kNone, 0.0, 0.0, area_, nullptr, true);

  double leader = -HUGE_VAL;
  for (const Score& score : scores_) leader = std::max(leader, score.lo);
  std::erase_if(scores_, [&](const Score& score) { return !(score.hi >= leader); });
  std::sort(scores_.begin(), scores_.end(), [](const Score& a, const Score& b) { return a.j < b.j; });

  const Score* best = nullptr;
  double bestD = -1.0;
  const Score* greatest = nullptr;
  // The sums of the rings summed here, so that the one kept need not be summed again.
  std::vector<std::pair<std::size_t, mcp_detail::ShoelaceSum>> sums;
  for (Score& score : scores_) {
    if (!score.exact) {
      sums.emplace_back(score.j, splicedSum(score.slot, score.pocket->chain));
      score.area = sums.back().second.area();
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
  if (best->slot == 0) {
    bestHull = {*startWalk_, best->area, std::nullopt};
  } else if (best->slot != kNone) {
    if (best->pocket != nullptr) {
      bestHull = {spliced(best->slot, best->pocket->chain), best->area, std::nullopt};
      for (const auto& [j, sum] : sums) {
        if (j == bestJ) bestHull.sum = sum;
      }
    } else {
      for (auto& [j, hull] : fullHulls_) {
        if (j == bestJ) bestHull = std::move(hull);
      }
    }
  }
  remove(bestJ, std::move(bestHull));
  return bestJ;
}

void AreaAddedReduction::remove(std::size_t bestJ, Hull bestHull) {
  tree_.remove(bestJ);
  --left_;
  pockets_.erase(bestJ);
  const std::size_t slot = slotOf_[bestJ];
  std::vector<std::size_t> opened;
  bool guess = false;
  if (const auto found = foundPockets_.find(bestJ); found != foundPockets_.end()) {
    guess =
        slot != kNone && found->second.before == ringAt(slot, -1) && found->second.after == ringAt(slot, 1);
    opened = std::move(found->second.fixes);
    foundPockets_.erase(found);
  }
  if (slot != kNone) {
    const std::size_t p = ringAt(slot, -1);
    const std::size_t n = ringAt(slot, 1);
    if (bestJ == ring_.front()) {
      carryPocketsPastStart(bestHull.ring.empty() ? kNone : bestHull.ring.front());
      startWalk_.reset();
    } else {
      carryStartWalk(bestJ, bestHull);
    }
    setRing(std::move(bestHull));
    if (guess && fast_) guessPockets(p, n, opened);
  } else {
    startWalk_.reset();
    holders_.erase(bestJ);
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

void AreaAddedReduction::carryPocketsPastStart(std::size_t s2) {
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

void AreaAddedReduction::carryStartWalk(std::size_t b, const Hull& withoutB) {
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
  if (slotOf_[keptStart] != kNone && slotOf_[keptStart] < slot && !losesChainSteps(keptStart, slot, chain)) {
    startWalk_.reset();
    return;
  }
  in = startWalk_->erase(in);
  startWalk_->insert(in, chain.begin(), chain.end());
  startArea_.reset();
}

bool AreaAddedReduction::losesChainSteps(std::size_t s, std::size_t slot,
                                         const std::vector<std::size_t>& chain) const {
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

mcp_detail::ShoelaceSum AreaAddedReduction::ringSum(const std::vector<std::size_t>& ring) const {
  mcp_detail::ShoelaceSum sum{fixes_[ring.front()], fixes_[ring.back()]};
  for (std::size_t k = ring.size() - 1; k >= 1; --k) sum.add(fixes_[ring[k - 1]]);
  return sum;
}

double AreaAddedReduction::ringArea(const std::vector<std::size_t>& ring) const {
  return ring.size() < 3 ? 0.0 : ringSum(ring).area();
}

double AreaAddedReduction::splicedArea(std::size_t slot, const std::vector<std::size_t>& chain) const {
  return ring_.size() - 1 + chain.size() < 3 ? 0.0 : splicedSum(slot, chain).area();
}

mcp_detail::ShoelaceSum AreaAddedReduction::splicedSum(std::size_t slot,
                                                       const std::vector<std::size_t>& chain) const {
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
  return sum;
}

std::vector<std::size_t> AreaAddedReduction::spliced(std::size_t slot,
                                                     const std::vector<std::size_t>& chain) const {
  std::vector<std::size_t> ring;
  ring.reserve(ring_.size() + chain.size());
  ring.insert(ring.end(), ring_.begin(), ring_.begin() + static_cast<std::ptrdiff_t>(slot));
  ring.insert(ring.end(), chain.begin(), chain.end());
  ring.insert(ring.end(), ring_.begin() + static_cast<std::ptrdiff_t>(slot) + 1, ring_.end());
  return ring;
}

double AreaAddedReduction::startWithoutArea() {
  if (!startWalk_) {
    if (fast_) startWalk_ = guessedStartWalk();
    if (!startWalk_) startWalk_ = hullWithout(ring_.front()).ring;
    startArea_.reset();
  }
  if (!startArea_) startArea_ = ringArea(*startWalk_);
  return *startArea_;
}

const Pocket* AreaAddedReduction::pocketOf(std::size_t slot, Hull& full) {
  const std::size_t j = ring_[slot];
  const bool keepable = ring_.size() >= 6;
  if (keepable) {
    Pocket* pocket = pocketAt_[slot];
    if (pocket == nullptr) {
      const auto found = pockets_.find(j);
      if (found != pockets_.end()) pocket = &found->second;
    }
    const auto offRing = [&](std::size_t i) { return tree_.alive(i) && slotOf_[i] == kNone; };
    if (pocket != nullptr && pocket->pp == ringAt(slot, -2) && pocket->p == ringAt(slot, -1) &&
        pocket->n == ringAt(slot, 1) && pocket->nn == ringAt(slot, 2) &&
        (fast_ || std::all_of(pocket->chain.begin(), pocket->chain.end(), offRing))) {
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
  for (const std::size_t i : pocket.chain) {
    std::vector<std::size_t>& owners = holders_[i];
    if (owners.empty() || owners.back() != j) owners.push_back(j);
  }
  return &pocket;
}

mcp_detail::ChainSwap AreaAddedReduction::swapOf(std::size_t slot, const std::vector<std::size_t>& chain) {
  std::vector<McpPoint> points(chain.size());
  for (std::size_t k = 0; k < chain.size(); ++k) points[k] = fixes_[chain[k]];
  const mcp_detail::ChainSwap swap =
      mcp_detail::chainSwap(fixes_[ring_.front()], fixes_[ringAt(slot, -1)], fixes_[ring_[slot]],
                            fixes_[ringAt(slot, 1)], slot + 1 == ring_.size(), points);
  // A NaN raises the bound to infinity, under which the ceiling never answers.
  const auto raise = [](double& bound, double value) {
    if (!(value <= bound)) bound = value > bound ? value : HUGE_VAL;
  };
  raise(swapBound_.pocketError, swap.pocketError);
  raise(swapBound_.addedMagnitude, swap.addedMagnitude);
  swapBound_.addedTerms = std::max(swapBound_.addedTerms, swap.addedTerms);
  return swap;
}

void AreaAddedReduction::sweepBands() {
  if (bands_.size() < std::max(kBandSweepFloor, kBandSweepGrowth * bandsAfterSweep_)) return;
  std::erase_if(bands_, [&](const auto& entry) {
    const LineKey& key = entry.first;
    return !tree_.alive(key.a) || !tree_.alive(key.b);
  });
  bandsAfterSweep_ = bands_.size();
}

Hull AreaAddedReduction::wrapAllBut(std::size_t j) const {
  std::vector<std::size_t> ids;
  std::vector<McpPoint> rest;
  for (std::size_t i = 0; i < fixes_.size(); ++i) {
    if (i != j && tree_.alive(i)) {
      ids.push_back(i);
      rest.push_back(fixes_[i]);
    }
  }
  const HullWalk walk = mcp_detail::walkHull(rest, false);
  Hull h{{}, mcp_detail::ringOf(rest, walk).area, std::nullopt};
  for (const std::size_t r : walk.ring) h.ring.push_back(ids[r]);
  return h;
}

}  // namespace mcp_detail::area_added

std::vector<McpPoint> mcpAreaAddedKeep(std::span<const McpPoint> fixes, std::size_t target) {
  const std::vector<std::size_t> drops = mcpAreaAddedDrops(fixes, target);
  return mcpKeptAfterDrops(fixes, drops, drops.size());
}

std::vector<std::size_t> mcpAreaAddedDrops(std::span<const McpPoint> fixes, std::size_t target) {
  if (fixes.size() <= target) return {};
  return mcp_detail::area_added::AreaAddedReduction(fixes, target, true).drops();
}

std::vector<McpPoint> mcpKeptAfterDrops(std::span<const McpPoint> fixes, std::span<const std::size_t> drops,
                                        std::size_t count) {
  std::vector<char> dropped(fixes.size(), 0);
  for (std::size_t k = 0; k < count; ++k) dropped[drops[k]] = 1;
  std::vector<McpPoint> kept;
  kept.reserve(fixes.size() - count);
  for (std::size_t i = 0; i < fixes.size(); ++i) {
    if (!dropped[i]) kept.push_back(fixes[i]);
  }
  return kept;
}

namespace mcp_detail {

std::vector<McpPoint> areaAddedKeepSummingAll(std::span<const McpPoint> fixes, std::size_t target) {
  if (fixes.size() <= target) return {fixes.begin(), fixes.end()};
  const std::vector<std::size_t> drops = area_added::AreaAddedReduction(fixes, target, false).drops();
  return mcpKeptAfterDrops(fixes, drops, drops.size());
}

}  // namespace mcp_detail

}  // namespace orvex::core
