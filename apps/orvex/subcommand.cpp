// Running one command in the headless host from the command line.

#include "apps/orvex/subcommand.h"

#include <unistd.h>  // isatty

#include <filesystem>
#include <iostream>

#include "apps/orvex/global_options.h"
#include "apps/orvex/terminal_progress.h"
#include "host/text.h"
#include "platform/common/command_kinds.h"
#include "platform/gdal/gdal_platform.h"
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
  if (drawsProgress(global)) options.progressTerminal = &std::cerr;
  if (global.progressLines) options.progressLines = &std::cerr;
  return options;
}

/// The files the command line was given, by name, for messages.
std::string inputNames(const CommandArgs& args) {
  std::string names;
  for (const std::string& file : args.files)
    names += (names.empty() ? "" : ", ") + std::filesystem::path(file).filename().string();
  return names;
}

/// The item of a command that stopped on a message without reporting anything: the files it
/// was given, and the last message it showed, on one line.
host::FailureRecord refusal(const CommandArgs& args, headless::HeadlessApplication& application) {
  host::FailureRecord record;
  record.item = inputNames(args);
  if (record.item.empty()) record.item = "the run";
  if (args.files.size() == 1) record.path = std::filesystem::absolute(args.files.front());
  const auto& messages = application.scriptedUi().messages();
  std::string reason = messages.empty() ? std::string() : messages.back().message.text;
  for (char& c : reason) c = c == '\n' || c == '\r' ? ' ' : c;
  record.reason =
      host::trim(reason).empty() ? "the command stopped without a result" : std::string(host::trim(reason));
  return record;
}

}  // namespace

Subcommand::~Subcommand() = default;

void Subcommand::declare(CLI::App& /*subcommand*/, CommandArgs& /*args*/) {}

void Subcommand::script(const CommandArgs& /*args*/, headless::HeadlessApplication& /*application*/) {}

int Subcommand::report(const CommandArgs& /*args*/, headless::HeadlessApplication& /*application*/,
                       int exitCode) {
  return exitCode;
}

int Subcommand::run(const CommandArgs& args, const GlobalOptions& global) { return clickOnce(args, global); }

bool Subcommand::skippedItemsFail(const CommandArgs& /*args*/) const { return true; }

int Subcommand::clickOnce(const CommandArgs& args, const GlobalOptions& global) {
  // The registry outlives the application: anything of a component library that the
  // application still holds when it ends (a forgotten event handler) needs its code loaded.
  const host::ComponentRegistry registry = global.openRegistry();
  headless::EditSessions edits;
  return runInHost(args, global, registry, edits);
}

int Subcommand::runInHost(const CommandArgs& args, const GlobalOptions& global,
                          const host::ComponentRegistry& registry, headless::EditSessions& edits) {
  discardsEdits_ = false;
  headless::HeadlessApplication application(hostOptions(global));
  application.setComponents(&registry);
  application.runRecord().setProgress(runProgress(global));

  headless::MapSource source;
  source.files.assign(args.files.begin(), args.files.end());
  source.mapCrs = global.mapCrs;
  source.where = args.where;
  source.objectIds.assign(args.objectIds.begin(), args.objectIds.end());
  source.selectedLayer = args.layer;
  source.measuresFixes = platform::measuresFixes(progId_);
  if (platform::editsInPlace(progId_)) source.edits = &edits;
  headless::loadMapSource(application, source);

  // A file named on the command line is replaced only with --yes (or a person's Yes), and
  // never one of the inputs.
  application.scriptedUi().setAsksBeforeReplacing(true);
  application.scriptedUi().setProtectedInputs({args.files.begin(), args.files.end()});
  application.scriptedUi().setOutputRefused(
      [&application](const std::filesystem::path& file, const std::string& reason) {
        application.runRecord().failure(
            {.item = file.filename().string(), .reason = file.string() + " " + reason, .path = file});
      });
  for (const auto& output : args.outputs)
    application.scriptedUi().queueSaveAnswer(std::filesystem::path(output));
  script(args, application);

  const host::Status status = headless::runCommand(registry, application, progId_);
  int exitCode = kExitSuccess;
  if (host::failed(status)) {
    std::cerr << "orvex: " << progId_ << " failed (status "
              << host::cformat("0x%08X", static_cast<unsigned>(status)) << ")\n";
    exitCode = kExitCommandFailed;
  }
  // Said before the report's lines, beside the command's own messages.
  for (const std::string& warning : application.runRecord().warnings())
    std::cerr << "orvex: warning: " << warning << '\n';
  // The report may add the files the command line wrote itself (a picture) to the record.
  exitCode = report(args, application, exitCode);
  // A command that stopped on a message box before doing anything names the files it was
  // given, so that the last line says what was not done and why.
  const host::RunRecord& record = application.runRecord();
  if (exitCode == kExitCommandFailed && record.outputs().empty() && record.failures().empty() &&
      !application.scriptedUi().messages().empty())
    application.runRecord().failure(refusal(args, application));
  // A command that returned has a complete result, also when it stopped early by design;
  // one that failed part-way is rolled back as the edit sessions go.
  if (!discardsEdits_) edits.commit();
  // A write that fails only when its file is closed joins the record as a failed item.
  application.closeOpenFiles();
  summary_.add(application.runRecord(), inputNames(args));
  return exitCode;
}

int runToEnd(Subcommand& subcommand, const CommandArgs& args, const GlobalOptions& global) {
  const int exitCode = subcommand.run(args, global);
  return subcommand.summary().finish(exitCode, subcommand.skippedItemsFail(args), std::cerr);
}

}  // namespace orvex::cli
