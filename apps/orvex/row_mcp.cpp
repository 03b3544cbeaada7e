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

#include "apps/orvex/cli.h"
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

constexpr std::string_view kTitleWithLayer = "Save As MCP ";
constexpr std::string_view kTitleWithoutLayer = "Save As    MCP ";
constexpr std::string_view kTitlePercent = " percent analysis";
constexpr std::string_view kTitleLayer = " for layer = ";

/// The numbers of a percentage list as the options dialog reads them: one trailing comma
/// ignored, each piece read as its leading number.
std::vector<double> percentagesOf(std::string_view text) {
  text = host::trim(text);
  if (!text.empty() && text.back() == ',') text = host::trimRight(text.substr(0, text.size() - 1));
  std::vector<double> values;
  if (text.empty()) return values;
  std::size_t start = 0;
  while (true) {
    const std::size_t comma = text.find(',', start);
    values.push_back(host::parseNumberPrefix(text.substr(start, comma - start)));
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return values;
}

long truncated(double value) {
  constexpr double kLongMax = static_cast<double>(std::numeric_limits<long>::max());
  if (std::isnan(value)) return 0;
  const double whole = std::trunc(value);
  if (whole >= kLongMax) return std::numeric_limits<long>::max();
  if (whole <= -kLongMax) return -std::numeric_limits<long>::max();
  return static_cast<long>(whole);
}

/// "X,Y" of --centre; nothing when it is not two pieces.
std::optional<std::pair<std::string, std::string>> centreOf(std::string_view text) {
  const std::size_t comma = text.find(',');
  if (comma == std::string_view::npos || text.find(',', comma + 1) != std::string_view::npos)
    return std::nullopt;
  return std::pair{std::string(host::trim(text.substr(0, comma))),
                   std::string(host::trim(text.substr(comma + 1)))};
}

/// Answers the command's save dialogs: with the -o paths in order when they were given instead
/// of a template (then cancelling once they run out), otherwise from the output template. A
/// dialog names the layer and the truncated percentage in its title; the percentage put into
/// the file name is the one of the list it stands for (92.7, not 92), found by walking each
/// layer's list in order, since the command saves a layer's percentages in the order given
/// (skipping those too low). Either way an existing file is replaced only when confirmed.
class SaveAnswers {
 public:
  SaveAnswers(headless::HeadlessApplication& application, std::string outputTemplate,
              std::vector<double> percentages, const std::vector<std::string>& paths)
      : application_(&application),
        template_(std::move(outputTemplate)),
        percentages_(std::move(percentages)),
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
      const std::optional<McpSaveTitle> title = readMcpSaveTitle(options.title);
      const std::string layer = title ? title->layer : std::string();
      const std::string percent = title ? percentFor(layer, title->percent) : std::string();
      path = withShapefileExtension(expandMcpTemplate(template_, fileNamePart(layer), percent));
    }
    return answerSave(*application_, path, options, "not replaced");
  }

 private:
  std::string percentFor(const std::string& layer, long shown) {
    std::size_t& next = nextPercentage_[layer];
    for (std::size_t i = next; i < percentages_.size(); ++i) {
      if (truncated(percentages_[i]) == shown) {
        next = i + 1;
        return host::numberText(percentages_[i]);
      }
    }
    return std::to_string(shown);
  }

  headless::HeadlessApplication* application_;
  std::string template_;
  std::vector<double> percentages_;
  std::deque<std::filesystem::path> paths_;
  bool byPath_;
  std::map<std::string, std::size_t> nextPercentage_;
};

}  // namespace

std::optional<McpSaveTitle> readMcpSaveTitle(std::string_view title) {
  const bool withLayer = title.starts_with(kTitleWithLayer);
  if (!withLayer && !title.starts_with(kTitleWithoutLayer)) return std::nullopt;
  title.remove_prefix(withLayer ? kTitleWithLayer.size() : kTitleWithoutLayer.size());
  const std::size_t end = title.find(kTitlePercent);
  if (end == std::string_view::npos || end == 0) return std::nullopt;
  const std::optional<double> number = host::parseNumber(title.substr(0, end));
  if (!number) return std::nullopt;
  title.remove_prefix(end + kTitlePercent.size());

  McpSaveTitle read;
  read.percent = truncated(*number);
  if (withLayer) {
    if (!title.starts_with(kTitleLayer)) return std::nullopt;
    read.layer = std::string(title.substr(kTitleLayer.size()));
  } else if (!title.empty()) {
    return std::nullopt;
  }
  return read;
}

std::string expandMcpTemplate(std::string_view outputTemplate, std::string_view layer,
                              std::string_view percent) {
  return expandTemplate(outputTemplate, {{"{layer}", layer}, {"{percent}", percent}});
}

void declareMcp(CLI::App& sub, CommandArgs& args) {
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
}

void scriptMcp(const CommandArgs& args, headless::HeadlessApplication& application) {
  if (args.given("by")) groupLayersByField(application, args.textOf("by"));

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
  const std::vector<double> percentages =
      args.flagOf("all-points") ? std::vector<double>{100.0}
                                : percentagesOf(args.given("percent") ? args.textOf("percent") : "95");
  auto answers = std::make_shared<SaveAnswers>(
      application, args.given("out") ? args.textOf("out") : std::string(kMcpDefaultTemplate), percentages,
      args.given("out") ? std::vector<std::string>{} : args.outputs);
  application.scriptedUi().setSaveAnswers(
      [answers](const host::FileDialogOptions& dialog) { return answers->answer(dialog); });
}

int afterMcp(const CommandArgs& /*args*/, headless::HeadlessApplication& application, int exitCode) {
  headless::ScriptedUi& ui = application.scriptedUi();
  for (const auto& path : savedFiles(ui)) reportShapefile(application, path);

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

int runMcp(const CommandArgs& args, const GlobalOptions& global) {
  return runHostedCommand(kMcpProgId, args, global, &scriptMcp, &afterMcp);
}

}  // namespace orvex::cli
