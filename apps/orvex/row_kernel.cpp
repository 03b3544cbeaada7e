#include "apps/orvex/row_kernel.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <filesystem>
#include <iostream>
#include <memory>
#include <sstream>
#include <vector>

#include "apps/orvex/geopackage_output.h"
#include "apps/orvex/global_options.h"
#include "apps/orvex/row_mcp_groups.h"
#include "apps/orvex/save_answers.h"
#include "host/error.h"
#include "host/form.h"
#include "host/map.h"
#include "host/table.h"
#include "host/text.h"
#include "platform/headless/form_script.h"
#include "platform/headless/headless_application.h"
#include "platform/headless/map_source.h"

namespace orvex::cli {
namespace {

namespace headless = platform::headless;

// The parameter sheet of the Kernel Analysis command and its controls.
constexpr const char* kSheetForm = "frmKernelParameters";

/// The slot holding the --by value of one run (set by runKernel, not by the command line).
constexpr const char* kByValueKey = "by-value";

/// The control a choice of the command line clicks.
const char* controlFor(const std::string& choice) {
  static const std::vector<std::pair<std::string_view, const char*>> kChoices{
      {"none", "optNone"},     {"unit", "optUnit"},       {"user", "optUser"},         {"href", "optHref"},
      {"lscv", "optLSCV"},     {"bcv", "optBCV"},         {"adaptive", "optAdaptive"}, {"fixed", "optFixed"},
      {"volume", "optVolume"}, {"density", "optDensity"},
  };
  for (const auto& [name, control] : kChoices)
    if (name == choice) return control;
  throw host::Error(host::kInvalidArgument, "Unknown choice '" + choice + "'");
}

/// The sheet's "Raster Resolution" box takes digits only; the sheet itself checks the range.
std::string checkResolution(const std::string& text) {
  const bool digits =
      !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
  if (digits) return {};
  return "--resolution takes a whole number of cells: '" + text + "'";
}

/// Answers the Save As dialogs of the runs from the output template: {h} is the entry of the h
/// list the dialog saves, to one decimal as the dialog shows it, {id} the animal of the run
/// (or the input file's name).
std::optional<std::filesystem::path> answerFromTemplate(headless::HeadlessApplication& application,
                                                        const std::string& outputTemplate,
                                                        const std::string& id,
                                                        const host::FileDialogOptions& options,
                                                        std::set<std::filesystem::path>& taken) {
  const std::string h =
      options.values.hListed ? host::cformat("%0.1f", *options.values.hListed) : std::string();
  const std::filesystem::path path = expandKernelTemplate(outputTemplate, fileNamePart(id), h);
  return answerSave(application, withShapefileExtension(path), options, "run skipped", &taken);
}

/// Keeps only the fixes of one animal selected: the layers are split by the field, and every
/// group but the animal's loses its selection.
void selectAnimal(headless::HeadlessApplication& application, const std::string& field,
                  const std::string& value) {
  groupLayersByField(application, field);
  for (const auto& layer : application.focusMap().featureLayers()) {
    if (layer->name() != value) layer->setSelection(host::SelectionSet(layer->featureClass(), {}));
  }
}

/// The distinct values of the --by field among the selected fixes, ascending, as the groups
/// of `groupLayersByField` name them.
std::vector<std::string> animalsOf(const CommandArgs& args, const GlobalOptions& global) {
  std::ostringstream quiet;  // the notes are printed again by each run
  headless::HeadlessOptions options;
  options.messages = &quiet;
  headless::HeadlessApplication probe(options);
  headless::MapSource source;
  source.files.assign(args.files.begin(), args.files.end());
  source.mapCrs = global.mapCrs;
  source.where = args.where;
  source.objectIds.assign(args.objectIds.begin(), args.objectIds.end());
  headless::loadMapSource(probe, source);
  groupLayersByField(probe, args.textOf("by"));

  std::vector<std::string> values;
  for (const auto& layer : probe.focusMap().featureLayers()) {
    if (layer->selection().isEmpty()) continue;
    if (std::find(values.begin(), values.end(), layer->name()) == values.end())
      values.push_back(layer->name());
  }
  return values;
}

/// The Information and Standardization pages, and the href the Smoothing page shows.
void printInformation(const host::Form& form) {
  if (form.name() != kSheetForm) return;
  const auto text = [&](const char* name) { return form.control(name).text(); };
  const auto caption = [&](const char* name) { return form.control(name).caption(); };
  std::string standardization;
  for (const char* option : {"optNone", "optScaleX", "optScaleY", "optUnit"})
    if (form.control(option).checked()) standardization = caption(option);
  std::cout << text("txtAnimalID") << '\n'
            << text("txtNumPoints") << '\n'
            << text("txtSwihart") << ' ' << caption("lblSwihartNote") << '\n'
            << text("txtSchoener") << ' ' << caption("lblSchoenerNote") << '\n'
            << text("txtVariance") << '\n'
            << "Standardization: " << standardization << '\n'
            << "h_ref: " << text("txtHref") << '\n';
}

class KernelSubcommand final : public Subcommand {
 public:
  KernelSubcommand() : Subcommand(kKernelProgId) {}
  void declare(CLI::App& sub, CommandArgs& args) override;
  void script(const CommandArgs& args, headless::HeadlessApplication& application) override;
  int report(const CommandArgs& args, headless::HeadlessApplication& application, int exitCode) override;
  int run(const CommandArgs& args, const GlobalOptions& global) override;

