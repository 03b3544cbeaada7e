#pragma once

// `orvex dedup-time` and `orvex dedup-xy`: the duplicate-removal commands on a point file (the
// layer selected in the table of contents), over the features --where selects (every feature
// without it). With --dry-run the command runs on a copy of the files, so the report says
// which features it would delete while the files given stay as they are.

#include <string_view>

#include "apps/orvex/subcommand.h"

namespace orvex::cli {

inline constexpr std::string_view kDedupTimeProgId = "ORVEX.FindDupTime2";
inline constexpr std::string_view kDedupXyProgId = "ORVEX.FindDupxy";

/// --dry-run. After the click: one line per selected feature that is gone ("deleted FID 12
/// (x, y; Time2 t)", or "would delete ..." in a dry run) and a count. The run fails when the
/// command stopped without reporting its deletions (its message is printed already).
std::unique_ptr<Subcommand> makeDedupTimeSubcommand();
std::unique_ptr<Subcommand> makeDedupXySubcommand();

}  // namespace orvex::cli
