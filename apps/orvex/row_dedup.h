#pragma once

// `orvex dedup-time` and `orvex dedup-xy`: the duplicate-removal commands on a point file (the
// layer selected in the table of contents), over the features --where selects (every feature
// without it). With --dry-run the command runs on a copy of the files, so the report says
// which features it would delete while the files given stay as they are.

#include <string_view>

#include "apps/orvex/command_table.h"

namespace orvex::cli {

inline constexpr std::string_view kDedupTimeProgId = "ORVEX.FindDupTime2";
inline constexpr std::string_view kDedupXyProgId = "ORVEX.FindDupxy";

/// --dry-run.
void declareDedup(CLI::App& subcommand, CommandArgs& args);
/// Notes the selected features before the click, for the report.
void scriptDedup(const CommandArgs& args, platform::headless::HeadlessApplication& application);
/// One line per selected feature that is gone after the click ("deleted FID 12 (x, y; Time2
/// t)", or "would delete ..." in a dry run) and a count. The exit code is 1 when the command
/// stopped without reporting its deletions (its message is printed already).
int afterDedup(const CommandArgs& args, platform::headless::HeadlessApplication& application, int exitCode);

int runDedupTime(const CommandArgs& args, const GlobalOptions& global);
int runDedupXy(const CommandArgs& args, const GlobalOptions& global);

}  // namespace orvex::cli