 private:
  /// One click, or one per animal with --by.
  int runAnimals(const CommandArgs& args, const GlobalOptions& global);
};

}  // namespace

std::string expandKernelTemplate(std::string_view outputTemplate, std::string_view id, std::string_view h) {
  return expandTemplate(outputTemplate, {{"{id}", id}, {"{h}", h}});
}

void KernelSubcommand::declare(CLI::App& sub, CommandArgs& args) {
  sub.add_option("--by", args.text("by"),
                 "Run once per distinct value of this field (e.g. AnimalID), that animal's fixes selected");
  sub.add_option("--std", args.text("std"), "Standardization: none or unit (default unit)")
      ->check(CLI::IsMember({"none", "unit"}));
  sub.add_option("--h", args.text("h"),
                 "h values, comma-separated, one run each (default 1.0,0.9,...,0.1); with --h-choice user");
  sub.add_option("--h-choice", args.text("h-choice"),
                 "How h is chosen: user (the --h list, default), href (one run at h_ref), lscv or bcv "
                 "(least squares or biased cross-validation, one run)")
      ->check(CLI::IsMember({"user", "href", "lscv", "bcv"}));
  auto* proportional = sub.add_flag("--proportional", args.flag("proportional"),
                                    "h values are proportions of h_ref (default)");
  sub.add_flag("--no-proportional", args.flag("no-proportional"),
               "h values are bandwidths in working units (map units with --std none)")
      ->excludes(proportional);
  sub.add_option("--kernel", args.text("kernel"), "Smoothing application: adaptive (default) or fixed")
      ->check(CLI::IsMember({"adaptive", "fixed"}));
  sub.add_option("--contour", args.text("contour"), "Contour by volume (default) or density")
      ->check(CLI::IsMember({"volume", "density"}));
  sub.add_option("--levels", args.text("levels"),
                 "Volume levels, comma-separated (default \"0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.9\")");
  sub.add_option("--resolution", args.text("resolution"),
                 "Raster resolution, 40 to 100000 cells a side (default 150)")
      ->check(CLI::Validator(checkResolution, "N"));
  sub.add_flag("--smooth", args.flag("smooth"), "Smooth the contours");
  sub.add_flag("--exact", args.flag("exact"),
               "Sum every pair in the LSCV/BCV search (slow for large sets; the default sums agree within "
               "1e-10 and choose the same bandwidth)");
  sub.add_option("--densify", args.text("densify"), "Densify the polygons to this maximum segment length")
      ->check(CLI::Number);
  sub.add_option("--out", args.text("out"),
                 "Output file template; {id} (the --by value, else the input file's name) and {h} (as the "
                 "save dialog shows it) are replaced (default kernel_{id}_h{h}.shp). An existing file is "
                 "replaced only with --yes. A .gpkg file instead receives the polygons as layers named as "
                 "the shapefiles would be (an existing layer is replaced only with --yes)");
  declareFormat(sub, args,
                "the polygons become layers of kernel.gpkg in the --out folder, named by the template");
  sub.add_flag("--info", args.flag("info"),
               "Print the animal ID, number of points, independence indices, variances and h_ref, and "
               "cancel");
}

void KernelSubcommand::script(const CommandArgs& args, headless::HeadlessApplication& application) {
  application.setExactPairSums(args.flagOf("exact"));
  if (args.given("by")) selectAnimal(application, args.textOf("by"), args.textOf(kByValueKey));
  headless::ScriptedUi& ui = application.scriptedUi();

  headless::FormScript sheet;
  if (args.given("std")) sheet.pageOf("optNone").choose(controlFor(args.textOf("std")));
  if (args.flagOf("info")) {
    ui.setFormClosedHook(&printInformation);
    ui.setFormScript(kSheetForm, sheet.cancel());
    return;
  }

  // The Contour page before the Smoothing page: the command line has checked the contour
  // boxes already, so only the h list can still be refused, by OK.
  const bool contour = args.given("contour") || args.given("levels") || args.given("resolution") ||
                       args.flagOf("smooth") || args.given("densify");
  if (contour) sheet.pageOf("txtLevels");
  if (args.given("contour")) sheet.choose(controlFor(args.textOf("contour")));
  if (args.given("levels")) sheet.type("txtLevels", args.textOf("levels"));
  if (args.given("resolution")) sheet.type("txtResolution", args.textOf("resolution"));
  if (args.flagOf("smooth")) sheet.check("chkSmooth", true);
  if (args.given("densify")) sheet.check("chkDensify", true).type("txtDensify", args.textOf("densify"));

  sheet.pageOf("txtH");
  // The proportion box first: clicking it rewrites the h box, which the choices below fill.
  if (args.flagOf("proportional")) sheet.check("chkProportion", true);
  if (args.flagOf("no-proportional")) sheet.check("chkProportion", false);
  if (args.given("h-choice")) sheet.choose(controlFor(args.textOf("h-choice")));
  if (args.given("h")) sheet.type("txtH", args.textOf("h"));
  if (args.given("kernel")) sheet.choose(controlFor(args.textOf("kernel")));
  ui.setFormScript(kSheetForm, sheet.ok());

  // -o answers the dialogs one by one when given alone; otherwise the template does.
  if (!args.outputs.empty() && !args.given("out")) return;
  std::string id = args.textOf(kByValueKey);
  if (id.empty() && !args.files.empty()) id = std::filesystem::path(args.files.front()).stem().string();
  ui.setSaveAnswers(
      [&application, id, &taken = outputsOfRun(),
       outputTemplate = args.given("out") ? args.textOf("out") : std::string(kKernelDefaultTemplate)](
          const host::FileDialogOptions& dialog) {
        return answerFromTemplate(application, outputTemplate, id, dialog, taken);
      });
}

int KernelSubcommand::report(const CommandArgs& args, headless::HeadlessApplication& application,
                             int exitCode) {
  headless::ScriptedUi& ui = application.scriptedUi();
  reportShapefiles(application.runRecord());

  // --info cancels the sheet on purpose. Otherwise the script always presses OK, so a sheet
  // that did not close with OK refused what the command line gave it (the reason is the
  // message printed before).
  if (args.flagOf("info")) return exitCode;
  for (const headless::FormRecord& form : ui.forms()) {
    if (form.name != kSheetForm || form.result == host::dialog_result::kOk) continue;
    std::cerr << "orvex: " << form.caption << ": the parameters were refused; nothing was written\n";
    exitCode = kExitCommandFailed;
  }
  return exitCode;
}

int KernelSubcommand::run(const CommandArgs& args, const GlobalOptions& global) {
  const std::string choice = args.textOf("h-choice");
  if (args.given("h") && !choice.empty() && choice != "user")
    throw CLI::ValidationError("--h", "an h list is typed only with --h-choice user, not " + choice);
  const std::optional<GeoPackageTarget> target = geoPackageTarget(args, kKernelDefaultTemplate, "kernel");
  if (!target) return runAnimals(args, global);
  // The polygons are written as shapefiles into a scratch folder, then become the layers.
  const host::ScratchFolder scratch;
  CommandArgs inScratch = args;
  inScratch.text("out") = (scratch.path() / target->fileTemplate).string();
  inScratch.outputs.clear();
  return gatherIntoGeoPackage(summary(), target->geoPackage, global.yes, runAnimals(inScratch, global));
}

int KernelSubcommand::runAnimals(const CommandArgs& args, const GlobalOptions& global) {
  if (!args.given("by")) return clickOnce(args, global);

  const std::vector<std::string> animals = animalsOf(args, global);
  if (animals.empty()) {
    std::cerr << "orvex: no selected fix has a value of " << args.textOf("by") << "; nothing to analyse\n";
    return kExitCommandFailed;
  }
  int exitCode = kExitSuccess;
  for (const std::string& animal : animals) {
    CommandArgs run = args;
    run.text(kByValueKey) = animal;
    const int code = clickOnce(run, global);
    if (code != kExitSuccess && exitCode == kExitSuccess) exitCode = code;
  }
  return exitCode;
}

std::unique_ptr<Subcommand> makeKernelSubcommand() { return std::make_unique<KernelSubcommand>(); }

}  // namespace orvex::cli
