#include "range/bbmm/bbmm_batch.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <stdexcept>
#include <system_error>
#include <vector>

#include "host/application.h"
#include "host/cursor.h"
#include "host/error.h"
#include "host/isopleths.h"
#include "host/layer.h"
#include "host/raster.h"
#include "host/text.h"
#include "host/workspace.h"
#include "range/bridge/bridge_quadrature.h"
#include "range/shell/batch_frame.h"

namespace orvex::range {

namespace fs = std::filesystem;

namespace {

constexpr const char* kMsgDegrees =
    "its coordinates are in degrees: project the layer to map units (metres) first";

// Border cells above this fraction of the largest density say the grid may cut the UD.
constexpr double kEdgeFraction = 1e-4;
constexpr std::size_t kProfilePoints = 41;

std::string IndexList(std::span<const std::size_t> intervals, const std::vector<double>& t) {
  std::string text;
  for (const std::size_t i : intervals)
    text += (text.empty() ? "" : ", ") + LogNumber(t[i]) + " to " + LogNumber(t[i + 1]);
  return text;
}

// The likelihood from half to twice the estimate (kProfilePoints evenly in log s1), for a
// profile plot; the search's own points when s1 is 0.
std::vector<LikelihoodPoint> ProfileAround(const BridgeTrack& track, const Sigma1Estimate& estimate,
                                           TripletChoice choice, double maxGap) {
  if (!(estimate.sigma1 > 0.0)) return estimate.profile;
  std::vector<double> sigma1s(kProfilePoints);
  for (std::size_t k = 0; k < kProfilePoints; ++k)
    sigma1s[k] = estimate.sigma1 * std::exp2(2.0 * static_cast<double>(k) / (kProfilePoints - 1) - 1.0);
  return likelihood_profile(track, sigma1s, choice, maxGap);
}

class BbmmRun {
 public:
  BbmmRun(host::Application& application, const BbmmSettings& settings)
      : app_(application), settings_(settings) {}

  BbmmBatchResult Run() {
    return RunGuarded([this] { return Steps(); }, [this](const std::string& why) { return Fail(why); });
  }

 private:
  BbmmBatchResult Steps() {
    const BbmmSettingsCheck check = CheckBbmmSettings(settings_);
    if (check.error) {
      RefuseSettings(app_, *check.error);
      return BbmmBatchResult::CheckFailed;
    }
    values_ = check.values;
    layer_ = FocusPointLayer(app_, settings_.pointLayer);
    folder_ = ExistingOutputFolder(settings_.outputFolder);
    rasters_ = app_.workspaces().openRasterWorkspace(folder_);
    animals_ = ReadBbmmAnimals(*layer_, settings_);
    if (animals_.empty()) throw NoFixesError(settings_.idField, settings_.pointLayer);
    if (HasNamingConflict()) {
      RefuseNamingConflict(app_, "raster");
      return BbmmBatchResult::Cancelled;
    }
    reference_ = LayerReference(*layer_);
    if (reference_ && reference_->isGeographic())
      for (BbmmAnimal& animal : animals_)
        if (!animal.problem) animal.problem = kMsgDegrees;
    if (settings_.extent == BbmmExtent::Reference) SetReferenceGrid(*app_.document()->focusMap());
    const fs::path log = folder_ / kBbmmLogName;
    log_.emplace(log, "Cannot write the run log '" + log.string() + "'");
    LogHeader();
    for (std::size_t p = 0; p < animals_.size() && !stopped_; ++p) {
      AnimalStep(p);
      stopped_ =
          !app_.runRecord().report(static_cast<double>(p + 1) / static_cast<double>(animals_.size()), "BBMM");
      app_.ui().processPendingEvents();
    }
    log_->line("Run ended: " + LogTime(app_) + (stopped_ ? " (stopped by the user)" : ""));
    log_->close();
    app_.runRecord().output({.path = log_->path(), .kind = host::OutputKind::Log});
    if (stopped_) {
      RecordStopped(app_);
      return BbmmBatchResult::Cancelled;
    }
    ReportComplete(app_);
    return BbmmBatchResult::Completed;
  }

  std::string RasterName(std::size_t position) const { return settings_.prefix + std::to_string(position); }

