// The KDE batch run: checks, input, naming check, extent, one kernel raster per animal and
// bandwidth value, isopleths, the analysis log and the settings copy.

#include "ui/kde/kde_batch.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <new>
#include <system_error>

#include "host/application.h"
#include "host/error.h"
#include "host/layer.h"
#include "host/raster.h"
#include "host/text.h"
#include "host/workspace.h"
#include "ui/gis/cls_hiso.h"
#include "ui/gis/layer_lookup.h"
#include "ui/kde/analysis_log.h"
#include "ui/kde/cls_kernel_calculator.h"
#include "ui/kde/kde_extent.h"
#include "ui/kde/kde_leftovers.h"
#include "ui/kde/kde_run_record.h"
#include "ui/kde/settings_file.h"

namespace orvex::ui {

namespace fs = std::filesystem;

namespace {

constexpr const char* kMsgNamingConflict =
    "Error: naming conflict detected (pre-existing raster in output folder). You should use a new, empty "
    "folder "
    "for the output of this tool. Exiting...";
constexpr const char* kMsgBufferQuestionStart =
    "Warning: the extent buffer distance you have provided may not be large enough to capture the full "
    "extent of "
    "the utilization distribution. This data truncation can profoundly distort the isopleths. It is "
    "recommended "
    "you use a buffer distance of at least ";
constexpr const char* kMsgBufferQuestionEnd = " for this dataset. Do you wish to use this recommended value?";
constexpr const char* kMsgOverlapStart =
    "Warning: overlapping points were detected for the following animals:";
constexpr const char* kMsgOverlapEnd =
    "This may prevent reasonable estimation of the bandwidth. Would you like to continue anyway?";
constexpr const char* kMsgIsoplethWarning =
    "A warning was generated when calculating the isopleths. It is possible that the extent of the raster "
    "was not "
    "large enough to accommodate the utilization distribution. Data truncation may therefore have occurred, "
    "and "
    "this can profoundly disrupt the isopleth calculation. It is recommended you inspect the vector isopleth "
    "carefully to determine if it is valid.";
constexpr const char* kMsgGridTooLarge =
    "Output raster is too large (> 50 million cells). Kernel could not be calculated. Please increase the "
    "output "
    "cell size.";
constexpr const char* kMsgComplete = "Processing complete.";
// The log's last lines for a run the user stopped, before "Finish time: ".
constexpr const char* kLogStopped =
    "Run stopped by the user: the rasters and isopleths above were written; the other animals were not "
    "calculated.";

/// Edge value above scaling factor times this raises the isopleth warning: list runs, and
/// single runs (LSCV, BCV, HREF).
constexpr double kListRunEdgeFactor = 0.00000001;
constexpr double kSingleRunEdgeFactor = 0.0000000005;

// Statement counter values shown in the run's error message.
enum Stage : int {
  kStageChecks = 100,
  kStageInput = 200,
  kStageNaming = 300,
  kStageLogStart = 400,
  kStageExtent = 500,
  kStageOptions = 600,
  kStageKernels = 700,
  kStageIsopleths = 800,
  kStageEnd = 900,
};

constexpr char kCr = '\r';

// The text of a box as a number, converted as the run converts every text box: a text that
// is not a number raises the type-mismatch error.
double TextNumber(const std::string& text) { return host::Value(text).toDouble(); }

class NoView final : public KdeRunView {};

// One run, from the checks to "Processing complete.".
class BatchRun {
 public:
  BatchRun(host::Application& application, KdeSettings& settings, const KdeBatchInput& input,
           KdeRunView& view)
      : app_(application), settings_(settings), input_(input), view_(view) {}

  KdeBatchResult Run() {
    try {
      return Steps();
    } catch (const host::Error& e) {
      if (host::errorsPassThrough()) throw;
      return Fail(e.description());
    } catch (const std::bad_alloc&) {
      return Fail("Out of memory");
    }
  }

