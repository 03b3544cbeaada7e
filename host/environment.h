#pragma once

#include <filesystem>

namespace orvex::host {

/// The folder for temporary files: $TEMP, else $TMPDIR, else "/tmp" (a variable that is set but
/// empty counts as unset). One trailing separator is removed.
std::filesystem::path temporaryFolder();

/// The folder of the running executable (from /proc/self/exe).
std::filesystem::path executableFolder();

/// The file of the loaded shared library (or executable) that contains `address`, made
/// absolute; empty when it cannot be found.
std::filesystem::path moduleFileOf(const void* address);

}  // namespace orvex::host
