#include "apps/orvex/cli.h"

#include "apps/orvex/command_table.h"

#include <stdlib.h>  // setenv

#include <CLI/CLI.hpp>
#include <deque>
#include <exception>
#include <iostream>
#include <utility>

#include "host/environment.h"
#include "host/error.h"
#include "host/install_layout.h"
#include "host/version.h"
#include "platform/headless/form_script.h"

namespace orvex::cli {
namespace {

constexpr const char* kDescription = "Orvex: wildlife home-range analysis in a headless host";
constexpr const char* kFooter = "Exit status: 0 success, 1 the command failed, 2 the command line is wrong.";

/// Checks a --step text when the command line is read, so a mistyped step is a usage error.
std::string checkFormStep(const std::string& text) {
  const auto dot = text.find('.');
  if (dot == std::string::npos || dot == 0)
    return "A form step is FORM.CONTROL=ACTION[:VALUE]: '" + text + "'";
  try {
    platform::headless::parseFormStep(std::string_view(text).substr(dot + 1));
  } catch (const host::Error& error) {
    return error.description();
  }
  return {};
}

/// The options every command subcommand takes.
void declareCommonArgs(CLI::App& sub, CommandArgs& args) {
  sub.add_option("files", args.files,
                 "Data files, one map layer each: shapefiles, GeoTIFF rasters (.tif) or other vector files "
                 "(each layer of a GeoPackage; FILE.gpkg|layername=NAME for one of them)");
  sub.add_option("--where", args.where, "Select the features that match this where-clause (default: all)");
  sub.add_option("--oid", args.objectIds, "Select these object ids (comma-separated or repeated)")
      ->delimiter(',')
      ->expected(1)
      ->take_all();
  sub.add_option("--layer", args.layer,
                 "The layer chosen in the table of contents (default: the first feature layer)");
  sub.add_option("-o,--output", args.outputs, "The answer to the next save dialog (repeat for each dialog)")
      ->expected(1)
      ->take_all();
}

/// Sends what is written to standard output to standard error while it lives.
class ReportToStandardError {
 public:
  ReportToStandardError() : saved_(std::cout.rdbuf(std::cerr.rdbuf())) {}
  ~ReportToStandardError() { std::cout.rdbuf(saved_); }
  ReportToStandardError(const ReportToStandardError&) = delete;
  ReportToStandardError& operator=(const ReportToStandardError&) = delete;

 private:
  std::streambuf* saved_;
};

/// The parsed command line: the application object and the storage its options write to.
struct CommandLine {
  CLI::App app{kDescription, "orvex"};
  GlobalOptions global;

  CLI::App* registerSub = nullptr;
  std::vector<std::string> registerPaths;
  CLI::App* unregisterSub = nullptr;
  std::vector<std::string> unregisterPaths;
  CLI::App* commandsSub = nullptr;
  CLI::App* runSub = nullptr;
  CommandArgs runArgs;
  std::unique_ptr<Subcommand> runCommand = makeGenericRunSubcommand();
  std::vector<std::pair<CLI::App*, std::unique_ptr<Subcommand>>> rows;
  std::deque<CommandArgs> rowArgs;  // a deque keeps the slots' addresses as rows are added

