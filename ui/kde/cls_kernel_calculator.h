#pragma once
// clsKernelCalculator: one animal's kernel utilisation distribution on a regular grid, written
// as a single-band 32-bit float raster through the host.
//
// Typical use by the batch run, per calculator: the grid (SetReferenceRaster, or SetCellSize,
// SetColumns, SetRows, SetOriginCoords), SetEnforceUnitVariance, SetFixedKernel,
// SetScalingFactor; then per animal: SetInputCoords, SetKernelType, one bandwidth operation
// (CalculateHREF, CalculateLSCV, CalculateBCV, SetManualBandwidth, or CalculateHREF followed
// by SetProportionHRefBandwidth), SetLimitRadius, CalculateKernel, WarningMessages,
// lErrorStatus and, when it is 0, WriteKernelToRaster and the getters.
//
// Status: lErrorStatus is 0 when no error is pending; a value above 0 (a failure code, or the
// progress code of a step a run-time error interrupted) blocks CalculateKernel, the bandwidth
// operations and WriteKernelToRaster until SetInputCoords resets it. Failure codes:
//   1001 grid above 50,000,000 cells         1010 SetReferenceRaster without a layer
//   2900 the bandwidth search failed         5001 bandwidth 0 or grid without rows/columns
//   5002 bandwidth below the cell size
// Messages for 1001, 5001, 5002 and the cross-validation fallbacks are appended to
// WarningMessages (each followed by a carriage return); run-time errors inside
// CalculateKernel, CalculateLSCV, CalculateBCV and the adaptive factors are shown in a
// message box through the host's UI services; those of the setters, CalculateHREF,
// SetReferenceRaster and WriteKernelToRaster propagate to the caller.

#include <any>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "ui/kde/cls_lscv.h"
#include "ui/kde/kde_math.h"
#include "ui/kde/kernel_density.h"
#include "ui/kde/kernel_grid.h"

namespace orvex::host {
class UiServices;
class WorkspaceFactory;
class RasterLayer;
class RasterDataset;
class SpatialReference;
}  // namespace orvex::host

namespace orvex::ui {

enum class KernelType : std::int32_t { kernel_Guassian = 0 };

enum class BandwidthEstimator : std::int32_t { be_Manual = 0, be_LSCV = 1, be_HREF = 2, be_BCV = 3 };

class clsKernelCalculator {
 public:
  /// Largest grid computed: rows x columns above this is refused with code 1001.
  static constexpr std::int64_t kMaxCells = 50'000'000;
  static constexpr double kDefaultScalingFactor = 1'000'000.0;

  static constexpr std::int32_t kGridTooLarge = 1001;
  static constexpr std::int32_t kNoReferenceLayer = 1010;
  static constexpr std::int32_t kBandwidthSearchFailed = 2900;
  static constexpr std::int32_t kNothingToCalculate = 5001;
  static constexpr std::int32_t kBandwidthBelowCellSize = 5002;

  // Progress codes of CalculateKernel: lErrorStatus holds the step a run-time error
  // interrupted (the calculation started, the grid allocated, the fixes being rescaled, their
  // cells being placed, the kernels being added, the grid being normalised).
  static constexpr std::int32_t kProgressStarted = 1000;
  static constexpr std::int32_t kProgressGridAllocated = 1005;
  static constexpr std::int32_t kProgressRescaling = 1006;
  static constexpr std::int32_t kProgressPlacingFixes = 1010;
  static constexpr std::int32_t kProgressAccumulating = 1015;
  static constexpr std::int32_t kProgressNormalising = 1020;

  /// `ui` receives the error message boxes (none are shown when null); `workspaces` opens the
  /// output folder of WriteKernelToRaster. Neither is owned; both must outlive the calculator.
  explicit clsKernelCalculator(host::UiServices* ui = nullptr, host::WorkspaceFactory* workspaces = nullptr);

