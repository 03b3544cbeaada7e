#pragma once
// KernelEngine: one kernel home-range analysis of one fix set (one animal), and contour_t, the
// ring record it traces.
//
// Order of use: construct(n); Add_Point once per fix; stdize; set h (seth, set_h_proportional,
// CrossValidation or CrossValidationBCV2, after set_search_range); init_matrix(S);
// set_contour_levels or set_density_contouring; kern_fixed or kern_adaptive; AVMakeContour;
// read the rings. An engine runs one kernel with one h; build a fresh engine per h value.
//
// Every operation reports through its result (int32 1/0 statuses, counts, bool) and the
// diagnostic log; nothing throws. Numbers never depend on the worker thread count.

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/engine/engine_log.h"
#include "core/engine/kernel_sum_workspace.h"

namespace orvex::core {

/// Nominal number of points of one ring. Rings are stored in growable arrays and are never cut
/// at this length; it is the size reserved up front.
inline constexpr std::int32_t MAX_POINTS_PER_POLY = 1000;
/// Nominal number of ring slots reserved by AVMakeContour; more rings are stored when traced.
inline constexpr std::int32_t kNominalRingSlots = 1000;
/// Most contour levels an engine keeps; further values of a level text are ignored.
inline constexpr std::int32_t kMaxContourLevels = 30;
/// Number of levels of density contouring (k/9 of the highest density, k = 1..9).
inline constexpr std::int32_t kDensityLevelCount = 9;

/// One fix. `x`, `y` are the working coordinates (standardised while a mode is in force);
/// `raw_x`, `raw_y` hold the loaded values while a mode is in force and 0 otherwise; `lambda`
/// is the local bandwidth factor from Localsmooth (0 until then).
struct FixRecord {
  double x = 0.0;
  double y = 0.0;
  double raw_x = 0.0;
  double raw_y = 0.0;
  double lambda = 0.0;
};
static_assert(sizeof(FixRecord) == 40, "a fix record is five doubles");

/// One closed contour ring in map units. `x`/`y` hold point_count() points, the last equal to
/// the first. `volume` is the level's volume (volume contouring) or the UD volume enclosed at
/// `density` (density contouring); `density` is the threshold traced. `end_of_level` marks the
/// last ring traced for its level.
struct contour_t {
  float volume = 0.0f;
  float density = 0.0f;
  std::vector<float> x;
  std::vector<float> y;
  bool end_of_level = false;

  std::int32_t point_count() const { return static_cast<std::int32_t>(x.size()); }
};

struct RingPoint {
  double x = 0.0;
  double y = 0.0;
};

/// Grid origin and node spacing: node (i, j) lies at (ax + i*dx, ay + j*dy).
struct GridGeometry {
  double ax = 0.0;
  double ay = 0.0;
  double dx = 0.0;
  double dy = 0.0;
};

class KernelEngine {
 public:
  /// Standardisation modes of stdize.
  enum StdMode : std::int32_t { NONE = 0, STD_X = 1, STD_Y = 2, STD_Unit = 3 };

  /// Grid steps of the contour tracer: direction 0 = (0,+1), 1 = (+1,0), 2 = (0,-1), 3 = (-1,0).
  static constexpr std::array<std::array<std::int32_t, 2>, 4> kDirections{{{0, 1}, {1, 0}, {0, -1}, {-1, 0}}};

  /// Sets the defaults (tolerance 0.05, animal ID "None") and runs avmain(n).
  explicit KernelEngine(std::int32_t n);
  virtual ~KernelEngine();
  KernelEngine(const KernelEngine&) = delete;
  KernelEngine& operator=(const KernelEngine&) = delete;
  KernelEngine(KernelEngine&&) noexcept;
  KernelEngine& operator=(KernelEngine&&) noexcept;

  // ---- Engine run and fix set -------------------------------------------------------------

  /// Opens (or shares) the log, allocates room for n + 1 zero-filled fixes, writes the header
  /// line, resets the contour levels to 0.9 ... 0.1 and the search bracket to [0.1, 10].
  /// Returns 1, or 0 when the fix set cannot be allocated (n < 0 included): the engine then
  /// holds no fixes and refuses every Add_Point.
  std::int32_t avmain(std::int32_t n);

