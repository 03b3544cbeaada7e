#pragma once

// Where a host finds its component libraries and the registry that ships with them, relative
// to its own executable, so that an installed tree works wherever it is unpacked (a package
// root, DESTDIR staging, a user's own prefix) and a build tree works as it is.

#include <filesystem>

namespace orvex::host {

/// The component folder of an installed host, relative to the executable's folder
/// ("../lib/orvex" for the usual bin/ and lib/ layout); set by the build.
const char* installedComponentFolder();

/// The executable's folder joined with `installedComponentFolder()` when that folder exists
/// (an installed host), else the executable's folder itself (a build tree); empty when the
/// executable's folder is unknown.
std::filesystem::path componentFolder();

/// The registry installed with the component libraries, "registry" in `componentFolder()`:
/// the system-wide registry, used when the user has none of their own. Its library paths may
/// be relative to its folder. Empty when `componentFolder()` is.
std::filesystem::path systemRegistryPath();

}  // namespace orvex::host
