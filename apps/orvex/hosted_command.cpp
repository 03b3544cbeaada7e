// Running one command in the headless host from the command line.

#include <unistd.h>  // isatty

#include <iostream>
#include <map>

#include "apps/orvex/cli.h"
#include "host/text.h"
#include "platform/gdal/gdal_platform.h"
#include "platform/headless/command_kinds.h"
#include "platform/headless/command_runner.h"
#include "platform/headless/edit_session.h"
#include "platform/headless/headless_application.h"
#include "platform/headless/map_source.h"

namespace orvex::cli {
namespace {

namespace headless = platform::headless;

headless::HeadlessOptions hostOptions(const GlobalOptions& global) {
  headless::HeadlessOptions options;
  options.messages = &std::cerr;
  options.choices = global.yes  ? headless::ChoicePolicy::Yes
                    : global.no ? headless::ChoicePolicy::No
                                : headless::ChoicePolicy::Ask;
  // A person is asked only when both the question and the answer pass through a terminal.
  if (isatty(STDIN_FILENO) != 0 && isatty(STDERR_FILENO) != 0) options.promptInput = &std::cin;
  if (!global.quiet && isatty(STDERR_FILENO) != 0) options.progressTerminal = &std::cerr;
  return options;
}

int runInHost(std::string_view progId, const CommandArgs& args, const GlobalOptions& global, ScriptFn script,
              AfterFn after, const host::ComponentRegistry& registry, headless::EditSessions& edits);

}  // namespace

int runHostedCommand(std::string_view progId, const CommandArgs& args, const GlobalOptions& global,
                     ScriptFn script, AfterFn after) {
  // The registry outlives the application: anything of a component library that the
  // application still holds when it ends (a forgotten event handler) needs its code loaded.
  const host::ComponentRegistry registry = global.openRegistry();
  headless::EditSessions edits;
  int exitCode = runInHost(progId, args, global, script, after, registry, edits);
  // Files are closed with the application; a write that failed only then is reported here.
  for (const std::string& failure : platform::gdal::takeFailedWrites()) {
    std::cerr << "orvex: " << failure << '\n';
    exitCode = kExitCommandFailed;
  }
  return exitCode;
}

namespace {

int runInHost(std::string_view progId, const CommandArgs& args, const GlobalOptions& global, ScriptFn script,
              AfterFn after, const host::ComponentRegistry& registry, headless::EditSessions& edits) {
  headless::HeadlessApplication application(hostOptions(global));

  headless::MapSource source;
  source.files.assign(args.files.begin(), args.files.end());
  source.mapCrs = global.mapCrs;
  source.where = args.where;
  source.objectIds.assign(args.objectIds.begin(), args.objectIds.end());
  source.selectedLayer = args.layer;
  source.measuresFixes = headless::measuresFixes(progId);
  if (headless::editsInPlace(progId)) source.edits = &edits;
  headless::loadMapSource(application, source);

  for (const auto& output : args.outputs)
    application.scriptedUi().queueSaveAnswer(std::filesystem::path(output));
  if (script != nullptr) script(args, application);

  const host::Status status = headless::runCommand(registry, application, progId);
  int exitCode = kExitSuccess;
  if (host::failed(status)) {
    std::cerr << "orvex: " << progId << " failed (status "
              << host::cformat("0x%08X", static_cast<unsigned>(status)) << ")\n";
    exitCode = kExitCommandFailed;
  }
  exitCode = after != nullptr ? after(args, application, exitCode) : exitCode;
  edits.commit();  // a command that returned has a complete result, also when it stopped early
  return exitCode;
}

}  // namespace

void scriptGenericRun(const CommandArgs& args, headless::HeadlessApplication& application) {
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

}  // namespace orvex::cli
