#pragma once

// `orvex track`: the track display (Display Travel) run to the end of the selected fixes,
// its travel path saved on request, and an animated SVG of what it drew.

#include <string_view>

#include "apps/orvex/subcommand.h"

namespace orvex::cli {

inline constexpr std::string_view kTrackProgId = "ORVEX.MOLE";
/// Length of one step of the SVG animation when the display ran at pace 0.
inline constexpr double kTrackSvgStepAtPaceZero = 0.25;

/// --keep-path, --pace SECONDS (default 0), --save-path OUT.shp, --svg OUT.svg,
/// --svg-step SECONDS. The form's script: pace, keep-path, Display Travel, Save Travel when
/// asked, close; for --svg the form is followed while it runs (after each step the graphics
/// on screen and the fix labels are recorded). The report writes the SVG, prints one line per
/// file written and fails the run when the display did not open or an asked-for file was not
/// written.
std::unique_ptr<Subcommand> makeTrackSubcommand();

}  // namespace orvex::cli
