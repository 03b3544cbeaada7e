// The KDE dialog: its controls, initial values, enabling rules, settings file buttons, folder
// browser, prefix rule and the OK button. The tables are in frm_kde_tables.cpp.

#include "ui/kde/frm_kde.h"

#include <algorithm>
#include <filesystem>
#include <new>

#include "host/error.h"
#include "host/field.h"
#include "host/table.h"
#include "host/text.h"
#include "ui/gis/layer_lookup.h"
#include "ui/kde/settings_file.h"

namespace orvex::ui {

namespace {

using host::ControlKind;
using host::Notify;

constexpr char kCr = '\r';

// Option buttons of the two option groups, by setting.
const char* BandwidthOption(KdeBandwidthChoice choice) {
  switch (choice) {
    case KdeBandwidthChoice::Href:
      return "optBE_HREF";
    case KdeBandwidthChoice::Lscv:
      return "optBE_LSCV";
    case KdeBandwidthChoice::Bcv:
      return "optBE_BCV";
    case KdeBandwidthChoice::Manual:
      return "optBE_MANUAL";
    case KdeBandwidthChoice::ProportionOfHref:
      return "optPropHref";
  }
  return "optBE_LSCV";
}

const char* ExtentOption(KdeExtentChoice choice) {
  switch (choice) {
    case KdeExtentChoice::Full:
      return "optFull";
    case KdeExtentChoice::Minimum:
      return "optSmall";
    case KdeExtentChoice::Reference:
      return "optExtRef";
  }
  return "optFull";
}

// Bytes of the first `count` characters of UTF-8 text (continuation bytes belong to the
// character before them), so that a cut never splits a character.
std::size_t Utf8PrefixBytes(std::string_view text, std::size_t count) {
  std::size_t characters = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if ((byte & 0xC0U) == 0x80U) continue;
    if (characters == count) return i;
    ++characters;
  }
  return text.size();
}

std::size_t Utf8Length(std::string_view text) {
  std::size_t characters = 0;
  for (const char c : text) {
    if ((static_cast<unsigned char>(c) & 0xC0U) != 0x80U) ++characters;
  }
  return characters;
}

// Fields offered as the animal ID: whole numbers and text. Object ids would make every fix an
// animal of its own; real numbers would be cut to whole numbers when the rasters are named,
// so that two animals could share a name.
bool IsIdFieldType(host::FieldType type) {
  return type == host::FieldType::SmallInteger || type == host::FieldType::Integer ||
         type == host::FieldType::String;
}

}  // namespace

// What the batch run shows while it runs: the status line, the progress bar, the OK button
// and the boxes whose text the run changed.
class frmKDE::RunView final : public KdeRunView {
 public:
  explicit RunView(frmKDE& form) : form_(form) {}
  void setStatus(std::string_view text) override {
    form_.control("txtStatus").setText(std::string(text), Notify::No);
  }
  void setProgressRange(int minimum, int maximum) override {
    form_.control("prgRun").setRange(minimum, std::max(minimum, maximum));
  }
  void setProgressValue(int value) override {
    host::Control& bar = form_.control("prgRun");
    bar.setValue(std::clamp(value, bar.minimum(), bar.maximum()), Notify::No);
  }
  void setOkEnabled(bool enabled) override { form_.control("btnOK").setEnabled(enabled); }
  void settingsChanged(const KdeSettings& settings) override {
    form_.control("txtBuffer").setText(settings.buffer, Notify::No);
    form_.control("txtCellSize").setText(settings.cellSize, Notify::No);
  }

 private:
  frmKDE& form_;
};

frmKDE::frmKDE(host::Application& application, std::shared_ptr<host::Map> map)
    : host::Form(std::string(kFormName), std::string(kCaption)), app_(&application), map_(std::move(map)) {
  Build();
  WireEvents();
}

frmKDE::~frmKDE() = default;