  /// Appends one fix (coordinates pass through single precision) and returns the fix count.
  /// An engine started for n cases stores at most n + 1 fixes; a further fix is dropped with
  /// the warning "More points Added than were allocated for (<index>)".
  std::int32_t Add_Point(float x, float y);

  /// The reference bandwidth sqrt((var x + var y) / 2) / n^(1/6) of the working coordinates,
  /// computed once and cached until the next stdize/Unstandardize. With fewer than 2 fixes the
  /// variances count as 0, so href is 0.
  double gethref();

  /// Undoes the mode in force, then applies `mode` (NONE, STD_X, STD_Y, STD_Unit). Returns the
  /// mode now in force, or for values outside 0..3 the value given (only the undo happens).
  /// An axis whose standard deviation is 0 (all fixes share that coordinate) is left
  /// unscaled, with a warning line, instead of being divided by 0.
  std::int32_t stdize(std::int32_t mode);

  /// Restores the loaded coordinates bit for bit; returns 0.
  std::int32_t Unstandardize();

  /// Sample variance (divisor n - 1) of the loaded coordinates, whatever mode is in force;
  /// 0 with fewer than 2 fixes.
  double variance_x() const;
  double variance_y() const;

  const std::string& animal_id() const { return animal_id_; }
  void set_animal_id(std::string id) { animal_id_ = std::move(id); }

  /// Writes "WARNING: <text>\n" to the log.
  void warning(std::string_view text);

  std::int32_t fix_count() const { return fix_count_; }
  std::int32_t capacity() const { return capacity_; }
  /// The stored fixes, in insertion order (fix_count() records).
  std::span<const FixRecord> Trackingdata() const;
  std::int32_t standardisation_mode() const { return mode_; }
  /// Standard deviations found by the last stdize of mode 1 to 3 (0 before).
  double sd_x() const { return sd_x_; }
  double sd_y() const { return sd_y_; }
  bool href_valid() const { return href_valid_; }
  /// The log file this engine writes (empty when it runs without a log).
  std::filesystem::path log_path() const { return log_.path(); }

  // ---- Utilisation distribution grid ------------------------------------------------------

  /// Allocates an S x S cell grid ((S + 1)^2 nodes) and its sorted table. Returns 1, or 0 when
  /// S < 1, when (S + 1)^2 does not fit an int32, or when memory runs out; the engine then has
  /// no grid and every UD run returns false.
  std::int32_t init_matrix(std::int32_t S);

  /// Sizes the grid from the fixes and h: the longer range plus 10.5 h each side, the shorter
  /// axis centred with the same spacing. Leaves the scale unset, with a warning line, when the
  /// fixes have no extent (all at one place), h is not positive, or there is no grid.
  void Findscale();

  /// The fixed-kernel UD. Returns true when the volume over the grid lies in [0.9, 1.1]; false
  /// on that failure (the UD is kept) and when no UD can be computed (no grid, no fixes, h not
  /// positive, all fixes at one place, non-finite coordinates, no density at any node: a
  /// warning line says which, and no UD is made). Chooses h by LSCV first when no h is set.
  bool kern_fixed();
  /// The adaptive-kernel UD: always recomputes a fixed-kernel pilot, then Localsmooth, then
  /// the UD with per-fix bandwidths lambda * h. Same results as kern_fixed.
  bool kern_adaptive();
  /// Sets every fix's lambda = (pilot estimate / geometric mean)^(-1/2) from the pilot UD
  /// (computed first unless a pilot is current). Fixes outside the grid take the estimate of
  /// the nearest border point.
  void Localsmooth();
  /// Fills the table of nodes in descending density, ties in row-major order; sets table made.
  void sort_ud_table();

