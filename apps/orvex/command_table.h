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

#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace orvex::cli {

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