  bool HasNamingConflict() const {
    for (std::size_t p = 0; p < animals_.size(); ++p) {
      std::error_code error;
      if (rasters_->exists(RasterName(p)) || fs::exists(folder_ / RasterName(p), error)) return true;
    }
    return false;
  }

  void SetReferenceGrid(const host::Map& map) {
    const auto layer = std::dynamic_pointer_cast<host::RasterLayer>(map.findLayer(settings_.referenceLayer));
    if (!layer || !layer->raster())
      throw host::Error(host::kNotFound,
                        "The raster layer '" + settings_.referenceLayer + "' is not in the map");
    referenceGrid_ = ReferenceBridgeGrid(*layer->raster());
  }

  void LogHeader() {
    log_->line("Brownian bridge movement model");
    log_->line("Run started: " + LogTime(app_));
    log_->line("Point layer: " + settings_.pointLayer + "; ID field: " + settings_.idField +
               "; time field: " + settings_.timeField);
    log_->line("Location error s2: " + (values_.sigma2 ? LogNumber(*values_.sigma2) + " map units"
                                                       : "per fix, field '" + settings_.sigma2Field + "'"));
    log_->line("s1: " + (values_.dynamic ? "per fix, dynamic bridge: windows of " +
                                               std::to_string(values_.dynamic->window) + " fixes, margin " +
                                               std::to_string(values_.dynamic->margin) + ", breaks by BIC"
                         : values_.sigma1 ? "given, " + LogNumber(*values_.sigma1)
                                          : std::string("maximum likelihood, ") +
                                                (values_.triplets == TripletChoice::all
                                                     ? "all triplets (every interior fix)"
                                                     : "independent triplets (fixes 2, 4, 6, ...)")));
    log_->line("Largest gap: " +
               (std::isinf(values_.maxGap) ? std::string("none") : LogNumber(values_.maxGap) + " seconds"));
    const char* extent = settings_.extent == BbmmExtent::Full      ? "full, buffer "
                         : settings_.extent == BbmmExtent::Minimum ? "minimum"
                                                                   : "reference raster ";
    log_->line(
        std::string("Extent: ") + extent +
        (settings_.extent == BbmmExtent::Full        ? LogNumber(values_.buffer)
         : settings_.extent == BbmmExtent::Reference ? settings_.referenceLayer
                                                     : std::string()) +
        (settings_.extent == BbmmExtent::Reference ? "" : "; cell size " + LogNumber(values_.cellSize)));
    std::string isopleths;
    for (const double p : values_.isopleths) isopleths += (isopleths.empty() ? "" : ", ") + LogNumber(p);
    log_->line("Isopleths: " + (isopleths.empty() ? std::string("none") : isopleths));
    log_->line("");
  }

  void AnimalStep(std::size_t position) {
    BbmmAnimal& animal = animals_[position];
    const std::string item = "animal " + animal.id;
    try {
      if (animal.problem) throw std::invalid_argument(*animal.problem);
      AnimalUd(position, animal);
    } catch (const std::invalid_argument& e) {
      Refuse(animal, e.what());
    } catch (const host::Error& e) {
      if (host::errorsPassThrough()) throw;
      Refuse(animal, e.description());
    }
    log_->line("");
  }

  void Refuse(const BbmmAnimal& animal, const std::string& reason) {
    app_.runRecord().failure({.item = "animal " + animal.id,
                              .reason = reason,
                              .values = {.inputLayer = settings_.pointLayer, .animal = animal.id}});
    log_->line("Animal " + animal.id + ": not computed: " + reason);
  }

  void ReportIntervals(const BbmmAnimal& animal, const BridgeIntervals& intervals) {
    const auto skip = [&](std::span<const std::size_t> list, const std::string& what) {
      if (list.empty()) return;
      const std::string text =
          std::to_string(list.size()) + " " + what + " carry no bridge (" + IndexList(list, animal.t) + ")";
      log_->line("  " + text);
      app_.runRecord().failure({.item = "animal " + animal.id + " intervals",
                                .reason = text,
                                .kind = host::FailureKind::Skipped,
                                .values = {.inputLayer = settings_.pointLayer, .animal = animal.id}});
    };
    skip(intervals.zero_length, "intervals of zero length");
    skip(intervals.over_gap, "intervals over the largest gap");
  }

