#include "apps/orvex/row_mcp.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cmath>
#include <deque>
#include <iostream>
#include <limits>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "apps/orvex/global_options.h"
#include "apps/orvex/mcp_curve.h"
#include "apps/orvex/row_mcp_groups.h"
#include "apps/orvex/save_answers.h"
#include "host/error.h"
#include "host/form.h"
#include "host/text.h"
#include "platform/headless/form_script.h"
#include "platform/headless/headless_application.h"

namespace orvex::cli {
namespace {

namespace headless = platform::headless;

// The options form of the MCP command and its controls.
constexpr const char* kOptionsForm = "frmMCPOptions";
constexpr const char* kUserCentreStyle = "User Centre";

/// "X,Y" of --centre; nothing when it is not two pieces.
std::optional<std::pair<std::string, std::string>> centreOf(std::string_view text) {
  const std::size_t comma = text.find(',');
  if (comma == std::string_view::npos || text.find(',', comma + 1) != std::string_view::npos)
    return std::nullopt;
  return std::pair{std::string(host::trim(text.substr(0, comma))),
                   std::string(host::trim(text.substr(comma + 1)))};
}

/// Answers the command's save dialogs: with the -o paths in order when they were given instead
/// of a template (then cancelling once they run out), otherwise from the output template with
/// the layer and the percentage the dialog says it saves (92.7 as given, not the 92 of its
/// title). Either way an existing file is replaced only when confirmed.
class SaveAnswers {
 public:
  SaveAnswers(headless::HeadlessApplication& application, std::string outputTemplate,
              const std::vector<std::string>& paths, std::set<std::filesystem::path>& taken)
      : application_(&application),
        taken_(&taken),
        template_(std::move(outputTemplate)),
        paths_(paths.begin(), paths.end()),
        byPath_(!paths.empty()) {}

  std::optional<std::filesystem::path> answer(const host::FileDialogOptions& options) {
    std::filesystem::path path;
    if (byPath_) {
      if (paths_.empty()) {
        application_->note(options.title + ": no file given; cancelled");
        return std::nullopt;
      }
      path = host::withDefaultExtension(paths_.front(), options.defaultExtension);
      paths_.pop_front();
    } else {
      const std::string percent =
          options.values.percentage ? host::numberText(*options.values.percentage) : std::string();
      path = withShapefileExtension(expandMcpTemplate(template_, fileNamePart(options.layer), percent));
    }
    // Paths given one by one are the user's own (the same twice appends, as the dialog
    // does); a template that names two results alike would mix them up.
    return answerSave(*application_, path, options, "not replaced", byPath_ ? nullptr : taken_);
  }

 private:
  headless::HeadlessApplication* application_;
  std::set<std::filesystem::path>* taken_;
  std::string template_;
  std::deque<std::filesystem::path> paths_;
  bool byPath_;
};

class McpSubcommand final : public Subcommand {
 public:
  McpSubcommand() : Subcommand(kMcpProgId) {}
  void declare(CLI::App& sub, CommandArgs& args) override;
  void script(const CommandArgs& args, headless::HeadlessApplication& application) override;
  int report(const CommandArgs& args, headless::HeadlessApplication& application, int exitCode) override;
  int run(const CommandArgs& args, const GlobalOptions& global) override;
  // Groups of --by with too few fixes are the animals' business, said in their message; a
  // file named by the user that gave nothing (no group, or without --by) is a failure.
  bool skippedItemsFail(const CommandArgs& args) const override {
    return !args.given("by") || wholeLayers_ > 0;
  }