  std::int32_t grid_size() const { return grid_size_; }
  std::int64_t table_length() const { return table_length_; }
  /// Node density; i along x, j along y, both 0..S. Undefined outside.
  double node_density(std::int32_t i, std::int32_t j) const {
    return density_[static_cast<std::size_t>(i) * static_cast<std::size_t>(grid_size_ + 1) +
                    static_cast<std::size_t>(j)];
  }
  /// The nodes, row-major (i outer, j inner).
  std::span<const double> densities() const { return density_; }
  /// Density of sorted-table entry k (descending); valid while table_made().
  double sorted_density(std::int64_t k) const { return sorted_density_[static_cast<std::size_t>(k)]; }
  /// Row-major node index of sorted-table entry k.
  std::uint32_t sorted_node(std::int64_t k) const { return sorted_nodes_[static_cast<std::size_t>(k)]; }
  /// Grid geometry in map units (after the stretch back from standardised units).
  double ax() const { return grid_.ax; }
  double ay() const { return grid_.ay; }
  double dx() const { return grid_.dx; }
  double dy() const { return grid_.dy; }
  /// Sum of the UD times the cell area over the nodes, in working units, of the last run.
  double volume() const { return volume_; }
  bool scale_found() const { return scale_found_; }
  /// The last UD run found no density at any node (h far below the node spacing: no node lies
  /// within the kernel's reach, about 37.5 h, of a fix), so it made no UD.
  bool grid_too_fine() const { return grid_too_fine_; }
  bool ud_made() const { return ud_made_; }
  bool table_made() const { return table_made_; }

  /// Threads for the UD and the cross-validation scores, as the application sets them; 0 (the
  /// default) means one per hardware thread. Results are identical for every value.
  void set_worker_threads(unsigned threads) { worker_threads_ = threads; }
  /// Keep the searches on the pair-by-pair sums (exact, or the histogram with its check), never
  /// the split sums that large sets take by cost otherwise (same chosen bandwidth).
  void set_exact_pair_sums(bool exact) { exact_pair_sums_ = exact; }

  // ---- Bandwidth selection ------------------------------------------------------------------

  /// Sets h (working units). Writes "seth: h/href" when href is cached.
  double seth(double h);
  /// Sets h = f * href (computing href when needed).
  double set_h_proportional(double f);
  /// Search bracket = [lower * href, upper * href] in the working units of this moment, and
  /// the relative tolerance of the searches. Returns 1.
  std::int32_t set_search_range(double lower, double upper, double tolerance);
  /// h = LSCV minimiser over the bracket. Returns 0. Leaves h as it was, with a warning line,
  /// when there are fewer than 2 fixes or the bracket is not 0 < lower <= upper.
  std::int32_t CrossValidation();
  /// h = BCV2 minimiser over the bracket. Returns 0. Needs 3 fixes, otherwise as above.
  std::int32_t CrossValidationBCV2();
  /// Golden-section minimisation of the LSCV / BCV2 score from the bracket a < b < c.
  /// Returns the score at xmin. On large fix sets the scores come from one histogram of the
  /// pair distances (xmin is still the exact search's; the score is within 1e-12 relative).
  double Golden(double a, double b, double c, double tolerance, double& xmin) const;
  double GoldenBCV2(double a, double b, double c, double tolerance, double& xmin) const;
  /// The LSCV score M1(h) and BCV2 score M2(h) of the working coordinates.
  double lscv_score(double h) const;
  double bcv2_score(double h) const;

  double h() const { return h_; }
  bool h_set() const { return h_set_; }
  double lower_bound() const { return lower_bound_; }
  double upper_bound() const { return upper_bound_; }
  double tolerance() const { return tolerance_; }

  // ---- Contour extraction -------------------------------------------------------------------

  /// Volume levels from text such as "0.1, 0.2, 0.5": values in (0, 1] are kept in order (up
  /// to 30), others skipped; a text whose first number is 0 or absent restores the nine
  /// defaults 0.9 ... 0.1; a text with no value in (0, 1] leaves the levels as they were.
  /// Numbers are read with '.' whatever the C locale. Switches density contouring off.
  /// Returns 0.
  std::int32_t set_contour_levels(std::string_view contourString);
  /// Contour at k/9 of the highest density (k = 1..9) instead of by volume.
  void set_density_contouring() { density_contouring_ = true; }
  std::span<const double> contour_levels() const {
    return std::span<const double>(levels_.data(), static_cast<std::size_t>(level_count_));
  }

