#pragma once
// The "Kernel Density Estimation" dialog as a form model: its four tabs of options, the
// variance, bandwidth and independence tables, the settings file buttons and the OK button
// that starts the batch run. A host renders it; a person or a script drives it through the
// controls' events.

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/application.h"
#include "host/form.h"
#include "host/layer.h"
#include "host/map.h"
#include "ui/kde/kde_batch.h"
#include "ui/kde/kde_settings.h"

namespace orvex::ui {

/// The dialog.
///
/// Tabs (pages): 0 "Input Data", 1 "Kernel Settings", 2 "Bandwidth", 3 "Output Options".
/// Controls keep the names, captions and initial values of the options they hold (see
/// KdeSettings): cmbPntL, chkUseSel, cmbUIDFLD, datagridIO, btnCalcIO, btnIOSave, lblIO1, lblIO2
/// on tab 0; chkRescale, optFixed, optAdaptive, cmbKernelForm, datagridVar on tab 1;
/// optBE_HREF, optBE_LSCV, optBE_BCV, optBE_MANUAL with txtBW, optPropHref with txtPropHref,
/// datagridHref on tab 2; optFull with txtBuffer, optSmall, optExtRef with cmbExtRef, chkBnds
/// with txtBnds, chkLines, chkPolys, chkDonuts, txtOutFolder (read-only) with btnFolder, txtR,
/// txtCellSize, txtScaling, chkVerbose on tab 3; below the tabs chkSilent, btnSaveSettings,
/// btnLoadSettings, btnOK, btnExit, the status line txtStatus and the progress bar prgRun.
///
/// Every handler traps its own failures and shows them in a box titled "Error" with a critical
/// icon: "<handler>: <error number>" and the description on the next line ("Error: <step>" for
/// the tab change); the dialog then stays as it was.
///
/// The prepared animals and the tables live as long as the dialog: choosing another layer or
/// ID field, or checking or unchecking "Use selected features only", discards them all (the
/// independence table included), so that neither the tables nor the run nor its log use
/// fixes of another choice. Changing the rescale box discards the bandwidth table.
class frmKDE final : public host::Form {
 public:
  static constexpr std::string_view kFormName = "frmKDE";
  static constexpr std::string_view kCaption = "Kernel Density Estimation";

  enum Tab : int { kTabInput = 0, kTabKernel = 1, kTabBandwidth = 2, kTabOutput = 3 };

  /// `application` outlives the form. `map` is the map whose point and raster layers the
  /// dialog lists, normally the library's shared focus map; null: the application's focus map.
  frmKDE(host::Application& application, std::shared_ptr<host::Map> map);
  ~frmKDE() override;

  /// The options as the controls hold them, with the dialog's output folder.
  KdeSettings Settings() const;

  /// Puts the stored options (everything but the point layer, the ID field and the selection
  /// box) into the controls the way clicks and typing would, so that the enabling rules
  /// follow: the settings file's load uses it. A reference layer that the list does not hold,
  /// or an output folder that is empty, leaves that control as it is.
  void ApplyOptions(const KdeSettings& settings);

  /// The dialog's output folder (set by the folder browser and by "Load Settings").
  const std::string& OutputFolder() const { return outputFolder_; }

  /// The animals prepared for the chosen layer and field; null until a table or the
  /// independence calculation prepared them.
  const KdeAnimalData* PreparedAnimals() const { return prepared_ ? &*animals_ : nullptr; }
  bool VarianceTableBuilt() const { return varianceBuilt_; }
  bool BandwidthTableBuilt() const { return bandwidthBuilt_; }
  bool IndependenceTableBuilt() const { return independenceBuilt_; }
  /// Largest href of the bandwidth table in map units; 0 until that table is built.
  double LargestHref() const { return largestHref_; }

  /// The outcome of the last OK; nothing before the first.
  std::optional<KdeBatchResult> LastRunResult() const { return lastRun_; }

 private:
  class RunView;

  void Build();
  void WireEvents();
  void ResetToInitialValues();
  void OnLoad();

  // Handlers.
  void PointLayerClicked();
  void IdFieldClicked();
  void UseSelectedClicked();
  void TabChanged(int previousTab);
  void CalculateIndependence();
  void SaveIndependence();
  /// The save dialog of the settings and CSV buttons (existing files confirmed); when cancelled,
  /// shows `notSavedMessage` as a warning and returns nothing.
  std::optional<std::filesystem::path> AskSaveFile(const std::string& title, const std::string& filter,
                                                   const std::string& notSavedMessage);
  void ChooseFolder();
  void PrefixChanged();
  void SaveSettings();
  void LoadSettings();
  void PressOk();

