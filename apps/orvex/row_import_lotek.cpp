#include "apps/orvex/row_import_lotek.h"

#include <CLI/CLI.hpp>
#include <optional>
#include <vector>

#include "apps/orvex/geopackage_output.h"
#include "apps/orvex/global_options.h"
#include "apps/orvex/save_answers.h"
#include "host/error.h"
#include "host/ui_services.h"
#include "platform/headless/headless_application.h"

namespace orvex::cli {
namespace {

namespace fs = std::filesystem;
namespace headless = platform::headless;

// The "Keepers?" form of the import and its buttons.
constexpr const char* kKeepersForm = "frmKeepers";
constexpr const char* kIncludeButton = "btnInclude";
constexpr const char* kExcludeButton = "btnExclude";
constexpr const char* kCancelButton = "btnCancel";

class ImportLotekSubcommand final : public Subcommand {
 public:
  ImportLotekSubcommand() : Subcommand(kImportLotekProgId) {}
  void declare(CLI::App& subcommand, CommandArgs& args) override;
  void script(const CommandArgs& args, headless::HeadlessApplication& application) override;
  int report(const CommandArgs& args, headless::HeadlessApplication& application, int exitCode) override;
  int run(const CommandArgs& args, const GlobalOptions& global) override;
};

}  // namespace

fs::path importLotekOutput(const CommandArgs& args) {
  return fs::absolute(host::withDefaultExtension(args.textOf("out"), "shp"));
}

void ImportLotekSubcommand::declare(CLI::App& subcommand, CommandArgs& args) {
  // The collar files answer the command's open dialog: there are no map layers to name or
  // select, and the output is --out.
  for (const char* common : {"files", "--where", "--oid", "--layer", "--output"})
    if (CLI::Option* option = subcommand.get_option_no_throw(common)) subcommand.remove_option(option);
  subcommand.add_option("mdb", args.list("mdb"), "Lotek collar files (.mdb), imported in this order")
      ->required();
  subcommand
      .add_option("--out", args.text("out"),
                  "The point shapefile to write (.shp added when missing), or OUT.gpkg (layer OUT; an "
                  "existing layer is replaced only with --yes)")
      ->required();
  declareFormat(subcommand, args, "the fixes become the layer OUT of OUT.gpkg");
  args.text("acquiring") = "exclude";
  subcommand
      .add_option("--acquiring", args.text("acquiring"),
                  "Fixes whose status is Acquiring: include, exclude or cancel (the import)")
      ->check(CLI::IsMember({"include", "exclude", "cancel"}, CLI::ignore_case))
      ->capture_default_str();
}

void ImportLotekSubcommand::script(const CommandArgs& args, headless::HeadlessApplication& application) {
  headless::ScriptedUi& ui = application.scriptedUi();

  std::vector<fs::path> files;
  for (const auto& file : args.listOf("mdb")) files.push_back(fs::absolute(file));
  ui.queueOpenAnswer(files);

  const fs::path output = importLotekOutput(args);
  // A save dialog offers only folders that exist; the command line may name a new one.
  std::error_code ignored;
  fs::create_directories(output.parent_path(), ignored);
  ui.setSaveAnswers(
      [&application, output](const host::FileDialogOptions& options) -> std::optional<fs::path> {
        if (!options.overwritePrompt || !fs::exists(output) || mayReplace(application, output, "Save As"))
          return output;
        application.note(output.string() + " exists; not replaced (--yes replaces it)");
        return std::nullopt;
      });

  const std::string acquiring = args.textOf("acquiring");
  const char* button = acquiring == "include"  ? kIncludeButton
                       : acquiring == "cancel" ? kCancelButton
                                               : kExcludeButton;
  ui.setFormScript(kKeepersForm, headless::FormScript().click(button));
}

int ImportLotekSubcommand::report(const CommandArgs& /*args*/, headless::HeadlessApplication& application,
                                  int exitCode) {
  // Every collar goes into the one output: a failed command left it incomplete, and it is
  // removed when it is closed.
  if (exitCode == kExitSuccess) reportShapefiles(application.runRecord());
  return exitCode;
}

// A GeoPackage receives the shapefile written into a scratch folder, as the layer OUT.
int ImportLotekSubcommand::run(const CommandArgs& args, const GlobalOptions& global) {
  const std::optional<fs::path> geoPackage = singleGeoPackage(args);
  if (!geoPackage) return Subcommand::run(args, global);
  const host::ScratchFolder scratch;
  CommandArgs inScratch = args;
  inScratch.text("out") = (scratch.path() / geoPackage->stem()).concat(".shp").string();
  inScratch.text("format").clear();
  int code = kExitSuccess;
  {
    const MutedOutput muted;  // the scratch file's line; the layer's line follows
    code = Subcommand::run(inScratch, global);
  }
  return gatherIntoGeoPackage(summary(), *geoPackage, global.yes, code);
}

std::unique_ptr<Subcommand> makeImportLotekSubcommand() { return std::make_unique<ImportLotekSubcommand>(); }

}  // namespace orvex::cli
