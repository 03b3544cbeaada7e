#pragma once

// `orvex bbmm`: the Brownian bridge dialog on a point file, every option set through the
// dialog's controls, then OK: one UD raster per animal, optional isopleths, the run log.

#include <memory>
#include <string_view>

#include "apps/orvex/subcommand.h"

namespace orvex::cli {

inline constexpr std::string_view kBbmmProgId = "ORVEX.clsBBMMTool";

std::unique_ptr<Subcommand> makeBbmmSubcommand();

}  // namespace orvex::cli
