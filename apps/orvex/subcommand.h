#pragma once

// One `orvex` subcommand as an object with three hooks: declare its options, script the forms
// of one click of its command, and report what that click left behind. The object lives for
// one run of the command line and owns everything the run needs between the hooks; the
// outputs and failures the components recorded are collected into its `RunSummary`.

#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <string_view>

#include "apps/orvex/command_args.h"
#include "apps/orvex/global_options.h"
#include "apps/orvex/run_summary.h"

namespace CLI {
class App;
}

namespace orvex::host {
class ComponentRegistry;
}

namespace orvex::platform::headless {
class EditSessions;
class HeadlessApplication;
}  // namespace orvex::platform::headless

namespace orvex::cli {

struct GlobalOptions;

class Subcommand {
 public:
  explicit Subcommand(std::string_view progId = {}) : progId_(progId) {}
  virtual ~Subcommand();
  Subcommand(const Subcommand&) = delete;
  Subcommand& operator=(const Subcommand&) = delete;

  /// The command clicked; empty for a subcommand of the command line itself.
  std::string_view progId() const { return progId_; }
  /// Whether the options every command subcommand takes (files, --where, -o ...) are declared.
  virtual bool takesMapOptions() const { return !progId_.empty(); }

  /// Declares the subcommand's own options, bound to slots of `args`.
  virtual void declare(CLI::App& subcommand, CommandArgs& args);
  /// Writes the form scripts and dialog answers of one click. Runs after the map is built and
  /// the -o answers are queued, before the command is clicked.
  virtual void script(const CommandArgs& args, platform::headless::HeadlessApplication& application);
  /// Reads what the click left behind while the application is alive (the records are already
  /// in `summary()`), prints its report and returns the exit code, normally `exitCode`.
  virtual int report(const CommandArgs& args, platform::headless::HeadlessApplication& application,
                     int exitCode);
  /// Runs the subcommand and returns its exit code; by default one click of the command.
  virtual int run(const CommandArgs& args, const GlobalOptions& global);
  /// Whether an input item the command passed over by design (a layer without fixes) fails
  /// the run: it does when the user named that input, so that nothing silently comes of it.
  virtual bool skippedItemsFail(const CommandArgs& args) const;

  /// Clicks the command once in a new headless application on the map `args` describe,
  /// adds the click's records to the summary and returns `report`'s exit code.
  int clickOnce(const CommandArgs& args, const GlobalOptions& global);

  RunSummary& summary() { return summary_; }
  const RunSummary& summary() const { return summary_; }

 protected:
  /// For a subcommand whose command is named on the command line.
  void setProgId(std::string progId) { progId_ = std::move(progId); }
  /// Called from `report`: the click's in-place edits failed part-way and are thrown away, so
  /// the user's files stay byte for byte as they were.
  void discardEdits() { discardsEdits_ = true; }
  /// The output paths the run's save dialogs were answered with, over all its clicks.
  std::set<std::filesystem::path>& outputsOfRun() { return outputsOfRun_; }

 private:
  int runInHost(const CommandArgs& args, const GlobalOptions& global, const host::ComponentRegistry& registry,
                platform::headless::EditSessions& edits);

  std::string progId_;
  RunSummary summary_;
  bool discardsEdits_ = false;
  std::set<std::filesystem::path> outputsOfRun_;
};

/// Runs `subcommand` and ends the run as the command line does: the failing items named (see
/// RunSummary::finish) and the exit code they make.
int runToEnd(Subcommand& subcommand, const CommandArgs& args, const GlobalOptions& global);

/// Declares a standalone subcommand's options.
using DeclareFn = void (*)(CLI::App& subcommand, CommandArgs& args);
/// Runs a standalone subcommand; records what it wrote in `summary`.
using StandaloneRunFn = int (*)(const CommandArgs& args, const GlobalOptions& global, RunSummary& summary);

/// A subcommand of the command line itself, with no registered command behind it (simulate,
/// demo, menu, about): `run` does the whole work and holds no state between hooks.
class StandaloneSubcommand final : public Subcommand {
 public:
  StandaloneSubcommand(DeclareFn declareFn, StandaloneRunFn runFn) : declare_(declareFn), run_(runFn) {}
  void declare(CLI::App& subcommand, CommandArgs& args) override {
    if (declare_ != nullptr) declare_(subcommand, args);
  }
  int run(const CommandArgs& args, const GlobalOptions& global) override {
    return run_(args, global, summary());
  }

 private:
  DeclareFn declare_;
  StandaloneRunFn run_;
};

}  // namespace orvex::cli