  void AnimalUd(std::size_t position, const BbmmAnimal& animal) {
    const std::vector<double> oneError{values_.sigma2.value_or(0.0)};
    const BridgeTrack track{animal.x, animal.y, animal.t, values_.sigma2 ? oneError : animal.sigma2};
    check_track(track, 3);
    const BridgeIntervals intervals = classify_intervals(animal.t, values_.maxGap);
    log_->line("Animal " + animal.id + ": " + std::to_string(animal.t.size()) + " fixes, " +
               std::to_string(intervals.used.size()) + " bridges over " + LogNumber(intervals.used_time) +
               " seconds");
    ReportIntervals(animal, intervals);
    host::RecordValues values{.inputLayer = settings_.pointLayer, .animal = animal.id};
    values.sigma2 = values_.sigma2;
    double sigma1 = 0.0;
    DynamicSigma1 dynamic;
    if (values_.dynamic) {
      app_.ui().processPendingEvents();
      DynamicOptions options = *values_.dynamic;
      options.max_gap = values_.maxGap;
      options.threads = app_.workerThreads();
      dynamic = estimate_dynamic_sigma1(track, options);
      // One figure for the summary: the median s1 over the intervals; the grid's margin takes
      // the largest, so that no bridge is cut.
      std::vector<double> sorted = dynamic.sigma1_per_interval;
      std::sort(sorted.begin(), sorted.end());
      sigma1 = sorted[sorted.size() / 2];
      log_->line("  s1 per fix from " + std::to_string(dynamic.windows_used) + " windows (" +
                 std::to_string(dynamic.breaks.size()) + " with a break): median " + LogNumber(sigma1) +
                 ", from " + LogNumber(sorted.front()) + " to " + LogNumber(sorted.back()));
      values.sigma1 = sigma1;
      sigma1 = sorted.back();
    } else if (values_.sigma1) {
      sigma1 = *values_.sigma1;
      log_->line("  s1 = " + LogNumber(sigma1) + " (given)");
    } else {
      app_.ui().processPendingEvents();
      const Sigma1Estimate estimate = estimate_sigma1(track, values_.triplets, values_.maxGap);
      sigma1 = estimate.sigma1;
      for (const LikelihoodPoint& point : ProfileAround(track, estimate, values_.triplets, values_.maxGap))
        values.profile.push_back({point.sigma1, point.log_likelihood});
      log_->line("  s1 = " + LogNumber(sigma1) + " by maximum likelihood over " +
                 std::to_string(estimate.triplets) + " triplets, log-likelihood " +
                 LogNumber(estimate.log_likelihood) +
                 (estimate.at_zero ? " (the fixes scatter no more than s2 explains: s1 = 0)" : ""));
    }
    if (!values_.dynamic) values.sigma1 = sigma1;
    const BridgeGrid grid = AnimalGrid(track, intervals, sigma1);
    if (static_cast<double>(grid.columns) * static_cast<double>(grid.rows) >
        static_cast<double>(kBbmmMaxCells))
      throw std::invalid_argument("its grid of " + std::to_string(grid.columns) + " x " +
                                  std::to_string(grid.rows) + " cells is above " +
                                  std::to_string(kBbmmMaxCells) + ": use a larger cell size");
    std::vector<double> ud(grid.cell_count());
    BridgeOptions options{.sigma1 = sigma1,
                          .max_gap = values_.maxGap,
                          .threads = app_.workerThreads(),
                          .sigma1_per_interval = dynamic.sigma1_per_interval};
    bridge_ud(track, options, grid, ud);
    WriteAnimal(RasterName(position), grid, ud, std::move(values));
  }

  BridgeGrid AnimalGrid(const BridgeTrack& track, const BridgeIntervals& intervals, double sigma1) const {
    switch (settings_.extent) {
      case BbmmExtent::Full:
        return FullExtentBridgeGrid(layer_->featureClass()->extent(), values_.buffer, values_.cellSize);
      case BbmmExtent::Minimum:
        return MinimumExtentBridgeGrid(track, intervals.used, sigma1, values_.cellSize);
      case BbmmExtent::Reference:
        break;
    }
    return referenceGrid_;
  }

