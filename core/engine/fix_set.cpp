// Engine start, the fix set, standardisation, the variances and href.

#include <cmath>
#include <cstddef>
#include <new>

#include "core/engine/contour_levels.h"
#include "core/engine/kernel_engine.h"
#include "core/engine/kernel_math.h"

namespace orvex::core {

namespace {

constexpr std::int32_t kEngineVersion = 2;
constexpr double kDefaultLowerBound = 0.1;
constexpr double kDefaultUpperBound = 10.0;

struct Moments {
  double mean_x = 0.0;
  double mean_y = 0.0;
  double var_x = 0.0;
  double var_y = 0.0;
};

// Means and sample variances (divisor n - 1) of the working coordinates. A variance of fewer
// than two fixes is undefined; it counts as 0 so that no caller divides 0 by 0.
Moments working_moments(std::span<const FixRecord> fixes) {
  Moments m;
  const std::size_t n = fixes.size();
  if (n == 0) return m;
  for (const auto& f : fixes) {
    m.mean_x += f.x;
    m.mean_y += f.y;
  }
  m.mean_x /= static_cast<double>(n);
  m.mean_y /= static_cast<double>(n);
  if (n < 2) return m;
  for (const auto& f : fixes) {
    m.var_x += (f.x - m.mean_x) * (f.x - m.mean_x);
    m.var_y += (f.y - m.mean_y) * (f.y - m.mean_y);
  }
  m.var_x /= static_cast<double>(n - 1);
  m.var_y /= static_cast<double>(n - 1);
  return m;
}

}  // namespace

KernelEngine::KernelEngine(std::int32_t n) { avmain(n); }

KernelEngine::~KernelEngine() = default;
KernelEngine::KernelEngine(KernelEngine&&) noexcept = default;
KernelEngine& KernelEngine::operator=(KernelEngine&&) noexcept = default;

std::int32_t KernelEngine::avmain(std::int32_t n) {
  // Acquire before releasing: an engine that reopens keeps sharing its stream, untruncated.
  log_ = EngineLog::open_shared(EngineLog::default_candidates());

  fixes_.clear();
  fixes_.shrink_to_fit();
  capacity_ = 0;
  insert_index_ = 0;
  fix_count_ = 0;
  mode_ = NONE;
  href_valid_ = false;
  h_set_ = false;
  table_made_ = false;
  scale_found_ = false;
  if (n < 0) return 0;
  try {
    fixes_.assign(static_cast<std::size_t>(n) + 1, FixRecord{});
  } catch (const std::bad_alloc&) {
    return 0;
  } catch (const std::length_error&) {
    return 0;
  }
  capacity_ = n;

  log_.print("Kernel home range estimation - %s at %s, v%d\n", {__DATE__, __TIME__, kEngineVersion});

  density_contouring_ = false;
  reset_contour_levels(levels_, level_count_);
  lower_bound_ = kDefaultLowerBound;
  upper_bound_ = kDefaultUpperBound;
  return 1;
}

std::int32_t KernelEngine::Add_Point(float x, float y) {
  if (insert_index_ > capacity_ || static_cast<std::size_t>(insert_index_) >= fixes_.size()) {
    warning(format_log_text("More points Added than were allocated for (%d)", {insert_index_}));
  } else {
    FixRecord& fix = fixes_[static_cast<std::size_t>(insert_index_)];
    fix.x = static_cast<double>(x);
    fix.y = static_cast<double>(y);
    ++insert_index_;
  }
  fix_count_ = insert_index_;
  return fix_count_;
}

std::span<const FixRecord> KernelEngine::Trackingdata() const {
  return std::span<const FixRecord>(fixes_.data(), static_cast<std::size_t>(fix_count_));
}

double KernelEngine::gethref() {
  if (href_valid_) return href_;
  const Moments m = working_moments(Trackingdata());
  const double s = std::sqrt((m.var_x + m.var_y) / 2.0);
  href_ = fix_count_ > 0 ? s / std::pow(static_cast<double>(fix_count_), 1.0 / 6.0) : 0.0;
  log_.print("gethref: \tmean (%f,%f),\n\tvariance (%f,%f),\n\ts %f, href %f\n",
             {m.mean_x, m.mean_y, m.var_x, m.var_y, s, href_});
  href_valid_ = true;
  return href_;
}

std::int32_t KernelEngine::stdize(std::int32_t mode) {
  if (mode_ != NONE) Unstandardize();
  switch (mode) {
    case NONE:
      log_.write("Standardizing to NONE\n");
      return NONE;
    case STD_X:
      log_.write("Standardizing to STD_X\n");
      break;
    case STD_Y:
      log_.write("Standardizing to STD_Y\n");
      break;
    case STD_Unit:
      log_.write("Standardizing to STD_Unit\n");
      break;
    default:
      return mode;
  }

  const Moments m = working_moments(Trackingdata());
  sd_x_ = std::sqrt(m.var_x);
  sd_y_ = std::sqrt(m.var_y);
  log_.print(mode == STD_Unit ? "stdize: mean x,y: %f %f\n" : "stdize_x: mean x,y: %f %f\n",
             {m.mean_x, m.mean_y});
  log_.print("stdize: var  x,y: %f %f\n", {m.var_x, m.var_y});
  log_.print("sd(x,y) : %f %f\n", {sd_x_, sd_y_});
  const double sx = usable_sd(sd_x_);
  const double sy = usable_sd(sd_y_);
  if (sx != sd_x_ && mode != STD_Y) warning("stdize: the x coordinates have no spread; x is left unscaled");
  if (sy != sd_y_ && mode != STD_X) warning("stdize: the y coordinates have no spread; y is left unscaled");

  for (std::int32_t k = 0; k < fix_count_; ++k) {
    FixRecord& f = fixes_[static_cast<std::size_t>(k)];
    f.raw_x = f.x;
    f.raw_y = f.y;
    switch (mode) {
      case STD_X:
        f.y = f.raw_y / sy * sx;
        break;
      case STD_Y:
        f.x = f.raw_x / sx * sy;
        break;
      default:
        f.x = f.raw_x / sx;
        f.y = f.raw_y / sy;
        break;
    }
  }
  mode_ = mode;
  href_valid_ = false;
  return mode_;
}

std::int32_t KernelEngine::Unstandardize() {
  if (mode_ == NONE) return 0;
  for (std::int32_t k = 0; k < fix_count_; ++k) {
    FixRecord& f = fixes_[static_cast<std::size_t>(k)];
    f.x = f.raw_x;
    f.y = f.raw_y;
    f.raw_x = 0.0;
    f.raw_y = 0.0;
  }
  mode_ = NONE;
  href_valid_ = false;
  return 0;
}

namespace {

// Two passes (mean, then squared deviations): for projected coordinates of millions of metres
// the one-pass sum of squares loses most of the digits the display shows.
double loaded_variance(std::span<const FixRecord> fixes, bool use_raw, bool along_x) {
  const std::size_t n = fixes.size();
  if (n < 2) return 0.0;
  auto value = [&](const FixRecord& f) {
    return along_x ? (use_raw ? f.raw_x : f.x) : (use_raw ? f.raw_y : f.y);
  };
  double mean = 0.0;
  for (const auto& f : fixes) mean += value(f);
  mean /= static_cast<double>(n);
  double sum = 0.0;
  for (const auto& f : fixes) sum += (value(f) - mean) * (value(f) - mean);
  return sum / static_cast<double>(n - 1);
}

}  // namespace

double KernelEngine::variance_x() const { return loaded_variance(Trackingdata(), mode_ != NONE, true); }

double KernelEngine::variance_y() const { return loaded_variance(Trackingdata(), mode_ != NONE, false); }

void KernelEngine::warning(std::string_view text) { log_.print("WARNING: %s\n", {text}); }

}  // namespace orvex::core
