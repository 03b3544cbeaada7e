#pragma once
// The batch run of the KDE tool: the animals of a point layer prepared from the unique-ID
// field, one kernel raster per animal (and per bandwidth value of a list), optional
// isopleths, the analysis log "TALVO_KDE_ANALYSIS.txt" and the settings copy
// "TALVO_KERNEL_SETTINGS.txt" in the output folder.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/value.h"
#include "ui/kde/kde_math.h"
#include "ui/kde/kde_settings.h"

namespace orvex::host {
class Application;
class FeatureLayer;
}  // namespace orvex::host

namespace orvex::ui {

/// One animal: one unique value of the ID field, with its fixes in reading order.
struct KdeAnimal {
  host::Value idValue{};  ///< the field value as read
  /// The numeric ID (column 0): the value converted to a whole number for a numeric field,
  /// the animal's position for a text field.
  std::int32_t numericId = 0;
  std::string textId{};  ///< the text ID (column 2); empty for numeric fields
  std::vector<CoordPair> points{};
  /// Sample standard deviations of x and y (divisor n - 1); NaN for fewer than 2 fixes.
  double sdX = 0.0;
  double sdY = 0.0;

  int count() const { return static_cast<int>(points.size()); }
  /// The ID the log and the messages show: the text ID for text fields, else the numeric ID.
  std::string displayId(bool textIds) const;
};

/// The prepared input of a run. An animal's naming ID is its position in `animals`.
struct KdeAnimalData {
  std::vector<KdeAnimal> animals{};
  bool textIds = false;  ///< the ID field holds text
};

/// Shown (title "Error", critical icon) when a feature of the layer has no point.
inline constexpr const char* kMsgNullGeometry =
    "Error: null geometry detected in point layer. Please correct or remove these null geometries before "
    "using this tool.";

/// Splits the layer's points into animals by the values of `idField`, in the order of the
/// unique-value list (ascending). With `selectedOnly` only the layer's selected features are
/// used: they are first copied into a scratch point shapefile "tmp_orvexkde" (in a private
/// folder inside the temporary folder, removed afterwards) and read back from there.
/// Features whose ID is empty belong to no animal.
/// Returns nothing after the null-geometry message box. Host failures (missing field, a
/// where clause the data source refuses, unreadable data) propagate as host::Error.
std::optional<KdeAnimalData> PrepareKdeInput(host::Application& application, const host::FeatureLayer& layer,
                                             const std::string& idField, bool selectedOnly);

/// The largest reference bandwidth over the animals with 2 or more fixes, in map units:
/// ((sd x + sd y) / 2) * n^(-1/6) (the value of the dialog's bandwidth table without
/// rescaling; with rescaling the same quantity is the scaled href converted back to map
/// units). 0 when no animal has 2 fixes.
double LargestHref(const KdeAnimalData& data);

/// Rows of the variance table: ID, count, sd x, sd y and the ratio sd x : sd y, each rounded
/// half up to 2 decimals; "N/A" for the three values of an animal with fewer than 2 fixes.
std::vector<std::vector<std::string>> VarianceTableRows(const KdeAnimalData& data);

/// What the dialog shows during a run. Every hook does nothing by default.
class KdeRunView {
 public:
  virtual ~KdeRunView();
  /// The status line (txtStatus); an empty text clears it.
  virtual void setStatus(std::string_view text);
  virtual void setProgressRange(int minimum, int maximum);
  virtual void setProgressValue(int value);
  /// The OK button: disabled while the run is going, enabled again when it stops early.
  virtual void setOkEnabled(bool enabled);
  /// The run changed the text of the buffer box (the recommended buffer was accepted) or of
  /// the cell-size box (the reference layer's cell size); the settings hold the new text too.
  virtual void settingsChanged(const KdeSettings& settings);
};

/// What the dialog holds besides its controls.
struct KdeBatchInput {
  /// The input prepared by the dialog's tab handlers for the current layer and field; the run
  /// prepares it itself when absent.
  const KdeAnimalData* prepared = nullptr;
  /// The independence table when it has been calculated: rows of ID, count, Schoener,
  /// Swihart_Slade, written to the log as they are.
  const std::vector<std::vector<std::string>>* independenceRows = nullptr;
  /// The variance table when built; the run builds it (VarianceTableRows) when absent.
  const std::vector<std::vector<std::string>>* varianceRows = nullptr;
};

enum class KdeBatchResult {
  Completed,    ///< "Processing complete." was shown: the dialog closes
  CheckFailed,  ///< a settings check failed before anything was touched
  InputFailed,  ///< the input could not be prepared (null geometry): nothing written
  /// Naming conflict, a No or Cancel answer, a grid too large: outputs undone. Or stopped by
  /// the host's Cancel during the kernels: the finished rasters and isopleths stay, the log
  /// closes with a line saying the run was stopped, and the rasters are listed in the folder's
  /// stopped-run list (kde_leftovers.h), so that a later run into the folder replaces them.
  Cancelled,
  Failed,  ///< a run-time error ("KDE: " message); what was written stays
};

/// The whole batch behind the OK button, on the application's focus map. Rasters of the
/// folder's stopped-run list are no naming conflict: once the run's questions are answered,
/// those under the names it writes are deleted with their isopleths and the list keeps the
/// others. `settings` receives
/// the buffer or cell size the run changed. Every failure is shown to the user through the
/// application's UI services; nothing escapes (unless host::errorsPassThrough()).
KdeBatchResult RunKdeBatch(host::Application& application, KdeSettings& settings,
                           const KdeBatchInput& input = {}, KdeRunView* view = nullptr);

// File names in the output folder.
inline constexpr const char* kAnalysisLogName = "TALVO_KDE_ANALYSIS.txt";
inline constexpr const char* kSettingsCopyName = "TALVO_KERNEL_SETTINGS.txt";
/// The scratch shapefile of the selected features.
inline constexpr const char* kScratchShapefileName = "tmp_orvexkde";

}  // namespace orvex::ui