 private:
  int wholeLayers_ = 0;
};

}  // namespace

std::string expandMcpTemplate(std::string_view outputTemplate, std::string_view layer,
                              std::string_view percent) {
  return expandTemplate(outputTemplate, {{"{layer}", layer}, {"{percent}", percent}});
}

void McpSubcommand::declare(CLI::App& sub, CommandArgs& args) {
  sub.add_option("--by", args.text("by"),
                 "Make one layer per distinct value of this field, named by the value (e.g. AnimalID)");
  auto* percent = sub.add_option(
      "--percent", args.text("percent"),
      "Percentages of each layer's fixes to keep, comma-separated (default 95). Above 100 every fix "
      "is kept (the picks are capped at the fixes available) while NUsed reports the count asked for");
  sub.add_flag("--all-points", args.flag("all-points"),
               "Uncheck \"Select Percentage of Points\": one polygon over every fix (100 percent)")
      ->excludes(percent);
  sub.add_option("--style", args.text("style"),
                 "Selection style: \"Fixed Mean\" (default), \"Fixed Median\", \"User Centre\", "
                 "\"Floating Mean\", \"Floating Median\" or \"Area Added\"");
  sub.add_option("--centre", args.text("centre"),
                 "User centre X,Y in map units (default: the centre of the layer's extent); alone it "
                 "also chooses the style \"User Centre\"")
      ->check(CLI::Validator(
          [](const std::string& text) {
            return centreOf(text) ? std::string() : "--centre takes X,Y: '" + text + "'";
          },
          "X,Y"));
  sub.add_flag("--curve", args.flag("curve"),
               "Also draw, per layer, the MCP area against the percentage of fixes (10 to 100) and against "
               "the number of fixes in time order (SVG and PNG beside the outputs)");
  sub.add_option("--out", args.text("out"),
                 "Output file template; {layer} and {percent} are replaced (default "
                 "{layer}_mcp{percent}.shp). A .gpkg file instead receives the polygons as layers named as "
                 "the shapefiles would be. An existing file or layer is replaced only with --yes");
  declareFormat(sub, args,
                "the polygons become layers of mcp.gpkg in the --out folder, named by the template");
}

void McpSubcommand::script(const CommandArgs& args, headless::HeadlessApplication& application) {
  if (args.given("by")) wholeLayers_ = groupLayersByField(application, args.textOf("by"));

  headless::FormScript options;
  if (args.given("style"))
    options.type("cmbStyle", args.textOf("style"));
  else if (args.given("centre"))
    options.type("cmbStyle", kUserCentreStyle);
  if (const auto centre = centreOf(args.textOf("centre"))) {
    options.type("txtCentreX", centre->first);
    options.type("txtCentreY", centre->second);
  }
  if (args.given("percent")) options.type("txtPercent", args.textOf("percent"));
  // Last: unchecking disables the boxes above.
  if (args.flagOf("all-points")) options.check("chkPercent", false);
  application.scriptedUi().setFormScript(kOptionsForm, options.click("btnOK"));

  // -o answers the dialogs one by one when given without --out; otherwise the template does.
  auto answers = std::make_shared<SaveAnswers>(
      application, args.given("out") ? args.textOf("out") : std::string(kMcpDefaultTemplate),
      args.given("out") ? std::vector<std::string>{} : args.outputs, outputsOfRun());
  application.scriptedUi().setSaveAnswers(
      [answers](const host::FileDialogOptions& dialog) { return answers->answer(dialog); });
}

int McpSubcommand::report(const CommandArgs& /*args*/, headless::HeadlessApplication& application,
                          int exitCode) {
  headless::ScriptedUi& ui = application.scriptedUi();
  reportShapefiles(application.runRecord());

  // The script always presses OK, so an options form that did not close with OK refused what
  // the command line gave it (the reason is the message printed before).
  for (const headless::FormRecord& form : ui.forms()) {
    if (form.name != kOptionsForm || form.result == host::dialog_result::kOk) continue;
    std::cerr << "orvex: " << form.caption
              << ": the options were refused; nothing was written for that layer\n";
    exitCode = kExitCommandFailed;
  }
  return exitCode;
}

// A GeoPackage goes through shapefiles moved into it; --curve then draws the curves beside
// the outputs, recorded as pictures.
int McpSubcommand::run(const CommandArgs& args, const GlobalOptions& global) {
  const std::optional<GeoPackageTarget> target = geoPackageTarget(args, kMcpDefaultTemplate, "mcp");
  const int code =
      target ? runMcpIntoGeoPackage(args, global, *target, summary()) : Subcommand::run(args, global);
  if (code != kExitSuccess || !args.flagOf("curve")) return code;
  const std::filesystem::path folder =
      target ? target->geoPackage.parent_path()
             : std::filesystem::absolute(args.given("out") ? std::filesystem::path(args.textOf("out"))
                                                           : std::filesystem::path(kMcpDefaultTemplate))
                   .parent_path();
  for (const std::filesystem::path& picture : writeMcpCurves(args, global, folder)) {
    summary().output({.path = picture, .kind = host::OutputKind::Picture, .layer = picture.stem().string()});
    std::cout << picture.string() << ": picture\n";
  }
  return code;
}

std::unique_ptr<Subcommand> makeMcpSubcommand() { return std::make_unique<McpSubcommand>(); }

}  // namespace orvex::cli
