#pragma once
// The KDE settings file: a plain text file of key lines ("[RESCALE]", "[KERNEL]", ...), each
// followed by its value lines. "Save Settings", "Load Settings" and every batch run (its
// copy "TALVO_KERNEL_SETTINGS.txt") share this format.
//
// Written with CR LF line ends; read with CR LF or LF. Text is UTF-8.

#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ui/kde/kde_settings.h"

namespace orvex::ui {

/// The file's text for these settings, block by block:
/// "[RESCALE]" 0/1; "[KERNEL]" True/False (fixed kernel); "[FORM]" the kernel form; the
/// bandwidth block ("[LSCV]", "[BCV]" or "[HREF]" with "TRUE", "[MANUAL]" with the bandwidth
/// text, none for proportions); "[OUTFOLDER]", "[PREFIX]", "[CELLSIZE]", "[SCALING]" each
/// only when its text is not empty; "[VERBOSE]" 0/1; "[EXTENT]" with "FULL" and the buffer,
/// "MIN", or "REF" and the layer name; "[ISO]" 0, or 1 with the percentages and the lines,
/// polygons and donuts flags; "[SILENT]" TRUE/FALSE. Every line ends with CR LF.
std::string SettingsFileText(const KdeSettings& settings);

/// Writes `text` as the whole of `file`: into a new file beside it, renamed over `file` once
/// complete, so that a failed write (a full disk) leaves the earlier file as it was and no
/// part of the new one. `what` names the file in messages ("the settings file").
/// @throws host::Error (kPathNotFound) when the file cannot be created, (kDataError) when
///         writing or replacing fails.
void WriteWholeTextFile(const std::filesystem::path& file, std::string_view text, const std::string& what);

/// Creates (or replaces) the file and writes SettingsFileText into it, as WriteWholeTextFile.
void WriteSettingsFile(const std::filesystem::path& file, const KdeSettings& settings);

/// Status line text after a load.
inline constexpr const char* kStatusSettingsLoaded = "Settings loaded";
/// Status line text after "Save Settings".
inline constexpr const char* kStatusSettingsSaved = "Settings saved";
/// Built when "[OUTFOLDER]" names a folder that does not exist.
inline constexpr const char* kMsgOutputFolderMissing =
    "Output folder does not exist, therefore setting not changed.";

/// What a load did besides changing the settings.
struct SettingsLoadResult {
  /// The status line: "Settings loaded", preceded by the load's messages (each followed by a
  /// space) when there are any, so that a setting left unchanged is not passed over in
  /// silence.
  std::string statusText{};
  /// Messages built while loading ("Output folder does not exist, ..."), without line ends.
  std::vector<std::string> messages{};
};

/// Applies settings text to `settings`, as "Load Settings" does.
///
/// Every line is compared upper-cased with the keys; the value lines are applied upper-cased
/// (so a loaded prefix "kde" becomes "KDE"), except the output folder path, which is kept as
/// written because folder names are case-sensitive here. A value that does not convert (text
/// where a number is expected, a prefix longer than 6 characters, a missing folder) leaves
/// its setting unchanged and loading goes on; unknown and blank lines are skipped; the last
/// line of the text is never taken as a key. The last value line read by a key is examined as
/// the next key, as the dialog always did.
///
/// "[EXTENT]" "REF": the next line selects the layer of `referenceLayerNames` whose name
/// matches it without regard to letter case, and the layer's own name is restored; no match
/// still selects the reference option but keeps the layer name.
/// "[FORM]" leaves the kernel form as it is (it is the only one).
SettingsLoadResult ApplySettingsText(std::string_view text, KdeSettings& settings,
                                     std::span<const std::string> referenceLayerNames);

/// Reads the file and applies it (ApplySettingsText).
/// @throws host::Error (kFileNotFound) when the file cannot be opened.
SettingsLoadResult LoadSettingsFile(const std::filesystem::path& file, KdeSettings& settings,
                                    std::span<const std::string> referenceLayerNames);

}  // namespace orvex::ui
