#include "core/mcp/mcp_area_added.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "core/mcp/mcp_hull_walk.h"

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
// Outside these magnitudes the check's products could overflow or lose digits to underflow.
constexpr double kLargestExtent = 1e75;
constexpr double kSmallestSquaredLength = 1e-200;
constexpr double kSmallestSlope = 1e-200;
// Candidate sets grow by the fixes that fail the check; after this many rounds wrap them all.
constexpr int kMaxRefinements = 3;

double cross(double ax, double ay, double bx, double by) { return ax * by - ay * bx; }

struct Hull {
  std::vector<std::size_t> ring;  // positions in the wrapped set, anticlockwise, start first
  double area = 0.0;
};

Hull wrap(std::span<const McpPoint> fixes) {
  HullWalk walk = mcp_detail::walkHull(fixes, false);
  const double area = mcp_detail::ringOf(fixes, walk).area;
  return {std::move(walk.ring), area};
}

// A step's directions as the wrap evaluated them; a zero-length direction is due east.
struct StepFrame {
  McpPoint current;
  double rx, ry, rn;  // reference direction and its length
  double vx, vy, vn;  // direction to the chosen fix and its length
};

class AreaAddedReduction {
 public:
  AreaAddedReduction(std::span<const McpPoint> fixes, std::size_t target)
      : w_(fixes.begin(), fixes.end()), target_(target) {
    Hull h = wrap(w_);
    ring_ = std::move(h.ring);
    area_ = h.area;
    if (!w_.empty()) {
      auto [xmin, xmax] = std::minmax_element(w_.begin(), w_.end(),
                                              [](const McpPoint& a, const McpPoint& b) { return a.x < b.x; });
      auto [ymin, ymax] = std::minmax_element(w_.begin(), w_.end(),
                                              [](const McpPoint& a, const McpPoint& b) { return a.y < b.y; });
      extent_ = std::hypot(xmax->x - xmin->x, ymax->y - ymin->y);
    }
    checkable_ = extent_ > 0.0 && extent_ <= kLargestExtent;
  }

  std::vector<McpPoint> run() {
    while (w_.size() > target_) removeOne();
    return std::move(w_);
  }

 private:
  void removeOne() {
    const std::size_t n = w_.size();
    std::vector<char> onRing(n, 0);
    for (const std::size_t i : ring_) onRing[i] = 1;

    // best starts at -1.0 and only a strictly greater d replaces it, so equal d go to the lowest
    // index. A fix off the ring leaves the wrap as it is (no step ever chose it), so its d is
    // exactly A - A = 0 without wrapping anything.
    std::size_t bestJ = n;
    double bestD = -1.0;
    Hull bestHull;
    std::size_t maxJ = 0;
    double maxD = 0.0;
    for (std::size_t j = 0; j < n; ++j) {
      Hull h;
      double d = 0.0;
      if (onRing[j]) {
        h = hullWithout(j);
        d = area_ - h.area;
      }
      if (d > bestD) {
        bestD = d;
        bestJ = j;
        bestHull = std::move(h);
      }
      if (j == 0 || d > maxD) {
        maxD = d;
        maxJ = j;
      }
    }
    if (bestJ == n) {
      // Every d at or below -1 cannot come from a true hull; drop the greatest all the same so
      // the reduction always ends.
      bestJ = maxJ;
      if (onRing[bestJ]) bestHull = hullWithout(bestJ);
    }

    if (onRing[bestJ]) {
      ring_ = std::move(bestHull.ring);
      area_ = bestHull.area;
    } else {
      for (std::size_t& i : ring_) i -= i > bestJ ? 1 : 0;
    }
    w_.erase(w_.begin() + static_cast<std::ptrdiff_t>(bestJ));
  }

