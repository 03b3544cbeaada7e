#pragma once

// `orvex travel`: the observation-fields command on a point file, which is the layer selected
// in the table of contents (--layer chooses another when several files are given).

#include <string_view>

#include "apps/orvex/subcommand.h"

namespace orvex::cli {

inline constexpr std::string_view kTravelProgId = "ORVEX.orvexobs";

/// The title of the command's Yes/No question, by which the report recognises a run that went
/// as far as asking.
inline constexpr std::string_view kTravelQuestionTitle = "Add Time and Distance Fields";
/// The start of the design's message at two fixes of one time, where travel stops by design.
inline constexpr std::string_view kTravelSameTime = "Divide by zero!!";

/// `orvex travel`: prints "<layer>: travel fields written for <n> fixes" when the command
/// answered Yes and stopped on nothing; a refusal or a stop fails the run (its message is
/// printed already), and a No leaves it successful with a line saying nothing was changed.
std::unique_ptr<Subcommand> makeTravelSubcommand();

}  // namespace orvex::cli
