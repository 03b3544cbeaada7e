#include "range/locoh/locoh_batch.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <system_error>

#include "host/application.h"
#include "host/cursor.h"
#include "host/error.h"
#include "host/layer.h"
#include "host/table.h"
#include "host/text.h"
#include "host/value.h"
#include "host/workspace.h"
#include "range/locoh/locoh_suggest.h"
#include "range/shell/batch_frame.h"

namespace orvex::range {

namespace fs = std::filesystem;

namespace {

class LocohRun {
 public:
  LocohRun(host::Application& application, const LocohSettings& settings)
      : app_(application), settings_(settings) {}

  LocohBatchResult Run() {
    return RunGuarded([this] { return Steps(); }, [this](const std::string& why) { return Fail(why); });
  }

 private:
  LocohBatchResult Steps() {
    const LocohSettingsCheck check = CheckLocohSettings(settings_);
    if (check.error) {
      RefuseSettings(app_, *check.error);
      return LocohBatchResult::CheckFailed;
    }
    values_ = check;
    const std::shared_ptr<host::FeatureLayer> layer = FocusPointLayer(app_, settings_.pointLayer);
    crs_ = LayerReference(*layer);
    RefuseDegrees(crs_, settings_.pointLayer);
    folder_ = ExistingOutputFolder(settings_.outputFolder);
    animals_ = ReadLocohAnimals(*layer, settings_.idField, settings_.useSelectedOnly);
    if (animals_.empty()) throw NoFixesError(settings_.idField, settings_.pointLayer);
    if (!NameAnimals()) {
      RefuseNamingConflict(app_, "shapefile");
      return LocohBatchResult::Cancelled;
    }
    workspace_ = app_.workspaces().openShapefileWorkspace(folder_);
    OpenLog();
    bool stopped = false;
    for (std::size_t p = 0; p < animals_.size() && !stopped; ++p) {
      AnimalStep(p);
      stopped = !app_.runRecord().report(static_cast<double>(p + 1) / static_cast<double>(animals_.size()),
                                         "LoCoH");
      app_.ui().processPendingEvents();
    }
    Line("Run ended: " + LogTime(app_) + (stopped ? " (stopped by the user)" : ""));
    log_->close();
    app_.runRecord().output({.path = log_->path(), .kind = host::OutputKind::Log});
    if (stopped) {
      RecordStopped(app_);
      return LocohBatchResult::Cancelled;
    }
    ReportComplete(app_);
    return LocohBatchResult::Completed;
  }

  // Each animal's file name part; two IDs that give one part leave the second without (it fails
  // by name). False when a file of the run's names is already in the folder.
  bool NameAnimals() {
    std::map<std::string, std::string> taken;
    for (const LocohAnimal& animal : animals_) {
      const std::string stem = locoh_file_stem(animal.id);
      stems_.push_back(taken.emplace(stem, animal.id).second ? stem : std::string());
      if (stems_.back().empty()) continue;
      std::error_code error;
      if (fs::exists(folder_ / (stem + "_locoh.shp"), error) ||
          (settings_.hulls && fs::exists(folder_ / (stem + "_locoh_hulls.shp"), error)))
        return false;
    }
    return true;
  }

  void Line(const std::string& text) { log_->line(text); }

  void OpenLog() {
    log_.emplace(folder_ / kLocohLogName, "Cannot write the run log in '" + folder_.string() + "'");
    Line("Local convex hulls (LoCoH)");
    Line("Run started: " + LogTime(app_));
    Line("Point layer: " + settings_.pointLayer + "; ID field: " + settings_.idField);
    Line(std::string("Method: ") + locoh_method_name(settings_.method) + ", " +
         (settings_.ownParameter ? std::string("each animal's suggested value")
                                 : LogNumber(values_.parameter)));
    std::string percents;
    for (const double p : values_.percents) percents += (percents.empty() ? "" : ", ") + LogNumber(p);
    Line("Isopleths: " + percents);
    Line("");
  }

  void AnimalStep(std::size_t position) {
    const LocohAnimal& animal = animals_[position];
    const host::RecordValues record{.inputLayer = settings_.pointLayer, .animal = animal.id};
    try {
      if (stems_[position].empty())
        throw std::invalid_argument("its ID names the same files as another animal's");
      AnimalRanges(animal, stems_[position], record);
    } catch (const std::invalid_argument& e) {
      app_.runRecord().failure({.item = "animal " + animal.id, .reason = e.what(), .values = record});
      Line("Animal " + animal.id + ": not computed: " + e.what());
    }
  }