  /// Traces closed rings through the UD at every level; returns the ring count (0 without a
  /// UD, with a warning line), or -1 when the ring store cannot be allocated. Rings of one
  /// level are consecutive; the last of each carries the end-of-level mark. A level too small
  /// for the grid is skipped with a warning. Rings are complete whatever their length and
  /// number, and stay inside the grid even where the UD reaches its border.
  std::int32_t AVMakeContour();

  /// Ring accessors. An index outside [0, ring_count()) gives 0, NaN points and false.
  std::int32_t ring_count() const { return static_cast<std::int32_t>(rings_.size()); }
  const std::vector<contour_t>& rings() const { return rings_; }
  std::int32_t ring_point_count(std::int32_t ring) const;
  RingPoint ring_point(std::int32_t ring, std::int32_t point) const;
  double ring_volume(std::int32_t ring) const;
  double ring_density(std::int32_t ring) const;
  /// The ring is the last one traced for its level.
  bool end_of_level(std::int32_t ring) const;
  /// The ring is the first one of its level (ring 0, or the ring before ends a level).
  bool start_of_level(std::int32_t ring) const;

  // ---- Independence of observations -------------------------------------------------------

  /// Schoener's ratio t2 / r2 of the working coordinates in insertion order; writes four log
  /// lines. NaN when undefined: fewer than 3 fixes, or no spread (r2 = 0).
  double schoener_ratio();
  /// The Swihart and Slade lag-one index; writes one log line. NaN when undefined: fewer
  /// than 3 fixes, or a coordinate constant over the lags or the leads.
  double swihart_slade_index();

 private:
  struct UdRun {
    bool computed = false;
    bool volume_ok = false;
  };

  UdRun run_ud(bool adaptive);
  bool ud_preconditions();
  bool localsmooth();
  void compute_densities(bool adaptive);
  void stretch_to_map_units();
  std::int32_t run_search(bool bcv2);
  double golden_search(bool bcv2, double a, double b, double c, double tolerance, double& xmin) const;
  void mark_h_set();
  void trace_level(double q, float volume, bool density_level, std::vector<std::uint8_t>& edge0,
                   std::vector<std::uint8_t>& edge1);
  void AVcontour(std::int32_t i, std::int32_t j, std::int32_t d, double q, std::vector<std::uint8_t>& edge0,
                 std::vector<std::uint8_t>& edge1, contour_t& ring) const;
  const contour_t* ring_at(std::int32_t ring) const;

  EngineLog log_;
  double h_ = 0.0;
  double href_ = 0.0;
  double lower_bound_ = 0.1;
  double upper_bound_ = 10.0;
  GridGeometry grid_;   // map units, as reported
  GridGeometry found_;  // working units, as Findscale found it; the UD is computed on it
  double volume_ = 0.0;
  double sd_x_ = 0.0;
  double sd_y_ = 0.0;
  std::int32_t fix_count_ = 0;
  std::vector<FixRecord> fixes_;
  std::vector<double> density_;
  std::vector<KernelSource> sources_;  // of the last UD, kept with their storage
  KernelSumWorkspace sum_workspace_;   // scratch of the UD's kernel sum
  std::vector<std::uint32_t> sorted_nodes_;
  std::vector<double> sorted_density_;
  bool density_contouring_ = false;
  std::array<double, kMaxContourLevels> levels_{};
  std::int32_t level_count_ = 0;
  std::vector<contour_t> rings_;
  bool table_made_ = false;
  bool h_set_ = false;
  bool scale_found_ = false;
  bool grid_too_fine_ = false;
  bool ud_made_ = false;
  bool pilot_done_ = false;
  std::int32_t capacity_ = 0;
  std::int32_t grid_size_ = 0;
  std::int32_t scale_grid_size_ = 0;
  std::int64_t table_length_ = 0;
  double tolerance_ = 0.05;
  bool href_valid_ = false;
  std::int32_t mode_ = NONE;
  std::string animal_id_ = "None";
  std::int32_t insert_index_ = 0;
  unsigned worker_threads_ = 0;
  bool exact_pair_sums_ = false;
};

}  // namespace orvex::core
