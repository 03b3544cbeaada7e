// `orvex run PROGID`: any registered command, scripted step by step from the command line.

#include <map>

#include "apps/orvex/cli.h"
#include "platform/headless/form_script.h"
#include "platform/headless/headless_application.h"

namespace orvex::cli {
namespace {

namespace headless = platform::headless;

class GenericRunSubcommand final : public Subcommand {
 public:
  // The ProgID is read with the rest of the command line; the common options are declared.
  bool takesMapOptions() const override { return true; }

  int run(const CommandArgs& args, const GlobalOptions& global) override {
    setProgId(args.textOf("progid"));
    return clickOnce(args, global);
  }

  void script(const CommandArgs& args, headless::HeadlessApplication& application) override {
    // Steps are grouped by form, each form's in the order given.
    std::map<std::string, headless::FormScript> scripts;
    for (const std::string& text : args.listOf("step")) {
      const auto dot = text.find('.');
      scripts[text.substr(0, dot)].add(headless::parseFormStep(std::string_view(text).substr(dot + 1)));
    }
    for (auto& [form, script] : scripts) application.scriptedUi().setFormScript(form, std::move(script));
    for (const auto& file : args.listOf("open"))
      application.scriptedUi().queueOpenAnswer({std::filesystem::path(file)});
    for (const auto& folder : args.listOf("folder"))
      application.scriptedUi().queueFolderAnswer(std::filesystem::path(folder));
  }

  // A generic command's items are its own business: only what failed fails the run.
  bool skippedItemsFail(const CommandArgs& /*args*/) const override { return false; }
};

}  // namespace

std::unique_ptr<Subcommand> makeGenericRunSubcommand() { return std::make_unique<GenericRunSubcommand>(); }

}  // namespace orvex::cli