namespace {

/// No page: the control sits below the tabs.
constexpr int kNoPage = -1;

/// One control of the dialog: a frame (no container), a control inside a frame, or a control
/// placed directly on a page or below the tabs.
struct ControlRow {
  ControlKind kind;
  const char* name;
  const char* caption;
  const char* frame;  ///< the containing frame, or null
  int page;           ///< a tab of the form, or kNoPage
  bool readOnly = false;
};

// The dialog's controls in tab order.
constexpr ControlRow kLayout[] = {
    // "Input Data".
    {ControlKind::Frame, "fraInput", "Input ", nullptr, frmKDE::kTabInput},
    {ControlKind::ComboBox, "cmbPntL", "Point layer:", "fraInput", frmKDE::kTabInput, true},
    {ControlKind::CheckBox, "chkUseSel", "Use selected features only", "fraInput", frmKDE::kTabInput},
    {ControlKind::ComboBox, "cmbUIDFLD", "Unique animal ID field for batch processing:", "fraInput",
     frmKDE::kTabInput, true},
    {ControlKind::Frame, "fraIO", "Independence of observations ", nullptr, frmKDE::kTabInput},
    {ControlKind::Grid, "datagridIO", "", "fraIO", frmKDE::kTabInput},
    {ControlKind::Button, "btnCalcIO", "Calculate", "fraIO", frmKDE::kTabInput},
    {ControlKind::Button, "btnIOSave", "Save As...", "fraIO", frmKDE::kTabInput},
    {ControlKind::Label, "lblIO1", kLabelSchoener, "fraIO", frmKDE::kTabInput},
    {ControlKind::Label, "lblIO2", kLabelSwihartSlade, "fraIO", frmKDE::kTabInput},
    // "Kernel Settings".
    {ControlKind::Frame, "fraStandardization", "Standardization ", nullptr, frmKDE::kTabKernel},
    {ControlKind::CheckBox, "chkRescale", "Rescale to unit variance", "fraStandardization",
     frmKDE::kTabKernel},
    {ControlKind::Frame, "fraKernel", "Kernel parameters ", nullptr, frmKDE::kTabKernel},
    {ControlKind::OptionButton, "optFixed", "Fixed kernel", "fraKernel", frmKDE::kTabKernel},
    {ControlKind::OptionButton, "optAdaptive", "Adaptive kernel", "fraKernel", frmKDE::kTabKernel},
    {ControlKind::ComboBox, "cmbKernelForm", "Kernel form:", "fraKernel", frmKDE::kTabKernel, true},
    {ControlKind::Grid, "datagridVar", "", nullptr, frmKDE::kTabKernel},
    // "Bandwidth".
    {ControlKind::Frame, "fraBandwidth", "Bandwidth Selection ", nullptr, frmKDE::kTabBandwidth},
    {ControlKind::OptionButton, "optBE_HREF", "Reference bandwidth (see table below)", "fraBandwidth",
     frmKDE::kTabBandwidth},
    {ControlKind::OptionButton, "optBE_LSCV", "LSCV (Least Squares Cross Validation)", "fraBandwidth",
     frmKDE::kTabBandwidth},
    {ControlKind::OptionButton, "optBE_BCV", "BCV (Biased Cross Validation)", "fraBandwidth",
     frmKDE::kTabBandwidth},
    {ControlKind::OptionButton, "optBE_MANUAL",
     "User defined (unscaled constant across animals):", "fraBandwidth", frmKDE::kTabBandwidth},
    {ControlKind::TextBox, "txtBW", "", "fraBandwidth", frmKDE::kTabBandwidth},
    {ControlKind::OptionButton, "optPropHref", "Proportion(s) of reference bandwidth:", "fraBandwidth",
     frmKDE::kTabBandwidth},
    {ControlKind::TextBox, "txtPropHref", "", "fraBandwidth", frmKDE::kTabBandwidth},
    {ControlKind::Grid, "datagridHref", "", nullptr, frmKDE::kTabBandwidth},
    // "Output Options".
    {ControlKind::Frame, "fraExtents", "Extents ", nullptr, frmKDE::kTabOutput},
    {ControlKind::OptionButton, "optFull",
     "Every UD is calculated at the full extent of the input point layer plus this buffer:", "fraExtents",
     frmKDE::kTabOutput},
    {ControlKind::TextBox, "txtBuffer", "", "fraExtents", frmKDE::kTabOutput},
    {ControlKind::OptionButton, "optSmall", "Minimize the extent of each UD", "fraExtents",
     frmKDE::kTabOutput},
    {ControlKind::OptionButton, "optExtRef",
     "Every UD is calculated at the same extent as this raster layer:", "fraExtents", frmKDE::kTabOutput},
    {ControlKind::ComboBox, "cmbExtRef", "", "fraExtents", frmKDE::kTabOutput, true},
    {ControlKind::Frame, "fraIsopleths", "Isopleths ", nullptr, frmKDE::kTabOutput},
    {ControlKind::CheckBox, "chkBnds", "Isopleths (%):", "fraIsopleths", frmKDE::kTabOutput},
    {ControlKind::TextBox, "txtBnds", "", "fraIsopleths", frmKDE::kTabOutput},
    {ControlKind::CheckBox, "chkLines", "Lines", "fraIsopleths", frmKDE::kTabOutput},
    {ControlKind::CheckBox, "chkPolys", "Polygons", "fraIsopleths", frmKDE::kTabOutput},
    {ControlKind::CheckBox, "chkDonuts", "Donut polygons", "fraIsopleths", frmKDE::kTabOutput},
    {ControlKind::Frame, "fraOutput", "Output ", nullptr, frmKDE::kTabOutput},
    {ControlKind::TextBox, "txtOutFolder",
     "Output folder (a new, empty folder is strongly recommended):", "fraOutput", frmKDE::kTabOutput, true},
    {ControlKind::Button, "btnFolder", "...", "fraOutput", frmKDE::kTabOutput},
    {ControlKind::TextBox, "txtR", "Raster name prefix:", "fraOutput", frmKDE::kTabOutput},
    {ControlKind::TextBox, "txtCellSize", "Raster cell size (coordinate system units):", "fraOutput",
     frmKDE::kTabOutput},
    {ControlKind::TextBox, "txtScaling", "Scaling factor (multiplier):", "fraOutput", frmKDE::kTabOutput},
    {ControlKind::CheckBox, "chkVerbose", "Write verbose analysis log file", "fraOutput", frmKDE::kTabOutput},
    // Below the tabs.
    {ControlKind::CheckBox, "chkSilent", "Silent mode", nullptr, kNoPage},
    {ControlKind::Button, "btnSaveSettings", "Save Settings", nullptr, kNoPage},
    {ControlKind::Button, "btnLoadSettings", "Load Settings", nullptr, kNoPage},
    {ControlKind::Button, "btnOK", "OK", nullptr, kNoPage},
    {ControlKind::Button, "btnExit", "Exit", nullptr, kNoPage},
    {ControlKind::TextBox, "txtStatus", "", nullptr, kNoPage, true},
    {ControlKind::ProgressBar, "prgRun", "", nullptr, kNoPage},
};

}  // namespace