  /// Error or progress code; 0 = no error.
  std::int32_t lErrorStatus = 0;
  /// The last cross-validation search found a minimum inside its range.
  bool LSCVMinimized = false;
  /// A cross-validation score profile is held.
  bool HasLSCVProfile = false;

  // Grid geometry -------------------------------------------------------------------------
  /// Values > 0: the cell size becomes the value rounded to a whole number, halves to even
  /// (12.5 -> 12, 13.5 -> 14). Raises KdeError(overflow) above the 32-bit range.
  void SetCellSize(double value);
  /// Values > 0 are stored; then the size check (code 1001, no message).
  void SetRows(std::int32_t value);
  /// Values > 0 are stored; then the size check (code 1001 and its message).
  void SetColumns(std::int32_t value);
  /// Lower-left corner of the grid.
  void SetOriginCoords(double dX, double dY);
  /// Grid geometry from a raster layer: mean cell size in x, width, height, extent minimum.
  /// A null layer sets code 1010. Host failures propagate.
  void SetReferenceRaster(const std::shared_ptr<host::RasterLayer>& pRL);

  // Kernel options ------------------------------------------------------------------------
  void SetScalingFactor(double value);  ///< values > 0
  /// Threads of the sums, as the application sets them (0, the default: one per processor).
  /// No result depends on it.
  void SetWorkerThreads(unsigned threads) { workerThreads_ = threads; }
  /// Keep the bandwidth scans on the pair-by-pair sums (exact or histogram with exact
  /// re-scoring), never the split sums (chosen by cost otherwise; same bandwidth).
  void SetExactPairSums(bool exact) { exactPairSums_ = exact; }
  void SetKernelType(KernelType value);  ///< always kernel_Guassian
  void SetFixedKernel(bool value);
  void SetEnforceUnitVariance(bool value);
  void SetLimitRadius(double value);  ///< values > 0; map units
  /// Accepted and ignored (the batch run drives its own progress bar).
  void SetProgressBar(const std::any& progressBar);

  // Per animal ----------------------------------------------------------------------------
  /// Copies the fixes and resets the per-animal state: warnings, proportion of href, the
  /// rescaled flag, LSCVMinimized, HasLSCVProfile, the calculated grid and lErrorStatus.
  /// Grid, options, bandwidth and estimator stay.
  void SetInputCoords(std::span<const CoordPair> coords);
  /// Values > 0 become the bandwidth (map units); the estimator becomes be_Manual in any case.
  void SetManualBandwidth(double value);
  /// Values > 0 become the proportion of href applied by CalculateKernel; the estimator
  /// becomes be_Manual in any case.
  void SetProportionHRefBandwidth(double value);
  /// Bandwidth = href of the (possibly rescaled) fixes. Code 2900 when href cannot be
  /// computed (fewer than 2 fixes). A rescaling error propagates.
  void CalculateHREF();
  /// Bandwidth by the LSCV profile scan over 0.05 .. 2 href; href itself with a warning when
  /// the lowest score lies at an end of the range; code 2900 when the scan fails.
  void CalculateLSCV();
  /// The same with the BCV2 scan over 0.05 .. 3 href.
  void CalculateBCV();
  /// Fills the grid: fixed or adaptive bivariate normal kernels, each fix reaching the cells
  /// within its limit radius (plus one cell), scaled so that a grid covering the whole
  /// distribution has a volume of about the scaling factor. Changes the stored bandwidth
  /// (rescaling, proportion), so call it once per bandwidth operation.
  void CalculateKernel();

