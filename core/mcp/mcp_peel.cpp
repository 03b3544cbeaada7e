#include "core/mcp/mcp_peel.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numeric>
#include <tuple>
#include <utility>

namespace orvex::core {

namespace {

// Shewchuk's bound for the rounded orientation determinant: when its magnitude exceeds this
// share of |left| + |right| the sign is certain (epsilon = 2^-53).
constexpr double kEpsilon = 0x1p-53;
constexpr double kOrientationBound = (3.0 + 16.0 * kEpsilon) * kEpsilon;
// Positions per k-d tree leaf.
constexpr std::size_t kLeafSize = 8;
// Slack on a query radius so that the rounded squared distances never exclude a position that
// is within the radius exactly.
constexpr double kRadiusSlack = 1e-12;

// The sign of the sum of the terms, computed exactly: the terms are grown into a
// non-overlapping expansion (Shewchuk's Grow-Expansion), whose largest component carries the
// sign of the sum.
int exactSignOfSum(const std::array<double, 12>& terms) {
  std::array<double, 13> h{};
  std::size_t size = 0;
  for (const double b : terms) {
    double q = b;
    std::size_t kept = 0;
    for (std::size_t i = 0; i < size; ++i) {
      const double sum = q + h[i];
      const double bv = sum - q;
      const double error = (q - (sum - bv)) + (h[i] - bv);
      q = sum;
      if (error != 0.0) h[kept++] = error;
    }
    h[kept++] = q;
    size = kept;
  }
  for (std::size_t i = size; i-- > 0;) {
    if (h[i] > 0.0) return 1;
    if (h[i] < 0.0) return -1;
  }
  return 0;
}

// A product as its rounded value and the exact rounding error.
void twoProduct(double a, double b, double& product, double& error) {
  product = a * b;
  error = std::fma(a, b, -product);
}

}  // namespace

int mcpOrientation(McpPoint a, McpPoint b, McpPoint c) {
  const double left = (a.x - c.x) * (b.y - c.y);
  const double right = (a.y - c.y) * (b.x - c.x);
  const double det = left - right;
  const double bound = kOrientationBound * (std::abs(left) + std::abs(right));
  if (det > bound) return 1;
  if (-det > bound) return -1;
  // (bx - ax)(cy - ay) - (by - ay)(cx - ax) expanded into six products of input coordinates.
  std::array<double, 12> terms{};
  twoProduct(b.x, c.y, terms[0], terms[1]);
  twoProduct(-b.x, a.y, terms[2], terms[3]);
  twoProduct(-a.x, c.y, terms[4], terms[5]);
  twoProduct(-b.y, c.x, terms[6], terms[7]);
  twoProduct(b.y, a.x, terms[8], terms[9]);
  twoProduct(a.y, c.x, terms[10], terms[11]);
  return exactSignOfSum(terms);
}

std::vector<std::size_t> mcpStrictHull(std::span<const McpPoint> sorted) {
  const std::size_t m = sorted.size();
  if (m < 3) {
    std::vector<std::size_t> few(m);
    std::iota(few.begin(), few.end(), std::size_t{0});
    return few;
  }
  std::vector<std::size_t> h(2 * m);
  std::size_t k = 0;
  for (std::size_t i = 0; i < m; ++i) {
    while (k >= 2 && mcpOrientation(sorted[h[k - 2]], sorted[h[k - 1]], sorted[i]) <= 0) --k;
    h[k++] = i;
  }
  for (std::size_t i = m - 1, lower = k + 1; i-- > 0;) {
    while (k >= lower && mcpOrientation(sorted[h[k - 2]], sorted[h[k - 1]], sorted[i]) <= 0) --k;
    h[k++] = i;
  }
  h.resize(k - 1);  // the last entry repeats the first
  return h;
}

McpPeel::McpPeel(std::span<const McpPoint> fixes) : fixesLeft_(fixes.size()) {
  std::vector<std::size_t> byPosition(fixes.size());
  std::iota(byPosition.begin(), byPosition.end(), std::size_t{0});
  // Lexicographic, then by index: each position's fixes come out ascending.
  std::sort(byPosition.begin(), byPosition.end(), [&](std::size_t i, std::size_t j) {
    const McpPoint& a = fixes[i];
    const McpPoint& b = fixes[j];
    if (a.x != b.x) return a.x < b.x;
    if (a.y != b.y) return a.y < b.y;
    return i < j;
  });
  fixIndex_ = byPosition;
  for (std::size_t k = 0; k < byPosition.size(); ++k) {
    const McpPoint& p = fixes[byPosition[k]];
    if (positions_.empty() || !(positions_.back() == p)) {
      positions_.push_back(p);
      fixStart_.push_back(k);
    }
  }
  fixStart_.push_back(byPosition.size());
  taken_.assign(positions_.size(), 0);
  leafOf_.assign(positions_.size(), kNone);
  order_.resize(positions_.size());
  std::iota(order_.begin(), order_.end(), std::size_t{0});
  slotPoint_ = positions_;
  if (!positions_.empty()) {
    nodes_.reserve(2 * positions_.size() / kLeafSize + 2);
    build(0, positions_.size(), kNone, 0);
  }
  slotAlive_.assign(positions_.size(), 1);
  slotOf_.resize(positions_.size());
  for (std::size_t k = 0; k < order_.size(); ++k) slotOf_[order_[k]] = k;
  hull_ = mcpStrictHull(positions_);
}

std::size_t McpPeel::build(std::size_t begin, std::size_t end, std::size_t parent, int depth) {
  const std::size_t id = nodes_.size();
  nodes_.push_back({});
  Node node{};
  node.begin = begin;
  node.end = end;
  node.parent = parent;
  node.alive = end - begin;
  node.xmin = node.ymin = HUGE_VAL;
  node.xmax = node.ymax = -HUGE_VAL;
  for (std::size_t k = begin; k < end; ++k) {
    const McpPoint& p = slotPoint_[k];
    node.xmin = std::min(node.xmin, p.x);
    node.xmax = std::max(node.xmax, p.x);
    node.ymin = std::min(node.ymin, p.y);
    node.ymax = std::max(node.ymax, p.y);
  }
  if (end - begin <= kLeafSize) {
    for (std::size_t k = begin; k < end; ++k) leafOf_[order_[k]] = id;
  } else {
    const bool byX = node.xmax - node.xmin >= node.ymax - node.ymin;
    const std::size_t mid = begin + (end - begin) / 2;
    // Points and positions move together, so that the scans above and in collect() read memory
    // in order.
    std::vector<std::pair<McpPoint, std::size_t>> slots(end - begin);
    for (std::size_t k = begin; k < end; ++k) slots[k - begin] = {slotPoint_[k], order_[k]};
    std::nth_element(
        slots.begin(), slots.begin() + static_cast<std::ptrdiff_t>(mid - begin), slots.end(),
        [&](const auto& i, const auto& j) { return byX ? i.first.x < j.first.x : i.first.y < j.first.y; });
    for (std::size_t k = begin; k < end; ++k) std::tie(slotPoint_[k], order_[k]) = slots[k - begin];
    node.left = build(begin, mid, id, depth + 1);
    node.right = build(mid, end, id, depth + 1);
  }
  nodes_[id] = node;
  return id;
}

std::size_t McpPeel::firstFix(std::size_t p) const {
  const std::size_t at = fixStart_[p] + taken_[p];
  return at < fixStart_[p + 1] ? fixIndex_[at] : kNone;
}

template <class BoxMayHold, class Keep>
void McpPeel::collect(const BoxMayHold& boxMayHold, const Keep& keep, std::vector<std::size_t>& out) const {
  if (nodes_.empty()) return;
  std::vector<std::size_t> stack{0};
  while (!stack.empty()) {
    const Node& node = nodes_[stack.back()];
    stack.pop_back();
    if (node.alive == 0 || !boxMayHold(node)) continue;
    if (node.left != kNone) {
      stack.push_back(node.left);
      stack.push_back(node.right);
      continue;
    }
    for (std::size_t k = node.begin; k < node.end; ++k) {
      if (slotAlive_[k] && keep(slotPoint_[k])) out.push_back(order_[k]);
    }
  }
}

void McpPeel::near(McpPoint q, double r, std::vector<std::size_t>& out) const {
  if (!(r >= 0.0)) return;
  const double r2 = r * r * (1.0 + kRadiusSlack);
  collect(
      [&](const Node& node) {
        const double dx = std::max({node.xmin - q.x, 0.0, q.x - node.xmax});
        const double dy = std::max({node.ymin - q.y, 0.0, q.y - node.ymax});
        return dx * dx + dy * dy <= r2;
      },
      [&](const McpPoint& v) {
        const double ex = v.x - q.x;
        const double ey = v.y - q.y;
        return ex * ex + ey * ey <= r2;
      },
      out);
}

void McpPeel::inTriangle(McpPoint a, McpPoint b, McpPoint c, std::vector<std::size_t>& out) const {
  const double xmin = std::min({a.x, b.x, c.x});
  const double xmax = std::max({a.x, b.x, c.x});
  const double ymin = std::min({a.y, b.y, c.y});
  const double ymax = std::max({a.y, b.y, c.y});
  // The base c -> a first: it cuts away the bulk of the set, which lies inside the hull.
  const std::array<std::array<McpPoint, 2>, 3> edges{{{c, a}, {a, b}, {b, c}}};
  collect(
      [&](const Node& node) {
        if (node.xmin > xmax || node.xmax < xmin || node.ymin > ymax || node.ymax < ymin) return false;
        // A box wholly right of one edge of the (anticlockwise) triangle holds nothing inside it:
        // its corner farthest left of the edge is right of it.
        for (const auto& e : edges) {
          const McpPoint leftmost{e[1].y < e[0].y ? node.xmax : node.xmin,
                                  e[1].x > e[0].x ? node.ymax : node.ymin};
          if (mcpOrientation(e[0], e[1], leftmost) < 0) return false;
        }
        return true;
      },
      [&](const McpPoint& v) {
        return mcpOrientation(a, b, v) >= 0 && mcpOrientation(b, c, v) >= 0 && mcpOrientation(c, a, v) >= 0;
      },
      out);
}

void McpPeel::removeFirst(std::size_t p) {
  ++taken_[p];
  --fixesLeft_;
  if (firstFix(p) != kNone) return;  // the position still holds a fix: the hull is unchanged
  slotAlive_[slotOf_[p]] = 0;
  for (std::size_t n = leafOf_[p]; n != kNone; n = nodes_[n].parent) --nodes_[n].alive;
  const auto slot = std::find(hull_.begin(), hull_.end(), p);
  if (slot == hull_.end()) return;
  if (hull_.size() >= 3) {
    repeel(static_cast<std::size_t>(slot - hull_.begin()));
  } else {
    rebuildHull();
  }
}

void McpPeel::rebuildHull() {
  std::vector<std::size_t> left;
  for (std::size_t p = 0; p < positions_.size(); ++p) {
    if (firstFix(p) != kNone) left.push_back(p);
  }
  std::vector<McpPoint> points(left.size());
  for (std::size_t k = 0; k < left.size(); ++k) points[k] = positions_[left[k]];
  hull_.clear();
  for (const std::size_t k : mcpStrictHull(points)) hull_.push_back(left[k]);
}

void McpPeel::repeel(std::size_t slot) {
  const std::size_t h = hull_.size();
  const std::size_t prev = hull_[(slot + h - 1) % h];
  const std::size_t gone = hull_[slot];
  const std::size_t next = hull_[(slot + 1) % h];
  // The new hull is the old one with `gone` replaced by the outer chain, from prev to next, of
  // the positions left in the triangle prev, gone, next (prev and next lie on it).
  std::vector<std::size_t> local{prev, next};
  inTriangle(positions_[prev], positions_[gone], positions_[next], local);
  std::sort(local.begin(), local.end());  // position order is lexicographic order
  local.erase(std::unique(local.begin(), local.end()), local.end());
  std::vector<McpPoint> points(local.size());
  for (std::size_t k = 0; k < local.size(); ++k) points[k] = positions_[local[k]];
  const std::vector<std::size_t> ring = mcpStrictHull(points);
  std::vector<std::size_t> chain;
  std::size_t at = 0;
  while (local[ring[at]] != prev) ++at;
  for (std::size_t k = (at + 1) % ring.size(); local[ring[k]] != next; k = (k + 1) % ring.size()) {
    chain.push_back(local[ring[k]]);
  }
  hull_.erase(hull_.begin() + static_cast<std::ptrdiff_t>(slot));
  hull_.insert(hull_.begin() + static_cast<std::ptrdiff_t>(slot), chain.begin(), chain.end());
}

}  // namespace orvex::core
