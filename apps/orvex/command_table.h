#pragma once

// The table of menu-command subcommands of `orvex`.
//
// Each row turns one registered command into a subcommand. Running it builds the headless
// host's map from the files given, selects features, queues the dialog answers, lets the row
// write the scripts of the command's forms, then creates the command by its ProgID and clicks
// it once.
//
// Adding a subcommand is one row in `kCommandRows` (command_table.cpp) plus, when the command
// shows forms or asks questions, two small functions, usually in a file of their own
// (apps/orvex/row_<name>.cpp; new files need no build change). The form and control names
// below only illustrate; a row uses those of its command's forms:
//
//   // row_mcp.cpp
//   void declareMcp(CLI::App& sub, CommandArgs& args) {
//     sub.add_option("--percent", args.text("percent"), "Percentages, comma-separated (95)");
//     sub.add_option("--style", args.text("style"), "Selection style (Fixed Mean)");
//   }
//   void scriptMcp(const CommandArgs& args, platform::headless::HeadlessApplication& app) {
//     platform::headless::FormScript options;
//     if (args.given("percent")) options.type("txtPercent", args.textOf("percent"));
//     if (args.given("style")) options.type("cmbStyle", args.textOf("style"));
//     app.scriptedUi().setFormScript("frmMCPOptions", options.click("btnOK"));
//   }
//
//   // command_table.cpp, in kCommandRows:
//   {"mcp", "Minimum convex polygons of each layer's selected fixes", "Orvex8.orvex_MCP",
//    &declareMcp, &scriptMcp},
//
// Every row's subcommand also takes, without declaring them: the data files (positional),
// --where, --oid, --layer and -o/--output (one save-dialog answer per use, in order); the
// global options (--map-crs, --yes, --no, ...) apply as well. Declare options through the
// slots of `CommandArgs` so that the script function can read them back by key.

#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace CLI {
class App;
}

namespace orvex::platform::headless {
class HeadlessApplication;
}

namespace orvex::cli {

struct GlobalOptions;

/// What one subcommand's options were parsed into: the options every command takes, and
/// slots by key for the row's own options.
class CommandArgs {
 public:
  // Options of every command subcommand.
  std::vector<std::string> files;    ///< data files, one layer each (or more for multi-layer files)
  std::string where;                 ///< selection where-clause
  std::vector<int> objectIds;        ///< selection by object id
  std::string layer;                 ///< the table-of-contents layer
  std::vector<std::string> outputs;  ///< save-dialog answers, in order

  /// Slots a row's `declare` binds its options to. A slot keeps its address for the life of
  /// the object, as CLI11 requires.
  std::string& text(const std::string& key) { return texts_[key]; }
  std::vector<std::string>& list(const std::string& key) { return lists_[key]; }
  bool& flag(const std::string& key) { return flags_[key]; }

  /// The value of a slot; empty (or false) when the option was not given.
  std::string textOf(const std::string& key) const;
  std::vector<std::string> listOf(const std::string& key) const;
  bool flagOf(const std::string& key) const;
  /// True when the option was given: a non-empty text, a non-empty list or a set flag.
  bool given(const std::string& key) const;

 private:
  std::map<std::string, std::string> texts_;
  std::map<std::string, std::vector<std::string>> lists_;
  std::map<std::string, bool> flags_;
};

/// Declares a row's own options on its subcommand.
using DeclareFn = void (*)(CLI::App& subcommand, CommandArgs& args);
/// Writes the form scripts and dialog answers of a run from the parsed options. Runs after
/// the map is built and the --output answers are queued, before the command is clicked.
using ScriptFn = void (*)(const CommandArgs& args, platform::headless::HeadlessApplication& application);
/// Reads what the click left behind (files written, forms refused) while the application is
/// still alive, prints its report and returns the exit code, normally `exitCode` unchanged.
using AfterFn = int (*)(const CommandArgs& args, platform::headless::HeadlessApplication& application,
                        int exitCode);
/// Runs a subcommand of the command line itself, one with no registered command behind it
/// (simulate, demo), and returns the exit code.
using RunFn = int (*)(const CommandArgs& args, const GlobalOptions& global);

/// One subcommand.
struct CommandRow {
  std::string_view name;    ///< the subcommand, "mcp"
  std::string_view help;    ///< one line for --help
  std::string_view progId;  ///< the command run, "Orvex8.orvex_MCP"
  DeclareFn declare = nullptr;
  ScriptFn script = nullptr;
  AfterFn after = nullptr;
  /// Set for a subcommand of the command line itself: `progId` is empty, the options of the
  /// command subcommands are not declared and `run` does the whole work. Set together with a
  /// `progId` for a command subcommand that clicks its command more than once (one run per
  /// animal): the common options are declared and `run` calls runHostedCommand per click.
  RunFn run = nullptr;
};

/// The rows, in the order --help lists them.
std::span<const CommandRow> commandRows();

}  // namespace orvex::cli
