#pragma once

// The one check every output of a run passes before it is written: an output never replaces
// an input of the run (one of its files, directly or through a link), never lands in a
// folder's place, and replaces an existing file only when the user agreed.

#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace orvex::platform {

/// Why `file` may not be written as an output, in a few words ("is a folder", ...); nullopt
/// when it may.
/// - a folder (or a link to one): "is a folder";
/// - the same file as one of `inputs` or a companion of one (same folder and name before the
///   extension: a shapefile's .dbf, .shx, .prj ...), also through a symbolic link or another
///   name of the file: "is a file of the input <name>", whatever `replace` says;
/// - an existing file when `replace` is false: "exists; not replaced (--yes replaces it)".
std::optional<std::string> outputRefusal(const std::filesystem::path& file,
                                         std::span<const std::filesystem::path> inputs, bool replace);

/// A new empty file beside `file` ("<name>.XXXXXX", mkstemp: a name nobody can foresee or
/// have made first), for writing a whole output before renaming it over `file`. Throws
/// host::Error (kAccessDenied) naming `file` when it cannot be made.
std::filesystem::path fileBeside(const std::filesystem::path& file);

/// Writes `bytes` to `file` whole or not at all: into `fileBeside(file)`, checked to the last
/// byte and the close, then renamed over `file`. Throws host::Error (kDataError) naming `what`
/// and `file` on any short write, failed close or rename; the file beside is then removed and
/// `file` is as it was.
void writeFileWhole(const std::filesystem::path& file, std::string_view bytes, const std::string& what);

}  // namespace orvex::platform
