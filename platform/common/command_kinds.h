#pragma once

// What a host must know of a command before it runs it: whether it changes its layer in place
// (the host wraps it in an edit session) and whether it measures the fixes (the host refuses
// coordinates that are not ground units). ProgIDs are compared without regard to letter case.

#include <string_view>

namespace orvex::platform {

/// Observation fields and both duplicate removals: they add fields to, write values of and
/// delete features from the layer chosen in the table of contents.
bool editsInPlace(std::string_view progId);

/// MCP, Kernel Analysis and the KDE tool: areas, kernels and bandwidths in map units.
bool measuresFixes(std::string_view progId);

}  // namespace orvex::platform