 private:
  // The run's steps in order; each returns the result that ends the run early, if any.
  KdeBatchResult Steps() {
    if (auto stop = CheckSettings()) return *stop;
    if (auto stop = ReadInput()) return *stop;
    if (auto stop = OpenOutputFolder()) return *stop;
    StartLog();
    if (auto stop = SetUpCalculator()) return *stop;
    ReplaceStoppedRunOutputs();
    RunKernelsAndIsopleths();
    if (stopRequested_) return Stopped();
    return Finish();
  }

  std::optional<KdeBatchResult> CheckSettings() {
    stage_ = kStageChecks;
    const KdeSettingsCheck check = CheckKdeSettings(settings_);
    if (!check.ok()) {
      app_.ui().messageBox(*check.error, "Error", host::MessageButtons::Ok, host::MessageIcon::Exclamation);
      app_.runRecord().failure({.item = "the settings", .reason = *check.error});
      return KdeBatchResult::CheckFailed;
    }
    lists_ = check.lists;
    return std::nullopt;
  }

  std::optional<KdeBatchResult> ReadInput() {
    stage_ = kStageInput;
    const std::shared_ptr<host::Map> map = app_.document()->focusMap();
    layer_ = std::dynamic_pointer_cast<host::FeatureLayer>(gis::FindLayerByName(*map, settings_.pointLayer));
    if (!layer_ || !layer_->featureClass()) {
      throw host::Error(host::kNotFound, "The point layer '" + settings_.pointLayer + "' is not in the map");
    }
    if (input_.prepared != nullptr) {
      data_ = *input_.prepared;
    } else {
      std::optional<KdeAnimalData> prepared =
          PrepareKdeInput(app_, *layer_, settings_.idField, settings_.useSelectedOnly);
      if (!prepared) {
        app_.runRecord().failure({.item = settings_.pointLayer, .reason = "its fixes could not be read"});
        return KdeBatchResult::InputFailed;
      }
      data_ = std::move(*prepared);
    }
    if (data_.animals.empty()) {
      throw host::Error(host::kNotFound, "No fixes with a value in the field '" + settings_.idField +
                                             "' were found in the layer '" + settings_.pointLayer + "'");
    }
    varianceRows_ = input_.varianceRows != nullptr ? *input_.varianceRows : VarianceTableRows(data_);
    return std::nullopt;
  }

  std::optional<KdeBatchResult> OpenOutputFolder() {
    stage_ = kStageNaming;
    folder_ = settings_.outputFolder;
    std::error_code error;
    if (folder_.empty() || !fs::is_directory(folder_, error)) {
      throw host::Error(host::kPathNotFound,
                        "The output folder '" + settings_.outputFolder + "' does not exist");
    }
    rasters_ = app_.workspaces().openRasterWorkspace(folder_);
    stoppedRunNames_ = ReadStoppedRunList(folder_);
    if (HasNamingConflict()) {
      app_.ui().messageBox(kMsgNamingConflict, "User error", host::MessageButtons::Ok,
                           host::MessageIcon::Exclamation);
      return Cancel();
    }
    return std::nullopt;
  }

  void StartLog() {
    stage_ = kStageLogStart;
    view_.setOkEnabled(false);
    log_.emplace(folder_);
    log_->write(LogHeaderLines(settings_, LogRunInfo{.startTime = Now(),
                                                     .data = &data_,
                                                     .independenceRows = input_.independenceRows,
                                                     .varianceRows = &varianceRows_}));
  }

  // The shared extent, the settings copy, then the calculator's options and the progress range.
  std::optional<KdeBatchResult> SetUpCalculator() {
    stage_ = kStageExtent;
    calculator_.emplace(&app_.ui(), &app_.workspaces());
    calculator_->SetWorkerThreads(app_.workerThreads());
    calculator_->SetExactPairSums(app_.exactPairSums());
    if (!SetSharedExtent()) return Cancel();
    log_->write(LogExtentLines(settings_));
    const fs::path settingsCopy = folder_ / kSettingsCopyName;
    std::error_code error;
    if (!fs::exists(settingsCopy, error)) {
      WriteSettingsFile(settingsCopy, settings_);
      createdSettingsCopy_ = true;
    }

    stage_ = kStageOptions;
    calculator_->SetEnforceUnitVariance(settings_.rescale);
    calculator_->SetFixedKernel(settings_.fixedKernel);
    scaling_ = TextNumber(settings_.scaling);
    calculator_->SetScalingFactor(scaling_);
    const int k = static_cast<int>(data_.animals.size());
    const int perValue = settings_.isopleths ? 2 * k + 1 : k + 1;
    const bool listRun = !lists_.bandwidthValues.empty();
    progressSteps_ = listRun ? perValue * static_cast<int>(lists_.bandwidthValues.size()) : perValue;
    view_.setProgressRange(0, progressSteps_);
    if (!ConfirmOverlaps()) return Cancel();
    return std::nullopt;
  }