  void WriteAnimal(const std::string& name, const BridgeGrid& grid, const std::vector<double>& ud,
                   host::RecordValues values) {
    const std::shared_ptr<host::RasterDataset> raster =
        rasters_->createRaster({.name = name,
                                .originX = grid.origin_x,
                                .originY = grid.origin_y,
                                .cellSize = grid.cell_size,
                                .rows = static_cast<int>(grid.rows),
                                .columns = static_cast<int>(grid.columns),
                                .spatialReference = reference_});
    const std::vector<float> cells(ud.begin(), ud.end());
    const std::shared_ptr<host::RasterBand> band = raster->band(0);
    band->writeRows(0, static_cast<int>(grid.rows), cells);
    const host::RasterStatistics statistics = band->computeStatistics();
    app_.runRecord().output({.path = raster->path(),
                             .kind = host::OutputKind::Raster,
                             .layer = name,
                             .columns = raster->columns(),
                             .rows = raster->rows(),
                             .values = values});
    log_->line("  Raster " + name + ": " + std::to_string(grid.columns) + " columns x " +
               std::to_string(grid.rows) + " rows of " + LogNumber(grid.cell_size) + ", largest density " +
               LogNumber(statistics.maximum));
    if (!values_.isopleths.empty()) Isopleths(raster, name, std::move(values), statistics.maximum);
  }

  void Isopleths(const std::shared_ptr<host::RasterDataset>& raster, const std::string& name,
                 host::RecordValues values, double maximum) {
    values.profile.clear();
    const auto maker = std::dynamic_pointer_cast<host::IsoplethMaker>(app_.createComponent(kIsoplethProgId));
    if (!maker)
      throw host::Error(host::kFail, std::string("The host cannot make isopleths (") + kIsoplethProgId + ")");
    const host::IsoplethResult result = maker->makeIsopleths(app_, {.raster = raster,
                                                                    .percentages = values_.isopleths,
                                                                    .lines = settings_.lines,
                                                                    .polygons = settings_.polygons,
                                                                    .folder = folder_,
                                                                    .name = name + "_iso"});
    if (result.status != 0)
      throw host::Error(host::kFail, "its isopleths failed (status " + std::to_string(result.status) + ")");
    for (const auto& features : {result.lines, result.polygons}) {
      if (!features) continue;
      host::RecordValues recorded = values;
      const int area = features == result.polygons ? features->findField("AREA") : -1;
      if (area >= 0) {
        const std::unique_ptr<host::Cursor> rows = features->search();
        while (const std::optional<host::Row> row = rows->next())
          recorded.areas.push_back(row->value(area).toDouble());
      }
      app_.runRecord().output({.path = folder_ / (features->name() + ".shp"),
                               .kind = host::OutputKind::Shapefile,
                               .layer = features->name(),
                               .features = features->rowCount(),
                               .values = std::move(recorded)});
    }
    if (result.maxEdgeValue > kEdgeFraction * maximum)
      log_->line("  Isopleths: the raster's border holds density up to " + LogNumber(result.maxEdgeValue) +
                 ": the grid may cut the distribution; widen the extent");
  }

  BbmmBatchResult Fail(const std::string& description) {
    log_.reset();  // closed quietly: the error being reported is the one that matters
    ReportRunFailure(app_, "BBMM", description);
    return BbmmBatchResult::Failed;
  }

  host::Application& app_;
  const BbmmSettings& settings_;
  BbmmRunValues values_;
  std::shared_ptr<host::FeatureLayer> layer_;
  host::SpatialReferencePtr reference_;
  fs::path folder_;
  std::shared_ptr<host::RasterWorkspace> rasters_;
  std::vector<BbmmAnimal> animals_;
  BridgeGrid referenceGrid_;
  std::optional<RunLog> log_;
  bool stopped_ = false;
};

}  // namespace

BbmmBatchResult RunBbmmBatch(host::Application& application, const BbmmSettings& settings) {
  return BbmmRun(application, settings).Run();
}

}  // namespace orvex::range
