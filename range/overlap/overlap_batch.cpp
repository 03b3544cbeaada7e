#include "range/overlap/overlap_batch.h"

#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "host/application.h"
#include "host/error.h"
#include "host/layer.h"
#include "host/raster.h"
#include "host/text.h"
#include "host/ud_maker.h"
#include "host/value.h"
#include "host/workspace.h"
#include "range/bbmm/bbmm_batch.h"
#include "range/overlap/common_grid.h"
#include "range/overlap/overlap_table.h"
#include "range/shell/batch_frame.h"

namespace orvex::range {

namespace fs = std::filesystem;

namespace {

// Shares of the progress: reading (or making and reading) the UDs, then the indices.
constexpr double kReadShare = 0.5;
constexpr double kIndexShare = 0.9;

UdGrid GridOf(const host::RasterDataset& raster) {
  const host::Envelope extent = raster.extent();
  return {.origin_x = extent.xmin,
          .origin_y = extent.ymin,
          .cell_size = raster.cellSizeX(),
          .columns = static_cast<std::size_t>(raster.columns()),
          .rows = static_cast<std::size_t>(raster.rows())};
}

class Stopped final : public std::exception {};

// What a function of the estimators refuses, as a host error naming `what`.
template <class F>
auto Guard(F&& call, const std::string& what) {
  try {
    return call();
  } catch (const std::invalid_argument& e) {
    throw host::Error(host::kInvalidArgument, what + ": " + e.what());
  }
}

class OverlapRun {
 public:
  OverlapRun(host::Application& application, const OverlapSettings& settings)
      : app_(application), settings_(settings) {}

  OverlapBatchResult Run() {
    const auto steps = [this] {
      try {
        return Steps();
      } catch (const Stopped&) {
        RecordStopped(app_);
        return OverlapBatchResult::Cancelled;
      }
    };
    return RunGuarded(steps, [this](const std::string& why) { return Fail(why); });
  }

 private:
  OverlapBatchResult Steps() {
    const OverlapSettingsCheck check = CheckOverlapSettings(settings_);
    if (check.error) {
      RefuseSettings(app_, *check.error);
      return OverlapBatchResult::CheckFailed;
    }
    options_ = {
        .percent = check.percent, .conditional = settings_.conditional, .threads = app_.workerThreads()};
    folder_ = ExistingOutputFolder(settings_.outputFolder);
    std::error_code error;
    for (std::size_t i = 0; i < kOverlapIndexCount; ++i)
      if (settings_.indices[i] && fs::exists(TablePath(i), error)) {
        RefuseNamingConflict(app_, "table");
        return OverlapBatchResult::Cancelled;
      }
    if (settings_.source == OverlapSource::Rasters) {
      ReadRasters();
    } else if (!MakeUds()) {
      return OverlapBatchResult::Failed;
    }
    bool resampled = false;
    const UdGrid grid = Guard([&] { return to_common_grid(uds_, grids_, resampled); }, "the UDs' grids");
    const std::vector<std::span<const double>> views(uds_.begin(), uds_.end());
    const OverlapMatrices matrices =
        Guard([&] { return overlap_indices(views, grid, options_); }, "the overlap indices");
    Report(kIndexShare);
    for (std::size_t i = 0; i < kOverlapIndexCount; ++i)
      if (settings_.indices[i]) WriteTable(i, matrices);
    WriteLog(grid, resampled);
    Report(1.0);
    return OverlapBatchResult::Completed;
  }

  fs::path TablePath(std::size_t index) const {
    return folder_ / (std::string(kOverlapIndexNames[index]) + ".csv");
  }

  void Report(double fraction) {
    if (!app_.runRecord().report(fraction, "Overlap")) throw Stopped();
    app_.ui().processPendingEvents();
  }

  void AddUd(host::RasterDataset& raster, std::string animal) {
    const UdGrid grid = GridOf(raster);
    std::vector<double> density = raster.readDensity();
    Guard(
        [&] {
          check_ud_grid(grid);
          check_ud(density, grid);
          return 0;
        },
        "The raster '" + raster.path().string() + "' is not a UD");
    animals_.push_back(std::move(animal));
    uds_.push_back(std::move(density));
    grids_.push_back(grid);
  }

