#pragma once

// What the subcommands that answer a command's save dialogs share: file names from a template,
// the overwrite confirmation, and the report of the files written.

#include <filesystem>
#include <initializer_list>
#include <optional>
#include <set>
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
/// "<title>: <path> exists; <refusal> (--yes replaces it)". With `taken` (the paths this run
/// already answered), a path given before is refused as a failed item, since a second result
/// would replace or append to the first ("wolf/1" and "wolf_1" are both "wolf_1"); the path
/// answered is added to it.
std::optional<std::filesystem::path> answerSave(platform::headless::HeadlessApplication& application,
                                                std::filesystem::path path,
                                                const host::FileDialogOptions& options,
                                                std::string_view refusal,
                                                std::set<std::filesystem::path>* taken = nullptr);

/// The areas of an output as its table holds them: each rounded to the recorded decimals as
/// the table stores it, so that they read as the file's "Area" values do. Non-finite areas
/// stay as they are.
std::vector<double> storedAreas(const host::RecordValues& values);

/// Prints one line per shapefile a click's command recorded as written, in the order written:
/// "<path>: <n> features, Area <a>, <b>" with the recorded number of features and their areas
/// as the file holds them (a non-finite area, held as a blank, reads "null"); ", Area ..." is
/// left out when no area was recorded, the whole line when no number of features was.
void reportShapefiles(const host::RunRecord& record);

}  // namespace orvex::cli
