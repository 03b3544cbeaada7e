#include "core/kernel/kernel_sheet.h"

#include <optional>

#include "host/text.h"

namespace orvex::core {
namespace {

namespace names = kernel_controls;
using host::ControlKind;
using host::Notify;

// Radio groups: the sheet's radios sit on different pages and in different frames, so each
// group is named rather than taken from a container.
constexpr const char* kStdGroup = "grpStandardization";
constexpr const char* kContourGroup = "grpContour";

constexpr const char* kStandardizationText =
    "The smoothing parameter (h) is based on the variances of the x and y co-ordinates of the points. If "
    "these variances are highly unequal the data should be rescaled before any kernel method is applied.";
constexpr const char* kContourText =
    "Indicate the type of contour and the specific probability levels you would like to calculate. "
    "Increasing the raster resolution will increase the smoothness of the contours but may also "
    "substantially increase calculation time.";

/// The number boxes' framework check, applied only while a person can type into the box: a
/// disabled box is never a reason to keep the page open.
host::Validator numberWhileEnabled() {
  return [check = host::numberRequired()](const host::Control& control) -> std::optional<std::string> {
    if (!control.enabled()) return std::nullopt;
    return check(control);
  };
}

/// Numbers shown with 8 significant digits (variances, href).
std::string significant8(double value) { return host::cformat("%.8g", value); }

}  // namespace

KernelSheet::KernelSheet(host::UiServices& ui, KernelEngine& engine)
    : host::Form(std::string(kFormName), std::string(kCaption), host::FormKind::PropertySheet),
      ui_(&ui),
      engine_(&engine) {
  buildInformationPage();
  buildStandardizationPage();
  buildSmoothingPage();
  buildContourPage();

  onPageLeave = [this](int page) { return page != kSmoothingPage || readHList(); };
  onAccept = [this] { return acceptSheet(); };
}

void KernelSheet::buildInformationPage() {
  const int page = addPage("Information");
  const auto box = [&](const char* name, std::string text) {
    add(ControlKind::TextBox, name).setPage(page).setReadOnly(true).setText(std::move(text), Notify::No);
  };
  const auto label = [&](const char* name, const char* caption) {
    add(ControlKind::Label, name, caption).setPage(page);
  };

  box(names::kAnimalId, "Animal ID: " + engine_->animal_id());
  box(names::kPointCount, "Number of points for analysis: " + std::to_string(engine_->fix_count()));
  label("lblBackground", "Background Information");
  label("lblIndependence", "Independence of Observations");
  // The Swihart and Slade index first, then Schoener's ratio: both write to the engine log.
  const double swihartSlade = engine_->swihart_slade_index();
  const double schoener = engine_->schoener_ratio();
  box(names::kSwihartSlade, "Swihart & Slade Index: " + host::cformat("%f", swihartSlade));
  label(names::kSwihartSladeNote, "(value > 0.6 indicates significant autocorrelation)");
  box(names::kSchoener, "Schoener Index: " + host::cformat("%f", schoener));
  label(names::kSchoenerNote, "(value < 1.6 or > 2.4 indicates significant autocorrelation)");
  box("txtInfoSpare", "");
  box("txtInfoHidden", "");
  control("txtInfoHidden").setVisible(false);
}

void KernelSheet::buildStandardizationPage() {
  const int page = addPage("Standardization");
  add(ControlKind::Label, "lblStandardization", kStandardizationText).setPage(page);
  add(ControlKind::TextBox, names::kVariance)
      .setPage(page)
      .setReadOnly(true)
      .setText("Variance (x, y): " + significant8(engine_->variance_x()) + ", " +
                   significant8(engine_->variance_y()),
               Notify::No);

  const auto option = [&](const char* name, const char* caption, std::int32_t mode) -> host::Control& {
    host::Control& radio = add(ControlKind::OptionButton, name, caption).setPage(page).setGroup(kStdGroup);
    radio.onClick = [this, mode] { applyStandardisation(mode); };
    return radio;
  };
  option(names::kStdNone, "None", KernelEngine::NONE);
  // The two one-axis modes are part of the page but offered to nobody.
  option(names::kStdX, "Scale to X Variance", KernelEngine::STD_X).setVisible(false).setEnabled(false);
  option(names::kStdY, "Scale to Y Variance", KernelEngine::STD_Y).setVisible(false).setEnabled(false);
  option(names::kStdUnit, "Unit Variance", KernelEngine::STD_Unit).setChecked(true, Notify::No);
}

void KernelSheet::buildContourPage() {
  const int page = addPage("Contour");
  add(ControlKind::Label, "lblContour", kContourText).setPage(page);
  add(ControlKind::OptionButton, names::kVolume, "Volume")
      .setPage(page)
      .setGroup(kContourGroup)
      .setChecked(true, Notify::No);
  add(ControlKind::OptionButton, names::kDensity, "Density").setPage(page).setGroup(kContourGroup);
  add(ControlKind::TextBox, names::kLevels, "Levels")
      .setPage(page)
      .setText(std::string(kDefaultContourLevels), Notify::No);
  add(ControlKind::TextBox, names::kResolution, "Raster Resolution")
      .setPage(page)
      .setText(std::to_string(kDefaultRasterResolution), Notify::No)
      .setValidator(host::integerRange(kMinRasterResolution, kMaxRasterResolution));
  add(ControlKind::CheckBox, names::kSmooth, "Smooth Contours").setPage(page);
  add(ControlKind::CheckBox, names::kDensify, "Densify Arcs").setPage(page);
  add(ControlKind::TextBox, names::kDensifyLength)
      .setPage(page)
      .setText("1.0", Notify::No)
      .setEnabled(false)
      .setValidator(numberWhileEnabled());

  control(names::kResolution).onChange = [this] { keepDigitsOfResolution(); };
  control(names::kDensify).onClick = [this] {
    control(names::kDensifyLength).setEnabled(control(names::kDensify).checked());
  };
}

void KernelSheet::applyStandardisation(std::int32_t mode) {
  engine_->stdize(mode);
  // The bracket is kept in multiples of href of the units now in force, so that a search
  // after a change of units looks at bandwidths of those units.
  engine_->set_search_range(kSearchLower, kSearchUpper, kSearchTolerance);
  showHref();
}

void KernelSheet::showHref() { control(names::kHref).setText(significant8(engine_->gethref()), Notify::No); }

void KernelSheet::keepDigitsOfResolution() {
  // The box takes digits only, as a number-only edit box does with every key typed.
  host::Control& box = control(names::kResolution);
  std::string digits;
  for (const char c : box.text())
    if (c >= '0' && c <= '9') digits += c;
  if (digits != box.text()) box.setText(std::move(digits), Notify::No);
}

bool KernelSheet::acceptSheet() {
  // OK from another page: the h box was never left, so it is read now.
  if (currentPage() != kSmoothingPage && !readHList()) return false;

  // The framework checked these boxes when their page was left; a program may have set them
  // since, so they are checked once more here.
  for (const char* name : {names::kResolution, names::kDensifyLength}) {
    const host::Control& box = control(name);
    if (const auto refused = box.validator()(box)) {
      ui_->messageBox(*refused);
      return false;
    }
  }

  using names::kStdNone;
  options_.standardisation = control(kStdNone).checked()       ? KernelEngine::NONE
                             : control(names::kStdX).checked() ? KernelEngine::STD_X
                             : control(names::kStdY).checked() ? KernelEngine::STD_Y
                                                               : KernelEngine::STD_Unit;
  options_.proportional = control(names::kProportion).checked();
  options_.hChoice = control(names::kChooseHref).checked()   ? HChoice::Href
                     : control(names::kChooseLscv).checked() ? HChoice::Lscv
                     : control(names::kChooseBcv).checked()  ? HChoice::Bcv
                                                             : HChoice::User;
  options_.kernel = control(names::kFixed).checked() ? KernelType::Fixed : KernelType::Adaptive;
  options_.contour = control(names::kDensity).checked() ? ContourKind::Density : ContourKind::Volume;
  options_.levels = control(names::kLevels).text();
  options_.resolution =
      static_cast<std::int32_t>(host::parseNumberPrefix(control(names::kResolution).text()));
  options_.smooth = control(names::kSmooth).checked();
  options_.densify = control(names::kDensify).checked();
  options_.densifyLength = host::parseNumberPrefix(control(names::kDensifyLength).text());
  return true;
}

}  // namespace orvex::core
