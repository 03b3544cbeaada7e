#pragma once

// `orvex mcp`: the MCP Analysis command on point files, one map layer per file (or per value
// of a field), its options dialog filled from the command line and its save dialogs answered
// from a file-name template.

#include <optional>
#include <string>
#include <string_view>

#include "apps/orvex/command_table.h"

namespace orvex::cli {

inline constexpr std::string_view kMcpProgId = "Orvex8.orvex_MCP";
inline constexpr std::string_view kMcpDefaultTemplate = "{layer}_mcp{percent}.shp";

void declareMcp(CLI::App& subcommand, CommandArgs& args);
/// Splits the layers (--by), writes the options form's script and answers the save dialogs.
void scriptMcp(const CommandArgs& args, platform::headless::HeadlessApplication& application);
/// Prints one line per file written; a refused options form makes the exit code 1.
int afterMcp(const CommandArgs& args, platform::headless::HeadlessApplication& application, int exitCode);

/// Runs `orvex mcp` with `args` as if typed (the demo uses it).
int runMcp(const CommandArgs& args, const GlobalOptions& global);

/// What a save title "Save As MCP <n> percent analysis for layer = <name>" (or the form
/// without a layer) says; nothing for any other title.
struct McpSaveTitle {
  long percent = 0;
  std::string layer;
};
std::optional<McpSaveTitle> readMcpSaveTitle(std::string_view title);

/// `outputTemplate` with every "{layer}" and "{percent}" replaced.
std::string expandMcpTemplate(std::string_view outputTemplate, std::string_view layer,
                              std::string_view percent);

}  // namespace orvex::cli