void frmKDE::Build() {
  for (const char* page : {"Input Data", "Kernel Settings", "Bandwidth", "Output Options"}) addPage(page);
  for (const ControlRow& row : kLayout) {
    host::Control& control = add(row.kind, row.name, row.caption);
    if (row.frame != nullptr) control.setContainer(row.frame);
    if (row.page != kNoPage) control.setPage(row.page);
    if (row.readOnly) control.setReadOnly(true);
  }
}

void frmKDE::WireEvents() {
  onLoad = [this] { OnLoad(); };
  onPageChanged = [this](int previousTab) { TabChanged(previousTab); };

  control("cmbPntL").onClick = [this] { Trap("cmbPntL_Click", [this] { PointLayerClicked(); }); };
  control("cmbUIDFLD").onClick = [this] { Trap("cmbUIDFLD_Click", [this] { IdFieldClicked(); }); };
  control("chkUseSel").onClick = [this] { Trap("chkUseSel_Click", [this] { UseSelectedClicked(); }); };
  control("chkRescale").onClick = [this] { bandwidthBuilt_ = false; };
  control("chkBnds").onClick = [this] { EnableIsopleths(control("chkBnds").checked()); };
  for (const char* name : {"optBE_HREF", "optBE_LSCV", "optBE_BCV"}) {
    control(name).onClick = [this] {
      EnableBox("txtBW", false);
      EnableBox("txtPropHref", false);
    };
  }
  control("optBE_MANUAL").onClick = [this] {
    EnableBox("txtBW", control("optBE_MANUAL").checked());
    EnableBox("txtPropHref", false);
  };
  control("optPropHref").onClick = [this] {
    EnableBox("txtBW", false);
    EnableBox("txtPropHref", true);
  };
  control("optFull").onClick = [this] {
    EnableBox("cmbExtRef", false);
    EnableBox("txtBuffer", true);
  };
  control("optSmall").onClick = [this] {
    EnableBox("txtBuffer", false);
    EnableBox("cmbExtRef", false);
  };
  control("optExtRef").onClick = [this] { EnableBox("cmbExtRef", true); };
  control("txtR").onChange = [this] { PrefixChanged(); };
  control("btnFolder").onClick = [this] { Trap("btnFolder_Click", [this] { ChooseFolder(); }); };
  control("btnCalcIO").onClick = [this] { Trap("btnCalcIO_Click", [this] { CalculateIndependence(); }); };
  control("btnIOSave").onClick = [this] { Trap("btnIOSave_Click", [this] { SaveIndependence(); }); };
  control("btnSaveSettings").onClick = [this] { Trap("btnSaveSettings_Click", [this] { SaveSettings(); }); };
  control("btnLoadSettings").onClick = [this] { Trap("btnLoadSettings_Click", [this] { LoadSettings(); }); };
  control("btnOK").onClick = [this] { PressOk(); };
  control("btnExit").onClick = [this] { close(host::dialog_result::kCancel); };
}