  // Hull of W without element j (a ring vertex), positions in W without j.
  Hull hullWithout(std::size_t j) const {
    const std::size_t n = w_.size();
    if (!checkable_ || ring_.size() < 3) return wrapAllBut(j);

    const auto k = static_cast<std::size_t>(std::find(ring_.begin(), ring_.end(), j) - ring_.begin());
    const McpPoint prev = w_[ring_[(k + ring_.size() - 1) % ring_.size()]];
    const McpPoint next = w_[ring_[(k + 1) % ring_.size()]];
    const double cx = next.x - prev.x;
    const double cy = next.y - prev.y;
    const double chord = std::hypot(cx, cy);
    const double pocketMargin = kNearEdgeShare * chord * extent_;

    // Candidates: what may carry the new ring, i.e. the old ring and the fixes in (or next to) the
    // pocket that opens between prev and next when j goes. When prev and next coincide, j sits
    // between copies of one position and no pocket opens. Fixes on other edges of the ring fail
    // the check of the first wrap and join the candidates for the second.
    std::vector<char> candidate(n, 0);
    for (const std::size_t i : ring_) candidate[i] = 1;
    for (std::size_t i = 0; i < n; ++i) {
      const bool inPocket = chord > 0.0 && cross(cx, cy, w_[i].x - prev.x, w_[i].y - prev.y) <= pocketMargin;
      if (inPocket) candidate[i] = 1;
    }
    candidate[j] = 0;

    for (int refinement = 0;; ++refinement) {
      std::vector<std::size_t> positions;
      std::vector<McpPoint> subset;
      for (std::size_t i = 0; i < n; ++i) {
        if (candidate[i]) {
          positions.push_back(i);
          subset.push_back(w_[i]);
        }
      }
      const HullWalk walk = mcp_detail::walkHull(subset, true);
      std::vector<StepFrame> frames;
      if (!walk.closed || !framesOf(walk, subset, frames)) return wrapAllBut(j);

      std::vector<std::size_t> failed;
      for (std::size_t i = 0; i < n; ++i) {
        if (i != j && !candidate[i] && !neverChosen(w_[i], walk, frames)) failed.push_back(i);
      }
      if (failed.empty()) {
        Hull h;
        h.area = mcp_detail::ringOf(subset, walk).area;
        h.ring.reserve(walk.ring.size());
        for (const std::size_t r : walk.ring) h.ring.push_back(positions[r] - (positions[r] > j ? 1 : 0));
        return h;
      }
      if (refinement == kMaxRefinements) return wrapAllBut(j);
      for (const std::size_t i : failed) candidate[i] = 1;
    }
  }

  Hull wrapAllBut(std::size_t j) const {
    std::vector<McpPoint> rest;
    rest.reserve(w_.size() - 1);
    for (std::size_t i = 0; i < w_.size(); ++i) {
      if (i != j) rest.push_back(w_[i]);
    }
    return wrap(rest);
  }

  static bool framesOf(const HullWalk& walk, std::span<const McpPoint> subset,
                       std::vector<StepFrame>& frames) {
    frames.reserve(walk.steps.size());
    for (const HullStep& s : walk.steps) {
      if (!(s.turn < kLargestCheckedTurnDegrees)) return false;
      StepFrame f{s.current,
                  s.refDx,
                  s.refDy,
                  0.0,
                  subset[s.chosen].x - s.current.x,
                  subset[s.chosen].y - s.current.y,
                  0.0};
      if (f.rx == 0.0 && f.ry == 0.0) f.rx = 1.0;
      if (f.vx == 0.0 && f.vy == 0.0) f.vx = 1.0;
      const double r2 = f.rx * f.rx + f.ry * f.ry;
      const double v2 = f.vx * f.vx + f.vy * f.vy;
      if (r2 < kSmallestSquaredLength || v2 < kSmallestSquaredLength) return false;
      f.rn = std::sqrt(r2);
      f.vn = std::sqrt(v2);
      frames.push_back(f);
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

  std::vector<McpPoint> w_;
  std::size_t target_;
  std::vector<std::size_t> ring_;  // positions in w_, anticlockwise, start first
  double area_ = 0.0;
  double extent_ = 0.0;
  bool checkable_ = false;
};

}  // namespace

std::vector<McpPoint> mcpAreaAddedKeep(std::span<const McpPoint> fixes, std::size_t target) {
  if (fixes.size() <= target) return {fixes.begin(), fixes.end()};
  return AreaAddedReduction(fixes, target).run();
}

}  // namespace orvex::core
