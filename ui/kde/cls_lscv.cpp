#include "ui/kde/cls_lscv.h"

#include <cmath>
#include <limits>
#include <new>
#include <utility>

namespace orvex::ui {

namespace {

[[noreturn]] void Fail(KdeErrorNumber number, const char* description) {
  throw KdeError(number, description);
}

}  // namespace

void clsLSCV::SetSearchRange(double minimum, double maximum) {
  searchMinimum_ = std::abs(minimum);
  searchMaximum_ = std::abs(maximum);
}

void clsLSCV::SetInputCoords(std::span<const CoordPair> coords) {
  pairs_.Assign(coords, options_);
  // The results describe the previous fixes.
  hrefComputed_ = false;
  lscvDone_ = false;
  bcvDone_ = false;
  if (coords.empty()) lErrorStatus = kNoFixes;
}

std::optional<CrossValidationProfile> clsLSCV::GetLSCVProfile() const {
  if (!lscvDone_ && !bcvDone_) return std::nullopt;
  return profile_;
}

double clsLSCV::GetBandwidth() const { return lscvDone_ || bcvDone_ ? bandwidth_ : -1.0; }

double clsLSCV::GetHREF() const { return hrefComputed_ ? href_ : -1.0; }

void clsLSCV::SetStepValue(double step) { step_ = step; }

void clsLSCV::CalculateLSCV() {
  RunScan(CrossValidationKind::lscv, 2.0, Stages{kLscvStart, kLscvSteps, kLscvEnd});
  // The flag is set inside RunScan only when the scan completes.
}

void clsLSCV::CalculateBCV2() {
  RunScan(CrossValidationKind::bcv2, 3.0, Stages{kBcvStart, kBcvSteps, kBcvEnd});
}

void clsLSCV::CalculateHREF() {
  if (lErrorStatus >= 1 || hrefComputed_) return;
  try {
    ComputeHref();
  } catch (const KdeError&) {
    lErrorStatus = kHrefFailed;
  }
}

void clsLSCV::ComputeHref() {
  const auto coords = pairs_.Coords();
  const double varX = CheckedSampleVariance(coords, 0);
  const double varY = CheckedSampleVariance(coords, 1);
  href_ = std::sqrt((varX + varY) / 2.0) * std::pow(static_cast<double>(coords.size()), -1.0 / 6.0);
  hrefComputed_ = true;
}

void clsLSCV::RunScan(CrossValidationKind kind, double maximumFactor, const Stages& stages) {
  if (lErrorStatus >= 1) return;
  cancelled_ = false;
  if (searchMinimum_ == 0.0 && searchMaximum_ == 0.0) {
    if (!hrefComputed_) {
      try {
        ComputeHref();
      } catch (const KdeError&) {
        lErrorStatus = kHrefFailed;
        return;
      }
    }
    searchMinimum_ = 0.05 * href_;
    searchMaximum_ = maximumFactor * href_;
  }
  if (step_ == 0.0) step_ = (searchMaximum_ - searchMinimum_) / 200.0;
  try {
    bandwidth_ = ProfileScan(kind, stages);
  } catch (const KdeError&) {
    return;  // lErrorStatus keeps the stage reached
  } catch (const std::bad_alloc&) {
    return;
  }
  (kind == CrossValidationKind::lscv ? lscvDone_ : bcvDone_) = true;
}

double clsLSCV::ProfileScan(CrossValidationKind kind, const Stages& stages) {
  bMinimized = false;
  double& minimum = searchMinimum_;
  double& maximum = searchMaximum_;
  if (minimum > maximum) std::swap(minimum, maximum);
  if (step_ < 0.0) step_ = -step_;
  const double step = step_;
  lErrorStatus = stages.start;

  const double ratio = CheckedDivide(maximum - minimum, step);
  if (!std::isfinite(ratio) || ratio + 2.0 > static_cast<double>(std::numeric_limits<std::int32_t>::max())) {
    Fail(KdeErrorNumber::overflow, "Overflow");
  }
  const auto m = static_cast<std::int64_t>(ratio) + 2;
  if (m + 1 > kMaxProfileColumns) Fail(KdeErrorNumber::out_of_memory, "Out of memory");
  const auto columns = static_cast<std::size_t>(m + 1);
  profile_.h.assign(columns, 0.0);
  profile_.score.assign(columns, 0.0);

  // The h of every column, as the scan reaches them: the minimum, then repeated additions of
  // the step while they do not exceed the maximum, then exactly the maximum. The scores of
  // all columns are summed in one pass over the pairs; the walk below then takes them in
  // scan order so that a failing column stops the scan with the stage it would have had.
  std::vector<double> hs{minimum};
  bool overflowsInSteps = false;
  double h = minimum + step;
  while (!(h > maximum)) {
    if (hs.size() > columns - 1) {
      overflowsInSteps = true;
      break;
    }
    hs.push_back(h);
    h += step;
  }
  const bool overflowsAtEnd = !overflowsInSteps && hs.size() > columns - 1;
  if (!overflowsInSteps && !overflowsAtEnd) hs.push_back(maximum);

  std::vector<double> scores(hs.size());
  if (!pairs_.Scores(kind, hs, scores, progress_)) {
    cancelled_ = true;
    Fail(KdeErrorNumber::user_interrupt, "Cancelled");
  }

  auto column = [&](std::size_t k) {
    profile_.h[k] = hs[k];
    if (!std::isfinite(scores[k])) Fail(KdeErrorNumber::division_by_zero, "Division by zero");
    profile_.score[k] = scores[k];
    return scores[k];
  };

  double best = column(0);
  double bestH = minimum;
  lErrorStatus = stages.steps;
  const std::size_t middleEnd = overflowsInSteps || overflowsAtEnd ? hs.size() : hs.size() - 1;
  for (std::size_t k = 1; k < middleEnd; ++k) {
    const double s = column(k);
    if (s < best) {
      best = s;
      bestH = hs[k];
    }
  }
  if (overflowsInSteps) Fail(KdeErrorNumber::subscript_out_of_range, "Subscript out of range");
  lErrorStatus = stages.end;
  if (overflowsAtEnd) Fail(KdeErrorNumber::subscript_out_of_range, "Subscript out of range");
  if (column(hs.size() - 1) < best) bestH = maximum;

  bMinimized = !(bestH == minimum || bestH == maximum);
  lErrorStatus = 0;
  return bestH;
}

}  // namespace orvex::ui