// The initial values of every option (a dialog opened again starts from them).
void frmKDE::ResetToInitialValues() {
  const KdeSettings initial;
  for (const char* name : {"cmbPntL", "cmbUIDFLD", "cmbExtRef", "cmbKernelForm"}) {
    control(name).clearItems().setText("", Notify::No);
  }
  control("chkUseSel").setChecked(initial.useSelectedOnly, Notify::No);
  control("chkRescale").setChecked(initial.rescale, Notify::No);
  control(initial.fixedKernel ? "optFixed" : "optAdaptive").setChecked(true, Notify::No);
  control(BandwidthOption(initial.bandwidth)).setChecked(true, Notify::No);
  control("txtBW").setText(initial.manualBandwidths, Notify::No);
  control("txtPropHref").setText(initial.proportionsOfHref, Notify::No);
  control(ExtentOption(initial.extent)).setChecked(true, Notify::No);
  control("txtBuffer").setText(initial.buffer, Notify::No);
  control("chkBnds").setChecked(initial.isopleths, Notify::No);
  control("txtBnds").setText(initial.isoplethPercentages, Notify::No);
  control("chkLines").setChecked(initial.lines, Notify::No);
  control("chkPolys").setChecked(initial.polygons, Notify::No);
  control("chkDonuts").setChecked(initial.donuts, Notify::No);
  control("txtOutFolder").setText(initial.outputFolder, Notify::No);
  control("txtR").setText(initial.prefix, Notify::No);
  control("txtCellSize").setText(initial.cellSize, Notify::No);
  control("txtScaling").setText(initial.scaling, Notify::No);
  control("chkVerbose").setChecked(initial.verbose, Notify::No);
  control("chkSilent").setChecked(initial.silent, Notify::No);
  control("txtStatus").setText("", Notify::No);
  control("prgRun").setRange(0, 100).setValue(0, Notify::No);
  for (const char* grid : {"datagridIO", "datagridVar", "datagridHref"}) control(grid).setGrid({});
  control("btnOK").setEnabled(true);
  outputFolder_ = initial.outputFolder;
  layer_.reset();
  animals_.reset();
  prepared_ = varianceBuilt_ = bandwidthBuilt_ = independenceBuilt_ = false;
  largestHref_ = 0.0;
  varianceRows_.clear();
  independenceRows_.clear();
  lastRun_.reset();
}

void frmKDE::OnLoad() {
  ResetToInitialValues();
  if (!map_) map_ = app_->document()->focusMap();

  for (const char* name : {"chkUseSel", "cmbUIDFLD", "btnIOSave", "lblIO1", "lblIO2"}) {
    control(name).setEnabled(false);
  }
  EnableBox("txtBW", false);
  EnableBox("txtPropHref", false);
  EnableIsopleths(false);
  EnableBox("txtBuffer", true);

  std::vector<std::string> pointLayers;
  gis::ListLayers(*map_, static_cast<int>(gis::LayerListKind::PointLayer), pointLayers);
  for (std::string& name : pointLayers) control("cmbPntL").addItem(std::move(name));
  if (control("cmbPntL").items().empty()) {
    app_->ui().messageBox(kMsgNoPointLayers, "Warning", host::MessageButtons::Ok,
                          host::MessageIcon::Exclamation);
  }

  std::vector<std::string> rasterLayers;
  gis::ListLayers(*map_, static_cast<int>(gis::LayerListKind::RasterLayer), rasterLayers);
  for (std::string& name : rasterLayers) control("cmbExtRef").addItem(std::move(name));
  control("optExtRef").setEnabled(!control("cmbExtRef").items().empty());

  host::Control& form = control("cmbKernelForm");
  form.addItem(kKernelFormGaussian);
  form.setSelectedIndex(0, Notify::No);
  EnableBox("cmbExtRef", false);
}

void frmKDE::EnableBox(std::string_view name, bool enabled) { control(name).setEnabled(enabled); }

