#pragma once

// What the subcommands that answer a command's save dialogs share: file names from a template,
// the overwrite confirmation, and the report of the files written.

#include <filesystem>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/run_record.h"
#include "host/ui_services.h"

namespace orvex::platform::headless {
class HeadlessApplication;
class ScriptedUi;
}  // namespace orvex::platform::headless

namespace orvex::cli {

/// A layer or value name made safe as one file-name part: path separators and control
/// characters become '_', and "", "." and ".." become "_".
std::string fileNamePart(std::string_view name);

/// One placeholder of an output template ("{h}") and the text that replaces it.
using TemplateField = std::pair<std::string_view, std::string_view>;

/// `outputTemplate` with every placeholder of `fields` replaced, read left to right; text that
/// is no placeholder is kept as it stands.
std::string expandTemplate(std::string_view outputTemplate, std::initializer_list<TemplateField> fields);

/// Whether an existing `path` may be replaced: Yes with --yes, a person's answer at a terminal
/// (asked in a box titled `title`), and otherwise No, so that nothing is replaced that nobody
/// agreed to replace.
bool mayReplace(platform::headless::HeadlessApplication& application, const std::filesystem::path& path,
                const std::string& title);

/// `path` with ".shp" added unless it ends so (in any case): what a template names is a
/// shapefile.
std::filesystem::path withShapefileExtension(std::filesystem::path path);

/// The answer of a save dialog: `path` made absolute, its folder created (a save dialog only
/// offers folders that exist; a template may name new ones). When the dialog asks before
/// overwriting and the file exists without `mayReplace` agreeing, nothing, after the note
/// "<title>: <path> exists; <refusal> (--yes replaces it)".
std::optional<std::filesystem::path> answerSave(platform::headless::HeadlessApplication& application,
                                                std::filesystem::path path,
                                                const host::FileDialogOptions& options,
                                                std::string_view refusal);

/// The shapefiles a click's command recorded as written, each once, in the order written.
std::vector<std::filesystem::path> writtenFiles(const host::RunRecord& record);

/// Prints one line per shapefile: its path, the number of features and their "Area" values. A
/// file that cannot be read back is said on standard error.
void reportShapefile(platform::headless::HeadlessApplication& application, const std::filesystem::path& path);

}  // namespace orvex::cli
