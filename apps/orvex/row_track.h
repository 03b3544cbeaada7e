#pragma once

// `orvex track`: the track display (Display Travel) run to the end of the selected fixes,
// its travel path saved on request, and an animated SVG of what it drew.

#include <string_view>

#include "apps/orvex/command_table.h"

namespace orvex::cli {

inline constexpr std::string_view kTrackProgId = "ORVEX.MOLE";
/// Length of one step of the SVG animation when the display ran at pace 0.
inline constexpr double kTrackSvgStepAtPaceZero = 0.25;

/// --keep-path, --pace SECONDS (default 0), --save-path OUT.shp, --svg OUT.svg,
/// --svg-step SECONDS.
void declareTrack(CLI::App& subcommand, CommandArgs& args);
/// Writes the form's script (pace, keep-path, Display Travel, Save Travel when asked, close)
/// and, for --svg, follows the form while it runs: after each step (at each wait of the
/// display) the graphics on screen and the fix labels are recorded.
void scriptTrack(const CommandArgs& args, platform::headless::HeadlessApplication& application);
/// Writes the SVG, prints one line per file written and returns 1 when the display did not
/// open or an asked-for file was not written.
int afterTrack(const CommandArgs& args, platform::headless::HeadlessApplication& application, int exitCode);

/// Runs `orvex track` with `args` as if typed (the demo uses it).
int runTrack(const CommandArgs& args, const GlobalOptions& global);

}  // namespace orvex::cli