  // A list run makes each animal's kernel and isopleths per bandwidth value; a single run reports
  // every kernel first, then every animal's isopleths. Each animal's isopleths are still drawn
  // as soon as its raster is written and only their records wait, so a run holds one raster at
  // a time however many animals it has.
  void RunKernelsAndIsopleths() {
    stage_ = kStageKernels;
    if (settings_.isopleths) ConfigureIsopleths();
    if (!lists_.bandwidthValues.empty()) {
      for (std::size_t j = 1; j <= lists_.bandwidthValues.size() && !stopRequested_; ++j) {
        for (std::size_t p = 0; p < data_.animals.size() && !stopRequested_; ++p) {
          stage_ = kStageKernels;
          const std::string name = RasterName(p, j);
          KernelForAnimal(p, j, name);
          if (settings_.isopleths) {
            stage_ = kStageIsopleths;
            IsoplethsFor(name, kListRunEdgeFactor, app_.runRecord());
          }
        }
      }
      return;
    }
    host::RunRecord isoplethRecords;
    for (std::size_t p = 0; p < data_.animals.size() && !stopRequested_; ++p) {
      stage_ = kStageKernels;
      KernelForAnimal(p, 0, RasterName(p, 0));
      if (settings_.isopleths && !stopRequested_) {
        stage_ = kStageIsopleths;
        view_.setStatus("Isopleths...");
        IsoplethsFor(RasterName(p, 0), kSingleRunEdgeFactor, isoplethRecords);
      }
    }
    for (const host::OutputRecord& output : isoplethRecords.outputs()) app_.runRecord().output(output);
    for (const host::FailureRecord& failure : isoplethRecords.failures()) app_.runRecord().failure(failure);
  }

  KdeBatchResult Finish() {
    stage_ = kStageEnd;
    std::optional<std::string> isoplethWarning;
    if (edgeWarning_) {
      isoplethWarning = kMsgIsoplethWarning;
      if (!settings_.silent) {
        app_.ui().messageBox(kMsgIsoplethWarning, "Warning", host::MessageButtons::Ok,
                             host::MessageIcon::Exclamation);
      }
    }
    view_.setProgressValue(0);
    log_->write(LogClosingLines(isoplethWarning, Now()));
    log_->close();
    app_.runRecord().output({.path = log_->path(), .kind = host::OutputKind::Log});
    if (createdSettingsCopy_)
      app_.runRecord().output({.path = folder_ / kSettingsCopyName, .kind = host::OutputKind::Settings});
    app_.ui().messageBox(kMsgComplete, "Status", host::MessageButtons::Ok, host::MessageIcon::Information);
    return KdeBatchResult::Completed;
  }

  std::string Now() const { return host::Date::fromTimePoint(app_.clock().now(), true).toIso8601(); }

  std::string RasterName(std::size_t position, std::size_t listValue) const {
    std::string name = settings_.prefix + std::to_string(position);
    if (listValue > 0) name += "_b" + std::to_string(listValue);
    return name;
  }

  // The raster names this run writes: P + p, and for a list run P + p + "_b" + j.
  std::vector<std::string> NamesToWrite() const {
    std::vector<std::string> names;
    for (std::size_t p = 0; p < data_.animals.size(); ++p) {
      if (lists_.bandwidthValues.empty()) names.push_back(RasterName(p, 0));
      for (std::size_t j = 1; j <= lists_.bandwidthValues.size(); ++j) names.push_back(RasterName(p, j));
    }
    return names;
  }