  // Results -------------------------------------------------------------------------------
  [[nodiscard]] double GetCellSize() const { return static_cast<double>(cellSize_); }
  [[nodiscard]] std::int32_t GetRowCount() const { return rows_; }
  [[nodiscard]] std::int32_t GetColumnCount() const { return columns_; }
  [[nodiscard]] double GetOriginX() const { return originX_; }
  [[nodiscard]] double GetOriginY() const { return originY_; }
  /// As stored: rescaled units when rescaling is on.
  [[nodiscard]] double GetBandwidth() const { return bandwidth_; }
  /// The bandwidth in map units: times (sdX + sdY) / 2 once the fixes are rescaled.
  [[nodiscard]] double GetScaledBandwidth() const;
  [[nodiscard]] double GetHREF() const { return href_; }
  [[nodiscard]] double GetKernelVolume() const { return kernelVolume_; }
  /// The grid of the last successful CalculateKernel, or null when it is not current (before
  /// it, or after any setter). Owned by the calculator; valid until its next non-const call.
  [[nodiscard]] const KernelGrid* GetKernel() const { return calculated_ ? &grid_ : nullptr; }
  /// The cross-validation profile when HasLSCVProfile, otherwise nothing.
  [[nodiscard]] std::optional<CrossValidationProfile> GetLSCVProfile() const;
  /// Accumulated messages, each followed by a carriage return.
  [[nodiscard]] const std::string& WarningMessages() const { return warnings_; }
  /// The description of the run-time error the last CalculateKernel showed ("Out of memory");
  /// empty when it showed none.
  [[nodiscard]] const std::string& LastErrorDescription() const { return lastError_; }
  [[nodiscard]] BandwidthEstimator GetEstimator() const { return estimator_; }
  [[nodiscard]] std::span<const double> GetLocalBandwidthFactors() const { return lambda_; }

  /// Writes the grid as the raster `sName` (a single-band 32-bit float GeoTIFF) in folder
  /// `sFolder`: lower-left corner at the origin, square cells, spatial reference `pSR`, no
  /// no-data value (cells without density hold 0), statistics computed. Returns null and
  /// writes nothing unless the grid is current and lErrorStatus is 0. Host failures
  /// propagate.
  std::shared_ptr<host::RasterDataset> WriteKernelToRaster(const std::string& sFolder,
                                                           const std::string& sName,
                                                           std::shared_ptr<const host::SpatialReference> pSR);

 private:
  void SizeCheck(bool withMessage);
  void AppendWarning(const std::string& message);
  void RescaleIfNeeded();
  template <class Search>
  void CrossValidate(Search search, const char* procedure, std::int32_t startCode,
                     BandwidthEstimator estimator, const char* warning);
  // The steps of CalculateKernel. Each returns false when it stopped the calculation with its
  // status (and message) in place.
  bool ReadyToCalculate();
  bool PrepareBandwidth();
  bool ComputeLocalFactors();
  void FillGrid(const GridPlacement& placement, double windowRadius);
  // "<procedure>: <status>" CR description, titled "Error", critical icon.
  void ShowError(const char* procedure, const std::string& description);
  // "Local smooth error: <status>, <outer>, <inner>, <log-sum or G>, <bandwidth>".
  void ShowLocalFactorError(const LocalFactorError& error);

  host::UiServices* ui_;
  host::WorkspaceFactory* workspaces_;

  std::int32_t rows_ = 0;
  std::int32_t columns_ = 0;
  std::int32_t cellSize_ = 0;
  double originX_ = 0.0;
  double originY_ = 0.0;
  KernelGrid grid_;
  double bandwidth_ = 0.0;
  double href_ = 0.0;
  double limitRadius_ = 0.0;
  std::vector<CoordPair> coords_;
  bool fixedKernel_ = true;
  bool enforceUnitVariance_ = false;
  double sdX_ = 0.0;
  double sdY_ = 0.0;
  double scalingFactor_ = kDefaultScalingFactor;
  unsigned workerThreads_ = 0;
  bool exactPairSums_ = false;
  KernelType kernelType_ = KernelType::kernel_Guassian;
  BandwidthEstimator estimator_ = BandwidthEstimator::be_Manual;
  double kernelVolume_ = 0.0;
  bool calculated_ = false;
  std::vector<double> lambda_;
  CrossValidationProfile profile_;
  bool rescaled_ = false;
  double proportion_ = 0.0;
  std::string warnings_;
  std::string lastError_;
};

}  // namespace orvex::ui
