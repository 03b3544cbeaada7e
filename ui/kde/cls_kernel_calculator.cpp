#include "ui/kde/cls_kernel_calculator.h"

#include <cmath>
#include <limits>
#include <new>
#include <string_view>

#include "host/text.h"

namespace orvex::ui {

namespace {

constexpr std::string_view kTooLargeMessage =
    "Output raster is too large (> 50 million cells). Kernel could not be calculated. Please increase the "
    "output cell size.";
constexpr std::string_view kNothingToCalculateMessage =
    "The bandwidth or dimensions of the output raster were 0. Could not calculate kernel.";
constexpr const char* kLscvFallbackWarning =
    "Warning: the LSCV function failed to minimize between 0.05*HREF and 2.00*HREF. The bandwidth defaulted "
    "to "
    "HREF.";
// The BCV text names the LSCV range too; it is the tool's own wording.
constexpr const char* kBcvFallbackWarning =
    "Warning: the BCV function failed to minimize between 0.05*HREF and 2.00*HREF. The bandwidth defaulted "
    "to "
    "HREF.";
constexpr char kCarriageReturn = '\r';

// Progress codes of the cross-validation operations: start, after the standard deviations,
// search object created, results read.
constexpr std::int32_t kLscvProgress = 1060;
constexpr std::int32_t kBcvProgress = 1160;
constexpr std::int32_t kHrefProgress = 1061;

}  // namespace

clsKernelCalculator::clsKernelCalculator(host::UiServices* ui, host::WorkspaceFactory* workspaces)
    : ui_(ui), workspaces_(workspaces) {}

// --- setters ---------------------------------------------------------------------------------

void clsKernelCalculator::SetCellSize(double value) {
  if (!(value > 0.0)) return;
  const double rounded = std::nearbyint(value);  // the default rounding mode: halves to even
  if (!(rounded <= static_cast<double>(std::numeric_limits<std::int32_t>::max()))) {
    throw KdeError(KdeErrorNumber::overflow, "Overflow");
  }
  cellSize_ = static_cast<std::int32_t>(rounded);
  calculated_ = false;
}

void clsKernelCalculator::SetScalingFactor(double value) {
  if (!(value > 0.0)) return;
  scalingFactor_ = value;
  calculated_ = false;
}

void clsKernelCalculator::SetKernelType(KernelType /*value*/) {
  kernelType_ = KernelType::kernel_Guassian;
  calculated_ = false;
}

void clsKernelCalculator::SetRows(std::int32_t value) {
  if (value > 0) {
    rows_ = value;
    calculated_ = false;
  }
  SizeCheck(false);
}

void clsKernelCalculator::SetColumns(std::int32_t value) {
  if (value > 0) {
    columns_ = value;
    calculated_ = false;
  }
  SizeCheck(true);
}

void clsKernelCalculator::SizeCheck(bool withMessage) {
  if (rows_ <= 0 || columns_ <= 0) return;
  if (static_cast<std::int64_t>(rows_) * columns_ > kMaxCells) {
    lErrorStatus = kGridTooLarge;
    if (withMessage) AppendWarning(std::string(kTooLargeMessage));
    return;
  }
  // Rows and columns are set one after the other, so the first setter may have met the
  // other dimension of an earlier grid; once the pair fits, that refusal no longer holds.
  if (lErrorStatus == kGridTooLarge) {
    lErrorStatus = 0;
    const std::string stale = std::string(kTooLargeMessage) + kCarriageReturn;
    for (auto at = warnings_.find(stale); at != std::string::npos; at = warnings_.find(stale)) {
      warnings_.erase(at, stale.size());
    }
  }
}

void clsKernelCalculator::SetOriginCoords(double dX, double dY) {
  originX_ = dX;
  originY_ = dY;
  calculated_ = false;
}

void clsKernelCalculator::SetFixedKernel(bool value) {
  fixedKernel_ = value;
  calculated_ = false;
}

void clsKernelCalculator::SetEnforceUnitVariance(bool value) {
  enforceUnitVariance_ = value;
  calculated_ = false;
}

void clsKernelCalculator::SetLimitRadius(double value) {
  if (!(value > 0.0)) return;
  limitRadius_ = value;
  calculated_ = false;
}

void clsKernelCalculator::SetProgressBar(const std::any& /*progressBar*/) {}

void clsKernelCalculator::SetInputCoords(std::span<const CoordPair> coords) {
  coords_.assign(coords.begin(), coords.end());
  warnings_.clear();
  proportion_ = 0.0;
  rescaled_ = false;
  LSCVMinimized = false;
  HasLSCVProfile = false;
  calculated_ = false;
  lErrorStatus = 0;
  lambda_.clear();
}

void clsKernelCalculator::SetManualBandwidth(double value) {
  if (value > 0.0) {
    bandwidth_ = value;
    calculated_ = false;
  }
  estimator_ = BandwidthEstimator::be_Manual;
}

void clsKernelCalculator::SetProportionHRefBandwidth(double value) {
  if (value > 0.0) {
    proportion_ = value;
    calculated_ = false;
  }
  estimator_ = BandwidthEstimator::be_Manual;
}

// --- getters ---------------------------------------------------------------------------------

double clsKernelCalculator::GetScaledBandwidth() const {
  if (enforceUnitVariance_ && rescaled_) return bandwidth_ * (sdX_ + sdY_) / 2.0;
  return bandwidth_;
}

std::optional<CrossValidationProfile> clsKernelCalculator::GetLSCVProfile() const {
  if (!HasLSCVProfile) return std::nullopt;
  return profile_;
}

// --- bandwidth operations --------------------------------------------------------------------

void clsKernelCalculator::RescaleIfNeeded() {
  if (!enforceUnitVariance_ || rescaled_) return;
  sdX_ = std::sqrt(CheckedSampleVariance(coords_, 0));
  sdY_ = std::sqrt(CheckedSampleVariance(coords_, 1));
  // Fixes on one vertical or horizontal line have no spread to divide by.
  CheckedDivide(1.0, sdX_);
  CheckedDivide(1.0, sdY_);
  for (CoordPair& p : coords_) p = {p[0] / sdX_, p[1] / sdY_};
  rescaled_ = true;
}

void clsKernelCalculator::CalculateHREF() {
  if (lErrorStatus > 0) return;
  calculated_ = false;
  lErrorStatus = kHrefProgress;
  RescaleIfNeeded();
  clsLSCV search;
  search.SetPairScanOptions({.threads = workerThreads_, .allowSplit = !exactPairSums_});
  search.SetInputCoords(coords_);
  search.CalculateHREF();
  href_ = search.GetHREF();
  estimator_ = BandwidthEstimator::be_HREF;
  if (search.lErrorStatus != 0) {
    // Reported, and no bandwidth of an earlier animal is kept by accident.
    bandwidth_ = 0.0;
    lErrorStatus = kBandwidthSearchFailed;
    return;
  }
  bandwidth_ = href_;
  lErrorStatus = 0;
}

template <class Search>
void clsKernelCalculator::CrossValidate(Search search, const char* procedure, std::int32_t startCode,
                                        BandwidthEstimator estimator, const char* warning) {
  if (lErrorStatus > 0) return;
  calculated_ = false;
  try {
    lErrorStatus = startCode;
    RescaleIfNeeded();
    lErrorStatus = startCode * 10 + 1;
    clsLSCV lscv;
    lErrorStatus = startCode * 10 + 2;
    lscv.SetPairScanOptions({.threads = workerThreads_, .allowSplit = !exactPairSums_});
    lscv.SetInputCoords(coords_);
    search(lscv);
    href_ = lscv.GetHREF();
    estimator_ = estimator;
    if (lscv.lErrorStatus != 0) {
      bandwidth_ = 0.0;
      lErrorStatus = kBandwidthSearchFailed;
      return;
    }
    profile_ = lscv.GetLSCVProfile().value_or(CrossValidationProfile{});
    HasLSCVProfile = true;
    if (lscv.bMinimized) {
      bandwidth_ = lscv.GetBandwidth();
      LSCVMinimized = true;
    } else {
      AppendWarning(warning);
      bandwidth_ = lscv.GetHREF();
      LSCVMinimized = false;
    }
    lErrorStatus = startCode * 10 + 3;
    lErrorStatus = 0;
  } catch (const host::Error& e) {
    ShowError(procedure, e.description());
  } catch (const std::bad_alloc&) {
    ShowError(procedure, "Out of memory");
  }
}

void clsKernelCalculator::CalculateLSCV() {
  CrossValidate([](clsLSCV& lscv) { lscv.CalculateLSCV(); }, "CalcLSCV", kLscvProgress,
                BandwidthEstimator::be_LSCV, kLscvFallbackWarning);
}

void clsKernelCalculator::CalculateBCV() {
  CrossValidate([](clsLSCV& lscv) { lscv.CalculateBCV2(); }, "CalcBCV", kBcvProgress,
                BandwidthEstimator::be_BCV, kBcvFallbackWarning);
}

// --- the kernel ------------------------------------------------------------------------------

bool clsKernelCalculator::ReadyToCalculate() {
  // The size check of the setters is lost when SetInputCoords resets the status after the
  // grid was set for the whole run, so it is repeated here: no grid above the cap is computed.
  if (static_cast<std::int64_t>(rows_) * columns_ > kMaxCells) {
    lErrorStatus = kGridTooLarge;
    if (warnings_.find(kTooLargeMessage) == std::string::npos) AppendWarning(std::string(kTooLargeMessage));
    return false;
  }
  if (lErrorStatus > 0) return false;
  calculated_ = false;
  if (bandwidth_ == 0.0 || columns_ < 1 || rows_ < 1) {
    lErrorStatus = kNothingToCalculate;
    AppendWarning(std::string(kNothingToCalculateMessage));
    return false;
  }
  return true;
}

bool clsKernelCalculator::PrepareBandwidth() {
  if (!enforceUnitVariance_) {
    sdX_ = 1.0;
    sdY_ = 1.0;
  } else {
    lErrorStatus = kProgressRescaling;
    RescaleIfNeeded();
    // A bandwidth given in map units becomes a bandwidth in rescaled units.
    if (proportion_ == 0.0 && estimator_ == BandwidthEstimator::be_Manual) {
      bandwidth_ = CheckedDivide(bandwidth_, (sdX_ + sdY_) / 2.0);
    }
  }
  if (proportion_ > 0.0) bandwidth_ = proportion_ * bandwidth_;

  const double mapBandwidth = enforceUnitVariance_ ? ((sdX_ + sdY_) / 2.0) * bandwidth_ : bandwidth_;
  if (mapBandwidth < cellSize_) {
    lErrorStatus = kBandwidthBelowCellSize;
    AppendWarning("The bandwidth (" + host::numberText(mapBandwidth) + ") is smaller than the cell size (" +
                  std::to_string(cellSize_) + "). Processing aborted.");
    return false;
  }
  lErrorStatus = 0;
  return true;
}

bool clsKernelCalculator::ComputeLocalFactors() {
  lambda_.clear();
  if (fixedKernel_) return true;
  try {
    lambda_ = LocalBandwidthFactors(coords_, bandwidth_, lErrorStatus, workerThreads_);
  } catch (const LocalFactorError& e) {
    ShowLocalFactorError(e);
    return false;
  }
  return lErrorStatus <= 0;
}

void clsKernelCalculator::FillGrid(const GridPlacement& placement, double windowRadius) {
  lErrorStatus = kProgressPlacingFixes;
  if (FirstNonFiniteFix(coords_) >= 0) {
    throw KdeError(KdeErrorNumber::invalid_argument, "Invalid procedure call or argument");
  }
  lErrorStatus = kProgressAccumulating;
  AccumulateDensity(placement,
                    DensitySource{.coords = coords_,
                                  .sdX = sdX_,
                                  .sdY = sdY_,
                                  .bandwidth = bandwidth_,
                                  .windowRadius = windowRadius,
                                  .lambda = lambda_,
                                  .threads = workerThreads_},
                    grid_);
  lErrorStatus = kProgressNormalising;
  kernelVolume_ = NormaliseDensity(grid_, scalingFactor_, coords_.size(), bandwidth_, sdX_, sdY_, cellSize_,
                                   workerThreads_);
}

void clsKernelCalculator::CalculateKernel() {
  lastError_.clear();
  if (!ReadyToCalculate()) return;
  try {
    lErrorStatus = kProgressStarted;
    const GridPlacement placement{originX_, originY_, cellSize_, columns_, rows_};
    const double windowRadius = WindowRadiusCells(limitRadius_, cellSize_);
    kernelVolume_ = 0.0;
    grid_.Reshape(columns_, rows_);
    lErrorStatus = kProgressGridAllocated;
    if (!PrepareBandwidth() || !ComputeLocalFactors()) return;
    FillGrid(placement, windowRadius);
    lErrorStatus = 0;
    calculated_ = true;
  } catch (const host::Error& e) {
    ShowError("KernelCalculator", e.description());
  } catch (const std::bad_alloc&) {
    ShowError("KernelCalculator", "Out of memory");
  }
}

void clsKernelCalculator::AppendWarning(const std::string& message) {
  warnings_ += message;
  warnings_ += kCarriageReturn;
}

}  // namespace orvex::ui
