#pragma once
// The options of one batch kernel density run: every control of the KDE dialog that the run
// reads, with its initial value, and the checks made before a run starts.
//
// Text boxes are held as the text the user typed (the run converts them when it needs the
// number, and the analysis log and the settings file repeat the text as typed). The dialog
// fills this struct from its controls; the command line fills it from its flags.

#include <optional>
#include <string>
#include <vector>

namespace orvex::ui {

/// Bandwidth options of the "Bandwidth" tab.
enum class KdeBandwidthChoice {
  Href,              ///< optBE_HREF: href of each animal
  Lscv,              ///< optBE_LSCV (initial)
  Bcv,               ///< optBE_BCV
  Manual,            ///< optBE_MANUAL with txtBW: bandwidths in map units for every animal
  ProportionOfHref,  ///< optPropHref with txtPropHref: multipliers of each animal's href
};

/// Extent options of the "Output Options" tab.
enum class KdeExtentChoice {
  Full,       ///< optFull with txtBuffer: one grid, the point layer's extent plus the buffer
  Minimum,    ///< optSmall: one grid per animal around its own points
  Reference,  ///< optExtRef with cmbExtRef: the grid of a raster layer
};

/// The only kernel form (cmbKernelForm's single item).
inline constexpr const char* kKernelFormGaussian = "Gaussian (bivariate normal)";

/// Every option of a batch run, initialised to the dialog's initial values.
struct KdeSettings {
  // "Input Data" (not stored in the settings file).
  std::string pointLayer{};      ///< cmbPntL: name of the point layer analysed
  bool useSelectedOnly = false;  ///< chkUseSel
  std::string idField{};         ///< cmbUIDFLD: the unique animal-ID field

  // "Kernel Settings".
  bool rescale = false;                          ///< chkRescale: unit variance before estimating
  bool fixedKernel = true;                       ///< optFixed (true) / optAdaptive (false)
  std::string kernelForm = kKernelFormGaussian;  ///< cmbKernelForm

  // "Bandwidth".
  KdeBandwidthChoice bandwidth = KdeBandwidthChoice::Lscv;
  std::string manualBandwidths{};                             ///< txtBW, comma-separated
  std::string proportionsOfHref = "0.2, 0.4, 0.6, 0.8, 1.0";  ///< txtPropHref, comma-separated

  // "Output Options", "Extents ".
  KdeExtentChoice extent = KdeExtentChoice::Full;
  std::string buffer = "2000";   ///< txtBuffer (map units)
  std::string referenceLayer{};  ///< cmbExtRef: name of the raster layer

  // "Output Options", "Isopleths ".
  bool isopleths = false;                          ///< chkBnds
  std::string isoplethPercentages = "95, 90, 50";  ///< txtBnds, comma-separated
  bool lines = true;                               ///< chkLines
  bool polygons = true;                            ///< chkPolys
  bool donuts = true;                              ///< chkDonuts

  // "Output Options", "Output ".
  std::string outputFolder{};       ///< txtOutFolder and the dialog's output folder
  std::string prefix = "kde";       ///< txtR, at most kMaxPrefixLength characters
  std::string cellSize = "100";     ///< txtCellSize (map units)
  std::string scaling = "1000000";  ///< txtScaling (multiplier of the densities)
  bool verbose = false;             ///< chkVerbose

  bool silent = false;  ///< chkSilent: no confirmation questions during the run

  bool operator==(const KdeSettings&) const = default;
};

/// Longest raster name prefix: keeps the output names within the raster name limit.
inline constexpr std::size_t kMaxPrefixLength = 6;

/// The recommended buffer around the fixes reaches this many bandwidths (the largest href)
/// beyond the outermost fix.
inline constexpr double kBufferBandwidths = 3.5;

/// What a successful check hands to the run.
struct KdeRunLists {
  /// The txtBW values (Manual) or the txtPropHref values (ProportionOfHref), in list order;
  /// empty for the other bandwidth choices.
  std::vector<double> bandwidthValues{};
  /// Largest of `bandwidthValues` (0 when empty), kept for the recommended buffer.
  double largestListValue = 0.0;
  /// The isopleth percentages sorted ascending; empty when isopleths are off.
  std::vector<double> isoplethPercentages{};
};

/// Result of `CheckKdeSettings`: either the lists, or the message that stops the run (shown
/// in a box titled "Error" with an exclamation icon).
struct KdeSettingsCheck {
  std::optional<std::string> error{};
  KdeRunLists lists{};
  bool ok() const { return !error.has_value(); }
};

/// The checks made when OK is pressed, in this order, the first failure winning:
/// proportions empty, manual bandwidths empty, buffer empty, reference layer empty,
/// isopleth percentages empty (each only when its option is chosen); then the lists are
/// parsed. A bandwidth or proportion piece that is not a number, or a value that is not above
/// 0, is refused too: it would otherwise run silently with a wrong bandwidth. An isopleth
/// piece that is not a number stops the run with the invalid-isopleth message.
/// Point layer, ID field, cell size, scaling and output folder are not checked here.
KdeSettingsCheck CheckKdeSettings(const KdeSettings& settings);

// Messages of the checks (title "Error", exclamation icon).
inline constexpr const char* kMsgNoProportions =
    "Error: the proportion(s) of reference bandwidth have not been defined on the Bandwidth tab.";
inline constexpr const char* kMsgNoManualBandwidth =
    "Error: the user defined bandwidth has not been defined on the Bandwidth tab.";
inline constexpr const char* kMsgNoBuffer =
    "Error: the extent buffer has not been defined on the Output Options tab.";
inline constexpr const char* kMsgNoReferenceLayer =
    "Error: the extent reference layer has not been defined on the Output Options tab.";
inline constexpr const char* kMsgNoIsopleths =
    "Error: the isopleth percentages have not been defined on the Output Options tab.";
inline constexpr const char* kMsgInvalidIsopleth =
    "Error: an invalid isopleth value was detected. Please check these values and run the tool again.";

}  // namespace orvex::ui
