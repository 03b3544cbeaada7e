#include "apps/orvex/row_bbmm.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <filesystem>
#include <iostream>
#include <system_error>

#include "apps/orvex/global_options.h"
#include "apps/orvex/kde_plots.h"
#include "apps/orvex/row_kde.h"
#include "host/error.h"
#include "host/form.h"
#include "host/text.h"
#include "platform/headless/form_script.h"
#include "platform/headless/headless_application.h"

namespace orvex::cli {
namespace {

namespace fs = std::filesystem;
namespace headless = platform::headless;

constexpr const char* kDialog = "frmBBMM";

void declareBbmm(CLI::App& sub, CommandArgs& args) {
  sub.add_option("--id", args.text("id"), "The unique animal-ID field")->required();
  sub.add_option("--time-field", args.text("time-field"), "The time field, in seconds (default Time2)");
  auto* sigma2 =
      sub.add_option("--sigma2", args.text("sigma2"),
                     "The location error s2 of every fix, in map units (e.g. from stationary tests)");
  auto* field =
      sub.add_option("--sigma2-field", args.text("sigma2-field"), "A field of per-fix location errors");
  sigma2->excludes(field);
  sub.add_option("--sigma1", args.text("sigma1"), "auto (maximum likelihood, the default) or a value of s1");
  sub.add_option(
         "--triplets", args.text("triplets"),
         "odd (independent triplets, the default) or all (every interior fix, as adehabitatHR's liker)")
      ->check(CLI::IsMember({"odd", "all"}, CLI::ignore_case));
  sub.add_flag("--dynamic", args.flag("dynamic"),
               "The dynamic Brownian bridge: s1 per fix from a sliding window's break points (BIC)");
  sub.add_option("--window", args.text("window"), "Dynamic bridge: fixes per window, odd (default 31)");
  sub.add_option("--margin", args.text("margin"),
                 "Dynamic bridge: fixes a break keeps from either end of its window, odd (default 11)");
  sub.add_option("--max-gap", args.text("max-gap"),
                 "Intervals longer than this many seconds carry no bridge");
  declareGridOptions(sub, args);
  sub.add_option("--isopleths", args.text("isopleths"),
                 "Build isopleths at these volume percentages, comma-separated (default: none)");
  sub.add_option("--prefix", args.text("prefix"), "Raster name prefix (default bbmm)");
  sub.add_option("--out-dir", args.text("out-dir"),
                 "Output folder of the rasters, isopleths and run log (created when missing)")
      ->required();
  sub.add_flag("--plots", args.flag("plots"),
               "Also draw, per animal, the s1 likelihood profile and a map of the UD (SVG and PNG)");
}

headless::FormScript bbmmFormScript(const CommandArgs& args, const std::string& referenceLayer) {
  headless::FormScript script;
  script.pageOf("cmbPntL");
  script.select("cmbPntL", args.layer.empty() ? std::string("#0") : args.layer);
  script.select("cmbUIDFLD", args.textOf("id"));
  if (args.given("time-field")) script.type("txtTimeFld", args.textOf("time-field"));
  if (!args.where.empty()) script.check("chkUseSel", true);
  script.pageOf("txtSigma2");
  if (args.given("sigma2")) script.type("txtSigma2", args.textOf("sigma2"));
  if (args.given("sigma2-field")) script.type("txtSigma2Fld", args.textOf("sigma2-field"));
  if (args.given("sigma1")) script.type("txtSigma1", args.textOf("sigma1"));
  if (host::toLowerAscii(args.textOf("triplets")) == "all") script.choose("optAll");
  if (args.flagOf("dynamic")) script.check("chkDynamic", true);
  if (args.given("window")) script.type("txtWindow", args.textOf("window"));
  if (args.given("margin")) script.type("txtMargin", args.textOf("margin"));
  if (args.given("max-gap")) script.type("txtMaxGap", args.textOf("max-gap"));
  script.pageOf("txtCellSize");
  if (const std::optional<KdeExtentFlag> extent = readExtentFlag(args.textOf("extent"))) {
    script.choose(extent->option);
    if (extent->option == "optFull") script.type("txtBuffer", extent->value);
    if (extent->option == "optExtRef") script.select("cmbExtRef", referenceLayer);
  }
  if (args.given("cell-size")) script.type("txtCellSize", args.textOf("cell-size"));
  if (args.given("isopleths")) {
    script.check("chkBnds", true);
    script.type("txtBnds", args.textOf("isopleths"));
  }
  if (args.given("prefix")) script.type("txtR", args.textOf("prefix"));
  script.click("btnFolder");
  return script.click("btnOK");
}

class BbmmSubcommand final : public Subcommand {
 public:
  BbmmSubcommand() : Subcommand(kBbmmProgId) {}
  void declare(CLI::App& sub, CommandArgs& args) override { declareBbmm(sub, args); }

  int run(const CommandArgs& args, const GlobalOptions& global) override {
    if (!args.given("sigma2") && !args.given("sigma2-field")) {
      std::cerr << "orvex: bbmm: give the location error: --sigma2 S or --sigma2-field FIELD\n";
      return kExitUsage;
    }
    if ((args.given("window") || args.given("margin")) && !args.flagOf("dynamic")) {
      std::cerr << "orvex: bbmm: --window and --margin belong to --dynamic\n";
      return kExitUsage;
    }
    return Subcommand::run(args, global);
  }

  void script(const CommandArgs& args, headless::HeadlessApplication& application) override {
    const fs::path outDir = fs::absolute(args.textOf("out-dir"));
    std::error_code error;
    fs::create_directories(outDir, error);
    if (error || !fs::is_directory(outDir, error))
      throw host::Error(host::kPathNotFound,
                        "Cannot create the output folder '" + outDir.string() + "': " + error.message());
    const std::string referenceLayer = referenceLayerFor(args, application);
    application.scriptedUi().queueFolderAnswer(outDir);
    application.scriptedUi().setFormScript(kDialog, bbmmFormScript(args, referenceLayer));
  }

  int report(const CommandArgs& args, headless::HeadlessApplication& application, int exitCode) override {
    bool completed = false;
    for (const headless::FormRecord& form : application.scriptedUi().forms())
      completed = completed || (form.name == kDialog && form.result == host::dialog_result::kOk);
    for (const host::OutputRecord& output : application.runRecord().outputs()) reportOutput(output);
    if (completed && args.flagOf("plots") && !args.files.empty()) {
      host::RunRecord& record = application.runRecord();
      for (const fs::path& picture :
           writeKdePlots(bridgeRunsOf(record), args.files.front(), args.textOf("id"), record))
        std::cout << picture.string() << ": picture\n";
    }
    if (!completed) {
      std::cerr << "orvex: bbmm: the run did not complete (see the messages above)\n";
      return kExitCommandFailed;
    }
    return exitCode;
  }

  // Intervals of zero length or over the largest gap are reported, by design, and fail nothing.
  bool skippedItemsFail(const CommandArgs& /*args*/) const override { return false; }
};

}  // namespace

std::unique_ptr<Subcommand> makeBbmmSubcommand() { return std::make_unique<BbmmSubcommand>(); }

}  // namespace orvex::cli
