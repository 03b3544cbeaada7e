#include "range/locoh/frm_locoh.h"

#include "host/error.h"
#include "host/layer.h"
#include "host/map.h"
#include "host/text.h"

namespace orvex::range {
namespace {

using host::ControlKind;
using host::Notify;

constexpr RangeControlRow kLayout[] = {
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
    {ControlKind::TextBox, "txtBnds", "Isopleths (% of fixes):", "fraOutput", kNoPage,
     kLocohDefaultIsopleths},
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
    : RangeForm(kFormName, "LoCoH Home Range", application, std::move(map)) {
  AddControls(kLayout);
  ListPointLayers("cmbPntL");
  control("optK").setChecked(true, Notify::No);

  control("cmbPntL").onClick = [this] {
    ListIdFields();
    control("lblSuggest").setCaption("");
  };
  for (const char* name : {"cmbUIDFLD", "chkUseSel", "optK", "optR", "optA"})
    control(name).onClick = [this] { Suggest(); };
  control("chkOwnParam").onClick = [this] {
    control("txtParam").setEnabled(!control("chkOwnParam").checked());
  };
  ConnectButtons([this] {
    result_ = RunLocohBatch(app(), Settings());
    return *result_ == LocohBatchResult::Completed;
  });
}

void frmLOCOH::Suggest() {
  const LocohSettings settings = Settings();
  const auto layer = std::dynamic_pointer_cast<host::FeatureLayer>(map()->findLayer(settings.pointLayer));
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

}  // namespace orvex::range