  CommandLine() {
    app.footer(kFooter);
    app.set_version_flag("--version", std::string("orvex ") + kVersion, "Print the version and exit");
    app.add_option(
        "--map-crs", global.mapCrs,
        "The map's coordinate system: EPSG:<code>, a .prj file or WKT (default: the first layer's)");
    app.add_option("--temp", global.tempFolder, "Folder for the engine log and temporary files (sets TEMP)")
        ->check(CLI::ExistingDirectory);
    auto* yes = app.add_flag("--yes", global.yes, "Answer Yes to every Yes/No question");
    auto* no = app.add_flag("--no", global.no, "Answer No to every Yes/No question");
    yes->excludes(no);
    app.add_flag("--quiet", global.quiet, "Draw no progress bar");
    app.add_flag("--json", global.json,
                 "Print a JSON summary of every output written and every item that failed as the only "
                 "thing on standard output (the report goes to standard error)");
    app.add_flag("--progress-lines", global.progressLines,
                 "Report progress as lines \"orvex-progress <percent> <message>\" on standard error, for a "
                 "program that runs this one (instead of the bar)");
    app.add_option("--registry", global.registryFile, "The registry file of the component classes");
    app.require_subcommand(1);
    app.fallthrough();  // global options may also follow the subcommand

    registerSub =
        app.add_subcommand("register", "Register component libraries (default: those beside orvex)");
    registerSub->add_option("libraries", registerPaths, "Component libraries (.so)");
    unregisterSub = app.add_subcommand("unregister", "Remove component libraries from the registry");
    unregisterSub->add_option("libraries", unregisterPaths, "Component libraries (.so)");
    commandsSub = app.add_subcommand("commands", "List the registered commands and their properties");

    for (const CommandRow& row : commandRows()) {
      CLI::App* sub = app.add_subcommand(std::string(row.name), std::string(row.help));
      CommandArgs& args = rowArgs.emplace_back();
      std::unique_ptr<Subcommand> subcommand = row.make();
      if (subcommand->takesMapOptions()) declareCommonArgs(*sub, args);
      subcommand->declare(*sub, args);
      rows.emplace_back(sub, std::move(subcommand));
    }

    runSub = app.add_subcommand("run", "Run any registered command by its ProgID");
    runSub->add_option("progid", runArgs.text("progid"), "The command's ProgID or braced CLSID")->required();
    declareCommonArgs(*runSub, runArgs);
    runSub
        ->add_option("--step", runArgs.list("step"),
                     "A step of a form's script, FORM.CONTROL=ACTION[:VALUE], FORM.ok, FORM.cancel or "
                     "FORM.page:N; actions: click, check, choose, type, select, slide, focus")
        ->expected(1)
        ->take_all()
        ->check(CLI::Validator(checkFormStep, "STEP"));
    runSub->add_option("--open", runArgs.list("open"), "The answer to the next open dialog (repeat for each)")
        ->expected(1)
        ->take_all();
    runSub
        ->add_option("--folder", runArgs.list("folder"),
                     "The answer to the next folder dialog (repeat for each)")
        ->expected(1)
        ->take_all();
  }

  int execute() {
    if (!global.tempFolder.empty()) {
      const std::string folder = std::filesystem::absolute(global.tempFolder).string();
      setenv("TEMP", folder.c_str(), 1);
    }
    if (registerSub->parsed()) return registerLibraries(global, registerPaths, false, std::cout);
    if (unregisterSub->parsed()) return registerLibraries(global, unregisterPaths, true, std::cout);
    if (commandsSub->parsed()) return listCommands(global, std::cout);
    if (runSub->parsed()) return runWithSummary(*runCommand, runArgs);
    for (std::size_t i = 0; i < rows.size(); ++i)
      if (rows[i].first->parsed()) return runWithSummary(*rows[i].second, rowArgs[i]);
    return kExitUsage;  // unreachable: a subcommand is required
  }

  /// Runs a subcommand; with --json the human report goes to standard error while it runs,
  /// and the summary is all that standard output receives. A run stopped by an error still
  /// gives its summary, with the error as a failed item.
  int runWithSummary(Subcommand& subcommand, const CommandArgs& args) {
    if (!global.json) return runToEnd(subcommand, args, global);
    int exitCode = kExitCommandFailed;
    {
      const ReportToStandardError redirect;
      try {
        exitCode = runToEnd(subcommand, args, global);
      } catch (const host::Error& error) {
        if (host::errorsPassThrough()) throw;
        std::cerr << "orvex: " << error.description() << '\n';
        subcommand.summary().failure({.item = "the run", .reason = error.description()});
      }
    }
    subcommand.summary().writeJson(std::cout, exitCode);
    return exitCode;
  }
};

/// The one place where failures become a message and an exit code.
int exitCodeFor(const std::exception_ptr& failure, const CLI::App& app) {
  try {
    std::rethrow_exception(failure);
  } catch (const CLI::Success& done) {  // --help, --version
    return app.exit(done);
  } catch (const CLI::ParseError& wrong) {
    app.exit(wrong);
    return kExitUsage;
  } catch (const host::Error& error) {
    if (host::errorsPassThrough()) throw;
    std::cerr << "orvex: " << error.description() << '\n';
    return kExitCommandFailed;
  } catch (const std::exception& error) {
    if (host::errorsPassThrough()) throw;
    std::cerr << "orvex: " << error.what() << '\n';
    return kExitCommandFailed;
  }
}

}  // namespace

std::filesystem::path GlobalOptions::registryPath() const {
  return registryFile.empty() ? host::defaultRegistryPath() : registryFile;
}

host::ComponentRegistry GlobalOptions::openRegistry() const {
  host::RegistryOptions options;
  options.registryFile = registryPath();
  options.componentFolder = host::componentFolder();
  if (registryFile.empty()) options.systemRegistryFile = host::systemRegistryPath();
  return host::ComponentRegistry::open(options);
}

int runCommandLine(int argc, char** argv) {
  CommandLine line;
  try {
    line.app.parse(argc, argv);
    return line.execute();
  } catch (...) {
    return exitCodeFor(std::current_exception(), line.app);
  }
}

}  // namespace orvex::cli
