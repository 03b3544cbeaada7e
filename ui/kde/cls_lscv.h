#pragma once
// clsLSCV: bandwidth choice for the KDE tool by a profile scan of least-squares (LSCV) or
// biased (BCV2) cross-validation scores over equal steps of h, plus the reference bandwidth
// href. No host dependency.

#include <cstdint>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "ui/kde/cross_validation_scores.h"
#include "ui/kde/kde_math.h"

namespace orvex::ui {

/// The (h, score) pairs of the last scan: h[k] and score[k] for column k of m + 1 columns.
/// A scan fills all but, normally, the last column (left at 0, 0); readers skip h = 0.
struct CrossValidationProfile {
  std::vector<double> h;
  std::vector<double> score;
};

class clsLSCV {
 public:
  /// Stage codes left in lErrorStatus while a scan runs, and kept when it stops on an error.
  static constexpr std::int32_t kLscvStart = 961;
  static constexpr std::int32_t kLscvSteps = 962;
  static constexpr std::int32_t kLscvEnd = 963;
  static constexpr std::int32_t kBcvStart = 1961;
  static constexpr std::int32_t kBcvSteps = 1962;
  static constexpr std::int32_t kBcvEnd = 1963;
  /// href could not be computed (fewer than 2 fixes: the sample variance is 0/0). Set by
  /// CalculateHREF, and by a scan that needs href for its default range.
  static constexpr std::int32_t kHrefFailed = 960;
  /// SetInputCoords got no fixes.
  static constexpr std::int32_t kNoFixes = 950;
  /// Largest profile the scan allocates (columns); a step so small that the range needs more
  /// is reported as the out-of-memory run-time error of the first stage.
  static constexpr std::int64_t kMaxProfileColumns = 10'000'000;

  /// The last scan found its lowest score strictly inside the range.
  bool bMinimized = false;
  /// 0 when idle or finished; see the stage codes above. Once non-zero, the three
  /// Calculate operations do nothing (callers create a new object per use).
  std::int32_t lErrorStatus = 0;

  /// Stores |minimum| and |maximum|. Both 0 (the initial state) selects the default range
  /// 0.05 href .. 2 href (LSCV) or 0.05 href .. 3 href (BCV2).
  void SetSearchRange(double minimum, double maximum);
  /// Copies the fixes (x at [0], y at [1]); the pair distances are formed as the scans visit
  /// them, never stored. An empty set sets lErrorStatus = kNoFixes.
  void SetInputCoords(std::span<const CoordPair> coords);
  /// The profile of the last scan once either scan has completed; nullopt before.
  [[nodiscard]] std::optional<CrossValidationProfile> GetLSCVProfile() const;
  /// h chosen by the last completed scan; -1 before.
  [[nodiscard]] double GetBandwidth() const;
  /// href once computed; -1 before.
  [[nodiscard]] double GetHREF() const;
  /// Stores the step; 0 (the initial state) selects (maximum - minimum) / 200.
  void SetStepValue(double step);
  /// LSCV scan; on success lErrorStatus = 0 and GetBandwidth() is the h of the lowest score
  /// (the smaller h on ties). A run-time error (h = 0, empty range, profile overflow) ends
  /// the scan with its stage code kept in lErrorStatus.
  void CalculateLSCV();
  /// href = sqrt((var x + var y) / 2) * n^(-1/6), sample variances with divisor n - 1;
  /// computed once. With fewer than 2 fixes lErrorStatus = kHrefFailed.
  void CalculateHREF();
  /// BCV2 scan, as CalculateLSCV. Fewer than 3 fixes divide by n - 2 = 0: the scan stops
  /// with kBcvStart.
  void CalculateBCV2();

  /// Chunking, threads and method of the pair sums; takes effect at the next SetInputCoords.
  void SetPairScanOptions(const PairScanOptions& options) { options_ = options; }
  /// Progress of the scans' pair sums (fraction 0 to 1 of one scan). When it returns false the
  /// scan stops as a failed one: lErrorStatus keeps its first stage code and WasCancelled()
  /// is true.
  void SetProgress(host::ProgressFn progress) { progress_ = std::move(progress); }
  [[nodiscard]] bool WasCancelled() const { return cancelled_; }
  /// The method the last scan's pair sums used.
  [[nodiscard]] PairSumMethod LastPairSumMethod() const { return pairs_.LastMethod(); }

 private:
  struct Stages {
    std::int32_t start, steps, end;
  };
  void RunScan(CrossValidationKind kind, double maximumFactor, const Stages& stages);
  double ProfileScan(CrossValidationKind kind, const Stages& stages);
  void ComputeHref();

  PairScanOptions options_;
  PairDistanceSet pairs_;
  host::ProgressFn progress_;
  bool cancelled_ = false;
  CrossValidationProfile profile_;
  double bandwidth_ = 0.0;
  double searchMinimum_ = 0.0;
  double searchMaximum_ = 0.0;
  double step_ = 0.0;
  double href_ = 0.0;
  bool lscvDone_ = false;
  bool hrefComputed_ = false;
  bool bcvDone_ = false;
};

}  // namespace orvex::ui