  void AnimalRanges(const LocohAnimal& animal, const std::string& stem, const host::RecordValues& record) {
    const double parameter =
        settings_.ownParameter ? SuggestedLocohParameter(animal, settings_.method) : values_.parameter;
    if (const std::string problem = locoh_parameter_problem(settings_.method, parameter); !problem.empty())
      throw std::invalid_argument("its suggested value " + LogNumber(parameter) +
                                  " cannot be used: " + problem);
    const LocohHulls hulls =
        locoh_hulls(animal.x, animal.y, {settings_.method, parameter, app_.workerThreads()});
    const std::vector<LocohIsopleth> isopleths =
        locoh_isopleths(hulls, values_.percents, app_.geometry(), app_.workerThreads());
    const std::string name = stem + "_locoh";
    host::RecordValues values = record;
    values.areas = write_locoh_isopleths(*workspace_, name, crs_, isopleths);
    app_.runRecord().output({.path = folder_ / (name + ".shp"),
                             .kind = host::OutputKind::Shapefile,
                             .layer = name,
                             .features = static_cast<std::int64_t>(isopleths.size()),
                             .values = values});
    Line("Animal " + animal.id + ": " + std::to_string(animal.x.size()) + " fixes, " +
         std::to_string(hulls.distinct_fixes) + " distinct; " + locoh_method_name(settings_.method) + " = " +
         LogNumber(parameter));
    for (const LocohIsopleth& isopleth : isopleths)
      Line("  " + LogNumber(isopleth.percent) + " %: " + std::to_string(isopleth.hulls) + " hulls, " +
           std::to_string(isopleth.fixes) + " fixes, area " + LogNumber(isopleth.area));
    if (!settings_.hulls) return;
    write_locoh_hulls(*workspace_, name + "_hulls", crs_, hulls, animal.oids);
    app_.runRecord().output({.path = folder_ / (name + "_hulls.shp"),
                             .kind = host::OutputKind::Shapefile,
                             .layer = name + "_hulls",
                             .values = record});
  }

  LocohBatchResult Fail(const std::string& description) {
    log_.reset();
    ReportRunFailure(app_, "LoCoH", description);
    return LocohBatchResult::Failed;
  }

  host::Application& app_;
  const LocohSettings& settings_;
  LocohSettingsCheck values_;
  host::SpatialReferencePtr crs_;
  fs::path folder_;
  std::shared_ptr<host::Workspace> workspace_;
  std::vector<LocohAnimal> animals_;
  std::vector<std::string> stems_;
  std::optional<RunLog> log_;
};

}  // namespace

LocohSettingsCheck CheckLocohSettings(const LocohSettings& settings) {
  LocohSettingsCheck check;
  const auto refuse = [&check](std::string message) {
    check.error = std::move(message);
    return check;
  };
  if (settings.pointLayer.empty()) return refuse("Choose a point layer.");
  if (settings.idField.empty()) return refuse("Choose the unique animal ID field.");
  if (!settings.ownParameter) {
    const std::optional<double> value = host::parseNumber(settings.parameter);
    if (const std::string problem = locoh_parameter_problem(settings.method, value); !problem.empty())
      return refuse("Parameter '" + settings.parameter + "': " + problem + ".");
    check.parameter = *value;
  }
  const auto percents = locoh_percents_of(settings.isopleths);
  if (!percents || percents->empty())
    return refuse("Isopleths '" + settings.isopleths +
                  "': give percents of fixes in (0, 100], comma-separated.");
  check.percents = *percents;
  if (settings.outputFolder.empty()) return refuse("Choose an output folder.");
  return check;
}

std::vector<LocohAnimal> ReadLocohAnimals(const host::FeatureLayer& layer, const std::string& idField,
                                          bool selectedOnly) {
  const std::shared_ptr<host::FeatureClass> features = layer.featureClass();
  if (!features) throw host::Error(host::kNotFound, "The layer '" + layer.name() + "' has no data source");
  const int id = features->findField(idField);
  if (id < 0)
    throw host::Error(host::kNotFound,
                      "The ID field '" + idField + "' is not in the layer '" + layer.name() + "'");
  const std::unique_ptr<host::Cursor> rows = selectedOnly ? layer.selection().search() : features->search();
  return read_locoh_animals(*rows, id);
}

double SuggestedLocohParameter(const LocohAnimal& animal, LocohMethod method) {
  const LocohSuggestion s = suggest_locoh_parameters(animal.x, animal.y);
  return method == LocohMethod::k ? s.k : method == LocohMethod::r ? s.r : s.a;
}

std::optional<double> SuggestedLocohParameter(const std::vector<LocohAnimal>& animals, LocohMethod method) {
  std::vector<double> values;
  for (const LocohAnimal& animal : animals) {
    try {
      values.push_back(SuggestedLocohParameter(animal, method));
    } catch (const std::invalid_argument&) {
      // An animal whose fixes cannot be used suggests nothing; the run names it.
    }
  }
  if (values.empty()) return std::nullopt;
  std::sort(values.begin(), values.end());
  const std::size_t half = values.size() / 2;
  const double median = values.size() % 2 == 1 ? values[half] : (values[half - 1] + values[half]) / 2.0;
  return method == LocohMethod::k ? std::round(median) : median;
}

LocohBatchResult RunLocohBatch(host::Application& application, const LocohSettings& settings) {
  return LocohRun(application, settings).Run();
}

}  // namespace orvex::range
