#include "range/locoh/frm_locoh.h"

#include "host/application.h"
#include "host/error.h"
#include "host/layer.h"
#include "host/map.h"
#include "host/table.h"
#include "host/text.h"

namespace orvex::range {
namespace {

using host::ControlKind;
using host::Notify;

struct ControlRow {
  ControlKind kind;
  const char* name;
  const char* caption;
  const char* frame;           ///< the containing frame, or null
  const char* text = nullptr;  ///< initial text, or null
};

constexpr ControlRow kLayout[] = {
    {ControlKind::Frame, "fraInput", "Input ", nullptr},
    {ControlKind::ComboBox, "cmbPntL", "Point layer:", "fraInput"},
    {ControlKind::CheckBox, "chkUseSel", "Use selected features only", "fraInput"},
    {ControlKind::ComboBox, "cmbUIDFLD", "Unique animal ID field for batch processing:", "fraInput"},
    {ControlKind::Frame, "fraMethod", "Local sets ", nullptr},
    {ControlKind::OptionButton, "optK", "k: each fix and its k - 1 nearest neighbours", "fraMethod"},
    {ControlKind::OptionButton, "optR", "r: every fix within radius r", "fraMethod"},
    {ControlKind::OptionButton, "optA", "a: the nearest fixes whose distances sum to at most a", "fraMethod"},
    {ControlKind::TextBox, "txtParam", "Value of k, r or a (map units):", "fraMethod"},
    {ControlKind::CheckBox, "chkOwnParam", "Each animal its own suggested value", "fraMethod"},
    {ControlKind::Label, "lblSuggest", "", "fraMethod"},
    {ControlKind::Frame, "fraOutput", "Output ", nullptr},
    {ControlKind::TextBox, "txtBnds", "Isopleths (% of fixes):", "fraOutput", kLocohDefaultIsopleths},
    {ControlKind::CheckBox, "chkHulls", "Also write each animal's hulls", "fraOutput"},
    {ControlKind::TextBox, "txtOutFolder",
     "Output folder (a new, empty folder is strongly recommended):", "fraOutput"},
    {ControlKind::Button, "btnFolder", "...", "fraOutput"},
    {ControlKind::Button, "btnOK", "OK", nullptr},
    {ControlKind::Button, "btnCancel", "Cancel", nullptr},
};

std::string SuggestionText(double value, LocohMethod method, std::size_t animals) {
  return std::string("Suggested ") + locoh_method_name(method) + " = " + host::numberText(value) +
         (animals > 1 ? " (the median over " + std::to_string(animals) + " animals)" : "");
}

}  // namespace

frmLOCOH::frmLOCOH(host::Application& application, std::shared_ptr<host::Map> map)
    : host::Form(std::string(kFormName), "LoCoH Home Range"), app_(&application), map_(std::move(map)) {
  for (const ControlRow& row : kLayout) {
    host::Control& control = add(row.kind, row.name, row.caption);
    if (row.frame != nullptr) control.setContainer(row.frame);
    if (row.text != nullptr) control.setText(row.text, Notify::No);
  }
  for (const auto& layer : map_->featureLayers(host::GeometryType::Point))
    control("cmbPntL").addItem(layer->name());
  control("optK").setChecked(true, Notify::No);
  control("txtOutFolder").setReadOnly(true);

  control("cmbPntL").onClick = [this] { FillFields(); };
  for (const char* name : {"cmbUIDFLD", "chkUseSel", "optK", "optR", "optA"})
    control(name).onClick = [this] { Suggest(); };
  control("chkOwnParam").onClick = [this] {
    control("txtParam").setEnabled(!control("chkOwnParam").checked());
  };
  control("btnFolder").onClick = [this] {
    host::FolderDialogOptions options;
    options.title = "Select output folder...";
    if (const auto folder = app_->ui().browseFolder(options))
      control("txtOutFolder").setText(folder->string());
  };
  control("btnOK").onClick = [this] { PressOk(); };
  control("btnCancel").onClick = [this] { cancel(); };
}

void frmLOCOH::FillFields() {
  host::Control& fields = control("cmbUIDFLD");
  fields.clearItems();
  control("lblSuggest").setCaption("");
  const auto layer =
      std::dynamic_pointer_cast<host::FeatureLayer>(map_->findLayer(control("cmbPntL").text()));
  if (!layer || !layer->featureClass()) return;
  const host::Fields& list = layer->featureClass()->fields();
  for (int i = 0; i < list.count(); ++i) {
    const host::FieldDef& field = list.at(i);
    if (field.type != host::FieldType::Geometry) fields.addItem(field.name);
  }
}

void frmLOCOH::Suggest() {
  const LocohSettings settings = Settings();
  const auto layer = std::dynamic_pointer_cast<host::FeatureLayer>(map_->findLayer(settings.pointLayer));
  if (!layer || settings.idField.empty()) return;
  try {
    const std::vector<LocohAnimal> animals =
        ReadLocohAnimals(*layer, settings.idField, settings.useSelectedOnly);
    const std::optional<double> value = SuggestedLocohParameter(animals, settings.method);
    if (!value) {
      control("lblSuggest").setCaption("No fixes to suggest a value from");
      return;
    }
    control("txtParam").setText(host::cformat("%.10g", *value));
    control("lblSuggest").setCaption(SuggestionText(*value, settings.method, animals.size()));
  } catch (const host::Error& e) {
    if (host::errorsPassThrough()) throw;
    control("lblSuggest").setCaption(e.description());
  }
}

LocohSettings frmLOCOH::Settings() const {
  LocohSettings s;
  s.pointLayer = control("cmbPntL").text();
  s.idField = control("cmbUIDFLD").text();
  s.useSelectedOnly = control("chkUseSel").checked();
  s.method = control("optR").checked()   ? LocohMethod::r
             : control("optA").checked() ? LocohMethod::a
                                         : LocohMethod::k;
  s.parameter = control("txtParam").text();
  s.ownParameter = control("chkOwnParam").checked();
  s.isopleths = control("txtBnds").text();
  s.hulls = control("chkHulls").checked();
  s.outputFolder = control("txtOutFolder").text();
  return s;
}

void frmLOCOH::PressOk() {
  result_ = RunLocohBatch(*app_, Settings());
  if (*result_ == LocohBatchResult::Completed) close(host::dialog_result::kOk);
}

}  // namespace orvex::range