  std::shared_ptr<host::RasterDataset> OpenRaster(const std::string& item) {
    const auto layer =
        std::dynamic_pointer_cast<host::RasterLayer>(app_.document()->focusMap()->findLayer(item));
    if (layer) {
      if (auto raster = layer->raster()) return raster;
      throw host::Error(host::kDataError, "The raster layer '" + item + "' cannot be read");
    }
    const fs::path file(item);
    std::error_code error;
    if (!fs::is_regular_file(file, error))
      throw host::Error(host::kFileNotFound,
                        "'" + item + "' is neither a raster layer of the map nor a file");
    auto raster =
        app_.workspaces().openRasterWorkspace(file.parent_path())->openRaster(file.filename().string());
    if (!raster) throw host::Error(host::kDataError, "The file '" + item + "' is not a raster");
    return raster;
  }

  void ReadRasters() {
    const std::size_t count = settings_.rasters.size();
    for (std::size_t i = 0; i < count; ++i) {
      const std::shared_ptr<host::RasterDataset> raster = OpenRaster(settings_.rasters[i]);
      AddUd(*raster, raster->path().stem().string());
      Report(kReadShare * static_cast<double>(i + 1) / static_cast<double>(count));
    }
  }

  // The UDs of the fixes by the chosen estimator, then read back; false when fewer than two.
  bool MakeUds() {
    RefuseDegrees(LayerReference(*FocusPointLayer(app_, settings_.pointLayer)), settings_.pointLayer);
    const fs::path uds = folder_ / kOverlapUdFolder;
    std::error_code error;
    fs::create_directories(uds, error);
    if (error) throw host::Error(host::kPathNotFound, "Cannot make the folder '" + uds.string() + "'");
    std::vector<host::MadeUd> made;
    if (settings_.estimator == OverlapEstimator::Kde) {
      const auto maker = std::dynamic_pointer_cast<host::KdeUdMaker>(app_.createComponent(kKdeUdsProgId));
      if (!maker)
        throw host::Error(host::kFail, std::string("The host cannot make KDE UDs (") + kKdeUdsProgId + ")");
      const host::KdeUdResult result = maker->makeKdeUds(app_, {.pointLayer = settings_.pointLayer,
                                                                .idField = settings_.idField,
                                                                .selectedOnly = settings_.useSelectedOnly,
                                                                .bandwidth = settings_.bandwidth,
                                                                .adaptive = settings_.adaptive,
                                                                .rescale = settings_.rescale,
                                                                .buffer = settings_.buffer,
                                                                .cellSize = settings_.cellSize,
                                                                .folder = uds,
                                                                .prefix = "ud"});
      if (!result.completed) return Refuse("the KDE run behind the overlap did not complete");
      made = result.uds;
    } else {
      BbmmSettings bridge;
      bridge.pointLayer = settings_.pointLayer;
      bridge.idField = settings_.idField;
      bridge.useSelectedOnly = settings_.useSelectedOnly;
      bridge.timeField = settings_.timeField;
      bridge.sigma2 = settings_.sigma2;
      bridge.sigma1 = settings_.sigma1;
      bridge.extent = BbmmExtent::Full;
      bridge.buffer = settings_.buffer;
      bridge.cellSize = settings_.cellSize;
      bridge.outputFolder = uds.string();
      bridge.prefix = "ud";
      const std::size_t before = app_.runRecord().outputs().size();
      if (RunBbmmBatch(app_, bridge) != BbmmBatchResult::Completed)
        return Refuse("the bridge run behind the overlap did not complete");
      const auto& outputs = app_.runRecord().outputs();
      for (std::size_t i = before; i < outputs.size(); ++i)
        if (outputs[i].kind == host::OutputKind::Raster)
          made.push_back({outputs[i].values.animal, outputs[i].path});
    }
    if (made.size() < 2)
      return Refuse(std::to_string(made.size()) + " UD made from the layer '" + settings_.pointLayer +
                    "': the indices need two or more");
    const auto workspace = app_.workspaces().openRasterWorkspace(uds);
    for (std::size_t i = 0; i < made.size(); ++i) {
      const auto raster = workspace->openRaster(made[i].raster.filename().string());
      if (!raster) throw host::Error(host::kFileNotFound, "The UD '" + made[i].raster.string() + "' is gone");
      AddUd(*raster, made[i].animal);
      Report(kReadShare * static_cast<double>(i + 1) / static_cast<double>(made.size()));
    }
    return true;
  }