  bool LeftByStoppedRun(const std::string& name) const {
    return std::find(stoppedRunNames_.begin(), stoppedRunNames_.end(), name) != stoppedRunNames_.end();
  }

  // A raster dataset, or any folder or file of that name, already in the output folder. Next
  // to P + p itself, a list run checks the names it will write, so that it cannot stop half
  // way on a raster of an earlier run. A raster that a stopped run left is no conflict: this
  // run replaces it.
  bool HasNamingConflict() const {
    const auto taken = [this](const std::string& name) {
      std::error_code error;
      return (rasters_->exists(name) || fs::exists(folder_ / name, error)) && !LeftByStoppedRun(name);
    };
    for (std::size_t p = 0; p < data_.animals.size(); ++p) {
      if (taken(RasterName(p, 0))) return true;
      for (std::size_t j = 1; j <= lists_.bandwidthValues.size(); ++j) {
        if (taken(RasterName(p, j))) return true;
      }
    }
    return false;
  }

  // Once the questions are answered: the rasters (and isopleths) a stopped run left under the
  // names this run writes are deleted, and the list keeps the others.
  void ReplaceStoppedRunOutputs() {
    if (stoppedRunNames_.empty()) return;
    const std::vector<std::string> names = NamesToWrite();
    std::vector<std::string> kept;
    for (const std::string& name : stoppedRunNames_) {
      if (std::find(names.begin(), names.end(), name) != names.end())
        DeleteKdeOutputs(app_.workspaces(), folder_, name);
      else
        kept.push_back(name);
    }
    stoppedRunNames_ = std::move(kept);
    WriteStoppedRunList(folder_, stoppedRunNames_);
  }

  // The grid shared by every animal (full extent, reference layer). False when the run is to
  // be cancelled: Cancel on the buffer question, or a grid above the cell limit (refused
  // before any animal, since the first animal's reset would otherwise hide it).
  bool SetSharedExtent() {
    if (settings_.extent == KdeExtentChoice::Full) {
      double buffer = TextNumber(settings_.buffer);
      const BufferAdvice advice =
          RecommendBuffer(settings_.bandwidth, lists_.largestListValue, LargestHref(data_));
      if (static_cast<double>(advice.recommended) > buffer) {
        const host::MessageAnswer answer = app_.ui().messageBox(
            kMsgBufferQuestionStart + std::to_string(advice.recommended) + kMsgBufferQuestionEnd, "Warning",
            host::MessageButtons::YesNoCancel, host::MessageIcon::None);
        if (answer == host::MessageAnswer::Cancel) return false;
        if (answer == host::MessageAnswer::Yes) {
          buffer = kBufferBandwidths * advice.quantity;
          settings_.buffer = host::numberText(buffer);
          view_.settingsChanged(settings_);
        }
      }
      calculator_->SetCellSize(TextNumber(settings_.cellSize));
      const std::optional<KdeGrid> grid = FullExtentGrid(layer_->featureClass()->extent(), buffer,
                                                         RequireCellSize(), clsKernelCalculator::kMaxCells);
      if (!grid) return RefuseGrid();
      SetGrid(*grid);
    } else if (settings_.extent == KdeExtentChoice::Reference) {
      const std::shared_ptr<host::Map> map = app_.document()->focusMap();
      auto reference =
          std::dynamic_pointer_cast<host::RasterLayer>(gis::FindLayerByName(*map, settings_.referenceLayer));
      if (!reference) {
        throw host::Error(host::kNotFound,
                          "The raster layer '" + settings_.referenceLayer + "' is not in the map");
      }
      calculator_->SetReferenceRaster(reference);
      settings_.cellSize = host::numberText(calculator_->GetCellSize());
      view_.settingsChanged(settings_);
      const std::int64_t cells =
          static_cast<std::int64_t>(calculator_->GetRowCount()) * calculator_->GetColumnCount();
      if (cells > clsKernelCalculator::kMaxCells) return RefuseGrid();
    }
    return true;
  }

