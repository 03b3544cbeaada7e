#pragma once

// The "Kernel Analysis Parameters" property sheet: four pages (Information, Standardization,
// Smoothing, Contour) over the sheet engine, as a form model that a host renders and a
// script or a person drives through its controls' events.

#include <string>
#include <string_view>

#include "core/engine/kernel_engine.h"
#include "core/kernel/kernel_options.h"
#include "host/form.h"
#include "host/ui_services.h"

namespace orvex::core {

/// Control names of the sheet, by page.
namespace kernel_controls {
// Information
inline constexpr const char* kAnimalId = "txtAnimalID";
inline constexpr const char* kPointCount = "txtNumPoints";
inline constexpr const char* kSwihartSlade = "txtSwihart";
inline constexpr const char* kSwihartSladeNote = "lblSwihartNote";
inline constexpr const char* kSchoener = "txtSchoener";
inline constexpr const char* kSchoenerNote = "lblSchoenerNote";
// Standardization
inline constexpr const char* kVariance = "txtVariance";
inline constexpr const char* kStdNone = "optNone";
inline constexpr const char* kStdX = "optScaleX";
inline constexpr const char* kStdY = "optScaleY";
inline constexpr const char* kStdUnit = "optUnit";
// Smoothing
inline constexpr const char* kProportion = "chkProportion";
inline constexpr const char* kHref = "txtHref";
inline constexpr const char* kH = "txtH";
inline constexpr const char* kChooseHref = "optHref";
inline constexpr const char* kChooseUser = "optUser";
inline constexpr const char* kChooseLscv = "optLSCV";
inline constexpr const char* kChooseBcv = "optBCV";
inline constexpr const char* kAdaptive = "optAdaptive";
inline constexpr const char* kFixed = "optFixed";
// Contour
inline constexpr const char* kVolume = "optVolume";
inline constexpr const char* kDensity = "optDensity";
inline constexpr const char* kLevels = "txtLevels";
inline constexpr const char* kResolution = "txtResolution";
inline constexpr const char* kSmooth = "chkSmooth";
inline constexpr const char* kDensify = "chkDensify";
inline constexpr const char* kDensifyLength = "txtDensify";
}  // namespace kernel_controls

/// The sheet. Building it reads the sheet engine, which must be loaded and held at unit
/// variance (`stdize(3)`): the Information page asks for the Swihart and Slade index, then
/// Schoener's ratio; the Standardization page shows the unstandardised variances; the
/// Smoothing page sets the search bracket to (0.1, 1.0) href with tolerance 0.05 and h to
/// 1.0 href, and shows href. The engine and `ui` outlive the sheet.
///
/// Page behaviour:
/// - Standardization radios "None" / "Unit Variance": `stdize` on the engine at once, the
///   search bracket set again to (0.1, 1.0) href of the new units, href on the Smoothing page
///   refreshed. The variance box does not change.
/// - Smoothing radios: "User" enables the h box; "h_ref" disables it and writes "1.0";
///   "Least squares cross-validation" / "Biased cross-validation" disable it, run the search
///   on the engine and write h in "%17.15f" form, divided by href when the proportion box is
///   checked. Clicking the proportion box rewrites the h box from the engine's h likewise.
/// - Leaving the Smoothing page, and OK: the h text is read as a number list. A value of 0 or
///   below is refused with nonPositiveHMessage and the page stays open. Otherwise the first value
///   becomes the engine's h (times href when proportional) and the list the runs to make; a
///   text that gives no list (empty, an empty piece between commas) gives no run, silently.
/// - "Densify Arcs" enables its length box. "Raster Resolution" keeps only the digits typed
///   and, like the length box while enabled, is checked by the framework when its page is
///   left (40 to 100000; a number).
class KernelSheet final : public host::Form {
 public:
  static constexpr std::string_view kFormName = "frmKernelParameters";
  static constexpr std::string_view kCaption = "Kernel Analysis Parameters";
  enum PageIndex : int {
    kInformationPage = 0,
    kStandardizationPage = 1,
    kSmoothingPage = 2,
    kContourPage = 3
  };

  /// Shown (host's default title) when the h list holds a value that is not above 0.
  static std::string nonPositiveHMessage(double value);

  KernelSheet(host::UiServices& ui, KernelEngine& engine);

  /// The sheet's choices; complete once the sheet closed with OK.
  const KernelOptions& options() const { return options_; }

  /// The h box text of the defaults: "1.0,0.9,...,0.1".
  static std::string defaultHText();

 private:
  void buildInformationPage();
  void buildStandardizationPage();
  void buildSmoothingPage();
  void buildContourPage();

  void applyStandardisation(std::int32_t mode);
  void showHref();
  void chooseUserH();
  void chooseHref();
  void chooseSearch(bool bcv);
  void rewriteHFromEngine();
  void keepDigitsOfResolution();
  /// Reads the h box into the options and the engine; false (after a message) when refused.
  bool readHList();
  bool acceptSheet();

  host::UiServices* ui_;
  KernelEngine* engine_;
  KernelOptions options_;
};

}  // namespace orvex::core
