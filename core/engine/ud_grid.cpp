// The utilisation distribution grid: allocation, extents, the fixed and adaptive UD runs, the
// local bandwidths and the sorted table.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <new>

#include "core/engine/contour_levels.h"
#include "core/engine/kernel_engine.h"
#include "core/engine/kernel_math.h"
#include "core/engine/ud_density.h"

namespace orvex::core {

namespace {

// The grid spans the longer range of the fixes plus this many bandwidths on each side.
constexpr double kBorderBandwidths = 10.5;
constexpr double kFindscaleStart = 1e38;
constexpr double kVolumeLow = 0.9;
constexpr double kVolumeHigh = 1.1;

}  // namespace

std::int32_t KernelEngine::init_matrix(std::int32_t S) {
  density_.clear();
  density_.shrink_to_fit();
  sorted_nodes_.clear();
  sorted_nodes_.shrink_to_fit();
  sorted_density_.clear();
  sorted_density_.shrink_to_fit();
  ud_made_ = false;
  table_made_ = false;
  pilot_done_ = false;
  grid_size_ = 0;
  table_length_ = 0;
  // The table length is an int32: grids beyond 46339 cells a side cannot be indexed.
  const std::int64_t side = static_cast<std::int64_t>(S) + 1;
  if (S < 1 || side * side > std::numeric_limits<std::int32_t>::max()) return 0;
  try {
    const auto length = static_cast<std::size_t>(side * side);
    density_.assign(length, 0.0);
    sorted_nodes_.assign(length, 0);
    sorted_density_.assign(length, 0.0);
  } catch (const std::bad_alloc&) {
    density_.clear();
    sorted_nodes_.clear();
    sorted_density_.clear();
    return 0;
  }
  grid_size_ = S;
  table_length_ = side * side;
  // Extents found for another grid size would give the nodes the wrong spacing.
  if (S != scale_grid_size_) scale_found_ = false;
  return 1;
}

void KernelEngine::Findscale() {
  if (grid_size_ < 1) {
    warning("Findscale: no grid has been allocated (init_matrix)");
    return;
  }
  double min_x = kFindscaleStart, max_x = -kFindscaleStart;
  double min_y = kFindscaleStart, max_y = -kFindscaleStart;
  for (const auto& f : Trackingdata()) {
    min_x = std::min(min_x, f.x);
    max_x = std::max(max_x, f.x);
    min_y = std::min(min_y, f.y);
    max_y = std::max(max_y, f.y);
  }
  const double range_x = max_x - min_x;
  const double range_y = max_y - min_y;
  const double max_range = range_x > range_y ? range_x : range_y;
  if (!(max_range > 0.0) || !std::isfinite(max_range)) {
    warning("Findscale: the fixes have no extent (all at one place); no grid can be laid out");
    return;
  }
  if (!(h_ > 0.0) || !std::isfinite(h_)) {
    warning("Findscale: h is not a positive number; no grid can be laid out");
    return;
  }
  const double S = static_cast<double>(grid_size_);
  const double pad = kBorderBandwidths * h_ / max_range;
  GridGeometry g;
  if (range_y >= range_x) {
    g.dy = range_y * (2.0 * pad + 1.0) / S;
    g.ay = min_y - range_y * pad;
    g.dx = g.dy;
    g.ax = (min_x + max_x) / 2.0 - S * g.dx / 2.0;
  } else {
    g.dx = range_x * (2.0 * pad + 1.0) / S;
    g.ax = min_x - range_x * pad;
    g.dy = g.dx;
    g.ay = (min_y + max_y) / 2.0 - S * g.dy / 2.0;
  }
  found_ = g;
  grid_ = g;
  scale_found_ = true;
  scale_grid_size_ = grid_size_;
}

bool KernelEngine::ud_preconditions() {
  if (density_.empty()) {
    warning("No UD grid has been allocated (init_matrix); no UD computed");
    return false;
  }
  if (fix_count_ < 1) {
    warning("There are no fixes; no UD computed");
    return false;
  }
  for (const auto& f : Trackingdata()) {
    if (!std::isfinite(f.x) || !std::isfinite(f.y)) {
      warning("A fix has a coordinate that is not a finite number; no UD computed");
      return false;
    }
  }
  if (!h_set_) CrossValidation();
  if (!(h_ > 0.0) || !std::isfinite(h_)) {
    warning("h is not a positive number; no UD computed");
    return false;
  }
  if (!scale_found_) Findscale();
  return scale_found_;
}

void KernelEngine::compute_densities(bool adaptive) {
  std::vector<KernelSource>& sources = sources_;
  sources.resize(static_cast<std::size_t>(fix_count_));
  for (std::size_t k = 0; k < sources.size(); ++k) {
    const FixRecord& f = fixes_[k];
    const double lambda = adaptive ? f.lambda : 1.0;
    sources[k] = KernelSource{f.x, f.y, 1.0 / (lambda * lambda), lambda * h_};
  }
  accumulate_kernel_sums(sources, found_, grid_size_, density_, worker_threads_, KernelSumMethod::cheaper,
                         &sum_workspace_);
}

KernelEngine::UdRun KernelEngine::run_ud(bool adaptive) {
  const bool is_pilot = !adaptive && !pilot_done_;
  UdRun result;
  if (!ud_preconditions()) return result;

  log_.write("Calculating the ");
  log_.write(adaptive ? "Adaptive kernel " : "Fixed kernel ");
  log_.write("ud matrix...\n");
  if (adaptive && !localsmooth()) return result;

  try {
    compute_densities(adaptive);
  } catch (const std::bad_alloc&) {
    warning("Not enough memory to compute the UD");
    ud_made_ = false;
    return result;
  }
  const bool standardised = mode_ != NONE;
  const bool back_to_map_units = standardised && !is_pilot;
  // The node spacing is about to be stretched back to map units; the density shrinks by the
  // same factor so that it still integrates to the volume found here.
  const double sx = usable_sd(sd_x_);
  const double sy = usable_sd(sd_y_);
  const double n = static_cast<double>(fix_count_);
  double volume = 0.0;
  for (double& node : density_) {
    double f = node / (2.0 * kPi);
    f = f / (h_ * (n * h_));
    volume = volume + f * found_.dx * found_.dy;
    if (back_to_map_units) {
      if (mode_ == STD_X) {
        f = f * sx / sy;
      } else if (mode_ == STD_Y) {
        f = f * sy / sx;
      } else {
        f = f / (sx * sy);
      }
    }
    node = f;
  }
  volume_ = volume;
  grid_too_fine_ = !(volume > 0.0);
  if (grid_too_fine_) {
    // No node lies within the kernel's reach of a fix (h far below the node spacing), or the
    // normalisation underflowed: the grid holds no UD to contour or to smooth by.
    warning("h is too small for the grid: no node lies within the kernel's reach of a fix; no UD computed");
    ud_made_ = false;
    return result;
  }

  log_.print(is_pilot ? "%10.2f%% of the ud function included inside the pilot matrix.\n"
                      : "%10.2f%% of the ud function included inside the matrix.\n",
             {volume * 100.0});
  log_.write("Made UD Completion statement\n");
  table_made_ = false;
  ud_made_ = true;

  if (!back_to_map_units) {
    log_.write("Failed \"((standardized == true ) && (!is_pilot))\"\n");
    grid_ = found_;
  } else {
    log_.print("Coordinates of matrix (ax,ay, bx,by): %f,%f, %f,%f\n",
               {grid_.dx, grid_.dy, grid_.ax, grid_.ay});
    log_.write("returning coordinate matrix to Non-standardized position\n");
    stretch_to_map_units();
    log_.print("Coordinates of matrix (ax,ay, bx,by): %f,%f, %f,%f\n",
               {grid_.dx, grid_.dy, grid_.ax, grid_.ay});
  }
  pilot_done_ = true;
  result.computed = true;

  // Written so that a NaN volume fails the check too.
  result.volume_ok = volume >= kVolumeLow && volume <= kVolumeHigh;
  log_.write(result.volume_ok ? "Kernel Reports Success\n"
                              : "Volume in matrix failed \"if((volume < 0.9) || (volume > 1.1 )) \"\n");
  return result;
}

void KernelEngine::stretch_to_map_units() {
  // Always from the extents in working units, so a second run on the same engine does not
  // stretch the grid twice.
  const double sx = usable_sd(sd_x_);
  const double sy = usable_sd(sd_y_);
  grid_ = found_;
  if (mode_ == STD_X) {
    grid_.dy = found_.dy * (sy / sx);
    grid_.ay = found_.ay * (sy / sx);
  } else if (mode_ == STD_Y) {
    grid_.dx = found_.dx * (sx / sy);
    grid_.ax = found_.ax * (sx / sy);
  } else if (mode_ == STD_Unit) {
    grid_.dx = found_.dx * sx;
    grid_.ax = found_.ax * sx;
    grid_.dy = found_.dy * sy;
    grid_.ay = found_.ay * sy;
  }
}

bool KernelEngine::kern_fixed() {
  pilot_done_ = true;
  return run_ud(false).volume_ok;
}

bool KernelEngine::kern_adaptive() {
  pilot_done_ = false;
  return run_ud(true).volume_ok;
}

void KernelEngine::Localsmooth() { localsmooth(); }

bool KernelEngine::localsmooth() {
  log_.write("In Localsmooth.\n");
  if (!pilot_done_ && !run_ud(false).computed) return false;
  if (!ud_made_ || density_.empty()) return false;

  const std::int32_t S = grid_size_;
  const double top = static_cast<double>(S);
  std::vector<double> estimate;
  try {
    estimate.resize(static_cast<std::size_t>(fix_count_));
  } catch (const std::bad_alloc&) {
    warning("Not enough memory for the local bandwidths");
    return false;
  }
  double log_sum = 0.0;
  for (std::size_t k = 0; k < estimate.size(); ++k) {
    const FixRecord& f = fixes_[k];
    // A fix off the grid (extents found before a change of standardisation) takes the value
    // at the nearest border point instead of reading outside the grid.
    const double u = std::clamp((f.x - found_.ax) / found_.dx, 0.0, top);
    const double v = std::clamp((f.y - found_.ay) / found_.dy, 0.0, top);
    const std::int32_t i = std::min(static_cast<std::int32_t>(u), S - 1);
    const std::int32_t j = std::min(static_cast<std::int32_t>(v), S - 1);
    const double fu = u - i;
    const double fv = v - j;
    const double w00 = (1.0 - fu) * (1.0 - fv);
    const double w10 = fu * (1.0 - fv);
    const double w01 = (1.0 - fu) * fv;
    const double w11 = fu * fv;
    const double sum = w00 * node_density(i, j) + w10 * node_density(i + 1, j) +
                       w01 * node_density(i, j + 1) + w11 * node_density(i + 1, j + 1);
    estimate[k] = sum / (w00 + w10 + w01 + w11);
    log_sum += guarded_log(estimate[k]);
  }
  const double geometric_mean = std::exp(log_sum / static_cast<double>(fix_count_));
  for (std::size_t k = 0; k < estimate.size(); ++k) {
    fixes_[k].lambda = guarded_exp(-0.5 * guarded_log(estimate[k] / geometric_mean));
  }
  return true;
}

void KernelEngine::sort_ud_table() {
  if (density_.empty()) return;
  log_.write("Sorting utilisation distribution table...\n");
  stable_descending_order(density_, sorted_nodes_);
  for (std::size_t k = 0; k < sorted_nodes_.size(); ++k) sorted_density_[k] = density_[sorted_nodes_[k]];
  table_made_ = true;
}

}  // namespace orvex::core