  bool RefuseGrid() {
    app_.ui().messageBox(kMsgGridTooLarge, "Error", host::MessageButtons::Ok, host::MessageIcon::Exclamation);
    return false;
  }

  // The calculator's cell size; a size of 0 (a cell-size text of 0 or below) cannot divide
  // the extent into cells.
  double RequireCellSize() const {
    const double cell = calculator_->GetCellSize();
    if (!(cell > 0.0)) throw host::Error(host::error_number::kDivisionByZero, "Division by zero");
    return cell;
  }

  // The overlap question; false when it is answered No.
  bool ConfirmOverlaps() {
    std::string marked;
    for (const KdeAnimal& animal : data_.animals) {
      if (HasOverlap(animal.points)) marked += std::to_string(animal.numericId) + "  ";
    }
    if (marked.empty()) return true;
    const host::MessageAnswer answer =
        app_.ui().messageBox(std::string(kMsgOverlapStart) + kCr + marked + kCr + kMsgOverlapEnd, "Warning",
                             host::MessageButtons::YesNo, host::MessageIcon::None);
    return answer != host::MessageAnswer::No;
  }

  void ConfigureIsopleths() {
    isopleths_.emplace(app_);
    isopleths_->SetCalculateLines(settings_.lines);
    isopleths_->SetCalculatePolys(settings_.polygons);
    isopleths_->SetCalculateDonuts(settings_.donuts);
    isopleths_->SetOutputFolder(folder_.string());
    isopleths_->SetIsoplethBoundaries(lists_.isoplethPercentages);
  }

  // One step of the run: the dialog's progress bar and the host's progress of the run. A host
  // whose progress answers false (its Cancel pressed) stops the run after the current animal's
  // step; the files already written stay, complete.
  void Advance() {
    view_.setProgressValue(++progress_);
    if (progressSteps_ > 0 &&
        !app_.runRecord().report(static_cast<double>(progress_) / static_cast<double>(progressSteps_), "KDE"))
      stopRequested_ = true;
    app_.ui().processPendingEvents();
  }

  // The kernel of animal `position` with list value `listValue` (1-based; 0 for single runs).
  void KernelForAnimal(std::size_t position, std::size_t listValue, const std::string& name) {
    const KdeAnimal& animal = data_.animals[position];
    clsKernelCalculator& calc = *calculator_;
    Advance();
    calc.SetInputCoords(animal.points);
    calc.SetKernelType(KernelType::kernel_Guassian);
    ChooseBandwidth(calc, listValue);
    // A failed search leaves its code in place: CalculateKernel then does nothing, and the
    // animal is logged with that code instead of borrowing the previous animal's bandwidth.
    const bool searchFailed = calc.lErrorStatus == clsKernelCalculator::kBandwidthSearchFailed;
    app_.ui().processPendingEvents();

    const double h = calc.GetScaledBandwidth();
    calc.SetLimitRadius(kLimitRadiusBandwidths * h);
    if (settings_.extent == KdeExtentChoice::Minimum) SetAnimalExtent(animal, h);

    view_.setStatus("Calculating kernel...");
    calc.CalculateKernel();
    app_.ui().processPendingEvents();

    const std::string warnings = calc.WarningMessages();
    if (!warnings.empty() && !settings_.silent) {
      app_.ui().messageBox(warnings + kCr + "(Animal ID: " + std::to_string(animal.numericId) + ")",
                           "Warnings", host::MessageButtons::Ok, host::MessageIcon::Exclamation);
    }
    const std::int32_t status = calc.lErrorStatus;
    if (status == 0) {
      view_.setStatus("Writing kernel...");
      const std::shared_ptr<host::RasterDataset> raster =
          calc.WriteKernelToRaster(folder_.string(), name, OutputReference());
      if (raster) {
        writtenNames_.push_back(name);
        host::RecordValues values = AnimalValues(animal, calc);
        RecordKdeRaster(app_.runRecord(), *raster, values);
        if (settings_.isopleths) written_[name] = {raster, std::move(values)};
      }
    }
    if (status != 0 || searchFailed) {
      app_.runRecord().failure(
          {.item = "animal " + animal.displayId(data_.textIds),
           .reason = searchFailed ? "the bandwidth search failed"
                     : calc.LastErrorDescription().empty()
                         ? "no kernel was computed (status " + std::to_string(status) + ")"
                         : "no kernel was computed: " + calc.LastErrorDescription() + " (status " +
                               std::to_string(status) + ")",
           .values = AnimalValues(animal, calc)});
    }

    LogAnimal(animal, calc, name, status, searchFailed, warnings);
  }

