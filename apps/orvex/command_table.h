#pragma once

// The table of menu-command subcommands of `orvex`.
//
// Each row turns one registered command (or a task of the command line itself) into a
// subcommand. Running it builds the headless host's map from the files given, selects
// features, queues the dialog answers, lets the subcommand script the command's forms, then
// creates the command by its ProgID and clicks it once; the subcommand then reports what the
// click left, from the records the command made of its outputs and failures.
//
// Adding a subcommand is one row in `kCommandRows` (command_table.cpp) and, when the command
// shows forms or asks questions, a small class in a file of its own (apps/orvex/row_<name>.cpp;
// new files need no build change). The form and control names below only illustrate; a
// subcommand uses those of its command's forms:
//
//   // row_mcp.cpp
//   class McpSubcommand final : public Subcommand {
//    public:
//     McpSubcommand() : Subcommand("Orvex8.orvex_MCP") {}
//     void declare(CLI::App& sub, CommandArgs& args) override {
//       sub.add_option("--percent", args.text("percent"), "Percentages, comma-separated (95)");
//     }
//     void script(const CommandArgs& args, platform::headless::HeadlessApplication& app) override {
//       platform::headless::FormScript options;
//       if (args.given("percent")) options.type("txtPercent", args.textOf("percent"));
//       app.scriptedUi().setFormScript("frmMCPOptions", options.click("btnOK"));
//     }
//   };
//   std::unique_ptr<Subcommand> makeMcpSubcommand() { return std::make_unique<McpSubcommand>(); }
//
//   // command_table.cpp, in kCommandRows:
//   {"mcp", "Minimum convex polygons of each layer's selected fixes", &makeMcpSubcommand},
//
// Every command subcommand also takes, without declaring them: the data files (positional),
// --where, --oid, --layer and -o/--output (one save-dialog answer per use, in order); the
// global options (--map-crs, --yes, --no, --json ...) apply as well. Declare options through
// the slots of `CommandArgs` so that the hooks can read them back by key.

#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace orvex::cli {

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

class Subcommand;

/// One subcommand: its name, its line of --help, and the object that runs it (made once per
/// run of the command line; see subcommand.h).
struct CommandRow {
  std::string_view name;  ///< the subcommand, "mcp"
  std::string_view help;  ///< one line for --help
  std::unique_ptr<Subcommand> (*make)() = nullptr;
};

/// The rows, in the order --help lists them.
std::span<const CommandRow> commandRows();

}  // namespace orvex::cli