void frmKDE::EnableIsopleths(bool enabled) {
  for (const char* name : {"chkLines", "chkPolys", "chkDonuts", "txtBnds"}) EnableBox(name, enabled);
}

KdeSettings frmKDE::Settings() const {
  KdeSettings s;
  s.pointLayer = control("cmbPntL").text();
  s.useSelectedOnly = control("chkUseSel").checked();
  s.idField = control("cmbUIDFLD").text();
  s.rescale = control("chkRescale").checked();
  s.fixedKernel = control("optFixed").checked();
  s.kernelForm = control("cmbKernelForm").text();
  for (const KdeBandwidthChoice choice :
       {KdeBandwidthChoice::Href, KdeBandwidthChoice::Lscv, KdeBandwidthChoice::Bcv,
        KdeBandwidthChoice::Manual, KdeBandwidthChoice::ProportionOfHref}) {
    if (control(BandwidthOption(choice)).checked()) s.bandwidth = choice;
  }
  s.manualBandwidths = control("txtBW").text();
  s.proportionsOfHref = control("txtPropHref").text();
  for (const KdeExtentChoice choice :
       {KdeExtentChoice::Full, KdeExtentChoice::Minimum, KdeExtentChoice::Reference}) {
    if (control(ExtentOption(choice)).checked()) s.extent = choice;
  }
  s.buffer = control("txtBuffer").text();
  s.referenceLayer = control("cmbExtRef").text();
  s.isopleths = control("chkBnds").checked();
  s.isoplethPercentages = control("txtBnds").text();
  s.lines = control("chkLines").checked();
  s.polygons = control("chkPolys").checked();
  s.donuts = control("chkDonuts").checked();
  s.outputFolder = outputFolder_;
  s.prefix = control("txtR").text();
  s.cellSize = control("txtCellSize").text();
  s.scaling = control("txtScaling").text();
  s.verbose = control("chkVerbose").checked();
  s.silent = control("chkSilent").checked();
  return s;
}

void frmKDE::ApplyOptions(const KdeSettings& s) {
  // Check boxes and option buttons fire their clicks when they change, so the boxes that
  // depend on them are enabled or disabled as a person's click would leave them.
  control("chkRescale").setChecked(s.rescale);
  control(s.fixedKernel ? "optFixed" : "optAdaptive").setChecked(true);
  control("txtBW").setText(s.manualBandwidths);
  control("txtPropHref").setText(s.proportionsOfHref);
  control(BandwidthOption(s.bandwidth)).setChecked(true);
  control("txtBuffer").setText(s.buffer);
  if (!s.referenceLayer.empty()) {
    const int index = control("cmbExtRef").findItem(s.referenceLayer);
    if (index >= 0) control("cmbExtRef").setSelectedIndex(index);
  }
  control(ExtentOption(s.extent)).setChecked(true);
  control("txtBnds").setText(s.isoplethPercentages);
  control("chkLines").setChecked(s.lines);
  control("chkPolys").setChecked(s.polygons);
  control("chkDonuts").setChecked(s.donuts);
  control("chkBnds").setChecked(s.isopleths);
  if (!s.outputFolder.empty()) {
    outputFolder_ = s.outputFolder;
    control("txtOutFolder").setText(s.outputFolder);
  }
  control("txtR").setText(s.prefix);
  control("txtCellSize").setText(s.cellSize);
  control("txtScaling").setText(s.scaling);
  control("chkVerbose").setChecked(s.verbose);
  control("chkSilent").setChecked(s.silent);
}

void frmKDE::PointLayerClicked() {
  host::Control& fields = control("cmbUIDFLD");
  fields.setEnabled(true);
  fields.clearItems().setText("", Notify::No);
  // A box that cannot be reached must not keep applying: it is cleared as it is disabled.
  control("chkUseSel").setEnabled(false).setChecked(false, Notify::No);
  layer_.reset();
  DiscardPreparedData();

  const std::string name = control("cmbPntL").text();
  if (name.empty()) {
    fields.setEnabled(false);
    return;
  }
  layer_ = std::dynamic_pointer_cast<host::FeatureLayer>(gis::FindLayerByName(*map_, name));
  const std::shared_ptr<host::FeatureClass> features = layer_ ? layer_->featureClass() : nullptr;
  if (!features) {
    layer_.reset();
    fields.setEnabled(false);
    throw host::Error(host::kNotFound, "The point layer '" + name + "' has no data source");
  }
  if (!layer_->selection().isEmpty()) control("chkUseSel").setEnabled(true);
  for (const host::FieldDef& field : features->fields()) {
    if (IsIdFieldType(field.type)) fields.addItem(field.name);
  }
}