  bool Refuse(const std::string& reason) {
    app_.ui().messageBox("Overlap: " + reason + ".", "Error", host::MessageButtons::Ok,
                         host::MessageIcon::Exclamation);
    app_.runRecord().failure({.item = "the overlap", .reason = reason});
    return false;
  }

  void WriteTable(std::size_t index, const OverlapMatrices& matrices) {
    const std::string name = kOverlapIndexNames[index];
    host::RecordValues values;
    values.percentage = options_.percent;
    values.tableIndex = name;
    values.conditional = options_.conditional;
    values.animals = animals_;
    values.matrix = write_overlap_csv(TablePath(index), animals_, matrices, static_cast<OverlapIndex>(index));
    app_.runRecord().output({.path = TablePath(index),
                             .kind = host::OutputKind::Table,
                             .layer = name,
                             .values = std::move(values)});
  }

  void WriteLog(const UdGrid& grid, bool resampled) {
    const fs::path path = folder_ / kOverlapLogName;
    RunLog log(path, "Cannot write the run log '" + path.string() + "'");
    const auto line = [&log](const std::string& text) { log.line(text); };
    line("Overlap indices (Fieberg & Kochanny 2005)");
    line("Run ended: " + LogTime(app_));
    line(settings_.source == OverlapSource::Rasters
             ? std::string("UDs: rasters, as the densities they hold")
             : "UDs: made from the layer '" + settings_.pointLayer + "' by the " +
                   (settings_.estimator == OverlapEstimator::Kde ? "KDE tool" : "Brownian bridge") +
                   " into " + (folder_ / kOverlapUdFolder).string());
    for (std::size_t i = 0; i < animals_.size(); ++i)
      line("  " + animals_[i] + ": " + std::to_string(grids_[i].columns) + " x " +
           std::to_string(grids_[i].rows) + " cells of " + LogNumber(grids_[i].cell_size));
    line("Grid: " + std::to_string(grid.columns) + " x " + std::to_string(grid.rows) + " cells of " +
         LogNumber(grid.cell_size) + " from (" + LogNumber(grid.origin_x) + ", " + LogNumber(grid.origin_y) +
         ")" +
         (resampled
              ? "; the UDs lie on different grids: each was resampled (nearest cell) to this, the finest "
                "common grid"
              : ""));
    line("Volume contour: " + LogNumber(options_.percent) + " %" +
         (options_.conditional ? ", conditional" : ""));
    line(
        "Rows read against columns: HR[i][j] is the share of i's range that j's covers; PHR[i][j] the "
        "probability of finding j in i's range");
    log.close();
    app_.runRecord().output({.path = path, .kind = host::OutputKind::Log});
  }

  OverlapBatchResult Fail(const std::string& description) {
    ReportRunFailure(app_, "Overlap", description);
    return OverlapBatchResult::Failed;
  }

  host::Application& app_;
  const OverlapSettings& settings_;
  OverlapOptions options_;
  fs::path folder_;
  std::vector<std::string> animals_;
  std::vector<std::vector<double>> uds_;
  std::vector<UdGrid> grids_;
};

}  // namespace

OverlapSettingsCheck CheckOverlapSettings(const OverlapSettings& settings) {
  OverlapSettingsCheck check;
  const auto refuse = [&check](std::string message) {
    check.error = std::move(message);
    return check;
  };
  if (settings.source == OverlapSource::Rasters) {
    if (settings.rasters.size() < 2) return refuse("Add two or more UD rasters.");
  } else {
    if (settings.pointLayer.empty()) return refuse("Choose a point layer.");
    if (settings.idField.empty()) return refuse("Choose the unique animal ID field.");
  }
  const std::optional<double> percent = host::parseNumber(settings.percent);
  if (!percent || !(*percent > 0.0 && *percent <= 100.0))
    return refuse("Volume contour '" + settings.percent + "': give a percent in (0, 100].");
  check.percent = *percent;
  bool any = false;
  for (const bool chosen : settings.indices) any = any || chosen;
  if (!any) return refuse("Choose one index at least.");
  if (settings.outputFolder.empty()) return refuse("Choose an output folder.");
  return check;
}

OverlapBatchResult RunOverlapBatch(host::Application& application, const OverlapSettings& settings) {
  return OverlapRun(application, settings).Run();
}

}  // namespace orvex::range
