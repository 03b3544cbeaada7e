// Contour rings through the UD grid, by volume or by density.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <new>

#include "core/engine/contour_levels.h"
#include "core/engine/kernel_engine.h"

namespace orvex::core {

namespace {

// Tracing works on the grid framed by one ring of virtual nodes (indices -1 and S + 1) that
// always lie below the level, so a ring that reaches the border closes along the grid's edge
// instead of reading outside it. Edge flags cover the framed grid.
struct Frame {
  std::int32_t S = 0;
  std::size_t pitch = 0;

  std::size_t index(std::int32_t i, std::int32_t j) const {
    return static_cast<std::size_t>(i + 1) * pitch + static_cast<std::size_t>(j + 1);
  }
  bool inside(std::int32_t i, std::int32_t j) const { return i >= 0 && j >= 0 && i <= S && j <= S; }
};

// The flag of edge (i, j, d): directions 0 and 1 use the node's own flags, 2 and 3 those of
// the neighbour, so every edge has exactly one flag.
std::uint8_t& edge_flag(const Frame& frame, std::int32_t i, std::int32_t j, std::int32_t d,
                        std::vector<std::uint8_t>& edge0, std::vector<std::uint8_t>& edge1) {
  switch (d) {
    case 0:
      return edge0[frame.index(i, j)];
    case 1:
      return edge1[frame.index(i, j)];
    case 2:
      return edge0[frame.index(i, j - 1)];
    default:
      return edge1[frame.index(i - 1, j)];
  }
}

}  // namespace

std::int32_t KernelEngine::set_contour_levels(std::string_view contourString) {
  density_contouring_ = false;
  apply_contour_level_text(contourString, levels_, level_count_);
  return 0;
}

std::int32_t KernelEngine::AVMakeContour() {
  rings_.clear();
  rings_.shrink_to_fit();
  try {
    rings_.reserve(static_cast<std::size_t>(kNominalRingSlots));
    if (!ud_made_ || density_.empty()) {
      warning("AVMakeContour: there is no UD to contour");
      return 0;
    }
    if (!table_made_) sort_ud_table();
    if (density_contouring_) level_count_ = kDensityLevelCount;

    const std::size_t framed =
        static_cast<std::size_t>(grid_size_ + 3) * static_cast<std::size_t>(grid_size_ + 3);
    std::vector<std::uint8_t> edge0(framed);
    std::vector<std::uint8_t> edge1(framed);
    const std::int64_t walk_limit = static_cast<std::int64_t>(grid_size_) * grid_size_;
    for (std::int32_t k = 1; k <= level_count_; ++k) {
      double q = 0.0;
      float volume = 0.0f;
      if (density_contouring_) {
        q = k * sorted_density_[0] / kDensityLevelCount;
      } else {
        const float level = static_cast<float>(levels_[static_cast<std::size_t>(k - 1)]);
        const auto threshold = volume_to_density(sorted_density_, walk_limit, grid_.dx, grid_.dy, level);
        if (!threshold) {
          warning(format_log_text("Too coarse a matrix to contour at volume %f", {level}));
          continue;
        }
        q = *threshold;
        volume = level;
      }
      const std::size_t before = rings_.size();
      trace_level(q, volume, density_contouring_, edge0, edge1);
      const auto above = std::partition_point(sorted_density_.begin(), sorted_density_.end(),
                                              [q](double d) { return d > q; });
      const auto count = static_cast<double>(above - sorted_density_.begin());
      log_.print("Raster Area at Density %f = %f\n", {q, count * grid_.dx * grid_.dy});
      if (rings_.size() > before) rings_.back().end_of_level = true;
    }
  } catch (const std::bad_alloc&) {
    rings_.clear();
    log_.write("Contour Structure could not init");
    return -1;
  }
  return ring_count();
}

void KernelEngine::trace_level(double q, float volume, bool density_level, std::vector<std::uint8_t>& edge0,
                               std::vector<std::uint8_t>& edge1) {
  std::fill(edge0.begin(), edge0.end(), std::uint8_t{0});
  std::fill(edge1.begin(), edge1.end(), std::uint8_t{0});
  const Frame frame{grid_size_, static_cast<std::size_t>(grid_size_ + 3)};
  // A node at the level counts as below it, when starting a ring as while tracing.
  for (std::int32_t i = 1; i < grid_size_; ++i) {
    for (std::int32_t j = 1; j < grid_size_; ++j) {
      if (node_density(i, j) > q) continue;
      for (std::int32_t d = 0; d < 4; ++d) {
        const auto& step = kDirections[static_cast<std::size_t>(d)];
        if (!(node_density(i + step[0], j + step[1]) > q)) continue;
        if (edge_flag(frame, i, j, d, edge0, edge1) != 0) continue;
        contour_t ring;
        ring.x.reserve(static_cast<std::size_t>(MAX_POINTS_PER_POLY));
        ring.y.reserve(static_cast<std::size_t>(MAX_POINTS_PER_POLY));
        AVcontour(i, j, d, q, edge0, edge1, ring);
        ring.density = static_cast<float>(q);
        ring.volume = density_level
                          ? static_cast<float>(density_to_volume(sorted_density_, grid_.dx, grid_.dy, q))
                          : volume;
        ring.end_of_level = false;
        rings_.push_back(std::move(ring));
      }
    }
  }
}

void KernelEngine::AVcontour(std::int32_t i, std::int32_t j, std::int32_t d, double q,
                             std::vector<std::uint8_t>& edge0, std::vector<std::uint8_t>& edge1,
                             contour_t& ring) const {
  const Frame frame{grid_size_, static_cast<std::size_t>(grid_size_ + 3)};
  auto above = [&](std::int32_t a, std::int32_t b) { return frame.inside(a, b) && node_density(a, b) > q; };
  // Each step flags one edge, so a walk can never be longer than the frame has edges.
  const std::size_t max_steps = 2 * frame.pitch * frame.pitch;
  for (std::size_t steps = 0; steps < max_steps; ++steps) {
    edge_flag(frame, i, j, d, edge0, edge1) = 1;
    // (i, j) is at or below q; its neighbour (ni, nj) in direction d is above and always a
    // grid node. A virtual (i, j) puts the point on the border node itself.
    const auto& step = kDirections[static_cast<std::size_t>(d)];
    const std::int32_t ni = i + step[0];
    const std::int32_t nj = j + step[1];
    double t = 1.0;
    if (frame.inside(i, j)) {
      const double a = node_density(i, j);
      t = (q - a) / (node_density(ni, nj) - a);
    }
    const auto px = static_cast<float>((i + t * step[0]) * grid_.dx + grid_.ax);
    const auto py = static_cast<float>((j + t * step[1]) * grid_.dy + grid_.ay);
    if (frame.inside(i, j) || ring.x.empty() || ring.x.back() != px || ring.y.back() != py) {
      ring.x.push_back(px);
      ring.y.push_back(py);
    }

    const std::int32_t l = (d + 3) % 4;
    const auto& left = kDirections[static_cast<std::size_t>(l)];
    const std::int32_t li = i + left[0];
    const std::int32_t lj = j + left[1];
    if (above(li, lj)) {
      d = l;
    } else if (above(li + step[0], lj + step[1])) {
      i = li;
      j = lj;
    } else {
      i = li + step[0];
      j = lj + step[1];
      d = (d + 1) % 4;
    }
    if (edge_flag(frame, i, j, d, edge0, edge1) != 0) break;
  }
  if (!ring.x.empty()) {
    ring.x.push_back(ring.x.front());
    ring.y.push_back(ring.y.front());
  }
}

const contour_t* KernelEngine::ring_at(std::int32_t ring) const {
  if (ring < 0 || ring >= ring_count()) return nullptr;
  return &rings_[static_cast<std::size_t>(ring)];
}

std::int32_t KernelEngine::ring_point_count(std::int32_t ring) const {
  const contour_t* r = ring_at(ring);
  return r != nullptr ? r->point_count() : 0;
}

RingPoint KernelEngine::ring_point(std::int32_t ring, std::int32_t point) const {
  const contour_t* r = ring_at(ring);
  if (r == nullptr || point < 0 || point >= r->point_count()) {
    return RingPoint{std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::quiet_NaN()};
  }
  const auto p = static_cast<std::size_t>(point);
  return RingPoint{static_cast<double>(r->x[p]), static_cast<double>(r->y[p])};
}

double KernelEngine::ring_volume(std::int32_t ring) const {
  const contour_t* r = ring_at(ring);
  return r != nullptr ? static_cast<double>(r->volume) : 0.0;
}

double KernelEngine::ring_density(std::int32_t ring) const {
  const contour_t* r = ring_at(ring);
  return r != nullptr ? static_cast<double>(r->density) : 0.0;
}

bool KernelEngine::end_of_level(std::int32_t ring) const {
  const contour_t* r = ring_at(ring);
  return r != nullptr && r->end_of_level;
}

bool KernelEngine::start_of_level(std::int32_t ring) const {
  if (ring_at(ring) == nullptr) return false;
  return ring == 0 || end_of_level(ring - 1);
}

}  // namespace orvex::core