void frmKDE::IdFieldClicked() { DiscardPreparedData(); }

void frmKDE::UseSelectedClicked() { DiscardPreparedData(); }

void frmKDE::PrefixChanged() {
  host::Control& prefix = control("txtR");
  if (Utf8Length(prefix.text()) <= kMaxPrefixLength) return;
  prefix.setText(prefix.text().substr(0, Utf8PrefixBytes(prefix.text(), kMaxPrefixLength)), Notify::No);
  app_->ui().messageBox(kMsgPrefixTooLong, "Warning", host::MessageButtons::Ok,
                        host::MessageIcon::Exclamation);
}

void frmKDE::ChooseFolder() {
  host::FolderDialogOptions options;
  options.title = "Select output folder...";
  const std::optional<std::filesystem::path> folder = app_->ui().browseFolder(options);
  if (!folder) return;
  outputFolder_ = folder->string();
  control("txtOutFolder").setText(outputFolder_);
}

std::optional<std::filesystem::path> frmKDE::AskSaveFile(const std::string& title, const std::string& filter,
                                                         const std::string& notSavedMessage) {
  host::FileDialogOptions options;
  options.title = title;
  options.filter = filter;
  options.filterIndex = 1;
  options.overwritePrompt = true;
  options.hideReadOnly = true;
  options.pathMustExist = true;
  std::optional<std::filesystem::path> file = app_->ui().saveFile(options);
  if (!file) {
    app_->ui().messageBox(notSavedMessage, "Warning", host::MessageButtons::Ok,
                          host::MessageIcon::Exclamation);
  }
  return file;
}

void frmKDE::SaveSettings() {
  const std::optional<std::filesystem::path> file =
      AskSaveFile("Save Settings File", "Text files (*.txt)|*.txt", kMsgSettingsNotSaved);
  if (!file) return;
  WriteRecorded(*file, host::OutputKind::Settings, [&] { WriteSettingsFile(*file, Settings()); });
  control("txtStatus").setText(kStatusSettingsSaved, Notify::No);
}

void frmKDE::LoadSettings() {
  host::FileDialogOptions options;
  options.title = "Open Settings File";
  options.filter = "Text files (*.txt)|*.txt";
  options.filterIndex = 1;
  options.hideReadOnly = true;
  options.fileMustExist = true;
  const std::vector<std::filesystem::path> files = app_->ui().openFiles(options);
  if (files.empty()) return;
  KdeSettings settings = Settings();
  const SettingsLoadResult loaded = LoadSettingsFile(files.front(), settings, control("cmbExtRef").items());
  ApplyOptions(settings);
  control("txtStatus").setText(loaded.statusText, Notify::No);
}

void frmKDE::PressOk() {
  KdeSettings settings = Settings();
  KdeBatchInput input;
  if (prepared_) input.prepared = &*animals_;
  if (varianceBuilt_) input.varianceRows = &varianceRows_;
  if (independenceBuilt_) input.independenceRows = &independenceRows_;
  RunView view(*this);
  lastRun_ = RunKdeBatch(*app_, settings, input, &view);
  if (*lastRun_ == KdeBatchResult::Completed) close(host::dialog_result::kOk);
}

void frmKDE::Trap(std::string_view procedure, const std::function<void()>& body) {
  try {
    body();
  } catch (const host::Error& error) {
    if (host::errorsPassThrough()) throw;
    ShowError(std::string(procedure) + ": " + std::to_string(error.number()) + kCr + error.description());
  } catch (const std::bad_alloc&) {
    ShowError(std::string(procedure) + ": " +
              std::to_string(static_cast<int>(KdeErrorNumber::out_of_memory)) + kCr + "Out of memory");
  }
}

void frmKDE::WriteRecorded(const std::filesystem::path& file, host::OutputKind kind,
                           const std::function<void()>& write) {
  try {
    write();
  } catch (const host::Error& error) {
    // The dialog shows the error and stays open, as designed; the run still has to say that a
    // file it was asked for was not written.
    app_->runRecord().failure(
        {.item = file.filename().string(), .reason = error.description(), .path = file});
    throw;
  }
  app_->runRecord().output({.path = file, .kind = kind});
}

void frmKDE::ShowError(const std::string& text) {
  app_->ui().messageBox(text, "Error", host::MessageButtons::Ok, host::MessageIcon::Critical);
}

}  // namespace orvex::ui
