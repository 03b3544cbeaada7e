#pragma once

// `orvex mcp`: the MCP Analysis command on point files, one map layer per file (or per value
// of a field), its options dialog filled from the command line and its save dialogs answered
// from a file-name template.

#include <memory>
#include <string>
#include <string_view>

#include "apps/orvex/subcommand.h"

namespace orvex::cli {

inline constexpr std::string_view kMcpProgId = "Orvex8.orvex_MCP";
inline constexpr std::string_view kMcpDefaultTemplate = "{layer}_mcp{percent}.shp";

/// `orvex mcp`: splits the layers (--by), fills the options form, answers the save dialogs
/// from the template (or the -o answers in order) and prints one line per file written. A
/// refused options form fails the run; so does a file named on the command line that gave no
/// polygon (a layer of lines, no fixes), unless --by split it into animals.
std::unique_ptr<Subcommand> makeMcpSubcommand();

/// `outputTemplate` with every "{layer}" and "{percent}" replaced.
std::string expandMcpTemplate(std::string_view outputTemplate, std::string_view layer,
                              std::string_view percent);

}  // namespace orvex::cli
