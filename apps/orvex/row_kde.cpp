#include "apps/orvex/row_kde.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <iostream>
#include <set>
#include <system_error>

#include "apps/orvex/geopackage_output.h"
#include "apps/orvex/global_options.h"
#include "apps/orvex/kde_plots.h"
#include "host/error.h"
#include "host/form.h"
#include "host/layer.h"
#include "host/raster.h"
#include "host/table.h"
#include "host/text.h"
#include "host/workspace.h"
#include "platform/headless/headless_application.h"

namespace orvex::cli {
namespace {

namespace fs = std::filesystem;
namespace headless = platform::headless;

constexpr const char* kDialog = "frmKDE";
// The dialog's tabs, each named by a control on it: the dialog says where its controls are.
constexpr const char* kTabKernel = "chkRescale";
constexpr const char* kTabBandwidth = "optBE_LSCV";
constexpr const char* kTabOutput = "txtCellSize";
constexpr const char* kTabInput = "cmbPntL";

std::string word(std::string_view text) { return host::toLowerAscii(host::trim(text)); }

void printGrid(const host::Form& form, const char* grid, const char* heading) {
  const host::GridData& data = form.control(grid).grid();
  std::cout << heading << '\n';
  if (data.columns.empty()) {
    std::cout << "  (not built)\n";
    return;
  }
  const auto line = [](const std::vector<std::string>& cells) {
    std::string text;
    for (const std::string& cell : cells) text += (text.empty() ? "" : ", ") + cell;
    return text;
  };
  std::cout << "  " << line(data.columns) << '\n';
  for (const auto& row : data.rows) std::cout << "  " << line(row) << '\n';
}

}  // namespace

void reportOutput(const host::OutputRecord& output) {
  const std::string path = output.path.string();
  if (output.kind == host::OutputKind::Raster && output.columns && output.rows) {
    std::cout << path << ": raster, " << *output.columns << " columns x " << *output.rows << " rows\n";
  } else if (output.kind == host::OutputKind::Shapefile && output.features) {
    const std::int64_t count = *output.features;
    std::cout << path << ": " << count << (count == 1 ? " feature" : " features") << '\n';
  }
}

std::string referenceLayerFor(const CommandArgs& args, headless::HeadlessApplication& application) {
  const std::optional<KdeExtentFlag> extent = readExtentFlag(args.textOf("extent"));
  if (!extent || extent->option != "optExtRef") return {};
  const fs::path file(extent->value);
  std::error_code error;
  if (!fs::is_regular_file(file, error)) return extent->value;  // a layer of the map by name
  // A raster file: shown in the map as a layer named after the file, as the data files are.
  const fs::path absolute = fs::absolute(file);
  auto workspace = application.workspaces().openRasterWorkspace(absolute.parent_path());
  auto raster = workspace->openRaster(absolute.stem().string());
  if (!raster) throw host::Error(host::kFileNotFound, "Cannot open the raster '" + file.string() + "'");
  application.focusMap().addRasterLayer(std::move(raster), absolute.stem().string());
  return absolute.stem().string();
}

std::optional<KdeBandwidthFlag> readBandwidthFlag(std::string_view text) {
  const std::size_t colon = text.find(':');
  const std::string kind = word(text.substr(0, colon));
  if (colon == std::string_view::npos) {
    if (kind == "href") return KdeBandwidthFlag{"optBE_HREF", "", ""};
    if (kind == "lscv") return KdeBandwidthFlag{"optBE_LSCV", "", ""};
    if (kind == "bcv") return KdeBandwidthFlag{"optBE_BCV", "", ""};
    return std::nullopt;
  }
  const std::string list(text.substr(colon + 1));
  if (kind == "manual") return KdeBandwidthFlag{"optBE_MANUAL", "txtBW", list};
  if (kind == "prop") return KdeBandwidthFlag{"optPropHref", "txtPropHref", list};
  return std::nullopt;
}

std::optional<KdeExtentFlag> readExtentFlag(std::string_view text) {
  const std::size_t colon = text.find(':');
  const std::string kind = word(text.substr(0, colon));
  if (colon == std::string_view::npos) {
    if (kind == "min") return KdeExtentFlag{"optSmall", ""};
    return std::nullopt;
  }
  const std::string value(text.substr(colon + 1));
  if (kind == "full") return KdeExtentFlag{"optFull", value};
  if (kind == "ref" && !value.empty()) return KdeExtentFlag{"optExtRef", value};
  return std::nullopt;
}

headless::FormScript kdeFormScript(const CommandArgs& args, const std::string& referenceLayer) {
  headless::FormScript script;
  if (args.given("load-settings")) script.click("btnLoadSettings");

  script.pageOf(kTabKernel);
  if (args.flagOf("rescale")) script.check("chkRescale", true);
  if (args.given("kernel"))
    script.choose(word(args.textOf("kernel")) == "adaptive" ? "optAdaptive" : "optFixed");

  script.pageOf(kTabBandwidth);
  if (const auto bandwidth = readBandwidthFlag(args.textOf("bandwidth"))) {
    script.choose(bandwidth->option);
    if (!bandwidth->textBox.empty()) script.type(bandwidth->textBox, bandwidth->text);
  }

  script.pageOf(kTabOutput);
  const std::optional<KdeExtentFlag> extent = readExtentFlag(args.textOf("extent"));
  if (extent) {
    script.choose(extent->option);
    if (extent->option == "optFull") script.type("txtBuffer", extent->value);
    if (extent->option == "optExtRef") script.select("cmbExtRef", referenceLayer);
  }
  if (args.given("isopleths")) {
    script.check("chkBnds", true);
    script.type("txtBnds", args.textOf("isopleths"));
  }
  if (args.flagOf("no-lines")) script.check("chkLines", false);
  if (args.flagOf("no-polys")) script.check("chkPolys", false);
  if (args.flagOf("no-donuts")) script.check("chkDonuts", false);
  script.click("btnFolder");
  if (args.given("prefix")) script.type("txtR", args.textOf("prefix"));
  if (args.given("cell-size")) script.type("txtCellSize", args.textOf("cell-size"));
  if (args.given("scaling")) script.type("txtScaling", args.textOf("scaling"));
  if (args.flagOf("verbose-log")) script.check("chkVerbose", true);
  if (args.flagOf("silent")) script.check("chkSilent", true);

  script.pageOf(kTabInput);
  if (!args.layer.empty())
    script.select("cmbPntL", args.layer);
  else
    script.select("cmbPntL", "#0");
  script.select("cmbUIDFLD", args.textOf("id"));
  if (args.flagOf("selected-only")) script.check("chkUseSel", true);
  if (args.flagOf("independence")) {
    script.click("btnCalcIO");
    if (args.given("independence-csv")) script.click("btnIOSave");
  }
  if (args.flagOf("tables")) {
    script.pageOf(kTabOutput);
    if (extent && extent->option == "optFull") script.type("txtBuffer", extent->value);
  }
  if (args.given("save-settings")) script.click("btnSaveSettings");
  return script.click("btnOK");
}

void declareGridOptions(CLI::App& sub, CommandArgs& args) {
  sub.add_option(
         "--extent", args.text("extent"),
         "full:BUFFER (default full:2000), min (each UD around its own fixes) or ref:RASTER (the grid "
         "of a GeoTIFF file, or of a raster layer given as a data file)")
      ->check(CLI::Validator(
          [](const std::string& text) {
            return readExtentFlag(text) ? std::string() : "--extent: unknown choice '" + text + "'";
          },
          "CHOICE"));
  sub.add_option("--cell-size", args.text("cell-size"), "Raster cell size in map units (default 100)");
}

void declareKde(CLI::App& sub, CommandArgs& args) {
  sub.add_option("--id", args.text("id"), "The unique animal-ID field (a whole-number or text field)")
      ->required();
  sub.add_option("--out-dir", args.text("out-dir"),
                 "Output folder of the rasters, isopleths, analysis log and settings copy (created when "
                 "missing; a new, empty folder is recommended)")
      ->required();
  CLI::Option* where = sub.get_option_no_throw("--where");
  CLI::Option* selectedOnly =
      sub.add_flag("--selected-only", args.flag("selected-only"),
                   "Analyse only the features --where selects (\"Use selected features only\")");
  if (where != nullptr) selectedOnly->needs(where);
  sub.add_flag("--rescale", args.flag("rescale"), "Rescale x and y to unit variance before estimating");
  sub.add_flag("--exact", args.flag("exact"),
               "Sum every pair exactly in the LSCV/BCV scan (slow for large sets; the default sums agree "
               "within 1e-10 and choose the same bandwidth)");
  sub.add_option("--kernel", args.text("kernel"), "fixed (default) or adaptive")
      ->check(CLI::IsMember({"fixed", "adaptive"}, CLI::ignore_case));
  sub.add_option("--bandwidth", args.text("bandwidth"),
                 "href, lscv (default), bcv, manual:LIST (bandwidths in map units) or prop:LIST (proportions "
                 "of each animal's href); LIST is comma-separated")
      ->check(CLI::Validator(
          [](const std::string& text) {
            return readBandwidthFlag(text) ? std::string() : "--bandwidth: unknown choice '" + text + "'";
          },
          "CHOICE"));
  declareGridOptions(sub, args);
  sub.add_option("--scaling", args.text("scaling"), "Multiplier of the density values (default 1000000)");
  sub.add_option("--prefix", args.text("prefix"), "Raster name prefix, at most 6 characters (default kde)");
  sub.add_option("--isopleths", args.text("isopleths"),
                 "Build isopleths at these volume percentages, comma-separated (default: none)");
  sub.add_flag("--no-lines", args.flag("no-lines"), "No isopleth lines");
  sub.add_flag("--no-polys", args.flag("no-polys"), "No isopleth polygons");
  sub.add_flag("--no-donuts", args.flag("no-donuts"), "No isopleth donut polygons");
  sub.add_flag("--verbose-log", args.flag("verbose-log"), "Write the verbose analysis log");
  sub.add_flag("--silent", args.flag("silent"), "Silent mode: no warning boxes during the run");
  sub.add_option("--out", args.text("out"),
                 "A GeoPackage (.gpkg) that receives the isopleths as layers named as the shapefiles would "
                 "be (an existing layer is replaced only with --yes); the rasters, log and settings copy "
                 "stay in --out-dir")
      ->check(CLI::Validator(
          [](const std::string& text) {
            return endsInGpkg(text) ? std::string() : "--out names a GeoPackage (.gpkg): '" + text + "'";
          },
          "STUDY.gpkg"));
  declareFormat(sub, args, "the isopleths become layers of kde.gpkg in --out-dir");
  sub.add_flag("--plots", args.flag("plots"),
               "Also draw, per animal, the LSCV/BCV profile and a map of the UD with its isopleths and fixes "
               "(SVG and PNG, beside the rasters)");
  sub.add_option("--load-settings", args.text("load-settings"),
                 "Load a settings file first; the other options override it")
      ->check(CLI::Validator(
          [](const std::string& text) {
            // A settings file is a few hundred bytes: a device or a FIFO would be read for ever.
            constexpr std::uintmax_t kLargestSettingsFile = 1 << 20;
            std::error_code error;
            if (!fs::is_regular_file(text, error))
              return "--load-settings: '" + text + "' is not a regular file";
            if (fs::file_size(text, error) > kLargestSettingsFile || error)
              return "--load-settings: '" + text + "' is larger than a settings file (1 MiB)";
            return std::string();
          },
          "FILE"));
  sub.add_option("--save-settings", args.text("save-settings"),
                 "Save the settings to this file before the run");
  sub.add_flag("--tables", args.flag("tables"),
               "Print the variance and bandwidth tables. Building them puts the recommended buffer into "
               "the buffer box, as the dialog does; --extent full:BUFFER still wins");
  sub.add_option_function<std::vector<std::string>>(
         "--independence",
         [&args](const std::vector<std::string>& values) {
           args.flag("independence") = true;
           if (!values.empty()) args.text("independence-csv") = values.front();
         },
         "Calculate and print the independence table; with CSV, also save it there (put the option "
         "after the point file, or write --independence=CSV)")
      ->expected(0, 1);
}

/// The tool keeps cells of whole map units (the dialog rounds halves to even): 0.5 became 0 and
/// then a division by zero. A rounding is said before the run; a size that rounds to nothing
/// is refused.
void checkCellSize(const CommandArgs& args, headless::HeadlessApplication& application) {
  if (!args.given("cell-size")) return;
  const std::string text = args.textOf("cell-size");
  const std::optional<double> size = host::parseNumber(text);
  if (!size || !(*size > 0)) return;  // the dialog keeps its own value, as for any text it refuses
  const double whole = std::nearbyint(*size);
  if (whole < 1)
    throw CLI::ValidationError("--cell-size", text + " rounds to 0: cells are whole map units, at least 1");
  if (whole != *size)
    application.note("Note: --cell-size " + text + " is rounded to " + host::numberText(whole) +
                     " (cells are whole map units).");
}

/// The point layer the dialog takes: --layer, else the first point layer of the map.
std::shared_ptr<host::FeatureLayer> chosenPointLayer(const CommandArgs& args,
                                                     headless::HeadlessApplication& application) {
  for (const auto& layer : application.focusMap().layers()) {
    auto features = std::dynamic_pointer_cast<host::FeatureLayer>(layer);
    const auto featureClass = features ? features->featureClass() : nullptr;
    if (!featureClass || featureClass->shapeType() != host::GeometryType::Point) continue;
    if (!args.layer.empty() && !host::iequals(layer->name(), args.layer)) continue;
    return features;
  }
  return nullptr;
}

/// The --id field of the chosen point layer. The dialog lists whole-number and text fields
/// only, and one it does not list was refused as "Control 'cmbUIDFLD' has no item": the layer,
/// the field and what is wrong with it are said instead. Likewise "Use selected features
/// only" cannot be ticked on an empty selection: the where clause that selected nothing is named.
void checkInputLayer(const CommandArgs& args, headless::HeadlessApplication& application) {
  const auto layer = chosenPointLayer(args, application);
  if (!layer) return;
  const auto featureClass = layer->featureClass();
  const std::string id = args.textOf("id");
  const int index = featureClass->findField(id);
  if (index < 0)
    throw host::Error(host::kInvalidArgument,
                      "Layer '" + layer->name() + "' has no field \"" + id + "\" (--id)");
  const host::FieldType type = featureClass->fields().at(index).type;
  if (type != host::FieldType::SmallInteger && type != host::FieldType::Integer &&
      type != host::FieldType::String)
    throw host::Error(host::kInvalidArgument, "The field \"" + id + "\" of layer '" + layer->name() +
                                                  "' holds neither whole numbers nor text: --id takes a "
                                                  "whole-number or text field that names each animal");
  if (args.flagOf("selected-only") && layer->selection().isEmpty())
    throw host::Error(host::kInvalidArgument, "--where \"" + args.where + "\" selects no feature of layer '" +
                                                  layer->name() +
                                                  "': --selected-only leaves nothing to analyse");
}

void scriptKde(const CommandArgs& args, headless::HeadlessApplication& application) {
  application.setExactPairSums(args.flagOf("exact"));
  checkCellSize(args, application);
  checkInputLayer(args, application);
  const fs::path outDir = fs::absolute(args.textOf("out-dir"));
  std::error_code error;
  fs::create_directories(outDir, error);
  if (error || !fs::is_directory(outDir, error)) {
    throw host::Error(host::kPathNotFound,
                      "Cannot create the output folder '" + outDir.string() + "': " + error.message());
  }

  const std::string referenceLayer = referenceLayerFor(args, application);
  headless::ScriptedUi& ui = application.scriptedUi();
  if (args.given("load-settings")) ui.queueOpenAnswer({fs::path(args.textOf("load-settings"))});
  ui.queueFolderAnswer(outDir);
  if (args.given("independence-csv")) ui.queueSaveAnswer(fs::path(args.textOf("independence-csv")));
  if (args.given("save-settings")) ui.queueSaveAnswer(fs::path(args.textOf("save-settings")));
  // Without a point layer the dialog has nothing to list: it says so, and is cancelled.
  bool pointLayer = false;
  for (const auto& layer : application.focusMap().layers()) {
    const auto features = std::dynamic_pointer_cast<host::FeatureLayer>(layer);
    const auto featureClass = features ? features->featureClass() : nullptr;
    pointLayer = pointLayer || (featureClass && featureClass->shapeType() == host::GeometryType::Point);
  }
  ui.setFormScript(kDialog,
                   pointLayer ? kdeFormScript(args, referenceLayer) : headless::FormScript().cancel());

  const bool tables = args.flagOf("tables");
  const bool independence = args.flagOf("independence");
  if (tables || independence) {
    ui.setFormClosedHook([tables, independence](const host::Form& form) {
      if (form.name() != kDialog) return;
      if (independence) printGrid(form, "datagridIO", "Independence of observation indices:");
      if (tables) {
        printGrid(form, "datagridVar", "Variances of x and y coordinates:");
        printGrid(form, "datagridHref", "Reference bandwidths:");
      }
    });
  }
}

namespace {

// The pictures of the run's rasters, listed and recorded with the other outputs.
void writeKdePictures(const CommandArgs& args, headless::HeadlessApplication& application) {
  const std::string estimator = word(args.textOf("bandwidth")) == "bcv" ? "BCV" : "LSCV";
  host::RunRecord& record = application.runRecord();
  const std::vector<KdeAnimalRun> runs = kdeRunsOf(record, estimator);
  for (const fs::path& picture : writeKdePlots(runs, args.files.front(), args.textOf("id"), record))
    std::cout << picture.string() << ": picture\n";
}

}  // namespace

class KdeSubcommand final : public Subcommand {
 public:
  KdeSubcommand() : Subcommand(kKdeProgId) {}
  void declare(CLI::App& sub, CommandArgs& args) override { declareKde(sub, args); }
  void script(const CommandArgs& args, headless::HeadlessApplication& application) override {
    scriptKde(args, application);
  }
  int report(const CommandArgs& args, headless::HeadlessApplication& application, int exitCode) override;
  /// One click; with a GeoPackage the isopleth shapefiles then become its layers.
  int run(const CommandArgs& args, const GlobalOptions& global) override {
    const std::optional<GeoPackageTarget> target = geoPackageTarget(args, "", "kde", args.textOf("out-dir"));
    const int code = Subcommand::run(args, global);
    return target ? gatherIntoGeoPackage(summary(), target->geoPackage, global.yes, code) : code;
  }
};

int KdeSubcommand::report(const CommandArgs& args, headless::HeadlessApplication& application, int exitCode) {
  bool completed = false;
  for (const headless::FormRecord& form : application.scriptedUi().forms()) {
    if (form.name == kDialog && form.result == host::dialog_result::kOk) completed = true;
  }

  // The rasters and isopleths, by name: an animal's raster next to its isopleths.
  std::vector<const host::OutputRecord*> written;
  for (const host::OutputRecord& output : application.runRecord().outputs()) {
    if (output.kind == host::OutputKind::Raster || output.kind == host::OutputKind::Shapefile)
      written.push_back(&output);
  }
  std::sort(written.begin(), written.end(), [](const auto* a, const auto* b) { return a->path < b->path; });
  for (const host::OutputRecord* output : written) reportOutput(*output);
  if (completed && args.flagOf("plots") && !args.files.empty()) writeKdePictures(args, application);
  if (!completed) {
    std::cerr << "orvex: kde: the run did not complete (see the messages above)\n";
    return kExitCommandFailed;
  }
  return exitCode;
}

std::unique_ptr<Subcommand> makeKdeSubcommand() { return std::make_unique<KdeSubcommand>(); }

}  // namespace orvex::cli