  // The coordinate system of the rasters: the layer's, else its feature class's.
  host::SpatialReferencePtr OutputReference() const {
    host::SpatialReferencePtr reference = layer_->spatialReference();
    return reference ? reference : layer_->featureClass()->spatialReference();
  }

  // The bandwidth of this run: a search, href, or the list value (1-based) of a manual or
  // proportional run.
  void ChooseBandwidth(clsKernelCalculator& calc, std::size_t listValue) {
    switch (settings_.bandwidth) {
      case KdeBandwidthChoice::Lscv:
        view_.setStatus("Calculating LSCV...");
        calc.CalculateLSCV();
        break;
      case KdeBandwidthChoice::Bcv:
        view_.setStatus("Calculating BCV...");
        calc.CalculateBCV();
        break;
      case KdeBandwidthChoice::Href:
        calc.CalculateHREF();
        break;
      case KdeBandwidthChoice::Manual:
        calc.SetManualBandwidth(lists_.bandwidthValues[listValue - 1]);
        break;
      case KdeBandwidthChoice::ProportionOfHref:
        calc.CalculateHREF();
        calc.SetProportionHRefBandwidth(lists_.bandwidthValues[listValue - 1]);
        break;
    }
  }

  void LogAnimal(const KdeAnimal& animal, const clsKernelCalculator& calc, const std::string& name,
                 std::int32_t status, bool searchFailed, const std::string& warnings) {
    log_->write(LogAnimalLines(KdeAnimalLogBlock(
        settings_, animal, data_.textIds, calc,
        {.rasterName = name, .errorStatus = status, .searchFailed = searchFailed, .warnings = warnings})));
  }

  host::RecordValues AnimalValues(const KdeAnimal& animal, const clsKernelCalculator& calc) const {
    return KdeAnimalValues(settings_.pointLayer, animal, data_.textIds, calc);
  }

  // Minimum extent: the animal's own bounding box widened by 4 bandwidths on every side.
  void SetAnimalExtent(const KdeAnimal& animal, double h) {
    calculator_->SetCellSize(TextNumber(settings_.cellSize));
    SetGrid(AnimalExtentGrid(animal.points, h, RequireCellSize()));
  }

  void SetGrid(const KdeGrid& grid) {
    calculator_->SetColumns(grid.columns);
    calculator_->SetRows(grid.rows);
    calculator_->SetOriginCoords(grid.originX, grid.originY);
  }

  // Isopleths of one raster, from the dataset still open since it was written (its cells and
  // statistics are not read back from the file), reported to `record`; a raster that was not
  // written (a failed animal) is skipped. The dataset is let go here.
  void IsoplethsFor(const std::string& name, double edgeFactor, host::RunRecord& record) {
    Advance();
    const auto found = written_.find(name);
    if (found == written_.end()) return;
    WrittenRaster raster = std::move(found->second);
    written_.erase(found);
    isopleths_->SetOutputName(name + "_iso");
    isopleths_->SetRasterDataset(std::move(raster.dataset));
    isopleths_->CreateIsopleths();
    RecordKdeIsopleths(record, *isopleths_, folder_, name, std::move(raster.values));
    if (isopleths_->GetMaxEdgeValue() > scaling_ * edgeFactor) edgeWarning_ = true;
    app_.ui().processPendingEvents();
  }