  // Enabling rules.
  void EnableBox(std::string_view name, bool enabled);
  void EnableIsopleths(bool enabled);

  // Prepared data and tables.
  void DiscardPreparedData();
  bool LayerAndFieldChosen() const;
  bool EnsurePrepared();
  void BuildVarianceTable();
  void BuildBandwidthTable();
  void RecommendBuffer();
  std::string IdColumnName() const;

  /// Runs `body`, showing a host failure as "<procedure>: <number>" + CR + description.
  void Trap(std::string_view procedure, const std::function<void()>& body);
  void ShowError(const std::string& text);
  /// Runs `write`, which writes `file`, and records the file as an output of `kind`, or as a
  /// failed item when `write` throws host::Error (rethrown for the procedure's trap).
  void WriteRecorded(const std::filesystem::path& file, host::OutputKind kind,
                     const std::function<void()>& write);

  host::Application* app_;
  std::shared_ptr<host::Map> map_;
  std::shared_ptr<host::FeatureLayer> layer_;
  std::string outputFolder_;

  std::optional<KdeAnimalData> animals_;
  bool prepared_ = false;
  bool varianceBuilt_ = false;
  bool bandwidthBuilt_ = false;
  bool independenceBuilt_ = false;
  double largestHref_ = 0.0;
  std::vector<std::vector<std::string>> varianceRows_;
  std::vector<std::vector<std::string>> independenceRows_;
  std::optional<KdeBatchResult> lastRun_;
};

/// Rounds half up to `decimals` places as the dialog's tables do: Int(x * 10^d + 0.5) / 10^d,
/// Int rounding towards minus infinity.
double RoundHalfUp(double value, int decimals);

/// The text of a table value: "N/A" for an undefined (non-finite) value, else the value
/// rounded half up to `decimals` places in the default number text.
std::string TableValueText(double value, int decimals);

/// Rows of the bandwidth table: ID, count, href rounded to 3 decimals ("N/A" for fewer than 2
/// fixes). Without rescaling href = ((sd x + sd y) / 2) * n^(-1/6); with rescaling the fixes
/// are divided by their sd x and sd y and href = ((var x' + var y') / 2) * n^(-1/6).
std::vector<std::vector<std::string>> BandwidthTableRows(const KdeAnimalData& data, bool rescale);

/// Rows of the independence table: ID, count, Schoener ratio and Swihart and Slade index
/// rounded to 5 decimals ("N/A" for fewer than 2 fixes or an undefined index).
std::vector<std::vector<std::string>> IndependenceTableRows(const KdeAnimalData& data);

/// The CSV text of the independence table: idField + ",Count,Schoener,Swihart_Slade", then one
/// line per row with its values joined by "," and no spaces; lines end with CR LF. A value
/// holding a comma, a double quote or a line break (a text ID) is quoted, its quotes doubled,
/// so that it stays one column.
std::string IndependenceCsvText(const std::string& idField,
                                const std::vector<std::vector<std::string>>& rows);

// Messages of the dialog.
inline constexpr const char* kMsgNoPointLayers =
    "Warning: no point layers are present in map (nothing to work with).";
inline constexpr const char* kMsgPrefixTooLong =
    "Warning: raster name prefix cannot be longer than 6 characters. This is necessary because of the "
    "automatic naming convention for output rasters.";
inline constexpr const char* kMsgCannotCalculateIndependence =
    "Warning: a point feature layer and a unique ID field must be identified prior to calculating the "
    "independence of observation indices.";
inline constexpr const char* kMsgIndependenceNotCalculated =
    "The independence of observation data has not yet been calculated.";
inline constexpr const char* kMsgCsvNotSaved = "Warning: no file specified therefore data not saved.";
inline constexpr const char* kMsgSettingsNotSaved =
    "Warning: no file specified therefore settings not saved.";
inline constexpr const char* kLabelSchoener =
    "Schoener Index: value < 1.6 or > 2.4 indicates significant autocorrelation.";
inline constexpr const char* kLabelSwihartSlade =
    "Swihart and Slade Index: value > 0.6 indicates significant autocorrelation.";

}  // namespace orvex::ui
