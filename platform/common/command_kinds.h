#pragma once

// What a host must know of a command before it runs it: whether it changes its layer in place
// (the host wraps it in an edit session) and whether it measures the fixes (the host refuses
// coordinates that are not ground units). ProgIDs are compared without regard to letter case.

#include <string_view>

namespace orvex::platform {

/// Observation fields and both duplicate removals: they add fields to, write values of and
/// delete features from the layer chosen in the table of contents.
bool editsInPlace(std::string_view progId);

/// True when `message` is one an in-place command shows when its run fails: an error trapped
/// by travel or a duplicate removal ("... sub Error number: N"), travel's refusal of a layer
/// without "Time2" on its first feature, or of coordinates not in a UTM system. Such a run must
/// change nothing. The other messages (travel's stop at two fixes of one time, which keeps the
/// fixes before them as the design does; "Deleted N duplicate features"; warnings) are not.
bool reportsFailedEdit(std::string_view message);

/// MCP, Kernel Analysis and the KDE tool: areas, kernels and bandwidths in map units.
bool measuresFixes(std::string_view progId);

}  // namespace orvex::platform