  // Stopped by the user (the host's Cancel) during the kernels: what was finished stays, as a
  // finished run's would: the rasters and their isopleths, the log with their blocks and a
  // closing line that says the run was stopped, the settings copy. Their names are listed for
  // a later run into the folder, which replaces them.
  KdeBatchResult Stopped() {
    stage_ = kStageEnd;
    view_.setProgressValue(0);
    log_->write({kLogStopped, "Finish time: " + Now(), ""});
    log_->close();
    app_.runRecord().output({.path = log_->path(), .kind = host::OutputKind::Log});
    if (createdSettingsCopy_)
      app_.runRecord().output({.path = folder_ / kSettingsCopyName, .kind = host::OutputKind::Settings});
    std::vector<std::string> left = stoppedRunNames_;
    left.insert(left.end(), writtenNames_.begin(), writtenNames_.end());
    WriteStoppedRunList(folder_, left);
    view_.setOkEnabled(true);
    view_.setStatus("");
    app_.runRecord().failure({.item = "the run",
                              .reason = "the run was stopped by the user",
                              .kind = host::FailureKind::Cancelled});
    return KdeBatchResult::Cancelled;
  }

  // Naming conflict, Cancel or No to a question, a grid too large: this run's writing is
  // undone (the log cut back to its earlier text, a settings copy this run made removed).
  KdeBatchResult Cancel(const std::string& reason = "the run was cancelled") {
    if (log_) log_->discard();
    if (createdSettingsCopy_) {
      std::error_code error;
      fs::remove(folder_ / kSettingsCopyName, error);
    }
    view_.setOkEnabled(true);
    view_.setStatus("");
    app_.runRecord().failure({.item = "the run", .reason = reason, .kind = host::FailureKind::Cancelled});
    return KdeBatchResult::Cancelled;
  }

  KdeBatchResult Fail(const std::string& description) {
    if (log_) {
      try {
        log_->close();
      } catch (const host::Error&) {
        // The error being reported is the one that matters.
      }
    }
    app_.ui().messageBox("KDE: " + std::to_string(stage_) + kCr + description, "Error",
                         host::MessageButtons::Ok, host::MessageIcon::Critical);
    view_.setOkEnabled(true);
    app_.runRecord().failure({.item = "the run", .reason = description});
    return KdeBatchResult::Failed;
  }

  host::Application& app_;
  KdeSettings& settings_;
  const KdeBatchInput& input_;
  KdeRunView& view_;

  int stage_ = kStageChecks;
  KdeRunLists lists_;
  std::shared_ptr<host::FeatureLayer> layer_;
  KdeAnimalData data_;
  std::vector<std::vector<std::string>> varianceRows_;
  fs::path folder_;
  std::shared_ptr<host::RasterWorkspace> rasters_;
  std::optional<AnalysisLog> log_;
  bool createdSettingsCopy_ = false;
  std::optional<clsKernelCalculator> calculator_;
  std::optional<clsHISO> isopleths_;
  double scaling_ = clsKernelCalculator::kDefaultScalingFactor;
  int progress_ = 0;
  int progressSteps_ = 0;
  bool edgeWarning_ = false;
  bool stopRequested_ = false;                // the host's Cancel was pressed during the run
  std::vector<std::string> stoppedRunNames_;  // rasters a stopped earlier run left in the folder
  std::vector<std::string> writtenNames_;     // rasters this run wrote, in order
  // The rasters written and not yet given to their isopleths, by name, with their values.
  struct WrittenRaster {
    std::shared_ptr<host::RasterDataset> dataset;
    host::RecordValues values;
  };
  std::map<std::string, WrittenRaster> written_;
};

}  // namespace

KdeRunView::~KdeRunView() = default;
void KdeRunView::setStatus(std::string_view /*text*/) {}
void KdeRunView::setProgressRange(int /*minimum*/, int /*maximum*/) {}
void KdeRunView::setProgressValue(int /*value*/) {}
void KdeRunView::setOkEnabled(bool /*enabled*/) {}
void KdeRunView::settingsChanged(const KdeSettings& /*settings*/) {}

KdeBatchResult RunKdeBatch(host::Application& application, KdeSettings& settings, const KdeBatchInput& input,
                           KdeRunView* view) {
  NoView silentView;
  return BatchRun(application, settings, input, view != nullptr ? *view : silentView).Run();
}

}  // namespace orvex::ui
